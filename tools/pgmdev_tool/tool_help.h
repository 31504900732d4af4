// What the build asks pgmdev-tool about itself, through two options the help does not show:
//   --list-commands    every command, groups included, one path a line ("flash", "flash id");
//   --bash-completion  the bash completion script of every command and option.
// Both are made from the registered commands, so a command file added later is in them too.
#ifndef PGMDEV_TOOL_TOOL_HELP_H
#define PGMDEV_TOOL_TOOL_HELP_H

#include <CLI/CLI.hpp>
#include <string>

namespace pgmdev_tool {

// Adds the two options to app; call once every command is registered.
void add_self_description(CLI::App& app);

// The paths of every command, groups included, in help order.
std::string command_list(const CLI::App& app);

// The bash completion script for app.
std::string bash_completion(const CLI::App& app);

}  // namespace pgmdev_tool

#endif  // PGMDEV_TOOL_TOOL_HELP_H
