// nandell-cli: the command-line face of the organizer.
#include <cstdio>
#include <cstring>

#include "cli/commands.h"

namespace {

void PrintUsage(FILE* out) {
  std::fputs(
      "usage: nandell-cli date [--media-dates] FILE...\n"
      "       nandell-cli organize PHOTO_FOLDER OUTPUT_FOLDER [--move] [--by-day | --by-year]\n"
      "                            [--filters LIST] [--media-dates] [--quiet]\n",
      out);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    PrintUsage(stderr);
    return 2;
  }
  const char* command = argv[1];
  if (std::strcmp(command, "date") == 0) return nandell::cli::RunDate(argc - 2, argv + 2);
  if (std::strcmp(command, "organize") == 0) return nandell::cli::RunOrganize(argc - 2, argv + 2);
  if (std::strcmp(command, "--help") == 0 || std::strcmp(command, "-h") == 0) {
    PrintUsage(stdout);
    return 0;
  }
  std::fprintf(stderr, "nandell-cli: unknown command '%s'\n", command);
  PrintUsage(stderr);
  return 2;
}
