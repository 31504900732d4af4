// Whole-file replacement that keeps the replaced file's permission bits, owner and group and
// follows symbolic links (see pgmdev_file_replace.h).
#include "pgmdev_file_replace.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <random>

#include "fio.h"
#include "mem.h"
#include "pgmdev_check.h"

namespace {

const MEM_INITIALIZER g_mem_initializer(PGMDEV_MODULE);

constexpr char kFixedSuffix[] = ".tmp";
// A unique temporary name is the target's name, ".", and this many random letters and digits.
constexpr int kUniqueLetters = 8;
constexpr int kUniqueAttempts = 100;
// The permission bits that a replacement carries over (with set-id and sticky bits).
constexpr mode_t kModeBits = 07777;
// A new file: readable and writable for all, less the umask that open() applies.
constexpr mode_t kNewFileMode = 0666;
// The temporary file of an existing target is private until it has the target's bits.
constexpr mode_t kPrivateMode = 0600;

std::string unique_suffix() {
  static constexpr char kLetters[] =
      "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
  // Seeded again in a forked child, which would otherwise draw its parent's names.
  thread_local std::mt19937_64 generator;
  thread_local pid_t seeded_for = 0;
  if (seeded_for != ::getpid()) {
    seeded_for = ::getpid();
    generator.seed(std::random_device{}() ^
                   static_cast<unsigned long long>(
                       std::chrono::steady_clock::now().time_since_epoch().count()) ^
                   static_cast<unsigned long long>(seeded_for));
  }
  std::uniform_int_distribution<int> pick(0, static_cast<int>(sizeof(kLetters)) - 2);
  std::string suffix(".");
  for (int i = 0; i < kUniqueLetters; ++i) suffix += kLetters[pick(generator)];
  return suffix;
}

bool write_all(int fd, const unsigned char* data, size_t size) {
  while (size > 0) {
    const ssize_t written = FIO_FILE::write(fd, data, size);
    if (written < 0 && errno == EINTR) continue;
    if (written <= 0) return false;
    data += written;
    size -= static_cast<size_t>(written);
  }
  return true;
}

}  // namespace

PGMDEV_FILE_REPLACEMENT::~PGMDEV_FILE_REPLACEMENT() {
  if (!m_temporary.empty()) FIO_FILE::unlink(m_temporary.c_str());
}

bool PGMDEV_FILE_REPLACEMENT::fail(const char* text) {
  m_failure = text;
  if (!m_temporary.empty()) {
    FIO_FILE::unlink(m_temporary.c_str());
    m_temporary.clear();
  }
  return false;
}

bool PGMDEV_FILE_REPLACEMENT::resolve() {
  if (FIO_FILE::resolve_link(m_path, m_target) != 0) {
    return fail("resolve_link(target_path) == 0");
  }
  return true;
}

int PGMDEV_FILE_REPLACEMENT::create_temporary(NAMING naming, mode_t mode) {
  // O_EXCL: the temporary file is always a new file of this process, never something that
  // another user placed (or linked) under its name.
  const int flags = O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW;
  if (naming == NAMING::kFixed) {
    // Under the writers' lock the name is free unless an interrupted writer left the file.
    const std::string name = m_target + kFixedSuffix;
    FIO_FILE::unlink(name.c_str());
    const int fd = FIO_FILE::open(name.c_str(), flags, mode);
    if (fd >= 0) m_temporary = name;
    return fd;
  }
  for (int attempt = 0; attempt < kUniqueAttempts; ++attempt) {
    const std::string name = m_target + unique_suffix();
    const int fd = FIO_FILE::open(name.c_str(), flags, mode);
    if (fd < 0 && errno == EEXIST) continue;
    if (fd >= 0) m_temporary = name;
    return fd;
  }
  return -1;
}

bool PGMDEV_FILE_REPLACEMENT::write(const unsigned char* data, size_t size, NAMING naming) {
  struct stat old {};
  const bool exists = FIO_FILE::stat(m_target.c_str(), &old) == 0;
  if (!exists && errno != ENOENT) return fail("stat(target_path) == 0");

  const int fd = create_temporary(naming, exists ? kPrivateMode : kNewFileMode);
  if (fd < 0) return fail("temporary_file >= 0");
  const char* failure = nullptr;
  if (!write_all(fd, data, size)) failure = "write(temporary_file) == count";
  if (failure == nullptr && exists) {
    // Owner and group first: a change of owner clears the set-id bits that chmod then sets.
    struct stat made {};
    if (FIO_FILE::stat(fd, &made) != 0) {
      failure = "fstat(temporary_file) == 0";
    } else if ((made.st_uid != old.st_uid || made.st_gid != old.st_gid) &&
               FIO_FILE::chown(fd, old.st_uid, old.st_gid) != 0) {
      // A writer that may not give the file away keeps at least the group, when it is one of
      // its own; what it may not set stays its own.
      if (errno != EPERM) {
        failure = "fchown(temporary_file, owner, group) == 0";
      } else if (made.st_gid != old.st_gid &&
                 FIO_FILE::chown(fd, static_cast<uid_t>(-1), old.st_gid) != 0 && errno != EPERM) {
        failure = "fchown(temporary_file, owner, group) == 0";
      }
    }
    if (failure == nullptr && FIO_FILE::chmod(fd, old.st_mode & kModeBits) != 0) {
      failure = "fchmod(temporary_file, mode) == 0";
    }
  }
  if (failure == nullptr && FIO_FILE::sync(fd) != 0) failure = "fsync(temporary_file) == 0";
  if (FIO_FILE::close(fd) != 0 && failure == nullptr) failure = "close(temporary_file) == 0";
  return failure == nullptr || fail(failure);
}

bool PGMDEV_FILE_REPLACEMENT::commit() {
  if (FIO_FILE::rename(m_temporary.c_str(), m_target.c_str()) != 0) {
    return fail("rename(temporary_path, target_path) == 0");
  }
  m_temporary.clear();
  // Make the rename itself durable.
  const std::string directory = FIO_PATH(m_target).dirname();
  const int fd = FIO_FILE::open(directory.empty() ? "." : directory.c_str(),
                                O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd >= 0) {
    FIO_FILE::sync(fd);
    FIO_FILE::close(fd);
  }
  return true;
}
