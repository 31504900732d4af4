// pgmdev-tool --version.
#include "tool_version.h"

#include <cstdio>

#include "pgmdev.h"
#include "tool_data.h"
#include "ver.h"

namespace pgmdev_tool {

std::string version_text() {
  const unsigned int index = ver_get_current_version_index_number();
  char number[96];
  std::snprintf(number, sizeof number, "0x%06X (build %u, service pack %u)", index,
                (index >> 8) & 0xFFFFu, index & 0xFFu);
  std::string text = "pgmdev-tool " + PGMDEV_MGR::get_library_version() + "\n";
  text += "library version: " + PGMDEV_MGR::get_library_version() + "\n";
  text += "suite version: " + ver_get_version() + ", number " + number + "\n";
  text +=
      "user-flash check codes are sealed with: " + PGMDEV_FLASH_MANAGER::get_ini_version_text() +
      "\n";
  text += "data files:\n";
  for (const DataFile& file :
       {dev_info_file(), flash_file(), parts_list_file(), flash_parameter_file()}) {
    text += "  " + file.what + ": " + file.path + (file.present ? "" : " (not found)") + "\n";
  }
  text.pop_back();  // CLI11 ends the text with its own newline
  return text;
}

}  // namespace pgmdev_tool
