// File paths and file-system queries.
#include "fio.h"

#include <unistd.h>

#include <climits>

FIO_PATH::FIO_PATH(const std::string& path) : m_path(path) {}
FIO_PATH::FIO_PATH(const char* path) : m_path(path ? path : "") {}

std::string FIO_PATH::fullpath() const {
  if (m_path.empty() || m_path[0] == '/') return m_path;
  char cwd[PATH_MAX];
  if (getcwd(cwd, sizeof(cwd)) == nullptr) return m_path;
  return std::string(cwd) + "/" + m_path;
}

std::string FIO_PATH::dirname() const {
  const size_t slash = m_path.find_last_of('/');
  if (slash == std::string::npos) return "";
  return slash == 0 ? "/" : m_path.substr(0, slash);
}

std::string FIO_PATH::basename() const {
  const size_t slash = m_path.find_last_of('/');
  return slash == std::string::npos ? m_path : m_path.substr(slash + 1);
}

FIO_PATH FIO_PATH::operator/(const std::string& component) const {
  if (m_path.empty()) return FIO_PATH(component);
  if (m_path.back() == '/') return FIO_PATH(m_path + component);
  return FIO_PATH(m_path + "/" + component);
}

bool FIO_FILE_SYSTEM::exists(const char* path) {
  struct stat info {};
  return path != nullptr && ::stat(path, &info) == 0;
}

bool FIO_FILE_SYSTEM::status(const char* path, struct stat* info) {
  return path != nullptr && info != nullptr && ::stat(path, info) == 0;
}
