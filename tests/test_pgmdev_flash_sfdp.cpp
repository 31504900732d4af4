// A user-defined flash from the SFDP table: reading the SFDP header, the parameter headers and the
// BFPT within the bytes given, filling the record from the table, the id bytes, the values given
// and the defaults, clamping, refusals, and the INI text loaded at the head of the flash table.
#include <gtest/gtest.h>

#include <cstdint>
#include <fstream>
#include <iterator>
#include <map>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "cfg.h"
#include "pgmdev_flash_manager.h"
#include "pgmdev_flash_manager_ini.h"
#include "pgmdev_flash_sfdp.h"
#include "pgmdev_sfdp_test_util.h"

namespace {

using Bytes = std::vector<unsigned char>;
using Values = std::map<std::string, std::string>;
using MANAGER = PGMDEV_FLASH_MANAGER;

constexpr const char kIniKey[] = "PGM_3RD_PARTY_FLASH_INI";

// ---------------------------------------------------------------------------------------------
// SFDP images

using sfdp_image::Bfpt;
using sfdp_image::fixture_image;
using sfdp_image::Image;
using sfdp_image::image_of;
using sfdp_image::Table;

const unsigned char kId[3] = {0xA1, 0x40, 0x18};
const Values kNames = {{"manufacturer_name", "acme"}, {"device_name", "ac25q128"}};

Values names_and(const Values& more) {
  Values values = kNames;
  for (const auto& [member, value] : more) values[member] = value;
  return values;
}

PGMDEV_SFDP_FLASH define(const Bytes& image, const Values& values = kNames,
                         const unsigned char* id = kId) {
  return PGMDEV_FLASH_SFDP::define_flash(image.data(), image.size(), id, values);
}

bool contains(const std::vector<std::string>& list, const std::string& item) {
  for (const std::string& entry : list) {
    if (entry == item) return true;
  }
  return false;
}

bool any_note_has(const PGMDEV_SFDP_FLASH& flash, const std::string& text) {
  for (const std::string& note : flash.notes) {
    if (note.find(text) != std::string::npos) return true;
  }
  return false;
}

std::string all_notes(const PGMDEV_SFDP_FLASH& flash) {
  std::string text;
  for (const std::string& note : flash.notes) text += note + "\n";
  return text;
}

// ---------------------------------------------------------------------------------------------
// The fixture

TEST(SfdpFixtureTest, FixtureFileIsTheImageOfTheTests) {
  std::ifstream file(PGMDEV_SOURCE_DIR "/tests/data/sfdp_128mbit_bfpt16.hex");
  ASSERT_TRUE(file.good());
  Bytes bytes;
  std::string pair;
  while (file >> pair) bytes.push_back(static_cast<unsigned char>(std::stoul(pair, nullptr, 16)));
  EXPECT_EQ(bytes, fixture_image());
}

TEST(SfdpDefineTest, FixtureGivesTheWholeRecord) {
  const PGMDEV_SFDP_FLASH flash = define(fixture_image());
  ASSERT_EQ(flash.status, PGMDEV_SFDP_ACCEPTED) << flash.message;
  EXPECT_EQ(flash.message, "");
  EXPECT_EQ(flash.table.bfpt_pointer, 0x30u);
  EXPECT_EQ(flash.table.bfpt_dwords, 16u);
  // 64 KB erase at most 14 x 160 ms = 2240 ms: 3 s; chip erase 14 x 40 s = 560 s; page program
  // 4 x 704 us = 2816 us.
  EXPECT_EQ(flash.record_text,
            "@ACME@AC25Q128@0@24@2@64@1@161@0@32@1@NONE@0@0@0@0@0@0@1@134217728@65536@0@0@560@3@"
            "2816@28@28@0@255@0@1@3.3@");
  EXPECT_EQ(flash.derived,
            (std::vector<std::string>{"device_bit_size", "device_sector_byte", "byte4_addressing",
                                      "bulk_erase_time", "sec_erase_time", "program_utime"}));
  EXPECT_TRUE(flash.clamped.empty());
  EXPECT_EQ(flash.given, (std::vector<std::string>{"manufacturer_name", "device_name"}));
  EXPECT_EQ(
      flash.defaulted,
      (std::vector<std::string>{
          "extended_mode", "micron_flow", "spansion_flow", "startup_protected", "aai_mode",
          "flag_status", "die_count", "protection_mask", "protection_value", "unprotect_value",
          "protection_division", "bottom_value", "sdm_support", "asc_voltage"}));
  EXPECT_TRUE(any_note_has(flash, "SFDP 1.6: BFPT 1.6 of 16 DWORDs at byte 0x000030"))
      << all_notes(flash);
  EXPECT_TRUE(any_note_has(flash, "type 3 64 KB (opcode 0xD8, at most 2240 ms)"))
      << all_notes(flash);
  // The record text is the one its record gives, sealed and encoded as the dialogue does.
  EXPECT_EQ(pgmdev_flash_record_text(flash.record), flash.record_text);
  EXPECT_EQ(MANAGER::decode_ini(flash.ini), pgmdev_seal_flash_entry(flash.record_text));
}

TEST(SfdpDefineTest, RecordTextIsTheDialoguesForTheSameAnswers) {
  const PGMDEV_SFDP_FLASH flash = define(fixture_image());
  ASSERT_EQ(flash.status, PGMDEV_SFDP_ACCEPTED) << flash.message;
  // Manufacturer, name, memory id and index, memory type and index, manufacturer id and index,
  // six flags, die count, Mbit, KB, times, protection bits, divisor, bottom bit, SDM, voltage.
  std::istringstream answers(
      "acme ac25q128 18 2 40 1 a1 0 n n n n n n 1 128 64 560 3 2816 1c 1c 0 -1 -1 y 3.3");
  std::ostringstream questions;
  MANAGER manager(false, 0, true, false);
  std::string raw;
  ASSERT_TRUE(manager.prompt_flash_info(raw, answers, questions)) << questions.str();
  EXPECT_EQ(flash.record_text, raw);
}

// ---------------------------------------------------------------------------------------------
// What the table gives

TEST(SfdpDefineTest, EachRevisionsTableLength) {
  const Values kTimes = {
      {"sec_erase_time", "2"}, {"bulk_erase_time", "100"}, {"program_utime", "5000"}};
  struct Case {
    const char* what;
    unsigned int dwords;
    unsigned int minor;
    bool erase_times;
    bool program_times;
  };
  const Case kCases[] = {
      {"JESD216 1.0: 9 DWORDs, no times", 9, 0, false, false},
      {"10 DWORDs: erase times only", 10, 5, true, false},
      {"JESD216B 1.6: 16 DWORDs", 16, 6, true, true},
      {"JESD216D 1.8: 20 DWORDs", 20, 8, true, true},
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.what);
    Bfpt bfpt;
    bfpt.dwords = c.dwords;
    const Bytes image = image_of(bfpt, c.minor);
    PGMDEV_SFDP_TABLE table;
    std::string message;
    ASSERT_TRUE(PGMDEV_FLASH_SFDP::read_table(image.data(), image.size(), table, message))
        << message;
    EXPECT_EQ(table.bfpt_dwords, c.dwords);
    EXPECT_EQ(table.bfpt_minor, c.minor);
    EXPECT_EQ(table.density_bits, 1u << 27);
    EXPECT_EQ(table.erase_times, c.erase_times);
    EXPECT_EQ(table.program_times, c.program_times);
    EXPECT_EQ(table.erase[2].max_ms, c.erase_times ? 2240u : 0u);
    EXPECT_EQ(table.chip_erase_max_ms, c.program_times ? 560000u : 0u);
    EXPECT_EQ(table.page_program_max_us, c.program_times ? 2816u : 0u);

    // Without the times the table lacks, the record is refused, naming each of them.
    const PGMDEV_SFDP_FLASH bare = define(image);
    EXPECT_EQ(bare.status, c.program_times ? PGMDEV_SFDP_ACCEPTED : PGMDEV_SFDP_RECORD_REFUSED)
        << bare.message;
    EXPECT_EQ(bare.message.find("sec_erase_time") != std::string::npos, !c.erase_times)
        << bare.message;
    EXPECT_EQ(bare.message.find("bulk_erase_time") != std::string::npos, !c.program_times);
    EXPECT_EQ(bare.message.find("program_utime") != std::string::npos, !c.program_times);

    // With them given, it is made; the table's values give way to the given ones.
    const PGMDEV_SFDP_FLASH timed = define(image, names_and(kTimes));
    ASSERT_EQ(timed.status, PGMDEV_SFDP_ACCEPTED) << timed.message;
    EXPECT_EQ(timed.record.sec_erase_time, 2u);
    EXPECT_EQ(timed.record.bulk_erase_time, 100u);
    EXPECT_EQ(timed.record.program_utime, 5000u);
    EXPECT_TRUE(contains(timed.given, "sec_erase_time"));
    EXPECT_FALSE(contains(timed.derived, "sec_erase_time"));
    EXPECT_EQ(any_note_has(timed, "sec_erase_time: 2 s as given; the table gives 3 s"),
              c.erase_times)
        << all_notes(timed);
  }
}

