// The device catalogue over the generated tables of dev_catalogue_data.h.
#include "dev_catalogue.h"

#include <string>
#include <unordered_map>

#include "dev_catalogue_data.h"
#include "gen.h"

namespace {

using dev_catalogue_data::kDevices;
using dev_catalogue_data::kFamilies;
using dev_catalogue_data::kPackageCodeCount;
using dev_catalogue_data::kPackageCodes;
using dev_catalogue_data::kParts;

bool is_valid_part(int part) { return part > DEV_PART_INVALID && part < DEV_PART_MAX; }

// Name to number, built once on first use; names are unique in the generated
// tables.
template <typename Enum, typename Row>
std::unordered_map<std::string, Enum> index_names(const Row* rows, int count) {
  std::unordered_map<std::string, Enum> index;
  index.reserve(static_cast<size_t>(count));
  for (int number = 1; number < count; ++number) {
    index.emplace(rows[number].name, static_cast<Enum>(number));
  }
  return index;
}

const std::unordered_map<std::string, DEV_DEVICE_ENUM>& device_index() {
  static const auto index = index_names<DEV_DEVICE_ENUM>(kDevices, DEV_DEVICE_MAX);
  return index;
}

// Keyed by the upper-case name: part names are upper case in the tables.
const std::unordered_map<std::string, DEV_PART_ENUM>& part_index() {
  static const auto index = index_names<DEV_PART_ENUM>(kParts, DEV_PART_MAX);
  return index;
}

// "ANY" in any letter case matches everything; otherwise the texts must be
// equal ignoring case.
bool filter_matches(const std::string& filter, const char* value) {
  return gen_stricmp(filter.c_str(), "ANY") == 0 || gen_stricmp(filter.c_str(), value) == 0;
}

// The ordering-status word of a part's stage.
const char* status_word(char stage) {
  switch (stage) {
    case 'P':
      return "production";
    case 'E':
      return "sample";
    case 'O':
      return "obsolete";
    default:
      return "";
  }
}

}  // namespace

std::string dstr_get_user_string(DEV_FAMILY_ENUM family) {
  if (!dstr_is_valid_dev_family_enum(family)) return "";
  return kFamilies[family].user_name;
}

std::string dstr_get_user_string(DEV_DEVICE_ENUM device) {
  if (!dstr_is_valid_dev_device_enum(device)) return "";
  return kDevices[device].name;
}

std::string dstr_get_user_string(DEV_PART_ENUM part) {
  if (!is_valid_part(part)) return "";
  return kParts[part].name;
}

std::string dstr_get_family_identifier(DEV_FAMILY_ENUM family) {
  if (!dstr_is_valid_dev_family_enum(family)) return "";
  return kFamilies[family].identifier;
}

DEV_DEVICE_ENUM dstr_get_dev_device_enum_by_string(const std::string& name) {
  const auto found = device_index().find(name);
  return found == device_index().end() ? DEV_DEVICE_INVALID : found->second;
}

DEV_PART_ENUM dstr_get_dev_part_enum_by_string(const std::string& name) {
  std::string key = name;
  gen_ascii_toupper(key);
  const auto found = part_index().find(key);
  return found == part_index().end() ? DEV_PART_INVALID : found->second;
}

bool dstr_is_valid_dev_device_enum(DEV_DEVICE_ENUM device) {
  return device > DEV_DEVICE_INVALID && device < DEV_DEVICE_MAX;
}

bool dstr_is_valid_dev_family_enum(DEV_FAMILY_ENUM family) {
  return family > DEV_FAMILY_INVALID && family < DEV_FAMILY_MAX;
}

DEV_DEVICE_ENUM DEV_PART_MANAGER::get_device_of(DEV_PART_ENUM part) const {
  if (!is_valid_part(part)) return DEV_DEVICE_INVALID;
  return static_cast<DEV_DEVICE_ENUM>(kParts[part].device);
}

DEV_FAMILY_ENUM DEV_PART_MANAGER::get_family_of(DEV_DEVICE_ENUM device) const {
  if (!dstr_is_valid_dev_device_enum(device)) return DEV_FAMILY_INVALID;
  return static_cast<DEV_FAMILY_ENUM>(kDevices[device].family);
}

bool DEV_PART_MANAGER::filter_part_list(std::vector<DEV_PART_ENUM>* parts,
                                        const std::string& filter1, const std::string& filter2,
                                        const std::string& filter3, const std::string& filter4,
                                        const std::string& filter5, bool flag1, bool flag2,
                                        bool flag3, const std::string& last) const {
  if (parts == nullptr) return false;
  parts->clear();
  const bool any_status = gen_stricmp(last.c_str(), "any") == 0;
  // The generic part stands for no orderable device and is never listed.
  for (int number = DEV_PART_INVALID + 1; number < DEV_PART_GENERIC; ++number) {
    const dev_catalogue_data::PartRow& part = kParts[number];
    const dev_catalogue_data::FamilyRow& family = kFamilies[kDevices[part.device].family];
    const bool production = part.stage == 'P' || part.stage == 'O';
    if (production != flag1 || (part.temperature == 'C') != flag2) continue;
    if (!flag3 && part.stage == 'O') continue;
    if (!any_status && gen_stricmp(last.c_str(), status_word(part.stage)) != 0) continue;
    if (!filter_matches(filter1, family.user_name) &&
        gen_stricmp(filter1.c_str(), family.identifier) != 0) {
      continue;
    }
    const char speed[2] = {part.speed, '\0'};
    const char temperature[2] = {part.temperature, '\0'};
    if (!filter_matches(filter2, kDevices[part.device].name) ||
        part.package_code >= kPackageCodeCount ||
        !filter_matches(filter3, kPackageCodes[part.package_code]) ||
        !filter_matches(filter4, speed) || !filter_matches(filter5, temperature)) {
      continue;
    }
    parts->push_back(static_cast<DEV_PART_ENUM>(number));
  }
  return !parts->empty();
}
