// pgmdev-tool flash-ini: the dialogue that defines one to three user flash devices and makes
// their INI text (answers typed at a terminal, piped in, or read from --answers FILE), and
// flash-ini decode TEXT, which shows what the loader makes of an INI text.
#include <unistd.h>

#include <fstream>
#include <iostream>
#include <iterator>
#include <sstream>
#include <string>
#include <vector>

#include "pgmdev.h"
#include "tool.h"
#include "tool_output.h"
#include "tool_records.h"

namespace {

using pgmdev_tool::Json;

constexpr char kEntryEnd = ';';
// The INI text of the help's example (made under suite version 1.0.0, build 100).
constexpr const char kExampleIni[] =
    "ufTHCji20233xZnxoQxwcYNYJ6Y7sK1F8@--XOLF8XGU09OSganOYrTYxW3i7C2UGWbUBBiPhhriv-11IyC5ZscWgIujb"
    "T6XuUaEyTdgVN8j2QgbvjooLgaENFovpXR0waH7m1";

std::string g_answers;
std::string g_text;

// The entries of a decoded INI text, each up to and with its ";".
std::vector<std::string> split_entries(const std::string& decoded) {
  std::vector<std::string> entries;
  std::size_t start = 0;
  for (std::size_t end = decoded.find(kEntryEnd); end != std::string::npos;
       end = decoded.find(kEntryEnd, start)) {
    entries.push_back(decoded.substr(start, end + 1 - start));
    start = end + 1;
  }
  if (start < decoded.size()) entries.push_back(decoded.substr(start));
  return entries;
}

void warn_about_extra_flashes(const std::vector<PGMDEV_INI_ENTRY>& entries) {
  if (entries.size() < 2) return;
  pgmdev_tool::tool_warning(std::to_string(entries.size()) +
                            " flash devices are defined in one INI text, but loading uses only "
                            "the first (" +
                            entries.front().flash.manufacturer_name + " " +
                            entries.front().flash.device_name +
                            "); give each flash its own text to use it");
}

int run_dialogue() {
  std::ifstream file;
  std::istream* input = &std::cin;
  if (!g_answers.empty()) {
    file.open(g_answers);
    if (!file.good()) pgmdev_tool::refuse("cannot read the answers file " + g_answers);
    input = &file;
  }
  // At a terminal the questions are shown (on standard error: standard output carries the
  // answer); answers from a file or a pipe need none.
  const bool interactive = g_answers.empty() && isatty(STDIN_FILENO) != 0;
  std::ostringstream transcript;
  std::ostream& console = interactive ? std::cerr : transcript;
  std::ostringstream refusals;

  PGMDEV_FLASH_MANAGER manager(false, 0, true, false);
  const std::string ini = manager.gen_flash_ini(*input, console, refusals);
  if (ini.empty()) {
    std::istringstream lines(refusals.str().empty() ? transcript.str() : refusals.str());
    std::string last;
    for (std::string line; std::getline(lines, line);) {
      if (!refusals.str().empty()) pgmdev_tool::tool_message("flash-ini: " + line);
      last = line;
    }
    if (refusals.str().empty() && !last.empty()) pgmdev_tool::tool_message("flash-ini: " + last);
    pgmdev_tool::refuse("no INI text was made");
  }

  std::vector<PGMDEV_INI_ENTRY> entries;
  Json flashes = Json::array();
  for (const std::string& text : split_entries(PGMDEV_FLASH_MANAGER::decode_ini(ini))) {
    entries.push_back(PGMDEV_FLASH_MANAGER::read_ini_entry(text));
    flashes.push_back(Json{{"flash", flashes.size() + 1},
                           {"manufacturer_name", entries.back().flash.manufacturer_name},
                           {"device_name", entries.back().flash.device_name},
                           {"check_code", entries.back().check_code}});
  }
  warn_about_extra_flashes(entries);
  pgmdev_tool::print_answer(Json{{"ini", ini}, {"flashes", flashes}});
  return pgmdev_tool::kExitOk;
}

int run_decode() {
  std::string text = g_text;
  if (text == "-") {
    text.assign(std::istreambuf_iterator<char>(std::cin), std::istreambuf_iterator<char>());
  }
  const std::size_t first = text.find_first_not_of(" \t\r\n");
  const std::size_t last = text.find_last_not_of(" \t\r\n");
  text = first == std::string::npos ? "" : text.substr(first, last - first + 1);
  if (text.empty()) pgmdev_tool::refuse("the INI text is empty");

  const std::string decoded = PGMDEV_FLASH_MANAGER::decode_ini(text);
  if (decoded.empty()) {
    pgmdev_tool::refuse(
        "the text does not decode as a user-flash INI text (characters 0-9, A-Z, a-z, @ and -, "
        "carrying a zlib stream)");
  }
  std::vector<PGMDEV_INI_ENTRY> entries;
  for (const std::string& entry : split_entries(decoded)) {
    entries.push_back(PGMDEV_FLASH_MANAGER::read_ini_entry(entry));
  }
  const PGMDEV_INI_ENTRY& entry = entries.front();
  Json answer;
  answer["entries"] = entries.size();
  answer["record_text"] = entry.record_text;
  answer["check_code"] = entry.check_code;
  answer["check_code_holds"] = entry.check_code_holds;
  answer["version_text"] = PGMDEV_FLASH_MANAGER::get_ini_version_text();
  answer["loads"] = entry.refusal.empty();
  answer["refusal"] = entry.refusal;
  answer["flash"] = pgmdev_tool::flash_record_json(entry.flash);
  warn_about_extra_flashes(entries);
  pgmdev_tool::print_answer(answer, pgmdev_tool::flash_view());
  if (!entry.refusal.empty()) {
    pgmdev_tool::tool_message("the loader would not load this flash: " + entry.refusal);
    return pgmdev_tool::kExitRefused;
  }
  return pgmdev_tool::kExitOk;
}

void add_commands(CLI::App& tool) {
  CLI::App* dialogue = pgmdev_tool::add_command(
      tool, "flash-ini",
      "define one to three user flash devices, question by question, and print their INI text "
      "(set it as PGM_3RD_PARTY_FLASH_INI); answers from a terminal, standard input or --answers",
      run_dialogue);
  dialogue
      ->add_option("--answers", g_answers,
                   "read the answers from FILE, one word each, in the order of the questions")
      ->check(CLI::ExistingFile);
  pgmdev_tool::add_json_flag(dialogue);
  pgmdev_tool::set_example(
      dialogue,
      "echo '1 acme ab25q128 18 2 40 1 ef 0 n n n n n n 1 128 64 200 2 3000 1c 1c 0 -1 5 y 3.3' "
      "| pgmdev-tool flash-ini",
      "ini : " + std::string(kExampleIni) +
          "\n"
          "flashes:\n"
          "  flash  manufacturer_name  device_name  check_code\n"
          "  1      ACME               AB25Q128     NMGPMIZBMBXOTEEX\n"
          "(A refused answer exits 1 and names the question, the answer and why.)");
}

// Registered under flash-ini like a subcommand that another file adds.
void add_decode(CLI::App& flash_ini) {
  CLI::App* decode = pgmdev_tool::add_command(
      flash_ini, "decode",
      "what the loader makes of an INI text: the first flash's 33 members, whether its check "
      "code holds under this suite version (and which version text that is), and whether it "
      "loads",
      run_decode);
  decode->add_option("TEXT", g_text, "the INI text, or - to read it from standard input")
      ->required();
  pgmdev_tool::add_json_flag(decode);
  pgmdev_tool::set_example(decode, "pgmdev-tool flash-ini decode " + std::string(kExampleIni),
                           "entries          : 1\n"
                           "...\n"
                           "check_code       : NMGPMIZBMBXOTEEX\n"
                           "check_code_holds : TRUE\n"
                           "version_text     : Velmora Version: 1.0.0 Build 100\n"
                           "loads            : TRUE\n"
                           "refusal          : -\n"
                           "flash:\n"
                           "  manufacturer_name   : ACME\n"
                           "  device_name         : AB25Q128\n"
                           "  ...");
}

}  // namespace

PGMDEV_TOOL_COMMANDS("", 50, add_commands);
PGMDEV_TOOL_COMMANDS("flash-ini", 10, add_decode);
