// User-defined flash devices: the console dialogue that describes one, the INI
// text that carries it (record text, check code, zlib, six bits per character)
// and its loading from the configuration at the head of the flash table.
#include "pgmdev_flash_manager_ini.h"

#include <algorithm>
#include <array>
#include <bit>
#include <climits>
#include <cstdint>
#include <cstdlib>
#include <iostream>
#include <sstream>
#include <string>
#include <vector>

#include "cfg.h"
#include "gen.h"
#include "mem.h"
#include "pgmdev_check.h"
#include "pgmdev_debug.h"
#include "pgmdev_flash_manager.h"
#include "ver.h"
#include "zlib_util.h"

namespace {

// Registers the module with the host's memory tracker while the library is loaded.
const MEM_INITIALIZER g_mem_initializer(PGMDEV_MODULE);

// The configuration key, scrambled: character i is the low byte of (word i
// rotated right by i + 1 bits, plus 65). It is assembled only when it is read,
// so the name does not stand in the binary.
constexpr std::uint32_t kIniKeyWords[] = {
    0x3736261F, 0x469B941B, 0x2AD22866, 0x66BF91E5, 0x487DBE48, 0xC3098473, 0x2DF68193, 0x96CF1E5D,
    0xBD981F6F, 0x5DF00307, 0x87188EEB, 0xA0A135E6, 0x81C30AB5, 0xD4478118, 0x1F029DA5, 0x230BB375,
    0xB4015B22, 0x4C493791, 0xD03F35D1, 0xE1E9823B, 0x2103F9F7, 0xC37753AA, 0x84066457};
constexpr unsigned int kIniKeyOffset = 65;
constexpr const char kDebugSwitchSuffix[] = "_DEBUG";

// CRC-16/XMODEM: the table of polynomial 0x1021, most significant bit first.
constexpr unsigned short kCrc16Polynomial = 0x1021;
constexpr std::array<unsigned short, 256> make_crc_table() {
  std::array<unsigned short, 256> table{};
  for (unsigned int byte = 0; byte < 256; ++byte) {
    unsigned int crc = byte << 8;
    for (int bit = 0; bit < 8; ++bit) {
      crc = (crc & 0x8000u) != 0 ? (crc << 1) ^ kCrc16Polynomial : crc << 1;
    }
    table[byte] = static_cast<unsigned short>(crc & 0xFFFFu);
  }
  return table;
}
constexpr std::array<unsigned short, 256> pgmio_crc_table = make_crc_table();

// The check code: eight lanes of the record text, two letters each.
constexpr unsigned int kPasswordLanes = 8;
constexpr std::size_t kPasswordLength = 2 * kPasswordLanes;
constexpr const char kVersionPrefix[] = "Velmora Version: ";

// The INI text: six bits per character, and room for the inflated text of 20
// times the packed bytes.
constexpr const char kIniAlphabet[] =
    "0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz@-";
constexpr unsigned int kBitsPerCharacter = 6;
constexpr unsigned int kSixBitMask = 0x3F;
constexpr unsigned int kCompressRoom = 2;
constexpr unsigned int kInflateRoom = 20;

constexpr const char kCompressFailure[] = "Fail to generate INI because of compression failure\n";
constexpr const char kDecompressFailure[] =
    "Fail to generate INI because of decompression failure\n";
constexpr const char kDecodeFailure[] = "Invalid INI decoding\n";
constexpr const char kCountFailure[] = "Invalid input or too many flash to define\n";

// Record text: "@" opens every value and closes the last.
constexpr char kFieldMark = '@';
constexpr char kPasswordMark = '#';
constexpr char kEntryEnd = ';';

// Soundness of a user-defined flash.
constexpr BYTE kNoByteValue = 0xFF;
constexpr BYTE kHighestIdIndex = 2;
constexpr BYTE kIniNorvikIds[] = {16, 18, 20, 21, 22, 24, 25, 32};
constexpr DWORD kMbitMask = (1u << 20) - 1;
constexpr DWORD kKbyteMask = (1u << 10) - 1;
constexpr BYTE kMaxProtectionDivision = 31;

// The largest density and sector the dialogue takes, and the "-1" answer.
constexpr DWORD kMaxDensityMbit = 2048;
constexpr DWORD kMaxSectorKbyte = 1024;
constexpr DWORD kMinusOne = 0xFFFFFFFF;

std::string suite_version_text();

// The number of "@"-delimited values of a record text.
unsigned int count_values(const std::string &record) {
  const std::size_t marks = static_cast<std::size_t>(std::count(record.begin(), record.end(), '@'));
  return marks == 0 ? 0 : static_cast<unsigned int>(marks - 1);
}

// The loader's reading of a decoded INI text, step by step; with trace, each step's console
// trace as the configuration's "_DEBUG" switch prints it. The loader stops at the first step
// that fails; the later outcomes are still worked out where they can be, for a caller that
// shows them.
PGMDEV_INI_ENTRY read_entry(std::string text, std::ostream *trace) {
  PGMDEV_INI_ENTRY entry;
  if (trace) *trace << text << "\n";
  // Only the first entry counts: its record text ends at the first "#", its check code runs to
  // the first ";".
  const std::size_t mark = text.find(kPasswordMark);
  const std::size_t end = text.find(kEntryEnd);
  if (mark != std::string::npos && end != std::string::npos && mark < end) {
    entry.check_code = text.substr(mark + 1, end - mark - 1);
    text.erase(mark);
    if (trace) *trace << text << "\n" << entry.check_code << "\n";
  } else if (mark != std::string::npos) {
    text.erase(mark);
  }
  entry.record_text = text;
  entry.value_count = count_values(text);
  entry.check_code_holds =
      !text.empty() && PGMDEV_FLASH_MANAGER::cmp_ini_password(text, entry.check_code);
  if (entry.check_code.empty()) {
    entry.refusal = end != std::string::npos && (mark == std::string::npos || end < mark)
                        ? "no check code: a \";\" comes before the \"#\" that opens it"
                        : "no check code: the entry lacks \"#\" and \";\"";
    return entry;
  }
  if (text.empty()) {
    entry.refusal = "the record text is empty";
    return entry;
  }

  std::string fields[PGMDEV_FLASH_MANAGER::TOTAL_DATABASE_MEMBER];
  std::size_t pos = 0;
  bool found = true;
  DWORD values = 0;
  for (DWORD i = 0; i < PGMDEV_FLASH_MANAGER::TOTAL_DATABASE_MEMBER && found; ++i) {
    found = PGMDEV_FLASH_MANAGER::get_string_from_ini(text, &fields[i], pos);
    if (found) ++values;
    if (trace) *trace << "Status " << i << " : " << (found ? 1 : 0) << "\n";
  }
  if (!found) {
    entry.refusal = "the record text holds " + std::to_string(values) + " values, not 33";
    return entry;
  }
  DWORD converted = 0;
  const auto count_bool = [&converted](std::string value, bool &valid) {
    const bool result = PGMDEV_FLASH_MANAGER::get_boolean_from_string(value, valid);
    if (valid) ++converted;
    return result;
  };
  const auto count_number = [&converted](std::string value, unsigned int max, bool &valid) {
    const unsigned int result = PGMDEV_FLASH_MANAGER::get_number_from_string(value, max, valid);
    if (valid) ++converted;
    return result;
  };
  entry.values_read = pgmdev_assign_flash_info(
      entry.flash, fields, PGMDEV_FLASH_MANAGER::TOTAL_DATABASE_MEMBER, count_bool, count_number);
  if (!entry.values_read) {
    // The first flag or number whose text did not convert: the texts always do, and every flag
    // and number before it did.
    DWORD member = 0;
    for (DWORD i = 0; i < PGMDEV_FLASH_MANAGER::TOTAL_DATABASE_MEMBER; ++i) {
      if (PGMDEV_FLASH_MANAGER::m_type_list[i] == PGMDEV_MANAGER_STRING) continue;
      if (member++ == converted) {
        entry.refusal = std::string(PGMDEV_FLASH_MANAGER::m_name_list[i]) + " \"" + fields[i] +
                        "\" does not convert";
        break;
      }
    }
    return entry;
  }
  entry.unsound = pgmdev_unsound_reason(entry.flash);
  if (!entry.unsound.empty()) {
    if (trace) *trace << "Fail to check the validity of the INI\n";
    entry.refusal = entry.unsound;
    return entry;
  }
  if (!entry.check_code_holds) {
    if (trace) *trace << "Fail to compare INI password\n";
    entry.refusal = "the check code " + entry.check_code + " does not seal the record text under " +
                    suite_version_text();
  }
  return entry;
}

// "Velmora Version: <version> [SP<n> ]Build <build>", from the host's version
// service.
std::string suite_version_text() {
  const unsigned int number = ver_get_current_version_index_number();
  const unsigned int service_pack = number & 0xFFu;
  const unsigned int build = (number >> 8) & 0xFFFFu;
  std::string text = kVersionPrefix + ver_get_version() + " ";
  if (service_pack != 0) text += "SP" + std::to_string(service_pack) + " ";
  return text + "Build " + std::to_string(build);
}

// A check-code letter: an upper-case ASCII letter stays, any other byte maps
// onto "A".."Z".
char password_letter(unsigned int byte) {
  if (byte >= 'A' && byte <= 'Z') return static_cast<char>(byte);
  return static_cast<char>('A' + byte % 26);
}

int alphabet_value(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'Z') return c - 'A' + 10;
  if (c >= 'a' && c <= 'z') return c - 'a' + 36;
  if (c == '@') return 62;
  if (c == '-') return 63;
  return -1;
}

