// The catalogue generator on small crafted catalogues: a sound one is written out (and left
// untouched when nothing changed); a broken one fails, names the offending name and writes
// nothing.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

namespace {

namespace fs = std::filesystem;

// Two families under one family pcf: one with a pcf of two devices (one pgm-named part), one
// with a device-only pcf beside a pgm pcf.
constexpr char kSound[] = R"(# tiny catalogue
grade C6N C6P
grade I7S I7E
gradeset STD C6N | C6N-T
gradeset ENG I7S
familypcf QA_FAMILY
family Qamber opn
pcf QA20B
device QA20B_DIE QA10B:F256,U169/STD QA20B:F256/STD:U169/ENG
device QA05A_DIE QA05A=C6P
family Qbrook
pcf QB30A
device QB30A_DIE QB30A:M100/STD
pcf QB30H devcfg
device QB30H_DIE
familypcf -
family Qcairn
device QC10A_DIE QC10A:F256/STD
)";

struct GenResult {
  int status;
  std::string messages;
};

class CatalogueGenTest : public ::testing::Test {
 protected:
  void SetUp() override {
    m_dir = fs::temp_directory_path() /
            ("catalogue_gen_test_" + std::to_string(getpid()) + "_" +
             ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::remove_all(m_dir);
    fs::create_directories(m_dir / "out");
  }
  void TearDown() override { fs::remove_all(m_dir); }

  GenResult generate(const std::string& source, const std::string& options = "--any-size") {
    std::ofstream(m_dir / "catalogue.txt") << source;
    const std::string command =
        std::string(PGMDEV_BINARY_DIR "/bin/catalogue_gen ") + (m_dir / "catalogue.txt").string() +
        " " + (m_dir / "out").string() + " " + options + " 2>" + (m_dir / "messages.txt").string();
    const int status = std::system(command.c_str());
    std::ifstream messages(m_dir / "messages.txt");
    std::stringstream text;
    text << messages.rdbuf();
    return GenResult{WIFEXITED(status) ? WEXITSTATUS(status) : -1, text.str()};
  }

  fs::path m_dir;
};

TEST_F(CatalogueGenTest, SoundCatalogueIsWrittenAndLeftAloneWhenUnchanged) {
  const GenResult first = generate(kSound);
  ASSERT_EQ(first.status, 0) << first.messages;
  const char* const outputs[] = {"dev_catalogue_data.cpp", "pgmddb_data.inc", "grammar.ddb",
                                 "opn.ddb"};
  for (const char* name : outputs) ASSERT_TRUE(fs::exists(m_dir / "out" / name)) << name;
  std::ifstream data(m_dir / "out" / "dev_catalogue_data.cpp");
  std::stringstream text;
  text << data.rdbuf();
  // Parts 1..7 in source order, then the generic part: DEV_PART_MAX = 9.
  EXPECT_NE(text.str().find("DEV_PART_MAX = static_cast<DEV_PART_ENUM>(9)"), std::string::npos);
  EXPECT_NE(text.str().find("{\"QA10BF256C6N\", 1, 1, 'C', '6', 'P'}"), std::string::npos);
  EXPECT_NE(text.str().find("{\"QA05A\", 2, 0, 'C', '6', 'P'}"), std::string::npos);
  EXPECT_EQ(text.str().find("C6N-T"), std::string::npos);  // variants are not catalogue parts

  const auto stamp = fs::last_write_time(m_dir / "out" / "grammar.ddb");
  fs::last_write_time(m_dir / "out" / "grammar.ddb", stamp - std::chrono::hours(1));
  ASSERT_EQ(generate(kSound).status, 0);
  EXPECT_EQ(fs::last_write_time(m_dir / "out" / "grammar.ddb"), stamp - std::chrono::hours(1));
  EXPECT_EQ(std::distance(fs::directory_iterator(m_dir / "out"), fs::directory_iterator()), 4);
}

TEST_F(CatalogueGenTest, BrokenCataloguesFailNamingTheName) {
  struct Case {
    const char* what;
    std::string from;  // text of kSound to replace
    std::string to;
    std::string message;
  };
  const Case cases[] = {
      {"pgm name under two devices", "QA05A=C6P", "QA10B:E144/STD",
       "PGM_GRAMMAR: key QA10B given twice"},
      {"device name twice", "device QC10A_DIE", "device QB30A_DIE",
       "device QB30A_DIE is given more than once"},
      {"unknown grade set", "QB30A:M100/STD", "QB30A:M100/FAST", "'M100/FAST'"},
      {"grade set suffix without grade", "gradeset ENG I7S", "gradeset ENG I8S", "I8S"},
      {"bad grade code", "grade I7S I7E", "grade I7S X7E", "grade needs"},
      {"lower-case pgm name", "QB30A:M100/STD", "qb30a:M100/STD", "qb30a"},
      {"pcf without device", "device QB30A_DIE QB30A:M100/STD\n", "", "pcf QB30A lists no device"},
      {"package name that is another pgm name", "QA05A=C6P", "QA10BF256:E144/STD",
       "pgm name QA10BF256 is also the name of another package or part"},
      {"pcf in a family without family pcf", "device QC10A_DIE", "pcf QC10A\ndevice QC10A_DIE",
       "pcf QC10A stands in no family of a family pcf"},
      {"part name twice across families", "QC10A:F256/STD", "QC10A=C6P\ndevice QC20A_DIE QC10A=C6P",
       "part QC10A is given more than once"},
      {"pcf name twice", "pcf QB30H devcfg", "pcf QA20B", "key QA20B given twice"},
      {"only device-only pcfs under a family pcf", "familypcf -",
       "familypcf QX_FAMILY\nfamily Qx\npcf QX10H\ndevice QX10H_DIE\nfamilypcf -",
       "QX_FAMILY is a key of DEV_FAMILY_PCF but not of PGM_FAMILY_PCF"},
  };
  for (const Case& c : cases) {
    std::string source = kSound;
    const size_t at = source.find(c.from);
    ASSERT_NE(at, std::string::npos) << c.what;
    source.replace(at, c.from.size(), c.to);
    const GenResult run = generate(source);
    EXPECT_EQ(run.status, 1) << c.what;
    EXPECT_NE(run.messages.find(c.message), std::string::npos) << c.what << ":\n" << run.messages;
    EXPECT_TRUE(fs::is_empty(m_dir / "out")) << c.what;
  }
}

TEST_F(CatalogueGenTest, FullCatalogueNeedsEveryFamilyAndDevice) {
  const GenResult run = generate(kSound, "");
  EXPECT_EQ(run.status, 1);
  EXPECT_NE(run.messages.find("the catalogue has 3 families, not 71"), std::string::npos)
      << run.messages;
  EXPECT_NE(run.messages.find("the catalogue has 5 devices, not 989"), std::string::npos)
      << run.messages;
}

}  // namespace
