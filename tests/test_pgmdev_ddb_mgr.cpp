// The embedded name databases: image loading and its checks, the grammar and OPN parse steps on
// crafted images, the lookups, the singleton's failure behaviour, and the shipped blobs.
#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "ddb_blob_writer.h"
#include "msg.h"
#include "pgmdev_ddb_mgr.h"
#include "pgmdev_internal_error.h"
#include "zlib_util.h"

namespace {

using ddb_writer::Bytes;
using ddb_writer::Section;
typedef PGMDEV_DDB_GRAMMAR_MGR GRAMMAR;
typedef PGMDEV_DDB_OPN_MGR OPN;

constexpr char kSourceFile[] = "pgm/pgmdev/pgmdev_ddb_mgr.cpp";

std::string failure_of(const std::function<void()>& f) { return internal_error_of(f, kSourceFile); }

// Eight small sections that keep the relations between the maps.
std::vector<Section> sample_sections() {
  return {
      {{"QZ10A", {"QZ10A"}}, {"QZ40BF256", {"QZ40BF256C6N", "QZ40BF256I7N"}}},
      {{"QZ10A", {"QZ10A"}}, {"QZ40B", {"QZ40BF256"}}},
      {{"QZ10A", {"QZ10A"}}, {"QZ60B", {"QZ40B"}}},
      {{"TERNFIELD_FAMILY", {"QZ10A", "QZ40B"}}},
      {{"QZ10A", {"QZ10A_DIE"}}, {"QZ60B", {"QZ60B_DIE", "QZ40B_DIE"}}},
      {{"TERNFIELD_FAMILY", {"QZ10A_DIE", "QZ60B_DIE", "QZ40B_DIE"}}},
      {{"TERNFIELD_FAMILY", {"QZ10A", "QZ60B"}}},
      {{"TERNFIELD", {"QZ10A", "QZ60B"}}},
  };
}

Bytes grammar_image(const std::vector<Section>& sections) {
  return ddb_writer::frame(ddb_writer::grammar_body(sections));
}

// An image of the given body bytes with a correct frame.
Bytes framed(const Bytes& body) { return ddb_writer::frame(body); }

Bytes operator+(Bytes a, const Bytes& b) {
  a.insert(a.end(), b.begin(), b.end());
  return a;
}

Bytes text(const std::string& s) {
  Bytes out(s.begin(), s.end());
  for (unsigned char& c : out) {
    if (c == '|') c = 0;  // '|' stands for the 0x00 terminator in the cases below
  }
  return out;
}

unsigned int size_of(const Bytes& b) { return static_cast<unsigned int>(b.size()); }

// A zlib stream of data, through the host's compression service.
Bytes compress(const Bytes& data) {
  Bytes out(data.size() + 64);
  unsigned int length = size_of(out);
  EXPECT_EQ(zlib_compress(out.data(), &length, data.data(), size_of(data)), ZLIB_OK);
  out.resize(length);
  return out;
}

void build_grammar(const Bytes& image) { GRAMMAR mgr(image.data(), size_of(image)); }
void build_opn(const Bytes& image) { OPN mgr(image.data(), size_of(image)); }

// Bitwise CRC-32/BZIP2, written apart from the library's table-driven one.
uint32_t reference_crc32_bzip2(const Bytes& data) {
  uint32_t reg = 0xFFFFFFFF;
  for (unsigned char byte : data) {
    for (int bit = 7; bit >= 0; --bit) {
      const bool feedback = ((reg >> 31) & 1u) != ((byte >> bit) & 1u);
      reg <<= 1;
      if (feedback) reg ^= 0x04C11DB7;
    }
  }
  return ~reg;
}

// ---------------------------------------------------------------------------------------------
// Frame: magic and CRC trailer

TEST(DdbFrame, ReferenceCrcMatchesTheCheckValueAndTheTrailerIsAccepted) {
  EXPECT_EQ(reference_crc32_bzip2(text("123456789")), 0xFC891918u);
  Bytes image = text("PGMDEV_DDB") + ddb_writer::grammar_body(sample_sections());
  const uint32_t crc = reference_crc32_bzip2(image);
  for (int shift = 0; shift < 32; shift += 8) image.push_back((crc >> shift) & 0xFF);
  EXPECT_EQ(image, grammar_image(sample_sections()));
  EXPECT_EQ(failure_of([&] { pgmdev_ddb::check_frame(image.data(), size_of(image)); }), "");
}

TEST(DdbFrame, DamagedFramesFailTheFirstCheckThatDiffers) {
  const Bytes valid = grammar_image(sample_sections());
  const size_t n = valid.size();
  struct Case {
    const char* what;
    std::function<Bytes()> make;
    const char* condition;
  };
  const Case cases[] = {
      {"tenth magic byte",
       [&] {
         Bytes b = valid;
         b[9] = 'C';
         return b;
       },
       "memcmp(data, \"PGMDEV_DDB\", 10) == 0"},
      {"first magic byte",
       [&] {
         Bytes b = valid;
         b[0] = 'p';
         return b;
       },
       "memcmp(data, \"PGMDEV_DDB\", 10) == 0"},
      {"image shorter than magic and trailer", [] { return text("PGMDEV_DDB|"); },
       "memcmp(data, \"PGMDEV_DDB\", 10) == 0"},
      {"trailer byte 0",
       [&] {
         Bytes b = valid;
         b[n - 4] ^= 0x01;
         return b;
       },
       "BYTE(crc32) == data[data_size-4]"},
      {"trailer byte 1",
       [&] {
         Bytes b = valid;
         b[n - 3] ^= 0x80;
         return b;
       },
       "BYTE(crc32 >> 8) == data[data_size-3]"},
      {"trailer byte 2 only",
       [&] {
         Bytes b = valid;
         b[n - 2] ^= 0x10;
         return b;
       },
       "BYTE(crc32 >> 16) == data[data_size-2]"},
      {"trailer byte 3",
       [&] {
         Bytes b = valid;
         b[n - 1] ^= 0xFF;
         return b;
       },
       "BYTE(crc32 >> 24) == data[data_size-1]"},
  };
  for (const Case& c : cases) {
    const Bytes image = c.make();
    EXPECT_EQ(failure_of([&] { build_grammar(image); }), c.condition) << c.what;
    EXPECT_EQ(failure_of([&] { build_opn(image); }), c.condition) << c.what;
  }
}

// A body byte changed under a valid trailer fails at the first trailer byte that no longer
// matches, before any parsing (the damaged byte would otherwise break the body walk).
TEST(DdbFrame, AlteredBodyByteFailsAtTheFirstDifferingTrailerByte) {
  const Bytes valid = grammar_image(sample_sections());
  const char* const byte_checks[] = {
      "BYTE(crc32) == data[data_size-4]", "BYTE(crc32 >> 8) == data[data_size-3]",
      "BYTE(crc32 >> 16) == data[data_size-2]", "BYTE(crc32 >> 24) == data[data_size-1]"};
  for (size_t position : {size_t{10}, size_t{15}, valid.size() - 5}) {
    Bytes image = valid;
    image[position] ^= 0x01;
    const Bytes covered(image.begin(), image.end() - 4);
    const uint32_t crc = reference_crc32_bzip2(covered);
    int first = 0;
    while (first < 4 && ((crc >> (8 * first)) & 0xFF) == image[image.size() - 4 + first]) ++first;
    ASSERT_LT(first, 4);
    EXPECT_EQ(failure_of([&] { build_grammar(image); }), byte_checks[first]) << position;
  }
}

// ---------------------------------------------------------------------------------------------
// Grammar body walk

TEST(DdbGrammarParse, DamagedBodiesReportTheirCondition) {
  // Seven well-formed one-record sections, to which each case adds its own. A one-record
  // section is key, value, the list's 0x00 and the section's 0x00.
  Bytes seven;
  for (int i = 0; i < 7; ++i) seven = seven + text("K|V|||");
  // A long list (past the length at which the duplicate check changes method) repeating its
  // third value at the end.
  Bytes long_list = text("K|");
  for (int i = 0; i < 40; ++i) long_list = long_list + text("V" + std::to_string(i) + "|");
  long_list = long_list + text("V2|||");
  struct Case {
    const char* what;
    Bytes body;
    const char* condition;
  };
  const Case cases[] = {
      {"value twice in a long list", long_list,
       "std::find(contents.begin(), contents.end(), content) == contents.end()"},
      {"five sections", text("K|V|||K|V|||K|V|||K|V|||K|V|||"),
       "pointer_index == DWORD(PGMDEV_DDB_GRAMMAR_ENUM::MAX)"},
      {"no section at all", Bytes{}, "pointer_index == DWORD(PGMDEV_DDB_GRAMMAR_ENUM::MAX)"},
      {"nine sections", seven + text("K|V|||K|V|||"),
       "pointer_index < DWORD(PGMDEV_DDB_GRAMMAR_ENUM::MAX)"},
      {"key without values", text("K|V|||K||"), "contents.size()"},
      {"key without values, last before the bound", text("K|V|||K|"), "index < data_size"},
      {"key twice in one section", text("K|V||K|W|||"), "map->find(key) == map->end()"},
      {"value twice in one record", text("K|V|W|V|||"),
       "std::find(contents.begin(), contents.end(), content) == contents.end()"},
      {"empty section", text("K|V||||"), "data[index] != 0"},
      {"string running into the bound", text("K|VALUE"), "index < data_size && data[index] == 0"},
      {"record not closed before the bound", text("K|V|"), "index < data_size"},
      {"section not closed before the bound", seven + text("K|V||"), "index < data_size"},
  };
  for (const Case& c : cases) {
    const Bytes image = framed(c.body);
    EXPECT_EQ(failure_of([&] { build_grammar(image); }), c.condition) << c.what;
  }
}

TEST(DdbGrammarParse, EveryTruncatedBodyIsRefused) {
  const Bytes body = ddb_writer::grammar_body(sample_sections());
  for (size_t length = 0; length < body.size(); ++length) {
    const Bytes image = framed(Bytes(body.begin(), body.begin() + length));
    EXPECT_NE(failure_of([&] { build_grammar(image); }), "") << length;
  }
}

TEST(DdbGrammarParse, SameKeyInTwoSectionsIsFine) {
  std::vector<Section> sections = sample_sections();
  ASSERT_EQ(sections[2][0].first, sections[1][0].first);  // QZ10A in both
  const Bytes image = grammar_image(sections);
  EXPECT_EQ(failure_of([&] { build_grammar(image); }), "");
}

// Keys stored in ascending order re-encode to the very image they came from.
TEST(DdbGrammarParse, DecodedMapsReencodeToTheSameImage) {
  const Bytes image = grammar_image(sample_sections());
  GRAMMAR mgr(image.data(), size_of(image));
  std::vector<Section> decoded;
  for (int type = 0; type < GRAMMAR::MAX; ++type) {
    const GRAMMAR_MAP* map = mgr.get_map(static_cast<GRAMMAR::PGMDEV_DDB_GRAMMAR_ENUM>(type));
    decoded.emplace_back(map->begin(), map->end());
  }
  EXPECT_EQ(grammar_image(decoded), image);
}

TEST(DdbGrammarParse, ParseStepsReadOneStringAndOneRecord) {
  const Bytes body = text("QZ40BF256|QZ40BF256C6N|QZ40BF256I7N||") + Bytes{0};
  const Bytes image = grammar_image(sample_sections());
  GRAMMAR mgr(image.data(), size_of(image));
  unsigned int index = 0;
  EXPECT_EQ(mgr.get_string(index, body.data(), size_of(body)), "QZ40BF256");
  EXPECT_EQ(index, 10u);
  index = 0;
  GRAMMAR_MAP map;
  GRAMMAR_MAP* target = &map;
  mgr.get_mapping(target, index, body.data(), size_of(body));
  EXPECT_EQ(index, 37u);  // the record's 37 bytes, leaving the section's closing 0x00
  EXPECT_EQ(map, (GRAMMAR_MAP{{"QZ40BF256", {"QZ40BF256C6N", "QZ40BF256I7N"}}}));
}

// ---------------------------------------------------------------------------------------------
// Grammar lookups on crafted data

class DdbGrammarLookup : public ::testing::Test {
 protected:
  DdbGrammarLookup() : m_image(grammar_image(sections())), mgr(m_image.data(), size_of(m_image)) {}

