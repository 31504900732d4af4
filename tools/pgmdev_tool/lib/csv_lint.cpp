// Lint of the database CSV sources (see csv_lint.h). The schema (column names, types and the
// rules of each cell) comes from the managers' exported tables and checks; this file adds what
// the generators check row by row and over the whole file.
#include "csv_lint.h"

#include <algorithm>
#include <cctype>
#include <cstring>
#include <fstream>
#include <map>
#include <set>
#include <tuple>

#include "dev_catalogue.h"
#include "gen.h"
#include "lxt.h"
#include "pgmdev_csv.h"
#include "pgmdev_dev_info_manager.h"
#include "pgmdev_flash_manager.h"

namespace pgmdev_csv {

namespace {

using DEV_INFO = PGMDEV_DEV_INFO_MANAGER;
using FLASH = PGMDEV_FLASH_MANAGER;

// The device-info generator stops reading at a line of this many characters or more.
constexpr size_t kDevInfoMaxLineBytes = 10240;
// Flash CSV rows: type row, name row, description rows with and without a fixed token count,
// first data row.
constexpr unsigned int kFlashFirstDataRow = 8;
bool flash_free_row(unsigned int row) { return row == 2 || row == 3 || row == 7; }

// A row of a CSV: a line that is not empty once trimmed, with its number in the file.
struct Row {
  unsigned int line;
  std::string text;  // trimmed
  size_t raw_length;
};

// The non-empty trimmed lines of text, split as std::getline splits a stream, and the number of
// lines in the text.
std::vector<Row> counted_rows(const std::string& text, unsigned int& line_count) {
  std::vector<Row> rows;
  line_count = 0;
  size_t start = 0;
  while (start < text.size()) {
    size_t end = text.find('\n', start);
    if (end == std::string::npos) end = text.size();
    ++line_count;
    const std::string raw = text.substr(start, end - start);
    std::string trimmed = gen_remove_leading_and_trailing_white_spaces(raw);
    if (!trimmed.empty()) rows.push_back({line_count, std::move(trimmed), raw.size()});
    start = end + 1;
  }
  return rows;
}

std::string lower(std::string text) {
  for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return text;
}

std::string upper(std::string text) {
  for (char& c : text) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return text;
}

// What one CSV kind fixes: its columns, how its rows split into cells and how a data cell is
// checked.
struct Schema {
  CsvKind kind;
  unsigned int columns;
  const char* const* names;
  const PGMDEV_MANAGER_TYPE* types;
  bool keep_empty_cells;  // device-info rows keep empty cells; flash rows drop them
  const char* cells_word;
  bool (*check_cell)(unsigned int column, const std::string& cell, PGMDEV_CSV_PROBLEM& problem);
};

const Schema kDevInfoSchema = {CsvKind::kDeviceInfo,
                               TOTAL_DEVICE_DATABASE_MEMBER,
                               DEV_INFO::m_db_name_list,
                               DEV_INFO::m_db_type_list,
                               true,
                               "cells",
                               &DEV_INFO::check_csv_cell};
const Schema kFlashSchema = {
    CsvKind::kFlash, FLASH::TOTAL_DATABASE_MEMBER, FLASH::m_name_list, FLASH::m_type_list, false,
    "values",        &FLASH::check_csv_cell};

// The separators of cells, as the generators split rows.
constexpr char kDelimiters[] = " \t\n,";
bool is_delimiter(char c) { return std::strchr(kDelimiters, c) != nullptr && c != '\0'; }

// The number of cells that the generators' tokenizer makes of text, counted without making them:
// with keep_empty every delimiter ends a cell, else a cell is a run of other characters.
size_t cell_count(const std::string& text, bool keep_empty) {
  size_t count = keep_empty ? 1 : 0;
  bool in_cell = false;
  for (const char c : text) {
    const bool delimiter = is_delimiter(c);
    if (keep_empty) {
      count += delimiter;
    } else {
      count += !delimiter && !in_cell;
      in_cell = !delimiter;
    }
  }
  return count;
}

// The start of text up to its n-th delimiter (all of it when it has fewer).
std::string first_delimited(const std::string& text, size_t n) {
  size_t delimiters = 0;
  for (size_t i = 0; i < text.size(); ++i) {
    if (is_delimiter(text[i]) && ++delimiters == n) return text.substr(0, i);
  }
  return text;
}

// The cells of a row: how many the tokenizer makes, and the cells themselves unless they are
// far more than any row of the kind may hold (then only the count is kept, so that a line of a
// million commas takes no more memory than its text).
struct CELLS {
  size_t count = 0;
  std::vector<std::string> values;
};

// How many of the cells name the column types of the schema at their places.
unsigned int type_matches(const Schema& schema, const std::vector<std::string>& cells) {
  unsigned int matches = 0;
  for (unsigned int i = 0; i < schema.columns && i < cells.size(); ++i) {
    if (cells[i] == pgmdev_csv_type_name(schema.types[i])) ++matches;
  }
  return matches;
}

class Linter {
 public:
  Linter(const std::string& file, const Schema& schema, LintReport& report)
      : m_file(file),
        m_schema(schema),
        m_report(report),
        m_tokenizer(kDelimiters, schema.keep_empty_cells, "", "", "", false) {}

