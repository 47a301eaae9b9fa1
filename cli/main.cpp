// nandell-cli: the command-line face of the organizer.
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "cli/commands.h"
#include "platform/process.h"

namespace {

void PrintUsage(FILE* out) {
  std::fputs(
      "usage: nandell-cli date FILE...\n"
      "       nandell-cli organize PHOTO_FOLDER OUTPUT_FOLDER [--move] [--by-day | --by-year]\n"
      "                            [--filters LIST] [--quiet]\n",
      out);
}

}  // namespace

int main(int argc, char** argv) {
  nandell::PrepareConsoleOutput();
  // Paths arrive in UTF-8 on every platform (Windows hands argv over in its code page).
  std::vector<std::string> arguments = nandell::CommandLineArguments(argc, argv);
  std::vector<char*> utf8_argv;
  for (std::string& argument : arguments) utf8_argv.push_back(argument.data());
  utf8_argv.push_back(nullptr);
  argc = static_cast<int>(arguments.size());
  argv = utf8_argv.data();

  if (argc < 2) {
    PrintUsage(stderr);
    return 2;
  }
  const char* command = argv[1];
  if (std::strcmp(command, "date") == 0) return nandell::cli::RunDate(argc - 2, argv + 2);
#ifdef _WIN32
  if (std::strcmp(command, "organize") == 0) {
    std::fputs("nandell-cli organize: not available on Windows yet\n", stderr);
    return 2;
  }
#else
  if (std::strcmp(command, "organize") == 0) return nandell::cli::RunOrganize(argc - 2, argv + 2);
#endif
  if (std::strcmp(command, "--help") == 0 || std::strcmp(command, "-h") == 0) {
    PrintUsage(stdout);
    return 0;
  }
  std::fprintf(stderr, "nandell-cli: unknown command '%s'\n", command);
  PrintUsage(stderr);
  return 2;
}
