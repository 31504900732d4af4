// Lint of the database CSV sources: every problem of a CSV found in one run at its line and
// column, the CSV kind chosen by the type row, agreement with the generators, and the shipped
// CSVs.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <stdexcept>
#include <string>
#include <vector>

#include "cfg.h"
#include "csv_lint.h"
#include "dev_catalogue.h"
#include "msg.h"
#include "pgmdev_dev_info_manager.h"
#include "pgmdev_flash_manager.h"

namespace {

namespace fs = std::filesystem;
using pgmdev_csv::CsvKind;
using pgmdev_csv::Finding;
using pgmdev_csv::LintReport;
using pgmdev_csv::Severity;
using Row = std::vector<std::string>;
using DEV_INFO = PGMDEV_DEV_INFO_MANAGER;
using FLASH = PGMDEV_FLASH_MANAGER;

std::string join(const Row& cells, const char* separator) {
  std::string line;
  for (size_t i = 0; i < cells.size(); ++i) line += (i ? separator : "") + cells[i];
  return line;
}

std::string text_of(const std::vector<Row>& rows, const char* separator) {
  std::string text;
  for (const Row& row : rows) text += join(row, separator) + "\n";
  return text;
}

// One expected finding.
struct Expected {
  unsigned int line;
  unsigned int column;
  const char* rule;
  Severity severity = Severity::kError;
};

void expect_findings(const LintReport& report, const std::vector<Expected>& expected) {
  ASSERT_EQ(report.findings.size(), expected.size()) << [&] {
    std::string all;
    for (const Finding& finding : report.findings) all += format_finding(finding) + "\n";
    return all;
  }();
  for (size_t i = 0; i < expected.size(); ++i) {
    const Finding& finding = report.findings[i];
    EXPECT_EQ(finding.line, expected[i].line) << i << ": " << format_finding(finding);
    EXPECT_EQ(finding.column, expected[i].column) << i << ": " << format_finding(finding);
    EXPECT_EQ(finding.rule, expected[i].rule) << i << ": " << format_finding(finding);
    EXPECT_EQ(finding.severity, expected[i].severity) << i << ": " << format_finding(finding);
  }
}

// ---- Flash CSVs: header rows and data rows of flash_row() values.

Row flash_types() {
  Row row;
  for (const PGMDEV_MANAGER_TYPE type : FLASH::m_type_list) {
    row.push_back(pgmdev_csv_type_name(type));
  }
  return row;
}

Row flash_names() { return Row(std::begin(FLASH::m_name_list), std::end(FLASH::m_name_list)); }

Row flash_row(const std::string& device_name, const std::string& is_default = "TRUE",
              const std::string& gate = "NONE") {
  Row row = {"ACME", device_name, "FALSE", "0x18",  "2",     "0x40",  "1",     "0xEF",  "0",
             "18",   is_default,  gate,    "FALSE", "FALSE", "FALSE", "FALSE", "FALSE", "FALSE",
             "1",    "134217728", "65536", "FALSE", "FALSE", "200",   "2",     "3000",  "0x1C",
             "0x1C", "0x00",      "255",   "0x20",  "FALSE", "3.3"};
  return row;
}

unsigned int flash_column(const std::string& member) {
  for (unsigned int i = 0; i < FLASH::TOTAL_DATABASE_MEMBER; ++i) {
    if (member == FLASH::m_name_list[i]) return i;
  }
  ADD_FAILURE() << member;
  return 0;
}

Row flash_row_with(const std::string& device_name, const std::string& member,
                   const std::string& value) {
  Row row = flash_row(device_name);
  row[flash_column(member)] = value;
  return row;
}

// The eight header rows and the data rows, one per line (lines 1 to 8, data from line 9).
std::vector<Row> flash_csv(const std::vector<Row>& data) {
  const Row counted(FLASH::TOTAL_DATABASE_MEMBER, "-");
  std::vector<Row> rows = {flash_types(),    flash_names(), {"Flash", "devices"},
                           {"free", "text"}, counted,       counted,
                           counted,          {"records"}};
  rows.insert(rows.end(), data.begin(), data.end());
  return rows;
}

// ---- Device-info CSVs: type row, name row, a row per catalogue family, GENERIC, four
// configuration names, the generic device and the generic part (line n is rows[n - 1]).

Row dev_info_row(const std::string& family, const std::string& pcf, const std::string& device,
                 const std::string& part) {
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

std::string family_identifier(int family) {
  return dstr_get_family_identifier(DEV_FAMILY_ENUM(family));
}

std::vector<Row> dev_info_csv() {
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

// ---------------------------------------------------------------------------------------------

TEST(CsvLint, FlashCsvWithOneOfEachProblem) {
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
  const LintReport report = pgmdev_csv::lint_csv_text("flash.csv", text_of(rows, " , "));
  EXPECT_EQ(report.kind, CsvKind::kFlash);
  EXPECT_TRUE(report.has_errors());
  expect_findings(report, {
                              {1, 3, "column-type"},
                              {2, 6, "unknown-column"},
                              {2, 6, "missing-column"},
                              {5, 33, "cell-count"},
                              {10, 4, "width"},
                              {11, 26, "number"},
                              {12, 12, "text-length"},
                              {13, 22, "flag"},
                              {14, 33, "cell-count"},
                              {15, 11, "default"},
                              {17, 11, "default"},
                          });
  EXPECT_EQ(format_finding(report.findings[4]),
            "flash.csv:10:4: error: memory_id 0x1FF does not fit a byte (0 to 0xFF) [width]");
  EXPECT_EQ(report.findings[0].message,
            "column 3 (silicon_id) is typed 'Bool'; write bool (spelt exactly so)");
  EXPECT_EQ(report.findings[10].message,
            "device name FLASHG has 2 default records with only PGM_ALLOW_LAB on (lines 16 and "
            "17); exactly one of its rows kept then may have default_dev TRUE");
}

TEST(CsvLint, DeviceInfoCsvWithOneOfEachProblem) {
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
  const LintReport report = pgmdev_csv::lint_csv_text("dev_info.csv", text_of(rows, ","));
  EXPECT_EQ(report.kind, CsvKind::kDeviceInfo);
  const unsigned int end = 80;  // the line after the last
  expect_findings(report, {
                              {1, 5, "column-type"},
                              {2, 41, "unknown-column"},
                              {2, 41, "missing-column"},
                              {3, 34, "width"},
                              {4, 24, "number"},
                              {5, 5, "flag"},
                              {6, 1, "name"},
                              {7, 38, "name"},
                              {8, 15, "text-length"},
                              {9, 86, "cell-count"},
                              {10, 1, "row-identity"},
                              {11, 1, "duplicate-row", Severity::kWarning},
                              {13, 1, "line-length"},
                              {13, 61, "text-length"},
                              {end, 1, "row-count"},
                              {end, 1, "generic-family"},
                              {end, 1, "missing-family", Severity::kWarning},
                              {end, 1, "missing-family", Severity::kWarning},
                          });
  EXPECT_EQ(report.findings[6].message,
            "family: 'NO_SUCH' is not a name of the column; write a family identifier of the "
            "catalogue (" +
                family_identifier(1) + ", ...), GENERIC or nothing");
  EXPECT_NE(report.findings[16].message.find("(" + family_identifier(4) + ") has no row"),
            std::string::npos);
  EXPECT_NE(report.findings[17].message.find("(" + family_identifier(9) + ") has no row"),
            std::string::npos);
}

TEST(CsvLint, KindComesFromTheTypeRow) {
  struct Case {
    const char* what;
    std::string text;
    CsvKind kind;
    std::vector<Expected> findings;
  };
  std::vector<Row> flash_with_spaces = flash_csv({flash_row("FLASHA")});
  const Case kCases[] = {
      {"empty file", "", CsvKind::kUnknown, {{1, 1, "kind"}}},
      {"blank lines only", "\n  \n\t\n", CsvKind::kUnknown, {{1, 1, "kind"}}},
      {"some other table", "\n\nname,size\nA,1\n", CsvKind::kUnknown, {{3, 1, "kind"}}},
      {"flash CSV, blank separated", text_of(flash_with_spaces, "   "), CsvKind::kFlash, {}},
      {"flash CSV whose first type is misspelt",
       text_of({flash_with_spaces[0]}, ",").replace(0, 10, "STL_STRINX") +
           text_of(std::vector<Row>(flash_with_spaces.begin() + 1, flash_with_spaces.end()), ","),
       CsvKind::kFlash,
       {{1, 1, "column-type"}}},
      {"flash CSV without data rows",
       text_of(std::vector<Row>(flash_with_spaces.begin(), flash_with_spaces.begin() + 8), ","),
       CsvKind::kFlash,
       {{9, 1, "row-count"}}},
      {"device-info CSV", text_of(dev_info_csv(), ","), CsvKind::kDeviceInfo, {}},
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.what);
    const LintReport report = pgmdev_csv::lint_csv_text("x.csv", c.text);
    EXPECT_EQ(report.kind, c.kind);
    expect_findings(report, c.findings);
  }
}

TEST(CsvLint, UnreadableFileIsOneFinding) {
  const LintReport report = pgmdev_csv::lint_csv_file("/nonexistent/dir/flash.csv");
  ASSERT_EQ(report.findings.size(), 1u);
  EXPECT_EQ(report.findings[0].rule, "read");
  EXPECT_EQ(report.findings[0].file, "/nonexistent/dir/flash.csv");
}

// A CSV that lints without errors generates; each error that the generator refuses is an error
// of lint. (A device-info byte or word wider than its column is the one error that the library's
// generator lets through, keeping its low bytes; the tool's generation refuses it with lint.)
class CsvLintAgreement : public testing::Test {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/pgmdev_lint_XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    m_dir = pattern;
  }
  void TearDown() override { fs::remove_all(m_dir); }

  // Whether the library's generator of that kind takes the CSV text.
  bool generates(CsvKind kind, const std::string& text) {
    const std::string csv = (m_dir / "in.csv").string();
    std::ofstream(csv, std::ios::trunc) << text;
    try {
      if (kind == CsvKind::kFlash) {
        FLASH(false, 0, true, false).generate_flash_database(csv, (m_dir / "out.pcf").string());
      } else {
        DEV_INFO(true, 0).generate_device_database(csv, (m_dir / "out.pcf").string());
      }
    } catch (const MSG_INTERNAL_ERROR_EXCEPTION&) {
      return false;
    } catch (const std::out_of_range&) {
      return false;
    }
    return true;
  }

  // Lints the rows, checks that the first finding is of rule (no finding at all for null), and
  // returns the report.
  LintReport lint(const std::vector<Row>& rows, const char* rule, const char* what) {
    const LintReport report = pgmdev_csv::lint_csv_text("in.csv", text_of(rows, ","));
    if (rule == nullptr) {
      EXPECT_TRUE(report.findings.empty()) << what;
    } else if (report.findings.empty()) {
      ADD_FAILURE() << what << ": no finding";
    } else {
      EXPECT_EQ(report.findings[0].rule, rule) << what;
    }
    return report;
  }

  fs::path m_dir;
};

TEST_F(CsvLintAgreement, FlashErrorsAreTheGeneratorsRefusals) {
  struct Case {
    const char* what;
    std::function<void(std::vector<Row>&)> change;
    const char* rule;  // nullptr: no finding
  };
  const Case kCases[] = {
      {"valid", [](std::vector<Row>&) {}, nullptr},
      {"type row", [](std::vector<Row>& rows) { rows[0][19] = "dword"; }, "column-type"},
      {"name row", [](std::vector<Row>& rows) { rows[1][19] = "bits"; }, "unknown-column"},
      {"counted description row", [](std::vector<Row>& rows) { rows[6].push_back("-"); },
       "cell-count"},
      {"data row cell count", [](std::vector<Row>& rows) { rows[8].pop_back(); }, "cell-count"},
      {"byte too wide", [](std::vector<Row>& rows) { rows[8][3] = "256"; }, "width"},
      {"not a number", [](std::vector<Row>& rows) { rows[8][19] = "128M"; }, "number"},
      {"flag", [](std::vector<Row>& rows) { rows[8][21] = "False"; }, "flag"},
      {"text length", [](std::vector<Row>& rows) { rows[8][32] = std::string(300, '3'); },
       "text-length"},
      {"two defaults", [](std::vector<Row>& rows) { rows.push_back(flash_row("FLASHA")); },
       "default"},
      {"no default", [](std::vector<Row>& rows) { rows[8][10] = "FALSE"; }, "default"},
  };
  for (const Case& c : kCases) {
    std::vector<Row> rows = flash_csv({flash_row("FLASHA"), flash_row("FLASHB")});
    c.change(rows);
    const LintReport report = lint(rows, c.rule, c.what);
    EXPECT_EQ(generates(CsvKind::kFlash, text_of(rows, ",")), !report.has_errors()) << c.what;
  }
}

TEST_F(CsvLintAgreement, DeviceInfoErrorsAreTheGeneratorsRefusals) {
  struct Case {
    const char* what;
    std::function<void(std::vector<Row>&)> change;
    const char* rule;  // nullptr: no finding
    bool generates;
  };
  const Case kCases[] = {
      {"valid", [](std::vector<Row>&) {}, nullptr, true},
      {"type row", [](std::vector<Row>& rows) { rows[0][83] = "word"; }, "column-type", false},
      {"name row", [](std::vector<Row>& rows) { rows[1][83] = "spare_word"; }, "unknown-column",
       false},
      {"cell count", [](std::vector<Row>& rows) { rows[20].push_back(""); }, "cell-count", false},
      {"not a number", [](std::vector<Row>& rows) { rows[20][24] = "-1"; }, "number", false},
      {"flag", [](std::vector<Row>& rows) { rows[20][5] = "YES"; }, "flag", false},
      {"family name", [](std::vector<Row>& rows) { rows[20][0] = "generic"; }, "name", false},
      {"device name", [](std::vector<Row>& rows) { rows[78][2] = "DEVICE"; }, "name", false},
      {"enumeration name", [](std::vector<Row>& rows) { rows[20][32] = "DEV_FAMILY_X"; }, "name",
       false},
      {"text length", [](std::vector<Row>& rows) { rows[20][81] = std::string(256, 't'); },
       "text-length", false},
      {"row identity", [](std::vector<Row>& rows) { rows[79][2] = "GENERIC"; }, "row-identity",
       false},
      {"row count", [](std::vector<Row>& rows) { rows.push_back(rows[75]); }, "row-count", false},
      {"no GENERIC family",
       [](std::vector<Row>& rows) { rows[kGenericFamilyRow] = dev_info_row("", "PCF_E", "", ""); },
       "generic-family", false},
      {"a family without a row is a warning",
       [](std::vector<Row>& rows) { rows[family_row(3)] = dev_info_row("", "PCF_E", "", ""); },
       "missing-family", true},
      {"a byte wider than its column", [](std::vector<Row>& rows) { rows[20][82] = "300"; },
       "width", true},
  };
  for (const Case& c : kCases) {
    std::vector<Row> rows = dev_info_csv();
    c.change(rows);
    const LintReport report = lint(rows, c.rule, c.what);
    EXPECT_EQ(generates(CsvKind::kDeviceInfo, text_of(rows, ",")), c.generates) << c.what;
    EXPECT_EQ(report.has_errors(), c.rule != nullptr && std::string(c.rule) != "missing-family")
        << c.what;
  }
}

TEST(CsvLint, ShippedCsvsHaveNoFindings) {
  for (const char* csv : {"/data/flash/pgm_flash.csv", "/data/device_info/pgm_dev_info.csv"}) {
    const LintReport report = pgmdev_csv::lint_csv_file(std::string(PGMDEV_SOURCE_DIR) + csv);
    EXPECT_NE(report.kind, CsvKind::kUnknown) << csv;
    for (const Finding& finding : report.findings) ADD_FAILURE() << format_finding(finding);
  }
}

}  // namespace
