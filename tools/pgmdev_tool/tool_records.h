// The records of the two databases as answers: every member under its schema name.
#ifndef PGMDEV_TOOL_TOOL_RECORDS_H
#define PGMDEV_TOOL_TOOL_RECORDS_H

#include <string>

#include "pgmdev.h"
#include "tool_output.h"

namespace pgmdev_tool {

// The 33 members of a flash record, in schema order: texts, booleans and numbers.
Json flash_record_json(const PGMDEV_SFL_FLASH_INFO& record);
// The members a person reads in hexadecimal, as the flash CSV writes them (ids, bit masks).
const PersonView& flash_view();

// The 86 columns of a device-info record, in schema order: the identifier and enumeration
// columns by their CSV names (family identifiers, GENERIC, enumeration names; "" for none),
// booleans, numbers and texts.
Json dev_info_record_json(const PGMDEV_DEV_INFO_RECORD& record);

// The CSV name of an enumeration column's number ("" for 0xFFFFFFFF), or the number in decimal
// when no name has it.
std::string dev_info_enum_name(DWORD value);

}  // namespace pgmdev_tool

#endif  // PGMDEV_TOOL_TOOL_RECORDS_H
