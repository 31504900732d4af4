// User-defined flash: the console dialogue, the INI text codec, the check code, the field
// conversions and loading at the head of the flash table (the tool's flash-ini end to end is in
// test_tool_flash_ini.cpp).
#include <gtest/gtest.h>

#include <functional>
#include <iostream>
#include <map>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "cfg.h"
#include "msg.h"
#include "pgmdev_flash_manager.h"
#include "pgmdev_flash_manager_ini.h"

namespace {

using MANAGER = PGMDEV_FLASH_MANAGER;

constexpr const char kIniKey[] = "PGM_3RD_PARTY_FLASH_INI";
constexpr const char kIniDebugSwitch[] = "PGM_3RD_PARTY_FLASH_INI_DEBUG";
constexpr const char kIniSource[] = "pgm/pgmdev/pgmdev_flash_manager_ini.cpp";

// Standard output of the library while the object lives.
class CoutCapture {
 public:
  CoutCapture() : m_old(std::cout.rdbuf(m_text.rdbuf())) {}
  ~CoutCapture() { std::cout.rdbuf(m_old); }
  std::string text() const { return m_text.str(); }

 private:
  std::ostringstream m_text;
  std::streambuf* m_old;
};

std::string split_join(const std::vector<std::string>& values, const std::string& separator) {
  std::string text;
  for (size_t i = 0; i < values.size(); ++i) text += (i == 0 ? "" : separator) + values[i];
  return text;
}

unsigned int member_index(const std::string& member) {
  for (unsigned int i = 0; i < MANAGER::TOTAL_DATABASE_MEMBER; ++i) {
    if (member == MANAGER::m_name_list[i]) return i;
  }
  ADD_FAILURE() << "no member " << member;
  return 0;
}

// The values of a record text "@v0@v1...@v32@".
std::vector<std::string> record_values(const std::string& raw) {
  std::vector<std::string> values;
  std::string value;
  std::size_t pos = 0;
  while (MANAGER::get_string_from_ini(raw, &value, pos)) values.push_back(value);
  return values;
}

// ---------------------------------------------------------------------------------------------
// The dialogue

enum Question {
  kManufacturer,
  kDevice,
  kMemoryId,
  kMemoryIdIndex,
  kMemoryType,
  kMemoryTypeIndex,
  kMfcId,
  kMfcIdIndex,
  kExtendedMode,
  kMicronFlow,
  kSpansionFlow,
  kProtected,
  kAaiMode,
  kFlagStatus,
  kDieCount,
  kDensity,
  kSectorSize,
  kBulkErase,
  kSectorErase,
  kProgramTime,
  kProtectionMask,
  kProtectionValue,
  kUnprotectValue,
  kDivisor,
  kBottomValue,
  kSdmSupport,
  kVoltage,
  kQuestionCount
};

const char* const kQuestions[kQuestionCount] = {
    "Manufacture Name : ",
    "Device Name : ",
    "Memory ID (hex) [1 - FE] : ",
    "Memory ID Index [0/1/2] : ",
    "Memory Type (hex) [0 - FF] : ",
    "Memory Type Index [-1/0/1/2] : ",
    "Manufacturer ID (hex) [1 - FE] : ",
    "Manufacturer ID Index [0/1/2] : ",
    "Support Extended Mode [Y/N] : ",
    "Micron flow [Y/N] : ",
    "Spansion flow [Y/N] : ",
    "Protected after power-up [Y/N] : ",
    "Is AAI mode [Y/N] : ",
    "Read flag status [Y/N] : ",
    "Die count [1/2] : ",
    "Memory Density [1 - 2048 Mbit] : ",
    "Sector Size [1 - 1024 Kbyte] : ",
    "Bulk Erase time [1 - 900 seconds] : ",
    "Sector Erase Time [1 - 60 seconds] : ",
    "Page Program Time [1000 - 1000000 microseconds] : ",
    "Protection Mask (hex) [0 - FF] : ",
    "Protection Value (hex) [0 - FF] : ",
    "Unprotect Value (hex) [0 - FF] : ",
    "Protection Divisor (hex) [-1/3 - 20] : ",
    "Bottom Value (bit location) [-1/0 - 7] : ",
    "SDM Support [Y/N] : ",
    "AS Configuration Voltage : ",
};

// Answers for an accepted device, lower case where letters occur, with the record text they give.
std::vector<std::string> base_answers(const std::map<Question, std::string>& overrides = {}) {
  std::vector<std::string> answers = {
      "acme", "ab25q128", "18", "2",   "40", "1",    "ef", "0",  "n", "n",  "n", "n", "n",  "n",
      "1",    "128",      "64", "200", "2",  "3000", "1c", "1c", "0", "-1", "5", "y", "3.3"};
  for (const auto& [question, answer] : overrides) answers[question] = answer;
  return answers;
}
constexpr const char kBaseRecord[] =
    "@ACME@AB25Q128@0@24@2@64@1@239@0@32@1@NONE@0@0@0@0@0@0@1@134217728@65536@0@0@200@2@3000@28@"
    "28@0@255@32@1@3.3@";

std::string questions_up_to(int last) {
  std::string text;
  for (int q = 0; q <= last; ++q) text += kQuestions[q];
  return text;
}

struct DialogueRun {
  bool ok;
  std::string raw;
  std::string output;
};

DialogueRun run_prompt(const std::vector<std::string>& answers) {
  MANAGER manager(false, 0, true, false);
  std::istringstream input(split_join(answers, " "));
  std::ostringstream output;
  DialogueRun run;
  run.ok = manager.prompt_flash_info(run.raw, input, output);
  run.output = output.str();
  return run;
}

TEST(FlashDialogueTest, AcceptedDeviceAsksEveryQuestionAndBuildsTheRecordText) {
  const DialogueRun run = run_prompt(base_answers());
  ASSERT_TRUE(run.ok) << run.output;
  EXPECT_EQ(run.raw, kBaseRecord);
  EXPECT_EQ(run.output,
            questions_up_to(kQuestionCount - 1) + "Prompt outcome: " + kBaseRecord + "\n");
  // 33 values, 34 "@".
  EXPECT_EQ(record_values(run.raw).size(), MANAGER::TOTAL_DATABASE_MEMBER);
}

TEST(FlashDialogueTest, AnswerRulesAndDerivedMembers) {
  struct Case {
    const char* what;
    std::map<Question, std::string> answers;
    std::map<std::string, std::string> values;  // member -> value in the record text
  };
  const Case kCases[] = {
      {"2048 Mbit is 2^31 bits, written negative; above 128 Mbit: 4-byte addressing",
       {{kDensity, "2048"}},
       {{"device_bit_size", "-2147483648"}, {"byte4_addressing", "1"}}},
      {"256 Mbit needs 4-byte addressing", {{kDensity, "256"}}, {{"byte4_addressing", "1"}}},
      {"128 Mbit does not", {{kDensity, "128"}}, {{"byte4_addressing", "0"}}},
      {"1 Kbyte sectors", {{kSectorSize, "1"}}, {{"device_sector_byte", "1024"}}},
      {"bottom value -1 is none", {{kBottomValue, "-1"}}, {{"bottom_value", "0"}}},
      {"bottom value is the mask of the bit", {{kBottomValue, "3"}}, {{"bottom_value", "8"}}},
      {"memory type index -1 is not compared",
       {{kMemoryTypeIndex, "-1"}},
       {{"memory_type_index", "255"}}},
      {"divisor 20 hex is 32", {{kDivisor, "20"}}, {{"protection_division", "32"}}},
      {"divisor 3", {{kDivisor, "3"}}, {{"protection_division", "3"}}},
      {"a byte answer of all ones is 0xFF", {{kMemoryType, "ffffffff"}}, {{"memory_type", "255"}}},
      {"upper-case answers too",
       {{kExtendedMode, "Y"}, {kSdmSupport, "N"}, {kMemoryId, "FE"}},
       {{"extended_mode", "1"}, {"sdm_support", "0"}, {"memory_id", "254"}}},
      {"a name of 19 characters",
       {{kManufacturer, std::string(19, 'm')}},
       {{"manufacturer_name", std::string(19, 'M')}}},
      {"the fixed members",
       {},
       {{"silicon_id", "0"},
        {"norvik_id", "32"},
        {"default_dev", "1"},
        {"ini", "NONE"},
        {"half_size", "0"}}},
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.what);
    const DialogueRun run = run_prompt(base_answers(c.answers));
    ASSERT_TRUE(run.ok) << run.output;
    const std::vector<std::string> values = record_values(run.raw);
    ASSERT_EQ(values.size(), MANAGER::TOTAL_DATABASE_MEMBER);
    for (const auto& [member, value] : c.values) EXPECT_EQ(values[member_index(member)], value);
  }
}

