// Writer of the embedded name-database blobs: NUL-terminated strings, base-128 integers, the
// grammar and OPN bodies, the frame (magic and CRC-32/BZIP2 trailer) and zlib compression.
// Used by the catalogue generator and by tests that craft images.
#ifndef PGMDEV_DDB_BLOB_WRITER_H
#define PGMDEV_DDB_BLOB_WRITER_H

#include <zlib.h>

#include <algorithm>
#include <cstdint>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include "crc32_msb.h"

namespace ddb_writer {

using Bytes = std::vector<unsigned char>;
// One grammar record: a key and its values, in stored order.
using Record = std::pair<std::string, std::vector<std::string>>;
// One grammar section: its records, in stored order.
using Section = std::vector<Record>;

inline constexpr char kMagic[] = "PGMDEV_DDB";
inline constexpr size_t kMagicBytes = 10;
inline constexpr size_t kTrailerBytes = 4;

// Appends text and its 0x00 terminator. A string is never empty and holds no 0x00 byte.
inline void put_string(Bytes& out, const std::string& text) {
  if (text.empty() || text.find('\0') != std::string::npos) {
    throw std::invalid_argument("ddb string must be non-empty and hold no NUL byte");
  }
  out.insert(out.end(), text.begin(), text.end());
  out.push_back(0);
}

// Appends value as a base-128 integer, least significant group first.
inline void put_base128(Bytes& out, uint32_t value) {
  while (value >= 0x80) {
    out.push_back(static_cast<unsigned char>((value & 0x7F) | 0x80));
    value >>= 7;
  }
  out.push_back(static_cast<unsigned char>(value));
}

inline void put_u32le(Bytes& out, uint32_t value) {
  for (int shift = 0; shift < 32; shift += 8) {
    out.push_back(static_cast<unsigned char>((value >> shift) & 0xFF));
  }
}

// Grammar body: each section is its records (key, values, 0x00) and a closing 0x00.
inline Bytes grammar_body(const std::vector<Section>& sections) {
  Bytes body;
  for (const Section& section : sections) {
    for (const Record& record : section) {
      put_string(body, record.first);
      for (const std::string& value : record.second) put_string(body, value);
      body.push_back(0);
    }
    body.push_back(0);
  }
  return body;
}

// OPN body: the entry count as 4 bytes, then one base-128 integer per entry.
inline Bytes opn_body(const std::vector<uint32_t>& entries) {
  Bytes body;
  put_u32le(body, static_cast<uint32_t>(entries.size()));
  for (const uint32_t entry : entries) put_base128(body, entry);
  return body;
}

// The decompressed image: magic, body, and the CRC-32/BZIP2 of both, least significant byte
// first.
inline Bytes frame(const Bytes& body) {
  // Sized once and filled in place: growing a vector from the 10 magic bytes makes GCC 12
  // report false -Warray-bounds / -Wstringop-overread errors at -O2.
  Bytes image(kMagicBytes + body.size());
  std::copy(kMagic, kMagic + kMagicBytes, image.begin());
  std::copy(body.begin(), body.end(), image.begin() + kMagicBytes);
  const uint32_t crc = pgmhost_crc::crc32_bzip2(image.data(), image.size());
  put_u32le(image, crc);
  return image;
}

// A zlib stream of data at a fixed level (the output is the same from run to run).
inline Bytes compress(const Bytes& data) {
  uLongf capacity = compressBound(static_cast<uLong>(data.size()));
  Bytes out(capacity);
  if (compress2(out.data(), &capacity, data.data(), static_cast<uLong>(data.size()), 9) != Z_OK) {
    throw std::runtime_error("zlib compression failed");
  }
  out.resize(capacity);
  return out;
}

}  // namespace ddb_writer

#endif  // PGMDEV_DDB_BLOB_WRITER_H
