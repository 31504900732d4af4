// Helpers of the tests that look inside database files: the inflated body of a file image, and
// the image with another body.
#ifndef PGMDEV_DB_FILE_TEST_UTIL_H
#define PGMDEV_DB_FILE_TEST_UTIL_H

#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "zlib_util.h"

// Magic, schema id and body length.
constexpr size_t kDbFileHeaderBytes = 44;

// The inflated body of a database file image.
inline std::string inflated_body(const std::string& image) {
  unsigned int length = 0;
  std::memcpy(&length, image.data() + 40, 4);
  std::string body(length, '\0');
  EXPECT_EQ(
      zlib_uncompress(reinterpret_cast<unsigned char*>(body.data()), &length,
                      reinterpret_cast<const unsigned char*>(image.data()) + kDbFileHeaderBytes,
                      static_cast<unsigned int>(image.size() - kDbFileHeaderBytes - 2)),
      ZLIB_OK);
  return body;
}

// The image with the same header and trailer around body (compressed).
inline std::string with_body(const std::string& image, const std::string& body) {
  std::string compressed(body.size() * 2 + 64, '\0');
  unsigned int capacity = static_cast<unsigned int>(compressed.size());
  EXPECT_EQ(zlib_compress(reinterpret_cast<unsigned char*>(compressed.data()), &capacity,
                          reinterpret_cast<const unsigned char*>(body.data()),
                          static_cast<unsigned int>(body.size())),
            ZLIB_OK);
  compressed.resize(capacity);
  return image.substr(0, kDbFileHeaderBytes) + compressed + std::string(2, '\0');
}

#endif  // PGMDEV_DB_FILE_TEST_UTIL_H
