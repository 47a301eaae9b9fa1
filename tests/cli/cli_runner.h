#pragma once

// Starts nandell-cli with arguments and extra environment entries, its output going to
// files or a pipe.

#include <fcntl.h>
#include <grp.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "tests/support/wait_until.h"

extern char** environ;

namespace nandell::testing {

struct CliProcess {
  pid_t pid = -1;
  int stdout_pipe = -1;  // read end when the output goes to a pipe
};

// Starts the program; stdout goes to `stdout_path` (a pipe when empty), stderr to
// `stderr_path`. `env` entries ("NAME=value") come before the inherited environment; an entry
// "-NAME" leaves NAME out of it. With `uid` >= 0 the program runs as that user and group (the
// caller must be root).
inline CliProcess StartCli(const std::vector<std::string>& args,
                           const std::vector<std::string>& env, const std::string& stdout_path,
                           const std::string& stderr_path, int uid = -1) {
  std::vector<std::string> argv_text = {NANDELL_CLI_PATH};
  argv_text.insert(argv_text.end(), args.begin(), args.end());
  std::vector<char*> argv;
  for (auto& a : argv_text) argv.push_back(a.data());
  argv.push_back(nullptr);
  std::vector<std::string> env_text, removed;
  for (const std::string& entry : env) {
    if (entry.rfind('-', 0) == 0) {
      removed.push_back(entry.substr(1) + "=");
    } else {
      env_text.push_back(entry);
    }
  }
  for (char** e = environ; *e != nullptr; ++e) {
    bool keep = true;
    for (const std::string& name : removed) keep = keep && std::string(*e).rfind(name, 0) != 0;
    if (keep) env_text.push_back(*e);
  }
  std::vector<char*> envp;
  for (auto& e : env_text) envp.push_back(e.data());
  envp.push_back(nullptr);

  int pipe_fds[2] = {-1, -1};
  if (stdout_path.empty() && ::pipe2(pipe_fds, O_CLOEXEC) != 0) return {};
  int out = stdout_path.empty()
                ? pipe_fds[1]
                : ::open(stdout_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
  int err = ::open(stderr_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
  CliProcess process;
  process.pid = ::fork();
  if (process.pid == 0) {
    ::dup2(out, STDOUT_FILENO);
    ::dup2(err, STDERR_FILENO);
    int null_in = ::open("/dev/null", O_RDONLY);
    ::dup2(null_in, STDIN_FILENO);
    ::signal(SIGINT, SIG_DFL);
    if (uid >= 0 && (::setgroups(0, nullptr) != 0 || ::setgid(uid) != 0 || ::setuid(uid) != 0))
      ::_exit(126);
    ::execve(argv[0], argv.data(), envp.data());
    ::_exit(127);
  }
  ::close(out);
  ::close(err);
  process.stdout_pipe = pipe_fds[0];
  return process;
}

// Waits for the program; returns its exit code, or 128 + the signal that ended it.
inline int WaitCli(const CliProcess& process) {
  int status = 0;
  if (::waitpid(process.pid, &status, 0) != process.pid) return -1;
  if (WIFSIGNALED(status)) return 128 + WTERMSIG(status);
  return WEXITSTATUS(status);
}

// The lines of /proc/PID/task/*/FILE, one a thread of the process `pid`.
inline std::vector<std::string> ThreadLines(pid_t pid, const std::string& file,
                                            const std::string& prefix = "") {
  std::vector<std::string> lines;
  std::error_code error;
  const std::string tasks = "/proc/" + std::to_string(pid) + "/task";
  for (std::filesystem::directory_iterator it(tasks, error), end; !error && it != end;
       it.increment(error)) {
    std::ifstream in(it->path() / file);
    for (std::string line; std::getline(in, line);) {
      if (line.rfind(prefix, 0) == 0) lines.push_back(line.substr(prefix.size()));
    }
  }
  return lines;
}

// Whether a thread of the process `pid` is inside one of the system calls `numbers` (with
// `first_argument` as its first argument, when given): blocked in it, or held there by a
// tracer.
inline bool InSystemCall(pid_t pid, const std::vector<long>& numbers, long first_argument = -1) {
  for (const std::string& line : ThreadLines(pid, "syscall")) {
    long number = -1;
    unsigned long argument = 0;
    if (std::sscanf(line.c_str(), "%ld %lx", &number, &argument) < 1) continue;
    const bool listed = std::find(numbers.begin(), numbers.end(), number) != numbers.end();
    if (listed && (first_argument < 0 || argument == static_cast<unsigned long>(first_argument)))
      return true;
  }
  return false;
}

// Sends `signal` to the program and waits until one of its threads has taken it (it is no
// longer pending) and has left the handler that it then ran (no thread holds it blocked, as a
// thread does while it runs the signal's handler); at most 10 seconds each. Without this, a
// test that reads the program's output right after the signal can let the program go on
// before the handler has run.
inline bool SignalAndWaitTaken(const CliProcess& process, int signal) {
  if (::kill(process.pid, signal) != 0) return false;
  const unsigned long long bit = 1ULL << (signal - 1);
  const auto any_has_bit = [&](const std::vector<std::string>& masks) {
    for (const std::string& mask : masks) {
      if ((std::stoull(mask, nullptr, 16) & bit) != 0) return true;
    }
    return false;
  };
  return WaitUntil([&] {
           std::vector<std::string> pending = ThreadLines(process.pid, "status", "ShdPnd:");
           for (const std::string& mask : ThreadLines(process.pid, "status", "SigPnd:"))
             pending.push_back(mask);
           return !any_has_bit(pending);
         }) &&
         WaitUntil([&] { return !any_has_bit(ThreadLines(process.pid, "status", "SigBlk:")); });
}

inline int RunCli(const std::vector<std::string>& args, const std::vector<std::string>& env,
                  const std::string& stdout_path, const std::string& stderr_path, int uid = -1) {
  return WaitCli(StartCli(args, env, stdout_path, stderr_path, uid));
}

// RunCli, but a program still running after `seconds` is killed: -1.
inline int RunCliWithin(int seconds, const std::vector<std::string>& args,
                        const std::vector<std::string>& env, const std::string& stdout_path,
                        const std::string& stderr_path) {
  const CliProcess process = StartCli(args, env, stdout_path, stderr_path);
  int status = 0;
  if (WaitUntil([&] { return ::waitpid(process.pid, &status, WNOHANG) == process.pid; },
                std::chrono::seconds(seconds))) {
    return WIFSIGNALED(status) ? 128 + WTERMSIG(status) : WEXITSTATUS(status);
  }
  ::kill(process.pid, SIGKILL);
  WaitCli(process);
  return -1;
}

}  // namespace nandell::testing
