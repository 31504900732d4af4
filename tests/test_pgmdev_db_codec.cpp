// The shared database codec: exact field bytes, the rules that differ between the two file
// kinds, bounded reading of truncated bodies, the container and whole-or-nothing writing.
#include <dirent.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <functional>
#include <iterator>
#include <string>
#include <vector>

#include "msg.h"
#include "pgmdev_db_codec.h"
#include "zlib_util.h"

namespace {

using Bytes = std::vector<unsigned char>;

// A format with the device-info rules: texts tagged 1 or 2, "" as false, any number text,
// four-byte fields tagged 0, 6 or 7.
const PGMDEV_DB_FORMAT kWide = {
    "TESTIO_W",
    "wide magic",
    "0123456789abcdef0123456789abcdef",
    "wide id size",
    "wide id mismatch",
    "wide status",
    pgmdev_db_tag_bit(PGMDEV_MANAGER_DEVID_STR) | pgmdev_db_tag_bit(PGMDEV_MANAGER_STRING),
    "wide string tag",
    "wide empty string",
    pgmdev_db_tag_bit(PGMDEV_MANAGER_DEVID_STR) | pgmdev_db_tag_bit(PGMDEV_MANAGER_STRING),
    "wide read string tag",
    true,
    "wide bool",
    false,
    false,
    pgmdev_db_tag_bit(PGMDEV_MANAGER_DEVID_ENUM) | pgmdev_db_tag_bit(PGMDEV_MANAGER_DWORD) |
        pgmdev_db_tag_bit(PGMDEV_MANAGER_ENUM),
    "wide dword tag",
};

// A format with the flash rules: texts tagged 2 only, bools "FALSE"/"TRUE" only, numbers must
// be given, four-byte fields tagged 6 only.
const PGMDEV_DB_FORMAT kNarrow = {
    "TESTIO_N",
    "narrow magic",
    "fedcba9876543210fedcba9876543210",
    "narrow id size",
    "narrow id mismatch",
    "narrow status",
    pgmdev_db_tag_bit(PGMDEV_MANAGER_STRING),
    "narrow string tag",
    "narrow empty string",
    pgmdev_db_tag_bit(PGMDEV_MANAGER_STRING),
    "narrow read string tag",
    false,
    "narrow bool",
    true,
    true,
    pgmdev_db_tag_bit(PGMDEV_MANAGER_DWORD),
    "narrow dword tag",
};

constexpr PGMDEV_DB_SITE kSite = {"pgm/pgmdev/test_site.cpp", 4242};

// Runs an operation that must fail; returns the reported condition text ("" when it did not
// fail) and checks that the report carries the caller's site.
std::string failure_of(const std::function<void()>& operation) {
  try {
    operation();
  } catch (const MSG_INTERNAL_ERROR_EXCEPTION& error) {
    EXPECT_EQ(error.file(), kSite.file);
    EXPECT_EQ(error.line(), kSite.line);
    EXPECT_EQ(error.module(), "PGMDEV");
    return error.what();
  }
  return "";
}

// Runs a writer against a roomy buffer and returns the bytes it wrote.
Bytes written_by(const std::function<void(unsigned char*, unsigned int, unsigned int&)>& write) {
  Bytes buffer(512, 0xEE);
  unsigned int index = 0;
  write(buffer.data(), static_cast<unsigned int>(buffer.size()), index);
  buffer.resize(index);
  return buffer;
}

TEST(DbCodecWriters, WriteExactBytes) {
  using C = PGMDEV_DB_CODEC;
  struct Case {
    const char* shows;
    std::function<void(unsigned char*, unsigned int, unsigned int&)> write;
    Bytes expected;
  };
  const std::string text255(255, 'x');
  Bytes long_text = {PGMDEV_MANAGER_STRING, 255};
  long_text.insert(long_text.end(), 255, 'x');
  const Case cases[] = {
      {"text with tag 2",
       [](auto d, auto s, auto& i) {
         C::dump_string(d, s, i, false, "AB", PGMDEV_MANAGER_STRING, kWide, kSite);
       },
       {2, 2, 'A', 'B'}},
      {"text with tag 1",
       [](auto d, auto s, auto& i) {
         C::dump_string(d, s, i, false, "Z", PGMDEV_MANAGER_DEVID_STR, kWide, kSite);
       },
       {1, 1, 'Z'}},
      {"empty text allowed is two bytes",
       [](auto d, auto s, auto& i) {
         C::dump_string(d, s, i, true, "", PGMDEV_MANAGER_STRING, kWide, kSite);
       },
       {2, 0}},
      {"255-byte text is the longest",
       [&](auto d, auto s, auto& i) {
         C::dump_string(d, s, i, false, text255, PGMDEV_MANAGER_STRING, kWide, kSite);
       },
       long_text},
      {"TRUE",
       [](auto d, auto s, auto& i) { C::dump_bool(d, s, i, "TRUE", kWide, kSite); },
       {3, 1}},
      {"FALSE",
       [](auto d, auto s, auto& i) { C::dump_bool(d, s, i, "FALSE", kWide, kSite); },
       {3, 0}},
      {"empty bool is false",
       [](auto d, auto s, auto& i) { C::dump_bool(d, s, i, "", kWide, kSite); },
       {3, 0}},
      {"0x1FF as a byte drops the high bits",
       [](auto d, auto s, auto& i) { C::dump_value(d, s, i, "0x1FF", 1, kWide, kSite); },
       {4, 0xFF}},
      {"0x1FF as a word, low byte first",
       [](auto d, auto s, auto& i) { C::dump_value(d, s, i, "0x1FF", 2, kWide, kSite); },
       {5, 0xFF, 0x01}},
      {"decimal as a dword",
       [](auto d, auto s, auto& i) { C::dump_value(d, s, i, "305419896", 4, kWide, kSite); },
       {6, 0x78, 0x56, 0x34, 0x12}},
      {"tagged enum number",
       [](auto d, auto s, auto& i) {
         C::dump_tagged_dword(d, s, i, PGMDEV_MANAGER_ENUM, 0xFFFFFFFFu, kSite);
       },
       {7, 0xFF, 0xFF, 0xFF, 0xFF}},
      {"untagged dword",
       [](auto d, auto s, auto& i) { C::dump_dword(d, s, i, 72, kSite); },
       {72, 0, 0, 0}},
      {"record marker",
       [](auto d, auto s, auto& i) { C::dump_marker(d, s, i, '1', kSite); },
       {'E', 'N', 'D', '1'}},
      {"database marker",
       [](auto d, auto s, auto& i) { C::dump_marker(d, s, i, '2', kSite); },
       {'E', 'N', 'D', '2'}},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(written_by(c.write), c.expected) << c.shows;
  }
}

TEST(DbCodecWriters, HeaderIsMagicIdAndMemorySize) {
  const Bytes header = written_by([](auto d, auto s, auto& i) {
    PGMDEV_DB_CODEC::dump_header(d, s, i, 0x01020304u, kWide, kSite);
  });
  Bytes expected(kWide.magic, kWide.magic + 8);
  expected.insert(expected.end(), kWide.schema_id.begin(), kWide.schema_id.end());
  for (const unsigned char byte : {4, 3, 2, 1}) expected.push_back(byte);
  EXPECT_EQ(header, expected);
}

TEST(DbCodecWriters, RefuseWithTheRuleOfTheFormat) {
  using C = PGMDEV_DB_CODEC;
  unsigned char buffer[300];
  unsigned int index = 0;
  const unsigned int size = sizeof(buffer);
  struct Case {
    const char* shows;
    std::function<void()> write;
    const char* text;
  };
  const Case cases[] = {
      {"empty text without allow_empty",
       [&] { C::dump_string(buffer, size, index, false, "", PGMDEV_MANAGER_STRING, kWide, kSite); },
       "wide empty string"},
      {"text with a number tag",
       [&] { C::dump_string(buffer, size, index, true, "A", PGMDEV_MANAGER_BYTE, kWide, kSite); },
       "wide string tag"},
      {"tag 1 where only tag 2 is written",
       [&] {
         C::dump_string(buffer, size, index, false, "A", PGMDEV_MANAGER_DEVID_STR, kNarrow, kSite);
       },
       "narrow string tag"},
      {"256-byte text is refused, not cut",
       [&] {
         C::dump_string(buffer, size, index, false, std::string(256, 'x'), PGMDEV_MANAGER_STRING,
                        kWide, kSite);
       },
       "string.size() <= 255"},
      {"lower-case true", [&] { C::dump_bool(buffer, size, index, "true", kWide, kSite); },
       "wide bool"},
      {"mixed-case True", [&] { C::dump_bool(buffer, size, index, "True", kWide, kSite); },
       "wide bool"},
      {"empty bool where it is not accepted",
       [&] { C::dump_bool(buffer, size, index, "", kNarrow, kSite); }, "narrow bool"},
      {"three-byte value", [&] { C::dump_value(buffer, size, index, "1", 3, kWide, kSite); },
       "count == 1 || count == 2 || count == 4"},
      {"empty number where one is required",
       [&] { C::dump_value(buffer, size, index, "", 4, kNarrow, kSite); }, "string.size() > 0"},
      {"no room for a dword", [&] { C::dump_dword(buffer, 3, index, 1, kSite); },
       "index + 4 <= data_size"},
      {"no room for a text's bytes",
       [&] { C::dump_string(buffer, 4, index, false, "ABC", PGMDEV_MANAGER_STRING, kWide, kSite); },
       "index + length <= data_size"},
      {"no room for a marker", [&] { C::dump_marker(buffer, 2, index, '1', kSite); },
       "index + 4 <= data_size"},
  };
  for (const Case& c : cases) {
    index = 0;
    EXPECT_EQ(failure_of(c.write), c.text) << c.shows;
  }
}

// A body with one field of every kind and both markers, written by the codec.
Bytes sample_body() {
  return written_by([](auto d, auto s, auto& i) {
    using C = PGMDEV_DB_CODEC;
    C::dump_string(d, s, i, false, "PCF1", PGMDEV_MANAGER_DEVID_STR, kWide, kSite);
    C::dump_string(d, s, i, true, "", PGMDEV_MANAGER_STRING, kWide, kSite);
    C::dump_bool(d, s, i, "TRUE", kWide, kSite);
    C::dump_value(d, s, i, "200", 1, kWide, kSite);
    C::dump_value(d, s, i, "0xBEEF", 2, kWide, kSite);
    C::dump_value(d, s, i, "0xCAFEF00D", 4, kWide, kSite);
    C::dump_tagged_dword(d, s, i, PGMDEV_MANAGER_ENUM, 37, kSite);
    C::dump_marker(d, s, i, '1', kSite);
    C::dump_marker(d, s, i, '2', kSite);
  });
}

struct SampleFields {
  std::string pcf, empty;
  bool flag = false;
  unsigned char byte = 0;
  unsigned short word = 0;
  unsigned int dword = 0, enumeration = 0;
};

SampleFields read_sample(const Bytes& body, unsigned int size) {
  using C = PGMDEV_DB_CODEC;
  SampleFields fields;
  unsigned int index = 0;
  C::get_string_data(body.data(), size, index, false, &fields.pcf, kWide, kSite);
  C::get_string_data(body.data(), size, index, true, &fields.empty, kWide, kSite);
  C::get_bool_data(body.data(), size, index, &fields.flag, kSite);
  C::get_byte_data(body.data(), size, index, &fields.byte, kSite);
  C::get_word_data(body.data(), size, index, &fields.word, kSite);
  C::get_dword_data(body.data(), size, index, &fields.dword, kWide, kSite);
  C::get_dword_data(body.data(), size, index, &fields.enumeration, kWide, kSite);
  C::confirm_marker(body.data(), size, index, '1', kSite);
  C::confirm_marker(body.data(), size, index, '2', kSite);
  EXPECT_EQ(index, size);
  return fields;
}

TEST(DbCodecReaders, ReadBackWhatTheWritersWrote) {
  const Bytes body = sample_body();
  const SampleFields fields = read_sample(body, static_cast<unsigned int>(body.size()));
  EXPECT_EQ(fields.pcf, "PCF1");
  EXPECT_EQ(fields.empty, "");
  EXPECT_TRUE(fields.flag);
  EXPECT_EQ(fields.byte, 200);
  EXPECT_EQ(fields.word, 0xBEEF);
  EXPECT_EQ(fields.dword, 0xCAFEF00Du);
  EXPECT_EQ(fields.enumeration, 37u);
}

TEST(DbCodecReaders, EveryTruncationStopsAtTheBound) {
  const Bytes body = sample_body();
  for (unsigned int size = 0; size < body.size(); ++size) {
    // Only the first `size` bytes are handed over; the rest lies beyond the reader's reach.
    const Bytes truncated(body.begin(), body.begin() + size);
    const std::string text = failure_of([&] { read_sample(truncated, size); });
    EXPECT_TRUE(text == "index + 1 <= data_size" || text == "index + 2 <= data_size" ||
                text == "index + 4 <= data_size" || text == "index + length <= data_size")
        << "size " << size << ": " << text;
  }
}

TEST(DbCodecReaders, RefuseBadTagsValuesAndMarkers) {
  using C = PGMDEV_DB_CODEC;
  struct Case {
    const char* shows;
    Bytes body;
    std::function<void(const Bytes&, unsigned int&)> read;
    const char* text;
  };
  std::string text;
  bool flag = false;
  unsigned char byte = 0;
  unsigned short word = 0;
  unsigned int dword = 0;
  auto size = [](const Bytes& b) { return static_cast<unsigned int>(b.size()); };
  const Case cases[] = {
      {"tag 9 as a text",
       {9, 0},
       [&](auto& b, auto& i) {
         C::get_string_data(b.data(), size(b), i, true, &text, kWide, kSite);
       },
       "wide read string tag"},
      {"tag 1 where only tag 2 is read",
       {1, 1, 'A'},
       [&](auto& b, auto& i) {
         C::get_string_data(b.data(), size(b), i, true, &text, kNarrow, kSite);
       },
       "narrow read string tag"},
      {"empty text not allowed",
       {2, 0},
       [&](auto& b, auto& i) {
         C::get_string_data(b.data(), size(b), i, false, &text, kWide, kSite);
       },
       "allow_empty"},
      {"tag 9 as a bool",
       {9, 0},
       [&](auto& b, auto& i) { C::get_bool_data(b.data(), size(b), i, &flag, kSite); },
       "type == PGMDEV_MANAGER_BOOL"},
      {"bool byte 2",
       {3, 2},
       [&](auto& b, auto& i) { C::get_bool_data(b.data(), size(b), i, &flag, kSite); },
       "value == 0 || value == 1"},
      {"tag 9 as a byte",
       {9, 0},
       [&](auto& b, auto& i) { C::get_byte_data(b.data(), size(b), i, &byte, kSite); },
       "type == PGMDEV_MANAGER_BYTE"},
      {"tag 9 as a word",
       {9, 0, 0},
       [&](auto& b, auto& i) { C::get_word_data(b.data(), size(b), i, &word, kSite); },
       "type == PGMDEV_MANAGER_WORD"},
      {"tag 9 as a dword",
       {9, 0, 0, 0, 0},
       [&](auto& b, auto& i) { C::get_dword_data(b.data(), size(b), i, &dword, kWide, kSite); },
       "wide dword tag"},
      {"tag 7 where only tag 6 is read",
       {7, 0, 0, 0, 0},
       [&](auto& b, auto& i) { C::get_dword_data(b.data(), size(b), i, &dword, kNarrow, kSite); },
       "narrow dword tag"},
      {"END1 with a wrong first byte",
       {'X', 'N', 'D', '1'},
       [&](auto& b, auto& i) { C::confirm_marker(b.data(), size(b), i, '1', kSite); },
       "data[index++] == 'E'"},
      {"END1 with a wrong second byte",
       {'E', 'X', 'D', '1'},
       [&](auto& b, auto& i) { C::confirm_marker(b.data(), size(b), i, '1', kSite); },
       "data[index++] == 'N'"},
      {"END1 with a wrong third byte",
       {'E', 'N', 'X', '1'},
       [&](auto& b, auto& i) { C::confirm_marker(b.data(), size(b), i, '1', kSite); },
       "data[index++] == 'D'"},
      {"END2 where END1 belongs",
       {'E', 'N', 'D', '2'},
       [&](auto& b, auto& i) { C::confirm_marker(b.data(), size(b), i, '1', kSite); },
       "data[index++] == '1'"},
      {"END1 where END2 belongs",
       {'E', 'N', 'D', '1'},
       [&](auto& b, auto& i) { C::confirm_marker(b.data(), size(b), i, '2', kSite); },
       "data[index++] == '2'"},
      {"text longer than the body",
       {2, 200, 'A'},
       [&](auto& b, auto& i) {
         C::get_string_data(b.data(), size(b), i, true, &text, kWide, kSite);
       },
       "index + length <= data_size"},
      {"cursor already past the end",
       {0, 0},
       [&](auto& b, auto& i) {
         i = 7;
         C::get_dword(b.data(), size(b), i, kSite);
       },
       "index + 4 <= data_size"},
  };
  for (const Case& c : cases) {
    unsigned int index = 0;
    EXPECT_EQ(failure_of([&] { c.read(c.body, index); }), c.text) << c.shows;
  }
}

TEST(DbCodecReaders, WideFormatAcceptsTagsZeroSixAndSeven) {
  for (const unsigned char tag : {0, 6, 7}) {
    const Bytes body = {tag, 1, 2, 3, 4};
    unsigned int index = 0;
    unsigned int value = 0;
    PGMDEV_DB_CODEC::get_dword_data(body.data(), 5, index, &value, kWide, kSite);
    EXPECT_EQ(value, 0x04030201u) << int(tag);
  }
}

TEST(DbCodecCompression, CompressKeepsThePrefixAndInflatesBack) {
  Bytes image(44, 'H');
  for (int i = 0; i < 5000; ++i) image.push_back(static_cast<unsigned char>(i % 7));
  unsigned long new_count = 0;
  const auto compressed =
      PGMDEV_DB_CODEC::compress_data(image.data(), 44, image.size(), new_count, kSite);
  ASSERT_LT(new_count, image.size());
  EXPECT_TRUE(std::equal(image.begin(), image.begin() + 44, compressed.get()));
  const auto inflated = PGMDEV_DB_CODEC::decompress_data(compressed.get() + 44, new_count - 44,
                                                         image.size() - 44, kSite);
  EXPECT_TRUE(std::equal(image.begin() + 44, image.end(), inflated.get()));

  unsigned long unused = 0;
  EXPECT_EQ(
      failure_of([&] { PGMDEV_DB_CODEC::compress_data(image.data(), 44, 44, unused, kSite); }),
      "offset < count");
  struct Case {
    const char* shows;
    unsigned long stated;
    const char* text;
  };
  const Case cases[] = {
      {"no length", 0, "decompressed_count > 0 && original_count > 0"},
      {"one byte short: the stream does not fit", image.size() - 45,
       "zlib_uncompress(decompressed_data, &new_dcmp_size, data, decompressed_count) == ZLIB_OK"},
      {"one byte long: the stream falls short", image.size() - 43,
       "new_dcmp_size == original_count"},
      {"more than zlib can inflate to", 0xFFFFFFFFul,
       "original_count <= 1032 * decompressed_count"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(failure_of([&] {
                PGMDEV_DB_CODEC::decompress_data(compressed.get() + 44, new_count - 44, c.stated,
                                                 kSite);
              }),
              c.text)
        << c.shows;
  }
  EXPECT_EQ(PGMDEV_DB_CODEC::calculate_crc16(image.data(), 8 * 44), 0);
}

// A temporary directory for file tests, removed with what it holds.
class DbCodecFiles : public ::testing::Test {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/pgmdev_db_codec_XXXXXX";
    ASSERT_NE(::mkdtemp(pattern), nullptr);
    m_dir = pattern;
  }
  void TearDown() override {
    for (const std::string& name : entries()) {
      const std::string path = m_dir + "/" + name;
      if (::rmdir(path.c_str()) != 0) ::unlink(path.c_str());
    }
    ::rmdir(m_dir.c_str());
  }
  std::vector<std::string> entries() const {
    std::vector<std::string> names;
    DIR* dir = ::opendir(m_dir.c_str());
    while (dirent* entry = dir ? ::readdir(dir) : nullptr) {
      const std::string name = entry->d_name;
      if (name != "." && name != "..") names.push_back(name);
    }
    if (dir) ::closedir(dir);
    return names;
  }
  static Bytes read_all(const std::string& path) {
    std::ifstream input(path, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(input), std::istreambuf_iterator<char>());
  }
  static void write_bytes(const std::string& path, const Bytes& bytes) {
    std::ofstream output(path, std::ios::binary | std::ios::trunc);
    output.write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
  }
  // The uncompressed image (header and body) of the sample body in format kWide.
  static Bytes sample_image() {
    const Bytes body = sample_body();
    Bytes image = written_by([&](auto d, auto s, auto& i) {
      PGMDEV_DB_CODEC::dump_header(d, s, i, static_cast<DWORD>(body.size()), kWide, kSite);
    });
    image.insert(image.end(), body.begin(), body.end());
    return image;
  }
  std::string m_dir;
};

TEST_F(DbCodecFiles, WrittenFileReadsBackToTheBody) {
  const std::string path = m_dir + "/db.pcf";
  const Bytes image = sample_image();
  PGMDEV_DB_CODEC::write_file(path, image.data(), static_cast<unsigned int>(image.size()), kSite);
  const Bytes file = read_all(path);
  ASSERT_GT(file.size(), 46u);
  EXPECT_TRUE(std::equal(image.begin(), image.begin() + 44, file.begin()));
  EXPECT_EQ(file[file.size() - 2], 0);
  EXPECT_EQ(file[file.size() - 1], 0);
  unsigned int memory_size = 0;
  const auto body = PGMDEV_DB_CODEC::read_file(path, kWide, memory_size, kSite);
  ASSERT_EQ(memory_size, image.size() - 44);
  EXPECT_TRUE(std::equal(image.begin() + 44, image.end(), body.get()));
  EXPECT_EQ(entries(), std::vector<std::string>{"db.pcf"});  // no temporary file is left
}

TEST_F(DbCodecFiles, ContainerChecksRefuseDamagedFiles) {
  const std::string path = m_dir + "/db.pcf";
  const Bytes image = sample_image();
  PGMDEV_DB_CODEC::write_file(path, image.data(), static_cast<unsigned int>(image.size()), kSite);
  const Bytes good = read_all(path);
  struct Case {
    const char* shows;
    std::function<void(Bytes&)> damage;
    const char* text;  // "" when the file must still load
  };
  std::vector<Case> cases = {
      {"46 bytes", [](Bytes& f) { f.resize(46); }, "file_size > (8 + 32 + 4 + 2)"},
      {"magic's last byte", [](Bytes& f) { f[7] ^= 1; }, "wide magic"},
      {"magic's first byte", [](Bytes& f) { f[0] = 'X'; }, "wide magic"},
      {"memory size one larger", [](Bytes& f) { f[40] += 1; }, "new_dcmp_size == original_count"},
      {"memory size zero", [](Bytes& f) { f[40] = f[41] = f[42] = f[43] = 0; },
       "decompressed_count > 0 && original_count > 0"},
      {"body stream damaged", [](Bytes& f) { f[45] ^= 0xFF; },
       "zlib_uncompress(decompressed_data, &new_dcmp_size, data, decompressed_count) == ZLIB_OK"},
      {"trailer is never examined", [](Bytes& f) { f[f.size() - 1] = 0xAB; }, ""},
  };
  for (unsigned int position = 8; position < 40; ++position) {
    cases.push_back({"one schema id character", [position](Bytes& f) { f[position] = '#'; },
                     "wide id mismatch"});
  }
  for (const Case& c : cases) {
    Bytes damaged = good;
    c.damage(damaged);
    write_bytes(path, damaged);
    unsigned int memory_size = 0;
    EXPECT_EQ(failure_of([&] { PGMDEV_DB_CODEC::read_file(path, kWide, memory_size, kSite); }),
              c.text)
        << c.shows;
  }
  unsigned int memory_size = 0;
  EXPECT_EQ(failure_of([&] {
              PGMDEV_DB_CODEC::read_file(m_dir + "/missing.pcf", kWide, memory_size, kSite);
            }),
            "wide status");
  write_bytes(path, good);
  EXPECT_EQ(failure_of([&] { PGMDEV_DB_CODEC::read_file(path, kNarrow, memory_size, kSite); }),
            "narrow magic");
}

TEST_F(DbCodecFiles, FailedWriteLeavesTheTargetAndNoTemporaryFile) {
  const Bytes image = sample_image();
  const auto size = static_cast<unsigned int>(image.size());
  // The target is a directory that holds a file: the rename fails after everything was
  // written, so the temporary file must be gone and the directory untouched.
  const std::string target = m_dir + "/db.pcf";
  ASSERT_EQ(::mkdir(target.c_str(), 0755), 0);
  const std::string inner = target + "/keep";
  write_bytes(inner, {1, 2, 3});
  EXPECT_EQ(failure_of([&] { PGMDEV_DB_CODEC::write_file(target, image.data(), size, kSite); }),
            "rename(temporary_path, target_path) == 0");
  EXPECT_EQ(entries(), std::vector<std::string>{"db.pcf"});
  EXPECT_EQ(read_all(inner), (Bytes{1, 2, 3}));
  ::unlink(inner.c_str());

  EXPECT_EQ(failure_of([&] {
              PGMDEV_DB_CODEC::write_file(m_dir + "/no/such/dir/db.pcf", image.data(), size, kSite);
            }),
            "temporary_file >= 0");

  // A run that fails before writing leaves an existing file as it was.
  const std::string existing = m_dir + "/old.pcf";
  write_bytes(existing, {9, 9});
  EXPECT_EQ(failure_of([&] { PGMDEV_DB_CODEC::write_file(existing, image.data(), 44, kSite); }),
            "offset < count");
  EXPECT_EQ(read_all(existing), (Bytes{9, 9}));
}

}  // namespace
