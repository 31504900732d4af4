// Flash and device-info records as answers, made from the schema lists of the exported headers.
#include "tool_records.h"

#include <type_traits>
#include <vector>

namespace pgmdev_tool {
namespace {

// The name of number in a name table of the device-info manager, or "" when none has it.
std::string table_name(const std::vector<PGMDEV_DEV_INFO_NAME>& table, DWORD number, bool* found) {
  for (const PGMDEV_DEV_INFO_NAME& row : table) {
    if (row.id == number) {
      *found = true;
      return row.name;
    }
  }
  *found = false;
  return "";
}

std::string id_name(const std::vector<PGMDEV_DEV_INFO_NAME>& table, int number) {
  bool found = false;
  const std::string name = table_name(table, static_cast<DWORD>(number), &found);
  return found ? name : std::to_string(number);
}

// A device-info member as an answer value, by its column type.
template <class MEMBER>
Json dev_info_value(const MEMBER& value, PGMDEV_MANAGER_TYPE type) {
  if constexpr (std::is_same_v<MEMBER, DEV_FAMILY_ENUM>) {
    return id_name(PGMDEV_DEV_INFO_MANAGER::m_supported_family_list, value);
  } else if constexpr (std::is_same_v<MEMBER, DEV_DEVICE_ENUM>) {
    return id_name(PGMDEV_DEV_INFO_MANAGER::m_supported_device_list, value);
  } else if constexpr (std::is_same_v<MEMBER, DEV_PART_ENUM>) {
    return id_name(PGMDEV_DEV_INFO_MANAGER::m_supported_part_list, value);
  } else if constexpr (std::is_same_v<MEMBER, std::string> || std::is_same_v<MEMBER, bool>) {
    return value;
  } else {
    if (type == PGMDEV_MANAGER_ENUM) return dev_info_enum_name(value);
    return static_cast<unsigned long long>(value);
  }
}

}  // namespace

Json flash_record_json(const PGMDEV_SFL_FLASH_INFO& record) {
  Json answer = Json::object();
#define PGMDEV_TOOL_FLASH_MEMBER(member, kind) answer[#member] = record.member;
  PGMDEV_SFL_FLASH_SCHEMA(PGMDEV_TOOL_FLASH_MEMBER)
#undef PGMDEV_TOOL_FLASH_MEMBER
  return answer;
}

const PersonView& flash_view() {
  static const PersonView view{{"memory_id", "memory_type", "mfc_id", "protection_mask",
                                "protection_value", "unprotect_value", "bottom_value"}};
  return view;
}

std::string dev_info_enum_name(DWORD value) {
  bool found = false;
  const std::string name =
      table_name(PGMDEV_DEV_INFO_MANAGER::m_supported_enum_list, value, &found);
  return found ? name : std::to_string(value);
}

Json dev_info_record_json(const PGMDEV_DEV_INFO_RECORD& record) {
  Json answer = Json::object();
#define PGMDEV_TOOL_DEV_INFO_MEMBER(name, type, member_type) \
  answer[#name] = dev_info_value(record.name, PGMDEV_MANAGER_##type);
  PGMDEV_DEV_INFO_SCHEMA(PGMDEV_TOOL_DEV_INFO_MEMBER)
#undef PGMDEV_TOOL_DEV_INFO_MEMBER
  return answer;
}

}  // namespace pgmdev_tool
