// Feeds the text inside an INI text, the record entries ("@value@...@#CHECKCODE;"), to the
// user-defined flash loader's field path: value splitting, conversion of the 33 members, the
// soundness checks and the check code. The target compresses and packs the text into the
// configuration value as the flash-ini command does. The first input byte holds switches: bit 0
// replaces the first entry's check code by the right one for its record text (so that the
// fuzzer gets past the code), bit 1 turns on the loader's trace, bit 2 the manager's debug
// messages.
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

const bool g_quiet = [] {
  pgmdev_fuzz::quiet_standard_output();
  return true;
}();

// The check code of the first entry replaced by the one that its record text has.
std::string sealed(std::string text) {
  const size_t mark = text.find('#');
  const size_t end = text.find(';');
  if (mark == std::string::npos || end == std::string::npos || mark == 0 || mark > end) {
    return text;
  }
  std::string record = text.substr(0, mark);
  const size_t zero = record.find('\0');  // the decoder ends the text at its first zero byte
  if (zero != std::string::npos) return text;
  return record + "#" + PGMDEV_FLASH_MANAGER::gen_ini_password(record) + text.substr(end);
}

// A refused flash leaves m_ini_flash all-empty; an accepted one passed the soundness checks, of
// which a memory id other than 0 is the first.
void check_outcome(const PGMDEV_SFL_FLASH_INFO& flash) {
  if (flash.memory_id == 0) {
    if (!flash.manufacturer_name.empty() || !flash.device_name.empty() || !flash.ini.empty() ||
        !flash.asc_voltage.empty() || flash.device_bit_size != 0 || flash.default_dev) {
      abort();
    }
    return;
  }
  if (flash.memory_id_index > 2 || flash.die_count == 0 || flash.device_bit_size == 0 ||
      flash.device_sector_byte == 0 || flash.program_utime < 1000 ||
      flash.program_utime > 1000000) {
    abort();
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 1 || size > (64u << 10)) return 0;
  const uint8_t switches = data[0];
  std::string text(reinterpret_cast<const char*>(data + 1), size - 1);
  if (switches & 1) text = sealed(text);

  const pgmdev_fuzz::Bytes stream =
      pgmdev_fuzz::deflate_bytes(reinterpret_cast<const unsigned char*>(text.data()), text.size());
  const std::string key = pgmdev_flash_ini_config_key();
  cfg_set_value(key, pgmdev_ini_pack(stream.data(), stream.size()));
  cfg_set_value(key + "_DEBUG", (switches & 2) ? "1" : "0");
  pgmdev_fuzz::completes([&] {
    PGMDEV_FLASH_MANAGER manager(false, 1, true, (switches & 4) != 0);
    manager.parse_ext_flash_info();
    check_outcome(manager.m_ini_flash);
  });
  msg_clear_debug_log();
  return 0;
}
