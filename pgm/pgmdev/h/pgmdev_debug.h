// Debug messages of the library, handed to the host's debug-message service.
#ifndef PGMDEV_DEBUG_H
#define PGMDEV_DEBUG_H

// Formats a debug message at the given level (the library always passes MSG_D_LEVEL) and hands
// it to the host under the module tag.
void msg_vdebug_impl(int level, const char* format, ...) __attribute__((format(printf, 2, 3)));

#endif  // PGMDEV_DEBUG_H
