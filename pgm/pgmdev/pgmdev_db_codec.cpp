// The database file codec shared by the device-info and flash managers (see pgmdev_db_codec.h).
#include "pgmdev_db_codec.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fstream>

#include "msg.h"
#include "pgm_common.h"
#include "pgmdev_check.h"
#include "zlib_util.h"

// Reports `text` from the caller's site when the condition does not hold.
#define PGMDEV_DB_CHECK(site, condition, text)                                     \
  do {                                                                             \
    if (!(condition)) {                                                            \
      MSG_INTERNAL_ERROR::report((text), PGMDEV_MODULE, (site).file, (site).line); \
    }                                                                              \
  } while (0)

namespace {

// Whether `count` more bytes fit behind `index` in a buffer of `size` bytes. Written in the
// subtraction form so that the test itself cannot overflow.
bool has_room(unsigned int size, unsigned int index, unsigned int count) {
  return index <= size && count <= size - index;
}

// Room checks; each reports the bound that it guards.
void need_room(unsigned int size, unsigned int index, unsigned int count, PGMDEV_DB_SITE site) {
  switch (count) {
    case 1:
      PGMDEV_DB_CHECK(site, has_room(size, index, 1), "index + 1 <= data_size");
      break;
    case 2:
      PGMDEV_DB_CHECK(site, has_room(size, index, 2), "index + 2 <= data_size");
      break;
    case 4:
      PGMDEV_DB_CHECK(site, has_room(size, index, 4), "index + 4 <= data_size");
      break;
    default:
      PGMDEV_DB_CHECK(site, has_room(size, index, count), "index + length <= data_size");
      break;
  }
}

// Little-endian stores and loads; the caller has checked the room.
void store_le(unsigned char* data, unsigned int& index, DWORD value, unsigned int count) {
  for (unsigned int byte = 0; byte < count; ++byte) {
    data[index++] = static_cast<unsigned char>((value >> (8 * byte)) & 0xFFu);
  }
}

DWORD load_le(const unsigned char* data, unsigned int& index, unsigned int count) {
  DWORD value = 0;
  for (unsigned int byte = 0; byte < count; ++byte) {
    value |= static_cast<DWORD>(data[index++]) << (8 * byte);
  }
  return value;
}

bool tag_in(unsigned int tags, unsigned char type) {
  return type < 32 && (tags & (1u << type)) != 0;
}

// Writes all of data to fd; false on any error.
bool write_all(int fd, const unsigned char* data, size_t size) {
  while (size > 0) {
    const ssize_t written = ::write(fd, data, size);
    if (written < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    data += written;
    size -= static_cast<size_t>(written);
  }
  return true;
}

}  // namespace

void PGMDEV_DB_CODEC::dump_string(unsigned char* data, unsigned int data_size, unsigned int& index,
                                  bool allow_empty, const std::string& string,
                                  PGMDEV_MANAGER_TYPE type, const PGMDEV_DB_FORMAT& format,
                                  PGMDEV_DB_SITE site) {
  PGMDEV_DB_CHECK(site, string.size() > 0 || allow_empty, format.string_empty_text);
  PGMDEV_DB_CHECK(site, tag_in(format.string_write_tags, static_cast<unsigned char>(type)),
                  format.string_write_tag_text);
  // The length byte cannot say more than 255: a longer text is refused, never cut.
  PGMDEV_DB_CHECK(site, string.size() <= kPgmdevDbMaxTextBytes, "string.size() <= 255");
  const unsigned int length = static_cast<unsigned int>(string.size());
  need_room(data_size, index, 2, site);
  data[index++] = static_cast<unsigned char>(type);
  data[index++] = static_cast<unsigned char>(length);
  need_room(data_size, index, length, site);
  std::memcpy(data + index, string.data(), length);
  index += length;
}

void PGMDEV_DB_CODEC::dump_bool(unsigned char* data, unsigned int data_size, unsigned int& index,
                                const std::string& string, const PGMDEV_DB_FORMAT& format,
                                PGMDEV_DB_SITE site) {
  PGMDEV_DB_CHECK(
      site, (format.bool_accepts_empty && string.empty()) || string == "FALSE" || string == "TRUE",
      format.bool_text);
  need_room(data_size, index, 2, site);
  data[index++] = PGMDEV_MANAGER_BOOL;
  data[index++] = string == "TRUE" ? 1 : 0;
}

DWORD PGMDEV_DB_CODEC::get_dword_from_string(const std::string& string, bool* ok,
                                             const PGMDEV_DB_FORMAT& format) {
  return PGM_COMMON::convert_string_to_dword(string, format.convert_trim, ok, nullptr, true);
}

void PGMDEV_DB_CODEC::dump_value(unsigned char* data, unsigned int data_size, unsigned int& index,
                                 const std::string& string, unsigned int count,
                                 const PGMDEV_DB_FORMAT& format, PGMDEV_DB_SITE site) {
  if (format.value_requires_text) {
    PGMDEV_DB_CHECK(site, string.size() > 0, "string.size() > 0");
  }
  PGMDEV_DB_CHECK(site, count == 1 || count == 2 || count == 4,
                  "count == 1 || count == 2 || count == 4");
  const DWORD value = get_dword_from_string(string, nullptr, format);
  need_room(data_size, index, 1, site);
  data[index++] = static_cast<unsigned char>(count == 1   ? PGMDEV_MANAGER_BYTE
                                             : count == 2 ? PGMDEV_MANAGER_WORD
                                                          : PGMDEV_MANAGER_DWORD);
  need_room(data_size, index, count, site);
  store_le(data, index, value, count);
}

void PGMDEV_DB_CODEC::dump_tagged_dword(unsigned char* data, unsigned int data_size,
                                        unsigned int& index, PGMDEV_MANAGER_TYPE type, DWORD value,
                                        PGMDEV_DB_SITE site) {
  need_room(data_size, index, 1, site);
  data[index++] = static_cast<unsigned char>(type);
  dump_dword(data, data_size, index, value, site);
}

void PGMDEV_DB_CODEC::dump_dword(unsigned char* data, unsigned int data_size, unsigned int& index,
                                 DWORD value, PGMDEV_DB_SITE site) {
  need_room(data_size, index, 4, site);
  store_le(data, index, value, 4);
}

void PGMDEV_DB_CODEC::dump_byte(unsigned char* data, unsigned int data_size, unsigned int& index,
                                unsigned char value, PGMDEV_DB_SITE site) {
  need_room(data_size, index, 1, site);
  data[index++] = value;
}

void PGMDEV_DB_CODEC::dump_marker(unsigned char* data, unsigned int data_size, unsigned int& index,
                                  char last, PGMDEV_DB_SITE site) {
  need_room(data_size, index, 4, site);
  data[index++] = 'E';
  data[index++] = 'N';
  data[index++] = 'D';
  data[index++] = static_cast<unsigned char>(last);
}

void PGMDEV_DB_CODEC::dump_header(unsigned char* data, unsigned int data_size, unsigned int& index,
                                  DWORD memory_size, const PGMDEV_DB_FORMAT& format,
                                  PGMDEV_DB_SITE site) {
  PGMDEV_DB_CHECK(site, format.schema_id.size() == kPgmdevDbSchemaIdBytes,
                  format.schema_id_size_text);
  need_room(data_size, index, kPgmdevDbHeaderBytes, site);
  std::memcpy(data + index, format.magic, kPgmdevDbMagicBytes);
  index += kPgmdevDbMagicBytes;
  std::memcpy(data + index, format.schema_id.data(), kPgmdevDbSchemaIdBytes);
  index += kPgmdevDbSchemaIdBytes;
  store_le(data, index, memory_size, 4);
}

DWORD PGMDEV_DB_CODEC::get_dword(const unsigned char* data, unsigned int data_size,
                                 unsigned int& index, PGMDEV_DB_SITE site) {
  need_room(data_size, index, 4, site);
  return load_le(data, index, 4);
}

unsigned char PGMDEV_DB_CODEC::get_byte(const unsigned char* data, unsigned int data_size,
                                        unsigned int& index, PGMDEV_DB_SITE site) {
  need_room(data_size, index, 1, site);
  return data[index++];
}

void PGMDEV_DB_CODEC::get_string_data(const unsigned char* data, unsigned int data_size,
                                      unsigned int& index, bool allow_empty, std::string* out,
                                      const PGMDEV_DB_FORMAT& format, PGMDEV_DB_SITE site) {
  need_room(data_size, index, 2, site);
  const unsigned char type = data[index++];
  PGMDEV_DB_CHECK(site, tag_in(format.string_read_tags, type), format.string_read_tag_text);
  const unsigned int length = data[index++];
  out->clear();
  PGMDEV_DB_CHECK(site, length > 0 || allow_empty, "allow_empty");
  need_room(data_size, index, length, site);
  out->assign(reinterpret_cast<const char*>(data + index), length);
  index += length;
}

void PGMDEV_DB_CODEC::get_bool_data(const unsigned char* data, unsigned int data_size,
                                    unsigned int& index, bool* out, PGMDEV_DB_SITE site) {
  need_room(data_size, index, 2, site);
  const unsigned char type = data[index++];
  PGMDEV_DB_CHECK(site, type == PGMDEV_MANAGER_BOOL, "type == PGMDEV_MANAGER_BOOL");
  const unsigned char value = data[index++];
  PGMDEV_DB_CHECK(site, value == 0 || value == 1, "value == 0 || value == 1");
  *out = value == 1;
}

void PGMDEV_DB_CODEC::get_byte_data(const unsigned char* data, unsigned int data_size,
                                    unsigned int& index, unsigned char* out, PGMDEV_DB_SITE site) {
  need_room(data_size, index, 2, site);
  const unsigned char type = data[index++];
  PGMDEV_DB_CHECK(site, type == PGMDEV_MANAGER_BYTE, "type == PGMDEV_MANAGER_BYTE");
  *out = data[index++];
}

void PGMDEV_DB_CODEC::get_word_data(const unsigned char* data, unsigned int data_size,
                                    unsigned int& index, unsigned short* out, PGMDEV_DB_SITE site) {
  need_room(data_size, index, 1, site);
  const unsigned char type = data[index++];
  PGMDEV_DB_CHECK(site, type == PGMDEV_MANAGER_WORD, "type == PGMDEV_MANAGER_WORD");
  need_room(data_size, index, 2, site);
  *out = static_cast<unsigned short>(load_le(data, index, 2));
}

void PGMDEV_DB_CODEC::get_dword_data(const unsigned char* data, unsigned int data_size,
                                     unsigned int& index, unsigned int* out,
                                     const PGMDEV_DB_FORMAT& format, PGMDEV_DB_SITE site) {
  need_room(data_size, index, 1, site);
  const unsigned char type = data[index++];
  PGMDEV_DB_CHECK(site, tag_in(format.dword_read_tags, type), format.dword_read_tag_text);
  need_room(data_size, index, 4, site);
  *out = load_le(data, index, 4);
}

void PGMDEV_DB_CODEC::confirm_marker(const unsigned char* data, unsigned int data_size,
                                     unsigned int& index, char last, PGMDEV_DB_SITE site) {
  need_room(data_size, index, 4, site);
  PGMDEV_DB_CHECK(site, data[index++] == 'E', "data[index++] == 'E'");
  PGMDEV_DB_CHECK(site, data[index++] == 'N', "data[index++] == 'N'");
  PGMDEV_DB_CHECK(site, data[index++] == 'D', "data[index++] == 'D'");
  if (last == '1') {
    PGMDEV_DB_CHECK(site, data[index++] == '1', "data[index++] == '1'");
  } else {
    PGMDEV_DB_CHECK(site, data[index++] == '2', "data[index++] == '2'");
  }
}

std::unique_ptr<unsigned char[]> PGMDEV_DB_CODEC::compress_data(const unsigned char* data,
                                                                unsigned long offset,
                                                                unsigned long count,
                                                                unsigned long& new_count,
                                                                PGMDEV_DB_SITE site) {
  PGMDEV_DB_CHECK(site, offset < count, "offset < count");
  // Ten times the whole count is far more than any zlib stream of it can need.
  unsigned int new_memory_count = static_cast<unsigned int>(10 * count);
  std::unique_ptr<unsigned char[]> new_data(new unsigned char[new_memory_count]());
  PGMDEV_DB_CHECK(site,
                  zlib_compress(new_data.get(), &new_memory_count, &data[offset],
                                static_cast<unsigned int>(count - offset)) == ZLIB_OK,
                  "zlib_compress(new_data, &new_memory_count, &data[offset], count - offset) == "
                  "ZLIB_OK");
  new_count = offset + new_memory_count;
  std::unique_ptr<unsigned char[]> result(new unsigned char[new_count]());
  std::memcpy(result.get(), data, offset);
  std::memcpy(result.get() + offset, new_data.get(), new_memory_count);
  return result;
}

std::unique_ptr<unsigned char[]> PGMDEV_DB_CODEC::decompress_data(const unsigned char* data,
                                                                  unsigned long decompressed_count,
                                                                  unsigned long original_count,
                                                                  PGMDEV_DB_SITE site) {
  PGMDEV_DB_CHECK(site, decompressed_count > 0 && original_count > 0,
                  "decompressed_count > 0 && original_count > 0");
  // A zlib stream inflates at most 1032-fold: a larger claim is damage, refused before the
  // allocation that it would ask for.
  PGMDEV_DB_CHECK(site,
                  static_cast<unsigned long long>(original_count) <=
                      1032ull * static_cast<unsigned long long>(decompressed_count),
                  "original_count <= 1032 * decompressed_count");
  std::unique_ptr<unsigned char[]> decompressed_data(new unsigned char[original_count]());
  unsigned int new_dcmp_size = static_cast<unsigned int>(original_count);
  PGMDEV_DB_CHECK(site,
                  zlib_uncompress(decompressed_data.get(), &new_dcmp_size, data,
                                  static_cast<unsigned int>(decompressed_count)) == ZLIB_OK,
                  "zlib_uncompress(decompressed_data, &new_dcmp_size, data, decompressed_count) "
                  "== ZLIB_OK");
  PGMDEV_DB_CHECK(site, new_dcmp_size == original_count, "new_dcmp_size == original_count");
  return decompressed_data;
}

unsigned short PGMDEV_DB_CODEC::calculate_crc16(const unsigned char* /*data*/,
                                                unsigned int /*bit_count*/) {
  // The container's checksum is defined as 0: files carry 0x00 0x00 and readers accept it.
  return 0;
}

std::unique_ptr<unsigned char[]> PGMDEV_DB_CODEC::read_file(const FIO_PATH& file,
                                                            const PGMDEV_DB_FORMAT& format,
                                                            unsigned int& memory_size,
                                                            PGMDEV_DB_SITE site) {
  const std::string path = file.fullpath();
  struct stat stat_info {};
  PGMDEV_DB_CHECK(
      site,
      FIO_FILE_SYSTEM::exists(path.c_str()) && FIO_FILE_SYSTEM::status(path.c_str(), &stat_info),
      format.file_status_text);
  std::ifstream input(path, std::ios::in | std::ios::binary);
  PGMDEV_DB_CHECK(site, input.good(), "input.good()");
  const DWORD file_size = static_cast<DWORD>(stat_info.st_size);
  PGMDEV_DB_CHECK(site, file_size > (8 + 32 + 4 + 2), "file_size > (8 + 32 + 4 + 2)");
  std::unique_ptr<unsigned char[]> data(new unsigned char[file_size]());
  input.read(reinterpret_cast<char*>(data.get()), file_size);
  PGMDEV_DB_CHECK(site, DWORD(input.gcount()) == file_size, "input.gcount() == file_size");

  const unsigned short crc16 = calculate_crc16(data.get(), (file_size - 2) * 8);
  PGMDEV_DB_CHECK(site, crc16 == 0, "crc16 == 0");

  unsigned int index = 0;
  bool magic_ok = true;
  for (unsigned int i = 0; magic_ok && i < kPgmdevDbMagicBytes; ++i) {
    magic_ok = data[index++] == static_cast<unsigned char>(format.magic[i]);
  }
  PGMDEV_DB_CHECK(site, magic_ok, format.magic_text);
  PGMDEV_DB_CHECK(site, format.schema_id.size() == kPgmdevDbSchemaIdBytes,
                  format.schema_id_size_text);
  for (unsigned int i = 0; i < kPgmdevDbSchemaIdBytes; ++i) {
    PGMDEV_DB_CHECK(site, data[index++] == static_cast<unsigned char>(format.schema_id[i]),
                    format.schema_id_mismatch_text);
  }
  memory_size = load_le(data.get(), index, 4);
  return decompress_data(data.get() + kPgmdevDbHeaderBytes,
                         file_size - kPgmdevDbHeaderBytes - kPgmdevDbTrailerBytes, memory_size,
                         site);
}

void PGMDEV_DB_CODEC::write_file(const FIO_PATH& file, const unsigned char* image,
                                 unsigned int image_size, PGMDEV_DB_SITE site) {
  unsigned long new_count = 0;
  const std::unique_ptr<unsigned char[]> compressed =
      compress_data(image, kPgmdevDbHeaderBytes, image_size, new_count, site);
  const unsigned short crc16 =
      calculate_crc16(compressed.get(), static_cast<unsigned int>(new_count * 8));
  const unsigned char trailer[kPgmdevDbTrailerBytes] = {static_cast<unsigned char>(crc16 & 0xFFu),
                                                        static_cast<unsigned char>(crc16 >> 8)};

  // Whole or not at all: write a temporary file in the target's directory, sync it and
  // rename it over the target, so a reader sees the old file or the new one, never a part.
  const std::string target_path = file.fullpath();
  std::string temporary_path = target_path + ".XXXXXX";
  const int temporary_file = ::mkstemp(temporary_path.data());
  PGMDEV_DB_CHECK(site, temporary_file >= 0, "temporary_file >= 0");
  const mode_t mask = ::umask(0);
  ::umask(mask);
  bool written = ::fchmod(temporary_file, 0666 & ~mask) == 0 &&
                 write_all(temporary_file, compressed.get(), new_count) &&
                 write_all(temporary_file, trailer, sizeof(trailer));
  const bool synced = written && ::fsync(temporary_file) == 0;
  const bool closed = ::close(temporary_file) == 0;
  const bool renamed =
      written && synced && closed && ::rename(temporary_path.c_str(), target_path.c_str()) == 0;
  if (!renamed) ::unlink(temporary_path.c_str());
  PGMDEV_DB_CHECK(site, written, "write(temporary_file) == count");
  PGMDEV_DB_CHECK(site, synced, "fsync(temporary_file) == 0");
  PGMDEV_DB_CHECK(site, closed, "close(temporary_file) == 0");
  PGMDEV_DB_CHECK(site, renamed, "rename(temporary_path, target_path) == 0");
  // Make the rename itself durable; a directory that cannot be synced loses nothing written.
  const FIO_PATH target(target_path);
  const int directory = ::open(target.dirname().c_str(), O_RDONLY | O_DIRECTORY);
  if (directory >= 0) {
    ::fsync(directory);
    ::close(directory);
  }
}
