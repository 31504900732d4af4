// Fuzzes the SFDP reader and the user flash made from it. The input is the SFDP bytes of a chip,
// then the user's values as "member=value" lines, then one byte: the length of those lines (0 for
// none). No input may read outside its buffer or end in an internal-error report. A table that is read
// lies within the input; a flash that is made passes the loader's rules and its INI text decodes
// to its sealed record text.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <map>
#include <string>

#include "fuzz_support.h"
#include "pgmdev_flash_manager.h"
#include "pgmdev_flash_manager_ini.h"
#include "pgmdev_flash_sfdp.h"

namespace {

// The codec prints its failures on standard output: keep the fuzzer's output readable.
const bool g_quiet = [] {
  pgmdev_fuzz::quiet_standard_output();
  return true;
}();

const unsigned char kId[3] = {0xA1, 0x40, 0x18};
const std::map<std::string, std::string> kNames = {{"manufacturer_name", "ACME"},
                                                   {"device_name", "AC25Q128"}};

// The user's values at the end of the input, over the maker and device name; size becomes the
// length of the SFDP bytes before them.
std::map<std::string, std::string> take_values(const uint8_t* data, size_t& size) {
  std::map<std::string, std::string> values = kNames;
  if (size == 0) return values;
  --size;
  const size_t length = data[size] < size ? data[size] : size;
  size -= length;
  const std::string text(reinterpret_cast<const char*>(data) + size, length);
  size_t start = 0;
  while (start < text.size()) {
    size_t end = text.find('\n', start);
    if (end == std::string::npos) end = text.size();
    const std::string line = text.substr(start, end - start);
    const size_t equals = line.find('=');
    if (equals != std::string::npos) values[line.substr(0, equals)] = line.substr(equals + 1);
    start = end + 1;
  }
  return values;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::map<std::string, std::string> values = take_values(data, size);
  PGMDEV_SFDP_TABLE table;
  std::string message;
  if (PGMDEV_FLASH_SFDP::read_table(data, size, table, message)) {
    if (table.bfpt_pointer > size || 4u * table.bfpt_dwords > size - table.bfpt_pointer ||
        table.bfpt_dwords < 9 || table.bfpt_header >= table.header_count ||
        table.density_bits == 0 || table.density_bits > 0x80000000u) {
      abort();
    }
  } else if (message.empty()) {
    abort();
  }

  const PGMDEV_SFDP_FLASH flash = PGMDEV_FLASH_SFDP::define_flash(data, size, kId, values);
  if (flash.status == PGMDEV_SFDP_ACCEPTED) {
    if (!pgmdev_unsound_reason(flash.record).empty() ||
        PGMDEV_FLASH_MANAGER::decode_ini(flash.ini) != pgmdev_seal_flash_entry(flash.record_text)) {
      abort();
    }
  } else if (flash.message.empty() || !flash.ini.empty()) {
    abort();
  }
  return 0;
}