TEST(FlashDialogueTest, FirstRefusedAnswerEndsTheDialogue) {
  constexpr const char kInvalid[] = "Invalid input\n";
  struct Case {
    const char* what;
    std::map<Question, std::string> answers;
    Question refused_at;
    std::string message;
  };
  const Case kCases[] = {
      {"density not a power of two", {{kDensity, "3"}}, kDensity, kInvalid},
      {"density above 2048", {{kDensity, "4096"}}, kDensity, kInvalid},
      {"sector size 0", {{kSectorSize, "0"}}, kSectorSize, kInvalid},
      {"FF is no memory type index", {{kMemoryTypeIndex, "FF"}}, kMemoryTypeIndex, kInvalid},
      {"memory id 0", {{kMemoryId, "0"}}, kMemoryId, kInvalid},
      {"memory id FF", {{kMemoryId, "ff"}}, kMemoryId, kInvalid},
      {"byte above FF", {{kProtectionMask, "100"}}, kProtectionMask, kInvalid},
      {"not hexadecimal", {{kMfcId, "zz"}}, kMfcId, kInvalid},
      {"die count 3", {{kDieCount, "3"}}, kDieCount, kInvalid},
      {"neither Y nor N", {{kAaiMode, "yes"}}, kAaiMode, kInvalid},
      {"program time below 1000", {{kProgramTime, "999"}}, kProgramTime, kInvalid},
      {"divisor 2", {{kDivisor, "2"}}, kDivisor, kInvalid},
      {"divisor 21", {{kDivisor, "21"}}, kDivisor, kInvalid},
      {"bottom bit 8", {{kBottomValue, "8"}}, kBottomValue, kInvalid},
      {"-1 where none is allowed", {{kMemoryIdIndex, "-1"}}, kMemoryIdIndex, kInvalid},
      {"a name of 20 characters",
       {{kManufacturer, std::string(20, 'm')}},
       kManufacturer,
       std::string("Empty name or name too long\n") + kInvalid},
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.what);
    const DialogueRun run = run_prompt(base_answers(c.answers));
    EXPECT_FALSE(run.ok);
    EXPECT_EQ(run.output, questions_up_to(c.refused_at) + c.message);
  }

  // The end of the input gives empty words: refused at the first question without an answer.
  std::vector<std::string> short_answers = base_answers();
  short_answers.resize(kAaiMode);
  const DialogueRun ended = run_prompt(short_answers);
  EXPECT_FALSE(ended.ok);
  EXPECT_EQ(ended.output, questions_up_to(kAaiMode) + kInvalid);
}

TEST(FlashDialogueTest, IdentificationIndexesMustDiffer) {
  const struct {
    const char* memory_id_index;
    const char* memory_type_index;
    const char* mfc_id_index;
  } kCases[] = {{"0", "0", "1"}, {"1", "2", "1"}, {"2", "0", "0"}};
  for (const auto& c : kCases) {
    const DialogueRun run = run_prompt(base_answers({{kMemoryIdIndex, c.memory_id_index},
                                                     {kMemoryTypeIndex, c.memory_type_index},
                                                     {kMfcIdIndex, c.mfc_id_index}}));
    EXPECT_FALSE(run.ok);
    EXPECT_EQ(
        run.output,
        questions_up_to(kQuestionCount - 1) +
            "Memory ID, Memory Type and Manufacturer ID index cannot be at the same location");
  }
  // A memory type that is not compared differs from every index.
  EXPECT_TRUE(run_prompt(base_answers(
                             {{kMemoryIdIndex, "0"}, {kMemoryTypeIndex, "-1"}, {kMfcIdIndex, "1"}}))
                  .ok);
}

