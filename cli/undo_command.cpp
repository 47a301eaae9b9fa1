// `nandell-cli undo`: undoes one run from its journal, with every file's message on standard
// output and the summary at the end.
#include <atomic>
#include <cstdio>
#include <string>

#include "cli/commands.h"
#include "cli/run_console.h"
#include "engine/undo.h"
#include "platform/file.h"
#include "platform/translate.h"

namespace nandell::cli {
namespace {

// Ctrl-C stops the undo after the file in hand; running it again finishes the rest.
std::atomic<bool> g_undo_running{true};

}  // namespace

int RunUndo(const Arguments& args) {
  const std::string operand = args.operands.empty() ? std::string() : args.operands[0];
  fs::FileSystem& disk = fs::RealFileSystem();
  std::string refusal;
  std::string journal;
  if (IsFolder(operand)) {
    journal = LatestJournal(disk, FolderOperand(operand), &refusal);
  } else if (disk.Exists(operand)) {
    journal = operand;
  } else {
    refusal = Tr("目录不存在:") + operand;
  }
  if (journal.empty()) {
    std::fprintf(stderr, "%s\n", refusal.c_str());
    return 2;
  }

  UndoEndEvent end;
  int code = 2;
  {
    InterruptClears interrupt(g_undo_running);
    code = UndoRun(
        disk, journal, g_undo_running, [](const UndoFileEvent& event) { PrintText(event.message); },
        &end, &refusal, LibraryOpener());
  }
  if (code == 2) {
    std::fprintf(stderr, "%s\n", refusal.c_str());
    return 2;
  }
  PrintText(end.summary + "\n");
  if (end.stopped) std::printf("%s\n", Tr(kUndoStoppedText));
  std::fflush(stdout);
  return code;
}

}  // namespace nandell::cli