const unsigned char *byte_pointer(const std::string &text) {
  return reinterpret_cast<const unsigned char *>(text.data());
}

// The codec with its messages on out: the dialogue prints them on its own
// stream.
std::string encode_ini_to(const std::string &text, std::ostream &out) {
  const std::size_t capacity = kCompressRoom * text.size();
  std::vector<unsigned char> compressed(capacity);
  unsigned int compressed_size = static_cast<unsigned int>(capacity);
  if (capacity == 0 || capacity > UINT_MAX ||
      zlib_compress(compressed.data(), &compressed_size, byte_pointer(text),
                    static_cast<unsigned int>(text.size())) != ZLIB_OK) {
    out << kCompressFailure;
    return "";
  }
  const std::size_t encoded_size =
      (std::size_t{8} * compressed_size + kBitsPerCharacter - 1) / kBitsPerCharacter;
  std::string encoded_ini = pgmdev_ini_pack(compressed.data(), compressed_size);
  PGMDEV_CHECK(encoded_ini.size() == encoded_size);
  return encoded_ini;
}

std::string decode_ini_to(const std::string &text, std::ostream &out) {
  std::vector<unsigned char> packed;
  if (!pgmdev_ini_unpack(text, packed)) {
    out << kDecodeFailure;
    return "";
  }
  // An empty text or one whose inflated room would not fit 32 bits cannot be a
  // stream.
  if (packed.empty() || packed.size() > UINT_MAX / kInflateRoom) {
    out << kDecompressFailure;
    return "";
  }
  std::vector<unsigned char> plain(kInflateRoom * packed.size());
  unsigned int plain_size = static_cast<unsigned int>(plain.size());
  if (zlib_uncompress(plain.data(), &plain_size, packed.data(),
                      static_cast<unsigned int>(packed.size())) != ZLIB_OK) {
    out << kDecompressFailure;
    return "";
  }
  const auto end = std::find(plain.begin(), plain.begin() + plain_size, 0);
  return std::string(plain.begin(), end);
}

