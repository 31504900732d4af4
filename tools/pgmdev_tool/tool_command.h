// Command registry of pgmdev-tool: each command file registers one command with
// PGMDEV_TOOL_COMMAND, so commands are added without touching a shared list.
#ifndef PGMDEV_TOOL_COMMAND_H
#define PGMDEV_TOOL_COMMAND_H

#include <map>
#include <string>
#include <vector>

namespace pgmdev_tool {

// A command gets its arguments (after the command name) and returns the process exit code.
using CommandFunction = int (*)(const std::vector<std::string>& arguments);

struct Command {
  std::string usage;    // arguments, e.g. "NAME"
  std::string summary;  // one line
  CommandFunction run;
};

// The registered commands by name.
std::map<std::string, Command>& commands();

struct CommandRegistration {
  CommandRegistration(const char* name, const char* usage, const char* summary,
                      CommandFunction run) {
    commands()[name] = Command{usage, summary, run};
  }
};

}  // namespace pgmdev_tool

#define PGMDEV_TOOL_COMMAND(name, usage, summary, function)                          \
  static const pgmdev_tool::CommandRegistration pgmdev_tool_registration_##function( \
      name, usage, summary, function)

#endif  // PGMDEV_TOOL_COMMAND_H