  // The sample, with names listed under two keys of the last map, stored with the larger key
  // first, so that the smallest-key rule shows.
  static std::vector<Section> sections() {
    std::vector<Section> s = sample_sections();
    s[7] = {{"ZETA", {"QZ10A", "SHARED"}}, {"ALPHA", {"SHARED", "QZ60B"}}, {"MID", {"SHARED"}}};
    return s;
  }

  GRAMMAR_MAP* map(GRAMMAR::PGMDEV_DDB_GRAMMAR_ENUM type) { return mgr.get_map(type); }

  Bytes m_image;
  GRAMMAR mgr;
};

TEST_F(DdbGrammarLookup, ReverseLookupNormalizesAndReturnsTheSmallestKey) {
  struct Case {
    GRAMMAR::PGMDEV_DDB_GRAMMAR_ENUM type;
    std::string name;
    std::string key;
  };
  const Case cases[] = {
      {GRAMMAR::PACKAGE_GRAMMAR, "QZ40BF256I7N", "QZ40BF256"},
      {GRAMMAR::PACKAGE_GRAMMAR, "  qz40bf256c6n\t", "QZ40BF256"},
      {GRAMMAR::PACKAGE_GRAMMAR, "QZ40BF256", ""},   // a key is not its own entry
      {GRAMMAR::PACKAGE_GRAMMAR, "QZ10A", "QZ10A"},  // but may be listed under itself
      {GRAMMAR::PACKAGE_GRAMMAR, "", ""},
      {GRAMMAR::PACKAGE_GRAMMAR, "   ", ""},
      {GRAMMAR::FAMILY, "SHARED", "ALPHA"},  // under ZETA, ALPHA and MID
      {GRAMMAR::FAMILY, "qz60b", "ALPHA"},
      {GRAMMAR::FAMILY, "QZ10A", "ZETA"},
      {GRAMMAR::DEV_PCF, "QZ40B_DIE", "QZ60B"},
      {GRAMMAR::DEV_PCF, "QZ40B_DI", ""},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(mgr.get_mapping_key(c.name, map(c.type)), c.key) << c.name;
  }
}

// The reverse index answers exactly as a scan of the lists in key order would.
TEST_F(DdbGrammarLookup, ForeignMapIsScannedWithTheSameRule) {
  GRAMMAR_MAP copy = *map(GRAMMAR::FAMILY);
  EXPECT_EQ(mgr.get_mapping_key("shared", &copy), "ALPHA");
  EXPECT_EQ(mgr.get_mapping_key("QZ10A", &copy), "ZETA");
  EXPECT_EQ(mgr.get_mapping_key("NONE", &copy), "");
}

TEST_F(DdbGrammarLookup, ForwardLookupKeepsStoredOrder) {
  EXPECT_EQ(mgr.get_key_mapping(" qz60b ", map(GRAMMAR::DEV_PCF)),
            (std::vector<std::string>{"QZ60B_DIE", "QZ40B_DIE"}));
  EXPECT_EQ(mgr.get_key_mapping("QZ60B_DIE", map(GRAMMAR::DEV_PCF)), std::vector<std::string>{});
  EXPECT_EQ(mgr.get_key_mapping("", map(GRAMMAR::DEV_PCF)), std::vector<std::string>{});
}

TEST_F(DdbGrammarLookup, CallersStringIsNeverChanged) {
  const std::string original = "  qz40bf256c6n ";
  std::string name = original;
  mgr.get_mapping_key(name, map(GRAMMAR::PACKAGE_GRAMMAR));
  mgr.get_key_mapping(name, map(GRAMMAR::PACKAGE_GRAMMAR));
  EXPECT_EQ(name, original);
  mgr.standardize_name(name);  // the member itself normalizes in place
  EXPECT_EQ(name, "QZ40BF256C6N");
}

TEST_F(DdbGrammarLookup, BadArgumentsAreInternalErrors) {
  EXPECT_EQ(failure_of([&] { mgr.get_map(GRAMMAR::MAX); }), "type < PGMDEV_DDB_GRAMMAR_ENUM::MAX");
  EXPECT_EQ(failure_of([&] { mgr.get_mapping_key("X", nullptr); }), "mapping != NULL");
  EXPECT_EQ(failure_of([&] { mgr.get_key_mapping("X", nullptr); }), "mapping != NULL");
}

// ---------------------------------------------------------------------------------------------
// Singletons, compressed blobs and the loading steps before the frame checks

// Installs a compressed blob for one manager and restores the embedded one afterwards.
class DdbBlobSource : public ::testing::Test {
 protected:
  ~DdbBlobSource() override {
    GRAMMAR::delete_mgr();
    OPN::delete_mgr();
    GRAMMAR::set_blob_source(nullptr);
    OPN::set_blob_source(nullptr);
  }