// Where a refusal is described, when the caller asked for it: one line per refusal, after a
// label that says which flash was being defined.
struct REFUSAL_SINK {
  std::ostream *errors = nullptr;
  std::string label;  // "flash 2, " or ""

  void write(const std::string &text) const {
    if (errors == nullptr) return;
    *errors << label << text << "\n";
    errors->flush();
  }
};

// The question's text without its closing " : ".
std::string question_name(std::string question) {
  const std::size_t end = question.find_last_not_of(" :");
  question.erase(end == std::string::npos ? 0 : end + 1);
  return question;
}

std::string hex_range(DWORD lo, DWORD hi) {
  std::ostringstream text;
  text << std::uppercase << std::hex << lo << " to " << hi;
  return text.str();
}

// One question after another of the flash dialogue. After the first refused
// answer every further question is skipped.
class FLASH_DIALOGUE {
 public:
  FLASH_DIALOGUE(PGMDEV_FLASH_MANAGER &manager, std::istream &input, std::ostream &output,
                 std::string &raw, const REFUSAL_SINK &refusals)
      : m_manager(manager), m_input(input), m_output(output), m_raw(raw), m_refusals(refusals) {}

  bool ok() const { return m_ok; }

  // Appends a value that the user is not asked for, or that was computed from
  // an answer.
  void append(const std::string &value) {
    if (m_ok) m_raw += kFieldMark + value;
  }
  void append_number(DWORD value) { append(PGMDEV_FLASH_MANAGER::to_string(value, false)); }

  // A text of 1 to 19 characters.
  void text(const char *question, std::string &member) {
    if (!m_ok) return;
    const std::string word = answer(question);
    if (word.empty() || word.size() > kUserFlashMaxNameLength) {
      m_output << "Empty name or name too long\n";
      refuse(word.empty()
                 ? "a name of 1 to 19 characters is needed"
                 : "it has " + std::to_string(word.size()) + " characters; 1 to 19 are allowed");
      return;
    }
    member = word;
    append(word);
  }

  // "Y" or "N".
  void yes_no(const char *question, bool &member) {
    if (!m_ok) return;
    const std::string word = answer(question);
    if (word != "Y" && word != "N") {
      refuse("Y or N is expected");
      return;
    }
    member = word == "Y";
    append(member ? "1" : "0");
  }

  // A hexadecimal byte in lo..hi, stored and appended. An answer of all ones is
  // the byte 0xFF.
  void byte(const char *question, DWORD lo, DWORD hi, BYTE &member) {
    DWORD value = 0;
    if (!hex_byte(question, lo, hi, false, value)) return;
    member = static_cast<BYTE>(value);
    append_number(member);
  }

  // A hexadecimal byte in lo..hi into value; with allow_minus_one, "-1" too,
  // given as kMinusOne.
  bool hex_byte(const char *question, DWORD lo, DWORD hi, bool allow_minus_one, DWORD &value) {
    if (!number(question, true, allow_minus_one, value)) return false;
    if (allow_minus_one && value == kMinusOne) return true;
    if (value == kMinusOne) value = kNoByteValue;
    if (value > kNoByteValue || value < lo || value > hi) {
      return refuse(std::string("the value is not ") + (allow_minus_one ? "-1 or " : "") +
                    hex_range(lo, hi) + " (hexadecimal)");
    }
    return true;
  }

