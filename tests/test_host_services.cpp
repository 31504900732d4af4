// The contracts of the host stand-in services that the library relies on.
#include <fcntl.h>
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdarg>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "fio_fault.h"
#include "pgmhost.h"

namespace {

namespace fs = std::filesystem;

// Sets a configuration value for the lifetime of the object.
class ScopedValue {
 public:
  ScopedValue(std::string name, const std::string& value) : m_name(std::move(name)) {
    cfg_set_value(m_name, value);
  }
  ~ScopedValue() { cfg_unset_value(m_name); }

 private:
  std::string m_name;
};

// A fresh directory removed with the object.
class TempDir {
 public:
  TempDir() {
    char pattern[] = "/tmp/pgmhost_test_XXXXXX";
    m_path = mkdtemp(pattern);
  }
  ~TempDir() { fs::remove_all(m_path); }
  const std::string& path() const { return m_path; }

 private:
  std::string m_path;
};

void vdebug(const char* module, int level, const char* format, ...) {
  va_list arguments;
  va_start(arguments, format);
  msg_local_vdebug(module, level, format, arguments);
  va_end(arguments);
}

TEST(Configuration, InProcessValueWinsOverEnvironmentAndUnsetFallsBack) {
  setenv("PGMHOST_TEST_VALUE", "from-env", 1);
  EXPECT_EQ(cfg_get_value("PGMHOST_TEST_VALUE"), "from-env");
  {
    ScopedValue value("PGMHOST_TEST_VALUE", "in-process");
    EXPECT_EQ(cfg_get_value("PGMHOST_TEST_VALUE"), "in-process");
  }
  EXPECT_EQ(cfg_get_value("PGMHOST_TEST_VALUE"), "from-env");
  unsetenv("PGMHOST_TEST_VALUE");
  EXPECT_EQ(cfg_get_value("PGMHOST_TEST_VALUE"), "");
}

TEST(Configuration, SwitchValues) {
  struct Case {
    const char* value;  // nullptr: unset
    bool default_value;
    bool expected;
  };
  const Case kCases[] = {
      {nullptr, false, false}, {nullptr, true, true},  // unset gives the default
      {"", true, true},        {"", false, false},     // empty gives the default
      {"1", false, true},      {"on", false, true},   {"True", false, true},
      {"YES", false, true},    {"0", true, false},    {"off", true, false},
      {"2", true, false},      {" on", true, false},  // anything else is false
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.value ? c.value : "(unset)");
    if (c.value) {
      ScopedValue value("PGMHOST_TEST_SWITCH", c.value);
      EXPECT_EQ(cfg_is_on("PGMHOST_TEST_SWITCH", c.default_value), c.expected);
    } else {
      EXPECT_EQ(cfg_is_on("PGMHOST_TEST_SWITCH", c.default_value), c.expected);
    }
  }
}

// A switch's state is kept once read; every in-process change must show at the next read, also
// the change back to the environment's value.
TEST(Configuration, SwitchReadsSeeEveryInProcessChange) {
  setenv("PGMHOST_TEST_CACHED_SWITCH", "on", 1);
  struct Step {
    const char* set;  // nullptr: unset the in-process value
    bool expected;
  };
  const Step kSteps[] = {
      {nullptr, true},  // the environment's value
      {"off", false},   // an in-process value wins
      {"yes", true},    // and is replaced
      {"", false},      // empty: the default
      {nullptr, true},  // unset: the environment again
  };
  for (const Step& step : kSteps) {
    SCOPED_TRACE(step.set ? step.set : "(unset)");
    if (step.set) {
      cfg_set_value("PGMHOST_TEST_CACHED_SWITCH", step.set);
    } else {
      cfg_unset_value("PGMHOST_TEST_CACHED_SWITCH");
    }
    EXPECT_EQ(cfg_is_on("PGMHOST_TEST_CACHED_SWITCH", false), step.expected);
    EXPECT_EQ(cfg_is_on("PGMHOST_TEST_CACHED_SWITCH", false), step.expected) << "read again";
  }
  unsetenv("PGMHOST_TEST_CACHED_SWITCH");
}

