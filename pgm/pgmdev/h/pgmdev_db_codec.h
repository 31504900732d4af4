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
#include "msg.h"
#include "pgmdev_check.h"
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
  // `count` four-byte numbers without tags, into out[0 .. count): an index table. The room for
  // all of them is checked before the first is read.
  static void get_dword_table(const unsigned char* data, unsigned int data_size,
                              unsigned int& index, DWORD* out, unsigned int count,
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
  // renamed over it; on any failure the temporary file is removed and `file` is untouched. The
  // new file keeps the old one's permission bits, owner and group, and a symbolic link at
  // `file` keeps pointing at the replaced file (pgmdev_file_replace.h).
  static void write_file(const FIO_PATH& file, const unsigned char* image, unsigned int image_size,
                         PGMDEV_DB_SITE site);
};

// Reports `text` from the caller's site when the condition does not hold.
#define PGMDEV_DB_CHECK(site, condition, text)                                     \
  do {                                                                             \
    if (!(condition)) {                                                            \
      MSG_INTERNAL_ERROR::report((text), PGMDEV_MODULE, (site).file, (site).line); \
    }                                                                              \
  } while (0)

// Helpers of the codec's readers and writers.
namespace pgmdev_db_detail {

// Reports the room check that failed for `count` bytes; never returns.
[[noreturn]] __attribute__((noinline, cold)) void report_no_room(unsigned int count,
                                                                 PGMDEV_DB_SITE site);

// Whether `count` more bytes fit behind `index` in a buffer of `size` bytes. Written in the
// subtraction form so that the test itself cannot overflow.
inline bool has_room(unsigned int size, unsigned int index, unsigned int count) {
  return index <= size && count <= size - index;
}

// Room check before every read and write.
inline void need_room(unsigned int size, unsigned int index, unsigned int count,
                      PGMDEV_DB_SITE site) {
  if (!has_room(size, index, count)) [[unlikely]] {
    report_no_room(count, site);
  }
}

// Little-endian stores and loads; the caller has checked the room.
inline void store_le(unsigned char* data, unsigned int& index, DWORD value, unsigned int count) {
  unsigned char* out = data + index;
  for (unsigned int byte = 0; byte < count; ++byte) {
    out[byte] = static_cast<unsigned char>((value >> (8 * byte)) & 0xFFu);
  }
  index += count;
}

inline DWORD load_le(const unsigned char* data, unsigned int& index, unsigned int count) {
  const unsigned char* in = data + index;
  index += count;
  switch (count) {
    case 4:  // spelled out so that the compiler makes it one load
      return DWORD(in[0]) | DWORD(in[1]) << 8 | DWORD(in[2]) << 16 | DWORD(in[3]) << 24;
    case 2:
      return DWORD(in[0]) | DWORD(in[1]) << 8;
    default:
      return in[0];
  }
}

inline bool tag_in(unsigned int tags, unsigned char type) {
  return type < 32 && (tags & (1u << type)) != 0;
}

}  // namespace pgmdev_db_detail

// The readers are inline: they run once per field of every record loaded.

inline DWORD PGMDEV_DB_CODEC::get_dword(const unsigned char* data, unsigned int data_size,
                                        unsigned int& index, PGMDEV_DB_SITE site) {
  pgmdev_db_detail::need_room(data_size, index, 4, site);
  return pgmdev_db_detail::load_le(data, index, 4);
}

inline void PGMDEV_DB_CODEC::get_dword_table(const unsigned char* data, unsigned int data_size,
                                             unsigned int& index, DWORD* out, unsigned int count,
                                             PGMDEV_DB_SITE site) {
  PGMDEV_DB_CHECK(site, index <= data_size && count <= (data_size - index) / 4,
                  "index + 4 * count <= data_size");
  const unsigned char* in = data + index;
  for (unsigned int entry = 0; entry < count; ++entry, in += 4) {
    out[entry] = DWORD(in[0]) | DWORD(in[1]) << 8 | DWORD(in[2]) << 16 | DWORD(in[3]) << 24;
  }
  index += 4 * count;
}

inline unsigned char PGMDEV_DB_CODEC::get_byte(const unsigned char* data, unsigned int data_size,
                                               unsigned int& index, PGMDEV_DB_SITE site) {
  pgmdev_db_detail::need_room(data_size, index, 1, site);
  return data[index++];
}

