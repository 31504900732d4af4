// The worked examples of docs/formats.md, rebuilt with the library (and, for the read-only name
// databases, with the blob writer of the catalogue generator) and compared byte for byte, and
// read back by the library's own readers.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <cctype>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "cfg.h"
#include "ddb_blob_writer.h"
#include "pgmdev_db_file_test_util.h"
#include "pgmdev_ddb_mgr.h"
#include "pgmdev_dev_info_manager.h"
#include "pgmdev_flash_ini.h"
#include "pgmdev_flash_ini_test_util.h"
#include "pgmdev_flash_manager.h"
#include "pgmdev_flash_sfdp.h"
#include "pgmdev_hps_mgr.h"
#include "pgmdev_sfdp_test_util.h"

namespace {

namespace fs = std::filesystem;

std::string read_text(const fs::path& path) {
  std::ifstream input(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(input), std::istreambuf_iterator<char>());
}

const std::string& formats_doc() {
  static const std::string text = read_text(std::string(PGMDEV_SOURCE_DIR) + "/docs/formats.md");
  return text;
}

// The content of the fenced block that follows "<!-- example NAME -->".
std::string example(const std::string& name) {
  const std::string& doc = formats_doc();
  const size_t marker = doc.find("<!-- example " + name + " -->");
  EXPECT_NE(marker, std::string::npos) << name;
  if (marker == std::string::npos) return "";
  const size_t fence = doc.find("```", marker);
  const size_t start = doc.find('\n', fence) + 1;
  const size_t end = doc.find("```", start);
  return doc.substr(start, end - start);
}

// The lines of a text example, without the last newline.
std::vector<std::string> example_lines(const std::string& name) {
  std::vector<std::string> lines;
  std::istringstream input(example(name));
  for (std::string line; std::getline(input, line);) lines.push_back(line);
  return lines;
}

// A hex example: per line, "OFFSET:" and anything after "#" are comments; the rest is bytes of
// two hexadecimal digits.
Bytes hex_example(const std::string& name) {
  Bytes bytes;
  for (std::string line : example_lines(name)) {
    line = line.substr(0, line.find('#'));
    const size_t colon = line.find(':');
    if (colon != std::string::npos) line = line.substr(colon + 1);
    std::istringstream tokens(line);
    for (std::string token; tokens >> token;) {
      EXPECT_TRUE(token.size() == 2 && std::isxdigit(static_cast<unsigned char>(token[0])) &&
                  std::isxdigit(static_cast<unsigned char>(token[1])))
          << name << ": " << token;
      bytes.push_back(static_cast<unsigned char>(std::stoul(token, nullptr, 16)));
    }
  }
  return bytes;
}

// Bytes as a hex block to paste into the document when an example is wrong.
std::string as_hex_block(const Bytes& bytes) {
  std::string text;
  char cell[24];
  for (size_t i = 0; i < bytes.size(); ++i) {
    if (i % 16 == 0) {
      std::snprintf(cell, sizeof cell, "%04zX:", i);
      text += (i ? "\n" : "") + std::string(cell);
    }
    std::snprintf(cell, sizeof cell, " %02X", bytes[i]);
    text += cell;
  }
  return text + "\n";
}

void expect_example_bytes(const std::string& name, const Bytes& actual) {
  EXPECT_EQ(hex_example(name), actual) << name << " is, in the library's bytes:\n"
                                       << as_hex_block(actual);
}

Bytes bytes_of(const std::string& text) { return Bytes(text.begin(), text.end()); }

std::vector<std::string> words(const std::string& line) {
  std::istringstream input(line);
  std::vector<std::string> result;
  for (std::string word; input >> word;) result.push_back(word);
  return result;
}

class FormatsDoc : public testing::Test {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/pgmdev_formats_XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    m_dir = pattern;
  }
  void TearDown() override { fs::remove_all(m_dir); }
  fs::path m_dir;
};

TEST_F(FormatsDoc, GrammarImage) {
  std::vector<ddb_writer::Section> sections(PGMDEV_DDB_GRAMMAR_MGR::MAX);
  for (const std::string& line : example_lines("grammar-records")) {
    const std::vector<std::string> cells = words(line);
    ASSERT_GE(cells.size(), 3u) << line;
    sections.at(std::stoul(cells[0]))
        .push_back({cells[1], std::vector<std::string>(cells.begin() + 2, cells.end())});
  }
  const Bytes image = ddb_writer::frame(ddb_writer::grammar_body(sections));
  expect_example_bytes("grammar-image", image);
  // The library reads the documented image into the documented maps.
  const Bytes documented = hex_example("grammar-image");
  PGMDEV_DDB_GRAMMAR_MGR grammar(documented.data(), static_cast<unsigned int>(documented.size()));
  for (unsigned int slot = 0; slot < PGMDEV_DDB_GRAMMAR_MGR::MAX; ++slot) {
    GRAMMAR_MAP expected;
    for (const auto& [key, values] : sections[slot]) expected[key] = values;
    EXPECT_EQ(*grammar.m_maps[slot], expected) << "section " << slot;
  }
}