TEST(InternalError, ReportCarriesConditionModuleFileAndLine) {
  try {
    MSG_INTERNAL_ERROR::report("index < data_size", "PGMDEV", "pgm/pgmdev/x.cpp", 42);
    FAIL() << "report returned";
  } catch (const MSG_INTERNAL_ERROR_EXCEPTION& error) {
    EXPECT_STREQ(error.what(), "index < data_size");
    EXPECT_EQ(error.module(), "PGMDEV");
    EXPECT_EQ(error.file(), "pgm/pgmdev/x.cpp");
    EXPECT_EQ(error.line(), 42);
  }
  try {
    MSG_INTERNAL_ERROR::report_varg(
        "PGMDEV", "f.cpp", 7, "Unable to retrieve full device name from database for %s", "QZ99");
    FAIL() << "report_varg returned";
  } catch (const std::runtime_error& error) {
    EXPECT_STREQ(error.what(), "Unable to retrieve full device name from database for QZ99");
  }
}

TEST(DebugLog, MessagesAreFormattedAndLogged) {
  msg_clear_debug_log();
  vdebug("PGMDEV", MSG_D_LEVEL, "flash %d of %s", 3, "chain");
  const std::vector<MSG_DEBUG_ENTRY> log = msg_get_debug_log();
  ASSERT_EQ(log.size(), 1u);
  EXPECT_EQ(log[0].module, "PGMDEV");
  EXPECT_EQ(log[0].level, 2);
  EXPECT_EQ(log[0].text, "flash 3 of chain");
  msg_clear_debug_log();
  EXPECT_TRUE(msg_get_debug_log().empty());
}

TEST(Directories, OverridesAndDefaultsFromLibraryLocation) {
  // Without overrides the data lives beside the libraries: <prefix>/share/pgmdev, where the
  // build tree's prefix is the binary directory.
  const std::string prefix = fs::canonical(PGMDEV_BINARY_DIR).string();
  EXPECT_EQ(gen_get_velmora_path(), prefix + "/share/pgmdev");
  EXPECT_EQ(gen_get_device_db_fullpath(), prefix + "/share/pgmdev/device_db");
  EXPECT_EQ(gen_get_module_path(), fs::canonical("/proc/self/exe").parent_path().string());
  ScopedValue db("PGMDEV_DEVICE_DB_DIR", "/db");
  ScopedValue install("PGMDEV_INSTALL_DIR", "/install");
  ScopedValue module("PGMDEV_MODULE_DIR", "/module");
  EXPECT_EQ(gen_get_device_db_fullpath(), "/db");
  EXPECT_EQ(gen_get_velmora_path(), "/install");
  EXPECT_EQ(gen_get_module_path(), "/module");
}

TEST(Version, OverridesGiveASecondSuiteVersion) {
  const std::string version = ver_get_version();
  const unsigned int index = ver_get_current_version_index_number();
  EXPECT_FALSE(version.empty());
  EXPECT_EQ(index & 0xFF000000u, 0u) << "only bits 0-23 carry service pack and build";
  ScopedValue text("PGMDEV_SUITE_VERSION", "9.9 Build 1");
  ScopedValue number("PGMDEV_SUITE_VERSION_INDEX", "0x0102");
  EXPECT_EQ(ver_get_version(), "9.9 Build 1");
  EXPECT_EQ(ver_get_current_version_index_number(), 0x0102u);
}

TEST(Text, TrimCaseAndCompare) {
  EXPECT_EQ(gen_remove_leading_and_trailing_white_spaces(" \t qz40b \r\n"), "qz40b");
  EXPECT_EQ(gen_remove_leading_and_trailing_white_spaces(" \t "), "");
  std::string text = "Qz40b-x_1";
  stl_toupper(text);
  EXPECT_EQ(text, "QZ40B-X_1");
  stl_tolower(text);
  EXPECT_EQ(text, "qz40b-x_1");
  char buffer[] = "abc";
  gen_ascii_toupper(buffer);
  EXPECT_STREQ(buffer, "ABC");
  EXPECT_EQ(gen_stricmp("Flash", "FLASH"), 0);
  EXPECT_LT(gen_stricmp("abc", "abd"), 0);
  EXPECT_GT(gen_stricmp(std::string("abcd"), std::string("ABC")), 0);
  EXPECT_TRUE(PGM_COMMON::compare_string("QZ40B", "QZ40B", false));
  EXPECT_FALSE(PGM_COMMON::compare_string("qz40b", "QZ40B", false));
  EXPECT_TRUE(PGM_COMMON::compare_string("qz40b", "QZ40B", true));
}