std::string run_gen_flash_ini(const std::string& input_text) {
  MANAGER manager(false, 0, true, false);
  std::istringstream input(input_text);
  std::ostringstream output;
  manager.gen_flash_ini(input, output);
  return output.str();
}

TEST(FlashDialogueTest, GeneratorRefusesCountsOutsideOneToThree) {
  for (const char* count : {"", "0", "4", "x", "-1"}) {
    EXPECT_EQ(run_gen_flash_ini(count),
              "Number of 3rd party flash to define (max 3) : "
              "Invalid input or too many flash to define\n")
        << "count '" << count << "'";
  }
  // A refused device ends the generation with the same message.
  const std::string output =
      run_gen_flash_ini("1 " + split_join(base_answers({{kDieCount, "0"}}), " "));
  EXPECT_NE(output.find("Invalid input\nInvalid input or too many flash to define\n"),
            std::string::npos)
      << output;
  EXPECT_EQ(output.find("INI : "), std::string::npos);
}

TEST(FlashDialogueTest, GeneratorSealsEachDeviceAndPrintsTheIniText) {
  const std::string output =
      run_gen_flash_ini("2 " + split_join(base_answers(), " ") + " " +
                        split_join(base_answers({{kDevice, "second"}}), " "));
  std::string second = kBaseRecord;
  second.replace(second.find("AB25Q128"), 8, "SECOND");
  const std::string first_entry =
      std::string(kBaseRecord) + "#" + MANAGER::gen_ini_password(kBaseRecord) + ";";
  const std::string all = first_entry + second + "#" + MANAGER::gen_ini_password(second) + ";";
  EXPECT_NE(output.find("Raw: " + first_entry + "\n"), std::string::npos) << output;
  EXPECT_NE(output.find("Raw: " + all + "\n"), std::string::npos) << output;
  const std::size_t ini = output.find("INI : ");
  ASSERT_NE(ini, std::string::npos) << output;
  const std::string text = output.substr(ini + 6, output.size() - ini - 7);
  EXPECT_EQ(output.back(), '\n');
  EXPECT_EQ(MANAGER::decode_ini(text), all);
}

struct GeneratorRun {
  std::string ini;     // what gen_flash_ini returned
  std::string output;  // its console
  std::string errors;  // its refusal lines
};

GeneratorRun run_generator(const std::string& input_text) {
  MANAGER manager(false, 0, true, false);
  std::istringstream input(input_text);
  std::ostringstream output;
  std::ostringstream errors;
  GeneratorRun run;
  run.ini = manager.gen_flash_ini(input, output, errors);
  run.output = output.str();
  run.errors = errors.str();
  return run;
}

// Each refusal is one line on the error stream: the flash, the question, the answer and why.
TEST(FlashDialogueTest, RefusalsNameTheQuestionTheAnswerAndTheReason) {
  const std::string answers = split_join(base_answers(), " ");
  std::vector<std::string> ended = base_answers();
  ended.resize(kAaiMode);
  struct Case {
    std::string input;
    std::string line;
  };
  const Case kCases[] = {
      {"1 " + split_join(base_answers({{kDensity, "3"}}), " "),
       "question \"Memory Density [1 - 2048 Mbit]\": answer \"3\" refused: the value is not a "
       "power of two in 1 to 2048"},
      {"1 " + split_join(base_answers({{kSectorErase, "61"}}), " "),
       "question \"Sector Erase Time [1 - 60 seconds]\": answer \"61\" refused: the value is not "
       "1 to 60"},
      {"1 " + split_join(base_answers({{kManufacturer, std::string(20, 'm')}}), " "),
       "question \"Manufacture Name\": answer \"" + std::string(20, 'M') +
           "\" refused: it has 20 characters; 1 to 19 are allowed"},
      {"1 " + split_join(base_answers({{kAaiMode, "yes"}}), " "),
       "question \"Is AAI mode [Y/N]\": answer \"YES\" refused: Y or N is expected"},
      {"1 " + split_join(base_answers({{kMfcId, "zz"}}), " "),
       "question \"Manufacturer ID (hex) [1 - FE]\": answer \"ZZ\" refused: a hexadecimal number "
       "is expected"},
      {"1 " + split_join(base_answers({{kMemoryId, "ff"}}), " "),
       "question \"Memory ID (hex) [1 - FE]\": answer \"FF\" refused: the value is not 1 to FE "
       "(hexadecimal)"},
      {"1 " + split_join(base_answers({{kDivisor, "2"}}), " "),
       "question \"Protection Divisor (hex) [-1/3 - 20]\": answer \"2\" refused: the value is not "
       "-1 or 3 to 20 (hexadecimal)"},
      {"1 " + split_join(ended, " "),
       "question \"Is AAI mode [Y/N]\": no answer (end of input): Y or N is expected"},
      {"4",
       "question \"Number of 3rd party flash to define (max 3)\": answer \"4\" refused: 1, 2 or 3 "
       "flash devices can be defined"},
      {"1 " + split_join(base_answers(
                             {{kMemoryIdIndex, "0"}, {kMemoryTypeIndex, "0"}, {kMfcIdIndex, "1"}}),
                         " "),
       "the memory id, memory type and manufacturer id indexes (0, 0, 1) must differ"},
      {"2 " + answers + " " + split_join(base_answers({{kDieCount, "3"}}), " "),
       "flash 2, question \"Die count [1/2]\": answer \"3\" refused: the value is not 1 to 2 "
       "(hexadecimal)"},
  };
  for (const Case& c : kCases) {
    const GeneratorRun run = run_generator(c.input);
    EXPECT_EQ(run.ini, "") << c.line;
    EXPECT_EQ(run.errors, c.line + "\n");
    EXPECT_EQ(run.output.find("INI : "), std::string::npos) << run.output;
    // The console keeps its own words.
    EXPECT_NE(run.output.find("Invalid input"), std::string::npos) << run.output;
  }
}

