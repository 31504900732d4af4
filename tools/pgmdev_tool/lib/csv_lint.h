// Lint of the CSV sources of the two database files: every problem that would make the
// device-info or the flash generator refuse a CSV, or make it write a file that loading refuses
// or that differs from what the CSV says, found in one run and returned as data.
//
// The kind of CSV is chosen by its first row, the type row. The rules follow the generators:
// rows, cells and header rows as they read them, and every data cell through the manager's own
// check_csv_cell, so a CSV that lints without errors generates.
#ifndef PGMDEV_CSV_LINT_H
#define PGMDEV_CSV_LINT_H

#include <string>
#include <vector>

namespace pgmdev_csv {

enum class Severity { kError, kWarning };

// One problem: where it is (line counted from 1 in the file; column = the cell counted from 1 in
// its row, 1 for a problem of a whole row), how bad, the rule it breaks and what to do.
struct Finding {
  std::string file;
  unsigned int line = 0;
  unsigned int column = 0;
  Severity severity = Severity::kError;
  std::string rule;
  std::string message;
};

enum class CsvKind { kUnknown, kDeviceInfo, kFlash };

struct LintReport {
  CsvKind kind = CsvKind::kUnknown;
  std::vector<Finding> findings;  // by line, then column
  bool has_errors() const;
};

// Lints text, the content of a CSV that findings call `file`. Reads nothing else; time and
// memory grow with the text's length only.
LintReport lint_csv_text(const std::string& file, const std::string& text);

// Reads the file at path (at most kMaxCsvBytes) and lints it. A file that cannot be read, or is
// larger, gives one finding of rule "read".
constexpr unsigned long kMaxCsvBytes = 64ul << 20;
LintReport lint_csv_file(const std::string& path);

// "FILE:LINE:COLUMN: error: MESSAGE [RULE]" ("warning" for a warning).
std::string format_finding(const Finding& finding);
// "device-info", "flash" or "unknown".
const char* kind_name(CsvKind kind);
// "error" or "warning".
const char* severity_name(Severity severity);

}  // namespace pgmdev_csv

#endif  // PGMDEV_CSV_LINT_H
