// pgmdev-tool opn: ordering part numbers. opn NAME gives a part's OPN ordinal and 48-bit OPN
// hash; opn --ordinal N and opn --hash H give the part name back.
#include <cerrno>
#include <cstdlib>
#include <string>

#include "name_suggest.h"
#include "pgmdev.h"
#include "tool.h"
#include "tool_output.h"

namespace {

using pgmdev_tool::Json;

constexpr unsigned int kNoOpnEnum = 0xFFFFFFFF;
constexpr unsigned long long kNoOpnHash = 0xFFFFFFFFFFFFFFFFull;
constexpr unsigned long long kHashBits = 0x0000FFFFFFFFFFFFull;

std::string g_name;
std::string g_ordinal;
std::string g_hash;

// A number of the command line: "0x" hexadecimal or decimal digits, no more than max.
unsigned long long parse_number(const std::string& text, unsigned long long max, const char* what) {
  const bool hex = text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X');
  const std::string digits = hex ? text.substr(2) : text;
  const bool digits_only =
      !digits.empty() &&
      digits.find_first_not_of(hex ? "0123456789abcdefABCDEF" : "0123456789") == std::string::npos;
  errno = 0;
  const unsigned long long value =
      digits_only ? std::strtoull(digits.c_str(), nullptr, hex ? 16 : 10) : 0;
  if (!digits_only || errno == ERANGE || value > max) {
    pgmdev_tool::refuse(std::string(what) + " '" + text + "' is not a number from 0 to " +
                        pgmdev_tool::hex_text(max) + " (decimal, or hexadecimal after 0x)");
  }
  return value;
}

Json or_null(const std::string& text) { return text.empty() ? Json(nullptr) : Json(text); }

int answer_with(const Json& answer, const std::string& part, const std::string& miss) {
  pgmdev_tool::print_answer(answer, {{"opn_hash"}});
  if (!part.empty()) return pgmdev_tool::kExitOk;
  pgmdev_tool::tool_message(miss);
  return pgmdev_tool::kExitRefused;
}

int run_opn() {
  if (g_name.empty() && g_ordinal.empty() && g_hash.empty()) {
    pgmdev_tool::usage_error("opn needs a NAME, --ordinal N or --hash H");
  }
  Json answer;
  if (!g_ordinal.empty()) {
    const unsigned int ordinal =
        static_cast<unsigned int>(parse_number(g_ordinal, 0xFFFFFFFEu, "ordinal"));
    const std::string part = PGMDEV_MGR::get_opn(ordinal);
    answer["opn_ordinal"] = ordinal;
    answer["part"] = or_null(part);
    return answer_with(answer, part, "no part has OPN ordinal " + std::to_string(ordinal));
  }
  if (!g_hash.empty()) {
    const unsigned long long hash = parse_number(g_hash, kNoOpnHash - 1, "hash");
    if ((hash & ~kHashBits) != 0) {
      pgmdev_tool::tool_warning("an OPN hash has 48 bits; the upper 16 bits of " +
                                pgmdev_tool::hex_text(hash) + " are ignored");
    }
    const std::string part = PGMDEV_MGR::get_opn_from_hash(hash);
    answer["opn_hash"] = hash & kHashBits;
    answer["part"] = or_null(part);
    return answer_with(answer, part,
                       "no part has OPN hash " + pgmdev_tool::hex_text(hash & kHashBits));
  }
  const std::string name = pgmdev_tool::normalize_name(g_name);
  const unsigned long long hash = PGMDEV_MGR::get_opn_hash(name);
  const unsigned int ordinal = PGMDEV_MGR::get_opn_enum(name);
  answer["part"] = name;
  answer["opn_ordinal"] = ordinal == kNoOpnEnum ? Json(nullptr) : Json(ordinal);
  answer["opn_hash"] = hash == kNoOpnHash ? Json(nullptr) : Json(hash);
  std::string miss = name + " is no catalogue part";
  if (hash == kNoOpnHash) {
    const auto closest = pgmdev_tool::closest_names(name, pgmdev_tool::known_names(), 5,
                                                    pgmdev_tool::suggestion_bound(name.size()));
    if (!closest.empty()) {
      miss += "; closest known names:";
      for (const pgmdev_tool::Suggestion& suggestion : closest) miss += " " + suggestion.name;
    }
  }
  return answer_with(answer, hash == kNoOpnHash ? "" : name, miss);
}

void add_commands(CLI::App& tool) {
  CLI::App* opn = pgmdev_tool::add_command(
      tool, "opn",
      "a catalogue part's OPN ordinal and 48-bit OPN hash, or the part of an ordinal or a hash",
      run_opn);
  CLI::Option* name = opn->add_option("NAME", g_name, "a catalogue part name (any case)");
  CLI::Option* ordinal = opn->add_option("--ordinal", g_ordinal, "the part of this OPN ordinal");
  CLI::Option* hash =
      opn->add_option("--hash", g_hash, "the part of this OPN hash (0x hexadecimal or decimal)");
  name->excludes(ordinal)->excludes(hash);
  ordinal->excludes(hash);
  pgmdev_tool::add_json_flag(opn);
  pgmdev_tool::set_example(opn, "pgmdev-tool opn QZ40BF256C6N",
                           "part        : QZ40BF256C6N\n"
                           "opn_ordinal : 0\n"
                           "opn_hash    : 0x47A8E88CDB38");
}

}  // namespace

PGMDEV_TOOL_COMMANDS("", 20, add_commands);
