#include "platform/process.h"

#include <fcntl.h>
#include <pwd.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <system_error>
#include <thread>
#include <vector>

#include "platform/path.h"
#include "platform/text.h"
#include "platform/translate.h"

namespace nandell {
namespace {

bool IsNotepad(const std::string& file) {
  return EqualsIgnoringAsciiCase(file, "notepad.exe") || EqualsIgnoringAsciiCase(file, "notepad");
}

void WaitFor(pid_t pid) {
  int status = 0;
  while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
  }
}

}  // namespace

std::string ExecutablePath() {
  std::vector<char> buffer(PATH_MAX);
  for (;;) {
    ssize_t n = ::readlink("/proc/self/exe", buffer.data(), buffer.size());
    if (n < 0) return std::string();
    if (static_cast<std::size_t>(n) < buffer.size()) {
      return std::string(buffer.data(), static_cast<std::size_t>(n));
    }
    buffer.resize(buffer.size() * 2);
  }
}

int64_t ProcessId() {
  return static_cast<int64_t>(::getpid());
}

std::string CurrentDirectory() {
  std::vector<char> buffer(PATH_MAX);
  for (;;) {
    if (::getcwd(buffer.data(), buffer.size()) != nullptr) {
      std::string dir(buffer.data());
      if (dir.empty() || dir.back() != '/') dir += '/';
      return dir;
    }
    if (errno != ERANGE) return std::string();
    buffer.resize(buffer.size() * 2);
  }
}

bool SetWorkingDirectory(const std::string& path) {
  return !path.empty() && ::chdir(path.c_str()) == 0;
}

void DebugOutput(std::string_view text) {
  std::size_t done = 0;
  while (done < text.size()) {
    ssize_t n = ::write(STDERR_FILENO, text.data() + done, text.size() - done);
    if (n < 0) {
      if (errno == EINTR) continue;
      return;
    }
    done += static_cast<std::size_t>(n);
  }
}

std::vector<std::string> CommandLineArguments(int argc, char** argv) {
  return std::vector<std::string>(argv, argv + argc);
}

void PrepareConsoleOutput() {}

std::string SystemConfigDir() {
  return "/etc/";
}

std::string UserConfigDir() {
  const char* xdg = std::getenv("XDG_CONFIG_HOME");
  if (xdg != nullptr && xdg[0] == '/') return WithTrailingSeparator(xdg) + "nandell/";
  std::string home;
  const char* env_home = std::getenv("HOME");
  if (env_home != nullptr && env_home[0] == '/') {
    home = env_home;
  } else {
    std::vector<char> buffer(16384);
    passwd entry{};
    passwd* found = nullptr;
    if (::getpwuid_r(::getuid(), &entry, buffer.data(), buffer.size(), &found) == 0 && found &&
        found->pw_dir != nullptr && found->pw_dir[0] == '/') {
      home = found->pw_dir;
    }
  }
  if (home.empty()) return std::string();
  return WithTrailingSeparator(home) + ".config/nandell/";
}

int32_t LaunchWithDesktop(const std::string& file, const std::string& parameters, bool wait) {
  std::vector<std::string> args;
  if (IsNotepad(file)) {
    args = {"xdg-open", parameters};
  } else if (parameters.empty()) {
    args = {"xdg-open", file};
  } else {
    args = {file, parameters};
  }
  std::vector<char*> argv;
  for (std::string& arg : args) argv.push_back(arg.data());
  argv.push_back(nullptr);
  // The program started speaks the user's language, not the one chosen for Nandell.
  std::vector<std::string> environment = UserEnvironment();
  std::vector<char*> envp;
  for (std::string& entry : environment) envp.push_back(entry.data());
  envp.push_back(nullptr);

  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
  pid_t pid = 0;
  int rc = ::posix_spawnp(&pid, argv[0], &actions, nullptr, argv.data(), envp.data());
  posix_spawn_file_actions_destroy(&actions);
  if (rc != 0) return wait ? -1 : 0;
  if (wait) {
    WaitFor(pid);
    return 0;
  }
  // Reap the child when it ends, so that it does not linger as a zombie. Without a thread
  // for that (the system is out of them), the child stays a zombie until the program ends.
  try {
    std::thread([pid] { WaitFor(pid); }).detach();
  } catch (const std::system_error&) {
  }
  return 0;
}

}  // namespace nandell
