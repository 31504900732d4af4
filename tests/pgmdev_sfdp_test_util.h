// SFDP images as a serial NOR flash returns them from address 0, built from the fields that the
// library reads: the tests, the fuzz seeds and the worked example of docs/formats.md make theirs
// with the same builder, so that one change of a field shows in each.
//
//   sfdp_image::Bfpt bfpt;  // a 16-DWORD BFPT of a 128 Mbit flash
//   bfpt.dwords = 9;        // cut to the first revision's length
//   const std::vector<unsigned char> bytes = sfdp_image::image_of(bfpt, 0);
#ifndef PGMDEV_TESTS_SFDP_TEST_UTIL_H
#define PGMDEV_TESTS_SFDP_TEST_UTIL_H

#include <cstddef>
#include <cstdint>
#include <vector>

namespace sfdp_image {

// The fields of a BFPT that the library reads; the rest of each DWORD is filled as a chip would.
struct Bfpt {
  unsigned int dwords = 16;
  unsigned int addressing = 0;                   // DWORD1 bits 18:17
  uint32_t density = 0x07FFFFFF;                 // DWORD2: 128 Mbit
  unsigned int erase_size[4] = {12, 15, 16, 0};  // 4 KB, 32 KB, 64 KB, none
  unsigned int erase_opcode[4] = {0x20, 0x52, 0xD8, 0x00};
  unsigned int erase_count = 6;                        // DWORD10 bits 3:0: maximum = 14 x typical
  unsigned int erase_time[4] = {0x22, 0x27, 0x29, 0};  // 48 ms, 128 ms, 160 ms
  unsigned int program_count = 1;                      // DWORD11 bits 3:0: maximum = 4 x typical
  unsigned int page_time = 0x2A;                       // 11 x 64 us = 704 us
  unsigned int chip_time = 0x49;                       // 10 x 4 s = 40 s

  std::vector<uint32_t> build() const {
    std::vector<uint32_t> d(dwords < 20 ? 20 : dwords, 0xFFFFFFFF);
    d[0] = 0xFFF120E5u | addressing << 17;  // 4 KB erase 0x20, fast reads
    d[1] = density;
    d[2] = 0x6B08EB44;
    d[3] = 0xBB423B08;
    d[4] = 0xFFFFFFFE;
    d[5] = 0xFF00FFFF;
    d[6] = 0xEB44FFFF;
    d[7] = erase_size[0] | erase_opcode[0] << 8 | erase_size[1] << 16 | erase_opcode[1] << 24;
    d[8] = erase_size[2] | erase_opcode[2] << 8 | erase_size[3] << 16 | erase_opcode[3] << 24;
    d[9] = erase_count | erase_time[0] << 4 | erase_time[1] << 11 | erase_time[2] << 18 |
           erase_time[3] << 25;
    d[10] = program_count | 8u << 4 | page_time << 8 | 0x0Fu << 14 | chip_time << 24;
    d[11] = 0xD95A0000;
    d[12] = 0x829F1C20;
    d[13] = 0xF65CC99C;
    d[14] = 0xFF2F08A0;
    d[15] = 0x0003F0F0;
    d.resize(dwords);
    return d;
  }
};

// One parameter table and its header.
struct Table {
  unsigned int id = 0xFF00;
  unsigned int major = 1;
  unsigned int minor = 6;
  std::vector<uint32_t> dwords = Bfpt{}.build();
  int length = -1;   // the header's length byte; -1: the DWORDs given
  int pointer = -1;  // the header's pointer; -1: right after what comes before
};

// The SFDP header, one parameter header per table, then the tables (bytes between them 0xFF).
struct Image {
  unsigned int major = 1;
  unsigned int minor = 6;
  std::vector<Table> tables = {Table{}};

  std::vector<unsigned char> build() const {
    std::vector<unsigned char> bytes = {'S',
                                        'F',
                                        'D',
                                        'P',
                                        static_cast<unsigned char>(minor),
                                        static_cast<unsigned char>(major),
                                        static_cast<unsigned char>(tables.size() - 1),
                                        0xFF};
    bytes.resize(8 + 8 * tables.size(), 0xFF);
    for (std::size_t t = 0; t < tables.size(); ++t) {
      const Table& table = tables[t];
      const std::size_t pointer =
          table.pointer >= 0 ? static_cast<std::size_t>(table.pointer) : bytes.size();
      if (bytes.size() < pointer) bytes.resize(pointer, 0xFF);
      const unsigned int length =
          table.length >= 0 ? static_cast<unsigned int>(table.length) : table.dwords.size();
      unsigned char* header = &bytes[8 + 8 * t];
      header[0] = table.id & 0xFF;
      header[1] = static_cast<unsigned char>(table.minor);
      header[2] = static_cast<unsigned char>(table.major);
      header[3] = static_cast<unsigned char>(length);
      header[4] = pointer & 0xFF;
      header[5] = (pointer >> 8) & 0xFF;
      header[6] = (pointer >> 16) & 0xFF;
      header[7] = table.id >> 8;
      if (bytes.size() < pointer + 4 * table.dwords.size()) {
        bytes.resize(pointer + 4 * table.dwords.size(), 0xFF);
      }
      for (std::size_t i = 0; i < table.dwords.size(); ++i) {
        for (unsigned int b = 0; b < 4; ++b)
          bytes[pointer + 4 * i + b] = table.dwords[i] >> (8 * b);
      }
    }
    return bytes;
  }
};

// An image of one BFPT, right after its header.
inline std::vector<unsigned char> image_of(const Bfpt& bfpt, unsigned int minor = 6) {
  Image image;
  image.tables[0].dwords = bfpt.build();
  image.tables[0].minor = minor;
  return image.build();
}

// The 128 Mbit flash of tests/data/sfdp_128mbit_bfpt16.hex: 4, 32 and 64 KB erase types, a
// 16-DWORD BFPT at 0x30.
inline std::vector<unsigned char> fixture_image() {
  Image image;
  image.tables[0].pointer = 0x30;
  return image.build();
}

}  // namespace sfdp_image

#endif  // PGMDEV_TESTS_SFDP_TEST_UTIL_H
