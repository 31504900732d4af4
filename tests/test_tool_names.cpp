// pgmdev-tool's name commands, run installed, compared with the library's own answers.
#include <fnmatch.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "dev_catalogue.h"
#include "pgmdev.h"
#include "tool_runner.h"

namespace {

using tool_test::contains;
using tool_test::Json;
using tool_test::run_tool;
using tool_test::ToolRun;
typedef PGMDEV_DEVICE_GRAMMAR_MGR GRAMMAR;

// What the library answers for each grammar function of the name command, given a name.
Json library_result(const std::string& function, const std::string& given) {
  std::string part_pcf;
  std::string family_pcf;
  const std::map<std::string, std::function<Json()>> calls = {
      {"get_package_name", [&] { return Json(GRAMMAR::get_package_name(given, true)); }},
      {"get_pgm_name", [&] { return Json(GRAMMAR::get_pgm_name(given, false, true)); }},
      {"get_pgm_part_pcf", [&] { return Json(GRAMMAR::get_pgm_part_pcf(given)); }},
      {"get_pgm_family_pcf", [&] { return Json(GRAMMAR::get_pgm_family_pcf(given)); }},
      {"get_pgm_pcfs",
       [&] {
         GRAMMAR::get_pgm_pcfs(given, part_pcf, family_pcf);
         return Json::array({part_pcf, family_pcf});
       }},
      {"get_dev_part_pcf", [&] { return Json(GRAMMAR::get_dev_part_pcf(given)); }},
      {"get_dev_family_pcf", [&] { return Json(GRAMMAR::get_dev_family_pcf(given)); }},
      {"get_dev_pcfs",
       [&] {
         GRAMMAR::get_dev_pcfs(given, part_pcf, family_pcf);
         return Json::array({part_pcf, family_pcf});
       }},
      {"get_pcf_family_pcf", [&] { return Json(GRAMMAR::get_pcf_family_pcf(given)); }},
      {"get_pcf_device", [&] { return Json(GRAMMAR::get_pcf_device(given)); }},
      {"get_family", [&] { return Json(GRAMMAR::get_family(given)); }},
      {"use_package_name", [&] { return Json(GRAMMAR::use_package_name(given)); }},
      {"use_full_name", [&] { return Json(GRAMMAR::use_full_name(given)); }},
  };
  const auto call = calls.find(function);
  if (call == calls.end()) return "no such function: " + function;
  return call->second();
}

// The grammar row of function in a name answer.
Json row_of(const Json& answer, const std::string& function) {
  for (const Json& row : answer["grammar"]) {
    if (row["function"] == function) return row;
  }
  return nullptr;
}

TEST(ToolName, EveryGrammarRowIsTheLibrarysAnswerForTheNameItWasGiven) {
  for (const char* name : {"QZ40BF256C6N", " qz40bf256c6n ", "QZ40B", "QZ60B", "QZ60B_DIE",
                           "QZ70CF484C6N", "VX5D", "QZ10A", "TERNFIELD_FAMILY"}) {
    const ToolRun run = run_tool({"name", name, "--json"});
    EXPECT_EQ(run.status, 0) << run;
    const Json answer = run.json();
    ASSERT_TRUE(answer["grammar"].is_array()) << run;
    EXPECT_EQ(answer["grammar"].size(), 13u) << run;
    for (const Json& row : answer["grammar"]) {
      const std::string function = row["function"];
      EXPECT_EQ(row["result"], library_result(function, row["given"].get<std::string>()))
          << name << ": " << function;
    }
  }
}

// The chain of a full part name: each function is given the name that leads on (its pgm name,
// its pcf), and the person's view shows which.
TEST(ToolName, FullPartNameShowsItsWholeChain) {
  struct Row {
    const char* function;
    const char* given;
    Json result;
  };
  const Row kRows[] = {
      {"get_package_name", "QZ40BF256C6N", "QZ40BF256"},
      {"get_pgm_name", "QZ40BF256C6N", "QZ40B"},
      {"get_pgm_part_pcf", "QZ40B", "QZ60B"},
      {"get_pgm_family_pcf", "QZ40B", "TERNFIELD_FAMILY"},
      {"get_pgm_pcfs", "QZ40BF256C6N", Json::array({"QZ60B", "TERNFIELD_FAMILY"})},
      {"get_dev_part_pcf", "QZ40BF256C6N", ""},
      {"get_dev_pcfs", "QZ40BF256C6N", Json::array({"", ""})},
      {"get_pcf_device", "QZ60B", "QZ60B_DIE"},
      {"get_family", "QZ40B", "TERNFIELD"},
      {"use_package_name", "QZ40BF256C6N", false},
      {"use_full_name", "QZ40BF256C6N", false},
  };
  const ToolRun json = run_tool({"name", " qz40bf256c6n ", "--json"});
  ASSERT_EQ(json.status, 0) << json;
  const ToolRun person = run_tool({"name", " qz40bf256c6n "});
  ASSERT_EQ(person.status, 0) << person;
  EXPECT_EQ(json.json()["name"], "QZ40BF256C6N");
  for (const Row& row : kRows) {
    const Json got = row_of(json.json(), row.function);
    EXPECT_EQ(got["given"], row.given) << row.function;
    EXPECT_EQ(got["result"], row.result) << row.function;
  }
  for (const char* line :
       {"get_pgm_part_pcf    QZ40B         QZ60B\n",
        "get_pcf_device      QZ60B         QZ60B_DIE\n", "get_dev_pcfs        QZ40BF256C6N  -, -\n",
        "use_full_name       QZ40BF256C6N  FALSE\n"}) {
    EXPECT_TRUE(contains(person.out, line)) << line << "\n" << person;
  }
}

// The catalogue part a name stands for, with the part's own device and the numbers that belong
// to it, as the library gives them.
TEST(ToolName, CataloguePartDeviceRecordOrdinalAndHash) {
  const std::unique_ptr<PGMDEV_DEV_INFO_MANAGER> dev_info =
      std::make_unique<PGMDEV_DEV_INFO_MANAGER>(false, 0);
  struct Case {
    const char* name;
    const char* part;  // "" when no part matches
    const char* device;
    const char* opn_hash;  // as the person's view shows it; "" for none
  };
  const Case kCases[] = {
      {" qz40b ", "QZ40BF256C6N", "QZ60B_DIE", "0x47A8E88CDB38"},
      {"QZ70CF484C6N", "QZ70CF484C6N", "QZ70C_DIE", "0xD6DCF3E87721"},
      {"QB15AM100C6N", "QB15AM100C6N", nullptr, nullptr},
      {"VX5D", "", nullptr, nullptr},
  };
  for (const Case& c : kCases) {
    const ToolRun run = run_tool({"name", c.name, "--json"});
    ASSERT_EQ(run.status, 0) << run;
    const Json catalogue = run.json()["catalogue"];
    if (*c.part == '\0') {
      EXPECT_TRUE(catalogue.is_null()) << run;
      continue;
    }
    const DEV_PART_ENUM part = dstr_get_dev_part_enum_by_string(c.part);
    const DEV_DEVICE_ENUM device = DEV_PART_MANAGER().get_device_of(part);
    EXPECT_EQ(catalogue["part"], c.part) << run;
    EXPECT_EQ(catalogue["part_number"], static_cast<int>(part)) << run;
    EXPECT_EQ(catalogue["device"], dstr_get_user_string(device)) << run;
    if (c.device != nullptr) {
      EXPECT_EQ(catalogue["device"], c.device) << run;
    }
    EXPECT_EQ(catalogue["family"], dstr_get_user_string(DEV_PART_MANAGER().get_family_of(device)));
    const std::unique_ptr<PGMDEV_DEV_INFO_RECORD> record(dev_info->get_db_by_part(part));
    ASSERT_NE(record, nullptr);
    EXPECT_EQ(catalogue["dev_info_record"], dev_info->m_index) << run;
    const unsigned int ordinal = PGMDEV_MGR::get_opn_enum(c.part);
    if (ordinal == 0xFFFFFFFFu) {
      EXPECT_TRUE(catalogue["opn_ordinal"].is_null()) << run;
    } else {
      EXPECT_EQ(catalogue["opn_ordinal"], ordinal) << run;
    }
    EXPECT_EQ(catalogue["opn_hash"], PGMDEV_MGR::get_opn_hash(c.part)) << run;
    if (c.opn_hash != nullptr) {
      const ToolRun person = run_tool({"name", c.name});
      EXPECT_TRUE(contains(person.out, std::string("opn_hash        : ") + c.opn_hash + "\n"))
          << person;
    }
  }
}

// A name that nothing resolves exits 1 with the closest known names, nearest first, on both
// outputs.
TEST(ToolName, UnknownNameExitsOneWithTheClosestKnownNames) {
  struct Case {
    const char* name;
    std::vector<std::string> first;  // the leading suggestions, in order
  };
  const Case kCases[] = {
      {"QZ4OBF256C6N", {"QZ40BF256C6N"}},  // letter O for the digit 0
      {" qz4obf256c6n ", {"QZ40BF256C6N"}},
      {"QZ04BF256C6N", {"QZ40BF256C6N"}},  // two digits
                                           // swapped
      {"TERNFEILD", {"TERNFIELD"}},
      {"QZ60B_DEI", {"QZ60B_DIE"}},
      {"FOOBAR", {}},
  };
  for (const Case& c : kCases) {
    const ToolRun run = run_tool({"name", c.name, "--json"});
    EXPECT_EQ(run.status, 1) << run;
    const Json answer = run.json();
    EXPECT_EQ(answer["found"], false) << run;
    ASSERT_TRUE(answer["suggestions"].is_array()) << run;
    EXPECT_LE(answer["suggestions"].size(), 5u) << run;
    ASSERT_GE(answer["suggestions"].size(), c.first.size()) << run;
    for (std::size_t i = 0; i < c.first.size(); ++i) {
      EXPECT_EQ(answer["suggestions"][i]["name"], c.first[i]) << run;
    }
    const std::string message =
        "no device name '" + answer["name"].get<std::string>() + "' is known";
    EXPECT_TRUE(contains(run.err, message)) << run;
    if (!c.first.empty()) {
      EXPECT_TRUE(contains(run.err, "closest known names: " + c.first.front())) << run;
    }
  }
  const ToolRun person = run_tool({"name", "QZ4OBF256C6N"});
  EXPECT_EQ(person.status, 1) << person;
  EXPECT_TRUE(contains(person.out, "suggestions:\n  name           distance\n  QZ40BF256C6N   1\n"))
      << person;
}

// A family name resolves to its family: its pcf names, devices and parts.
TEST(ToolName, FamilyNameShowsItsFamily) {
  DEV_FAMILY_ENUM ternfield = DEV_FAMILY_INVALID;
  for (int family = 1; family < DEV_FAMILY_MAX; ++family) {
    if (dstr_get_family_identifier(DEV_FAMILY_ENUM(family)) == "TERNFIELD") {
      ternfield = DEV_FAMILY_ENUM(family);
    }
  }
  ASSERT_NE(ternfield, DEV_FAMILY_INVALID);
  int devices = 0;
  const DEV_PART_MANAGER catalogue;
  for (int device = 1; device < DEV_DEVICE_MAX; ++device) {
    if (catalogue.get_family_of(static_cast<DEV_DEVICE_ENUM>(device)) == ternfield) ++devices;
  }
  for (const char* name : {"Ternfield", "TERNFIELD"}) {
    const ToolRun run = run_tool({"name", name, "--json"});
    ASSERT_EQ(run.status, 0) << run;
    const Json family = run.json()["family"];
    EXPECT_EQ(family["family"], dstr_get_user_string(ternfield)) << run;
    EXPECT_EQ(family["family_number"], static_cast<int>(ternfield)) << run;
    EXPECT_EQ(family["identifier"], "TERNFIELD") << run;
    EXPECT_EQ(family["pcfs"], Json(GRAMMAR::get_family_pcfs("TERNFIELD"))) << run;
    EXPECT_FALSE(family["pcfs"].empty()) << run;
    EXPECT_EQ(family["device_count"], devices) << run;
    EXPECT_EQ(run.json()["kinds"], Json::array({"family name"})) << run;
  }
}

// ---- OPN

TEST(ToolOpn, OrdinalAndHashOfAPartAndBack) {
  for (const char* part : {"QZ40BF256C6N", "QZ70CF484C6N", "QB15AM100C6N"}) {
    const unsigned int ordinal = PGMDEV_MGR::get_opn_enum(part);
    const unsigned long long hash = PGMDEV_MGR::get_opn_hash(part);
    ASSERT_NE(hash, 0xFFFFFFFFFFFFFFFFull) << part;
    const ToolRun run = run_tool({"opn", part, "--json"});
    ASSERT_EQ(run.status, 0) << run;
    EXPECT_EQ(run.json()["part"], part);
    EXPECT_EQ(run.json()["opn_hash"], hash) << run;
    if (ordinal == 0xFFFFFFFFu) {
      EXPECT_TRUE(run.json()["opn_ordinal"].is_null()) << run;
    } else {
      EXPECT_EQ(run.json()["opn_ordinal"], ordinal) << run;
      const ToolRun back = run_tool({"opn", "--ordinal", std::to_string(ordinal), "--json"});
      EXPECT_EQ(back.status, 0) << back;
      EXPECT_EQ(back.json()["part"], PGMDEV_MGR::get_opn(ordinal)) << back;
    }
    char hex[32];
    std::snprintf(hex, sizeof hex, "0x%llx", hash);
    // The hash in hexadecimal, in decimal, and with the 16 upper bits (which are ignored) set.
    char upper[32];
    std::snprintf(upper, sizeof upper, "0x%llx", hash | 0xABCD000000000000ull);
    for (const std::string& text : {std::string(hex), std::to_string(hash), std::string(upper)}) {
      const ToolRun back = run_tool({"opn", "--hash", text, "--json"});
      EXPECT_EQ(back.status, 0) << back;
      EXPECT_EQ(back.json()["part"], PGMDEV_MGR::get_opn_from_hash(hash)) << back;
      EXPECT_EQ(back.json()["part"], part) << back;
      EXPECT_EQ(contains(back.err, "the upper 16 bits"), text == upper) << back;
    }
  }
}

TEST(ToolOpn, MissesAndBadNumbers) {
  struct Case {
    std::vector<std::string> arguments;
    int status;
    const char* message;
  };
  const Case kCases[] = {
      {{"opn", "QZ4OBF256C6N"},
       1,
       "QZ4OBF256C6N is no catalogue part; closest known names: QZ40BF256C6N"},
      {{"opn", "--ordinal", "4000000000"}, 1, "no part has OPN ordinal 4000000000"},
      {{"opn", "--hash", "0x1"}, 1, "no part has OPN hash 0x01"},
      {{"opn", "--hash", "zz"}, 1, "hash 'zz' is not a number"},
      {{"opn", "--ordinal", "-1"}, 1, "ordinal '-1' is not a number"},
      {{"opn", "--ordinal", "99999999999"}, 1, "ordinal '99999999999' is not a number"},
      {{"opn"}, 2, "opn needs a NAME, --ordinal N or --hash H"},
      {{"opn", "X", "--hash", "1"}, 2, "excludes"},
  };
  for (const Case& c : kCases) {
    const ToolRun run = run_tool(c.arguments);
    EXPECT_EQ(run.status, c.status) << run;
    EXPECT_TRUE(contains(run.err, c.message)) << c.message << "\n" << run;
  }
}

// ---- parts and families

TEST(ToolParts, FiltersChooseThePartsTheCatalogueLists) {
  const DEV_PART_MANAGER catalogue;
  // Without filters: every part that is no obsolete one, in part-number order.
  std::vector<int> listed;
  for (const bool production : {true, false}) {
    for (const bool commercial : {true, false}) {
      std::vector<DEV_PART_ENUM> parts;
      catalogue.filter_part_list(&parts, "ANY", "ANY", "ANY", "ANY", "ANY", production, commercial,
                                 false, "any");
      listed.insert(listed.end(), parts.begin(), parts.end());
    }
  }
  std::sort(listed.begin(), listed.end());
  const ToolRun all = run_tool({"parts", "--json"});
  ASSERT_EQ(all.status, 0);
  const Json rows = all.json();
  ASSERT_EQ(rows.size(), listed.size());
  for (std::size_t i = 0; i < listed.size(); ++i) {
    const Json& row = rows[i];
    const DEV_PART_ENUM part = DEV_PART_ENUM(listed[i]);
    ASSERT_EQ(row["number"], listed[i]);
    EXPECT_EQ(row["part"], dstr_get_user_string(part));
    EXPECT_EQ(row["device"], dstr_get_user_string(catalogue.get_device_of(part)));
    EXPECT_NE(row["stage"], "obsolete");
  }

  struct Case {
    std::vector<std::string> arguments;
    std::function<bool(const Json&)> holds;  // for every row
    const char* what;
  };
  const Case kCases[] = {
      {{"--production", "yes"},
       [](const Json& row) { return row["stage"] == "production"; },
       "production only"},
      {{"--production", "no"},
       [](const Json& row) { return row["stage"] == "sample"; },
       "samples only"},
      {{"--commercial", "yes"},
       [](const Json& row) { return row["grade"] == "commercial"; },
       "commercial grade"},
      {{"--commercial", "no"},
       [](const Json& row) { return row["grade"] == "other"; },
       "other grades"},
      {{"--family", "ternfield"},
       [](const Json& row) { return row["family"] == "Ternfield"; },
       "family by name"},
      {{"--pattern", "qz40b*c6n"},
       [](const Json& row) {
         return fnmatch("QZ40B*C6N", row["part"].get<std::string>().c_str(), 0) == 0;
       },
       "pattern, any case"},
      {{"--pcf", "qz60b"}, [](const Json& row) { return row["pcf"] == "QZ60B"; }, "pcf"},
  };
  for (const Case& c : kCases) {
    std::vector<std::string> arguments = {"parts"};
    arguments.insert(arguments.end(), c.arguments.begin(), c.arguments.end());
    arguments.push_back("--json");
    const ToolRun run = run_tool(arguments);
    ASSERT_EQ(run.status, 0) << c.what << "\n" << run;
    EXPECT_FALSE(run.json().empty()) << c.what;
    EXPECT_LT(run.json().size(), listed.size()) << c.what;
    for (const Json& row : run.json()) EXPECT_TRUE(c.holds(row)) << c.what << ": " << row;
  }
  // The commercial grade is the temperature grade C.
  EXPECT_EQ(run_tool({"parts", "--commercial", "yes", "--json"}).json(),
            run_tool({"parts", "--temperature", "c", "--json"}).json());
  // Obsolete parts come in on request only.
  const ToolRun obsolete = run_tool({"parts", "--obsolete", "--json"});
  std::size_t obsolete_rows = 0;
  for (const Json& row : obsolete.json()) obsolete_rows += row["stage"] == "obsolete" ? 1 : 0;
  EXPECT_GT(obsolete_rows, 0u);
  EXPECT_EQ(obsolete.json().size(), listed.size() + obsolete_rows);

  const ToolRun none = run_tool({"parts", "--pattern", "NOTHING*"});
  EXPECT_EQ(none.status, 1) << none;
  EXPECT_TRUE(contains(none.err, "no catalogue part matches these filters")) << none;
  EXPECT_EQ(run_tool({"parts", "--production", "maybe"}).status, 2);
}

TEST(ToolParts, FamiliesWithTheirCounts) {
  const DEV_PART_MANAGER catalogue;
  const ToolRun run = run_tool({"families", "--json"});
  ASSERT_EQ(run.status, 0) << run;
  ASSERT_EQ(run.json().size(), static_cast<std::size_t>(DEV_FAMILY_MAX - 1));
  for (const Json& row : run.json()) {
    const DEV_FAMILY_ENUM family = DEV_FAMILY_ENUM(row["number"].get<int>());
    int devices = 0;
    for (int device = 1; device < DEV_DEVICE_MAX; ++device) {
      devices += catalogue.get_family_of(DEV_DEVICE_ENUM(device)) == family ? 1 : 0;
    }
    EXPECT_EQ(row["family"], dstr_get_user_string(family));
    EXPECT_EQ(row["identifier"], dstr_get_family_identifier(family));
    EXPECT_EQ(row["devices"], devices) << row;
    EXPECT_EQ(row["pcfs"], GRAMMAR::get_family_pcfs(dstr_get_family_identifier(family)).size());
  }
}

// ---- the part-name searches and the programming-type checks

TEST(ToolPartNames, TheLibrarysSearchesAndTheirMisses) {
  struct Case {
    std::vector<std::string> arguments;
    int status;
    Json part;            // the answer's part (null for none)
    const char* message;  // on standard error, or ""
  };
  const Case kCases[] = {
      {{"full-name", "qz40b"}, 0, PGMDEV_MGR::get_possible_full_name("QZ40B"), ""},
      {{"full-name", "QZ40BF256"}, 0, PGMDEV_MGR::get_possible_full_name("QZ40BF256"), ""},
      {{"full-name", "QZ4OB"}, 1, nullptr, "closest known names: QZ40B"},
      {{"part-from-pcf", "qz10a"}, 0, PGMDEV_MGR::get_part_name_from_pcf("QZ10A"), ""},
      {{"part-from-pcf", "QZ60B"}, 1, nullptr, "no catalogue part of the first pass"},
      {{"part-from-dev", "qz60b_die"}, 0, PGMDEV_MGR::get_part_name_from_dev("QZ60B_DIE"), ""},
      {{"part-from-dev", "QZ60B_DEI"}, 1, nullptr, "closest known names: QZ60B_DIE"},
  };
  for (const Case& c : kCases) {
    std::vector<std::string> arguments = c.arguments;
    arguments.push_back("--json");
    const ToolRun run = run_tool(arguments);
    EXPECT_EQ(run.status, c.status) << run;
    if (c.status == 0) {
      EXPECT_EQ(run.json()["part"], c.part) << run;
      EXPECT_FALSE(c.part.get<std::string>().empty());
    }
    EXPECT_TRUE(contains(run.err, c.message)) << c.message << "\n" << run;
  }
}

TEST(ToolProgType, ChecksOfNamesAndNumbers) {
  struct Case {
    std::vector<std::string> arguments;
    int status;
    Json name;
    Json number;
  };
  const Case kCases[] = {
      {{"flash-block", "cfm0"}, 0, "cfm0", 5},
      {{"flash-block", "cfm0 "}, 1, "cfm0 ", nullptr},  // no blank is removed
      {{"icb", ""}, 0, "", 0},                          // the empty name is entry 0
      {{"icb", "0"}, 1, nullptr, 0},                    // the number 0 never is
      {{"rba", "75"}, 0, "TR_Q9_AR", 75},
      {{"rba", "76"}, 1, nullptr, 76},
      {{"bitasm-generic", "20"}, 0, "HPS_DAP_SPLIT_MODE_USE_HPS_PINS", 20},
  };
  for (const Case& c : kCases) {
    std::vector<std::string> arguments = {"prog-type"};
    arguments.insert(arguments.end(), c.arguments.begin(), c.arguments.end());
    arguments.push_back("--json");
    const ToolRun run = run_tool(arguments);
    EXPECT_EQ(run.status, c.status) << run;
    EXPECT_EQ(run.json()["supported"], c.status == 0) << run;
    EXPECT_EQ(run.json()["name"], c.name) << run;
    EXPECT_EQ(run.json()["number"], c.number) << run;
  }
  // Without a value: every supported member, as the number check gives it.
  const struct {
    const char* type;
    PGM_ENUM_TYPE library;
    std::size_t count;
  } kLists[] = {{"rba", PGM_ENUM_TYPE_RBA, 75},
                {"flash-block", PGM_ENUM_TYPE_FLASH_BLOCK, 8},
                {"icb", PGM_ENUM_TYPE_ICB, 42},
                {"bitasm-generic", PGM_ENUM_TYPE_BITASM_GENERIC, 20}};
  for (const auto& list : kLists) {
    const ToolRun run = run_tool({"prog-type", list.type, "--json"});
    ASSERT_EQ(run.status, 0) << run;
    ASSERT_EQ(run.json().size(), list.count) << run;
    for (const Json& row : run.json()) {
      std::string name;
      ASSERT_TRUE(PGMDEV_MGR::pgm_check_type_enum_supported(list.library, row["number"], &name));
      EXPECT_EQ(row["name"], name);
    }
  }
  EXPECT_EQ(run_tool({"prog-type", "nonsense", "X"}).status, 2);
}

}  // namespace
