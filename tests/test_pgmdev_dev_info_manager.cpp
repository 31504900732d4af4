// The device-info database: schema, loading of crafted bodies, generation from CSV, lookups,
// the debug listings and the file that the build generated.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iostream>
#include <iterator>
#include <map>
#include <memory>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "cfg.h"
#include "dev_catalogue.h"
#include "msg.h"
#include "pgm_common.h"
#include "pgmdev_dev_info_manager.h"
#include "zlib_util.h"

namespace {

namespace fs = std::filesystem;
using Bytes = std::vector<unsigned char>;
using MANAGER = PGMDEV_DEV_INFO_MANAGER;
using RECORD = PGMDEV_DEV_INFO_RECORD;

constexpr char kManagerSource[] = "pgm/pgmdev/pgmdev_dev_info_manager.cpp";
constexpr char kSchemaId[] = "6d91639bb2165ce50a6e050711c1137f";
const DWORD kPartMax = DWORD(DEV_PART_MAX);

// Runs an operation that must fail inside the manager; returns the condition text ("" when it
// did not fail) and checks that the report names the manager's source file.
std::string failure_of(const std::function<void()>& operation) {
  try {
    operation();
  } catch (const MSG_INTERNAL_ERROR_EXCEPTION& error) {
    EXPECT_EQ(error.file(), kManagerSource) << error.what();
    EXPECT_EQ(error.module(), "PGMDEV");
    return error.what();
  }
  return "";
}

void put_le(Bytes& out, DWORD value, unsigned int count) {
  for (unsigned int byte = 0; byte < count; ++byte) out.push_back((value >> (8 * byte)) & 0xFF);
}

// Appends the bytes of text (without its terminator).
void put_text(Bytes& out, const std::string& text) {
  for (const char c : text) out.push_back(static_cast<unsigned char>(c));
}

Bytes read_all(const std::string& path) {
  std::ifstream input(path, std::ios::binary);
  return Bytes(std::istreambuf_iterator<char>(input), std::istreambuf_iterator<char>());
}

void write_bytes(const std::string& path, const Bytes& bytes) {
  std::ofstream output(path, std::ios::binary | std::ios::trunc);
  output.write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
}

// Collects what the manager prints on standard output while it lives.
class CaptureStdout {
 public:
  CaptureStdout() : m_old(std::cout.rdbuf(m_text.rdbuf())) {}
  ~CaptureStdout() { std::cout.rdbuf(m_old); }
  std::string text() const { return m_text.str(); }

 private:
  std::ostringstream m_text;
  std::streambuf* m_old;
};

// ---------------------------------------------------------------------------------------------
// Crafted bodies: records and tables encoded here, byte by byte, so that a test can change one
// thing and see the check that refuses it.

struct CraftedRecord {
  DWORD family = 0;
  std::string pcf;
  DWORD device = 0;
  DWORD part = 0;
  std::map<std::string, DWORD> numbers;      // bool, byte, word, dword and enum columns
  std::map<std::string, std::string> texts;  // text columns other than pcf
};

struct CraftedBody {
  DWORD version = 1;
  DWORD declared_records = 0;  // 0: the number of records
  DWORD columns = 86;
  std::vector<CraftedRecord> records;
  std::vector<DWORD> family_table = std::vector<DWORD>(DEV_FAMILY_MAX, INVALID_DWORD);
  std::vector<DWORD> device_table = std::vector<DWORD>(DEV_DEVICE_MAX, INVALID_DWORD);
  std::vector<DWORD> part_table = std::vector<DWORD>(kPartMax, INVALID_DWORD);
  Bytes after_records;  // bytes slipped in between "END2" and the tables

  // Where the parts of the encoded body start.
  struct Layout {
    std::vector<size_t> record_start;
    size_t database_end = 0;  // offset of "END2"
    size_t tables = 0;        // offset of the family table's tag
  };

  Bytes encode(Layout* layout = nullptr) const {
    Layout where;
    Bytes body;
    put_le(body, version, 4);
    put_le(body, declared_records ? declared_records : DWORD(records.size()), 4);
    put_le(body, columns, 4);
    for (const CraftedRecord& record : records) {
      where.record_start.push_back(body.size());
      encode_record(body, record);
      put_text(body, "END1");
    }
    where.database_end = body.size();
    put_text(body, "END2");
    body.insert(body.end(), after_records.begin(), after_records.end());
    where.tables = body.size();
    encode_table(body, PGMDEV_MANAGER_FAMILY_TBL, family_table);
    encode_table(body, PGMDEV_MANAGER_DEVICE_TBL, device_table);
    encode_table(body, PGMDEV_MANAGER_PART_TBL, part_table);
    if (layout) *layout = where;
    return body;
  }

  static void encode_record(Bytes& body, const CraftedRecord& record) {
    for (DWORD i = 0; i < TOTAL_DEVICE_DATABASE_MEMBER; ++i) {
      const std::string name = MANAGER::m_db_name_list[i];
      const PGMDEV_MANAGER_TYPE type = MANAGER::m_db_type_list[i];
      const auto number = record.numbers.find(name);
      const DWORD value = number == record.numbers.end() ? 0 : number->second;
      body.push_back(static_cast<unsigned char>(type == PGMDEV_MANAGER_DEVID_ENUM ? 7 : type));
      switch (type) {
        case PGMDEV_MANAGER_DEVID_ENUM:
          put_le(body,
                 name == "family"   ? record.family
                 : name == "device" ? record.device
                                    : record.part,
                 4);
          break;
        case PGMDEV_MANAGER_DEVID_STR:
        case PGMDEV_MANAGER_STRING: {
          const auto text = record.texts.find(name);
          const std::string value_text = name == "pcf"                ? record.pcf
                                         : text == record.texts.end() ? ""
                                                                      : text->second;
          body.push_back(static_cast<unsigned char>(value_text.size()));
          body.insert(body.end(), value_text.begin(), value_text.end());
          break;
        }
        case PGMDEV_MANAGER_BOOL:
        case PGMDEV_MANAGER_BYTE:
          put_le(body, value, 1);
          break;
        case PGMDEV_MANAGER_WORD:
          put_le(body, value, 2);
          break;
        default:
          put_le(body, value, 4);
          break;
      }
    }
  }

  static void encode_table(Bytes& body, PGMDEV_MANAGER_TYPE tag,
                           const std::vector<DWORD>& entries) {
    body.push_back(static_cast<unsigned char>(tag));
    put_le(body, DWORD(entries.size()), 4);
    for (const DWORD entry : entries) put_le(body, entry, 4);
  }
};

// The container around a body: header, zlib stream, zero trailer.
Bytes file_image(const Bytes& body) {
  Bytes image;
  put_text(image, "PGMIO_DM");
  put_text(image, kSchemaId);
  put_le(image, DWORD(body.size()), 4);
  unsigned int capacity = static_cast<unsigned int>(body.size() * 2 + 64);
  Bytes compressed(capacity);
  EXPECT_EQ(zlib_compress(compressed.data(), &capacity, body.data(), DWORD(body.size())), ZLIB_OK);
  image.insert(image.end(), compressed.begin(), compressed.begin() + capacity);
  put_le(image, 0, 2);
  return image;
}

// Three records: a family's, a configuration name's and the generic device's; every family
// maps to the first, every device to the second (the generic one to the third), every part to
// the first. A few columns carry values that show how the listing prints them.
CraftedBody small_body() {
  CraftedBody body;
  CraftedRecord family;
  family.family = 1;
  family.numbers = {{"skip_pof_bitstream_conversion", 1},
                    {"jtag_program_initialize_microsec", 1000},
                    {"ps_cmp_dclk_ratio", 200},
                    {"dummy_word", 65535},
                    {"ekp_alg_family", INVALID_DWORD}};
  family.texts = {{"asc_voltage", "3.3V"}};
  CraftedRecord pcf;
  pcf.pcf = "PCF_X";
  pcf.numbers = {{"use_sdm", 1}, {"flash_width_bits", 32}, {"cmp_fbgen_start_block", 37}};
  pcf.texts = {{"support_asc_ini", "INI_A"}, {"cfg_dev", "CFG"}};
  CraftedRecord generic_device;
  generic_device.device = DEV_DEVICE_GENERIC;
  generic_device.numbers = {{"dummy_dword", 7}};
  body.records = {family, pcf, generic_device};
  for (DWORD& entry : body.family_table) entry = 0;
  for (DWORD& entry : body.device_table) entry = 1;
  body.device_table[DEV_DEVICE_GENERIC] = 2;
  for (DWORD& entry : body.part_table) entry = 0;
  return body;
}

// A scratch directory that the device data directory and the installation root point to.
class DevInfoDir : public ::testing::Test {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/pgmdev_dev_info_XXXXXX";
    ASSERT_NE(::mkdtemp(pattern), nullptr);
    m_dir = pattern;
    fs::create_directories(m_dir + "/programmer");
    fs::create_directories(m_dir + "/h");
    cfg_set_value("PGMDEV_DEVICE_DB_DIR", m_dir);
    cfg_set_value("PGMDEV_INSTALL_DIR", m_dir);
    PGM_COMMON::clear_outbox();
  }
  void TearDown() override {
    cfg_unset_value("PGMDEV_DEVICE_DB_DIR");
    cfg_unset_value("PGMDEV_INSTALL_DIR");
    fs::remove_all(m_dir);
  }
  std::string db_path() const { return m_dir + "/programmer/pgm_dev_info.pcf"; }

