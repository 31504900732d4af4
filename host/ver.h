// Version service of the host.
#ifndef PGMHOST_VER_H
#define PGMHOST_VER_H

#include <string>

#include "pgmhost_export.h"

// The suite's version text; PGMDEV_SUITE_VERSION overrides it.
PGMHOST_API std::string ver_get_version();

// The suite's version number: service pack in bits 0-7, build in bits 8-23;
// PGMDEV_SUITE_VERSION_INDEX (decimal or 0x hexadecimal) overrides it.
PGMHOST_API unsigned int ver_get_current_version_index_number();

#endif  // PGMHOST_VER_H
