// Feeds an INI text, as a user sets it in the configuration, to the user-defined flash decoder
// and loader: six-bit characters, inflation, then (under the trace switch that the first byte
// chooses) the loader's checks. A text without zero bytes is also sent through encode and
// decode, which must give it back whenever both succeed.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "cfg.h"
#include "fuzz_support.h"
#include "msg.h"
#include "pgmdev_flash_manager.h"
#include "pgmdev_flash_manager_ini.h"

namespace {

// The codec prints its failures on standard output.
const bool g_quiet = [] {
  pgmdev_fuzz::quiet_standard_output();
  return true;
}();

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size > (64u << 10)) return 0;
  const std::string text(reinterpret_cast<const char*>(data), size);
  pgmdev_fuzz::completes([&] { PGMDEV_FLASH_MANAGER::decode_ini(text); });

  const std::string key = pgmdev_flash_ini_config_key();
  cfg_set_value(key, text);
  cfg_set_value(key + "_DEBUG", size > 0 && (data[0] & 1) ? "1" : "0");
  pgmdev_fuzz::completes([&] {
    PGMDEV_FLASH_MANAGER manager(false, 1, true, size > 1 && (data[1] & 1) != 0);
    manager.parse_ext_flash_info();
  });

  std::string plain;
  for (const char c : text) {
    if (c != '\0') plain += c;
  }
  pgmdev_fuzz::completes([&] {
    const std::string encoded = PGMDEV_FLASH_MANAGER::encode_ini(plain);
    if (!encoded.empty()) {
      const std::string decoded = PGMDEV_FLASH_MANAGER::decode_ini(encoded);
      if (!decoded.empty() && decoded != plain) abort();
    }
  });
  msg_clear_debug_log();
  return 0;
}
