// The text of pgmdev-tool --version.
#ifndef PGMDEV_TOOL_TOOL_VERSION_H
#define PGMDEV_TOOL_TOOL_VERSION_H

#include <string>

namespace pgmdev_tool {

// The library version, the suite version and number that user-flash check codes are sealed
// with, and every data file the library reads: its full path, or where it was looked for.
std::string version_text();

}  // namespace pgmdev_tool

#endif  // PGMDEV_TOOL_TOOL_VERSION_H
