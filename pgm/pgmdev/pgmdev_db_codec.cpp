// The database file codec shared by the device-info and flash managers (see pgmdev_db_codec.h).
#include "pgmdev_db_codec.h"

#include <sys/stat.h>

#include <cstring>
#include <fstream>

#include "mem.h"
#include "msg.h"
#include "pgm_common.h"
#include "pgmdev_check.h"
#include "pgmdev_file_replace.h"
#include "zlib_util.h"

namespace {

const MEM_INITIALIZER g_mem_initializer(PGMDEV_MODULE);

using pgmdev_db_detail::load_le;
using pgmdev_db_detail::need_room;
using pgmdev_db_detail::store_le;
using pgmdev_db_detail::tag_in;

}  // namespace

// Reports the bound that a room check guards; kept out of line, off the readers' fast path.
void pgmdev_db_detail::report_no_room(unsigned int count, PGMDEV_DB_SITE site) {
  const char* text = count == 1   ? "index + 1 <= data_size"
                     : count == 2 ? "index + 2 <= data_size"
                     : count == 4 ? "index + 4 <= data_size"
                                  : "index + length <= data_size";
  MSG_INTERNAL_ERROR::report(text, PGMDEV_MODULE, site.file, site.line);
}

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

  // Whole or not at all, with the old file's mode, owner and group (pgmdev_file_replace.h).
  std::unique_ptr<unsigned char[]> file_image(new unsigned char[new_count + sizeof(trailer)]);
  std::memcpy(file_image.get(), compressed.get(), new_count);
  std::memcpy(file_image.get() + new_count, trailer, sizeof(trailer));
  PGMDEV_FILE_REPLACEMENT replacement(file.fullpath());
  const bool replaced = replacement.resolve() &&
                        replacement.write(file_image.get(), new_count + sizeof(trailer),
                                          PGMDEV_FILE_REPLACEMENT::NAMING::kUnique) &&
                        replacement.commit();
  PGMDEV_DB_CHECK(site, replaced, replacement.failure());
}
