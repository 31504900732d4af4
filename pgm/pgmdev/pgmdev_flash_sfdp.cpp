// A user-defined flash from the chip's SFDP table: the SFDP header, the parameter headers and the
// Basic Flash Parameter Table (BFPT) are read within the bytes given, the record is filled from
// the table, the id bytes, the caller's values and the plain single-die defaults, and it is
// checked, sealed and encoded as a record of the dialogue.
#include "pgmdev_flash_sfdp.h"

#include <cstdio>
#include <sstream>
#include <string>

#include "gen.h"
#include "mem.h"
#include "pgm_common.h"
#include "pgmdev_check.h"
#include "pgmdev_flash_manager.h"
#include "pgmdev_flash_manager_ini.h"

namespace {

// Registers the module with the host's memory tracker while the library is loaded.
const MEM_INITIALIZER g_mem_initializer(PGMDEV_MODULE);

// SFDP header: signature, minor and major revision, parameter headers minus one, one unused byte.
constexpr unsigned char kSignature[] = {'S', 'F', 'D', 'P'};
constexpr std::size_t kSfdpHeaderBytes = 8;
constexpr std::size_t kMinorRevisionByte = 4;
constexpr std::size_t kMajorRevisionByte = 5;
constexpr std::size_t kHeaderCountByte = 6;
constexpr unsigned int kKnownMajorRevision = 1;

// Parameter header: ID low byte, minor and major revision, length in DWORDs, 24-bit pointer, ID
// high byte.
constexpr std::size_t kParameterHeaderBytes = 8;
constexpr std::size_t kIdLowByte = 0;
constexpr std::size_t kTableMinorByte = 1;
constexpr std::size_t kTableMajorByte = 2;
constexpr std::size_t kTableLengthByte = 3;
constexpr std::size_t kTablePointerByte = 4;
constexpr std::size_t kIdHighByte = 7;
constexpr unsigned int kBfptId = 0xFF00;

// The BFPT: its DWORDs count from 1; the first revision has 9 of them.
constexpr std::size_t kDwordBytes = 4;
constexpr unsigned int kBfptMinDwords = 9;
constexpr unsigned int kAddressingDword = 1;
constexpr unsigned int kDensityDword = 2;
constexpr unsigned int kEraseTypes12Dword = 8;
constexpr unsigned int kEraseTypes34Dword = 9;
constexpr unsigned int kEraseTimesDword = 10;
constexpr unsigned int kProgramTimesDword = 11;

constexpr unsigned int kAddressingShift = 17;
constexpr DWORD kDensityExponentFlag = 0x80000000u;
constexpr DWORD kMaxDensityExponent = 31;  // 2^31 bits, 2048 Mbit: the most a record holds

// DWORD10: the erase multiplier count in bits 3:0, then a 7-bit typical time per erase type from
// bit 4 (a 5-bit count and a 2-bit unit).
constexpr unsigned int kCountMask = 0xF;
constexpr unsigned int kEraseTimeShift = 4;
constexpr unsigned int kEraseTimeBits = 7;
constexpr unsigned int kTimeFieldMask = 0x7F;
constexpr unsigned int kTimeCountMask = 0x1F;
constexpr unsigned int kTimeUnitShift = 5;
constexpr unsigned int kEraseUnitsMs[] = {1, 16, 128, 1000};

// DWORD11: the program multiplier count in bits 3:0, the page program typical time in bits 13:8
// (a 5-bit count, then the unit bit), the chip erase typical time in bits 30:24.
constexpr unsigned int kPageProgramShift = 8;
constexpr unsigned int kPageProgramFieldMask = 0x3F;
constexpr unsigned int kPageProgramUnitBit = 0x20;
constexpr unsigned int kPageProgramUnitsUs[] = {8, 64};
constexpr unsigned int kChipEraseShift = 24;
constexpr unsigned int kChipEraseUnitsMs[] = {16, 256, 4000, 64000};

// Identification bytes a flash that answers gives for its manufacturer and capacity.
constexpr unsigned int kMinIdByte = 0x01;
constexpr unsigned int kMaxIdByte = 0xFE;

// Where the read-id command gives the id bytes, and the most dies the dialogue takes.
constexpr BYTE kMfcIdIndex = 0;
constexpr BYTE kMemoryTypeIndex = 1;
constexpr BYTE kMemoryIdIndex = 2;
constexpr BYTE kMaxDieCount = 2;

// The plain single-die flash: the answers a user gives the dialogue for a flash with no special
// command flow, the block-protect bits BP0 to BP2 in status-register bits 2 to 4, no protection
// divisor and no bottom-protect bit.
struct DEFAULT_VALUE {
  const char *member;
  const char *text;
};
constexpr DEFAULT_VALUE kDefaults[] = {
    {"extended_mode", "0"},
    {"micron_flow", "0"},
    {"spansion_flow", "0"},
    {"startup_protected", "0"},
    {"aai_mode", "0"},
    {"flag_status", "0"},
    {"die_count", "1"},
    {"protection_mask", "0x1C"},
    {"protection_value", "0x1C"},
    {"unprotect_value", "0"},
    {"protection_division", "255"},
    {"bottom_value", "0"},
    {"sdm_support", "1"},
    {"asc_voltage", "3.3"},
};

// Schema positions of the members, by name.
enum MEMBER : unsigned int {
#define PGMDEV_SFL_MEMBER_ENUM(member, kind) k_##member,
  PGMDEV_SFL_FLASH_SCHEMA(PGMDEV_SFL_MEMBER_ENUM)
#undef PGMDEV_SFL_MEMBER_ENUM
      kMemberCount
};
static_assert(kMemberCount == PGMDEV_FLASH_MANAGER::TOTAL_DATABASE_MEMBER);

// The members a caller cannot give: the id bytes and their positions, and what every user flash
// has.
constexpr MEMBER kFixedMembers[] = {
    k_silicon_id,   k_memory_id, k_memory_id_index, k_memory_type, k_memory_type_index, k_mfc_id,
    k_mfc_id_index, k_norvik_id, k_default_dev,     k_ini,         k_half_size};

// Where a member's value came from.
enum class ORIGIN { kNone, kFixed, kTable, kClamped, kGiven, kDefault };

unsigned int le32(const unsigned char *bytes) {
  return static_cast<unsigned int>(bytes[0]) | static_cast<unsigned int>(bytes[1]) << 8 |
         static_cast<unsigned int>(bytes[2]) << 16 | static_cast<unsigned int>(bytes[3]) << 24;
}

unsigned int le24(const unsigned char *bytes) {
  return static_cast<unsigned int>(bytes[0]) | static_cast<unsigned int>(bytes[1]) << 8 |
         static_cast<unsigned int>(bytes[2]) << 16;
}

std::string hex(unsigned int value, int digits) {
  char text[16];
  std::snprintf(text, sizeof(text), "0x%0*X", digits, value);
  return text;
}

// Bytes as hexadecimal pairs separated by blanks.
std::string bytes_text(const unsigned char *bytes, std::size_t count) {
  std::string text;
  for (std::size_t i = 0; i < count; ++i) {
    char pair[4];
    std::snprintf(pair, sizeof(pair), "%02X", bytes[i]);
    text += std::string(i == 0 ? "" : " ") + pair;
  }
  return text;
}

std::string revision(unsigned int major, unsigned int minor) {
  return std::to_string(major) + "." + std::to_string(minor);
}

// A time of count and unit fields: (count + 1) units.
unsigned int field_time(unsigned int field, const unsigned int *units) {
  return ((field & kTimeCountMask) + 1) * units[(field >> kTimeUnitShift) & 3];
}

// Milliseconds as whole seconds, rounded up.
DWORD seconds_up(unsigned int ms) { return (ms + 999) / 1000; }

std::string size_text(unsigned long long bytes) {
  if (bytes >= (1ull << 20) && bytes % (1ull << 20) == 0) {
    return std::to_string(bytes >> 20) + " MB";
  }
  if (bytes >= 1024 && bytes % 1024 == 0) return std::to_string(bytes >> 10) + " KB";
  return std::to_string(bytes) + " bytes";
}

int member_index(const std::string &name) {
  for (unsigned int i = 0; i < kMemberCount; ++i) {
    if (name == PGMDEV_FLASH_MANAGER::m_name_list[i]) return static_cast<int>(i);
  }
  return -1;
}

// Member values from texts. Texts are upper-cased words of 1 to 19 characters that cannot break
// the record text; flags are 1/0, Y/N, YES/NO or TRUE/FALSE in any case; numbers are decimal or
// "0x" hexadecimal.
bool from_text(const std::string &text, std::string &member, std::string &why) {
  std::string value = text;
  gen_ascii_toupper(value);
  if (value.empty() || value.size() > kUserFlashMaxNameLength) {
    why = "a text of 1 to 19 characters is needed";
    return false;
  }
  for (const char c : value) {
    const unsigned char byte = static_cast<unsigned char>(c);
    if (byte <= ' ' || byte >= 0x7F || c == '@' || c == '#' || c == ';') {
      why = "a text of printable characters without blanks, '@', '#' or ';' is needed";
      return false;
    }
  }
  member = value;
  return true;
}

bool from_text(const std::string &text, bool &member, std::string &why) {
  std::string value = text;
  gen_ascii_toupper(value);
  if (value == "1" || value == "Y" || value == "YES" || value == "TRUE") {
    member = true;
  } else if (value == "0" || value == "N" || value == "NO" || value == "FALSE") {
    member = false;
  } else {
    why = "a flag is 1 or 0 (Y/N, YES/NO, TRUE/FALSE)";
    return false;
  }
  return true;
}

bool number_from_text(const std::string &text, DWORD max, DWORD &value, std::string &why) {
  bool ok = false;
  value = PGM_COMMON::convert_string_to_dword(text, false, &ok, nullptr, true);
  if (!ok || value > max) {
    why = "a number from 0 to " + std::to_string(max) +
          " (decimal, or hexadecimal after 0x) is needed";
    return false;
  }
  return true;
}

bool from_text(const std::string &text, DWORD &member, std::string &why) {
  return number_from_text(text, 0xFFFFFFFFu, member, why);
}

bool from_text(const std::string &text, BYTE &member, std::string &why) {
  DWORD value = 0;
  if (!number_from_text(text, 0xFF, value, why)) return false;
  member = static_cast<BYTE>(value);
  return true;
}

// Sets member index of record from text; false with the reason in why.
bool set_member(PGMDEV_SFL_FLASH_INFO &record, unsigned int index, const std::string &text,
                std::string &why) {
  unsigned int position = 0;
#define PGMDEV_SFL_SET_MEMBER(member, kind) \
  if (position++ == index) return from_text(text, record.member, why);
  PGMDEV_SFL_FLASH_SCHEMA(PGMDEV_SFL_SET_MEMBER)
#undef PGMDEV_SFL_SET_MEMBER
  why = "no such member";
  return false;
}

// The rules of the dialogue for the values it asks, beyond what a byte holds.
bool given_value_fits(unsigned int index, const PGMDEV_SFL_FLASH_INFO &record, std::string &why) {
  switch (index) {
    case k_die_count:
      if (record.die_count >= 1 && record.die_count <= kMaxDieCount) return true;
      why = "a flash has 1 or 2 dies";
      return false;
    case k_bottom_value:
      if (record.bottom_value == 0 || PGMDEV_FLASH_MANAGER::is_power_of_two(record.bottom_value)) {
        return true;
      }
      why = "the mask of one status-register bit (1, 2, 4 ... 128), or 0 for none, is needed";
      return false;
    default:
      return true;
  }
}

bool read_failed(std::string &message, const std::string &text) {
  message = text;
  return false;
}

// The builder of one definition.
class SFDP_DEFINITION {
 public:
  explicit SFDP_DEFINITION(PGMDEV_SFDP_FLASH &result) : m_result(result) {}

