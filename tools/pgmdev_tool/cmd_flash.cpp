// pgmdev-tool flash: the flash database. flash id BYTES... identifies a flash by the bytes read
// from it.
#include <cctype>
#include <memory>
#include <string>
#include <vector>

#include "pgmdev.h"
#include "tool.h"
#include "tool_data.h"
#include "tool_output.h"
#include "tool_records.h"

namespace {

using pgmdev_tool::Json;

// More identification bytes than any record compares.
constexpr std::size_t kMaxIdBytes = 16;

std::vector<std::string> g_id_words;
bool g_silicon = false;

int hex_digit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  const char upper = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  if (upper >= 'A' && upper <= 'F') return upper - 'A' + 10;
  return -1;
}

// The identification bytes of words in any of the forms "EF 40 18", "EF4018", "0xEF4018",
// "0xEF 0x40 0x18": each word is hexadecimal digits, with or without "0x"; a word of one or
// two digits is one byte, a longer one an even number of digits read as bytes in the order
// written.
std::vector<unsigned char> parse_id(const std::vector<std::string>& words) {
  std::vector<unsigned char> id;
  for (const std::string& word : words) {
    std::string digits = word;
    if (digits.size() > 2 && digits[0] == '0' && (digits[1] == 'x' || digits[1] == 'X')) {
      digits.erase(0, 2);
    }
    const bool one_byte = digits.size() == 1 || digits.size() == 2;
    if (digits.empty() || (!one_byte && digits.size() % 2 != 0)) {
      pgmdev_tool::refuse("identification byte '" + word +
                          "' is not hexadecimal bytes (e.g. EF 40 18, EF4018, 0xEF4018)");
    }
    for (std::size_t at = 0; at < digits.size(); at += one_byte ? digits.size() : 2) {
      const std::size_t length = one_byte ? digits.size() : 2;
      int value = 0;
      for (std::size_t i = at; i < at + length; ++i) {
        const int digit = hex_digit(digits[i]);
        if (digit < 0) {
          pgmdev_tool::refuse("identification byte '" + word + "' holds '" +
                              std::string(1, digits[i]) + "', which is no hexadecimal digit");
        }
        value = value * 16 + digit;
      }
      id.push_back(static_cast<unsigned char>(value));
    }
  }
  if (id.size() > kMaxIdBytes) {
    pgmdev_tool::refuse("at most " + std::to_string(kMaxIdBytes) +
                        " identification bytes are compared; " + std::to_string(id.size()) +
                        " were given");
  }
  return id;
}

std::string id_text(const std::vector<unsigned char>& id) {
  std::string text;
  for (const unsigned char byte : id) {
    if (!text.empty()) text += ' ';
    text += pgmdev_tool::hex_text(byte).substr(2);
  }
  return text;
}

int run_id() {
  const std::vector<unsigned char> id = parse_id(g_id_words);
  const std::unique_ptr<PGMDEV_FLASH_MANAGER> manager = pgmdev_tool::load_flash();
  const bool found = manager->m_flash_count > 0 &&
                     manager->flash_id_database_mapping(g_silicon, 0, id.data(),
                                                        static_cast<unsigned int>(id.size()));
  Json answer;
  answer["id"] = id_text(id);
  answer["silicon_id"] = g_silicon;
  answer["found"] = found;
  if (!found) {
    pgmdev_tool::print_answer(answer);
    pgmdev_tool::tool_message("no flash record matches " +
                              std::string(g_silicon ? "silicon id " : "id ") + id_text(id));
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
