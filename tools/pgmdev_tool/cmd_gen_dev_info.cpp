// pgmdev-tool gen-dev-info CSV OUT: generates the device-info database from its CSV source;
// pgmdev-tool dev-info-list MODE: lists the installed device-info database.
#include <cstdio>
#include <string>
#include <vector>

#include "pgmdev_dev_info_manager.h"
#include "tool_command.h"

namespace {

int gen_dev_info(const std::vector<std::string>& arguments) {
  if (arguments.size() != 2) {
    std::fprintf(stderr, "usage: pgmdev-tool gen-dev-info CSV OUT\n");
    return 2;
  }
  PGMDEV_DEV_INFO_MANAGER manager(true, 0);
  manager.generate_device_database(FIO_PATH(arguments[0]), FIO_PATH(arguments[1]));
  return 0;
}

int dev_info_list(const std::vector<std::string>& arguments) {
  const std::vector<std::string> modes = {"records", "families", "devices", "parts"};
  for (unsigned int mode = 0; arguments.size() == 1 && mode < modes.size(); ++mode) {
    if (arguments[0] == modes[mode]) {
      const PGMDEV_DEV_INFO_MANAGER manager(false, mode + 1);
      return 0;
    }
  }
  std::fprintf(stderr, "usage: pgmdev-tool dev-info-list records|families|devices|parts\n");
  return 2;
}

}  // namespace

PGMDEV_TOOL_COMMAND("gen-dev-info", "CSV OUT",
                    "generate the device-info database OUT from its CSV source (the parts list "
                    "is read from the installation root)",
                    gen_dev_info);
PGMDEV_TOOL_COMMAND("dev-info-list", "records|families|devices|parts",
                    "list the installed device-info database by record, family, device or part",
                    dev_info_list);
