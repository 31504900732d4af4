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
constexpr DWORD kMaxBulkEraseSeconds = 900;
constexpr DWORD kMaxSectorEraseSeconds = 60;
constexpr DWORD kMinProgramMicroseconds = 1000;
constexpr DWORD kMaxProgramMicroseconds = 1000000;
constexpr BYTE kMaxProtectionDivision = 31;

// What the dialogue fills in without asking.
constexpr BYTE kIniNorvikId = 32;
constexpr const char kIniGate[] = "NONE";
constexpr std::size_t kMaxNameLength = 19;
constexpr DWORD kMaxDensityMbit = 2048;
constexpr DWORD kMaxSectorKbyte = 1024;
constexpr DWORD kByte4AddressingAbove = 0x8000000;  // bits: 128 Mbit
constexpr DWORD kMinusOne = 0xFFFFFFFF;

bool is_sound(const PGMDEV_SFL_FLASH_INFO &flash) {
  const bool memory_type_compared = flash.memory_type_index != kNoByteValue;
  const bool mfc_compared = flash.mfc_id_index != kNoByteValue;
  return flash.memory_id != 0 && flash.memory_id_index <= kHighestIdIndex &&
         (!memory_type_compared || (flash.memory_type_index <= kHighestIdIndex &&
                                    flash.memory_type_index != flash.memory_id_index)) &&
         (!mfc_compared ||
          (flash.mfc_id_index <= kHighestIdIndex && flash.mfc_id_index != flash.memory_id_index &&
           (!memory_type_compared || flash.mfc_id_index != flash.memory_type_index))) &&
         std::find(std::begin(kIniNorvikIds), std::end(kIniNorvikIds), flash.norvik_id) !=
             std::end(kIniNorvikIds) &&
         flash.die_count != 0 && flash.device_bit_size != 0 &&
         (flash.device_bit_size & kMbitMask) == 0 && flash.device_sector_byte != 0 &&
         (flash.device_sector_byte & kKbyteMask) == 0 && flash.bulk_erase_time >= 1 &&
         flash.bulk_erase_time <= kMaxBulkEraseSeconds && flash.sec_erase_time >= 1 &&
         flash.sec_erase_time <= kMaxSectorEraseSeconds &&
         flash.program_utime >= kMinProgramMicroseconds &&
         flash.program_utime <= kMaxProgramMicroseconds &&
         (flash.protection_division <= kMaxProtectionDivision ||
          flash.protection_division == kNoByteValue);
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

// One question after another of the flash dialogue. After the first refused
// answer every further question is skipped.
class FLASH_DIALOGUE {
 public:
  FLASH_DIALOGUE(PGMDEV_FLASH_MANAGER &manager, std::istream &input, std::ostream &output,
                 std::string &raw)
      : m_manager(manager), m_input(input), m_output(output), m_raw(raw) {}

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
    if (word.empty() || word.size() > kMaxNameLength) {
      m_output << "Empty name or name too long\n";
      refuse();
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
      refuse();
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
    if (value > kNoByteValue || value < lo || value > hi) return refuse();
    return true;
  }

  // A decimal number in lo..hi; with power_of_two it must have exactly one bit
  // set.
  bool decimal(const char *question, DWORD lo, DWORD hi, bool power_of_two, DWORD &value) {
    if (!number(question, false, false, value)) return false;
    if (value < lo || value > hi ||
        (power_of_two && !PGMDEV_FLASH_MANAGER::is_power_of_two(value))) {
      return refuse();
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
    return word;
  }

  bool number(const char *question, bool hex, bool allow_minus_one, DWORD &value) {
    if (!m_ok) return false;
    std::string word = answer(question);
    if (allow_minus_one && word == "-1") word = "FFFFFFFF";
    bool converted = false;
    value = m_manager.get_dword_from_string(hex ? "0x" + word : word, &converted);
    if (!converted) return refuse();
    return true;
  }

  bool refuse() {
    m_output << "Invalid input\n";
    m_ok = false;
    return false;
  }

  PGMDEV_FLASH_MANAGER &m_manager;
  std::istream &m_input;
  std::ostream &m_output;
  std::string &m_raw;
  bool m_ok = true;
};

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
  const auto accepted = [&]() -> bool {
    if (trace) out << text << "\n";
    // Only the first entry counts: its record text ends at the first "#", its
    // check code runs to the first ";".
    std::string password;
    const std::size_t mark = text.find(kPasswordMark);
    const std::size_t end = text.find(kEntryEnd);
    if (mark != std::string::npos && end != std::string::npos && mark < end) {
      password = text.substr(mark + 1, end - mark - 1);
      text.erase(mark);
      if (trace) out << text << "\n" << password << "\n";
    }
    if (text.empty() || password.empty()) return false;

    std::string fields[TOTAL_DATABASE_MEMBER];
    std::size_t pos = 0;
    bool found = true;
    for (DWORD i = 0; i < TOTAL_DATABASE_MEMBER && found; ++i) {
      found = get_string_from_ini(text, &fields[i], pos);
      if (trace) out << "Status " << i << " : " << (found ? 1 : 0) << "\n";
    }
    if (!found || !assign_ini(fields)) return false;
    if (!is_sound(m_ini_flash)) {
      if (trace) out << "Fail to check the validity of the INI\n";
      return false;
    }
    if (!cmp_ini_password(text, password)) {
      if (trace) out << "Fail to compare INI password\n";
      return false;
    }
    return true;
  };
  const bool ok = accepted();
  if (trace) out.flush();
  if (!ok) {
    pgmdev_reset_flash_info(m_ini_flash);
    return;
  }
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
  raw.clear();
  PGMDEV_SFL_FLASH_INFO flash;
  FLASH_DIALOGUE ask(*this, input, output, raw);
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
  flash.norvik_id = kIniNorvikId;
  ask.append_number(flash.norvik_id);
  flash.default_dev = true;
  ask.append("1");
  flash.ini = kIniGate;
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
  flash.byte4_addressing = flash.device_bit_size > kByte4AddressingAbove;
  ask.append(flash.byte4_addressing ? "1" : "0");
  if (ask.decimal("Bulk Erase time [1 - 900 seconds] : ", 1, kMaxBulkEraseSeconds, false, answer)) {
    flash.bulk_erase_time = answer;
    ask.append_number(answer);
  }
  if (ask.decimal("Sector Erase Time [1 - 60 seconds] : ", 1, kMaxSectorEraseSeconds, false,
                  answer)) {
    flash.sec_erase_time = answer;
    ask.append_number(answer);
  }
  if (ask.decimal("Page Program Time [1000 - 1000000 microseconds] : ", kMinProgramMicroseconds,
                  kMaxProgramMicroseconds, false, answer)) {
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
    return false;
  }
  raw += kFieldMark;
  output << "Prompt outcome: " << raw << "\n";
  output.flush();
  return true;
}

void PGMDEV_FLASH_MANAGER::gen_flash_ini() { gen_flash_ini(std::cin, std::cout); }

void PGMDEV_FLASH_MANAGER::gen_flash_ini(std::istream &input, std::ostream &output) {
  output << "Number of 3rd party flash to define (max 3) : ";
  output.flush();
  std::string word;
  input >> word;
  bool converted = false;
  const DWORD count = word.empty() ? 0 : get_dword_from_string(word, &converted);
  // A count outside 1 to 3 is refused with the same message as a word that is
  // not a number.
  constexpr DWORD kMaxFlashCount = 3;
  if (!converted || count < 1 || count > kMaxFlashCount) {
    output << kCountFailure;
    return;
  }
  std::string all;
  for (DWORD flash = 0; flash < count; ++flash) {
    std::string raw;
    if (!prompt_flash_info(raw, input, output)) {
      output << kCountFailure;
      return;
    }
    all += raw + kPasswordMark + gen_ini_password(raw) + kEntryEnd;
    output << "Raw: " << all << "\n";
  }
  const std::string encoded = encode_ini_to(all, output);
  if (encoded.empty()) return;
  // The text must come back whole through the loader's path before it is shown.
  const std::string decoded = decode_ini_to(encoded, output);
  if (decoded.empty()) return;
  if (decoded == all) {
    output << "INI : " << encoded << "\n";
  } else {
    output << "Fail to generate INI because fail to counter-check "
              "cmp-encode-decode-decmp\n";
  }
  output.flush();
}
