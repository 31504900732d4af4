// Device-name grammar: the compositions, their fallbacks and the trace, on a crafted grammar
// blob whose every entry is known; the named examples on the shipped blob; the name command.
#include <gtest/gtest.h>

#include <cstdio>
#include <functional>
#include <string>
#include <vector>

#include "cfg.h"
#include "ddb_blob_writer.h"
#include "pgmdev_ddb_mgr.h"
#include "pgmdev_device_grammar_mgr.h"
#include "zlib_util.h"

namespace {

using ddb_writer::Bytes;
using ddb_writer::Section;
typedef PGMDEV_DEVICE_GRAMMAR_MGR GRAMMAR;

constexpr char kTraceSwitch[] = "PGMDEV_ENABLE_GRAMMAR_DEBUG";

// Two families. QZ10A is named by its pgm name (part, package and pgm name coincide); QZ50PC6's
// package is its pgm name; QZ30F256 is its own package but not its own pgm name. The pcf QZ60B
// lists its devices with the larger name first. ORPHAN_PCF belongs to no family.
std::vector<Section> crafted_sections() {
  return {
      // PACKAGE_GRAMMAR
      {{"QZ10A", {"QZ10A"}},
       {"QZ30F256", {"QZ30F256"}},
       {"QZ40BF256", {"QZ40BF256C6N", "QZ40BF256I7N"}},
       {"QZ40BU169", {"QZ40BU169C6N"}},
       {"QZ50P", {"QZ50PC6"}},
       {"QZ60BF484", {"QZ60BF484C6N"}}},
      // PGM_GRAMMAR
      {{"QZ10A", {"QZ10A"}},
       {"QZ30", {"QZ30F256"}},
       {"QZ40B", {"QZ40BF256", "QZ40BU169"}},
       {"QZ50P", {"QZ50P"}},
       {"QZ60B", {"QZ60BF484"}}},
      // PGM_PCF
      {{"QZ10A", {"QZ10A"}}, {"QZ30", {"QZ30", "QZ50P"}}, {"QZ60B", {"QZ40B", "QZ60B"}}},
      // PGM_FAMILY_PCF
      {{"GLENMOOR_FAMILY", {"QZ30", "QZ50P"}}, {"TERNFIELD_FAMILY", {"QZ40B", "QZ60B", "QZ10A"}}},
      // DEV_PCF
      {{"ORPHAN_PCF", {"ORPHAN_DIE"}},
       {"QZ10A", {"QZ10A_DIE"}},
       {"QZ30", {"QZ30_DIE"}},
       {"QZ60B", {"QZ60B_DIE", "QZ40B_DIE"}}},
      // DEV_FAMILY_PCF
      {{"GLENMOOR_FAMILY", {"QZ30_DIE", "ORPHAN_DIE"}},
       {"TERNFIELD_FAMILY", {"QZ60B_DIE", "QZ40B_DIE", "QZ10A_DIE"}}},
      // DEVICE_PCF_FAMILY_PCF
      {{"GLENMOOR_FAMILY", {"QZ30"}}, {"TERNFIELD_FAMILY", {"QZ60B", "QZ10A"}}},
      // FAMILY
      {{"GLENMOOR", {"QZ30"}}, {"TERNFIELD", {"QZ60B", "QZ10A"}}},
  };
}

Bytes compress(const Bytes& data) {
  Bytes out(data.size() + 64);
  unsigned int length = static_cast<unsigned int>(out.size());
  EXPECT_EQ(zlib_compress(out.data(), &length, data.data(), static_cast<unsigned int>(data.size())),
            ZLIB_OK);
  out.resize(length);
  return out;
}

// Runs each test on the crafted blob, with the trace off unless the test turns it on.
class DeviceGrammar : public ::testing::Test {
 protected:
  DeviceGrammar() {
    const Bytes image = ddb_writer::frame(ddb_writer::grammar_body(crafted_sections()));
    m_stream = compress(image);
    const pgmdev_ddb::BLOB blob{m_stream.data(), static_cast<unsigned int>(m_stream.size()),
                                static_cast<unsigned int>(image.size())};
    PGMDEV_DDB_GRAMMAR_MGR::delete_mgr();
    PGMDEV_DDB_GRAMMAR_MGR::set_blob_source(&blob);
    cfg_set_value(kTraceSwitch, "0");
  }
  ~DeviceGrammar() override {
    cfg_unset_value(kTraceSwitch);
    PGMDEV_DDB_GRAMMAR_MGR::delete_mgr();
    PGMDEV_DDB_GRAMMAR_MGR::set_blob_source(nullptr);
  }