TEST_F(FormatsDoc, OpnImage) {
  std::vector<uint32_t> entries;
  for (const std::string& entry : words(example("opn-entries"))) {
    entries.push_back(static_cast<uint32_t>(std::stoul(entry)));
  }
  expect_example_bytes("opn-image", ddb_writer::frame(ddb_writer::opn_body(entries)));
  const Bytes documented = hex_example("opn-image");
  PGMDEV_DDB_OPN_MGR opn(documented.data(), static_cast<unsigned int>(documented.size()));
  EXPECT_EQ(*opn.M_MAP, std::vector<unsigned int>(entries.begin(), entries.end()));
}

TEST_F(FormatsDoc, FlashDatabaseFile) {
  const std::string csv = (m_dir / "flash.csv").string();
  const std::string file = (m_dir / "pgm_flash.pcf").string();
  std::ofstream(csv) << example("flash-csv");
  PGMDEV_FLASH_MANAGER(false, 0, true, false).generate_flash_database(csv, file);
  const std::string image = read_text(file);
  ASSERT_GT(image.size(), kDbFileHeaderBytes + 2);
  expect_example_bytes("flash-header", bytes_of(image.substr(0, kDbFileHeaderBytes)));
  expect_example_bytes("flash-body", bytes_of(inflated_body(image)));
  EXPECT_EQ(image.substr(image.size() - 2), std::string(2, '\0'));
  const std::vector<PGMDEV_SFL_FLASH_INFO> records = PGMDEV_FLASH_MANAGER::read_file_records(file);
  ASSERT_EQ(records.size(), 1u);
  EXPECT_EQ(records[0].device_name, "FLASH0001");
}

TEST_F(FormatsDoc, DeviceInfoRecordAndTables) {
  // Our CSV with its first data row (line 3) as the document gives it.
  std::istringstream shipped(
      read_text(std::string(PGMDEV_SOURCE_DIR) + "/data/device_info/pgm_dev_info.csv"));
  std::string csv_text;
  unsigned int line_number = 0;
  for (std::string line; std::getline(shipped, line);) {
    csv_text += (++line_number == 3 ? example_lines("device-info-row").at(0) : line) + "\n";
  }
  const std::string csv = (m_dir / "dev_info.csv").string();
  const std::string file = (m_dir / "pgm_dev_info.pcf").string();
  std::ofstream(csv) << csv_text;
  PGMDEV_DEV_INFO_MANAGER(true, 0).generate_device_database(csv, file);
  const std::string body = inflated_body(read_text(file));
  const size_t record_end = body.find("END1") + 4;
  ASSERT_NE(record_end, std::string::npos + 4);
  expect_example_bytes("device-info-record", bytes_of(body.substr(12, record_end - 12)));
  const size_t tables = body.find("END2") + 4;
  const Bytes documented = hex_example("device-info-tables");
  expect_example_bytes("device-info-tables", bytes_of(body.substr(tables, documented.size())));
}

