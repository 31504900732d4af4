// The flash database: the serial flash devices that the programmer can drive behind the devices of
// its chain, loaded from programmer/pgm_flash.pcf under the device data directory, and the
// generator that writes that file from the flash CSV.
#ifndef PGMDEV_FLASH_MANAGER_H
#define PGMDEV_FLASH_MANAGER_H

#include <cstddef>
#include <iosfwd>
#include <string>
#include <vector>

#include "fio.h"
#include "pgmdev_csv.h"
#include "pgmdev_export.h"
#include "pgmdev_flash_manager_auto_export.h"
#include "pgmdev_types.h"

// One data row of a flash CSV as the one-default rule sees it: the record's device name, its gate
// (the ini member), whether it is the default record of its name, and the row's line.
struct PGMDEV_FLASH_GATED_ROW {
  std::string device_name;
  std::string gate;
  bool default_dev = false;
  unsigned int line = 0;
};

// What the loader makes of a decoded user-flash INI text (parse_ext_flash_info): its first
// entry, the flash its values give and, when the loader would not load that flash, why.
struct PGMDEV_INI_ENTRY {
  std::string record_text;      // the text up to the first "#"
  std::string check_code;       // between that "#" and the first ";" after it; "" when none
  unsigned int value_count{};   // "@"-delimited values in record_text (a sound one has 33)
  bool values_read{};           // the 33 values were found and each converted
  PGMDEV_SFL_FLASH_INFO flash;  // the members converted, in schema order up to a failure
  std::string unsound;          // the first soundness check flash fails, "" when sound
  bool check_code_holds{};      // check_code seals record_text under the running suite version
  std::string refusal;          // the first of these the loader stops at, "" when it loads it
};

// One manager per programming chain, made and owned by the caller. The constructor loads the flash
// database (dropping the records whose gate is off and checking that every device name has exactly
// one default record) and prepares one map slot per chain device. A broken file or a misuse ends
// the operation through the internal-error report.
class PGMDEV_API PGMDEV_FLASH_MANAGER {
 public:
  // Number of members of PGMDEV_SFL_FLASH_INFO, and their names and field tags in schema order.
  static constexpr DWORD TOTAL_DATABASE_MEMBER = 0 PGMDEV_SFL_FLASH_SCHEMA(PGMDEV_SFL_COUNT_MEMBER);
  static constexpr const char* m_name_list[TOTAL_DATABASE_MEMBER] = {
      PGMDEV_SFL_FLASH_SCHEMA(PGMDEV_SFL_MEMBER_NAME)};
  static constexpr PGMDEV_MANAGER_TYPE m_type_list[TOTAL_DATABASE_MEMBER] = {
      PGMDEV_SFL_FLASH_SCHEMA(PGMDEV_SFL_MEMBER_TAG)};

  // The first argument has no effect. With no_database the manager holds no database and no map
  // (every query then fails its check); otherwise device_count must be above 0. debug prints every
  // loaded record to standard output.
  PGMDEV_FLASH_MANAGER(bool, unsigned int device_count, bool no_database, bool debug);
  ~PGMDEV_FLASH_MANAGER();
  PGMDEV_FLASH_MANAGER(const PGMDEV_FLASH_MANAGER&) = delete;
  PGMDEV_FLASH_MANAGER& operator=(const PGMDEV_FLASH_MANAGER&) = delete;

  // ---- Loading

  // Reads and checks the database file, decompresses its payload and parses it.
  void initialize_flash_database(FIO_PATH flash_file);
  // Builds m_flash_database from the size bytes of a decompressed payload; nothing past them is
  // read.
  void parse_database(unsigned char* data, unsigned int size);
  // Whether record index is allowed by its gate: "NONE" in any letter case, or the configuration
  // switch "PGM_ALLOW_" + gate.
  bool enable_device(unsigned int index);
  // Checks that, from record start on, each device name (ignoring case) has exactly one default
  // record.
  void confirm_default_value(unsigned int start);
  // Every record of the flash database file flash_file, in file order, whatever its gate and
  // without a user-defined flash: what the file holds rather than what a chain loads. The file is
  // checked as in loading (a damaged file is an internal error); the one-default rule, which
  // concerns the records a chain keeps, is not applied.
  static std::vector<PGMDEV_SFL_FLASH_INFO> read_file_records(FIO_PATH flash_file);
  // Fills m_ini_flash with the user-defined flash of the configuration (docs/user_flash.md) when
  // its INI text decodes, is sealed for the running suite version and describes a sound device;
  // otherwise m_ini_flash is left empty. The key's "_DEBUG" switch traces the steps on standard
  // output; with m_debug the accepted members go to the debug log.
  void parse_ext_flash_info();

