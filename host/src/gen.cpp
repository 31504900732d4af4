// Text helpers and the directories of the installation, the device data and the executable.
#include "gen.h"

#include <dlfcn.h>
#include <unistd.h>

#include <cctype>
#include <climits>
#include <string>

#include "cfg.h"

namespace {

bool is_blank(char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f' || c == '\v';
}

std::string parent_directory(const std::string& path) {
  const size_t slash = path.find_last_of('/');
  if (slash == std::string::npos) return ".";
  if (slash == 0) return "/";
  return path.substr(0, slash);
}

// <prefix>: the parent of the directory that holds libpgmhost, in the build tree and in an
// installation alike. The library does not move while loaded, so it is found once.
std::string find_install_prefix() {
  Dl_info info{};
  if (dladdr(reinterpret_cast<void*>(&find_install_prefix), &info) != 0 && info.dli_fname) {
    char resolved[PATH_MAX];
    const std::string library =
        realpath(info.dli_fname, resolved) ? std::string(resolved) : std::string(info.dli_fname);
    return parent_directory(parent_directory(library));
  }
  return ".";
}

const std::string& install_prefix() {
  static const std::string prefix = find_install_prefix();
  return prefix;
}

}  // namespace

std::string gen_get_device_db_fullpath() {
  const std::string overridden = cfg_get_value("PGMDEV_DEVICE_DB_DIR");
  if (!overridden.empty()) return overridden;
  return install_prefix() + "/share/pgmdev/device_db";
}

std::string gen_get_velmora_path() {
  const std::string overridden = cfg_get_value("PGMDEV_INSTALL_DIR");
  if (!overridden.empty()) return overridden;
  return install_prefix() + "/share/pgmdev";
}

std::string gen_get_module_path() {
  const std::string overridden = cfg_get_value("PGMDEV_MODULE_DIR");
  if (!overridden.empty()) return overridden;
  char buffer[PATH_MAX];
  const ssize_t length = readlink("/proc/self/exe", buffer, sizeof(buffer) - 1);
  if (length <= 0) return ".";
  return parent_directory(std::string(buffer, static_cast<size_t>(length)));
}

std::string gen_remove_leading_and_trailing_white_spaces(const std::string& text) {
  size_t begin = 0;
  size_t end = text.size();
  while (begin < end && is_blank(text[begin])) ++begin;
  while (end > begin && is_blank(text[end - 1])) --end;
  return text.substr(begin, end - begin);
}

int gen_stricmp(const char* a, const char* b) {
  for (;; ++a, ++b) {
    const int ca = std::toupper(static_cast<unsigned char>(*a));
    const int cb = std::toupper(static_cast<unsigned char>(*b));
    if (ca != cb) return ca < cb ? -1 : 1;
    if (ca == 0) return 0;
  }
}

int gen_stricmp(const std::string& a, const std::string& b) {
  const size_t common = a.size() < b.size() ? a.size() : b.size();
  for (size_t i = 0; i < common; ++i) {
    const int ca = std::toupper(static_cast<unsigned char>(a[i]));
    const int cb = std::toupper(static_cast<unsigned char>(b[i]));
    if (ca != cb) return ca < cb ? -1 : 1;
  }
  if (a.size() == b.size()) return 0;
  return a.size() < b.size() ? -1 : 1;
}

void gen_ascii_toupper(std::string& text) {
  for (char& c : text) {
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  }
}

void gen_ascii_toupper(char* text) {
  for (; text && *text; ++text) {
    if (*text >= 'a' && *text <= 'z') *text = static_cast<char>(*text - 'a' + 'A');
  }
}

void stl_toupper(std::string& text) { gen_ascii_toupper(text); }

void stl_tolower(std::string& text) {
  for (char& c : text) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
}

std::string& gen_strcat(std::string& dst, const std::string& src) { return dst.append(src); }

char* gen_itoa(int value, char* out, int radix) {
  if (radix < 2 || radix > 36) {
    out[0] = '\0';
    return out;
  }
  const bool negative = value < 0 && radix == 10;
  unsigned int magnitude =
      negative ? 0u - static_cast<unsigned int>(value) : static_cast<unsigned int>(value);
  char digits[34];
  int count = 0;
  do {
    const unsigned int digit = magnitude % static_cast<unsigned int>(radix);
    digits[count++] = static_cast<char>(digit < 10 ? '0' + digit : 'a' + digit - 10);
    magnitude /= static_cast<unsigned int>(radix);
  } while (magnitude != 0);
  int position = 0;
  if (negative) out[position++] = '-';
  while (count > 0) out[position++] = digits[--count];
  out[position] = '\0';
  return out;
}

QWORD gen_local_strtoQWORD(const char* text, const char** end, int radix) {
  QWORD value = 0;
  const char* cursor = text;
  if (radix >= 2 && radix <= 36 && cursor != nullptr) {
    for (;; ++cursor) {
      const char c = *cursor;
      int digit;
      if (c >= '0' && c <= '9') {
        digit = c - '0';
      } else if (c >= 'a' && c <= 'z') {
        digit = c - 'a' + 10;
      } else if (c >= 'A' && c <= 'Z') {
        digit = c - 'A' + 10;
      } else {
        break;
      }
      if (digit >= radix) break;
      value = value * static_cast<QWORD>(radix) + static_cast<QWORD>(digit);
    }
  }
  if (end) *end = cursor;
  return value;
}
