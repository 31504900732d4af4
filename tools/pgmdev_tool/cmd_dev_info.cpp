// pgmdev-tool dev-info: the device-info database. dev-info debug records|families|devices|parts
// prints the library's own debug listings.
#include <map>
#include <string>

#include "pgmdev.h"
#include "tool.h"
#include "tool_data.h"
#include "tool_output.h"

namespace {

// The debug modes of the device-info manager by listing.
const std::map<std::string, unsigned int> kDebugListings = {
    {"records", 1}, {"families", 2}, {"devices", 3}, {"parts", 4}};

std::string g_listing;

int run_debug() {
  const pgmdev_tool::DataFile file = pgmdev_tool::dev_info_file();
  // Loading with a debug mode prints the listing; make sure the file is there first.
  pgmdev_tool::load_dev_info();
  const pgmdev_tool::DataFileScope scope(file.path);
  const pgmdev_tool::LibraryOutputIsAnswer listing;
  const PGMDEV_DEV_INFO_MANAGER manager(false, kDebugListings.at(g_listing));
  return pgmdev_tool::kExitOk;
}

void add_commands(CLI::App& tool) {
  CLI::App* dev_info = pgmdev_tool::add_command(tool, "dev-info", "query the device-info database");
  CLI::App* debug = pgmdev_tool::add_command(
      *dev_info, "debug",
      "print the library's debug listing of the database: one unlabelled line per record, "
      "family, device or part",
      run_debug);
  debug->add_option("LISTING", g_listing, "records, families, devices or parts")
      ->required()
      ->check(CLI::IsMember({"records", "families", "devices", "parts"}));
}

}  // namespace

PGMDEV_TOOL_COMMANDS("", 30, add_commands);
