// pgmdev-tool flash-ini: the console dialogue that defines one to three user
// flash devices and prints their INI text. Answers are read from standard input
// word by word, so a script can pipe them in.
#include <cstdio>
#include <string>
#include <vector>

#include "pgmdev_flash_manager.h"
#include "tool_command.h"

namespace {

int flash_ini(const std::vector<std::string> &arguments) {
  if (!arguments.empty()) {
    std::fprintf(stderr, "usage: pgmdev-tool flash-ini < ANSWERS\n");
    return 2;
  }
  // The dialogue needs no database.
  PGMDEV_FLASH_MANAGER manager(false, 0, true, false);
  manager.gen_flash_ini();
  return 0;
}

}  // namespace

PGMDEV_TOOL_COMMAND("flash-ini", "",
                    "ask for one to three user flash devices and print their INI text "
                    "(answers from standard input)",
                    flash_ini);