TEST(Text, NumberRendering) {
  char out[40];
  EXPECT_STREQ(gen_itoa(255, out, 16), "ff");
  EXPECT_STREQ(gen_itoa(-42, out, 10), "-42");
  EXPECT_STREQ(gen_itoa(0, out, 2), "0");
  const char* end = nullptr;
  EXPECT_EQ(gen_local_strtoQWORD("FFFFFFFFFFFFFFFF", &end, 16), 0xFFFFFFFFFFFFFFFFull);
  EXPECT_EQ(*end, '\0');
  EXPECT_EQ(gen_local_strtoQWORD("123z", &end, 10), 123u);
  EXPECT_EQ(*end, 'z');
  std::string formatted;
  MEM_DETAIL::stl_raw_sprintf(formatted, "%llu", 18446744073709551615ull);
  EXPECT_EQ(formatted, "18446744073709551615");
}

TEST(ConvertStringToDword, AcceptsDecimalAndPrefixedHexOnly) {
  struct Case {
    const char* text;
    bool trim;
    bool allow_hex;
    bool ok;
    DWORD value;
  };
  const Case kCases[] = {
      {"0", false, true, true, 0},
      {"4294967295", false, true, true, 0xFFFFFFFFu},
      {"4294967296", false, true, false, 0},  // does not fit 32 bits
      {"0x1F", false, true, true, 0x1F},
      {"0XfF", false, true, true, 0xFF},
      {"0xFFFFFFFF", false, true, true, 0xFFFFFFFFu},
      {"0x100000000", false, true, false, 0},
      {"0x", false, true, false, 0},     // prefix without digits
      {"0x1F", false, false, false, 0},  // hex not allowed
      {"1F", false, true, false, 0},     // hex digits need the prefix
      {"", false, true, false, 0},
      {"-1", false, true, false, 0},  // no sign
      {"+1", false, true, false, 0},
      {" 12", false, true, false, 0},  // no blanks
      {" 12 ", true, true, true, 12},  // unless trimming is asked for
      {"12 3", true, true, false, 0},
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.text);
    bool ok = !c.ok;
    DWORD value = 12345;
    EXPECT_EQ(PGM_COMMON::convert_string_to_dword(c.text, c.trim, &ok, &value, c.allow_hex),
              c.value);
    EXPECT_EQ(ok, c.ok);
    EXPECT_EQ(value, c.value);
  }
}

TEST(ConvertStringToDword, WithoutOkFlagAFailureIsAnInternalError) {
  EXPECT_EQ(PGM_COMMON::convert_string_to_dword("77", false, nullptr, nullptr, true), 77u);
  try {
    PGM_COMMON::convert_string_to_dword("7x", false, nullptr, nullptr, true);
    FAIL() << "no internal error";
  } catch (const MSG_INTERNAL_ERROR_EXCEPTION& error) {
    EXPECT_STREQ(error.what(), "Invalid string to integer conversion");
  }
}

TEST(Checksums, Crc32MsbRegisterGivesBzip2CheckValue) {
  const unsigned char check[] = "123456789";
  EXPECT_EQ(~PGM_COMMON::msb_calculate_crc32(check, 0, 72, 0xFFFFFFFF, 0x04C11DB7, true),
            0xFC891918u);
  // The reflected form with the same polynomial is the common CRC-32.
  EXPECT_EQ(~PGM_COMMON::msb_calculate_crc32(check, 0, 72, 0xFFFFFFFF, 0x04C11DB7, false),
            0xCBF43926u);
  // A bit count that is not a whole number of bytes, and a start inside the data, agree with
  // feeding the same bits from an aligned copy.
  const unsigned char shifted[] = {0x31, 0x32, 0x33};
  EXPECT_EQ(PGM_COMMON::msb_calculate_crc32(shifted, 8, 16, 0xFFFFFFFF, 0x04C11DB7, true),
            PGM_COMMON::msb_calculate_crc32(shifted + 1, 0, 16, 0xFFFFFFFF, 0x04C11DB7, true));
  const unsigned char one = 0x80;
  EXPECT_EQ(PGM_COMMON::msb_calculate_crc32(&one, 0, 1, 0, 0x04C11DB7, true), 0x04C11DB7u);
}

