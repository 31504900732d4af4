// Table-driven MSB-first CRC-32 register update, shared by the host services and the build-time
// generators (which cannot link the host library they help to build).
#ifndef PGMHOST_CRC32_MSB_H
#define PGMHOST_CRC32_MSB_H

#include <array>
#include <cstddef>
#include <cstdint>

namespace pgmhost_crc {

// Table of the MSB-first register update for one byte under the given polynomial.
constexpr std::array<uint32_t, 256> make_msb_table(uint32_t poly) {
  std::array<uint32_t, 256> table{};
  for (uint32_t byte = 0; byte < 256; ++byte) {
    uint32_t reg = byte << 24;
    for (int bit = 0; bit < 8; ++bit) {
      reg = (reg & 0x80000000u) ? (reg << 1) ^ poly : (reg << 1);
    }
    table[byte] = reg;
  }
  return table;
}

inline constexpr uint32_t kCrc32Poly = 0x04C11DB7u;
inline constexpr std::array<uint32_t, 256> kCrc32MsbTable = make_msb_table(kCrc32Poly);

// Feeds length bytes, most significant bit first, into the register and returns it (no final
// complement).
inline uint32_t crc32_msb_update(uint32_t reg, const unsigned char* data, size_t length) {
  for (size_t i = 0; i < length; ++i) {
    reg = (reg << 8) ^ kCrc32MsbTable[((reg >> 24) ^ data[i]) & 0xFFu];
  }
  return reg;
}

// CRC-32/BZIP2 of the data: register 0xFFFFFFFF, MSB first, final complement.
inline uint32_t crc32_bzip2(const unsigned char* data, size_t length) {
  return ~crc32_msb_update(0xFFFFFFFFu, data, length);
}

}  // namespace pgmhost_crc

#endif  // PGMHOST_CRC32_MSB_H
