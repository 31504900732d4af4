// Feeds arbitrary bytes to the device-info loader, twice: as an inflated body handed to
// parse_database with its exact length, and as the installed file itself (container checks,
// inflation, parsing). A refused input ends in an internal error, which is expected; reading or
// writing outside a buffer, a leak or a crash is a finding.
#include <stdlib.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <string>

#include "cfg.h"
#include "msg.h"
#include "pgmdev_dev_info_manager.h"

namespace {

const std::string& database_path() {
  static const std::string path = [] {
    char pattern[] = "/tmp/pgmdev_fuzz_dev_info_XXXXXX";
    const char* made = mkdtemp(pattern);
    if (made == nullptr) abort();
    cfg_set_value("PGMDEV_DEVICE_DB_DIR", made);
    std::filesystem::create_directories(std::string(made) + "/programmer");
    return std::string(made) + "/programmer/pgm_dev_info.pcf";
  }();
  return path;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  // The body, in a buffer of exactly its length so that any read past it is seen.
  std::unique_ptr<unsigned char[]> body(new unsigned char[size + 1]);
  std::copy(data, data + size, body.get());
  try {
    PGMDEV_DEV_INFO_MANAGER manager(true, 0);
    // Let the record section end anywhere the input's first byte says.
    manager.m_csv_memory_size = size > 0 ? data[0] * 16u : 0u;
    manager.parse_database(body.get(), static_cast<unsigned int>(size), false);
  } catch (const MSG_INTERNAL_ERROR_EXCEPTION&) {
  }

  FILE* file = std::fopen(database_path().c_str(), "wb");
  if (file == nullptr) abort();
  if (size > 0 && std::fwrite(data, 1, size, file) != size) abort();
  std::fclose(file);
  try {
    PGMDEV_DEV_INFO_MANAGER manager(false, 0);
  } catch (const MSG_INTERNAL_ERROR_EXCEPTION&) {
  }
  return 0;
}
