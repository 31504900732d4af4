// Replacing a file whole or not at all while keeping what its owner set on it: the content is
// written to a temporary file in the target's directory, given the old file's permission bits
// (and owner and group where the process may set them), synced, and renamed over the target;
// the directory is synced after the rename. A symbolic link at the path is followed, so the
// file behind it is replaced in its own directory and the link stays. A new file gets 0666
// less the process umask, which is never changed. Every file operation goes through the host's
// FIO_FILE.
#ifndef PGMDEV_FILE_REPLACE_H
#define PGMDEV_FILE_REPLACE_H

#include <sys/types.h>

#include <cstddef>
#include <string>
#include <utility>

class PGMDEV_FILE_REPLACEMENT {
 public:
  // How the temporary file is named: a fresh unique name, or the target's name followed by
  // ".tmp" for a writer that holds a lock that all writers of the target take.
  enum class NAMING { kUnique, kFixed };

  explicit PGMDEV_FILE_REPLACEMENT(std::string path) : m_path(std::move(path)) {}
  // Removes the temporary file unless it was renamed over the target.
  ~PGMDEV_FILE_REPLACEMENT();
  PGMDEV_FILE_REPLACEMENT(const PGMDEV_FILE_REPLACEMENT&) = delete;
  PGMDEV_FILE_REPLACEMENT& operator=(const PGMDEV_FILE_REPLACEMENT&) = delete;

  // Follows symbolic links at the path; target() is then the file that is replaced.
  bool resolve();
  const std::string& target() const { return m_target; }

  // Writes the new content to the temporary file, with the target's permission bits, owner and
  // group when the target exists, then syncs and closes it. Needs resolve().
  bool write(const unsigned char* data, size_t size, NAMING naming);

  // Renames the temporary file over the target, then syncs the directory (a failure of that
  // sync is not reported: the replacement has happened). Needs write().
  bool commit();

  // The condition text of the step that failed, for an internal-error report; "" while none.
  const char* failure() const { return m_failure; }

 private:
  bool fail(const char* text);
  // Creates the temporary file; its descriptor, or -1.
  int create_temporary(NAMING naming, mode_t mode);

  std::string m_path;
  std::string m_target;
  std::string m_temporary;  // non-empty while a temporary file exists
  const char* m_failure = "";
};

#endif  // PGMDEV_FILE_REPLACE_H
