// pgmdev-tool flash: the flash database. flash id BYTES... identifies a flash by the bytes read
// from it.
#include <memory>
#include <string>
#include <vector>

#include "pgmdev.h"
#include "tool.h"
#include "tool_data.h"
#include "tool_id.h"
#include "tool_output.h"
#include "tool_records.h"

namespace {

using pgmdev_tool::Json;

std::vector<std::string> g_id_words;
bool g_silicon = false;

int run_id() {
  const std::vector<unsigned char> id = pgmdev_tool::parse_id(g_id_words);
  const std::unique_ptr<PGMDEV_FLASH_MANAGER> manager = pgmdev_tool::load_flash();
  const bool found = manager->m_flash_count > 0 &&
                     manager->flash_id_database_mapping(g_silicon, 0, id.data(),
                                                        static_cast<unsigned int>(id.size()));
  Json answer;
  answer["id"] = pgmdev_tool::id_text(id);
  answer["silicon_id"] = g_silicon;
  answer["found"] = found;
  if (!found) {
    pgmdev_tool::print_answer(answer);
    pgmdev_tool::tool_message("no flash record matches " +
                              std::string(g_silicon ? "silicon id " : "id ") +
                              pgmdev_tool::id_text(id));
    return pgmdev_tool::kExitRefused;
  }
  const unsigned int index = manager->get_flash_mapping_index(0, false);
  answer["index"] = index;
  answer["record"] = pgmdev_tool::flash_record_json(manager->m_flash_database[index]);
  pgmdev_tool::print_answer(answer, pgmdev_tool::flash_view());
  return pgmdev_tool::kExitOk;
}

void add_commands(CLI::App& tool) {
  CLI::App* flash = pgmdev_tool::add_command(tool, "flash", "query the flash database");
  CLI::App* id = pgmdev_tool::add_command(
      *flash, "id",
      "identify a flash by the identification bytes read from it: the record that the "
      "programmer would use",
      run_id);
  id->add_option("BYTES", g_id_words,
                 "hexadecimal bytes in the order read: EF 40 18, EF4018, 0xEF4018 or "
                 "0xEF 0x40 0x18")
      ->required();
  id->add_flag("--silicon", g_silicon, "match one-byte silicon ids instead of device ids");
  pgmdev_tool::add_json_flag(id);
}

}  // namespace

PGMDEV_TOOL_COMMANDS("", 40, add_commands);