TEST(SfdpDefineTest, DensityForms) {
  struct Case {
    const char* what;
    uint32_t dword2;
    PGMDEV_SFDP_STATUS status;
    DWORD bits;
    bool byte4;
  };
  const Case kCases[] = {
      {"bits minus one: 128 Mbit", 0x07FFFFFF, PGMDEV_SFDP_ACCEPTED, 1u << 27, false},
      {"power of two: 128 Mbit", 0x80000000u | 27, PGMDEV_SFDP_ACCEPTED, 1u << 27, false},
      {"bits minus one: 1 Mbit", 0x000FFFFF, PGMDEV_SFDP_ACCEPTED, 1u << 20, false},
      {"bits minus one: 192 Mbit", 0x0BFFFFFF, PGMDEV_SFDP_ACCEPTED, 192u << 20, true},
      {"bits minus one: 2048 Mbit", 0x7FFFFFFF, PGMDEV_SFDP_ACCEPTED, 1u << 31, true},
      {"power of two: 2048 Mbit", 0x80000000u | 31, PGMDEV_SFDP_ACCEPTED, 1u << 31, true},
      {"power of two: 4096 Mbit", 0x80000000u | 32, PGMDEV_SFDP_TABLE_REFUSED, 0, false},
      {"power of two: 2^(2^31 - 1)", 0xFFFFFFFF, PGMDEV_SFDP_TABLE_REFUSED, 0, false},
      {"512 Kbit: not a whole Mbit", 0x0007FFFF, PGMDEV_SFDP_RECORD_REFUSED, 1u << 19, false},
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.what);
    Bfpt bfpt;
    bfpt.density = c.dword2;
    const PGMDEV_SFDP_FLASH flash = define(image_of(bfpt));
    ASSERT_EQ(flash.status, c.status) << flash.message;
    EXPECT_EQ(flash.table.density_bits, c.bits);
    if (c.status == PGMDEV_SFDP_ACCEPTED) {
      EXPECT_EQ(flash.record.device_bit_size, c.bits);
      EXPECT_EQ(flash.record.byte4_addressing, c.byte4);
    } else if (c.status == PGMDEV_SFDP_TABLE_REFUSED) {
      EXPECT_NE(flash.message.find("above 2048 Mbit"), std::string::npos) << flash.message;
    } else {
      EXPECT_NE(flash.message.find("device_bit_size 524288 is not a whole number of Mbit above 0"),
                std::string::npos)
          << flash.message;
    }
  }
  // 2048 Mbit is 2^31 bits, written negative in the record text as the dialogue does.
  Bfpt largest;
  largest.density = 0x7FFFFFFF;
  EXPECT_NE(define(image_of(largest)).record_text.find("@-2147483648@"), std::string::npos);
}

