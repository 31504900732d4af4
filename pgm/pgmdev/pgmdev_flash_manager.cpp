// The flash database: loading programmer/pgm_flash.pcf with its gates and the one-default rule,
// mapping identification bytes to records, and generating the file from the flash CSV.
#include "pgmdev_flash_manager.h"

#include <algorithm>
#include <cstdint>
#include <fstream>
#include <iostream>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "cfg.h"
#include "gen.h"
#include "lxt.h"
#include "mem.h"
#include "pgm_common.h"
#include "pgmdev_check.h"
#include "pgmdev_db_codec.h"
#include "pgmdev_debug.h"

namespace {

// Registers the module with the host's memory tracker while the library is loaded.
const MEM_INITIALIZER g_mem_initializer(PGMDEV_MODULE);

// Schema id of the flash file: it changes whenever the record schema does.
constexpr std::string_view PGMDEV_FLASH_INFO_CSV_MD5 = "e58bc25311bf5303874d34bcafcaa4c1";

// The flash file's container constants and field rules: texts are written non-empty with tag 2 only
// and read back (empty too) with tag 2 only; flags are "FALSE" or "TRUE"; a number cell must not be
// empty and is trimmed before conversion; four-byte fields carry tag 6 only.
constexpr PGMDEV_DB_FORMAT kFlashFormat = {
    "PGMIO_FM",
    "data[index++] == 'P' && data[index++] == 'G' && data[index++] == 'M' && "
    "data[index++] == 'I' && data[index++] == 'O' && data[index++] == '_' && "
    "data[index++] == 'F' && data[index++] == 'M'",
    PGMDEV_FLASH_INFO_CSV_MD5,
    "PGMDEV_FLASH_INFO_CSV_MD5.size() == 32",
    "Mismatch ID between flash file and reader",
    "FIO_FILE_SYSTEM::exists(flash_file.fullpath().c_str()) && "
    "FIO_FILE_SYSTEM::status(flash_file.fullpath().c_str(), &stat_info)",
    pgmdev_db_tag_bit(PGMDEV_MANAGER_STRING),
    "type == PGMDEV_MANAGER_STRING",
    "string.size() > 0",
    pgmdev_db_tag_bit(PGMDEV_MANAGER_STRING),
    "type == PGMDEV_MANAGER_STRING",
    false,
    "string == \"FALSE\" || string == \"TRUE\"",
    true,
    true,
    pgmdev_db_tag_bit(PGMDEV_MANAGER_DWORD),
    "type == PGMDEV_MANAGER_DWORD",
};

// Payload framing: version, record count and member count, each four bytes; the record and database
// end marks.
constexpr unsigned int kPayloadHeaderBytes = 12;
constexpr unsigned int kMarkerBytes = 4;
// The fewest bytes a record takes: 33 tags, four empty texts' length bytes, 11 flags, 13 bytes,
// five four-byte numbers and "END1". A record count that the payload cannot hold is refused before
// the table is allocated.
constexpr unsigned int kMinRecordBytes = 33 + 4 + 11 + 13 + 5 * 4 + kMarkerBytes;

// Location of the flash database under the device data directory.
constexpr const char kFlashFileSuffix[] = "/programmer/pgm_flash.pcf";
// Gate value of records that are always available, and the prefix of the switch of any other.
constexpr const char kAlwaysAvailable[] = "NONE";
constexpr const char kGateSwitchPrefix[] = "PGM_ALLOW_";
// A position of the identification bytes that is not compared.
constexpr BYTE kNotCompared = 0xFF;

// Flash CSV rows: the type row, the name row, free description rows and the first data row.
constexpr unsigned int kTypeRow = 0;
constexpr unsigned int kNameRow = 1;
constexpr unsigned int kFirstDataRow = 8;
constexpr const char kCsvDelimiters[] = " \t\n,";

bool is_free_row(unsigned int row) { return row == 2 || row == 3 || row == 7; }

// The column kinds of the flash CSV: the type row's spelling (and the check that names it) and the
// payload bytes of a field after its tag (for a text: its length byte, the text adds its own
// bytes).
struct COLUMN_KIND {
  PGMDEV_MANAGER_TYPE type;
  const char* csv_name;
  const char* csv_name_text;
  unsigned int payload_bytes;
};
constexpr COLUMN_KIND kColumnKinds[] = {
    {PGMDEV_MANAGER_STRING, "STL_STRING", "svec.at(i) == \"STL_STRING\"", 1},
    {PGMDEV_MANAGER_BOOL, "bool", "svec.at(i) == \"bool\"", 1},
    {PGMDEV_MANAGER_BYTE, "BYTE", "svec.at(i) == \"BYTE\"", 1},
    {PGMDEV_MANAGER_WORD, "WORD", "svec.at(i) == \"WORD\"", 2},
    {PGMDEV_MANAGER_DWORD, "DWORD", "svec.at(i) == \"DWORD\"", 4},
};

// The kind of a member type, or null for a type that no CSV column can have.
const COLUMN_KIND* column_kind(PGMDEV_MANAGER_TYPE type) {
  for (const COLUMN_KIND& kind : kColumnKinds) {
    if (kind.type == type) return &kind;
  }
  return nullptr;
}

// Reads the record's members in schema order with the field reader of each kind. The codec's
// readers are called directly (the manager's member readers do the same) so that they inline: this
// runs for every member of every record loaded.
void read_member(unsigned char* data, unsigned int size, unsigned int& index, std::string* out) {
  PGMDEV_DB_CODEC::get_string_data(data, size, index, true, out, kFlashFormat, PGMDEV_DB_HERE);
}
void read_member(unsigned char* data, unsigned int size, unsigned int& index, bool* out) {
  PGMDEV_DB_CODEC::get_bool_data(data, size, index, out, PGMDEV_DB_HERE);
}
void read_member(unsigned char* data, unsigned int size, unsigned int& index, BYTE* out) {
  PGMDEV_DB_CODEC::get_byte_data(data, size, index, out, PGMDEV_DB_HERE);
}
void read_member(unsigned char* data, unsigned int size, unsigned int& index, DWORD* out) {
  PGMDEV_DB_CODEC::get_dword_data(data, size, index, out, kFlashFormat, PGMDEV_DB_HERE);
}

void read_record(unsigned char* data, unsigned int size, unsigned int& index,
                 PGMDEV_SFL_FLASH_INFO& record) {
#define PGMDEV_SFL_READ_MEMBER(member, kind) read_member(data, size, index, &record.member);
  PGMDEV_SFL_FLASH_SCHEMA(PGMDEV_SFL_READ_MEMBER)
#undef PGMDEV_SFL_READ_MEMBER
}

// The debug listing prints texts as they are and numbers and flags in unsigned decimal.
void print_member(std::ostream& out, const std::string& value) { out << value; }
void print_member(std::ostream& out, bool value) { out << (value ? 1 : 0); }
void print_member(std::ostream& out, BYTE value) { out << static_cast<unsigned int>(value); }
void print_member(std::ostream& out, DWORD value) { out << value; }

// "Flash Manager Debug <i>", then on a tab-indented line the 33 members in schema order.
void print_record(std::ostream& out, unsigned int i, const PGMDEV_SFL_FLASH_INFO& record) {
  out << "Flash Manager Debug " << i << "\n\t";
  const char* separator = "";
#define PGMDEV_SFL_PRINT_MEMBER(member, kind) \
  out << separator;                           \
  print_member(out, record.member);           \
  separator = " ";
  PGMDEV_SFL_FLASH_SCHEMA(PGMDEV_SFL_PRINT_MEMBER)
#undef PGMDEV_SFL_PRINT_MEMBER
  out << "\n";
}

// Reads the flash CSV line by line, handing each non-empty trimmed line to row() with its row
// number. Returns whether the file opened.
template <class RowFunction>
bool for_each_csv_row(const FIO_PATH& csv_file, RowFunction row) {
  std::ifstream input(csv_file.fullpath());
  if (!input.good()) return false;
  std::string line;
  unsigned int row_number = 0;
  while (std::getline(input, line)) {
    const std::string trimmed = gen_remove_leading_and_trailing_white_spaces(line);
    if (trimmed.empty()) continue;
    row(row_number++, trimmed);
  }
  return true;
}

char ascii_upper(char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c; }

// A hash of the text with ASCII letters upper-cased (FNV-1a).
size_t hash_ignoring_case(std::string_view text) {
  uint64_t hash = 0xCBF29CE484222325ull;
  for (const char c : text)
    hash = (hash ^ static_cast<unsigned char>(ascii_upper(c))) * 0x100000001B3ull;
  return static_cast<size_t>(hash ^ (hash >> 29));
}

// a == b ignoring the case of ASCII letters, as gen_stricmp(a, b) == 0 compares, without a call
// per character: every record's gate is compared on every load.
bool equal_ignoring_case(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    if (ascii_upper(a[i]) != ascii_upper(b[i])) return false;
  }
  return true;
}

}  // namespace

