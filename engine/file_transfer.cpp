#include "engine/file_transfer.h"

#include <cerrno>
#include <cstring>
#include <memory>

namespace nandell {
namespace {

constexpr const char* kTakenPrefix = ".nandell-move.";
// The longest name a folder entry may have on the file systems the run meets.
constexpr size_t kMaxNameBytes = 255;

// Copies the open `source` to a temporary file beside `target` and gives it the target's name,
// `log` told before; a source that changed while it was copied is copied once more.
int CopyAndPlace(fs::FileSystem& file_system, fs::SourceFile& source, const fs::FileAt& target,
                 bool keep_owner, TransferLog* log) {
  for (int attempt = 1;; ++attempt) {
    fs::Copied copied;
    int error = file_system.CopyToTemporary(source, *target.folder, keep_owner, &copied);
    if (error != 0) return error;
    const fs::FileAt copy{target.folder, copied.name};
    // A source rewritten while it was copied would leave a mix of old and new bytes.
    if (!file_system.Unchanged(source)) {
      file_system.Remove(copy);
      if (attempt == 2) return fs::kChangedWhileCopied;
      error = file_system.TakeStamp(source);
      if (error != 0) return error;
      continue;
    }
    if (log != nullptr) error = log->BeforePlacing(copied);
    if (error == 0) error = file_system.PlaceNoReplace(copy, target);
    if (error != 0) file_system.Remove(copy);
    return error;
  }
}

// Gives `taken` the name `original` without replacing, or the first free RecoveryName; `name`
// receives the name it has afterwards (the taken one when none could be given).
int PutBack(fs::FileSystem& file_system, const fs::FileAt& taken, const std::string& original,
            std::string* name) {
  *name = taken.name;
  int error = file_system.PlaceNoReplace(taken, fs::FileAt{taken.folder, original});
  if (error == 0) *name = original;
  for (int attempt = 1; error == EEXIST && attempt <= kRecoveryAttempts; ++attempt) {
    const std::string recovery = RecoveryName(original, attempt);
    error = file_system.PlaceNoReplace(taken, fs::FileAt{taken.folder, recovery});
    if (error == 0) *name = recovery;
  }
  file_system.FlushFolder(*taken.folder, 0);
  return error;
}

}  // namespace

std::string TakenName(const std::string& name) {
  return kTakenPrefix + name;
}

bool IsTakenName(const std::string& name, std::string* original) {
  const size_t prefix = std::strlen(kTakenPrefix);
  if (name.size() <= prefix || name.compare(0, prefix, kTakenPrefix) != 0) return false;
  if (original != nullptr) *original = name.substr(prefix);
  return true;
}

std::string RecoveryName(const std::string& name, int attempt) {
  const std::string mark = attempt <= 1 ? "(恢复)" : "(恢复" + std::to_string(attempt) + ")";
  const size_t dot = name.rfind('.');
  if (dot == std::string::npos || dot == 0) return name + mark;
  return name.substr(0, dot) + mark + name.substr(dot);
}

bool NeedsCopyToMove(int error) {
  return error == EXDEV;
}

int CopyNoReplace(fs::FileSystem& file_system, const fs::FileAt& source, const fs::FileAt& target,
                  TransferLog* log) {
  // An existing target is refused before any data is written (the placement refuses it again
  // should one appear meanwhile).
  int error = file_system.CheckNameFree(*target.folder, target.name);
  if (error != 0) return error;
  std::unique_ptr<fs::SourceFile> file;
  error = file_system.OpenSource(source, false, &file);
  if (error == 0) error = CopyAndPlace(file_system, *file, target, false, log);
  if (error == 0) file_system.FlushFolder(*target.folder, 0);
  return error;
}

int MoveByCopy(fs::FileSystem& file_system, const fs::FileAt& source, const fs::FileAt& target,
               std::string* kept_as, TransferLog* log) {
  int error = file_system.CheckNameFree(*target.folder, target.name);
  if (error == 0 && log != nullptr) error = log->BeforeTaking();
  if (error != 0) return error;
  // Take the source first: from now on its name may receive a new file (a sync tool's new
  // version), which is never touched.
  const fs::FileAt taken{source.folder, TakenName(source.name)};
  bool take = taken.name.size() <= kMaxNameBytes;
  if (take) {
    error = file_system.PlaceNoReplace(source, taken);
    // A source that a killed move left taken holds the name (it is put back after the
    // listing): this one is moved under its own name, as one too long to take is.
    if (error == EEXIST) {
      take = false;
    } else if (error != 0) {
      return error;
    }
  }
  const fs::FileAt& current = take ? taken : source;
  std::unique_ptr<fs::SourceFile> file;
  error = file_system.OpenSource(current, true, &file);
  if (error == 0) error = CopyAndPlace(file_system, *file, target, true, log);
  const bool placed = error == 0;
  if (error == 0 && !file_system.SameContent(*file, target))
    error = file_system.Unchanged(*file) ? EIO : fs::kChangedWhileMoved;
  if (error == 0) {
    // The copy's folder is flushed, and the two above it, which the run may have just made (a
    // year and a day folder): on a file system without a journal (a FAT memory card) their
    // entries could otherwise still be only in memory when the source is gone.
    file_system.FlushFolder(*target.folder, 2);
    error = file_system.RemoveSource(*file, current);
  }
  if (error == 0) {
    file_system.FlushFolder(*source.folder, 0);
    return 0;
  }
  // A failed move changes nothing: the copy is taken back and the source gets its name back.
  if (placed) file_system.Remove(target);
  file.reset();  // its lock would keep a later run from recovering it
  if (take) {
    std::string name;
    if (PutBack(file_system, taken, source.name, &name) != 0 || name != source.name) {
      *kept_as = source.folder->Path() + name;
    }
  }
  return error;
}

int MoveNoReplace(fs::FileSystem& file_system, const fs::FileAt& source, const fs::FileAt& target,
                  std::string* kept_as) {
  const int error = file_system.PlaceNoReplace(source, target);
  if (error == 0 || !NeedsCopyToMove(error)) return error;
  return MoveByCopy(file_system, source, target, kept_as);
}

int MoveBack(fs::FileSystem& file_system, const fs::FileAt& placed, const fs::FileAt& original,
             std::string* kept_as) {
  std::string left_as;  // where a failed move by copy left the placed file: under its name
  int error = MoveNoReplace(file_system, placed, original, &left_as);
  for (int attempt = 1; error == EEXIST && left_as.empty() && attempt <= kRecoveryAttempts;
       ++attempt) {
    const fs::FileAt recovery{original.folder, RecoveryName(original.name, attempt)};
    error = MoveNoReplace(file_system, placed, recovery, &left_as);
    if (error == 0) *kept_as = recovery.Path();
  }
  return error;
}

int RecoverTaken(fs::FileSystem& file_system, const fs::FileAt& taken, std::string* name) {
  std::string original;
  if (!IsTakenName(taken.name, &original)) return EINVAL;
  if (!file_system.IsLeftover(taken)) return EBUSY;
  return PutBack(file_system, taken, original, name);
}

}  // namespace nandell
