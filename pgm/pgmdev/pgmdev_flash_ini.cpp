// Flash parameter values (text conversions and display) and the flash parameter file
// pgm_flash.ini (section store and field encoding).
#include "pgmdev_flash_ini.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <string>
#include <vector>

#include "fio.h"
#include "gen.h"
#include "mem.h"
#include "pgmdev_check.h"
#include "pgmdev_file_replace.h"

const std::string PGMDEV_FLASH_INI_STRING[3] = {"SFL FLASH", "HPS SPI", "HPS NAND"};

namespace {

// Registers the module with the host's memory tracker while the library is loaded.
const MEM_INITIALIZER g_mem_initializer(PGMDEV_MODULE);

// ---- Parameter types ----

// Bit count and maximum of a numeric parameter type; false for strings, bools and anything
// that is not a type.
bool numeric_type_limits(PGMDEV_PARAM_TYPE type, unsigned int& bits, unsigned long long& max) {
  switch (type) {
    case PGMDEV_PARAM_BYTE:
      bits = 8;
      max = 0xFFull;
      return true;
    case PGMDEV_PARAM_WORD:
      bits = 16;
      max = 0xFFFFull;
      return true;
    case PGMDEV_PARAM_DWORD:
      bits = 32;
      max = 0xFFFFFFFFull;
      return true;
    case PGMDEV_PARAM_QWORD:
      bits = 64;
      max = 0xFFFFFFFFFFFFFFFFull;
      return true;
    default:
      return false;
  }
}

// Encoded length of a fixed-size numeric or bool field; 0 for strings and non-types.
unsigned int fixed_field_bytes(PGMDEV_PARAM_TYPE type) {
  switch (type) {
    case PGMDEV_PARAM_BOOL:
    case PGMDEV_PARAM_BYTE:
      return 1;
    case PGMDEV_PARAM_WORD:
      return 2;
    case PGMDEV_PARAM_DWORD:
      return 4;
    case PGMDEV_PARAM_QWORD:
      return 8;
    default:
      return 0;
  }
}

// The unsigned value of a byte, word, dword or qword object.
unsigned long long load_numeric(PGMDEV_PARAM_TYPE type, const void* value) {
  switch (type) {
    case PGMDEV_PARAM_BYTE:
      return *static_cast<const unsigned char*>(value);
    case PGMDEV_PARAM_WORD:
      return *static_cast<const unsigned short*>(value);
    case PGMDEV_PARAM_DWORD:
      return *static_cast<const unsigned int*>(value);
    default:
      return *static_cast<const unsigned long long*>(value);
  }
}

// Stores the low bits of number into a byte, word, dword or qword object.
void store_numeric(PGMDEV_PARAM_TYPE type, void* value, unsigned long long number) {
  switch (type) {
    case PGMDEV_PARAM_BYTE:
      *static_cast<unsigned char*>(value) = static_cast<unsigned char>(number);
      break;
    case PGMDEV_PARAM_WORD:
      *static_cast<unsigned short*>(value) = static_cast<unsigned short>(number);
      break;
    case PGMDEV_PARAM_DWORD:
      *static_cast<unsigned int*>(value) = static_cast<unsigned int>(number);
      break;
    default:
      *static_cast<unsigned long long*>(value) = number;
      break;
  }
}

// Rule lists are count-prefixed pairs; the checks work on the low 32 bits under the type's
// 32-bit mask.
bool in_valid_ranges(unsigned int value32, unsigned int mask32, const unsigned int* ranges) {
  const unsigned int count = ranges[0];
  for (unsigned int k = 0; k < count; ++k) {
    const unsigned int low = ranges[1 + 2 * k] & mask32;
    const unsigned int high = ranges[2 + 2 * k] & mask32;
    if (value32 >= low && value32 <= high) return true;
  }
  return false;
}

bool hits_invalid_rule(unsigned int value32, unsigned int mask32, const unsigned int* rules) {
  const unsigned int count = rules[0];
  for (unsigned int k = 0; k < count; ++k) {
    const unsigned int mask = rules[1 + 2 * k];
    const unsigned int pattern = rules[2 + 2 * k];
    if ((value32 & mask & mask32) == (pattern & mask32)) return true;
  }
  return false;
}

int count_set_bits(unsigned long long value) {
  int count = 0;
  for (; value != 0; value &= value - 1) ++count;
  return count;
}

// ---- File layout ----

constexpr char kFileName[] = "/pgm_flash.ini";
constexpr char kLockSuffix[] = ".lock";
constexpr char kBackupSuffix[] = ".bak";
constexpr unsigned int kSignatureBytes = 16;
constexpr unsigned int kCountOffset = 16;
constexpr unsigned int kDirectoryOffset = 20;
constexpr unsigned int kEntryBytes = 8;
// The writer always puts a directory of one entry per section.
constexpr unsigned int kSectionCount = 3;
constexpr unsigned int kWrittenHeaderBytes = kDirectoryOffset + kEntryBytes * kSectionCount;
// A file shorter than this is not opened further.
constexpr unsigned int kMinimumFileBytes = 17;

static_assert(sizeof(PGMDEV_FLASH_INI_CONST_STRING) == kSignatureBytes + 1);

std::string flash_ini_path() { return gen_get_module_path() + kFileName; }

unsigned int load_le32(const unsigned char* bytes) {
  return static_cast<unsigned int>(bytes[0]) | static_cast<unsigned int>(bytes[1]) << 8 |
         static_cast<unsigned int>(bytes[2]) << 16 | static_cast<unsigned int>(bytes[3]) << 24;
}

void store_le32(unsigned char* bytes, unsigned int value) {
  for (int i = 0; i < 4; ++i) bytes[i] = static_cast<unsigned char>(value >> (8 * i));
}

// What a look at the file found.
enum class FileState {
  kMissing,     // nothing at the path
  kUnreadable,  // exists, but opening or reading it failed: its content is unknown
  kDamaged,     // read whole, but fails a file-level check
  kNotFile,     // something other than a regular file: it cannot be replaced either
  kReadable,    // passes every file-level check; bytes holds the whole file
};

// Reads the file whole into bytes. kUnreadable on a read error; kDamaged when the file ends
// before its length (someone truncated it in place).
FileState read_whole_file(int fd, std::vector<unsigned char>& bytes, unsigned int length) {
  bytes.assign(length, 0);
  size_t done = 0;
  while (done < length) {
    const ssize_t got = FIO_FILE::read(fd, bytes.data() + done, length - done);
    if (got < 0 && errno == EINTR) continue;
    if (got < 0) return FileState::kUnreadable;
    if (got == 0) return FileState::kDamaged;
    done += static_cast<size_t>(got);
  }
  return FileState::kReadable;
}

// Whether the image is the one that the writer makes when every section is empty: the
// signature, three entries and nothing else. Readers find no section in it; writers replace it
// as the library's own file rather than as a damaged one.
bool is_empty_image(const std::vector<unsigned char>& bytes) {
  if (bytes.size() != kWrittenHeaderBytes) return false;
  if (load_le32(&bytes[kCountOffset]) != kSectionCount) return false;
  return std::all_of(bytes.begin() + kDirectoryOffset, bytes.end(),
                     [](unsigned char byte) { return byte == 0; });
}

// Loads the file and applies the checks that concern the whole file: length, signature, entry
// count and a directory whose sections follow each other without gaps up to the end of the
// file. The count check against a particular section is left to section_of().
FileState load_flash_ini(const std::string& path, std::vector<unsigned char>& bytes) {
  bytes.clear();
  const int fd = FIO_FILE::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return errno == ENOENT ? FileState::kMissing : FileState::kUnreadable;
  // The length comes from the opened file, so that a file renamed into place meanwhile is
  // read consistently.
  struct stat info {};
  FileState state = FileState::kReadable;
  if (FIO_FILE::stat(fd, &info) != 0) {
    state = FileState::kUnreadable;
  } else if (!S_ISREG(info.st_mode)) {
    state = FileState::kNotFile;
  } else if (static_cast<unsigned int>(info.st_size) < kMinimumFileBytes) {
    state = FileState::kDamaged;
  } else {
    state = read_whole_file(fd, bytes, static_cast<unsigned int>(info.st_size));
  }
  // A descriptor that was only read from has nothing to lose at its close.
  FIO_FILE::close(fd);
  if (state != FileState::kReadable) return state;
  const unsigned int length = static_cast<unsigned int>(bytes.size());

  if (std::memcmp(bytes.data(), PGMDEV_FLASH_INI_CONST_STRING, kSignatureBytes) != 0) {
    return FileState::kDamaged;
  }
  if (length <= kDirectoryOffset) return FileState::kDamaged;
  if (is_empty_image(bytes)) return FileState::kReadable;
  const unsigned int count = load_le32(&bytes[kCountOffset]);
  // 64-bit arithmetic: a huge count must not wrap the directory's end.
  const unsigned long long directory_end =
      kDirectoryOffset + static_cast<unsigned long long>(kEntryBytes) * count;
  if (length <= directory_end) return FileState::kDamaged;

  unsigned long long position = directory_end;
  unsigned long long size_sum = 0;
  for (unsigned int i = 0; i < count; ++i) {
    const unsigned char* entry = &bytes[kDirectoryOffset + kEntryBytes * i];
    const unsigned int offset = load_le32(entry);
    const unsigned int size = load_le32(entry + 4);
    if (offset != 0) {
      if (offset != position || size == 0 || size > length - position) {
        return FileState::kDamaged;
      }
      position += size;
    } else if (size != 0) {
      return FileState::kDamaged;
    }
    size_sum += size;
  }
  if (position != length || length != directory_end + size_sum) return FileState::kDamaged;
  return FileState::kReadable;
}

// Offset and size of section s in a readable image; false when the directory has no entry for
// it or the entry is empty.
bool section_of(const std::vector<unsigned char>& bytes, unsigned int s, unsigned int& offset,
                unsigned int& size) {
  const unsigned int count = load_le32(&bytes[kCountOffset]);
  if (count <= s) return false;
  const unsigned long long directory_end =
      kDirectoryOffset + static_cast<unsigned long long>(kEntryBytes) * count;
  const unsigned char* entry = &bytes[kDirectoryOffset + kEntryBytes * s];
  offset = load_le32(entry);
  size = load_le32(entry + 4);
  if (offset == 0 || offset < directory_end) return false;
  if (offset > bytes.size() || size > bytes.size() - offset) return false;
  return true;
}

// Opens the lock file beside the target, creating it when missing. A new lock file gets the
// target's permission bits, owner and group where the target exists (so that whoever may write
// the target may also open its lock), else 0666 less the umask. A lock file that this process
// may not write is opened read-only: flock works on any descriptor.
int open_lock_file(const std::string& lock_path, const std::string& target) {
  struct stat target_info {};
  const bool target_exists = FIO_FILE::stat(target.c_str(), &target_info) == 0;
  if (!target_exists && errno != ENOENT) return -1;
  const mode_t mode = target_exists ? (target_info.st_mode & 07777) : 0666;
  // Twice: a lock file that another writer creates between the two opens is then opened.
  for (int attempt = 0; attempt < 2; ++attempt) {
    int fd = FIO_FILE::open(lock_path.c_str(), O_RDWR | O_CLOEXEC);
    if (fd >= 0) return fd;
    if (errno == EACCES || errno == EPERM || errno == EROFS) {
      return FIO_FILE::open(lock_path.c_str(), O_RDONLY | O_CLOEXEC);
    }
    if (errno != ENOENT) return -1;
    // O_EXCL: never created through a link that someone placed under the lock's name.
    fd = FIO_FILE::open(lock_path.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, mode);
    if (fd < 0) {
      if (errno == EEXIST) continue;
      return -1;
    }
    if (target_exists) {
      // open() applied the umask; the owner and group are kept where this process may set
      // them, the bits always.
      const bool owned =
          FIO_FILE::chown(fd, target_info.st_uid, target_info.st_gid) == 0 || errno == EPERM;
      if (!owned || FIO_FILE::chmod(fd, mode) != 0) {
        FIO_FILE::close(fd);
        return -1;
      }
    }
    return fd;
  }
  return -1;
}

// Holds an exclusive advisory lock on the target's lock file for its lifetime. flock locks
// belong to the open file description, so writers in one process exclude each other too.
class FlashIniLock {
 public:
  FlashIniLock(const std::string& lock_path, const std::string& target)
      : m_fd(open_lock_file(lock_path, target)) {
    if (m_fd >= 0 && FIO_FILE::lock(m_fd, LOCK_EX) != 0) {
      FIO_FILE::close(m_fd);
      m_fd = -1;
    }
  }
  ~FlashIniLock() {
    if (m_fd >= 0) FIO_FILE::close(m_fd);  // closing the descriptor releases the lock
  }
  FlashIniLock(const FlashIniLock&) = delete;
  FlashIniLock& operator=(const FlashIniLock&) = delete;

