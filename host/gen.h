// Text, directory and number helpers of the host.
#ifndef PGMHOST_GEN_H
#define PGMHOST_GEN_H

#include <string>

#include "pgmhost_export.h"

// Directories. Each honours an override variable of the configuration service, else derives
// the directory from where libpgmhost was loaded (<prefix> is that directory's parent).
// PGMDEV_DEVICE_DB_DIR, else <prefix>/share/pgmdev/device_db.
PGMHOST_API std::string gen_get_device_db_fullpath();
// PGMDEV_INSTALL_DIR, else <prefix>/share/pgmdev.
PGMHOST_API std::string gen_get_velmora_path();
// PGMDEV_MODULE_DIR, else the directory of the running executable.
PGMHOST_API std::string gen_get_module_path();

// Text with leading and trailing white space (blank, tab, newline, CR, FF, VT) removed.
PGMHOST_API std::string gen_remove_leading_and_trailing_white_spaces(const std::string& text);
// 0 when a and b are equal ignoring ASCII letter case; else the sign of the first difference.
PGMHOST_API int gen_stricmp(const char* a, const char* b);
PGMHOST_API int gen_stricmp(const std::string& a, const std::string& b);
// In-place ASCII case conversions.
PGMHOST_API void gen_ascii_toupper(std::string& text);
PGMHOST_API void gen_ascii_toupper(char* text);
PGMHOST_API void stl_toupper(std::string& text);
PGMHOST_API void stl_tolower(std::string& text);
// Appends src to dst and returns dst.
PGMHOST_API std::string& gen_strcat(std::string& dst, const std::string& src);
// Writes value in radix 2 to 36 into out (at least 34 bytes), with a leading '-' for a
// negative value in radix 10; returns out.
PGMHOST_API char* gen_itoa(int value, char* out, int radix);
// Converts the leading digits of text in radix 2 to 36 to a 64-bit number, wrapping on
// overflow; end, when given, receives the position after the last digit used.
PGMHOST_API QWORD gen_local_strtoQWORD(const char* text, const char** end, int radix);

#endif  // PGMHOST_GEN_H