  // ---- Mapping and queries

  // Finds the first record that matches the identification bytes id[0 .. 3) read from the flash
  // of chain device device_index and records it in the map; false when none matches.
  bool flash_id_database_mapping(bool by_silicon_id, unsigned int device_index, unsigned char* id);
  // The same with id_length identification bytes: a record whose compared positions lie at or
  // beyond id_length does not match, so nothing past the bytes given is read.
  bool flash_id_database_mapping(bool by_silicon_id, unsigned int device_index,
                                 const unsigned char* id, unsigned int id_length);
  // The map entry of device; INVALID_DWORD (when allow_invalid) if no flash is mapped.
  unsigned int get_flash_mapping_index(unsigned int device, bool allow_invalid);
  // Maps device to record index (below m_flash_count).
  void set_flash_mapping_index(unsigned int device, unsigned int index);
  // The default record of a device name (ignoring case), or null. The pointer stays valid while the
  // manager lives.
  PGMDEV_SFL_FLASH_INFO* get_default_flash(std::string device_name);
  // The longest program_utime among the records mapped to the chain's devices.
  unsigned int sfl_get_chain_longest_program_utime();

  // ---- Generation from the flash CSV

  // First pass: returns the payload size and sets device_count to the number of data rows.
  unsigned int check_flash_file(FIO_PATH csv_file, unsigned int& device_count);
  // Checks and encodes csv_file and writes flash_file whole (or leaves it untouched).
  void generate_flash_database(FIO_PATH csv_file, FIO_PATH flash_file);
  // The field writers append at (*data)[index] and advance index; data_size is the buffer's
  // capacity, which they never write past.
  //
  // One record's 33 tagged fields, from the texts of a CSV data row.
  void dump_to_database(unsigned char** data, unsigned int data_size, unsigned int& index,
                        std::vector<std::string> fields);
  // Tag 2, a length byte and 1 to 255 bytes of text.
  void dump_string_to_database(unsigned char** data, unsigned int data_size, unsigned int& index,
                               std::string string);
  // Tag 3 and 1 for "TRUE" or 0 for "FALSE".
  void dump_bool_to_database(unsigned char** data, unsigned int data_size, unsigned int& index,
                             std::string string);
  // Tag 4, 5 or 6 and the count (1, 2 or 4) low-order bytes of the number in string.
  void dump_value_to_database(unsigned char** data, unsigned int data_size, unsigned int& index,
                              std::string string, unsigned int count);
  // Number conversion ("0x" hexadecimal or decimal); with ok null a text that does not convert is
  // an internal error.
  unsigned int get_dword_from_string(std::string string, bool* ok);
  // Whether the generator takes `cell` in data column `column` (below 33) as it stands: a text of 1
  // to 255 bytes, TRUE or FALSE, a number that converts and fits its member. Otherwise false, with
  // the rule and message in problem (its line and column are the caller's).
  static bool check_csv_cell(unsigned int column, const std::string& cell,
                             PGMDEV_CSV_PROBLEM& problem);
  // The device names of the rows that, for some setting of the gates the rows name (each switch
  // PGM_ALLOW_<gate> on or off), keep no default record or more than one among the rows that
  // setting keeps, so that loading the generated file would fail. One problem (rule "default")
  // per such name, at the row where the setting shows it, in the order of the names' first rows.
  static std::vector<PGMDEV_CSV_PROBLEM> check_default_records(
      const std::vector<PGMDEV_FLASH_GATED_ROW>& rows);

