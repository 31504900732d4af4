// Fuzzes the flash database loader: the input is parsed as a decompressed payload and, when it
// starts with the file magic, also loaded as a whole database file. Every malformed input must end
// in an internal-error report, never in a read or write outside its buffer.
#include <stdlib.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <fstream>
#include <string>
#include <vector>

#include "cfg.h"
#include "msg.h"
#include "pgmdev_flash_manager.h"

namespace {

// A private device data directory for the whole-file path, made once.
const std::string& device_db_dir() {
  static const std::string dir = [] {
    char pattern[] = "/tmp/pgmdev_fuzz_flash_XXXXXX";
    const std::string made = mkdtemp(pattern) != nullptr ? pattern : "/tmp";
    const std::string programmer = made + "/programmer";
    mkdir(programmer.c_str(), 0700);
    cfg_set_value("PGMDEV_DEVICE_DB_DIR", made);
    return made;
  }();
  return dir;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::vector<unsigned char> payload(data, data + size);
  try {
    PGMDEV_FLASH_MANAGER manager(false, 1, true, false);
    manager.parse_database(payload.data(), static_cast<unsigned int>(payload.size()));
  } catch (const MSG_INTERNAL_ERROR_EXCEPTION&) {
  }
  if (size >= 8 && std::memcmp(data, "PGMIO_FM", 8) == 0) {
    {
      std::ofstream file(device_db_dir() + "/programmer/pgm_flash.pcf",
                         std::ios::binary | std::ios::trunc);
      file.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
    }
    try {
      PGMDEV_FLASH_MANAGER manager(false, 1, false, false);
    } catch (const MSG_INTERNAL_ERROR_EXCEPTION&) {
    }
  }
  return 0;
}
