// Fuzzes the user-defined flash text: the input is decoded as an INI text, loaded as the
// configuration value by the INI loader, and (without its zero bytes) sent through encode and
// decode, which must give it back. No input may read or write outside its buffer, and nothing but
// the codec's own checks may report.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <iostream>
#include <string>

#include "cfg.h"
#include "msg.h"
#include "pgmdev_flash_manager.h"
#include "pgmdev_flash_manager_ini.h"

namespace {

// The codec prints its failures on standard output: keep the fuzzer's output readable.
const bool g_quiet = [] {
  std::cout.setstate(std::ios::badbit);
  return true;
}();

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);
  PGMDEV_FLASH_MANAGER::decode_ini(text);

  // The loader reads the text from the configuration; the trace switch follows the first byte.
  cfg_set_value(pgmdev_flash_ini_config_key(), text);
  cfg_set_value(pgmdev_flash_ini_config_key() + "_DEBUG", size > 0 && (data[0] & 1) ? "1" : "0");
  PGMDEV_FLASH_MANAGER manager(false, 1, true, (size > 1 && (data[1] & 1)) != 0);
  manager.parse_ext_flash_info();

  // The round trip of a text without zero bytes, when it compresses to at most twice its length
  // and inflates within the decoder's room.
  std::string plain;
  for (const char c : text) {
    if (c != '\0') plain += c;
  }
  const std::string encoded = PGMDEV_FLASH_MANAGER::encode_ini(plain);
  if (!encoded.empty()) {
    const std::string decoded = PGMDEV_FLASH_MANAGER::decode_ini(encoded);
    if (!decoded.empty() && decoded != plain) abort();
  }
  return 0;
}