  // What f prints on standard output.
  static std::string stdout_of(const std::function<void()>& f) {
    testing::internal::CaptureStdout();
    f();
    return testing::internal::GetCapturedStdout();
  }

  Bytes m_stream;
};

struct NameCase {
  std::function<std::string(const std::string&)> function;
  std::string name;
  std::string expected;
};

void expect_cases(const std::vector<NameCase>& cases) {
  for (const NameCase& c : cases) {
    const std::string name = c.name;
    EXPECT_EQ(c.function(name), c.expected) << "'" << c.name << "'";
    EXPECT_EQ(name, c.name) << "the caller's string changed";
  }
}

TEST_F(DeviceGrammar, PackageAndPgmNamesWithTheirFallbacks) {
  const auto package = [](bool empty) {
    return [empty](const std::string& n) { return GRAMMAR::get_package_name(n, empty); };
  };
  const auto pgm = [](bool skip, bool empty) {
    return [skip, empty](const std::string& n) { return GRAMMAR::get_pgm_name(n, skip, empty); };
  };
  expect_cases({
      {package(false), "QZ40BF256I7N", "QZ40BF256"},
      {package(false), "  qz40bf256c6n\t", "QZ40BF256"},
      {package(false), " qz40b ", "QZ40B"},  // in no list: the normalized name
      {package(true), " qz40b ", ""},
      {package(false), "", ""},
      {pgm(false, false), "QZ40BF256C6N", "QZ40B"},        // full part name, through its package
      {pgm(false, false), " qz40bu169 ", "QZ40B"},         // package name
      {pgm(true, false), "QZ40BF256C6N", "QZ40BF256C6N"},  // conversion skipped: fallback
      {pgm(true, true), "QZ40BF256C6N", ""},
      {pgm(false, false), "qz40b", "QZ40B"},  // a pgm name in no list stays itself
      {pgm(false, true), "QZ40B", ""},
      {pgm(false, true), "QZ10A", "QZ10A"},  // listed as its own package
      {pgm(false, false), "unknown", "UNKNOWN"},
      {pgm(false, false), "  ", ""},
  });
}

TEST_F(DeviceGrammar, PcfNames) {
  expect_cases({
      {GRAMMAR::get_pgm_part_pcf, "qz40b", "QZ60B"},
      {GRAMMAR::get_pgm_part_pcf, "QZ40BF256", ""},  // no pgm-name step here
      {GRAMMAR::get_pgm_family_pcf, "QZ50P", "GLENMOOR_FAMILY"},
      {GRAMMAR::get_dev_part_pcf, "QZ40B_DIE", "QZ60B"},
      {GRAMMAR::get_dev_part_pcf, "QZ40B", ""},
      {GRAMMAR::get_dev_family_pcf, " qz30_die", "GLENMOOR_FAMILY"},
      {GRAMMAR::get_pcf_family_pcf, "QZ60B", "TERNFIELD_FAMILY"},
      {GRAMMAR::get_pcf_family_pcf, "QZ40B", ""},
      {GRAMMAR::get_pcf_device, "QZ60B", "QZ60B_DIE"},  // first stored, not the smallest
      {GRAMMAR::get_pcf_device, " qz10a ", "QZ10A_DIE"},
      {GRAMMAR::get_pcf_device, "QZ60B_DIE", ""},  // an entry, not a key
      {GRAMMAR::get_pcf_device, "", ""},
  });
}

TEST_F(DeviceGrammar, BothPcfsAreAlwaysOverwritten) {
  struct Case {
    std::function<void(const std::string&, std::string&, std::string&)> function;
    std::string name;
    std::string part_pcf;
    std::string family_pcf;
  };
  const Case cases[] = {
      {GRAMMAR::get_pgm_pcfs, "QZ40BF256C6N", "QZ60B", "TERNFIELD_FAMILY"},
      {GRAMMAR::get_pgm_pcfs, "qz40bf256", "QZ60B", "TERNFIELD_FAMILY"},
      {GRAMMAR::get_pgm_pcfs, "QZ40B", "QZ60B", "TERNFIELD_FAMILY"},
      {GRAMMAR::get_pgm_pcfs, "QZ50PC6", "QZ30", "GLENMOOR_FAMILY"},
      {GRAMMAR::get_pgm_pcfs, "QZ40B_DIE", "", ""},
      {GRAMMAR::get_pgm_pcfs, "", "", ""},
      {GRAMMAR::get_dev_pcfs, "QZ40B_DIE", "QZ60B", "TERNFIELD_FAMILY"},
      {GRAMMAR::get_dev_pcfs, "ORPHAN_DIE", "ORPHAN_PCF", "GLENMOOR_FAMILY"},
      {GRAMMAR::get_dev_pcfs, "QZ40B", "", ""},  // no pgm-name step here
  };
  for (const Case& c : cases) {
    std::string part_pcf = "stale";
    std::string family_pcf = "stale";
    c.function(c.name, part_pcf, family_pcf);
    EXPECT_EQ(part_pcf, c.part_pcf) << c.name;
    EXPECT_EQ(family_pcf, c.family_pcf) << c.name;
  }
}

TEST_F(DeviceGrammar, FamilyOfPcfPgmAndDeviceNames) {
  expect_cases({
      {GRAMMAR::get_family, "QZ60B", "TERNFIELD"},    // a pcf name
      {GRAMMAR::get_family, " qz40b ", "TERNFIELD"},  // a pgm name, through its pcf
      {GRAMMAR::get_family, "QZ50P", "GLENMOOR"},
      {GRAMMAR::get_family, "QZ40B_DIE", "TERNFIELD"},  // a catalogue device name
      {GRAMMAR::get_family, "QZ40BF256C6N", ""},        // not converted first
      {GRAMMAR::get_family, "QZ40BF256", ""},
      {GRAMMAR::get_family, "ORPHAN_DIE", ""},  // its pcf has no family
      {GRAMMAR::get_family, "", ""},
  });
}

TEST_F(DeviceGrammar, HowADeviceIsNamed) {
  struct Case {
    std::string name;
    bool use_package_name;
    bool use_full_name;
  };
  const Case cases[] = {
      {"", true, false},  // both sides empty; an empty name is never a full name
      {"NOTHING", false, false},
      {"QZ10A", true, true},     // part, package and pgm name coincide
      {" qz10a ", true, true},   // normalized first
      {"QZ50PC6", true, false},  // package name is the pgm name
      {"QZ40BF256C6N", false, false},
      {"QZ30F256", false, false},  // own package, other pgm name
      {"QZ40BF256", false, false},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(GRAMMAR::use_package_name(c.name), c.use_package_name) << "'" << c.name << "'";
    EXPECT_EQ(GRAMMAR::use_full_name(c.name), c.use_full_name) << "'" << c.name << "'";
  }
}

TEST_F(DeviceGrammar, TraceBlocksOnStandardOutput) {
  EXPECT_EQ(stdout_of([] {
              GRAMMAR::get_package_name("QZ40BF256C6N", false);
              GRAMMAR::get_pgm_name("QZ40BF256C6N", false, false);
              GRAMMAR::use_full_name("QZ10A");
            }),
            "");

  cfg_set_value(kTraceSwitch, "on");
  EXPECT_EQ(stdout_of([] { GRAMMAR::get_package_name(" qz40bf256c6n ", false); }),
            "Map Flow   : Strip Speedgrade\n"
            "    Input  : QZ40BF256C6N\n"
            "    Output : QZ40BF256\n");
  EXPECT_EQ(stdout_of([] { GRAMMAR::get_package_name("QZ40B", true); }),
            "Map Flow   : Strip Speedgrade\n"
            "    Input  : QZ40B\n"
            "    Output : \n");
  EXPECT_EQ(stdout_of([] { GRAMMAR::get_pgm_name("QZ40BF256C6N", false, false); }),
            "Map Flow   : Strip Package (skip package conversion: 0)\n"
            "    Input0 : QZ40BF256C6N\n"
            "    Input1 : QZ40BF256\n"
            "    Output : QZ40B\n");
  EXPECT_EQ(stdout_of([] { GRAMMAR::get_pgm_name("qz40bf256", true, false); }),
            "Map Flow   : Strip Package (skip package conversion: 1)\n"
            "    Input0 : QZ40BF256\n"
            "    Input1 : \n"
            "    Output : QZ40B\n");

  // The composite functions print the blocks of the calls they make, in call order.
  const auto headers = [](const std::string& out) {
    std::string flows;
    for (size_t at = out.find("Map Flow"); at != std::string::npos;
         at = out.find("Map Flow", at + 1)) {
      flows += out.substr(at + 19, 5) == "Speed" ? 'S' : 'P';
    }
    return flows;
  };
  EXPECT_EQ(headers(stdout_of([] { GRAMMAR::use_package_name("QZ40BF256C6N"); })), "SP");
  EXPECT_EQ(headers(stdout_of([] { GRAMMAR::use_full_name("QZ10A"); })), "SP");
  EXPECT_EQ(headers(stdout_of([] { GRAMMAR::use_full_name("NOTHING"); })), "S");
  std::string part_pcf;
  std::string family_pcf;
  EXPECT_EQ(headers(stdout_of([&] { GRAMMAR::get_pgm_pcfs("QZ40B", part_pcf, family_pcf); })), "P");
  EXPECT_EQ(headers(stdout_of([] { GRAMMAR::get_family("QZ40B"); })), "");
}

// The named examples of the shipped grammar blob, through the exported functions.
TEST(DeviceGrammarEmbedded, NamedExamples) {
  PGMDEV_DDB_GRAMMAR_MGR::delete_mgr();
  EXPECT_EQ(GRAMMAR::get_package_name("QZ40BF256I7N", true), "QZ40BF256");
  EXPECT_EQ(GRAMMAR::get_pgm_name("qz40bf256c6n", false, true), "QZ40B");
  EXPECT_EQ(GRAMMAR::get_pgm_name("QZ40BU169", true, true), "QZ40B");
  std::string part_pcf;
  std::string family_pcf;
  GRAMMAR::get_pgm_pcfs("QZ40BF256C6N", part_pcf, family_pcf);
  EXPECT_EQ(part_pcf, "QZ60B");
  EXPECT_EQ(family_pcf, "TERNFIELD_FAMILY");
  EXPECT_EQ(GRAMMAR::get_dev_part_pcf("QZ60B_DIE"), "QZ60B");
  EXPECT_EQ(GRAMMAR::get_dev_family_pcf("QZ60B_DIE"), "TERNFIELD_FAMILY");
  EXPECT_EQ(GRAMMAR::get_pcf_device("QZ60B"), "QZ60B_DIE");
  EXPECT_EQ(GRAMMAR::get_pcf_device("QZ80C"), "QZ80C_DIE");  // first stored, not smallest
  EXPECT_EQ(GRAMMAR::get_family("QZ40B"), "TERNFIELD");
  EXPECT_EQ(GRAMMAR::get_family("QZ60B_DIE"), "TERNFIELD");
  EXPECT_FALSE(GRAMMAR::use_full_name("QZ40BF256C6N"));
  EXPECT_TRUE(GRAMMAR::use_full_name("QZ10A"));  // part, package and pgm name coincide
  EXPECT_TRUE(GRAMMAR::use_package_name("qz10a"));
}

}  // namespace
