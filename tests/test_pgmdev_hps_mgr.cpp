// HPS register-map selection, the SPI and NAND schemas and built-in tables, and the flash
// lists built from pgm_flash.ini and the built-in records.
#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "pgmdev_flash_ini.h"
#include "pgmdev_flash_ini_test_util.h"
#include "pgmdev_hps_mgr.h"

namespace {

// ---- Comparison helpers over the field lists ----

#define PGMDEV_TEST_EXPECT_FIELD(storage, field, type) EXPECT_EQ(a.field, b.field) << #field;

void expect_same(const PGMDEV_HPS_SPI_STRUCTURE& a, const PGMDEV_HPS_SPI_STRUCTURE& b) {
  PGMDEV_HPS_SPI_FIELDS(PGMDEV_TEST_EXPECT_FIELD)
}

void expect_same(const PGMDEV_HPS_NAND_STRUCTURE& a, const PGMDEV_HPS_NAND_STRUCTURE& b) {
  PGMDEV_HPS_NAND_FIELDS(PGMDEV_TEST_EXPECT_FIELD)
}

#undef PGMDEV_TEST_EXPECT_FIELD

#define PGMDEV_TEST_EXPECT_POINTER(storage, field, type) \
  EXPECT_EQ(record.m_param_pointers[i++], static_cast<const void*>(&record.field)) << #field;

void expect_own_pointers(const PGMDEV_HPS_SPI_STRUCTURE& record) {
  unsigned int i = 0;
  PGMDEV_HPS_SPI_FIELDS(PGMDEV_TEST_EXPECT_POINTER)
}

void expect_own_pointers(const PGMDEV_HPS_NAND_STRUCTURE& record) {
  unsigned int i = 0;
  PGMDEV_HPS_NAND_FIELDS(PGMDEV_TEST_EXPECT_POINTER)
}

#undef PGMDEV_TEST_EXPECT_POINTER

// ---- Schemas and built-in tables ----

TEST(HpsTables, SpiSchemaNamesTypesAndRules) {
  const char* const names[] = {"siid",
                               "mask",
                               "ext_siid",
                               "ext_mask",
                               "manufacturer",
                               "name",
                               "flash_bit_size",
                               "sector_byte_size",
                               "page_byte_size",
                               "bulk_erase_time",
                               "bulk_erase_interval_wait_time",
                               "sector_erase_time",
                               "page_program_time",
                               "program_time",
                               "die_size",
                               "speed_mode",
                               "byte4_se_opcode",
                               "byte4_pp_opcode",
                               "byte4_read_opcode"};
  const unsigned int types[] = {5, 5, 5, 5, 1, 1, 6, 5, 5, 5, 5, 5, 5, 5, 5, 2, 5, 5, 5};
  ASSERT_EQ(PGMDEV_HPS_SPI_PARAM_COUNT, 19u);
  for (unsigned int i = 0; i < PGMDEV_HPS_SPI_PARAM_COUNT; ++i) {
    SCOPED_TRACE(names[i]);
    EXPECT_STREQ(PGMDEV_HPS_SPI_PARAM_NAME_LIST[i], names[i]);
    EXPECT_EQ(static_cast<unsigned int>(PGMDEV_HPS_SPI_PARAM_TYPE_LIST[i]), types[i]);
    EXPECT_NE(PGMDEV_HPS_SPI_PROMPT_LIST[i], nullptr);
  }
  EXPECT_STREQ(PGMDEV_HPS_SPI_PROMPT_LIST[0], "Silicon ID (hex) [Cannot be all 0's or all 1's]");
  EXPECT_STREQ(PGMDEV_HPS_SPI_PROMPT_LIST[12], "Page Program Time [1000 - 1000000 microseconds]");
  EXPECT_STREQ(PGMDEV_HPS_SPI_PROMPT_LIST[18], "Byte4 Read Opcode (hex) [1 - FE]");

  // Which fields have rules at all.
  for (unsigned int i = 0; i < PGMDEV_HPS_SPI_PARAM_COUNT; ++i) {
    SCOPED_TRACE(names[i]);
    const bool has_range = !(i == 0 || i == 2 || i == 4 || i == 5 || i == 8 || i == 15);
    EXPECT_EQ(PGMDEV_HPS_SPI_VALID_RANGE_RULES[i] != nullptr, has_range);
    EXPECT_EQ(PGMDEV_HPS_SPI_INVALID_RULES[i] != nullptr, i == 0);
  }
  const std::vector<unsigned int> die_sizes(PGMDEV_HPS_SPI_VALID_RANGE_RULES[14],
                                            PGMDEV_HPS_SPI_VALID_RANGE_RULES[14] + 7);
  EXPECT_EQ(die_sizes, (std::vector<unsigned int>{3, 1, 1, 2, 2, 4, 4}));
  const std::vector<unsigned int> masks(PGMDEV_HPS_SPI_VALID_RANGE_RULES[1],
                                        PGMDEV_HPS_SPI_VALID_RANGE_RULES[1] + 5);
  EXPECT_EQ(masks, (std::vector<unsigned int>{2, 0xFFFFFF, 0xFFFFFF, 0xFFFFFFFF, 0xFFFFFFFF}));
  const std::vector<unsigned int> siid_rules(PGMDEV_HPS_SPI_INVALID_RULES[0],
                                             PGMDEV_HPS_SPI_INVALID_RULES[0] + 13);
  EXPECT_EQ(siid_rules, (std::vector<unsigned int>{6, 0xFF, 0, 0xFF00, 0, 0xFF0000, 0, 0xFF, 0xFF,
                                                   0xFF00, 0xFF00, 0xFF0000, 0xFF0000}));
}

TEST(HpsTables, NandSchemaNamesTypesAndRules) {
  const char* const names[] = {"manufacturer_id", "device_id", "flash_byte_size"};
  const unsigned int types[] = {5, 5, 6};
  ASSERT_EQ(PGMDEV_HPS_NAND_PARAM_COUNT, 3u);
  for (unsigned int i = 0; i < 3; ++i) {
    EXPECT_STREQ(PGMDEV_HPS_NAND_PARAM_NAME_LIST[i], names[i]);
    EXPECT_EQ(static_cast<unsigned int>(PGMDEV_HPS_NAND_PARAM_TYPE_LIST[i]), types[i]);
  }
  EXPECT_STREQ(PGMDEV_HPS_NAND_PROMPT_LIST[2], "Memory Density [1 - 64k MByte]");
  EXPECT_EQ(PGMDEV_HPS_NAND_VALID_RANGE_RULES[0], nullptr);
  EXPECT_EQ(PGMDEV_HPS_NAND_INVALID_RULES[2], nullptr);
  const std::vector<unsigned int> id_rules(PGMDEV_HPS_NAND_INVALID_RULES[1],
                                           PGMDEV_HPS_NAND_INVALID_RULES[1] + 5);
  EXPECT_EQ(id_rules, (std::vector<unsigned int>{2, 0xFFFFFFFF, 0, 0xFF, 0xFF}));
  const std::vector<unsigned int> size_range(PGMDEV_HPS_NAND_VALID_RANGE_RULES[2],
                                             PGMDEV_HPS_NAND_VALID_RANGE_RULES[2] + 3);
  EXPECT_EQ(size_range, (std::vector<unsigned int>{1, 1, 65536}));
}

TEST(HpsTables, DefaultsAreEmpty) {
  expect_same(
      PGMDEV_HPS_SPI_DEFAULT_VALUE_RULES,
      PGMDEV_HPS_SPI_STRUCTURE(0, 0, 0, 0, "", "", 0, 0, 0, 0, 0, 0, 0, 0, 0, false, 0, 0, 0));
  expect_same(PGMDEV_HPS_NAND_DEFAULT_VALUE_RULES, PGMDEV_HPS_NAND_STRUCTURE(0, 0, 0));
  expect_own_pointers(PGMDEV_HPS_SPI_DEFAULT_VALUE_RULES);
  expect_own_pointers(PGMDEV_HPS_NAND_DEFAULT_VALUE_RULES);
}

TEST(HpsTables, BuiltInSpiDevices) {
  ASSERT_EQ(PGMDEV_HPS_SPI_DATABASE_COUNT, 27u);
  // Every record's identification: siid, ext_siid, ext_mask, maker and name.
  struct Key {
    unsigned int siid, ext_siid, ext_mask;
    const char* manufacturer;
    const char* name;
  } const keys[] = {
      {0x17BA20, 0, 0, "MICRON", "QSPI_64"},       {0x18BA20, 0, 0, "MICRON", "QSPI_128"},
      {0x19BA20, 0, 0, "MICRON", "QSPI_256"},      {0x20BA20, 0x44, 0xFF, "MICRON", "QSPI_512"},
      {0x20BA20, 0, 0, "MICRON", "QSPI_512"},      {0x21BA20, 0, 0, "MICRON", "QSPI_1024"},
      {0x22BA20, 0, 0, "MICRON", "QSPI_2048"},     {0x18BB20, 0, 0, "MICRON", "QSPI_128"},
      {0x19BB20, 0, 0, "MICRON", "QSPI_256"},      {0x20BB20, 0x44, 0xFF, "MICRON", "QSPI_512"},
      {0x20BB20, 0, 0, "MICRON", "QSPI_512"},      {0x21BB20, 0x44, 0xFF, "MICRON", "QSPI_1024"},
      {0x21BB20, 0, 0, "MICRON", "QSPI_1024"},     {0x22BB20, 0, 0, "MICRON", "QSPI_2048"},
      {0x132020, 0, 0, "MICRON", "SPI_4"},         {0x152020, 0, 0, "MICRON", "SPI_16"},
      {0x182001, 1, 0xFF, "SPANSION", "QSPI_128"}, {0x182001, 0, 0xFF, "SPANSION", "QSPI_128"},
      {0x190201, 1, 0xFF, "SPANSION", "QSPI_256"}, {0x190201, 0, 0xFF, "SPANSION", "QSPI_256"},
      {0x200201, 0, 0xFF, "SPANSION", "QSPI_512"}, {0x1820C2, 0, 0, "MACRONIX", "QSPI_128"},
      {0x1920C2, 0, 0, "MACRONIX", "QSPI_256"},    {0x1A20C2, 0, 0, "MACRONIX", "QSPI_512"},
      {0x3A25C2, 0, 0, "MACRONIX", "QSPI_512"},    {0x1B20C2, 0, 0, "MACRONIX", "QSPI_1024"},
      {0x1840C8, 0, 0, "GIGADEVICE", "QSPI_128"},
  };
  for (unsigned int i = 0; i < PGMDEV_HPS_SPI_DATABASE_COUNT; ++i) {
    SCOPED_TRACE(i);
    const PGMDEV_HPS_SPI_STRUCTURE& record = PGMDEV_HPS_SPI_DATABASE[i];
    EXPECT_EQ(record.siid, keys[i].siid);
    EXPECT_EQ(record.mask, 0xFFFFFFu);
    EXPECT_EQ(record.ext_siid, keys[i].ext_siid);
    EXPECT_EQ(record.ext_mask, keys[i].ext_mask);
    EXPECT_EQ(record.manufacturer, keys[i].manufacturer);
    EXPECT_EQ(record.name, keys[i].name);
    expect_own_pointers(record);
  }
  // A sample of whole rows.
  const std::pair<unsigned int, PGMDEV_HPS_SPI_STRUCTURE> rows[] = {
      {0,
       {0x17BA20, 0xFFFFFF, 0x0, 0x0, "MICRON", "QSPI_64", 0x4000000, 0x10000, 256, 120, 2, 3, 1000,
        1, 1, true, 0xD8, 0x2, 0x3}},
      {4,
       {0x20BA20, 0xFFFFFF, 0x0, 0x0, "MICRON", "QSPI_512", 0x20000000, 0x10000, 256, 480, 3, 3,
        1000, 1, 2, false, 0xD8, 0x2, 0x3}},
      {17,
       {0x182001, 0xFFFFFF, 0x0, 0xFF, "SPANSION", "QSPI_128", 0x8000000, 0x40000, 256, 256, 2, 11,
        2200, 1, 1, true, 0xD8, 0x2, 0x3}},
      {20,
       {0x200201, 0xFFFFFF, 0x0, 0xFF, "SPANSION", "QSPI_512", 0x20000000, 0x40000, 512, 460, 3, 3,
        2200, 1, 1, true, 0xDC, 0x12, 0x13}},
      {26,
       {0x1840C8, 0xFFFFFF, 0x0, 0x0, "GIGADEVICE", "QSPI_128", 0x8000000, 0x10000, 256, 300, 3, 3,
        3000, 1, 1, true, 0xDC, 0x12, 0x13}},
  };
  for (const auto& [index, row] : rows) {
    SCOPED_TRACE(index);
    expect_same(PGMDEV_HPS_SPI_DATABASE[index], row);
  }
}

TEST(HpsTables, BuiltInNandDevices) {
  ASSERT_EQ(PGMDEV_HPS_NAND_DATABASE_COUNT, 10u);
  const std::pair<unsigned int, unsigned int> keys[] = {
      {0x2C, 0x68}, {0x2C, 0x48}, {0x2C, 0xA1}, {0x2C, 0xF1}, {0x01, 0xF1},
      {0x01, 0xDA}, {0x01, 0xDC}, {0x01, 0xC1}, {0x01, 0xCA}, {0x01, 0xCC}};
  for (unsigned int i = 0; i < PGMDEV_HPS_NAND_DATABASE_COUNT; ++i) {
    SCOPED_TRACE(i);
    EXPECT_EQ(PGMDEV_HPS_NAND_DATABASE[i].manufacturer_id, keys[i].first);
    EXPECT_EQ(PGMDEV_HPS_NAND_DATABASE[i].device_id, keys[i].second);
    expect_own_pointers(PGMDEV_HPS_NAND_DATABASE[i]);
  }
  EXPECT_EQ(PGMDEV_HPS_NAND_DATABASE[0].flash_byte_size, 0x100000000ull);
  EXPECT_EQ(PGMDEV_HPS_NAND_DATABASE[4].flash_byte_size, 0x8000000ull);
  EXPECT_EQ(PGMDEV_HPS_NAND_DATABASE[9].flash_byte_size, 0x20000000ull);
}

// The built-in records, in the units a user types (Mbit, Kbyte, MByte), pass their own
// schema's rules: the rule tables and the device tables agree.
TEST(HpsTables, BuiltInRecordsPassTheirSchemaRules) {
  auto accepted = [](unsigned int field, unsigned long long value, const unsigned int* ranges,
                     const unsigned int* invalid, PGMDEV_PARAM_TYPE type) {
    unsigned long long converted = 0;
    std::string message;
    const bool ok = PGMDEV_FLASH_INI::convert_string_to_qword(
        type, converted, false, PGMDEV_FLASH_INI::convert_qword_to_string(value), false, ranges,
        invalid, false, 1, message);
    EXPECT_TRUE(ok) << "field " << field << " value " << value << ": " << message;
  };
  for (const PGMDEV_HPS_SPI_STRUCTURE& record : PGMDEV_HPS_SPI_DATABASE) {
    SCOPED_TRACE(record.name);
    for (unsigned int i = 0; i < PGMDEV_HPS_SPI_PARAM_COUNT; ++i) {
      const PGMDEV_PARAM_TYPE type = PGMDEV_HPS_SPI_PARAM_TYPE_LIST[i];
      if (type == PGMDEV_PARAM_STRING || type == PGMDEV_PARAM_BOOL) continue;
      unsigned long long value = type == PGMDEV_PARAM_QWORD
                                     ? *static_cast<unsigned long long*>(record.m_param_pointers[i])
                                     : *static_cast<unsigned int*>(record.m_param_pointers[i]);
      if (i == 6) value >>= 20;  // bits to Mbit
      if (i == 7) value >>= 10;  // bytes to Kbyte
      accepted(i, value, PGMDEV_HPS_SPI_VALID_RANGE_RULES[i], PGMDEV_HPS_SPI_INVALID_RULES[i],
               type);
    }
  }
  for (const PGMDEV_HPS_NAND_STRUCTURE& record : PGMDEV_HPS_NAND_DATABASE) {
    accepted(0, record.manufacturer_id, PGMDEV_HPS_NAND_VALID_RANGE_RULES[0],
             PGMDEV_HPS_NAND_INVALID_RULES[0], PGMDEV_PARAM_DWORD);
    accepted(1, record.device_id, PGMDEV_HPS_NAND_VALID_RANGE_RULES[1],
             PGMDEV_HPS_NAND_INVALID_RULES[1], PGMDEV_PARAM_DWORD);
    accepted(2, record.flash_byte_size >> 20, PGMDEV_HPS_NAND_VALID_RANGE_RULES[2],
             PGMDEV_HPS_NAND_INVALID_RULES[2], PGMDEV_PARAM_QWORD);
  }
}

TEST(HpsTables, RegisterMapKeysAndQuotedWords) {
  EXPECT_EQ(PGMDEV_HPS_DATABASE[0][0], 0x4BA00477u);
  EXPECT_EQ(PGMDEV_HPS_DATABASE[1][0], 0x4BA00478u);
  const unsigned int record0[] = {0xFF705000, 0xFF706000, 0xFF800000, 0xFF900000};
  const unsigned int record1[] = {0xFF809000, 0xFFD03000, 0xFFFFFFFF, 0xFFB90000};
  for (unsigned int i = 0; i < 4; ++i) {
    EXPECT_EQ(PGMDEV_HPS_DATABASE[0][28 + i], record0[i]);
    EXPECT_EQ(PGMDEV_HPS_DATABASE[1][28 + i], record1[i]);
  }
  // Record 0 has nothing in words 222 to 334; record 1 little in words 5 to 57.
  for (unsigned int word = 222; word < PGMDEV_HPS_RECORD_WORDS; ++word) {
    EXPECT_EQ(PGMDEV_HPS_DATABASE[0][word], 0xFFFFFFFFu) << word;
  }
  unsigned int unused = 0;
  for (unsigned int word = 5; word <= 57; ++word) unused += PGMDEV_HPS_DATABASE[1][word] == ~0u;
  EXPECT_GT(unused, (57u - 5u + 1u) / 2);
  EXPECT_STREQ(PGMDEV_HPS_MD5, "0ae4a9a5aba12ef2b93ad36c7e92330b");
}

// ---- Records ----

TEST(HpsRecords, CopiesPointAtTheirOwnFields) {
  PGMDEV_HPS_SPI_STRUCTURE original = PGMDEV_HPS_SPI_DATABASE[3];
  expect_own_pointers(original);
  const PGMDEV_HPS_SPI_STRUCTURE copy(original);
  expect_own_pointers(copy);
  expect_same(copy, PGMDEV_HPS_SPI_DATABASE[3]);
  PGMDEV_HPS_SPI_STRUCTURE assigned;
  assigned = original;
  expect_own_pointers(assigned);
  expect_same(assigned, original);

  PGMDEV_HPS_NAND_STRUCTURE nand(PGMDEV_HPS_NAND_DATABASE[0]);
  expect_own_pointers(nand);
  PGMDEV_HPS_NAND_STRUCTURE nand_assigned;
  nand_assigned = nand;
  expect_own_pointers(nand_assigned);
  expect_same(nand_assigned, PGMDEV_HPS_NAND_DATABASE[0]);
}

// ---- Register-map selection ----

TEST(HpsMgr, SelectionByIdentificationCode) {
  PGMDEV_HPS_MGR* mgr = PGMDEV_HPS_MGR::get_mgr();
  ASSERT_EQ(mgr, PGMDEV_HPS_MGR::m_mgr);
  EXPECT_EQ(PGMDEV_HPS_MGR::get_mgr(), mgr);
  EXPECT_EQ(mgr->m_current_hps, 0xFFFFFFFFu);
  EXPECT_EQ(mgr->get_current_hps(), nullptr);

  EXPECT_TRUE(mgr->set_current_hps(0x4BA00477));
  EXPECT_EQ(mgr->get_current_hps(), PGMDEV_HPS_DATABASE[0].data());
  EXPECT_TRUE(mgr->set_current_hps(0x4BA00478));
  EXPECT_EQ(mgr->get_current_hps(), PGMDEV_HPS_DATABASE[1].data());
  // An unknown code clears the earlier selection.
  EXPECT_FALSE(mgr->set_current_hps(0x4BA00479));
  EXPECT_EQ(mgr->get_current_hps(), nullptr);
  EXPECT_EQ(mgr->m_current_hps, 0xFFFFFFFFu);

  EXPECT_TRUE(mgr->set_current_hps(0x4BA00477));
  PGMDEV_HPS_MGR::delete_mgr();
  EXPECT_EQ(PGMDEV_HPS_MGR::m_mgr, nullptr);
  PGMDEV_HPS_MGR::delete_mgr();                                      // a second call does nothing
  EXPECT_EQ(PGMDEV_HPS_MGR::get_mgr()->get_current_hps(), nullptr);  // a fresh instance
  PGMDEV_HPS_MGR::delete_mgr();
}

// ---- Flash lists ----

Bytes spi_record(const PGMDEV_HPS_SPI_STRUCTURE& record) {
  return encode_record(PGMDEV_HPS_SPI_PARAM_TYPE_LIST, record.m_param_pointers,
                       PGMDEV_HPS_SPI_PARAM_COUNT);
}

Bytes nand_record(const PGMDEV_HPS_NAND_STRUCTURE& record) {
  return encode_record(PGMDEV_HPS_NAND_PARAM_TYPE_LIST, record.m_param_pointers,
                       PGMDEV_HPS_NAND_PARAM_COUNT);
}

Bytes signed_section(const char* signature, const std::vector<Bytes>& records) {
  Bytes section(signature, signature + PGMDEV_HPS_SECTION_SIGNATURE_BYTES);
  for (const Bytes& record : records) append(section, record);
  return section;
}

const PGMDEV_HPS_SPI_STRUCTURE kUserSpiA(0x11AA22, 0xFFFFFFFF, 0x5, 0xFF, "ACME", "USER_A",
                                         0x2000000, 0x1000, 256, 100, 2, 1, 1000, 1, 1, false, 0x21,
                                         0x12, 0x13);
const PGMDEV_HPS_SPI_STRUCTURE kUserSpiB(0x33CC44, 0xFFFFFF, 0x0, 0x0, "", "B", 0x100000000ull,
                                         0x40000, 512, 900, 10, 60, 1000000, 5, 4, true, 0xFE, 0x1,
                                         0x1);

class HpsFlashLists : public ::testing::Test {
 protected:
  void TearDown() override {
    PGMDEV_HPS_SPI_MGR::delete_mgr();
    PGMDEV_HPS_NAND_MGR::delete_mgr();
  }