  PGMDEV_SFL_FLASH_INFO &record() { return m_result.record; }
  bool given(unsigned int index) const { return m_origin[index] == ORIGIN::kGiven; }

  void set_origin(unsigned int index, ORIGIN origin) { m_origin[index] = origin; }
  ORIGIN origin(unsigned int index) const { return m_origin[index]; }

  void note(const std::string &text) { m_result.notes.push_back(text); }

  // Takes a value from the table unless the caller gave one; then a note tells what the table
  // said when it differs.
  void from_table(unsigned int index, DWORD value, DWORD &member, const std::string &unit) {
    if (given(index)) {
      if (member != value) {
        note(std::string(PGMDEV_FLASH_MANAGER::m_name_list[index]) + ": " + std::to_string(member) +
             unit + " as given; the table gives " + std::to_string(value) + unit);
      }
      return;
    }
    member = value;
    m_origin[index] = ORIGIN::kTable;
  }

  // Moves a time taken from the table into the range the loader accepts.
  void clamp(unsigned int index, DWORD &member, DWORD lo, DWORD hi, const std::string &unit) {
    if (m_origin[index] != ORIGIN::kTable || (member >= lo && member <= hi)) return;
    const DWORD moved = member < lo ? lo : hi;
    note(std::string(PGMDEV_FLASH_MANAGER::m_name_list[index]) + ": the table gives " +
         std::to_string(member) + unit + "; the loader accepts " + std::to_string(lo) + " to " +
         std::to_string(hi) + unit + ", so " + std::to_string(moved) + unit + " is used");
    member = moved;
    m_origin[index] = ORIGIN::kClamped;
  }

