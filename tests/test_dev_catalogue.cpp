// The device catalogue: numbering, names both ways, relations, the filter passes, and the
// names of docs/catalogue.md ("Names the tests rely on") in the generated name databases.
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <fstream>
#include <iterator>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "dev_catalogue.h"
#include "pgmdev_ddb_mgr.h"
#include "zlib_util.h"

namespace {

using NameMap = GRAMMAR_MAP;
using Parts = std::vector<DEV_PART_ENUM>;

using G = PGMDEV_DDB_GRAMMAR_MGR;
using Map = G::PGMDEV_DDB_GRAMMAR_ENUM;

std::string read_file(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

std::string inflate(const std::string& blob) {
  std::string image(4 << 20, '\0');
  unsigned int length = static_cast<unsigned int>(image.size());
  EXPECT_EQ(zlib_uncompress(reinterpret_cast<unsigned char*>(image.data()), &length,
                            reinterpret_cast<const unsigned char*>(blob.data()),
                            static_cast<unsigned int>(blob.size())),
            ZLIB_OK);
  image.resize(length);
  return image;
}

// The eight maps of the generated grammar blob, read independently of the library: magic,
// then sections of records (key, values, 0), each section closed by 0; the CRC is not checked.
const std::vector<NameMap>& grammar() {
  static const std::vector<NameMap> maps = [] {
    const std::string image = inflate(read_file(PGMDEV_BINARY_DIR "/generated/grammar.ddb"));
    std::vector<NameMap> sections;
    size_t pos = 10;
    const size_t end = image.size() - 4;
    const auto next_string = [&] {
      const size_t zero = image.find('\0', pos);
      std::string text = image.substr(pos, zero - pos);
      pos = zero + 1;
      return text;
    };
    while (pos < end) {
      NameMap& section = sections.emplace_back();
      while (image[pos] != 0) {
        std::vector<std::string>& values = section[next_string()];
        while (image[pos] != 0) values.push_back(next_string());
        ++pos;
      }
      ++pos;
    }
    return sections;
  }();
  return maps;
}

// The OPN table of the generated blob: a 4-byte count, then base-128 entries.
std::vector<uint32_t> opn_table() {
  const std::string image = inflate(read_file(PGMDEV_BINARY_DIR "/generated/opn.ddb"));
  std::vector<uint32_t> table;
  size_t pos = 14;
  while (pos < image.size() - 4) {
    uint32_t value = 0;
    for (int shift = 0;; shift += 7) {
      const unsigned char byte = static_cast<unsigned char>(image[pos++]);
      value |= static_cast<uint32_t>(byte & 0x7F) << shift;
      if ((byte & 0x80) == 0) break;
    }
    table.push_back(value);
  }
  return table;
}

std::string key_of(Map map, const std::string& name) {
  for (const auto& [key, values] : grammar()[map]) {
    if (std::find(values.begin(), values.end(), name) != values.end()) return key;
  }
  return "";
}

std::set<std::string> keys(Map map) {
  std::set<std::string> result;
  for (const auto& record : grammar()[map]) result.insert(record.first);
  return result;
}

std::set<std::string> values(Map map) {
  std::set<std::string> result;
  for (const auto& record : grammar()[map])
    result.insert(record.second.begin(), record.second.end());
  return result;
}

DEV_PART_ENUM part(const std::string& name) {
  const DEV_PART_ENUM number = dstr_get_dev_part_enum_by_string(name);
  EXPECT_NE(number, DEV_PART_INVALID) << name;
  return number;
}

// The four search passes of the part-name services: (flag1, flag2) = (T,T), (T,F), (F,T),
// (F,F), third flag false.
Parts pass_parts(int pass, const std::string& family = "ANY") {
  Parts parts;
  DEV_PART_MANAGER().filter_part_list(&parts, family, "ANY", "ANY", "ANY", "ANY", pass <= 1,
                                      pass == 0 || pass == 2, false, "any");
  return parts;
}

// The passes in which any of the named parts is listed.
std::set<int> passes_listing(const std::set<std::string>& names) {
  std::set<int> passes;
  for (int pass = 0; pass < 4; ++pass) {
    for (DEV_PART_ENUM number : pass_parts(pass)) {
      if (names.count(dstr_get_user_string(number))) passes.insert(pass);
    }
  }
  return passes;
}

TEST(DevCatalogueTest, NumberingCoversEveryFamilyDeviceAndPart) {
  EXPECT_EQ(DEV_PART_INVALID, 0);
  EXPECT_EQ(DEV_PART_GENERIC, DEV_PART_MAX - 1);
  const DEV_PART_MANAGER manager;
  std::set<std::string> identifiers;
  for (int f = 1; f < DEV_FAMILY_MAX; ++f) {
    const auto family = static_cast<DEV_FAMILY_ENUM>(f);
    EXPECT_TRUE(dstr_is_valid_dev_family_enum(family));
    EXPECT_FALSE(dstr_get_user_string(family).empty()) << f;
    const std::string identifier = dstr_get_family_identifier(family);
    EXPECT_TRUE(identifiers.insert(identifier).second) << identifier;
    EXPECT_TRUE(std::all_of(identifier.begin(), identifier.end(), [](char c) {
      return std::isupper(c) || std::isdigit(c) || c == '_';
    })) << identifier;
  }
  for (int d = 1; d < DEV_DEVICE_MAX; ++d) {
    const auto device = static_cast<DEV_DEVICE_ENUM>(d);
    const std::string name = dstr_get_user_string(device);
    EXPECT_EQ(dstr_get_dev_device_enum_by_string(name), device) << name;
    const DEV_FAMILY_ENUM family = manager.get_family_of(device);
    // The generic device alone belongs to the generic family.
    EXPECT_EQ(family == DEV_FAMILY_GENERIC, device == DEV_DEVICE_GENERIC) << name;
    EXPECT_TRUE(dstr_is_valid_dev_family_enum(family)) << name;
  }
  std::set<DEV_DEVICE_ENUM> devices_with_parts;
  for (int p = 1; p < DEV_PART_MAX; ++p) {
    const auto number = static_cast<DEV_PART_ENUM>(p);
    const std::string name = dstr_get_user_string(number);
    EXPECT_EQ(dstr_get_dev_part_enum_by_string(name), number) << name;
    const DEV_DEVICE_ENUM device = manager.get_device_of(number);
    EXPECT_EQ(device == DEV_DEVICE_GENERIC, number == DEV_PART_GENERIC) << name;
    devices_with_parts.insert(device);
  }
  // Nearly every device is orderable; the rest are dies listed only under a pcf.
  EXPECT_GT(devices_with_parts.size(), 900u);
}

TEST(DevCatalogueTest, OutOfRangeNumbersAndUnknownNames) {
  const DEV_PART_MANAGER manager;
  struct Case {
    int number;
    const char* what;
  };
  for (const Case& c : {Case{0, "invalid"}, Case{-1, "negative"}, Case{100000, "far past"}}) {
    EXPECT_EQ(dstr_get_user_string(static_cast<DEV_FAMILY_ENUM>(c.number)), "") << c.what;
    EXPECT_EQ(dstr_get_family_identifier(static_cast<DEV_FAMILY_ENUM>(c.number)), "") << c.what;
    EXPECT_EQ(dstr_get_user_string(static_cast<DEV_DEVICE_ENUM>(c.number)), "") << c.what;
    EXPECT_EQ(dstr_get_user_string(static_cast<DEV_PART_ENUM>(c.number)), "") << c.what;
    EXPECT_EQ(manager.get_device_of(static_cast<DEV_PART_ENUM>(c.number)), DEV_DEVICE_INVALID);
    EXPECT_EQ(manager.get_family_of(static_cast<DEV_DEVICE_ENUM>(c.number)), DEV_FAMILY_INVALID);
  }
  EXPECT_FALSE(dstr_is_valid_dev_family_enum(DEV_FAMILY_MAX));
  EXPECT_FALSE(dstr_is_valid_dev_device_enum(DEV_DEVICE_MAX));
  EXPECT_EQ(dstr_get_user_string(DEV_PART_MAX), "");
  for (const char* name : {"", "QZ40BF256C6", "QZ40BF256C6N ", "NOT_A_NAME"}) {
    EXPECT_EQ(dstr_get_dev_part_enum_by_string(name), DEV_PART_INVALID) << name;
    EXPECT_EQ(dstr_get_dev_device_enum_by_string(name), DEV_DEVICE_INVALID) << name;
  }
}

TEST(DevCatalogueTest, NamesRelationsAndLetterCase) {
  const DEV_PART_MANAGER manager;
  const DEV_PART_ENUM example = part("QZ40BF256C6N");
  // Part names match in any letter case; device names only as written.
  EXPECT_EQ(dstr_get_dev_part_enum_by_string("qz40bf256c6n"), example);
  EXPECT_EQ(dstr_get_dev_part_enum_by_string("Qz40bF256c6N"), example);
  EXPECT_EQ(dstr_get_user_string(example), "QZ40BF256C6N");
  const DEV_DEVICE_ENUM device = manager.get_device_of(example);
  EXPECT_EQ(dstr_get_user_string(device), "QZ60B_DIE");
  EXPECT_EQ(dstr_get_dev_device_enum_by_string("QZ60B_DIE"), device);
  EXPECT_EQ(dstr_get_dev_device_enum_by_string("qz60b_die"), DEV_DEVICE_INVALID);
  const DEV_FAMILY_ENUM family = manager.get_family_of(device);
  EXPECT_EQ(dstr_get_user_string(family), "Ternfield");
  EXPECT_EQ(dstr_get_family_identifier(family), "TERNFIELD");
  // The generic entries chain to each other.
  EXPECT_EQ(dstr_get_family_identifier(DEV_FAMILY_GENERIC), "GENERIC");
  EXPECT_EQ(manager.get_device_of(DEV_PART_GENERIC), DEV_DEVICE_GENERIC);
  EXPECT_EQ(manager.get_family_of(DEV_DEVICE_GENERIC), DEV_FAMILY_GENERIC);
  EXPECT_EQ(dstr_get_dev_part_enum_by_string(dstr_get_user_string(DEV_PART_GENERIC)),
            DEV_PART_GENERIC);
}

TEST(DevCatalogueTest, FilterPassesAreDisjointAndCoverTheCurrentParts) {
  std::map<DEV_PART_ENUM, int> pass_of;
  for (int pass = 0; pass < 4; ++pass) {
    const Parts parts = pass_parts(pass);
    EXPECT_FALSE(parts.empty()) << pass;
    EXPECT_TRUE(std::is_sorted(parts.begin(), parts.end())) << pass;
    for (DEV_PART_ENUM number : parts) {
      EXPECT_TRUE(pass_of.emplace(number, pass).second)
          << dstr_get_user_string(number) << " in passes " << pass_of[number] << " and " << pass;
    }
  }
  EXPECT_EQ(pass_of.count(DEV_PART_GENERIC), 0u);
  // The third flag lets the obsolete parts of each class in; then the passes cover every part.
  size_t listed = 0;
  size_t obsolete_count = 0;
  for (int pass = 0; pass < 4; ++pass) {
    Parts with_obsolete, obsolete, merged;
    DEV_PART_MANAGER().filter_part_list(&with_obsolete, "ANY", "ANY", "ANY", "ANY", "ANY",
                                        pass <= 1, pass == 0 || pass == 2, true, "any");
    DEV_PART_MANAGER().filter_part_list(&obsolete, "ANY", "ANY", "ANY", "ANY", "ANY", pass <= 1,
                                        pass == 0 || pass == 2, true, "Obsolete");
    const Parts current = pass_parts(pass);
    std::merge(current.begin(), current.end(), obsolete.begin(), obsolete.end(),
               std::back_inserter(merged));
    EXPECT_EQ(with_obsolete, merged) << pass;
    listed += with_obsolete.size();
    obsolete_count += obsolete.size();
  }
  EXPECT_GT(obsolete_count, 0u);
  EXPECT_EQ(listed, static_cast<size_t>(DEV_PART_MAX - 2));  // all but invalid and generic
}

TEST(DevCatalogueTest, TextFilters) {
  const DEV_PART_MANAGER manager;
  struct Case {
    const char* family;
    const char* device;
    const char* code;
    const char* speed;
    const char* temperature;
    bool production;
    bool commercial;
    const char* last;
    std::vector<std::string> expected;  // empty: the call returns false
  };
  const Case cases[] = {
      // Family by user string or identifier, any case; a device's parts in part order.
      {"ternfield",
       "QZ60B_DIE",
       "F256",
       "ANY",
       "ANY",
       true,
       true,
       "any",
       {"QZ40BF256C6N", "QZ60BF256C6N"}},
      {"TERNFIELD",
       "qz60b_die",
       "f256",
       "6",
       "c",
       true,
       true,
       "PRODUCTION",
       {"QZ40BF256C6N", "QZ60BF256C6N"}},
      {"any", "QZ60B_DIE", "U169", "7", "I", true, false, "any", {"QZ40BU169I7N", "QZ60BU169I7N"}},
      {"ANY", "QZ10A_DIE", "ANY", "ANY", "ANY", false, true, "sample", {"QZ12A"}},
      // A filter that matches the part in another way still excludes it.
      {"Yewgate", "QZ60B_DIE", "ANY", "ANY", "ANY", true, true, "any", {}},
      {"ANY", "QZ60B_DIE", "ANY", "9", "ANY", true, true, "any", {}},
      {"ANY", "QZ60B_DIE", "ANY", "ANY", "ANY", true, true, "sample", {}},
      {"ANY", "QZ60B_DIE", "F25", "ANY", "ANY", true, true, "any", {}},
  };
  for (const Case& c : cases) {
    Parts parts{DEV_PART_GENERIC};  // stale content is replaced
    const bool found =
        manager.filter_part_list(&parts, c.family, c.device, c.code, c.speed, c.temperature,
                                 c.production, c.commercial, false, c.last);
    std::vector<std::string> names;
    for (DEV_PART_ENUM number : parts) names.push_back(dstr_get_user_string(number));
    EXPECT_EQ(found, !c.expected.empty()) << c.family << " " << c.device;
    EXPECT_EQ(names, c.expected) << c.family << " " << c.device << " " << c.code;
  }
  EXPECT_FALSE(manager.filter_part_list(nullptr, "ANY", "ANY", "ANY", "ANY", "ANY", true, true,
                                        false, "any"));
}

// The relations between the eight name maps, checked on the generated blob.
TEST(DevCatalogueTest, GrammarMapsFitTogether) {
  ASSERT_EQ(grammar().size(), 8u);
  EXPECT_EQ(values(G::PGM_GRAMMAR), keys(G::PACKAGE_GRAMMAR));
  EXPECT_EQ(values(G::PGM_PCF), keys(G::PGM_GRAMMAR));
  EXPECT_EQ(values(G::PGM_FAMILY_PCF), keys(G::PGM_GRAMMAR));
  const std::set<std::string> dev_pcfs = keys(G::DEV_PCF);
  const std::set<std::string> pgm_pcfs = keys(G::PGM_PCF);
  EXPECT_TRUE(std::includes(dev_pcfs.begin(), dev_pcfs.end(), pgm_pcfs.begin(), pgm_pcfs.end()));
  EXPECT_EQ(values(G::DEV_PCF), values(G::DEV_FAMILY_PCF));
  EXPECT_EQ(keys(G::PGM_FAMILY_PCF), keys(G::DEV_FAMILY_PCF));
  const std::set<std::string> family_pcfs = keys(G::PGM_FAMILY_PCF);
  const std::set<std::string> device_pcf_families = keys(G::DEVICE_PCF_FAMILY_PCF);
  EXPECT_TRUE(std::includes(family_pcfs.begin(), family_pcfs.end(), device_pcf_families.begin(),
                            device_pcf_families.end()));
  for (Map map : {G::DEVICE_PCF_FAMILY_PCF, G::FAMILY}) {
    for (const std::string& pcf : values(map)) EXPECT_TRUE(dev_pcfs.count(pcf)) << pcf;
  }
  for (size_t map = 0; map < grammar().size(); ++map) {
    size_t listed = 0;
    for (const auto& record : grammar()[map]) listed += record.second.size();
    EXPECT_EQ(values(static_cast<Map>(map)).size(), listed) << "a name in two lists of " << map;
  }
  // Every device of the name database is a catalogue device.
  for (const std::string& device : values(G::DEV_PCF)) {
    EXPECT_NE(dstr_get_dev_device_enum_by_string(device), DEV_DEVICE_INVALID) << device;
  }
}

TEST(DevCatalogueTest, NamesTheTestsRelyOn) {
  const NameMap& packages = grammar()[G::PACKAGE_GRAMMAR];
  ASSERT_TRUE(packages.count("QZ40BF256"));
  EXPECT_EQ(packages.at("QZ40BF256"), (std::vector<std::string>{"QZ40BF256C6N", "QZ40BF256I7N"}));
  ASSERT_TRUE(grammar()[G::PGM_GRAMMAR].count("QZ40B"));
  EXPECT_EQ(grammar()[G::PGM_GRAMMAR].at("QZ40B"),
            (std::vector<std::string>{"QZ40BF256", "QZ40BU169"}));
  ASSERT_TRUE(grammar()[G::PGM_PCF].count("QZ60B"));
  EXPECT_EQ(grammar()[G::PGM_PCF].at("QZ60B"), (std::vector<std::string>{"QZ40B", "QZ60B"}));
  EXPECT_EQ(key_of(G::DEV_PCF, "QZ60B_DIE"), "QZ60B");
  EXPECT_EQ(key_of(G::PGM_FAMILY_PCF, "QZ40B"), "TERNFIELD_FAMILY");
  EXPECT_EQ(key_of(G::FAMILY, "QZ60B"), "TERNFIELD");
  EXPECT_EQ(key_of(G::DEVICE_PCF_FAMILY_PCF, "QZ60B"), "TERNFIELD_FAMILY");
  // A pcf whose first device is not its smallest.
  const std::vector<std::string>& devices = grammar()[G::DEV_PCF].at("QZ80C");
  EXPECT_EQ(devices.front(), "QZ80C_DIE");
  EXPECT_LT(*std::min_element(devices.begin(), devices.end()), devices.front());

  // (a) pcf QZ10A: its pgm-named parts are listed in passes 0 and 2 only.
  const std::vector<std::string>& qz10a = grammar()[G::PGM_PCF].at("QZ10A");
  EXPECT_EQ(passes_listing({qz10a.begin(), qz10a.end()}), (std::set<int>{0, 2}));
  // (b) pcf QZ14A has pgm-named parts, none in pass 0.
  const std::vector<std::string>& qz14a = grammar()[G::PGM_PCF].at("QZ14A");
  const std::set<int> qz14a_passes = passes_listing({qz14a.begin(), qz14a.end()});
  EXPECT_FALSE(qz14a_passes.empty());
  EXPECT_EQ(qz14a_passes.count(0), 0u);
  // (c) device QZ20C_DIE: a part in pass 1, another in pass 3, none in pass 0.
  std::set<int> qz20c_passes;
  const DEV_DEVICE_ENUM qz20c = dstr_get_dev_device_enum_by_string("QZ20C_DIE");
  for (int pass = 0; pass < 4; ++pass) {
    for (DEV_PART_ENUM number : pass_parts(pass, "Ternfield")) {
      if (DEV_PART_MANAGER().get_device_of(number) == qz20c) qz20c_passes.insert(pass);
    }
  }
  EXPECT_EQ(qz20c_passes, (std::set<int>{1, 3}));
  // (d) QZ10A is a full part name, its own package name and its own pgm name.
  EXPECT_EQ(key_of(G::PACKAGE_GRAMMAR, "QZ10A"), "QZ10A");
  EXPECT_EQ(key_of(G::PGM_GRAMMAR, "QZ10A"), "QZ10A");
  EXPECT_EQ(key_of(G::PGM_PCF, "QZ10A"), "QZ10A");
  EXPECT_NE(dstr_get_dev_part_enum_by_string("QZ10A"), DEV_PART_INVALID);
  // (g) QZ9B is the only catalogue part named with fewer than five characters, and its own
  // package and pgm name; (h) the four-character pgm name VX5D has longer parts.
  std::vector<std::string> short_parts;
  for (int number = DEV_PART_INVALID + 1; number < DEV_PART_GENERIC; ++number) {
    const std::string name = dstr_get_user_string(static_cast<DEV_PART_ENUM>(number));
    if (name.size() < 5) short_parts.push_back(name);
  }
  EXPECT_EQ(short_parts, (std::vector<std::string>{"QZ9B"}));
  EXPECT_EQ(key_of(G::PACKAGE_GRAMMAR, "QZ9B"), "QZ9B");
  EXPECT_EQ(key_of(G::PGM_GRAMMAR, "QZ9B"), "QZ9B");
  EXPECT_EQ(key_of(G::PGM_GRAMMAR, "VX5DF896"), "VX5D");
  EXPECT_EQ(key_of(G::PACKAGE_GRAMMAR, "VX5DF896C6N"), "VX5DF896");
  EXPECT_NE(dstr_get_dev_part_enum_by_string("VX5DF896C6N"), DEV_PART_INVALID);

  // (e) QB15AM100C6N is not in the OPN table; (f) QZ40BF256C6N is.
  const std::vector<uint32_t> table = opn_table();
  const auto holds = [&](DEV_PART_ENUM number) {
    return std::find(table.begin(), table.end(), static_cast<uint32_t>(number)) != table.end();
  };
  EXPECT_FALSE(holds(part("QB15AM100C6N")));
  EXPECT_TRUE(holds(part("QZ40BF256C6N")));
}

TEST(DevCatalogueTest, OpnTableHoldsDistinctUsablePartsAndZeros) {
  const std::vector<uint32_t> table = opn_table();
  std::set<uint32_t> parts;
  size_t zeros = 0;
  for (uint32_t value : table) {
    if (value == 0) {
      ++zeros;
      continue;
    }
    EXPECT_LT(value, static_cast<uint32_t>(DEV_PART_GENERIC));
    EXPECT_TRUE(parts.insert(value).second) << value;
  }
  EXPECT_GT(zeros, parts.size());
  EXPECT_GT(parts.size(), 0u);
}

// The generated include embeds exactly the bytes of the blob files, with their lengths.
TEST(DevCatalogueTest, EmbeddedArraysMatchTheBlobFiles) {
  const std::string inc = read_file(PGMDEV_BINARY_DIR "/generated/pgmddb_data.inc");
  for (const std::string name : {"GRAMMAR", "OPN"}) {
    std::string lower = name;
    std::transform(lower.begin(), lower.end(), lower.begin(), ::tolower);
    const std::string blob = read_file(PGMDEV_BINARY_DIR "/generated/" + lower + ".ddb");
    const size_t start = inc.find("PGMDDB_" + name + "_DATA[] = {");
    ASSERT_NE(start, std::string::npos) << name;
    std::istringstream bytes(inc.substr(start, inc.find("};", start) - start));
    bytes.ignore(1 << 20, '{');
    std::string embedded;
    for (std::string token; bytes >> token;) {
      embedded.push_back(static_cast<char>(std::stoul(token, nullptr, 16)));
    }
    EXPECT_EQ(embedded, blob) << name;
    const std::string lengths = "static const unsigned int PGMDDB_" + name +
                                "_CMP_LENGTH = " + std::to_string(blob.size()) +
                                ";\nstatic const unsigned int PGMDDB_" + name +
                                "_LENGTH = " + std::to_string(inflate(blob).size()) + ";\n";
    EXPECT_NE(inc.find(lengths), std::string::npos) << name;
  }
}

}  // namespace