// An answer that the dialogue takes but that gives a text the loader would refuse (or read as
// another flash) ends the generation with the check that fails, instead of a text that would be
// silently ignored.
TEST(FlashDialogueTest, GeneratorRefusesTextsThatTheLoaderWouldNotLoad) {
  struct Case {
    const char* what;
    std::string input;
    std::string reason;
  };
  const std::string good = split_join(base_answers(), " ");
  const Case kCases[] = {
      {"divisor 20 (hexadecimal) is 32", "1 " + split_join(base_answers({{kDivisor, "20"}}), " "),
       "the loader would refuse flash 1: protection_division 32 is not 0 to 31 or 255"},
      {"a name holding @", "1 " + split_join(base_answers({{kDevice, "ab@25"}}), " "),
       "the loader would refuse flash 1: silicon_id \"25\" does not convert (the record text "
       "holds 34 values, not 33: an answer holds \"@\", \"#\" or \";\")"},
      {"a name holding #", "1 " + split_join(base_answers({{kManufacturer, "ac#me"}}), " "),
       "the loader would refuse flash 1: the record text holds 0 values, not 33: an answer holds "
       "\"@\", \"#\" or \";\""},
      {"a voltage holding ;", "1 " + split_join(base_answers({{kVoltage, "3;3"}}), " "),
       "the loader would refuse flash 1: no check code: a \";\" comes before the \"#\" that opens "
       "it"},
      {"the second of two flashes",
       "2 " + good + " " + split_join(base_answers({{kDivisor, "20"}}), " "),
       "the loader would refuse flash 2: protection_division 32 is not 0 to 31 or 255"},
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.what);
    const GeneratorRun run = run_generator(c.input);
    EXPECT_EQ(run.ini, "");
    EXPECT_EQ(run.errors, c.reason + "\n");
    EXPECT_EQ(run.output.find("INI : "), std::string::npos) << run.output;
    EXPECT_NE(run.output.find("Fail to generate INI because " + c.reason + "\n"), std::string::npos)
        << run.output;
    // The console overload prints the same.
    EXPECT_EQ(run_gen_flash_ini(c.input), run.output);
  }

  // A sound definition: its INI text is returned, printed, and loads as answered.
  const GeneratorRun run = run_generator("1 " + good);
  EXPECT_EQ(run.errors, "");
  ASSERT_NE(run.ini, "");
  EXPECT_NE(run.output.find("INI : " + run.ini + "\n"), std::string::npos) << run.output;
  const PGMDEV_INI_ENTRY entry = MANAGER::read_ini_entry(MANAGER::decode_ini(run.ini));
  EXPECT_EQ(entry.refusal, "");
  EXPECT_EQ(entry.record_text, kBaseRecord);
}

TEST(FlashDialogueTest, PowerOfTwoAndNumberTexts) {
  for (const unsigned int value : {1u, 2u, 1024u, 0x80000000u}) {
    EXPECT_TRUE(MANAGER::is_power_of_two(value)) << value;
  }
  for (const unsigned int value : {0u, 3u, 6u, 0xFFFFFFFFu}) {
    EXPECT_FALSE(MANAGER::is_power_of_two(value)) << value;
  }
  const struct {
    unsigned int value;
    bool byte_mode;
    const char* text;
  } kCases[] = {
      {0xFFFFFFFF, false, "-1"},          {255, true, "-1"}, {255, false, "255"},
      {0x80000000, false, "-2147483648"}, {0, true, "0"},    {134217728, false, "134217728"}};
  for (const auto& c : kCases) EXPECT_EQ(MANAGER::to_string(c.value, c.byte_mode), c.text);
}

// ---------------------------------------------------------------------------------------------
// The INI text codec

TEST(FlashIniCodecTest, SixBitLayerBitOrderAndLengths) {
  // Packing n bytes gives ceil(8n / 6) characters; unpacking c characters gives ceil(6c / 8)
  // bytes, so a text whose last character holds 2 or 4 bits unpacks with one zero byte more.
  const struct {
    std::vector<unsigned char> bytes;
    const char* text;
    std::vector<unsigned char> unpacked;
  } kCases[] = {
      {{0x01, 0x02, 0x03},
       "18m0",
       {0x01, 0x02, 0x03}},  // 0x030201 six bits at a time, lowest first
      {{0xFF, 0xFF, 0xFF}, "----", {0xFF, 0xFF, 0xFF}},
      {{0xFF}, "-3", {0xFF, 0x00}},  // 63, then the two remaining bits
      {{0x3E, 0x80}, "@08", {0x3E, 0x80, 0x00}},
      {{0xFF, 0xFF, 0xFF, 0x3F}, "-----0", {0xFF, 0xFF, 0xFF, 0x3F, 0x00}},
      {{}, "", {}},
  };
  for (const auto& c : kCases) {
    EXPECT_EQ(pgmdev_ini_pack(c.bytes.data(), c.bytes.size()), c.text);
    std::vector<unsigned char> bytes;
    ASSERT_TRUE(pgmdev_ini_unpack(c.text, bytes)) << c.text;
    EXPECT_EQ(bytes, c.unpacked) << c.text;
  }
  // 4 characters carry 3 bytes, 5 carry 4: bits 24 to 29 are the fifth character.
  std::vector<unsigned char> bytes;
  ASSERT_TRUE(pgmdev_ini_unpack("zzzz", bytes));
  EXPECT_EQ(bytes.size(), 3u);
  ASSERT_TRUE(pgmdev_ini_unpack("zzzzz", bytes));
  ASSERT_EQ(bytes.size(), 4u);
  EXPECT_EQ(bytes[3], 61);
  EXPECT_FALSE(pgmdev_ini_unpack("ab_c", bytes));
}

TEST(FlashIniCodecTest, RoundTrips) {
  std::string binary;
  for (int i = 1; i < 256; ++i) binary += static_cast<char>(i);
  const std::string kTexts[] = {
      kBaseRecord,
      std::string(kBaseRecord) + "#ABCDEFGHIJKLMNOP;" + kBaseRecord + "#PONMLKJIHGFEDCBA;",
      "0123456789",
      std::string(150, 'x'),
      binary,
  };
  for (const std::string& text : kTexts) {
    const std::string encoded = MANAGER::encode_ini(text);
    ASSERT_FALSE(encoded.empty()) << text;
    EXPECT_EQ(encoded.find_first_not_of(
                  "0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz@-"),
              std::string::npos);
    EXPECT_EQ(MANAGER::decode_ini(encoded), text);
  }
  // The decoded text ends at its first zero byte.
  EXPECT_EQ(MANAGER::decode_ini(MANAGER::encode_ini(std::string("before\0after and more", 21))),
            "before");
}