  void install(const Bytes& body) { write_bytes(db_path(), file_image(body)); }

  // Loads an installed body; returns the failure text, "" when it loaded.
  std::string load_failure(const Bytes& body) {
    install(body);
    return failure_of([] { MANAGER manager(false, 0); });
  }

  std::string m_dir;
};

// ---------------------------------------------------------------------------------------------
// Schema.

TEST(DevInfoSchema, ListsFollowTheColumns) {
  EXPECT_STREQ(MANAGER::m_db_name_list[0], "family");
  EXPECT_STREQ(MANAGER::m_db_name_list[1], "pcf");
  EXPECT_STREQ(MANAGER::m_db_name_list[3], "part");
  EXPECT_STREQ(MANAGER::m_db_name_list[60], "cfg_dev");
  EXPECT_STREQ(MANAGER::m_db_name_list[85], "dummy_bool");
  std::map<PGMDEV_MANAGER_TYPE, int> per_type;
  std::set<std::string> names;
  for (DWORD i = 0; i < TOTAL_DEVICE_DATABASE_MEMBER; ++i) {
    ++per_type[MANAGER::m_db_type_list[i]];
    names.insert(MANAGER::m_db_name_list[i]);
  }
  EXPECT_EQ(names.size(), 86u);
  EXPECT_EQ(per_type[PGMDEV_MANAGER_DEVID_ENUM], 3);
  EXPECT_EQ(per_type[PGMDEV_MANAGER_DEVID_STR], 1);
  EXPECT_EQ(per_type[PGMDEV_MANAGER_STRING], 4);
  EXPECT_EQ(per_type[PGMDEV_MANAGER_BOOL], 37);
  EXPECT_EQ(per_type[PGMDEV_MANAGER_BYTE], 10);
  EXPECT_EQ(per_type[PGMDEV_MANAGER_WORD], 1);
  EXPECT_EQ(per_type[PGMDEV_MANAGER_DWORD] + per_type[PGMDEV_MANAGER_ENUM], 30);
  EXPECT_EQ(per_type[PGMDEV_MANAGER_ENUM], 6);
  // A record with empty texts takes 276 body bytes: check the crafted encoding agrees.
  Bytes record;
  CraftedBody::encode_record(record, CraftedRecord{});
  EXPECT_EQ(record.size() + 4, 276u);
}

TEST(DevInfoSchema, NameTablesComeFromTheCatalogue) {
  const auto& families = MANAGER::m_supported_family_list;
  ASSERT_EQ(families.size(), 73u);
  for (int family = 1; family <= 71; ++family) {
    EXPECT_EQ(families[family - 1].name, dstr_get_family_identifier(DEV_FAMILY_ENUM(family)));
    EXPECT_EQ(families[family - 1].id, DWORD(family));
  }
  EXPECT_EQ(families[71].name, "GENERIC");
  EXPECT_EQ(families[71].id, 72u);
  EXPECT_EQ(families[72].name, "");
  EXPECT_EQ(families[72].id, 0u);

  ASSERT_EQ(MANAGER::m_supported_device_list.size(), 2u);
  EXPECT_EQ(MANAGER::m_supported_device_list[0].id, 990u);
  EXPECT_EQ(MANAGER::m_supported_part_list[0].id, DWORD(DEV_PART_GENERIC));
  EXPECT_EQ(MANAGER::m_supported_part_list[1].id, DWORD(DEV_PART_INVALID));

  auto family_row = [](int family) {
    return std::make_pair("DEV_FAMILY_" + dstr_get_family_identifier(DEV_FAMILY_ENUM(family)),
                          DWORD(family));
  };
  const std::vector<std::pair<std::string, DWORD>> expected = {family_row(6),
                                                               family_row(65),
                                                               family_row(61),
                                                               family_row(50),
                                                               {"NPCF_BLOCK_CRAM", 37},
                                                               {"NPCF_BLOCK_ERAM", 38},
                                                               {"NPCF_BLOCK_CB_HEADER2", 6},
                                                               {"PGMIO_ZEPHA_X8", 20},
                                                               family_row(54),
                                                               family_row(63),
                                                               family_row(71),
                                                               {"NPCF_BLOCK_POSTAMBLE", 39},
                                                               {"", INVALID_DWORD}};
  ASSERT_EQ(MANAGER::m_supported_enum_list.size(), expected.size());
  for (size_t row = 0; row < expected.size(); ++row) {
    EXPECT_EQ(MANAGER::m_supported_enum_list[row].name, expected[row].first) << row;
    EXPECT_EQ(MANAGER::m_supported_enum_list[row].id, expected[row].second) << row;
  }
}

// ---------------------------------------------------------------------------------------------
// Loading crafted bodies.

TEST_F(DevInfoDir, CraftedBodyLoadsRecordsAndTables) {
  install(small_body().encode());
  MANAGER manager(false, 0);
  EXPECT_EQ(manager.m_version, 1u);
  EXPECT_EQ(manager.m_device_count, 3u);
  EXPECT_EQ(manager.m_type_count, 86u);
  const RECORD& family = manager.m_device_database[0];
  EXPECT_EQ(family.family, 1);
  EXPECT_TRUE(family.skip_pof_bitstream_conversion);
  EXPECT_EQ(family.jtag_program_initialize_microsec, 1000u);
  EXPECT_EQ(family.ps_cmp_dclk_ratio, 200);
  EXPECT_EQ(family.dummy_word, 65535);
  EXPECT_EQ(family.asc_voltage, "3.3V");
  EXPECT_EQ(manager.m_device_database[1].pcf, "PCF_X");
  EXPECT_EQ(manager.m_device_database[2].device, DEV_DEVICE_GENERIC);
  EXPECT_EQ(manager.m_device_table[DEV_DEVICE_GENERIC], 2u);
  EXPECT_EQ(manager.m_part_table[kPartMax - 1], 0u);
}

TEST_F(DevInfoDir, LoaderAcceptsAnyRecordCountAndLookupsStayWithinIt) {
  // More records than a generated file holds: all are loaded and reachable.
  CraftedBody many = small_body();
  while (many.records.size() < 80) many.records.push_back(many.records[1]);
  many.records.back().pcf = "LAST";
  many.family_table[5] = 79;
  install(many.encode());
  {
    MANAGER manager(false, 0);
    EXPECT_EQ(manager.m_device_count, 80u);
    const std::unique_ptr<RECORD> last(manager.get_db_by_family(DEV_FAMILY_ENUM(5)));
    ASSERT_NE(last, nullptr);
    EXPECT_EQ(last->pcf, "LAST");
  }
  // A table entry beyond the records held is refused at the lookup, never read.
  CraftedBody dangling = small_body();
  dangling.family_table[5] = 3;
  install(dangling.encode());
  MANAGER manager(false, 0);
  EXPECT_EQ(failure_of([&] { manager.get_db_by_family(DEV_FAMILY_ENUM(5)); }),
            "m_index < m_device_count");
}

