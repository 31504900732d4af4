// zlib streams through zlib's one-shot functions.
#include "zlib_util.h"

#include <zlib.h>

namespace {
// A fixed level, so the generated database files are the same from run to run.
constexpr int kCompressionLevel = 9;
}  // namespace

int zlib_compress(unsigned char* dest, unsigned int* len, const unsigned char* src,
                  unsigned int src_len) {
  if (dest == nullptr || len == nullptr || (src == nullptr && src_len != 0)) return Z_STREAM_ERROR;
  uLongf produced = *len;
  const int result = compress2(dest, &produced, src, src_len, kCompressionLevel);
  if (result != Z_OK) return result;
  *len = static_cast<unsigned int>(produced);
  return ZLIB_OK;
}

int zlib_uncompress(unsigned char* dest, unsigned int* len, const unsigned char* src,
                    unsigned int src_len) {
  if (dest == nullptr || len == nullptr || src == nullptr) return Z_STREAM_ERROR;
  uLongf produced = *len;
  const int result = uncompress(dest, &produced, src, src_len);
  if (result != Z_OK) return result;
  *len = static_cast<unsigned int>(produced);
  return ZLIB_OK;
}
