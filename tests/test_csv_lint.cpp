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
#include "pgmdev_csv_test_util.h"
#include "pgmdev_dev_info_manager.h"
#include "pgmdev_flash_manager.h"

namespace {

namespace fs = std::filesystem;
using csv_test::DEV_INFO;
using csv_test::dev_info_csv;
using csv_test::dev_info_row;
using csv_test::family_identifier;
using csv_test::family_row;
using csv_test::FLASH;
using csv_test::flash_csv;
using csv_test::flash_row;
using csv_test::kGenericFamilyRow;
using csv_test::Row;
using csv_test::text_of;
using pgmdev_csv::CsvKind;
using pgmdev_csv::Finding;
using pgmdev_csv::LintReport;
using pgmdev_csv::Severity;

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

// ---------------------------------------------------------------------------------------------

TEST(CsvLint, FlashCsvWithOneOfEachProblem) {
  const std::vector<Row> rows = csv_test::flash_csv_with_one_of_each();
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
  const std::vector<Row> rows = csv_test::dev_info_csv_with_one_of_each();
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

TEST(CsvLint, RowsOfFarTooManyCellsAreCountedAsTheGeneratorsCountThem) {
  // A flash row drops empty values, a device-info row keeps empty cells.
  std::string flash = text_of(flash_csv({flash_row("FLASHA")}), ",");
  for (int i = 0; i < 1000000; ++i) flash += "x,,";
  const LintReport flash_report = pgmdev_csv::lint_csv_text("flash.csv", flash + "\n");
  expect_findings(flash_report, {{10, 34, "cell-count"}});
  EXPECT_EQ(flash_report.findings[0].message.rfind("the row has 1000000 values", 0), 0u);

  std::vector<Row> rows = dev_info_csv();
  rows.push_back(Row(200000, ""));
  const LintReport dev_info_report = pgmdev_csv::lint_csv_text("dev_info.csv", text_of(rows, ","));
  expect_findings(dev_info_report,
                  {{81, 1, "line-length"}, {81, 1, "row-count"}, {81, 87, "cell-count"}});
  EXPECT_EQ(dev_info_report.findings[2].message.rfind("the row has 200000 cells", 0), 0u);
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
