// Parameter value conversions, the pgm_flash.ini section store and the field encoding.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <functional>
#include <iostream>
#include <limits>
#include <string>
#include <vector>

#include "msg.h"
#include "pgmdev_flash_ini.h"
#include "pgmdev_flash_ini_test_util.h"
#include "pgmdev_param_fields.h"

namespace {

constexpr unsigned int kNone[] = {0};  // marker: no rule list (null)

const unsigned int* rules(const unsigned int* list) { return list == kNone ? nullptr : list; }

// ---- Checked conversion ----

constexpr unsigned int kRangesOneTwoFour[] = {3, 1, 1, 2, 2, 4, 4};
constexpr unsigned int kSiidInvalid[] = {6,    0xFF, 0,      0xFF00, 0,        0xFF0000, 0,
                                         0xFF, 0xFF, 0xFF00, 0xFF00, 0xFF0000, 0xFF0000};
// Limits above the byte range: compared under the byte mask they become 0 to 0xFF.
constexpr unsigned int kRangeAboveByte[] = {1, 0x100, 0x1FF};
constexpr unsigned int kNoRange[] = {0};
constexpr unsigned int kNoInvalidRule[] = {0};

struct ConversionCase {
  const char* what;
  PGMDEV_PARAM_TYPE type;
  const char* text;
  bool is_hex;
  bool power_of_two;
  const unsigned int* valid_ranges;
  const unsigned int* invalid_rules;
  bool exponent;
  unsigned int multiple;
  unsigned long long value;  // expected value, also after a refusal
  const char* message;       // "" when accepted
};

constexpr PGMDEV_PARAM_TYPE kByte = PGMDEV_PARAM_BYTE;
constexpr PGMDEV_PARAM_TYPE kWord = PGMDEV_PARAM_WORD;
constexpr PGMDEV_PARAM_TYPE kDword = PGMDEV_PARAM_DWORD;
constexpr PGMDEV_PARAM_TYPE kQword = PGMDEV_PARAM_QWORD;
constexpr char kInvalid[] = "Invalid QWORD conversion";
constexpr char kTypeOverflow[] = "Conversion overflow compare to type";
constexpr char kPowerOfTwo[] = "Input must be power of 2";
constexpr char kOutOfRange[] = "Input is out of range";
constexpr char kHit[] = "Input is invalid (hit)";
constexpr char kCalcOverflow[] = "Calculation overflow compare to type";

const ConversionCase kConversionCases[] = {
    {"hex prefix removed, digits upper-cased", kDword, "0x1f", false, false, kNone, kNone, false, 1,
     31, ""},
    {"upper-case X is no prefix", kDword, "0X1F", false, false, kNone, kNone, false, 1, 0,
     kInvalid},
    {"hex digits without prefix are not decimal", kDword, "1f", false, false, kNone, kNone, false,
     1, 0, kInvalid},
    {"leading space", kDword, " 1", false, false, kNone, kNone, false, 1, 0, kInvalid},
    {"plus sign", kDword, "+1", false, false, kNone, kNone, false, 1, 0, kInvalid},
    {"minus other than -1", kDword, "-2", false, false, kNone, kNone, false, 1, 0, kInvalid},
    {"is_hex adds the prefix", kDword, "1F", true, false, kNone, kNone, false, 1, 31, ""},
    {"is_hex adds no second prefix", kDword, "0x1F", true, false, kNone, kNone, false, 1, 31, ""},
    {"qword maximum in decimal", kQword, "18446744073709551615", false, false, kNone, kNone, false,
     1, 0xFFFFFFFFFFFFFFFFull, ""},
    {"leading zeros do not count", kQword, "00018446744073709551615", false, false, kNone, kNone,
     false, 1, 0xFFFFFFFFFFFFFFFFull, ""},
    {"decimal past 64 bits is refused, not wrapped", kDword, "18446744073709551617", false, false,
     kNone, kNone, false, 1, 0, kInvalid},
    {"hex past 64 bits is refused", kQword, "0x10000000000000000", false, false, kNone, kNone,
     false, 1, 0, kInvalid},
    {"byte maximum", kByte, "255", false, false, kNone, kNone, false, 1, 255, ""},
    {"byte overflow keeps the parsed value", kByte, "256", false, false, kNone, kNone, false, 1,
     256, kTypeOverflow},
    {"word overflow", kWord, "65536", false, false, kNone, kNone, false, 1, 65536, kTypeOverflow},
    {"qword maximum in decimal", kQword, "18446744073709551615", false, false, kNone, kNone, false,
     1, 0xFFFFFFFFFFFFFFFFull, ""},
    {"-1 is the type maximum", kDword, "-1", false, false, kNone, kNone, false, 1, 0xFFFFFFFF, ""},
    {"-1 is no power of two", kDword, "-1", false, true, kNone, kNone, false, 1, 0xFFFFFFFF,
     kPowerOfTwo},
    {"0 is no power of two", kDword, "0", false, true, kNone, kNone, false, 1, 0, kPowerOfTwo},
    {"a power of two", kDword, "0x80", false, true, kNone, kNone, false, 1, 0x80, ""},
    {"three is not in ranges 1, 2, 4", kDword, "3", false, false, kRangesOneTwoFour, kNone, false,
     1, 3, kOutOfRange},
    {"four is in ranges 1, 2, 4", kDword, "4", false, false, kRangesOneTwoFour, kNone, false, 1, 4,
     ""},
    {"no range makes every value invalid", kDword, "4", false, false, kNoRange, kNone, false, 1, 4,
     kOutOfRange},
    {"range limits compared under the type mask", kByte, "5", false, false, kRangeAboveByte, kNone,
     false, 1, 5, ""},
    {"low byte 0x00 hits a rule", kDword, "0x20BA00", false, false, kNone, kSiidInvalid, false, 1,
     0x20BA00, kHit},
    {"an identification code passes the rules", kDword, "0x17BA20", false, false, kNone,
     kSiidInvalid, false, 1, 0x17BA20, ""},
    {"no rule makes no value invalid", kDword, "0", false, false, kNone, kNoInvalidRule, false, 1,
     0, ""},
    {"exponent", kDword, "10", false, false, kNone, kNone, true, 1, 1024, ""},
    {"exponent 32 does not fit a dword", kDword, "32", false, false, kNone, kNone, true, 1, 32,
     kCalcOverflow},
    {"exponent 63 fits a qword", kQword, "63", false, false, kNone, kNone, true, 1, 1ull << 63, ""},
    {"exponent 64 never fits", kQword, "64", false, false, kNone, kNone, true, 1, 64,
     kCalcOverflow},
    {"-1 is multiplied, not raised", kDword, "-1", false, false, kNone, kNone, true, 1, 0xFFFFFFFF,
     ""},
    {"-1 times 2 overflows", kDword, "-1", false, false, kNone, kNone, true, 2, 0x1FFFFFFFEull,
     kCalcOverflow},
    {"multiple reaches the top bit", kDword, "2048", false, false, kNone, kNone, false, 1048576,
     0x80000000, ""},
    {"multiple past the type", kDword, "4096", false, false, kNone, kNone, false, 1048576,
     0x100000000ull, kCalcOverflow},
    {"qword product past 64 bits", kQword, "0x8000000000000000", false, false, kNone, kNone, false,
     2, 0, kCalcOverflow},
    {"strings are not converted", PGMDEV_PARAM_STRING, "any text", false, true, kNone, kNone, false,
     0, 0, ""},
    {"bools are not converted", PGMDEV_PARAM_BOOL, "x", false, false, kNone, kNone, false, 0, 0,
     ""},
    {"non-types are not converted", static_cast<PGMDEV_PARAM_TYPE>(0), "x", false, false, kNone,
     kNone, false, 0, 0, ""},
};

TEST(FlashIniConversion, CheckedConversionCases) {
  for (const ConversionCase& c : kConversionCases) {
    SCOPED_TRACE(c.what);
    unsigned long long value = 0xDEADBEEF;
    std::string message = "stale";
    const std::string text = c.text;
    const bool accepted = PGMDEV_FLASH_INI::convert_string_to_qword(
        c.type, value, c.is_hex, text, c.power_of_two, rules(c.valid_ranges),
        rules(c.invalid_rules), c.exponent, c.multiple, message);
    EXPECT_EQ(accepted, c.message[0] == '\0');
    EXPECT_EQ(message, c.message);
    EXPECT_EQ(value, c.value);
    EXPECT_EQ(text, c.text);  // taken by value
  }
}

TEST(FlashIniConversion, PlainConversionReportsThroughOk) {
  struct Case {
    const char* text;
    bool ok;
    unsigned long long value;
  } const cases[] = {
      {"0x1f", true, 31},   {"0xFFFFFFFFFFFFFFFF", true, 0xFFFFFFFFFFFFFFFFull},
      {"1234", true, 1234}, {"0X1F", false, 0},
      {"12 ", false, 0},    {"0x1G", false, 0},
      {"abc", false, 0},    {"", true, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    bool ok = !c.ok;
    EXPECT_EQ(PGMDEV_FLASH_INI::convert_string_to_qword(c.text, false, &ok), c.value);
    EXPECT_EQ(ok, c.ok);
  }
  // A caller without ok gets the value of an accepted text.
  EXPECT_EQ(PGMDEV_FLASH_INI::convert_string_to_qword("0x10", true, nullptr), 16u);
}

// ---- Rendering ----

TEST(FlashIniConversion, HexAndDecimalRendering) {
  EXPECT_EQ(PGMDEV_FLASH_INI::convert_qword_to_hex_string(0x1234, 2, true), "0x34");
  EXPECT_EQ(PGMDEV_FLASH_INI::convert_qword_to_hex_string(0xABC, 4, false), "0ABC");
  EXPECT_EQ(PGMDEV_FLASH_INI::convert_qword_to_hex_string(0xFEDCBA9876543210ull, 16, false),
            "FEDCBA9876543210");
  EXPECT_EQ(PGMDEV_FLASH_INI::convert_qword_to_hex_string(0, 1, true), "0x0");
  EXPECT_EQ(PGMDEV_FLASH_INI::convert_dword_to_hex_string(10, 2, true), "0x0A");
  EXPECT_EQ(PGMDEV_FLASH_INI::convert_dword_to_hex_string(0xCAFEF00D, 8, false), "CAFEF00D");
  EXPECT_EQ(PGMDEV_FLASH_INI::convert_qword_to_string(0), "0");
  EXPECT_EQ(PGMDEV_FLASH_INI::convert_qword_to_string(0xFFFFFFFFFFFFFFFFull),
            "18446744073709551615");
}

TEST(FlashIniConversion, PrintOfEachType) {
  std::string text = "QSPI_128";
  unsigned char bool_byte = 2;  // any non-zero byte shows as true
  unsigned char zero_byte = 0;
  unsigned char byte = 0xA;
  unsigned short word = 0x1234;
  unsigned int dword = 0xFF;
  unsigned long long qword = 1;
  struct Case {
    PGMDEV_PARAM_TYPE type;
    void* value;
    const char* decimal;
    const char* hex;
  } const cases[] = {
      {PGMDEV_PARAM_STRING, &text, "QSPI_128", "QSPI_128"},
      {PGMDEV_PARAM_BOOL, &bool_byte, "True", "True"},
      {PGMDEV_PARAM_BOOL, &zero_byte, "False", "False"},
      {PGMDEV_PARAM_BYTE, &byte, "10", "0x0A"},
      {PGMDEV_PARAM_WORD, &word, "4660", "0x1234"},
      {PGMDEV_PARAM_DWORD, &dword, "255", "0x000000FF"},
      {PGMDEV_PARAM_QWORD, &qword, "1", "0x0000000000000001"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.decimal);
    EXPECT_EQ(PGMDEV_FLASH_INI::print_flash_ini_data(c.type, false, c.value), c.decimal);
    EXPECT_EQ(PGMDEV_FLASH_INI::print_flash_ini_data(c.type, true, c.value), c.hex);
  }
}

// ---- Internal checks ----

TEST(FlashIniChecks, MisuseFailsWithTheConditionText) {
  std::string message;
  unsigned long long value = 0;
  unsigned int size = 0;
  unsigned int index = 0;
  unsigned char buffer[8] = {};
  unsigned int number = 0;
  const PGMDEV_PARAM_TYPE not_a_type = static_cast<PGMDEV_PARAM_TYPE>(7);
  struct Case {
    const char* condition;
    std::function<void()> call;
  } const cases[] = {
      {"!no_empty || !string.empty()",
       [] {
         bool ok = false;
         PGMDEV_FLASH_INI::convert_string_to_qword("", true, &ok);
       }},
      {"Invalid string to integer conversion",
       [] { PGMDEV_FLASH_INI::convert_string_to_qword("12a", false, nullptr); }},
      {"multiple != 0",
       [&] {
         PGMDEV_FLASH_INI::convert_string_to_qword(PGMDEV_PARAM_DWORD, value, false, "1", false,
                                                   nullptr, nullptr, false, 0, message);
       }},
      {"count != 0 && count <= 16",
       [] { PGMDEV_FLASH_INI::convert_qword_to_hex_string(1, 0, false); }},
      {"count != 0 && count <= 16",
       [] { PGMDEV_FLASH_INI::convert_qword_to_hex_string(1, 17, false); }},
      {"count != 0 && count <= 8",
       [] { PGMDEV_FLASH_INI::convert_dword_to_hex_string(1, 9, false); }},
      {"Unsupport param type",
       [&] { PGMDEV_FLASH_INI::print_flash_ini_data(not_a_type, false, &number); }},
      {"Unsupport param type",
       [&] {
         PGMDEV_FLASH_INI::calculate_flash_ini_data_size(size, static_cast<PGMDEV_PARAM_TYPE>(0),
                                                         &number);
       }},
      {"Unsupport param type",
       [&] { PGMDEV_FLASH_INI::fillup_flash_ini_data(buffer, index, not_a_type, &number); }},
      {"data != NULL",
       [] { PGMDEV_FLASH_INI::write_flash_ini_data(PGMDEV_FLASH_INI_HPS_SPI, nullptr, 5); }},
      {"data == NULL",
       [&] { PGMDEV_FLASH_INI::write_flash_ini_data(PGMDEV_FLASH_INI_HPS_SPI, buffer, 0); }},
  };
  TempModuleDir dir;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.condition);
    try {
      c.call();
      ADD_FAILURE() << "no internal error";
    } catch (const MSG_INTERNAL_ERROR_EXCEPTION& error) {
      EXPECT_STREQ(error.what(), c.condition);
      EXPECT_EQ(error.module(), "PGMDEV");
      EXPECT_EQ(error.file(), "pgm/pgmdev/pgmdev_flash_ini.cpp");
    }
  }
  EXPECT_FALSE(file_exists(dir.path()));  // the refused writes touched nothing
}

