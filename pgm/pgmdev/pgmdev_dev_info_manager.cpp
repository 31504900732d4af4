// The device-info database: schema tables, loading, lookups, generation from CSV and the debug
// listings. The file container and field encoding are the shared codec's; this file gives it
// the device-info rules and reports every check from here.
#include "pgmdev_dev_info_manager.h"

#include <cstring>
#include <fstream>
#include <iostream>
#include <string_view>
#include <type_traits>

#include "gen.h"
#include "lxt.h"
#include "mem.h"
#include "msg.h"
#include "pgm_common.h"
#include "pgmdev_check.h"
#include "pgmdev_db_codec.h"
#include "pgmdev_dev_info_manager_auto_export.h"

namespace {

const MEM_INITIALIZER g_mem_initializer(PGMDEV_MODULE);

// Schema id of the device-info file: a reader accepts only files that carry exactly this one.
constexpr std::string_view PGMDEV_DEV_INFO_CSV_MD5 = "6d91639bb2165ce50a6e050711c1137f";

// The device-info rules of the shared codec.
const PGMDEV_DB_FORMAT kDevInfoFormat = {
    "PGMIO_DM",
    "data[index++] == 'P' && data[index++] == 'G' && data[index++] == 'M' && data[index++] == "
    "'I' && data[index++] == 'O' && data[index++] == '_' && data[index++] == 'D' && "
    "data[index++] == 'M'",
    PGMDEV_DEV_INFO_CSV_MD5,
    "PGMDEV_DEV_INFO_CSV_MD5.size() == 32",
    "Mismatch ID between device file and reader",
    "FIO_FILE_SYSTEM::exists(device_file.fullpath().c_str()) && "
    "FIO_FILE_SYSTEM::status(device_file.fullpath().c_str(), &stat_info)",
    pgmdev_db_tag_bit(PGMDEV_MANAGER_DEVID_STR) | pgmdev_db_tag_bit(PGMDEV_MANAGER_STRING),
    "type == PGMDEV_MANAGER_DEVID_STR || type == PGMDEV_MANAGER_STRING",
    "string.size() > 0 || allow_empty",
    pgmdev_db_tag_bit(PGMDEV_MANAGER_DEVID_STR) | pgmdev_db_tag_bit(PGMDEV_MANAGER_STRING),
    "type == PGMDEV_MANAGER_DEVID_STR || type == PGMDEV_MANAGER_STRING",
    true,
    "string == \"\" || string == \"FALSE\" || string == \"TRUE\"",
    false,
    false,
    pgmdev_db_tag_bit(PGMDEV_MANAGER_DEVID_ENUM) | pgmdev_db_tag_bit(PGMDEV_MANAGER_DWORD) |
        pgmdev_db_tag_bit(PGMDEV_MANAGER_ENUM),
    "type == PGMDEV_MANAGER_DEVID_ENUM || type == PGMDEV_MANAGER_DWORD || "
    "type == PGMDEV_MANAGER_ENUM",
};

// Each record takes at least this many body bytes (every text empty): 86 tags, 5 length
// bytes, 37 bools, 10 bytes, 1 word, 33 four-byte numbers and "END1".
constexpr DWORD kMinimumRecordBytes = 86 + 5 + 37 + 10 + 2 + 4 * 33 + 4;

// The member type that each column type stands for; the three DEVID_ENUM columns hold the
// catalogue's enumerations.
template <PGMDEV_MANAGER_TYPE type, class member_type>
constexpr bool member_fits() {
  switch (type) {
    case PGMDEV_MANAGER_DEVID_ENUM:
      return std::is_enum_v<member_type>;
    case PGMDEV_MANAGER_DEVID_STR:
    case PGMDEV_MANAGER_STRING:
      return std::is_same_v<member_type, std::string>;
    case PGMDEV_MANAGER_BOOL:
      return std::is_same_v<member_type, bool>;
    case PGMDEV_MANAGER_BYTE:
      return std::is_same_v<member_type, BYTE>;
    case PGMDEV_MANAGER_WORD:
      return std::is_same_v<member_type, WORD>;
    case PGMDEV_MANAGER_DWORD:
    case PGMDEV_MANAGER_ENUM:
      return std::is_same_v<member_type, DWORD>;
    default:
      return false;
  }
}
#define PGMDEV_DEV_INFO_ASSERT_TYPE(name, type, member_type)       \
  static_assert(member_fits<PGMDEV_MANAGER_##type, member_type>(), \
                "column " #name " has a member type that does not fit its type " #type);
PGMDEV_DEV_INFO_SCHEMA(PGMDEV_DEV_INFO_ASSERT_TYPE)
#undef PGMDEV_DEV_INFO_ASSERT_TYPE

// The condition text of a type row cell that differs from its column type's CSV name
// (pgmdev_csv_type_name), for the column types 0 to 7.
constexpr const char* kCsvTypeTexts[] = {
    "svec.at(i) == \"DEVID_ENUM\"", "svec.at(i) == \"DEVID_STR\"", "svec.at(i) == \"STL_STRING\"",
    "svec.at(i) == \"bool\"",       "svec.at(i) == \"BYTE\"",      "svec.at(i) == \"WORD\"",
    "svec.at(i) == \"DWORD\"",      "svec.at(i) == \"ENUM\"",
};

// Lines of the CSV and of the parts list are shorter than this; a longer line ends reading.
constexpr size_t kMaxLineBytes = 10240;
// Cells of a parts-list line; the first, second and seventh are read.
constexpr size_t kPartsListCells = 7;

// Reads the next line that is not empty once trimmed; false at the end of the stream or at a
// line that is too long. line_number counts every line read, empty ones too, so that it is the
// line's number in the file.
bool read_counted_line(std::istream& input, std::string& line, DWORD& line_number) {
  std::string raw;
  while (std::getline(input, raw)) {
    ++line_number;
    if (raw.size() >= kMaxLineBytes) return false;
    line = gen_remove_leading_and_trailing_white_spaces(raw);
    if (!line.empty()) return true;
  }
  return false;
}

const LXT_TOKENIZER& csv_tokenizer() {
  static const LXT_TOKENIZER tokenizer(" \t\n,", true, "", "", "", false);
  return tokenizer;
}

// The numbers of the catalogue's families, in the rows of the general enumeration table.
constexpr int kEnumFamiliesFirst[] = {6, 65, 61, 50};
constexpr int kEnumFamiliesLast[] = {54, 63, 71};

std::vector<PGMDEV_DEV_INFO_NAME> build_family_list() {
  std::vector<PGMDEV_DEV_INFO_NAME> rows;
  for (int family = 1; family < DEV_FAMILY_GENERIC; ++family) {
    rows.push_back({dstr_get_family_identifier(DEV_FAMILY_ENUM(family)), DWORD(family)});
  }
  rows.push_back({"GENERIC", DWORD(DEV_FAMILY_GENERIC)});
  rows.push_back({"", DWORD(DEV_FAMILY_INVALID)});
  return rows;
}

std::vector<PGMDEV_DEV_INFO_NAME> build_enum_list() {
  auto family_row = [](int family) {
    return PGMDEV_DEV_INFO_NAME{"DEV_FAMILY_" + dstr_get_family_identifier(DEV_FAMILY_ENUM(family)),
                                DWORD(family)};
  };
  std::vector<PGMDEV_DEV_INFO_NAME> rows;
  for (const int family : kEnumFamiliesFirst) rows.push_back(family_row(family));
  rows.push_back({"NPCF_BLOCK_CRAM", 37});
  rows.push_back({"NPCF_BLOCK_ERAM", 38});
  rows.push_back({"NPCF_BLOCK_CB_HEADER2", 6});
  rows.push_back({"PGMIO_ZEPHA_X8", 20});
  for (const int family : kEnumFamiliesLast) rows.push_back(family_row(family));
  rows.push_back({"NPCF_BLOCK_POSTAMBLE", 39});
  rows.push_back({"", INVALID_DWORD});
  return rows;
}

// The name table of an identifier column ("family", "device", "part") or, for "", the general
// enumeration table; null for any other name.
const std::vector<PGMDEV_DEV_INFO_NAME>* name_table(const std::string& type_name) {
  if (type_name == "family") return &PGMDEV_DEV_INFO_MANAGER::m_supported_family_list;
  if (type_name == "device") return &PGMDEV_DEV_INFO_MANAGER::m_supported_device_list;
  if (type_name == "part") return &PGMDEV_DEV_INFO_MANAGER::m_supported_part_list;
  if (type_name.empty()) return &PGMDEV_DEV_INFO_MANAGER::m_supported_enum_list;
  return nullptr;
}

// Looks name up in the table's rows in order, exactly; false when no row holds it.
bool find_name(const std::vector<PGMDEV_DEV_INFO_NAME>& table, const std::string& name,
               DWORD& value) {
  for (const PGMDEV_DEV_INFO_NAME& row : table) {
    if (row.name == name) {
      value = row.id;
      return true;
    }
  }
  return false;
}

// What a cell of an identifier or enumeration column may hold, for messages.
std::string accepted_names(const std::string& column) {
  if (column == "family") {
    return "a family identifier of the catalogue (" +
           dstr_get_family_identifier(DEV_FAMILY_ENUM(1)) + ", ...), GENERIC or nothing";
  }
  if (column == "device" || column == "part") return "GENERIC or nothing";
  std::string names;
  for (const PGMDEV_DEV_INFO_NAME& row : PGMDEV_DEV_INFO_MANAGER::m_supported_enum_list) {
    if (!row.name.empty()) names += row.name + ", ";
  }
  return names + "or nothing";
}

// The fields of one record read into its members, each with the reader of its type. The
// codec's readers are called directly (not through the manager's member readers, which do the
// same) so that they inline: this runs for every field of every record loaded.
struct RECORD_READER {
  unsigned char* data;
  unsigned int data_size;
  unsigned int& index;

  void operator()(std::string& out) {
    PGMDEV_DB_CODEC::get_string_data(data, data_size, index, true, &out, kDevInfoFormat,
                                     PGMDEV_DB_HERE);
  }
  void operator()(bool& out) {
    PGMDEV_DB_CODEC::get_bool_data(data, data_size, index, &out, PGMDEV_DB_HERE);
  }
  void operator()(BYTE& out) {
    PGMDEV_DB_CODEC::get_byte_data(data, data_size, index, &out, PGMDEV_DB_HERE);
  }
  void operator()(WORD& out) {
    PGMDEV_DB_CODEC::get_word_data(data, data_size, index, &out, PGMDEV_DB_HERE);
  }
  void operator()(DWORD& out) {
    PGMDEV_DB_CODEC::get_dword_data(data, data_size, index, &out, kDevInfoFormat, PGMDEV_DB_HERE);
  }
  template <class ENUM_TYPE, class = std::enable_if_t<std::is_enum_v<ENUM_TYPE>>>
  void operator()(ENUM_TYPE& out) {
    DWORD value = 0;
    (*this)(value);
    out = static_cast<ENUM_TYPE>(value);
  }
};

// A member as the listing shows it: numbers in unsigned decimal, bools as 0 or 1.
std::string listing_text(const std::string& value) { return value; }
std::string listing_text(bool value) { return value ? "1" : "0"; }
template <class NUMBER>
std::string listing_text(NUMBER value) {
  return std::to_string(static_cast<DWORD>(value));
}

const std::vector<PGM_COMMON_INI_EMAIL_ADDR_ENUM> PGMDEV_DEV_INFO_USERNAME_EMAIL = {
    PGM_COMMON_INI_EMAIL_ADDR_PGM_OWNER, PGM_COMMON_INI_EMAIL_ADDR_DEVICE_DB_OWNER,
    PGM_COMMON_INI_EMAIL_ADDR_RELEASE_ENGINEERING};
constexpr char EMAIL_TITLE[] = "PGMDEV Dev Info Manager notification";

// Tells the database owners that a family has no row of its own in the CSV.
void notify_missing_family(DWORD family) {
  std::string name;
  MEM_DETAIL::stl_raw_sprintf(name, "%s (%d)",
                              dstr_get_user_string(DEV_FAMILY_ENUM(family)).c_str(),
                              static_cast<int>(family));
  stl_toupper(name);
  const std::string body = "Missing family " + name + " from Dev Info CSV.\n\n" +
                           "Forcing this family to use Generic database.\n\n" +
                           "Please add the family support as soon as possible.\n";
  PGM_COMMON::send_auto_email_file(PGMDEV_DEV_INFO_USERNAME_EMAIL, EMAIL_TITLE, body, false, "", {},
                                   {});
}

// The copy of the record that an index-table entry names, or null for no record; the entry
// becomes the manager's m_index.
PGMDEV_DEV_INFO_RECORD* copy_of_entry(PGMDEV_DEV_INFO_MANAGER& manager, DWORD entry) {
  manager.m_index = entry;
  if (manager.m_index == INVALID_DWORD) return nullptr;
  PGMDEV_DEV_INFO_RECORD* info = manager.copy_database();
  PGMDEV_CHECK_TEXT(info != nullptr, "info != NULL");
  return info;
}

// Sets m_index to the first record that `matches`; the scan is bounded by the records held.
template <class MATCHES>
bool find_record(PGMDEV_DEV_INFO_MANAGER& manager, MATCHES matches) {
  for (DWORD record = 0; record < manager.m_device_count; ++record) {
    if (matches(manager.m_device_database[record])) {
      manager.m_index = record;
      return true;
    }
  }
  return false;
}

// Takes the configuration name of the first parts-list entry that `matches` and sets m_index
// to the first record of that name, ignoring case. False when the entry or the name is missing.
template <class MATCHES>
bool find_pcf_record(PGMDEV_DEV_INFO_MANAGER& manager, MATCHES matches) {
  std::string pcf;
  for (const auto& entry : manager.m_pcf_map_list) {
    if (matches(*entry)) {
      pcf = entry->pcf;
      break;
    }
  }
  if (pcf.empty()) return false;
  return find_record(manager, [&pcf](const PGMDEV_DEV_INFO_RECORD& info) {
    return gen_stricmp(info.pcf, pcf) == 0;
  });
}

}  // namespace

const char* const PGMDEV_DEV_INFO_MANAGER::m_db_name_list[TOTAL_DEVICE_DATABASE_MEMBER] = {
#define PGMDEV_DEV_INFO_NAME_OF(name, type, member_type) #name,
    PGMDEV_DEV_INFO_SCHEMA(PGMDEV_DEV_INFO_NAME_OF)
#undef PGMDEV_DEV_INFO_NAME_OF
};

const PGMDEV_MANAGER_TYPE PGMDEV_DEV_INFO_MANAGER::m_db_type_list[TOTAL_DEVICE_DATABASE_MEMBER] = {
#define PGMDEV_DEV_INFO_TYPE_OF(name, type, member_type) PGMDEV_MANAGER_##type,
    PGMDEV_DEV_INFO_SCHEMA(PGMDEV_DEV_INFO_TYPE_OF)
#undef PGMDEV_DEV_INFO_TYPE_OF
};

const std::vector<PGMDEV_DEV_INFO_NAME> PGMDEV_DEV_INFO_MANAGER::m_supported_family_list =
    build_family_list();
const std::vector<PGMDEV_DEV_INFO_NAME> PGMDEV_DEV_INFO_MANAGER::m_supported_device_list = {
    {"GENERIC", DWORD(DEV_DEVICE_GENERIC)}, {"", DWORD(DEV_DEVICE_INVALID)}};
const std::vector<PGMDEV_DEV_INFO_NAME> PGMDEV_DEV_INFO_MANAGER::m_supported_part_list = {
    {"GENERIC", DWORD(DEV_PART_GENERIC)}, {"", DWORD(DEV_PART_INVALID)}};
const std::vector<PGMDEV_DEV_INFO_NAME> PGMDEV_DEV_INFO_MANAGER::m_supported_enum_list =
    build_enum_list();

// ---- Construction, loading, destruction.

PGMDEV_DEV_INFO_MANAGER::PGMDEV_DEV_INFO_MANAGER(bool no_database, unsigned int debug_mode)
    : m_version(0),
      m_device_count(0),
      m_type_count(0),
      m_index(0),
      m_csv_memory_size(0),
      m_debug_mode(debug_mode),
      m_family_table(new DWORD[DEV_FAMILY_MAX]),
      m_device_table(new DWORD[DEV_DEVICE_MAX]),
      m_part_table(new DWORD[DWORD(DEV_PART_MAX)]) {
  std::memset(m_family_table.get(), 0xFF, sizeof(DWORD) * DEV_FAMILY_MAX);
  std::memset(m_device_table.get(), 0xFF, sizeof(DWORD) * DEV_DEVICE_MAX);
  std::memset(m_part_table.get(), 0xFF, sizeof(DWORD) * DWORD(DEV_PART_MAX));
  if (no_database) return;
  initialize_device_database(
      FIO_PATH(gen_get_device_db_fullpath() + "/programmer/pgm_dev_info.pcf"));
}

PGMDEV_DEV_INFO_MANAGER::~PGMDEV_DEV_INFO_MANAGER() {
  m_device_database.reset();
  while (!m_pcf_map_list.empty()) m_pcf_map_list.pop_back();
}

void PGMDEV_DEV_INFO_MANAGER::initialize_device_database(FIO_PATH device_file) {
  unsigned int memory_size = 0;
  const std::unique_ptr<unsigned char[]> body =
      PGMDEV_DB_CODEC::read_file(device_file, kDevInfoFormat, memory_size, PGMDEV_DB_HERE);
  PGMDEV_CHECK(memory_size > get_table_size());
  m_csv_memory_size = memory_size - get_table_size();
  parse_database(body.get(), memory_size, false);
}

void PGMDEV_DEV_INFO_MANAGER::parse_database(unsigned char* data, unsigned int data_size,
                                             bool only_records) {
  unsigned int index = 0;
  m_version = get_dword(data, data_size, index);
  PGMDEV_CHECK_TEXT(m_version == kPgmdevDbVersion,
                    "Mismatch version between device file and reader");
  m_device_count = get_dword(data, data_size, index);
  m_type_count = get_dword(data, data_size, index);
  PGMDEV_CHECK(m_device_count > 0 && m_type_count > 0);
  PGMDEV_CHECK_TEXT(m_device_database == nullptr, "m_device_database == NULL");
  // The records must fit in what is left of the body, so a damaged count cannot ask for more
  // memory than the body can describe.
  PGMDEV_CHECK_TEXT(m_device_count <= (data_size - index) / kMinimumRecordBytes,
                    "m_device_count * 276 <= data_size - index");
  m_device_database.reset(new PGMDEV_DEV_INFO_RECORD[m_device_count]);
  for (DWORD record = 0; record < m_device_count; ++record) {
    get_database(data, data_size, index, record);
    confirm_data_type_end(data, data_size, index);
  }
  confirm_database_end(data, data_size, index);
  if (only_records) return;
  PGMDEV_CHECK(index == m_csv_memory_size);
  get_table(data, data_size, index);

  switch (m_debug_mode) {
    case 1:
      for (DWORD record = 0; record < m_device_count; ++record) print_database(record, "");
      break;
    case 2:
      for (int family = 1; family < DEV_FAMILY_MAX; ++family) {
        print_database(m_family_table[family], family == DEV_FAMILY_GENERIC
                                                   ? "Generic"
                                                   : dstr_get_user_string(DEV_FAMILY_ENUM(family)));
      }
      break;
    case 3:
      for (int device = 1; device < DEV_DEVICE_MAX; ++device) {
        print_database(m_device_table[device], device == DEV_DEVICE_GENERIC
                                                   ? "Generic"
                                                   : dstr_get_user_string(DEV_DEVICE_ENUM(device)));
      }
      break;
    case 4:
      for (DWORD part = 0; part < DWORD(DEV_PART_MAX); ++part) {
        if (part == DWORD(DEV_PART_INVALID)) continue;
        print_database(m_part_table[part], part == DWORD(DEV_PART_GENERIC)
                                               ? "Generic"
                                               : dstr_get_user_string(DEV_PART_ENUM(part)));
      }
      break;
    default:
      break;
  }
}

void PGMDEV_DEV_INFO_MANAGER::get_database(unsigned char* data, unsigned int data_size,
                                           unsigned int& index, unsigned int record) {
  PGMDEV_DEV_INFO_RECORD& info = m_device_database[record];
  RECORD_READER read{data, data_size, index};
#define PGMDEV_DEV_INFO_READ(name, type, member_type) read(info.name);
  PGMDEV_DEV_INFO_SCHEMA(PGMDEV_DEV_INFO_READ)
#undef PGMDEV_DEV_INFO_READ
}

void PGMDEV_DEV_INFO_MANAGER::get_table(unsigned char* data, unsigned int data_size,
                                        unsigned int& index) {
  PGMDEV_CHECK_TEXT(m_device_database != nullptr && m_family_table != nullptr &&
                        m_device_table != nullptr && m_part_table != nullptr,
                    "m_device_database != NULL && m_family_table != NULL && "
                    "m_device_table != NULL && m_part_table != NULL");
  PGMDEV_CHECK_TEXT(PGMDEV_DB_CODEC::get_byte(data, data_size, index, PGMDEV_DB_HERE) ==
                        PGMDEV_MANAGER_FAMILY_TBL,
                    "data[index++] == PGMDEV_MANAGER_FAMILY_TBL");
  PGMDEV_CHECK_TEXT(get_dword(data, data_size, index) == DWORD(DEV_FAMILY_MAX),
                    "get_dword(data, index) == DWORD(DEV_FAMILY_MAX)");
  PGMDEV_DB_CODEC::get_dword_table(data, data_size, index, m_family_table.get(),
                                   DWORD(DEV_FAMILY_MAX), PGMDEV_DB_HERE);
  PGMDEV_CHECK_TEXT(PGMDEV_DB_CODEC::get_byte(data, data_size, index, PGMDEV_DB_HERE) ==
                        PGMDEV_MANAGER_DEVICE_TBL,
                    "data[index++] == PGMDEV_MANAGER_DEVICE_TBL");
  PGMDEV_CHECK_TEXT(get_dword(data, data_size, index) == DWORD(DEV_DEVICE_MAX),
                    "get_dword(data, index) == DWORD(DEV_DEVICE_MAX)");
  PGMDEV_DB_CODEC::get_dword_table(data, data_size, index, m_device_table.get(),
                                   DWORD(DEV_DEVICE_MAX), PGMDEV_DB_HERE);
  PGMDEV_CHECK_TEXT(
      PGMDEV_DB_CODEC::get_byte(data, data_size, index, PGMDEV_DB_HERE) == PGMDEV_MANAGER_PART_TBL,
      "data[index++] == PGMDEV_MANAGER_PART_TBL");
  PGMDEV_CHECK_TEXT(get_dword(data, data_size, index) == DWORD(DEV_PART_MAX),
                    "get_dword(data, index) == DWORD(DEV_PART_MAX)");
  PGMDEV_DB_CODEC::get_dword_table(data, data_size, index, m_part_table.get(), DWORD(DEV_PART_MAX),
                                   PGMDEV_DB_HERE);
}

void PGMDEV_DEV_INFO_MANAGER::confirm_data_type_end(unsigned char* data, unsigned int data_size,
                                                    unsigned int& index) {
  PGMDEV_DB_CODEC::confirm_marker(data, data_size, index, '1', PGMDEV_DB_HERE);
}

void PGMDEV_DEV_INFO_MANAGER::confirm_database_end(unsigned char* data, unsigned int data_size,
                                                   unsigned int& index) {
  PGMDEV_DB_CODEC::confirm_marker(data, data_size, index, '2', PGMDEV_DB_HERE);
}

// ---- Field readers and writers: the shared codec with the device-info rules.

DWORD PGMDEV_DEV_INFO_MANAGER::get_dword(unsigned char* data, unsigned int data_size,
                                         unsigned int& index) {
  return PGMDEV_DB_CODEC::get_dword(data, data_size, index, PGMDEV_DB_HERE);
}

void PGMDEV_DEV_INFO_MANAGER::get_string_data(unsigned char* data, unsigned int data_size,
                                              unsigned int& index, bool allow_empty,
                                              std::string* out) {
  PGMDEV_DB_CODEC::get_string_data(data, data_size, index, allow_empty, out, kDevInfoFormat,
                                   PGMDEV_DB_HERE);
}

void PGMDEV_DEV_INFO_MANAGER::get_bool_data(unsigned char* data, unsigned int data_size,
                                            unsigned int& index, bool* out) {
  PGMDEV_DB_CODEC::get_bool_data(data, data_size, index, out, PGMDEV_DB_HERE);
}

void PGMDEV_DEV_INFO_MANAGER::get_byte_data(unsigned char* data, unsigned int data_size,
                                            unsigned int& index, unsigned char* out) {
  PGMDEV_DB_CODEC::get_byte_data(data, data_size, index, out, PGMDEV_DB_HERE);
}

void PGMDEV_DEV_INFO_MANAGER::get_word_data(unsigned char* data, unsigned int data_size,
                                            unsigned int& index, unsigned short* out) {
  PGMDEV_DB_CODEC::get_word_data(data, data_size, index, out, PGMDEV_DB_HERE);
}

void PGMDEV_DEV_INFO_MANAGER::get_dword_data(unsigned char* data, unsigned int data_size,
                                             unsigned int& index, unsigned int* out) {
  PGMDEV_DB_CODEC::get_dword_data(data, data_size, index, out, kDevInfoFormat, PGMDEV_DB_HERE);
}

void PGMDEV_DEV_INFO_MANAGER::dump_string_to_database(unsigned char** data, unsigned int data_size,
                                                      unsigned int& index, bool allow_empty,
                                                      std::string string,
                                                      PGMDEV_MANAGER_TYPE type) {
  PGMDEV_DB_CODEC::dump_string(*data, data_size, index, allow_empty, string, type, kDevInfoFormat,
                               PGMDEV_DB_HERE);
}

void PGMDEV_DEV_INFO_MANAGER::dump_bool_to_database(unsigned char** data, unsigned int data_size,
                                                    unsigned int& index, std::string string) {
  PGMDEV_DB_CODEC::dump_bool(*data, data_size, index, string, kDevInfoFormat, PGMDEV_DB_HERE);
}

void PGMDEV_DEV_INFO_MANAGER::dump_value_to_database(unsigned char** data, unsigned int data_size,
                                                     unsigned int& index, std::string string,
                                                     unsigned int count) {
  PGMDEV_DB_CODEC::dump_value(*data, data_size, index, string, count, kDevInfoFormat,
                              PGMDEV_DB_HERE);
}

void PGMDEV_DEV_INFO_MANAGER::dump_enum_to_database(unsigned char** data, unsigned int data_size,
                                                    unsigned int& index, std::string string,
                                                    std::string type_name) {
  const std::vector<PGMDEV_DEV_INFO_NAME>* table = name_table(type_name);
  if (table == nullptr) PGMDEV_CHECK(type_name.empty());
  DWORD value = 0;
  const bool found = find_name(*table, string, value);
  PGMDEV_CHECK(found);
  PGMDEV_DB_CODEC::dump_tagged_dword(*data, data_size, index, PGMDEV_MANAGER_ENUM, value,
                                     PGMDEV_DB_HERE);
}

void PGMDEV_DEV_INFO_MANAGER::dump_dword_database(unsigned char** data, unsigned int data_size,
                                                  unsigned int& index, unsigned int value) {
  PGMDEV_DB_CODEC::dump_dword(*data, data_size, index, value, PGMDEV_DB_HERE);
}

bool PGMDEV_DEV_INFO_MANAGER::check_csv_cell(unsigned int column, const std::string& cell,
                                             PGMDEV_CSV_PROBLEM& problem) {
  PGMDEV_CHECK(column < TOTAL_DEVICE_DATABASE_MEMBER);
  const char* name = m_db_name_list[column];
  switch (m_db_type_list[column]) {
    case PGMDEV_MANAGER_DEVID_ENUM:
    case PGMDEV_MANAGER_ENUM: {
      const bool identifier = m_db_type_list[column] == PGMDEV_MANAGER_DEVID_ENUM;
      DWORD value = 0;
      if (find_name(*name_table(identifier ? name : ""), cell, value)) return true;
      problem.rule = "name";
      problem.message = std::string(name) + ": '" + cell + "' is not a name of the column; write " +
                        accepted_names(identifier ? name : "");
      return false;
    }
    case PGMDEV_MANAGER_DEVID_STR:
    case PGMDEV_MANAGER_STRING:
      return PGMDEV_DB_CODEC::check_string(cell, true, name, problem);
    case PGMDEV_MANAGER_BOOL:
      return PGMDEV_DB_CODEC::check_bool(cell, kDevInfoFormat, name, problem);
    case PGMDEV_MANAGER_BYTE:
      return PGMDEV_DB_CODEC::check_value(cell, 1, kDevInfoFormat, name, problem);
    case PGMDEV_MANAGER_WORD:
      return PGMDEV_DB_CODEC::check_value(cell, 2, kDevInfoFormat, name, problem);
    case PGMDEV_MANAGER_DWORD:
      return PGMDEV_DB_CODEC::check_value(cell, 4, kDevInfoFormat, name, problem);
    default:
      PGMDEV_FAIL("Unsupported type");
  }
}

DWORD PGMDEV_DEV_INFO_MANAGER::get_dword_from_string(std::string string) {
  return PGMDEV_DB_CODEC::get_dword_from_string(string, nullptr, kDevInfoFormat);
}

unsigned char* PGMDEV_DEV_INFO_MANAGER::compress_data(unsigned char* data, unsigned long offset,
                                                      unsigned long count,
                                                      unsigned long& new_count) {
  return PGMDEV_DB_CODEC::compress_data(data, offset, count, new_count, PGMDEV_DB_HERE).release();
}

unsigned char* PGMDEV_DEV_INFO_MANAGER::decompress_data(unsigned char* data,
                                                        unsigned long decompressed_count,
                                                        unsigned long original_count) {
  return PGMDEV_DB_CODEC::decompress_data(data, decompressed_count, original_count, PGMDEV_DB_HERE)
      .release();
}

unsigned short PGMDEV_DEV_INFO_MANAGER::calculate_crc16(const unsigned char* data,
                                                        unsigned int bit_count) {
  return PGMDEV_DB_CODEC::calculate_crc16(data, bit_count);
}

unsigned int PGMDEV_DEV_INFO_MANAGER::get_table_size() {
  // Three tags and three counts, then one four-byte entry per family, device and part.
  return 3 * (1 + 4) + 4 * (DWORD(DEV_FAMILY_MAX) + DWORD(DEV_DEVICE_MAX) + DWORD(DEV_PART_MAX));
}

// ---- Lookups.

PGMDEV_DEV_INFO_RECORD* PGMDEV_DEV_INFO_MANAGER::get_db_by_family(DEV_FAMILY_ENUM family) {
  PGMDEV_CHECK_TEXT(DWORD(family) < DWORD(DEV_FAMILY_MAX), "family < DEV_FAMILY_MAX");
  return copy_of_entry(*this, m_family_table[family]);
}

PGMDEV_DEV_INFO_RECORD* PGMDEV_DEV_INFO_MANAGER::get_db_by_device(DEV_DEVICE_ENUM device) {
  PGMDEV_CHECK_TEXT(DWORD(device) < DWORD(DEV_DEVICE_MAX), "device < DEV_DEVICE_MAX");
  return copy_of_entry(*this, m_device_table[device]);
}

PGMDEV_DEV_INFO_RECORD* PGMDEV_DEV_INFO_MANAGER::get_db_by_part(DEV_PART_ENUM part) {
  PGMDEV_CHECK_TEXT(DWORD(part) < DWORD(DEV_PART_MAX), "part < DEV_PART_MAX");
  return copy_of_entry(*this, m_part_table[part]);
}

PGMDEV_DEV_INFO_RECORD* PGMDEV_DEV_INFO_MANAGER::copy_database() {
  // Bounded by the records held: a file may declare any record count.
  PGMDEV_CHECK(m_index < m_device_count);
  PGMDEV_CHECK_TEXT(m_device_database != nullptr, "m_device_database != NULL");
  PGMDEV_DEV_INFO_RECORD* info = new PGMDEV_DEV_INFO_RECORD();
  pgmdev_dev_info_copy_record(info, m_device_database[m_index]);
  return info;
}

bool PGMDEV_DEV_INFO_MANAGER::search_family(DEV_FAMILY_ENUM family, bool allow_invalid) {
  m_index = INVALID_DWORD;
  PGMDEV_CHECK_TEXT(m_device_database != nullptr && DWORD(family) < DWORD(DEV_FAMILY_MAX) &&
                        (allow_invalid || family != DEV_FAMILY_INVALID),
                    "m_device_database != NULL && family < DEV_FAMILY_MAX && "
                    "(allow_invalid || family != DEV_FAMILY_INVALID)");
  return find_record(*this, [family](const PGMDEV_DEV_INFO_RECORD& info) {
    PGMDEV_CHECK_TEXT(DWORD(info.family) < DWORD(DEV_FAMILY_MAX), "id < DEV_FAMILY_MAX");
    return DWORD(info.family) == DWORD(family);
  });
}

bool PGMDEV_DEV_INFO_MANAGER::search_device(DEV_DEVICE_ENUM device, bool allow_invalid) {
  m_index = INVALID_DWORD;
  PGMDEV_CHECK_TEXT(m_device_database != nullptr && DWORD(device) < DWORD(DEV_DEVICE_MAX) &&
                        (allow_invalid || device != DEV_DEVICE_INVALID),
                    "m_device_database != NULL && device < DEV_DEVICE_MAX && "
                    "(allow_invalid || device != DEV_DEVICE_INVALID)");
  return find_record(*this, [device](const PGMDEV_DEV_INFO_RECORD& info) {
    PGMDEV_CHECK_TEXT(DWORD(info.device) < DWORD(DEV_DEVICE_MAX), "id < DEV_DEVICE_MAX");
    return DWORD(info.device) == DWORD(device);
  });
}

bool PGMDEV_DEV_INFO_MANAGER::search_part(DEV_PART_ENUM part, bool allow_invalid) {
  m_index = INVALID_DWORD;
  PGMDEV_CHECK_TEXT(m_device_database != nullptr && DWORD(part) < DWORD(DEV_PART_MAX) &&
                        (allow_invalid || part != DEV_PART_INVALID),
                    "m_device_database != NULL && part < DEV_PART_MAX && "
                    "(allow_invalid || part != DEV_PART_INVALID)");
  return find_record(*this, [part](const PGMDEV_DEV_INFO_RECORD& info) {
    PGMDEV_CHECK_TEXT(DWORD(info.part) < DWORD(DEV_PART_MAX), "id < DEV_PART_MAX");
    return DWORD(info.part) == DWORD(part);
  });
}

bool PGMDEV_DEV_INFO_MANAGER::search_pcf_for_device(DEV_DEVICE_ENUM device) {
  m_index = INVALID_DWORD;
  PGMDEV_CHECK_TEXT(m_device_database != nullptr && DWORD(device) < DWORD(DEV_DEVICE_MAX),
                    "m_device_database != NULL && device < DEV_DEVICE_MAX");
  if (device == DEV_DEVICE_INVALID) return false;
  return find_pcf_record(
      *this, [device](const PGMDEV_DEVICE_INFO_PCF_MAP& entry) { return entry.device == device; });
}

bool PGMDEV_DEV_INFO_MANAGER::search_pcf_for_part(DEV_PART_ENUM part) {
  m_index = INVALID_DWORD;
  PGMDEV_CHECK_TEXT(m_device_database != nullptr && DWORD(part) < DWORD(DEV_PART_MAX),
                    "m_device_database != NULL && part < DEV_PART_MAX");
  if (part == DEV_PART_INVALID) return false;
  return find_pcf_record(
      *this, [part](const PGMDEV_DEVICE_INFO_PCF_MAP& entry) { return entry.part == part; });
}

// ---- Generation from CSV.

unsigned int PGMDEV_DEV_INFO_MANAGER::check_device_file(FIO_PATH csv_file,
                                                        unsigned int& device_count) {
  std::ifstream input(csv_file.fullpath());
  bool status = input.good();
  device_count = 0;
  DWORD size = 0;
  // Columns of each kind, counted on the type row: they size every data row.
  DWORD text_count = 0, bool_count = 0, byte_count = 0, word_count = 0, dword_count = 0;
  DWORD line_number = 0;  // rows counted so far
  DWORD file_line = 0;    // the row's line in the file
  std::string line;
  std::vector<std::string> svec;
  while (status && input.good() && read_counted_line(input, line, file_line)) {
    csv_tokenizer().tokenize(line, svec);
    PGMDEV_CHECK(DWORD(svec.size()) == TOTAL_DEVICE_DATABASE_MEMBER);
    if (line_number == 0) {
      PGMDEV_CHECK_TEXT(DWORD(svec.size()) == TOTAL_DEVICE_DATABASE_MEMBER,
                        "svec.size() == TOTAL_DEVICE_DATABASE_MEMBER");
      for (DWORD i = 0; i < TOTAL_DEVICE_DATABASE_MEMBER; ++i) {
        const PGMDEV_MANAGER_TYPE type = m_db_type_list[i];
        if (DWORD(type) > DWORD(PGMDEV_MANAGER_ENUM)) PGMDEV_FAIL("Unsupported type");
        PGMDEV_CHECK_TEXT(svec.at(i) == pgmdev_csv_type_name(type), kCsvTypeTexts[type]);
        switch (type) {
          case PGMDEV_MANAGER_DEVID_STR:
          case PGMDEV_MANAGER_STRING:
            ++text_count;
            break;
          case PGMDEV_MANAGER_BOOL:
            ++bool_count;
            break;
          case PGMDEV_MANAGER_BYTE:
            ++byte_count;
            break;
          case PGMDEV_MANAGER_WORD:
            ++word_count;
            break;
          default:
            ++dword_count;
            break;
        }
      }
    } else if (line_number == 1) {
      for (DWORD i = 0; i < TOTAL_DEVICE_DATABASE_MEMBER; ++i) {
        std::string temp = svec.at(i);
        stl_tolower(temp);
        PGMDEV_CHECK(temp == m_db_name_list[i]);
      }
    } else {
      size += TOTAL_DEVICE_DATABASE_MEMBER;
      for (DWORD i = 0; i < TOTAL_DEVICE_DATABASE_MEMBER; ++i) {
        const PGMDEV_MANAGER_TYPE type = m_db_type_list[i];
        if (type == PGMDEV_MANAGER_DEVID_STR || type == PGMDEV_MANAGER_STRING) {
          size += DWORD(svec.at(i).size());
        }
        // A number cell must convert: the writer would otherwise stop at it with the host's
        // conversion error, which says neither the file nor the cell. A number wider than a byte
        // or word column keeps its low bytes, as this generator has always written it.
        PGMDEV_CSV_PROBLEM problem;
        if ((type == PGMDEV_MANAGER_BYTE || type == PGMDEV_MANAGER_WORD ||
             type == PGMDEV_MANAGER_DWORD) &&
            !check_csv_cell(i, svec.at(i), problem) &&
            (problem.rule != "width" || type == PGMDEV_MANAGER_DWORD)) {
          problem.line = file_line;
          problem.column = i + 1;
          PGMDEV_FAIL_AT(csv_file.path(), problem);
        }
      }
      size += text_count + bool_count + byte_count + 2 * word_count + 4 * dword_count + 4;
      ++device_count;
      // A row describes exactly one of: a family, a configuration name, the generic device,
      // the generic part.
      const int identifiers =
          !svec.at(0).empty() + !svec.at(1).empty() + !svec.at(2).empty() + !svec.at(3).empty();
      if (identifiers != 1) status = false;
    }
    ++line_number;
  }
  PGMDEV_CHECK(device_count == TOTAL_DATABASE_DEVICE);
  input.close();
  PGMDEV_CHECK(status);
  // The preamble's three numbers and "END2".
  return size + 16;
}

void PGMDEV_DEV_INFO_MANAGER::generate_device_database(FIO_PATH csv_file, FIO_PATH device_file) {
  unsigned int device_count = 0;
  const DWORD pure_memory_size = check_device_file(csv_file, device_count);
  PGMDEV_CHECK(pure_memory_size > 0);
  const DWORD body_size = pure_memory_size + get_table_size();
  // The whole uncompressed image: the header and the body.
  const DWORD memory_size = kPgmdevDbHeaderBytes + body_size;
  const std::unique_ptr<unsigned char[]> image(new unsigned char[memory_size]());
  unsigned char* data = image.get();
  unsigned int index = 0;
  PGMDEV_DB_CODEC::dump_header(data, memory_size, index, body_size, kDevInfoFormat, PGMDEV_DB_HERE);
  dump_dword_database(&data, memory_size, index, kPgmdevDbVersion);
  dump_dword_database(&data, memory_size, index, device_count);
  dump_dword_database(&data, memory_size, index, TOTAL_DEVICE_DATABASE_MEMBER);

  std::ifstream input(csv_file.fullpath());
  const bool status = input.good();
  PGMDEV_CHECK(status);
  DWORD line_number = 0;
  DWORD file_line = 0;
  std::string line;
  std::vector<std::string> svec;
  while (input.good() && read_counted_line(input, line, file_line)) {
    if (line_number++ < 2) continue;  // the type row and the name row
    csv_tokenizer().tokenize(line, svec);
    dump_to_database(&data, memory_size, index, svec);
    PGMDEV_DB_CODEC::dump_marker(data, memory_size, index, '1', PGMDEV_DB_HERE);
  }
  PGMDEV_DB_CODEC::dump_marker(data, memory_size, index, '2', PGMDEV_DB_HERE);

  // Read back what was just written: the records become this manager's.
  parse_database(data + kPgmdevDbHeaderBytes, body_size, true);
  PGMDEV_CHECK_TEXT(m_device_database != nullptr, "m_device_database != NULL");
  parse_pgm_parts();
  print_table(&data, memory_size, index);
  PGMDEV_CHECK(index == memory_size);
  PGMDEV_DB_CODEC::write_file(device_file, data, memory_size, PGMDEV_DB_HERE);
}

void PGMDEV_DEV_INFO_MANAGER::dump_to_database(unsigned char** data, unsigned int data_size,
                                               unsigned int& index,
                                               std::vector<std::string> fields) {
  for (DWORD i = 0; i < TOTAL_DEVICE_DATABASE_MEMBER; ++i) {
    const std::string& cell = fields.at(i);
    switch (m_db_type_list[i]) {
      case PGMDEV_MANAGER_DEVID_ENUM:
        dump_enum_to_database(data, data_size, index, cell, m_db_name_list[i]);
        break;
      case PGMDEV_MANAGER_DEVID_STR:
      case PGMDEV_MANAGER_STRING:
        dump_string_to_database(data, data_size, index, true, cell, m_db_type_list[i]);
        break;
      case PGMDEV_MANAGER_BOOL:
        dump_bool_to_database(data, data_size, index, cell);
        break;
      case PGMDEV_MANAGER_BYTE:
        dump_value_to_database(data, data_size, index, cell, 1);
        break;
      case PGMDEV_MANAGER_WORD:
        dump_value_to_database(data, data_size, index, cell, 2);
        break;
      case PGMDEV_MANAGER_DWORD:
        dump_value_to_database(data, data_size, index, cell, 4);
        break;
      case PGMDEV_MANAGER_ENUM:
        dump_enum_to_database(data, data_size, index, cell, "");
        break;
      default:
        PGMDEV_FAIL("Unsupported type");
    }
  }
}

void PGMDEV_DEV_INFO_MANAGER::parse_pgm_parts() {
  while (!m_pcf_map_list.empty()) m_pcf_map_list.pop_back();
  std::ifstream input(gen_get_velmora_path() + "/h/pgm_parts.txt");
  if (!input.good()) return;  // no parts list: every device maps through its family
  std::string line;
  std::vector<std::string> svec;
  DWORD file_line = 0;
  while (read_counted_line(input, line, file_line)) {
    if (line.compare(0, 2, "//") == 0) continue;
    csv_tokenizer().tokenize(line, svec);
    // Part, device, package, pins, speed, temperature and configuration name.
    PGMDEV_CHECK_TEXT(svec.size() >= kPartsListCells, "svec.size() >= 7");
    auto entry = std::make_unique<PGMDEV_DEVICE_INFO_PCF_MAP>();
    entry->part = dstr_get_dev_part_enum_by_string(svec.at(0));
    entry->device = dstr_get_dev_device_enum_by_string(svec.at(1));
    entry->pcf = svec.at(6);
    m_pcf_map_list.push_back(std::move(entry));
  }
}

void PGMDEV_DEV_INFO_MANAGER::print_table(unsigned char** data, unsigned int data_size,
                                          unsigned int& index) {
  PGMDEV_CHECK_TEXT(m_device_database != nullptr, "m_device_database != NULL");
  PGMDEV_DB_CODEC::dump_byte(*data, data_size, index, PGMDEV_MANAGER_FAMILY_TBL, PGMDEV_DB_HERE);
  dump_dword_database(data, data_size, index, DEV_FAMILY_MAX);
  for (DWORD i = 0; i < DWORD(DEV_FAMILY_MAX); ++i) {
    if (search_family(DEV_FAMILY_ENUM(i), true)) {
      PGMDEV_CHECK_TEXT(
          m_index < TOTAL_DATABASE_DEVICE && DWORD(m_device_database[m_index].family) == i,
          "m_index < TOTAL_DATABASE_DEVICE && m_device_database[m_index].family "
          "== i");
    } else {
      PGMDEV_CHECK(m_index == DWORD(-1));
      if (i != DWORD(DEV_FAMILY_INVALID)) {
        PGMDEV_CHECK(DEV_FAMILY_ENUM(i) != DEV_FAMILY_GENERIC);
        notify_missing_family(i);
        search_family(DEV_FAMILY_GENERIC, false);
      }
    }
    m_family_table[i] = m_index;
    dump_dword_database(data, data_size, index, m_index);
  }

  PGMDEV_DB_CODEC::dump_byte(*data, data_size, index, PGMDEV_MANAGER_DEVICE_TBL, PGMDEV_DB_HERE);
  dump_dword_database(data, data_size, index, DEV_DEVICE_MAX);
  const DEV_PART_MANAGER part_manager;
  for (DWORD i = 0; i < DWORD(DEV_DEVICE_MAX); ++i) {
    if (search_device(DEV_DEVICE_ENUM(i), true)) {
      PGMDEV_CHECK_TEXT(
          m_index < TOTAL_DATABASE_DEVICE && DWORD(m_device_database[m_index].device) == i,
          "m_index < TOTAL_DATABASE_DEVICE && m_device_database[m_index].device "
          "== i");
    } else if (i == DWORD(DEV_DEVICE_INVALID)) {
      PGMDEV_CHECK(m_index == DWORD(-1));
    } else if (search_pcf_for_device(DEV_DEVICE_ENUM(i))) {
      PGMDEV_CHECK(m_index < TOTAL_DATABASE_DEVICE);
    } else {
      const DEV_FAMILY_ENUM family = part_manager.get_family_of(DEV_DEVICE_ENUM(i));
      PGMDEV_CHECK(family != DEV_FAMILY_INVALID && family < DEV_FAMILY_MAX);
      m_index = m_family_table[family];
      PGMDEV_CHECK(m_index != DWORD(-1) && m_index < TOTAL_DATABASE_DEVICE);
    }
    m_device_table[i] = m_index;
    dump_dword_database(data, data_size, index, m_index);
  }

  PGMDEV_DB_CODEC::dump_byte(*data, data_size, index, PGMDEV_MANAGER_PART_TBL, PGMDEV_DB_HERE);
  dump_dword_database(data, data_size, index, DEV_PART_MAX);
  for (DWORD i = 0; i < DWORD(DEV_PART_MAX); ++i) {
    if (search_part(DEV_PART_ENUM(i), true)) {
      PGMDEV_CHECK_TEXT(
          m_index < TOTAL_DATABASE_DEVICE && DWORD(m_device_database[m_index].part) == i,
          "m_index < TOTAL_DATABASE_DEVICE && m_device_database[m_index].part "
          "== i");
    } else if (i == DWORD(DEV_PART_INVALID)) {
      PGMDEV_CHECK(m_index == DWORD(-1));
    } else {
      const DEV_DEVICE_ENUM device = part_manager.get_device_of(DEV_PART_ENUM(i));
      PGMDEV_CHECK(device != DEV_DEVICE_INVALID && device < DEV_DEVICE_MAX);
      m_index = m_device_table[device];
      PGMDEV_CHECK(m_index != DWORD(-1) && m_index < TOTAL_DATABASE_DEVICE);
    }
    m_part_table[i] = m_index;
    dump_dword_database(data, data_size, index, m_index);
  }
}

// ---- Debug listing.

void PGMDEV_DEV_INFO_MANAGER::print_database(unsigned int index, std::string name) {
  PGMDEV_CHECK(index < m_device_count);
  const PGMDEV_DEV_INFO_RECORD& info = m_device_database[index];
  std::cout << "Dev Info Manager Debug " << index << "\n\t" << name;
  int id_count = name.empty() ? 0 : 1;
  if (name.empty()) {
    // Labels from the record's own identifier columns, each only when it is set.
    auto label = [&](const char* prefix, const std::string& text) {
      if (text.empty()) return;
      std::cout << prefix << text;
      ++id_count;
    };
    label("FAMILY : ", convert_id_enum_to_string("family", DWORD(info.family)));
    label("PCF : ", info.pcf);
    label("DEVICE : ", convert_id_enum_to_string("device", DWORD(info.device)));
    label("PART : ", convert_id_enum_to_string("part", DWORD(info.part)));
  }
  // Every other column, in column order.
  DWORD column = 0;
#define PGMDEV_DEV_INFO_LIST(name, type, member_type) \
  if (column++ >= 4) std::cout << ' ' << listing_text(info.name);
  PGMDEV_DEV_INFO_SCHEMA(PGMDEV_DEV_INFO_LIST)
#undef PGMDEV_DEV_INFO_LIST
  std::cout << "\n";
  PGMDEV_CHECK(id_count == 1);
}

std::string PGMDEV_DEV_INFO_MANAGER::convert_id_enum_to_string(std::string type_name,
                                                               unsigned int id) {
  const std::vector<PGMDEV_DEV_INFO_NAME>* table = nullptr;
  if (type_name == "family") {
    PGMDEV_CHECK(id < DWORD(DEV_FAMILY_MAX));
    table = &m_supported_family_list;
  } else if (type_name == "device") {
    PGMDEV_CHECK(id < DWORD(DEV_DEVICE_MAX));
    table = &m_supported_device_list;
  } else if (type_name == "part") {
    PGMDEV_CHECK(id < DWORD(DEV_PART_MAX));
    table = &m_supported_part_list;
  } else {
    PGMDEV_FAIL("Unsupported type name");
  }
  bool found = false;
  std::string name;
  for (const PGMDEV_DEV_INFO_NAME& row : *table) {
    if (row.id == id) {
      found = true;
      name = row.name;
      break;
    }
  }
  PGMDEV_CHECK(found);
  return name;
}