TEST(FlashIniCodecTest, FailuresPrintTheirMessage) {
  struct Case {
    const char* what;
    std::function<std::string()> run;
    const char* message;
  };
  const Case kCases[] = {
      {"one character compresses to more than two bytes", [] { return MANAGER::encode_ini("A"); },
       "Fail to generate INI because of compression failure\n"},
      {"empty text", [] { return MANAGER::encode_ini(""); },
       "Fail to generate INI because of compression failure\n"},
      {"character outside the alphabet", [] { return MANAGER::decode_ini("12 4"); },
       "Invalid INI decoding\n"},
      {"not a zlib stream", [] { return MANAGER::decode_ini("0000"); },
       "Fail to generate INI because of decompression failure\n"},
      {"truncated stream",
       [] {
         const std::string encoded = MANAGER::encode_ini(kBaseRecord);
         return MANAGER::decode_ini(encoded.substr(0, encoded.size() - 4));
       },
       "Fail to generate INI because of decompression failure\n"},
      {"inflates beyond 20 times its packed bytes",
       [] { return MANAGER::decode_ini(MANAGER::encode_ini(std::string(5000, 'x'))); },
       "Fail to generate INI because of decompression failure\n"},
      {"nothing to decode", [] { return MANAGER::decode_ini(""); },
       "Fail to generate INI because of decompression failure\n"},
  };
  for (const Case& c : kCases) {
    CoutCapture capture;
    EXPECT_EQ(c.run(), "") << c.what;
    EXPECT_EQ(capture.text(), c.message) << c.what;
  }
}

// ---------------------------------------------------------------------------------------------
// The check code

class SuiteVersionTest : public testing::Test {
 protected:
  void TearDown() override {
    cfg_unset_value("PGMDEV_SUITE_VERSION");
    cfg_unset_value("PGMDEV_SUITE_VERSION_INDEX");
  }
  void set_version(const char* text, const char* index) {
    cfg_set_value("PGMDEV_SUITE_VERSION", text);
    cfg_set_value("PGMDEV_SUITE_VERSION_INDEX", index);
  }
};

TEST_F(SuiteVersionTest, Crc16XmodemCheckValue) {
  const std::string check = "123456789";
  EXPECT_EQ(pgmdev_crc16_xmodem(reinterpret_cast<const unsigned char*>(check.data()), 9), 0x31C3);
  EXPECT_EQ(pgmdev_crc16_xmodem(nullptr, 0), 0);
}

TEST_F(SuiteVersionTest, CheckCodeVectors) {
  // Computed by a separate implementation of the algorithm, from the version texts
  // "Velmora Version: 24.1 SP1 Build 4660" and "Velmora Version: 24.1 Build 4660".
  const struct {
    const char* version;
    const char* index;
    std::string text;
    const char* code;
  } kCases[] = {
      {"24.1", "0x123401", kBaseRecord, "RFRLQRELOLOBLCOI"},
      {"24.1", "0x123400", kBaseRecord, "BJQRPNLZCVTEGXUJ"},
      {"24.1", "0x123400", "A", "PGAAAAAAAAAAAAAA"},  // lanes 1 to 7 are one zero byte each
  };
  for (const auto& c : kCases) {
    set_version(c.version, c.index);
    EXPECT_EQ(MANAGER::gen_ini_password(c.text), c.code) << c.index;
    EXPECT_TRUE(MANAGER::cmp_ini_password(c.text, c.code));
  }
}

TEST_F(SuiteVersionTest, CheckCodeBindsTheSuiteVersion) {
  set_version("24.1", "0x123400");
  const std::string code = MANAGER::gen_ini_password(kBaseRecord);
  ASSERT_EQ(code.size(), 16u);
  EXPECT_EQ(code.find_first_not_of("ABCDEFGHIJKLMNOPQRSTUVWXYZ"), std::string::npos);
  set_version("24.2", "0x123400");
  EXPECT_NE(MANAGER::gen_ini_password(kBaseRecord), code);
  EXPECT_FALSE(MANAGER::cmp_ini_password(kBaseRecord, code));
  set_version("24.1", "0x123500");
  EXPECT_NE(MANAGER::gen_ini_password(kBaseRecord), code);
  set_version("24.1", "0x123400");
  EXPECT_TRUE(MANAGER::cmp_ini_password(kBaseRecord, code));

  // Another length is refused before anything is computed, even for an empty text.
  EXPECT_FALSE(MANAGER::cmp_ini_password(kBaseRecord, code.substr(0, 15)));
  EXPECT_FALSE(MANAGER::cmp_ini_password(kBaseRecord, code + "A"));
  EXPECT_FALSE(MANAGER::cmp_ini_password("", code.substr(0, 15)));
  std::string changed = code;
  changed[7] = changed[7] == 'Z' ? 'Y' : 'Z';
  EXPECT_FALSE(MANAGER::cmp_ini_password(kBaseRecord, changed));
  try {
    MANAGER::gen_ini_password("");
    ADD_FAILURE() << "an empty text has no check code";
  } catch (const MSG_INTERNAL_ERROR_EXCEPTION& error) {
    EXPECT_STREQ(error.what(), "total_size > 0");
    EXPECT_EQ(error.file(), kIniSource);
  }
}

// ---------------------------------------------------------------------------------------------
// Field conversions