// ---- Section store ----

Bytes header(unsigned int count) {
  Bytes bytes(PGMDEV_FLASH_INI_CONST_STRING, PGMDEV_FLASH_INI_CONST_STRING + 16);
  append_le32(bytes, count);
  return bytes;
}

void add_entry(Bytes& bytes, unsigned int offset, unsigned int size) {
  append_le32(bytes, offset);
  append_le32(bytes, size);
}

TEST(FlashIniStore, WritesAndReadsSectionsByteForByte) {
  TempModuleDir dir;
  for (const auto section :
       {PGMDEV_FLASH_INI_SFL_FLASH, PGMDEV_FLASH_INI_HPS_SPI, PGMDEV_FLASH_INI_HPS_NAND}) {
    EXPECT_TRUE(read_section(section).empty());
  }

  const Bytes five = {1, 2, 3, 4, 5};
  ASSERT_TRUE(write_section(PGMDEV_FLASH_INI_HPS_SPI, five));
  Bytes expected = header(3);
  add_entry(expected, 0, 0);
  add_entry(expected, 44, 5);
  add_entry(expected, 0, 0);
  append(expected, five);
  ASSERT_EQ(expected.size(), 49u);
  EXPECT_EQ(read_file(dir.path()), expected);

  // Section 0 comes first in the data; section 1 moves behind it.
  const Bytes three = {0xA, 0xB, 0xC};
  ASSERT_TRUE(write_section(PGMDEV_FLASH_INI_SFL_FLASH, three));
  expected = header(3);
  add_entry(expected, 44, 3);
  add_entry(expected, 47, 5);
  add_entry(expected, 0, 0);
  append(expected, three);
  append(expected, five);
  ASSERT_EQ(expected.size(), 52u);
  EXPECT_EQ(read_file(dir.path()), expected);
  EXPECT_EQ(read_section(PGMDEV_FLASH_INI_SFL_FLASH), three);
  EXPECT_EQ(read_section(PGMDEV_FLASH_INI_HPS_SPI), five);
  EXPECT_TRUE(read_section(PGMDEV_FLASH_INI_HPS_NAND).empty());

  // Emptying both leaves the 44-byte frame, which reads as empty everywhere.
  ASSERT_TRUE(write_section(PGMDEV_FLASH_INI_HPS_SPI, {}));
  EXPECT_EQ(read_file(dir.path()).size(), 47u);
  EXPECT_EQ(read_section(PGMDEV_FLASH_INI_SFL_FLASH), three);
  ASSERT_TRUE(write_section(PGMDEV_FLASH_INI_SFL_FLASH, {}));
  expected = header(3);
  for (int i = 0; i < 3; ++i) add_entry(expected, 0, 0);
  EXPECT_EQ(read_file(dir.path()), expected);
  for (const auto section :
       {PGMDEV_FLASH_INI_SFL_FLASH, PGMDEV_FLASH_INI_HPS_SPI, PGMDEV_FLASH_INI_HPS_NAND}) {
    EXPECT_TRUE(read_section(section).empty());
  }
  EXPECT_FALSE(file_exists(dir.path("pgm_flash.ini.tmp")));
  EXPECT_FALSE(file_exists(dir.path("pgm_flash.ini.bak")));
}

