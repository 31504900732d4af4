// Feeds a flash CSV to the flash database generator, then loads what it wrote as the installed
// database. A file that the generator writes must load: the only refusal allowed is the
// one-default rule, which the generator does not check.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>

#include "cfg.h"
#include "fuzz_support.h"
#include "pgmdev_flash_manager.h"

namespace {

struct PATHS {
  std::string csv;
  std::string database;
};

const PATHS& paths() {
  static const PATHS made = [] {
    const std::string& directory = pgmdev_fuzz::installed_dir();
    return PATHS{directory + "/pgm_flash.csv", directory + "/programmer/pgm_flash.pcf"};
  }();
  return made;
}

bool is_default_rule(const MSG_INTERNAL_ERROR_EXCEPTION& error) {
  return std::strcmp(error.what(), "one_default") == 0 ||
         std::strcmp(error.what(), "!one_default") == 0;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size > (1u << 20)) return 0;
  std::filesystem::remove(paths().database);
  pgmdev_fuzz::write_file(paths().csv, data, size);
  const bool generated = pgmdev_fuzz::completes([] {
    PGMDEV_FLASH_MANAGER generator(false, 0, true, false);
    generator.generate_flash_database(paths().csv, paths().database);
  });
  if (!generated) return 0;
  try {
    PGMDEV_FLASH_MANAGER manager(false, 1, false, false);
  } catch (const MSG_INTERNAL_ERROR_EXCEPTION& error) {
    if (!is_default_rule(error)) abort();
  }
  return 0;
}
