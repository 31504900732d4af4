// CSV sources for the tests of the lint, the generators and the tool: valid flash and
// device-info CSVs built from the library's schema tables, and one CSV of each kind that holds one
// of each problem that lint reports.
#ifndef PGMDEV_CSV_TEST_UTIL_H
#define PGMDEV_CSV_TEST_UTIL_H

#include <gtest/gtest.h>

#include <iterator>
#include <string>
#include <vector>

#include "dev_catalogue.h"
#include "pgmdev_csv.h"
#include "pgmdev_dev_info_manager.h"
#include "pgmdev_flash_manager.h"

namespace csv_test {

using Row = std::vector<std::string>;
using DEV_INFO = PGMDEV_DEV_INFO_MANAGER;
using FLASH = PGMDEV_FLASH_MANAGER;

inline std::string join(const Row& cells, const char* separator) {
  std::string line;
  for (size_t i = 0; i < cells.size(); ++i) line += (i ? separator : "") + cells[i];
  return line;
}

inline std::string text_of(const std::vector<Row>& rows, const char* separator) {
  std::string text;
  for (const Row& row : rows) text += join(row, separator) + "\n";
  return text;
}

// ---- Flash CSVs: header rows and data rows of flash_row() values.

inline Row flash_types() {
  Row row;
  for (const PGMDEV_MANAGER_TYPE type : FLASH::m_type_list) {
    row.push_back(pgmdev_csv_type_name(type));
  }
  return row;
}

inline Row flash_names() {
  return Row(std::begin(FLASH::m_name_list), std::end(FLASH::m_name_list));
}

inline Row flash_row(const std::string& device_name, const std::string& is_default = "TRUE",
                     const std::string& gate = "NONE") {
  Row row = {"ACME", device_name, "FALSE", "0x18",  "2",     "0x40",  "1",     "0xEF",  "0",
             "18",   is_default,  gate,    "FALSE", "FALSE", "FALSE", "FALSE", "FALSE", "FALSE",
             "1",    "134217728", "65536", "FALSE", "FALSE", "200",   "2",     "3000",  "0x1C",
             "0x1C", "0x00",      "255",   "0x20",  "FALSE", "3.3"};
  return row;
}

inline unsigned int flash_column(const std::string& member) {
  for (unsigned int i = 0; i < FLASH::TOTAL_DATABASE_MEMBER; ++i) {
    if (member == FLASH::m_name_list[i]) return i;
  }
  ADD_FAILURE() << member;
  return 0;
}

inline Row flash_row_with(const std::string& device_name, const std::string& member,
                          const std::string& value) {
  Row row = flash_row(device_name);
  row[flash_column(member)] = value;
  return row;
}

// The eight header rows and the data rows, one per line (lines 1 to 8, data from line 9).
inline std::vector<Row> flash_csv(const std::vector<Row>& data) {
  const Row counted(FLASH::TOTAL_DATABASE_MEMBER, "-");
  std::vector<Row> rows = {flash_types(),    flash_names(), {"Flash", "devices"},
                           {"free", "text"}, counted,       counted,
                           counted,          {"records"}};
  rows.insert(rows.end(), data.begin(), data.end());
  return rows;
}

// ---- Device-info CSVs: type row, name row, a row per catalogue family, GENERIC, four
// configuration names, the generic device and the generic part (line n is rows[n - 1]).

inline Row dev_info_row(const std::string& family, const std::string& pcf,
                        const std::string& device, const std::string& part) {
  Row row;
  for (unsigned int i = 0; i < TOTAL_DEVICE_DATABASE_MEMBER; ++i) {
    switch (DEV_INFO::m_db_type_list[i]) {
      case PGMDEV_MANAGER_BOOL:
        row.push_back("FALSE");
        break;
      case PGMDEV_MANAGER_BYTE:
      case PGMDEV_MANAGER_WORD:
      case PGMDEV_MANAGER_DWORD:
        row.push_back(std::to_string(i));
        break;
      default:
        row.push_back("");
    }
  }
  row[0] = family;
  row[1] = pcf;
  row[2] = device;
  row[3] = part;
  return row;
}

inline std::string family_identifier(int family) {
  return dstr_get_family_identifier(DEV_FAMILY_ENUM(family));
}

inline std::vector<Row> dev_info_csv() {
  Row types, names;
  for (unsigned int i = 0; i < TOTAL_DEVICE_DATABASE_MEMBER; ++i) {
    types.push_back(pgmdev_csv_type_name(DEV_INFO::m_db_type_list[i]));
    names.push_back(DEV_INFO::m_db_name_list[i]);
  }
  std::vector<Row> rows = {types, names};
  for (int family = 1; family < DEV_FAMILY_GENERIC; ++family) {
    rows.push_back(dev_info_row(family_identifier(family), "", "", ""));
  }
  rows.push_back(dev_info_row("GENERIC", "", "", ""));
  for (const char* pcf : {"PCF_A", "PCF_B", "PCF_C", "PCF_D"}) {
    rows.push_back(dev_info_row("", pcf, "", ""));
  }
  rows.push_back(dev_info_row("", "", "GENERIC", ""));
  rows.push_back(dev_info_row("", "", "", "GENERIC"));
  return rows;
}

// The row of family f, counted from 1.
constexpr size_t family_row(int family) { return size_t(family) + 1; }
constexpr size_t kGenericFamilyRow = 73;

// A flash CSV with one of each problem (lines 1 to 17; line n is rows[n - 1]).
inline std::vector<Row> flash_csv_with_one_of_each() {
  Row types = flash_types();
  types[2] = "Bool";
  Row names = flash_names();
  names[5] = "memory_kind";
  Row short_row = flash_row("FLASHF");
  short_row.pop_back();
  std::vector<Row> rows = flash_csv({
      flash_row("FLASHA"),                                     // 9
      flash_row_with("FLASHB", "memory_id", "0x1FF"),          // 10
      flash_row_with("FLASHC", "program_utime", "3ms"),        // 11
      flash_row_with("FLASHD", "ini", std::string(256, 'G')),  // 12
      flash_row_with("FLASHE", "half_size", "true"),           // 13
      short_row,                                               // 14
      flash_row("flasha"),                                     // 15
      flash_row("FLASHG"),                                     // 16
      flash_row("FLASHG", "TRUE", "LAB"),                      // 17
  });
  rows[0] = types;
  rows[1] = names;
  rows[4].pop_back();
  return rows;
}

// A device-info CSV with one of each problem (79 lines; line n is rows[n - 1]).
inline std::vector<Row> dev_info_csv_with_one_of_each() {
  std::vector<Row> rows = dev_info_csv();
  rows[0][4] = "Bool";
  rows[1][40] = "CMP_END_PAD";
  rows[2][33] = "0x1FF";                          // a byte column
  rows[3][23] = "";                               // a four-byte column
  rows[4][4] = "true";                            // a flag
  rows[5][0] = "NO_SUCH";                         // family 4 loses its row
  rows[6][37] = "NPCF_BLOCK_XRAM";                // an enumeration column
  rows[7][14] = std::string(256, 'x');            // a text column
  rows[8].pop_back();                             // 85 cells
  rows[9][1] = "BOTH";                            // family and pcf
  rows[family_row(9)][0] = family_identifier(1);  // family 1 twice, family 9 without a row
  rows[12][60] = std::string(10300, 'y');         // a line the generator stops at
  rows[kGenericFamilyRow] = dev_info_row("", "PCF_E", "", "");
  rows.pop_back();  // 77 data rows
  return rows;
}

}  // namespace csv_test

#endif  // PGMDEV_CSV_TEST_UTIL_H