inline void PGMDEV_DB_CODEC::get_string_data(const unsigned char* data, unsigned int data_size,
                                             unsigned int& index, bool allow_empty,
                                             std::string* out, const PGMDEV_DB_FORMAT& format,
                                             PGMDEV_DB_SITE site) {
  pgmdev_db_detail::need_room(data_size, index, 2, site);
  const unsigned char type = data[index++];
  PGMDEV_DB_CHECK(site, pgmdev_db_detail::tag_in(format.string_read_tags, type),
                  format.string_read_tag_text);
  const unsigned int length = data[index++];
  out->clear();
  PGMDEV_DB_CHECK(site, length > 0 || allow_empty, "allow_empty");
  pgmdev_db_detail::need_room(data_size, index, length, site);
  out->assign(reinterpret_cast<const char*>(data + index), length);
  index += length;
}

inline void PGMDEV_DB_CODEC::get_bool_data(const unsigned char* data, unsigned int data_size,
                                           unsigned int& index, bool* out, PGMDEV_DB_SITE site) {
  pgmdev_db_detail::need_room(data_size, index, 2, site);
  const unsigned char type = data[index++];
  PGMDEV_DB_CHECK(site, type == PGMDEV_MANAGER_BOOL, "type == PGMDEV_MANAGER_BOOL");
  const unsigned char value = data[index++];
  PGMDEV_DB_CHECK(site, value == 0 || value == 1, "value == 0 || value == 1");
  *out = value == 1;
}

inline void PGMDEV_DB_CODEC::get_byte_data(const unsigned char* data, unsigned int data_size,
                                           unsigned int& index, unsigned char* out,
                                           PGMDEV_DB_SITE site) {
  pgmdev_db_detail::need_room(data_size, index, 2, site);
  const unsigned char type = data[index++];
  PGMDEV_DB_CHECK(site, type == PGMDEV_MANAGER_BYTE, "type == PGMDEV_MANAGER_BYTE");
  *out = data[index++];
}

inline void PGMDEV_DB_CODEC::get_word_data(const unsigned char* data, unsigned int data_size,
                                           unsigned int& index, unsigned short* out,
                                           PGMDEV_DB_SITE site) {
  pgmdev_db_detail::need_room(data_size, index, 1, site);
  const unsigned char type = data[index++];
  PGMDEV_DB_CHECK(site, type == PGMDEV_MANAGER_WORD, "type == PGMDEV_MANAGER_WORD");
  pgmdev_db_detail::need_room(data_size, index, 2, site);
  *out = static_cast<unsigned short>(pgmdev_db_detail::load_le(data, index, 2));
}

inline void PGMDEV_DB_CODEC::get_dword_data(const unsigned char* data, unsigned int data_size,
                                            unsigned int& index, unsigned int* out,
                                            const PGMDEV_DB_FORMAT& format, PGMDEV_DB_SITE site) {
  pgmdev_db_detail::need_room(data_size, index, 1, site);
  const unsigned char type = data[index++];
  PGMDEV_DB_CHECK(site, pgmdev_db_detail::tag_in(format.dword_read_tags, type),
                  format.dword_read_tag_text);
  pgmdev_db_detail::need_room(data_size, index, 4, site);
  *out = pgmdev_db_detail::load_le(data, index, 4);
}

inline void PGMDEV_DB_CODEC::confirm_marker(const unsigned char* data, unsigned int data_size,
                                            unsigned int& index, char last, PGMDEV_DB_SITE site) {
  pgmdev_db_detail::need_room(data_size, index, 4, site);
  PGMDEV_DB_CHECK(site, data[index++] == 'E', "data[index++] == 'E'");
  PGMDEV_DB_CHECK(site, data[index++] == 'N', "data[index++] == 'N'");
  PGMDEV_DB_CHECK(site, data[index++] == 'D', "data[index++] == 'D'");
  if (last == '1') {
    PGMDEV_DB_CHECK(site, data[index++] == '1', "data[index++] == '1'");
  } else {
    PGMDEV_DB_CHECK(site, data[index++] == '2', "data[index++] == '2'");
  }
}

#endif  // PGMDEV_DB_CODEC_H
