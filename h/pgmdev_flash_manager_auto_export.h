// The serial flash record schema, written once, and the code derived from it that callers compile:
// the record type, the schema tables, the record copy, the record reset and the assignment of a
// record from the texts of a user-defined flash.
#ifndef PGMDEV_FLASH_MANAGER_AUTO_EXPORT_H
#define PGMDEV_FLASH_MANAGER_AUTO_EXPORT_H

#include <string>

#include "msg.h"
#include "pgmdev_types.h"
#include "pgmhost_export.h"

// The 33 members of one serial flash record, X(member, kind), in the one order used by the database
// file, the flash CSV, the INI record text and the dialogue. A kind is STRING, BOOL, BYTE or DWORD;
// PGMDEV_MANAGER_<kind> is its field tag.
#define PGMDEV_SFL_FLASH_SCHEMA(X) \
  X(manufacturer_name, STRING)     \
  X(device_name, STRING)           \
  X(silicon_id, BOOL)              \
  X(memory_id, BYTE)               \
  X(memory_id_index, BYTE)         \
  X(memory_type, BYTE)             \
  X(memory_type_index, BYTE)       \
  X(mfc_id, BYTE)                  \
  X(mfc_id_index, BYTE)            \
  X(norvik_id, BYTE)               \
  X(default_dev, BOOL)             \
  X(ini, STRING)                   \
  X(extended_mode, BOOL)           \
  X(micron_flow, BOOL)             \
  X(spansion_flow, BOOL)           \
  X(startup_protected, BOOL)       \
  X(aai_mode, BOOL)                \
  X(flag_status, BOOL)             \
  X(die_count, BYTE)               \
  X(device_bit_size, DWORD)        \
  X(device_sector_byte, DWORD)     \
  X(half_size, BOOL)               \
  X(byte4_addressing, BOOL)        \
  X(bulk_erase_time, DWORD)        \
  X(sec_erase_time, DWORD)         \
  X(program_utime, DWORD)          \
  X(protection_mask, BYTE)         \
  X(protection_value, BYTE)        \
  X(unprotect_value, BYTE)         \
  X(protection_division, BYTE)     \
  X(bottom_value, BYTE)            \
  X(sdm_support, BOOL)             \
  X(asc_voltage, STRING)

// C++ type of each kind.
#define PGMDEV_SFL_CTYPE_STRING std::string
#define PGMDEV_SFL_CTYPE_BOOL bool
#define PGMDEV_SFL_CTYPE_BYTE BYTE
#define PGMDEV_SFL_CTYPE_DWORD DWORD

// One serial flash device. A default-constructed record is the empty record: empty strings, zero
// numbers, false flags. The record owns its strings.
struct PGMDEV_SFL_FLASH_INFO {
#define PGMDEV_SFL_DECLARE_MEMBER(member, kind) PGMDEV_SFL_CTYPE_##kind member{};
  PGMDEV_SFL_FLASH_SCHEMA(PGMDEV_SFL_DECLARE_MEMBER)
#undef PGMDEV_SFL_DECLARE_MEMBER
};

// Helpers from which the manager builds its schema tables (h/pgmdev_flash_manager.h).
#define PGMDEV_SFL_COUNT_MEMBER(member, kind) +1
#define PGMDEV_SFL_MEMBER_NAME(member, kind) #member,
#define PGMDEV_SFL_MEMBER_TAG(member, kind) PGMDEV_MANAGER_##kind,

// Copies all 33 members of from into to.
inline void pgmdev_copy_flash_info(PGMDEV_SFL_FLASH_INFO& to, const PGMDEV_SFL_FLASH_INFO& from) {
#define PGMDEV_SFL_COPY_MEMBER(member, kind) to.member = from.member;
  PGMDEV_SFL_FLASH_SCHEMA(PGMDEV_SFL_COPY_MEMBER)
#undef PGMDEV_SFL_COPY_MEMBER
}

// Makes record the empty record.
inline void pgmdev_reset_flash_info(PGMDEV_SFL_FLASH_INFO& record) {
#define PGMDEV_SFL_RESET_MEMBER(member, kind) record.member = PGMDEV_SFL_CTYPE_##kind{};
  PGMDEV_SFL_FLASH_SCHEMA(PGMDEV_SFL_RESET_MEMBER)
#undef PGMDEV_SFL_RESET_MEMBER
}

// Assigns the 33 member texts of a user-defined flash (fields[0 .. 33), schema order) to record:
// texts are copied; a flag goes through to_bool(text, valid); a number through
// to_number(text, max, valid), with max 0xFF for a byte and 0xFFFFFFFF for a four-byte member.
// The first text that is not valid ends the assignment with false; the members before it keep
// their new values. total_members is the manager's member count, which the walk must reach.
template <class BOOL_FROM_TEXT, class NUMBER_FROM_TEXT>
bool pgmdev_assign_flash_info(PGMDEV_SFL_FLASH_INFO& record, const std::string* fields,
                              DWORD total_members, BOOL_FROM_TEXT to_bool,
                              NUMBER_FROM_TEXT to_number) {
  DWORD temp_count = 0;
  bool valid = true;
#define PGMDEV_SFL_CONVERT_STRING(member) const std::string value = fields[temp_count];
#define PGMDEV_SFL_CONVERT_BOOL(member) const bool value = to_bool(fields[temp_count], valid);
#define PGMDEV_SFL_CONVERT_BYTE(member) \
  const BYTE value = static_cast<BYTE>(to_number(fields[temp_count], 0xFFu, valid));
#define PGMDEV_SFL_CONVERT_DWORD(member) \
  const DWORD value = to_number(fields[temp_count], 0xFFFFFFFFu, valid);
#define PGMDEV_SFL_ASSIGN_MEMBER(member, kind) \
  {                                            \
    PGMDEV_SFL_CONVERT_##kind(member);         \
    if (!valid) return false;                  \
    record.member = value;                     \
    ++temp_count;                              \
  }
  PGMDEV_SFL_FLASH_SCHEMA(PGMDEV_SFL_ASSIGN_MEMBER)
#undef PGMDEV_SFL_ASSIGN_MEMBER
#undef PGMDEV_SFL_CONVERT_DWORD
#undef PGMDEV_SFL_CONVERT_BYTE
#undef PGMDEV_SFL_CONVERT_BOOL
#undef PGMDEV_SFL_CONVERT_STRING
  if (!(temp_count == total_members)) {
    MSG_INTERNAL_ERROR::report("temp_count == TOTAL_DATABASE_MEMBER", "PGMDEV", __FILE__, __LINE__);
  }
  return true;
}

#endif  // PGMDEV_FLASH_MANAGER_AUTO_EXPORT_H
