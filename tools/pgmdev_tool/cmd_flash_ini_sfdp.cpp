// pgmdev-tool flash-ini sfdp: a user flash from the chip's own SFDP table. The SFDP bytes come
// from a file or standard input (raw, or hex text), the id bytes, maker and device name from
// options, anything else as MEMBER=VALUE; the answer is the record, where each member came from,
// the notes and the INI text.
#include <fstream>
#include <iostream>
#include <istream>
#include <iterator>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "pgmdev.h"
#include "tool.h"
#include "tool_id.h"
#include "tool_output.h"
#include "tool_records.h"

namespace {

using pgmdev_tool::Json;

// The most bytes an SFDP table can span: a 24-bit table pointer and 255 DWORDs after it.
constexpr std::size_t kMaxSfdpBytes = (std::size_t{1} << 24) + 4 * 255;
// Hex text takes at least two characters a byte; room for blanks and "0x" prefixes too.
constexpr std::size_t kMaxFileBytes = 6 * kMaxSfdpBytes;
constexpr char kSignature[] = "SFDP";
constexpr std::size_t kIdBytes = 3;

// The example of the help: the SFDP bytes of a 128 Mbit flash with 4, 32 and 64 KB erase types
// and a 16-DWORD BFPT (docs/formats.md), and the INI text they give under the default suite
// version.
constexpr char kExampleSfdp[] =
    "53464450 060100FF 00060110 100000FF E520F1FF FFFFFF07 44EB086B 083B42BB FEFFFFFF FFFF00FF "
    "FFFF44EB 0C200F52 10D80000 263AA500 81EA0349 00005AD9 201C9F82 9CC95CF6 A0082FFF F0F00300";
constexpr char kExampleIni[] =
    "ufTHCka202334zmuUnaq45SpKALKGhVMsx-1nGTX48CJct44J7P4JiUJy460703B02aHkNONMEBPN-FUg4OQSqxOgAMxgQ"
    "EFu9oy5@UdgDSfNGN@UBVyKkMUshrro@yBWSN7P1";

std::string g_sfdp_file;
std::string g_id;
std::string g_maker;
std::string g_name;
std::vector<std::string> g_assignments;

[[noreturn]] void too_long(const std::string& name, std::size_t limit) {
  pgmdev_tool::data_error(name + ": more than " + std::to_string(limit) +
                          " bytes, which no SFDP table spans");
}

bool is_blank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

// Raw SFDP bytes begin with the signature, or hold bytes that no text has.
bool is_raw(const std::string& contents) {
  if (contents.compare(0, sizeof(kSignature) - 1, kSignature) == 0) return true;
  for (const char c : contents) {
    const unsigned char byte = static_cast<unsigned char>(c);
    if ((byte < ' ' && !is_blank(c)) || byte >= 0x7F) return true;
  }
  return false;
}

// Hex text: words of hexadecimal digit pairs, each with or without "0x", between blanks.
std::vector<unsigned char> parse_hex_text(const std::string& path, const std::string& text) {
  std::vector<unsigned char> bytes;
  std::size_t line = 1;
  std::size_t line_start = 0;
  std::size_t at = 0;
  while (at < text.size()) {
    if (is_blank(text[at])) {
      if (text[at] == '\n') {
        ++line;
        line_start = at + 1;
      }
      ++at;
      continue;
    }
    const std::size_t start = at;
    while (at < text.size() && !is_blank(text[at])) ++at;
    const std::string word = text.substr(start, at - start);
    const std::size_t prefix =
        word.size() > 2 && word[0] == '0' && (word[1] == 'x' || word[1] == 'X') ? 2 : 0;
    const auto refuse_word = [&](const std::string& why) {
      pgmdev_tool::data_error(path + ":" + std::to_string(line) + ":" +
                              std::to_string(start - line_start + 1) + ": '" + word + "' " + why +
                              ": write the SFDP bytes as hexadecimal pairs (53 46 44 50, "
                              "0x53 0x46 or 53464450), or give the raw bytes");
    };
    if ((word.size() - prefix) % 2 != 0) refuse_word("is not a whole number of bytes");
    for (std::size_t i = prefix; i < word.size(); i += 2) {
      const int high = pgmdev_tool::hex_digit(word[i]);
      const int low = pgmdev_tool::hex_digit(word[i + 1]);
      if (high < 0 || low < 0) refuse_word("is not hexadecimal");
      bytes.push_back(static_cast<unsigned char>(high << 4 | low));
    }
    if (bytes.size() > kMaxSfdpBytes) {
      too_long(path, kMaxSfdpBytes);
    }
  }
  return bytes;
}

// The SFDP bytes of path ("-": standard input): its bytes when they are raw, else its hex text
// read.
std::vector<unsigned char> read_sfdp_file(const std::string& path) {
  const bool from_input = path == "-";
  const std::string name = from_input ? "standard input" : path;
  std::ifstream file;
  if (!from_input) {
    file.open(path, std::ios::binary);
    if (!file) pgmdev_tool::data_error(name + ": cannot be read");
  }
  std::istream& input = from_input ? std::cin : file;
  std::string contents;
  char buffer[65536];
  while (input.read(buffer, sizeof buffer) || input.gcount() > 0) {
    contents.append(buffer, static_cast<std::size_t>(input.gcount()));
    if (contents.size() > kMaxFileBytes) {
      too_long(name, kMaxFileBytes);
    }
  }
  if (input.bad()) pgmdev_tool::data_error(name + ": cannot be read");
  if (is_raw(contents)) {
    if (contents.size() > kMaxSfdpBytes) too_long(name, kMaxSfdpBytes);
    return std::vector<unsigned char>(contents.begin(), contents.end());
  }
  return parse_hex_text(name, contents);
}

// The three id bytes of --id: "EF4018", "EF 40 18", "0xEF4018".
std::vector<unsigned char> read_id(const std::string& text) {
  std::istringstream words_of(text);
  const std::vector<std::string> words{std::istream_iterator<std::string>(words_of),
                                       std::istream_iterator<std::string>()};
  const std::vector<unsigned char> id = pgmdev_tool::parse_id(words);
  if (id.size() != kIdBytes) {
    pgmdev_tool::refuse("--id '" + text + "' gives " + std::to_string(id.size()) +
                        " bytes: the read-id command 0x9F gives three (manufacturer, memory type, "
                        "capacity), e.g. EF4018");
  }
  return id;
}

// The members given: MEMBER=VALUE arguments, with --maker and --name.
std::map<std::string, std::string> read_values() {
  std::map<std::string, std::string> values;
  const auto give = [&values](const std::string& member, const std::string& value,
                              const std::string& argument) {
    if (!values.emplace(member, value).second) {
      pgmdev_tool::usage_error("'" + argument + "': " + member + " is given twice" +
                               (member == "manufacturer_name" ? " (--maker gives it)"
                                : member == "device_name"     ? " (--name gives it)"
                                                              : ""));
    }
  };
  give("manufacturer_name", g_maker, "--maker");
  give("device_name", g_name, "--name");
  for (const std::string& assignment : g_assignments) {
    const std::size_t equals = assignment.find('=');
    if (equals == std::string::npos || equals == 0) {
      pgmdev_tool::usage_error("'" + assignment + "' is not MEMBER=VALUE (e.g. die_count=2)");
    }
    give(assignment.substr(0, equals), assignment.substr(equals + 1), assignment);
  }
  return values;
}

Json member_list(const std::vector<std::string>& members) {
  Json list = Json::array();
  for (const std::string& member : members) list.push_back(member);
  return list;
}

int run_sfdp() {
  const std::vector<unsigned char> sfdp = read_sfdp_file(g_sfdp_file);
  const std::vector<unsigned char> id = read_id(g_id);
  const std::map<std::string, std::string> values = read_values();
  const PGMDEV_SFDP_FLASH flash =
      PGMDEV_FLASH_SFDP::define_flash(sfdp.data(), sfdp.size(), id.data(), values);

  Json answer;
  answer["record"] = flash.status == PGMDEV_SFDP_TABLE_REFUSED
                         ? Json(nullptr)
                         : pgmdev_tool::flash_record_json(flash.record);
  answer["derived"] = member_list(flash.derived);
  answer["clamped"] = member_list(flash.clamped);
  answer["given"] = member_list(flash.given);
  answer["defaulted"] = member_list(flash.defaulted);
  answer["notes"] = member_list(flash.notes);
  answer["ini"] = flash.status == PGMDEV_SFDP_ACCEPTED ? Json(flash.ini) : Json(nullptr);
  pgmdev_tool::PersonView view = pgmdev_tool::flash_view();
  view.line_keys.insert("notes");
  pgmdev_tool::print_answer(answer, view);
  if (flash.status != PGMDEV_SFDP_ACCEPTED) {
    // A refused table is the file's fault; the other refusals concern the values given.
    pgmdev_tool::tool_message(
        (flash.status == PGMDEV_SFDP_TABLE_REFUSED
             ? (g_sfdp_file == "-" ? std::string("standard input") : g_sfdp_file) + ": "
             : std::string()) +
        flash.message);
    return pgmdev_tool::kExitRefused;
  }
  return pgmdev_tool::kExitOk;
}

void add_commands(CLI::App& flash_ini) {
  CLI::App* sfdp = pgmdev_tool::add_command(
      flash_ini, "sfdp",
      "define a user flash from its SFDP table (read with command 0x5A from address 0) and its "
      "id bytes, and print its record, where each member came from and its INI text",
      run_sfdp);
  sfdp->add_option("--sfdp", g_sfdp_file,
                   "file of the SFDP bytes (- for standard input): raw, or hex text with any "
                   "blanks and optional 0x")
      ->type_name("FILE")
      ->required();
  sfdp->add_option("--id", g_id,
                   "the three id bytes of read-id 0x9F: EF4018, 'EF 40 18' or 0xEF4018")
      ->type_name("ID")
      ->required();
  sfdp->add_option("--maker", g_maker, "manufacturer name (1 to 19 characters)")
      ->type_name("MAKER")
      ->required();
  sfdp->add_option("--name", g_name, "device name (1 to 19 characters)")
      ->type_name("NAME")
      ->required();
  sfdp->add_option("VALUES", g_assignments,
                   "members the table cannot give, or values that replace the table's, by "
                   "schema name: die_count=2, protection_mask=0x3C, sdm_support=n "
                   "(docs/user_flash.md)")
      ->type_name("MEMBER=VALUE");
  pgmdev_tool::add_json_flag(sfdp);
  pgmdev_tool::set_example(
      sfdp,
      "echo '" + std::string(kExampleSfdp) +
          "' | pgmdev-tool flash-ini sfdp --sfdp - --id A14018 --maker acme --name ac25q128",
      "record:\n"
      "  manufacturer_name   : ACME\n"
      "  ...\n"
      "  device_bit_size     : 134217728\n"
      "  device_sector_byte  : 65536\n"
      "  ...\n"
      "  bulk_erase_time     : 560\n"
      "  sec_erase_time      : 3\n"
      "  program_utime       : 2816\n"
      "  ...\n"
      "derived   : device_bit_size, device_sector_byte, byte4_addressing, bulk_erase_time, "
      "sec_erase_time, program_utime\n"
      "clamped   : -\n"
      "given     : manufacturer_name, device_name\n"
      "...\n"
      "ini       : " +
          std::string(kExampleIni) +
          "\n"
          "(A refused table, value or record exits 1 and says why.)");
}

}  // namespace

PGMDEV_TOOL_COMMANDS("flash-ini", 10, add_commands);