  bool held() const { return m_fd >= 0; }

 private:
  int m_fd;
};

// Keeps the file at path under the first free backup name (path.bak, then path.bak.1, ...)
// while path itself stays in place until the rename of the new file replaces it. An earlier
// backup is never replaced. undo() takes the backup back when the replacement fails.
class Backup {
 public:
  bool keep(const std::string& path) {
    for (unsigned int n = 0; n < kMaxBackups; ++n) {
      std::string name = path + kBackupSuffix;
      if (n > 0) name += "." + std::to_string(n);
      if (FIO_FILE::link(path.c_str(), name.c_str()) == 0) {
        m_path = path;
        m_name = name;
        m_moved = false;
        return true;
      }
      if (errno == EEXIST) continue;
      if (errno != EPERM && errno != ENOTSUP && errno != EOPNOTSUPP && errno != EMLINK) {
        return false;
      }
      // A file system without hard links: move the file aside under a free name instead.
      struct stat existing {};
      if (FIO_FILE::stat(name.c_str(), &existing) == 0) continue;
      if (errno != ENOENT || FIO_FILE::rename(path.c_str(), name.c_str()) != 0) return false;
      m_path = path;
      m_name = name;
      m_moved = true;
      return true;
    }
    return false;
  }
  void undo() {
    if (m_name.empty()) return;
    if (m_moved) {
      FIO_FILE::rename(m_name.c_str(), m_path.c_str());
    } else {
      FIO_FILE::unlink(m_name.c_str());
    }
    m_name.clear();
  }

