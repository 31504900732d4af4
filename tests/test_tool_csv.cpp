// pgmdev-tool lint, dump, gen-dev-info and gen-flash, run installed: the findings and the dumps
// are the library's own, the dump of each installed database generates it again byte for byte,
// and the generators write nothing for a CSV that lint refuses.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "csv_dump.h"
#include "csv_lint.h"
#include "pgmdev_csv_test_util.h"
#include "tool_runner.h"

namespace {

namespace fs = std::filesystem;
using csv_test::text_of;
using tool_test::contains;
using tool_test::run_tool;
using tool_test::ToolRun;
using tool_test::with_env;

const std::string kShare = tool_test::installed_prefix() + "/share/pgmdev";
const std::string kDevInfoFile = kShare + "/device_db/programmer/pgm_dev_info.pcf";
const std::string kFlashFile = kShare + "/device_db/programmer/pgm_flash.pcf";

std::string read_file(const std::string& path) {
  std::ifstream input(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(input), std::istreambuf_iterator<char>());
}

void write_file(const std::string& path, const std::string& bytes) {
  std::ofstream(path, std::ios::binary | std::ios::trunc) << bytes;
}

class ToolCsv : public testing::Test {
 protected:
  void SetUp() override {
    // One directory per test: ctest runs the tests of this file at once.
    m_dir = testing::TempDir() + "pgmdev_tool_csv_" +
            testing::UnitTest::GetInstance()->current_test_info()->name();
    fs::remove_all(m_dir);
    fs::create_directories(m_dir);
  }
  void TearDown() override { fs::remove_all(m_dir); }
  std::string path(const std::string& name) const { return m_dir + "/" + name; }