  // Fills the member lists in schema order.
  void list_members() {
    for (unsigned int i = 0; i < kMemberCount; ++i) {
      const std::string name = PGMDEV_FLASH_MANAGER::m_name_list[i];
      switch (m_origin[i]) {
        case ORIGIN::kClamped:
          m_result.clamped.push_back(name);
          m_result.derived.push_back(name);
          break;
        case ORIGIN::kTable:
          m_result.derived.push_back(name);
          break;
        case ORIGIN::kGiven:
          m_result.given.push_back(name);
          break;
        case ORIGIN::kDefault:
          m_result.defaulted.push_back(name);
          break;
        case ORIGIN::kNone:
        case ORIGIN::kFixed:
          break;
      }
    }
  }

 private:
  PGMDEV_SFDP_FLASH &m_result;
  ORIGIN m_origin[kMemberCount] = {};
};

PGMDEV_SFDP_FLASH &refused(PGMDEV_SFDP_FLASH &result, PGMDEV_SFDP_STATUS status,
                           const std::string &message) {
  result.status = status;
  result.message = message;
  result.ini.clear();
  return result;
}

}  // namespace

bool PGMDEV_FLASH_SFDP::member_can_be_given(const std::string &member) {
  const int index = member_index(member);
  if (index < 0) return false;
  for (const MEMBER fixed : kFixedMembers) {
    if (static_cast<int>(fixed) == index) return false;
  }
  return true;
}

