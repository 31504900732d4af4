// Every exported header of the device library.
#ifndef PGMDEV_H
#define PGMDEV_H

#include "pgmdev_dev_info_manager.h"
#include "pgmdev_dev_info_manager_auto_export.h"
#include "pgmdev_device_grammar_mgr.h"
#include "pgmdev_export.h"
#include "pgmdev_flash_ini.h"
#include "pgmdev_flash_manager.h"
#include "pgmdev_flash_manager_auto_export.h"
#include "pgmdev_flash_sfdp.h"
#include "pgmdev_hps_mgr.h"
#include "pgmdev_mgr.h"
#include "pgmdev_types.h"

#endif  // PGMDEV_H
