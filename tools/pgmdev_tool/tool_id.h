// Identification bytes on the command line: the forms a user copies from a datasheet or from a
// read-id trace, and the text the answers show them in.
#ifndef PGMDEV_TOOL_TOOL_ID_H
#define PGMDEV_TOOL_TOOL_ID_H

#include <string>
#include <vector>

namespace pgmdev_tool {

// The value of a hexadecimal digit (either case), or -1.
int hex_digit(char c);

// The identification bytes of words in any of the forms "EF 40 18", "EF4018", "0xEF4018",
// "0xEF 0x40 0x18": each word is hexadecimal digits, with or without "0x"; a word of one or
// two digits is one byte, a longer one an even number of digits read as bytes in the order
// written. A word that is none of these, or more bytes than any record compares, is refused
// (status 1).
std::vector<unsigned char> parse_id(const std::vector<std::string>& words);

// The bytes as upper-case hexadecimal pairs separated by blanks: "EF 40 18".
std::string id_text(const std::vector<unsigned char>& id);

}  // namespace pgmdev_tool

#endif  // PGMDEV_TOOL_TOOL_ID_H