 private:
  // Backup names tried before the write gives up rather than replace one.
  static constexpr unsigned int kMaxBackups = 1000;
  std::string m_path;
  std::string m_name;
  bool m_moved = false;
};

// Whether a text of decimal (or, with is_hex, hexadecimal) digits has a value below 2^64.
bool fits_64_bits(const std::string& digits, bool is_hex) {
  static constexpr char kMaxDecimal[] = "18446744073709551615";
  const size_t first = std::min(digits.find_first_not_of('0'), digits.size());
  const std::string significant = digits.substr(first);
  if (is_hex) return significant.size() <= 16;
  const size_t max_length = sizeof(kMaxDecimal) - 1;
  if (significant.size() != max_length) return significant.size() < max_length;
  return significant <= kMaxDecimal;
}

}  // namespace

// ---- Value conversion ----

unsigned long long PGMDEV_FLASH_INI::convert_string_to_qword(std::string string, bool no_empty,
                                                             bool* ok) {
  PGMDEV_CHECK(!no_empty || !string.empty());
  const bool is_hex = string.size() >= 2 && string[0] == '0' && string[1] == 'x';
  if (is_hex) {
    string.erase(0, 2);
    stl_toupper(string);
  }
  bool accepted = true;
  for (const char c : string) {
    const bool digit = c >= '0' && c <= '9';
    const bool hex_letter = (c >= 'A' && c <= 'F') || (c >= 'a' && c <= 'f');
    if (!digit && !(is_hex && hex_letter)) {
      accepted = false;
      break;
    }
  }
  // Digits whose value does not fit 64 bits are refused like any other bad text: the parser
  // would wrap them to an unrelated small number.
  if (accepted && !fits_64_bits(string, is_hex)) accepted = false;
  unsigned long long result = 0;
  if (!accepted) {
    if (ok == nullptr) PGMDEV_FAIL("Invalid string to integer conversion");
  } else {
    result = gen_local_strtoQWORD(string.c_str(), nullptr, is_hex ? 16 : 10);
  }
  if (ok != nullptr) *ok = accepted;
  return result;
}

