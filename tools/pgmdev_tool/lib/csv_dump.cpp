// Dump of a database file back to its CSV source (see csv_dump.h). Each cell is written so that
// the generator reads it back to the same field: names through the managers' own name tables,
// flags as TRUE or FALSE, numbers in decimal or 0x hexadecimal.
#include "csv_dump.h"

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <string_view>
#include <type_traits>
#include <vector>

#include "pgmdev_csv.h"
#include "pgmdev_dev_info_manager.h"
#include "pgmdev_flash_manager.h"

namespace pgmdev_csv {

namespace {

using DEV_INFO = PGMDEV_DEV_INFO_MANAGER;
using FLASH = PGMDEV_FLASH_MANAGER;

constexpr size_t kMagicBytes = 8;
constexpr char kDevInfoMagic[] = "PGMIO_DM";
constexpr char kFlashMagic[] = "PGMIO_FM";

// The magic of the file at path, or a DumpError when it has none.
std::string read_magic(const std::string& path) {
  std::ifstream input(path, std::ios::binary);
  if (!input.good()) throw DumpError(path + ": cannot open the file for reading");
  std::string magic(kMagicBytes, '\0');
  input.read(magic.data(), kMagicBytes);
  magic.resize(static_cast<size_t>(input.gcount()));
  if (magic.size() < kMagicBytes) {
    throw DumpError(path + ": " + std::to_string(magic.size()) +
                    " bytes; a database file starts with the 8-byte magic " + kDevInfoMagic +
                    " or " + kFlashMagic);
  }
  return magic;
}

// The magic as text, with any unprintable byte as \xNN.
std::string printable(const std::string& bytes) {
  std::string text;
  for (const char c : bytes) {
    const unsigned char byte = static_cast<unsigned char>(c);
    if (byte >= 0x20 && byte < 0x7F) {
      text += c;
    } else {
      char escaped[5];
      std::snprintf(escaped, sizeof escaped, "\\x%02X", byte);
      text += escaped;
    }
  }
  return text;
}

// A text as a CSV cell: the cell must read back as the same text, so it holds no separator
// (blank, tab, comma), no character that trimming removes and no other control character.
std::string text_cell(const std::string& path, unsigned int record, const char* member,
                      const std::string& text) {
  const auto unfit = std::find_if(text.begin(), text.end(), [](char c) {
    return static_cast<unsigned char>(c) <= 0x20 || c == ',' || c == 0x7F;
  });
  if (unfit != text.end()) {
    throw DumpError(path + ": record " + std::to_string(record) + ", " + member + ": the text '" +
                    printable(text) + "' holds a character that a CSV cell cannot hold");
  }
  return text;
}

std::string flag_cell(bool value) { return value ? "TRUE" : "FALSE"; }

std::string hex_cell(unsigned int value, int digits) {
  char text[16];
  std::snprintf(text, sizeof text, "0x%0*X", digits, value);
  return text;
}

// ---- Device-info: one CSV line per record, cells separated by single commas (an empty cell
// is two commas in a row, so cells are not padded).

// The name of value in an identifier column's or the enumeration columns' table. Several names
// may stand for one number; an enumeration column whose name ends in "_family" takes a family
// name (DEV_FAMILY_...), the others the other names.
std::string name_cell(const std::string& path, unsigned int record, unsigned int column,
                      DWORD value) {
  const std::string column_name = DEV_INFO::m_db_name_list[column];
  const std::vector<PGMDEV_DEV_INFO_NAME>* table = &DEV_INFO::m_supported_enum_list;
  if (column_name == "family") table = &DEV_INFO::m_supported_family_list;
  if (column_name == "device") table = &DEV_INFO::m_supported_device_list;
  if (column_name == "part") table = &DEV_INFO::m_supported_part_list;
  const bool wants_family =
      column_name.size() > 7 && column_name.compare(column_name.size() - 7, 7, "_family") == 0;
  const std::string* chosen = nullptr;
  for (const PGMDEV_DEV_INFO_NAME& row : *table) {
    if (row.id != value) continue;
    const bool family_name = row.name.rfind("DEV_FAMILY_", 0) == 0;
    if (chosen == nullptr || (family_name == wants_family)) chosen = &row.name;
    if (family_name == wants_family) break;
  }
  if (chosen == nullptr) {
    throw DumpError(path + ": record " + std::to_string(record) + ", " + column_name +
                    ": no name of the column stands for " + std::to_string(value));
  }
  return *chosen;
}

class DEV_INFO_ROW {
 public:
  DEV_INFO_ROW(const std::string& path, unsigned int record) : m_path(path), m_record(record) {}