TEST(SfdpDefineTest, AddressingModes) {
  struct Case {
    const char* what;
    unsigned int addressing;
    uint32_t density;
    bool byte4;
    const char* note;  // a note that must be there, or null
  };
  const Case kCases[] = {
      {"3 bytes only, 128 Mbit", 0, 0x07FFFFFF, false, nullptr},
      {"3 or 4 bytes, 128 Mbit", 1, 0x07FFFFFF, false, nullptr},
      {"4 bytes only, 128 Mbit", 2, 0x07FFFFFF, true, nullptr},
      {"reserved value, 128 Mbit", 3, 0x07FFFFFF, false, "reserved value 11b"},
      {"3 or 4 bytes, 256 Mbit", 1, 0x0FFFFFFF, true, nullptr},
      {"4 bytes only, 256 Mbit", 2, 0x0FFFFFFF, true, nullptr},
      {"3 bytes only, 256 Mbit: the density decides", 0, 0x0FFFFFFF, true, "3-byte addresses only"},
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.what);
    Bfpt bfpt;
    bfpt.addressing = c.addressing;
    bfpt.density = c.density;
    const PGMDEV_SFDP_FLASH flash = define(image_of(bfpt));
    ASSERT_EQ(flash.status, PGMDEV_SFDP_ACCEPTED) << flash.message;
    EXPECT_EQ(flash.table.addressing, c.addressing);
    EXPECT_EQ(flash.record.byte4_addressing, c.byte4);
    EXPECT_TRUE(contains(flash.derived, "byte4_addressing"));
    if (c.note != nullptr) {
      EXPECT_TRUE(any_note_has(flash, c.note)) << all_notes(flash);
    }
  }
}

