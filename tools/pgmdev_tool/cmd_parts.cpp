// pgmdev-tool parts, families, full-name, part-from-pcf, part-from-dev: the catalogue's parts
// and families, listed with filters, and the library's part-name searches.
#include <fnmatch.h>

#include <map>
#include <string>
#include <vector>

#include "dev_catalogue.h"
#include "msg.h"
#include "name_suggest.h"
#include "pgmdev.h"
#include "tool.h"
#include "tool_output.h"

namespace {

using pgmdev_tool::Json;
typedef PGMDEV_DEVICE_GRAMMAR_MGR GRAMMAR;

constexpr const char kAny[] = "ANY";
constexpr std::size_t kSuggestions = 5;

// ---- parts

struct PartFilter {
  std::string family = kAny;
  std::string device = kAny;
  std::string package = kAny;
  std::string speed = kAny;
  std::string temperature = kAny;
  std::string production = "any";  // yes, no, any
  std::string commercial = "any";
  bool obsolete = false;
  std::string pcf;
  std::string pattern;
} g_filter;

std::vector<bool> flag_choices(const std::string& choice) {
  if (choice == "yes") return {true};
  if (choice == "no") return {false};
  return {true, false};
}

// The catalogue's parts for the filters: filter_part_list asked once per stage and for each
// production and grade choice, so that each part comes with its stage and grade.
int run_parts() {
  struct Found {
    const char* stage;
    bool commercial;
  };
  std::map<int, Found> found;
  const DEV_PART_MANAGER catalogue;
  for (const bool production : flag_choices(g_filter.production)) {
    for (const bool commercial : flag_choices(g_filter.commercial)) {
      for (const char* stage : {"production", "sample", "obsolete"}) {
        std::vector<DEV_PART_ENUM> parts;
        catalogue.filter_part_list(&parts, g_filter.family, g_filter.device, g_filter.package,
                                   g_filter.speed, g_filter.temperature, production, commercial,
                                   g_filter.obsolete, stage);
        for (const DEV_PART_ENUM part : parts) found[part] = {stage, commercial};
      }
    }
  }
  const std::string pcf = pgmdev_tool::normalize_name(g_filter.pcf);
  Json rows = Json::array();
  for (const auto& [number, what] : found) {
    const DEV_PART_ENUM part = static_cast<DEV_PART_ENUM>(number);
    const std::string name = dstr_get_user_string(part);
    if (!g_filter.pattern.empty() &&
        fnmatch(g_filter.pattern.c_str(), name.c_str(), FNM_CASEFOLD) != 0) {
      continue;
    }
    std::string part_pcf;
    std::string family_pcf;
    GRAMMAR::get_pgm_pcfs(name, part_pcf, family_pcf);
    if (!pcf.empty() && part_pcf != pcf) continue;
    const DEV_DEVICE_ENUM device = catalogue.get_device_of(part);
    rows.push_back(Json{{"part", name},
                        {"number", number},
                        {"device", dstr_get_user_string(device)},
                        {"family", dstr_get_user_string(catalogue.get_family_of(device))},
                        {"pcf", part_pcf},
                        {"stage", what.stage},
                        {"grade", what.commercial ? "commercial" : "other"}});
  }
  pgmdev_tool::print_answer(rows);
  if (rows.empty()) {
    pgmdev_tool::tool_message("no catalogue part matches these filters");
    return pgmdev_tool::kExitRefused;
  }
  return pgmdev_tool::kExitOk;
}

// ---- families

int run_families() {
  const DEV_PART_MANAGER catalogue;
  std::map<int, int> devices;
  std::map<int, int> parts;
  for (int device = DEV_DEVICE_INVALID + 1; device < DEV_DEVICE_MAX; ++device) {
    ++devices[catalogue.get_family_of(static_cast<DEV_DEVICE_ENUM>(device))];
  }
  for (int part = DEV_PART_INVALID + 1; part < DEV_PART_MAX; ++part) {
    ++parts[catalogue.get_family_of(catalogue.get_device_of(static_cast<DEV_PART_ENUM>(part)))];
  }
  Json rows = Json::array();
  for (int number = DEV_FAMILY_INVALID + 1; number < DEV_FAMILY_MAX; ++number) {
    const DEV_FAMILY_ENUM family = static_cast<DEV_FAMILY_ENUM>(number);
    const std::string identifier = dstr_get_family_identifier(family);
    rows.push_back(Json{{"family", dstr_get_user_string(family)},
                        {"number", number},
                        {"identifier", identifier},
                        {"pcfs", GRAMMAR::get_family_pcfs(identifier).size()},
                        {"devices", devices[number]},
                        {"parts", parts[number]}});
  }
  pgmdev_tool::print_answer(rows);
  return pgmdev_tool::kExitOk;
}

// ---- the part-name searches

std::string g_name;

std::string closest_text(const std::string& name, const std::vector<std::string>& known) {
  std::string text;
  for (const pgmdev_tool::Suggestion& suggestion : pgmdev_tool::closest_names(
           name, known, kSuggestions, pgmdev_tool::suggestion_bound(name.size()))) {
    text += " " + suggestion.name;
  }
  return text.empty() ? "" : "; closest known names:" + text;
}

int found_or_refused(const char* key, const std::string& given, const std::string& part,
                     const std::string& miss) {
  pgmdev_tool::print_answer(
      Json{{key, given}, {"part", part.empty() ? Json(nullptr) : Json(part)}});
  if (!part.empty()) return pgmdev_tool::kExitOk;
  pgmdev_tool::tool_message(miss);
  return pgmdev_tool::kExitRefused;
}

int run_full_name() {
  const std::string name = pgmdev_tool::normalize_name(g_name);
  std::string part;
  try {
    part = PGMDEV_MGR::get_possible_full_name(name);
  } catch (const MSG_INTERNAL_ERROR_EXCEPTION&) {
    // The completion reports a name that matches no part as an internal error; for the tool
    // it is an ordinary miss.
  }
  return found_or_refused("name", name, part,
                          "no catalogue part is " + name + " or has it as package or pgm name" +
                              closest_text(name, pgmdev_tool::known_names()));
}

int run_part_from_pcf() {
  const std::string pcf = pgmdev_tool::normalize_name(g_name);
  return found_or_refused("pcf", pcf, PGMDEV_MGR::get_part_name_from_pcf(pcf),
                          "no catalogue part of the first pass has the pgm pcf " + pcf);
}

int run_part_from_dev() {
  // The library wants the catalogue's own spelling of the device; find it in any case.
  std::vector<std::string> devices;
  std::string device;
  const std::string wanted = pgmdev_tool::normalize_name(g_name);
  for (int number = DEV_DEVICE_INVALID + 1; number < DEV_DEVICE_MAX; ++number) {
    const std::string name = dstr_get_user_string(static_cast<DEV_DEVICE_ENUM>(number));
    if (pgmdev_tool::normalize_name(name) == wanted) device = name;
    devices.push_back(pgmdev_tool::normalize_name(name));
  }
  if (device.empty()) {
    pgmdev_tool::refuse("no catalogue device is named '" + g_name + "'" +
                        closest_text(wanted, devices));
  }
  return found_or_refused("device", device, PGMDEV_MGR::get_part_name_from_dev(device),
                          "the catalogue lists no part of device " + device);
}

void add_commands(CLI::App& tool) {
  CLI::App* parts = pgmdev_tool::add_command(
      tool, "parts",
      "list the catalogue's parts with their device, family, pcf, stage and grade, filtered",
      run_parts);
  parts->add_option("--family", g_filter.family, "a family by name or identifier");
  parts->add_option("--device", g_filter.device, "a catalogue device (QZ60B_DIE)");
  parts->add_option("--package", g_filter.package, "a package code (F256)");
  parts->add_option("--speed", g_filter.speed, "a speed grade digit");
  parts->add_option("--temperature", g_filter.temperature,
                    "a temperature grade letter: C, I, A, M");
  parts
      ->add_option("--production", g_filter.production,
                   "yes: production parts only, no: engineering samples only")
      ->check(CLI::IsMember({"yes", "no", "any"}));
  parts
      ->add_option("--commercial", g_filter.commercial,
                   "yes: commercial grade (C) only, no: the other grades only")
      ->check(CLI::IsMember({"yes", "no", "any"}));
  parts->add_flag("--obsolete", g_filter.obsolete, "list obsolete parts too");
  parts->add_option("--pcf", g_filter.pcf, "only parts whose pgm pcf name is this (QZ60B)");
  parts->add_option("--pattern", g_filter.pattern,
                    "only part names matching this shell pattern, any case (QZ40B*C6N)");
  pgmdev_tool::add_json_flag(parts);
  pgmdev_tool::set_example(parts,
                           "pgmdev-tool parts --family Ternfield --pcf QZ80C --commercial no",
                           "part          number  device     family     pcf    stage       grade\n"
                           "QZ80CF484I7N  18      QZ80C_DIE  Ternfield  QZ80C  production  other\n"
                           "QZ80CF672I7N  22      QZ80C_DIE  Ternfield  QZ80C  production  other\n"
                           "QZ70CF484I7N  24      QZ70C_DIE  Ternfield  QZ80C  production  other");

  CLI::App* families = pgmdev_tool::add_command(
      tool, "families",
      "list the catalogue's families with their identifiers and their numbers of pcf names, "
      "devices and parts",
      run_families);
  pgmdev_tool::add_json_flag(families);
  pgmdev_tool::set_example(families, "pgmdev-tool families",
                           "family         number  identifier     pcfs  devices  parts\n"
                           "Ternfield      1       TERNFIELD      8     13       76\n"
                           "Yewgate        2       YEWGATE        9     27       221\n"
                           "...");

  CLI::App* full_name = pgmdev_tool::add_command(
      tool, "full-name",
      "the full part name of a part, package or pgm name: the first catalogue part that is the "
      "name or has it as package or pgm name",
      run_full_name);
  full_name->add_option("NAME", g_name, "a part, package or pgm name")->required();
  pgmdev_tool::add_json_flag(full_name);
  pgmdev_tool::set_example(full_name, "pgmdev-tool full-name QZ40B",
                           "name : QZ40B\n"
                           "part : QZ40BF256C6N");

  CLI::App* from_pcf = pgmdev_tool::add_command(
      tool, "part-from-pcf",
      "a catalogue part whose pgm pcf name is PCF (the library's four-pass search)",
      run_part_from_pcf);
  from_pcf->add_option("PCF", g_name, "a pcf name")->required();
  pgmdev_tool::add_json_flag(from_pcf);
  pgmdev_tool::set_example(from_pcf, "pgmdev-tool part-from-pcf QZ10A",
                           "pcf  : QZ10A\n"
                           "part : QZ12A");

  CLI::App* from_dev = pgmdev_tool::add_command(
      tool, "part-from-dev", "a catalogue part of a catalogue device (the first pass that has one)",
      run_part_from_dev);
  from_dev->add_option("DEVICE", g_name, "a catalogue device name")->required();
  pgmdev_tool::add_json_flag(from_dev);
  pgmdev_tool::set_example(from_dev, "pgmdev-tool part-from-dev QZ60B_DIE",
                           "device : QZ60B_DIE\n"
                           "part   : QZ40BF256C6N");
}

}  // namespace

PGMDEV_TOOL_COMMANDS("", 12, add_commands);
