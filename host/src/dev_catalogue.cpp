// The device catalogue over the generated tables of dev_catalogue_data.h.
#include "dev_catalogue.h"

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "dev_catalogue_data.h"
#include "gen.h"

namespace {

using dev_catalogue_data::kDevices;
using dev_catalogue_data::kFamilies;
using dev_catalogue_data::kPackageCodeCount;
using dev_catalogue_data::kPackageCodes;
using dev_catalogue_data::kParts;

bool is_valid_part(int part) { return part > DEV_PART_INVALID && part < DEV_PART_MAX; }

// Name to number over the generated rows, built once on first use: an open-addressing table of
// row numbers hashed by name, compared with the rows' own texts, so building it copies no name.
// Names are unique in the generated tables; were one given twice, the first row would stay.
template <typename Enum, typename Row>
class NAME_INDEX {
 public:
  NAME_INDEX(const Row* rows, int count) : m_rows(rows) {
    size_t size = 16;
    while (size < 2 * static_cast<size_t>(count)) size *= 2;
    m_slots.assign(size, 0);
    for (int number = 1; number < count; ++number) {
      const std::string_view name = rows[number].name;
      size_t at = hash_of(name) & (size - 1);
      while (m_slots[at] != 0 && name != rows[m_slots[at]].name) at = (at + 1) & (size - 1);
      if (m_slots[at] == 0) m_slots[at] = number;
    }
  }

  // The number of the row named name, or 0 (the invalid number).
  Enum find(std::string_view name) const {
    const size_t mask = m_slots.size() - 1;
    for (size_t at = hash_of(name) & mask; m_slots[at] != 0; at = (at + 1) & mask) {
      if (name == m_rows[m_slots[at]].name) return static_cast<Enum>(m_slots[at]);
    }
    return static_cast<Enum>(0);
  }

 private:
  // FNV-1a, folded: names are short.
  static size_t hash_of(std::string_view name) {
    uint64_t hash = 0xCBF29CE484222325ull;
    for (const char c : name) hash = (hash ^ static_cast<unsigned char>(c)) * 0x100000001B3ull;
    return static_cast<size_t>(hash ^ (hash >> 29));
  }

  const Row* m_rows;
  std::vector<int> m_slots;  // row number; 0: a free slot
};

const NAME_INDEX<DEV_DEVICE_ENUM, dev_catalogue_data::DeviceRow>& device_index() {
  static const NAME_INDEX<DEV_DEVICE_ENUM, dev_catalogue_data::DeviceRow> index(kDevices,
                                                                                DEV_DEVICE_MAX);
  return index;
}

// Keyed by the upper-case name: part names are upper case in the tables.
const NAME_INDEX<DEV_PART_ENUM, dev_catalogue_data::PartRow>& part_index() {
  static const NAME_INDEX<DEV_PART_ENUM, dev_catalogue_data::PartRow> index(kParts, DEV_PART_MAX);
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
  return device_index().find(name);  // 0 is DEV_DEVICE_INVALID
}

DEV_PART_ENUM dstr_get_dev_part_enum_by_string(const std::string& name) {
  std::string key = name;
  gen_ascii_toupper(key);
  const DEV_PART_ENUM part = part_index().find(key);
  return part == 0 ? DEV_PART_INVALID : part;
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