TEST_F(DevInfoDir, CraftedBodiesAreRefusedWithTheirConditionText) {
  struct Case {
    const char* shows;
    std::function<void(CraftedBody&)> change;                         // on the crafted body
    std::function<void(Bytes&, const CraftedBody::Layout&)> corrupt;  // on its bytes
    const char* text;
  };
  const Case cases[] = {
      {"version 2", [](CraftedBody& b) { b.version = 2; }, nullptr,
       "Mismatch version between device file and reader"},
      {"no records declared", nullptr,
       [](Bytes& bytes, const CraftedBody::Layout&) { bytes[4] = bytes[5] = 0; },
       "m_device_count > 0 && m_type_count > 0"},
      {"no columns declared", [](CraftedBody& b) { b.columns = 0; }, nullptr,
       "m_device_count > 0 && m_type_count > 0"},
      {"more records declared than the body can hold",
       [](CraftedBody& b) { b.declared_records = 0x00FFFFFF; }, nullptr,
       "m_device_count * 276 <= data_size - index"},
      {"one record more declared than written", [](CraftedBody& b) { b.declared_records = 4; },
       nullptr,
       "type == PGMDEV_MANAGER_DEVID_ENUM || type == PGMDEV_MANAGER_DWORD || "
       "type == PGMDEV_MANAGER_ENUM"},
      {"one record fewer declared than written", [](CraftedBody& b) { b.declared_records = 2; },
       nullptr, "data[index++] == 'E'"},
      {"a bool byte of 2", nullptr,
       [](Bytes& bytes, const CraftedBody::Layout& at) {
         bytes[at.record_start[0] + 5 + 2 + 5 + 5 + 1] = 2;  // skip_pof_bitstream_conversion
       },
       "value == 0 || value == 1"},
      {"tag 9 in the pcf column", nullptr,
       [](Bytes& bytes, const CraftedBody::Layout& at) { bytes[at.record_start[1] + 5] = 9; },
       "type == PGMDEV_MANAGER_DEVID_STR || type == PGMDEV_MANAGER_STRING"},
      {"tag 9 in the family column", nullptr,
       [](Bytes& bytes, const CraftedBody::Layout& at) { bytes[at.record_start[2]] = 9; },
       "type == PGMDEV_MANAGER_DEVID_ENUM || type == PGMDEV_MANAGER_DWORD || "
       "type == PGMDEV_MANAGER_ENUM"},
      {"END1 damaged in its last byte", nullptr,
       [](Bytes& bytes, const CraftedBody::Layout& at) { bytes[at.record_start[1] - 1] = '2'; },
       "data[index++] == '1'"},
      {"END1 damaged in its second byte", nullptr,
       [](Bytes& bytes, const CraftedBody::Layout& at) { bytes[at.record_start[1] - 3] = 'M'; },
       "data[index++] == 'N'"},
      {"END2 damaged in its last byte", nullptr,
       [](Bytes& bytes, const CraftedBody::Layout& at) { bytes[at.database_end + 3] = '1'; },
       "data[index++] == '2'"},
      {"a byte between END2 and the tables", [](CraftedBody& b) { b.after_records = {0}; }, nullptr,
       "index == m_csv_memory_size"},
      {"family table tag", nullptr,
       [](Bytes& bytes, const CraftedBody::Layout& at) { bytes[at.tables] = 9; },
       "data[index++] == PGMDEV_MANAGER_FAMILY_TBL"},
      {"family table count 72",
       [](CraftedBody& b) {
         b.family_table.pop_back();
         b.part_table.push_back(0);
       },
       nullptr, "get_dword(data, index) == DWORD(DEV_FAMILY_MAX)"},
      {"device table tag", nullptr,
       [](Bytes& bytes, const CraftedBody::Layout& at) { bytes[at.tables + 5 + 4 * 73] = 8; },
       "data[index++] == PGMDEV_MANAGER_DEVICE_TBL"},
      {"device table count 992",
       [](CraftedBody& b) {
         b.device_table.push_back(0);
         b.part_table.pop_back();
       },
       nullptr, "get_dword(data, index) == DWORD(DEV_DEVICE_MAX)"},
      {"part table tag", nullptr,
       [](Bytes& bytes, const CraftedBody::Layout& at) {
         bytes[at.tables + 10 + 4 * (73 + 991)] = 10;
       },
       "data[index++] == PGMDEV_MANAGER_PART_TBL"},
      {"part table count one more", nullptr,
       [](Bytes& bytes, const CraftedBody::Layout& at) {
         bytes[at.tables + 10 + 4 * (73 + 991) + 1] += 1;
       },
       "get_dword(data, index) == DWORD(DEV_PART_MAX)"},
      {"tables of a catalogue with one part more: the records seem to end elsewhere",
       [](CraftedBody& b) { b.part_table.push_back(0); }, nullptr, "index == m_csv_memory_size"},
  };
  for (const Case& c : cases) {
    CraftedBody body = small_body();
    if (c.change) c.change(body);
    CraftedBody::Layout layout;
    Bytes bytes = body.encode(&layout);
    if (c.corrupt) c.corrupt(bytes, layout);
    EXPECT_EQ(load_failure(bytes), c.text) << c.shows;
  }
}

TEST_F(DevInfoDir, BodyOfAnotherCatalogueIsRefusedAtThePartTable) {
  CraftedBody body = small_body();
  body.part_table.push_back(0);
  CraftedBody::Layout layout;
  Bytes bytes = body.encode(&layout);
  MANAGER manager(true, 0);
  manager.m_csv_memory_size = DWORD(layout.tables);
  EXPECT_EQ(failure_of([&] { manager.parse_database(bytes.data(), DWORD(bytes.size()), false); }),
            "get_dword(data, index) == DWORD(DEV_PART_MAX)");
}

TEST_F(DevInfoDir, SchemaMismatchesPerRecordAreRefused) {
  // One column more: the extra field meets the END1 check. One column fewer: the marker's
  // first byte meets the last column's tag check.
  CraftedBody body = small_body();
  CraftedBody::Layout layout;
  Bytes bytes = body.encode(&layout);
  Bytes extra = bytes;
  const Bytes bool_field = {PGMDEV_MANAGER_BOOL, 0};
  extra.insert(extra.begin() + long(layout.record_start[1]) - 4, bool_field.begin(),
               bool_field.end());
  EXPECT_EQ(load_failure(extra), "data[index++] == 'E'");
  Bytes fewer = bytes;
  fewer.erase(fewer.begin() + long(layout.record_start[1]) - 6,
              fewer.begin() + long(layout.record_start[1]) - 4);
  EXPECT_EQ(load_failure(fewer), "type == PGMDEV_MANAGER_BOOL");
}

TEST_F(DevInfoDir, EveryTruncationOfTheBodyIsRefusedInBounds) {
  CraftedBody::Layout layout;
  const Bytes body = small_body().encode(&layout);
  const std::set<std::string> bounds = {
      "index + 1 <= data_size",         "index + 2 <= data_size",
      "index + 4 <= data_size",         "index + length <= data_size",
      "index + 4 * count <= data_size", "m_device_count * 276 <= data_size - index"};
  MANAGER manager(true, 0);
  manager.m_csv_memory_size = DWORD(layout.tables);
  for (size_t length = 0; length < body.size(); ++length) {
    // Parse exactly `length` bytes of a copy, so that any read past them is a read outside
    // the buffer (seen by the sanitizers), not a read of the rest of the body.
    std::unique_ptr<unsigned char[]> cut(new unsigned char[length + 1]);
    std::copy(body.begin(), body.begin() + long(length), cut.get());
    manager.m_device_database.reset();
    const std::string text =
        failure_of([&] { manager.parse_database(cut.get(), DWORD(length), false); });
    EXPECT_TRUE(bounds.count(text)) << "length " << length << ": " << text;
  }
}

