// Feeds a CSV text to the CSV lint of the database sources, then, when the lint finds no error,
// to the generator of the CSV's kind and loads what it wrote. The lint promises that a CSV without
// errors generates a file that loads: a generator or loader that then refuses it is a finding, as
// is a lint that fails instead of returning its findings, or returns them out of order.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "cfg.h"
#include "csv_lint.h"
#include "fuzz_support.h"
#include "pgm_common.h"
#include "pgmdev_dev_info_manager.h"
#include "pgmdev_flash_manager.h"

namespace {

struct PATHS {
  std::string csv;
  std::string dev_info;
  std::string flash;
};

// No parts list lies in the installation directory: the lint does not read one.
const PATHS& paths() {
  static const PATHS made = [] {
    const std::string& directory = pgmdev_fuzz::installed_dir();
    return PATHS{directory + "/source.csv", directory + "/programmer/pgm_dev_info.pcf",
                 directory + "/programmer/pgm_flash.pcf"};
  }();
  return made;
}

void generate_and_load(pgmdev_csv::CsvKind kind) {
  if (kind == pgmdev_csv::CsvKind::kDeviceInfo) {
    PGMDEV_DEV_INFO_MANAGER generator(true, 0);
    generator.generate_device_database(paths().csv, paths().dev_info);
    PGMDEV_DEV_INFO_MANAGER loaded(false, 0);
  } else {
    PGMDEV_FLASH_MANAGER generator(false, 0, true, false);
    generator.generate_flash_database(paths().csv, paths().flash);
    PGMDEV_FLASH_MANAGER loaded(false, 1, false, false);
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size > (1u << 20)) return 0;
  const std::string text(reinterpret_cast<const char*>(data), size);
  const pgmdev_csv::LintReport report = pgmdev_csv::lint_csv_text("fuzz.csv", text);
  // The findings come by line, then column.
  for (size_t i = 1; i < report.findings.size(); ++i) {
    const pgmdev_csv::Finding& before = report.findings[i - 1];
    const pgmdev_csv::Finding& after = report.findings[i];
    if (before.line > after.line || (before.line == after.line && before.column > after.column)) {
      abort();
    }
  }
  if (report.has_errors() || report.kind == pgmdev_csv::CsvKind::kUnknown) return 0;
  pgmdev_fuzz::write_file(paths().csv, data, size);
  try {
    generate_and_load(report.kind);
  } catch (const MSG_INTERNAL_ERROR_EXCEPTION& error) {
    std::fprintf(stderr, "the lint passed a CSV that is refused with \"%s\"\n", error.what());
    abort();
  }
  PGM_COMMON::clear_outbox();
  return 0;
}
