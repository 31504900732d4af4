// The database file codec shared by the device-info and flash managers: the file container
// (magic, schema id, memory size, zlib body, two-byte trailer), the body framing ("END1" after
// each record, "END2" after the last) and the tagged field encoding.
//
// Layers:
//  - writers append at data[index] and advance index; they are given the array's capacity and
//    refuse to write past it;
//  - readers take the body, its length and a cursor, check the room before every read and
//    advance the cursor;
//  - whole-buffer operations compress, decompress, read and write a whole file.
// The two managers differ in a few field rules and in their container constants; those
// differences are the PGMDEV_DB_FORMAT that every call receives. Every failed check reports
// the caller's source file and line (PGMDEV_DB_SITE), so a check is reported from the manager
// that runs it.
#ifndef PGMDEV_DB_CODEC_H
#define PGMDEV_DB_CODEC_H

#include <memory>
#include <string>
#include <string_view>

#include "fio.h"
#include "pgmdev_types.h"

// Where a codec operation was called from: the file and line that its reports carry.
struct PGMDEV_DB_SITE {
  const char* file;
  int line;
};

// The site of the expression that uses it.
#define PGMDEV_DB_HERE (PGMDEV_DB_SITE{__FILE__, __LINE__})

// Bit of a tag in a set of accepted tags.
constexpr unsigned int pgmdev_db_tag_bit(PGMDEV_MANAGER_TYPE type) { return 1u << type; }

// What one database file kind fixes: its container constants and the rules of its field
// readers and writers, with the condition text of each rule.
struct PGMDEV_DB_FORMAT {
  // Container.
  const char* magic;                    // 8 ASCII bytes
  const char* magic_text;               // reported when bytes 0 to 7 differ from magic
  std::string_view schema_id;           // 32 characters
  const char* schema_id_size_text;      // reported when schema_id is not 32 characters long
  const char* schema_id_mismatch_text;  // reported when bytes 8 to 39 differ from schema_id
  const char* file_status_text;         // reported when the file is missing or unreadable
  // Text writer: tags it may write and the rule for empty texts.
  unsigned int string_write_tags;
  const char* string_write_tag_text;
  const char* string_empty_text;
  // Text reader: tags it accepts.
  unsigned int string_read_tags;
  const char* string_read_tag_text;
  // Bool writer: whether "" means false besides "FALSE" and "TRUE".
  bool bool_accepts_empty;
  const char* bool_text;
  // Number writer: whether an empty cell is refused ("string.size() > 0") and whether the
  // converter trims the text.
  bool value_requires_text;
  bool convert_trim;
  // Four-byte reader: tags it accepts.
  unsigned int dword_read_tags;
  const char* dword_read_tag_text;
};

// Sizes of the container.
constexpr unsigned int kPgmdevDbMagicBytes = 8;
constexpr unsigned int kPgmdevDbSchemaIdBytes = 32;
constexpr unsigned int kPgmdevDbMemorySizeBytes = 4;
constexpr unsigned int kPgmdevDbHeaderBytes =
    kPgmdevDbMagicBytes + kPgmdevDbSchemaIdBytes + kPgmdevDbMemorySizeBytes;  // 44
constexpr unsigned int kPgmdevDbTrailerBytes = 2;
// The longest text a field can hold: its length is one byte.
constexpr unsigned int kPgmdevDbMaxTextBytes = 255;
// Body format version.
constexpr DWORD kPgmdevDbVersion = 1;

class PGMDEV_DB_CODEC {
 public:
  // ---- Writers: data has room for data_size bytes; each checks the room first.

