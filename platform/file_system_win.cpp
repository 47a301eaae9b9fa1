// The steps of the run's file system on Windows. Every folder below the two chosen ones is
// opened level by level without following a reparse point that stands for another place (a
// symbolic link or a junction), and held open without delete sharing while the run uses it:
// no other program can then rename, remove or replace it, so that the long path ("\\?\") that
// names it keeps leading to the folder that was checked. Files are named by that path and
// their name, in UTF-16.
#include <windows.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <vector>

#include "platform/checksum.h"
#include "platform/file.h"
#include "platform/file_private.h"
#include "platform/file_system.h"
#include "platform/path.h"
#include "platform/windows_support.h"

namespace nandell::fs {
namespace {

constexpr DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;
// Folders in use: others may read and write in them, but not rename or remove them.
constexpr DWORD kShareFolder = FILE_SHARE_READ | FILE_SHARE_WRITE;
constexpr DWORD kBufferSize = 1 << 20;
// The byte that a moving run locks (shared) in its taken source, far beyond any file's end so
// that reading and writing the file are never in the way: the Windows form of an advisory
// lock. A run that finds it free knows that the run that took the file has ended.
constexpr DWORD kLockOffsetHigh = 0x7FFFFFFF;
constexpr DWORD kLockOffsetLow = 0xFFFFFFF0;
// Seconds from 1601-01-01 (the FILETIME origin) to 1970-01-01.
constexpr int64_t kFileTimeEpochSeconds = 11644473600;

// One open folder level; it holds the level above it open too, so that no level of its path
// can be renamed or removed while it is in use.
struct Level {
  HANDLE handle = INVALID_HANDLE_VALUE;
  std::shared_ptr<const Level> above;
  ~Level() {
    if (handle != INVALID_HANDLE_VALUE) ::CloseHandle(handle);
  }
};

// What a Folder's handle points to.
struct WinFolder {
  std::wstring path;  // the long form, without a trailing "\" (unless a root)
  std::shared_ptr<const Level> level;
};

// What a SourceFile's handle points to.
struct WinSource {
  HANDLE handle = INVALID_HANDLE_VALUE;
  std::wstring path;
  bool locked = false;
};

const WinFolder& Of(const Folder& folder) {
  return *reinterpret_cast<const WinFolder*>(folder.Handle());
}

WinSource& Of(const SourceFile& source) {
  return *reinterpret_cast<WinSource*>(source.Handle());
}

int LastError() {
  return win::ErrorResult(::GetLastError());
}

// `path` (a full path in the Windows form) in the long form, which every length and every
// name reaches unchanged.
std::wstring LongForm(std::wstring path) {
  if (path.compare(0, 4, L"\\\\?\\") == 0) return path;
  if (path.compare(0, 2, L"\\\\") == 0) return L"\\\\?\\UNC\\" + path.substr(2);
  return L"\\\\?\\" + path;
}

std::wstring Join(const std::wstring& folder, const std::string& name) {
  std::wstring path = folder;
  if (path.empty() || path.back() != L'\\') path += L'\\';
  return path + win::Widen(name);
}

std::wstring PathOf(const FileAt& file) {
  return Join(Of(*file.folder).path, file.name);
}

// Closes a handle on scope exit.
class Handle {
 public:
  explicit Handle(HANDLE handle) : handle_(handle) {}
  ~Handle() {
    if (valid()) ::CloseHandle(handle_);
  }
  Handle(const Handle&) = delete;
  Handle& operator=(const Handle&) = delete;
  bool valid() const { return handle_ != INVALID_HANDLE_VALUE; }
  HANDLE get() const { return handle_; }
  HANDLE release() {
    HANDLE handle = handle_;
    handle_ = INVALID_HANDLE_VALUE;
    return handle;
  }

