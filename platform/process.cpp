#include "platform/process.h"

#include <mutex>

#include "platform/path.h"

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

}  // namespace

std::string ExecutableDir() {
  std::string path = ExecutablePath();
  std::size_t separator = LastSeparator(path);
  if (separator == std::string::npos) return std::string();
  return path.substr(0, separator + 1);
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

}  // namespace nandell
