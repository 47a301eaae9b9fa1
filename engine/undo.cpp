#include "engine/undo.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <memory>

#include "engine/run_events.h"
#include "platform/file.h"
#include "platform/fs.h"
#include "platform/path.h"
#include "platform/process.h"
#include "platform/translate.h"

namespace nandell {
namespace {

// The two folders of the run as the undo reaches them: each opened by the path the run was
// given (links followed, as the run opens the folders chosen), and every level below them
// without following a link, so that a link put where a year, day or source folder was since
// the run cannot lead the undo to files that it did not place.
struct RunFolders {
  std::string photo_path;  // ending with a separator
  std::string output_path;
  fs::FolderRef photo;  // null while it cannot be opened
  fs::FolderRef output;
};

// Opens the absolute folder `path` (ending with a separator), making its missing levels below
// the deepest one that exists.
int OpenMakingFolders(fs::FileSystem& file_system, const std::string& path, fs::FolderRef* folder) {
  if (!IsAbsolutePath(path)) return EINVAL;
  size_t end = path.size();
  fs::FolderRef base;
  while (file_system.OpenFolder(path.substr(0, end), &base) != 0) {
    // The folder above: up to the separator before the one that ends this level.
    const size_t above = end <= 1 ? std::string::npos : LastSeparator(path.substr(0, end - 1));
    if (above == std::string::npos) return ENOENT;
    end = above + 1;
  }
  if (end == path.size()) {
    *folder = std::move(base);
    return 0;
  }
  bool made = false;
  return file_system.OpenTargetFolder(*base, path.substr(end), &made, folder);
}

// True when a level of `relative` is "..", which would climb out of the folder it is below.
bool ClimbsOut(const std::string& relative) {
  size_t start = 0;
  for (size_t i = 0; i <= relative.size(); ++i) {
    if (i == relative.size() || IsPathSeparator(relative[i])) {
      if (relative.compare(start, i - start, "..") == 0) return true;
      start = i + 1;
    }
  }
  return false;
}

// Opens the folder `path` (ending with a separator) below the open `base` named `base_path`, no
// link followed; with `make`, its missing levels are made. EINVAL when `path` is not below
// `base_path` or climbs out of it.
int OpenBelow(fs::FileSystem& file_system, const fs::FolderRef& base, const std::string& base_path,
              const std::string& path, bool make, fs::FolderRef* folder) {
  if (!base) return ENOENT;
  if (path.compare(0, base_path.size(), base_path) != 0) return EINVAL;
  const std::string relative = path.substr(base_path.size());
  if (relative.empty()) {
    *folder = base;
    return 0;
  }
  if (ClimbsOut(relative)) return EINVAL;
  if (!make) return file_system.OpenSubfolder(*base, relative, folder);
  bool made = false;
  return file_system.OpenTargetFolder(*base, relative, &made, folder);
}

// `path` as an entry of its folder below the open `base`; false when that folder cannot be
// reached.
bool Locate(fs::FileSystem& file_system, const fs::FolderRef& base, const std::string& base_path,
            const std::string& path, fs::FileAt* file) {
  const size_t slash = LastSeparator(path);
  fs::FolderRef folder;
  if (slash == std::string::npos ||
      OpenBelow(file_system, base, base_path, path.substr(0, slash + 1), false, &folder) != 0) {
    return false;
  }
  *file = fs::FileAt{folder, path.substr(slash + 1)};
  return true;
}

// True when `file` is a regular file of the recorded size and checksum, or, for a file the run
// only renamed, of the recorded size, last-write time and identity (a rename keeps them all).
// `exists` tells whether any entry has the name.
bool Matches(fs::FileSystem& file_system, const fs::FileAt& file, const FileRecord& recorded,
             bool* exists) {
  fs::FileFacts facts;
  *exists = file.folder && file_system.Examine(file, &facts) == 0;
  if (!*exists || !facts.regular || facts.size != recorded.size) return false;
  const bool identity = recorded.checksum.compare(0, 3, "id:") == 0;
  FileRecord now;
  if (RecordFile(file_system, file, identity ? RecordContent::kIdentity : RecordContent::kChecksum,
                 &now) != 0) {
    return false;
  }
  if (identity && now.mtime != recorded.mtime) return false;
  return !recorded.checksum.empty() && now.checksum == recorded.checksum;
}

// One file's undo: whether it was undone, the word for the journal, and the message.
struct Outcome {
  bool undone = false;
  std::string word;
  std::string message;
};

Outcome Undone(const std::string& word, std::string message) {
  return {true, word, std::move(message)};
}

Outcome Kept(const std::string& word, std::string message) {
  return {false, word, std::move(message)};
}

// A file that could not be undone: its line names the reason, as a run's failure lines do.
Outcome Failed(const std::string& what, const std::string& reason) {
  return Kept("error: " + reason, what + " (" + reason + ")\r\n");
}

// A file that changed since the run, kept where it is.
std::string Changed(const std::string& target) {
  return TrFormat("文件已改动, 保留: %s%c%c", target.c_str(), '\r', '\n');
}

// A moved file goes back to its source, unless it changed or its source name is taken.
Outcome UndoMove(fs::FileSystem& file_system, RunFolders& folders, const JournalEntry& entry,
                 int32_t ordinal) {
  const std::string& source = entry.source;
  const std::string& target = entry.target;
  const char* to = target.c_str();
  const char* from = source.c_str();
  const std::string moved_back = TrFormat("移回文件(%d): %s%c%c%c%c移回到: %s%c%c", ordinal, to,
                                          '\r', '\n', '\r', '\n', from, '\r', '\n');
  const std::string source_taken =
      TrFormat("原位置已有文件, 保留: %s -> %s%c%c", to, from, '\r', '\n');
  const std::string failed = TrFormat("移回文件失败: %s -> %s", to, from);
  fs::FileAt at_target;
  fs::FileAt at_source;
  Locate(file_system, folders.output, folders.output_path, target, &at_target);
  Locate(file_system, folders.photo, folders.photo_path, source, &at_source);
  // A move back that was killed while it held the file taken (hidden) gives it its name back.
  if (at_target.folder) {
    const fs::FileAt taken{at_target.folder, fs::TakenName(at_target.name)};
    fs::FileFacts facts;
    std::string name;
    if (file_system.Examine(taken, &facts) == 0) file_system.RecoverTaken(taken, &name);
  }
  bool target_exists = false;
  bool source_exists = false;
  const bool target_same = Matches(file_system, at_target, entry.record, &target_exists);
  const bool source_same = Matches(file_system, at_source, entry.record, &source_exists);
  if (!target_same) {
    if (target_exists) return Kept("changed", Changed(target));
    // Gone from the target: back at its source already (an undo stopped after the move),
    // or deleted since the run.
    if (source_same) return Undone("moved-back", moved_back);
    return Kept("missing", TrFormat("文件已不在: %s%c%c", target.c_str(), '\r', '\n'));
  }
  if (source_same) {
    // A move back by copy that was stopped after the copy took its name: the copy is
    // complete and checked, so the file at the target goes.
    const int error = file_system.Remove(at_target);
    if (error == 0) return Undone("moved-back", moved_back);
    return Failed(failed, fs::ReasonText(error));
  }
  if (source_exists) return Kept("source-taken", source_taken);
  const size_t slash = LastSeparator(source);
  // The source folder levels that are gone are made again, the photo folder too.
  int error = 0;
  if (!folders.photo) error = OpenMakingFolders(file_system, folders.photo_path, &folders.photo);
  fs::FolderRef folder;
  if (error == 0) {
    error = OpenBelow(file_system, folders.photo, folders.photo_path, source.substr(0, slash + 1),
                      true, &folder);
  }
  std::string kept_as;
  if (error == 0) {
    error = file_system.MoveNoReplace(at_target, fs::FileAt{folder, source.substr(slash + 1)},
                                      &kept_as);
  }
  if (error == 0) return Undone("moved-back", moved_back);
  if (error == EEXIST) return Kept("source-taken", source_taken);
  return Failed(failed, FailureReason(fs::ReasonText(error), kept_as));
}

// A copy is removed only while it holds what was placed and its source still does too: the
// copy may be the only one left of a photo whose original was deleted since.
Outcome UndoCopy(fs::FileSystem& file_system, const RunFolders& folders, const JournalEntry& entry,
                 int32_t ordinal) {
  const std::string& target = entry.target;
  fs::FileAt at_target;
  fs::FileAt at_source;
  Locate(file_system, folders.output, folders.output_path, target, &at_target);
  Locate(file_system, folders.photo, folders.photo_path, entry.source, &at_source);
  bool target_exists = false;
  if (!Matches(file_system, at_target, entry.record, &target_exists)) {
    if (!target_exists) {
      return Undone("gone",
                    TrFormat("副本已不在(%d): %s%c%c", ordinal, target.c_str(), '\r', '\n'));
    }
    return Kept("changed", Changed(target));
  }
  bool source_exists = false;
  if (!Matches(file_system, at_source, entry.record, &source_exists)) {
    return Kept("source-changed",
                TrFormat("原文件已不在或已改动, 保留副本: %s%c%c", target.c_str(), '\r', '\n'));
  }
  const int error = file_system.Remove(at_target);
  if (error != 0) {
    return Failed(TrFormat("删除副本失败: %s", target.c_str()), fs::ReasonText(error));
  }
  return Undone("removed",
                TrFormat("删除副本(%d): %s%c%c%c%c原文件: %s%c%c", ordinal, target.c_str(), '\r',
                         '\n', '\r', '\n', entry.source.c_str(), '\r', '\n'));
}

std::string NowText() {
  const auto now = std::chrono::system_clock::now();
  const int64_t seconds =
      std::chrono::duration_cast<std::chrono::seconds>(now.time_since_epoch()).count();
  return fs::LocalTimeText(seconds, "%Y-%m-%d %H:%M:%S");
}

}  // namespace

bool ReadJournal(fs::FileSystem& file_system, const std::string& path, Journal* journal,
                 std::string* refusal) {
  std::string text;
  const int error = file_system.ReadWholeFile(path, &text);
  if (error != 0) {
    *refusal = Tr(kNotAJournalText) + path + " (" + fs::ReasonText(error) + ")";
    return false;
  }
  if (!ParseJournal(text, journal)) {
    *refusal = Tr(kNotAJournalText) + path;
    return false;
  }
  return true;
}

std::vector<std::pair<std::string, Journal>> ListRuns(fs::FileSystem& file_system,
                                                      const std::string& output_folder) {
  std::vector<std::pair<std::string, Journal>> runs;
  const std::string folder = JournalFolder(output_folder);
  fs::FolderRef open;
  if (file_system.OpenFolder(folder, &open) != 0) return runs;
  std::unique_ptr<fs::FolderListing> listing = file_system.ListFolder(*open, nullptr);
  if (!listing) return runs;
  fs::DirEntry entry;
  while (listing->Next(&entry)) {
    const std::string& name = entry.name;
    if (entry.kind != fs::EntryKind::kFile || name.size() <= 4 || name[0] == '.' ||
        name.compare(name.size() - 4, 4, ".tsv") != 0) {
      continue;
    }
    Journal journal;
    std::string refusal;
    if (ReadJournal(file_system, folder + name, &journal, &refusal)) {
      runs.emplace_back(folder + name, std::move(journal));
    }
  }
  std::sort(runs.begin(), runs.end(), [](const auto& a, const auto& b) {
    if (a.second.started_ns != b.second.started_ns) {
      return a.second.started_ns < b.second.started_ns;
    }
    return a.first < b.first;
  });
  return runs;
}

std::string LatestJournal(fs::FileSystem& file_system, const std::string& output_folder,
                          std::string* refusal) {
  const auto runs = ListRuns(file_system, output_folder);
  for (auto it = runs.rbegin(); it != runs.rend(); ++it) {
    if (!it->second.undo_complete) return it->first;
  }
  *refusal = Tr(kNothingToUndoText) + output_folder;
  return std::string();
}

std::string FormatHistoryLine(const std::string& path, const Journal& journal) {
  std::string counts;
  if (journal.complete) {
    counts = TrFormat("整理文件 %d 个, 失败 %d 个", journal.counters.ProcessedCount,
                      journal.counters.FailedCount);
    if (journal.counters.SkippedCount > 0) {
      counts += TrFormat(", 跳过 %d 个", journal.counters.SkippedCount);
    }
    if (journal.stopped) counts += Tr(" (已停止)");
  } else {
    counts = TrFormat("整理文件 %d 个 (未完成)", static_cast<int>(journal.files.size()));
  }
  const char* state = journal.undo_complete  ? Tr("已撤销")
                      : journal.undo_started ? Tr("撤销未完成")
                                             : Tr("未撤销");
  return journal.started + "\t" + (journal.move ? Tr("移动") : Tr("复制")) + "\t" + counts + "\t" +
         state + "\t" + path;
}

int UndoRun(fs::FileSystem& file_system, const std::string& path, const std::atomic<bool>& running,
            const std::function<void(const UndoFileEvent&)>& on_file, UndoEndEvent* end,
            std::string* refusal) {
  *end = UndoEndEvent();
  // The lock keeps out the run that writes the journal and any other undo of it; read only
  // once it is held, the journal cannot change under the undo.
  std::unique_ptr<AppendFile> file;
  const int error = file_system.OpenLocked(path, false, &file);
  if (error == EWOULDBLOCK) {
    *refusal = Tr(kJournalBusyText) + path;
    return 2;
  }
  Journal journal;
  if (error != 0) {
    *refusal = Tr(kNotAJournalText) + path + " (" + fs::ReasonText(error) + ")";
    return 2;
  }
  if (!ReadJournal(file_system, path, &journal, refusal)) return 2;
  if (journal.undo_complete) {
    *refusal = Tr(kAlreadyUndoneText) + path;
    return 2;
  }
  // A line that a killed writer left without its line break is ended first.
  if (!journal.ends_with_line_break) file->Append("\n");
  file->Append("undo-begin\tstarted=" + NowText() + "\tpid=" + std::to_string(ProcessId()) + "\n");

  // The latest file first: a later file of the run may have taken a name that frees an
  // earlier one's.
  RunFolders folders;
  folders.photo_path = WithTrailingSeparator(journal.photo);
  folders.output_path = WithTrailingSeparator(journal.output);
  if (!folders.photo_path.empty()) file_system.OpenFolder(folders.photo_path, &folders.photo);
  if (!folders.output_path.empty()) file_system.OpenFolder(folders.output_path, &folders.output);
  std::vector<JournalEntry> pending = PendingFiles(journal);
  std::reverse(pending.begin(), pending.end());
  int32_t ordinal = 0;
  for (const JournalEntry& entry : pending) {
    if (!running.load()) {
      end->stopped = true;
      break;
    }
    ++ordinal;
    const Outcome outcome = entry.action == JournalAction::kMove
                                ? UndoMove(file_system, folders, entry, ordinal)
                                : UndoCopy(file_system, folders, entry, ordinal);
    file->Append(std::string(outcome.undone ? "undone" : "kept") + "\t" +
                 std::to_string(entry.line) + "\t" + EscapeField(outcome.word) + "\n");
    (outcome.undone ? end->undone : end->kept) += 1;
    UndoFileEvent event;
    event.ordinal = ordinal;
    event.kept = !outcome.undone;
    event.message = outcome.message;
    on_file(event);
  }
  if (!end->stopped) {
    // The day folders before the year folders that hold them; only empty ones go.
    for (auto it = journal.folders.rbegin(); it != journal.folders.rend(); ++it) {
      std::string folder = *it;
      while (!folder.empty() && IsPathSeparator(folder.back())) folder.pop_back();
      fs::FileAt at;
      if (Locate(file_system, folders.output, folders.output_path, folder, &at)) {
        file_system.RemoveFolder(at);
      }
    }
    file->Append("undo-end\tundone=" + std::to_string(end->undone) +
                 "\tkept=" + std::to_string(end->kept) + "\n");
  }
  file->Sync();
  end->summary = TrFormat("%c%c%c%c撤销文件 %d 个, 保留 %d 个", '\r', '\n', '\r', '\n', end->undone,
                          end->kept);
  return end->kept == 0 && !end->stopped ? 0 : 1;
}

}  // namespace nandell