TEST(Digest, Sha256OfKnownTexts) {
  const std::string abc = "abc";
  std::unique_ptr<unsigned char[]> digest(
      PGM_COMMON::get_block_sha(reinterpret_cast<const unsigned char*>(abc.data()), 3, 32));
  ASSERT_NE(digest, nullptr);
  const unsigned char kExpected[8] = {0xba, 0x78, 0x16, 0xbf, 0x8f, 0x01, 0xcf, 0xea};
  EXPECT_EQ(std::memcmp(digest.get(), kExpected, 8), 0);
  std::unique_ptr<unsigned char[]> empty(PGM_COMMON::get_block_sha(nullptr, 0, 32));
  ASSERT_NE(empty, nullptr);
  EXPECT_EQ(empty[0], 0xe3);
  EXPECT_EQ(empty[31], 0x55);
  EXPECT_EQ(PGM_COMMON::get_block_sha(nullptr, 0, 31), nullptr);
}

// Every digest length the service offers, against the published digests of "abc".
TEST(Digest, EveryLengthMatchesItsKnownDigestOfAbc) {
  struct Case {
    unsigned int bytes;
    const char* hex;
  };
  const Case kCases[] = {
      {20, "a9993e364706816aba3e25717850c26c9cd0d89d"},
      {32, "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad"},
      {48,
       "cb00753f45a35e8bb5a03d699ac65007272c32ab0eded1631a8b605a43ff5bed8086072ba1e7cc2358baeca134c"
       "8"
       "25a7"},
      {64,
       "ddaf35a193617abacc417349ae20413112e6fa4e89a97ea20a9eeee64b55d39a2192992a274fc1a836ba3c23a3f"
       "e"
       "ebbd454d4423643ce80e2a9ac94fa54ca49f"},
  };
  const std::string abc = "abc";
  for (const Case& c : kCases) {
    std::unique_ptr<unsigned char[]> digest(
        PGM_COMMON::get_block_sha(reinterpret_cast<const unsigned char*>(abc.data()), 3, c.bytes));
    ASSERT_NE(digest, nullptr) << c.bytes;
    std::string hex;
    for (unsigned int i = 0; i < c.bytes; ++i) {
      static const char kDigits[] = "0123456789abcdef";
      hex += kDigits[digest[i] >> 4];
      hex += kDigits[digest[i] & 15];
    }
    EXPECT_EQ(hex, c.hex) << c.bytes;
  }
}

TEST(Zlib, RoundTripAndLengthContract) {
  std::vector<unsigned char> data(5000);
  for (size_t i = 0; i < data.size(); ++i) data[i] = static_cast<unsigned char>(i * 7 % 251);
  std::vector<unsigned char> packed(6000);
  unsigned int packed_length = static_cast<unsigned int>(packed.size());
  ASSERT_EQ(zlib_compress(packed.data(), &packed_length, data.data(),
                          static_cast<unsigned int>(data.size())),
            ZLIB_OK);
  // Same input, same stream: generated files do not change from run to run.
  std::vector<unsigned char> again(6000);
  unsigned int again_length = static_cast<unsigned int>(again.size());
  ASSERT_EQ(zlib_compress(again.data(), &again_length, data.data(),
                          static_cast<unsigned int>(data.size())),
            ZLIB_OK);
  EXPECT_EQ(std::vector<unsigned char>(packed.begin(), packed.begin() + packed_length),
            std::vector<unsigned char>(again.begin(), again.begin() + again_length));

  std::vector<unsigned char> unpacked(data.size() + 100, 0);
  unsigned int length = static_cast<unsigned int>(unpacked.size());
  ASSERT_EQ(zlib_uncompress(unpacked.data(), &length, packed.data(), packed_length), ZLIB_OK);
  EXPECT_EQ(length, data.size());
  EXPECT_TRUE(std::equal(data.begin(), data.end(), unpacked.begin()));

  // Too small a destination, and a damaged stream, are errors.
  length = static_cast<unsigned int>(data.size() - 1);
  EXPECT_NE(zlib_uncompress(unpacked.data(), &length, packed.data(), packed_length), ZLIB_OK);
  length = static_cast<unsigned int>(unpacked.size());
  EXPECT_NE(zlib_uncompress(unpacked.data(), &length, packed.data(), packed_length / 2), ZLIB_OK);
}

