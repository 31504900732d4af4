// Dump of the database files back to CSV: the shipped databases regenerate byte for byte from
// their dumps, a flash dump holds every record of the file, and damaged or foreign files are
// refused with what is wrong.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include "cfg.h"
#include "csv_dump.h"
#include "msg.h"
#include "pgmdev_db_file_test_util.h"
#include "pgmdev_dev_info_manager.h"
#include "pgmdev_flash_manager.h"

namespace {

namespace fs = std::filesystem;
using pgmdev_csv::CsvKind;
using pgmdev_csv::Dump;
using pgmdev_csv::DumpError;

const std::string kShare = std::string(PGMDEV_BINARY_DIR) + "/share/pgmdev";
const std::string kDevInfoFile = kShare + "/device_db/programmer/pgm_dev_info.pcf";
const std::string kFlashFile = kShare + "/device_db/programmer/pgm_flash.pcf";

std::string read_file(const fs::path& path) {
  std::ifstream input(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(input), std::istreambuf_iterator<char>());
}

void write_file(const fs::path& path, const std::string& bytes) {
  std::ofstream(path, std::ios::binary | std::ios::trunc) << bytes;
}

class CsvDump : public testing::Test {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/pgmdev_dump_XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    m_dir = pattern;
    // The parts list that the build generated the device-info database with.
    cfg_set_value("PGMDEV_INSTALL_DIR", kShare);
  }
  void TearDown() override {
    cfg_unset_value("PGMDEV_INSTALL_DIR");
    fs::remove_all(m_dir);
  }

  // Generates a database of that kind from CSV text and returns the file's bytes.
  std::string generate(CsvKind kind, const std::string& csv) {
    const std::string csv_path = (m_dir / "dumped.csv").string();
    const std::string out = (m_dir / "regenerated.pcf").string();
    write_file(csv_path, csv);
    if (kind == CsvKind::kFlash) {
      PGMDEV_FLASH_MANAGER(false, 0, true, false).generate_flash_database(csv_path, out);
    } else {
      PGMDEV_DEV_INFO_MANAGER(true, 0).generate_device_database(csv_path, out);
    }
    return read_file(out);
  }

  fs::path m_dir;
};

TEST_F(CsvDump, ShippedDatabasesRegenerateByteForByte) {
  struct Case {
    const std::string& file;
    CsvKind kind;
    unsigned int records;
  };
  const Case kCases[] = {{kDevInfoFile, CsvKind::kDeviceInfo, 78},
                         {kFlashFile, CsvKind::kFlash, 95}};
  for (const Case& c : kCases) {
    const Dump dump = pgmdev_csv::dump_database_file(c.file);
    EXPECT_EQ(dump.kind, c.kind) << c.file;
    EXPECT_EQ(dump.records, c.records) << c.file;
    const std::string original = read_file(c.file);
    ASSERT_GT(original.size(), kDbFileHeaderBytes) << c.file;
    EXPECT_TRUE(generate(c.kind, dump.csv) == original) << c.file;
    // What dump writes is a CSV that lint passes.
    const pgmdev_csv::LintReport report = pgmdev_csv::lint_csv_text("dumped.csv", dump.csv);
    EXPECT_EQ(report.kind, c.kind);
    for (const auto& finding : report.findings) ADD_FAILURE() << format_finding(finding);
  }
}

TEST_F(CsvDump, FlashDumpHoldsTheRecordsThatLoadingDrops) {
  // With no PGM_ALLOW_ switch on, loading keeps only the records without a gate.
  PGMDEV_FLASH_MANAGER loaded(false, 1, false, false);
  const Dump dump = pgmdev_csv::dump_database_file(kFlashFile);
  EXPECT_LT(loaded.m_flash_count, dump.records);
  for (unsigned int i = 0; i < loaded.m_flash_count; ++i) {
    EXPECT_NE(loaded.m_flash_database[i].ini, "EON");
  }
  EXPECT_NE(dump.csv.find("EN25Q64"), std::string::npos);
  EXPECT_NE(dump.csv.find(", EON "), std::string::npos);
}

TEST_F(CsvDump, FilesThatAreNoDatabaseOrDamagedAreRefused) {
  const std::string flash = read_file(kFlashFile);
  const std::string dev_info = read_file(kDevInfoFile);
  std::string other_schema = dev_info;
  other_schema[8 + 31] ^= 1;
  std::string unknown_magic = flash;
  unknown_magic[7] = 'X';
  std::string flash_text = inflated_body(flash);
  const size_t name = flash_text.find("M25P40");
  ASSERT_NE(name, std::string::npos);
  flash_text[name + 3] = ',';
  struct Case {
    const char* what;
    const char* content;  // nullptr: no file at all
    std::string bytes;
    std::string error;  // a DumpError's text after the path, or the loader's condition text
    bool loader;
  };
  const Case kCases[] = {
      {"missing file", nullptr, "", ": cannot open the file for reading", false},
      {"five bytes", "x", "PGMIO",
       ": 5 bytes; a database file starts with the 8-byte magic "
       "PGMIO_DM or PGMIO_FM",
       false},
      {"a text file", "x", "family,pcf\n",
       ": magic 'family,p' is neither PGMIO_DM (device-info database) nor PGMIO_FM (flash "
       "database)",
       false},
      {"unknown magic", "x", unknown_magic,
       ": magic 'PGMIO_FX' is neither PGMIO_DM (device-info database) nor PGMIO_FM (flash "
       "database)",
       false},
      {"cut flash file", "x", flash.substr(0, 200),
       "zlib_uncompress(decompressed_data, &new_dcmp_size, data, decompressed_count) == ZLIB_OK",
       true},
      {"device-info file of another schema", "x", other_schema,
       "Mismatch ID between device file and reader", true},
      {"a text that no cell can hold", "x", with_body(flash, flash_text),
       ": record 0, device_name: the text 'M25,40' holds a character that a CSV cell cannot "
       "hold",
       false},
  };
  for (const Case& c : kCases) {
    const std::string path = (m_dir / "file.pcf").string();
    fs::remove(path);
    if (c.content != nullptr) write_file(path, c.bytes);
    try {
      pgmdev_csv::dump_database_file(path);
      ADD_FAILURE() << c.what << ": dumped";
    } catch (const DumpError& error) {
      EXPECT_FALSE(c.loader) << c.what;
      EXPECT_EQ(error.what(), path + c.error) << c.what;
    } catch (const MSG_INTERNAL_ERROR_EXCEPTION& error) {
      EXPECT_TRUE(c.loader) << c.what;
      EXPECT_EQ(std::string(error.what()), c.error) << c.what;
    }
  }
}

}  // namespace