TEST_F(DevInfoDir, ContainerOfTheDeviceInfoFileIsChecked) {
  const Bytes good = file_image(small_body().encode());
  struct Case {
    const char* shows;
    std::function<void(Bytes&)> damage;
    const char* text;
  };
  const Case cases[] = {
      {"46 bytes", [](Bytes& f) { f.resize(46); }, "file_size > (8 + 32 + 4 + 2)"},
      {"flash magic", [](Bytes& f) { f[6] = 'F'; },
       "data[index++] == 'P' && data[index++] == 'G' && data[index++] == 'M' && "
       "data[index++] == 'I' && data[index++] == 'O' && data[index++] == '_' && "
       "data[index++] == 'D' && data[index++] == 'M'"},
      {"last schema id character", [](Bytes& f) { f[39] = 'e'; },
       "Mismatch ID between device file and reader"},
      {"body shorter than the tables",
       [](Bytes& f) {
         Bytes small(100, 0);
         f = file_image(small);
       },
       "memory_size > get_table_size()"},
  };
  for (const Case& c : cases) {
    Bytes file = good;
    c.damage(file);
    write_bytes(db_path(), file);
    EXPECT_EQ(failure_of([] { MANAGER manager(false, 0); }), c.text) << c.shows;
  }
  fs::remove(db_path());
  EXPECT_EQ(failure_of([] { MANAGER manager(false, 0); }),
            "FIO_FILE_SYSTEM::exists(device_file.fullpath().c_str()) && "
            "FIO_FILE_SYSTEM::status(device_file.fullpath().c_str(), &stat_info)");
}

// ---------------------------------------------------------------------------------------------
// Generation from CSV.

using Row = std::vector<std::string>;

// Cell values of a data row, by seed and column: every kind of cell occurs across the rows.
std::string cell_for(PGMDEV_MANAGER_TYPE type, DWORD seed, DWORD column) {
  const DWORD value = seed * 131 + column * 7;
  switch (type) {
    case PGMDEV_MANAGER_STRING:
      return (seed + column) % 3 == 0 ? "" : "T" + std::to_string(value);
    case PGMDEV_MANAGER_BOOL:
      return (seed + column) % 3 == 0 ? "" : (seed + column) % 3 == 1 ? "TRUE" : "FALSE";
    case PGMDEV_MANAGER_BYTE:
      return std::to_string(value % 512);  // above 255 the high bits are dropped
    case PGMDEV_MANAGER_WORD: {
      std::ostringstream hex;
      hex << "0x" << std::hex << (value * 97 % 0x10000);
      return hex.str();
    }
    case PGMDEV_MANAGER_DWORD:
      return std::to_string(value * 100003u);
    case PGMDEV_MANAGER_ENUM: {
      const char* names[] = {"", "NPCF_BLOCK_CRAM", "PGMIO_ZEPHA_X8", "NPCF_BLOCK_POSTAMBLE"};
      return names[(seed + column) % 4];
    }
    default:
      return "";
  }
}

// One data row: the identifier cells as given, the others from the seed.
Row data_row(const std::string& family, const std::string& pcf, const std::string& device,
             const std::string& part, DWORD seed) {
  Row row;
  for (DWORD i = 0; i < TOTAL_DEVICE_DATABASE_MEMBER; ++i) {
    row.push_back(cell_for(MANAGER::m_db_type_list[i], seed, i));
  }
  row[0] = family;
  row[1] = pcf;
  row[2] = device;
  row[3] = part;
  return row;
}

// A valid CSV: type row, upper-case name row, then 71 family rows (record f - 1 for family f),
// the generic family (71), four configuration names PCF_A to PCF_D (72 to 75), the generic
// device (76) and the generic part (77).
std::vector<Row> valid_csv() {
  const char* type_names[] = {"DEVID_ENUM", "DEVID_STR", "STL_STRING", "bool",
                              "BYTE",       "WORD",      "DWORD",      "ENUM"};
  Row types, names;
  for (DWORD i = 0; i < TOTAL_DEVICE_DATABASE_MEMBER; ++i) {
    types.push_back(type_names[MANAGER::m_db_type_list[i]]);
    std::string name = MANAGER::m_db_name_list[i];
    for (char& c : name) c = char(std::toupper(c));
    names.push_back(name);
  }
  std::vector<Row> rows = {types, names};
  for (int family = 1; family <= 71; ++family) {
    rows.push_back(
        data_row(dstr_get_family_identifier(DEV_FAMILY_ENUM(family)), "", "", "", family));
  }
  rows.push_back(data_row("GENERIC", "", "", "", 72));
  for (const char* pcf : {"PCF_A", "PCF_B", "PCF_C", "PCF_D"}) {
    rows.push_back(data_row("", pcf, "", "", DWORD(rows.size())));
  }
  rows.push_back(data_row("", "", "GENERIC", "", 76));
  rows.push_back(data_row("", "", "", "GENERIC", 77));
  return rows;
}

std::string csv_text(const std::vector<Row>& rows) {
  std::string text;
  for (const Row& row : rows) {
    for (size_t i = 0; i < row.size(); ++i) text += (i ? "," : "") + row[i];
    text += "\n";
  }
  return text;
}

// A part of the catalogue, its device and the device's family.
struct CatalogueChain {
  DEV_PART_ENUM part;
  DEV_DEVICE_ENUM device;
  DEV_FAMILY_ENUM family;
};

// The n-th part (counted from 0) whose device is a real device of a real family, each part
// on a device of its own.
CatalogueChain catalogue_chain(int n) {
  const DEV_PART_MANAGER catalogue;
  std::set<DEV_DEVICE_ENUM> seen;
  for (DWORD part = 1; part < kPartMax; ++part) {
    if (part == DWORD(DEV_PART_GENERIC)) continue;
    const DEV_DEVICE_ENUM device = catalogue.get_device_of(DEV_PART_ENUM(part));
    if (device == DEV_DEVICE_INVALID || device == DEV_DEVICE_GENERIC) continue;
    const DEV_FAMILY_ENUM family = catalogue.get_family_of(device);
    if (family == DEV_FAMILY_INVALID || family == DEV_FAMILY_GENERIC) continue;
    if (!seen.insert(device).second) continue;
    if (n-- == 0) return {DEV_PART_ENUM(part), device, family};
  }
  ADD_FAILURE() << "the catalogue has too few parts";
  return {};
}

class DevInfoGeneration : public DevInfoDir {
 protected:
  std::string csv_path() const { return m_dir + "/pgm_dev_info.csv"; }
  void write_csv(const std::string& text) { std::ofstream(csv_path(), std::ios::trunc) << text; }
  void write_parts(const std::string& text) {
    std::ofstream(m_dir + "/h/pgm_parts.txt", std::ios::trunc) << text;
  }
  // Generates the database from the CSV text into the device data directory.
  void generate(const std::string& text) {
    write_csv(text);
    MANAGER generator(true, 0);
    generator.generate_device_database(csv_path(), db_path());
  }
  std::string generation_failure(const std::string& text) {
    write_csv(text);
    return failure_of([&] {
      MANAGER generator(true, 0);
      generator.generate_device_database(csv_path(), db_path());
    });
  }
  // A parts-list line for a part and its device.
  static std::string parts_line(const CatalogueChain& chain, const std::string& pcf) {
    return dstr_get_user_string(chain.part) + " " + dstr_get_user_string(chain.device) +
           " PKG 100 6 C " + pcf + "\n";
  }
};

