// pgmdev-tool's output layer: every command builds its answer as one JSON value and hands it
// to print_answer(), which writes it to standard output either as one JSON document (when the
// command's --json flag, added with add_json_flag(), was given) or for a person. No command
// formats JSON or aligns columns itself.
//
// The person's view follows the shape of the answer:
//   - an object prints one "label : value" line per member, labels (the JSON keys) aligned;
//     a member that is an object prints as an indented block under "label:", a member that is
//     an array of objects as a table under "label:" (as blocks "label 1:", "label 2:", ...
//     when the objects hold objects);
//   - an array of objects prints as a table: a header of the keys, one row per object, columns
//     aligned; an empty or missing cell prints "-", so empty cells never shift columns;
//   - a string prints as it is ("-" when empty), a bool as TRUE or FALSE, a number in decimal
//     (in hexadecimal for the keys that the view names), an array of scalars as its items
//     joined by ", " (one a line, indented under "label:", for the keys that the view names).
// Keys are the schema names wherever a schema exists (device-info columns, flash members), so
// the same names serve the person and the script.
#ifndef PGMDEV_TOOL_TOOL_OUTPUT_H
#define PGMDEV_TOOL_TOOL_OUTPUT_H

#include <CLI/CLI.hpp>
#include <nlohmann/json.hpp>
#include <set>
#include <string>

namespace pgmdev_tool {

// Objects keep their members in the order the command added them.
using Json = nlohmann::ordered_json;

// Adds --json to a query command.
void add_json_flag(CLI::App* command);
// Whether --json was given.
bool json_requested();

struct PersonView {
  // Keys whose numbers a person reads in hexadecimal (identification bytes, bit masks).
  std::set<std::string> hex_keys;
  // Keys whose arrays of texts a person reads one item a line under "label:" (sentences that
  // hold commas themselves, such as notes).
  std::set<std::string> line_keys = {};
};

// Writes answer to standard output, as JSON or for a person.
void print_answer(const Json& answer, const PersonView& view = {});

// The person's text of answer (what print_answer writes without --json).
std::string person_text(const Json& answer, const PersonView& view = {});

// A value as a person reads it, for messages: "-" for empty, TRUE/FALSE, decimal numbers.
std::string person_value(const Json& value);

// "0x" and the value in upper-case hexadecimal, at least two digits.
std::string hex_text(unsigned long long value);

// Keeps standard output for the answers of print_answer and the scope below: from this call
// on, whatever else writes to standard output (the library's traces) goes to standard error.
void keep_standard_output_for_answers();

// While it lives, what the library prints on standard output is the answer (its debug
// listings): standard output is the real one again.
class LibraryOutputIsAnswer {
 public:
  LibraryOutputIsAnswer();
  ~LibraryOutputIsAnswer();
  LibraryOutputIsAnswer(const LibraryOutputIsAnswer&) = delete;
  LibraryOutputIsAnswer& operator=(const LibraryOutputIsAnswer&) = delete;
};

}  // namespace pgmdev_tool

#endif  // PGMDEV_TOOL_TOOL_OUTPUT_H
