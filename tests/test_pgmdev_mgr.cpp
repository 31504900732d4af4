// Part names, OPNs and programming-type checks of PGMDEV_MGR over the shipped catalogue and name
// databases (docs/catalogue.md lists the names relied on here); the name command's part lines.
#include <gtest/gtest.h>

#include <cctype>
#include <cstdio>
#include <functional>
#include <set>
#include <string>
#include <unordered_map>
#include <vector>

#include "cfg.h"
#include "dev_catalogue.h"
#include "msg.h"
#include "pgmdev_ddb_mgr.h"
#include "pgmdev_device_grammar_mgr.h"
#include "pgmdev_internal_error.h"
#include "pgmdev_mgr.h"

namespace {

typedef PGMDEV_DEVICE_GRAMMAR_MGR GRAMMAR;

constexpr char kSourceFile[] = "pgm/pgmdev/pgmdev_mgr.cpp";
constexpr char kTraceSwitch[] = "PGMDEV_ENABLE_GRAMMAR_DEBUG";
constexpr unsigned int kNoOpnEnum = 0xFFFFFFFF;
constexpr unsigned long long kNoOpnHash = 0xFFFFFFFFFFFFFFFFull;
constexpr unsigned long long kHashLimit = 1ull << 48;

std::string failure_of(const std::function<void()>& f) { return internal_error_of(f, kSourceFile); }

std::string upper(std::string text) {
  for (char& c : text) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return text;
}

// The catalogue parts in the order of the catalogue walk, with their names.
std::vector<std::string> walk_part_names() {
  std::vector<std::string> names;
  for (int part = DEV_PART_INVALID + 1; part != DEV_PART_GENERIC && part < DEV_PART_MAX; ++part) {
    names.push_back(dstr_get_user_string(static_cast<DEV_PART_ENUM>(part)));
  }
  return names;
}

// ---- Part name from pcf and from device ----

TEST(PartNameFromPcf, PassRules) {
  struct Case {
    const char* pcf;
    const char* expected;
    const char* why;
  };
  const Case kCases[] = {
      {"QZ10A", "QZ12A", "matches in passes 0 and 2: the first match of pass 2"},
      {"qz10a", "QZ12A", "the pcf name in any letter case"},
      {"QZ170A", "QZ175C", "matches in pass 0 only: its first match, not the later QZ9B"},
      {"QZ14A", "", "no match in pass 0 ends the search, though passes 1 and 2 match"},
      {"QZ60B", "", "its parts are named by full part names, not by pgm names"},
      {" QZ10A", "", "the pcf name is not trimmed"},
      {"NO_SUCH_PCF", "", "a pcf name that no part reaches"},
  };
  for (const Case& c : kCases) {
    EXPECT_EQ(PGMDEV_MGR::get_part_name_from_pcf(c.pcf), c.expected) << c.pcf << ": " << c.why;
  }
}

TEST(PartNameFromDev, FirstPassWithAPartOfTheDevice) {
  struct Case {
    const char* device;
    const char* expected;
    const char* why;
  };
  const Case kCases[] = {
      {"QZ60B_DIE", "QZ40BF256C6N", "the device's first part in pass 0"},
      {"QZ20C_DIE", "QZ20CF256I7N", "found in pass 1; pass 3 lists QZ20CF256I7S"},
      {"QZ14A_DIE", "QZ14A", "pass 1 before the commercial sample QZ16A of pass 2"},
      {"QZ240H_DIE", "", "a device without parts"},
      {"GENERIC_DIE", "", "the generic family lists no part"},
  };
  for (const Case& c : kCases) {
    EXPECT_EQ(PGMDEV_MGR::get_part_name_from_dev(c.device), c.expected)
        << c.device << ": " << c.why;
  }
  // Device names are matched exactly, so a lower-case name is unknown too.
  for (const char* device : {"NO_SUCH_DIE", "qz60b_die", ""}) {
    EXPECT_EQ(failure_of([&] { PGMDEV_MGR::get_part_name_from_dev(device); }),
              "Device is not valid in DEV database")
        << device;
  }
}

// ---- Full name completion ----

TEST(PossibleFullName, NamedCases) {
  struct Case {
    const char* name;
    const char* expected;
    const char* why;
  };
  const Case kCases[] = {
      {"QZ40BF256C6N", "QZ40BF256C6N", "a full part name is itself"},
      {"qz40bf256c6n", "QZ40BF256C6N", "upper-cased"},
      {"QZ40BF256I7N", "QZ40BF256I7N", "itself, though a part before it shares its package"},
      {"QZ40B", "QZ40BF256C6N", "a pgm name: the first part that has it"},
      {"QZ40BF256", "QZ40BF256C6N", "a package name: the first part that has it"},
      {"QZ40BU169", "QZ40BU169C6N", "the second package of the same pgm name"},
      {"QZ60B", "QZ60BF256C6N", "a pgm name that is also its pcf name"},
      {"QZ10A", "QZ10A", "a five-character name that is part, package and pgm name"},
      {"qz9b", "QZ9B", "a four-character name that is a part"},
  };
  for (const Case& c : kCases) {
    EXPECT_EQ(PGMDEV_MGR::get_possible_full_name(c.name), c.expected) << c.name << ": " << c.why;
  }

  struct Miss {
    const char* name;
    const char* why;
  };
  const Miss kMisses[] = {
      {"vx5d", "a four-character pgm name matches only exactly"},
      {" QZ40B", "not trimmed, so it shares no prefix with QZ40B's parts"},
      {"QZ40BU169C6N-T", "an ordering variant is no catalogue part"},
      {"", "the empty name"},
  };
  for (const Miss& m : kMisses) {
    EXPECT_EQ(failure_of([&] { PGMDEV_MGR::get_possible_full_name(m.name); }),
              "Unable to retrieve full device name from database for " + upper(m.name))
        << m.name << ": " << m.why;
  }
}

// The completion of every name of the catalogue and the grammar, against the first part in walk
// order that the name matches: exactly, or (both at least five characters long with the same first
// five) as its package or pgm name.
TEST(PossibleFullName, AgreesWithTheCatalogueWalkOnEveryKnownName) {
  std::unordered_map<std::string, std::string> first_part;
  const std::vector<std::string> parts = walk_part_names();
  for (const std::string& part : parts) {
    const std::string candidate = upper(part);
    first_part.emplace(candidate, candidate);
    if (candidate.size() < 5) continue;
    for (const std::string& name : {GRAMMAR::get_package_name(candidate, false),
                                    GRAMMAR::get_pgm_name(candidate, false, false)}) {
      if (name.size() >= 5 && name.compare(0, 5, candidate, 0, 5) == 0) {
        first_part.emplace(name, candidate);
      }
    }
  }

  std::set<std::string> names(parts.begin(), parts.end());
  PGMDEV_DDB_GRAMMAR_MGR* grammar = PGMDEV_DDB_GRAMMAR_MGR::get_mgr();
  for (const auto type :
       {PGMDEV_DDB_GRAMMAR_MGR::PACKAGE_GRAMMAR, PGMDEV_DDB_GRAMMAR_MGR::PGM_GRAMMAR}) {
    for (const auto& [key, list] : *grammar->get_map(type)) {
      names.insert(key);
      names.insert(list.begin(), list.end());
    }
  }
  size_t misses = 0;
  for (const std::string& name : names) {
    const auto found = first_part.find(name);
    if (found != first_part.end()) {
      EXPECT_EQ(PGMDEV_MGR::get_possible_full_name(name), found->second) << name;
    } else {
      ++misses;
      EXPECT_NE(failure_of([&] { PGMDEV_MGR::get_possible_full_name(name); }), "") << name;
    }
  }
  // Ordering variants and four-character pgm names are among the names that match no part.
  EXPECT_GT(misses, 0u);
  EXPECT_LT(misses, names.size() / 2);
}

// With the grammar trace on, only candidates that share the name's first five characters reach the
// grammar, in walk order, up to the one that matches.
TEST(PossibleFullName, OnlyPrefixCandidatesReachTheGrammar) {
  struct Case {
    const char* name;
    std::vector<std::string> traced;  // the Input and Input0 lines, in order
  };
  const Case kCases[] = {
      {"QZ40BU169",
       {"QZ40BF256C6N", "QZ40BF256C6N", "QZ40BF256I7N", "QZ40BF256I7N", "QZ40BU169C6N"}},
      {"QZ40BF256C6N", {}},  // the first part: an exact match asks nothing
      {"QZ9B", {}},          // a short name is compared only exactly
  };
  cfg_set_value(kTraceSwitch, "on");
  for (const Case& c : kCases) {
    testing::internal::CaptureStdout();
    PGMDEV_MGR::get_possible_full_name(c.name);
    const std::string out = testing::internal::GetCapturedStdout();
    std::vector<std::string> traced;
    size_t start = 0;
    for (size_t end; (end = out.find('\n', start)) != std::string::npos; start = end + 1) {
      const std::string line = out.substr(start, end - start);
      for (const char* label : {"    Input  : ", "    Input0 : "}) {
        if (line.rfind(label, 0) == 0) traced.push_back(line.substr(13));
      }
    }
    EXPECT_EQ(traced, c.traced) << c.name << "\n" << out;
  }
  cfg_unset_value(kTraceSwitch);
}

// ---- OPN ordinal and hash ----

TEST(Opn, OrdinalOfPartName) {
  const unsigned int ordinal = PGMDEV_MGR::get_opn_enum("QZ40BF256C6N");
  ASSERT_NE(ordinal, kNoOpnEnum);
  EXPECT_EQ(PGMDEV_MGR::get_opn(ordinal), "QZ40BF256C6N");

  struct Case {
    const char* name;
    unsigned int expected;
    const char* why;
  };
  const Case kCases[] = {
      {"qz40bf256c6n", ordinal, "the catalogue accepts either letter case"},
      {"QB15AM100C6N", kNoOpnEnum, "a part of a family outside the OPN table"},
      {"QZ40BU169C6N-T", kNoOpnEnum, "an ordering variant is no catalogue part"},
      {"GENERIC", kNoOpnEnum, "the generic part is not usable"},
      {"", kNoOpnEnum, "no name"},
  };
  for (const Case& c : kCases) {
    EXPECT_EQ(PGMDEV_MGR::get_opn_enum(c.name), c.expected) << c.name << ": " << c.why;
  }
}

TEST(Opn, NameOfOrdinal) {
  const std::vector<unsigned int>& table = *PGMDEV_DDB_OPN_MGR::get_mgr()->M_MAP;
  ASSERT_FALSE(table.empty());
  unsigned int zero = kNoOpnEnum;
  size_t parts = 0;
  for (unsigned int position = 0; position < table.size(); ++position) {
    if (table[position] == 0) {
      if (zero == kNoOpnEnum) zero = position;
      continue;
    }
    // Every part of the table, there and back.
    const std::string name = dstr_get_user_string(static_cast<DEV_PART_ENUM>(table[position]));
    EXPECT_EQ(PGMDEV_MGR::get_opn(position), upper(name)) << position;
    EXPECT_EQ(PGMDEV_MGR::get_opn_enum(name), position) << name;
    ++parts;
  }
  EXPECT_GT(parts, 0u);
  ASSERT_NE(zero, kNoOpnEnum);
  EXPECT_EQ(PGMDEV_MGR::get_opn(zero), "") << "an ordinal of no catalogue part";
  const unsigned int size = static_cast<unsigned int>(table.size());
  EXPECT_EQ(PGMDEV_MGR::get_opn(size), "") << "the first ordinal past the end";
  EXPECT_EQ(PGMDEV_MGR::get_opn(kNoOpnEnum), "");
}

TEST(Opn, HashOfPartName) {
  struct Case {
    const char* name;
    unsigned long long expected;
    const char* why;
  };
  // First six bytes, least significant first, of SHA-256("QZ40BF256C6N") and SHA-256("QZ10A").
  const Case kCases[] = {
      {"QZ40BF256C6N", 0x47a8e88cdb38ull, "check vector"},
      {"qz40bf256c6n", 0x47a8e88cdb38ull, "the digest is of the upper-cased name"},
      {"QZ10A", 0xf57a1169ba47ull, "check vector"},
      {"QB15AM100C6N", PGMDEV_MGR::get_opn_hash("qb15am100c6n"), "no OPN ordinal needed"},
      {"QZ40BU169C6N-T", kNoOpnHash, "an ordering variant is no catalogue part"},
      {"GENERIC", kNoOpnHash, "the generic part is not usable"},
      {"", kNoOpnHash, "no name"},
  };
  for (const Case& c : kCases) {
    EXPECT_EQ(PGMDEV_MGR::get_opn_hash(c.name), c.expected) << c.name << ": " << c.why;
  }
  EXPECT_NE(PGMDEV_MGR::get_opn_hash("QB15AM100C6N"), kNoOpnHash);
}

TEST(Opn, PartNameOfHash) {
  const unsigned long long hash = 0x47a8e88cdb38ull;
  struct Case {
    unsigned long long hash;
    const char* expected;
    const char* why;
  };
  const Case kCases[] = {
      {hash, "QZ40BF256C6N", "the upper-case catalogue name"},
      {hash | (0x1234ull << 48), "QZ40BF256C6N", "the upper 16 bits are ignored"},
      {hash | (0xFFFFull << 48), "QZ40BF256C6N", "all of them"},
      {kNoOpnHash, "", "the no-hash value"},
  };
  for (const Case& c : kCases) {
    EXPECT_EQ(PGMDEV_MGR::get_opn_from_hash(c.hash), c.expected)
        << std::hex << c.hash << ": " << c.why;
  }
}

// Every part's hash is a 48-bit value that leads back to the part's upper-case name.
TEST(Opn, EveryPartHashLeadsBackToThePart) {
  std::set<unsigned long long> hashes;
  const std::vector<std::string> parts = walk_part_names();
  for (const std::string& part : parts) {
    const unsigned long long hash = PGMDEV_MGR::get_opn_hash(part);
    ASSERT_LT(hash, kHashLimit) << part;
    hashes.insert(hash);
    EXPECT_EQ(PGMDEV_MGR::get_opn_from_hash(hash), upper(part)) << part;
  }
  // No two names of the catalogue share a hash, so each lookup above had one answer.
  EXPECT_EQ(hashes.size(), parts.size());
  unsigned long long unused = 0;
  while (hashes.count(unused) != 0) ++unused;
  EXPECT_EQ(PGMDEV_MGR::get_opn_from_hash(unused), "");
}

// ---- Programming-type checks ----

TEST(TypeCheck, NameSupported) {
  constexpr unsigned int kUntouched = 777;
  struct Case {
    PGM_ENUM_TYPE type;
    const char* name;
    bool supported;
    unsigned int index;  // kUntouched when the check fails
  };
  const Case kCases[] = {
      {PGM_ENUM_TYPE_FLASH_BLOCK, "cfm0", true, 5},
      {PGM_ENUM_TYPE_FLASH_BLOCK, "CFM0 ", false, kUntouched},    // not trimmed
      {PGM_ENUM_TYPE_FLASH_BLOCK, "CC_CS_0", false, kUntouched},  // another table's name
      {PGM_ENUM_TYPE_ICB, "", true, 0},                           // entry 0 is a name too
      {PGM_ENUM_TYPE_ICB, "Cisco_Ru", true, 42},
      {PGM_ENUM_TYPE_RBA, "CC_CS_0", true, 1},
      {PGM_ENUM_TYPE_RBA, "tr_q9_ar", true, 75},
      {PGM_ENUM_TYPE_BITASM_GENERIC, "HPS_DAP_SPLIT_MODE_USE_HPS_PINS", true, 20},
      {PGM_ENUM_TYPE_BITASM_GENERIC, "HPS_DAP_SPLIT_MODE", false, kUntouched},
  };
  for (const Case& c : kCases) {
    unsigned int index = kUntouched;
    EXPECT_EQ(PGMDEV_MGR::pgm_check_type_name_supported(c.type, c.name, &index), c.supported)
        << c.type << " '" << c.name << "'";
    EXPECT_EQ(index, c.index) << c.type << " '" << c.name << "'";
    EXPECT_EQ(PGMDEV_MGR::pgm_check_type_name_supported(c.type, c.name, nullptr), c.supported);
  }
}

TEST(TypeCheck, EnumSupported) {
  const std::string kUntouched = "untouched";
  struct Case {
    PGM_ENUM_TYPE type;
    unsigned int value;
    const char* name;  // null when not supported
  };
  const Case kCases[] = {
      {PGM_ENUM_TYPE_RBA, 0, nullptr},  // entry 0 is never a member
      {PGM_ENUM_TYPE_RBA, 75, "TR_Q9_AR"},
      {PGM_ENUM_TYPE_RBA, 76, nullptr},
      {PGM_ENUM_TYPE_FLASH_BLOCK, 8, "DONE_BITS"},
      {PGM_ENUM_TYPE_FLASH_BLOCK, 9, nullptr},
      {PGM_ENUM_TYPE_ICB, 0, nullptr},
      {PGM_ENUM_TYPE_ICB, 42, "CISCO_RU"},
      {PGM_ENUM_TYPE_ICB, 43, nullptr},
      {PGM_ENUM_TYPE_BITASM_GENERIC, 20, "HPS_DAP_SPLIT_MODE_USE_HPS_PINS"},
      {PGM_ENUM_TYPE_BITASM_GENERIC, 21, nullptr},
      {PGM_ENUM_TYPE_BITASM_GENERIC, 0xFFFFFFFF, nullptr},
  };
  for (const Case& c : kCases) {
    std::string name = kUntouched;
    EXPECT_EQ(PGMDEV_MGR::pgm_check_type_enum_supported(c.type, c.value, &name), c.name != nullptr)
        << c.type << " " << c.value;
    EXPECT_EQ(name, c.name != nullptr ? c.name : kUntouched) << c.type << " " << c.value;
    EXPECT_EQ(PGMDEV_MGR::pgm_check_type_enum_supported(c.type, c.value, nullptr),
              c.name != nullptr);
  }
}

// Every member's name leads back to its number (no name twice, none in lower case), and the
// numbered runs of names follow their rule.
TEST(TypeCheck, TablesRoundTripAndFollowTheirRules) {
  struct Table {
    PGM_ENUM_TYPE type;
    unsigned int count;
  };
  for (const Table& t : {Table{PGM_ENUM_TYPE_RBA, 76}, Table{PGM_ENUM_TYPE_FLASH_BLOCK, 9},
                         Table{PGM_ENUM_TYPE_ICB, 43}, Table{PGM_ENUM_TYPE_BITASM_GENERIC, 21}}) {
    for (unsigned int value = 1; value < t.count; ++value) {
      std::string name;
      ASSERT_TRUE(PGMDEV_MGR::pgm_check_type_enum_supported(t.type, value, &name)) << value;
      EXPECT_FALSE(name.empty()) << t.type << " " << value;
      unsigned int index = 0;
      std::string lower = name;
      for (char& c : lower) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
      EXPECT_TRUE(PGMDEV_MGR::pgm_check_type_name_supported(t.type, lower, &index)) << name;
      EXPECT_EQ(index, value) << name;
    }
    EXPECT_FALSE(PGMDEV_MGR::pgm_check_type_enum_supported(t.type, t.count, nullptr)) << t.type;
  }
  std::string name;
  for (unsigned int value = 1; value <= 20; ++value) {
    ASSERT_TRUE(PGMDEV_MGR::pgm_check_type_enum_supported(PGM_ENUM_TYPE_ICB, value, &name));
    EXPECT_EQ(name, "RESERVED" + std::to_string(value));
  }
  for (unsigned int value = 11; value <= 17; ++value) {
    ASSERT_TRUE(
        PGMDEV_MGR::pgm_check_type_enum_supported(PGM_ENUM_TYPE_BITASM_GENERIC, value, &name));
    EXPECT_EQ(name, "SOF_FILE_ERROR_REV" + std::to_string(value - 7));
  }
}

TEST(TypeCheck, TypeOutOfRangeIsAnInternalError) {
  for (const int type : {static_cast<int>(PGM_ENUM_TYPE_MAX), 7}) {
    const auto pgm_type = static_cast<PGM_ENUM_TYPE>(type);
    unsigned int index = 0;
    std::string name;
    EXPECT_EQ(
        failure_of([&] { PGMDEV_MGR::pgm_check_type_name_supported(pgm_type, "CFM0", &index); }),
        "pgm_enum_type < PGM_ENUM_TYPE_MAX");
    EXPECT_EQ(failure_of([&] { PGMDEV_MGR::pgm_check_type_enum_supported(pgm_type, 1, &name); }),
              "pgm_enum_type < PGM_ENUM_TYPE_MAX");
  }
}

}  // namespace
