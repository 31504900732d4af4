// Export macro and basic fixed-width types of the host services library.
#ifndef PGMHOST_EXPORT_H
#define PGMHOST_EXPORT_H

#if defined(_WIN32)
#define PGMHOST_API
#else
#define PGMHOST_API __attribute__((visibility("default")))
#endif

typedef unsigned char BYTE;
typedef unsigned short WORD;
typedef unsigned int DWORD;
typedef unsigned long long QWORD;

#endif  // PGMHOST_EXPORT_H