bool PGMDEV_FLASH_INI::convert_string_to_qword(PGMDEV_PARAM_TYPE type, unsigned long long& value,
                                               bool is_hex, std::string text, bool power_of_two,
                                               const unsigned int* valid_ranges,
                                               const unsigned int* invalid_rules, bool exponent,
                                               unsigned int multiple, std::string& message) {
  value = 0;
  message.clear();
  unsigned int bits = 0;
  unsigned long long max = 0;
  if (!numeric_type_limits(type, bits, max)) return true;

  if (text == "-1") {
    value = max;
  } else {
    if (is_hex && text.compare(0, 2, "0x") != 0) text.insert(0, "0x");
    bool ok = false;
    value = convert_string_to_qword(text, false, &ok);
    if (!ok) {
      message = "Invalid QWORD conversion";
      return false;
    }
    if (value > max) {
      message = "Conversion overflow compare to type";
      return false;
    }
  }
  if (power_of_two && count_set_bits(value & max) != 1) {
    message = "Input must be power of 2";
    return false;
  }
  const unsigned int mask32 = static_cast<unsigned int>(max);
  const unsigned int value32 = static_cast<unsigned int>(value);
  if (valid_ranges != nullptr && !in_valid_ranges(value32, mask32, valid_ranges)) {
    message = "Input is out of range";
    return false;
  }
  if (invalid_rules != nullptr && hits_invalid_rule(value32, mask32, invalid_rules)) {
    message = "Input is invalid (hit)";
    return false;
  }
  if (exponent && value != max) {
    // 2 to the power value fits the type only below its bit count.
    if (value >= bits) {
      message = "Calculation overflow compare to type";
      return false;
    }
    value = 1ull << value;
  } else {
    PGMDEV_CHECK(multiple != 0);
    const bool overflow = value > max / multiple;
    value *= multiple;
    if (overflow) {
      message = "Calculation overflow compare to type";
      return false;
    }
  }
  return true;
}

