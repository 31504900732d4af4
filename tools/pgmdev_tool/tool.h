// pgmdev-tool's command framework: how a command file adds its subcommands, how an action
// reports its outcome, and the exit status every command keeps.
//
// Registration. Each cmd_*.cpp adds its subcommands to the CLI11 application from one function
// registered with
//
//   PGMDEV_TOOL_COMMANDS(parent, order, function)
//
// where parent is "" for top-level commands or the space-separated path of a command that
// another file adds ("flash-ini", "flash id"), so a file can hang a subcommand under an
// existing group without touching a shared list. Registrations run parents before children
// and, among siblings, by order (then by registration), which is the order of the help. The
// function gets the parent CLI::App and calls add_command() for each subcommand:
//
//   void add_commands(CLI::App& parent) {
//     CLI::App* show = pgmdev_tool::add_command(parent, "show", "one line of what it does",
//                                               [] { return run_show(); });
//     show->add_option("NAME", g_name, "...")->required();
//     pgmdev_tool::add_json_flag(show);  // tool_output.h
//     pgmdev_tool::set_example(show, "pgmdev-tool flash show W25Q128JV", "output...");
//   }
//   PGMDEV_TOOL_COMMANDS("flash", 30, add_commands);
//
// The action of the last subcommand on the command line runs once parsing succeeded; a
// command added without an action is a group and needs one of its subcommands.
//
// Outcome. An action returns kExitOk, or kExitRefused when what was asked for does not exist
// or was refused (after saying why with tool_message()). Failures throw: refuse() (status 1),
// data_error() (status 3); an internal error of the library (MSG_INTERNAL_ERROR_EXCEPTION)
// also ends with status 3, reported with its condition, module, source file and line, and the
// data file being loaded when a DataFileScope names one. Usage errors (status 2) are CLI11's.
// Every message goes to standard error; standard output carries the answer only.
#ifndef PGMDEV_TOOL_TOOL_H
#define PGMDEV_TOOL_TOOL_H

#include <CLI/CLI.hpp>
#include <functional>
#include <stdexcept>
#include <string>

namespace pgmdev_tool {

// The exit status of every command.
enum ExitStatus : int {
  kExitOk = 0,         // success, or the thing asked for was found
  kExitRefused = 1,    // not found, or an answer or input refused
  kExitUsage = 2,      // the command line is wrong
  kExitDataError = 3,  // a damaged or missing data file, or an internal error
};

using Action = std::function<int()>;

// Adds subcommand name to parent. A command with an action runs it when it is the last
// subcommand given; a command without one is a group that requires a subcommand.
CLI::App* add_command(CLI::App& parent, const std::string& name, const std::string& description,
                      Action action = {});

// The example of a command's help: the command line and (a trimmed copy of) its real output.
void set_example(CLI::App* command, const std::string& command_line, const std::string& output);

// The action that belongs to command, or an empty function.
const Action& action_of(const CLI::App* command);

// ---- Registration.

using RegisterFunction = void (*)(CLI::App& parent);

struct Registration {
  Registration(const char* parent, int order, RegisterFunction function);
};

// Runs every registration against app (parents first); a parent path that names no command
// is a programming error and throws std::logic_error.
void register_commands(CLI::App& app);

// ---- Outcome.

// A failure that ends the command with status, after message goes to standard error.
class ToolError : public std::runtime_error {
 public:
  ToolError(int status, const std::string& message)
      : std::runtime_error(message), m_status(status) {}
  int status() const { return m_status; }

 private:
  int m_status;
};

// Not found or refused (status 1): what was wrong and what to do.
[[noreturn]] void refuse(const std::string& message);
// A missing or damaged data file (status 3).
[[noreturn]] void data_error(const std::string& message);
// A command line that CLI11 accepted but the command cannot use (status 2), e.g. none of the
// options of which one is needed.
[[noreturn]] void usage_error(const std::string& message);

// Writes "pgmdev-tool: " and text (and a newline) to standard error.
void tool_message(const std::string& text);
// Writes "pgmdev-tool: warning: " and text to standard error.
void tool_warning(const std::string& text);

// While a scope lives, an internal error that escapes it is reported as concerning the data
// file at path (the database a manager was loading, the CSV a generator was reading).
class DataFileScope {
 public:
  explicit DataFileScope(std::string path);
  ~DataFileScope();
  DataFileScope(const DataFileScope&) = delete;
  DataFileScope& operator=(const DataFileScope&) = delete;

  // The path of the innermost scope that an internal error left, or "" (read by main).
  static const std::string& failed_path();

 private:
  std::string m_path;
  int m_uncaught;
};

}  // namespace pgmdev_tool

#define PGMDEV_TOOL_CONCAT_INNER(a, b) a##b
#define PGMDEV_TOOL_CONCAT(a, b) PGMDEV_TOOL_CONCAT_INNER(a, b)
#define PGMDEV_TOOL_COMMANDS(parent, order, function)                                    \
  static const ::pgmdev_tool::Registration PGMDEV_TOOL_CONCAT(pgmdev_tool_registration_, \
                                                              __LINE__)(parent, order, function)

#endif  // PGMDEV_TOOL_TOOL_H
