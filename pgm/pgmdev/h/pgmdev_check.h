// The one check macro of the library: a failed condition goes to the host's internal-error
// report with its text, the module tag, the source file and the line, and does not return.
#ifndef PGMDEV_CHECK_H
#define PGMDEV_CHECK_H

#include "msg.h"

// Module tag of every report, debug message and memory-tracker registration.
#define PGMDEV_MODULE "PGMDEV"

// Reports the condition's own source text when it does not hold.
#define PGMDEV_CHECK(condition) PGMDEV_CHECK_TEXT(condition, #condition)

// Reports the given text when the condition does not hold; for conditions whose reported text
// is not the C++ that tests them.
#define PGMDEV_CHECK_TEXT(condition, text)                                   \
  do {                                                                       \
    if (!(condition)) {                                                      \
      MSG_INTERNAL_ERROR::report((text), PGMDEV_MODULE, __FILE__, __LINE__); \
    }                                                                        \
  } while (0)

// Reports a problem of an input file at its place, as "<path>:<line>:<column>: <message>", from
// this source file and line. problem is a PGMDEV_CSV_PROBLEM; path a std::string.
#define PGMDEV_FAIL_AT(path, problem)                                                \
  MSG_INTERNAL_ERROR::report_varg(PGMDEV_MODULE, __FILE__, __LINE__, "%s:%u:%u: %s", \
                                  (path).c_str(), (problem).line, (problem).column,  \
                                  (problem).message.c_str())

// Reports the text unconditionally.
#define PGMDEV_FAIL(text) MSG_INTERNAL_ERROR::report((text), PGMDEV_MODULE, __FILE__, __LINE__)

#endif  // PGMDEV_CHECK_H
