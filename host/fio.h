// File access helpers of the host.
#ifndef PGMHOST_FIO_H
#define PGMHOST_FIO_H

#include <sys/stat.h>
#include <sys/types.h>

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

// The file operations through which the library reads and replaces files. Each behaves as its
// POSIX namesake: the same arguments, the same result (-1 on failure) and errno.
class PGMHOST_API FIO_FILE {
 public:
  static int open(const char* path, int flags, mode_t mode = 0);
  static ssize_t read(int fd, void* buffer, size_t count);
  static ssize_t write(int fd, const void* buffer, size_t count);
  // fsync(2).
  static int sync(int fd);
  // close(2): the descriptor is released even when the result is -1.
  static int close(int fd);
  // stat(2) of a path and fstat(2) of a descriptor.
  static int stat(const char* path, struct stat* info);
  static int stat(int fd, struct stat* info);
  // fchmod(2) and fchown(2).
  static int chmod(int fd, mode_t mode);
  static int chown(int fd, uid_t owner, gid_t group);
  // flock(2).
  static int lock(int fd, int operation);
  static int rename(const char* from, const char* to);
  // link(2): a second name for an existing file; fails with EEXIST when `to` exists.
  static int link(const char* from, const char* to);
  static int unlink(const char* path);
  // The path that a write to `path` reaches: while the last component is a symbolic link, its
  // content takes its place (relative to the link's directory). A path that does not exist
  // resolves to itself. 0, or -1 with errno (ELOOP after 40 links).
  static int resolve_link(const std::string& path, std::string& resolved);
};

#endif  // PGMHOST_FIO_H