  void add(unsigned int line, unsigned int column, Severity severity, const std::string& rule,
           const std::string& message) {
    m_report.findings.push_back({m_file, line, column, severity, rule, message});
  }
  void error(unsigned int line, unsigned int column, const std::string& rule,
             const std::string& message) {
    add(line, column, Severity::kError, rule, message);
  }

  CELLS cells(const Row& row) const {
    CELLS cells;
    cells.count = cell_count(row.text, m_schema.keep_empty_cells);
    if (cells.count <= 4 * size_t(m_schema.columns)) m_tokenizer.tokenize(row.text, cells.values);
    return cells;
  }

  // Whether the row has one cell per column; reports it when not.
  bool check_cell_count(const Row& row, const CELLS& cells, const std::string& row_kind) {
    if (cells.count == m_schema.columns) return true;
    const unsigned int column =
        static_cast<unsigned int>(std::min<size_t>(cells.count, m_schema.columns)) + 1;
    error(row.line, column, "cell-count",
          row_kind + " has " + std::to_string(cells.count) + " " + m_schema.cells_word +
              "; it needs " + std::to_string(m_schema.columns) +
              " (separated by commas, blanks or tabs" +
              (m_schema.keep_empty_cells ? "; two in a row make an empty cell)"
                                         : "; empty values are skipped)"));
    return false;
  }

  void check_type_row(const Row& row) {
    const CELLS row_cells = this->cells(row);
    check_cell_count(row, row_cells, "the type row");
    const std::vector<std::string>& cells = row_cells.values;
    for (unsigned int i = 0; i < m_schema.columns && i < cells.size(); ++i) {
      const char* type = pgmdev_csv_type_name(m_schema.types[i]);
      if (cells[i] == type) continue;
      error(row.line, i + 1, "column-type",
            "column " + std::to_string(i + 1) + " (" + m_schema.names[i] + ") is typed '" +
                cells[i] + "'; write " + type + " (spelt exactly so)");
    }
  }

