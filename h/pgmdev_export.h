// Export macro of the device library. The library is built with hidden visibility; only what
// carries PGMDEV_API is in its dynamic symbol table.
#ifndef PGMDEV_EXPORT_H
#define PGMDEV_EXPORT_H

#if defined(_WIN32)
#define PGMDEV_API
#else
#define PGMDEV_API __attribute__((visibility("default")))
#endif

#endif  // PGMDEV_EXPORT_H
