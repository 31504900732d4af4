// Identification bytes on the command line.
#include "tool_id.h"

#include <cctype>

#include "tool.h"
#include "tool_output.h"

namespace pgmdev_tool {
namespace {

// More identification bytes than any record compares.
constexpr std::size_t kMaxIdBytes = 16;

}  // namespace

int hex_digit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  const char upper = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  if (upper >= 'A' && upper <= 'F') return upper - 'A' + 10;
  return -1;
}

std::vector<unsigned char> parse_id(const std::vector<std::string>& words) {
  std::vector<unsigned char> id;
  for (const std::string& word : words) {
    std::string digits = word;
    if (digits.size() > 2 && digits[0] == '0' && (digits[1] == 'x' || digits[1] == 'X')) {
      digits.erase(0, 2);
    }
    const bool one_byte = digits.size() == 1 || digits.size() == 2;
    if (digits.empty() || (!one_byte && digits.size() % 2 != 0)) {
      refuse("identification byte '" + word +
             "' is not hexadecimal bytes (e.g. EF 40 18, EF4018, 0xEF4018)");
    }
    for (std::size_t at = 0; at < digits.size(); at += one_byte ? digits.size() : 2) {
      const std::size_t length = one_byte ? digits.size() : 2;
      int value = 0;
      for (std::size_t i = at; i < at + length; ++i) {
        const int digit = hex_digit(digits[i]);
        if (digit < 0) {
          refuse("identification byte '" + word + "' holds '" + std::string(1, digits[i]) +
                 "', which is no hexadecimal digit");
        }
        value = value * 16 + digit;
      }
      id.push_back(static_cast<unsigned char>(value));
    }
  }
  if (id.size() > kMaxIdBytes) {
    refuse("at most " + std::to_string(kMaxIdBytes) + " identification bytes are compared; " +
           std::to_string(id.size()) + " were given");
  }
  return id;
}

std::string id_text(const std::vector<unsigned char>& id) {
  std::string text;
  for (const unsigned char byte : id) {
    if (!text.empty()) text += ' ';
    text += hex_text(byte).substr(2);
  }
  return text;
}

}  // namespace pgmdev_tool
