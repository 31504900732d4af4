// Test hook of the stand-in's file layer: makes the Nth call of FIO_FILE fail, so that tests
// can walk a writer through a failure at every step. Not part of the host interface (this
// header is not installed); hosts never call it.
#ifndef PGMHOST_FIO_FAULT_H
#define PGMHOST_FIO_FAULT_H

#include "pgmhost_export.h"

// From now on, counting from 1, the nth operation of FIO_FILE fails with EIO (close still
// releases its descriptor). unlink is never failed: it is how writers clean up. 0 disarms.
// Arming restarts the count and forgets an earlier failure.
PGMHOST_API void fio_fault_arm(unsigned long nth);
// The operations counted since the last arming.
PGMHOST_API unsigned long fio_fault_operations();
// The name of the operation that was made to fail ("open", "read", "write", "sync", "close",
// "stat", "chmod", "chown", "lock", "rename", "link", "resolve"), or null when none was.
PGMHOST_API const char* fio_fault_failed();

#endif  // PGMHOST_FIO_FAULT_H
