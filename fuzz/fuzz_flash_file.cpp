// Feeds a whole flash database file to a flash manager's constructor, as the installed
// programmer/pgm_flash.pcf: container checks, inflation into the declared length, the records with
// their gates and the one-default rule, and the debug listing when the file's length is odd. A
// file that loads is asked, for every record, the mapping of the identification bytes that the
// record describes, the default record of its device name and the longest program time of the
// chain.
//
// The mutator inflates the payload, mutates it, mostly re-seals the declared length and deflates
// it again, so that mutated payloads get past the container.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "cfg.h"
#include "fuzz_support.h"
#include "msg.h"
#include "pgmdev_flash_manager.h"

namespace {

constexpr unsigned int kChainDevices = 2;
constexpr unsigned int kIdBytes = 3;

const std::string& database_path() {
  static const std::string path = [] {
    cfg_set_value("PGM_ALLOW_EON", "1");
    return pgmdev_fuzz::installed_dir() + "/programmer/pgm_flash.pcf";
  }();
  return path;
}

void ask_queries(PGMDEV_FLASH_MANAGER& manager) {
  for (unsigned int r = 0; r < manager.m_flash_count; ++r) {
    const PGMDEV_SFL_FLASH_INFO& record = manager.m_flash_database[r];
    unsigned char id[kIdBytes] = {};
    const auto put = [&id](unsigned char position, unsigned char value) {
      if (position < kIdBytes) id[position] = value;
    };
    put(record.mfc_id_index, record.mfc_id);
    put(record.memory_type_index, record.memory_type);
    put(record.memory_id_index, record.memory_id);
    const unsigned int device = r % kChainDevices;
    if (manager.flash_id_database_mapping(record.silicon_id, device, id, kIdBytes) &&
        manager.get_flash_mapping_index(device, false) >= manager.m_flash_count) {
      abort();
    }
    PGMDEV_SFL_FLASH_INFO* found = manager.get_default_flash(record.device_name);
    if (found != nullptr && (found < manager.m_flash_database ||
                             found >= manager.m_flash_database + manager.m_flash_count)) {
      abort();
    }
  }
  if (manager.m_flash_count > 0) {
    manager.set_flash_mapping_index(0, manager.m_flash_count - 1);
    manager.sfl_get_chain_longest_program_utime();
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size > (4u << 20)) return 0;
  pgmdev_fuzz::write_file(database_path(), data, size);
  pgmdev_fuzz::completes([size] {
    PGMDEV_FLASH_MANAGER manager(false, kChainDevices, false, (size & 1) != 0);
    ask_queries(manager);
  });
  msg_clear_debug_log();  // debug messages pile up in the host's log
  return 0;
}

PGMDEV_FUZZ_DATABASE_FILE_MUTATOR