  // Tag `type`, one length byte, the text's bytes. `type` must be one of the format's text
  // tags; an empty text needs allow_empty; a text longer than 255 bytes is refused.
  static void dump_string(unsigned char* data, unsigned int data_size, unsigned int& index,
                          bool allow_empty, const std::string& string, PGMDEV_MANAGER_TYPE type,
                          const PGMDEV_DB_FORMAT& format, PGMDEV_DB_SITE site);
  // Tag 3, then 1 for "TRUE", 0 for "FALSE" (and "" when the format accepts it).
  static void dump_bool(unsigned char* data, unsigned int data_size, unsigned int& index,
                        const std::string& string, const PGMDEV_DB_FORMAT& format,
                        PGMDEV_DB_SITE site);
  // Tag 4, 5 or 6 for count 1, 2 or 4, then the count low-order bytes of the converted text.
  static void dump_value(unsigned char* data, unsigned int data_size, unsigned int& index,
                         const std::string& string, unsigned int count,
                         const PGMDEV_DB_FORMAT& format, PGMDEV_DB_SITE site);
  // The host's number conversion with the format's trim flag; ok, when given, receives whether
  // the text converted (when null, a text that does not convert is an internal error).
  static DWORD get_dword_from_string(const std::string& string, bool* ok,
                                     const PGMDEV_DB_FORMAT& format);
  // One tag byte and four value bytes.
  static void dump_tagged_dword(unsigned char* data, unsigned int data_size, unsigned int& index,
                                PGMDEV_MANAGER_TYPE type, DWORD value, PGMDEV_DB_SITE site);
  // Four value bytes without a tag.
  static void dump_dword(unsigned char* data, unsigned int data_size, unsigned int& index,
                         DWORD value, PGMDEV_DB_SITE site);
  // One byte.
  static void dump_byte(unsigned char* data, unsigned int data_size, unsigned int& index,
                        unsigned char value, PGMDEV_DB_SITE site);
  // "END1" (last '1') or "END2" (last '2').
  static void dump_marker(unsigned char* data, unsigned int data_size, unsigned int& index,
                          char last, PGMDEV_DB_SITE site);
  // Magic, schema id and memory_size at data[index]: the 44-byte container header.
  static void dump_header(unsigned char* data, unsigned int data_size, unsigned int& index,
                          DWORD memory_size, const PGMDEV_DB_FORMAT& format, PGMDEV_DB_SITE site);

  // ---- Readers: data holds data_size bytes; each checks the room before reading.

  // Four bytes as a little-endian number, without a tag.
  static DWORD get_dword(const unsigned char* data, unsigned int data_size, unsigned int& index,
                         PGMDEV_DB_SITE site);
  // One byte.
  static unsigned char get_byte(const unsigned char* data, unsigned int data_size,
                                unsigned int& index, PGMDEV_DB_SITE site);
  static void get_string_data(const unsigned char* data, unsigned int data_size,
                              unsigned int& index, bool allow_empty, std::string* out,
                              const PGMDEV_DB_FORMAT& format, PGMDEV_DB_SITE site);
  static void get_bool_data(const unsigned char* data, unsigned int data_size, unsigned int& index,
                            bool* out, PGMDEV_DB_SITE site);
  static void get_byte_data(const unsigned char* data, unsigned int data_size, unsigned int& index,
                            unsigned char* out, PGMDEV_DB_SITE site);
  static void get_word_data(const unsigned char* data, unsigned int data_size, unsigned int& index,
                            unsigned short* out, PGMDEV_DB_SITE site);
  static void get_dword_data(const unsigned char* data, unsigned int data_size, unsigned int& index,
                             unsigned int* out, const PGMDEV_DB_FORMAT& format,
                             PGMDEV_DB_SITE site);
  // The four bytes 'E', 'N', 'D', `last`, each checked with its own condition text.
  static void confirm_marker(const unsigned char* data, unsigned int data_size, unsigned int& index,
                             char last, PGMDEV_DB_SITE site);

  // ---- Whole buffers and files.

  // data[0 .. offset) unchanged, then the zlib stream of data[offset .. count); new_count
  // receives the new length. The new array belongs to the caller.
  static std::unique_ptr<unsigned char[]> compress_data(const unsigned char* data,
                                                        unsigned long offset, unsigned long count,
                                                        unsigned long& new_count,
                                                        PGMDEV_DB_SITE site);
  // The original_count bytes that the decompressed_count bytes at data inflate to; anything
  // else is refused.
  static std::unique_ptr<unsigned char[]> decompress_data(const unsigned char* data,
                                                          unsigned long decompressed_count,
                                                          unsigned long original_count,
                                                          PGMDEV_DB_SITE site);
  // The container checksum: 0 for every input.
  static unsigned short calculate_crc16(const unsigned char* data, unsigned int bit_count);

  // Reads and checks the container of `file` (existence, size, checksum, magic, schema id)
  // and returns its inflated body; memory_size receives the body's length.
  static std::unique_ptr<unsigned char[]> read_file(const FIO_PATH& file,
                                                    const PGMDEV_DB_FORMAT& format,
                                                    unsigned int& memory_size, PGMDEV_DB_SITE site);
  // Compresses the body of the uncompressed image (header kept as is) and writes it with the
  // trailer to `file`, whole or not at all: a temporary file beside it is written, synced and
  // renamed over it; on any failure the temporary file is removed and `file` is untouched.
  static void write_file(const FIO_PATH& file, const unsigned char* image, unsigned int image_size,
                         PGMDEV_DB_SITE site);
};

#endif  // PGMDEV_DB_CODEC_H
