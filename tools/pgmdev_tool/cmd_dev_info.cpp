// pgmdev-tool dev-info: the device-info database. dev-info show prints the record that applies
// to a family, device or part with every column named; dev-info list lists the records, or
// which record each family, device or part gets; dev-info debug prints the library's own debug
// listings.
#include <map>
#include <memory>
#include <string>
#include <type_traits>
#include <vector>

#include "dev_catalogue.h"
#include "gen.h"
#include "name_suggest.h"
#include "pgmdev.h"
#include "tool.h"
#include "tool_data.h"
#include "tool_output.h"
#include "tool_records.h"

namespace {

using pgmdev_tool::Json;

// The debug modes of the device-info manager by listing.
const std::map<std::string, unsigned int> kDebugListings = {
    {"records", 1}, {"families", 2}, {"devices", 3}, {"parts", 4}};
constexpr std::size_t kSuggestions = 5;

std::string g_family;
std::string g_device;
std::string g_part;
std::string g_listing = "records";

// The names of the catalogue entries 1 .. end - 1 with their numbers, normalized.
template <class ENUM>
std::map<std::string, ENUM> catalogue_names(int end) {
  std::map<std::string, ENUM> names;
  for (int number = 1; number < end; ++number) {
    const std::string name = dstr_get_user_string(static_cast<ENUM>(number));
    if (!name.empty()) names.emplace(pgmdev_tool::normalize_name(name), static_cast<ENUM>(number));
  }
  return names;
}

// The entry that name stands for, or a refusal with the closest names of that kind.
template <class ENUM>
ENUM resolve(const std::map<std::string, ENUM>& names, const std::string& name, const char* kind) {
  const std::string wanted = pgmdev_tool::normalize_name(name);
  const auto found = names.find(wanted);
  if (found != names.end()) return found->second;
  std::vector<std::string> known;
  for (const auto& entry : names) known.push_back(entry.first);
  std::string message = "no catalogue " + std::string(kind) + " is named '" + name + "'";
  const std::vector<pgmdev_tool::Suggestion> closest = pgmdev_tool::closest_names(
      wanted, known, kSuggestions, pgmdev_tool::suggestion_bound(wanted.size()));
  if (!closest.empty()) {
    message += "; closest " + std::string(kind) + " names:";
    for (const pgmdev_tool::Suggestion& suggestion : closest) message += " " + suggestion.name;
  }
  pgmdev_tool::refuse(message);
}

std::map<std::string, DEV_FAMILY_ENUM> family_names() {
  std::map<std::string, DEV_FAMILY_ENUM> names = catalogue_names<DEV_FAMILY_ENUM>(DEV_FAMILY_MAX);
  for (int number = 1; number < DEV_FAMILY_MAX; ++number) {
    const DEV_FAMILY_ENUM family = static_cast<DEV_FAMILY_ENUM>(number);
    names.emplace(dstr_get_family_identifier(family), family);
  }
  return names;
}

// Which record a record is, as the debug listing labels it: by its family, pcf, device or part.
std::string record_label(PGMDEV_DEV_INFO_MANAGER& manager, DWORD index) {
  if (index >= manager.m_device_count) return "";
  const Json columns = pgmdev_tool::dev_info_record_json(manager.m_device_database[index]);
  for (const char* column : {"family", "pcf", "device", "part"}) {
    const std::string value = columns[column];
    if (!value.empty()) return std::string(column) + " " + value;
  }
  return "";
}

Json record_number(DWORD index) { return index == INVALID_DWORD ? Json(nullptr) : Json(index); }

int run_show() {
  if (g_family.empty() && g_device.empty() && g_part.empty()) {
    pgmdev_tool::usage_error("dev-info show needs --family F, --device D or --part P");
  }
  const std::unique_ptr<PGMDEV_DEV_INFO_MANAGER> manager = pgmdev_tool::load_dev_info();
  Json answer;
  std::unique_ptr<PGMDEV_DEV_INFO_RECORD> record;
  std::string what;
  if (!g_family.empty()) {
    const DEV_FAMILY_ENUM family = resolve(family_names(), g_family, "family");
    answer["family"] = dstr_get_user_string(family);
    answer["family_number"] = static_cast<int>(family);
    record.reset(manager->get_db_by_family(family));
    what = "family " + dstr_get_user_string(family);
  } else if (!g_device.empty()) {
    const DEV_DEVICE_ENUM device =
        resolve(catalogue_names<DEV_DEVICE_ENUM>(DEV_DEVICE_MAX), g_device, "device");
    answer["device"] = dstr_get_user_string(device);
    answer["device_number"] = static_cast<int>(device);
    record.reset(manager->get_db_by_device(device));
    what = "device " + dstr_get_user_string(device);
  } else {
    const DEV_PART_ENUM part =
        resolve(catalogue_names<DEV_PART_ENUM>(DEV_PART_MAX), g_part, "part");
    answer["part"] = dstr_get_user_string(part);
    answer["part_number"] = static_cast<int>(part);
    record.reset(manager->get_db_by_part(part));
    what = "part " + dstr_get_user_string(part);
  }
  answer["record"] = record ? Json(manager->m_index) : Json(nullptr);
  if (!record) {
    pgmdev_tool::print_answer(answer);
    pgmdev_tool::refuse("no device-info record applies to " + what);
  }
  answer["record_label"] = record_label(*manager, manager->m_index);
  answer["columns"] = pgmdev_tool::dev_info_record_json(*record);
  pgmdev_tool::print_answer(answer);
  return pgmdev_tool::kExitOk;
}

Json list_records(PGMDEV_DEV_INFO_MANAGER& manager) {
  Json rows = Json::array();
  for (DWORD index = 0; index < manager.m_device_count; ++index) {
    const Json columns = pgmdev_tool::dev_info_record_json(manager.m_device_database[index]);
    int families = 0;
    int devices = 0;
    int parts = 0;
    // Number 0 of each table is no catalogue entry.
    for (int family = 1; family < DEV_FAMILY_MAX; ++family) {
      families += manager.m_family_table[family] == index ? 1 : 0;
    }
    for (int device = 1; device < DEV_DEVICE_MAX; ++device) {
      devices += manager.m_device_table[device] == index ? 1 : 0;
    }
    for (int part = 1; part < DEV_PART_MAX; ++part) {
      parts += manager.m_part_table[part] == index ? 1 : 0;
    }
    rows.push_back(Json{{"record", index},
                        {"family", columns["family"]},
                        {"pcf", columns["pcf"]},
                        {"device", columns["device"]},
                        {"part", columns["part"]},
                        {"families", families},
                        {"devices", devices},
                        {"parts", parts}});
  }
  return rows;
}

// One row per catalogue entry 1 .. end - 1 that has a name: the record its table entry names.
template <class ENUM>
Json list_entries(PGMDEV_DEV_INFO_MANAGER& manager, const DWORD* table, int end, const char* kind,
                  int first) {
  Json rows = Json::array();
  const DEV_PART_MANAGER catalogue;
  for (int number = first; number < end; ++number) {
    const ENUM entry = static_cast<ENUM>(number);
    const std::string name = dstr_get_user_string(entry);
    if (name.empty()) continue;
    Json row;
    row[kind] = name;
    row["number"] = number;
    if constexpr (std::is_same_v<ENUM, DEV_DEVICE_ENUM>) {
      row["family"] = dstr_get_user_string(catalogue.get_family_of(entry));
    } else if constexpr (std::is_same_v<ENUM, DEV_PART_ENUM>) {
      row["device"] = dstr_get_user_string(catalogue.get_device_of(entry));
    }
    row["record"] = record_number(table[number]);
    row["record_label"] = record_label(manager, table[number]);
    rows.push_back(row);
  }
  return rows;
}

int run_list() {
  const std::unique_ptr<PGMDEV_DEV_INFO_MANAGER> manager = pgmdev_tool::load_dev_info();
  Json rows;
  if (g_listing == "records") {
    rows = list_records(*manager);
  } else if (g_listing == "families") {
    rows = list_entries<DEV_FAMILY_ENUM>(*manager, manager->m_family_table.get(), DEV_FAMILY_MAX,
                                         "family", 1);
  } else if (g_listing == "devices") {
    rows = list_entries<DEV_DEVICE_ENUM>(*manager, manager->m_device_table.get(), DEV_DEVICE_MAX,
                                         "device", 1);
  } else {
    rows =
        list_entries<DEV_PART_ENUM>(*manager, manager->m_part_table.get(), DEV_PART_MAX, "part", 1);
  }
  pgmdev_tool::print_answer(rows);
  return pgmdev_tool::kExitOk;
}

int run_debug() {
  const pgmdev_tool::DataFile file = pgmdev_tool::dev_info_file();
  // Loading with a debug mode prints the listing; make sure the file is there first.
  pgmdev_tool::load_dev_info();
  const pgmdev_tool::DataFileScope scope(file.path);
  const pgmdev_tool::LibraryOutputIsAnswer listing;
  const PGMDEV_DEV_INFO_MANAGER manager(false, kDebugListings.at(g_listing));
  return pgmdev_tool::kExitOk;
}

CLI::Option* add_listing(CLI::App* command) {
  return command->add_option("LISTING", g_listing, "records, families, devices or parts")
      ->check(CLI::IsMember({"records", "families", "devices", "parts"}));
}

void add_commands(CLI::App& tool) {
  CLI::App* dev_info = pgmdev_tool::add_command(tool, "dev-info", "query the device-info database");
  pgmdev_tool::set_example(dev_info, "pgmdev-tool dev-info list families",
                           "family         number  record  record_label\n"
                           "Ternfield      1       0       family TERNFIELD\n"
                           "...");

  CLI::App* show = pgmdev_tool::add_command(
      *dev_info, "show",
      "the device-info record that applies to a catalogue family, device or part, every column "
      "named, values as the CSV writes them",
      run_show);
  CLI::Option* family = show->add_option(
      "--family", g_family, "a family by name or identifier (Ternfield, TERNFIELD, Generic)");
  CLI::Option* device = show->add_option("--device", g_device, "a catalogue device (QZ60B_DIE)");
  CLI::Option* part = show->add_option("--part", g_part, "a catalogue part (QZ40BF256C6N)");
  family->excludes(device)->excludes(part);
  device->excludes(part);
  pgmdev_tool::add_json_flag(show);
  pgmdev_tool::set_example(show, "pgmdev-tool dev-info show --part QZ40BF256C6N",
                           "part         : QZ40BF256C6N\n"
                           "part_number  : 1\n"
                           "record       : 0\n"
                           "record_label : family TERNFIELD\n"
                           "columns:\n"
                           "  family                           : TERNFIELD\n"
                           "  pcf                              : -\n"
                           "  ...\n"
                           "  support_legacy_f2p               : TRUE\n"
                           "  ...");

  CLI::App* list = pgmdev_tool::add_command(
      *dev_info, "list",
      "list the records (with how many families, devices and parts use each), or the record "
      "each family, device or part gets",
      run_list);
  add_listing(list);
  pgmdev_tool::add_json_flag(list);
  pgmdev_tool::set_example(
      list, "pgmdev-tool dev-info list records",
      "record  family         pcf               device   part     families  devices  parts\n"
      "0       TERNFIELD      -                 -        -        1         12       74\n"
      "1       YEWGATE        -                 -        -        1         27       221\n"
      "...");

  CLI::App* debug = pgmdev_tool::add_command(
      *dev_info, "debug",
      "print the library's debug listing of the database: one unlabelled line per record, "
      "family, device or part",
      run_debug);
  add_listing(debug)->required();
  pgmdev_tool::set_example(debug, "pgmdev-tool dev-info debug families",
                           "Dev Info Manager Debug 0\n"
                           "...");
}

}  // namespace

PGMDEV_TOOL_COMMANDS("", 30, add_commands);
