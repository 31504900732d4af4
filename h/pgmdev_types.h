// Types shared by several areas of the device library and its callers.
#ifndef PGMDEV_TYPES_H
#define PGMDEV_TYPES_H

#include "dev_catalogue.h"
#include "pgmdev_export.h"
#include "pgmhost_export.h"

// No index, no entry, in 32-bit fields and tables.
constexpr DWORD INVALID_DWORD = 0xFFFFFFFFu;

// Field type tags of the database files; 0 to 7 are also the column types of their CSV
// sources. No type has the value 9.
enum PGMDEV_MANAGER_TYPE {
  PGMDEV_MANAGER_DEVID_ENUM = 0,
  PGMDEV_MANAGER_DEVID_STR = 1,
  PGMDEV_MANAGER_STRING = 2,
  PGMDEV_MANAGER_BOOL = 3,
  PGMDEV_MANAGER_BYTE = 4,
  PGMDEV_MANAGER_WORD = 5,
  PGMDEV_MANAGER_DWORD = 6,
  PGMDEV_MANAGER_ENUM = 7,
  PGMDEV_MANAGER_FAMILY_TBL = 8,
  PGMDEV_MANAGER_DEVICE_TBL = 10,
  PGMDEV_MANAGER_PART_TBL = 11
};

// Value types of flash parameters.
enum PGMDEV_PARAM_TYPE {
  PGMDEV_PARAM_STRING = 1,
  PGMDEV_PARAM_BOOL = 2,
  PGMDEV_PARAM_BYTE = 3,
  PGMDEV_PARAM_WORD = 4,
  PGMDEV_PARAM_DWORD = 5,
  PGMDEV_PARAM_QWORD = 6
};

// Sections of the flash parameter file pgm_flash.ini.
enum PGMDEV_FLASH_INI_ENUM {
  PGMDEV_FLASH_INI_SFL_FLASH = 0,
  PGMDEV_FLASH_INI_HPS_SPI = 1,
  PGMDEV_FLASH_INI_HPS_NAND = 2
};

// The programmer enumerations whose member names can be checked.
enum PGM_ENUM_TYPE {
  PGM_ENUM_TYPE_RBA = 0,
  PGM_ENUM_TYPE_FLASH_BLOCK = 1,
  PGM_ENUM_TYPE_ICB = 2,
  PGM_ENUM_TYPE_BITASM_GENERIC = 3,
  PGM_ENUM_TYPE_MAX = 4
};

#endif  // PGMDEV_TYPES_H
