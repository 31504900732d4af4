// File access helpers of the host.
#ifndef PGMHOST_FIO_H
#define PGMHOST_FIO_H

#include <sys/stat.h>

#include <string>

#include "pgmhost_export.h"

// A file path.
class PGMHOST_API FIO_PATH {
 public:
  FIO_PATH() = default;
  FIO_PATH(const std::string& path);  // NOLINT: paths convert from text implicitly.
  FIO_PATH(const char* path);         // NOLINT
  // The path as given, made absolute against the current directory when relative.
  std::string fullpath() const;
  // The path as given.
  const std::string& path() const { return m_path; }
  // The directory part ("" when the path has none) and the last component.
  std::string dirname() const;
  std::string basename() const;
  // This path joined with a further component.
  FIO_PATH operator/(const std::string& component) const;

 private:
  std::string m_path;
};

class PGMHOST_API FIO_FILE_SYSTEM {
 public:
  // Whether something exists at path.
  static bool exists(const char* path);
  static bool exists(const std::string& path) { return exists(path.c_str()); }
  // stat(2) of path; true on success with st_size filled in.
  static bool status(const char* path, struct stat* info);
  static bool status(const std::string& path, struct stat* info) {
    return status(path.c_str(), info);
  }
};

#endif  // PGMHOST_FIO_H
