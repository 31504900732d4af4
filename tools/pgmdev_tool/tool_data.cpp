// Where the data files are, and the database managers loaded with their paths in every report.
#include "tool_data.h"

#include "fio.h"
#include "gen.h"
#include "tool.h"

namespace pgmdev_tool {
namespace {

DataFile data_file(const std::string& what, const std::string& path) {
  return {what, path, FIO_FILE_SYSTEM::exists(path)};
}

// Refuses to go on when the database is not where the library will look for it.
void require(const DataFile& file) {
  if (file.present) return;
  const std::string directory = device_db_dir();
  if (!FIO_FILE_SYSTEM::exists(directory)) {
    data_error("the device data directory " + directory +
               " does not exist; set PGMDEV_DEVICE_DB_DIR to the directory that holds "
               "programmer/" +
               FIO_PATH(file.path).basename());
  }
  data_error("the " + file.what + " " + file.path +
             " does not exist; install it or set PGMDEV_DEVICE_DB_DIR");
}

}  // namespace

void require_present(const DataFile& file) { require(file); }

std::string device_db_dir() { return gen_get_device_db_fullpath(); }

DataFile dev_info_file() {
  return data_file("device-info database", device_db_dir() + "/programmer/pgm_dev_info.pcf");
}

DataFile flash_file() {
  return data_file("flash database", device_db_dir() + "/programmer/pgm_flash.pcf");
}

DataFile parts_list_file() {
  return data_file("parts list", gen_get_velmora_path() + "/h/pgm_parts.txt");
}

DataFile flash_parameter_file() {
  return data_file("flash parameter file", gen_get_module_path() + "/pgm_flash.ini");
}

std::unique_ptr<PGMDEV_DEV_INFO_MANAGER> load_dev_info() {
  const DataFile file = dev_info_file();
  require(file);
  const DataFileScope scope(file.path);
  return std::make_unique<PGMDEV_DEV_INFO_MANAGER>(false, 0);
}

std::unique_ptr<PGMDEV_FLASH_MANAGER> load_flash() {
  const DataFile file = flash_file();
  require(file);
  const DataFileScope scope(file.path);
  return std::make_unique<PGMDEV_FLASH_MANAGER>(false, 1, false, false);
}

}  // namespace pgmdev_tool