  // The name row names every column at its place, in any letter case.
  void check_name_row(const Row& row) {
    const CELLS row_cells = this->cells(row);
    check_cell_count(row, row_cells, "the name row");
    const std::vector<std::string>& cells = row_cells.values;
    std::map<std::string, unsigned int> place;
    for (unsigned int i = 0; i < m_schema.columns; ++i) place[m_schema.names[i]] = i;
    std::set<std::string> named;
    for (unsigned int i = 0; i < cells.size(); ++i) {
      const std::string name = lower(cells[i]);
      named.insert(name);
      if (i < m_schema.columns && name == m_schema.names[i]) continue;
      const auto known = place.find(name);
      const std::string expected =
          i < m_schema.columns
              ? std::string("; column ") + std::to_string(i + 1) + " is " + m_schema.names[i]
              : std::string("; the row has only ") + std::to_string(m_schema.columns) + " columns";
      if (known == place.end()) {
        error(row.line, i + 1, "unknown-column", "unknown column '" + cells[i] + "'" + expected);
      } else {
        error(row.line, i + 1, "column-order",
              "column " + known->first + " belongs at column " + std::to_string(known->second + 1) +
                  expected);
      }
    }
    for (unsigned int i = 0; i < m_schema.columns; ++i) {
      if (named.count(m_schema.names[i]) != 0) continue;
      error(row.line, std::min<unsigned int>(i, static_cast<unsigned int>(cells.size())) + 1,
            "missing-column",
            std::string("missing column ") + m_schema.names[i] + " (column " +
                std::to_string(i + 1) + ")");
    }
  }

  // Checks row r when it is a header row, the type row (0) or the name row (1); false for any
  // other row.
  bool check_header_row(size_t r, const Row& row) {
    if (r == 0) {
      check_type_row(row);
    } else if (r == 1) {
      check_name_row(row);
    } else {
      return false;
    }
    return true;
  }

  // Checks every cell of a data row that has one cell per column.
  void check_data_cells(const Row& row, const std::vector<std::string>& cells) {
    for (unsigned int i = 0; i < m_schema.columns; ++i) {
      PGMDEV_CSV_PROBLEM problem;
      if (!m_schema.check_cell(i, cells[i], problem)) {
        error(row.line, i + 1, problem.rule, problem.message);
      }
    }
  }

