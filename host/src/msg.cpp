// Internal-error reports and the debug-message log.
#include "msg.h"

#include <cstdio>
#include <mutex>

#include "cfg.h"
#include "mem.h"

namespace {

std::mutex g_log_mutex;
std::vector<MSG_DEBUG_ENTRY>& debug_log() {
  static std::vector<MSG_DEBUG_ENTRY> log;
  return log;
}

std::string vformat(const char* format, va_list arguments) {
  va_list copy;
  va_copy(copy, arguments);
  const int length = std::vsnprintf(nullptr, 0, format, copy);
  va_end(copy);
  if (length <= 0) return std::string();
  std::string text(static_cast<size_t>(length) + 1, '\0');
  std::vsnprintf(text.data(), text.size(), format, arguments);
  text.resize(static_cast<size_t>(length));
  return text;
}

}  // namespace

MSG_INTERNAL_ERROR_EXCEPTION::MSG_INTERNAL_ERROR_EXCEPTION(const std::string& condition,
                                                           const std::string& module,
                                                           const std::string& file, int line)
    : std::runtime_error(condition), m_module(module), m_file(file), m_line(line) {}

void MSG_INTERNAL_ERROR::report(const char* condition, const char* module, const char* file,
                                int line) {
  throw MSG_INTERNAL_ERROR_EXCEPTION(condition ? condition : "", module ? module : "",
                                     file ? file : "", line);
}

void MSG_INTERNAL_ERROR::report_varg(const char* module, const char* file, int line,
                                     const char* format, ...) {
  va_list arguments;
  va_start(arguments, format);
  std::string text = vformat(format, arguments);
  va_end(arguments);
  throw MSG_INTERNAL_ERROR_EXCEPTION(text, module ? module : "", file ? file : "", line);
}

void msg_local_vdebug(const char* module, int level, const char* format, va_list arguments) {
  MSG_DEBUG_ENTRY entry{module ? module : "", level, vformat(format, arguments)};
  if (cfg_is_on("PGMDEV_DEBUG", false)) {
    std::fprintf(stderr, "%s debug(%d): %s", entry.module.c_str(), level, entry.text.c_str());
    if (entry.text.empty() || entry.text.back() != '\n') std::fputc('\n', stderr);
  }
  std::lock_guard<std::mutex> lock(g_log_mutex);
  debug_log().push_back(std::move(entry));
}

std::vector<MSG_DEBUG_ENTRY> msg_get_debug_log() {
  std::lock_guard<std::mutex> lock(g_log_mutex);
  return debug_log();
}

void msg_clear_debug_log() {
  std::lock_guard<std::mutex> lock(g_log_mutex);
  debug_log().clear();
}

void MEM_DETAIL::stl_raw_sprintf(std::string& out, const char* format, ...) {
  va_list arguments;
  va_start(arguments, format);
  out = vformat(format, arguments);
  va_end(arguments);
}