TEST(SfdpDefineTest, EraseTypesMissingOrOutOfOrder) {
  struct Case {
    const char* what;
    std::vector<unsigned int> sizes;  // size bytes of types 1 to 4
    Values values;
    PGMDEV_SFDP_STATUS status;
    DWORD sector;
    DWORD sec_erase_time;
    const char* message;  // part of the message when refused
  };
  // Typical times of types 1 to 4: 48, 128, 160 and 16 ms; maximum 14 times that.
  const Case kCases[] = {
      {"ascending", {12, 15, 16, 0}, {}, PGMDEV_SFDP_ACCEPTED, 65536, 3, nullptr},
      {"largest first", {16, 12, 15, 0}, {}, PGMDEV_SFDP_ACCEPTED, 65536, 1, nullptr},
      {"largest last, a gap before it",
       {12, 0, 0, 18},
       {},
       PGMDEV_SFDP_ACCEPTED,
       262144,
       1,
       nullptr},
      {"one type", {0, 15, 0, 0}, {}, PGMDEV_SFDP_ACCEPTED, 32768, 2, nullptr},
      {"two of the largest size: the first counts",
       {12, 16, 16, 0},
       {},
       PGMDEV_SFDP_ACCEPTED,
       65536,
       2,
       nullptr},
      {"sector given: the time of its type",
       {12, 15, 16, 0},
       {{"device_sector_byte", "4096"}},
       PGMDEV_SFDP_ACCEPTED,
       4096,
       1,
       nullptr},
      {"no erase type",
       {0, 0, 0, 0},
       {},
       PGMDEV_SFDP_RECORD_REFUSED,
       0,
       0,
       "device_sector_byte (the table lists no erase type); sec_erase_time"},
      {"no erase type, sector and time given",
       {0, 0, 0, 0},
       {{"device_sector_byte", "65536"}, {"sec_erase_time", "2"}},
       PGMDEV_SFDP_ACCEPTED,
       65536,
       2,
       nullptr},
      {"sector given that no type has",
       {12, 15, 16, 0},
       {{"device_sector_byte", "8192"}},
       PGMDEV_SFDP_RECORD_REFUSED,
       0,
       0,
       "sec_erase_time (no erase type has the sector's size)"},
      {"a type too large for a record",
       {12, 40, 0, 0},
       {},
       PGMDEV_SFDP_RECORD_REFUSED,
       0,
       0,
       "erase type 2 of 2^40 bytes does not fit a record"},
      {"a largest type below 1 KB",
       {8, 0, 0, 0},
       {},
       PGMDEV_SFDP_RECORD_REFUSED,
       0,
       0,
       "device_sector_byte 256 is not a whole number of KB above 0"},
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.what);
    Bfpt bfpt;
    bfpt.erase_time[3] = 0x20;  // 16 ms
    for (unsigned int k = 0; k < 4; ++k) bfpt.erase_size[k] = c.sizes[k];
    const PGMDEV_SFDP_FLASH flash = define(image_of(bfpt), names_and(c.values));
    ASSERT_EQ(flash.status, c.status) << flash.message;
    if (c.status == PGMDEV_SFDP_ACCEPTED) {
      EXPECT_EQ(flash.record.device_sector_byte, c.sector);
      EXPECT_EQ(flash.record.sec_erase_time, c.sec_erase_time);
    } else {
      EXPECT_NE(flash.message.find(c.message), std::string::npos) << flash.message;
    }
  }
}

TEST(SfdpDefineTest, TheBfptOfTheHighestRevisionIsRead) {
  Bfpt old_bfpt;  // 1.0: 9 DWORDs, 64 Mbit
  old_bfpt.dwords = 9;
  old_bfpt.density = 0x03FFFFFF;
  Bfpt new_bfpt;  // 1.6: 16 DWORDs, 128 Mbit
  const Table kOld{0xFF00, 1, 0, old_bfpt.build()};
  const Table kNew{0xFF00, 1, 6, new_bfpt.build()};
  const Table kVendor{0xFF84, 1, 0, std::vector<uint32_t>(4, 0x12345678)};
  Table major_two{0xFF00, 2, 9, old_bfpt.build()};
  struct Case {
    const char* what;
    std::vector<Table> tables;
    unsigned int header;
    unsigned int others;
    DWORD bits;
  };
  const Case kCases[] = {
      {"the newer second", {kOld, kNew}, 1, 1, 1u << 27},
      {"the newer first", {kNew, kOld}, 0, 1, 1u << 27},
      {"a vendor table between", {kOld, kVendor, kNew}, 2, 1, 1u << 27},
      {"the same revision twice: the first", {kOld, kOld}, 0, 1, 1u << 26},
      {"a major revision 2 table is passed over", {kOld, major_two}, 0, 1, 1u << 26},
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.what);
    Image image;
    image.tables = c.tables;
    const Bytes bytes = image.build();
    PGMDEV_SFDP_TABLE table;
    std::string message;
    ASSERT_TRUE(PGMDEV_FLASH_SFDP::read_table(bytes.data(), bytes.size(), table, message))
        << message;
    EXPECT_EQ(table.header_count, c.tables.size());
    EXPECT_EQ(table.bfpt_header, c.header);
    EXPECT_EQ(table.other_bfpt_headers, c.others);
    EXPECT_EQ(table.density_bits, c.bits);
  }
}

