// The output layer: one JSON document, or the person's view of the same answer.
#include "tool_output.h"

#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <iostream>
#include <string>
#include <vector>

namespace pgmdev_tool {
namespace {

bool g_json = false;
// Where answers go: standard output, or a copy of it once the library's own output has been
// sent to standard error.
FILE* g_answer = stdout;

constexpr const char kEmptyCell[] = "-";
constexpr int kIndentStep = 2;
constexpr const char kColumnGap[] = "  ";

bool is_flat(const Json& row) {
  return std::none_of(row.begin(), row.end(), [](const Json& cell) {
    return cell.is_object() ||
           (cell.is_array() && std::any_of(cell.begin(), cell.end(),
                                           [](const Json& item) { return item.is_structured(); }));
  });
}

bool is_list_of_objects(const Json& value) {
  return value.is_array() && !value.empty() &&
         std::all_of(value.begin(), value.end(), [](const Json& row) { return row.is_object(); });
}

// Rows of scalars: a table. Objects that hold objects print one block each instead.
bool is_table(const Json& value) {
  return is_list_of_objects(value) && std::all_of(value.begin(), value.end(), is_flat);
}

std::string scalar_text(const Json& value, bool hex) {
  switch (value.type()) {
    case Json::value_t::null:
      return kEmptyCell;
    case Json::value_t::string: {
      const std::string& text = value.get_ref<const std::string&>();
      return text.empty() ? kEmptyCell : text;
    }
    case Json::value_t::boolean:
      return value.get<bool>() ? "TRUE" : "FALSE";
    case Json::value_t::number_unsigned:
      return hex ? hex_text(value.get<unsigned long long>())
                 : std::to_string(value.get<unsigned long long>());
    case Json::value_t::number_integer:
      return std::to_string(value.get<long long>());
    case Json::value_t::array: {
      if (value.empty()) return kEmptyCell;
      std::string text;
      for (const Json& item : value) {
        if (!text.empty()) text += ", ";
        text += scalar_text(item, hex);
      }
      return text;
    }
    default:
      return value.dump();
  }
}

std::string cell_text(const Json& value, const std::string& key, const PersonView& view) {
  return scalar_text(value, view.hex_keys.count(key) != 0);
}

void append_table(std::string& out, const Json& rows, int indent, const PersonView& view) {
  // Columns: the keys in order of first appearance over all rows.
  std::vector<std::string> keys;
  for (const Json& row : rows) {
    for (auto member = row.begin(); member != row.end(); ++member) {
      if (std::find(keys.begin(), keys.end(), member.key()) == keys.end()) {
        keys.push_back(member.key());
      }
    }
  }
  std::vector<std::vector<std::string>> cells;
  std::vector<std::size_t> widths;
  for (const std::string& key : keys) widths.push_back(key.size());
  for (const Json& row : rows) {
    std::vector<std::string> line;
    for (std::size_t column = 0; column < keys.size(); ++column) {
      const auto found = row.find(keys[column]);
      line.push_back(found == row.end() ? kEmptyCell : cell_text(*found, keys[column], view));
      widths[column] = std::max(widths[column], line.back().size());
    }
    cells.push_back(std::move(line));
  }
  const auto append_line = [&](const std::vector<std::string>& line) {
    std::string text(static_cast<std::size_t>(indent), ' ');
    for (std::size_t column = 0; column < line.size(); ++column) {
      text += line[column];
      if (column + 1 < line.size()) {
        text.append(widths[column] - line[column].size(), ' ');
        text += kColumnGap;
      }
    }
    out += text + "\n";
  };
  append_line(keys);
  for (const auto& line : cells) append_line(line);
}

void append_object(std::string& out, const Json& object, int indent, const PersonView& view) {
  const auto one_a_line = [&view](const auto& member) {
    return member->is_array() && !member->empty() && view.line_keys.count(member.key()) != 0;
  };
  std::size_t width = 0;
  for (auto member = object.begin(); member != object.end(); ++member) {
    if (!member->is_object() && !is_list_of_objects(*member) && !one_a_line(member)) {
      width = std::max(width, member.key().size());
    }
  }
  const std::string margin(static_cast<std::size_t>(indent), ' ');
  for (auto member = object.begin(); member != object.end(); ++member) {
    if (one_a_line(member)) {
      out += margin + member.key() + ":\n";
      for (const Json& item : *member) {
        out += margin + std::string(kIndentStep, ' ') + cell_text(item, member.key(), view) + "\n";
      }
    } else if (member->is_object()) {
      out += margin + member.key() + ":\n";
      append_object(out, *member, indent + kIndentStep, view);
    } else if (is_table(*member)) {
      out += margin + member.key() + ":\n";
      append_table(out, *member, indent + kIndentStep, view);
    } else if (is_list_of_objects(*member)) {
      for (std::size_t item = 0; item < member->size(); ++item) {
        out += margin + member.key() + " " + std::to_string(item + 1) + ":\n";
        append_object(out, (*member)[item], indent + kIndentStep, view);
      }
    } else {
      std::string label = member.key();
      label.resize(width, ' ');
      out += margin + label + " : " + cell_text(*member, member.key(), view) + "\n";
    }
  }
}

}  // namespace

void add_json_flag(CLI::App* command) {
  command->add_flag("--json", g_json, "print the answer as one JSON document");
}

bool json_requested() { return g_json; }

std::string hex_text(unsigned long long value) {
  char text[24];
  std::snprintf(text, sizeof text, "0x%02llX", value);
  return text;
}

std::string person_value(const Json& value) { return scalar_text(value, false); }

std::string person_text(const Json& answer, const PersonView& view) {
  std::string out;
  if (answer.is_object()) {
    append_object(out, answer, 0, view);
  } else if (is_table(answer)) {
    append_table(out, answer, 0, view);
  } else if (answer.is_array() && answer.empty()) {
    // Nothing to list: no header either.
  } else {
    out = scalar_text(answer, false) + "\n";
  }
  return out;
}

void print_answer(const Json& answer, const PersonView& view) {
  const std::string text = g_json
                               ? answer.dump(2, ' ', false, Json::error_handler_t::replace) + "\n"
                               : person_text(answer, view);
  std::fwrite(text.data(), 1, text.size(), g_answer);
  std::fflush(g_answer);
}

void keep_standard_output_for_answers() {
  std::cout.flush();
  std::fflush(stdout);
  const int answer = dup(STDOUT_FILENO);
  if (answer < 0) return;  // answers and library output then share standard output
  FILE* stream = fdopen(answer, "w");
  if (stream == nullptr) {
    close(answer);
    return;
  }
  g_answer = stream;
  dup2(STDERR_FILENO, STDOUT_FILENO);
}

LibraryOutputIsAnswer::LibraryOutputIsAnswer() {
  std::cout.flush();
  std::fflush(stdout);
  if (g_answer != stdout) dup2(fileno(g_answer), STDOUT_FILENO);
}

LibraryOutputIsAnswer::~LibraryOutputIsAnswer() {
  std::cout.flush();
  std::fflush(stdout);
  if (g_answer != stdout) dup2(STDERR_FILENO, STDOUT_FILENO);
}

}  // namespace pgmdev_tool