TEST_F(DevInfoGeneration, CsvRoundTripsThroughTheFile) {
  const std::vector<Row> rows = valid_csv();
  write_csv(csv_text(rows));
  MANAGER generator(true, 0);
  generator.generate_device_database(csv_path(), db_path());
  const Bytes first_file = read_all(db_path());
  MANAGER loaded(false, 0);
  ASSERT_EQ(loaded.m_device_count, 78u);
  unsigned int rows_checked = 0;
  EXPECT_EQ(loaded.m_csv_memory_size, generator.check_device_file(csv_path(), rows_checked));
  EXPECT_EQ(rows_checked, 78u);
  for (DWORD r = 0; r < 78; ++r) {
    const Row& row = rows[r + 2];
    const RECORD& record = loaded.m_device_database[r];
    // Cells read back through the record's members.
    EXPECT_EQ(record.pcf, row[1]) << r;
    EXPECT_EQ(record.support_asc_ini, row[14]) << r;
    EXPECT_EQ(record.skip_pof_bitstream_conversion, row[4] == "TRUE") << r;
    EXPECT_EQ(record.ps_cmp_dclk_ratio, std::stoul(row[33]) & 0xFF) << r;
    EXPECT_EQ(record.dummy_word, std::stoul(row[83], nullptr, 16)) << r;
    EXPECT_EQ(record.jtag_program_initialize_microsec, std::stoul(row[23])) << r;
    const std::map<std::string, DWORD> enum_numbers = {{"", INVALID_DWORD},
                                                       {"NPCF_BLOCK_CRAM", 37},
                                                       {"PGMIO_ZEPHA_X8", 20},
                                                       {"NPCF_BLOCK_POSTAMBLE", 39}};
    EXPECT_EQ(record.ekp_alg_family, enum_numbers.at(row[32])) << r;
    // The generator's own records (parsed back from what it wrote) equal the loaded ones.
    std::ostringstream generated_line, loaded_line;
    {
      CaptureStdout capture;
      generator.print_database(r, "x");
      generated_line << capture.text();
    }
    {
      CaptureStdout capture;
      loaded.print_database(r, "x");
      loaded_line << capture.text();
    }
    EXPECT_EQ(generated_line.str(), loaded_line.str());
  }
  EXPECT_EQ(loaded.m_device_database[70].family, DEV_FAMILY_ENUM(71));
  EXPECT_EQ(loaded.m_device_database[71].family, DEV_FAMILY_GENERIC);
  EXPECT_EQ(loaded.m_device_database[76].device, DEV_DEVICE_GENERIC);
  EXPECT_EQ(loaded.m_device_database[77].part, DEV_PART_GENERIC);
  for (DWORD f = 0; f < 73; ++f) EXPECT_EQ(loaded.m_family_table[f], generator.m_family_table[f]);
  for (DWORD d = 0; d < 991; ++d) EXPECT_EQ(loaded.m_device_table[d], generator.m_device_table[d]);
  for (DWORD p = 0; p < kPartMax; ++p) EXPECT_EQ(loaded.m_part_table[p], generator.m_part_table[p]);

  // Generating again from the same CSV writes the same bytes.
  generate(csv_text(rows));
  EXPECT_EQ(read_all(db_path()), first_file);
  // Nothing but the database is left in its directory.
  EXPECT_EQ(std::distance(fs::directory_iterator(m_dir + "/programmer"), fs::directory_iterator()),
            1);
}

TEST_F(DevInfoGeneration, TablesFollowFamiliesPartsListAndCatalogue) {
  const CatalogueChain mapped = catalogue_chain(0);
  const CatalogueChain unknown_pcf = catalogue_chain(1);
  const CatalogueChain plain = catalogue_chain(2);
  // Comments (also indented), a data line with "//" later in it, a second line for the same
  // device (ignored), a configuration name in another letter case, and one with no record.
  write_parts(
      "// part device package pins speed temperature pcf\n"
      "   // indented comment, not seven cells\n"
      "\n" +
      parts_line(mapped, "pcf_b") + parts_line(mapped, "PCF_C") +
      parts_line(unknown_pcf, "NO_SUCH_PCF") + "NOPART NODEVICE // x y z PCF_D\n");
  generate(csv_text(valid_csv()));
  MANAGER manager(false, 0);

  // Families: their own rows; 0 to the first record without a family (PCF_A).
  for (int family = 1; family <= 72; ++family) {
    EXPECT_EQ(manager.m_family_table[family], DWORD(family - 1)) << family;
  }
  EXPECT_EQ(manager.m_family_table[0], 72u);
  // Devices: the parts list's record, else the family's; 990 to the generic device's row; 0 to
  // the first record without a device.
  EXPECT_EQ(manager.m_device_table[mapped.device], 73u);  // PCF_B
  EXPECT_EQ(manager.m_device_table[unknown_pcf.device], DWORD(unknown_pcf.family - 1));
  EXPECT_EQ(manager.m_device_table[plain.device], DWORD(plain.family - 1));
  EXPECT_EQ(manager.m_device_table[DEV_DEVICE_GENERIC], 76u);
  EXPECT_EQ(manager.m_device_table[0], 0u);
  // Parts: their device's entry; the generic part to its row; the invalid part to record 0.
  EXPECT_EQ(manager.m_part_table[mapped.part], 73u);
  EXPECT_EQ(manager.m_part_table[plain.part], DWORD(plain.family - 1));
  EXPECT_EQ(manager.m_part_table[DWORD(DEV_PART_GENERIC)], 77u);
  EXPECT_EQ(manager.m_part_table[DWORD(DEV_PART_INVALID)], 0u);

  MANAGER generator(true, 0);
  write_csv(csv_text(valid_csv()));
  generator.generate_device_database(csv_path(), m_dir + "/again.pcf");
  ASSERT_EQ(generator.m_pcf_map_list.size(), 4u);  // the comment lines are skipped
  EXPECT_EQ(generator.m_pcf_map_list[3]->part, DEV_PART_INVALID);
  EXPECT_EQ(generator.m_pcf_map_list[3]->device, DEV_DEVICE_INVALID);
  EXPECT_EQ(generator.m_pcf_map_list[3]->pcf, "PCF_D");
  EXPECT_TRUE(generator.search_pcf_for_part(mapped.part));
  EXPECT_EQ(generator.m_index, 73u);
  EXPECT_FALSE(generator.search_pcf_for_device(unknown_pcf.device));
  EXPECT_EQ(generator.m_index, INVALID_DWORD);
  EXPECT_FALSE(generator.search_pcf_for_device(DEV_DEVICE_INVALID));
  EXPECT_FALSE(generator.search_pcf_for_part(DEV_PART_INVALID));
  // The last entry names no part and no device, so it is never taken for number 0.
  EXPECT_EQ(generator.m_index, INVALID_DWORD);
}

TEST_F(DevInfoGeneration, PartsListLineWithoutItsSevenCellsIsRefused) {
  const CatalogueChain mapped = catalogue_chain(0);
  const std::string part = dstr_get_user_string(mapped.part);
  const std::string device = dstr_get_user_string(mapped.device);
  for (const std::string& short_line :
       {part + " " + device + " PKG 100 6 C\n", part + "," + device + "\n", part + "\n"}) {
    write_parts(parts_line(mapped, "PCF_B") + short_line);
    EXPECT_EQ(generation_failure(csv_text(valid_csv())), "svec.size() >= 7") << short_line;
  }
}

TEST_F(DevInfoGeneration, WithoutPartsListEveryDeviceMapsThroughItsFamily) {
  generate(csv_text(valid_csv()));
  MANAGER manager(false, 0);
  const DEV_PART_MANAGER catalogue;
  for (int device = 1; device < DEV_DEVICE_GENERIC; ++device) {
    const DEV_FAMILY_ENUM family = catalogue.get_family_of(DEV_DEVICE_ENUM(device));
    if (family == DEV_FAMILY_INVALID) continue;
    EXPECT_EQ(manager.m_device_table[device], manager.m_family_table[family]) << device;
  }
}