TEST(SfdpDefineTest, DerivedTimesOutsideTheLoadersRangeAreClamped) {
  struct Case {
    const char* what;
    Bfpt bfpt;
    const char* member;
    DWORD value;
    const char* note;
  };
  Bfpt fast_program;  // 1 x 8 us typical, 2 x 1: 16 us
  fast_program.page_time = 0x00;
  fast_program.program_count = 0;
  Bfpt slow_chip_erase;  // 32 x 64 s typical, 2 x 7: 28672 s
  slow_chip_erase.chip_time = 0x7F;
  Bfpt slow_sector_erase;  // 64 KB: 32 x 1 s typical, 2 x 7: 448 s
  slow_sector_erase.erase_time[2] = 0x7F;
  const Case kCases[] = {
      {"page program below 1000 us", fast_program, "program_utime", 1000,
       "program_utime: the table gives 16 us; the loader accepts 1000 to 1000000 us, so 1000 us "
       "is used"},
      {"chip erase above 900 s", slow_chip_erase, "bulk_erase_time", 900,
       "bulk_erase_time: the table gives 28672 s; the loader accepts 1 to 900 s, so 900 s is "
       "used"},
      {"sector erase above 60 s", slow_sector_erase, "sec_erase_time", 60,
       "sec_erase_time: the table gives 448 s; the loader accepts 1 to 60 s, so 60 s is used"},
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.what);
    const PGMDEV_SFDP_FLASH flash = define(image_of(c.bfpt));
    ASSERT_EQ(flash.status, PGMDEV_SFDP_ACCEPTED) << flash.message;
    EXPECT_EQ(flash.clamped, std::vector<std::string>{c.member});
    EXPECT_TRUE(contains(flash.derived, c.member));
    EXPECT_TRUE(any_note_has(flash, c.note)) << all_notes(flash);
    const std::vector<std::string> fields = [&] {
      std::vector<std::string> values;
      std::string value;
      std::size_t pos = 0;
      while (MANAGER::get_string_from_ini(flash.record_text, &value, pos)) values.push_back(value);
      return values;
    }();
    for (unsigned int i = 0; i < MANAGER::TOTAL_DATABASE_MEMBER; ++i) {
      if (c.member == std::string(MANAGER::m_name_list[i])) {
        EXPECT_EQ(fields[i], std::to_string(c.value));
      }
    }
  }
  // A value given is not clamped: the loader's rule refuses it.
  const PGMDEV_SFDP_FLASH given = define(fixture_image(), names_and({{"program_utime", "500"}}));
  EXPECT_EQ(given.status, PGMDEV_SFDP_RECORD_REFUSED);
  EXPECT_EQ(given.message,
            "the loader would refuse this flash: program_utime 500 is not 1000 to 1000000 "
            "microseconds");
}

// ---------------------------------------------------------------------------------------------
// Refusals of the bytes

TEST(SfdpReadTest, EveryTruncationOfAValidImageIsRefused) {
  const Bytes image = fixture_image();
  PGMDEV_SFDP_TABLE table;
  std::string message;
  ASSERT_TRUE(PGMDEV_FLASH_SFDP::read_table(image.data(), image.size(), table, message));
  for (std::size_t length = 0; length < image.size(); ++length) {
    // A copy of exactly that length, so that a read past it is a sanitizer error.
    const Bytes cut(image.begin(), image.begin() + static_cast<std::ptrdiff_t>(length));
    EXPECT_FALSE(PGMDEV_FLASH_SFDP::read_table(cut.data(), cut.size(), table, message)) << length;
    EXPECT_FALSE(message.empty());
  }
}

