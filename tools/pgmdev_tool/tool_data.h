// The data files that pgmdev-tool's commands read, where the library looks for them, and the
// loading of the two database managers with a missing or damaged file reported by its path
// (status 3).
#ifndef PGMDEV_TOOL_TOOL_DATA_H
#define PGMDEV_TOOL_TOOL_DATA_H

#include <memory>
#include <string>

#include "pgmdev.h"

namespace pgmdev_tool {

// One data file of the installation: what it is, its full path, whether it is there.
struct DataFile {
  std::string what;
  std::string path;
  bool present;
};

// The device data directory (PGMDEV_DEVICE_DB_DIR or the installation's).
std::string device_db_dir();
DataFile dev_info_file();
DataFile flash_file();
// The parts list the device-info generator reads (under PGMDEV_INSTALL_DIR or the
// installation's share/pgmdev).
DataFile parts_list_file();
// The flash parameter file beside the programmer (PGMDEV_MODULE_DIR or the executable's
// directory).
DataFile flash_parameter_file();

// Ends the command with status 3, naming the path and what to do, when file is not there.
void require_present(const DataFile& file);

// The installed databases, loaded; a missing directory or file, or a damaged file, ends the
// command with status 3 naming the path.
std::unique_ptr<PGMDEV_DEV_INFO_MANAGER> load_dev_info();
std::unique_ptr<PGMDEV_FLASH_MANAGER> load_flash();

}  // namespace pgmdev_tool

#endif  // PGMDEV_TOOL_TOOL_DATA_H
