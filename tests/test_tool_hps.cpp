// pgmdev-tool hps, run installed against a pgm_flash.ini of its own: the lists are the library's,
// show finds records by id, add checks every value with the field's rules and writes through the
// library's file store, remove takes the user's records out again.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "cfg.h"
#include "pgmdev_hps_mgr.h"
#include "tool_runner.h"

namespace {

namespace fs = std::filesystem;
using tool_test::contains;
using tool_test::Json;
using tool_test::run_tool;
using tool_test::ToolRun;
using tool_test::with_env;

// Every field of an SPI record, in the units of the prompts: 256 Mbit, 64 Kbyte sectors.
const std::vector<std::string> kSpiFields = {"siid=0x19BA21",
                                             "mask=FFFFFF",
                                             "ext_siid=0",
                                             "ext_mask=0",
                                             "manufacturer=ACME",
                                             "name=QSPI_256",
                                             "flash_bit_size=256",
                                             "sector_byte_size=64",
                                             "page_byte_size=256",
                                             "bulk_erase_time=480",
                                             "bulk_erase_interval_wait_time=3",
                                             "sector_erase_time=3",
                                             "page_program_time=1000",
                                             "program_time=1",
                                             "die_size=1",
                                             "speed_mode=Y",
                                             "byte4_se_opcode=DC",
                                             "byte4_pp_opcode=12",
                                             "byte4_read_opcode=13"};

std::vector<std::string> command(std::vector<std::string> words,
                                 const std::vector<std::string>& more = {}) {
  words.insert(words.end(), more.begin(), more.end());
  return words;
}

std::vector<std::string> with_field(const std::string& assignment) {
  std::vector<std::string> fields = kSpiFields;
  const std::string name = assignment.substr(0, assignment.find('='));
  for (std::string& field : fields) {
    if (field.rfind(name + "=", 0) == 0) field = assignment;
  }
  return fields;
}

// A module directory of its own, where the tool and this process find pgm_flash.ini.
class ToolHps : public testing::Test {
 protected:
  void SetUp() override {
    m_dir = testing::TempDir() + "pgmdev_tool_hps_" +
            testing::UnitTest::GetInstance()->current_test_info()->name();
    fs::remove_all(m_dir);
    fs::create_directories(m_dir);
    cfg_set_value("PGMDEV_MODULE_DIR", m_dir);
  }
  void TearDown() override {
    PGMDEV_HPS_SPI_MGR::delete_mgr();
    PGMDEV_HPS_NAND_MGR::delete_mgr();
    cfg_unset_value("PGMDEV_MODULE_DIR");
    fs::remove_all(m_dir);
  }

  ToolRun tool(const std::vector<std::string>& arguments, const std::string& input = "") const {
    return run_tool(arguments, with_env({{"PGMDEV_MODULE_DIR", m_dir}}, input));
  }

  // The SPI records that the library reads now.
  static const PGMDEV_HPS_SPI_MGR& spi() {
    PGMDEV_HPS_SPI_MGR::delete_mgr();
    return *PGMDEV_HPS_SPI_MGR::get_mgr();
  }