TEST(FlashIniStore, SectionAboveTwoIsRefusedWithoutTouchingTheFile) {
  TempModuleDir dir;
  ASSERT_TRUE(write_section(PGMDEV_FLASH_INI_HPS_NAND, {7, 7}));
  const Bytes before = read_file(dir.path());
  EXPECT_FALSE(write_section(static_cast<PGMDEV_FLASH_INI_ENUM>(3), {1}));
  EXPECT_EQ(read_file(dir.path()), before);
}

// The 52-byte file of sections 0 (3 bytes) and 1 (5 bytes), as written above.
Bytes two_section_file() {
  Bytes bytes = header(3);
  add_entry(bytes, 44, 3);
  add_entry(bytes, 47, 5);
  add_entry(bytes, 0, 0);
  append(bytes, {0xA, 0xB, 0xC, 1, 2, 3, 4, 5});
  return bytes;
}

void put_le32(Bytes& bytes, size_t offset, unsigned int value) {
  for (int i = 0; i < 4; ++i) bytes[offset + i] = static_cast<unsigned char>(value >> (8 * i));
}

TEST(FlashIniStore, DamagedFilesReadAsEmptyAndAreKeptAsBackup) {
  struct Case {
    const char* what;
    std::function<void(Bytes&)> damage;
  } const cases[] = {
      {"gap between two sections", [](Bytes& b) { put_le32(b, 28, 48); }},
      {"a byte more than the sections", [](Bytes& b) { b.push_back(0); }},
      {"a byte less than the sections", [](Bytes& b) { b.pop_back(); }},
      {"empty entry with a size", [](Bytes& b) { put_le32(b, 40, 1); }},
      {"section with offset but no size",
       [](Bytes& b) {
         put_le32(b, 24, 0);
         put_le32(b, 28, 44);
       }},
      {"first section not at the directory end", [](Bytes& b) { put_le32(b, 20, 45); }},
      {"wrong signature", [](Bytes& b) { b[15] = 'X'; }},
      {"count past the file", [](Bytes& b) { put_le32(b, 16, 4); }},
      {"count that wraps 32 bits", [](Bytes& b) { put_le32(b, 16, 0x20000000); }},
      {"count 0", [](Bytes& b) { put_le32(b, 16, 0); }},
      {"shorter than 17 bytes", [](Bytes& b) { b.resize(16); }},
      {"header only", [](Bytes& b) { b.resize(20); }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    TempModuleDir dir;
    Bytes damaged = two_section_file();
    c.damage(damaged);
    write_file(dir.path(), damaged);
    for (const auto section :
         {PGMDEV_FLASH_INI_SFL_FLASH, PGMDEV_FLASH_INI_HPS_SPI, PGMDEV_FLASH_INI_HPS_NAND}) {
      EXPECT_TRUE(read_section(section).empty());
    }
    // The next write holds only its own section and keeps the damaged file beside it.
    ASSERT_TRUE(write_section(PGMDEV_FLASH_INI_HPS_NAND, {9}));
    EXPECT_EQ(read_file(dir.path()).size(), 45u);
    EXPECT_EQ(read_section(PGMDEV_FLASH_INI_HPS_NAND), Bytes{9});
    EXPECT_TRUE(read_section(PGMDEV_FLASH_INI_SFL_FLASH).empty());
    EXPECT_EQ(read_file(dir.path("pgm_flash.ini.bak")), damaged);
  }
}

TEST(FlashIniStore, DirectoriesOfOtherLengths) {
  TempModuleDir dir;
  // Two entries: section 2 lies beyond the directory.
  Bytes two = header(2);
  add_entry(two, 36, 3);
  add_entry(two, 0, 0);
  append(two, {1, 2, 3});
  write_file(dir.path(), two);
  EXPECT_EQ(read_section(PGMDEV_FLASH_INI_SFL_FLASH), (Bytes{1, 2, 3}));
  EXPECT_TRUE(read_section(PGMDEV_FLASH_INI_HPS_NAND).empty());
  // A readable file is no backup case; the rewrite has three entries.
  ASSERT_TRUE(write_section(PGMDEV_FLASH_INI_HPS_NAND, {4}));
  EXPECT_FALSE(file_exists(dir.path("pgm_flash.ini.bak")));
  Bytes expected = header(3);
  add_entry(expected, 44, 3);
  add_entry(expected, 0, 0);
  add_entry(expected, 47, 1);
  append(expected, {1, 2, 3, 4});
  EXPECT_EQ(read_file(dir.path()), expected);

  // Four entries: read, and rewritten with three.
  Bytes four = header(4);
  add_entry(four, 52, 2);
  add_entry(four, 0, 0);
  add_entry(four, 54, 1);
  add_entry(four, 55, 1);
  append(four, {5, 6, 7, 8});
  write_file(dir.path(), four);
  EXPECT_EQ(read_section(PGMDEV_FLASH_INI_HPS_NAND), Bytes{7});
  ASSERT_TRUE(write_section(PGMDEV_FLASH_INI_HPS_SPI, {}));
  expected = header(3);
  add_entry(expected, 44, 2);
  add_entry(expected, 0, 0);
  add_entry(expected, 46, 1);
  append(expected, {5, 6, 7});
  EXPECT_EQ(read_file(dir.path()), expected);
}

// Runs body in a child process and gives its exit code (or -1 when it did not exit).
int run_in_child(const std::function<int()>& body) {
  const pid_t pid = fork();
  if (pid == 0) _exit(body());
  int status = 0;
  if (pid < 0 || waitpid(pid, &status, 0) != pid || !WIFEXITED(status)) return -1;
  return WEXITSTATUS(status);
}

constexpr int kChildSkipped = 77;

TEST(FlashIniStore, FailingWriteKeepsTheOldFile) {
  // Tests run as root, whom a read-only directory does not stop; each case makes one step of
  // the write fail for real instead.
  struct Case {
    const char* what;
    std::function<void(const TempModuleDir&)> prepare;  // in this process
    std::function<bool()> restrict;                     // in the child, before the write
  } const cases[] = {
      {"read-only directory, unprivileged writer",
       [](const TempModuleDir& dir) {
         chmod(dir.path("pgm_flash.ini.lock").c_str(), 0666);
         chmod(dir.dir().c_str(), 0555);
       },
       [] { return setgid(65534) == 0 && setuid(65534) == 0; }},
      {"temporary file name taken by a directory",
       [](const TempModuleDir& dir) { mkdir(dir.path("pgm_flash.ini.tmp").c_str(), 0755); },
       [] { return true; }},
      {"file size limit cuts the write", [](const TempModuleDir&) {},
       [] {
         signal(SIGXFSZ, SIG_IGN);
         const rlimit limit = {60, 60};
         return setrlimit(RLIMIT_FSIZE, &limit) == 0;
       }},
      {"lock file name taken by a directory",
       [](const TempModuleDir& dir) {
         unlink(dir.path("pgm_flash.ini.lock").c_str());
         mkdir(dir.path("pgm_flash.ini.lock").c_str(), 0755);
       },
       [] { return true; }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    TempModuleDir dir;
    ASSERT_TRUE(write_section(PGMDEV_FLASH_INI_HPS_SPI, {1, 2, 3}));
    const Bytes before = read_file(dir.path());
    c.prepare(dir);
    const int code = run_in_child([&] {
      if (!c.restrict()) return kChildSkipped;
      return write_section(PGMDEV_FLASH_INI_SFL_FLASH, Bytes(100, 0x5A)) ? 1 : 0;
    });
    if (code == kChildSkipped) {
      GTEST_LOG_(INFO) << "cannot set up: " << c.what;
      continue;
    }
    EXPECT_EQ(code, 0) << "the write did not report its failure";
    EXPECT_EQ(read_file(dir.path()), before);
    EXPECT_FALSE(std::filesystem::is_regular_file(dir.path("pgm_flash.ini.tmp")));
  }
}

TEST(FlashIniStore, ConcurrentWritersKeepEachOthersSection) {
  TempModuleDir dir;
  constexpr int kRounds = 150;
  auto writer = [](PGMDEV_FLASH_INI_ENUM section) {
    return [section] {
      for (int round = 0; round < kRounds; ++round) {
        const Bytes data = {static_cast<unsigned char>(section), static_cast<unsigned char>(round),
                            0xA5};
        if (!write_section(section, data)) return 1;
      }
      return 0;
    };
  };
  const pid_t first = fork();
  if (first == 0) _exit(writer(PGMDEV_FLASH_INI_HPS_SPI)());
  const pid_t second = fork();
  if (second == 0) _exit(writer(PGMDEV_FLASH_INI_HPS_NAND)());
  for (const pid_t pid : {first, second}) {
    int status = 0;
    ASSERT_EQ(waitpid(pid, &status, 0), pid);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  }
  const unsigned char last = kRounds - 1;
  EXPECT_EQ(read_section(PGMDEV_FLASH_INI_HPS_SPI), (Bytes{1, last, 0xA5}));
  EXPECT_EQ(read_section(PGMDEV_FLASH_INI_HPS_NAND), (Bytes{2, last, 0xA5}));
  EXPECT_FALSE(file_exists(dir.path("pgm_flash.ini.tmp")));
}

TEST(FlashIniStore, AnotherUserWritesThroughTheLockThatRootMade) {
  // Root wrote first and made the lock file 0644; a second user may write pgm_flash.ini itself
  // (0666 in a 0777 directory) and must not be refused for want of writing the lock file.
  TempModuleDir dir;
  ASSERT_TRUE(write_section(PGMDEV_FLASH_INI_HPS_SPI, {1, 2, 3}));
  ASSERT_EQ(chmod(dir.path("pgm_flash.ini.lock").c_str(), 0644), 0);
  ASSERT_EQ(chmod(dir.path().c_str(), 0666), 0);
  ASSERT_EQ(chmod(dir.dir().c_str(), 0777), 0);
  const int code = run_in_child([] {
    if (setgid(65534) != 0 || setuid(65534) != 0) return kChildSkipped;
    return write_section(PGMDEV_FLASH_INI_SFL_FLASH, {7, 7}) ? 0 : 1;
  });
  if (code == kChildSkipped) GTEST_SKIP() << "needs root to act as another user";
  EXPECT_EQ(code, 0) << "the second user's write was refused";
  EXPECT_EQ(read_section(PGMDEV_FLASH_INI_SFL_FLASH), (Bytes{7, 7}));
  EXPECT_EQ(read_section(PGMDEV_FLASH_INI_HPS_SPI), (Bytes{1, 2, 3}));
  struct stat info {};
  ASSERT_EQ(stat(dir.path().c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 07777, 0666u);
}

TEST(FlashIniStore, NewLockFileTakesThePermissionBitsOfTheFile) {
  struct Case {
    mode_t file_mode;
  } const kCases[] = {{0600}, {0640}, {0664}, {0666}};
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.file_mode);
    TempModuleDir dir;
    ASSERT_TRUE(write_section(PGMDEV_FLASH_INI_HPS_SPI, {1}));
    ASSERT_EQ(unlink(dir.path("pgm_flash.ini.lock").c_str()), 0);
    ASSERT_EQ(chmod(dir.path().c_str(), c.file_mode), 0);
    ASSERT_TRUE(write_section(PGMDEV_FLASH_INI_HPS_SPI, {2}));
    struct stat lock {};
    ASSERT_EQ(stat(dir.path("pgm_flash.ini.lock").c_str(), &lock), 0);
    EXPECT_EQ(lock.st_mode & 07777, c.file_mode);
  }
}

TEST(FlashIniStore, BackupsNeverReplaceEachOther) {
  TempModuleDir dir;
  const Bytes first_foreign = {'f', 'i', 'r', 's', 't'};
  write_file(dir.path(), first_foreign);
  ASSERT_TRUE(write_section(PGMDEV_FLASH_INI_HPS_NAND, {1}));
  EXPECT_EQ(read_file(dir.path("pgm_flash.ini.bak")), first_foreign);

  // Emptying every section leaves the library's own 44-byte image; the next write replaces it
  // without taking it for a damaged file.
  ASSERT_TRUE(write_section(PGMDEV_FLASH_INI_HPS_NAND, {}));
  ASSERT_EQ(read_file(dir.path()).size(), 44u);
  ASSERT_TRUE(write_section(PGMDEV_FLASH_INI_HPS_SPI, {2}));
  EXPECT_EQ(read_file(dir.path("pgm_flash.ini.bak")), first_foreign);
  EXPECT_FALSE(file_exists(dir.path("pgm_flash.ini.bak.1")));

  // Each further damaged file takes the next free name.
  const Bytes second_foreign = {'s', 'e', 'c', 'o', 'n', 'd'};
  const Bytes third_foreign = {'t', 'h', 'i', 'r', 'd'};
  write_file(dir.path(), second_foreign);
  ASSERT_TRUE(write_section(PGMDEV_FLASH_INI_HPS_SPI, {3}));
  write_file(dir.path(), third_foreign);
  ASSERT_TRUE(write_section(PGMDEV_FLASH_INI_HPS_SPI, {4}));
  EXPECT_EQ(read_file(dir.path("pgm_flash.ini.bak")), first_foreign);
  EXPECT_EQ(read_file(dir.path("pgm_flash.ini.bak.1")), second_foreign);
  EXPECT_EQ(read_file(dir.path("pgm_flash.ini.bak.2")), third_foreign);
  EXPECT_FALSE(file_exists(dir.path("pgm_flash.ini.bak.3")));
  EXPECT_EQ(read_section(PGMDEV_FLASH_INI_HPS_SPI), Bytes{4});
}

// ---- Several processes ----

// Payload bytes of a process record: 128 KiB makes each write long enough (read, copy,
// rename) for writers to overlap, so that without the lock a reader finds lost writes on
// practically every run.
constexpr unsigned int kProcessRecordBytes = 128 * 1024;

// A section written by one process: who wrote it, where, the how-manieth write it was, a
// payload whose length varies (so that the sections move) and whose bytes depend on the
// writer and the write, and a check byte.
Bytes process_record(unsigned int process, unsigned int section, unsigned int sequence) {
  Bytes record = {static_cast<unsigned char>(process), static_cast<unsigned char>(section),
                  static_cast<unsigned char>(sequence), static_cast<unsigned char>(sequence >> 8)};
  const unsigned int length = kProcessRecordBytes + (sequence * 7 + process * 3) % 40;
  const unsigned char fill = static_cast<unsigned char>(process * 31 + sequence);
  record.resize(record.size() + length, fill);
  const unsigned char check = record[0] ^ record[1] ^ record[2] ^ record[3] ^ fill;
  record.push_back(check);
  return record;
}

// Whether bytes are a record of section that process_record made.
bool is_process_record(const Bytes& bytes, unsigned int section) {
  if (bytes.size() < 6 || bytes[1] != section) return false;
  const unsigned int sequence = bytes[2] | bytes[3] << 8;
  return bytes == process_record(bytes[0], section, sequence);
}

// Nanoseconds on the clock that every process of the machine shares.
long long monotonic_now() {
  return std::chrono::duration_cast<std::chrono::nanoseconds>(
             std::chrono::steady_clock::now().time_since_epoch())
      .count();
}

// Reads every element that the other end of a pipe writes until it closes it.
template <class T>
std::vector<T> read_pipe(int fd) {
  std::vector<unsigned char> bytes;
  unsigned char chunk[4096];
  ssize_t got = 0;
  while ((got = read(fd, chunk, sizeof(chunk))) > 0 || (got < 0 && errno == EINTR)) {
    if (got > 0) bytes.insert(bytes.end(), chunk, chunk + got);
  }
  close(fd);
  std::vector<T> elements(bytes.size() / sizeof(T));
  std::memcpy(elements.data(), bytes.data(), elements.size() * sizeof(T));
  return elements;
}

TEST(FlashIniStore, SeveralProcessesLoseNoWriteOfAnySection) {
  constexpr unsigned int kWriters = 8;
  constexpr unsigned int kWrites = 200;
  constexpr unsigned int kInitial = 0xFF;  // the writer of the sections before the run
  const PGMDEV_FLASH_INI_ENUM kSections[] = {PGMDEV_FLASH_INI_SFL_FLASH, PGMDEV_FLASH_INI_HPS_SPI,
                                             PGMDEV_FLASH_INI_HPS_NAND};
  // In memory where the system has it: the test is about what the writers do to each other,
  // and some 3200 syncs of a disk would take it from seconds to tens of seconds.
  TempModuleDir dir(std::filesystem::is_directory("/dev/shm") ? "/dev/shm" : "/tmp");
  for (unsigned int s = 0; s < 3; ++s) {
    ASSERT_TRUE(write_section(kSections[s], process_record(kInitial, s, 0)));
  }
  const auto started_at = std::chrono::steady_clock::now();

  // A write as its writer logged it, with the times taken before and after the call.
  struct Write {
    unsigned int section;
    unsigned int sequence;
    long long started;
    long long finished;
    bool ok;
  };
  // A section as the reader found it: whose write, and when the read started.
  struct Seen {
    unsigned int section;
    unsigned int writer;  // kInitial: the section before the run; ~0u: failed the checks
    unsigned int sequence;
    long long read_started;
  };

  int done_pipe[2];
  int seen_pipe[2];
  ASSERT_EQ(pipe(done_pipe), 0);
  ASSERT_EQ(pipe(seen_pipe), 0);
  // The reader reads every section until the writers are done (its end of the done pipe
  // then reads end-of-file) and reports what it saw.
  const pid_t reader = fork();
  if (reader == 0) {
    close(done_pipe[1]);
    close(seen_pipe[0]);
    fcntl(done_pipe[0], F_SETFL, O_NONBLOCK);
    std::vector<Seen> seen;
    char ignored = 0;
    while (read(done_pipe[0], &ignored, 1) < 0) {
      for (unsigned int s = 0; s < 3; ++s) {
        const long long read_started = monotonic_now();
        const Bytes bytes = read_section(kSections[s]);
        if (!is_process_record(bytes, s)) {
          seen.push_back({s, ~0u, 0, read_started});
        } else {
          seen.push_back({s, bytes[0], unsigned(bytes[2] | bytes[3] << 8), read_started});
        }
      }
    }
    const ssize_t size = ssize_t(seen.size() * sizeof(Seen));
    _exit(write(seen_pipe[1], seen.data(), size_t(size)) == size ? 0 : 1);
  }
  close(done_pipe[0]);
  close(seen_pipe[1]);

  // Each writer rewrites the sections in turn with records of its own and logs every write.
  std::vector<pid_t> writers;
  std::vector<int> logs;
  for (unsigned int p = 0; p < kWriters; ++p) {
    int log_pipe[2];
    ASSERT_EQ(pipe(log_pipe), 0);
    const pid_t pid = fork();
    if (pid == 0) {
      close(done_pipe[1]);
      close(seen_pipe[0]);
      close(log_pipe[0]);
      for (unsigned int i = 0; i < kWrites; ++i) {
        const unsigned int section = (p + i) % 3;
        Write logged = {section, i, monotonic_now(), 0, false};
        logged.ok = write_section(kSections[section], process_record(p, section, i));
        logged.finished = monotonic_now();
        if (write(log_pipe[1], &logged, sizeof(logged)) != sizeof(logged)) _exit(1);
      }
      _exit(0);
    }
    close(log_pipe[1]);
    writers.push_back(pid);
    logs.push_back(log_pipe[0]);
  }
  std::vector<std::vector<Write>> written(kWriters);
  for (unsigned int p = 0; p < kWriters; ++p) {
    written[p] = read_pipe<Write>(logs[p]);
    int status = 0;
    ASSERT_EQ(waitpid(writers[p], &status, 0), writers[p]);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "writer " << p;
    ASSERT_EQ(written[p].size(), kWrites) << "writer " << p;
    for (const Write& w : written[p]) EXPECT_TRUE(w.ok) << "write " << w.sequence << " of " << p;
  }
  close(done_pipe[1]);
  const std::vector<Seen> seen = read_pipe<Seen>(seen_pipe[0]);
  int reader_status = 0;
  ASSERT_EQ(waitpid(reader, &reader_status, 0), reader);
  EXPECT_TRUE(WIFEXITED(reader_status) && WEXITSTATUS(reader_status) == 0);

  // A section holds a lost write's predecessor when a write to it that started after the
  // held one had finished was itself finished before the section was read: per section, the
  // writes ordered by their end, and the latest start among the writes ended so far.
  struct Ended {
    long long finished;
    long long latest_start;
  };
  std::vector<Ended> ended[3];
  for (unsigned int s = 0; s < 3; ++s) {
    std::vector<Write> writes;
    for (const auto& of_writer : written) {
      for (const Write& w : of_writer) {
        if (w.section == s) writes.push_back(w);
      }
    }
    std::sort(writes.begin(), writes.end(),
              [](const Write& a, const Write& b) { return a.finished < b.finished; });
    long long latest_start = std::numeric_limits<long long>::min();
    for (const Write& w : writes) {
      latest_start = std::max(latest_start, w.started);
      ended[s].push_back({w.finished, latest_start});
    }
  }
  // Whether the write (writer, sequence) of section s was overtaken by one that had ended
  // before `when`.
  const auto overtaken = [&](unsigned int s, unsigned int writer, unsigned int sequence,
                             long long when) {
    const long long held_finished = writer == kInitial ? std::numeric_limits<long long>::min()
                                                       : written[writer][sequence].finished;
    const auto after =
        std::lower_bound(ended[s].begin(), ended[s].end(), when,
                         [](const Ended& e, long long time) { return e.finished < time; });
    return after != ended[s].begin() && std::prev(after)->latest_start > held_finished;
  };

  unsigned int refused = 0;
  unsigned int stale = 0;
  for (const Seen& look : seen) {
    if (look.writer == ~0u) {
      ++refused;
    } else if (overtaken(look.section, look.writer, look.sequence, look.read_started)) {
      ++stale;
    }
  }
  EXPECT_GT(seen.size(), 0u);
  EXPECT_EQ(refused, 0u) << "sections that failed the read checks, of " << seen.size();
  EXPECT_EQ(stale, 0u) << "sections read with a lost write, of " << seen.size();
  for (unsigned int s = 0; s < 3; ++s) {
    SCOPED_TRACE(PGMDEV_FLASH_INI_STRING[s]);
    const Bytes last = read_section(kSections[s]);
    ASSERT_TRUE(is_process_record(last, s));
    ASSERT_LT(last[0], kWriters) << "every write to the section was lost";
    EXPECT_FALSE(
        overtaken(s, last[0], last[2] | last[3] << 8, std::numeric_limits<long long>::max()))
        << "the section ends with a write that a later one overtook";
  }
  EXPECT_FALSE(file_exists(dir.path("pgm_flash.ini.tmp")));
  EXPECT_FALSE(file_exists(dir.path("pgm_flash.ini.bak")));
  const auto seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - started_at);
  std::cout << kWriters << " writers x " << kWrites << " writes, " << seen.size()
            << " sections read meanwhile: " << seconds.count() << " s\n";
}

