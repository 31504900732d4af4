// pgmdev-tool: runs one registered command, reporting internal errors as failures.
#include <cstdio>
#include <exception>
#include <string>
#include <vector>

#include "msg.h"
#include "tool_command.h"

namespace pgmdev_tool {

std::map<std::string, Command>& commands() {
  static std::map<std::string, Command> registry;
  return registry;
}

}  // namespace pgmdev_tool

namespace {

void print_usage() {
  std::fprintf(stderr, "usage: pgmdev-tool COMMAND [ARGUMENTS]\n\ncommands:\n");
  for (const auto& [name, command] : pgmdev_tool::commands()) {
    std::fprintf(stderr, "  %s %s\n      %s\n", name.c_str(), command.usage.c_str(),
                 command.summary.c_str());
  }
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    print_usage();
    return 2;
  }
  const auto found = pgmdev_tool::commands().find(argv[1]);
  if (found == pgmdev_tool::commands().end()) {
    std::fprintf(stderr, "pgmdev-tool: unknown command '%s'\n", argv[1]);
    print_usage();
    return 2;
  }
  const std::vector<std::string> arguments(argv + 2, argv + argc);
  try {
    return found->second.run(arguments);
  } catch (const MSG_INTERNAL_ERROR_EXCEPTION& error) {
    std::fprintf(stderr, "pgmdev-tool: internal error in %s (%s:%d): %s\n", error.module().c_str(),
                 error.file().c_str(), error.line(), error.what());
  } catch (const std::exception& error) {
    std::fprintf(stderr, "pgmdev-tool: %s\n", error.what());
  }
  return 1;
}
