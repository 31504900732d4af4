// pgmdev-tool: parses the command line with the commands that the cmd_*.cpp files register,
// runs the action of the last subcommand given and turns its outcome into the exit status.
#include <unistd.h>

#include <cstdio>
#include <exception>
#include <string>
#include <vector>

#include "msg.h"
#include "tool.h"
#include "tool_help.h"
#include "tool_output.h"
#include "tool_version.h"

namespace {

using pgmdev_tool::kExitDataError;
using pgmdev_tool::kExitUsage;

constexpr const char kDescription[] =
    "pgmdev-tool: the device programmer's names, device-info and flash databases and "
    "user-defined flash devices, from the command line. Every query command takes --json "
    "for one JSON document on standard output; messages go to standard error.\n"
    "Exit status: 0 success or found; 1 not found, or an answer or input refused; "
    "2 usage error; 3 a damaged or missing data file, or an internal error.";

constexpr const char kEnvironment[] =
    "Environment (values are read at every call; a switch is on for 1, ON, TRUE or YES):\n"
    "  PGM_ALLOW_<GATE>               on: load the flash records behind gate <GATE>\n"
    "                                 (the gates are in the gate column of 'flash list')\n"
    "  PGM_3RD_PARTY_FLASH_INI        INI text of a user-defined flash (see flash-ini),\n"
    "                                 loaded ahead of the flash database's records\n"
    "  PGM_3RD_PARTY_FLASH_INI_DEBUG  on: trace the loading of that text (standard error)\n"
    "  PGMDEV_DEVICE_DB_DIR           directory that holds programmer/pgm_dev_info.pcf and\n"
    "                                 programmer/pgm_flash.pcf (see --version)\n"
    "  PGMDEV_INSTALL_DIR             installation root that holds h/pgm_parts.txt\n"
    "  PGMDEV_MODULE_DIR              directory of pgm_flash.ini (default: pgmdev-tool's)\n"
    "  PGMDEV_ENABLE_GRAMMAR_DEBUG    on: trace the name lookups (standard error)\n"
    "  PGMDEV_SUITE_VERSION           suite version text that user-flash check codes are\n"
    "                                 sealed with\n"
    "  PGMDEV_SUITE_VERSION_INDEX     suite version number: service pack in bits 0-7, build\n"
    "                                 in bits 8-23 (decimal or 0x hexadecimal)\n"
    "  PGMDEV_DEBUG                   on: print the library's debug messages (standard error)";

// The deepest subcommand on the command line.
CLI::App* last_subcommand(CLI::App& app) {
  CLI::App* command = &app;
  while (!command->get_subcommands().empty()) command = command->get_subcommands().front();
  return command;
}

std::string command_path(const CLI::App* command) {
  std::string path;
  for (const CLI::App* at = command; at != nullptr; at = at->get_parent()) {
    path = path.empty() ? at->get_name() : at->get_name() + " " + path;
  }
  return path;
}

std::string failure_message(const CLI::App* app, const CLI::Error& error) {
  CLI::App* command = last_subcommand(*const_cast<CLI::App*>(app));
  std::string what = error.what();
  const std::vector<std::string> extra = command->remaining();
  if (!command->get_subcommands({}).empty() && !extra.empty() &&
      command->get_require_subcommand_min() > 0 && command->get_subcommands().empty()) {
    std::string names;
    for (const CLI::App* sub : command->get_subcommands({})) {
      names += (names.empty() ? "" : ", ") + sub->get_name();
    }
    what = "unknown command '" + extra.front() + "' (commands: " + names + ")";
  }
  return "pgmdev-tool: " + what + "\nRun '" + command_path(command) + " --help' for its usage.\n";
}

int run(int argc, char** argv) {
  CLI::App app{kDescription, "pgmdev-tool"};
  app.require_subcommand(1);
  app.set_version_flag("--version", std::function<std::string()>(pgmdev_tool::version_text),
                       "print the library and suite versions and the data files used, and exit");
  app.set_help_flag("-h,--help", "print this help and exit");
  app.failure_message(failure_message);
  pgmdev_tool::register_commands(app);
  pgmdev_tool::add_self_description(app);
  // After the commands, which would otherwise inherit it: their help ends with their example.
  app.footer(kEnvironment);

  try {
    app.parse(argc, argv);
  } catch (const CLI::ParseError& error) {
    const int status = app.exit(error);
    return status == 0 ? 0 : kExitUsage;
  }
  const pgmdev_tool::Action& action = pgmdev_tool::action_of(last_subcommand(app));
  if (!action) return kExitUsage;  // not reached: a group requires a subcommand
  // From here standard output carries the answer only: whatever the library prints there
  // (traces, listings) goes to standard error unless a command asks for it.
  pgmdev_tool::keep_standard_output_for_answers();
  return action();
}

}  // namespace

int main(int argc, char** argv) {
  try {
    return run(argc, argv);
  } catch (const pgmdev_tool::ToolError& error) {
    pgmdev_tool::tool_message(error.what());
    return error.status();
  } catch (const MSG_INTERNAL_ERROR_EXCEPTION& error) {
    std::string text = std::string("internal error: ") + error.what() + "\n  in module " +
                       error.module() + ", " + error.file() + ":" + std::to_string(error.line());
    const std::string& path = pgmdev_tool::DataFileScope::failed_path();
    if (!path.empty()) text += "\n  while reading " + path;
    pgmdev_tool::tool_message(text);
    return kExitDataError;
  } catch (const std::exception& error) {
    pgmdev_tool::tool_message(std::string("internal error: ") + error.what());
    return kExitDataError;
  }
}
