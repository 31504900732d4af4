// pgmdev-tool flash-ini: the console dialogue that defines one to three user flash devices and
// prints their INI text.
#include <iostream>
#include <string>

#include "pgmdev.h"
#include "tool.h"
#include "tool_output.h"

namespace {

int run_dialogue() {
  // The dialogue needs no database. Its questions and its text are the answer here.
  const pgmdev_tool::LibraryOutputIsAnswer dialogue;
  PGMDEV_FLASH_MANAGER manager(false, 0, true, false);
  manager.gen_flash_ini(std::cin, std::cout);
  return pgmdev_tool::kExitOk;
}

void add_commands(CLI::App& tool) {
  pgmdev_tool::add_command(tool, "flash-ini",
                           "ask for one to three user flash devices and print their INI text "
                           "(answers from standard input)",
                           run_dialogue);
}

}  // namespace

PGMDEV_TOOL_COMMANDS("", 50, add_commands);
