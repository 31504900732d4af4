// pgmdev-tool's name commands, run installed, compared with the library's own answers.
#include <gtest/gtest.h>

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

}  // namespace
