// Flash parameter values and the flash parameter file pgm_flash.ini.
//
// PGMDEV_FLASH_INI is a class of static functions without state. Its first half converts typed
// parameter values (PGMDEV_PARAM_TYPE) between text and numbers for the programmer's tools; its
// second half reads and replaces the three sections of pgm_flash.ini in the executable's
// directory and encodes and decodes the typed fields inside a section.
//
// File layout (little-endian): the 16 signature characters, the directory entry count N (the
// writer puts 3), N entries (offset, size) of 4 bytes each, then the data of the non-empty
// sections in section order without gaps. An empty section has entry (0, 0).
#ifndef PGMDEV_FLASH_INI_H
#define PGMDEV_FLASH_INI_H

#include <string>

#include "pgmdev_export.h"
#include "pgmdev_types.h"

// The file signature: these 16 characters, without terminator, open pgm_flash.ini.
inline constexpr char PGMDEV_FLASH_INI_CONST_STRING[] = "PGMDEV_FLASH_INI";

// Display names of the sections, indexed by PGMDEV_FLASH_INI_ENUM: "SFL FLASH", "HPS SPI",
// "HPS NAND".
extern PGMDEV_API const std::string PGMDEV_FLASH_INI_STRING[3];

class PGMDEV_API PGMDEV_FLASH_INI {
 public:
  // ---- Value conversion ----

  // Parses decimal text, or hexadecimal text after a leading "0x" (lower-case x only; the hex
  // digits may be of either case). No sign, blank or other character is accepted. A refused
  // text gives 0 and *ok false; with ok null it fails the internal check "Invalid string to
  // integer conversion". With no_empty, an empty text fails "!no_empty || !string.empty()".
  static unsigned long long convert_string_to_qword(std::string string, bool no_empty, bool* ok);

  // Checked conversion of a user's text into a value of a numeric type. The steps, in order:
  // "-1" stands for the type maximum; otherwise the text is parsed ("0x" is put in front when
  // is_hex and the text lacks it); then the type maximum, power_of_two, the valid ranges, the
  // invalid rules and finally the scaling (2 to the power value when exponent, else times
  // multiple) are checked. The first failure returns false with one of the messages
  // "Invalid QWORD conversion", "Conversion overflow compare to type", "Input must be power of
  // 2", "Input is out of range", "Input is invalid (hit)", "Calculation overflow compare to type"
  // and leaves value as it stood then. STRING, BOOL and any non-numeric type return true with
  // value 0. Range and rule lists are count-prefixed pairs of 32-bit values (null: no rule).
  static bool convert_string_to_qword(PGMDEV_PARAM_TYPE type, unsigned long long& value,
                                      bool is_hex, std::string text, bool power_of_two,
                                      const unsigned int* valid_ranges,
                                      const unsigned int* invalid_rules, bool exponent,
                                      unsigned int multiple, std::string& message);

  // The last count (1 to 16) upper-case hexadecimal digits of value, with leading zeros and
  // "0x" in front when with_prefix. Higher digits are cut off.
  static std::string convert_qword_to_hex_string(unsigned long long value, unsigned int count,
                                                 bool with_prefix);
  // The same for count 1 to 8.
  static std::string convert_dword_to_hex_string(unsigned int value, unsigned int count,
                                                 bool with_prefix);
  // Decimal text of value.
  static std::string convert_qword_to_string(unsigned long long value);

  // Display text of one typed value (value points at the object of the type): strings as they
  // are, bools as "True"/"False", numbers in decimal or, with hex, as "0x" and 2, 4, 8 or 16
  // digits.
  static std::string print_flash_ini_data(PGMDEV_PARAM_TYPE type, bool hex, void* value);

  // ---- File store ----

  // A new array (freed by the caller with delete[]) with a copy of the section's data and its
  // length in size; null with size 0 when the file is missing or fails any check, or the
  // section is empty.
  static unsigned char* read_flash_ini_data(PGMDEV_FLASH_INI_ENUM section, unsigned int& size);

  // Replaces one section (size 0 with data null empties it) and keeps the other two as they
  // read. The file is replaced whole or not at all (temporary file, sync, rename) while an
  // advisory lock on pgm_flash.ini.lock keeps other writers out. The new file keeps the old
  // one's permission bits (and owner and group where the caller may set them); a symbolic link
  // at pgm_flash.ini is followed and stays. A file that exists but fails the read checks is
  // kept under the first free name of pgm_flash.ini.bak, pgm_flash.ini.bak.1, ...; a file that
  // cannot be read at all is not replaced. True only when every step succeeded; a section
  // above 2 gives false without touching anything.
  static bool write_flash_ini_data(PGMDEV_FLASH_INI_ENUM section, unsigned char* data,
                                   unsigned int size);

  // ---- Field encoding inside a section ----

  // Adds the encoded length of one field to size: length + 1 for a string, 1 for bool and
  // byte, 2, 4 and 8 for word, dword and qword.
  static void calculate_flash_ini_data_size(unsigned int& size, PGMDEV_PARAM_TYPE type,
                                            void* value);

  // Encodes one field at data[index] and advances index past it. A string's terminator is
  // not written: the caller's zero-filled buffer supplies it. No bounds check: data must hold
  // the lengths summed by calculate_flash_ini_data_size.
  static void fillup_flash_ini_data(unsigned char* data, unsigned int& index,
                                    PGMDEV_PARAM_TYPE type, void* value);

  // Decodes one record of count fields from data[index] (never reading at or past size),
  // storing field i through values[i] as types[i] says, and leaves index at the start of the
  // next record. False for a record cut short or an unknown type; the fields before the
  // failing one have been stored.
  static bool assign_flash_ini_data(const unsigned char* data, unsigned int& index,
                                    unsigned int size, unsigned int count,
                                    const PGMDEV_PARAM_TYPE* types, void** values);
};

#endif  // PGMDEV_FLASH_INI_H