TEST(FlashIniFieldTest, ValuesBetweenMarks) {
  const struct {
    const char* text;
    std::size_t pos;
    bool found;
    const char* value;
    std::size_t next_pos;
  } kCases[] = {
      {"@ab@cd@", 0, true, "AB", 3},  // upper-cased; pos on the closing mark
      {"@ab@cd@", 3, true, "CD", 6}, {"@ab@cd@", 6, false, "", 6},  // the last mark opens nothing
      {"x@@y@", 0, true, "", 2},                                    // an empty value
      {"@abc", 0, false, "", 0},     {"", 0, false, "", 0},        {"@a@", 10, false, "", 10},
  };
  for (const auto& c : kCases) {
    std::string value = "stale";
    std::size_t pos = c.pos;
    EXPECT_EQ(MANAGER::get_string_from_ini(c.text, &value, pos), c.found) << c.text;
    EXPECT_EQ(value, c.value) << c.text;
    EXPECT_EQ(pos, c.next_pos) << c.text;
  }
}

TEST(FlashIniFieldTest, FlagsAndNumbers) {
  const struct {
    const char* text;
    bool value;
    bool valid;
  } kFlags[] = {{"1", true, true},  {"0", false, true},   {"2", false, false},
                {"", false, false}, {"01", false, false}, {"TRUE", false, false}};
  for (const auto& c : kFlags) {
    bool valid = !c.valid;
    EXPECT_EQ(MANAGER::get_boolean_from_string(c.text, valid), c.value) << c.text;
    EXPECT_EQ(valid, c.valid) << c.text;
  }
  const struct {
    const char* text;
    unsigned int max;
    unsigned int value;
    bool valid;
  } kNumbers[] = {
      {"255", 255, 255, true},
      {"256", 255, 256, false},
      {"-1", 255, 0xFFFFFFFF, false},
      {"-1", 0xFFFFFFFF, 0xFFFFFFFF, true},
      {"-2147483648", 0xFFFFFFFF, 0x80000000, true},
      {"4294967295", 0xFFFFFFFF, 0xFFFFFFFF, true},
      {"12AB", 255, 12, true},  // the leading number counts
      {"", 255, 0, true},
      {"X", 255, 0, true},
  };
  for (const auto& c : kNumbers) {
    bool valid = !c.valid;
    EXPECT_EQ(MANAGER::get_number_from_string(c.text, c.max, valid), c.value) << c.text;
    EXPECT_EQ(valid, c.valid) << c.text;
  }
}

// ---------------------------------------------------------------------------------------------
// Loading from the configuration

// A sound user flash with the identification bytes of the installed M25P80 record (id bytes
// 0x20 0x20 0x14), as member -> value texts of the record text.
std::vector<std::string> sound_fields(const std::map<std::string, std::string>& overrides = {}) {
  std::vector<std::string> fields = {
      "ACME", "MY25Q80", "0", "20",   "2",  "32", "1", "32",  "0",       "32",    "1",
      "NONE", "0",       "0", "0",    "0",  "0",  "0", "1",   "8388608", "65536", "0",
      "0",    "200",     "2", "3000", "28", "28", "0", "255", "32",      "1",     "3.3"};
  for (const auto& [member, value] : overrides) fields[member_index(member)] = value;
  return fields;
}
std::string record_text(const std::vector<std::string>& fields) {
  return "@" + split_join(fields, "@") + "@";
}
// The sound record text without its last value.
std::string record_with_32_values() {
  std::vector<std::string> fields = sound_fields();
  fields.pop_back();
  return record_text(fields);
}
std::string entry_of(const std::string& record) {
  return record + "#" + MANAGER::gen_ini_password(record) + ";";
}
const unsigned char kM25p80Id[3] = {0x20, 0x20, 0x14};

bool same_record(const PGMDEV_SFL_FLASH_INFO& a, const PGMDEV_SFL_FLASH_INFO& b) {
  bool same = true;
#define SAME_MEMBER(member, kind) same = same && a.member == b.member;
  PGMDEV_SFL_FLASH_SCHEMA(SAME_MEMBER)
#undef SAME_MEMBER
  return same;
}

// Loads the installed flash database with the INI text set, or none.
class IniLoadingTest : public testing::Test {
 protected:
  void SetUp() override {
    cfg_unset_value("PGMDEV_DEVICE_DB_DIR");
    cfg_unset_value(kIniKey);
    m_plain = load();
    ASSERT_GT(m_plain->m_flash_count, 1u);
    msg_clear_debug_log();
  }
  void TearDown() override {
    cfg_unset_value(kIniKey);
    cfg_unset_value(kIniDebugSwitch);
    cfg_unset_value("PGMDEV_SUITE_VERSION");
  }

  std::unique_ptr<MANAGER> load(bool debug = false) {
    return std::make_unique<MANAGER>(false, 1, false, debug);
  }
  std::unique_ptr<MANAGER> load_with(const std::string& ini_text, bool debug = false) {
    cfg_set_value(kIniKey, ini_text);
    return load(debug);
  }
  // Whether the manager holds the file's records only, as without an INI text.
  bool holds_file_only(const MANAGER& manager) const {
    if (manager.m_flash_count != m_plain->m_flash_count) return false;
    for (unsigned int i = 0; i < manager.m_flash_count; ++i) {
      if (!same_record(manager.m_flash_database[i], m_plain->m_flash_database[i])) return false;
    }
    return manager.m_ini_flash.device_name.empty();
  }
  bool holds_ini_flash(const MANAGER& manager, const std::string& device_name) const {
    if (manager.m_flash_count != m_plain->m_flash_count + 1) return false;
    for (unsigned int i = 0; i < m_plain->m_flash_count; ++i) {
      if (!same_record(manager.m_flash_database[i + 1], m_plain->m_flash_database[i])) {
        return false;
      }
    }
    return manager.m_flash_database[0].device_name == device_name;
  }

  std::unique_ptr<MANAGER> m_plain;
};