TEST(Tokenizer, EmptyTokensKeptOrDropped) {
  struct Case {
    const char* line;
    bool keep_empty;
    std::vector<std::string> tokens;
  };
  const Case kCases[] = {
      {"a,b,,c", true, {"a", "b", "", "c"}},
      {"a,b,,c", false, {"a", "b", "c"}},
      {",a,", true, {"", "a", ""}},
      {"", true, {""}},
      {"", false, {}},
      {"x \t y", false, {"x", "y"}},
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.line);
    const LXT_TOKENIZER tokenizer(" \t\n,", c.keep_empty, "", "", "", false);
    std::vector<std::string> tokens{"stale"};
    EXPECT_EQ(tokenizer.tokenize(c.line, tokens), c.tokens.size());
    EXPECT_EQ(tokens, c.tokens);
  }
}

TEST(Files, PathAndStatus) {
  TempDir dir;
  const FIO_PATH file = FIO_PATH(dir.path()) / "data.bin";
  EXPECT_EQ(file.basename(), "data.bin");
  EXPECT_EQ(file.dirname(), dir.path());
  EXPECT_FALSE(FIO_FILE_SYSTEM::exists(file.fullpath()));
  std::ofstream(file.path(), std::ios::binary) << "12345";
  struct stat info {};
  EXPECT_TRUE(FIO_FILE_SYSTEM::exists(file.fullpath()));
  ASSERT_TRUE(FIO_FILE_SYSTEM::status(file.fullpath(), &info));
  EXPECT_EQ(info.st_size, 5);
  EXPECT_FALSE(FIO_FILE_SYSTEM::status((dir.path() + "/missing").c_str(), &info));
  EXPECT_EQ(FIO_PATH("relative").fullpath(), fs::current_path().string() + "/relative");
}

TEST(Files, ResolveLinkFollowsTheLastComponent) {
  TempDir dir;
  const std::string base = dir.path();
  std::ofstream(base + "/file") << "x";
  fs::create_directory(base + "/sub");
  struct Case {
    const char* what;
    std::vector<std::pair<std::string, std::string>> links;  // name, content
    std::string path;
    int result;
    std::string resolved;  // or the errno when result is -1
  } const kCases[] = {
      {"plain file", {}, base + "/file", 0, base + "/file"},
      {"missing file", {}, base + "/none", 0, base + "/none"},
      {"absolute link", {{"a", base + "/file"}}, base + "/a", 0, base + "/file"},
      {"relative link from another directory",
       {{"sub/r", "../file"}},
       base + "/sub/r",
       0,
       base + "/sub/../file"},
      {"chain of links", {{"c1", "c2"}, {"c2", "file"}}, base + "/c1", 0, base + "/file"},
      {"link to nothing yet", {{"d", "later"}}, base + "/d", 0, base + "/later"},
      {"loop", {{"l1", "l2"}, {"l2", "l1"}}, base + "/l1", -1, std::to_string(ELOOP)},
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.what);
    for (const auto& [name, content] : c.links) {
      ASSERT_EQ(::symlink(content.c_str(), (base + "/" + name).c_str()), 0);
    }
    std::string resolved = "stale";
    errno = 0;
    const int result = FIO_FILE::resolve_link(c.path, resolved);
    EXPECT_EQ(result, c.result);
    EXPECT_EQ(result == 0 ? resolved : std::to_string(errno), c.resolved);
    for (const auto& link : c.links) ::unlink((base + "/" + link.first).c_str());
  }
}

