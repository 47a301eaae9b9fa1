// Opens the process-wide settings store like the GUI program (or, with --reader, like the
// command line), applies "Field=value" arguments to the three fields the main window owns,
// prints what it found as "name=value" lines, and exits, which saves Config.ini.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "platform/process.h"
#include "settings/settings_store.h"

namespace {

void Print(const nandell::SettingsStore& store) {
  std::printf("cwd=%s\n", nandell::CurrentDirectory().c_str());
  std::printf("ModuleDir=%s\n", store.ModuleDir.c_str());
  std::printf("ExeName=%s\n", store.ExeName.c_str());
  std::printf("ConfigDir=%s\n", store.ConfigDir.c_str());
  std::printf("IsDeleteSrc=%d\n", store.IsDeleteSrc);
  std::printf("PathSrc=%s\n", store.PathSrc.c_str());
  std::printf("PathTar=%s\n", store.PathTar.c_str());
  std::printf("FileFilters=%s\n", store.FileFilters.c_str());
  std::printf("IsClassifyByYear=%d\n", store.IsClassifyByYear);
  std::printf("Url=%s\n", store.Url.c_str());
  std::printf("CheckVersion=%d\n", store.CheckVersion);
}

}  // namespace

int main(int argc, char** argv) {
  nandell::PrepareConsoleOutput();
  std::vector<std::string> arguments = nandell::CommandLineArguments(argc, argv);
  std::vector<char*> utf8_argv;
  for (std::string& argument : arguments) utf8_argv.push_back(argument.data());
  argc = static_cast<int>(arguments.size());
  argv = utf8_argv.data();
  if (argc > 1 && std::strcmp(argv[1], "--reader") == 0) {
    nandell::SettingsStore& reader = nandell::OpenSettings(false);
    if (&nandell::Settings() != &reader) return 3;
    Print(reader);
    return 0;
  }
  nandell::SettingsStore& store = nandell::Settings();
  for (int i = 1; i < argc; ++i) {
    std::string arg = argv[i];
    std::size_t equals = arg.find('=');
    if (equals == std::string::npos) return 2;
    std::string name = arg.substr(0, equals);
    std::string value = arg.substr(equals + 1);
    if (name == "IsDeleteSrc") {
      store.IsDeleteSrc = std::atoi(value.c_str());
    } else if (name == "PathSrc") {
      store.PathSrc = value;
    } else if (name == "PathTar") {
      store.PathTar = value;
    } else {
      return 2;
    }
  }
  Print(store);
  return 0;
}