bool PGMDEV_FLASH_SFDP::read_table(const unsigned char *sfdp, std::size_t length,
                                   PGMDEV_SFDP_TABLE &table, std::string &message) {
  table = PGMDEV_SFDP_TABLE{};
  message.clear();
  if (sfdp == nullptr) length = 0;
  if (length < kSfdpHeaderBytes) {
    return read_failed(message, "the SFDP header needs 8 bytes, and " + std::to_string(length) +
                                    " were given: read the SFDP table from address 0 with "
                                    "command 0x5A, at least its headers");
  }
  for (std::size_t i = 0; i < sizeof(kSignature); ++i) {
    if (sfdp[i] != kSignature[i]) {
      return read_failed(message,
                         "bytes 0-3 are " + bytes_text(sfdp, sizeof(kSignature)) +
                             ", not the signature \"SFDP\" (53 46 44 50): the "
                             "bytes were not read from SFDP address 0 with command 0x5A, or the "
                             "flash has no SFDP table");
    }
  }
  table.sfdp_minor = sfdp[kMinorRevisionByte];
  table.sfdp_major = sfdp[kMajorRevisionByte];
  if (table.sfdp_major != kKnownMajorRevision) {
    return read_failed(message, "byte 5: SFDP major revision " + std::to_string(table.sfdp_major) +
                                    "; only major revision 1 is known");
  }
  table.header_count = sfdp[kHeaderCountByte] + 1u;
  const std::size_t headers_end = kSfdpHeaderBytes + kParameterHeaderBytes * table.header_count;
  if (headers_end > length) {
    return read_failed(message, "byte 6: " + std::to_string(table.header_count) +
                                    " parameter headers end at byte " +
                                    std::to_string(headers_end) + ", past the " +
                                    std::to_string(length) + " bytes given: read at least " +
                                    std::to_string(headers_end) + " bytes");
  }

  // The BFPT of the highest revision is read; the first header must be a BFPT.
  const auto header = [sfdp](unsigned int h) {
    return sfdp + kSfdpHeaderBytes + kParameterHeaderBytes * h;
  };
  const auto id_of = [&](unsigned int h) {
    return static_cast<unsigned int>(header(h)[kIdHighByte]) << 8 | header(h)[kIdLowByte];
  };
  if (id_of(0) != kBfptId) {
    return read_failed(message, "parameter header 0 (bytes 8-15) has ID " + hex(id_of(0), 4) +
                                    ", not the BFPT's 0xFF00: the first table must be the "
                                    "Basic Flash Parameter Table");
  }
  int chosen = -1;
  unsigned int bfpt_headers = 0;
  for (unsigned int h = 0; h < table.header_count; ++h) {
    if (id_of(h) != kBfptId) continue;
    ++bfpt_headers;
    const unsigned int major = header(h)[kTableMajorByte];
    const unsigned int minor = header(h)[kTableMinorByte];
    if (major != kKnownMajorRevision) continue;
    if (chosen < 0 || minor > header(static_cast<unsigned int>(chosen))[kTableMinorByte]) {
      chosen = static_cast<int>(h);
    }
  }
  if (chosen < 0) {
    return read_failed(message, "parameter header 0 (byte 10): BFPT major revision " +
                                    std::to_string(header(0)[kTableMajorByte]) +
                                    "; only major revision 1 is known");
  }
  const unsigned char *bfpt_header = header(static_cast<unsigned int>(chosen));
  table.bfpt_header = static_cast<unsigned int>(chosen);
  table.bfpt_major = bfpt_header[kTableMajorByte];
  table.bfpt_minor = bfpt_header[kTableMinorByte];
  table.bfpt_dwords = bfpt_header[kTableLengthByte];
  table.bfpt_pointer = le24(bfpt_header + kTablePointerByte);
  table.other_bfpt_headers = bfpt_headers - 1;
  const std::string where = "parameter header " + std::to_string(chosen) + ": ";
  if (table.bfpt_dwords < kBfptMinDwords) {
    return read_failed(message, where + "the BFPT has " + std::to_string(table.bfpt_dwords) +
                                    " DWORDs, fewer than the 9 of its first revision");
  }
  const std::size_t table_bytes = kDwordBytes * table.bfpt_dwords;
  if (table.bfpt_pointer > length || table_bytes > length - table.bfpt_pointer) {
    const std::size_t end = table.bfpt_pointer + table_bytes;
    return read_failed(message, where + "the BFPT of " + std::to_string(table.bfpt_dwords) +
                                    " DWORDs at byte " + hex(table.bfpt_pointer, 6) +
                                    " ends at byte " + std::to_string(end) + ", past the " +
                                    std::to_string(length) + " bytes given: read at least " +
                                    std::to_string(end) + " bytes");
  }
  const unsigned char *bfpt = sfdp + table.bfpt_pointer;
  const auto dword = [bfpt](unsigned int n) { return le32(bfpt + kDwordBytes * (n - 1)); };

  table.addressing =
      static_cast<PGMDEV_SFDP_ADDRESSING>((dword(kAddressingDword) >> kAddressingShift) & 3);

  const DWORD density = dword(kDensityDword);
  if ((density & kDensityExponentFlag) != 0) {
    const DWORD exponent = density & ~kDensityExponentFlag;
    if (exponent > kMaxDensityExponent) {
      return read_failed(message, "BFPT DWORD2 (byte " + hex(table.bfpt_pointer + 4, 6) +
                                      "): a density of 2^" + std::to_string(exponent) +
                                      " bits is above 2048 Mbit, the most a flash record holds");
    }
    table.density_bits = DWORD{1} << exponent;
  } else {
    table.density_bits = density + 1;
  }

  for (unsigned int k = 0; k < PGMDEV_SFDP_ERASE_TYPES; ++k) {
    const DWORD types = dword(k < 2 ? kEraseTypes12Dword : kEraseTypes34Dword);
    const unsigned int shift = 16 * (k % 2);
    table.erase[k].size_log2 = (types >> shift) & 0xFF;
    table.erase[k].opcode = (types >> (shift + 8)) & 0xFF;
  }

  if (table.bfpt_dwords >= kEraseTimesDword) {
    table.erase_times = true;
    const DWORD times = dword(kEraseTimesDword);
    const unsigned int multiplier = 2 * ((times & kCountMask) + 1);
    for (unsigned int k = 0; k < PGMDEV_SFDP_ERASE_TYPES; ++k) {
      if (table.erase[k].size_log2 == 0) continue;
      const unsigned int field = (times >> (kEraseTimeShift + kEraseTimeBits * k)) & kTimeFieldMask;
      table.erase[k].typical_ms = field_time(field, kEraseUnitsMs);
      table.erase[k].max_ms = multiplier * table.erase[k].typical_ms;
    }
    if (table.bfpt_dwords >= kProgramTimesDword) {
      table.program_times = true;
      const DWORD program = dword(kProgramTimesDword);
      const unsigned int page = (program >> kPageProgramShift) & kPageProgramFieldMask;
      table.page_program_typical_us =
          ((page & kTimeCountMask) + 1) * kPageProgramUnitsUs[(page & kPageProgramUnitBit) ? 1 : 0];
      table.page_program_max_us = 2 * ((program & kCountMask) + 1) * table.page_program_typical_us;
      table.chip_erase_typical_ms =
          field_time((program >> kChipEraseShift) & kTimeFieldMask, kChipEraseUnitsMs);
      table.chip_erase_max_ms = multiplier * table.chip_erase_typical_ms;
    }
  }
  return true;
}