  // A decimal number in lo..hi; with power_of_two it must have exactly one bit
  // set.
  bool decimal(const char *question, DWORD lo, DWORD hi, bool power_of_two, DWORD &value) {
    if (!number(question, false, false, value)) return false;
    if (value < lo || value > hi ||
        (power_of_two && !PGMDEV_FLASH_MANAGER::is_power_of_two(value))) {
      return refuse(std::string("the value is not ") + (power_of_two ? "a power of two in " : "") +
                    std::to_string(lo) + " to " + std::to_string(hi));
    }
    return true;
  }

 private:
  // Prints the question and reads one word, upper-cased; empty at the end of
  // input.
  std::string answer(const char *question) {
    m_output << question;
    m_output.flush();
    std::string word;
    m_input >> word;
    gen_ascii_toupper(word);
    m_question = question;
    m_word = word;
    return word;
  }

  bool number(const char *question, bool hex, bool allow_minus_one, DWORD &value) {
    if (!m_ok) return false;
    std::string word = answer(question);
    if (allow_minus_one && word == "-1") word = "FFFFFFFF";
    bool converted = false;
    value = m_manager.get_dword_from_string(hex ? "0x" + word : word, &converted);
    if (!converted) {
      return refuse(hex ? "a hexadecimal number is expected" : "a decimal number is expected");
    }
    return true;
  }

  bool refuse(const std::string &reason) {
    m_output << "Invalid input\n";
    m_ok = false;
    m_refusals.write("question \"" + question_name(m_question) + "\": " +
                     (m_word.empty() ? std::string("no answer (end of input)")
                                     : "answer \"" + m_word + "\" refused") +
                     ": " + reason);
    return false;
  }

  PGMDEV_FLASH_MANAGER &m_manager;
  std::istream &m_input;
  std::ostream &m_output;
  std::string &m_raw;
  const REFUSAL_SINK &m_refusals;
  std::string m_question;
  std::string m_word;
  bool m_ok = true;
};

bool run_flash_dialogue(PGMDEV_FLASH_MANAGER &manager, std::string &raw, std::istream &input,
                        std::ostream &output, const REFUSAL_SINK &refusals);

// Debug-log arguments of the members: texts as they are, flags and numbers for
// "%X".
const char *debug_value(const std::string &value) { return value.c_str(); }
unsigned int debug_value(bool value) { return value ? 1u : 0u; }
unsigned int debug_value(BYTE value) { return value; }
unsigned int debug_value(DWORD value) { return value; }
#define PGMDEV_SFL_DEBUG_FORMAT_STRING "%s"
#define PGMDEV_SFL_DEBUG_FORMAT_BOOL "%X"
#define PGMDEV_SFL_DEBUG_FORMAT_BYTE "%X"
#define PGMDEV_SFL_DEBUG_FORMAT_DWORD "%X"

// Record-text values: texts as they are, flags "1" or "0", numbers as the
// dialogue writes them.
std::string record_value(const std::string &value) { return value; }
std::string record_value(bool value) { return value ? "1" : "0"; }
std::string record_value(DWORD value) { return PGMDEV_FLASH_MANAGER::to_string(value, false); }
std::string record_value(BYTE value) { return record_value(static_cast<DWORD>(value)); }

}  // namespace

std::string pgmdev_flash_ini_config_key() {
  std::string key;
  for (unsigned int i = 0; i < std::size(kIniKeyWords); ++i) {
    key += static_cast<char>((std::rotr(kIniKeyWords[i], static_cast<int>(i + 1)) + kIniKeyOffset) &
                             0xFFu);
  }
  return key;
}

unsigned short pgmdev_crc16_xmodem(const unsigned char *data, std::size_t length) {
  unsigned int crc = 0;
  for (std::size_t i = 0; i < length; ++i) {
    crc = ((crc << 8) ^ pgmio_crc_table[((crc >> 8) ^ data[i]) & 0xFFu]) & 0xFFFFu;
  }
  return static_cast<unsigned short>(crc);
}

std::string pgmdev_ini_pack(const unsigned char *bytes, std::size_t count) {
  std::string text;
  text.reserve((count * 8 + kBitsPerCharacter - 1) / kBitsPerCharacter);
  unsigned int bits = 0;
  unsigned int held = 0;
  for (std::size_t i = 0; i < count; ++i) {
    bits |= static_cast<unsigned int>(bytes[i]) << held;
    held += 8;
    while (held >= kBitsPerCharacter) {
      text += kIniAlphabet[bits & kSixBitMask];
      bits >>= kBitsPerCharacter;
      held -= kBitsPerCharacter;
    }
  }
  if (held > 0) text += kIniAlphabet[bits & kSixBitMask];
  return text;
}

