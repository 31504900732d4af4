// A user-defined flash from the chip's own parameter table: the SFDP bytes that a serial NOR flash
// returns to the read command 0x5A, with its three JEDEC id bytes, become the same record, record
// text and INI text that the flash dialogue makes, so that the user gives only what the table
// cannot say. docs/user_flash.md describes the path, docs/formats.md (SFDP tables) the parts of
// the table read.
#ifndef PGMDEV_FLASH_SFDP_H
#define PGMDEV_FLASH_SFDP_H

#include <cstddef>
#include <map>
#include <string>
#include <vector>

#include "pgmdev_export.h"
#include "pgmdev_flash_manager_auto_export.h"
#include "pgmdev_types.h"

// Erase types of the Basic Flash Parameter Table (BFPT).
constexpr unsigned int PGMDEV_SFDP_ERASE_TYPES = 4;

// One erase type as the BFPT gives it.
struct PGMDEV_SFDP_ERASE_TYPE {
  unsigned int size_log2 = 0;   // the type erases 2^size_log2 bytes; 0: no such type
  unsigned int opcode = 0;      // its command byte
  unsigned int typical_ms = 0;  // typical and maximum time; 0 when the table gives no times
  unsigned int max_ms = 0;
};

// The address bytes field of BFPT DWORD1, bits 18:17.
enum PGMDEV_SFDP_ADDRESSING : unsigned int {
  PGMDEV_SFDP_ADDRESS_3_ONLY = 0,
  PGMDEV_SFDP_ADDRESS_3_OR_4 = 1,
  PGMDEV_SFDP_ADDRESS_4_ONLY = 2,
  PGMDEV_SFDP_ADDRESS_RESERVED = 3,
};

// What the read BFPT says, with where it was found.
struct PGMDEV_SFDP_TABLE {
  unsigned int sfdp_major = 0;  // revision of the SFDP header
  unsigned int sfdp_minor = 0;
  unsigned int header_count = 0;  // parameter headers
  unsigned int bfpt_header = 0;   // the header whose table was read
  unsigned int bfpt_major = 0;    // that table's revision, length and pointer
  unsigned int bfpt_minor = 0;
  unsigned int bfpt_dwords = 0;
  unsigned int bfpt_pointer = 0;
  unsigned int other_bfpt_headers = 0;  // BFPT headers that were not read
  PGMDEV_SFDP_ADDRESSING addressing = PGMDEV_SFDP_ADDRESS_3_ONLY;
  DWORD density_bits = 0;  // at most 2^31 (2048 Mbit); more is refused
  PGMDEV_SFDP_ERASE_TYPE erase[PGMDEV_SFDP_ERASE_TYPES];
  bool erase_times = false;    // DWORD10 is there: erase type times and the erase multiplier
  bool program_times = false;  // DWORD11 is there: page program and chip erase times
  unsigned int page_program_typical_us = 0;
  unsigned int page_program_max_us = 0;
  unsigned int chip_erase_typical_ms = 0;
  unsigned int chip_erase_max_ms = 0;
};

// How define_flash ended.
enum PGMDEV_SFDP_STATUS : unsigned int {
  PGMDEV_SFDP_ACCEPTED = 0,        // record, record text and INI text are made
  PGMDEV_SFDP_TABLE_REFUSED = 1,   // the SFDP bytes are not a table that can be read
  PGMDEV_SFDP_VALUE_REFUSED = 2,   // an id byte or a value given cannot be used
  PGMDEV_SFDP_RECORD_REFUSED = 3,  // a member has no value, or the record is not sound
};

// The outcome of define_flash. Member lists hold schema names (PGMDEV_FLASH_MANAGER::m_name_list)
// in schema order.
struct PGMDEV_SFDP_FLASH {
  PGMDEV_SFDP_STATUS status = PGMDEV_SFDP_TABLE_REFUSED;
  // Why it was refused: what was wrong, where (byte offset, field, member) and what to do.
  std::string message;
  PGMDEV_SFDP_TABLE table;
  // The record as far as it was made; whole when accepted.
  PGMDEV_SFL_FLASH_INFO record;
  std::vector<std::string> derived;    // members taken from the table
  std::vector<std::string> clamped;    // derived members moved into the range the loader accepts
  std::vector<std::string> given;      // members whose value the caller gave
  std::vector<std::string> defaulted;  // members that took the plain single-die default
  std::vector<std::string> notes;      // for the user: what the table gave, what was set aside
  std::string record_text;             // "@" before each of the 33 values, a closing "@"
  std::string ini;                     // the INI text; empty unless accepted
};

class PGMDEV_API PGMDEV_FLASH_SFDP {
 public:
  // Reads the SFDP header, the parameter headers and the BFPT of the highest revision from the
  // length bytes at sfdp (as read from SFDP address 0). Nothing at or past sfdp + length is read.
  // False, with the reason in message, when the bytes are refused.
  static bool read_table(const unsigned char* sfdp, std::size_t length, PGMDEV_SFDP_TABLE& table,
                         std::string& message);

  // Makes the user-defined flash of a chip from its SFDP bytes and its id bytes (manufacturer,
  // memory type, capacity, as the read-id command returns them). values holds the members that the
  // caller gives, by schema name, as texts: manufacturer_name and device_name always; the flags,
  // die count, protection bits, SDM support and configuration voltage when they differ from the
  // plain single-die defaults; the sizes and times to replace what the table gives or to supply
  // what it lacks. The result is checked with the loader's rules and sealed with the check code
  // of the running suite version, exactly as a record of the dialogue.
  static PGMDEV_SFDP_FLASH define_flash(const unsigned char* sfdp, std::size_t length,
                                        const unsigned char id[3],
                                        const std::map<std::string, std::string>& values);

  // Whether the caller may give member in values (the id and fixed members it may not).
  static bool member_can_be_given(const std::string& member);
};

#endif  // PGMDEV_FLASH_SFDP_H