  std::string m_dir;
};

TEST_F(ToolCsv, LintPrintsTheLibrarysFindingsAndExitsOneOnAnError) {
  write_file(path("flash.csv"), text_of(csv_test::flash_csv_with_one_of_each(), " , "));
  write_file(path("dev_info.csv"), text_of(csv_test::dev_info_csv_with_one_of_each(), ","));
  write_file(path("other.csv"), "name,size\nA,1\n");
  struct Case {
    std::string csv;
    int status;
    const char* summary;  // on standard error
  };
  const Case kCases[] = {
      {std::string(PGMDEV_SOURCE_DIR) + "/data/flash/pgm_flash.csv", 0,
       "flash CSV, 0 errors, 0 warnings"},
      {std::string(PGMDEV_SOURCE_DIR) + "/data/device_info/pgm_dev_info.csv", 0,
       "device-info CSV, 0 errors, 0 warnings"},
      {path("flash.csv"), 1, "flash CSV, 11 errors, 0 warnings"},
      {path("dev_info.csv"), 1, "device-info CSV, 15 errors, 3 warnings"},
      {path("other.csv"), 1, "unknown CSV, 1 error, 0 warnings"},
  };
  for (const Case& c : kCases) {
    const pgmdev_csv::LintReport report = pgmdev_csv::lint_csv_file(c.csv);
    std::string lines;
    for (const auto& finding : report.findings) lines += format_finding(finding) + "\n";

    const ToolRun run = run_tool({"lint", c.csv});
    EXPECT_EQ(run.status, c.status) << run;
    EXPECT_EQ(run.out, lines) << run;
    EXPECT_TRUE(contains(run.err, c.csv + ": " + c.summary)) << run;

    const ToolRun json = run_tool({"lint", c.csv, "--json"});
    EXPECT_EQ(json.status, c.status) << json;
    const auto answer = json.json();
    ASSERT_TRUE(answer.is_object()) << json;
    EXPECT_EQ(answer["kind"], pgmdev_csv::kind_name(report.kind));
    ASSERT_EQ(answer["findings"].size(), report.findings.size()) << json;
    for (size_t i = 0; i < report.findings.size(); ++i) {
      const auto& finding = report.findings[i];
      const auto& parsed = answer["findings"][i];
      EXPECT_EQ(parsed["file"], finding.file);
      EXPECT_EQ(parsed["line"], finding.line);
      EXPECT_EQ(parsed["column"], finding.column);
      EXPECT_EQ(parsed["severity"], pgmdev_csv::severity_name(finding.severity));
      EXPECT_EQ(parsed["rule"], finding.rule);
      EXPECT_EQ(parsed["message"], finding.message);
    }
  }
  const ToolRun missing = run_tool({"lint", path("absent.csv")});
  EXPECT_EQ(missing.status, 2) << missing;
}

TEST_F(ToolCsv, DumpThenGenerateGivesTheInstalledDatabasesByteForByte) {
  struct Case {
    const std::string& file;
    const char* generator;
  };
  for (const Case& c : {Case{kFlashFile, "gen-flash"}, Case{kDevInfoFile, "gen-dev-info"}}) {
    const ToolRun dump = run_tool({"dump", c.file});
    ASSERT_EQ(dump.status, 0) << dump;
    EXPECT_EQ(dump.out, pgmdev_csv::dump_database_file(c.file).csv);
    write_file(path("dumped.csv"), dump.out);
    // The parts list of the installation, from which the device-info tables come.
    const ToolRun generate = run_tool({c.generator, path("dumped.csv"), path("again.pcf")},
                                      with_env({{"PGMDEV_INSTALL_DIR", kShare}}));
    ASSERT_EQ(generate.status, 0) << generate;
    EXPECT_EQ(generate.out, "") << generate;
    EXPECT_TRUE(read_file(path("again.pcf")) == read_file(c.file)) << c.file;
  }
}

TEST_F(ToolCsv, DumpOfAFileThatIsNoSoundDatabaseExitsThreeNamingIt) {
  struct Case {
    const char* what;
    std::string bytes;
    const char* message;
  };
  const Case kCases[] = {
      {"cut flash file", read_file(kFlashFile).substr(0, 100),
       "zlib_uncompress(decompressed_data, &new_dcmp_size, data, decompressed_count) == ZLIB_OK"},
      {"another schema",
       [] {
         std::string bytes = read_file(kDevInfoFile);
         bytes[20] ^= 1;
         return bytes;
       }(),
       "Mismatch ID between device file and reader"},
      {"a text file", "family,pcf,device\n", "is neither PGMIO_DM"},
  };
  for (const Case& c : kCases) {
    write_file(path("file.pcf"), c.bytes);
    const ToolRun run = run_tool({"dump", path("file.pcf")});
    EXPECT_EQ(run.status, 3) << c.what << "\n" << run;
    EXPECT_EQ(run.out, "") << c.what << "\n" << run;
    EXPECT_TRUE(contains(run.err, path("file.pcf"))) << c.what << "\n" << run;
    EXPECT_TRUE(contains(run.err, c.message)) << c.what << "\n" << run;
  }
}

TEST_F(ToolCsv, GeneratorsLintFirstAndWriteNothingOnAnError) {
  write_file(path("flash.csv"), text_of(csv_test::flash_csv_with_one_of_each(), ","));
  std::vector<csv_test::Row> missing_family = csv_test::dev_info_csv();
  missing_family[csv_test::family_row(3)] = csv_test::dev_info_row("", "PCF_E", "", "");
  write_file(path("dev_info.csv"), text_of(missing_family, ","));
  const auto env = with_env({{"PGMDEV_INSTALL_DIR", kShare}});
  struct Case {
    const char* what;
    std::vector<std::string> arguments;
    int status;
    std::string message;  // on standard error
  };
  const Case kCases[] = {
      {"flash CSV with errors",
       {"gen-flash", path("flash.csv"), path("out.pcf")},
       1,
       path("flash.csv") + ":10:4: error: memory_id 0x1FF does not fit a byte (0 to 0xFF) [width]"},
      {"the errors are counted",
       {"gen-flash", path("flash.csv"), path("out.pcf")},
       1,
       "11 errors; nothing written to " + path("out.pcf")},
      {"a CSV of the other kind",
       {"gen-flash", path("dev_info.csv"), path("out.pcf")},
       1,
       "is a device-info CSV; use 'pgmdev-tool gen-dev-info'"},
      {"a warning does not stop generation",
       {"gen-dev-info", path("dev_info.csv"), path("out.pcf")},
       0,
       ") has no row; it takes the GENERIC family's row"},
  };
  for (const Case& c : kCases) {
    fs::remove(path("out.pcf"));
    const ToolRun run = run_tool(c.arguments, env);
    EXPECT_EQ(run.status, c.status) << c.what << "\n" << run;
    EXPECT_TRUE(contains(run.err, c.message)) << c.what << "\n" << run;
    EXPECT_EQ(fs::exists(path("out.pcf")), c.status == 0) << c.what;
  }
}

}  // namespace