bool pgmdev_ini_unpack(const std::string &text, std::vector<unsigned char> &bytes) {
  const std::size_t decoded_size = (text.size() * kBitsPerCharacter + 7) / 8;
  bytes.clear();
  bytes.reserve(decoded_size);
  unsigned int bits = 0;
  unsigned int held = 0;
  for (const char c : text) {
    const int value = alphabet_value(c);
    if (value < 0) {
      bytes.clear();
      return false;
    }
    bits |= static_cast<unsigned int>(value) << held;
    held += kBitsPerCharacter;
    if (held >= 8) {
      bytes.push_back(static_cast<unsigned char>(bits & 0xFFu));
      bits >>= 8;
      held -= 8;
    }
  }
  if (held > 0) bytes.push_back(static_cast<unsigned char>(bits & 0xFFu));
  const std::size_t decoded_index = bytes.size();
  PGMDEV_CHECK(decoded_index == decoded_size);
  return true;
}

std::string pgmdev_unsound_reason(const PGMDEV_SFL_FLASH_INFO &flash) {
  const auto number = [](unsigned int value) { return std::to_string(value); };
  const bool memory_type_compared = flash.memory_type_index != kNoByteValue;
  const bool mfc_compared = flash.mfc_id_index != kNoByteValue;
  if (flash.memory_id == 0) return "memory_id is 0";
  if (flash.memory_id_index > kHighestIdIndex) {
    return "memory_id_index " + number(flash.memory_id_index) + " is above 2";
  }
  if (memory_type_compared && (flash.memory_type_index > kHighestIdIndex ||
                               flash.memory_type_index == flash.memory_id_index)) {
    return "memory_type_index " + number(flash.memory_type_index) +
           " is neither 255 nor 0 to 2 apart from memory_id_index";
  }
  if (mfc_compared &&
      (flash.mfc_id_index > kHighestIdIndex || flash.mfc_id_index == flash.memory_id_index ||
       (memory_type_compared && flash.mfc_id_index == flash.memory_type_index))) {
    return "mfc_id_index " + number(flash.mfc_id_index) +
           " is neither 255 nor 0 to 2 apart from the other indexes";
  }
  if (std::find(std::begin(kIniNorvikIds), std::end(kIniNorvikIds), flash.norvik_id) ==
      std::end(kIniNorvikIds)) {
    return "norvik_id " + number(flash.norvik_id) + " is not 16, 18, 20, 21, 22, 24, 25 or 32";
  }
  if (flash.die_count == 0) return "die_count is 0";
  if (flash.device_bit_size == 0 || (flash.device_bit_size & kMbitMask) != 0) {
    return "device_bit_size " + number(flash.device_bit_size) +
           " is not a whole number of Mbit above 0";
  }
  if (flash.device_sector_byte == 0 || (flash.device_sector_byte & kKbyteMask) != 0) {
    return "device_sector_byte " + number(flash.device_sector_byte) +
           " is not a whole number of KB above 0";
  }
  if (flash.bulk_erase_time < kUserFlashMinBulkEraseSeconds ||
      flash.bulk_erase_time > kUserFlashMaxBulkEraseSeconds) {
    return "bulk_erase_time " + number(flash.bulk_erase_time) + " is not 1 to 900 seconds";
  }
  if (flash.sec_erase_time < kUserFlashMinSectorEraseSeconds ||
      flash.sec_erase_time > kUserFlashMaxSectorEraseSeconds) {
    return "sec_erase_time " + number(flash.sec_erase_time) + " is not 1 to 60 seconds";
  }
  if (flash.program_utime < kUserFlashMinProgramMicroseconds ||
      flash.program_utime > kUserFlashMaxProgramMicroseconds) {
    return "program_utime " + number(flash.program_utime) + " is not 1000 to 1000000 microseconds";
  }
  if (flash.protection_division > kMaxProtectionDivision &&
      flash.protection_division != kNoByteValue) {
    return "protection_division " + number(flash.protection_division) + " is not 0 to 31 or 255";
  }
  return "";
}

std::string pgmdev_flash_record_text(const PGMDEV_SFL_FLASH_INFO &flash) {
  std::string text;
#define PGMDEV_SFL_RECORD_VALUE(member, kind) \
  text += kFieldMark;                         \
  text += record_value(flash.member);
  PGMDEV_SFL_FLASH_SCHEMA(PGMDEV_SFL_RECORD_VALUE)
#undef PGMDEV_SFL_RECORD_VALUE
  return text + kFieldMark;
}

std::string pgmdev_seal_flash_entry(const std::string &record_text) {
  return record_text + kPasswordMark + PGMDEV_FLASH_MANAGER::gen_ini_password(record_text) +
         kEntryEnd;
}