  template <class ENUM_TYPE>
  void operator()(ENUM_TYPE value) {
    if constexpr (std::is_enum_v<ENUM_TYPE>) {
      add(name_cell(m_path, m_record, column(), DWORD(value)));
    } else if constexpr (std::is_same_v<ENUM_TYPE, bool>) {
      add(flag_cell(value));
    } else if (DEV_INFO::m_db_type_list[column()] == PGMDEV_MANAGER_ENUM) {
      add(name_cell(m_path, m_record, column(), DWORD(value)));
    } else {
      add(std::to_string(value));
    }
  }
  void operator()(const std::string& value) {
    add(text_cell(m_path, m_record, DEV_INFO::m_db_name_list[column()], value));
  }

  const std::string& line() const { return m_line; }

 private:
  unsigned int column() const { return m_cells; }
  void add(const std::string& cell) { m_line += (m_cells++ == 0 ? "" : ",") + cell; }

  const std::string& m_path;
  unsigned int m_record;
  unsigned int m_cells = 0;
  std::string m_line;
};

Dump dump_device_info(const std::string& path) {
  DEV_INFO manager(true, 0);
  manager.initialize_device_database(FIO_PATH(path));
  Dump dump;
  dump.kind = CsvKind::kDeviceInfo;
  dump.records = manager.m_device_count;
  std::string types;
  std::string names;
  for (unsigned int i = 0; i < TOTAL_DEVICE_DATABASE_MEMBER; ++i) {
    types += std::string(i == 0 ? "" : ",") + pgmdev_csv_type_name(DEV_INFO::m_db_type_list[i]);
    std::string name = DEV_INFO::m_db_name_list[i];
    for (char& c : name) c = static_cast<char>(c >= 'a' && c <= 'z' ? c - 'a' + 'A' : c);
    names += (i == 0 ? "" : ",") + name;
  }
  dump.csv = types + "\n" + names + "\n";
  for (unsigned int r = 0; r < manager.m_device_count; ++r) {
    const PGMDEV_DEV_INFO_RECORD& record = manager.m_device_database[r];
    DEV_INFO_ROW row(path, r);
#define PGMDEV_DUMP_CELL(name, type, member_type) row(record.name);
    PGMDEV_DEV_INFO_SCHEMA(PGMDEV_DUMP_CELL)
#undef PGMDEV_DUMP_CELL
    dump.csv += row.line() + "\n";
  }
  return dump;
}

// ---- Flash: the type row, the name row, six description rows, then one row per record, each
// column padded to its widest cell (blanks around the commas are separators, not cells).

// Byte members that count or place rather than identify: written in decimal, the other bytes in
// hexadecimal.
constexpr std::string_view kDecimalBytes[] = {"memory_id_index", "memory_type_index",
                                              "mfc_id_index",    "norvik_id",
                                              "die_count",       "protection_division"};

bool decimal_byte(unsigned int column) {
  return std::find(std::begin(kDecimalBytes), std::end(kDecimalBytes),
                   FLASH::m_name_list[column]) != std::end(kDecimalBytes);
}

using TABLE = std::vector<std::vector<std::string>>;

class FLASH_ROW {
 public:
  FLASH_ROW(const std::string& path, unsigned int record) : m_path(path), m_record(record) {}

  void operator()(const std::string& value) {
    if (value.empty()) {
      throw DumpError(m_path + ": record " + std::to_string(m_record) + ", " + name() +
                      ": empty text; a flash CSV cell cannot be empty");
    }
    m_cells.push_back(text_cell(m_path, m_record, name(), value));
  }
  void operator()(bool value) { m_cells.push_back(flag_cell(value)); }
  void operator()(BYTE value) {
    m_cells.push_back(decimal_byte(column()) ? std::to_string(value) : hex_cell(value, 2));
  }
  void operator()(DWORD value) { m_cells.push_back(std::to_string(value)); }

