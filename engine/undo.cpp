#include "engine/undo.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <functional>
#include <map>
#include <memory>
#include <set>

#include "engine/file_transfer.h"
#include "engine/run_events.h"
#include "platform/calendar.h"
#include "platform/file.h"
#include "platform/path.h"
#include "platform/process.h"
#include "platform/text.h"
#include "platform/translate.h"

namespace nandell {
namespace {

constexpr const char* kJournalFolderName = "journal";
constexpr const char* kRecordsSuffix = ".nandell";

// The two folders of the run as the undo reaches them: the photo folder opened by the path the
// run was given (links followed, as the run opens the folders chosen), the output folder as the
// one that holds the journal, and every level below them without following a link, so that a
// link put where a year, day or source folder was since the run cannot lead the undo to files
// that it did not place.
struct RunFolders {
  std::string photo_path;  // ending with a separator
  std::string output_path;
  fs::FolderRef photo;  // null while it cannot be opened (photo_error says why)
  int photo_error = 0;
  fs::FolderRef output;
  std::set<std::string> cleared;  // folders whose leftovers are removed already
  // The taken (hidden) names found in each folder that was looked at, listed once.
  std::map<std::string, std::set<std::string>> taken;
  // The source folder reached last, held as the run held it while it took its files.
  std::string source_path;
  fs::FolderRef source_folder;
};

// Where a journal lies: OUTPUT + STEM + ".nandell/journal/" + NAME, where the run's output
// text was OUTPUT + STEM (STEM empty when it ended with a separator, as it always does from the
// window and the command line).
struct JournalPlace {
  std::string base;  // OUTPUT, ending with a separator
  std::string stem;
  std::string name;
};

// The last part of `path` below the separator at `end` (exclusive), and where it begins.
std::string_view LevelBefore(std::string_view path, size_t end, size_t* begin) {
  const size_t separator = end == 0 ? std::string_view::npos : LastSeparator(path.substr(0, end));
  *begin = separator == std::string_view::npos ? 0 : separator + 1;
  return path.substr(*begin, end - *begin);
}

bool SameLevelName(std::string_view a, std::string_view b) {
#ifdef _WIN32
  return EqualsIgnoringAsciiCase(a, b);  // as the file system compares them
#else
  return a == b;
#endif
}

// The place of the journal `path` (absolute); false when it is not in a journal folder.
bool PlaceOf(const std::string& path, JournalPlace* place) {
  const size_t name_separator = LastSeparator(path);
  if (name_separator == std::string::npos || name_separator + 1 == path.size()) return false;
  place->name = path.substr(name_separator + 1);
  size_t journal_begin = 0;
  size_t records_begin = 0;
  const std::string_view journal = LevelBefore(path, name_separator, &journal_begin);
  if (journal_begin == 0 || !SameLevelName(journal, kJournalFolderName)) return false;
  const std::string_view records = LevelBefore(path, journal_begin - 1, &records_begin);
  const size_t suffix = std::char_traits<char>::length(kRecordsSuffix);
  if (records_begin == 0 || records.size() < suffix ||
      !SameLevelName(records.substr(records.size() - suffix), kRecordsSuffix)) {
    return false;
  }
  place->stem = std::string(records.substr(0, records.size() - suffix));
  place->base = WithNativeSeparators(path.substr(0, records_begin));
  return true;
}

// `path` made absolute with the current folder.
std::string AbsolutePath(const std::string& path) {
  if (path.empty() || IsAbsolutePath(path)) return path;
  return CurrentDirectory() + path;
}

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

// True when `path` lies below the folder `folder` (ending with a separator) without climbing
// out of it.
bool Inside(const std::string& path, const std::string& folder) {
  return !folder.empty() && path.size() > folder.size() &&
         path.compare(0, folder.size(), folder) == 0 && !ClimbsOut(path.substr(folder.size()));
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

// `path` as an entry of its folder below the open `base`: 0, or the error that keeps the
// folder from being reached (ENOENT when a level of it is missing).
int Locate(fs::FileSystem& file_system, const fs::FolderRef& base, const std::string& base_path,
           const std::string& path, fs::FileAt* file) {
  const size_t slash = LastSeparator(path);
  fs::FolderRef folder;
  if (slash == std::string::npos) return EINVAL;
  const int error =
      OpenBelow(file_system, base, base_path, path.substr(0, slash + 1), false, &folder);
  if (error != 0) return error;
  *file = fs::FileAt{folder, path.substr(slash + 1)};
  return 0;
}

// `path` of the photo folder as an entry of its folder, as Locate finds it; the folder found last
// is held for the next file of the same folder, as the run held it while it took its files.
int LocateSource(fs::FileSystem& file_system, RunFolders& folders, const std::string& path,
                 fs::FileAt* file) {
  const size_t slash = LastSeparator(path);
  if (slash != std::string::npos && folders.source_folder &&
      path.compare(0, slash + 1, folders.source_path) == 0 &&
      folders.source_path.size() == slash + 1) {
    *file = fs::FileAt{folders.source_folder, path.substr(slash + 1)};
    return 0;
  }
  const int error = Locate(file_system, folders.photo, folders.photo_path, path, file);
  if (error == 0) {
    folders.source_path = path.substr(0, slash + 1);
    folders.source_folder = file->folder;
  }
  return error;
}

// Removes the temporary files that a killed run or undo left in `folder`, once per folder: a
// copy back that was killed leaves a full-size one in the photo folder.
void ClearLeftovers(fs::FileSystem& file_system, RunFolders& folders, const fs::FolderRef& folder) {
  if (folder && folders.cleared.insert(folder->Path()).second) file_system.RemoveLeftovers(*folder);
}

// Gives a file that a killed run or undo left taken (hidden) under `file`'s name its name back.
// Each folder is listed for taken names once: most hold none, and their files need no look-up.
void RecoverTakenAt(fs::FileSystem& file_system, RunFolders& folders, const fs::FileAt& file) {
  if (!file.folder) return;
  const auto [found, added] = folders.taken.try_emplace(file.folder->Path());
  if (added) {
    std::unique_ptr<fs::FolderListing> listing = file_system.ListFolder(*file.folder, nullptr);
    fs::DirEntry entry;
    while (listing && listing->Next(&entry)) {
      if (IsTakenName(entry.name)) found->second.insert(entry.name);
    }
  }
  if (found->second.count(TakenName(file.name)) == 0) return;
  const fs::FileAt taken{file.folder, TakenName(file.name)};
  fs::FileFacts facts;
  std::string name;
  if (file_system.Examine(taken, &facts) == 0) RecoverTaken(file_system, taken, &name);
}

// What Examine found at a name of the run.
struct Found {
  bool exists = false;
  bool same = false;  // holds what was recorded
  fs::FileFacts facts;
};

// Whether `file` is a regular file of the recorded size and checksum, or, for a file the run
// only renamed, of the recorded size, last-write time and identity (a rename keeps them all).
// With `identity` (of an intent), the file must also be the one that took the name.
Found Examine(fs::FileSystem& file_system, const fs::FileAt& file, const FileRecord& recorded,
              const std::string& identity = std::string()) {
  Found found;
  found.exists = file.folder && file_system.Examine(file, &found.facts) == 0;
  if (!found.exists || !found.facts.regular || found.facts.size != recorded.size) return found;
  // Where the system gives no file number, the content alone decides.
  if (!identity.empty() && found.facts.inode != 0 &&
      identity != IdentityText(found.facts.device, found.facts.inode)) {
    return found;
  }
  const bool by_identity = recorded.checksum.compare(0, 3, "id:") == 0;
  // A file known by its identity is not looked at again: the facts just taken tell it.
  FileRecord now;
  if (by_identity) {
    now = IdentityRecord(file_system, file, found.facts);
  } else if (RecordFile(file_system, file, RecordContent::kChecksum, &now) != 0) {
    return found;
  }
  if (by_identity && now.mtime != recorded.mtime) return found;
  found.same = !recorded.checksum.empty() && now.checksum == recorded.checksum;
  return found;
}

// True when an intent's file is at `found`, changed or not: the file that took the name.
bool TookTheName(const Found& found, const JournalEntry& entry) {
  return found.exists && !entry.identity.empty() && found.facts.inode != 0 &&
         entry.identity == IdentityText(found.facts.device, found.facts.inode);
}

bool SameFile(const fs::FileFacts& a, const fs::FileFacts& b) {
  return a.inode != 0 && a.device == b.device && a.inode == b.inode;
}

// One file's undo: whether it was undone, the word for the journal, and the message (none for
// an intent whose file was never placed: nothing of the run is there to tell of). A file that
// is still to be moved back or removed has the step that does it, whose outcome is the file's.
struct Outcome {
  bool undone = false;
  std::string word;
  std::string message;
  bool silent = false;
  std::function<Outcome()> step;
};

Outcome Undone(const std::string& word, std::string message) {
  return {true, word, std::move(message), false, nullptr};
}

Outcome Kept(const std::string& word, std::string message) {
  return {false, word, std::move(message), false, nullptr};
}

Outcome NotPlaced() {
  return {true, "not-placed", std::string(), true, nullptr};
}

// A file that is to be undone by `step`.
Outcome Step(std::function<Outcome()> step) {
  return {true, std::string(), std::string(), false, std::move(step)};
}

// A file that could not be undone: its line names the reason, as a run's failure lines do; a
// later undo tries it again.
Outcome Failed(const std::string& what, const std::string& reason) {
  return Kept("error: " + reason, what + " (" + reason + ")\r\n");
}

// A file that changed since the run, kept where it is.
Outcome Changed(const std::string& target) {
  return Kept("changed", TrFormat("文件已改动, 保留: %s%c%c", target.c_str(), '\r', '\n'));
}

// A copy that is the same file as its source (a link or the photo folder leads to it).
Outcome SameFileKept(const std::string& target) {
  return Kept("same-file",
              TrFormat("副本与原文件是同一个文件, 保留: %s%c%c", target.c_str(), '\r', '\n'));
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
  const int target_error =
      Locate(file_system, folders.output, folders.output_path, target, &at_target);
  int source_error =
      folders.photo ? LocateSource(file_system, folders, source, &at_source) : folders.photo_error;
  // A move back that was killed while it held the file taken (hidden) gives it its name back,
  // and so does a move of the run that was killed while it held the source taken.
  RecoverTakenAt(file_system, folders, at_target);
  RecoverTakenAt(file_system, folders, at_source);
  ClearLeftovers(file_system, folders, at_target.folder);
  ClearLeftovers(file_system, folders, at_source.folder);
  if (target_error != 0 && target_error != ENOENT) {
    return Failed(failed, ErrorText(target_error));
  }
  const Found at_to = Examine(file_system, at_target, entry.record, entry.identity);
  const Found at_from = Examine(file_system, at_source, entry.record);
  if (!at_to.same) {
    if (entry.intent) return TookTheName(at_to, entry) ? Changed(target) : NotPlaced();
    if (at_to.exists) return Changed(target);
    // Gone from the target: back at its source already (an undo stopped after the move),
    // or deleted since the run.
    if (at_from.same) return Undone("moved-back", moved_back);
    return Kept("missing", TrFormat("文件已不在: %s%c%c", target.c_str(), '\r', '\n'));
  }
  if (at_from.same) {
    // One file under both names (a link leads from the source to it): nothing to move back,
    // and removing it would lose it.
    if (SameFile(at_to.facts, at_from.facts)) return SameFileKept(target);
    // A move back by copy that was stopped after the copy took its name (or a move of the run
    // killed before it removed its source): the copy is complete and checked, so the file at
    // the target goes.
    return Step([&file_system, at_target, moved_back, failed] {
      const int error = file_system.Remove(at_target);
      if (error == 0) return Undone("moved-back", moved_back);
      return Failed(failed, ErrorText(error));
    });
  }
  if (source_error != 0 && source_error != ENOENT) return Failed(failed, ErrorText(source_error));
  if (at_from.exists) return Kept("source-taken", source_taken);
  return Step([&file_system, &folders, at_target, source, moved_back, source_taken, failed,
               open = source_error == 0 ? at_source.folder : nullptr] {
    const size_t slash = LastSeparator(source);
    // The source folder levels that are gone are made again, the photo folder too; one that is
    // there is open already.
    int error = 0;
    if (!folders.photo) error = OpenMakingFolders(file_system, folders.photo_path, &folders.photo);
    fs::FolderRef folder = open;
    if (error == 0 && !folder) {
      error = OpenBelow(file_system, folders.photo, folders.photo_path, source.substr(0, slash + 1),
                        true, &folder);
    }
    std::string kept_as;
    if (error == 0) {
      error = MoveNoReplace(file_system, at_target, fs::FileAt{folder, source.substr(slash + 1)},
                            &kept_as);
    }
    if (error == 0) return Undone("moved-back", moved_back);
    if (error == EEXIST) return Kept("source-taken", source_taken);
    return Failed(failed, FailureReason(ErrorText(error), kept_as));
  });
}

// A copy is removed only while it holds what was placed and its source still does too, as
// another file: the copy may be the only one left of a photo whose original was deleted since.
Outcome UndoCopy(fs::FileSystem& file_system, RunFolders& folders, const JournalEntry& entry,
                 int32_t ordinal) {
  const std::string& target = entry.target;
  const std::string gone = TrFormat("副本已不在(%d): %s%c%c", ordinal, target.c_str(), '\r', '\n');
  const std::string failed = TrFormat("删除副本失败: %s", target.c_str());
  fs::FileAt at_target;
  fs::FileAt at_source;
  const int target_error =
      Locate(file_system, folders.output, folders.output_path, target, &at_target);
  const int source_error = folders.photo
                               ? LocateSource(file_system, folders, entry.source, &at_source)
                               : folders.photo_error;
  ClearLeftovers(file_system, folders, at_target.folder);
  // A folder of the copy that is gone took the copy with it; one that cannot be reached (a
  // link in its place) may still hold it.
  if (target_error == ENOENT) return entry.intent ? NotPlaced() : Undone("gone", gone);
  if (target_error != 0) return Failed(failed, ErrorText(target_error));
  const Found copy = Examine(file_system, at_target, entry.record, entry.identity);
  if (!copy.same) {
    if (entry.intent) return TookTheName(copy, entry) ? Changed(target) : NotPlaced();
    return copy.exists ? Changed(target) : Undone("gone", gone);
  }
  if (source_error != 0 && source_error != ENOENT) return Failed(failed, ErrorText(source_error));
  const Found original = Examine(file_system, at_source, entry.record);
  if (!original.same) {
    return Kept("source-changed",
                TrFormat("原文件已不在或已改动, 保留副本: %s%c%c", target.c_str(), '\r', '\n'));
  }
  if (SameFile(copy.facts, original.facts)) return SameFileKept(target);
  const std::string removed =
      TrFormat("删除副本(%d): %s%c%c%c%c原文件: %s%c%c", ordinal, target.c_str(), '\r', '\n', '\r',
               '\n', entry.source.c_str(), '\r', '\n');
  return Step([&file_system, at_target, removed, failed] {
    const int error = file_system.Remove(at_target);
    if (error != 0) return Failed(failed, ErrorText(error));
    return Undone("removed", removed);
  });
}

// The line of a member of a group (KeepTogether) after its group's message.
std::string CompanionLine(const JournalEntry& entry, const Outcome& outcome) {
  const char* to = entry.target.c_str();
  if (!outcome.undone) return TrFormat("同组文件保留: %s%c%c", to, '\r', '\n');
  if (outcome.word == "moved-back") {
    return TrFormat("一同移回: %s -> %s%c%c", to, entry.source.c_str(), '\r', '\n');
  }
  if (outcome.word == "removed") return TrFormat("一同删除副本: %s%c%c", to, '\r', '\n');
  return TrFormat("同组副本已不在: %s%c%c", to, '\r', '\n');
}

// The undo of one file, or of the pending members of one group, its principal first: when one
// of them is to be kept, so is every other one that is still where the run put it; else each is
// undone. The message is the first member's, then a line for each other one (its own, when it
// kept the group).
std::vector<Outcome> UndoGroup(fs::FileSystem& file_system, RunFolders& folders,
                               const std::vector<JournalEntry>& members, int32_t ordinal,
                               std::string* message) {
  std::vector<Outcome> outcomes;
  for (const JournalEntry& entry : members) {
    outcomes.push_back(entry.action == JournalAction::kMove
                           ? UndoMove(file_system, folders, entry, ordinal)
                           : UndoCopy(file_system, folders, entry, ordinal));
  }
  const auto keeper = std::find_if(outcomes.begin(), outcomes.end(), [](const Outcome& outcome) {
    return !outcome.undone && !outcome.silent;
  });
  const std::string kept_word = keeper == outcomes.end() ? std::string() : "group:" + keeper->word;
  std::vector<bool> own(outcomes.size(), false);  // a message of its own: it kept the group
  for (size_t i = 0; i < outcomes.size(); ++i) {
    Outcome& outcome = outcomes[i];
    own[i] = !outcome.undone;
    if (!outcome.step) continue;
    outcome = kept_word.empty() ? outcome.step() : Kept(kept_word, std::string());
  }
  bool first = true;
  for (size_t i = 0; i < outcomes.size(); ++i) {
    if (outcomes[i].silent) continue;
    const bool kept_by_group = !outcomes[i].undone && outcomes[i].message.empty();
    *message += (first || own[i]) && !kept_by_group ? outcomes[i].message
                                                    : CompanionLine(members[i], outcomes[i]);
    first = false;
  }
  return outcomes;
}

// Reads lines of a journal at their offsets, latest first, a window of the file at a time.
class LineReader {
 public:
  explicit LineReader(const AppendFile& file) : file_(file) {}

  // The line that begins at `offset`, without its line break; false when it cannot be read.
  bool Read(int64_t offset, std::string* line) {
    size_t end = Find(offset);
    if (end == std::string::npos) {
      // The window ends a little after the line, so that the lines before it come from it too.
      start_ = std::max<int64_t>(0, offset + kAhead - kWindow);
      if (file_.ReadAt(start_, kWindow, &window_) != 0) window_.clear();
      end = Find(offset);
    }
    if (end == std::string::npos) {
      // A line longer than the window ahead of it: read on to its end.
      start_ = offset;
      for (size_t length = 2 * kAhead; end == std::string::npos; length *= 2) {
        if (file_.ReadAt(offset, length, &window_) != 0) return false;
        end = Find(offset);
        if (end == std::string::npos && window_.size() < length) return false;
      }
    }
    *line = window_.substr(static_cast<size_t>(offset - start_), end);
    return true;
  }

 private:
  static constexpr int64_t kWindow = 1 << 20;
  static constexpr int64_t kAhead = 1 << 16;

  // The length of the line at `offset` when the window holds it whole, else npos.
  size_t Find(int64_t offset) const {
    if (offset < start_ || offset >= start_ + static_cast<int64_t>(window_.size())) {
      return std::string::npos;
    }
    const size_t begin = static_cast<size_t>(offset - start_);
    const size_t end = window_.find('\n', begin);
    return end == std::string::npos ? end : end - begin;
  }

  const AppendFile& file_;
  std::string window_;
  int64_t start_ = 0;
};

std::string NowText() {
  const auto now = std::chrono::system_clock::now();
  const int64_t seconds =
      std::chrono::duration_cast<std::chrono::seconds>(now.time_since_epoch()).count();
  return LocalTimeText(seconds, "%Y-%m-%d %H:%M:%S");
}

// The folder up to the last separator of the run's output text: where its folders were made.
std::string BaseOf(const std::string& output) {
  const size_t separator = LastSeparator(output);
  return separator == std::string::npos ? std::string() : output.substr(0, separator + 1);
}

// Checks that `journal`, found at `place` in the open folder `given`, records a run into that
// folder, and moves its folders there: the run's output folder may have been renamed or moved
// since (it is the same folder, by identity, as the run's), but a journal that names another
// folder (a copy of the output folder, or one planted there) is refused, and so is a path that
// lies outside the run's two folders (`outside`, the first file's found so). Returns the refusal,
// or empty.
std::string CheckPlace(fs::FileSystem& file_system, const JournalPlace& place,
                       const fs::Folder& given, const std::string& path, const std::string& outside,
                       Journal* journal) {
  const std::string other = Tr(kOtherFolderText) + journal->output + " (" + path + ")";
  const std::string recorded_base = BaseOf(journal->output);
  if (!IsAbsolutePath(journal->output) ||
      !SameLevelName(journal->output.substr(recorded_base.size()), place.stem)) {
    return other;
  }
  uint64_t device = 0;
  uint64_t inode = 0;
  if (file_system.IdentifyFolder(given, &device, &inode) != 0) return other;
  bool same = !journal->output_id.empty() && journal->output_id == IdentityText(device, inode);
  // A journal without the identity (or a folder that the system numbers anew after each mount):
  // the recorded folder as it is now must be this one.
  fs::FolderRef recorded;
  uint64_t recorded_device = 0;
  uint64_t recorded_inode = 0;
  if (!same && file_system.OpenFolder(recorded_base, &recorded) == 0 &&
      file_system.IdentifyFolder(*recorded, &recorded_device, &recorded_inode) == 0) {
    same = recorded_device == device && recorded_inode == inode && inode != 0;
  }
  if (!same) return other;
  if (!outside.empty()) return Tr(kOutsideFolderText) + outside;
  for (std::string& folder : journal->folders) {
    if (!Inside(folder, journal->output)) return Tr(kOutsideFolderText) + folder;
    folder = place.base + folder.substr(recorded_base.size());
  }
  return std::string();
}

}  // namespace

std::string LatestJournal(fs::FileSystem& file_system, const std::string& output_folder,
                          std::string* refusal) {
  const auto runs = ListRuns(file_system, output_folder);
  // A journal that is not the user's own (or that others may write) is never undone: one that
  // someone put there cannot stand in the way of the user's own runs either.
  for (auto it = runs.rbegin(); it != runs.rend(); ++it) {
    if (it->second.trusted && !FullyUndone(it->second)) return it->first;
  }
  *refusal = Tr(kNothingToUndoText) + output_folder;
  return std::string();
}

int UndoRun(fs::FileSystem& file_system, const std::string& path, const std::atomic<bool>& running,
            const std::function<void(const UndoFileEvent&)>& on_file, UndoEndEvent* end,
            std::string* refusal, const KnownFilesOpener& known_files) {
  *end = UndoEndEvent();
  const std::string absolute = AbsolutePath(path);
  JournalPlace place;
  if (!PlaceOf(absolute, &place)) {
    *refusal = Tr(kNotAJournalText) + path;
    return 2;
  }
  // The journal is reached from the folder that holds it, no link followed below: the folder
  // it is found in is the one it is checked against.
  RunFolders folders;
  fs::FolderRef journal_folder;
  int error = file_system.OpenFolder(place.base, &folders.output);
  if (error == 0) {
    error = file_system.OpenSubfolder(
        *folders.output, place.stem + kRecordsSuffix + kPathSeparator + kJournalFolderName,
        &journal_folder);
  }
  // The lock keeps out the run that writes the journal and any other undo of it; read only
  // once it is held, the journal cannot change under the undo.
  std::unique_ptr<AppendFile> file;
  if (error == 0)
    error = file_system.OpenLocked(fs::FileAt{journal_folder, place.name}, false, &file);
  if (error == EWOULDBLOCK) {
    *refusal = Tr(kJournalBusyText) + path;
    return 2;
  }
  if (error != 0) {
    *refusal = Tr(error == fs::kNotRegular ? kNotAJournalText : kJournalUnreadableText) + path +
               " (" + ErrorText(error) + ")";
    return 2;
  }
  // Only the user's own journal, which no one else may have written, is followed: its lines
  // decide which files are moved and removed.
  OpenFileFacts facts;
  error = file->Facts(&facts);
  if (error == 0 && (!facts.owned || facts.others_may_write)) {
    *refusal = Tr(kForeignJournalText) + path;
    return 2;
  }
  // Read a piece at a time, keeping only where each pending file's line lies, and checking that
  // every file it names is inside the run's two folders.
  Journal journal;
  std::vector<JournalSlot> pending;
  std::string outside;
  std::string photo;  // the header's photo folder with its separator, made at the first file
  JournalReader reader(&journal, false, &pending, [&](const JournalEntry& entry) {
    if (!outside.empty()) return;
    if (photo.empty()) photo = WithTrailingSeparator(journal.photo);
    if (!Inside(entry.target, journal.output)) {
      outside = entry.target;
    } else if (!Inside(entry.source, photo)) {
      outside = entry.source;
    }
  });
  if (error == 0) {
    error = file->ReadPieces(kJournalLimit, [&](std::string_view piece) { reader.Feed(piece); });
  }
  if (error != 0) {
    *refusal = Tr(kJournalUnreadableText) + path + " (" + ErrorText(error) + ")";
    return 2;
  }
  if (!reader.Finish()) {
    *refusal = Tr(kNotAJournalText) + path;
    return 2;
  }
  if (FullyUndone(journal)) {
    *refusal = Tr(kAlreadyUndoneText) + path;
    return 2;
  }
  *refusal = CheckPlace(file_system, place, *folders.output, path, outside, &journal);
  if (!refusal->empty()) return 2;
  // A line that a killed writer left without its line break is ended first.
  if (!journal.ends_with_line_break) file->Append("\n");
  file->Append("undo-begin\tstarted=" + NowText() + "\tpid=" + std::to_string(ProcessId()) + "\n");

  // The latest file first: a later file of the run may have taken a name that frees an
  // earlier one's.
  folders.photo_path = WithTrailingSeparator(journal.photo);
  folders.output_path = place.base;
  folders.photo_error = file_system.OpenFolder(folders.photo_path, &folders.photo);
  const std::string recorded_base = BaseOf(journal.output);
  LineReader lines(*file);
  // The library's index of the output folder, where there is one, is kept current.
  std::unique_ptr<KnownFiles> known;
  if (known_files && place.stem.empty()) {
    known = known_files(file_system, place.base, IndexUse::kKeepCurrent, running, {});
  }
  // The pending members of each group (KeepTogether), undone together where the first of them
  // comes; in the order their records were written, the principal first.
  std::map<int, std::vector<JournalSlot>> groups;
  for (const JournalSlot& slot : pending) {
    if (slot.group != 0) groups[slot.group].push_back(slot);
  }
  for (auto& [group, members] : groups) {
    std::sort(members.begin(), members.end(),
              [](const JournalSlot& a, const JournalSlot& b) { return a.line < b.line; });
  }
  // A file's line read again, its target where the output folder is now.
  const auto read = [&](const JournalSlot& slot, JournalEntry* entry) {
    std::string line;
    if (!lines.Read(slot.offset, &line) || !ParseFileLine(line, slot.line, entry)) return false;
    entry->target = place.base + entry->target.substr(recorded_base.size());
    entry->group = slot.group;
    return true;
  };
  int32_t ordinal = 0;
  for (auto slot = pending.rbegin(); slot != pending.rend(); ++slot) {
    if (slot->group != 0 && groups.count(slot->group) == 0) continue;  // undone with its group
    if (!running.load()) {
      end->stopped = true;
      break;
    }
    std::vector<JournalEntry> files;
    for (const JournalSlot& member :
         slot->group != 0 ? groups[slot->group] : std::vector<JournalSlot>{*slot}) {
      JournalEntry entry;
      if (read(member, &entry)) files.push_back(std::move(entry));
    }
    groups.erase(slot->group);
    if (files.empty()) continue;
    std::string message;
    const std::vector<Outcome> outcomes =
        UndoGroup(file_system, folders, files, ordinal + 1, &message);
    bool silent = true;
    bool undone = true;
    bool for_good = true;
    for (size_t i = 0; i < files.size(); ++i) {
      const Outcome& outcome = outcomes[i];
      file->Append(std::string(outcome.undone ? "undone" : "kept") + "\t" +
                   std::to_string(files[i].line) + "\t" + EscapeField(outcome.word) + "\n");
      if (known && outcome.undone) known->Removed(files[i].target);
      silent = silent && outcome.silent;
      undone = undone && outcome.undone;
      if (!outcome.undone) for_good = for_good && KeptForGood(outcome.word);
    }
    if (silent) continue;
    ++ordinal;
    (undone ? end->undone : end->kept) += 1;
    if (!undone && !for_good) ++end->to_retry;
    UndoFileEvent event;
    event.ordinal = ordinal;
    event.kept = !undone;
    event.message = message;
    on_file(event);
  }
  if (!end->stopped) {
    // The day folders before the year folders that hold them; only empty ones go, once the
    // temporary files that a killed run left in them are gone.
    for (auto it = journal.folders.rbegin(); it != journal.folders.rend(); ++it) {
      std::string folder = *it;
      fs::FolderRef inside;
      if (OpenBelow(file_system, folders.output, folders.output_path, WithTrailingSeparator(folder),
                    false, &inside) == 0) {
        ClearLeftovers(file_system, folders, inside);
      }
      while (!folder.empty() && IsPathSeparator(folder.back())) folder.pop_back();
      fs::FileAt at;
      if (Locate(file_system, folders.output, folders.output_path, folder, &at) == 0) {
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