  std::string m_dir;
};

TEST_F(ToolHps, ListsAreTheLibrarysRecordsWithTheFieldNamesAsKeys) {
  const ToolRun run = tool({"hps", "spi", "list", "--json"});
  ASSERT_EQ(run.status, 0) << run;
  const Json records = run.json();
  ASSERT_EQ(records.size(), PGMDEV_HPS_SPI_DATABASE_COUNT) << run;
  for (unsigned int r = 0; r < PGMDEV_HPS_SPI_DATABASE_COUNT; ++r) {
    const PGMDEV_HPS_SPI_STRUCTURE& expected = PGMDEV_HPS_SPI_DATABASE[r];
    EXPECT_EQ(records[r]["source"], "built-in");
    EXPECT_EQ(records[r]["siid"], expected.siid) << r;
    EXPECT_EQ(records[r]["ext_siid"], expected.ext_siid) << r;
    EXPECT_EQ(records[r]["name"], expected.name) << r;
    EXPECT_EQ(records[r]["flash_bit_size"], expected.flash_bit_size) << r;
    EXPECT_EQ(records[r]["speed_mode"], expected.speed_mode) << r;
    EXPECT_EQ(records[r]["byte4_read_opcode"], expected.byte4_read_opcode) << r;
    EXPECT_EQ(records[r].size(), PGMDEV_HPS_SPI_PARAM_COUNT + 1) << r;
  }
  const ToolRun nand = tool({"hps", "nand", "list", "--json"});
  ASSERT_EQ(nand.status, 0) << nand;
  ASSERT_EQ(nand.json().size(), PGMDEV_HPS_NAND_DATABASE_COUNT) << nand;
  EXPECT_EQ(nand.json()[0]["flash_byte_size"], PGMDEV_HPS_NAND_DATABASE[0].flash_byte_size);
  const ToolRun table = tool({"hps", "spi", "list"});
  EXPECT_EQ(table.status, 0) << table;
  EXPECT_TRUE(contains(table.out, "built-in  0x20BA20  0xFFFFFF  0x44")) << table;
}

TEST_F(ToolHps, ShowFindsTheRecordsOfAnId) {
  struct Case {
    std::vector<std::string> arguments;
    int status;
    size_t records;
    const char* message;  // on standard error
  };
  const Case kCases[] = {
      {{"spi", "show", "0x20BA20"}, 0, 2, ""},
      {{"spi", "show", "20BA20", "0x44"}, 0, 1, ""},
      {{"nand", "show", "0x2C", "0x68"}, 0, 1, ""},
      {{"spi", "show", "0x123456"}, 1, 0, "no HPS spi record has siid 0x123456"},
      {{"nand", "show", "0x2C"}, 2, 0, "DEVICE_ID is required"},
      {{"spi", "show", "0xZZ"}, 2, 0, "siid '0xZZ' is not a hexadecimal number"},
  };
  for (const Case& c : kCases) {
    const ToolRun run = tool(command({"hps"}, command(c.arguments, {"--json"})));
    EXPECT_EQ(run.status, c.status) << run;
    EXPECT_TRUE(contains(run.err, c.message)) << run;
    if (c.status == 0) {
      EXPECT_EQ(run.json().size(), c.records) << run;
    }
  }
}

TEST_F(ToolHps, AddedRecordIsReadByTheLibraryAndRemovedAgain) {
  const ToolRun add = tool(command({"hps", "spi", "add", "--json"}, kSpiFields));
  ASSERT_EQ(add.status, 0) << add;
  EXPECT_TRUE(contains(add.err, "added to " + m_dir + "/pgm_flash.ini")) << add;
  EXPECT_EQ(add.json()["flash_bit_size"], 256ull << 20) << add;
  {
    const PGMDEV_HPS_SPI_MGR& library = spi();
    ASSERT_EQ(library.m_ini_flash_list.size(), 1u);
    const PGMDEV_HPS_SPI_STRUCTURE& record = *library.m_ini_flash_list[0];
    EXPECT_EQ(record.siid, 0x19BA21u);
    EXPECT_EQ(record.manufacturer, "ACME");
    EXPECT_EQ(record.flash_bit_size, 256ull << 20);
    EXPECT_EQ(record.sector_byte_size, 64u << 10);
    EXPECT_TRUE(record.speed_mode);
    EXPECT_EQ(record.byte4_se_opcode, 0xDCu);
    EXPECT_EQ(library.m_flash_list.size(), PGMDEV_HPS_SPI_DATABASE_COUNT + 1);
  }
  const ToolRun list = tool({"hps", "spi", "list", "--json"});
  ASSERT_EQ(list.json().size(), PGMDEV_HPS_SPI_DATABASE_COUNT + 1) << list;
  EXPECT_EQ(list.json()[0]["source"], "pgm_flash.ini") << list;

  const ToolRun built_in = tool({"hps", "spi", "remove", "0x17BA20"});
  EXPECT_EQ(built_in.status, 1) << built_in;
  EXPECT_TRUE(contains(built_in.err, "only the built-in records have it")) << built_in;
  const ToolRun remove = tool({"hps", "spi", "remove", "0x19BA21", "--json"});
  ASSERT_EQ(remove.status, 0) << remove;
  EXPECT_EQ(remove.json().size(), 1u) << remove;
  EXPECT_TRUE(spi().m_ini_flash_list.empty());
  const ToolRun again = tool({"hps", "spi", "remove", "0x19BA21"});
  EXPECT_EQ(again.status, 1) << again;
}

TEST_F(ToolHps, AddRefusesValuesThatTheFieldsRulesRefuse) {
  struct Case {
    std::vector<std::string> fields;
    int status;
    const char* message;  // on standard error
  };
  const Case kCases[] = {
      {with_field("die_size=3"), 1, "die_size=3: Input is out of range (Die size [1/2/4])"},
      {with_field("siid=0x1200FF"), 1, "siid=0x1200FF: Input is invalid (hit)"},
      {with_field("flash_bit_size=4096"), 1, "flash_bit_size=4096: Input is out of range"},
      {with_field("byte4_pp_opcode=1G"), 1, "byte4_pp_opcode=1G: Invalid QWORD conversion"},
      {with_field("speed_mode=maybe"), 1, "speed_mode=maybe: answer Y or N"},
      {command(kSpiFields, {"bogus=1"}), 2, "'bogus=1' is not FIELD=VALUE"},
      {command(kSpiFields, {"die_size=2"}), 2, "'die_size=2' is not FIELD=VALUE"},
  };
  for (const Case& c : kCases) {
    const ToolRun run = tool(command({"hps", "spi", "add"}, c.fields));
    EXPECT_EQ(run.status, c.status) << run;
    EXPECT_TRUE(contains(run.err, c.message)) << c.message << "\n" << run;
    EXPECT_EQ(run.out, "") << run;
  }
  EXPECT_TRUE(spi().m_ini_flash_list.empty());
}

TEST_F(ToolHps, AddAsksForTheFieldsNotGivenWithTheirPrompts) {
  struct Case {
    const char* answers;
    int status;
    const char* message;  // on standard error
  };
  const Case kCases[] = {
      {"C2\nDC\n512\n", 0, "Memory Density [1 - 64k MByte] : 512"},
      {"C2\n00\n512\n", 1, "device_id: '00' refused: Input is invalid (hit)"},
      {"C2\n", 1, "no answer for device_id (Device ID (hex) [Cannot be all 0's or all 1's])"},
  };
  for (const Case& c : kCases) {
    const ToolRun run = tool({"hps", "nand", "add"}, c.answers);
    EXPECT_EQ(run.status, c.status) << run;
    EXPECT_TRUE(contains(run.err, c.message)) << c.message << "\n" << run;
  }
  PGMDEV_HPS_NAND_MGR::delete_mgr();
  const PGMDEV_HPS_NAND_MGR& nand = *PGMDEV_HPS_NAND_MGR::get_mgr();
  ASSERT_EQ(nand.m_ini_flash_list.size(), 1u);
  EXPECT_EQ(nand.m_ini_flash_list[0]->manufacturer_id, 0xC2u);
  EXPECT_EQ(nand.m_ini_flash_list[0]->device_id, 0xDCu);
  EXPECT_EQ(nand.m_ini_flash_list[0]->flash_byte_size, 512ull << 20);
  // A field given on the command line is not asked for.
  const ToolRun partly = tool({"hps", "nand", "add", "manufacturer_id=EF", "device_id=AA"}, "64\n");
  EXPECT_EQ(partly.status, 0) << partly;
  EXPECT_FALSE(contains(partly.err, "Manufacturer ID")) << partly;
}

}  // namespace
