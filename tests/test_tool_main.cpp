// pgmdev-tool as a whole, run installed: help, version, the exit-status contract and the
// reports of usage errors, missing data and internal errors.
#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

#include "pgmdev.h"
#include "tool_runner.h"
#include "ver.h"

namespace {

using tool_test::contains;
using tool_test::run_tool;
using tool_test::ToolRun;

// A directory of its own for a test's files.
std::string fresh_directory(const std::string& name) {
  const std::string directory = testing::TempDir() + "pgmdev_tool_" + name;
  std::system(("rm -rf '" + directory + "' && mkdir -p '" + directory + "/programmer'").c_str());
  return directory;
}

void write_file(const std::string& path, const std::string& bytes) {
  std::ofstream(path, std::ios::binary) << bytes;
}

TEST(ToolMain, UsageErrorsExitTwoWithTheReasonOnStandardError) {
  struct Case {
    std::vector<std::string> arguments;
    const char* message;  // on standard error
  };
  const Case kCases[] = {
      {{}, "A subcommand is required"},
      {{"frobnicate"}, "unknown command 'frobnicate'"},
      {{"flash"}, "A subcommand is required"},
      {{"flash", "frobnicate"}, "unknown command 'frobnicate' (commands: id"},
      {{"name"}, "NAME is required"},
      {{"name", "A", "B"}, "was not expected: B"},
      {{"dev-info", "debug", "everything"}, "everything"},
      {{"name", "--bogus", "QZ40B"}, "--bogus"},
  };
  for (const Case& c : kCases) {
    const ToolRun run = run_tool(c.arguments);
    EXPECT_EQ(run.status, 2) << run;
    EXPECT_TRUE(contains(run.err, c.message)) << c.message << "\n" << run;
    EXPECT_TRUE(contains(run.err, "--help' for its usage")) << run;
    EXPECT_EQ(run.out, "") << run;
  }
}

TEST(ToolMain, HelpOfTheToolListsCommandsAndEnvironment) {
  for (const char* flag : {"--help", "-h"}) {
    const ToolRun run = run_tool({flag});
    EXPECT_EQ(run.status, 0) << run;
    for (const char* text :
         {"Usage: pgmdev-tool", "name", "flash", "dev-info", "flash-ini", "PGM_ALLOW_<GATE>",
          "PGM_3RD_PARTY_FLASH_INI ", "PGM_3RD_PARTY_FLASH_INI_DEBUG", "PGMDEV_DEVICE_DB_DIR",
          "PGMDEV_INSTALL_DIR", "PGMDEV_MODULE_DIR", "PGMDEV_ENABLE_GRAMMAR_DEBUG",
          "PGMDEV_SUITE_VERSION ", "PGMDEV_SUITE_VERSION_INDEX", "Exit status"}) {
      EXPECT_TRUE(contains(run.out, text)) << text << "\n" << run;
    }
  }
}

TEST(ToolMain, VersionNamesTheLibrarySuiteAndDataFiles) {
  const std::string prefix = tool_test::installed_prefix();
  const ToolRun run = run_tool({"--version"});
  EXPECT_EQ(run.status, 0) << run;
  EXPECT_TRUE(contains(run.out, "pgmdev-tool " + PGMDEV_MGR::get_library_version() + "\n")) << run;
  EXPECT_TRUE(contains(run.out, "library version: " + PGMDEV_MGR::get_library_version())) << run;
  EXPECT_TRUE(contains(run.out, "suite version: " + ver_get_version())) << run;
  EXPECT_TRUE(contains(run.out, PGMDEV_FLASH_MANAGER::get_ini_version_text())) << run;
  EXPECT_TRUE(contains(run.out, "device-info database: " + prefix +
                                    "/share/pgmdev/device_db/programmer/pgm_dev_info.pcf\n"))
      << run;
  EXPECT_TRUE(contains(
      run.out, "flash database: " + prefix + "/share/pgmdev/device_db/programmer/pgm_flash.pcf\n"))
      << run;
  EXPECT_TRUE(
      contains(run.out, "flash parameter file: " + prefix + "/bin/pgm_flash.ini (not found)"))
      << run;

  // The suite version that check codes are sealed with follows its variables.
  const ToolRun other =
      run_tool({"--version"}, tool_test::with_env({{"PGMDEV_SUITE_VERSION", "9.9"},
                                                   {"PGMDEV_SUITE_VERSION_INDEX", "0x1203"},
                                                   {"PGMDEV_DEVICE_DB_DIR", "/nonexistent"}}));
  EXPECT_EQ(other.status, 0) << other;
  EXPECT_TRUE(contains(other.out, "Velmora Version: 9.9 SP3 Build 18\n")) << other;
  EXPECT_TRUE(contains(
      other.out, "device-info database: /nonexistent/programmer/pgm_dev_info.pcf (not found)"))
      << other;
}

// Each query command refuses to run without its database and says where it looked; a damaged
// database is reported with the failed check, its place in the library and the file's path.
TEST(ToolMain, MissingOrDamagedDataFilesExitThreeNamingThePath) {
  const std::string missing = testing::TempDir() + "pgmdev_tool_no_such_directory";
  const std::string damaged = fresh_directory("damaged");
  write_file(damaged + "/programmer/pgm_flash.pcf", "PGMIO_FM too short");
  write_file(damaged + "/programmer/pgm_dev_info.pcf", std::string(200, 'x'));
  struct Case {
    std::vector<std::string> arguments;
    std::string directory;
    std::vector<std::string> messages;
  };
  const Case kCases[] = {
      {{"flash", "id", "EF4018"},
       missing,
       {"the device data directory " + missing + " does not exist", "PGMDEV_DEVICE_DB_DIR"}},
      {{"dev-info", "debug", "records"},
       missing,
       {"the device data directory " + missing + " does not exist"}},
      {{"flash", "id", "EF4018"},
       damaged,
       {"internal error: file_size > (8 + 32 + 4 + 2)", "in module PGMDEV, pgm/pgmdev/",
        "while reading " + damaged + "/programmer/pgm_flash.pcf"}},
      {{"dev-info", "debug", "records"},
       damaged,
       {"internal error: ", "in module PGMDEV",
        "while reading " + damaged + "/programmer/pgm_dev_info.pcf"}},
  };
  for (const Case& c : kCases) {
    const ToolRun run =
        run_tool(c.arguments, tool_test::with_env({{"PGMDEV_DEVICE_DB_DIR", c.directory}}));
    EXPECT_EQ(run.status, 3) << run;
    EXPECT_EQ(run.out, "") << run;
    for (const std::string& message : c.messages) {
      EXPECT_TRUE(contains(run.err, message)) << message << "\n" << run;
    }
  }
}

// Whatever the library prints on standard output (here the grammar trace) goes to standard
// error, so that the answer stays one JSON document.
TEST(ToolMain, LibraryTracesDoNotMixWithTheAnswer) {
  const ToolRun run = run_tool({"name", "QZ40BF256C6N", "--json"},
                               tool_test::with_env({{"PGMDEV_ENABLE_GRAMMAR_DEBUG", "1"}}));
  EXPECT_EQ(run.status, 0) << run;
  EXPECT_FALSE(run.json().is_discarded()) << run;
  EXPECT_TRUE(contains(run.err, "Map Flow   : Strip Speedgrade")) << run;
}

}  // namespace