  std::vector<std::string>& cells() { return m_cells; }

 private:
  unsigned int column() const { return static_cast<unsigned int>(m_cells.size()); }
  const char* name() const { return FLASH::m_name_list[column()]; }

  const std::string& m_path;
  unsigned int m_record;
  std::vector<std::string> m_cells;
};

std::string flash_kind_word(PGMDEV_MANAGER_TYPE type) {
  switch (type) {
    case PGMDEV_MANAGER_STRING:
      return "text";
    case PGMDEV_MANAGER_BOOL:
      return "flag";
    case PGMDEV_MANAGER_BYTE:
      return "byte";
    default:
      return "number";
  }
}

// The rows joined with ", ", each column padded to its widest cell; full-width rows only.
std::string aligned(const TABLE& rows) {
  std::vector<size_t> widths(FLASH::TOTAL_DATABASE_MEMBER, 0);
  for (const auto& row : rows) {
    for (size_t i = 0; i < row.size(); ++i) widths[i] = std::max(widths[i], row[i].size());
  }
  std::string text;
  for (const auto& row : rows) {
    std::string line;
    for (size_t i = 0; i < row.size(); ++i) {
      line += row[i];
      if (i + 1 < row.size()) line += std::string(widths[i] - row[i].size(), ' ') + ", ";
    }
    text += line + "\n";
  }
  return text;
}

Dump dump_flash(const std::string& path) {
  const std::vector<PGMDEV_SFL_FLASH_INFO> records = FLASH::read_file_records(FIO_PATH(path));
  std::vector<std::string> types, names, kinds, bases, unused;
  for (unsigned int i = 0; i < FLASH::TOTAL_DATABASE_MEMBER; ++i) {
    const PGMDEV_MANAGER_TYPE type = FLASH::m_type_list[i];
    types.push_back(pgmdev_csv_type_name(type));
    names.push_back(FLASH::m_name_list[i]);
    kinds.push_back(flash_kind_word(type));
    bases.push_back(type == PGMDEV_MANAGER_BYTE    ? (decimal_byte(i) ? "dec" : "hex")
                    : type == PGMDEV_MANAGER_DWORD ? "dec"
                                                   : "-");
    unused.push_back("-");
  }
  TABLE table = {types, names, kinds, bases, unused};
  for (unsigned int r = 0; r < records.size(); ++r) {
    FLASH_ROW row(path, r);
#define PGMDEV_DUMP_MEMBER(member, kind) row(records[r].member);
    PGMDEV_SFL_FLASH_SCHEMA(PGMDEV_DUMP_MEMBER)
#undef PGMDEV_DUMP_MEMBER
    table.push_back(std::move(row.cells()));
  }
  const std::string text = aligned(table);
  // Rows 0 and 1, then the free rows 2 and 3, the counted rows 4 to 6, the free row 7 and the
  // records.
  const size_t header_end = text.find('\n', text.find('\n') + 1) + 1;
  const size_t counted_end = [&] {
    size_t end = header_end;
    for (int line = 0; line < 3; ++line) end = text.find('\n', end) + 1;
    return end;
  }();
  Dump dump;
  dump.kind = CsvKind::kFlash;
  dump.records = static_cast<unsigned int>(records.size());
  dump.csv = text.substr(0, header_end) + "Flash records dumped from a database file\n" +
             "Rows 5 to 7: member kind, number base, unused. Records from row 9 on.\n" +
             text.substr(header_end, counted_end - header_end) + "--- records ---\n" +
             text.substr(counted_end);
  return dump;
}

}  // namespace

Dump dump_database_file(const std::string& path) {
  const std::string magic = read_magic(path);
  if (magic == kDevInfoMagic) return dump_device_info(path);
  if (magic == kFlashMagic) return dump_flash(path);
  throw DumpError(path + ": magic '" + printable(magic) + "' is neither " + kDevInfoMagic +
                  " (device-info database) nor " + kFlashMagic + " (flash database)");
}

}  // namespace pgmdev_csv