TEST_F(FormatsDoc, FlashParameterFile) {
  const TempModuleDir module;
  PGMDEV_HPS_NAND_STRUCTURE record;
  std::map<std::string, std::string> values;
  for (const std::string& assignment : words(example("ini-nand-record"))) {
    const size_t equals = assignment.find('=');
    values[assignment.substr(0, equals)] = assignment.substr(equals + 1);
  }
  record.manufacturer_id =
      static_cast<unsigned int>(std::stoul(values.at("manufacturer_id"), nullptr, 0));
  record.device_id = static_cast<unsigned int>(std::stoul(values.at("device_id"), nullptr, 0));
  record.flash_byte_size = std::stoull(values.at("flash_byte_size"), nullptr, 0);
  // The section: its signature, then the record's fields, encoded by the library.
  unsigned int size = PGMDEV_HPS_SECTION_SIGNATURE_BYTES;
  for (unsigned int i = 0; i < PGMDEV_HPS_NAND_PARAM_COUNT; ++i) {
    PGMDEV_FLASH_INI::calculate_flash_ini_data_size(size, PGMDEV_HPS_NAND_PARAM_TYPE_LIST[i],
                                                    record.m_param_pointers[i]);
  }
  Bytes section(size, 0);
  std::memcpy(section.data(), PGMDEV_HPS_NAND_MD5, PGMDEV_HPS_SECTION_SIGNATURE_BYTES);
  unsigned int index = PGMDEV_HPS_SECTION_SIGNATURE_BYTES;
  for (unsigned int i = 0; i < PGMDEV_HPS_NAND_PARAM_COUNT; ++i) {
    PGMDEV_FLASH_INI::fillup_flash_ini_data(
        section.data(), index, PGMDEV_HPS_NAND_PARAM_TYPE_LIST[i], record.m_param_pointers[i]);
  }
  ASSERT_TRUE(
      PGMDEV_FLASH_INI::write_flash_ini_data(PGMDEV_FLASH_INI_HPS_NAND, section.data(), size));
  expect_example_bytes("ini-file", read_file(module.path()));
  // The documented file, read by the NAND manager, gives the record ahead of the built-in ones.
  write_file(module.path(), hex_example("ini-file"));
  PGMDEV_HPS_NAND_MGR::delete_mgr();
  const PGMDEV_HPS_NAND_MGR* nand = PGMDEV_HPS_NAND_MGR::get_mgr();
  ASSERT_EQ(nand->m_ini_flash_list.size(), 1u);
  EXPECT_EQ(nand->m_ini_flash_list[0]->manufacturer_id, record.manufacturer_id);
  EXPECT_EQ(nand->m_ini_flash_list[0]->device_id, record.device_id);
  EXPECT_EQ(nand->m_ini_flash_list[0]->flash_byte_size, record.flash_byte_size);
  PGMDEV_HPS_NAND_MGR::delete_mgr();
}

TEST_F(FormatsDoc, UserFlashText) {
  // The check code is sealed with the suite version of the host's defaults.
  cfg_unset_value("PGMDEV_SUITE_VERSION");
  cfg_unset_value("PGMDEV_SUITE_VERSION_INDEX");
  const std::string record = example_lines("ini-record-text").at(0);
  const std::string code = PGMDEV_FLASH_MANAGER::gen_ini_password(record);
  EXPECT_EQ(example_lines("ini-check-code").at(0), code) << "the check code is " << code;
  const std::string entry = record + "#" + code + ";";
  const std::string text = PGMDEV_FLASH_MANAGER::encode_ini(entry);
  EXPECT_EQ(example_lines("ini-text").at(0), text) << "the INI text is " << text;
  EXPECT_EQ(PGMDEV_FLASH_MANAGER::decode_ini(example_lines("ini-text").at(0)), entry);

  // Set as the configuration value, the documented text puts its flash at the head of the
  // records (here over a database of the flash example).
  fs::create_directories(m_dir / "programmer");
  const std::string csv = (m_dir / "flash.csv").string();
  std::ofstream(csv) << example("flash-csv");
  PGMDEV_FLASH_MANAGER(false, 0, true, false)
      .generate_flash_database(csv, (m_dir / "programmer" / "pgm_flash.pcf").string());
  cfg_set_value("PGMDEV_DEVICE_DB_DIR", m_dir.string());
  cfg_set_value("PGM_3RD_PARTY_FLASH_INI", example_lines("ini-text").at(0));
  {
    const PGMDEV_FLASH_MANAGER flash(false, 1, false, false);
    ASSERT_EQ(flash.m_flash_count, 2u);
    EXPECT_EQ(flash.m_flash_database[0].device_name, "MY25Q80");
    EXPECT_EQ(flash.m_flash_database[1].device_name, "FLASH0001");
  }
  cfg_unset_value("PGM_3RD_PARTY_FLASH_INI");
  cfg_unset_value("PGMDEV_DEVICE_DB_DIR");
}

TEST_F(FormatsDoc, SfdpTable) {
  // The image: one BFPT 1.6 of 16 DWORDs right after its header, the fields of the SFDP tests.
  expect_example_bytes("sfdp-image", sfdp_image::Image{}.build());
  // Read by the library with the id bytes and names the document gives, it makes the documented
  // record text.
  const Bytes documented = hex_example("sfdp-image");
  const unsigned char id[3] = {0xA1, 0x40, 0x18};
  const PGMDEV_SFDP_FLASH flash =
      PGMDEV_FLASH_SFDP::define_flash(documented.data(), documented.size(), id,
                                      {{"manufacturer_name", "ACME"}, {"device_name", "AC25Q128"}});
  ASSERT_EQ(flash.status, PGMDEV_SFDP_ACCEPTED) << flash.message;
  EXPECT_EQ(flash.table.bfpt_pointer, 0x10u);
  EXPECT_EQ(example_lines("sfdp-record-text").at(0), flash.record_text)
      << "the record text is " << flash.record_text;
}

}  // namespace