TEST_F(DevInfoGeneration, MissingFamiliesGetTheGenericRecordAndOneNotificationEach) {
  std::vector<Row> rows = valid_csv();
  const int missing[] = {5, 9};
  for (const int family : missing) {
    rows[family + 1] = data_row("", "EXTRA_" + std::to_string(family), "", "", family);
  }
  generate(csv_text(rows));
  MANAGER manager(false, 0);
  for (const int family : missing) EXPECT_EQ(manager.m_family_table[family], 71u);
  const std::vector<PGM_COMMON_MAIL> mails = PGM_COMMON::get_outbox();
  ASSERT_EQ(mails.size(), 2u);
  for (size_t i = 0; i < mails.size(); ++i) {
    std::string name =
        dstr_get_user_string(DEV_FAMILY_ENUM(missing[i])) + " (" + std::to_string(missing[i]) + ")";
    for (char& c : name) c = char(std::toupper(c));
    EXPECT_EQ(mails[i].title, "PGMDEV Dev Info Manager notification");
    EXPECT_EQ(mails[i].body, "Missing family " + name +
                                 " from Dev Info CSV.\n\nForcing this family to use Generic "
                                 "database.\n\nPlease add the family support as soon as "
                                 "possible.\n");
    EXPECT_EQ(mails[i].recipients.size(), 3u);
  }
}

TEST_F(DevInfoGeneration, BlankLinesAndNameRowCaseDoNotMatter) {
  std::vector<Row> rows = valid_csv();
  for (std::string& name : rows[1]) {
    for (char& c : name) c = char(std::tolower(c));
  }
  rows[1][5] = "No_Flash_Option_For_UNVM";
  std::string text = "\n   \n" + csv_text(rows);
  text.insert(text.find('\n', 3000), "\n\t \n");
  text += "\n\n";
  generate(text);
  MANAGER manager(false, 0);
  EXPECT_EQ(manager.m_device_count, 78u);
}

TEST_F(DevInfoGeneration, BadCsvIsRefusedWithItsConditionText) {
  struct Case {
    const char* shows;
    std::function<void(std::vector<Row>&)> change;
    const char* text;
  };
  // The first column of each type, spelled wrongly in the type row.
  std::vector<Case> cases;
  const char* type_texts[] = {"svec.at(i) == \"DEVID_ENUM\"", "svec.at(i) == \"DEVID_STR\"",
                              "svec.at(i) == \"STL_STRING\"", "svec.at(i) == \"bool\"",
                              "svec.at(i) == \"BYTE\"",       "svec.at(i) == \"WORD\"",
                              "svec.at(i) == \"DWORD\"",      "svec.at(i) == \"ENUM\""};
  for (int type = 0; type < 8; ++type) {
    DWORD column = 0;
    while (MANAGER::m_db_type_list[column] != type) ++column;
    cases.push_back({"type row cell in another letter case",
                     [column](std::vector<Row>& rows) {
                       std::string& cell = rows[0][column];
                       for (char& c : cell)
                         c = char(std::isupper(c) ? std::tolower(c) : std::toupper(c));
                     },
                     type_texts[type]});
  }
  const std::vector<Case> more = {
      {"a misspelt column name", [](std::vector<Row>& rows) { rows[1][40] = "CMP_END_PAD"; },
       "temp == m_db_name_list[i]"},
      {"a row with 85 cells", [](std::vector<Row>& rows) { rows[10].pop_back(); },
       "DWORD(svec.size()) == TOTAL_DEVICE_DATABASE_MEMBER"},
      {"77 data rows", [](std::vector<Row>& rows) { rows.erase(rows.begin() + 75); },
       "device_count == TOTAL_DATABASE_DEVICE"},
      {"79 data rows", [](std::vector<Row>& rows) { rows.push_back(rows[75]); },
       "device_count == TOTAL_DATABASE_DEVICE"},
      {"family and pcf in one row, not the last",
       [](std::vector<Row>& rows) { rows[10][1] = "BOTH"; },
       "device_count == TOTAL_DATABASE_DEVICE"},
      {"no identifier in the last row", [](std::vector<Row>& rows) { rows.back()[3] = ""; },
       "status"},
      {"no GENERIC family",
       [](std::vector<Row>& rows) { rows[73] = data_row("", "PCF_E", "", "", 72); },
       "DEV_FAMILY_ENUM(i) != DEV_FAMILY_GENERIC"},
      {"lower-case true", [](std::vector<Row>& rows) { rows[5][4] = "true"; },
       "string == \"\" || string == \"FALSE\" || string == \"TRUE\""},
      {"unknown family identifier", [](std::vector<Row>& rows) { rows[5][0] = "NO_SUCH"; },
       "found"},
      {"unknown block name", [](std::vector<Row>& rows) { rows[5][37] = "NPCF_BLOCK_XRAM"; },
       "found"},
      {"a device cell other than GENERIC", [](std::vector<Row>& rows) { rows[78][2] = "DEV1"; },
       "found"},
      {"a text of 256 bytes", [](std::vector<Row>& rows) { rows[5][60] = std::string(256, 'x'); },
       "string.size() <= 255"},
  };
  cases.insert(cases.end(), more.begin(), more.end());
  for (const Case& c : cases) {
    std::vector<Row> rows = valid_csv();
    c.change(rows);
    EXPECT_EQ(generation_failure(csv_text(rows)), c.text) << c.shows;
  }
  fs::remove(csv_path());
  EXPECT_EQ(failure_of([&] {
              MANAGER generator(true, 0);
              generator.generate_device_database(csv_path(), db_path());
            }),
            "device_count == TOTAL_DATABASE_DEVICE");
}

TEST_F(DevInfoGeneration, NumberCellsThatDoNotConvertAreRefusedAtTheirCell) {
  // Line n of the CSV is rows[n - 1]; a column counts from 1. The message says where, which
  // column and what to write instead, and no file is written.
  const DWORD kByte = 33;   // ps_cmp_dclk_ratio
  const DWORD kWord = 83;   // dummy_word
  const DWORD kDword = 23;  // jtag_program_initialize_microsec
  ASSERT_EQ(MANAGER::m_db_type_list[kByte], PGMDEV_MANAGER_BYTE);
  ASSERT_EQ(MANAGER::m_db_type_list[kWord], PGMDEV_MANAGER_WORD);
  ASSERT_EQ(MANAGER::m_db_type_list[kDword], PGMDEV_MANAGER_DWORD);
  struct Case {
    size_t row;
    DWORD column;
    std::string cell;
    std::string failure;  // after the CSV path; "" when the file generates
  };
  const Case kCases[] = {
      {5, kDword, "",
       ":6:24: jtag_program_initialize_microsec: empty cell; write decimal digits, "
       "or 0x and hexadecimal digits"},
      {40, kByte, "12ab",
       ":41:34: ps_cmp_dclk_ratio: '12ab' is not a number; write decimal "
       "digits, or 0x and hexadecimal digits"},
      {79, kWord, "0x",
       ":80:84: dummy_word: '0x' is not a number; write decimal digits, or 0x "
       "and hexadecimal digits"},
      {5, kDword, "4294967296",
       ":6:24: jtag_program_initialize_microsec 4294967296 does not fit 32 bits (0 to "
       "0xFFFFFFFF)"},
      // A value wider than its byte or word column keeps its low bytes, as files always had it.
      {5, kByte, "0x1FF", ""},
      {5, kWord, "65536", ""},
  };
  for (const Case& c : kCases) {
    fs::remove(db_path());
    std::vector<Row> rows = valid_csv();
    rows[c.row][c.column] = c.cell;
    const std::string failure = generation_failure(csv_text(rows));
    EXPECT_EQ(failure, c.failure.empty() ? "" : csv_path() + c.failure) << c.cell;
    EXPECT_EQ(fs::exists(db_path()), c.failure.empty()) << c.cell;
  }
}

