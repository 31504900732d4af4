// Internal-error and debug-message services of the host.
#ifndef PGMHOST_MSG_H
#define PGMHOST_MSG_H

#include <cstdarg>
#include <stdexcept>
#include <string>
#include <vector>

#include "pgmhost_export.h"

// Debug level used by every debug message of the device library.
constexpr int MSG_D_LEVEL = 2;

// Thrown by MSG_INTERNAL_ERROR::report and report_varg. what() is exactly the condition text
// (or the formatted message); module(), file() and line() say where the check failed.
class PGMHOST_API MSG_INTERNAL_ERROR_EXCEPTION : public std::runtime_error {
 public:
  MSG_INTERNAL_ERROR_EXCEPTION(const std::string& condition, const std::string& module,
                               const std::string& file, int line);
  const std::string& module() const { return m_module; }
  const std::string& file() const { return m_file; }
  int line() const { return m_line; }

 private:
  std::string m_module;
  std::string m_file;
  int m_line;
};

class PGMHOST_API MSG_INTERNAL_ERROR {
 public:
  // Reports a failed internal check; never returns.
  [[noreturn]] static void report(const char* condition, const char* module, const char* file,
                                  int line);
  // Reports a failure with a printf-style message; never returns.
  [[noreturn]] static void report_varg(const char* module, const char* file, int line,
                                       const char* format, ...)
      __attribute__((format(printf, 4, 5)));
};

// Formats a debug message, appends it to the in-process debug log and prints it to standard
// error when the switch PGMDEV_DEBUG is on.
PGMHOST_API void msg_local_vdebug(const char* module, int level, const char* format,
                                  va_list arguments);

// One entry of the in-process debug log.
struct MSG_DEBUG_ENTRY {
  std::string module;
  int level;
  std::string text;
};

// The debug log, for hosts and tests.
PGMHOST_API std::vector<MSG_DEBUG_ENTRY> msg_get_debug_log();
PGMHOST_API void msg_clear_debug_log();

#endif  // PGMHOST_MSG_H
