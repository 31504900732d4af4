// The command framework: registrations, actions, examples and the outcome of an action.
#include "tool.h"

#include <algorithm>
#include <cstdio>
#include <exception>
#include <iostream>
#include <map>
#include <sstream>
#include <utility>
#include <vector>

namespace pgmdev_tool {
namespace {

struct PendingRegistration {
  std::string parent;
  int order;
  int sequence;
  RegisterFunction function;
};

std::vector<PendingRegistration>& pending() {
  static std::vector<PendingRegistration> registrations;
  return registrations;
}

std::map<const CLI::App*, Action>& actions() {
  static std::map<const CLI::App*, Action> map;
  return map;
}

std::string& failed_data_file() {
  static std::string path;
  return path;
}

std::vector<std::string> split_path(const std::string& path) {
  std::vector<std::string> words;
  std::istringstream stream(path);
  for (std::string word; stream >> word;) words.push_back(word);
  return words;
}

}  // namespace

CLI::App* add_command(CLI::App& parent, const std::string& name, const std::string& description,
                      Action action) {
  CLI::App* command = parent.add_subcommand(name, description);
  if (action) {
    actions()[command] = std::move(action);
  } else {
    command->require_subcommand(1);
  }
  return command;
}

void set_example(CLI::App* command, const std::string& command_line, const std::string& output) {
  std::string text = "Example:\n  $ " + command_line + "\n";
  std::istringstream lines(output);
  for (std::string line; std::getline(lines, line);) text += "  " + line + "\n";
  command->footer(text);
}

const Action& action_of(const CLI::App* command) {
  static const Action none;
  const auto found = actions().find(command);
  return found == actions().end() ? none : found->second;
}

Registration::Registration(const char* parent, int order, RegisterFunction function) {
  pending().push_back({parent, order, static_cast<int>(pending().size()), function});
}

void register_commands(CLI::App& app) {
  std::vector<PendingRegistration> ordered = pending();
  std::stable_sort(ordered.begin(), ordered.end(),
                   [](const PendingRegistration& a, const PendingRegistration& b) {
                     const std::size_t depth_a = split_path(a.parent).size();
                     const std::size_t depth_b = split_path(b.parent).size();
                     if (depth_a != depth_b) return depth_a < depth_b;
                     return a.order < b.order;
                   });
  for (const PendingRegistration& registration : ordered) {
    CLI::App* parent = &app;
    for (const std::string& word : split_path(registration.parent)) {
      try {
        parent = parent->get_subcommand(word);
      } catch (const CLI::OptionNotFound&) {
        throw std::logic_error("pgmdev-tool: no command '" + registration.parent +
                               "' to register subcommands under");
      }
    }
    registration.function(*parent);
  }
}

void refuse(const std::string& message) { throw ToolError(kExitRefused, message); }

void data_error(const std::string& message) { throw ToolError(kExitDataError, message); }

void usage_error(const std::string& message) { throw ToolError(kExitUsage, message); }

void tool_message(const std::string& text) {
  // What the library said before (on standard output, sent to standard error) comes first.
  std::cout.flush();
  std::fflush(stdout);
  std::fprintf(stderr, "pgmdev-tool: %s\n", text.c_str());
  std::fflush(stderr);
}

void tool_warning(const std::string& text) { tool_message("warning: " + text); }

DataFileScope::DataFileScope(std::string path)
    : m_path(std::move(path)), m_uncaught(std::uncaught_exceptions()) {}

DataFileScope::~DataFileScope() {
  // Unwinding from an error thrown inside the scope: remember the innermost file.
  if (std::uncaught_exceptions() > m_uncaught && failed_data_file().empty()) {
    failed_data_file() = m_path;
  }
}

const std::string& DataFileScope::failed_path() { return failed_data_file(); }

}  // namespace pgmdev_tool