 private:
  std::string m_file;
  const Schema& m_schema;
  LintReport& m_report;
  LXT_TOKENIZER m_tokenizer;
};

// ---- Device-info CSV: type row, name row, then 78 data rows.

void lint_device_info(Linter& linter, const std::vector<Row>& rows, unsigned int end_line) {
  constexpr const char* kIdentifierColumns[] = {"family", "pcf", "device", "part"};
  // The first row of each family, configuration name (any letter case), device and part value.
  std::map<std::string, unsigned int> first_rows[4];
  std::set<std::string> families;
  unsigned int data_rows = 0;
  for (size_t r = 0; r < rows.size(); ++r) {
    const Row& row = rows[r];
    if (row.raw_length >= kDevInfoMaxLineBytes) {
      linter.error(row.line, 1, "line-length",
                   "line of " + std::to_string(row.raw_length) +
                       " characters; the generator stops reading at a line of " +
                       std::to_string(kDevInfoMaxLineBytes) + " or more");
    }
    if (linter.check_header_row(r, row)) continue;
    ++data_rows;
    if (data_rows == TOTAL_DATABASE_DEVICE + 1) {
      linter.error(row.line, 1, "row-count",
                   "data row " + std::to_string(data_rows) + ": the database holds exactly " +
                       std::to_string(TOTAL_DATABASE_DEVICE) + " records");
    }
    const CELLS row_cells = linter.cells(row);
    const std::vector<std::string>& cells = row_cells.values;
    // A family that a broken row names is not reported missing as well.
    if (!cells.empty() && !cells[0].empty()) families.insert(cells[0]);
    if (!linter.check_cell_count(row, row_cells, "the row")) continue;
    linter.check_data_cells(row, cells);

    std::string filled;
    unsigned int identifiers = 0;
    unsigned int identifier = 0;
    for (unsigned int i = 0; i < 4; ++i) {
      if (cells[i].empty()) continue;
      ++identifiers;
      identifier = i;
      filled += std::string(filled.empty() ? "" : " and ") + kIdentifierColumns[i];
    }
    if (identifiers == 1) {
      // Lookups take the first row of a value (configuration names in any letter case).
      const std::string& value = cells[identifier];
      const auto [first, added] =
          first_rows[identifier].try_emplace(identifier == 1 ? upper(value) : value, row.line);
      if (!added) {
        linter.add(row.line, identifier + 1, Severity::kWarning, "duplicate-row",
                   std::string(kIdentifierColumns[identifier]) + " " + value +
                       " already has its row at line " + std::to_string(first->second) +
                       "; lookups take that one and never this one");
      }
    } else {
      linter.error(
          row.line, 1, "row-identity",
          (identifiers == 0 ? std::string("the row fills none of family, pcf, device, part")
                            : "the row fills " + filled) +
              "; each row stands for exactly one family, configuration name (pcf), "
              "generic device or generic part");
    }
  }
  if (data_rows < TOTAL_DATABASE_DEVICE) {
    linter.error(end_line, 1, "row-count",
                 std::to_string(data_rows) + " data rows; the database holds exactly " +
                     std::to_string(TOTAL_DATABASE_DEVICE) +
                     " records (one per family row, configuration name, generic device and "
                     "generic part)");
  }
  if (families.count("GENERIC") == 0) {
    linter.error(end_line, 1, "generic-family",
                 "no GENERIC family row; every family without a row of its own takes that row, "
                 "so the generator needs it");
  }
  for (const PGMDEV_DEV_INFO_NAME& family : DEV_INFO::m_supported_family_list) {
    if (family.name.empty() || family.name == "GENERIC" || families.count(family.name) != 0) {
      continue;
    }
    linter.add(end_line, 1, Severity::kWarning, "missing-family",
               "family " + dstr_get_user_string(DEV_FAMILY_ENUM(family.id)) + " (" + family.name +
                   ") has no row; it takes the GENERIC family's row and generation notifies the "
                   "database owners");
  }
}

// ---- Flash CSV: type row, name row, six description rows, then one record per row.

// The index of a flash member in its rows.
unsigned int flash_member(const std::string& member) {
  unsigned int index = 0;
  while (member != FLASH::m_name_list[index]) ++index;
  return index;
}

void lint_flash(Linter& linter, const std::vector<Row>& rows, unsigned int end_line) {
  static const unsigned int kDeviceName = flash_member("device_name");
  static const unsigned int kGate = flash_member("ini");
  static const unsigned int kDefault = flash_member("default_dev");
  std::vector<PGMDEV_FLASH_GATED_ROW> gated_rows;
  unsigned int data_rows = 0;
  for (size_t r = 0; r < rows.size(); ++r) {
    const Row& row = rows[r];
    if (linter.check_header_row(r, row)) continue;
    if (flash_free_row(static_cast<unsigned int>(r))) continue;
    const CELLS row_cells = linter.cells(row);
    if (r < kFlashFirstDataRow) {
      linter.check_cell_count(row, row_cells, "description row " + std::to_string(r + 1));
      continue;
    }
    ++data_rows;
    if (!linter.check_cell_count(row, row_cells, "the row")) continue;
    const std::vector<std::string>& cells = row_cells.values;
    linter.check_data_cells(row, cells);
    gated_rows.push_back({cells[kDeviceName], cells[kGate], cells[kDefault] == "TRUE", row.line});
  }
  if (data_rows == 0) {
    linter.error(end_line, 1, "row-count",
                 "no data rows; records start at the ninth row, after the type row, the name row "
                 "and six description rows");
  }
  for (const PGMDEV_CSV_PROBLEM& problem : FLASH::check_default_records(gated_rows)) {
    linter.error(problem.line, problem.column, problem.rule, problem.message);
  }
}

}  // namespace

bool LintReport::has_errors() const {
  return std::any_of(findings.begin(), findings.end(),
                     [](const Finding& finding) { return finding.severity == Severity::kError; });
}

LintReport lint_csv_text(const std::string& file, const std::string& text) {
  LintReport report;
  unsigned int line_count = 0;
  const std::vector<Row> rows = counted_rows(text, line_count);
  const unsigned int end_line = line_count + 1;
  if (rows.empty()) {
    report.findings.push_back({file, 1, 1, Severity::kError, "kind",
                               "no rows: a CSV starts with the type row of its columns"});
    return report;
  }
  // The type row names the kind: its first cell, else whichever schema it matches more of.
  // Its cells beyond the longest type row do not matter.
  std::vector<std::string> first_cells;
  LXT_TOKENIZER(kDelimiters, false, "", "", "", false)
      .tokenize(first_delimited(rows[0].text, 2 * TOTAL_DEVICE_DATABASE_MEMBER), first_cells);
  const unsigned int dev_info_matches = type_matches(kDevInfoSchema, first_cells);
  const unsigned int flash_matches = type_matches(kFlashSchema, first_cells);
  const Schema* schema = nullptr;
  if (!first_cells.empty() && first_cells[0] == "DEVID_ENUM") {
    schema = &kDevInfoSchema;
  } else if (!first_cells.empty() && first_cells[0] == "STL_STRING") {
    schema = &kFlashSchema;
  } else if (dev_info_matches > 0 || flash_matches > 0) {
    schema = dev_info_matches >= flash_matches ? &kDevInfoSchema : &kFlashSchema;
  }
  if (schema == nullptr) {
    report.findings.push_back(
        {file, rows[0].line, 1, Severity::kError, "kind",
         "the first row names the column types of neither kind of CSV: a device-info CSV starts "
         "DEVID_ENUM,DEVID_STR,DEVID_ENUM,DEVID_ENUM, a flash CSV STL_STRING,STL_STRING,bool"});
    return report;
  }
  report.kind = schema->kind;
  Linter linter(file, *schema, report);
  if (schema->kind == CsvKind::kDeviceInfo) {
    lint_device_info(linter, rows, end_line);
  } else {
    lint_flash(linter, rows, end_line);
  }
  std::stable_sort(report.findings.begin(), report.findings.end(),
                   [](const Finding& a, const Finding& b) {
                     return std::tie(a.line, a.column) < std::tie(b.line, b.column);
                   });
  return report;
}

LintReport lint_csv_file(const std::string& path) {
  std::ifstream input(path, std::ios::binary);
  if (!input.good()) {
    LintReport report;
    report.findings.push_back(
        {path, 0, 0, Severity::kError, "read", "cannot open the file for reading"});
    return report;
  }
  std::string text;
  char buffer[65536];
  while (input.read(buffer, sizeof(buffer)) || input.gcount() > 0) {
    text.append(buffer, static_cast<size_t>(input.gcount()));
    if (text.size() > kMaxCsvBytes) {
      LintReport report;
      report.findings.push_back({path, 0, 0, Severity::kError, "read",
                                 "file larger than " + std::to_string(kMaxCsvBytes >> 20) +
                                     " MiB; no database CSV is that large"});
      return report;
    }
  }
  if (input.bad()) {
    LintReport report;
    report.findings.push_back({path, 0, 0, Severity::kError, "read", "read error"});
    return report;
  }
  return lint_csv_text(path, text);
}

std::string format_finding(const Finding& finding) {
  return finding.file + ":" + std::to_string(finding.line) + ":" + std::to_string(finding.column) +
         ": " + severity_name(finding.severity) + ": " + finding.message + " [" + finding.rule +
         "]";
}

const char* kind_name(CsvKind kind) {
  switch (kind) {
    case CsvKind::kDeviceInfo:
      return "device-info";
    case CsvKind::kFlash:
      return "flash";
    default:
      return "unknown";
  }
}

const char* severity_name(Severity severity) {
  return severity == Severity::kError ? "error" : "warning";
}

}  // namespace pgmdev_csv
