// The run's transfers built from the file system's steps; the steps themselves are the
// platform's (file_system_posix.cpp).
#include "platform/file_system.h"

#include <cerrno>
#include <cstring>

#include "platform/file.h"
#include "platform/translate.h"
#ifdef _WIN32
#include "platform/windows_support.h"
#endif

namespace nandell::fs {
namespace {

constexpr const char* kTakenPrefix = ".nandell-move.";
// The longest name a folder entry may have on the file systems the run meets.
constexpr size_t kMaxNameBytes = 255;

}  // namespace

std::string ReasonText(int error) {
  switch (error) {
    case kLinkInPlaceOfFolder:
      return Tr("目录位置上是一个链接");
    case kChangedWhileCopied:
      return Tr("源文件在复制时被改动");
    case kChangedWhileMoved:
      return Tr("源文件在移动时被改动");
    case kNameNotAllowed:
      return Tr("Windows 不接受此名称");
    case kNotRegular:
      return Tr("不是普通文件");
    case kNotJournaled:
      return Tr("整理记录无法写入");
    default:
#ifdef _WIN32
      return win::ErrorResultText(error);
#else
      return std::strerror(error);
#endif
  }
}

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

// The report's folders are platform/file.h's, the same on every platform; the file system
// only routes them, so that tests can stand in.
bool FileSystem::MakeFolders(const std::string& path) {
  return nandell::MakeFolders(path);
}

int FileSystem::CopyNoReplace(const FileAt& source, const FileAt& target, TransferLog* log) {
  // An existing target is refused before any data is written (the placement refuses it again
  // should one appear meanwhile).
  int error = CheckNameFree(*target.folder, target.name);
  if (error != 0) return error;
  std::unique_ptr<SourceFile> file;
  error = OpenSource(source, false, &file);
  if (error == 0) error = CopyAndPlace(*file, target, false, log);
  if (error == 0) FlushFolder(*target.folder, 0);
  return error;
}

int FileSystem::MoveByCopy(const FileAt& source, const FileAt& target, std::string* kept_as,
                           TransferLog* log) {
  int error = CheckNameFree(*target.folder, target.name);
  if (error == 0 && log != nullptr) error = log->BeforeTaking();
  if (error != 0) return error;
  // Take the source first: from now on its name may receive a new file (a sync tool's new
  // version), which is never touched.
  const FileAt taken{source.folder, TakenName(source.name)};
  bool take = taken.name.size() <= kMaxNameBytes;
  if (take) {
    error = PlaceNoReplace(source, taken);
    // A source that a killed move left taken holds the name (it is put back after the
    // listing): this one is moved under its own name, as one too long to take is.
    if (error == EEXIST) {
      take = false;
    } else if (error != 0) {
      return error;
    }
  }
  const FileAt& current = take ? taken : source;
  std::unique_ptr<SourceFile> file;
  error = OpenSource(current, true, &file);
  if (error == 0) error = CopyAndPlace(*file, target, true, log);
  const bool placed = error == 0;
  if (error == 0 && !SameContent(*file, target))
    error = Unchanged(*file) ? EIO : kChangedWhileMoved;
  if (error == 0) {
    // The copy's folder is flushed, and the two above it, which the run may have just made (a
    // year and a day folder): on a file system without a journal (a FAT memory card) their
    // entries could otherwise still be only in memory when the source is gone.
    FlushFolder(*target.folder, 2);
    error = RemoveSource(*file, current);
  }
  if (error == 0) {
    FlushFolder(*source.folder, 0);
    return 0;
  }
  // A failed move changes nothing: the copy is taken back and the source gets its name back.
  if (placed) Remove(target);
  file.reset();  // its lock would keep a later run from recovering it
  if (take) {
    std::string name;
    if (PutBack(taken, source.name, &name) != 0 || name != source.name) {
      *kept_as = source.folder->Path() + name;
    }
  }
  return error;
}

int FileSystem::MoveNoReplace(const FileAt& source, const FileAt& target, std::string* kept_as) {
  const int error = PlaceNoReplace(source, target);
  if (error == 0 || !NeedsCopyToMove(error)) return error;
  return MoveByCopy(source, target, kept_as);
}

int FileSystem::RecoverTaken(const FileAt& taken, std::string* name) {
  std::string original;
  if (!IsTakenName(taken.name, &original)) return EINVAL;
  if (!IsLeftover(taken)) return EBUSY;
  return PutBack(taken, original, name);
}

int FileSystem::CopyAndPlace(SourceFile& source, const FileAt& target, bool keep_owner,
                             TransferLog* log) {
  for (int attempt = 1;; ++attempt) {
    Copied copied;
    int error = CopyToTemporary(source, *target.folder, keep_owner, &copied);
    if (error != 0) return error;
    const FileAt copy{target.folder, copied.name};
    // A source rewritten while it was copied would leave a mix of old and new bytes.
    if (!Unchanged(source)) {
      Remove(copy);
      if (attempt == 2) return kChangedWhileCopied;
      error = TakeStamp(source);
      if (error != 0) return error;
      continue;
    }
    if (log != nullptr) error = log->BeforePlacing(copied);
    if (error == 0) error = PlaceNoReplace(copy, target);
    if (error != 0) Remove(copy);
    return error;
  }
}

int FileSystem::PutBack(const FileAt& taken, const std::string& original, std::string* name) {
  *name = taken.name;
  int error = PlaceNoReplace(taken, FileAt{taken.folder, original});
  if (error == 0) *name = original;
  for (int attempt = 1; error == EEXIST && attempt <= kRecoveryAttempts; ++attempt) {
    const std::string recovery = RecoveryName(original, attempt);
    error = PlaceNoReplace(taken, FileAt{taken.folder, recovery});
    if (error == 0) *name = recovery;
  }
  FlushFolder(*taken.folder, 0);
  return error;
}

}  // namespace nandell::fs
