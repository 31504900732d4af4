// Feeds a whole device-info database file to the loader, as the installed
// programmer/pgm_dev_info.pcf: container checks (size, magic, schema id), inflation into the
// declared length, parsing of records and index tables, and the debug listing whose mode (0 to 4)
// follows the file's length. A file that loads is asked every family and device lookup and every
// configuration-name search.
//
// The mutator inflates the body, mutates it, mostly re-seals the declared length and deflates it
// again, so that mutated bodies get past the container.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "cfg.h"
#include "dev_catalogue.h"
#include "fuzz_support.h"
#include "pgmdev_dev_info_manager.h"

namespace {

const std::string& database_path() {
  static const std::string path = [] {
    return pgmdev_fuzz::installed_dir() + "/programmer/pgm_dev_info.pcf";
  }();
  return path;
}

void ask_lookups(PGMDEV_DEV_INFO_MANAGER& manager) {
  for (DWORD family = 0; family < DWORD(DEV_FAMILY_MAX); ++family) {
    delete manager.get_db_by_family(DEV_FAMILY_ENUM(family));
  }
  for (DWORD device = 1; device < DWORD(DEV_DEVICE_MAX); ++device) {
    delete manager.get_db_by_device(DEV_DEVICE_ENUM(device));
    if (manager.search_pcf_for_device(DEV_DEVICE_ENUM(device)) &&
        manager.m_index >= manager.m_device_count) {
      abort();
    }
  }
  if (manager.search_family(DEV_FAMILY_GENERIC, false) &&
      manager.m_index >= manager.m_device_count) {
    abort();
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size > (4u << 20)) return 0;
  pgmdev_fuzz::write_file(database_path(), data, size);
  pgmdev_fuzz::completes([size] {
    PGMDEV_DEV_INFO_MANAGER manager(false, static_cast<unsigned int>(size % 5));
    ask_lookups(manager);
  });
  return 0;
}

PGMDEV_FUZZ_DATABASE_FILE_MUTATOR
