// Runs a call that may end in the library's internal-error report and returns the report's text.
#ifndef PGMDEV_INTERNAL_ERROR_H
#define PGMDEV_INTERNAL_ERROR_H

#include <gtest/gtest.h>

#include <functional>
#include <string>

#include "msg.h"

// The text of the internal error that f reports, or "" when it reports none. A report must come
// from the module PGMDEV and the source file source_file (repository-relative).
inline std::string internal_error_of(const std::function<void()>& f, const char* source_file) {
  try {
    f();
  } catch (const MSG_INTERNAL_ERROR_EXCEPTION& error) {
    EXPECT_EQ(error.file(), source_file);
    EXPECT_EQ(error.module(), "PGMDEV");
    return error.what();
  }
  return "";
}

#endif  // PGMDEV_INTERNAL_ERROR_H
