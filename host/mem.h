// Memory-tracker registration and formatting helper of the host.
#ifndef PGMHOST_MEM_H
#define PGMHOST_MEM_H

#include <string>
#include <vector>

#include "pgmhost_export.h"

// Registers a module with the memory tracker for the lifetime of the object. The stand-in only
// records the module name.
class PGMHOST_API MEM_INITIALIZER {
 public:
  explicit MEM_INITIALIZER(const char* module);
  ~MEM_INITIALIZER();
  MEM_INITIALIZER(const MEM_INITIALIZER&) = delete;
  MEM_INITIALIZER& operator=(const MEM_INITIALIZER&) = delete;

  // Names of the modules registered now, in registration order.
  static std::vector<std::string> registered_modules();

 private:
  std::string m_module;
};

namespace MEM_DETAIL {
// Replaces out with the printf-style formatting of format and its arguments.
PGMHOST_API void stl_raw_sprintf(std::string& out, const char* format, ...)
    __attribute__((format(printf, 2, 3)));
}  // namespace MEM_DETAIL

#endif  // PGMHOST_MEM_H