PGMDEV_FLASH_MANAGER::PGMDEV_FLASH_MANAGER(bool, unsigned int device_count, bool no_database,
                                           bool debug)
    : m_debug(debug ? 1 : 0),
      m_version(0),
      m_device_count(device_count),
      m_flash_count(0),
      m_ini_count(0),
      m_type_count(0),
      m_device_to_flash_map(nullptr),
      m_flash_database(nullptr),
      m_ini_flash() {
  if (no_database) return;
  try {
    initialize_flash_database(FIO_PATH(gen_get_device_db_fullpath() + kFlashFileSuffix));
    PGMDEV_CHECK_TEXT(device_count > 0, "count > 0");
  } catch (...) {
    // A failed construction runs no destructor: free what loading had made.
    delete[] m_flash_database;
    throw;
  }
  m_device_to_flash_map = new unsigned int[device_count];
  for (unsigned int device = 0; device < device_count; ++device) {
    m_device_to_flash_map[device] = INVALID_DWORD;
  }
}

PGMDEV_FLASH_MANAGER::~PGMDEV_FLASH_MANAGER() {
  delete[] m_device_to_flash_map;
  delete[] m_flash_database;
}

void PGMDEV_FLASH_MANAGER::initialize_flash_database(FIO_PATH flash_file) {
  unsigned int memory_size = 0;
  const std::unique_ptr<unsigned char[]> payload =
      PGMDEV_DB_CODEC::read_file(flash_file, kFlashFormat, memory_size, PGMDEV_DB_HERE);
  parse_database(payload.get(), memory_size);
}