// ---- Field encoding ----

TEST(FlashIniEncoding, EveryTypeEncodesAndDecodesLittleEndian) {
  const PGMDEV_PARAM_TYPE types[] = {PGMDEV_PARAM_STRING, PGMDEV_PARAM_BOOL,  PGMDEV_PARAM_BYTE,
                                     PGMDEV_PARAM_WORD,   PGMDEV_PARAM_DWORD, PGMDEV_PARAM_QWORD};
  PgmdevParamFields in;
  in.text = "MX";
  in.flag = true;
  in.byte = 0x7E;
  in.word = 0x1234;
  in.dword = 0xA1B2C3D4;
  in.qword = 0x0102030405060708ull;
  void* in_values[6];
  for (int i = 0; i < 6; ++i) in_values[i] = in.pointer(types[i]);
  const Bytes encoded = encode_record(types, in_values, 6);
  const Bytes expected = {'M',  'X',  0,    1,    0x7E, 0x34, 0x12, 0xD4, 0xC3, 0xB2,
                          0xA1, 0x08, 0x07, 0x06, 0x05, 0x04, 0x03, 0x02, 0x01};
  EXPECT_EQ(encoded, expected);

  PgmdevParamFields out;
  void* out_values[6];
  for (int i = 0; i < 6; ++i) out_values[i] = out.pointer(types[i]);
  unsigned int index = 0;
  ASSERT_TRUE(PGMDEV_FLASH_INI::assign_flash_ini_data(
      encoded.data(), index, static_cast<unsigned int>(encoded.size()), 6, types, out_values));
  EXPECT_EQ(index, encoded.size());
  EXPECT_EQ(out.text, in.text);
  EXPECT_EQ(out.flag, in.flag);
  EXPECT_EQ(out.byte, in.byte);
  EXPECT_EQ(out.word, in.word);
  EXPECT_EQ(out.dword, in.dword);
  EXPECT_EQ(out.qword, in.qword);
}

