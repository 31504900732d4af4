// Record copy of the device-info database, made from the schema list: one assignment per
// column, in column order.
#ifndef PGMDEV_DEV_INFO_MANAGER_AUTO_EXPORT_H
#define PGMDEV_DEV_INFO_MANAGER_AUTO_EXPORT_H

#include "pgmdev_dev_info_manager.h"

// Copies every member of `from` into `to`, texts included.
inline void pgmdev_dev_info_copy_record(PGMDEV_DEV_INFO_RECORD* to,
                                        const PGMDEV_DEV_INFO_RECORD& from) {
#define PGMDEV_DEV_INFO_COPY(name, type, member_type) to->name = from.name;
  PGMDEV_DEV_INFO_SCHEMA(PGMDEV_DEV_INFO_COPY)
#undef PGMDEV_DEV_INFO_COPY
}

#endif  // PGMDEV_DEV_INFO_MANAGER_AUTO_EXPORT_H