TEST(SfdpReadTest, Refusals) {
  struct Case {
    const char* what;
    Bytes image;
    const char* message;
  };
  const auto with = [](std::size_t at, unsigned char value) {
    Bytes image = fixture_image();
    image[at] = value;
    return image;
  };
  Image vendor_first;
  vendor_first.tables.insert(vendor_first.tables.begin(),
                             Table{0xFF84, 1, 0, std::vector<uint32_t>(4, 0)});
  Image past_end;
  past_end.tables[0].pointer = 0x10;
  past_end.tables[0].length = 17;
  Image far_pointer;
  far_pointer.tables[0].pointer = 0x10;
  Bytes far = far_pointer.build();
  far[12] = far[13] = far[14] = 0xFF;  // pointer 0xFFFFFF
  Image short_bfpt;
  short_bfpt.tables[0].dwords.resize(8);
  Bfpt huge;
  huge.density = 0x80000000u | 33;
  Image newer_past_end;
  newer_past_end.tables = {Table{}, Table{0xFF00, 1, 8, Bfpt{}.build(), 20}};
  const Case kCases[] = {
      {"no bytes", {}, "the SFDP header needs 8 bytes, and 0 were given"},
      {"a short header", Bytes{'S', 'F', 'D', 'P', 6, 1, 0},
       "the SFDP header needs 8 bytes, and 7"},
      {"wrong signature", with(3, 'Q'),
       "bytes 0-3 are 53 46 44 51, not the signature \"SFDP\" (53 46 44 50)"},
      {"major revision 2", with(5, 2), "byte 5: SFDP major revision 2; only major revision 1"},
      {"major revision 0", with(5, 0), "byte 5: SFDP major revision 0"},
      {"more parameter headers than bytes", with(6, 0xFF),
       "byte 6: 256 parameter headers end at byte 2056, past the 112 bytes given"},
      {"first header a vendor table", vendor_first.build(),
       "parameter header 0 (bytes 8-15) has ID 0xFF84, not the BFPT's 0xFF00"},
      {"first header ID high byte not FF", with(15, 0x00),
       "parameter header 0 (bytes 8-15) has ID 0x0000"},
      {"BFPT major revision 2", with(10, 2), "parameter header 0 (byte 10): BFPT major revision 2"},
      {"table length past the end", past_end.build(),
       "parameter header 0: the BFPT of 17 DWORDs at byte 0x000010 ends at byte 84, past the 80 "
       "bytes given"},
      {"pointer past the end", far,
       "the BFPT of 16 DWORDs at byte 0xFFFFFF ends at byte 16777279, past the 80 bytes given"},
      {"BFPT shorter than 9 DWORDs", short_bfpt.build(),
       "the BFPT has 8 DWORDs, fewer than the 9 of its first revision"},
      {"density above 2048 Mbit", image_of(huge),
       "BFPT DWORD2 (byte 0x000014): a density of 2^33 bits is above 2048 Mbit"},
      {"the newer BFPT past the end",
       [&] {
         Bytes bytes = newer_past_end.build();
         bytes.resize(bytes.size() - 1);
         return bytes;
       }(),
       "parameter header 1: the BFPT of 20 DWORDs"},
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.what);
    PGMDEV_SFDP_TABLE table;
    std::string message;
    EXPECT_FALSE(PGMDEV_FLASH_SFDP::read_table(c.image.data(), c.image.size(), table, message));
    EXPECT_NE(message.find(c.message), std::string::npos) << message;
    const PGMDEV_SFDP_FLASH flash = define(c.image);
    EXPECT_EQ(flash.status, PGMDEV_SFDP_TABLE_REFUSED);
    EXPECT_EQ(flash.message, message);
    EXPECT_EQ(flash.ini, "");
  }
  PGMDEV_SFDP_TABLE table;
  std::string message;
  EXPECT_FALSE(PGMDEV_FLASH_SFDP::read_table(nullptr, 100, table, message));
}

// ---------------------------------------------------------------------------------------------
// What the caller gives

