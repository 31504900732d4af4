// Feeds an inflated flash database payload to the flash manager's parse step, as
// initialize_flash_database hands it over. A user-defined flash is configured (the record text of
// docs/user_flash.md, sealed for this suite version), so every load also places it ahead of the
// file's records; of the gates that the shipped records use, one is switched on and the others
// stay off. A payload that loads must keep its record count within what it allocated.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "cfg.h"
#include "fuzz_support.h"
#include "msg.h"
#include "pgmdev_flash_manager.h"
#include "pgmdev_flash_manager_ini.h"

namespace {

constexpr char kUserFlash[] =
    "@ACME@MY25Q80@0@20@2@32@1@32@0@32@1@NONE@0@0@0@0@0@0@1@8388608@65536@0@0@200@2@3000@28@28@0@"
    "255@32@1@3.3@";

const bool g_configured = [] {
  pgmdev_fuzz::quiet_standard_output();
  const std::string entry =
      std::string(kUserFlash) + "#" + PGMDEV_FLASH_MANAGER::gen_ini_password(kUserFlash) + ";";
  const pgmdev_fuzz::Bytes stream = pgmdev_fuzz::deflate_bytes(
      reinterpret_cast<const unsigned char*>(entry.data()), entry.size());
  cfg_set_value(pgmdev_flash_ini_config_key(), pgmdev_ini_pack(stream.data(), stream.size()));
  cfg_set_value("PGM_ALLOW_MT25Q", "1");
  return true;
}();

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size > (4u << 20)) return 0;
  std::vector<unsigned char> payload(data, data + size);
  PGMDEV_FLASH_MANAGER manager(false, 1, true, (size & 1) != 0);
  pgmdev_fuzz::completes([&] {
    manager.parse_database(payload.data(), static_cast<unsigned int>(payload.size()));
    // The user-defined flash always loads, so at least it is held.
    if (manager.m_flash_count == 0 || manager.m_flash_database[0].device_name != "MY25Q80") {
      abort();
    }
  });
  msg_clear_debug_log();  // debug messages pile up in the host's log
  return 0;
}