TEST_F(DevInfoGeneration, FailedRunLeavesTheExistingFileAlone) {
  write_bytes(db_path(), {1, 2, 3});
  std::vector<Row> rows = valid_csv();
  rows[73] = data_row("", "PCF_E", "", "", 72);  // no GENERIC family: fails in the tables
  EXPECT_EQ(generation_failure(csv_text(rows)), "DEV_FAMILY_ENUM(i) != DEV_FAMILY_GENERIC");
  EXPECT_EQ(read_all(db_path()), (Bytes{1, 2, 3}));
  EXPECT_EQ(std::distance(fs::directory_iterator(m_dir + "/programmer"), fs::directory_iterator()),
            1);
}

TEST_F(DevInfoGeneration, SecondRunOnOneManagerIsRefused) {
  write_csv(csv_text(valid_csv()));
  MANAGER generator(true, 0);
  generator.generate_device_database(csv_path(), db_path());
  EXPECT_EQ(failure_of([&] { generator.generate_device_database(csv_path(), db_path()); }),
            "m_device_database == NULL");
}

TEST_F(DevInfoGeneration, FieldWritersOfTheManager) {
  MANAGER manager(true, 0);
  unsigned char buffer[16] = {};
  unsigned char* data = buffer;
  unsigned int index = 0;
  manager.dump_enum_to_database(&data, sizeof(buffer), index, "GENERIC", "part");
  const Bytes expected = {7, Bytes::value_type(DWORD(DEV_PART_GENERIC) & 0xFF),
                          Bytes::value_type((DWORD(DEV_PART_GENERIC) >> 8) & 0xFF),
                          Bytes::value_type((DWORD(DEV_PART_GENERIC) >> 16) & 0xFF), 0};
  EXPECT_EQ(Bytes(buffer, buffer + 5), expected);
  index = 0;
  EXPECT_EQ(failure_of([&] {
              manager.dump_enum_to_database(&data, sizeof(buffer), index, "GENERIC", "flash");
            }),
            "type_name.empty()");
  EXPECT_EQ(failure_of([&] {
              manager.dump_enum_to_database(&data, sizeof(buffer), index, "generic", "device");
            }),
            "found");
  EXPECT_EQ(manager.get_table_size(), 4271 + 4 * kPartMax);
  EXPECT_EQ(manager.get_dword_from_string("0x1FF"), 0x1FFu);
}

// ---------------------------------------------------------------------------------------------
// Lookups.

TEST_F(DevInfoGeneration, LookupsHandOutCopies) {
  std::vector<Row> rows = valid_csv();
  rows[74] = data_row(dstr_get_family_identifier(DEV_FAMILY_ENUM(3)), "", "", "", 74);
  generate(csv_text(rows));
  std::unique_ptr<RECORD> generic;
  {
    MANAGER manager(false, 0);
    generic.reset(manager.get_db_by_family(DEV_FAMILY_GENERIC));
    ASSERT_NE(generic, nullptr);
    EXPECT_EQ(generic->family, DEV_FAMILY_GENERIC);
    EXPECT_EQ(manager.m_index, 71u);
    generic->pcf = "CHANGED";
    const std::unique_ptr<RECORD> again(manager.get_db_by_family(DEV_FAMILY_GENERIC));
    EXPECT_EQ(again->pcf, "");

    const std::unique_ptr<RECORD> no_family(manager.get_db_by_family(DEV_FAMILY_INVALID));
    ASSERT_NE(no_family, nullptr);
    EXPECT_EQ(no_family->pcf, "PCF_B");  // PCF_A's row became a second family 3 row
    const std::unique_ptr<RECORD> device(manager.get_db_by_device(DEV_DEVICE_GENERIC));
    EXPECT_EQ(device->device, DEV_DEVICE_GENERIC);
    const std::unique_ptr<RECORD> part(manager.get_db_by_part(DEV_PART_GENERIC));
    EXPECT_EQ(part->part, DEV_PART_GENERIC);

    // Two rows of family 3: the searches report the lower record.
    EXPECT_TRUE(manager.search_family(DEV_FAMILY_ENUM(3), false));
    EXPECT_EQ(manager.m_index, 2u);
    EXPECT_TRUE(manager.search_family(DEV_FAMILY_INVALID, true));
    EXPECT_EQ(manager.m_index, 73u);
    EXPECT_TRUE(manager.search_device(DEV_DEVICE_INVALID, true));
    EXPECT_EQ(manager.m_index, 0u);
    EXPECT_FALSE(manager.search_part(DEV_PART_ENUM(1), false));
    EXPECT_EQ(manager.m_index, INVALID_DWORD);

    struct Case {
      const char* shows;
      std::function<void()> lookup;
      const char* text;
    };
    const Case cases[] = {
        {"family 73", [&] { manager.get_db_by_family(DEV_FAMILY_MAX); }, "family < DEV_FAMILY_MAX"},
        {"device 991", [&] { manager.get_db_by_device(DEV_DEVICE_MAX); },
         "device < DEV_DEVICE_MAX"},
        {"part DEV_PART_MAX", [&] { manager.get_db_by_part(DEV_PART_MAX); }, "part < DEV_PART_MAX"},
        {"negative family", [&] { manager.get_db_by_family(DEV_FAMILY_ENUM(-1)); },
         "family < DEV_FAMILY_MAX"},
        {"search for family 0", [&] { manager.search_family(DEV_FAMILY_INVALID, false); },
         "m_device_database != NULL && family < DEV_FAMILY_MAX && "
         "(allow_invalid || family != DEV_FAMILY_INVALID)"},
        {"search for device 0", [&] { manager.search_device(DEV_DEVICE_INVALID, false); },
         "m_device_database != NULL && device < DEV_DEVICE_MAX && "
         "(allow_invalid || device != DEV_DEVICE_INVALID)"},
        {"search for the invalid part", [&] { manager.search_part(DEV_PART_INVALID, false); },
         "m_device_database != NULL && part < DEV_PART_MAX && "
         "(allow_invalid || part != DEV_PART_INVALID)"},
        {"pcf search for device 991", [&] { manager.search_pcf_for_device(DEV_DEVICE_MAX); },
         "m_device_database != NULL && device < DEV_DEVICE_MAX"},
        {"pcf search for part DEV_PART_MAX", [&] { manager.search_pcf_for_part(DEV_PART_MAX); },
         "m_device_database != NULL && part < DEV_PART_MAX"},
    };
    for (const Case& c : cases) EXPECT_EQ(failure_of(c.lookup), c.text) << c.shows;
  }
  // The copy outlives its manager.
  EXPECT_EQ(generic->pcf, "CHANGED");
  EXPECT_EQ(generic->family, DEV_FAMILY_GENERIC);
}

TEST_F(DevInfoDir, ManagerWithoutDatabaseHasNoRecords) {
  fs::remove_all(m_dir + "/programmer");  // nothing installed, nothing read
  MANAGER manager(true, 0);
  for (int family = 0; family < DEV_FAMILY_MAX; ++family) {
    EXPECT_EQ(manager.get_db_by_family(DEV_FAMILY_ENUM(family)), nullptr);
    EXPECT_EQ(manager.m_index, INVALID_DWORD);
  }
  for (int device = 0; device < DEV_DEVICE_MAX; ++device) {
    EXPECT_EQ(manager.get_db_by_device(DEV_DEVICE_ENUM(device)), nullptr);
  }
  for (DWORD part = 0; part < kPartMax; ++part) {
    EXPECT_EQ(manager.get_db_by_part(DEV_PART_ENUM(part)), nullptr);
  }
  EXPECT_EQ(failure_of([&] { manager.search_family(DEV_FAMILY_GENERIC, false); }),
            "m_device_database != NULL && family < DEV_FAMILY_MAX && "
            "(allow_invalid || family != DEV_FAMILY_INVALID)");
  EXPECT_EQ(failure_of([&] { manager.search_pcf_for_part(DEV_PART_GENERIC); }),
            "m_device_database != NULL && part < DEV_PART_MAX");
}

// ---------------------------------------------------------------------------------------------
// Debug listings.

