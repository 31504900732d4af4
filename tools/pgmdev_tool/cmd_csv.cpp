// pgmdev-tool lint CSV: every problem of a device-info or flash CSV source (the kind is chosen
// by its type row), each as FILE:LINE:COLUMN: severity: message [rule]; pgmdev-tool dump FILE:
// a database file back to the CSV it was generated from; gen-dev-info and gen-flash: the same
// lint first, then the library's generator, which writes nothing when the CSV has an error.
#include <iostream>
#include <string>

#include "csv_dump.h"
#include "csv_lint.h"
#include "msg.h"
#include "pgmdev.h"
#include "tool.h"
#include "tool_output.h"

namespace {

using pgmdev_csv::CsvKind;
using pgmdev_csv::LintReport;
using pgmdev_tool::Json;

std::string g_path;
std::string g_out;

Json finding_json(const pgmdev_csv::Finding& finding) {
  Json json;
  json["file"] = finding.file;
  json["line"] = finding.line;
  json["column"] = finding.column;
  json["severity"] = pgmdev_csv::severity_name(finding.severity);
  json["rule"] = finding.rule;
  json["message"] = finding.message;
  return json;
}

// Lints the CSV at path; a file that cannot be read ends the command with status 3.
LintReport lint_file(const std::string& path) {
  LintReport report = pgmdev_csv::lint_csv_file(path);
  if (report.findings.size() == 1 && report.findings[0].rule == "read") {
    pgmdev_tool::data_error(path + ": " + report.findings[0].message);
  }
  return report;
}

std::string count_text(size_t count, const char* word) {
  return std::to_string(count) + " " + word + (count == 1 ? "" : "s");
}

size_t count_of(const LintReport& report, pgmdev_csv::Severity severity) {
  size_t count = 0;
  for (const pgmdev_csv::Finding& finding : report.findings) count += finding.severity == severity;
  return count;
}

int run_lint() {
  const LintReport report = lint_file(g_path);
  const size_t errors = count_of(report, pgmdev_csv::Severity::kError);
  const size_t warnings = count_of(report, pgmdev_csv::Severity::kWarning);
  if (pgmdev_tool::json_requested()) {
    Json answer;
    answer["file"] = g_path;
    answer["kind"] = pgmdev_csv::kind_name(report.kind);
    answer["errors"] = errors;
    answer["warnings"] = warnings;
    answer["findings"] = Json::array();
    for (const auto& finding : report.findings) answer["findings"].push_back(finding_json(finding));
    pgmdev_tool::print_answer(answer);
  } else {
    // The findings are the answer, one line each in the form that editors jump to.
    {
      const pgmdev_tool::LibraryOutputIsAnswer answer;
      for (const auto& finding : report.findings) std::cout << format_finding(finding) << "\n";
      std::cout.flush();
    }
    pgmdev_tool::tool_message(g_path + ": " + pgmdev_csv::kind_name(report.kind) + " CSV, " +
                              count_text(errors, "error") + ", " + count_text(warnings, "warning"));
  }
  return errors == 0 ? pgmdev_tool::kExitOk : pgmdev_tool::kExitRefused;
}

int run_dump() {
  const pgmdev_tool::DataFileScope scope(g_path);
  pgmdev_csv::Dump dump;
  try {
    dump = pgmdev_csv::dump_database_file(g_path);
  } catch (const pgmdev_csv::DumpError& error) {
    pgmdev_tool::data_error(error.what());
  }
  {
    const pgmdev_tool::LibraryOutputIsAnswer answer;
    std::cout << dump.csv << std::flush;
  }
  pgmdev_tool::tool_message(g_path + ": " + pgmdev_csv::kind_name(dump.kind) + " database, " +
                            count_text(dump.records, "record"));
  return pgmdev_tool::kExitOk;
}

// Lints the CSV for the generator of kind; any error is told on standard error and ends the
// command with status 1 before anything is written. Warnings are told and generation goes on.
void lint_before_generating(CsvKind kind, const char* other_command) {
  const LintReport report = lint_file(g_path);
  if (report.kind != kind && report.kind != CsvKind::kUnknown) {
    pgmdev_tool::refuse(g_path + " is a " + pgmdev_csv::kind_name(report.kind) + " CSV; use '" +
                        other_command + "' for it");
  }
  for (const auto& finding : report.findings) {
    std::cerr << format_finding(finding) << "\n";
  }
  if (report.has_errors()) {
    pgmdev_tool::refuse(g_path + ": " +
                        count_text(count_of(report, pgmdev_csv::Severity::kError), "error") +
                        "; nothing written to " + g_out);
  }
}

int run_gen_dev_info() {
  lint_before_generating(CsvKind::kDeviceInfo, "pgmdev-tool gen-flash");
  const pgmdev_tool::DataFileScope scope(g_path);
  PGMDEV_DEV_INFO_MANAGER manager(true, 0);
  manager.generate_device_database(FIO_PATH(g_path), FIO_PATH(g_out));
  return pgmdev_tool::kExitOk;
}

int run_gen_flash() {
  lint_before_generating(CsvKind::kFlash, "pgmdev-tool gen-dev-info");
  const pgmdev_tool::DataFileScope scope(g_path);
  PGMDEV_FLASH_MANAGER generator(false, 0, true, false);
  generator.generate_flash_database(FIO_PATH(g_path), FIO_PATH(g_out));
  return pgmdev_tool::kExitOk;
}

void add_generator(CLI::App& tool, const char* name, const char* description, int (*run)(),
                   const char* csv) {
  CLI::App* command = pgmdev_tool::add_command(tool, name, description, run);
  command->add_option("CSV", g_path, "the CSV source")->required()->check(CLI::ExistingFile);
  command->add_option("OUT", g_out, "the database file to write (whole or not at all)")->required();
  pgmdev_tool::set_example(command, std::string("pgmdev-tool ") + name + " " + csv + " out.pcf",
                           "(no output; out.pcf is written. A CSV with an error is told as "
                           "'pgmdev-tool lint' tells it, the status is 1 and nothing is "
                           "written.)");
}

void add_commands(CLI::App& tool) {
  CLI::App* lint = pgmdev_tool::add_command(
      tool, "lint",
      "report every problem of a device-info or flash CSV (status 1 when there is an error)",
      run_lint);
  lint->add_option("CSV", g_path, "the CSV source")->required()->check(CLI::ExistingFile);
  pgmdev_tool::add_json_flag(lint);
  pgmdev_tool::set_example(
      lint, "pgmdev-tool lint flash.csv",
      "flash.csv:10:4: error: memory_id 0x1FF does not fit a byte (0 to 0xFF) [width]\n"
      "flash.csv:15:11: error: device name FLASHA has 2 default records with every gate off "
      "(lines 9 and 15); exactly one of its rows kept then may have default_dev TRUE [default]\n"
      "pgmdev-tool: flash.csv: flash CSV, 2 errors, 0 warnings");

  CLI::App* dump = pgmdev_tool::add_command(
      tool, "dump",
      "write a device-info or flash database file as the CSV it was generated from, every "
      "record included",
      run_dump);
  dump->add_option("FILE", g_path, "the database file")->required()->check(CLI::ExistingFile);
  pgmdev_tool::set_example(dump, "pgmdev-tool dump pgm_flash.pcf > pgm_flash.csv",
                           "pgmdev-tool: pgm_flash.pcf: flash database, 95 records");

  add_generator(tool, "gen-dev-info",
                "lint the device-info CSV, then generate the device-info database OUT from it "
                "(the parts list is read from the installation root, PGMDEV_INSTALL_DIR)",
                run_gen_dev_info, "data/device_info/pgm_dev_info.csv");
  add_generator(tool, "gen-flash",
                "lint the flash CSV, then generate the flash database OUT from it", run_gen_flash,
                "data/flash/pgm_flash.csv");
}

}  // namespace

PGMDEV_TOOL_COMMANDS("", 80, add_commands);