TEST(SfdpDefineTest, ValuesGivenAndIdBytes) {
  struct Case {
    const char* what;
    Values values;
    std::vector<unsigned char> id;
    PGMDEV_SFDP_STATUS status;
    const char* text;  // part of the message, or of the record text when accepted
  };
  const std::vector<unsigned char> id = {0xA1, 0x40, 0x18};
  const Case kCases[] = {
      {"flags in any spelling",
       {{"micron_flow", "y"}, {"flag_status", "TRUE"}, {"sdm_support", "no"}},
       id,
       PGMDEV_SFDP_ACCEPTED,
       "@0@1@0@0@0@1@1@"},
      {"two dies", {{"die_count", "2"}}, id, PGMDEV_SFDP_ACCEPTED, "@0@0@0@0@0@0@2@"},
      {"protection bits in hex",
       {{"protection_mask", "0x3c"}, {"bottom_value", "0x20"}},
       id,
       PGMDEV_SFDP_ACCEPTED,
       "@60@28@0@255@32@"},
      {"a divisor", {{"protection_division", "5"}}, id, PGMDEV_SFDP_ACCEPTED, "@0@5@0@"},
      {"divisor -1 is none",
       {{"protection_division", "-1"}},
       id,
       PGMDEV_SFDP_ACCEPTED,
       "@0@255@0@"},
      {"names upper-cased", {{"asc_voltage", "1.8v"}}, id, PGMDEV_SFDP_ACCEPTED, "@1.8V@"},
      {"4-byte addressing given",
       {{"byte4_addressing", "1"}},
       id,
       PGMDEV_SFDP_ACCEPTED,
       "@134217728@65536@0@1@"},
      {"a larger density given",
       {{"device_bit_size", "0x10000000"}},
       id,
       PGMDEV_SFDP_ACCEPTED,
       "@268435456@65536@0@1@"},
      {"any memory type byte", {}, {0xA1, 0x00, 0x18}, PGMDEV_SFDP_ACCEPTED, "@0@24@2@0@1@161@"},
      {"unknown member",
       {{"colour", "red"}},
       id,
       PGMDEV_SFDP_VALUE_REFUSED,
       "'colour' is no member of a flash record"},
      {"an id member",
       {{"memory_id", "0x19"}},
       id,
       PGMDEV_SFDP_VALUE_REFUSED,
       "memory_id cannot be given"},
      {"a fixed member",
       {{"norvik_id", "16"}},
       id,
       PGMDEV_SFDP_VALUE_REFUSED,
       "norvik_id cannot be given"},
      {"three dies",
       {{"die_count", "3"}},
       id,
       PGMDEV_SFDP_VALUE_REFUSED,
       "die_count=3: a flash has 1 or 2 dies"},
      {"a flag that is none",
       {{"aai_mode", "maybe"}},
       id,
       PGMDEV_SFDP_VALUE_REFUSED,
       "aai_mode=maybe: a flag is 1 or 0"},
      {"a byte above 255",
       {{"protection_mask", "256"}},
       id,
       PGMDEV_SFDP_VALUE_REFUSED,
       "protection_mask=256: a number from 0 to 255"},
      {"not a number",
       {{"program_utime", "3ms"}},
       id,
       PGMDEV_SFDP_VALUE_REFUSED,
       "program_utime=3ms: a number from 0 to 4294967295"},
      {"a bottom value of two bits",
       {{"bottom_value", "3"}},
       id,
       PGMDEV_SFDP_VALUE_REFUSED,
       "bottom_value=3: the mask of one status-register bit"},
      {"a name that breaks the record text",
       {{"device_name", "AC@25"}},
       id,
       PGMDEV_SFDP_VALUE_REFUSED,
       "device_name=AC@25: a text of printable characters"},
      {"a name of 20 characters",
       {{"device_name", std::string(20, 'N')}},
       id,
       PGMDEV_SFDP_VALUE_REFUSED,
       "a text of 1 to 19 characters"},
      {"a divisor the loader refuses",
       {{"protection_division", "32"}},
       id,
       PGMDEV_SFDP_RECORD_REFUSED,
       "the loader would refuse this flash: protection_division 32 is not 0 to 31 or 255"},
      {"manufacturer id 0",
       {},
       {0x00, 0x40, 0x18},
       PGMDEV_SFDP_VALUE_REFUSED,
       "id byte 0 (manufacturer) is 0x00"},
      {"manufacturer id FF",
       {},
       {0xFF, 0x40, 0x18},
       PGMDEV_SFDP_VALUE_REFUSED,
       "id byte 0 (manufacturer) is 0xFF"},
      {"capacity id 0",
       {},
       {0xA1, 0x40, 0x00},
       PGMDEV_SFDP_VALUE_REFUSED,
       "id byte 2 (capacity) is 0x00"},
      {"capacity id FF",
       {},
       {0xA1, 0x40, 0xFF},
       PGMDEV_SFDP_VALUE_REFUSED,
       "id byte 2 (capacity) is 0xFF"},
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.what);
    const PGMDEV_SFDP_FLASH flash = define(fixture_image(), names_and(c.values), c.id.data());
    ASSERT_EQ(flash.status, c.status) << flash.message;
    const std::string& where = c.status == PGMDEV_SFDP_ACCEPTED ? flash.record_text : flash.message;
    EXPECT_NE(where.find(c.text), std::string::npos) << where;
    if (c.status == PGMDEV_SFDP_ACCEPTED) {
      for (const auto& [member, value] : c.values) {
        EXPECT_TRUE(contains(flash.given, member)) << member;
        EXPECT_FALSE(contains(flash.defaulted, member)) << member;
      }
    } else {
      EXPECT_EQ(flash.ini, "");
    }
  }

  // Maker and device name have no default.
  const PGMDEV_SFDP_FLASH nameless = define(fixture_image(), {{"device_name", "X"}});
  EXPECT_EQ(nameless.status, PGMDEV_SFDP_RECORD_REFUSED);
  EXPECT_EQ(nameless.message,
            "no value for manufacturer_name (no default): give each as MEMBER=VALUE");
  EXPECT_EQ(PGMDEV_FLASH_SFDP::define_flash(fixture_image().data(), fixture_image().size(), nullptr,
                                            kNames)
                .status,
            PGMDEV_SFDP_VALUE_REFUSED);
}

