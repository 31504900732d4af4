// pgmdev-tool as a whole, run installed: help, version, the exit-status contract and the
// reports of usage errors, missing data and internal errors.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <set>
#include <sstream>
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

std::vector<std::string> lines_of(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream stream(text);
  for (std::string line; std::getline(stream, line);) lines.push_back(line);
  return lines;
}

std::vector<std::string> words_of(const std::string& text) {
  std::vector<std::string> words;
  std::istringstream stream(text);
  for (std::string word; stream >> word;) words.push_back(word);
  return words;
}

std::vector<std::string> command_paths() {
  const ToolRun run = run_tool({"--list-commands"});
  EXPECT_EQ(run.status, 0) << run;
  return lines_of(run.out);
}

// Every command's help ends with an example, and the example is true: running its command line
// prints the lines it shows, in order ("..." stands for lines left out, a line in parentheses
// is a note).
TEST(ToolMain, EveryCommandHasAnExampleThatHolds) {
  // These write files, or read files that only their user has: their examples are only shown.
  const std::set<std::string> kNotRun = {"gen-dev-info", "gen-flash",      "lint",
                                         "dump",         "hps spi add",    "hps spi remove",
                                         "hps nand add", "hps nand remove"};
  const std::vector<std::string> paths = command_paths();
  ASSERT_GT(paths.size(), 10u);
  for (const std::string& path : paths) {
    std::vector<std::string> arguments = words_of(path);
    arguments.push_back("--help");
    const ToolRun help = run_tool(arguments);
    ASSERT_EQ(help.status, 0) << help;
    const std::size_t example = help.out.find("\nExample:\n  $ ");
    ASSERT_NE(example, std::string::npos) << path << " has no example\n" << help;
    std::vector<std::string> lines = lines_of(help.out.substr(example + 10));
    if (kNotRun.count(path) != 0) continue;

    // "$ pgmdev-tool ARGS" or "$ echo 'INPUT' | pgmdev-tool ARGS"
    std::string command = lines.front().substr(4);
    std::string input;
    if (command.rfind("echo '", 0) == 0) {
      const std::size_t end = command.find("' | ");
      ASSERT_NE(end, std::string::npos) << command;
      input = command.substr(6, end - 6) + "\n";
      command = command.substr(end + 4);
    }
    std::vector<std::string> words = words_of(command);
    ASSERT_EQ(words.front(), "pgmdev-tool") << command;
    words.erase(words.begin());
    const ToolRun run = run_tool(words, tool_test::with_env({}, input));
    EXPECT_EQ(run.status, 0) << run;
    std::size_t at = 0;
    for (std::size_t i = 1; i < lines.size(); ++i) {
      if (lines[i].empty()) break;  // the end of the example
      const std::string shown = lines[i].substr(2);
      const std::string text = shown.substr(shown.find_first_not_of(' '));
      if (text.rfind("...", 0) == 0 || text.rfind("(", 0) == 0) continue;
      const std::size_t found = run.out.find(shown + "\n", at);
      EXPECT_NE(found, std::string::npos) << path << ": the example shows\n"
                                          << shown << "\nwhich is not in\n"
                                          << run;
      if (found != std::string::npos) at = found + shown.size();
    }
  }
}

// The manual page and the bash completion are installed and name every command.
TEST(ToolMain, ManualPageAndCompletionAreInstalled) {
  const std::string prefix = tool_test::installed_prefix();
  std::ifstream man_file(prefix + "/share/man/man1/pgmdev-tool.1");
  ASSERT_TRUE(man_file.good());
  const std::string man((std::istreambuf_iterator<char>(man_file)),
                        std::istreambuf_iterator<char>());
  EXPECT_TRUE(contains(man, ".TH PGMDEV-TOOL \"1\"")) << man.substr(0, 200);
  EXPECT_TRUE(contains(man, "PGM_ALLOW_<GATE>"));
  EXPECT_TRUE(contains(man, "PGMDEV_SUITE_VERSION_INDEX"));
  for (const std::string& path : command_paths()) {
    EXPECT_TRUE(contains(man, ".SS \"pgmdev-tool " + path + "\"")) << path;
  }

  const std::string completion = prefix + "/share/bash-completion/completions/pgmdev-tool";
  struct Case {
    const char* words;  // what has been typed, the last word being completed
    const char* expected;
  };
  const Case kCases[] = {
      {"pgmdev-tool fl", "flash flash-ini"},
      {"pgmdev-tool flash s", "show"},
      {"pgmdev-tool flash show --v", "--variant"},
      {"pgmdev-tool dev-info show --part QZ40BF256C6N --j", "--json"},
      {"pgmdev-tool flash-ini de", "decode"},
      {"pgmdev-tool flash-ini sfdp --m", "--maker"},
  };
  for (const Case& c : kCases) {
    const std::string script = testing::TempDir() + "pgmdev_tool_completion.sh";
    write_file(script, "source '" + completion + "'\nCOMP_WORDS=(" + c.words +
                           ")\nCOMP_CWORD=$((${#COMP_WORDS[@]} - 1))\n_pgmdev_tool\n"
                           "echo \"${COMPREPLY[*]}\"\n");
    FILE* pipe = popen(("bash '" + script + "'").c_str(), "r");
    ASSERT_NE(pipe, nullptr);
    char buffer[512] = {};
    const std::string got = std::fgets(buffer, sizeof buffer, pipe) ? buffer : "";
    pclose(pipe);
    EXPECT_EQ(got, std::string(c.expected) + "\n") << c.words;
  }
}

}  // namespace
