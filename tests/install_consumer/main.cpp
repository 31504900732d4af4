// A program outside the project that uses an installed copy: its headers, libraries and data.
#include <cstdio>

#include "pgmdev.h"

int main() {
  std::printf("pgm name: %s\n",
              PGMDEV_DEVICE_GRAMMAR_MGR::get_pgm_name("QZ40BF256C6N", false, false).c_str());
  PGMDEV_DEV_INFO_MANAGER info(false, 0);
  PGMDEV_DEV_INFO_RECORD* record =
      info.get_db_by_part(dstr_get_dev_part_enum_by_string("QZ40BF256C6N"));
  std::printf("device info: %s\n", record ? "found" : "none");
  delete record;
  PGMDEV_FLASH_MANAGER flash(false, 1, false, false);
  std::printf("flash records: %u\n", flash.m_flash_count);
  return record != nullptr && flash.m_flash_count > 0 ? 0 : 1;
}