std::string pgmdev_encode_flash_entries(const std::vector<std::string> &entries, std::ostream &out,
                                        std::string &refusal) {
  refusal.clear();
  std::string all;
  for (const std::string &entry : entries) all += entry;
  const std::string encoded = encode_ini_to(all, out);
  if (encoded.empty()) return "";
  // The text must come back whole through the loader's path before it is shown.
  const std::string decoded = decode_ini_to(encoded, out);
  if (decoded.empty()) return "";
  if (decoded != all) {
    out << "Fail to generate INI because fail to counter-check "
           "cmp-encode-decode-decmp\n";
    return "";
  }
  // Each entry must also be one that the loader takes, with the 33 values it was made of: a
  // value holding "@", "#" or ";", or a divisor the loader does not allow, would otherwise give
  // a text that is silently ignored.
  for (std::size_t flash = 0; flash < entries.size(); ++flash) {
    const PGMDEV_INI_ENTRY entry = read_entry(entries[flash], nullptr);
    std::string why = entry.refusal;
    if (entry.value_count != PGMDEV_FLASH_MANAGER::TOTAL_DATABASE_MEMBER) {
      const std::string count = "the record text holds " + std::to_string(entry.value_count) +
                                " values, not 33: an answer holds \"@\", \"#\" or \";\"";
      const bool counted = why.rfind("the record text holds", 0) == 0;
      why = why.empty() || counted ? count : why + " (" + count + ")";
    }
    if (why.empty()) continue;
    refusal = "the loader would refuse flash " + std::to_string(flash + 1) + ": " + why;
    return "";
  }
  return encoded;
}

void PGMDEV_FLASH_MANAGER::parse_ext_flash_info() {
  pgmdev_reset_flash_info(m_ini_flash);
  const std::string key = pgmdev_flash_ini_config_key();
  const std::string value = cfg_get_value(key);
  if (value.empty()) return;
  std::string text = decode_ini(value);
  if (text.empty()) return;

  // Every refusal leaves no user-defined flash; its reason is printed only
  // under the switch.
  const bool trace = cfg_is_on(key + kDebugSwitchSuffix, false);
  std::ostream &out = std::cout;
  const PGMDEV_INI_ENTRY entry = read_entry(text, trace ? &out : nullptr);
  if (trace) out.flush();
  if (!entry.refusal.empty()) {
    pgmdev_reset_flash_info(m_ini_flash);
    return;
  }
  pgmdev_copy_flash_info(m_ini_flash, entry.flash);
  if (m_debug != 0) {
#define PGMDEV_SFL_DEBUG_MEMBER(member, kind)                                              \
  msg_vdebug_impl(MSG_D_LEVEL,                                                             \
                  "3rd party SPI support - " #member " : " PGMDEV_SFL_DEBUG_FORMAT_##kind, \
                  debug_value(m_ini_flash.member));
    PGMDEV_SFL_FLASH_SCHEMA(PGMDEV_SFL_DEBUG_MEMBER)
#undef PGMDEV_SFL_DEBUG_MEMBER
  }
}

std::string PGMDEV_FLASH_MANAGER::encode_ini(std::string text) {
  return encode_ini_to(text, std::cout);
}

std::string PGMDEV_FLASH_MANAGER::decode_ini(std::string text) {
  return decode_ini_to(text, std::cout);
}

std::string PGMDEV_FLASH_MANAGER::gen_ini_password(std::string text) {
  const std::size_t total_size = text.size();
  PGMDEV_CHECK(total_size > 0);
  const std::string version = suite_version_text();
  const unsigned short version_crc = pgmdev_crc16_xmodem(byte_pointer(version), version.size());
  const unsigned char lo = static_cast<unsigned char>(version_crc & 0xFFu);
  const unsigned char hi = static_cast<unsigned char>(version_crc >> 8);

  // Lane j takes the bytes j, j + 8, j + 16, ... of the text, even positions
  // mixed with the low byte of the version's sum and odd ones with the high
  // byte, zero-padded to a common length.
  const std::size_t sector_size = (total_size + kPasswordLanes - 1) / kPasswordLanes;
  PGMDEV_CHECK(sector_size > 0);
  std::vector<unsigned char> lane(sector_size);
  std::string password;
  password.reserve(kPasswordLength);
  for (unsigned int j = 0; j < kPasswordLanes; ++j) {
    std::fill(lane.begin(), lane.end(), 0);
    std::size_t k = 0;
    for (std::size_t p = j; p < total_size; p += kPasswordLanes) {
      lane[k++] = static_cast<unsigned char>(text[p]) ^ (p % 2 == 0 ? lo : hi);
    }
    const unsigned short lane_crc = pgmdev_crc16_xmodem(lane.data(), sector_size);
    password += password_letter(lane_crc & 0xFFu);
    password += password_letter(lane_crc >> 8);
  }
  return password;
}

std::string PGMDEV_FLASH_MANAGER::get_ini_version_text() { return suite_version_text(); }

PGMDEV_INI_ENTRY PGMDEV_FLASH_MANAGER::read_ini_entry(const std::string &text) {
  return read_entry(text, nullptr);
}

bool PGMDEV_FLASH_MANAGER::cmp_ini_password(std::string text, std::string password) {
  if (password.size() != kPasswordLength) return false;
  return gen_ini_password(text) == password;
}