std::string PGMDEV_FLASH_INI::convert_qword_to_hex_string(unsigned long long value,
                                                          unsigned int count, bool with_prefix) {
  PGMDEV_CHECK(count != 0 && count <= 16);
  static constexpr char kDigits[] = "0123456789ABCDEF";
  std::string digits(16, '0');
  for (int i = 15; i >= 0; --i, value >>= 4) digits[i] = kDigits[value & 0xF];
  digits.erase(0, 16 - count);
  return with_prefix ? "0x" + digits : digits;
}

std::string PGMDEV_FLASH_INI::convert_dword_to_hex_string(unsigned int value, unsigned int count,
                                                          bool with_prefix) {
  PGMDEV_CHECK(count != 0 && count <= 8);
  const std::string digits = convert_qword_to_hex_string(value, count, false);
  return with_prefix ? "0x" + digits : digits;
}

std::string PGMDEV_FLASH_INI::convert_qword_to_string(unsigned long long value) {
  std::string text;
  MEM_DETAIL::stl_raw_sprintf(text, "%llu", value);
  return text;
}

std::string PGMDEV_FLASH_INI::print_flash_ini_data(PGMDEV_PARAM_TYPE type, bool hex, void* value) {
  switch (type) {
    case PGMDEV_PARAM_STRING:
      return *static_cast<const std::string*>(value);
    case PGMDEV_PARAM_BOOL:
      // Read as a byte: any non-zero byte is true.
      return *static_cast<const unsigned char*>(value) != 0 ? "True" : "False";
    case PGMDEV_PARAM_BYTE:
    case PGMDEV_PARAM_WORD:
    case PGMDEV_PARAM_DWORD: {
      const unsigned long long number = load_numeric(type, value);
      if (!hex) return convert_qword_to_string(number);
      return convert_dword_to_hex_string(static_cast<unsigned int>(number),
                                         2 * fixed_field_bytes(type), true);
    }
    case PGMDEV_PARAM_QWORD: {
      const unsigned long long number = load_numeric(type, value);
      return hex ? convert_qword_to_hex_string(number, 16, true) : convert_qword_to_string(number);
    }
    default:
      PGMDEV_FAIL("Unsupport param type");
  }
}