  // Points the manager at stream, declaring length as its decompressed length.
  template <class MGR>
  void install(const Bytes& stream, unsigned int length) {
    m_streams.push_back(stream);
    const pgmdev_ddb::BLOB blob{m_streams.back().data(), size_of(m_streams.back()), length};
    MGR::delete_mgr();
    MGR::set_blob_source(&blob);
  }

  std::vector<Bytes> m_streams;
};

TEST_F(DdbBlobSource, LengthAndStreamChecksNameTheEmbeddedConstants) {
  struct Case {
    const char* what;
    Bytes stream;
    unsigned int declared;
    const char* condition;
  };
  const Bytes grammar = grammar_image(sample_sections());
  const Bytes grammar_stream = compress(grammar);
  const unsigned int n = size_of(grammar);
  const char* const grammar_zlib =
      "zlib_uncompress(data, &data_size, PGMDDB_GRAMMAR_DATA, PGMDDB_GRAMMAR_CMP_LENGTH) == "
      "ZLIB_OK";
  const Case grammar_cases[] = {
      {"one byte more than declared", compress(grammar + Bytes{0}), n,
       "data_size == PGMDDB_GRAMMAR_LENGTH"},
      {"one byte less than declared", grammar_stream, n + 1, "data_size == PGMDDB_GRAMMAR_LENGTH"},
      {"more than the buffer holds", grammar_stream, n - 101, grammar_zlib},
      {"not a zlib stream", grammar, n, grammar_zlib},
  };
  for (const Case& c : grammar_cases) {
    install<GRAMMAR>(c.stream, c.declared);
    EXPECT_EQ(failure_of([] { GRAMMAR::get_mgr(); }), c.condition) << c.what;
    EXPECT_EQ(GRAMMAR::m_mgr, nullptr) << c.what;
  }

  const Bytes opn = ddb_writer::frame(ddb_writer::opn_body({0, 4125, 0}));
  const Bytes opn_stream = compress(opn);
  const unsigned int m = size_of(opn);
  const Case opn_cases[] = {
      {"one byte more than declared", compress(opn + Bytes{0}), m,
       "data_size == PGMDDB_OPN_LENGTH"},
      {"one byte less than declared", opn_stream, m + 1, "data_size == PGMDDB_OPN_LENGTH"},
      {"truncated stream", Bytes(opn_stream.begin(), opn_stream.end() - 3), m,
       "zlib_uncompress(data, &data_size, PGMDDB_OPN_DATA, PGMDDB_OPN_CMP_LENGTH) == ZLIB_OK"},
  };
  for (const Case& c : opn_cases) {
    install<OPN>(c.stream, c.declared);
    EXPECT_EQ(failure_of([] { OPN::get_mgr(); }), c.condition) << c.what;
    EXPECT_EQ(OPN::m_mgr, nullptr) << c.what;
  }
}

TEST_F(DdbBlobSource, FailedConstructionLeavesTheSlotEmptyAndTheNextGetStartsOver) {
  Bytes damaged = grammar_image(sample_sections());
  damaged[12] ^= 0x20;
  install<GRAMMAR>(compress(damaged), size_of(damaged));
  EXPECT_NE(failure_of([] { GRAMMAR::get_mgr(); }), "");
  EXPECT_EQ(GRAMMAR::m_mgr, nullptr);
  EXPECT_NE(failure_of([] { GRAMMAR::get_package_grammar("QZ40BF256C6N", true); }), "");
  EXPECT_EQ(GRAMMAR::m_mgr, nullptr);

  const Bytes good = grammar_image(sample_sections());
  install<GRAMMAR>(compress(good), size_of(good));
  EXPECT_EQ(GRAMMAR::get_package_grammar("QZ40BF256C6N", true), "QZ40BF256");
  GRAMMAR* first = GRAMMAR::get_mgr();
  EXPECT_NE(first, nullptr);
  EXPECT_EQ(GRAMMAR::get_mgr(), first);  // made once
  GRAMMAR::delete_mgr();
  EXPECT_EQ(GRAMMAR::m_mgr, nullptr);
  GRAMMAR::delete_mgr();  // a second call does nothing
  EXPECT_EQ(GRAMMAR::m_mgr, nullptr);

  const Bytes opn = ddb_writer::frame(ddb_writer::opn_body({7}));
  Bytes bad_check = compress(opn);
  bad_check.back() ^= 0x01;  // the stream's own checksum
  install<OPN>(bad_check, size_of(opn));
  EXPECT_NE(failure_of([] { OPN::get_mgr(); }), "");
  EXPECT_EQ(OPN::m_mgr, nullptr);
  install<OPN>(compress(opn), size_of(opn));
  EXPECT_EQ(OPN::get_dev_opn_enum(0), 7u);
}

// The static getters on a crafted blob: fallbacks and normalization.
TEST_F(DdbBlobSource, StaticGettersFallBackToTheNormalizedName) {
  const Bytes image = grammar_image(sample_sections());
  install<GRAMMAR>(compress(image), size_of(image));
  struct Case {
    std::function<std::string(const std::string&)> lookup;
    std::string name;
    std::string expected;
  };
  const auto package = [](bool empty) {
    return [empty](const std::string& n) { return GRAMMAR::get_package_grammar(n, empty); };
  };
  const auto pgm = [](bool empty) {
    return [empty](const std::string& n) { return GRAMMAR::get_pgm_grammar(n, empty); };
  };
  const Case cases[] = {
      {package(false), " qz40bf256c6n ", "QZ40BF256"},
      {package(false), " qz40bf256 ", "QZ40BF256"},  // no list holds it: normalized name
      {package(true), " qz40bf256 ", ""},
      {package(false), "", ""},
      {pgm(false), "\tqz40bf256 ", "QZ40B"},
      {pgm(false), "unknown part", "UNKNOWN PART"},
      {pgm(true), "unknown part", ""},
      {pgm(false), " ", ""},
      {GRAMMAR::get_pgm_pcf, "qz40b", "QZ60B"},
      {GRAMMAR::get_pgm_family_pcf, "QZ40B", "TERNFIELD_FAMILY"},
      {GRAMMAR::get_dev_pcf, "QZ40B_DIE", "QZ60B"},
      {GRAMMAR::get_dev_family_pcf, "QZ40B_DIE", "TERNFIELD_FAMILY"},
      {GRAMMAR::get_device_pcf_family_pcf, "QZ60B", "TERNFIELD_FAMILY"},
      {GRAMMAR::get_family, "QZ60B", "TERNFIELD"},
      {GRAMMAR::get_family, "", ""},
      {[](const std::string& n) { return GRAMMAR::get_mapping_key(n, GRAMMAR::PGM_PCF); }, "QZ10A",
       "QZ10A"},
  };
  for (const Case& c : cases) {
    const std::string name = c.name;
    EXPECT_EQ(c.lookup(name), c.expected) << "'" << c.name << "'";
    EXPECT_EQ(name, c.name);
  }
  EXPECT_EQ(GRAMMAR::get_dev_pcf_list("qz60b"),
            (std::vector<std::string>{"QZ60B_DIE", "QZ40B_DIE"}));
  EXPECT_EQ(GRAMMAR::get_dev_pcf_list("QZ60B_DIE"), std::vector<std::string>{});
  EXPECT_EQ(failure_of([] { GRAMMAR::get_mapping_key("X", GRAMMAR::MAX); }),
            "type < PGMDEV_DDB_GRAMMAR_ENUM::MAX");
}

// ---------------------------------------------------------------------------------------------
// OPN table

Bytes opn_image(uint32_t count, const Bytes& integers) {
  Bytes body;
  ddb_writer::put_u32le(body, count);
  return framed(body + integers);
}

TEST(DdbOpnParse, Base128Integers) {
  struct Case {
    const char* what;
    Bytes bytes;
    uint32_t value;
  };
  const Case cases[] = {
      {"zero", {0x00}, 0},
      {"one byte", {0x7F}, 127},
      {"two bytes", {0x97, 0x45}, 8855},
      {"five bytes, largest", {0xFF, 0xFF, 0xFF, 0xFF, 0x0F}, 0xFFFFFFFF},
      {"redundant zero groups", {0x81, 0x80, 0x00}, 1},
  };
  for (const Case& c : cases) {
    const Bytes image = opn_image(1, c.bytes);
    OPN mgr(image.data(), size_of(image));
    unsigned int index = 14;
    EXPECT_EQ(mgr.get_integer(index, image.data(), size_of(image)), c.value) << c.what;
    EXPECT_EQ(index, 14 + c.bytes.size()) << c.what;
    EXPECT_EQ(*mgr.M_MAP, std::vector<unsigned int>{c.value}) << c.what;
  }
}

TEST(DdbOpnParse, BoundSmallerThanTheTrailerHoldsNoInteger) {
  const Bytes image = opn_image(1, {0x05});
  OPN mgr(image.data(), size_of(image));
  for (unsigned int bound = 0; bound <= 4; ++bound) {
    unsigned int index = 0;
    try {
      mgr.get_integer(index, image.data(), bound);
      ADD_FAILURE() << "bound " << bound << " read an integer";
    } catch (const MSG_INTERNAL_ERROR_EXCEPTION& error) {
      EXPECT_STREQ(error.what(), "index < (data_size - 4)") << "bound " << bound;
    }
  }
}

TEST(DdbOpnParse, DamagedBodiesReportTheirCondition) {
  struct Case {
    const char* what;
    Bytes image;
    const char* condition;
  };
  const Case cases[] = {
      {"value above 32 bits", opn_image(1, {0xFF, 0xFF, 0xFF, 0xFF, 0x1F}),
       "dev_enum <= QWORD(0xFFFFFFFF)"},
      {"six-byte integer", opn_image(1, {0x80, 0x80, 0x80, 0x80, 0x80, 0x01}), "shift <= 35"},
      {"long run of continuation bytes", opn_image(1, Bytes(40, 0xFF) + Bytes{0x01}),
       "shift <= 35"},
      {"count 3, two integers", opn_image(3, {0x01, 0x97, 0x45}), "index < (data_size - 4)"},
      {"integer running into the trailer", opn_image(1, {0x97}), "index < (data_size - 4)"},
      {"spare byte after the last integer", opn_image(2, {0x01, 0x02, 0x03}),
       "index == (data_size - 4)"},
      {"count 0", opn_image(0, {}), "enum_count > 0"},
      {"no room for the count", framed({}), "index < (data_size - 4)"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(failure_of([&] { build_opn(c.image); }), c.condition) << c.what;
  }
}

TEST(DdbOpnParse, EveryTruncatedBodyIsRefused) {
  const Bytes body = ddb_writer::opn_body({0, 8855, 0xFFFFFFFF, 4125});
  for (size_t length = 0; length < body.size(); ++length) {
    const Bytes image = framed(Bytes(body.begin(), body.begin() + length));
    EXPECT_NE(failure_of([&] { build_opn(image); }), "") << length;
  }
}

TEST(DdbOpnLookup, SmallestPositionAndBoundsOfTheTable) {
  const std::vector<uint32_t> entries = {0, 4125, 0, 9, 0, 8855, 4125, 0, 7, 8855};
  const Bytes image = ddb_writer::frame(ddb_writer::opn_body(entries));
  OPN mgr(image.data(), size_of(image));
  EXPECT_EQ(mgr.opn_enum(8855), 5u);  // at positions 5 and 9
  EXPECT_EQ(mgr.opn_enum(4125), 1u);
  EXPECT_EQ(mgr.opn_enum(0), 0u);
  EXPECT_EQ(mgr.opn_enum(7), 8u);
  EXPECT_EQ(mgr.opn_enum(6), 0xFFFFFFFFu);
  EXPECT_EQ(mgr.dev_opn_enum(9), 8855u);
  EXPECT_EQ(mgr.dev_opn_enum(10), 0xFFFFFFFFu);
  EXPECT_EQ(mgr.dev_opn_enum(0xFFFFFFFF), 0xFFFFFFFFu);

  std::vector<unsigned int>* table = mgr.M_MAP;
  mgr.M_MAP = nullptr;
  EXPECT_EQ(failure_of([&] { mgr.opn_enum(1); }), "M_MAP != NULL");
  EXPECT_EQ(failure_of([&] { mgr.dev_opn_enum(1); }), "M_MAP != NULL");
  mgr.M_MAP = table;
}

// ---------------------------------------------------------------------------------------------
// The shipped blobs

// Every string of a map's lists, and the keys.
std::set<std::string> entries_of(const GRAMMAR_MAP& map) {
  std::set<std::string> out;
  for (const auto& record : map) out.insert(record.second.begin(), record.second.end());
  return out;
}
std::set<std::string> keys_of(const GRAMMAR_MAP& map) {
  std::set<std::string> out;
  for (const auto& record : map) out.insert(record.first);
  return out;
}
bool includes(const std::set<std::string>& outer, const std::set<std::string>& inner) {
  return std::includes(outer.begin(), outer.end(), inner.begin(), inner.end());
}

TEST(DdbEmbedded, GrammarLoadsAndKeepsTheRelationsBetweenTheMaps) {
  GRAMMAR::delete_mgr();
  GRAMMAR* mgr = GRAMMAR::get_mgr();
  const auto map = [&](GRAMMAR::PGMDEV_DDB_GRAMMAR_ENUM type) -> const GRAMMAR_MAP& {
    return *mgr->get_map(type);
  };
  EXPECT_EQ(entries_of(map(GRAMMAR::PGM_GRAMMAR)), keys_of(map(GRAMMAR::PACKAGE_GRAMMAR)));
  EXPECT_EQ(entries_of(map(GRAMMAR::PGM_PCF)), keys_of(map(GRAMMAR::PGM_GRAMMAR)));
  EXPECT_EQ(entries_of(map(GRAMMAR::PGM_FAMILY_PCF)), keys_of(map(GRAMMAR::PGM_GRAMMAR)));
  EXPECT_TRUE(includes(keys_of(map(GRAMMAR::DEV_PCF)), keys_of(map(GRAMMAR::PGM_PCF))));
  EXPECT_EQ(entries_of(map(GRAMMAR::DEV_PCF)), entries_of(map(GRAMMAR::DEV_FAMILY_PCF)));
  EXPECT_EQ(keys_of(map(GRAMMAR::PGM_FAMILY_PCF)), keys_of(map(GRAMMAR::DEV_FAMILY_PCF)));
  EXPECT_TRUE(includes(keys_of(map(GRAMMAR::PGM_FAMILY_PCF)),
                       keys_of(map(GRAMMAR::DEVICE_PCF_FAMILY_PCF))));
  EXPECT_TRUE(
      includes(keys_of(map(GRAMMAR::DEV_PCF)), entries_of(map(GRAMMAR::DEVICE_PCF_FAMILY_PCF))));

  // Within each map a name stands in at most one list, and the index finds it under that key.
  for (int type = 0; type < GRAMMAR::MAX; ++type) {
    GRAMMAR_MAP* m = mgr->get_map(static_cast<GRAMMAR::PGMDEV_DDB_GRAMMAR_ENUM>(type));
    std::map<std::string, std::string> owner;
    for (const auto& [key, names] : *m) {
      EXPECT_FALSE(names.empty()) << key;
      for (const std::string& name : names) {
        EXPECT_TRUE(owner.emplace(name, key).second) << type << " " << name;
        EXPECT_EQ(mgr->get_mapping_key(name, m), owner[name]) << type << " " << name;
      }
    }
  }
}

TEST(DdbEmbedded, GrammarAnswersTheNamedExamples) {
  EXPECT_EQ(GRAMMAR::get_package_grammar("QZ40BF256C6N", true), "QZ40BF256");
  EXPECT_EQ(GRAMMAR::get_package_grammar("qz40bf256i7n", true), "QZ40BF256");
  EXPECT_EQ(GRAMMAR::get_pgm_grammar("QZ40BF256", true), "QZ40B");
  EXPECT_EQ(GRAMMAR::get_pgm_grammar("QZ40BU169", true), "QZ40B");
  EXPECT_EQ(GRAMMAR::get_pgm_pcf("QZ40B"), "QZ60B");
  EXPECT_EQ(GRAMMAR::get_pgm_pcf("QZ60B"), "QZ60B");
  EXPECT_EQ(GRAMMAR::get_dev_pcf("QZ60B_DIE"), "QZ60B");
  EXPECT_EQ(GRAMMAR::get_dev_pcf_list("QZ60B"), std::vector<std::string>{"QZ60B_DIE"});
  EXPECT_EQ(GRAMMAR::get_dev_pcf_list("QZ80C"),
            (std::vector<std::string>{"QZ80C_DIE", "QZ70C_DIE"}));  // stored order
  EXPECT_EQ(GRAMMAR::get_pgm_family_pcf("QZ40B"), "TERNFIELD_FAMILY");
  EXPECT_EQ(GRAMMAR::get_family("QZ60B"), "TERNFIELD");
}

TEST(DdbEmbedded, OpnTableLoadsAndItsIndexReturnsTheFirstPosition) {
  OPN::delete_mgr();
  OPN* mgr = OPN::get_mgr();
  const std::vector<unsigned int>& table = *mgr->M_MAP;
  ASSERT_FALSE(table.empty());
  std::map<unsigned int, unsigned int> first;
  for (unsigned int position = 0; position < table.size(); ++position) {
    first.emplace(table[position], position);
    EXPECT_EQ(OPN::get_dev_opn_enum(position), table[position]);
  }
  for (const auto& [value, position] : first) EXPECT_EQ(OPN::get_opn_enum(value), position);
  const unsigned int size = static_cast<unsigned int>(table.size());
  EXPECT_EQ(OPN::get_dev_opn_enum(size), 0xFFFFFFFFu);
  EXPECT_EQ(OPN::get_dev_opn_enum(size - 1), table.back());
}

}  // namespace
