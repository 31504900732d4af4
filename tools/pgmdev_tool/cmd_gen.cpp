// pgmdev-tool gen-dev-info CSV OUT and gen-flash CSV OUT: the library's generators of the two
// database files from their CSV sources (the build runs both on data/).
#include <string>

#include "pgmdev.h"
#include "tool.h"

namespace {

std::string g_csv;
std::string g_out;

int gen_dev_info() {
  const pgmdev_tool::DataFileScope scope(g_csv);
  PGMDEV_DEV_INFO_MANAGER manager(true, 0);
  manager.generate_device_database(FIO_PATH(g_csv), FIO_PATH(g_out));
  return pgmdev_tool::kExitOk;
}

int gen_flash() {
  const pgmdev_tool::DataFileScope scope(g_csv);
  PGMDEV_FLASH_MANAGER generator(false, 0, true, false);
  generator.generate_flash_database(FIO_PATH(g_csv), FIO_PATH(g_out));
  return pgmdev_tool::kExitOk;
}

void add_arguments(CLI::App* command) {
  command->add_option("CSV", g_csv, "the CSV source")->required()->check(CLI::ExistingFile);
  command->add_option("OUT", g_out, "the database file to write (whole or not at all)")->required();
}

void add_commands(CLI::App& tool) {
  add_arguments(pgmdev_tool::add_command(
      tool, "gen-dev-info",
      "generate the device-info database OUT from its CSV source (the parts list is read "
      "from the installation root, PGMDEV_INSTALL_DIR)",
      gen_dev_info));
  add_arguments(pgmdev_tool::add_command(
      tool, "gen-flash", "generate the flash database OUT from the flash CSV", gen_flash));
}

}  // namespace

PGMDEV_TOOL_COMMANDS("", 90, add_commands);