TEST_F(IniLoadingTest, AcceptedFlashGoesAheadOfTheFileRecords) {
  const std::unique_ptr<MANAGER> manager =
      load_with(MANAGER::encode_ini(entry_of(record_text(sound_fields()))));
  ASSERT_TRUE(holds_ini_flash(*manager, "MY25Q80"));
  const PGMDEV_SFL_FLASH_INFO& flash = manager->m_flash_database[0];
  EXPECT_EQ(flash.manufacturer_name, "ACME");
  EXPECT_FALSE(flash.silicon_id);
  EXPECT_EQ(flash.memory_id, 0x14);
  EXPECT_EQ(flash.memory_type_index, 1);
  EXPECT_EQ(flash.norvik_id, 32);
  EXPECT_TRUE(flash.default_dev);
  EXPECT_EQ(flash.device_bit_size, 8u << 20);
  EXPECT_EQ(flash.protection_division, 0xFF);
  EXPECT_EQ(flash.asc_voltage, "3.3");
  EXPECT_TRUE(same_record(manager->m_ini_flash, flash));

  // The installed M25P80 has the same identification bytes; the user flash is found first.
  ASSERT_TRUE(m_plain->flash_id_database_mapping(false, 0, kM25p80Id, 3));
  EXPECT_EQ(m_plain->m_flash_database[m_plain->get_flash_mapping_index(0, false)].device_name,
            "M25P80");
  ASSERT_TRUE(manager->flash_id_database_mapping(false, 0, kM25p80Id, 3));
  EXPECT_EQ(manager->get_flash_mapping_index(0, false), 0u);
  EXPECT_EQ(manager->get_default_flash("my25q80"), &manager->m_flash_database[0]);
}

TEST_F(IniLoadingTest, OnlyTheFirstEntryLoads) {
  const std::string first = record_text(sound_fields());
  const std::string second = record_text(sound_fields({{"device_name", "SECOND"}}));
  EXPECT_TRUE(holds_ini_flash(*load_with(MANAGER::encode_ini(entry_of(first) + entry_of(second))),
                              "MY25Q80"));
}

TEST_F(IniLoadingTest, SoundnessRules) {
  struct Case {
    const char* member;
    const char* value;
    bool accepted;
  };
  const Case kCases[] = {
      {"memory_id", "0", false},
      {"memory_id_index", "3", false},
      {"memory_type_index", "3", false},
      {"memory_type_index", "2", false},  // same as memory_id_index
      {"memory_type_index", "255", true},
      {"mfc_id_index", "3", false},
      {"mfc_id_index", "2", false},  // same as memory_id_index
      {"mfc_id_index", "1", false},  // same as memory_type_index
      {"mfc_id_index", "255", true},
      {"norvik_id", "17", false},
      {"norvik_id", "16", true},
      {"norvik_id", "25", true},
      {"die_count", "0", false},
      {"device_bit_size", "0", false},
      {"device_bit_size", "8388609", false},  // not a whole Mbit
      {"device_bit_size", "-2147483648", true},
      {"device_sector_byte", "0", false},
      {"device_sector_byte", "65537", false},  // not a whole KB
      {"device_sector_byte", "1024", true},
      {"bulk_erase_time", "0", false},
      {"bulk_erase_time", "901", false},
      {"bulk_erase_time", "900", true},
      {"sec_erase_time", "0", false},
      {"sec_erase_time", "61", false},
      {"sec_erase_time", "60", true},
      {"program_utime", "999", false},
      {"program_utime", "1000001", false},
      {"program_utime", "1000", true},
      {"program_utime", "1000000", true},
      {"protection_division", "32", false},  // what the dialogue's divisor 20 gives
      {"protection_division", "31", true},
      {"protection_division", "0", true},
      // Texts that do not convert.
      {"silicon_id", "2", false},
      {"memory_id", "256", false},
      {"program_utime", "", false},  // 0
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(std::string(c.member) + " = " + c.value);
    const std::unique_ptr<MANAGER> manager =
        load_with(MANAGER::encode_ini(entry_of(record_text(sound_fields({{c.member, c.value}})))));
    if (c.accepted) {
      EXPECT_TRUE(holds_ini_flash(*manager, "MY25Q80"));
    } else {
      EXPECT_TRUE(holds_file_only(*manager));
    }
  }
}

TEST_F(IniLoadingTest, MalformedTextsAreIgnoredSilently) {
  const std::string record = record_text(sound_fields());
  const std::string code = MANAGER::gen_ini_password(record);
  const std::string record_32 = record_with_32_values();
  const struct {
    const char* what;
    std::string entry;
  } kCases[] = {
      {"no #", record + ";"},
      {"no ;", record + "#" + code},
      {"; before #", record + ";#" + code},
      {"empty check code", record + "#;"},
      {"check code of 15 letters", record + "#" + code.substr(0, 15) + ";"},
      {"check code of another text", record + "#" + MANAGER::gen_ini_password(record_32) + ";"},
      {"32 values", record_32 + "#" + MANAGER::gen_ini_password(record_32) + ";"},
      {"no record text", "#" + code + ";"},
  };
  for (const auto& c : kCases) {
    CoutCapture capture;
    EXPECT_TRUE(holds_file_only(*load_with(MANAGER::encode_ini(c.entry)))) << c.what;
    EXPECT_EQ(capture.text(), "") << c.what;
  }
  // A damaged INI text is refused too (the codec's message always prints).
  std::string damaged = MANAGER::encode_ini(entry_of(record));
  damaged[damaged.size() / 2] = damaged[damaged.size() / 2] == 'A' ? 'B' : 'A';
  CoutCapture capture;
  EXPECT_TRUE(holds_file_only(*load_with(damaged)));
  EXPECT_TRUE(holds_file_only(*load_with("not an INI text")));
  EXPECT_EQ(capture.text(),
            "Fail to generate INI because of decompression failure\nInvalid INI decoding\n");
}

TEST_F(IniLoadingTest, TextMadeUnderAnotherSuiteVersionIsRefused) {
  cfg_set_value("PGMDEV_SUITE_VERSION", "24.1");
  const std::string text = MANAGER::encode_ini(entry_of(record_text(sound_fields())));
  EXPECT_TRUE(holds_ini_flash(*load_with(text), "MY25Q80"));
  cfg_set_value("PGMDEV_SUITE_VERSION", "24.2");
  cfg_set_value(kIniDebugSwitch, "1");
  CoutCapture capture;
  EXPECT_TRUE(holds_file_only(*load_with(text)));
  const std::string output = capture.text();
  EXPECT_EQ(output.substr(output.size() - 29), "Fail to compare INI password\n");
}

