// pgmdev-tool flash-ini, run installed: the dialogue from standard input or an answers file,
// its refusals, and decode; the INI text it makes loads in the library and in the tool.
#include <gtest/gtest.h>

#include <fstream>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "cfg.h"
#include "pgmdev.h"
#include "tool_runner.h"

namespace {

using tool_test::contains;
using tool_test::Json;
using tool_test::run_tool;
using tool_test::ToolRun;
using tool_test::with_env;

constexpr const char kIniKey[] = "PGM_3RD_PARTY_FLASH_INI";

// The answers of a user defining a flash with the identification bytes of the M25P80
// (20 20 14), by question.
std::map<std::string, std::string> base_answers() {
  return {{"maker", "acme"},
          {"device", "my25q80"},
          {"memory_id", "14"},
          {"memory_id_index", "2"},
          {"memory_type", "20"},
          {"memory_type_index", "1"},
          {"mfc_id", "20"},
          {"mfc_id_index", "0"},
          {"flags", "n n n n n n"},
          {"dies", "1"},
          {"density", "8"},
          {"sector", "64"},
          {"bulk", "200"},
          {"sector_erase", "2"},
          {"program", "3000"},
          {"masks", "1c 1c 0"},
          {"divisor", "-1"},
          {"bottom", "5"},
          {"sdm", "y"},
          {"voltage", "3.3"}};
}

std::string answers_text(std::map<std::string, std::string> overrides = {}) {
  std::map<std::string, std::string> answers = base_answers();
  for (const auto& [question, answer] : overrides) answers[question] = answer;
  std::string text;
  for (const char* question : {"maker",       "device",
                               "memory_id",   "memory_id_index",
                               "memory_type", "memory_type_index",
                               "mfc_id",      "mfc_id_index",
                               "flags",       "dies",
                               "density",     "sector",
                               "bulk",        "sector_erase",
                               "program",     "masks",
                               "divisor",     "bottom",
                               "sdm",         "voltage"}) {
    text += answers[question] + " ";
  }
  return text;
}

// The dialogue's INI text loads at the head of the flash table, in the library and in the tool.
TEST(ToolFlashIni, DialogueTextLoadsAheadOfTheDatabase) {
  const ToolRun run = run_tool({"flash-ini", "--json"}, with_env({}, "1 " + answers_text()));
  ASSERT_EQ(run.status, 0) << run;
  const std::string ini = run.json()["ini"];
  EXPECT_EQ(run.json()["flashes"][0]["device_name"], "MY25Q80") << run;
  EXPECT_EQ(run.err, "") << run;

  cfg_set_value(kIniKey, ini);
  {
    PGMDEV_FLASH_MANAGER manager(false, 1, false, false);
    const unsigned char id[3] = {0x20, 0x20, 0x14};
    ASSERT_TRUE(manager.flash_id_database_mapping(false, 0, id, 3));
    const PGMDEV_SFL_FLASH_INFO& flash =
        manager.m_flash_database[manager.get_flash_mapping_index(0, false)];
    EXPECT_EQ(manager.get_flash_mapping_index(0, false), 0u);
    EXPECT_EQ(flash.device_name, "MY25Q80");
    EXPECT_EQ(flash.device_bit_size, 8u << 20);
    EXPECT_EQ(flash.bottom_value, 32);
  }
  cfg_unset_value(kIniKey);

  const ToolRun found =
      run_tool({"flash", "id", "20", "20", "14", "--json"}, with_env({{kIniKey, ini}}));
  ASSERT_EQ(found.status, 0) << found;
  EXPECT_EQ(found.json()["index"], 0) << found;
  EXPECT_EQ(found.json()["source"], "user") << found;
  EXPECT_EQ(found.json()["record"]["device_name"], "MY25Q80") << found;
  const ToolRun listed = run_tool({"flash", "list", "--json"}, with_env({{kIniKey, ini}}));
  EXPECT_EQ(listed.json()[0]["source"], "user") << listed;
  EXPECT_EQ(listed.json()[1]["index"], 1) << listed;
}

// Answers from a file give the same text as answers on standard input.
TEST(ToolFlashIni, AnswersFileIsTheNonInteractiveForm) {
  const std::string path = testing::TempDir() + "pgmdev_tool_answers.txt";
  std::ofstream(path) << "1\n" << answers_text() << "\n";
  const ToolRun from_file = run_tool({"flash-ini", "--answers", path, "--json"});
  const ToolRun from_input = run_tool({"flash-ini", "--json"}, with_env({}, "1 " + answers_text()));
  ASSERT_EQ(from_file.status, 0) << from_file;
  EXPECT_EQ(from_file.json()["ini"], from_input.json()["ini"]);
  // The person's answer is the text, labelled.
  const ToolRun person = run_tool({"flash-ini", "--answers", path});
  EXPECT_TRUE(contains(person.out, "ini : " + from_file.json()["ini"].get<std::string>() + "\n"))
      << person;

  const ToolRun missing = run_tool({"flash-ini", "--answers", path + ".missing"});
  EXPECT_EQ(missing.status, 2) << missing;
  EXPECT_TRUE(contains(missing.err, ".missing")) << missing;
}

// A refused answer names the question, the answer and why on standard error; exit 1, nothing on
// standard output. So does a definition the loader would not load.
TEST(ToolFlashIni, RefusalsGoToStandardErrorAndExitOne) {
  struct Case {
    std::string input;
    std::string message;
  };
  const Case kCases[] = {
      {"1 " + answers_text({{"device", "abcdefghijklmnopqrstu"}}),
       "flash-ini: question \"Device Name\": answer \"ABCDEFGHIJKLMNOPQRSTU\" refused: it has 21 "
       "characters; 1 to 19 are allowed\n"},
      {"1 " + answers_text({{"density", "3"}}),
       "flash-ini: question \"Memory Density [1 - 2048 Mbit]\": answer \"3\" refused: the value is "
       "not a power of two in 1 to 2048\n"},
      {"7", "answer \"7\" refused: 1, 2 or 3 flash devices can be defined\n"},
      {"1 acme", "question \"Device Name\": no answer (end of input)"},
      {"1 " + answers_text({{"divisor", "20"}}),
       "flash-ini: the loader would refuse flash 1: protection_division 32 is not 0 to 31 or "
       "255\n"},
      {"1 " + answers_text({{"device", "my@25"}}), "flash-ini: the loader would refuse flash 1: "},
      {"2 " + answers_text() + answers_text({{"sdm", "maybe"}}),
       "flash-ini: flash 2, question \"SDM Support [Y/N]\": answer \"MAYBE\" refused"},
  };
  for (const Case& c : kCases) {
    const ToolRun run = run_tool({"flash-ini"}, with_env({}, c.input));
    EXPECT_EQ(run.status, 1) << run;
    EXPECT_EQ(run.out, "") << run;
    EXPECT_TRUE(contains(run.err, c.message)) << c.message << "\n" << run;
    EXPECT_TRUE(contains(run.err, "no INI text was made")) << run;
    // No question text glued to the message: the questions are not shown without a terminal.
    EXPECT_FALSE(contains(run.err, " : ")) << run;
  }
}

TEST(ToolFlashIni, MoreThanOneFlashWarnsThatOnlyTheFirstLoads) {
  const ToolRun run =
      run_tool({"flash-ini", "--json"},
               with_env({}, "2 " + answers_text() + answers_text({{"device", "second"}})));
  ASSERT_EQ(run.status, 0) << run;
  EXPECT_EQ(run.json()["flashes"].size(), 2u);
  EXPECT_TRUE(contains(run.err,
                       "warning: 2 flash devices are defined in one INI text, but loading "
                       "uses only the first (ACME MY25Q80)"))
      << run;
}

// decode shows what the loader makes of a text: the members, the check code under this suite
// version, and whether it loads.
TEST(ToolFlashIni, DecodeShowsTheRecordAndWhetherItLoads) {
  const ToolRun made = run_tool({"flash-ini", "--json"}, with_env({}, "1 " + answers_text()));
  ASSERT_EQ(made.status, 0) << made;
  const std::string ini = made.json()["ini"];
  const PGMDEV_INI_ENTRY entry =
      PGMDEV_FLASH_MANAGER::read_ini_entry(PGMDEV_FLASH_MANAGER::decode_ini(ini));

  struct Case {
    std::vector<std::string> arguments;
    std::map<std::string, std::string> env;
    std::string input;
    int status;
    bool holds;
    std::string version;
  };
  const Case kCases[] = {
      {{"flash-ini", "decode", ini, "--json"},
       {},
       "",
       0,
       true,
       PGMDEV_FLASH_MANAGER::get_ini_version_text()},
      {{"flash-ini", "decode", "-", "--json"},
       {},
       "  " + ini + "\n",
       0,
       true,
       PGMDEV_FLASH_MANAGER::get_ini_version_text()},
      {{"flash-ini", "decode", ini, "--json"},
       {{"PGMDEV_SUITE_VERSION", "99.1"}},
       "",
       1,
       false,
       "Velmora Version: 99.1 Build 100"},
  };
  for (const Case& c : kCases) {
    const ToolRun run = run_tool(c.arguments, with_env(c.env, c.input));
    EXPECT_EQ(run.status, c.status) << run;
    const Json answer = run.json();
    EXPECT_EQ(answer["check_code_holds"], c.holds) << run;
    EXPECT_EQ(answer["loads"], c.holds) << run;
    EXPECT_EQ(answer["version_text"], c.version) << run;
    EXPECT_EQ(answer["record_text"], entry.record_text) << run;
    EXPECT_EQ(answer["check_code"], entry.check_code) << run;
    EXPECT_EQ(answer["flash"].size(), PGMDEV_FLASH_MANAGER::TOTAL_DATABASE_MEMBER) << run;
    EXPECT_EQ(answer["flash"]["device_name"], "MY25Q80") << run;
    EXPECT_EQ(answer["flash"]["device_bit_size"], 8u << 20) << run;
    if (!c.holds) {
      EXPECT_TRUE(contains(run.err, "the loader would not load this flash: the check code")) << run;
    }
  }

  for (const char* text : {"not*an*ini*text", "AAAA", ""}) {
    const ToolRun run = run_tool({"flash-ini", "decode", text});
    EXPECT_EQ(run.status, 1) << run;
    EXPECT_EQ(run.out, "") << run;
  }
}

}  // namespace
