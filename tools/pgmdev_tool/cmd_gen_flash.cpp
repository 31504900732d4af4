// pgmdev-tool commands of the flash database: gen-flash writes the database file from the flash
// CSV; flash-id shows which record of the installed database a flash's identification bytes select.
#include <cstdio>
#include <string>
#include <vector>

#include "pgm_common.h"
#include "pgmdev_flash_manager.h"
#include "tool_command.h"

namespace {

int gen_flash(const std::vector<std::string>& arguments) {
  if (arguments.size() != 2) {
    std::fprintf(stderr, "usage: pgmdev-tool gen-flash CSV OUT\n");
    return 2;
  }
  PGMDEV_FLASH_MANAGER generator(false, 0, true, false);
  generator.generate_flash_database(FIO_PATH(arguments[0]), FIO_PATH(arguments[1]));
  return 0;
}

int flash_id(const std::vector<std::string>& arguments) {
  std::vector<std::string> bytes = arguments;
  bool by_silicon_id = false;
  if (!bytes.empty() && bytes.front() == "--silicon") {
    by_silicon_id = true;
    bytes.erase(bytes.begin());
  }
  if (bytes.empty()) {
    std::fprintf(stderr, "usage: pgmdev-tool flash-id [--silicon] B0 [B1 ...]\n");
    return 2;
  }
  std::vector<unsigned char> id;
  for (const std::string& text : bytes) {
    bool ok = false;
    const DWORD value = PGM_COMMON::convert_string_to_dword("0x" + text, true, &ok, nullptr, true);
    if (!ok || value > 0xFF) {
      std::fprintf(stderr, "pgmdev-tool: '%s' is not a hexadecimal byte\n", text.c_str());
      return 2;
    }
    id.push_back(static_cast<unsigned char>(value));
  }
  PGMDEV_FLASH_MANAGER manager(false, 1, false, false);
  if (!manager.flash_id_database_mapping(by_silicon_id, 0, id.data(),
                                         static_cast<unsigned int>(id.size()))) {
    std::printf("no flash record matches\n");
    return 1;
  }
  const unsigned int index = manager.get_flash_mapping_index(0, false);
  const PGMDEV_SFL_FLASH_INFO& flash = manager.m_flash_database[index];
  std::printf("record %u: %s %s, %u Mbit, %u KB sectors, %u die(s), %s V, type %u\n", index,
              flash.manufacturer_name.c_str(), flash.device_name.c_str(),
              flash.device_bit_size >> 20, flash.device_sector_byte >> 10, flash.die_count,
              flash.asc_voltage.c_str(), flash.norvik_id);
  return 0;
}

}  // namespace

PGMDEV_TOOL_COMMAND("gen-flash", "CSV OUT",
                    "write the flash database file OUT from the flash CSV "
                    "(whole or not at all)",
                    gen_flash);
PGMDEV_TOOL_COMMAND("flash-id", "[--silicon] B0 [B1 ...]",
                    "show the installed flash record that the hexadecimal id bytes select",
                    flash_id);
