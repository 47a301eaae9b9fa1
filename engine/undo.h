#pragma once

// Undoing a run from its journal: moved files go back to their sources, copies still holding
// what was placed are removed, then the folders the run made are removed when empty. The
// undo appends its own lines to the journal, so that an undo that is interrupted finishes
// the rest when run again, one that kept files for an error (a link in the way, a full disk)
// tries them again, and one that ran to its end is not done twice. Only the user's own
// journal is followed, found in the output folder it records (that folder renamed or moved
// since is followed there), and only for files inside the run's two folders.

#include <atomic>
#include <cstdint>
#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "engine/journal.h"
#include "engine/known_files.h"
#include "platform/file_system.h"
#include "platform/translate.h"

namespace nandell {

/// What became of one file of the run.
struct UndoFileEvent {
  int32_t ordinal = 0;  ///< 1 for the first file this undo handled.
  bool kept = false;    ///< True: left where it is; the message says why.
  /// "移回文件(N): TARGET\r\n\r\n移回到: SOURCE\r\n", "删除副本(N): TARGET\r\n\r\n原文件:
  /// SOURCE\r\n", "副本已不在(N): TARGET\r\n", or a line that names a file kept and why.
  std::string message;
};

/// The end of an undo.
struct UndoEndEvent {
  int32_t undone = 0;  ///< Files moved back, copies removed (or already gone).
  int32_t kept = 0;    ///< Files left where they are.
  /// Of the kept files, those kept for an error (a link in the way, a full disk) that the next
  /// undo tries again.
  int32_t to_retry = 0;
  bool stopped = false;  ///< Stopped before its end: running it again finishes it.
  std::string summary;   ///< "\r\n\r\n撤销文件 %d 个, 保留 %d 个".
};

/// Refusals of an undo, each followed by the folder or journal it is about.
inline constexpr const char* kNothingToUndoText = TrNoop("没有可撤销的整理: ");
inline constexpr const char* kAlreadyUndoneText = TrNoop("这次整理已撤销: ");
inline constexpr const char* kJournalBusyText = TrNoop("整理或撤销正在进行: ");
inline constexpr const char* kForeignJournalText =
    TrNoop("整理记录不属于当前用户, 或别人可以改写: ");
inline constexpr const char* kOtherFolderText = TrNoop("整理记录属于另一个目录: ");
inline constexpr const char* kOutsideFolderText = TrNoop("整理记录中的文件不在它的目录内: ");
/// The last line of an undo that was stopped.
inline constexpr const char* kUndoStoppedText = TrNoop("(撤销已停止, 再次撤销可继续)");

/// The journal of the latest run into `output_folder` that is not undone yet (FullyUndone)
/// among the trusted ones; empty with `refusal` set (kNothingToUndoText + the folder) when there
/// is none.
std::string LatestJournal(fs::FileSystem& file_system, const std::string& output_folder,
                          std::string* refusal);

/// Undoes the run of the journal `path` (OUTPUT/.nandell/journal/NAME), holding the journal's
/// lock, in the folder OUTPUT. Each file is reported to `on_file` as it is handled; `running`
/// false stops after the file in hand. Returns the exit code: 0 when every file was undone, 1
/// when one was kept or the undo was stopped, 2 when it was refused (`refusal` set, nothing
/// changed: not a journal or not a regular file, unreadable, undone already, in use by a run
/// or an undo, not the user's own or writable by others, recording another folder than
/// OUTPUT, or naming a file outside the run's folders). With `known_files`, the library's index
/// of OUTPUT, where it exists, forgets every file the undo took away.
int UndoRun(fs::FileSystem& file_system, const std::string& path, const std::atomic<bool>& running,
            const std::function<void(const UndoFileEvent&)>& on_file, UndoEndEvent* end,
            std::string* refusal, const KnownFilesOpener& known_files = {});

}  // namespace nandell