// Columns 4 to 85 of the three records of small_body(), as the listing prints them.
const char kFamilyColumns[] =
    " 1 0 0 0 0 0 0 0 0 0  0 0 0 0 0 0 0 0 1000 0 0 0 0 0 0 0 0 4294967295 200 0 0 0 0 0 0 0 "
    "0 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0  0 0 0 0 0 0 0 0 0 0 0 0 0 0 0 3.3V 0 0 0 0  0 655"
    "35 0 0";
const char kPcfColumns[] =
    " 0 0 0 0 0 0 0 0 0 0 INI_A 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0 37 0 0 0 0 0 0 0 "
    "0 0 0 0 0 0 0 0 0 0 0 0 0 0 0 CFG 0 0 0 0 0 0 0 0 0 0 0 1 32 0 0  0 0 0 0  0 0 0 0";
const char kDeviceColumns[] =
    " 0 0 0 0 0 0 0 0 0 0  0 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0 "
    "0 0 0 0 0 0 0 0 0 0 0 0  0 0 0 0 0 0 0 0 0 0 0 0 0 0 0  0 0 0 0  0 0 7 0";

std::string listing_line(DWORD record, const std::string& label) {
  const char* columns[] = {kFamilyColumns, kPcfColumns, kDeviceColumns};
  return "Dev Info Manager Debug " + std::to_string(record) + "\n\t" + label + columns[record] +
         "\n";
}

std::string listing_of(unsigned int mode) {
  CaptureStdout capture;
  MANAGER manager(false, mode);
  return capture.text();
}

TEST_F(DevInfoDir, ListingOfRecords) {
  install(small_body().encode());
  EXPECT_EQ(listing_of(1),
            listing_line(0, "FAMILY : " + dstr_get_family_identifier(DEV_FAMILY_ENUM(1))) +
                listing_line(1, "PCF : PCF_X") + listing_line(2, "DEVICE : GENERIC"));
  EXPECT_EQ(listing_of(0), "");
  EXPECT_EQ(listing_of(5), "");
}

TEST_F(DevInfoDir, ListingOfFamilies) {
  install(small_body().encode());
  std::string expected;
  for (int family = 1; family <= 72; ++family) {
    expected +=
        listing_line(0, family == 72 ? "Generic" : dstr_get_user_string(DEV_FAMILY_ENUM(family)));
  }
  EXPECT_EQ(listing_of(2), expected);
}

TEST_F(DevInfoDir, ListingOfDevices) {
  install(small_body().encode());
  std::string expected;
  for (int device = 1; device <= 990; ++device) {
    expected += device == 990 ? listing_line(2, "Generic")
                              : listing_line(1, dstr_get_user_string(DEV_DEVICE_ENUM(device)));
  }
  EXPECT_EQ(listing_of(3), expected);
}

TEST_F(DevInfoDir, ListingOfParts) {
  install(small_body().encode());
  std::string expected;
  for (DWORD part = 0; part < kPartMax; ++part) {
    if (part == DWORD(DEV_PART_INVALID)) continue;
    expected += listing_line(
        0, part == DWORD(DEV_PART_GENERIC) ? "Generic" : dstr_get_user_string(DEV_PART_ENUM(part)));
  }
  EXPECT_EQ(listing_of(4), expected);
}

TEST_F(DevInfoDir, ListingLineLabelsAndItsChecks) {
  CraftedBody body = small_body();
  CraftedRecord no_identifier;
  CraftedRecord generic_family;
  generic_family.family = DEV_FAMILY_GENERIC;
  body.records.push_back(no_identifier);
  body.records.push_back(generic_family);
  install(body.encode());
  MANAGER manager(false, 0);
  {
    CaptureStdout capture;
    manager.print_database(4, "");
    EXPECT_EQ(capture.text().substr(0, 43), "Dev Info Manager Debug 4\n\tFAMILY : GENERIC ");
  }
  {
    // A name given: the record's own identifiers are not formed, so the check holds.
    CaptureStdout capture;
    manager.print_database(0, "Label");
    EXPECT_EQ(capture.text(), listing_line(0, "Label"));
  }
  {
    // No identifier at all: the line is written, then the check fails.
    CaptureStdout capture;
    EXPECT_EQ(failure_of([&] { manager.print_database(3, ""); }), "id_count == 1");
    EXPECT_EQ(capture.text().substr(0, 27), "Dev Info Manager Debug 3\n\t ");
  }
  EXPECT_EQ(failure_of([&] { manager.print_database(5, "x"); }), "index < m_device_count");

  EXPECT_EQ(manager.convert_id_enum_to_string("family", 0), "");
  EXPECT_EQ(manager.convert_id_enum_to_string("family", 72), "GENERIC");
  EXPECT_EQ(manager.convert_id_enum_to_string("part", DWORD(DEV_PART_GENERIC)), "GENERIC");
  struct Case {
    std::string type_name;
    DWORD id;
    const char* text;
  };
  const Case cases[] = {
      {"family", 73, "id < DWORD(DEV_FAMILY_MAX)"},   {"device", 991, "id < DWORD(DEV_DEVICE_MAX)"},
      {"part", kPartMax, "id < DWORD(DEV_PART_MAX)"}, {"device", 5, "found"},
      {"flash", 0, "Unsupported type name"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(failure_of([&] { manager.convert_id_enum_to_string(c.type_name, c.id); }), c.text)
        << c.type_name << " " << c.id;
  }
}

// ---------------------------------------------------------------------------------------------
// The file that the build generated from data/device_info, found with no variable set.

TEST(DevInfoInstalled, GeneratedDatabaseAnswersForTheWholeCatalogue) {
  cfg_unset_value("PGMDEV_DEVICE_DB_DIR");
  ::unsetenv("PGMDEV_DEVICE_DB_DIR");
  MANAGER manager(false, 0);
  EXPECT_EQ(manager.m_device_count, 78u);
  for (int family = 1; family < DEV_FAMILY_MAX; ++family) {
    const std::unique_ptr<RECORD> info(manager.get_db_by_family(DEV_FAMILY_ENUM(family)));
    ASSERT_NE(info, nullptr) << family;
    EXPECT_TRUE(info->family == family || info->family == DEV_FAMILY_GENERIC) << family;
  }
  for (int device = 1; device < DEV_DEVICE_MAX; ++device) {
    EXPECT_NE(std::unique_ptr<RECORD>(manager.get_db_by_device(DEV_DEVICE_ENUM(device))), nullptr)
        << device;
  }
  for (DWORD part = 0; part < kPartMax; ++part) {
    if (part == DWORD(DEV_PART_INVALID)) continue;
    EXPECT_NE(std::unique_ptr<RECORD>(manager.get_db_by_part(DEV_PART_ENUM(part))), nullptr)
        << part;
  }
  const std::unique_ptr<RECORD> generic(manager.get_db_by_device(DEV_DEVICE_GENERIC));
  EXPECT_EQ(generic->device, DEV_DEVICE_GENERIC);
  // A device of data/device_info/pgm_parts.txt and one of its parts use the record of their
  // configuration name.
  const DEV_DEVICE_ENUM mapped = dstr_get_dev_device_enum_by_string("QZ70C_DIE");
  ASSERT_NE(mapped, DEV_DEVICE_INVALID);
  EXPECT_EQ(std::unique_ptr<RECORD>(manager.get_db_by_device(mapped))->pcf, "PCF_LOWPOWER_A");
  const DEV_PART_ENUM mapped_part = dstr_get_dev_part_enum_by_string("QZ70CF484C6N");
  EXPECT_EQ(std::unique_ptr<RECORD>(manager.get_db_by_part(mapped_part))->pcf, "PCF_LOWPOWER_A");
  for (unsigned int mode = 1; mode <= 4; ++mode) {
    CaptureStdout capture;
    MANAGER listed(false, mode);
    EXPECT_NE(capture.text().find("Dev Info Manager Debug"), std::string::npos) << mode;
  }
}

}  // namespace