DWORD PGMDEV_FLASH_MANAGER::get_dword(unsigned char* data, unsigned int data_size,
                                      unsigned int& index) {
  return PGMDEV_DB_CODEC::get_dword(data, data_size, index, PGMDEV_DB_HERE);
}

void PGMDEV_FLASH_MANAGER::get_string_data(unsigned char* data, unsigned int data_size,
                                           unsigned int& index, std::string* out) {
  PGMDEV_DB_CODEC::get_string_data(data, data_size, index, true, out, kFlashFormat, PGMDEV_DB_HERE);
}

void PGMDEV_FLASH_MANAGER::get_bool_data(unsigned char* data, unsigned int data_size,
                                         unsigned int& index, bool* out) {
  PGMDEV_DB_CODEC::get_bool_data(data, data_size, index, out, PGMDEV_DB_HERE);
}

void PGMDEV_FLASH_MANAGER::get_byte_data(unsigned char* data, unsigned int data_size,
                                         unsigned int& index, unsigned char* out) {
  PGMDEV_DB_CODEC::get_byte_data(data, data_size, index, out, PGMDEV_DB_HERE);
}

void PGMDEV_FLASH_MANAGER::get_word_data(unsigned char* data, unsigned int data_size,
                                         unsigned int& index, unsigned short* out) {
  PGMDEV_DB_CODEC::get_word_data(data, data_size, index, out, PGMDEV_DB_HERE);
}

void PGMDEV_FLASH_MANAGER::get_dword_data(unsigned char* data, unsigned int data_size,
                                          unsigned int& index, unsigned int* out) {
  PGMDEV_DB_CODEC::get_dword_data(data, data_size, index, out, kFlashFormat, PGMDEV_DB_HERE);
}

void PGMDEV_FLASH_MANAGER::confirm_data_type_end(unsigned char* data, unsigned int data_size,
                                                 unsigned int& index) {
  PGMDEV_DB_CODEC::confirm_marker(data, data_size, index, '1', PGMDEV_DB_HERE);
}

void PGMDEV_FLASH_MANAGER::confirm_database_end(unsigned char* data, unsigned int data_size,
                                                unsigned int& index) {
  PGMDEV_DB_CODEC::confirm_marker(data, data_size, index, '2', PGMDEV_DB_HERE);
}