  // ---- Field readers of the flash file. Each reads at data[index], never at or past
  // data_size, and advances index; its checks report from the flash manager's source.
  DWORD get_dword(unsigned char* data, unsigned int data_size, unsigned int& index);
  void get_string_data(unsigned char* data, unsigned int data_size, unsigned int& index,
                       std::string* out);
  void get_bool_data(unsigned char* data, unsigned int data_size, unsigned int& index, bool* out);
  void get_byte_data(unsigned char* data, unsigned int data_size, unsigned int& index,
                     unsigned char* out);
  void get_word_data(unsigned char* data, unsigned int data_size, unsigned int& index,
                     unsigned short* out);
  void get_dword_data(unsigned char* data, unsigned int data_size, unsigned int& index,
                      unsigned int* out);
  // The record end mark "END1" and the database end mark "END2".
  void confirm_data_type_end(unsigned char* data, unsigned int data_size, unsigned int& index);
  void confirm_database_end(unsigned char* data, unsigned int data_size, unsigned int& index);
  // data[0 .. offset) unchanged, then the zlib stream of data[offset .. count); new_count
  // receives the new length. The new array belongs to the caller (delete[]).
  unsigned char* compress_data(unsigned char* data, unsigned long offset, unsigned long count,
                               unsigned long& new_count);
  // The original_count bytes that the decompressed_count bytes at data inflate to; anything else
  // is refused. The new array belongs to the caller (delete[]).
  unsigned char* decompress_data(unsigned char* data, unsigned long decompressed_count,
                                 unsigned long original_count);
  // The container checksum: 0 for every input.
  unsigned short calculate_crc16(const unsigned char* data, unsigned int bit_count);

  // ---- User-defined flash: the console dialogue and the INI text

  // Asks for one to three flash devices (standard input, word by word; questions on standard
  // output) and prints their INI text after "INI : ". A text that the loader would refuse is not
  // printed: the check it fails is, instead.
  void gen_flash_ini();
  void gen_flash_ini(std::istream& input, std::ostream& output);
  // The same dialogue, with each refusal also written to errors as one line: the flash, the
  // question, the answer and why it was refused (or which of the loader's checks the text would
  // fail). Returns the INI text, or "" when none was made.
  std::string gen_flash_ini(std::istream& input, std::ostream& output, std::ostream& errors);
  // Asks for the parameters of one flash and builds its record text in raw: "@" before each of the
  // 33 values and a closing "@". False at the first answer that is refused (raw is then not to be
  // used).
  bool prompt_flash_info(std::string& raw);
  bool prompt_flash_info(std::string& raw, std::istream& input, std::ostream& output);
  // Whether exactly one bit of value is set.
  static bool is_power_of_two(unsigned int value);
  // "-1" for 0xFFFFFFFF (and for 255 in byte_mode), else value as a signed 32-bit decimal.
  static std::string to_string(unsigned int value, bool byte_mode);

  // The INI text of a record text: zlib-compressed, six bits per character. Empty on failure (with
  // a message on standard output).
  static std::string encode_ini(std::string text);
  // The record text of an INI text, up to its first zero byte. Empty on failure (with a message on
  // standard output).
  static std::string decode_ini(std::string text);
  // The 16-letter check code that ties a record text (not empty) to the running suite version.
  static std::string gen_ini_password(std::string text);
  // Whether password is the 16-letter check code of text.
  static bool cmp_ini_password(std::string text, std::string password);
  // What the loader makes of the decoded INI text text: the same steps and checks as
  // parse_ext_flash_info, each one's outcome kept.
  static PGMDEV_INI_ENTRY read_ini_entry(const std::string& text);
  // The suite's version text that check codes are made from: "Velmora Version: ", the version,
  // " ", "SP<n> " when the service pack is not 0, and "Build <n>".
  static std::string get_ini_version_text();
  // Takes the text between the first "@" at or after pos and the next "@", upper-cased, into
  // *value and leaves pos on that closing "@". False (value empty, pos unchanged) when there is
  // no such pair.
  static bool get_string_from_ini(std::string text, std::string* value, std::size_t& pos);
  // Converts the 33 field texts of a record text into m_ini_flash; false at the first text that
  // does not convert.
  bool assign_ini(std::string* fields);
  // "1" is true and "0" false; valid says whether text was one of them.
  static bool get_boolean_from_string(std::string text, bool& valid);
  // The leading signed decimal number of text (0 without digits), as 32 bits; valid says whether
  // it is at most max.
  static unsigned int get_number_from_string(std::string text, unsigned int max, bool& valid);

  unsigned int m_debug;
  unsigned int m_version;
  unsigned int m_device_count;
  unsigned int m_flash_count;
  unsigned int m_ini_count;
  unsigned int m_type_count;
  unsigned int* m_device_to_flash_map;
  PGMDEV_SFL_FLASH_INFO* m_flash_database;
  PGMDEV_SFL_FLASH_INFO m_ini_flash;
};

#endif  // PGMDEV_FLASH_MANAGER_H
