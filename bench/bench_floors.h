// The floors that the loaders are measured against, shared by the benchmarks and the child process
// of bench_process.
#ifndef PGMDEV_BENCH_FLOORS_H
#define PGMDEV_BENCH_FLOORS_H

#include <zlib.h>

#include <cstddef>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "pgm_common.h"

namespace bench_summary {

// zlib's own inflation of a whole buffer: the floor of every inflating loader, whatever the
// library itself inflates with. Returns the produced length, or 0 when the stream is refused.
inline size_t zlib_inflate(unsigned char* out, size_t capacity, const unsigned char* in,
                           size_t in_length) {
  uLongf produced = capacity;
  return uncompress(out, &produced, in, static_cast<uLong>(in_length)) == Z_OK ? produced : 0;
}

// The check of a name-database image: CRC-32/BZIP2 of all bytes before the 4-byte trailer.
inline unsigned int image_crc(const unsigned char* image, size_t length) {
  return ~PGM_COMMON::msb_calculate_crc32(image, 0, static_cast<unsigned int>((length - 4) * 8),
                                          0xFFFFFFFF, 0x04C11DB7, true);
}

inline std::vector<unsigned char> read_whole_file(const std::string& path) {
  std::ifstream input(path, std::ios::binary);
  return std::vector<unsigned char>(std::istreambuf_iterator<char>(input),
                                    std::istreambuf_iterator<char>());
}

}  // namespace bench_summary

#endif  // PGMDEV_BENCH_FLOORS_H
