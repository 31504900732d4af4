// Helpers of the flash parameter file tests: a fresh module directory per test, whole-file
// access, and record encoding through the library's own field encoder.
#ifndef PGMDEV_FLASH_INI_TEST_UTIL_H
#define PGMDEV_FLASH_INI_TEST_UTIL_H

#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "cfg.h"
#include "pgmdev_flash_ini.h"

using Bytes = std::vector<unsigned char>;

// Points the module directory (where pgm_flash.ini lives) at a new empty directory for the
// lifetime of the object, and removes the directory afterwards.
class TempModuleDir {
 public:
  // The directory is made under base (a directory that exists).
  explicit TempModuleDir(const std::string& base = "/tmp") {
    std::string pattern = base + "/pgmdev_flash_ini_XXXXXX";
    const char* made = mkdtemp(pattern.data());
    EXPECT_NE(made, nullptr);
    m_dir = made ? made : "";
    cfg_set_value("PGMDEV_MODULE_DIR", m_dir);
  }
  ~TempModuleDir() {
    cfg_unset_value("PGMDEV_MODULE_DIR");
    std::error_code ignored;
    std::filesystem::permissions(m_dir, std::filesystem::perms::owner_all,
                                 std::filesystem::perm_options::add, ignored);
    std::filesystem::remove_all(m_dir, ignored);
  }
  TempModuleDir(const TempModuleDir&) = delete;
  TempModuleDir& operator=(const TempModuleDir&) = delete;

  const std::string& dir() const { return m_dir; }
  std::string path(const std::string& name = "pgm_flash.ini") const { return m_dir + "/" + name; }

 private:
  std::string m_dir;
};

inline bool file_exists(const std::string& path) { return std::filesystem::exists(path); }

inline Bytes read_file(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

inline void write_file(const std::string& path, const Bytes& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(bytes.data()),
            static_cast<std::streamsize>(bytes.size()));
}

// The section as read_flash_ini_data gives it; empty for null. Checks that size and pointer
// agree (null exactly when size is 0).
inline Bytes read_section(PGMDEV_FLASH_INI_ENUM section) {
  unsigned int size = 12345;
  unsigned char* data = PGMDEV_FLASH_INI::read_flash_ini_data(section, size);
  EXPECT_EQ(data == nullptr, size == 0);
  Bytes bytes(data, data + (data ? size : 0));
  delete[] data;
  return bytes;
}

inline bool write_section(PGMDEV_FLASH_INI_ENUM section, Bytes bytes) {
  return PGMDEV_FLASH_INI::write_flash_ini_data(section, bytes.empty() ? nullptr : bytes.data(),
                                                static_cast<unsigned int>(bytes.size()));
}

// One record encoded the way the programmer's tools do: summed lengths, a zero-filled buffer,
// the fields put in one by one.
inline Bytes encode_record(const PGMDEV_PARAM_TYPE* types, void* const* values,
                           unsigned int count) {
  unsigned int size = 0;
  for (unsigned int i = 0; i < count; ++i) {
    PGMDEV_FLASH_INI::calculate_flash_ini_data_size(size, types[i], values[i]);
  }
  Bytes bytes(size, 0);
  unsigned int index = 0;
  for (unsigned int i = 0; i < count; ++i) {
    PGMDEV_FLASH_INI::fillup_flash_ini_data(bytes.data(), index, types[i], values[i]);
  }
  EXPECT_EQ(index, size);
  return bytes;
}

inline void append(Bytes& to, const Bytes& from) { to.insert(to.end(), from.begin(), from.end()); }

inline void append_le32(Bytes& to, unsigned int value) {
  for (int i = 0; i < 4; ++i) to.push_back(static_cast<unsigned char>(value >> (8 * i)));
}

#endif  // PGMDEV_FLASH_INI_TEST_UTIL_H
