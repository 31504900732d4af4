// Feeds a device-info CSV and a parts list to the device-info generator, then loads what it wrote
// as the installed database, which must succeed. Input: the CSV text, then (after the first zero
// byte, when there is one) the text of h/pgm_parts.txt; without a zero byte there is no parts
// list.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "cfg.h"
#include "fuzz_support.h"
#include "pgm_common.h"
#include "pgmdev_dev_info_manager.h"

namespace {

struct PATHS {
  std::string csv;
  std::string parts;
  std::string database;
};

const PATHS& paths() {
  static const PATHS made = [] {
    const std::string& directory = pgmdev_fuzz::installed_dir();
    return PATHS{directory + "/pgm_dev_info.csv", directory + "/h/pgm_parts.txt",
                 directory + "/programmer/pgm_dev_info.pcf"};
  }();
  return made;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size > (1u << 20)) return 0;
  const uint8_t* end = data + size;
  const uint8_t* zero = std::find(data, end, 0);
  std::filesystem::remove(paths().database);
  pgmdev_fuzz::write_file(paths().csv, data, static_cast<size_t>(zero - data));
  if (zero == end) {
    std::filesystem::remove(paths().parts);
  } else {
    pgmdev_fuzz::write_file(paths().parts, zero + 1, static_cast<size_t>(end - zero - 1));
  }
  const bool generated = pgmdev_fuzz::completes([] {
    PGMDEV_DEV_INFO_MANAGER generator(true, 0);
    generator.generate_device_database(paths().csv, paths().database);
  });
  PGM_COMMON::clear_outbox();  // the notices of families without a row
  if (!generated) return 0;
  try {
    PGMDEV_DEV_INFO_MANAGER manager(false, 0);
  } catch (const MSG_INTERNAL_ERROR_EXCEPTION&) {
    abort();  // the generator wrote a file that its own reader refuses
  }
  return 0;
}