unsigned char* PGMDEV_FLASH_MANAGER::compress_data(unsigned char* data, unsigned long offset,
                                                   unsigned long count, unsigned long& new_count) {
  return PGMDEV_DB_CODEC::compress_data(data, offset, count, new_count, PGMDEV_DB_HERE).release();
}

unsigned char* PGMDEV_FLASH_MANAGER::decompress_data(unsigned char* data,
                                                     unsigned long decompressed_count,
                                                     unsigned long original_count) {
  return PGMDEV_DB_CODEC::decompress_data(data, decompressed_count, original_count, PGMDEV_DB_HERE)
      .release();
}

unsigned short PGMDEV_FLASH_MANAGER::calculate_crc16(const unsigned char* data,
                                                     unsigned int bit_count) {
  return PGMDEV_DB_CODEC::calculate_crc16(data, bit_count);
}

void PGMDEV_FLASH_MANAGER::parse_database(unsigned char* data, unsigned int size) {
  // A reload replaces the record table, so no device keeps a mapping into the old one: every
  // map entry is INVALID_DWORD again, whether the new table loads or not.
  if (m_device_to_flash_map != nullptr) {
    std::fill(m_device_to_flash_map, m_device_to_flash_map + m_device_count, INVALID_DWORD);
  }
  // The counts are taken only once they have passed their checks, so that a refused payload
  // leaves the count and the table that it describes together.
  unsigned int index = 0;
  const DWORD version = get_dword(data, size, index);
  PGMDEV_CHECK_TEXT(version == kPgmdevDbVersion, "Mismatch version between flash file and reader");
  const DWORD flash_count = get_dword(data, size, index);
  const DWORD type_count = get_dword(data, size, index);
  PGMDEV_CHECK_TEXT(flash_count > 0 && type_count > 0, "m_flash_count > 0 && m_type_count > 0");
  PGMDEV_CHECK_TEXT(flash_count <= (size - index) / kMinRecordBytes,
                    "m_flash_count <= (size - index) / kMinRecordBytes");

  parse_ext_flash_info();
  m_ini_count = m_ini_flash.device_name.empty() ? 0 : 1;
  delete[] m_flash_database;
  m_flash_database = nullptr;
  m_flash_count = 0;
  m_flash_database = new PGMDEV_SFL_FLASH_INFO[m_ini_count + flash_count];
  m_version = version;
  m_flash_count = flash_count;
  m_type_count = type_count;

  // A record that its gate does not allow is emptied and its slot takes the next record, so every
  // record of the file is read and m_flash_count ends as the number kept.
  unsigned int i = 0;
  while (i < m_flash_count) {
    const unsigned int slot = i + m_ini_count;
    read_record(data, size, index, m_flash_database[slot]);
    if (enable_device(slot)) {
      ++i;
    } else {
      pgmdev_reset_flash_info(m_flash_database[slot]);
      --m_flash_count;
    }
    confirm_data_type_end(data, size, index);
  }
  confirm_database_end(data, size, index);
  confirm_default_value(m_ini_count);

  // The user-defined flash goes first, outside the gates and the one-default rule.
  if (m_ini_count == 1) {
    pgmdev_copy_flash_info(m_flash_database[0], m_ini_flash);
    ++m_flash_count;
  }
  m_ini_count = 0;

  if (m_debug != 0 && m_flash_count > 0) {
    for (unsigned int r = 0; r < m_flash_count; ++r) {
      print_record(std::cout, r, m_flash_database[r]);
    }
    std::cout.flush();
  }
}

std::vector<PGMDEV_SFL_FLASH_INFO> PGMDEV_FLASH_MANAGER::read_file_records(FIO_PATH flash_file) {
  unsigned int size = 0;
  const std::unique_ptr<unsigned char[]> payload =
      PGMDEV_DB_CODEC::read_file(flash_file, kFlashFormat, size, PGMDEV_DB_HERE);
  unsigned char* data = payload.get();
  PGMDEV_FLASH_MANAGER reader(false, 0, true, false);
  unsigned int index = 0;
  PGMDEV_CHECK_TEXT(reader.get_dword(data, size, index) == kPgmdevDbVersion,
                    "Mismatch version between flash file and reader");
  const unsigned int count = reader.get_dword(data, size, index);
  const unsigned int type_count = reader.get_dword(data, size, index);
  PGMDEV_CHECK_TEXT(count > 0 && type_count > 0, "m_flash_count > 0 && m_type_count > 0");
  PGMDEV_CHECK_TEXT(count <= (size - index) / kMinRecordBytes,
                    "m_flash_count <= (size - index) / kMinRecordBytes");
  std::vector<PGMDEV_SFL_FLASH_INFO> records(count);
  for (PGMDEV_SFL_FLASH_INFO& record : records) {
    read_record(data, size, index, record);
    reader.confirm_data_type_end(data, size, index);
  }
  reader.confirm_database_end(data, size, index);
  return records;
}