TEST(Files, FaultSeamFailsTheNthOperationOnly) {
  TempDir dir;
  const std::string path = dir.path() + "/f";
  // open, write, close: the second fails with EIO and nothing is written.
  fio_fault_arm(2);
  int fd = FIO_FILE::open(path.c_str(), O_WRONLY | O_CREAT, 0600);
  ASSERT_GE(fd, 0);
  errno = 0;
  EXPECT_EQ(FIO_FILE::write(fd, "ab", 2), -1);
  EXPECT_EQ(errno, EIO);
  EXPECT_STREQ(fio_fault_failed(), "write");
  EXPECT_EQ(FIO_FILE::write(fd, "ab", 2), 2);  // only the second operation fails
  EXPECT_EQ(FIO_FILE::close(fd), 0);
  EXPECT_EQ(fio_fault_operations(), 4u);
  // A failed close still releases the descriptor.
  fio_fault_arm(2);
  fd = FIO_FILE::open(path.c_str(), O_RDONLY);
  ASSERT_GE(fd, 0);
  EXPECT_EQ(FIO_FILE::close(fd), -1);
  EXPECT_EQ(::fcntl(fd, F_GETFD), -1);
  EXPECT_STREQ(fio_fault_failed(), "close");
  // unlink is never failed; disarmed, nothing fails.
  fio_fault_arm(1);
  EXPECT_EQ(FIO_FILE::unlink(path.c_str()), 0);
  EXPECT_EQ(fio_fault_failed(), nullptr);
  fio_fault_arm(0);
  EXPECT_EQ(FIO_FILE::open(path.c_str(), O_RDONLY), -1);
  EXPECT_EQ(errno, ENOENT);
  EXPECT_EQ(fio_fault_failed(), nullptr);
}

TEST(Mail, OutboxRecordsAndMailDirectoryReceivesFiles) {
  TempDir dir;
  ScopedValue mail_dir("PGMDEV_MAIL_DIR", dir.path());
  PGM_COMMON::clear_outbox();
  const std::vector<PGM_COMMON_INI_EMAIL_ADDR_ENUM> to = {PGM_COMMON_INI_EMAIL_ADDR_PGM_OWNER};
  EXPECT_TRUE(PGM_COMMON::send_auto_email_file(to, "title", "body\n", false, "", {}, {}));
  const std::vector<PGM_COMMON_MAIL> outbox = PGM_COMMON::get_outbox();
  ASSERT_EQ(outbox.size(), 1u);
  EXPECT_EQ(outbox[0].title, "title");
  EXPECT_EQ(outbox[0].body, "body\n");
  EXPECT_EQ(outbox[0].recipients, to);
  size_t files = 0;
  for (const auto& entry : fs::directory_iterator(dir.path())) {
    std::ifstream in(entry.path());
    const std::string content((std::istreambuf_iterator<char>(in)), {});
    EXPECT_THAT(content, testing::HasSubstr("Subject: title\n\nbody\n"));
    ++files;
  }
  EXPECT_EQ(files, 1u);
  PGM_COMMON::clear_outbox();
}

TEST(MemoryTracker, RegistrationLastsForTheObjectsLifetime) {
  const size_t before = MEM_INITIALIZER::registered_modules().size();
  {
    MEM_INITIALIZER registration("PGMHOST_TEST");
    const auto modules = MEM_INITIALIZER::registered_modules();
    ASSERT_EQ(modules.size(), before + 1);
    EXPECT_EQ(modules.back(), "PGMHOST_TEST");
  }
  EXPECT_EQ(MEM_INITIALIZER::registered_modules().size(), before);
}

TEST(MemoryTracker, LibraryRegistersItsModuleAtLoad) {
  const auto modules = MEM_INITIALIZER::registered_modules();
  EXPECT_THAT(modules, testing::Contains("PGMDEV"));
}

}  // namespace
