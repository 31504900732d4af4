// Runs the installed pgmdev-tool as a user would: a child process with its own environment and
// standard input, standard output and standard error captured apart, exit status kept.
//
// The tool is the one that the ToolInstall fixture installed into a prefix under the build tree
// (PGMDEV_TOOL_PREFIX); tests/CMakeLists.txt makes every test_tool_* case require that fixture.
// The child's environment is the test's without the variables that change the tool's answers
// (PGM_*, PGMDEV_*), plus the case's own.
//
//   const ToolRun run = run_tool({"name", "QZ40B", "--json"});
//   EXPECT_EQ(run.status, 0) << run;
//   EXPECT_EQ(run.json()["catalogue"]["part"], "QZ40BF256C6N");
#ifndef PGMDEV_TESTS_TOOL_RUNNER_H
#define PGMDEV_TESTS_TOOL_RUNNER_H

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <map>
#include <nlohmann/json.hpp>
#include <ostream>
#include <string>
#include <utility>
#include <vector>

extern char** environ;

namespace tool_test {

using Json = nlohmann::ordered_json;

// The installed tool and its prefix.
inline std::string installed_prefix() { return PGMDEV_TOOL_PREFIX; }
inline std::string installed_tool() { return installed_prefix() + "/bin/pgmdev-tool"; }

struct ToolRun {
  int status = -1;  // exit status, or 128 + signal number
  std::string out;
  std::string err;
  std::string command;  // for failure messages

  // Standard output parsed as one JSON document (a discarded value when it is none).
  Json json() const { return Json::parse(out, nullptr, false); }
};

inline std::ostream& operator<<(std::ostream& stream, const ToolRun& run) {
  return stream << "$ " << run.command << "\n[exit " << run.status << "]\n--- stdout\n"
                << run.out << "--- stderr\n"
                << run.err;
}

struct ToolOptions {
  std::map<std::string, std::string> env;  // added to the child's environment
  std::string input;                       // its standard input
};

inline ToolOptions with_env(std::map<std::string, std::string> env, std::string input = "") {
  ToolOptions options;
  options.env = std::move(env);
  options.input = std::move(input);
  return options;
}

namespace detail {

inline bool changes_answers(const char* entry) {
  return std::strncmp(entry, "PGM_", 4) == 0 || std::strncmp(entry, "PGMDEV_", 7) == 0;
}

// Writes what it can of input to fd; reads what is there from out and err.
inline void pump(int in_fd, const std::string& input, int out_fd, int err_fd, std::string& out,
                 std::string& err) {
  std::size_t written = 0;
  bool in_open = in_fd >= 0;
  bool out_open = true;
  bool err_open = true;
  if (in_open && input.empty()) {
    close(in_fd);
    in_open = false;
  }
  while (out_open || err_open) {
    pollfd fds[3];
    nfds_t count = 0;
    int out_slot = -1;
    int err_slot = -1;
    int in_slot = -1;
    if (out_open) {
      out_slot = static_cast<int>(count);
      fds[count++] = {out_fd, POLLIN, 0};
    }
    if (err_open) {
      err_slot = static_cast<int>(count);
      fds[count++] = {err_fd, POLLIN, 0};
    }
    if (in_open) {
      in_slot = static_cast<int>(count);
      fds[count++] = {in_fd, POLLOUT, 0};
    }
    if (poll(fds, count, -1) < 0) {
      if (errno == EINTR) continue;
      break;
    }
    char buffer[65536];
    const auto drain = [&](int slot, int fd, std::string& text, bool& open) {
      if (slot < 0 || fds[slot].revents == 0) return;
      const ssize_t got = read(fd, buffer, sizeof buffer);
      if (got > 0) {
        text.append(buffer, static_cast<std::size_t>(got));
      } else if (got == 0 || errno != EINTR) {
        open = false;
      }
    };
    drain(out_slot, out_fd, out, out_open);
    drain(err_slot, err_fd, err, err_open);
    if (in_slot >= 0 && fds[in_slot].revents != 0) {
      const ssize_t put = write(in_fd, input.data() + written, input.size() - written);
      if (put > 0) written += static_cast<std::size_t>(put);
      if (put < 0 && errno != EINTR && errno != EAGAIN) written = input.size();
      if (written == input.size()) {
        close(in_fd);
        in_open = false;
      }
    }
  }
  if (in_open) close(in_fd);
}

}  // namespace detail

// Runs program (a path, or a name found on PATH) with arguments, as run_tool does the tool.
inline ToolRun run_program(const std::string& program, const std::vector<std::string>& arguments,
                           const ToolOptions& options = {}) {
  ToolRun run;
  run.command = program;
  for (const auto& [name, value] : options.env)
    run.command = name + "=" + value + " " + run.command;
  for (const std::string& argument : arguments) run.command += " '" + argument + "'";

  std::vector<std::string> environment;
  for (char** entry = environ; *entry != nullptr; ++entry) {
    if (!detail::changes_answers(*entry)) environment.emplace_back(*entry);
  }
  for (const auto& [name, value] : options.env) environment.push_back(name + "=" + value);
  std::vector<char*> envp;
  for (std::string& entry : environment) envp.push_back(entry.data());
  envp.push_back(nullptr);
  std::vector<std::string> argv_text = {program};
  argv_text.insert(argv_text.end(), arguments.begin(), arguments.end());
  std::vector<char*> argv;
  for (std::string& argument : argv_text) argv.push_back(argument.data());
  argv.push_back(nullptr);

  int in_pipe[2];
  int out_pipe[2];
  int err_pipe[2];
  if (pipe2(in_pipe, O_CLOEXEC) != 0 || pipe2(out_pipe, O_CLOEXEC) != 0 ||
      pipe2(err_pipe, O_CLOEXEC) != 0) {
    run.err = "pipe failed";
    return run;
  }
  // A child that stops reading its input must not kill the test with SIGPIPE.
  signal(SIGPIPE, SIG_IGN);
  const pid_t child = fork();
  if (child == 0) {
    dup2(in_pipe[0], STDIN_FILENO);
    dup2(out_pipe[1], STDOUT_FILENO);
    dup2(err_pipe[1], STDERR_FILENO);
    execvpe(argv[0], argv.data(), envp.data());
    _exit(127);
  }
  close(in_pipe[0]);
  close(out_pipe[1]);
  close(err_pipe[1]);
  if (child < 0) {
    close(in_pipe[1]);
    close(out_pipe[0]);
    close(err_pipe[0]);
    run.err = "fork failed";
    return run;
  }
  detail::pump(in_pipe[1], options.input, out_pipe[0], err_pipe[0], run.out, run.err);
  close(out_pipe[0]);
  close(err_pipe[0]);
  int wait_status = 0;
  while (waitpid(child, &wait_status, 0) < 0 && errno == EINTR) {
  }
  run.status = WIFEXITED(wait_status)     ? WEXITSTATUS(wait_status)
               : WIFSIGNALED(wait_status) ? 128 + WTERMSIG(wait_status)
                                          : -1;
  return run;
}

// Runs the installed tool with arguments.
inline ToolRun run_tool(const std::vector<std::string>& arguments,
                        const ToolOptions& options = {}) {
  return run_program(installed_tool(), arguments, options);
}

// Whether text holds part.
inline bool contains(const std::string& text, const std::string& part) {
  return text.find(part) != std::string::npos;
}

}  // namespace tool_test

#endif  // PGMDEV_TESTS_TOOL_RUNNER_H