bool PGMDEV_FLASH_MANAGER::enable_device(unsigned int index) {
  PGMDEV_CHECK(m_flash_database != NULL);
  PGMDEV_CHECK(index < (m_flash_count + m_ini_count));
  const std::string& ini = m_flash_database[index].ini;
  PGMDEV_CHECK(!ini.empty());
  if (equal_ignoring_case(ini, kAlwaysAvailable)) return true;
  return cfg_is_on(kGateSwitchPrefix + ini, false);
}

void PGMDEV_FLASH_MANAGER::confirm_default_value(unsigned int start) {
  // One group per device name (ignoring case), with its first record and its number of defaults,
  // found through an open-addressing table of group numbers. The groups stand in the order of their
  // first records, so the first one without exactly one default decides the report, as a check of
  // the names in record order would.
  struct GROUP {
    unsigned int first;
    unsigned int defaults;
  };
  std::vector<GROUP> groups;
  groups.reserve(m_flash_count);
  size_t size = 16;
  while (size < 2 * size_t{m_flash_count}) size *= 2;
  std::vector<unsigned int> table(size, INVALID_DWORD);
  for (unsigned int i = start; i < start + m_flash_count; ++i) {
    const std::string& name = m_flash_database[i].device_name;
    size_t at = hash_ignoring_case(name) & (size - 1);
    while (table[at] != INVALID_DWORD &&
           !equal_ignoring_case(m_flash_database[groups[table[at]].first].device_name, name)) {
      at = (at + 1) & (size - 1);
    }
    if (table[at] == INVALID_DWORD) {
      table[at] = static_cast<unsigned int>(groups.size());
      groups.push_back(GROUP{i, 0});
    }
    if (m_flash_database[i].default_dev) ++groups[table[at]].defaults;
  }
  for (const GROUP& group : groups) {
    if (group.defaults == 1) continue;
    const bool one_default = group.defaults > 0;
    if (group.defaults > 1) PGMDEV_CHECK(!one_default);  // a second default of the name
    PGMDEV_CHECK(one_default);
  }
}

bool PGMDEV_FLASH_MANAGER::flash_id_database_mapping(bool by_silicon_id, unsigned int device_index,
                                                     unsigned char* id) {
  // Well-formed records compare positions 0 to 2 only.
  constexpr unsigned int kIdBytes = 3;
  return flash_id_database_mapping(by_silicon_id, device_index, id, kIdBytes);
}

bool PGMDEV_FLASH_MANAGER::flash_id_database_mapping(bool by_silicon_id, unsigned int device_index,
                                                     const unsigned char* id,
                                                     unsigned int id_length) {
  PGMDEV_CHECK(m_device_to_flash_map != NULL);
  PGMDEV_CHECK(device_index < m_device_count);
  PGMDEV_CHECK(m_flash_database != NULL && m_flash_count > 0);
  m_device_to_flash_map[device_index] = INVALID_DWORD;
  // A position at or beyond the bytes given cannot hold the expected byte.
  const auto byte_at_is = [id, id_length](BYTE position, BYTE expected) {
    return position < id_length && id[position] == expected;
  };
  for (unsigned int r = 0; r < m_flash_count; ++r) {
    const PGMDEV_SFL_FLASH_INFO& record = m_flash_database[r];
    bool match = false;
    if (by_silicon_id) {
      match = record.silicon_id && byte_at_is(record.memory_id_index, record.memory_id);
    } else {
      match = !record.silicon_id && byte_at_is(record.memory_id_index, record.memory_id) &&
              (record.memory_type_index == kNotCompared ||
               byte_at_is(record.memory_type_index, record.memory_type)) &&
              byte_at_is(record.mfc_id_index, record.mfc_id);
    }
    if (!match) continue;
    m_device_to_flash_map[device_index] = r;
    msg_vdebug_impl(MSG_D_LEVEL,
                    by_silicon_id ? "Found Device %d silicon id at index %d"
                                  : "Found Device %d device id at index %d",
                    static_cast<int>(device_index + 1), static_cast<int>(r));
    // The map holds unsigned entries, so the lower bound of the check always holds.
    PGMDEV_CHECK_TEXT(m_device_to_flash_map[device_index] < m_flash_count,
                      "m_device_to_flash_map[device_index] >= 0 && "
                      "m_device_to_flash_map[device_index] < m_flash_count");
    return true;
  }
  return false;
}