// ---- File store ----

unsigned char* PGMDEV_FLASH_INI::read_flash_ini_data(PGMDEV_FLASH_INI_ENUM section,
                                                     unsigned int& size) {
  size = 0;
  std::vector<unsigned char> bytes;
  if (load_flash_ini(flash_ini_path(), bytes) != FileState::kReadable) return nullptr;
  unsigned int offset = 0;
  unsigned int section_size = 0;
  if (!section_of(bytes, static_cast<unsigned int>(section), offset, section_size)) {
    return nullptr;
  }
  unsigned char* data = new unsigned char[section_size];
  std::memcpy(data, bytes.data() + offset, section_size);
  size = section_size;
  return data;
}

bool PGMDEV_FLASH_INI::write_flash_ini_data(PGMDEV_FLASH_INI_ENUM section, unsigned char* data,
                                            unsigned int size) {
  const unsigned int s = static_cast<unsigned int>(section);
  if (s > 2) return false;
  if (size != 0) {
    PGMDEV_CHECK(data != NULL);
  } else {
    PGMDEV_CHECK(data == NULL);
  }

  // A symbolic link is followed: the file behind it is the one replaced, locked and backed up.
  PGMDEV_FILE_REPLACEMENT replacement(flash_ini_path());
  if (!replacement.resolve()) return false;
  const std::string& path = replacement.target();
  // Held from the read of the old sections to the rename, so that concurrent writers of
  // different sections do not drop each other's data.
  const FlashIniLock lock(path + kLockSuffix, path);
  if (!lock.held()) return false;

  std::vector<unsigned char> old_bytes;
  const FileState state = load_flash_ini(path, old_bytes);
  // A file that is there but could not be read may hold every section: it is not replaced.
  if (state == FileState::kNotFile || state == FileState::kUnreadable) return false;

  const unsigned char* section_data[kSectionCount] = {};
  unsigned int section_size[kSectionCount] = {};
  for (unsigned int i = 0; i < kSectionCount; ++i) {
    if (i == s) {
      section_data[i] = data;
      section_size[i] = size;
      continue;
    }
    unsigned int offset = 0;
    if (state == FileState::kReadable && section_of(old_bytes, i, offset, section_size[i])) {
      section_data[i] = old_bytes.data() + offset;
    } else {
      section_size[i] = 0;
    }
  }

  unsigned long long total = kWrittenHeaderBytes;
  for (const unsigned int part : section_size) total += part;
  // Three sections read from one file of 32-bit length plus a 32-bit new one always fit
  // unless the new section is near 4 GiB; such a file could not be read back.
  if (total > 0xFFFFFFFFull) return false;
  const unsigned int file_size = static_cast<unsigned int>(total);

  std::vector<unsigned char> image(file_size, 0);
  unsigned int file_index = 0;
  for (unsigned int i = 0; i < kSignatureBytes; ++i) {
    PGMDEV_CHECK(file_index < file_size);
    image[file_index++] = static_cast<unsigned char>(PGMDEV_FLASH_INI_CONST_STRING[i]);
  }
  PGMDEV_CHECK(file_index < file_size);
  store_le32(&image[file_index], kSectionCount);
  file_index += 4;
  unsigned int data_offset = kWrittenHeaderBytes;
  for (unsigned int i = 0; i < kSectionCount; ++i) {
    PGMDEV_CHECK(file_index < file_size);
    const bool has_data = section_size[i] != 0;
    store_le32(&image[file_index], has_data ? data_offset : 0);
    store_le32(&image[file_index + 4], section_size[i]);
    file_index += kEntryBytes;
    data_offset += section_size[i];
  }
  PGMDEV_CHECK(file_index <= file_size);
  for (unsigned int i = 0; i < kSectionCount; ++i) {
    if (section_size[i] == 0) continue;
    PGMDEV_CHECK(file_index < file_size);
    std::memcpy(&image[file_index], section_data[i], section_size[i]);
    file_index += section_size[i];
  }
  PGMDEV_CHECK(file_index == file_size);

  if (!replacement.write(image.data(), image.size(), PGMDEV_FILE_REPLACEMENT::NAMING::kFixed)) {
    return false;
  }
  // A file that fails the read checks is kept (it may be another program's), under a name that
  // no earlier backup holds.
  Backup backup;
  if (state == FileState::kDamaged && !backup.keep(path)) return false;
  if (!replacement.commit()) {
    backup.undo();
    return false;
  }
  return true;
}

