// Compression service of the host: standard zlib streams.
#ifndef PGMHOST_ZLIB_UTIL_H
#define PGMHOST_ZLIB_UTIL_H

#include "pgmhost_export.h"

constexpr int ZLIB_OK = 0;

// Compresses src into dest with a fixed level, so equal input gives equal output. len is the
// capacity of dest on entry and the produced length on return. Returns ZLIB_OK on success, a
// negative zlib error otherwise.
PGMHOST_API int zlib_compress(unsigned char* dest, unsigned int* len, const unsigned char* src,
                              unsigned int src_len);
// Decompresses the zlib stream src into dest; len as above. A stream that does not fit dest,
// or is damaged, is an error.
PGMHOST_API int zlib_uncompress(unsigned char* dest, unsigned int* len, const unsigned char* src,
                                unsigned int src_len);

#endif  // PGMHOST_ZLIB_UTIL_H