unsigned int PGMDEV_FLASH_MANAGER::get_flash_mapping_index(unsigned int device,
                                                           bool allow_invalid) {
  PGMDEV_CHECK(m_device_to_flash_map != NULL && device < m_device_count &&
               m_flash_database != NULL && m_flash_count > 0);
  const unsigned int index = m_device_to_flash_map[device];
  if (!allow_invalid) PGMDEV_CHECK(index != INVALID_DWORD);
  return index;
}

void PGMDEV_FLASH_MANAGER::set_flash_mapping_index(unsigned int device, unsigned int index) {
  PGMDEV_CHECK(m_device_to_flash_map != NULL && device < m_device_count &&
               m_flash_database != NULL && m_flash_count > 0 && index < m_flash_count);
  m_device_to_flash_map[device] = index;
}

PGMDEV_SFL_FLASH_INFO* PGMDEV_FLASH_MANAGER::get_default_flash(std::string device_name) {
  for (unsigned int i = 0; i < m_flash_count; ++i) {
    PGMDEV_SFL_FLASH_INFO& record = m_flash_database[i];
    if (record.default_dev && gen_stricmp(record.device_name, device_name) == 0) return &record;
  }
  return nullptr;
}

unsigned int PGMDEV_FLASH_MANAGER::sfl_get_chain_longest_program_utime() {
  PGMDEV_CHECK(m_device_count > 0);
  unsigned int longest = 0;
  bool found = false;
  for (unsigned int device = 0; device < m_device_count; ++device) {
    const unsigned int index = get_flash_mapping_index(device, true);
    if (index == INVALID_DWORD) continue;
    if (m_flash_database[index].program_utime > longest) {
      longest = m_flash_database[index].program_utime;
    }
    found = true;
  }
  PGMDEV_CHECK(found);
  return longest;
}

unsigned int PGMDEV_FLASH_MANAGER::check_flash_file(FIO_PATH csv_file, unsigned int& device_count) {
  const LXT_TOKENIZER tokenizer(kCsvDelimiters, false, "", "", "", false);
  device_count = 0;
  unsigned int size = 0;
  // Fixed bytes of a record: its tags, the payloads of the fixed-width kinds and "END1". The type
  // row counts the kinds; each string adds its length byte and its text.
  unsigned int fixed_record_bytes = 0;
  std::vector<std::string> svec;
  const bool status = for_each_csv_row(csv_file, [&](unsigned int row, const std::string& line) {
    tokenizer.tokenize(line, svec);
    if (is_free_row(row)) return;
    PGMDEV_CHECK(DWORD(svec.size()) == TOTAL_DATABASE_MEMBER);
    if (row == kTypeRow) {
      fixed_record_bytes = TOTAL_DATABASE_MEMBER + kMarkerBytes;
      for (DWORD i = 0; i < TOTAL_DATABASE_MEMBER; ++i) {
        const COLUMN_KIND* kind = column_kind(m_type_list[i]);
        if (kind == nullptr) PGMDEV_FAIL("Unsupported type");
        PGMDEV_CHECK_TEXT(svec.at(i) == kind->csv_name, kind->csv_name_text);
        fixed_record_bytes += kind->payload_bytes;
      }
    } else if (row == kNameRow) {
      for (DWORD i = 0; i < TOTAL_DATABASE_MEMBER; ++i) {
        std::string temp = svec.at(i);
        stl_tolower(temp);
        PGMDEV_CHECK(temp == m_name_list[i]);
      }
    } else if (row >= kFirstDataRow) {
      unsigned int record_bytes = fixed_record_bytes;
      for (DWORD i = 0; i < TOTAL_DATABASE_MEMBER; ++i) {
        if (m_type_list[i] == PGMDEV_MANAGER_STRING) {
          record_bytes += static_cast<unsigned int>(svec.at(i).size());
        }
      }
      size += record_bytes;
      ++device_count;
    }
  });
  PGMDEV_CHECK(status && device_count > 0);
  return size + kPayloadHeaderBytes + kMarkerBytes;
}

