// Whole-file replacement by the library's three writers (pgm_flash.ini, the flash database and
// the device-info database): what the file's owner set survives, symbolic links are followed,
// a new file honours the umask and nothing changes it, and a failure of any file operation
// leaves the target, its mode, its backups and its directory as they were.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <atomic>
#include <filesystem>
#include <functional>
#include <iostream>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "cfg.h"
#include "fio_fault.h"
#include "msg.h"
#include "pgmdev_dev_info_manager.h"
#include "pgmdev_flash_ini.h"
#include "pgmdev_flash_ini_test_util.h"
#include "pgmdev_flash_manager.h"

// Every umask() call that the process makes is counted: a writer that sets the umask, even
// briefly, takes it away from files that other threads create meanwhile.
static std::atomic<int> g_umask_calls{0};
extern "C" mode_t umask(mode_t mask) noexcept {
  ++g_umask_calls;
  return static_cast<mode_t>(syscall(SYS_umask, mask));
}

namespace {

namespace fs = std::filesystem;

const std::string kFlashCsv = std::string(PGMDEV_SOURCE_DIR) + "/data/flash/pgm_flash.csv";
const std::string kDevInfoCsv =
    std::string(PGMDEV_SOURCE_DIR) + "/data/device_info/pgm_dev_info.csv";
constexpr char kFlashIniName[] = "pgm_flash.ini";
constexpr char kFlashIniLock[] = "pgm_flash.ini.lock";
// An unprivileged user and group that tests running as root give files to.
constexpr uid_t kOtherUser = 65534;
constexpr gid_t kOtherGroup = 65534;

std::set<std::string> entries(const std::string& dir) {
  std::set<std::string> names;
  for (const auto& entry : fs::directory_iterator(dir)) names.insert(entry.path().filename());
  return names;
}

// The content of a symbolic link; "" when path is none.
std::string link_content(const std::string& path) {
  std::string text(4096, '\0');
  const ssize_t length = ::readlink(path.c_str(), text.data(), text.size());
  text.resize(length > 0 ? static_cast<size_t>(length) : 0);
  return text;
}

struct stat status_of(const std::string& path) {
  struct stat info {};
  EXPECT_EQ(::lstat(path.c_str(), &info), 0) << path;
  return info;
}

// A fresh directory, removed with everything in it.
class TempDir {
 public:
  TempDir() {
    char pattern[] = "/tmp/pgmdev_replace_XXXXXX";
    const char* made = ::mkdtemp(pattern);
    EXPECT_NE(made, nullptr);
    m_dir = made ? made : "";
  }
  ~TempDir() {
    std::error_code ignored;
    fs::remove_all(m_dir, ignored);
  }
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;
  const std::string& dir() const { return m_dir; }
  std::string path(const std::string& name) const { return m_dir + "/" + name; }
  // Empties the directory.
  void clear() const {
    for (const auto& entry : fs::directory_iterator(m_dir)) fs::remove_all(entry.path());
  }

