// Feeds arbitrary bytes to the flash parameter file reader and the record decoder: the input
// becomes pgm_flash.ini, whose sections are read and decoded as SPI, NAND and free-form
// records, and the HPS flash lists are built from it. The input is also decoded directly
// under a type list taken from its first bytes.
#include <stdlib.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "../tests/pgmdev_param_fields.h"
#include "cfg.h"
#include "pgmdev_flash_ini.h"
#include "pgmdev_hps_mgr.h"

namespace {

const std::string& module_dir() {
  static const std::string dir = [] {
    char pattern[] = "/tmp/pgmdev_fuzz_flash_ini_XXXXXX";
    const char* made = mkdtemp(pattern);
    if (made == nullptr) abort();
    cfg_set_value("PGMDEV_MODULE_DIR", made);
    return std::string(made);
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

void write_input_file(const uint8_t* data, size_t size) {
  const std::string path = module_dir() + "/pgm_flash.ini";
  FILE* file = std::fopen(path.c_str(), "wb");
  if (file == nullptr) abort();
  if (size != 0 && std::fwrite(data, 1, size, file) != size) abort();
  std::fclose(file);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  write_input_file(data, size);
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
  PGMDEV_HPS_SPI_MGR::get_mgr();
  PGMDEV_HPS_SPI_MGR::delete_mgr();
  PGMDEV_HPS_NAND_MGR::get_mgr();
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
