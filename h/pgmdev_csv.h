// The CSV sources of the two database files, as the generators read them. Each manager's
// check_csv_cell applies to one data cell the rules that its generator applies when it writes
// that cell, so that a tool can report every bad cell of a CSV, with its place, before it
// generates anything.
#ifndef PGMDEV_CSV_H
#define PGMDEV_CSV_H

#include <string>

#include "pgmdev_export.h"
#include "pgmdev_types.h"

// A problem found in a CSV source: where it is (line counted from 1 in the file, column counted
// from 1 in its row; 0 where the finder does not know it) and which rule it breaks, with a
// message that names the column and the value and says what is accepted. The rules:
//   "number"      the cell is not a number (decimal, or hexadecimal after 0x);
//   "width"       a number too wide for its column;
//   "text-length" a text over the 255 bytes that a field holds;
//   "empty-text"  an empty text where the column needs one;
//   "flag"        a flag other than TRUE or FALSE;
//   "name"        a name that the column's name table does not hold;
//   "default"     a flash device name without exactly one default record for some setting of
//                 the gates.
struct PGMDEV_CSV_PROBLEM {
  unsigned int line = 0;
  unsigned int column = 0;
  std::string rule;
  std::string message;
};

// The type row's spelling of column types 0 to 7: "DEVID_ENUM", "DEVID_STR", "STL_STRING",
// "bool", "BYTE", "WORD", "DWORD", "ENUM". Null for any other value.
PGMDEV_API const char* pgmdev_csv_type_name(PGMDEV_MANAGER_TYPE type);

#endif  // PGMDEV_CSV_H
