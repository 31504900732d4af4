// Compiled as C++17 with only the exported and host include directories: every exported
// header must stand on its own there.
#include "pgmdev.h"
#include "pgmhost.h"
