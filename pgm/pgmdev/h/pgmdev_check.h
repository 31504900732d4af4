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

// Reports the text unconditionally.
#define PGMDEV_FAIL(text) MSG_INTERNAL_ERROR::report((text), PGMDEV_MODULE, __FILE__, __LINE__)

#endif  // PGMDEV_CHECK_H
