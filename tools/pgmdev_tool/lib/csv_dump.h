// Dump of a database file back to the CSV source it was generated from: a device-info file
// (magic "PGMIO_DM") or a flash file ("PGMIO_FM"), chosen by its magic. Generating from the
// dumped CSV gives the same file byte for byte (for a device-info file, with the catalogue and
// parts list it was generated with, from which its index tables come).
//
// A flash file is dumped whole: every record in file order, whatever the gates and the
// configuration's user-defined flash would make of it when loading.
#ifndef PGMDEV_CSV_DUMP_H
#define PGMDEV_CSV_DUMP_H

#include <stdexcept>
#include <string>

#include "csv_lint.h"

namespace pgmdev_csv {

// A file that is no database file, or that holds a value no CSV cell can hold (a text with a
// blank, a comma or a control character, an empty flash text, an enumeration number without a
// name). Its what() names the path and the reason.
class DumpError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

struct Dump {
  CsvKind kind = CsvKind::kUnknown;
  unsigned int records = 0;
  std::string csv;
};

// Decodes the database file at path. A damaged file fails the loader's check, reported as the
// host's internal-error exception (its condition text says which check); anything else that
// cannot be dumped is a DumpError.
Dump dump_database_file(const std::string& path);

}  // namespace pgmdev_csv

#endif  // PGMDEV_CSV_DUMP_H