TEST_F(IniLoadingTest, TraceUnderTheDebugSwitch) {
  const std::string record = record_text(sound_fields());
  const std::string code = MANAGER::gen_ini_password(record);
  std::string statuses;
  for (int i = 0; i < 33; ++i) statuses += "Status " + std::to_string(i) + " : 1\n";
  std::string fields_32_status;
  for (int i = 0; i < 32; ++i) fields_32_status += "Status " + std::to_string(i) + " : 1\n";
  const std::string record_32 = record_with_32_values();
  const std::string code_32 = MANAGER::gen_ini_password(record_32);
  const std::string unsound = record_text(sound_fields({{"protection_division", "32"}}));
  const std::string unsound_code = MANAGER::gen_ini_password(unsound);
  const struct {
    const char* what;
    std::string entry;
    std::string output;
    bool accepted;
  } kCases[] = {
      {"accepted", entry_of(record),
       entry_of(record) + "\n" + record + "\n" + code + "\n" + statuses, true},
      {"32 values", entry_of(record_32),
       entry_of(record_32) + "\n" + record_32 + "\n" + code_32 + "\n" + fields_32_status +
           "Status 32 : 0\n",
       false},
      {"unsound", entry_of(unsound),
       entry_of(unsound) + "\n" + unsound + "\n" + unsound_code + "\n" + statuses +
           "Fail to check the validity of the INI\n",
       false},
      {"no check code", record + ";", record + ";\n", false},
  };
  cfg_set_value(kIniDebugSwitch, "1");
  for (const auto& c : kCases) {
    CoutCapture capture;
    const std::unique_ptr<MANAGER> manager = load_with(MANAGER::encode_ini(c.entry));
    EXPECT_EQ(capture.text(), c.output) << c.what;
    EXPECT_EQ(holds_ini_flash(*manager, "MY25Q80"), c.accepted) << c.what;
  }
}

TEST_F(IniLoadingTest, DebugMessagesOfTheAcceptedMembers) {
  const std::string text = MANAGER::encode_ini(entry_of(record_text(sound_fields())));
  load_with(text);
  for (const MSG_DEBUG_ENTRY& entry : msg_get_debug_log()) {
    EXPECT_EQ(entry.text.find("3rd party SPI support"), std::string::npos) << entry.text;
  }

  std::unique_ptr<MANAGER> manager;
  {
    CoutCapture capture;  // the debug manager also lists its records
    manager = load_with(text, true);
  }
  std::vector<std::string> messages;
  for (const MSG_DEBUG_ENTRY& entry : msg_get_debug_log()) {
    if (entry.text.rfind("3rd party SPI support - ", 0) != 0) continue;
    EXPECT_EQ(entry.module, "PGMDEV");
    EXPECT_EQ(entry.level, 2);
    messages.push_back(entry.text);
  }
  ASSERT_EQ(messages.size(), MANAGER::TOTAL_DATABASE_MEMBER);
  const std::vector<std::string> values = {
      "ACME", "MY25Q80", "0", "14",  "2",  "20", "1", "20", "0",      "20",    "1",
      "NONE", "0",       "0", "0",   "0",  "0",  "0", "1",  "800000", "10000", "0",
      "0",    "C8",      "2", "BB8", "1C", "1C", "0", "FF", "20",     "1",     "3.3"};
  for (unsigned int i = 0; i < MANAGER::TOTAL_DATABASE_MEMBER; ++i) {
    EXPECT_EQ(messages[i], std::string("3rd party SPI support - ") + MANAGER::m_name_list[i] +
                               " : " + values[i]);
  }
}

// read_ini_entry answers what the loader does with a text, step by step: the loader takes the
// flash exactly when it finds no refusal.
TEST_F(IniLoadingTest, ReadIniEntryTellsWhatTheLoaderDoes) {
  const std::string record = record_text(sound_fields());
  const std::string code = MANAGER::gen_ini_password(record);
  const std::string record_32 = record_with_32_values();
  struct Case {
    const char* what;
    std::string text;
    unsigned int value_count;
    bool values_read;
    std::string unsound;
    bool code_holds;
    std::string refusal;
  };
  const Case kCases[] = {
      {"sound", entry_of(record), 33, true, "", true, ""},
      {"two entries: the first counts",
       entry_of(record) + entry_of(record_text(sound_fields({{"program_utime", "1"}}))), 33, true,
       "", true, ""},
      {"unsound", entry_of(record_text(sound_fields({{"die_count", "0"}}))), 33, true,
       "die_count is 0", true, "die_count is 0"},
      {"check code of another text", record + "#" + MANAGER::gen_ini_password(record_32) + ";", 33,
       true, "", false,
       "the check code " + MANAGER::gen_ini_password(record_32) +
           " does not seal the record text under " + MANAGER::get_ini_version_text()},
      {"32 values", entry_of(record_32), 32, false, "", true,
       "the record text holds 32 values, not 33"},
      {"flag that does not convert", entry_of(record_text(sound_fields({{"aai_mode", "2"}}))), 33,
       false, "", true, "aai_mode \"2\" does not convert"},
      {"no check code", record + ";", 33, false, "", false,
       "no check code: a \";\" comes before the \"#\" that opens it"},
      {"no marks at all", record, 33, false, "", false,
       "no check code: the entry lacks \"#\" and \";\""},
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.what);
    const PGMDEV_INI_ENTRY entry = MANAGER::read_ini_entry(c.text);
    EXPECT_EQ(entry.value_count, c.value_count);
    EXPECT_EQ(entry.values_read, c.values_read);
    EXPECT_EQ(entry.unsound, c.unsound);
    EXPECT_EQ(entry.check_code_holds, c.code_holds);
    EXPECT_EQ(entry.refusal, c.refusal);
    const std::unique_ptr<MANAGER> manager = load_with(MANAGER::encode_ini(c.text));
    if (c.refusal.empty()) {
      EXPECT_TRUE(holds_ini_flash(*manager, "MY25Q80"));
      EXPECT_TRUE(same_record(entry.flash, manager->m_flash_database[0]));
    } else {
      EXPECT_TRUE(holds_file_only(*manager));
    }
  }
}

TEST(FlashIniKeyTest, ScrambledTableAssemblesTheConfigurationKey) {
  EXPECT_EQ(pgmdev_flash_ini_config_key(), kIniKey);
}

}  // namespace
