// pgmdev-tool name NAME: what every function of the device-name grammar answers for a name,
// the catalogue part the name stands for with its device, device-info record, OPN ordinal and
// OPN hash, the family a family name stands for, and for a name that nothing resolves the
// closest known names.
#include <memory>
#include <string>

#include "dev_catalogue.h"
#include "msg.h"
#include "name_suggest.h"
#include "pgmdev.h"
#include "tool.h"
#include "tool_data.h"
#include "tool_output.h"

namespace {

using pgmdev_tool::Json;
typedef PGMDEV_DEVICE_GRAMMAR_MGR GRAMMAR;

constexpr unsigned int kNoOpnEnum = 0xFFFFFFFF;
constexpr std::size_t kSuggestions = 5;
constexpr unsigned long long kNoOpnHash = 0xFFFFFFFFFFFFFFFFull;

std::string g_name;

Json grammar_row(const char* function, const std::string& given, const Json& result) {
  return Json{{"function", function}, {"given", given}, {"result", result}};
}

// Each grammar function with the name it was given and its result. The pgm pcf functions are
// given the name's pgm name, the pcf functions the pcf the name leads to (its pgm pcf, else its
// catalogue-device pcf), the family function the pgm name when the name itself has no family,
// so that a full part name shows its whole chain.
Json grammar_rows(const std::string& name) {
  const std::string pgm = GRAMMAR::get_pgm_name(name, false, true);
  const std::string pgm_or_name = pgm.empty() ? name : pgm;
  std::string pgm_part_pcf;
  std::string pgm_family_pcf;
  GRAMMAR::get_pgm_pcfs(name, pgm_part_pcf, pgm_family_pcf);
  std::string dev_part_pcf;
  std::string dev_family_pcf;
  GRAMMAR::get_dev_pcfs(name, dev_part_pcf, dev_family_pcf);
  std::string pcf = pgm_part_pcf.empty() ? dev_part_pcf : pgm_part_pcf;
  if (pcf.empty()) pcf = name;
  std::string family = GRAMMAR::get_family(name);
  std::string family_given = name;
  if (family.empty() && !pgm.empty()) {
    family = GRAMMAR::get_family(pgm);
    family_given = pgm;
  }
  Json rows = Json::array();
  rows.push_back(grammar_row("get_package_name", name, GRAMMAR::get_package_name(name, true)));
  rows.push_back(grammar_row("get_pgm_name", name, pgm));
  rows.push_back(
      grammar_row("get_pgm_part_pcf", pgm_or_name, GRAMMAR::get_pgm_part_pcf(pgm_or_name)));
  rows.push_back(
      grammar_row("get_pgm_family_pcf", pgm_or_name, GRAMMAR::get_pgm_family_pcf(pgm_or_name)));
  rows.push_back(grammar_row("get_pgm_pcfs", name, Json::array({pgm_part_pcf, pgm_family_pcf})));
  rows.push_back(grammar_row("get_dev_part_pcf", name, GRAMMAR::get_dev_part_pcf(name)));
  rows.push_back(grammar_row("get_dev_family_pcf", name, GRAMMAR::get_dev_family_pcf(name)));
  rows.push_back(grammar_row("get_dev_pcfs", name, Json::array({dev_part_pcf, dev_family_pcf})));
  rows.push_back(grammar_row("get_pcf_family_pcf", pcf, GRAMMAR::get_pcf_family_pcf(pcf)));
  rows.push_back(grammar_row("get_pcf_device", pcf, GRAMMAR::get_pcf_device(pcf)));
  rows.push_back(grammar_row("get_family", family_given, family));
  rows.push_back(grammar_row("use_package_name", name, GRAMMAR::use_package_name(name)));
  rows.push_back(grammar_row("use_full_name", name, GRAMMAR::use_full_name(name)));
  return rows;
}

// Whether a grammar result found something (a name, or a true answer).
bool found_something(const Json& result) {
  if (result.is_string()) return !result.get<std::string>().empty();
  if (result.is_boolean()) return result.get<bool>();
  if (result.is_array()) {
    for (const Json& item : result) {
      if (found_something(item)) return true;
    }
  }
  return false;
}

// The catalogue part that name completes to (the first part whose name, package name or pgm
// name it is): its number, its own catalogue device and family, the device-info record that
// applies to it, its OPN ordinal and OPN hash. Null when no part matches.
Json catalogue_part(const std::string& name) {
  std::string part_name;
  try {
    part_name = PGMDEV_MGR::get_possible_full_name(name);
  } catch (const MSG_INTERNAL_ERROR_EXCEPTION&) {
    // The completion reports a name that matches no part as an internal error.
    return nullptr;
  }
  const DEV_PART_ENUM part = dstr_get_dev_part_enum_by_string(part_name);
  const DEV_PART_MANAGER catalogue;
  const DEV_DEVICE_ENUM device = catalogue.get_device_of(part);
  Json answer;
  answer["part"] = part_name;
  answer["part_number"] = static_cast<int>(part);
  answer["device"] = dstr_get_user_string(device);
  answer["family"] = dstr_get_user_string(catalogue.get_family_of(device));
  answer["dev_info_record"] = nullptr;
  if (pgmdev_tool::dev_info_file().present) {
    const std::unique_ptr<PGMDEV_DEV_INFO_MANAGER> dev_info = pgmdev_tool::load_dev_info();
    const std::unique_ptr<PGMDEV_DEV_INFO_RECORD> record(dev_info->get_db_by_part(part));
    if (record) answer["dev_info_record"] = dev_info->m_index;
  }
  const unsigned int ordinal = PGMDEV_MGR::get_opn_enum(part_name);
  answer["opn_ordinal"] = ordinal == kNoOpnEnum ? Json(nullptr) : Json(ordinal);
  const unsigned long long hash = PGMDEV_MGR::get_opn_hash(part_name);
  answer["opn_hash"] = hash == kNoOpnHash ? Json(nullptr) : Json(hash);
  return answer;
}

// The catalogue family that name is the name or identifier of: its pcf names in the grammar
// database and its numbers of devices and parts. Null when name is no family.
Json catalogue_family(const std::string& name) {
  DEV_FAMILY_ENUM family = DEV_FAMILY_INVALID;
  for (int number = DEV_FAMILY_INVALID + 1; number < DEV_FAMILY_MAX; ++number) {
    const DEV_FAMILY_ENUM candidate = static_cast<DEV_FAMILY_ENUM>(number);
    if (pgmdev_tool::normalize_name(dstr_get_user_string(candidate)) == name ||
        dstr_get_family_identifier(candidate) == name) {
      family = candidate;
      break;
    }
  }
  const std::vector<std::string> pcfs = GRAMMAR::get_family_pcfs(name);
  if (family == DEV_FAMILY_INVALID && pcfs.empty()) return nullptr;
  const DEV_PART_MANAGER catalogue;
  int devices = 0;
  for (int device = DEV_DEVICE_INVALID + 1; device < DEV_DEVICE_MAX; ++device) {
    if (family != DEV_FAMILY_INVALID &&
        catalogue.get_family_of(static_cast<DEV_DEVICE_ENUM>(device)) == family) {
      ++devices;
    }
  }
  int parts = 0;
  for (int part = DEV_PART_INVALID + 1; part < DEV_PART_MAX; ++part) {
    if (family != DEV_FAMILY_INVALID && catalogue.get_family_of(catalogue.get_device_of(
                                            static_cast<DEV_PART_ENUM>(part))) == family) {
      ++parts;
    }
  }
  Json answer;
  answer["family"] = dstr_get_user_string(family);
  answer["family_number"] = static_cast<int>(family);
  answer["identifier"] = dstr_get_family_identifier(family);
  answer["pcfs"] = pcfs;
  answer["device_count"] = devices;
  answer["part_count"] = parts;
  return answer;
}

Json suggestions_for(const std::string& name) {
  Json list = Json::array();
  for (const pgmdev_tool::Suggestion& suggestion :
       pgmdev_tool::closest_names(name, pgmdev_tool::known_names(), kSuggestions,
                                  pgmdev_tool::suggestion_bound(name.size()))) {
    list.push_back(Json{{"name", suggestion.name}, {"distance", suggestion.distance}});
  }
  return list;
}

int run_name() {
  // The grammar trims and upper-cases every name; the completion only upper-cases.
  const std::string name = pgmdev_tool::normalize_name(g_name);
  if (name.empty()) pgmdev_tool::refuse("the name is empty");
  Json answer;
  answer["name"] = name;
  answer["found"] = false;
  answer["kinds"] = GRAMMAR::get_name_kinds(name);
  answer["grammar"] = grammar_rows(name);
  answer["catalogue"] = catalogue_part(name);
  answer["family"] = catalogue_family(name);
  bool found =
      !answer["catalogue"].is_null() || !answer["family"].is_null() || !answer["kinds"].empty();
  for (const Json& row : answer["grammar"]) found = found || found_something(row["result"]);
  answer["found"] = found;
  if (found) {
    pgmdev_tool::print_answer(answer, {{"opn_hash"}});
    return pgmdev_tool::kExitOk;
  }
  // Nothing resolves the name: the answer is the names that come closest.
  Json miss;
  miss["name"] = name;
  miss["found"] = false;
  miss["suggestions"] = suggestions_for(name);
  pgmdev_tool::print_answer(miss);
  std::string message = "no device name '" + name + "' is known";
  if (!miss["suggestions"].empty()) {
    message += "; closest known names:";
    for (const Json& suggestion : miss["suggestions"]) {
      message += " " + suggestion["name"].get<std::string>();
    }
  }
  pgmdev_tool::tool_message(message);
  return pgmdev_tool::kExitRefused;
}

void add_commands(CLI::App& tool) {
  CLI::App* command = pgmdev_tool::add_command(
      tool, "name",
      "resolve a device name: every grammar function's answer, the catalogue part with its "
      "device, device-info record, OPN ordinal and OPN hash",
      run_name);
  command->add_option("NAME", g_name, "a full part, package, pgm, pcf, family or device name")
      ->required();
  pgmdev_tool::add_json_flag(command);
  pgmdev_tool::set_example(command, "pgmdev-tool name QZ40B",
                           "name   : QZ40B\n"
                           "found  : TRUE\n"
                           "kinds  : pgm name\n"
                           "grammar:\n"
                           "  function            given  result\n"
                           "  ...\n"
                           "  get_pgm_part_pcf    QZ40B  QZ60B\n"
                           "  ...\n"
                           "  get_pcf_device      QZ60B  QZ60B_DIE\n"
                           "  ...\n"
                           "catalogue:\n"
                           "  part            : QZ40BF256C6N\n"
                           "  part_number     : 1\n"
                           "  device          : QZ60B_DIE\n"
                           "  family          : Ternfield\n"
                           "  dev_info_record : 0\n"
                           "  opn_ordinal     : 0\n"
                           "  opn_hash        : 0x47A8E88CDB38\n"
                           "(A name that nothing resolves exits 1 with the closest known names.)");
}

}  // namespace

PGMDEV_TOOL_COMMANDS("", 10, add_commands);
