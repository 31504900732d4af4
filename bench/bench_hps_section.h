// An "HPS SPI" section of pgm_flash.ini for the benchmarks: the signature and user records made
// from the built-in ones with their identification changed, encoded with the library's field
// encoder.
#ifndef PGMDEV_BENCH_HPS_SECTION_H
#define PGMDEV_BENCH_HPS_SECTION_H

#include <vector>

#include "pgmdev_flash_ini.h"
#include "pgmdev_hps_mgr.h"

namespace bench_hps_section {

inline std::vector<unsigned char> make_spi_section(int records) {
  std::vector<unsigned char> section(PGMDEV_HPS_SPI_MD5,
                                     PGMDEV_HPS_SPI_MD5 + PGMDEV_HPS_SECTION_SIGNATURE_BYTES);
  for (int i = 0; i < records; ++i) {
    PGMDEV_HPS_SPI_STRUCTURE record = PGMDEV_HPS_SPI_DATABASE[i % PGMDEV_HPS_SPI_DATABASE_COUNT];
    record.siid ^= static_cast<unsigned int>(i) << 24;
    unsigned int size = 0;
    for (unsigned int f = 0; f < PGMDEV_HPS_SPI_PARAM_COUNT; ++f) {
      PGMDEV_FLASH_INI::calculate_flash_ini_data_size(size, PGMDEV_HPS_SPI_PARAM_TYPE_LIST[f],
                                                      record.m_param_pointers[f]);
    }
    const size_t start = section.size();
    section.resize(start + size, 0);
    unsigned int index = 0;
    for (unsigned int f = 0; f < PGMDEV_HPS_SPI_PARAM_COUNT; ++f) {
      PGMDEV_FLASH_INI::fillup_flash_ini_data(section.data() + start, index,
                                              PGMDEV_HPS_SPI_PARAM_TYPE_LIST[f],
                                              record.m_param_pointers[f]);
    }
  }
  return section;
}

}  // namespace bench_hps_section

#endif  // PGMDEV_BENCH_HPS_SECTION_H