 private:
  std::string m_dir;
};

// A pgm_flash.ini of two sections, as the library writes it.
Bytes readable_flash_ini() {
  TempDir dir;
  cfg_set_value("PGMDEV_MODULE_DIR", dir.dir());
  unsigned char first[] = {1, 2, 3};
  unsigned char last[] = {9};
  EXPECT_TRUE(PGMDEV_FLASH_INI::write_flash_ini_data(PGMDEV_FLASH_INI_SFL_FLASH, first, 3));
  EXPECT_TRUE(PGMDEV_FLASH_INI::write_flash_ini_data(PGMDEV_FLASH_INI_HPS_NAND, last, 1));
  cfg_unset_value("PGMDEV_MODULE_DIR");
  return read_file(dir.path(kFlashIniName));
}

// One of the library's writers, replacing the file at a path of the test's choice.
struct Writer {
  const char* name;
  const char* file;  // its file name (pgm_flash.ini cannot be given another)
  Bytes old_content;
  // Replaces path; false when the call reported a failure (a false result or an internal
  // error), whose condition text goes to *failure.
  std::function<bool(const std::string& path, std::string* failure)> write;
};

bool write_flash_ini(const std::string& path, std::string*) {
  cfg_set_value("PGMDEV_MODULE_DIR", fs::path(path).parent_path().string());
  unsigned char data[] = {0x5A, 0xA5, 0x5A, 0xA5, 0x11};
  const bool ok = PGMDEV_FLASH_INI::write_flash_ini_data(PGMDEV_FLASH_INI_HPS_SPI, data, 5);
  cfg_unset_value("PGMDEV_MODULE_DIR");
  return ok;
}

bool reported(const std::function<void()>& call, std::string* failure) {
  try {
    call();
    return true;
  } catch (const MSG_INTERNAL_ERROR_EXCEPTION& error) {
    if (failure != nullptr) *failure = error.what();
    return false;
  }
}

bool generate_flash(const std::string& path, std::string* failure) {
  return reported(
      [&] {
        PGMDEV_FLASH_MANAGER generator(false, 0, true, false);
        generator.generate_flash_database(FIO_PATH(kFlashCsv), FIO_PATH(path));
      },
      failure);
}

bool generate_dev_info(const std::string& path, std::string* failure) {
  return reported(
      [&] {
        PGMDEV_DEV_INFO_MANAGER generator(true, 0);
        generator.generate_device_database(FIO_PATH(kDevInfoCsv), FIO_PATH(path));
      },
      failure);
}

std::vector<Writer> writers() {
  const Bytes old_database = {'o', 'l', 'd', ' ', 'd', 'a', 't', 'a', 'b', 'a', 's', 'e'};
  return {
      {"write_flash_ini_data", kFlashIniName, readable_flash_ini(), write_flash_ini},
      {"generate_flash_database", "pgm_flash.pcf", old_database, generate_flash},
      {"generate_device_database", "pgm_dev_info.pcf", old_database, generate_dev_info},
  };
}

// What the writer makes of its old content in a plain directory.
Bytes reference_content(const Writer& writer) {
  TempDir dir;
  const std::string path = dir.path(writer.file);
  write_file(path, writer.old_content);
  EXPECT_TRUE(writer.write(path, nullptr)) << writer.name;
  return read_file(path);
}

bool running_as_root() { return ::geteuid() == 0; }

TEST(FileReplace, ModeOwnerAndGroupOfTheOldFileAreKept) {
  struct Case {
    const char* what;
    mode_t mode;
    bool other_owner;  // given to another user and group first (needs root)
  } const kCases[] = {
      {"private file", 0600, false},
      {"group-readable file of another user", 0640, true},
      {"file that everybody may write", 0666, false},
      {"read-only file", 0444, false},
  };
  for (const Writer& writer : writers()) {
    const Bytes expected = reference_content(writer);
    for (const Case& c : kCases) {
      SCOPED_TRACE(std::string(writer.name) + ": " + c.what);
      if (c.other_owner && !running_as_root()) continue;
      TempDir dir;
      const std::string path = dir.path(writer.file);
      write_file(path, writer.old_content);
      ASSERT_EQ(::chmod(path.c_str(), c.mode), 0);
      const struct stat before = status_of(path);
      if (c.other_owner) {
        ASSERT_EQ(::chown(path.c_str(), kOtherUser, kOtherGroup), 0);
      }
      const uid_t owner = c.other_owner ? kOtherUser : before.st_uid;
      const gid_t group = c.other_owner ? kOtherGroup : before.st_gid;

      ASSERT_TRUE(writer.write(path, nullptr));
      EXPECT_EQ(read_file(path), expected);
      const struct stat after = status_of(path);
      EXPECT_EQ(after.st_mode & 07777, c.mode);
      EXPECT_EQ(after.st_uid, owner);
      EXPECT_EQ(after.st_gid, group);
    }
  }
}

TEST(FileReplace, SymbolicLinksAreFollowedAndKept) {
  struct Case {
    const char* what;
    // Makes the link (or links) at `link` that lead to `target`.
    std::function<void(const std::string& link, const std::string& target)> make;
    bool target_exists;
  } const kCases[] = {
      {"absolute link",
       [](const std::string& link, const std::string& target) {
         ASSERT_EQ(::symlink(target.c_str(), link.c_str()), 0);
       },
       true},
      {"relative link",
       [](const std::string& link, const std::string& target) {
         const std::string relative = "../" + fs::path(target).parent_path().filename().string() +
                                      "/" + fs::path(target).filename().string();
         ASSERT_EQ(::symlink(relative.c_str(), link.c_str()), 0);
       },
       true},
      {"link to a link",
       [](const std::string& link, const std::string& target) {
         const std::string middle = target + ".link";
         ASSERT_EQ(::symlink(target.c_str(), middle.c_str()), 0);
         ASSERT_EQ(::symlink(middle.c_str(), link.c_str()), 0);
       },
       true},
      {"link to a file not made yet",
       [](const std::string& link, const std::string& target) {
         ASSERT_EQ(::symlink(target.c_str(), link.c_str()), 0);
       },
       false},
  };
  for (const Writer& writer : writers()) {
    for (const Case& c : kCases) {
      SCOPED_TRACE(std::string(writer.name) + ": " + c.what);
      TempDir top;
      fs::create_directory(top.path("user"));
      fs::create_directory(top.path("shared"));
      const std::string link = top.path("user/") + writer.file;
      const std::string target = top.path("shared/") + writer.file;
      if (c.target_exists) {
        write_file(target, writer.old_content);
        ASSERT_EQ(::chmod(target.c_str(), 0640), 0);
      }
      c.make(link, target);
      const std::string link_text = link_content(link);
      const std::set<std::string> user_entries = entries(top.path("user"));
      std::set<std::string> shared_entries = entries(top.path("shared"));

      ASSERT_TRUE(writer.write(link, nullptr));
      // The link is still the same link; the file behind it holds the new content.
      EXPECT_TRUE(S_ISLNK(status_of(link).st_mode));
      EXPECT_EQ(link_content(link), link_text);
      EXPECT_TRUE(S_ISREG(status_of(target).st_mode));
      if (c.target_exists) {
        EXPECT_EQ(status_of(target).st_mode & 07777, 0640u);
      }
      const Bytes content = read_file(link);
      EXPECT_EQ(content, read_file(target));
      EXPECT_FALSE(content.empty());
      if (c.target_exists) {
        EXPECT_NE(content, writer.old_content);
      }
      // Nothing was left beside the link; beside the target only the new file (and the lock
      // of pgm_flash.ini).
      EXPECT_EQ(entries(top.path("user")), user_entries);
      shared_entries.insert(writer.file);
      if (std::string(writer.file) == kFlashIniName) shared_entries.insert(kFlashIniLock);
      EXPECT_EQ(entries(top.path("shared")), shared_entries);
    }
  }
}

TEST(FileReplace, NewFilesHonourTheUmaskThatNoWriterChanges) {
  const mode_t saved = ::umask(027);
  for (const Writer& writer : writers()) {
    SCOPED_TRACE(writer.name);
    TempDir dir;
    const std::string path = dir.path(writer.file);
    g_umask_calls = 0;
    ASSERT_TRUE(writer.write(path, nullptr));
    EXPECT_EQ(g_umask_calls.load(), 0) << "the writer set the process umask";
    EXPECT_EQ(status_of(path).st_mode & 07777, 0640u);
  }
  ::umask(saved);
}

// ---- A failure at every file operation ----

// The state of the target's directory that a failed write must leave as it found it.
struct Snapshot {
  Bytes content;
  mode_t mode;
  uid_t owner;
  gid_t group;
  std::map<std::string, Bytes> others;  // every other entry (backups) and its content
};

Snapshot snapshot(const TempDir& dir, const std::string& file) {
  Snapshot shot{};
  const std::string path = dir.path(file);
  shot.content = read_file(path);
  const struct stat info = status_of(path);
  shot.mode = info.st_mode & 07777;
  shot.owner = info.st_uid;
  shot.group = info.st_gid;
  for (const std::string& name : entries(dir.dir())) {
    // The lock file of pgm_flash.ini is made by the first writer and stays: not a leftover.
    if (name != file && name != kFlashIniLock) shot.others[name] = read_file(dir.path(name));
  }
  return shot;
}

struct FaultCase {
  const char* what;
  Writer writer;
  // Puts the old state in place in dir (the same for every N).
  std::function<void(const TempDir& dir)> prepare;
  // The operations that the loop must have made fail at least once.
  std::set<std::string> operations;
};

// Puts the writer's old file in place with mode 0640 (and, as root, another user's owner and
// group, so that keeping them needs a chown), plus the given extra files.
std::function<void(const TempDir&)> old_file(const Writer& writer,
                                             std::map<std::string, Bytes> extra = {},
                                             Bytes content = {}) {
  return [writer, extra, content](const TempDir& dir) {
    dir.clear();
    const std::string path = dir.path(writer.file);
    write_file(path, content.empty() ? writer.old_content : content);
    ::chmod(path.c_str(), 0640);
    if (running_as_root()) {
      EXPECT_EQ(::chown(path.c_str(), kOtherUser, kOtherGroup), 0);
    }
    for (const auto& [name, bytes] : extra) write_file(dir.path(name), bytes);
  };
}

TEST(FileReplace, FailureAtAnyFileOperationLeavesEverythingAsItWas) {
  const std::vector<Writer> all = writers();
  const Writer& flash_ini = all[0];
  const Bytes foreign = {'f', 'o', 'r', 'e', 'i', 'g', 'n'};
  // One byte short of its sections: it is read whole, then fails the read checks.
  Bytes damaged_flash_ini = flash_ini.old_content;
  damaged_flash_ini.pop_back();
  const std::set<std::string> kCommon = {"resolve", "stat",  "open",  "write",
                                         "sync",    "close", "rename"};
  std::set<std::string> flash_ini_operations = kCommon;
  flash_ini_operations.insert({"lock", "read"});
  std::set<std::string> damaged_operations = flash_ini_operations;
  damaged_operations.insert("link");
  std::vector<FaultCase> cases = {
      {"readable pgm_flash.ini", flash_ini, old_file(flash_ini), flash_ini_operations},
      {"damaged pgm_flash.ini with an earlier backup", flash_ini,
       old_file(flash_ini, {{"pgm_flash.ini.bak", foreign}}, damaged_flash_ini),
       damaged_operations},
      {"flash database", all[1], old_file(all[1]), kCommon},
      {"device-info database", all[2], old_file(all[2]), kCommon},
  };
  if (running_as_root()) {
    for (FaultCase& c : cases) c.operations.insert({"chmod", "chown"});
  }
  for (const FaultCase& c : cases) {
    SCOPED_TRACE(c.what);
    TempDir reference_dir;
    c.prepare(reference_dir);
    ASSERT_TRUE(c.writer.write(reference_dir.path(c.writer.file), nullptr));
    const Snapshot expected_after = snapshot(reference_dir, c.writer.file);

    TempDir dir;
    std::set<std::string> failed_operations;
    std::map<std::string, int> tolerated;
    unsigned long n = 1;
    for (;; ++n) {
      c.prepare(dir);
      const Snapshot before = snapshot(dir, c.writer.file);
      std::string failure;
      fio_fault_arm(n);
      const bool ok = c.writer.write(dir.path(c.writer.file), &failure);
      const char* failed = fio_fault_failed();
      fio_fault_arm(0);
      if (failed == nullptr) {
        EXPECT_TRUE(ok) << "no operation failed, yet the write did: " << failure;
        const Snapshot after = snapshot(dir, c.writer.file);
        EXPECT_EQ(after.content, expected_after.content);
        EXPECT_EQ(after.others, expected_after.others);
        break;
      }
      SCOPED_TRACE("operation " + std::to_string(n) + " (" + failed + ") failed");
      failed_operations.insert(failed);
      const Snapshot after = snapshot(dir, c.writer.file);
      if (ok) {
        // A failure may go unreported only where it cannot matter (after the rename, or at the
        // close of a descriptor that was only read): the new file is in place.
        ++tolerated[failed];
        EXPECT_EQ(after.content, expected_after.content);
        EXPECT_EQ(after.mode, expected_after.mode);
        EXPECT_EQ(after.others, expected_after.others);
        continue;
      }
      EXPECT_EQ(after.content, before.content);
      EXPECT_EQ(after.mode, before.mode);
      EXPECT_EQ(after.owner, before.owner);
      EXPECT_EQ(after.group, before.group);
      EXPECT_EQ(after.others, before.others) << "a backup changed or a temporary file is left";
      ASSERT_LT(n, 200u) << "the write never succeeds";
    }
    for (const std::string& operation : c.operations) {
      EXPECT_TRUE(failed_operations.count(operation)) << operation << " was never reached";
    }
    std::string tolerated_text;
    for (const auto& [operation, count] : tolerated) {
      tolerated_text += " " + operation + " x" + std::to_string(count);
    }
    std::cout << c.what << ": " << n - 1 << " file operations, each made to fail in turn;"
              << " failures that did not fail the write:" << tolerated_text << "\n";
  }
}

}  // namespace
