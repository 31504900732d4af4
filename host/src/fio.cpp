// File paths, file-system queries and the file operations, with the test seam that fails one
// of them on request (fio_fault.h).
#include "fio.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <climits>

#include "fio_fault.h"

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

// ---- File operations and their fault seam ----

namespace {

std::atomic<unsigned long> g_fault_nth{0};
std::atomic<unsigned long> g_fault_count{0};
std::atomic<const char*> g_fault_failed{nullptr};

// Counts one operation; true (with errno EIO) when it is the one to fail.
bool injected_failure(const char* operation) {
  const unsigned long count = g_fault_count.fetch_add(1) + 1;
  if (count != g_fault_nth.load()) return false;
  g_fault_failed.store(operation);
  errno = EIO;
  return true;
}

// The most links followed before a path is given up as a loop (as the kernel does).
constexpr int kMaxLinkHops = 40;

}  // namespace

void fio_fault_arm(unsigned long nth) {
  g_fault_nth.store(0);
  g_fault_count.store(0);
  g_fault_failed.store(nullptr);
  g_fault_nth.store(nth);
}

unsigned long fio_fault_operations() { return g_fault_count.load(); }

const char* fio_fault_failed() { return g_fault_failed.load(); }

int FIO_FILE::open(const char* path, int flags, mode_t mode) {
  if (injected_failure("open")) return -1;
  int fd;
  do {
    fd = ::open(path, flags, mode);
  } while (fd < 0 && errno == EINTR);
  return fd;
}

ssize_t FIO_FILE::read(int fd, void* buffer, size_t count) {
  if (injected_failure("read")) return -1;
  return ::read(fd, buffer, count);
}

ssize_t FIO_FILE::write(int fd, const void* buffer, size_t count) {
  if (injected_failure("write")) return -1;
  return ::write(fd, buffer, count);
}

int FIO_FILE::sync(int fd) {
  if (injected_failure("sync")) return -1;
  return ::fsync(fd);
}

int FIO_FILE::close(int fd) {
  if (injected_failure("close")) {
    ::close(fd);
    errno = EIO;
    return -1;
  }
  return ::close(fd);
}

int FIO_FILE::stat(const char* path, struct stat* info) {
  if (injected_failure("stat")) return -1;
  return ::stat(path, info);
}

int FIO_FILE::stat(int fd, struct stat* info) {
  if (injected_failure("stat")) return -1;
  return ::fstat(fd, info);
}

int FIO_FILE::chmod(int fd, mode_t mode) {
  if (injected_failure("chmod")) return -1;
  return ::fchmod(fd, mode);
}

int FIO_FILE::chown(int fd, uid_t owner, gid_t group) {
  if (injected_failure("chown")) return -1;
  return ::fchown(fd, owner, group);
}

int FIO_FILE::lock(int fd, int operation) {
  if (injected_failure("lock")) return -1;
  int result;
  do {
    result = ::flock(fd, operation);
  } while (result != 0 && errno == EINTR);
  return result;
}

int FIO_FILE::rename(const char* from, const char* to) {
  if (injected_failure("rename")) return -1;
  return ::rename(from, to);
}

int FIO_FILE::link(const char* from, const char* to) {
  if (injected_failure("link")) return -1;
  return ::link(from, to);
}

int FIO_FILE::unlink(const char* path) { return ::unlink(path); }

int FIO_FILE::resolve_link(const std::string& path, std::string& resolved) {
  if (injected_failure("resolve")) return -1;
  std::string current = path;
  for (int hop = 0; hop <= kMaxLinkHops; ++hop) {
    struct stat info {};
    if (::lstat(current.c_str(), &info) != 0) {
      if (errno != ENOENT) return -1;
      resolved = current;
      return 0;
    }
    if (!S_ISLNK(info.st_mode)) {
      resolved = current;
      return 0;
    }
    char target[PATH_MAX];
    const ssize_t length = ::readlink(current.c_str(), target, sizeof(target));
    if (length < 0) return -1;
    if (length == 0) {
      errno = EINVAL;
      return -1;
    }
    if (static_cast<size_t>(length) == sizeof(target)) {
      errno = ENAMETOOLONG;
      return -1;
    }
    const std::string content(target, static_cast<size_t>(length));
    const std::string directory = FIO_PATH(current).dirname();
    if (content[0] == '/' || directory.empty()) {
      current = content;
    } else {
      current = (FIO_PATH(directory) / content).path();
    }
  }
  errno = ELOOP;
  return -1;
}