bool PGMDEV_FLASH_MANAGER::get_string_from_ini(std::string text, std::string *value,
                                               std::size_t &pos) {
  value->clear();
  const std::size_t open = text.find(kFieldMark, pos);
  if (open == std::string::npos) return false;
  const std::size_t close = text.find(kFieldMark, open + 1);
  if (close == std::string::npos) return false;
  *value = text.substr(open + 1, close - open - 1);
  gen_ascii_toupper(*value);
  // The closing "@" opens the next value.
  pos = close;
  return true;
}

bool PGMDEV_FLASH_MANAGER::assign_ini(std::string *fields) {
  return pgmdev_assign_flash_info(m_ini_flash, fields, TOTAL_DATABASE_MEMBER,
                                  get_boolean_from_string, get_number_from_string);
}

bool PGMDEV_FLASH_MANAGER::get_boolean_from_string(std::string text, bool &valid) {
  valid = text == "1" || text == "0";
  return text == "1";
}

unsigned int PGMDEV_FLASH_MANAGER::get_number_from_string(std::string text, unsigned int max,
                                                          bool &valid) {
  // A value of 2^31 or more may stand as the negative decimal of the same 32
  // bits.
  const long long number = std::strtoll(text.c_str(), nullptr, 10);
  const unsigned int value = static_cast<unsigned int>(number);
  valid = value <= max;
  return value;
}

bool PGMDEV_FLASH_MANAGER::is_power_of_two(unsigned int value) {
  return std::has_single_bit(value);
}

std::string PGMDEV_FLASH_MANAGER::to_string(unsigned int value, bool byte_mode) {
  if (value == kMinusOne || (byte_mode && value == kNoByteValue)) return "-1";
  return std::to_string(static_cast<int>(value));
}

bool PGMDEV_FLASH_MANAGER::prompt_flash_info(std::string &raw) {
  return prompt_flash_info(raw, std::cin, std::cout);
}

bool PGMDEV_FLASH_MANAGER::prompt_flash_info(std::string &raw, std::istream &input,
                                             std::ostream &output) {
  return run_flash_dialogue(*this, raw, input, output, REFUSAL_SINK{});
}

namespace {

bool run_flash_dialogue(PGMDEV_FLASH_MANAGER &manager, std::string &raw, std::istream &input,
                        std::ostream &output, const REFUSAL_SINK &refusals) {
  raw.clear();
  PGMDEV_SFL_FLASH_INFO flash;
  FLASH_DIALOGUE ask(manager, input, output, raw, refusals);
  DWORD answer = 0;

  ask.text("Manufacture Name : ", flash.manufacturer_name);
  ask.text("Device Name : ", flash.device_name);
  flash.silicon_id = false;
  ask.append("0");
  ask.byte("Memory ID (hex) [1 - FE] : ", 0x01, 0xFE, flash.memory_id);
  ask.byte("Memory ID Index [0/1/2] : ", 0, kHighestIdIndex, flash.memory_id_index);
  ask.byte("Memory Type (hex) [0 - FF] : ", 0x00, 0xFF, flash.memory_type);
  if (ask.hex_byte("Memory Type Index [-1/0/1/2] : ", 0, kHighestIdIndex, true, answer)) {
    flash.memory_type_index = answer == kMinusOne ? kNoByteValue : static_cast<BYTE>(answer);
    ask.append_number(flash.memory_type_index);
  }
  ask.byte("Manufacturer ID (hex) [1 - FE] : ", 0x01, 0xFE, flash.mfc_id);
  ask.byte("Manufacturer ID Index [0/1/2] : ", 0, kHighestIdIndex, flash.mfc_id_index);
  flash.norvik_id = kUserFlashNorvikId;
  ask.append_number(flash.norvik_id);
  flash.default_dev = true;
  ask.append("1");
  flash.ini = kUserFlashGate;
  ask.append(flash.ini);
  ask.yes_no("Support Extended Mode [Y/N] : ", flash.extended_mode);
  ask.yes_no("Micron flow [Y/N] : ", flash.micron_flow);
  ask.yes_no("Spansion flow [Y/N] : ", flash.spansion_flow);
  ask.yes_no("Protected after power-up [Y/N] : ", flash.startup_protected);
  ask.yes_no("Is AAI mode [Y/N] : ", flash.aai_mode);
  ask.yes_no("Read flag status [Y/N] : ", flash.flag_status);
  ask.byte("Die count [1/2] : ", 1, 2, flash.die_count);
  if (ask.decimal("Memory Density [1 - 2048 Mbit] : ", 1, kMaxDensityMbit, true, answer)) {
    flash.device_bit_size = answer << 20;
    ask.append_number(flash.device_bit_size);
  }
  if (ask.decimal("Sector Size [1 - 1024 Kbyte] : ", 1, kMaxSectorKbyte, true, answer)) {
    flash.device_sector_byte = answer << 10;
    ask.append_number(flash.device_sector_byte);
  }
  flash.half_size = false;
  ask.append("0");
  flash.byte4_addressing = flash.device_bit_size > kUserFlashByte4AddressingAbove;
  ask.append(flash.byte4_addressing ? "1" : "0");
  if (ask.decimal("Bulk Erase time [1 - 900 seconds] : ", 1, kUserFlashMaxBulkEraseSeconds, false,
                  answer)) {
    flash.bulk_erase_time = answer;
    ask.append_number(answer);
  }
  if (ask.decimal("Sector Erase Time [1 - 60 seconds] : ", 1, kUserFlashMaxSectorEraseSeconds,
                  false, answer)) {
    flash.sec_erase_time = answer;
    ask.append_number(answer);
  }
  if (ask.decimal(
          "Page Program Time [1000 - 1000000 microseconds] : ", kUserFlashMinProgramMicroseconds,
          kUserFlashMaxProgramMicroseconds, false, answer)) {
    flash.program_utime = answer;
    ask.append_number(answer);
  }
  ask.byte("Protection Mask (hex) [0 - FF] : ", 0x00, 0xFF, flash.protection_mask);
  ask.byte("Protection Value (hex) [0 - FF] : ", 0x00, 0xFF, flash.protection_value);
  ask.byte("Unprotect Value (hex) [0 - FF] : ", 0x00, 0xFF, flash.unprotect_value);
  if (ask.hex_byte("Protection Divisor (hex) [-1/3 - 20] : ", 0x03, 0x20, true, answer)) {
    flash.protection_division = answer == kMinusOne ? kNoByteValue : static_cast<BYTE>(answer);
    ask.append_number(flash.protection_division);
  }
  // The bottom value is the mask of the status-register bit at the location
  // given; none is 0.
  if (ask.hex_byte("Bottom Value (bit location) [-1/0 - 7] : ", 0, 7, true, answer)) {
    flash.bottom_value = answer == kMinusOne ? 0 : static_cast<BYTE>(1u << answer);
    ask.append_number(flash.bottom_value);
  }
  ask.yes_no("SDM Support [Y/N] : ", flash.sdm_support);
  ask.text("AS Configuration Voltage : ", flash.asc_voltage);
  if (!ask.ok()) return false;

  if (flash.memory_id_index == flash.memory_type_index ||
      flash.memory_id_index == flash.mfc_id_index ||
      flash.memory_type_index == flash.mfc_id_index) {
    output << "Memory ID, Memory Type and Manufacturer ID index cannot be at "
              "the same location";
    output.flush();
    const auto index = [](BYTE value) {
      return value == kNoByteValue ? std::string("-1") : std::to_string(value);
    };
    refusals.write("the memory id, memory type and manufacturer id indexes (" +
                   index(flash.memory_id_index) + ", " + index(flash.memory_type_index) + ", " +
                   index(flash.mfc_id_index) + ") must differ");
    return false;
  }
  raw += kFieldMark;
  output << "Prompt outcome: " << raw << "\n";
  output.flush();
  return true;
}

}  // namespace