void PGMDEV_FLASH_MANAGER::generate_flash_database(FIO_PATH csv_file, FIO_PATH flash_file) {
  unsigned int count = 0;
  const unsigned int pure_memory_size = check_flash_file(csv_file, count);
  PGMDEV_CHECK(pure_memory_size > 0);
  const unsigned int memory_size = kPgmdevDbHeaderBytes + pure_memory_size;
  const std::unique_ptr<unsigned char[]> image(new unsigned char[memory_size]());
  unsigned char* data = image.get();
  unsigned int index = 0;
  PGMDEV_DB_CODEC::dump_header(data, memory_size, index, pure_memory_size, kFlashFormat,
                               PGMDEV_DB_HERE);
  PGMDEV_DB_CODEC::dump_dword(data, memory_size, index, kPgmdevDbVersion, PGMDEV_DB_HERE);
  PGMDEV_DB_CODEC::dump_dword(data, memory_size, index, count, PGMDEV_DB_HERE);
  PGMDEV_DB_CODEC::dump_dword(data, memory_size, index, TOTAL_DATABASE_MEMBER, PGMDEV_DB_HERE);

  const LXT_TOKENIZER tokenizer(kCsvDelimiters, false, "", "", "", false);
  std::vector<std::string> svec;
  const bool status = for_each_csv_row(csv_file, [&](unsigned int row, const std::string& line) {
    if (row < kFirstDataRow) return;
    tokenizer.tokenize(line, svec);
    // The first pass checked every row; a file changed since is caught here or by the size.
    PGMDEV_CHECK(DWORD(svec.size()) == TOTAL_DATABASE_MEMBER);
    dump_to_database(&data, memory_size, index, svec);
    PGMDEV_DB_CODEC::dump_marker(data, memory_size, index, '1', PGMDEV_DB_HERE);
  });
  PGMDEV_CHECK(status);
  PGMDEV_DB_CODEC::dump_marker(data, memory_size, index, '2', PGMDEV_DB_HERE);
  PGMDEV_CHECK(index == memory_size);
  PGMDEV_DB_CODEC::write_file(flash_file, data, memory_size, PGMDEV_DB_HERE);
}

void PGMDEV_FLASH_MANAGER::dump_to_database(unsigned char** data, unsigned int data_size,
                                            unsigned int& index, std::vector<std::string> fields) {
  for (DWORD i = 0; i < TOTAL_DATABASE_MEMBER; ++i) {
    const COLUMN_KIND* kind = column_kind(m_type_list[i]);
    if (kind == nullptr) PGMDEV_FAIL("Unsupported type");
    if (kind->type == PGMDEV_MANAGER_STRING) {
      dump_string_to_database(data, data_size, index, fields.at(i));
    } else if (kind->type == PGMDEV_MANAGER_BOOL) {
      dump_bool_to_database(data, data_size, index, fields.at(i));
    } else {
      dump_value_to_database(data, data_size, index, fields.at(i), kind->payload_bytes);
    }
  }
}

void PGMDEV_FLASH_MANAGER::dump_string_to_database(unsigned char** data, unsigned int data_size,
                                                   unsigned int& index, std::string string) {
  PGMDEV_DB_CODEC::dump_string(*data, data_size, index, false, string, PGMDEV_MANAGER_STRING,
                               kFlashFormat, PGMDEV_DB_HERE);
}

void PGMDEV_FLASH_MANAGER::dump_bool_to_database(unsigned char** data, unsigned int data_size,
                                                 unsigned int& index, std::string string) {
  PGMDEV_DB_CODEC::dump_bool(*data, data_size, index, string, kFlashFormat, PGMDEV_DB_HERE);
}

void PGMDEV_FLASH_MANAGER::dump_value_to_database(unsigned char** data, unsigned int data_size,
                                                  unsigned int& index, std::string string,
                                                  unsigned int count) {
  PGMDEV_DB_CODEC::dump_value(*data, data_size, index, string, count, kFlashFormat, PGMDEV_DB_HERE);
}

unsigned int PGMDEV_FLASH_MANAGER::get_dword_from_string(std::string string, bool* ok) {
  return PGMDEV_DB_CODEC::get_dword_from_string(string, ok, kFlashFormat);
}
