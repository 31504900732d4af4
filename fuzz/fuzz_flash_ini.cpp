// Feeds arbitrary bytes to the flash parameter file reader and the record decoder: the input
// becomes pgm_flash.ini, whose sections are read and decoded as SPI, NAND and free-form
// records, and the HPS flash lists are built from it. The input is also decoded directly
// under a type list taken from its first bytes.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "cfg.h"
#include "fuzz_support.h"
#include "pgmdev_flash_ini.h"
#include "pgmdev_hps_mgr.h"
#include "pgmdev_param_fields.h"

namespace {

const std::string& module_dir() {
  static const std::string dir = [] {
    cfg_set_value("PGMDEV_MODULE_DIR", pgmdev_fuzz::scratch_dir());
    return pgmdev_fuzz::scratch_dir();
  }();
  return dir;
}

// Decodes records from index start while they decode, as the HPS managers do; checks that the
// index never passes the end.
void decode_all(const unsigned char* data, unsigned int size, unsigned int start,
                const PGMDEV_PARAM_TYPE* types, unsigned int count) {
  PgmdevParamFields fields;
  std::vector<void*> values;
  for (unsigned int i = 0; i < count; ++i) values.push_back(fields.pointer(types[i]));
  unsigned int index = start;
  bool ok = true;
  while (index < size && ok) {
    const unsigned int before = index;
    ok = PGMDEV_FLASH_INI::assign_flash_ini_data(data, index, size, count, types, values.data());
    if (index > size) abort();
    if (ok && count != 0 && index <= before) abort();  // a record that succeeds moves on
    if (count == 0) break;
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size > (4u << 20)) return 0;
  pgmdev_fuzz::write_file(module_dir() + "/pgm_flash.ini", data, size);
  for (const auto section :
       {PGMDEV_FLASH_INI_SFL_FLASH, PGMDEV_FLASH_INI_HPS_SPI, PGMDEV_FLASH_INI_HPS_NAND}) {
    unsigned int section_size = 0;
    unsigned char* bytes = PGMDEV_FLASH_INI::read_flash_ini_data(section, section_size);
    if ((bytes == nullptr) != (section_size == 0)) abort();
    if (bytes != nullptr) {
      decode_all(bytes, section_size, 0, PGMDEV_HPS_SPI_PARAM_TYPE_LIST,
                 PGMDEV_HPS_SPI_PARAM_COUNT);
      decode_all(bytes, section_size, 0, PGMDEV_HPS_NAND_PARAM_TYPE_LIST,
                 PGMDEV_HPS_NAND_PARAM_COUNT);
    }
    delete[] bytes;
  }
  // The lists hold the user records that decoded, in file order, then the built-in ones.
  const PGMDEV_HPS_SPI_MGR* spi = PGMDEV_HPS_SPI_MGR::get_mgr();
  if (spi->m_flash_list.size() != spi->m_ini_flash_list.size() + PGMDEV_HPS_SPI_DATABASE_COUNT ||
      !std::equal(spi->m_ini_flash_list.begin(), spi->m_ini_flash_list.end(),
                  spi->m_flash_list.begin())) {
    abort();
  }
  PGMDEV_HPS_SPI_MGR::delete_mgr();
  const PGMDEV_HPS_NAND_MGR* nand = PGMDEV_HPS_NAND_MGR::get_mgr();
  if (nand->m_flash_list.size() != nand->m_ini_flash_list.size() + PGMDEV_HPS_NAND_DATABASE_COUNT) {
    abort();
  }
  PGMDEV_HPS_NAND_MGR::delete_mgr();

  // Free-form records: the first byte gives the field count (0 to 7), the next bytes the types
  // (0 and 7 are not types), the rest is the record data, copied to an exact-size buffer.
  if (size >= 1) {
    const unsigned int count = data[0] % 8;
    if (size >= 1 + count) {
      std::vector<PGMDEV_PARAM_TYPE> types;
      for (unsigned int i = 0; i < count; ++i) {
        types.push_back(static_cast<PGMDEV_PARAM_TYPE>(data[1 + i] % 8));
      }
      const std::vector<unsigned char> record(data + 1 + count, data + size);
      decode_all(record.data(), static_cast<unsigned int>(record.size()), 0, types.data(), count);
    }
  }
  return 0;
}