  // m_flash_list holds the user's records then the built-in ones, in order; m_ini_flash_list
  // the same pointers as the user's part.
  template <class Mgr, class Record, size_t N>
  static void expect_lists(const Mgr& mgr, const std::vector<Record>& user,
                           const Record (&built_in)[N]) {
    ASSERT_EQ(mgr.m_flash_list.size(), user.size() + N);
    ASSERT_EQ(mgr.m_ini_flash_list.size(), user.size());
    for (size_t i = 0; i < mgr.m_flash_list.size(); ++i) {
      SCOPED_TRACE(i);
      const Record& record = *mgr.m_flash_list[i];
      expect_same(record, i < user.size() ? user[i] : built_in[i - user.size()]);
      expect_own_pointers(record);
      if (i < user.size()) {
        EXPECT_EQ(mgr.m_ini_flash_list[i], mgr.m_flash_list[i]);
      }
    }
  }

  TempModuleDir m_dir;
};

TEST_F(HpsFlashLists, NoFileGivesTheBuiltInRecords) {
  PGMDEV_HPS_SPI_MGR* spi = PGMDEV_HPS_SPI_MGR::get_mgr();
  ASSERT_EQ(spi, PGMDEV_HPS_SPI_MGR::m_mgr);
  expect_lists(*spi, std::vector<PGMDEV_HPS_SPI_STRUCTURE>{}, PGMDEV_HPS_SPI_DATABASE);
  PGMDEV_HPS_NAND_MGR* nand = PGMDEV_HPS_NAND_MGR::get_mgr();
  ASSERT_EQ(nand, PGMDEV_HPS_NAND_MGR::m_mgr);
  expect_lists(*nand, std::vector<PGMDEV_HPS_NAND_STRUCTURE>{}, PGMDEV_HPS_NAND_DATABASE);
}

TEST_F(HpsFlashLists, TwoWholeRecordsAndACutThird) {
  Bytes section = signed_section(PGMDEV_HPS_SPI_MD5, {spi_record(kUserSpiA), spi_record(kUserSpiB),
                                                      spi_record(PGMDEV_HPS_SPI_DATABASE[5])});
  section.resize(section.size() - 2);  // the third loses the last bytes of its last opcode
  ASSERT_TRUE(write_section(PGMDEV_FLASH_INI_HPS_SPI, section));
  expect_lists(*PGMDEV_HPS_SPI_MGR::get_mgr(), {kUserSpiA, kUserSpiB}, PGMDEV_HPS_SPI_DATABASE);
}

TEST_F(HpsFlashLists, UserRecordIdenticalToABuiltInComesFirst) {
  ASSERT_TRUE(
      write_section(PGMDEV_FLASH_INI_HPS_SPI,
                    signed_section(PGMDEV_HPS_SPI_MD5, {spi_record(PGMDEV_HPS_SPI_DATABASE[0])})));
  expect_lists(*PGMDEV_HPS_SPI_MGR::get_mgr(), {PGMDEV_HPS_SPI_DATABASE[0]},
               PGMDEV_HPS_SPI_DATABASE);
}

TEST_F(HpsFlashLists, SectionsThatAddNoRecord) {
  Bytes wrong = signed_section(PGMDEV_HPS_SPI_MD5, {spi_record(kUserSpiA)});
  wrong[31] ^= 1;
  const std::pair<const char*, Bytes> cases[] = {
      {"signature only", signed_section(PGMDEV_HPS_SPI_MD5, {})},
      {"wrong signature", wrong},
      {"the NAND signature", signed_section(PGMDEV_HPS_NAND_MD5, {spi_record(kUserSpiA)})},
      {"short signature", Bytes(PGMDEV_HPS_SPI_MD5, PGMDEV_HPS_SPI_MD5 + 20)},
      {"first record cut", Bytes(signed_section(PGMDEV_HPS_SPI_MD5, {Bytes(10, 1)}))},
  };
  for (const auto& [what, section] : cases) {
    SCOPED_TRACE(what);
    ASSERT_TRUE(write_section(PGMDEV_FLASH_INI_HPS_SPI, section));
    expect_lists(*PGMDEV_HPS_SPI_MGR::get_mgr(), std::vector<PGMDEV_HPS_SPI_STRUCTURE>{},
                 PGMDEV_HPS_SPI_DATABASE);
    PGMDEV_HPS_SPI_MGR::delete_mgr();
  }
}

TEST_F(HpsFlashLists, NandRecordsAndRereading) {
  const PGMDEV_HPS_NAND_STRUCTURE first(0x98, 0xD3, 0x40000000);
  const PGMDEV_HPS_NAND_STRUCTURE second(0xEC, 0xDA, 0x10000000);
  ASSERT_TRUE(write_section(
      PGMDEV_FLASH_INI_HPS_NAND,
      signed_section(PGMDEV_HPS_NAND_MD5, {nand_record(first), nand_record(second)})));
  PGMDEV_HPS_NAND_MGR* nand = PGMDEV_HPS_NAND_MGR::get_mgr();
  expect_lists(*nand, {first, second}, PGMDEV_HPS_NAND_DATABASE);
  // The SPI list does not see the NAND section.
  EXPECT_TRUE(PGMDEV_HPS_SPI_MGR::get_mgr()->m_ini_flash_list.empty());

  // A later initialize_ini_file() appends the section's records again, behind the list.
  nand->initialize_ini_file();
  ASSERT_EQ(nand->m_flash_list.size(), 14u);
  ASSERT_EQ(nand->m_ini_flash_list.size(), 4u);
  expect_same(*nand->m_flash_list[12], first);
  expect_same(*nand->m_flash_list[13], second);
  EXPECT_EQ(nand->m_ini_flash_list[3], nand->m_flash_list[13]);

  // A changed file is seen only by a new instance.
  ASSERT_TRUE(write_section(PGMDEV_FLASH_INI_HPS_NAND, {}));
  EXPECT_EQ(PGMDEV_HPS_NAND_MGR::get_mgr()->m_flash_list.size(), 14u);
  PGMDEV_HPS_NAND_MGR::delete_mgr();
  EXPECT_EQ(PGMDEV_HPS_NAND_MGR::m_mgr, nullptr);
  expect_lists(*PGMDEV_HPS_NAND_MGR::get_mgr(), std::vector<PGMDEV_HPS_NAND_STRUCTURE>{},
               PGMDEV_HPS_NAND_DATABASE);
}

}  // namespace