// ---- Field encoding ----

void PGMDEV_FLASH_INI::calculate_flash_ini_data_size(unsigned int& size, PGMDEV_PARAM_TYPE type,
                                                     void* value) {
  if (type == PGMDEV_PARAM_STRING) {
    size += static_cast<unsigned int>(static_cast<const std::string*>(value)->size()) + 1;
    return;
  }
  const unsigned int bytes = fixed_field_bytes(type);
  if (bytes == 0) PGMDEV_FAIL("Unsupport param type");
  size += bytes;
}

void PGMDEV_FLASH_INI::fillup_flash_ini_data(unsigned char* data, unsigned int& index,
                                             PGMDEV_PARAM_TYPE type, void* value) {
  switch (type) {
    case PGMDEV_PARAM_STRING: {
      const std::string& text = *static_cast<const std::string*>(value);
      std::memcpy(data + index, text.data(), text.size());
      // The terminator comes from the caller's zero-filled buffer.
      index += static_cast<unsigned int>(text.size()) + 1;
      return;
    }
    case PGMDEV_PARAM_BOOL:
      data[index++] = *static_cast<const bool*>(value) ? 1 : 0;
      return;
    case PGMDEV_PARAM_BYTE:
    case PGMDEV_PARAM_WORD:
    case PGMDEV_PARAM_DWORD:
    case PGMDEV_PARAM_QWORD: {
      const unsigned long long number = load_numeric(type, value);
      const unsigned int bytes = fixed_field_bytes(type);
      for (unsigned int i = 0; i < bytes; ++i) {
        data[index++] = static_cast<unsigned char>(number >> (8 * i));
      }
      return;
    }
    default:
      PGMDEV_FAIL("Unsupport param type");
  }
}

bool PGMDEV_FLASH_INI::assign_flash_ini_data(const unsigned char* data, unsigned int& index,
                                             unsigned int size, unsigned int count,
                                             const PGMDEV_PARAM_TYPE* types, void** values) {
  if (count == 0) return true;
  if (index >= size) return false;
  for (unsigned int i = 0; i < count; ++i) {
    // Here index < size: checked above for the first field, after each field for the next.
    const unsigned int p = index;
    switch (types[i]) {
      case PGMDEV_PARAM_STRING: {
        const void* zero = std::memchr(data + p, 0, size - p);
        if (zero == nullptr) {
          index = size;
          return false;
        }
        const unsigned int end =
            static_cast<unsigned int>(static_cast<const unsigned char*>(zero) - data);
        static_cast<std::string*>(values[i])->assign(reinterpret_cast<const char*>(data + p),
                                                     end - p);
        index = end;
        break;
      }
      case PGMDEV_PARAM_BOOL:
        *static_cast<bool*>(values[i]) = data[p] != 0;
        break;
      case PGMDEV_PARAM_BYTE:
        *static_cast<unsigned char*>(values[i]) = data[p];
        break;
      case PGMDEV_PARAM_WORD:
      case PGMDEV_PARAM_DWORD:
      case PGMDEV_PARAM_QWORD: {
        const unsigned int bytes = fixed_field_bytes(types[i]);
        if (bytes > size - p) return false;
        unsigned long long number = 0;
        for (unsigned int b = 0; b < bytes; ++b) {
          number |= static_cast<unsigned long long>(data[p + b]) << (8 * b);
        }
        store_numeric(types[i], values[i], number);
        index = p + bytes - 1;
        break;
      }
      default:
        return false;
    }
    ++index;
    if (i + 1 == count) return true;
    // A record may end exactly at the end of the data, but not before its last field.
    if (index >= size) return false;
  }
  return true;
}
