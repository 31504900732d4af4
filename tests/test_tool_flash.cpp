// pgmdev-tool's flash commands, run installed, compared with the library's own answers.
#include <gtest/gtest.h>

#include <map>
#include <memory>
#include <string>
#include <vector>

#include "cfg.h"
#include "gen.h"
#include "pgmdev.h"
#include "tool_runner.h"

namespace {

using tool_test::contains;
using tool_test::Json;
using tool_test::run_tool;
using tool_test::ToolRun;
using tool_test::with_env;

// The 33 members of a library record, as the tool writes them.
Json members_of(const PGMDEV_SFL_FLASH_INFO& record) {
  Json members = Json::object();
#define TOOL_TEST_MEMBER(member, kind) members[#member] = record.member;
  PGMDEV_SFL_FLASH_SCHEMA(TOOL_TEST_MEMBER)
#undef TOOL_TEST_MEMBER
  return members;
}

std::string flash_file() { return gen_get_device_db_fullpath() + "/programmer/pgm_flash.pcf"; }

// Every way of writing the same three bytes finds the record the library finds for them.
TEST(ToolFlash, IdBytesInEveryFormFindTheLibrarysRecord) {
  PGMDEV_FLASH_MANAGER manager(false, 1, false, false);
  const unsigned char id[3] = {0xEF, 0x40, 0x18};
  ASSERT_TRUE(manager.flash_id_database_mapping(false, 0, id, 3));
  const unsigned int index = manager.get_flash_mapping_index(0, false);
  const std::vector<std::vector<std::string>> kForms = {
      {"EF", "40", "18"},       {"EF4018"}, {"0xEF4018"},
      {"0xEF", "0x40", "0x18"}, {"ef4018"}, {"0XEF", "4018"}};
  for (const std::vector<std::string>& form : kForms) {
    std::vector<std::string> arguments = {"flash", "id"};
    arguments.insert(arguments.end(), form.begin(), form.end());
    arguments.push_back("--json");
    const ToolRun run = run_tool(arguments);
    ASSERT_EQ(run.status, 0) << run;
    const Json answer = run.json();
    EXPECT_EQ(answer["id"], "EF 40 18") << run;
    EXPECT_EQ(answer["index"], index) << run;
    EXPECT_EQ(answer["record"], members_of(manager.m_flash_database[index])) << run;
    EXPECT_EQ(answer["record"].size(), PGMDEV_FLASH_MANAGER::TOTAL_DATABASE_MEMBER);
  }
  // A silicon id is matched only with --silicon.
  const unsigned char silicon[1] = {0x13};
  ASSERT_TRUE(manager.flash_id_database_mapping(true, 0, silicon, 1));
  const ToolRun run = run_tool({"flash", "id", "--silicon", "13", "--json"});
  ASSERT_EQ(run.status, 0) << run;
  EXPECT_EQ(run.json()["index"], manager.get_flash_mapping_index(0, false)) << run;
  EXPECT_EQ(run.json()["record"]["silicon_id"], true) << run;
}

TEST(ToolFlash, IdMissesAndBadBytes) {
  struct Case {
    std::vector<std::string> arguments;
    std::map<std::string, std::string> env;
    int status;
    std::string message;
  };
  const Case kCases[] = {
      // The Eon record exists behind its gate: the miss says which switch loads it.
      {{"flash", "id", "1C", "30", "17"},
       {},
       1,
       "no flash record matches id 1C 30 17; EON EN25Q64 would match with PGM_ALLOW_EON=1 (its "
       "gate EON is off)"},
      {{"flash", "id", "01", "02", "03"}, {}, 1, "no flash record matches id 01 02 03\n"},
      {{"flash", "id", "EF40G8"}, {}, 1, "holds 'G', which is no hexadecimal digit"},
      {{"flash", "id", "EF401"}, {}, 1, "'EF401' is not hexadecimal bytes"},
      {{"flash", "id", "0x"}, {}, 1, "'0x' holds 'x', which is no hexadecimal digit"},
      {{"flash", "id", "00112233445566778899AABBCCDDEEFF00"}, {}, 1, "at most 16"},
      {{"flash", "id"}, {}, 2, "BYTES is required"},
  };
  for (const Case& c : kCases) {
    const ToolRun run = run_tool(c.arguments, with_env(c.env));
    EXPECT_EQ(run.status, c.status) << run;
    EXPECT_TRUE(contains(run.err, c.message)) << c.message << "\n" << run;
  }
  // With the gate on, the same bytes find the Eon record.
  const ToolRun gated =
      run_tool({"flash", "id", "1C3017", "--json"}, with_env({{"PGM_ALLOW_EON", "1"}}));
  ASSERT_EQ(gated.status, 0) << gated;
  EXPECT_EQ(gated.json()["record"]["device_name"], "EN25Q64") << gated;
  const ToolRun miss = run_tool({"flash", "id", "1C", "30", "17", "--json"});
  EXPECT_EQ(miss.json()["found"], false) << miss;
  EXPECT_EQ(miss.json()["gated_matches"][0]["gate_switch"], "PGM_ALLOW_EON") << miss;
}

// flash list shows every record of the file, gated ones included, with the index each has in
// the table that a chain loads now.
TEST(ToolFlash, ListHasEveryRecordOfTheFileWithItsLoadedIndex) {
  const std::vector<PGMDEV_SFL_FLASH_INFO> records =
      PGMDEV_FLASH_MANAGER::read_file_records(FIO_PATH(flash_file()));
  PGMDEV_FLASH_MANAGER loaded(false, 1, false, false);
  const ToolRun run = run_tool({"flash", "list", "--json"});
  ASSERT_EQ(run.status, 0) << run;
  const Json rows = run.json();
  ASSERT_EQ(rows.size(), records.size()) << run;
  std::size_t gated = 0;
  for (std::size_t i = 0; i < records.size(); ++i) {
    const Json& row = rows[i];
    EXPECT_EQ(row["device_name"], records[i].device_name);
    EXPECT_EQ(row["manufacturer_name"], records[i].manufacturer_name);
    EXPECT_EQ(row["ini"], records[i].ini);
    EXPECT_EQ(row["default_dev"], records[i].default_dev);
    EXPECT_EQ(row["density_mbit"], records[i].device_bit_size >> 20);
    if (row["index"].is_null()) {
      ++gated;
      EXPECT_EQ(row["loaded"], false);
      EXPECT_NE(gen_stricmp(records[i].ini, "NONE"), 0);
    } else {
      EXPECT_EQ(loaded.m_flash_database[row["index"].get<unsigned int>()].device_name,
                records[i].device_name);
    }
  }
  EXPECT_EQ(records.size() - gated, loaded.m_flash_count);
  EXPECT_GT(gated, 0u);

  // The identification bytes in the order read, "--" where nothing is compared.
  const ToolRun person = run_tool({"flash", "list"});
  for (const char* line : {"M25P80        1        20 20 14      8             TRUE         NONE",
                           "EN25Q64       1        1C 30 17      64            TRUE         EON"}) {
    EXPECT_TRUE(contains(person.out, line)) << line << "\n" << person;
  }
  EXPECT_TRUE(contains(person.out, "13 (silicon)")) << person;
}

TEST(ToolFlash, ShowEveryRecordOfANameOrOneVariant) {
  const std::vector<PGMDEV_SFL_FLASH_INFO> records =
      PGMDEV_FLASH_MANAGER::read_file_records(FIO_PATH(flash_file()));
  std::vector<PGMDEV_SFL_FLASH_INFO> w25q128;
  for (const PGMDEV_SFL_FLASH_INFO& record : records) {
    if (record.device_name == "W25Q128JV") w25q128.push_back(record);
  }
  ASSERT_EQ(w25q128.size(), 2u);
  struct Case {
    std::vector<std::string> arguments;
    std::vector<unsigned int> variants;
  };
  const Case kCases[] = {
      {{"flash", "show", "w25q128jv", "--json"}, {1, 2}},
      {{"flash", "show", "W25Q128JV", "--variant", "2", "--json"}, {2}},
  };
  for (const Case& c : kCases) {
    const ToolRun run = run_tool(c.arguments);
    ASSERT_EQ(run.status, 0) << run;
    const Json shown = run.json()["records"];
    ASSERT_EQ(shown.size(), c.variants.size()) << run;
    for (std::size_t i = 0; i < shown.size(); ++i) {
      EXPECT_EQ(shown[i]["variant"], c.variants[i]) << run;
      EXPECT_EQ(shown[i]["record"], members_of(w25q128[c.variants[i] - 1])) << run;
    }
  }
  // A gated record shows the switch that loads it; by index, the record of the loaded table.
  const ToolRun gated = run_tool({"flash", "show", "EN25Q64", "--json"});
  ASSERT_EQ(gated.status, 0) << gated;
  EXPECT_EQ(gated.json()["records"][0]["gate_switch"], "PGM_ALLOW_EON");
  EXPECT_TRUE(gated.json()["records"][0]["index"].is_null());
  PGMDEV_FLASH_MANAGER loaded(false, 1, false, false);
  const ToolRun by_index = run_tool({"flash", "show", "--index", "5", "--json"});
  ASSERT_EQ(by_index.status, 0) << by_index;
  EXPECT_EQ(by_index.json()["records"][0]["record"], members_of(loaded.m_flash_database[5]));

  struct Miss {
    std::vector<std::string> arguments;
    int status;
    const char* message;
  };
  const Miss kMisses[] = {
      {{"flash", "show", "NOSUCHFLASH"}, 1, "no flash record is named NOSUCHFLASH"},
      {{"flash", "show", "W25Q128JV", "--variant", "3"}, 1, "W25Q128JV has 2 variants, not 3"},
      {{"flash", "show", "--index", "100000"}, 1, "the loaded flash table has"},
      {{"flash", "show"}, 2, "flash show needs a NAME or --index N"},
      {{"flash", "show", "X", "--index", "1"}, 2, "excludes"},
  };
  for (const Miss& c : kMisses) {
    const ToolRun run = run_tool(c.arguments);
    EXPECT_EQ(run.status, c.status) << run;
    EXPECT_TRUE(contains(run.err, c.message)) << c.message << "\n" << run;
  }
}

}  // namespace
