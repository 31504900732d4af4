// Flash database: schema tables, generation from CSV, loading with gates and the one-default rule,
// the loader's checks on damaged files, identification mapping and the map queries.
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <stdlib.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "cfg.h"
#include "msg.h"
#include "pgmdev_flash_manager.h"
#include "zlib_util.h"

namespace {

namespace fs = std::filesystem;

constexpr const char kFlashSource[] = "pgm/pgmdev/pgmdev_flash_manager.cpp";
constexpr unsigned int kHeaderBytes = 44;  // magic, schema id, payload length

// The outcome of an operation that is expected to fail its internal check.
struct Failure {
  std::string text;  // empty when nothing failed
  std::string file;
};

Failure failure_of(const std::function<void()>& operation) {
  try {
    operation();
  } catch (const MSG_INTERNAL_ERROR_EXCEPTION& error) {
    return {error.what(), error.file()};
  }
  return {};
}

std::string read_file(const fs::path& path) {
  std::ifstream input(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(input), std::istreambuf_iterator<char>());
}

void write_file(const fs::path& path, const std::string& bytes) {
  std::ofstream output(path, std::ios::binary | std::ios::trunc);
  output.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

// A valid data row; named members are replaced by overrides.
std::vector<std::string> flash_row(const std::map<std::string, std::string>& overrides = {}) {
  std::vector<std::string> row = {"ACME",  "FLASHA", "FALSE", "0x18",  "2",    "0x40",      "1",
                                  "0xEF",  "0",      "18",    "TRUE",  "NONE", "FALSE",     "FALSE",
                                  "FALSE", "FALSE",  "FALSE", "FALSE", "1",    "134217728", "65536",
                                  "FALSE", "FALSE",  "200",   "2",     "3000", "0x1C",      "0x1C",
                                  "0x00",  "255",    "0x20",  "FALSE", "3.3"};
  for (const auto& [member, value] : overrides) {
    bool found = false;
    for (unsigned int i = 0; i < PGMDEV_FLASH_MANAGER::TOTAL_DATABASE_MEMBER; ++i) {
      if (member == PGMDEV_FLASH_MANAGER::m_name_list[i]) {
        row[i] = value;
        found = true;
      }
    }
    EXPECT_TRUE(found) << member;
  }
  return row;
}

std::string join(const std::vector<std::string>& tokens, const char* separator = ", ") {
  std::string line;
  for (const std::string& token : tokens) line += (line.empty() ? "" : separator) + token;
  return line;
}

std::vector<std::string> type_row() {
  std::vector<std::string> row;
  for (const PGMDEV_MANAGER_TYPE type : PGMDEV_FLASH_MANAGER::m_type_list) {
    row.push_back(type == PGMDEV_MANAGER_STRING ? "STL_STRING"
                  : type == PGMDEV_MANAGER_BOOL ? "bool"
                  : type == PGMDEV_MANAGER_BYTE ? "BYTE"
                                                : "DWORD");
  }
  return row;
}

std::vector<std::string> name_row() {
  return std::vector<std::string>(std::begin(PGMDEV_FLASH_MANAGER::m_name_list),
                                  std::end(PGMDEV_FLASH_MANAGER::m_name_list));
}

// The eight header rows: types, names, free text, three counted rows, free text.
std::vector<std::string> header_lines() {
  const std::string counted = join(std::vector<std::string>(33, "x"));
  return {join(type_row()), join(name_row()), "Flash devices for the test",
          "free text",      counted,          counted,
          counted,          "records follow"};
}

std::string csv_text(const std::vector<std::vector<std::string>>& rows) {
  std::string text;
  for (const std::string& line : header_lines()) text += line + "\n";
  for (const auto& row : rows) text += join(row) + "\n";
  return text;
}

// A private device data directory, set as PGMDEV_DEVICE_DB_DIR, with the flash database under
// programmer/.
class FlashDatabaseTest : public testing::Test {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/pgmdev_flash_XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    m_dir = pattern;
    fs::create_directories(m_dir / "programmer");
    cfg_set_value("PGMDEV_DEVICE_DB_DIR", m_dir.string());
    msg_clear_debug_log();
  }
  void TearDown() override {
    for (const char* gate : {"PGM_ALLOW_LAB", "PGM_ALLOW_lab", "PGM_ALLOW_MT25Q"}) {
      cfg_unset_value(gate);
    }
    cfg_unset_value("PGMDEV_DEVICE_DB_DIR");
    fs::remove_all(m_dir);
  }

  fs::path csv_path() const { return m_dir / "flash.csv"; }
  fs::path pcf_path() const { return m_dir / "programmer" / "pgm_flash.pcf"; }

  // Writes the CSV text and generates the database file from it.
  void generate_text(const std::string& text) {
    write_file(csv_path(), text);
    PGMDEV_FLASH_MANAGER generator(false, 0, true, false);
    generator.generate_flash_database(csv_path().string(), pcf_path().string());
  }
  void generate(const std::vector<std::vector<std::string>>& rows) {
    generate_text(csv_text(rows));
  }
  Failure generate_failure(const std::string& text) {
    return failure_of([&] { generate_text(text); });
  }
  std::unique_ptr<PGMDEV_FLASH_MANAGER> load(unsigned int devices = 1, bool debug = false) {
    return std::make_unique<PGMDEV_FLASH_MANAGER>(false, devices, false, debug);
  }
  Failure load_failure() {
    return failure_of([&] { load(); });
  }

  // The decompressed payload of the database file.
  std::string payload() const {
    const std::string file = read_file(pcf_path());
    unsigned int length = 0;
    std::memcpy(&length, file.data() + 40, 4);
    std::string body(length, '\0');
    unsigned int capacity = length;
    EXPECT_EQ(zlib_uncompress(reinterpret_cast<unsigned char*>(body.data()), &capacity,
                              reinterpret_cast<const unsigned char*>(file.data()) + kHeaderBytes,
                              static_cast<unsigned int>(file.size() - kHeaderBytes - 2)),
              ZLIB_OK);
    return body;
  }
  // Replaces the database file by one with the same header and the given payload, the stated
  // payload length being stated_length (the real length by default).
  void write_payload(const std::string& body, long stated_length = -1) {
    const std::string file = read_file(pcf_path());
    std::string compressed(body.size() * 2 + 64, '\0');
    unsigned int capacity = static_cast<unsigned int>(compressed.size());
    ASSERT_EQ(zlib_compress(reinterpret_cast<unsigned char*>(compressed.data()), &capacity,
                            reinterpret_cast<const unsigned char*>(body.data()),
                            static_cast<unsigned int>(body.size())),
              ZLIB_OK);
    compressed.resize(capacity);
    std::string header = file.substr(0, kHeaderBytes);
    const unsigned int length =
        stated_length < 0 ? static_cast<unsigned int>(body.size()) : unsigned(stated_length);
    std::memcpy(header.data() + 40, &length, 4);
    write_file(pcf_path(), header + compressed + std::string(2, '\0'));
  }

  fs::path m_dir;
};

TEST(FlashSchemaTest, TablesFollowTheRecordSchema) {
  // The member order and types that the file, the CSV and the INI text share.
  const int kTypes[] = {2, 2, 3, 4, 4, 4, 4, 4, 4, 4, 3, 2, 3, 3, 3, 3, 3,
                        3, 4, 6, 6, 3, 3, 6, 6, 6, 4, 4, 4, 4, 4, 3, 2};
  ASSERT_EQ(PGMDEV_FLASH_MANAGER::TOTAL_DATABASE_MEMBER, 33u);
  for (unsigned int i = 0; i < 33; ++i) {
    EXPECT_EQ(PGMDEV_FLASH_MANAGER::m_type_list[i], kTypes[i]) << i;
  }
  EXPECT_STREQ(PGMDEV_FLASH_MANAGER::m_name_list[0], "manufacturer_name");
  EXPECT_STREQ(PGMDEV_FLASH_MANAGER::m_name_list[9], "norvik_id");
  EXPECT_STREQ(PGMDEV_FLASH_MANAGER::m_name_list[19], "device_bit_size");
  EXPECT_STREQ(PGMDEV_FLASH_MANAGER::m_name_list[32], "asc_voltage");
}

TEST(FlashSchemaTest, CopyTakesEveryMemberAndResetEmptiesThem) {
  PGMDEV_SFL_FLASH_INFO from;
  from.manufacturer_name = "ACME";
  from.device_name = "FLASHA";
  from.ini = "NONE";
  from.asc_voltage = "1.8";
  from.silicon_id = from.sdm_support = true;
  from.memory_id = 0x18;
  from.bottom_value = 0x20;
  from.device_bit_size = 1u << 27;
  from.program_utime = 3000;
  PGMDEV_SFL_FLASH_INFO to;
  pgmdev_copy_flash_info(to, from);
  EXPECT_EQ(to.manufacturer_name, "ACME");
  EXPECT_EQ(to.asc_voltage, "1.8");
  EXPECT_TRUE(to.silicon_id && to.sdm_support);
  EXPECT_EQ(to.memory_id, 0x18);
  EXPECT_EQ(to.bottom_value, 0x20);
  EXPECT_EQ(to.device_bit_size, 1u << 27);
  EXPECT_EQ(to.program_utime, 3000u);
  pgmdev_reset_flash_info(to);
  EXPECT_TRUE(to.manufacturer_name.empty() && to.device_name.empty() && to.ini.empty() &&
              to.asc_voltage.empty());
  EXPECT_FALSE(to.silicon_id || to.sdm_support);
  EXPECT_EQ(to.memory_id + to.bottom_value + to.device_bit_size + to.program_utime, 0u);
}

// --- Generation
// ---------------------------------------------------------------------------

TEST_F(FlashDatabaseTest, OneRowGivesTheDocumentedPayload) {
  // Four strings of 4 + 9 + 4 + 3 = 20 bytes: 85 + 20 + 16 = 121 payload bytes.
  generate({flash_row({{"device_name", "FLASH0001"}})});
  const std::string file = read_file(pcf_path());
  ASSERT_GT(file.size(), 46u);
  EXPECT_EQ(file.substr(0, 8), "PGMIO_FM");
  EXPECT_EQ(file.substr(8, 32), "e58bc25311bf5303874d34bcafcaa4c1");
  EXPECT_EQ(file.substr(40, 4), std::string("\x79\x00\x00\x00", 4));
  EXPECT_EQ(file.substr(file.size() - 2), std::string(2, '\0'));

  const std::string body = payload();
  ASSERT_EQ(body.size(), 121u);
  // Version 1, one record, 33 members; then manufacturer_name as tag 2, length 4, text.
  EXPECT_EQ(body.substr(0, 12), std::string("\x01\0\0\0\x01\0\0\0\x21\0\0\0", 12));
  EXPECT_EQ(body.substr(12, 6), std::string("\x02\x04"
                                            "ACME",
                                            6));
  // silicon_id FALSE, memory_id 0x18 as a byte field.
  EXPECT_EQ(body.substr(29, 4), std::string("\x03\x00\x04\x18", 4));
  EXPECT_EQ(body.substr(113), "END1END2");
}

TEST_F(FlashDatabaseTest, ValuesKeepTheirWidth) {
  // A u8 column keeps the low byte; a u32 column all four bytes, least significant first.
  generate({flash_row({{"memory_id", "0x1FF"}, {"device_bit_size", "0x12345678"}})});
  const std::string body = payload();
  EXPECT_NE(body.find(std::string("\x04\xFF\x04\x02", 4)), std::string::npos);
  EXPECT_NE(body.find(std::string("\x06\x78\x56\x34\x12", 5)), std::string::npos);
}

TEST_F(FlashDatabaseTest, GeneratorRowRules) {
  const std::string kTokenCount = "DWORD(svec.size()) == TOTAL_DATABASE_MEMBER";
  const std::vector<std::string> kRow = flash_row();
  std::vector<std::string> short_row = kRow;
  short_row.pop_back();
  std::vector<std::string> capital_bool = type_row();
  capital_bool[2] = "Bool";
  std::vector<std::string> upper_names = name_row();
  for (std::string& name : upper_names) {
    for (char& c : name) c = static_cast<char>(toupper(c));
  }
  std::vector<std::string> wrong_name = name_row();
  wrong_name[5] = "memory_kind";
  std::vector<std::string> lines = header_lines();
  const auto with = [&lines](unsigned int row, const std::string& line) {
    std::vector<std::string> changed = lines;
    changed[row] = line;
    return join(changed, "\n") + "\n";
  };
  const std::string data = join(kRow) + "\n";

  struct Case {
    const char* what;
    std::string csv;
    std::string failure;  // "" when the file generates
  };
  const Case kCases[] = {
      {"valid file", with(0, lines[0]) + data, ""},
      {"free rows 2, 3, 7 take any token count", with(2, "x") + data, ""},
      {"free row 3 with 40 tokens", with(3, join(std::vector<std::string>(40, "y"))) + data, ""},
      {"free row 7 with one token", with(7, "z") + data, ""},
      {"counted row 4 with 32 tokens", with(4, join(short_row)) + data, kTokenCount},
      {"counted row 6 with 34 tokens", with(6, join(kRow) + ", extra") + data, kTokenCount},
      {"blank lines do not count as rows",
       "\n" + join(lines, "\n\n   \n") + "\n\t\n" + data + "\n\n", ""},
      {"blank separated tokens", join(lines, "\n") + "\n" + join(kRow, " \t ") + "\n", ""},
      {"name row in upper case", with(1, join(upper_names)) + data, ""},
      {"wrong member name", with(1, join(wrong_name)) + data, "temp == m_name_list[i]"},
      {"flag type with a capital", with(0, join(capital_bool)) + data, "svec.at(i) == \"bool\""},
      {"data row of 32 tokens", with(0, lines[0]) + join(short_row) + "\n", kTokenCount},
      {"flag written true", with(0, lines[0]) + join(flash_row({{"half_size", "true"}})) + "\n",
       "string == \"FALSE\" || string == \"TRUE\""},
      {"header only", join(lines, "\n") + "\n", "status && device_count > 0"},
      {"number that does not convert",
       with(0, lines[0]) + join(flash_row({{"program_utime", "3ms"}})) + "\n",
       "Invalid string to integer conversion"},
      {"string of 255 bytes",
       with(0, lines[0]) + join(flash_row({{"asc_voltage", std::string(255, 'V')}})) + "\n", ""},
  };
  for (const Case& c : kCases) {
    EXPECT_EQ(generate_failure(c.csv).text, c.failure) << c.what;
  }
}

TEST_F(FlashDatabaseTest, StringLongerThan255BytesIsRefused) {
  const Failure failure = generate_failure(csv_text({flash_row({{"ini", std::string(256, 'G')}})}));
  EXPECT_EQ(failure.text, "string.size() <= 255");
  EXPECT_EQ(failure.file, kFlashSource);
  EXPECT_FALSE(fs::exists(pcf_path()));
}

TEST_F(FlashDatabaseTest, MissingCsvIsRefused) {
  PGMDEV_FLASH_MANAGER generator(false, 0, true, false);
  const Failure failure = failure_of([&] {
    generator.generate_flash_database((m_dir / "absent.csv").string(), pcf_path().string());
  });
  EXPECT_EQ(failure.text, "status && device_count > 0");
  EXPECT_EQ(failure.file, kFlashSource);
}

TEST_F(FlashDatabaseTest, FailedGenerationLeavesTheOldFileAlone) {
  generate({flash_row()});
  const std::string before = read_file(pcf_path());
  EXPECT_EQ(generate_failure(csv_text({flash_row({{"default_dev", "yes"}})})).text,
            "string == \"FALSE\" || string == \"TRUE\"");
  EXPECT_EQ(read_file(pcf_path()), before);
  // Nothing else was left in the directory.
  unsigned int entries = 0;
  for ([[maybe_unused]] const auto& entry : fs::directory_iterator(m_dir / "programmer")) {
    ++entries;
  }
  EXPECT_EQ(entries, 1u);
}

// --- Loading
// -------------------------------------------------------------------------------

TEST_F(FlashDatabaseTest, RoundTripKeepsEveryMember) {
  const std::vector<std::vector<std::string>> rows = {
      flash_row(),
      flash_row({{"manufacturer_name", "OTHER"},
                 {"device_name", "FLASHB"},
                 {"silicon_id", "TRUE"},
                 {"memory_id", "0x14"},
                 {"memory_id_index", "0"},
                 {"memory_type", "0"},
                 {"memory_type_index", "255"},
                 {"mfc_id", "0x20"},
                 {"mfc_id_index", "1"},
                 {"norvik_id", "16"},
                 {"ini", "none"},
                 {"extended_mode", "TRUE"},
                 {"micron_flow", "TRUE"},
                 {"spansion_flow", "TRUE"},
                 {"startup_protected", "TRUE"},
                 {"aai_mode", "TRUE"},
                 {"flag_status", "TRUE"},
                 {"die_count", "2"},
                 {"device_bit_size", "4294967295"},
                 {"device_sector_byte", "0x40000"},
                 {"half_size", "TRUE"},
                 {"byte4_addressing", "TRUE"},
                 {"bulk_erase_time", "960"},
                 {"sec_erase_time", "3"},
                 {"program_utime", "1800"},
                 {"protection_mask", "0x5C"},
                 {"protection_value", "0x58"},
                 {"unprotect_value", "0x04"},
                 {"protection_division", "7"},
                 {"bottom_value", "0x40"},
                 {"sdm_support", "TRUE"},
                 {"asc_voltage", "1.8"}}),
  };
  generate(rows);
  const auto manager = load();
  EXPECT_EQ(manager->m_version, 1u);
  EXPECT_EQ(manager->m_type_count, 33u);
  EXPECT_EQ(manager->m_ini_count, 0u);
  ASSERT_EQ(manager->m_flash_count, 2u);
  const PGMDEV_SFL_FLASH_INFO& a = manager->m_flash_database[0];
  EXPECT_EQ(a.manufacturer_name, "ACME");
  EXPECT_EQ(a.device_name, "FLASHA");
  EXPECT_FALSE(a.silicon_id);
  EXPECT_EQ(a.memory_type_index, 1);
  EXPECT_TRUE(a.default_dev);
  EXPECT_EQ(a.device_bit_size, 134217728u);
  const PGMDEV_SFL_FLASH_INFO& b = manager->m_flash_database[1];
  const PGMDEV_SFL_FLASH_INFO expected_b = [] {
    PGMDEV_SFL_FLASH_INFO f;
    f.manufacturer_name = "OTHER";
    f.device_name = "FLASHB";
    f.silicon_id = true;
    f.memory_id = 0x14;
    f.memory_id_index = 0;
    f.memory_type = 0;
    f.memory_type_index = 255;
    f.mfc_id = 0x20;
    f.mfc_id_index = 1;
    f.norvik_id = 16;
    f.default_dev = true;
    f.ini = "none";
    f.extended_mode = f.micron_flow = f.spansion_flow = f.startup_protected = f.aai_mode =
        f.flag_status = f.half_size = f.byte4_addressing = f.sdm_support = true;
    f.die_count = 2;
    f.device_bit_size = 0xFFFFFFFFu;
    f.device_sector_byte = 0x40000;
    f.bulk_erase_time = 960;
    f.sec_erase_time = 3;
    f.program_utime = 1800;
    f.protection_mask = 0x5C;
    f.protection_value = 0x58;
    f.unprotect_value = 0x04;
    f.protection_division = 7;
    f.bottom_value = 0x40;
    f.asc_voltage = "1.8";
    return f;
  }();
#define EXPECT_MEMBER_EQ(member, kind) EXPECT_EQ(b.member, expected_b.member) << #member;
  PGMDEV_SFL_FLASH_SCHEMA(EXPECT_MEMBER_EQ)
#undef EXPECT_MEMBER_EQ
}

TEST_F(FlashDatabaseTest, GatesDropRecordsUnlessTheirSwitchIsOn) {
  generate({flash_row({{"device_name", "GATED"}, {"ini", "LAB"}}),
            flash_row({{"device_name", "OPEN"}, {"ini", "None"}})});
  {
    const auto manager = load();
    ASSERT_EQ(manager->m_flash_count, 1u);
    EXPECT_EQ(manager->m_flash_database[0].device_name, "OPEN");
  }
  cfg_set_value("PGM_ALLOW_LAB", "1");
  {
    const auto manager = load();
    ASSERT_EQ(manager->m_flash_count, 2u);
    EXPECT_EQ(manager->m_flash_database[0].device_name, "GATED");
  }
  // The gate text is appended as stored: the switch of another letter case does not count.
  cfg_unset_value("PGM_ALLOW_LAB");
  cfg_set_value("PGM_ALLOW_lab", "ON");
  EXPECT_EQ(load()->m_flash_count, 1u);
}

TEST_F(FlashDatabaseTest, EveryRecordGatedOutLoadsEmpty) {
  generate({flash_row({{"ini", "LAB"}}), flash_row({{"ini", "LAB"}, {"default_dev", "FALSE"}})});
  const auto manager = load();
  EXPECT_EQ(manager->m_flash_count, 0u);
  EXPECT_EQ(manager->get_default_flash("FLASHA"), nullptr);
  unsigned char id[3] = {0xEF, 0x40, 0x18};
  EXPECT_EQ(failure_of([&] { manager->flash_id_database_mapping(false, 0, id); }).text,
            "m_flash_database != NULL && m_flash_count > 0");
}

TEST_F(FlashDatabaseTest, OneDefaultPerDeviceName) {
  const auto named = [](const char* name, const char* is_default, const char* gate = "NONE") {
    return flash_row({{"device_name", name}, {"default_dev", is_default}, {"ini", gate}});
  };
  struct Case {
    const char* what;
    std::vector<std::vector<std::string>> rows;
    std::string failure;
  };
  const Case kCases[] = {
      {"one default among variants",
       {named("FLASHA", "FALSE"), named("FLASHA", "TRUE"), named("FLASHB", "TRUE")},
       ""},
      {"no default", {named("FLASHA", "TRUE"), named("FLASHB", "FALSE")}, "one_default"},
      {"names differing in case are one name",
       {named("FLASHA", "TRUE"), named("flasha", "TRUE")},
       "!one_default"},
      {"a gated-out twin does not count",
       {named("FLASHA", "TRUE"), named("flasha", "TRUE", "LAB")},
       ""},
      {"the gated-out record was the only default",
       {named("FLASHA", "TRUE", "LAB"), named("flasha", "FALSE")},
       "one_default"},
  };
  for (const Case& c : kCases) {
    generate(c.rows);
    const Failure failure = load_failure();
    EXPECT_EQ(failure.text, c.failure) << c.what;
    if (!c.failure.empty()) {
      EXPECT_EQ(failure.file, kFlashSource) << c.what;
    }
  }
}

TEST_F(FlashDatabaseTest, ConstructorWithoutDatabaseOrDevices) {
  PGMDEV_FLASH_MANAGER empty(false, 0, true, false);
  EXPECT_EQ(empty.m_device_to_flash_map, nullptr);
  EXPECT_EQ(empty.m_flash_database, nullptr);
  EXPECT_EQ(failure_of([&] { empty.get_flash_mapping_index(0, true); }).text,
            "m_device_to_flash_map != NULL && device < m_device_count && "
            "m_flash_database != NULL && m_flash_count > 0");
  unsigned char id[3] = {};
  EXPECT_EQ(failure_of([&] { empty.flash_id_database_mapping(true, 0, id); }).text,
            "m_device_to_flash_map != NULL");
  EXPECT_EQ(failure_of([&] { empty.sfl_get_chain_longest_program_utime(); }).text,
            "m_device_count > 0");

  generate({flash_row()});
  const Failure failure = failure_of([] { PGMDEV_FLASH_MANAGER(false, 0, false, false); });
  EXPECT_EQ(failure.text, "count > 0");
  EXPECT_EQ(failure.file, kFlashSource);
}

TEST(FlashFieldReaders, MembersReadTheFlashEncodingAndReportFromTheFlashSource) {
  PGMDEV_FLASH_MANAGER manager(false, 0, true, false);
  // A text, a flag, a byte, a two-byte and a four-byte number, then the record end mark.
  unsigned char body[] = {2,    3, 'A',  'B',  'C',  3,    1,   4,   0x7F, 5,  0x34,
                          0x12, 6, 0x78, 0x56, 0x34, 0x12, 'E', 'N', 'D',  '1'};
  const unsigned int size = sizeof(body);
  unsigned int index = 0;
  std::string text;
  bool flag = false;
  unsigned char byte = 0;
  unsigned short word = 0;
  unsigned int dword = 0;
  manager.get_string_data(body, size, index, &text);
  manager.get_bool_data(body, size, index, &flag);
  manager.get_byte_data(body, size, index, &byte);
  manager.get_word_data(body, size, index, &word);
  manager.get_dword_data(body, size, index, &dword);
  manager.confirm_data_type_end(body, size, index);
  EXPECT_EQ(text, "ABC");
  EXPECT_TRUE(flag);
  EXPECT_EQ(byte, 0x7F);
  EXPECT_EQ(word, 0x1234);
  EXPECT_EQ(dword, 0x12345678u);
  EXPECT_EQ(index, size);

  // Reading past the end is refused from the flash manager's source, as is the wrong end mark.
  const Failure past_end = failure_of([&] { manager.get_dword(body, size, index); });
  EXPECT_FALSE(past_end.text.empty());
  EXPECT_EQ(past_end.file, kFlashSource);
  index = size - 4;
  const Failure wrong_mark = failure_of([&] { manager.confirm_database_end(body, size, index); });
  EXPECT_FALSE(wrong_mark.text.empty());
  EXPECT_EQ(wrong_mark.file, kFlashSource);

  // compress_data keeps the header bytes and decompress_data restores the rest.
  unsigned long packed_count = 0;
  std::unique_ptr<unsigned char[]> packed(manager.compress_data(body, 3, size, packed_count));
  ASSERT_GT(packed_count, 3u);
  EXPECT_EQ(std::memcmp(packed.get(), body, 3), 0);
  std::unique_ptr<unsigned char[]> unpacked(
      manager.decompress_data(packed.get() + 3, packed_count - 3, size - 3));
  EXPECT_EQ(std::memcmp(unpacked.get(), body + 3, size - 3), 0);
  EXPECT_EQ(manager.calculate_crc16(body, 8 * size), 0);
}

TEST_F(FlashDatabaseTest, DebugListsEveryRecord) {
  generate({flash_row()});
  testing::internal::CaptureStdout();
  load(1, true);
  EXPECT_EQ(testing::internal::GetCapturedStdout(),
            "Flash Manager Debug 0\n\tACME FLASHA 0 24 2 64 1 239 0 18 1 NONE "
            "0 0 0 0 0 0 1 "
            "134217728 65536 0 0 200 2 3000 28 28 0 255 32 0 3.3\n");
}

// Damaged files: each case changes one thing of a valid file and names the check that refuses it.
TEST_F(FlashDatabaseTest, LoaderRefusesDamagedFiles) {
  generate({flash_row()});
  const std::string file = read_file(pcf_path());
  const std::string body = payload();
  const auto patched = [&file](unsigned int offset, char value) {
    std::string changed = file;
    changed[offset] = value;
    return changed;
  };
  const auto patched_body = [&body](unsigned int offset, const std::string& bytes) {
    std::string changed = body;
    changed.replace(offset, bytes.size(), bytes);
    return changed;
  };
  const std::string kMagic =
      "data[index++] == 'P' && data[index++] == 'G' && data[index++] == 'M' && "
      "data[index++] == 'I' && data[index++] == 'O' && data[index++] == '_' && "
      "data[index++] == 'F' && data[index++] == 'M'";
  struct FileCase {
    const char* what;
    std::string bytes;
    std::string failure;
  };
  const FileCase kFileCases[] = {
      {"46 bytes", file.substr(0, 46), "file_size > (8 + 32 + 4 + 2)"},
      {"empty file", "", "file_size > (8 + 32 + 4 + 2)"},
      {"device-info magic", patched(6, 'D'), kMagic},
      {"first magic byte", patched(0, 'X'), kMagic},
      {"last schema id character", patched(39, '0'), "Mismatch ID between flash file and reader"},
      {"first schema id character", patched(8, 'f'), "Mismatch ID between flash file and reader"},
      {"damaged zlib stream", patched(kHeaderBytes, '\x00'),
       "zlib_uncompress(decompressed_data, &new_dcmp_size, data, "
       "decompressed_count) == "
       "ZLIB_OK"},
      {"trailer is not examined", patched(static_cast<unsigned int>(file.size() - 1), '\x7F'), ""},
  };
  for (const FileCase& c : kFileCases) {
    write_file(pcf_path(), c.bytes);
    const Failure failure = load_failure();
    EXPECT_EQ(failure.text, c.failure) << c.what;
    if (!c.failure.empty()) {
      EXPECT_EQ(failure.file, kFlashSource) << c.what;
    }
  }

  // Payload offsets of the first record's fields: after the 12-byte payload header come "ACME" and
  // "FLASHA" (tag, length, text), then the silicon_id flag and the memory_id byte.
  constexpr unsigned int kSiliconId = 12 + (2 + 4) + (2 + 6);
  constexpr unsigned int kMemoryId = kSiliconId + 2;
  struct BodyCase {
    const char* what;
    std::string body;
    std::string failure;
  };
  const BodyCase kBodyCases[] = {
      {"version 2", patched_body(0, "\x02"), "Mismatch version between flash file and reader"},
      {"no records", patched_body(4, std::string(1, '\0')),
       "m_flash_count > 0 && m_type_count > 0"},
      {"no members", patched_body(8, std::string(1, '\0')),
       "m_flash_count > 0 && m_type_count > 0"},
      {"string with the device-id tag", patched_body(12, "\x01"), "type == PGMDEV_MANAGER_STRING"},
      {"flag byte 2", patched_body(kSiliconId + 1, "\x02"), "value == 0 || value == 1"},
      {"flag with the byte tag", patched_body(kSiliconId, "\x04"), "type == PGMDEV_MANAGER_BOOL"},
      {"byte with the word tag", patched_body(kMemoryId, "\x05"), "type == PGMDEV_MANAGER_BYTE"},
      {"tag 9", patched_body(kMemoryId, "\x09"), "type == PGMDEV_MANAGER_BYTE"},
      {"record mark", patched_body(static_cast<unsigned int>(body.size() - 8), "X"),
       "data[index++] == 'E'"},
      {"record mark digit", patched_body(static_cast<unsigned int>(body.size() - 5), "2"),
       "data[index++] == '1'"},
      {"database mark digit", patched_body(static_cast<unsigned int>(body.size() - 1), "1"),
       "data[index++] == '2'"},
  };
  for (const BodyCase& c : kBodyCases) {
    write_payload(c.body);
    const Failure failure = load_failure();
    EXPECT_EQ(failure.text, c.failure) << c.what;
    EXPECT_EQ(failure.file, kFlashSource) << c.what;
  }

  // A stated payload length other than the real one is refused by the decompression.
  write_payload(body, static_cast<long>(body.size() + 1));
  EXPECT_EQ(load_failure().text, "new_dcmp_size == original_count");
  write_payload(body, static_cast<long>(body.size() - 1));
  EXPECT_FALSE(load_failure().text.empty());

  // A u32 member carries tag 6 only.
  std::string dword_as_enum = body;
  const size_t bit_size = dword_as_enum.find(std::string("\x06\x00\x00\x00\x08", 5));
  ASSERT_NE(bit_size, std::string::npos);
  dword_as_enum[bit_size] = '\x07';
  write_payload(dword_as_enum);
  EXPECT_EQ(load_failure().text, "type == PGMDEV_MANAGER_DWORD");
}

TEST_F(FlashDatabaseTest, MissingFileIsRefused) {
  const Failure failure = load_failure();
  EXPECT_EQ(failure.text,
            "FIO_FILE_SYSTEM::exists(flash_file.fullpath().c_str()) && "
            "FIO_FILE_SYSTEM::status(flash_file.fullpath().c_str(), &stat_info)");
  EXPECT_EQ(failure.file, kFlashSource);
}

TEST_F(FlashDatabaseTest, TruncatedPayloadsNeverReadPastTheirEnd) {
  generate({flash_row(), flash_row({{"device_name", "FLASHB"}})});
  const std::string body = payload();
  // Every proper prefix of the payload is refused, with a stated length equal to its own, so only
  // the parser's bounds stand between it and the bytes after the buffer.
  for (size_t length = 1; length < body.size(); ++length) {
    write_payload(body.substr(0, length));
    EXPECT_FALSE(load_failure().text.empty()) << length;
  }
  write_payload(body);
  EXPECT_EQ(load_failure().text, "");
}

// --- Mapping
// -------------------------------------------------------------------------------

class FlashMappingTest : public FlashDatabaseTest {
 protected:
  void SetUp() override {
    FlashDatabaseTest::SetUp();
    generate({
        // 0: device id EF 40 18.
        flash_row({{"device_name", "QUAD128"}, {"program_utime", "3000"}}),
        // 1: the same bytes, second variant: never found while record 0 is there.
        flash_row({{"device_name", "QUAD128"}, {"default_dev", "FALSE"}, {"program_utime", "9"}}),
        // 2: silicon id 0x14 at position 0, its other bytes those of record 3.
        flash_row({{"device_name", "LEGACY16"},
                   {"silicon_id", "TRUE"},
                   {"memory_id", "0x14"},
                   {"memory_id_index", "0"},
                   {"memory_type", "0x20"},
                   {"memory_type_index", "255"},
                   {"mfc_id", "0x20"},
                   {"mfc_id_index", "255"},
                   {"default_dev", "FALSE"},
                   {"program_utime", "5000"}}),
        // 3: device id 20 20 15.
        flash_row({{"device_name", "LEGACY16"},
                   {"memory_id", "0x15"},
                   {"memory_type", "0x20"},
                   {"mfc_id", "0x20"},
                   {"program_utime", "5000"}}),
        // 4: memory type not compared: 1F 48 xx.
        flash_row({{"device_name", "ANYREV"},
                   {"memory_id", "0x48"},
                   {"memory_id_index", "1"},
                   {"memory_type_index", "255"},
                   {"mfc_id", "0x1F"},
                   {"program_utime", "4000"}}),
    });
    m_manager = load(3);
  }
  bool map(bool by_silicon_id, unsigned int device, std::vector<unsigned char> id) {
    return m_manager->flash_id_database_mapping(by_silicon_id, device, id.data(),
                                                static_cast<unsigned int>(id.size()));
  }
  std::unique_ptr<PGMDEV_FLASH_MANAGER> m_manager;
};

TEST_F(FlashMappingTest, MatchesByIdentificationMode) {
  struct Case {
    const char* what;
    bool by_silicon_id;
    std::vector<unsigned char> id;
    unsigned int expected;  // INVALID_DWORD: no match
  };
  const Case kCases[] = {
      {"device id, lower index wins", false, {0xEF, 0x40, 0x18}, 0},
      {"device id of another record", false, {0x20, 0x20, 0x15}, 3},
      {"silicon id", true, {0x14, 0x20, 0x15}, 2},
      {"silicon mode ignores device-id records", true, {0xEF, 0x40, 0x18}, INVALID_DWORD},
      {"device mode ignores silicon-id records", false, {0x14, 0x20, 0x20}, INVALID_DWORD},
      {"memory type not compared", false, {0x1F, 0x48, 0x00}, 4},
      {"memory type not compared, other value", false, {0x1F, 0x48, 0x99}, 4},
      {"memory type compared", false, {0xEF, 0x41, 0x18}, INVALID_DWORD},
      {"manufacturer compared", false, {0xEE, 0x40, 0x18}, INVALID_DWORD},
      {"positions beyond the bytes given do not match", false, {0xEF, 0x40}, INVALID_DWORD},
      {"two bytes are enough when no record needs more", false, {0x1F, 0x48}, 4},
      {"silicon id from one byte", true, {0x14}, 2},
      {"no bytes", false, {}, INVALID_DWORD},
  };
  for (const Case& c : kCases) {
    m_manager->set_flash_mapping_index(1, 1);  // a stale entry that every search clears
    EXPECT_EQ(map(c.by_silicon_id, 1, c.id), c.expected != INVALID_DWORD) << c.what;
    EXPECT_EQ(m_manager->get_flash_mapping_index(1, true), c.expected) << c.what;
  }
}

TEST_F(FlashMappingTest, ThreeByteFormAndDebugMessage) {
  unsigned char id[3] = {0x20, 0x20, 0x15};
  EXPECT_TRUE(m_manager->flash_id_database_mapping(false, 0, id));
  EXPECT_EQ(m_manager->get_flash_mapping_index(0, false), 3u);
  unsigned char silicon[3] = {0x14, 0x00, 0x00};
  EXPECT_TRUE(m_manager->flash_id_database_mapping(true, 2, silicon));
  const std::vector<MSG_DEBUG_ENTRY> log = msg_get_debug_log();
  ASSERT_EQ(log.size(), 2u);
  EXPECT_EQ(log[0].module, "PGMDEV");
  EXPECT_EQ(log[0].level, MSG_D_LEVEL);
  EXPECT_EQ(log[0].text, "Found Device 1 device id at index 3");
  EXPECT_EQ(log[1].text, "Found Device 3 silicon id at index 2");
  EXPECT_EQ(failure_of([&] { m_manager->flash_id_database_mapping(false, 3, id); }).text,
            "device_index < m_device_count");
}

TEST_F(FlashMappingTest, MapAccessorsAndQueries) {
  const std::string kMapCheck =
      "m_device_to_flash_map != NULL && device < "
      "m_device_count && m_flash_database != NULL && "
      "m_flash_count > 0";
  EXPECT_EQ(m_manager->get_flash_mapping_index(0, true), INVALID_DWORD);
  EXPECT_EQ(failure_of([&] { m_manager->get_flash_mapping_index(0, false); }).text,
            "index != INVALID_DWORD");
  EXPECT_EQ(failure_of([&] { m_manager->get_flash_mapping_index(3, true); }).text, kMapCheck);
  EXPECT_EQ(failure_of([&] { m_manager->set_flash_mapping_index(0, 5); }).text,
            kMapCheck + " && index < m_flash_count");
  EXPECT_EQ(failure_of([&] { m_manager->set_flash_mapping_index(3, 0); }).text,
            kMapCheck + " && index < m_flash_count");
  EXPECT_EQ(failure_of([&] { m_manager->sfl_get_chain_longest_program_utime(); }).text, "found");

  // Only device 2 of 3 mapped; then the longest of two.
  m_manager->set_flash_mapping_index(1, 4);
  EXPECT_EQ(m_manager->sfl_get_chain_longest_program_utime(), 4000u);
  m_manager->set_flash_mapping_index(2, 2);
  EXPECT_EQ(m_manager->sfl_get_chain_longest_program_utime(), 5000u);
  m_manager->set_flash_mapping_index(2, 1);
  EXPECT_EQ(m_manager->sfl_get_chain_longest_program_utime(), 4000u);

  // The default record of a name, ignoring letter case; the pointer is into the table.
  EXPECT_EQ(m_manager->get_default_flash("legacy16"), &m_manager->m_flash_database[3]);
  EXPECT_EQ(m_manager->get_default_flash("QUAD128"), &m_manager->m_flash_database[0]);
  EXPECT_EQ(m_manager->get_default_flash("QUAD"), nullptr);
}

TEST_F(FlashMappingTest, ReloadClearsTheMap) {
  // After a reload no device may keep an index into the old, longer table: the chain query
  // would read past the new one.
  const std::string five_records = payload();
  generate({flash_row({{"program_utime", "7"}})});
  const std::string one_record = payload();
  std::string wrong_version = one_record;
  wrong_version[0] = 2;
  const auto parse = [this](std::string body) {
    m_manager->parse_database(reinterpret_cast<unsigned char*>(body.data()),
                              static_cast<unsigned int>(body.size()));
  };
  struct Case {
    const char* what;
    std::function<void()> reload;
    unsigned int records;  // the table's length afterwards
    const char* refusal;   // "" when the reload succeeds
  } const kCases[] = {
      {"initialize_flash_database",
       [&] { m_manager->initialize_flash_database(pcf_path().string()); }, 1, ""},
      {"parse_database", [&] { parse(one_record); }, 1, ""},
      {"refused payload keeps the table and its count together", [&] { parse(wrong_version); }, 5,
       "Mismatch version between flash file and reader"},
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.what);
    m_manager = load(3);
    parse(five_records);
    m_manager->set_flash_mapping_index(0, 4);
    m_manager->set_flash_mapping_index(2, 3);
    EXPECT_EQ(failure_of(c.reload).text, c.refusal);
    EXPECT_EQ(m_manager->m_flash_count, c.records);
    for (unsigned int device = 0; device < 3; ++device) {
      EXPECT_EQ(m_manager->get_flash_mapping_index(device, true), INVALID_DWORD) << device;
    }
    EXPECT_EQ(failure_of([&] { m_manager->sfl_get_chain_longest_program_utime(); }).text, "found");
  }
}

