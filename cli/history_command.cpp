// `nandell-cli history`: one line per run into an output folder, from the runs' journals.
#include <cstdio>
#include <string>

#include "cli/commands.h"
#include "engine/undo.h"
#include "platform/file.h"
#include "platform/translate.h"

namespace nandell::cli {

int RunHistory(const Arguments& args) {
  const std::string folder = ExistingFolderOperand(args);
  if (folder.empty()) return 2;
  const auto runs = ListRuns(fs::RealFileSystem(), folder);
  if (runs.empty()) std::printf("%s\n", TrFormat("没有整理记录: %s", folder.c_str()).c_str());
  for (const auto& [path, journal] : runs) {
    std::printf("%s\n", FormatHistoryLine(path, journal).c_str());
  }
  return std::fflush(stdout) == 0 ? 0 : 1;
}

}  // namespace nandell::cli