PGMDEV_SFDP_FLASH PGMDEV_FLASH_SFDP::define_flash(
    const unsigned char *sfdp, std::size_t length, const unsigned char id[3],
    const std::map<std::string, std::string> &values) {
  PGMDEV_SFDP_FLASH result;
  std::string message;
  if (!read_table(sfdp, length, result.table, message)) {
    return refused(result, PGMDEV_SFDP_TABLE_REFUSED, message);
  }
  const PGMDEV_SFDP_TABLE &table = result.table;
  SFDP_DEFINITION definition(result);
  PGMDEV_SFL_FLASH_INFO &record = definition.record();

  // The caller's values first: the table gives way to them.
  for (const auto &[name, text] : values) {
    const int index = member_index(name);
    if (index < 0) {
      return refused(result, PGMDEV_SFDP_VALUE_REFUSED,
                     "'" + name +
                         "' is no member of a flash record: give members by their schema "
                         "names (docs/flash_database.md)");
    }
    if (!member_can_be_given(name)) {
      return refused(result, PGMDEV_SFDP_VALUE_REFUSED,
                     name +
                         " cannot be given: it comes from the id bytes, or is the same for "
                         "every user-defined flash");
    }
    // -1 stands for no protection divisor, as in the dialogue.
    const std::string value = index == k_protection_division && text == "-1" ? "255" : text;
    std::string why;
    const unsigned int position = static_cast<unsigned int>(index);
    if (!set_member(record, position, value, why) || !given_value_fits(position, record, why)) {
      return refused(result, PGMDEV_SFDP_VALUE_REFUSED, name + "=" + text + ": " + why);
    }
    definition.set_origin(position, ORIGIN::kGiven);
  }

  // The id bytes, at the positions the read-id command gives them.
  if (id == nullptr) {
    return refused(result, PGMDEV_SFDP_VALUE_REFUSED, "no id bytes were given");
  }
  const char *const kIdNames[] = {"manufacturer", "memory type", "capacity"};
  for (const unsigned int position : {0u, 2u}) {
    if (id[position] < kMinIdByte || id[position] > kMaxIdByte) {
      return refused(result, PGMDEV_SFDP_VALUE_REFUSED,
                     "id byte " + std::to_string(position) + " (" + kIdNames[position] + ") is " +
                         hex(id[position], 2) +
                         ": a flash that answers the read-id command 0x9F gives 0x01 to 0xFE "
                         "there; read the id again");
    }
  }
  record.mfc_id = id[0];
  record.mfc_id_index = kMfcIdIndex;
  record.memory_type = id[1];
  record.memory_type_index = kMemoryTypeIndex;
  record.memory_id = id[2];
  record.memory_id_index = kMemoryIdIndex;
  record.silicon_id = false;
  record.norvik_id = kUserFlashNorvikId;
  record.default_dev = true;
  record.ini = kUserFlashGate;
  record.half_size = false;
  for (const MEMBER fixed : kFixedMembers) definition.set_origin(fixed, ORIGIN::kFixed);

  definition.note(
      "SFDP " + revision(table.sfdp_major, table.sfdp_minor) + ": BFPT " +
      revision(table.bfpt_major, table.bfpt_minor) + " of " + std::to_string(table.bfpt_dwords) +
      " DWORDs at byte " + hex(table.bfpt_pointer, 6) + " (parameter header " +
      std::to_string(table.bfpt_header) + " of " + std::to_string(table.header_count) + ")");
  if (table.other_bfpt_headers > 0) {
    definition.note(std::to_string(table.other_bfpt_headers) +
                    " other BFPT header(s) set aside for the one of the highest revision");
  }

  // Density and addressing.
  definition.from_table(k_device_bit_size, table.density_bits, record.device_bit_size, " bits");
  if (!definition.given(k_byte4_addressing)) {
    const bool needs_four = record.device_bit_size > kUserFlashByte4AddressingAbove;
    record.byte4_addressing = needs_four || table.addressing == PGMDEV_SFDP_ADDRESS_4_ONLY;
    definition.set_origin(k_byte4_addressing, ORIGIN::kTable);
    if (needs_four && table.addressing == PGMDEV_SFDP_ADDRESS_3_ONLY) {
      definition.note(
          "byte4_addressing: the table says 3-byte addresses only, but more than "
          "128 Mbit needs 4-byte addresses; the density decides");
    } else if (table.addressing == PGMDEV_SFDP_ADDRESS_RESERVED) {
      definition.note(
          "byte4_addressing: BFPT DWORD1 bits 18:17 hold the reserved value 11b; "
          "the density decides");
    }
  }

  // Erase types: the largest is the sector, and its time the sector erase time.
  std::string erase_list;
  int largest = -1;
  for (unsigned int k = 0; k < PGMDEV_SFDP_ERASE_TYPES; ++k) {
    const PGMDEV_SFDP_ERASE_TYPE &type = table.erase[k];
    if (type.size_log2 == 0) continue;
    if (largest < 0 || type.size_log2 > table.erase[largest].size_log2)
      largest = static_cast<int>(k);
    erase_list +=
        std::string(erase_list.empty() ? "" : ", ") + "type " + std::to_string(k + 1) + " " +
        (type.size_log2 < 64 ? size_text(1ull << type.size_log2)
                             : "2^" + std::to_string(type.size_log2) + " bytes") +
        " (opcode " + hex(type.opcode, 2) +
        (table.erase_times ? ", at most " + std::to_string(type.max_ms) + " ms" : "") + ")";
  }
  definition.note(erase_list.empty() ? "the table lists no erase type"
                                     : "erase types: " + erase_list);
  if (table.program_times) {
    definition.note("page program: typical " + std::to_string(table.page_program_typical_us) +
                    " us, at most " + std::to_string(table.page_program_max_us) +
                    " us; chip erase: typical " + std::to_string(table.chip_erase_typical_ms) +
                    " ms, at most " + std::to_string(table.chip_erase_max_ms) + " ms");
  }
  std::string missing;
  const auto lacks = [&missing](const char *member, const std::string &why) {
    missing += std::string(missing.empty() ? "" : "; ") + member + " (" + why + ")";
  };
  if (largest >= 0) {
    const unsigned int size_log2 = table.erase[largest].size_log2;
    if (size_log2 < 32) {
      definition.from_table(k_device_sector_byte, DWORD{1} << size_log2, record.device_sector_byte,
                            " bytes");
    } else if (!definition.given(k_device_sector_byte)) {
      lacks("device_sector_byte", "erase type " + std::to_string(largest + 1) + " of 2^" +
                                      std::to_string(size_log2) + " bytes does not fit a record");
    }
  } else if (!definition.given(k_device_sector_byte)) {
    lacks("device_sector_byte", "the table lists no erase type");
  }

  // The sector erase time is that of the erase type of the sector's size.
  int sector_type = -1;
  for (unsigned int k = 0; k < PGMDEV_SFDP_ERASE_TYPES && sector_type < 0; ++k) {
    const unsigned int size_log2 = table.erase[k].size_log2;
    if (size_log2 != 0 && size_log2 < 32 && (DWORD{1} << size_log2) == record.device_sector_byte) {
      sector_type = static_cast<int>(k);
    }
  }
  const std::string short_table =
      "the BFPT of " + std::to_string(table.bfpt_dwords) + " DWORDs gives no ";
  if (table.erase_times && sector_type >= 0) {
    definition.from_table(k_sec_erase_time, seconds_up(table.erase[sector_type].max_ms),
                          record.sec_erase_time, " s");
  } else if (!definition.given(k_sec_erase_time)) {
    lacks("sec_erase_time",
          !table.erase_times ? short_table + "erase times" : "no erase type has the sector's size");
  }
  if (table.program_times) {
    definition.from_table(k_bulk_erase_time, seconds_up(table.chip_erase_max_ms),
                          record.bulk_erase_time, " s");
    definition.from_table(k_program_utime, table.page_program_max_us, record.program_utime, " us");
  } else {
    if (!definition.given(k_bulk_erase_time))
      lacks("bulk_erase_time", short_table + "chip erase time");
    if (!definition.given(k_program_utime))
      lacks("program_utime", short_table + "page program time");
  }
  definition.clamp(k_bulk_erase_time, record.bulk_erase_time, kUserFlashMinBulkEraseSeconds,
                   kUserFlashMaxBulkEraseSeconds, " s");
  definition.clamp(k_sec_erase_time, record.sec_erase_time, kUserFlashMinSectorEraseSeconds,
                   kUserFlashMaxSectorEraseSeconds, " s");
  definition.clamp(k_program_utime, record.program_utime, kUserFlashMinProgramMicroseconds,
                   kUserFlashMaxProgramMicroseconds, " us");

  // What the table cannot say: the caller's value or the plain single-die default.
  for (const DEFAULT_VALUE &fallback : kDefaults) {
    const unsigned int index = static_cast<unsigned int>(member_index(fallback.member));
    if (definition.given(index)) continue;
    std::string why;
    PGMDEV_CHECK(set_member(record, index, fallback.text, why));
    definition.set_origin(index, ORIGIN::kDefault);
  }
  for (const unsigned int name : {k_manufacturer_name, k_device_name}) {
    if (!definition.given(name)) lacks(PGMDEV_FLASH_MANAGER::m_name_list[name], "no default");
  }
  definition.list_members();
  if (!missing.empty()) {
    return refused(result, PGMDEV_SFDP_RECORD_REFUSED,
                   "no value for " + missing + ": give each as MEMBER=VALUE");
  }
  for (unsigned int i = 0; i < kMemberCount; ++i)
    PGMDEV_CHECK(definition.origin(i) != ORIGIN::kNone);

  const std::string fault = pgmdev_unsound_reason(record);
  if (!fault.empty()) {
    // The fault names its member first.
    const int index = member_index(fault.substr(0, fault.find(' ')));
    const bool from_table =
        index >= 0 && definition.origin(static_cast<unsigned int>(index)) == ORIGIN::kTable;
    return refused(result, PGMDEV_SFDP_RECORD_REFUSED,
                   "the loader would refuse this flash: " + fault +
                       (from_table ? " (the table gives it; give the member as MEMBER=VALUE "
                                     "to replace it)"
                                   : ""));
  }
  result.record_text = pgmdev_flash_record_text(record);
  std::ostringstream codec_messages;
  std::string refusal;
  result.ini = pgmdev_encode_flash_entries({pgmdev_seal_flash_entry(result.record_text)},
                                           codec_messages, refusal);
  if (result.ini.empty()) {
    return refused(result, PGMDEV_SFDP_RECORD_REFUSED,
                   refusal.empty() ? codec_messages.str() : refusal);
  }
  result.status = PGMDEV_SFDP_ACCEPTED;
  return result;
}