TEST(FlashIniEncoding, RecordDecodingCases) {
  struct Case {
    const char* what;
    std::vector<PGMDEV_PARAM_TYPE> types;
    Bytes data;
    unsigned int start;
    bool ok;
    unsigned int index_after;
  } const cases[] = {
      {"string ends with the last byte",
       {PGMDEV_PARAM_BYTE, PGMDEV_PARAM_STRING},
       {1, 'a', 'b', 0},
       0,
       true,
       4},
      {"string without its zero byte",
       {PGMDEV_PARAM_BYTE, PGMDEV_PARAM_STRING},
       {1, 'a', 'b'},
       0,
       false,
       3},
      {"empty string", {PGMDEV_PARAM_STRING}, {0}, 0, true, 1},
      {"qword with eight bytes", {PGMDEV_PARAM_QWORD}, Bytes(8, 1), 0, true, 8},
      {"qword with seven bytes", {PGMDEV_PARAM_QWORD}, Bytes(7, 1), 0, false, 0},
      {"qword with four bytes", {PGMDEV_PARAM_QWORD}, Bytes(4, 1), 0, false, 0},
      {"dword with three bytes", {PGMDEV_PARAM_DWORD}, Bytes(3, 1), 0, false, 0},
      {"word with one byte", {PGMDEV_PARAM_WORD}, Bytes(1, 1), 0, false, 0},
      {"data ends before the last field", {PGMDEV_PARAM_BYTE, PGMDEV_PARAM_BYTE}, {1}, 0, false, 1},
      {"second record of two",
       {PGMDEV_PARAM_BYTE, PGMDEV_PARAM_WORD},
       {1, 2, 3, 4, 5, 6},
       3,
       true,
       6},
      {"no fields", {}, {1}, 0, true, 0},
      {"index at the end", {PGMDEV_PARAM_BYTE}, {1}, 1, false, 1},
      {"unknown type", {static_cast<PGMDEV_PARAM_TYPE>(7)}, {1, 2}, 0, false, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    PgmdevParamFields fields;
    std::vector<void*> values;
    for (const PGMDEV_PARAM_TYPE type : c.types) values.push_back(fields.pointer(type));
    unsigned int index = c.start;
    // A copy exactly as long as the data, so that any read past it is caught by the sanitizer.
    std::vector<unsigned char> exact(c.data);
    const bool ok = PGMDEV_FLASH_INI::assign_flash_ini_data(
        exact.data(), index, static_cast<unsigned int>(exact.size()),
        static_cast<unsigned int>(c.types.size()), c.types.data(), values.data());
    EXPECT_EQ(ok, c.ok);
    EXPECT_EQ(index, c.index_after);
  }
}

TEST(FlashIniEncoding, BoolDecodesAnyNonZeroByteAndEncodesOne) {
  const PGMDEV_PARAM_TYPE types[] = {PGMDEV_PARAM_BOOL, PGMDEV_PARAM_BOOL};
  const Bytes data = {2, 0};
  bool first = false;
  bool second = true;
  void* values[] = {&first, &second};
  unsigned int index = 0;
  ASSERT_TRUE(PGMDEV_FLASH_INI::assign_flash_ini_data(data.data(), index, 2, 2, types, values));
  EXPECT_TRUE(first);
  EXPECT_FALSE(second);
  EXPECT_EQ(encode_record(types, values, 2), (Bytes{1, 0}));
}

TEST(FlashIniEncoding, FailedRecordKeepsTheFieldsBeforeTheFailure) {
  const PGMDEV_PARAM_TYPE types[] = {PGMDEV_PARAM_WORD, PGMDEV_PARAM_STRING};
  const Bytes data = {0x34, 0x12, 'a'};
  unsigned short word = 0;
  std::string text = "unchanged";
  void* values[] = {&word, &text};
  unsigned int index = 0;
  EXPECT_FALSE(PGMDEV_FLASH_INI::assign_flash_ini_data(data.data(), index, 3, 2, types, values));
  EXPECT_EQ(word, 0x1234);
  EXPECT_EQ(text, "unchanged");
}

}  // namespace