void PGMDEV_FLASH_MANAGER::gen_flash_ini() { gen_flash_ini(std::cin, std::cout); }

void PGMDEV_FLASH_MANAGER::gen_flash_ini(std::istream &input, std::ostream &output) {
  std::ostream no_errors(nullptr);
  gen_flash_ini(input, output, no_errors);
}

std::string PGMDEV_FLASH_MANAGER::gen_flash_ini(std::istream &input, std::ostream &output,
                                                std::ostream &errors) {
  output << "Number of 3rd party flash to define (max 3) : ";
  output.flush();
  std::string word;
  input >> word;
  bool converted = false;
  const DWORD count = word.empty() ? 0 : get_dword_from_string(word, &converted);
  // A count outside 1 to 3 is refused with the same message as a word that is
  // not a number.
  constexpr DWORD kMaxFlashCount = 3;
  REFUSAL_SINK refusals{&errors, ""};
  if (!converted || count < 1 || count > kMaxFlashCount) {
    output << kCountFailure;
    refusals.write("question \"Number of 3rd party flash to define (max 3)\": " +
                   (word.empty() ? std::string("no answer (end of input)")
                                 : "answer \"" + word + "\" refused") +
                   ": 1, 2 or 3 flash devices can be defined");
    return "";
  }
  std::string all;
  std::vector<std::string> entries;
  for (DWORD flash = 0; flash < count; ++flash) {
    std::string raw;
    refusals.label = count > 1 ? "flash " + std::to_string(flash + 1) + ", " : "";
    if (!run_flash_dialogue(*this, raw, input, output, refusals)) {
      output << kCountFailure;
      return "";
    }
    entries.push_back(pgmdev_seal_flash_entry(raw));
    all += entries.back();
    output << "Raw: " << all << "\n";
  }
  std::string refusal;
  const std::string encoded = pgmdev_encode_flash_entries(entries, output, refusal);
  if (!refusal.empty()) {
    output << "Fail to generate INI because " << refusal << "\n";
    refusals.label = "";
    refusals.write(refusal);
  }
  if (encoded.empty()) {
    output.flush();
    return "";
  }
  output << "INI : " << encoded << "\n";
  output.flush();
  return encoded;
}
