#pragma once

// What an organizing run reports: one event per file taken and one when the run has ended,
// in the run's own terms. The window and the command line decide what each means for them.

#include <cstdint>
#include <string>

#include "engine/known_files.h"
#include "platform/translate.h"

namespace nandell {

/// The counters of a run (both 0 at its start).
struct JobCounters {
  int32_t ProcessedCount = 0;  ///< Files taken so far, failed ones included (the ordinal).
  int32_t FailedCount = 0;     ///< Files whose copy or move failed.
  /// Files skipped because an identical file held the name, or the library held their content.
  int32_t SkippedCount = 0;
};

/// What became of one file.
enum class FileOutcome {
  kTransferred,  ///< Copied or moved to its target (in a dry run: would be).
  kFailed,       ///< Not transferred; the source is where it was (in a dry run: would fail).
  /// Not transferred: an identical file holds the name (SkipIdentical), or the library holds its
  /// content (SkipKnown).
  kSkipped,
  /// Not a file: a folder of the photo folder that could not be opened or read to its end.
  /// Counted in FailedCount only; `source` is the folder, `target` empty, `ordinal` 0.
  kUnreadableFolder,
};

/// One file taken by the run (or a folder it could not read).
struct FileEvent {
  int32_t ordinal = 0;  ///< 1 for the first file taken, failed ones counted too.
  /// The files the run counted before its walk (the files it is to take; 0 when none). A file
  /// added to the photo folder during the run can make `ordinal` pass it.
  int32_t total = 0;
  std::string source;  ///< The path as listed.
  /// The target path the file went (or was to go) to: a free name when its own was taken
  /// (RenameConflicts); the identical file when it was skipped.
  std::string target;
  bool move = false;  ///< True for a move, false for a copy.
  FileOutcome outcome = FileOutcome::kTransferred;
  /// The message in the chosen language; in Chinese, the designed
  /// "复制文件(N): SOURCE\r\n\r\n复制到: TARGET\r\n" (or 移动…), or the failure line
  /// "复制文件失败: SOURCE -> TARGET (REASON)\r\n" (or 移动文件失败…), or
  /// "无法读取目录: FOLDER (REASON)\r\n", or for a skipped file
  /// "相同文件已存在(N): SOURCE\r\n\r\n跳过: TARGET\r\n" (or, known to the library,
  /// "已在库中(N): SOURCE\r\n\r\n位置: TARGET\r\n"). For a group (KeepTogether) its
  /// principal's, followed by one line for each other member (FormatCompanionLine).
  std::string message;
  /// Why the file failed, as the system words it ("File exists"), and where a failed move
  /// left its source when not under its name; empty on success.
  std::string reason;
  JobCounters counters;  ///< The counters with this file counted.
};

/// The end of a run.
struct RunEndEvent {
  JobCounters counters;  ///< Final counters.
  bool stopped = false;  ///< True when the run was stopped before its walk finished.
  bool dry_run = false;  ///< True when nothing was changed on disk.
  /// The summary line in the chosen language ("\r\n\r\n整理文件 %d 个, 失败 %d 个", with
  /// ", 跳过 %d 个" after a run that skipped files).
  std::string summary;
  /// Path of errorFile.txt when this run wrote it (a run with failures), else empty.
  std::string error_file;
  /// When the run had failures but errorFile.txt could not be written: its path, ": " and
  /// the reason. Empty otherwise.
  std::string error_file_problem;
  /// The run's journal (OUTPUT/.nandell/journal/...), when it placed a file; else empty.
  std::string journal;
  /// When the journal could not be made or written to its end: its path, ": " and the
  /// reason. Empty otherwise.
  std::string journal_problem;
  /// The notices of the library's index during the run (set aside, cannot be used), one a
  /// line; empty otherwise.
  std::string index_notices;
};

/// The last line of a dry run, after its summary (translated where it is shown).
inline constexpr const char* kDryRunNoteText = TrNoop("(预演: 未改动任何文件)\n");

/// Receives a run's events. Every call is made on the run's worker thread, in order, and must
/// return promptly without waiting for a thread that waits for the run.
class RunObserver {
 public:
  virtual ~RunObserver() = default;
  /// After every file taken, success or failure, in walk order.
  virtual void OnFileDone(const FileEvent& event) = 0;
  /// Once at the end, after errorFile.txt was written (or not); the last call of a run.
  virtual void OnRunEnded(const RunEndEvent& event) = 0;
  /// While the library's index is made ready before the walk (SkipKnown), and for each of its
  /// notices.
  virtual void OnIndexProgress(const IndexProgress& /*progress*/) {}
};

/// The summary line for the given counters, in the chosen language (platform/translate.h); the
/// skipped count only when files were skipped.
std::string FormatSummary(const JobCounters& counters);

/// The message of a file in the chosen language: the success message with its ordinal, or the
/// failure line with `reason` in brackets before its line end (when not empty).
std::string FormatFileMessage(int32_t ordinal, const std::string& source, const std::string& target,
                              bool move, bool ok, const std::string& reason = std::string());

/// The failure line of a folder that could not be read: "无法读取目录: FOLDER (REASON)\r\n".
std::string FormatUnreadableFolder(const std::string& folder, const std::string& reason);

/// The reason of a failed file: `reason`, and where a failed move left its source when that is
/// not its own name ("源文件保留为: PATH").
std::string FailureReason(const std::string& reason, const std::string& kept_as);

/// The line of a file that went (or was to go) with the file of a message as one group, after
/// that message: "一同复制: SOURCE -> TARGET\r\n" (一同移动, 一同跳过), or after a failure
/// "同组文件未复制: SOURCE -> TARGET\r\n" (同组文件未移动), with "(源文件保留为: PATH)" when a
/// failed move left the source under another name `kept_as`.
std::string FormatCompanionLine(const std::string& source, const std::string& target, bool move,
                                FileOutcome outcome, const std::string& kept_as = std::string());

/// The message of a file skipped because `target` holds the same bytes.
std::string FormatSkipMessage(int32_t ordinal, const std::string& source,
                              const std::string& target);

}  // namespace nandell