 private:
  HANDLE handle_;
};

int64_t FileTimeUnits(const LARGE_INTEGER& time) {
  return static_cast<int64_t>(time.QuadPart);
}

// The stamp of an open file: its volume and file number, size, and last-write and change
// times (in 100 ns units; only compared).
bool StampOf(HANDLE handle, FileStamp* stamp) {
  BY_HANDLE_FILE_INFORMATION info;
  FILE_BASIC_INFO basic;
  if (!::GetFileInformationByHandle(handle, &info) ||
      !::GetFileInformationByHandleEx(handle, FileBasicInfo, &basic, sizeof basic)) {
    return false;
  }
  stamp->device = info.dwVolumeSerialNumber;
  stamp->inode = (static_cast<uint64_t>(info.nFileIndexHigh) << 32) | info.nFileIndexLow;
  stamp->size =
      static_cast<int64_t>((static_cast<uint64_t>(info.nFileSizeHigh) << 32) | info.nFileSizeLow);
  stamp->modified_ns = FileTimeUnits(basic.LastWriteTime) * 100;
  stamp->changed_ns = FileTimeUnits(basic.ChangeTime) * 100;
  return true;
}

// The facts of the open entry `handle` (Examine's).
int FactsOf(HANDLE handle, FileFacts* facts) {
  BY_HANDLE_FILE_INFORMATION info;
  if (!::GetFileInformationByHandle(handle, &info)) return LastError();
  facts->regular =
      (info.dwFileAttributes &
       (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT | FILE_ATTRIBUTE_DEVICE)) == 0;
  facts->size =
      static_cast<int64_t>((static_cast<uint64_t>(info.nFileSizeHigh) << 32) | info.nFileSizeLow);
  const uint64_t units = (static_cast<uint64_t>(info.ftLastWriteTime.dwHighDateTime) << 32) |
                         info.ftLastWriteTime.dwLowDateTime;
  facts->mtime_sec = static_cast<int64_t>(units / 10000000) - kFileTimeEpochSeconds;
  facts->mtime_nsec = static_cast<int32_t>(units % 10000000) * 100;
  facts->device = info.dwVolumeSerialNumber;
  facts->inode = (static_cast<uint64_t>(info.nFileIndexHigh) << 32) | info.nFileIndexLow;
  return 0;
}

// True when the open entry is a reparse point that stands for another place (a symbolic link,
// a junction, a mount point); a reparse point of another kind (a cloud file's placeholder, a
// deduplicated file) is the entry itself.
bool IsLink(HANDLE handle, DWORD attributes) {
  if ((attributes & FILE_ATTRIBUTE_REPARSE_POINT) == 0) return false;
  FILE_ATTRIBUTE_TAG_INFO tag;
  if (!::GetFileInformationByHandleEx(handle, FileAttributeTagInfo, &tag, sizeof tag)) {
    return true;
  }
  return IsReparseTagNameSurrogate(tag.ReparseTag);
}

// Opens the folder entry `path` itself (a reparse point not followed), held against renaming
// and removal. kLinkInPlaceOfFolder for a link, ENOTDIR for anything but a folder.
int OpenLevel(const std::wstring& path, HANDLE* handle) {
  Handle level(::CreateFileW(path.c_str(), FILE_READ_ATTRIBUTES | SYNCHRONIZE, kShareFolder,
                             nullptr, OPEN_EXISTING,
                             FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
  if (!level.valid()) return LastError();
  BY_HANDLE_FILE_INFORMATION info;
  if (!::GetFileInformationByHandle(level.get(), &info)) return LastError();
  if (IsLink(level.get(), info.dwFileAttributes)) return kLinkInPlaceOfFolder;
  if ((info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0) return ENOTDIR;
  *handle = level.release();
  return 0;
}

// Why a file or folder cannot take the name `name`: kNameNotAllowed for a name Windows cannot
// hold, ENAMETOOLONG beyond the 255 UTF-16 units of a name; 0 when it can.
int NameError(const std::string& name) {
  if (!WindowsAcceptsName(name)) return kNameNotAllowed;
  return win::Widen(name).size() > 255 ? ENAMETOOLONG : 0;
}

// The levels of `relative` ("a\b\", "/" accepted too), in order.
std::vector<std::string> LevelsOf(const std::string& relative) {
  std::vector<std::string> levels;
  std::string name;
  for (const char c : relative) {
    if (IsPathSeparator(c)) {
      if (!name.empty()) levels.push_back(name);
      name.clear();
    } else {
      name += c;
    }
  }
  if (!name.empty()) levels.push_back(name);
  return levels;
}

// Opens `levels` below `base` one by one; with `make`, missing levels are made. Sets `made`
// when the last level was made here.
int OpenLevels(const WinFolder& base, const std::vector<std::string>& levels, bool make, bool* made,
               WinFolder* folder) {
  *folder = base;
  for (const std::string& name : levels) {
    if (const int error = NameError(name); make && error != 0) return error;
    const std::wstring path = Join(folder->path, name);
    bool made_here = false;
    HANDLE handle = INVALID_HANDLE_VALUE;
    int error = OpenLevel(path, &handle);
    if (error == ENOENT && make) {
      if (::CreateDirectoryW(path.c_str(), nullptr)) {
        made_here = true;
        error = OpenLevel(path, &handle);
      } else if (::GetLastError() == ERROR_ALREADY_EXISTS) {
        error = OpenLevel(path, &handle);
      } else {
        error = LastError();
      }
    }
    if (error != 0) return error;
    auto level = std::make_shared<Level>();
    level->handle = handle;
    level->above = folder->level;
    folder->path = path;
    folder->level = std::move(level);
    if (made != nullptr) *made = made_here;
  }
  return 0;
}

FolderRef MakeFolderRef(std::string path, WinFolder folder) {
  return std::make_shared<Folder>(std::move(path),
                                  reinterpret_cast<intptr_t>(new WinFolder(std::move(folder))));
}

// The seconds since 1970 of a FILETIME.
int64_t SecondsOf(const FILETIME& time) {
  const uint64_t units = (static_cast<uint64_t>(time.dwHighDateTime) << 32) | time.dwLowDateTime;
  return static_cast<int64_t>(units / 10000000) - kFileTimeEpochSeconds;
}

// The listing of a folder through FindFirstFileExW (basic information, large fetches).
class WinListing : public FolderListing {
 public:
  explicit WinListing(std::wstring path) : path_(std::move(path)) {}
  ~WinListing() override {
    if (find_ != INVALID_HANDLE_VALUE) ::FindClose(find_);
  }
  WinListing(const WinListing&) = delete;
  WinListing& operator=(const WinListing&) = delete;

  // Fetches the first entry; false (error set) when the folder cannot be listed.
  bool Start() {
    find_ = ::FindFirstFileExW(Join(path_, "*").c_str(), FindExInfoBasic, &data_,
                               FindExSearchNameMatch, nullptr, FIND_FIRST_EX_LARGE_FETCH);
    if (find_ != INVALID_HANDLE_VALUE) {
      have_ = true;
      return true;
    }
    // A drive's root folder has no "." or "..": with no other entry, nothing matches.
    if (::GetLastError() == ERROR_FILE_NOT_FOUND) return true;
    error_ = LastError();
    return false;
  }

  bool Next(DirEntry* entry) override {
    if (!have_) return false;
    entry->name = win::Narrow(data_.cFileName);
    const DWORD attributes = data_.dwFileAttributes;
    const bool link = (attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0 &&
                      IsReparseTagNameSurrogate(data_.dwReserved0);
    if ((attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
      entry->kind = link ? EntryKind::kDirectoryLink : EntryKind::kDirectory;
    } else {
      entry->kind = EntryKind::kFile;
    }
    current_ = entry->name;
    current_link_ = link;
    current_time_ = data_.ftLastWriteTime;
    if (!::FindNextFileW(find_, &data_)) {
      have_ = false;
      if (::GetLastError() != ERROR_NO_MORE_FILES) error_ = LastError();
    }
    return true;
  }

  int Error() const override { return have_ ? 0 : error_; }

  bool ListedLastWriteTime(int64_t* seconds) const override {
    if (current_.empty() || current_link_) return false;
    *seconds = SecondsOf(current_time_);
    return true;
  }

  bool LastWriteTime(const std::string& name, int64_t* seconds) const override {
    // The entry just listed carries its own time; a link's target is looked up.
    if (name == current_ && ListedLastWriteTime(seconds)) return true;
    const std::wstring path = Join(path_, name);
    Handle file(::CreateFileW(path.c_str(), FILE_READ_ATTRIBUTES, kShareAll, nullptr, OPEN_EXISTING,
                              FILE_FLAG_BACKUP_SEMANTICS, nullptr));
    BY_HANDLE_FILE_INFORMATION info;
    if (file.valid() && ::GetFileInformationByHandle(file.get(), &info)) {
      *seconds = SecondsOf(info.ftLastWriteTime);
      return true;
    }
    // A link that leads nowhere goes by its own time.
    WIN32_FILE_ATTRIBUTE_DATA own;
    if (!::GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &own)) return false;
    *seconds = SecondsOf(own.ftLastWriteTime);
    return true;
  }

 private:
  std::wstring path_;
  HANDLE find_ = INVALID_HANDLE_VALUE;
  WIN32_FIND_DATAW data_{};
  bool have_ = false;
  int error_ = 0;
  std::string current_;
  bool current_link_ = false;
  FILETIME current_time_{};
};

// Locks the lock byte of `handle`, shared or exclusive, without waiting.
bool LockByte(HANDLE handle, bool exclusive) {
  OVERLAPPED at{};
  at.Offset = kLockOffsetLow;
  at.OffsetHigh = kLockOffsetHigh;
  const DWORD flags = LOCKFILE_FAIL_IMMEDIATELY | (exclusive ? LOCKFILE_EXCLUSIVE_LOCK : 0);
  return ::LockFileEx(handle, flags, 0, 1, 0, &at);
}

void UnlockByte(HANDLE handle) {
  OVERLAPPED at{};
  at.Offset = kLockOffsetLow;
  at.OffsetHigh = kLockOffsetHigh;
  ::UnlockFileEx(handle, 0, 1, 0, &at);
}

// Clears the read-only attribute of the file `path` (opened by `handle` with the right to
// write attributes) so that it can be deleted; false when it cannot be cleared.
bool ClearReadOnly(HANDLE handle) {
  FILE_BASIC_INFO basic;
  if (!::GetFileInformationByHandleEx(handle, FileBasicInfo, &basic, sizeof basic)) return false;
  if ((basic.FileAttributes & FILE_ATTRIBUTE_READONLY) == 0) return true;
  basic.FileAttributes &= ~static_cast<DWORD>(FILE_ATTRIBUTE_READONLY);
  if (basic.FileAttributes == 0) basic.FileAttributes = FILE_ATTRIBUTE_NORMAL;
  return ::SetFileInformationByHandle(handle, FileBasicInfo, &basic, sizeof basic);
}

// Deletes the file that `handle` has open (with the right to delete): its name goes when the
// last handle to it is closed.
int DeleteOpenFile(HANDLE handle) {
  if (!ClearReadOnly(handle)) return LastError();
  FILE_DISPOSITION_INFO disposition{};
  disposition.DeleteFile = TRUE;
  return ::SetFileInformationByHandle(handle, FileDispositionInfo, &disposition, sizeof disposition)
             ? 0
             : LastError();
}

// Removes the file entry `path` (a link's own entry, never its target), read-only or not.
int RemoveEntry(const std::wstring& path) {
  Handle file(::CreateFileW(path.c_str(), DELETE | FILE_READ_ATTRIBUTES | FILE_WRITE_ATTRIBUTES,
                            kShareAll, nullptr, OPEN_EXISTING, FILE_FLAG_OPEN_REPARSE_POINT,
                            nullptr));
  if (!file.valid()) return LastError();
  return DeleteOpenFile(file.get());
}

// True when the process `process_id` is running and was started before `time`: it may be the
// run that wrote a temporary file made at `time` (a process id is given again after its
// process ended).
bool MayHaveWritten(unsigned long process_id, const FILETIME& time) {
  HANDLE process = ::OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, process_id);
  // Refused rather than missing: another user's process, left alone.
  if (process == nullptr) return ::GetLastError() == ERROR_ACCESS_DENIED;
  DWORD code = 0;
  FILETIME created, exited, kernel, user;
  bool may = true;
  if (::GetExitCodeProcess(process, &code) && code != STILL_ACTIVE) {
    may = false;
  } else if (::GetProcessTimes(process, &created, &exited, &kernel, &user)) {
    may = ::CompareFileTime(&created, &time) <= 0;
  }
  ::CloseHandle(process);
  return may;
}

// Data passed to the copy's progress routine.
struct CopyProgress {
  bool flushed = false;
  int flush_error = 0;
};

// CopyFileExW's progress routine: flushes the copy to disk once all its data is written,
// through the copy's own handle (which can write even when the copy is read-only).
DWORD CALLBACK OnCopyProgress(LARGE_INTEGER total, LARGE_INTEGER transferred, LARGE_INTEGER,
                              LARGE_INTEGER, DWORD stream, DWORD, HANDLE, HANDLE destination,
                              LPVOID data) {
  auto* progress = static_cast<CopyProgress*>(data);
  if (stream == 1 && transferred.QuadPart == total.QuadPart && !progress->flushed) {
    progress->flushed = true;
    if (!::FlushFileBuffers(destination)) progress->flush_error = LastError();
  }
  return PROGRESS_CONTINUE;
}

// Flushes the file `path` to disk after a copy whose progress routine did not (the routine is
// optional for the system): its read-only attribute is lifted for the time it takes.
int FlushCopy(const std::wstring& path) {
  const DWORD attributes = ::GetFileAttributesW(path.c_str());
  const bool read_only =
      attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY) != 0;
  if (read_only) ::SetFileAttributesW(path.c_str(), attributes & ~FILE_ATTRIBUTE_READONLY);
  int error = 0;
  {
    Handle file(::CreateFileW(path.c_str(), GENERIC_WRITE, kShareAll, nullptr, OPEN_EXISTING,
                              FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
    if (!file.valid() || !::FlushFileBuffers(file.get())) error = LastError();
  }
  if (read_only) ::SetFileAttributesW(path.c_str(), attributes);
  return error;
}

// Fills `copy`'s checksum and facts from the file `path`.
int HashCopy(const std::wstring& path, Copied* copy) {
  Handle file(::CreateFileW(path.c_str(), GENERIC_READ, kShareAll, nullptr, OPEN_EXISTING,
                            FILE_FLAG_SEQUENTIAL_SCAN | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
  if (!file.valid()) return LastError();
  ContentHash hash;
  std::unique_ptr<char[]> buffer(new char[kBufferSize]);
  for (uint64_t at = 0;;) {
    size_t n = 0;
    const int error = win::ReadOfAt(file.get(), at, buffer.get(), kBufferSize, &n);
    if (error != 0) return error;
    if (n == 0) break;
    hash.Update(buffer.get(), static_cast<size_t>(n));
    at += static_cast<uint64_t>(n);
  }
  copy->checksum = hash.Hex();
  return FactsOf(file.get(), &copy->facts);
}

}  // namespace

Folder::~Folder() {
  delete reinterpret_cast<WinFolder*>(handle_);
}

SourceFile::~SourceFile() {
  auto* source = reinterpret_cast<WinSource*>(handle_);
  if (source == nullptr) return;
  if (source->locked) UnlockByte(source->handle);
  if (source->handle != INVALID_HANDLE_VALUE) ::CloseHandle(source->handle);
  delete source;
}

bool SystemFileSystem::Exists(const std::string& path) {
  return PathExists(path);
}

std::string SystemFileSystem::ResolvedFolder(const std::string& folder) {
  // The final path of the opened folder (junctions resolved), in its plain form.
  Handle handle(::CreateFileW(win::WinPath(folder).c_str(), FILE_READ_ATTRIBUTES, kShareAll,
                              nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
  if (!handle.valid()) return std::string();
  std::wstring path(MAX_PATH, L'\0');
  DWORD length = 0;
  for (;;) {
    length = ::GetFinalPathNameByHandleW(handle.get(), path.data(), static_cast<DWORD>(path.size()),
                                         FILE_NAME_NORMALIZED | VOLUME_NAME_DOS);
    if (length < path.size()) break;
    path.resize(length + 1);
  }
  if (length == 0) return std::string();
  path.resize(length);
  return WithTrailingSeparator(win::PlainPath(path));
}

int SystemFileSystem::OpenFolder(const std::string& path, FolderRef* folder) {
  // The chosen folder itself may be reached through links: the user named it.
  std::wstring full = win::WinPath(path.empty() ? "." : path);
  while (full.size() > 1 && full.back() == L'\\' && full[full.size() - 2] != L':') {
    full.pop_back();
  }
  full = LongForm(full);
  Handle handle(::CreateFileW(full.c_str(), FILE_READ_ATTRIBUTES | SYNCHRONIZE, kShareFolder,
                              nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
  if (!handle.valid()) {
    const DWORD code = ::GetLastError();
    // A file named as a folder.
    if (code == ERROR_DIRECTORY || code == ERROR_INVALID_NAME) return ENOTDIR;
    return win::ErrorResult(code);
  }
  BY_HANDLE_FILE_INFORMATION info;
  if (!::GetFileInformationByHandle(handle.get(), &info)) return LastError();
  if ((info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0) return ENOTDIR;
  auto level = std::make_shared<Level>();
  level->handle = handle.release();
  *folder = MakeFolderRef(path, WinFolder{full, std::move(level)});
  return 0;
}

int SystemFileSystem::OpenSubfolder(const Folder& parent, const std::string& name,
                                    FolderRef* folder) {
  // A relative path of several levels opens them one by one, as on POSIX.
  WinFolder opened;
  const int error = OpenLevels(Of(parent), LevelsOf(name), false, nullptr, &opened);
  if (error != 0) return error;
  *folder = MakeFolderRef(WithTrailingSeparator(parent.Path() + name), std::move(opened));
  return 0;
}

std::unique_ptr<FolderListing> SystemFileSystem::ListFolder(const Folder& folder, int* error) {
  auto listing = std::make_unique<WinListing>(Of(folder).path);
  if (!listing->Start()) {
    if (error != nullptr) *error = listing->Error();
    return nullptr;
  }
  return listing;
}

FILE* SystemFileSystem::OpenForReading(const FileAt& file) {
  return win::OpenStream(PathOf(file));
}

int SystemFileSystem::OpenTargetFolder(const Folder& base, const std::string& relative, bool* made,
                                       FolderRef* folder) {
  *made = false;
  WinFolder opened;
  const int error = OpenLevels(Of(base), LevelsOf(relative), true, made, &opened);
  if (error != 0) return error;
  *folder = MakeFolderRef(base.Path() + relative, std::move(opened));
  return 0;
}

bool SystemFileSystem::FoldersStayInPlace() const {
  return true;
}

int SystemFileSystem::CheckNameFree(const Folder& base, const std::string& relative) {
  std::vector<std::string> levels = LevelsOf(relative);
  if (levels.empty()) return EINVAL;
  const std::string name = levels.back();
  levels.pop_back();
  for (const std::string& level : levels) {
    if (const int error = NameError(level); error != 0) return error;
  }
  if (const int error = NameError(name); error != 0) return error;
  WinFolder folder;
  const int error = OpenLevels(Of(base), levels, false, nullptr, &folder);
  if (error == ENOENT) return 0;
  if (error != 0) return error;
  // The entry itself, a link's own (a dangling link takes the name too).
  if (::GetFileAttributesW(Join(folder.path, name).c_str()) != INVALID_FILE_ATTRIBUTES) {
    return EEXIST;
  }
  const DWORD code = ::GetLastError();
  return code == ERROR_FILE_NOT_FOUND || code == ERROR_PATH_NOT_FOUND ? 0 : win::ErrorResult(code);
}

int SystemFileSystem::CheckTargetFolder(const Folder& base, const std::string& relative,
                                        int* add_error, uint64_t* device) {
  *add_error = 0;
  std::vector<std::string> levels = LevelsOf(relative);
  const size_t wanted = levels.size();
  for (const std::string& level : levels) {
    if (const int error = NameError(level); error != 0) return error;
  }
  // The deepest level that exists, reached as OpenTargetFolder reaches it.
  WinFolder folder;
  int error = OpenLevels(Of(base), levels, false, nullptr, &folder);
  while (error == ENOENT && !levels.empty()) {
    levels.pop_back();
    error = OpenLevels(Of(base), levels, false, nullptr, &folder);
  }
  if (error != 0) return error;
  // Opened for adding files and folders: refused as the making of either would be.
  Handle adding(::CreateFileW(folder.path.c_str(), FILE_ADD_FILE | FILE_ADD_SUBDIRECTORY, kShareAll,
                              nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
  const int access = adding.valid() ? 0 : LastError();
  BY_HANDLE_FILE_INFORMATION info;
  if (adding.valid() && ::GetFileInformationByHandle(adding.get(), &info)) {
    *device = info.dwVolumeSerialNumber;
  }
  if (levels.size() < wanted) return access;  // levels to be made there
  *add_error = access;
  return 0;
}

void SystemFileSystem::RemoveLeftovers(const Folder& folder) {
  const std::wstring& path = Of(folder).path;
  WIN32_FIND_DATAW data;
  HANDLE find = ::FindFirstFileExW(Join(path, ".nandell-*.part").c_str(), FindExInfoBasic, &data,
                                   FindExSearchNameMatch, nullptr, 0);
  if (find == INVALID_HANDLE_VALUE) return;
  std::vector<std::wstring> leftovers;
  do {
    unsigned long process_id = 0;
    const std::string name = win::Narrow(data.cFileName);
    if ((data.dwFileAttributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT)) == 0 &&
        IsTemporaryName(name, &process_id) && !MayHaveWritten(process_id, data.ftCreationTime)) {
      leftovers.push_back(data.cFileName);
    }
  } while (::FindNextFileW(find, &data));
  ::FindClose(find);
  for (const std::wstring& name : leftovers) {
    // Not shared: a file that anyone still has open stays.
    Handle file(::CreateFileW((path + L"\\" + name).c_str(),
                              DELETE | FILE_READ_ATTRIBUTES | FILE_WRITE_ATTRIBUTES, 0, nullptr,
                              OPEN_EXISTING, FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
    if (file.valid()) DeleteOpenFile(file.get());
  }
}

int SystemFileSystem::OpenSource(const FileAt& file, bool lock,
                                 std::unique_ptr<SourceFile>* source) {
  const std::wstring path = PathOf(file);
  FileStamp entry;
  {
    Handle own(::CreateFileW(path.c_str(), FILE_READ_ATTRIBUTES, kShareAll, nullptr, OPEN_EXISTING,
                             FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
    if (!own.valid()) return LastError();
    if (!StampOf(own.get(), &entry)) return LastError();
  }
  // Other programs may go on reading, writing, renaming and deleting it: the stamps tell.
  Handle handle(::CreateFileW(path.c_str(), GENERIC_READ, kShareAll, nullptr, OPEN_EXISTING,
                              FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
  if (!handle.valid()) return LastError();
  if (::GetFileType(handle.get()) != FILE_TYPE_DISK) return EINVAL;
  FileStamp content;
  if (!StampOf(handle.get(), &content)) return LastError();
  BY_HANDLE_FILE_INFORMATION info;
  if (!::GetFileInformationByHandle(handle.get(), &info)) return LastError();
  if ((info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0) return EISDIR;
  // The entry looked at is the file opened (a link's own entry aside).
  if ((entry.device != content.device || entry.inode != content.inode) &&
      (::GetFileAttributesW(path.c_str()) & FILE_ATTRIBUTE_REPARSE_POINT) == 0) {
    return kChangedWhileMoved;
  }
  auto* win_source = new WinSource{handle.release(), path, false};
  if (lock) win_source->locked = LockByte(win_source->handle, false);
  *source = std::make_unique<SourceFile>(reinterpret_cast<intptr_t>(win_source), entry, content);
  return 0;
}

int SystemFileSystem::TakeStamp(SourceFile& source) {
  FileStamp stamp;
  if (!StampOf(Of(source).handle, &stamp)) return LastError();
  source.SetContent(stamp);
  return 0;
}

bool SystemFileSystem::Unchanged(const SourceFile& source) {
  FileStamp stamp;
  return StampOf(Of(source).handle, &stamp) && stamp == source.Content();
}

int SystemFileSystem::CopyToTemporary(SourceFile& source, const Folder& folder, bool,
                                      Copied* copy) {
  // The copy keeps the last-write time, the attributes and the alternate data streams (a
  // download's zone mark among them); its security comes from the folder, as with any copy
  // made in Explorer. The owner is not carried over: that needs the restore privilege.
  for (int attempt = 0; attempt < 100; ++attempt) {
    copy->name = TemporaryName(::GetCurrentProcessId());
    const std::wstring path = Join(Of(folder).path, copy->name);
    CopyProgress progress;
    BOOL cancel = FALSE;
    if (!::CopyFileExW(Of(source).path.c_str(), path.c_str(), OnCopyProgress, &progress, &cancel,
                       COPY_FILE_FAIL_IF_EXISTS)) {
      const DWORD code = ::GetLastError();
      if (code == ERROR_FILE_EXISTS || code == ERROR_ALREADY_EXISTS) continue;
      RemoveEntry(path);
      return win::ErrorResult(code);
    }
    int error = progress.flushed ? progress.flush_error : FlushCopy(path);
    // The path may have led to another file than the one opened (renamed in meanwhile).
    if (error == 0) {
      Handle named(::CreateFileW(Of(source).path.c_str(), FILE_READ_ATTRIBUTES, kShareAll, nullptr,
                                 OPEN_EXISTING, 0, nullptr));
      FileStamp now;
      if (!named.valid() || !StampOf(named.get(), &now)) {
        error = LastError();
      } else if (now.device != source.Content().device || now.inode != source.Content().inode) {
        error = kChangedWhileCopied;
      }
    }
    // The system's copy gives no bytes on their way: the checksum is read from the copy.
    if (error == 0) error = HashCopy(path, copy);
    if (error != 0) RemoveEntry(path);
    return error;
  }
  return EEXIST;
}

int SystemFileSystem::PlaceNoReplace(const FileAt& from, const FileAt& to) {
  if (const int error = NameError(to.name); error != 0) return error;
  return win::MoveNoReplace(PathOf(from), PathOf(to));
}

int SystemFileSystem::Remove(const FileAt& file) {
  return RemoveEntry(PathOf(file));
}

bool SystemFileSystem::SameContent(SourceFile& source, const FileAt& copy) {
  Handle other(::CreateFileW(PathOf(copy).c_str(), GENERIC_READ, kShareAll, nullptr, OPEN_EXISTING,
                             FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
  if (!other.valid()) return false;
  const HANDLE in = Of(source).handle;
  LARGE_INTEGER sa, sb;
  if (!::GetFileSizeEx(in, &sa) || !::GetFileSizeEx(other.get(), &sb) ||
      sa.QuadPart != sb.QuadPart) {
    return false;
  }
  std::unique_ptr<char[]> ba(new char[kBufferSize]);
  std::unique_ptr<char[]> bb(new char[kBufferSize]);
  for (uint64_t at = 0;;) {
    size_t na = 0;
    size_t nb = 0;
    if (win::ReadOfAt(in, at, ba.get(), kBufferSize, &na) != 0 ||
        win::ReadOfAt(other.get(), at, bb.get(), kBufferSize, &nb) != 0 || na != nb) {
      return false;
    }
    if (na == 0) return true;
    if (std::memcmp(ba.get(), bb.get(), static_cast<size_t>(na)) != 0) return false;
    at += static_cast<uint64_t>(na);
  }
}

void SystemFileSystem::FlushFolder(const Folder& folder, int above) {
  // A folder opened for writing flushes its entries (NTFS and FAT write them through the
  // volume's cache); where the system refuses, nothing is lost but the early flush.
  std::wstring path = Of(folder).path;
  for (int level = 0; level <= above && !path.empty(); ++level) {
    Handle handle(::CreateFileW(path.c_str(), GENERIC_READ | GENERIC_WRITE, kShareAll, nullptr,
                                OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
    if (handle.valid()) ::FlushFileBuffers(handle.get());
    const size_t slash = path.rfind(L'\\');
    if (slash == std::wstring::npos || slash < 7) break;  // not above the drive's root
    path.resize(slash);
  }
}

int SystemFileSystem::RemoveSource(SourceFile& source, const FileAt& file) {
  // Opened for deleting without sharing writes: from the check to the deletion no one can
  // write into it. A program that has it open for writing keeps it where it is.
  Handle entry(::CreateFileW(PathOf(file).c_str(),
                             DELETE | FILE_READ_ATTRIBUTES | FILE_WRITE_ATTRIBUTES | SYNCHRONIZE,
                             FILE_SHARE_READ | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                             FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
  if (!entry.valid()) return LastError();
  FileStamp stamp;
  if (!StampOf(entry.get(), &stamp)) return LastError();
  if (stamp.device != source.Entry().device || stamp.inode != source.Entry().inode ||
      !Unchanged(source)) {
    return kChangedWhileMoved;
  }
  return DeleteOpenFile(entry.get());
}

bool SystemFileSystem::IsLeftover(const FileAt& file) {
  Handle handle(::CreateFileW(PathOf(file).c_str(), GENERIC_READ, kShareAll, nullptr, OPEN_EXISTING,
                              FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
  if (!handle.valid() || !LockByte(handle.get(), true)) return false;
  UnlockByte(handle.get());
  return true;
}

int SystemFileSystem::Examine(const FileAt& file, FileFacts* facts) {
  // The entry itself: a link's own attributes.
  Handle entry(::CreateFileW(PathOf(file).c_str(), FILE_READ_ATTRIBUTES, kShareAll, nullptr,
                             OPEN_EXISTING,
                             FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
  if (!entry.valid()) return LastError();
  return FactsOf(entry.get(), facts);
}

int SystemFileSystem::IdentifyFolder(const Folder& folder, uint64_t* device, uint64_t* inode) {
  BY_HANDLE_FILE_INFORMATION info;
  if (!::GetFileInformationByHandle(Of(folder).level->handle, &info)) return LastError();
  *device = info.dwVolumeSerialNumber;
  *inode = (static_cast<uint64_t>(info.nFileIndexHigh) << 32) | info.nFileIndexLow;
  return 0;
}

int SystemFileSystem::ReadInPieces(const FileAt& file, int64_t limit,
                                   const std::function<void(std::string_view)>& piece,
                                   OpenFileFacts* facts) {
  Handle open(::CreateFileW(PathOf(file).c_str(), GENERIC_READ | READ_CONTROL, kShareAll, nullptr,
                            OPEN_EXISTING, FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
  if (!open.valid()) return LastError();
  BY_HANDLE_FILE_INFORMATION info;
  if (::GetFileType(open.get()) != FILE_TYPE_DISK ||
      !::GetFileInformationByHandle(open.get(), &info) ||
      (info.dwFileAttributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT)) != 0) {
    return kNotRegular;
  }
  const int error = win::FactsOf(open.get(), facts);
  return error != 0 ? error : win::ReadPiecesOf(open.get(), limit, piece);
}

int SystemFileSystem::OpenLocked(const FileAt& at, bool create_new,
                                 std::unique_ptr<AppendFile>* file) {
  auto opened = std::make_unique<AppendFile>();
  const int error = opened->OpenLocked(win::Narrow(PathOf(at)), create_new);
  if (error == 0) *file = std::move(opened);
  return error;
}

int SystemFileSystem::RemoveFolder(const FileAt& folder) {
  // A link or junction is removed itself, never what it leads to.
  return ::RemoveDirectoryW(PathOf(folder).c_str()) ? 0 : LastError();
}

bool SystemFileSystem::MakeFolders(const std::string& path) {
  return nandell::MakeFolders(path);
}

int SystemFileSystem::ReplaceWholeFileWith(
    const std::string& path,
    const std::function<void(const std::function<bool(std::string_view)>& write)>& content) {
  const std::wstring target = win::WinPath(path);
  const size_t slash = target.rfind(L'\\');
  const std::wstring folder = slash == std::wstring::npos ? L"." : target.substr(0, slash);
  std::wstring temporary;
  HANDLE file = INVALID_HANDLE_VALUE;
  for (int attempt = 0; attempt < 100 && file == INVALID_HANDLE_VALUE; ++attempt) {
    temporary = folder + L"\\" + win::Widen(TemporaryName(::GetCurrentProcessId()));
    file = ::CreateFileW(temporary.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                         FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE && ::GetLastError() != ERROR_FILE_EXISTS) return LastError();
  }
  if (file == INVALID_HANDLE_VALUE) return EEXIST;
  int error = 0;
  content([&](std::string_view data) {
    for (size_t done = 0; done < data.size() && error == 0;) {
      const DWORD chunk = static_cast<DWORD>(std::min<size_t>(data.size() - done, kBufferSize));
      DWORD written = 0;
      if (!::WriteFile(file, data.data() + done, chunk, &written, nullptr) || written == 0) {
        error = LastError();
      }
      done += written;
    }
    return error == 0;
  });
  if (error == 0 && !::FlushFileBuffers(file)) error = LastError();
  ::CloseHandle(file);
  if (error == 0 && !::MoveFileExW(temporary.c_str(), target.c_str(),
                                   MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
    error = LastError();
  }
  if (error != 0) ::DeleteFileW(temporary.c_str());
  return error;
}

FileSystem& RealFileSystem() {
  static SystemFileSystem file_system;
  return file_system;
}

}  // namespace nandell::fs