TEST(SfdpDefineTest, MembersThatCanBeGiven) {
  unsigned int fixed = 0;
  for (const char* member : MANAGER::m_name_list) {
    if (!PGMDEV_FLASH_SFDP::member_can_be_given(member)) ++fixed;
  }
  // The id bytes and their positions, silicon_id, norvik_id, default_dev, ini and half_size.
  EXPECT_EQ(fixed, 11u);
  EXPECT_FALSE(PGMDEV_FLASH_SFDP::member_can_be_given("mfc_id_index"));
  EXPECT_TRUE(PGMDEV_FLASH_SFDP::member_can_be_given("sdm_support"));
  EXPECT_FALSE(PGMDEV_FLASH_SFDP::member_can_be_given("SDM_SUPPORT"));
}

TEST(UnsoundReasonTest, EachCheckNamesItsMemberFirst) {
  const PGMDEV_SFDP_FLASH flash = define(fixture_image());
  ASSERT_EQ(flash.status, PGMDEV_SFDP_ACCEPTED) << flash.message;
  EXPECT_EQ(pgmdev_unsound_reason(flash.record), "");
  struct Case {
    const char* member;
    void (*unsound)(PGMDEV_SFL_FLASH_INFO&);
  };
  const Case kCases[] = {
      {"memory_id", [](PGMDEV_SFL_FLASH_INFO& r) { r.memory_id = 0; }},
      {"memory_id_index", [](PGMDEV_SFL_FLASH_INFO& r) { r.memory_id_index = 3; }},
      {"memory_type_index", [](PGMDEV_SFL_FLASH_INFO& r) { r.memory_type_index = 2; }},
      {"mfc_id_index", [](PGMDEV_SFL_FLASH_INFO& r) { r.mfc_id_index = 1; }},
      {"norvik_id", [](PGMDEV_SFL_FLASH_INFO& r) { r.norvik_id = 17; }},
      {"die_count", [](PGMDEV_SFL_FLASH_INFO& r) { r.die_count = 0; }},
      {"device_bit_size", [](PGMDEV_SFL_FLASH_INFO& r) { r.device_bit_size += 1; }},
      {"device_sector_byte", [](PGMDEV_SFL_FLASH_INFO& r) { r.device_sector_byte = 0; }},
      {"bulk_erase_time", [](PGMDEV_SFL_FLASH_INFO& r) { r.bulk_erase_time = 901; }},
      {"sec_erase_time", [](PGMDEV_SFL_FLASH_INFO& r) { r.sec_erase_time = 0; }},
      {"program_utime", [](PGMDEV_SFL_FLASH_INFO& r) { r.program_utime = 999; }},
      {"protection_division", [](PGMDEV_SFL_FLASH_INFO& r) { r.protection_division = 32; }},
  };
  for (const Case& c : kCases) {
    PGMDEV_SFL_FLASH_INFO record = flash.record;
    c.unsound(record);
    const std::string fault = pgmdev_unsound_reason(record);
    EXPECT_EQ(fault.substr(0, fault.find(' ')), c.member) << fault;
  }
}

// ---------------------------------------------------------------------------------------------
// Loading

TEST(SfdpDefineTest, IniTextLoadsAtTheHeadOfTheFlashTable) {
  cfg_unset_value("PGMDEV_DEVICE_DB_DIR");
  cfg_unset_value(kIniKey);
  unsigned char id[3] = {kId[0], kId[1], kId[2]};
  {
    MANAGER plain(false, 1, false, false);
    EXPECT_FALSE(plain.flash_id_database_mapping(false, 0, id));
  }
  const PGMDEV_SFDP_FLASH flash = define(fixture_image());
  ASSERT_EQ(flash.status, PGMDEV_SFDP_ACCEPTED) << flash.message;
  cfg_set_value(kIniKey, flash.ini);
  MANAGER manager(false, 1, false, false);
  cfg_unset_value(kIniKey);
  ASSERT_TRUE(manager.flash_id_database_mapping(false, 0, id));
  EXPECT_EQ(manager.get_flash_mapping_index(0, false), 0u);
  const PGMDEV_SFL_FLASH_INFO& loaded = manager.m_flash_database[0];
  EXPECT_EQ(pgmdev_flash_record_text(loaded), flash.record_text);
}

}  // namespace
