#include "platform/process.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <mutex>
#include <system_error>
#include <thread>
#include <vector>

#include "platform/text.h"

extern char** environ;

namespace nandell {
namespace {

std::mutex& LauncherMutex() {
  static std::mutex mutex;
  return mutex;
}

ProgramLauncher& InstalledLauncher() {
  static ProgramLauncher launcher;
  return launcher;
}

bool IsNotepad(const std::string& file) {
  const std::string lower = AsciiLower(file);
  return lower == "notepad.exe" || lower == "notepad";
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

std::string ExecutableDir() {
  std::string path = ExecutablePath();
  std::size_t slash = path.rfind('/');
  if (slash == std::string::npos) return std::string();
  return path.substr(0, slash + 1);
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

bool SetCurrentDirectory(const std::string& path) {
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

ProgramLauncher SetProgramLauncher(ProgramLauncher launcher) {
  std::lock_guard<std::mutex> lock(LauncherMutex());
  ProgramLauncher previous = std::move(InstalledLauncher());
  InstalledLauncher() = std::move(launcher);
  return previous;
}

int32_t RunProgram(const std::string& file, const std::string& parameters, bool wait) {
  ProgramLauncher launcher;
  {
    std::lock_guard<std::mutex> lock(LauncherMutex());
    launcher = InstalledLauncher();
  }
  if (launcher) return launcher(file, parameters, wait);
  return LaunchWithDesktop(file, parameters, wait);
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

  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
  pid_t pid = 0;
  int rc = ::posix_spawnp(&pid, argv[0], &actions, nullptr, argv.data(), environ);
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
