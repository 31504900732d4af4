// Feeds an inflated device-info body to the parse step, as initialize_device_database hands it
// over: the whole input is the body, and its record section ends where the index tables of the
// catalogue's size begin. A body too short to hold the tables is parsed as the generator checks
// what it wrote, records only. The debug listing mode (0 to 4) follows the sum of the body's bytes,
// so that most mutations of a body that loads change it. A body that loads is then asked every
// lookup, whose answers must lie within the records held.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <memory>

#include "dev_catalogue.h"
#include "fuzz_support.h"
#include "pgmdev_dev_info_manager.h"

namespace {

const bool g_quiet = [] {
  pgmdev_fuzz::quiet_standard_output();
  return true;
}();

// Every part would copy a record thousands of times per input; one in this many is asked.
constexpr DWORD kPartStride = 61;

void ask_lookups(PGMDEV_DEV_INFO_MANAGER& manager) {
  const auto check = [&manager](PGMDEV_DEV_INFO_RECORD* record) {
    if (record != nullptr && manager.m_index >= manager.m_device_count) abort();
    delete record;
  };
  for (DWORD family = 0; family < DWORD(DEV_FAMILY_MAX); ++family) {
    check(manager.get_db_by_family(DEV_FAMILY_ENUM(family)));
  }
  for (DWORD device = 0; device < DWORD(DEV_DEVICE_MAX); ++device) {
    check(manager.get_db_by_device(DEV_DEVICE_ENUM(device)));
  }
  for (DWORD part = 0; part < DWORD(DEV_PART_MAX); part += kPartStride) {
    check(manager.get_db_by_part(DEV_PART_ENUM(part)));
  }
  check(manager.get_db_by_part(DEV_PART_GENERIC));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size > (4u << 20)) return 0;
  // The body in a buffer of exactly its length, so that any read past it is seen.
  const std::unique_ptr<unsigned char[]> body(new unsigned char[size]);
  std::copy(data, data + size, body.get());
  unsigned int sum = 0;
  for (size_t i = 0; i < size; ++i) sum += data[i];
  const unsigned int listing = sum % 5;
  PGMDEV_DEV_INFO_MANAGER manager(true, listing);
  const unsigned int body_size = static_cast<unsigned int>(size);
  if (body_size <= manager.get_table_size()) {
    pgmdev_fuzz::completes([&] { manager.parse_database(body.get(), body_size, true); });
    return 0;
  }
  manager.m_csv_memory_size = body_size - manager.get_table_size();
  pgmdev_fuzz::completes([&] {
    manager.parse_database(body.get(), body_size, false);
    ask_lookups(manager);
  });
  return 0;
}