// --- The installed database
// ----------------------------------------------------------------

TEST(InstalledFlashDatabaseTest, LoadsWithoutConfiguration) {
  cfg_unset_value("PGMDEV_DEVICE_DB_DIR");
  PGMDEV_FLASH_MANAGER manager(false, 2, false, false);
  EXPECT_GE(manager.m_flash_count, 60u);
  struct Case {
    bool by_silicon_id;
    std::vector<unsigned char> id;
    const char* device_name;
  };
  const Case kCases[] = {
      {false, {0xEF, 0x40, 0x18}, "W25Q128JV"},   {false, {0xEF, 0x70, 0x18}, "W25Q128JV"},
      {false, {0xC2, 0x20, 0x19}, "MX25L25645G"}, {false, {0x20, 0xBA, 0x18}, "N25Q128A"},
      {false, {0x01, 0x02, 0x19}, "S25FL256S"},   {true, {0x14}, "M25P16"},
      {false, {0x1F, 0x48, 0x01}, "AT25DF641"},
  };
  for (const Case& c : kCases) {
    ASSERT_TRUE(manager.flash_id_database_mapping(c.by_silicon_id, 1, c.id.data(),
                                                  static_cast<unsigned int>(c.id.size())))
        << c.device_name;
    EXPECT_EQ(manager.m_flash_database[manager.get_flash_mapping_index(1, false)].device_name,
              c.device_name);
  }
  const PGMDEV_SFL_FLASH_INFO* flash = manager.get_default_flash("w25q128jv");
  ASSERT_NE(flash, nullptr);
  EXPECT_EQ(flash->memory_type, 0x40);
  EXPECT_EQ(flash->device_bit_size, 128u << 20);
  // Gated records are not in the table without their switch.
  EXPECT_EQ(manager.get_default_flash("MT25QL128ABA"), nullptr);
}

TEST(InstalledFlashDatabaseTest, GateSelectsTheRecordsAheadOfTheirTwins) {
  cfg_unset_value("PGMDEV_DEVICE_DB_DIR");
  cfg_set_value("PGM_ALLOW_MT25Q", "1");
  PGMDEV_FLASH_MANAGER manager(false, 1, false, false);
  cfg_unset_value("PGM_ALLOW_MT25Q");
  unsigned char id[3] = {0x20, 0xBA, 0x18};
  ASSERT_TRUE(manager.flash_id_database_mapping(false, 0, id));
  EXPECT_EQ(manager.m_flash_database[manager.get_flash_mapping_index(0, false)].device_name,
            "MT25QL128ABA");
}

}  // namespace
