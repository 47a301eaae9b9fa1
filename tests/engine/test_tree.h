#pragma once

// Helpers for tests on real files: a temporary folder removed afterwards, file writing and
// reading, and a listing of every file under a folder. On Windows the same helpers through
// the wide calls; there a temporary folder's path uses "\\", and TempDir's "/" joins
// relative paths with it.

#include <ctime>
#include <functional>
#include <map>
#include <string>

#ifdef _WIN32
#include <windows.h>

#include "platform/file.h"
#include "platform/path.h"
#include "platform/windows_support.h"
#include "tests/support/jpeg_builder.h"
#else
#include <dirent.h>
#include <fcntl.h>
#include <sched.h>
#include <stdlib.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/time.h>
#include <unistd.h>
#endif

namespace nandell::testing {

// The folder of the runs' journals in an output folder, which the listings below leave out:
// they list what a run put among the photos.
inline constexpr const char* kRecordsFolder = ".nandell";

}  // namespace nandell::testing

#ifdef _WIN32

namespace nandell::testing {

/// `path` with this platform's separators: expected texts name paths as the run writes them.
inline std::string Native(std::string path) {
  return WithNativeSeparators(std::move(path));
}

// The long form of `path` (a full path), which any length and any name reach.
inline std::wstring LongPath(const std::string& path) {
  std::wstring wide = win::WinPath(path);
  if (wide.compare(0, 4, L"\\\\?\\") != 0) wide = L"\\\\?\\" + wide;
  while (wide.size() > 7 && wide.back() == L'\\') wide.pop_back();
  return wide;
}

inline void RemoveTree(const std::string& path) {
  test_support::RemoveFolderTree(LongPath(path));
}

// A fresh folder under `base` (default: the user's temporary folder), ending with "\\",
// removed on destruction.
class TempDir {
 public:
  explicit TempDir(const std::string& base = "/tmp") {
    std::wstring folder;
    if (base == "/tmp") {
      wchar_t buffer[MAX_PATH + 1];
      const DWORD length = ::GetTempPathW(MAX_PATH + 1, buffer);
      if (length == 0 || length > MAX_PATH) return;
      folder.assign(buffer, length);
    } else {
      folder = win::WinPath(base) + L"\\";
    }
    static unsigned counter = 0;
    for (int attempt = 0; attempt < 100; ++attempt) {
      const std::wstring dir =
          folder + L"nandell-test-" + std::to_wstring(::GetCurrentProcessId()) + L"-" +
          std::to_wstring(::GetTickCount()) + L"-" + std::to_wstring(++counter);
      if (::CreateDirectoryW(dir.c_str(), nullptr)) {
        path_ = win::Narrow(dir) + "\\";
        return;
      }
      if (::GetLastError() != ERROR_ALREADY_EXISTS) return;
    }
  }
  ~TempDir() {
    // Wine lets a finished program's handles go a moment after its end: try for a while.
    for (int attempt = 0;
         attempt < 100 && !path_.empty() && !test_support::RemoveFolderTree(LongPath(path_));
         ++attempt) {
      ::Sleep(20);
    }
  }
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;
  const std::string& path() const { return path_; }
  std::string operator/(const std::string& relative) const { return path_ + Native(relative); }

 private:
  std::string path_;
};

// Creates every folder of `path` (absolute).
inline bool MakeFolders(const std::string& path) {
  return nandell::MakeFolders(path);
}

inline FILETIME FileTimeOf(time_t t) {
  const uint64_t units = (static_cast<uint64_t>(t) + 11644473600ULL) * 10000000ULL;
  return FILETIME{static_cast<DWORD>(units), static_cast<DWORD>(units >> 32)};
}

// Writes `content` to `path`, creating its folders; sets its last-write time when given.
inline bool WriteFile(const std::string& path, const std::string& content, time_t mtime = 0) {
  const size_t slash = LastSeparator(path);
  if (slash != std::string::npos && slash > 0) MakeFolders(path.substr(0, slash));
  HANDLE file = ::CreateFileW(LongPath(path).c_str(), GENERIC_WRITE,
                              FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                              CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  DWORD written = 0;
  bool ok =
      content.empty() ||
      (::WriteFile(file, content.data(), static_cast<DWORD>(content.size()), &written, nullptr) &&
       written == content.size());
  if (ok && mtime != 0) {
    const FILETIME time = FileTimeOf(mtime);
    ok = ::SetFileTime(file, nullptr, &time, &time);
  }
  ::CloseHandle(file);
  return ok;
}

// The whole content of `path`, or "<missing>" when it cannot be read.
inline std::string ReadFile(const std::string& path) {
  HANDLE file = ::CreateFileW(LongPath(path).c_str(), GENERIC_READ,
                              FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                              OPEN_EXISTING, 0, nullptr);
  if (file == INVALID_HANDLE_VALUE) return "<missing>";
  std::string data;
  char buffer[65536];
  DWORD got = 0;
  while (::ReadFile(file, buffer, sizeof buffer, &got, nullptr) && got > 0)
    data.append(buffer, got);
  ::CloseHandle(file);
  return data;
}

inline bool PathExists(const std::string& path) {
  return ::GetFileAttributesW(LongPath(path).c_str()) != INVALID_FILE_ATTRIBUTES;
}

// One entry of a walk: whether it is a folder, a link, and its size and last-write time.
struct TreeEntry {
  bool folder = false;
  bool link = false;
  uint64_t size = 0;
  uint64_t modified = 0;  // 100 ns units
};

// Calls `visit` with the path relative to `root` ("/" between levels) and every entry under
// it, folders before what they hold; links are not entered, root/.nandell is left out.
inline void WalkTree(const std::string& root, const std::string& relative,
                     const std::function<void(const std::string&, const TreeEntry&)>& visit) {
  WIN32_FIND_DATAW data;
  HANDLE find = ::FindFirstFileW((LongPath(root + relative) + L"\\*").c_str(), &data);
  if (find == INVALID_HANDLE_VALUE) return;
  do {
    const std::string name = win::Narrow(data.cFileName);
    if (name == "." || name == ".." || (relative.empty() && name == kRecordsFolder)) continue;
    TreeEntry entry;
    entry.folder = (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
    entry.link = (data.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
    entry.size = (static_cast<uint64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
    entry.modified = (static_cast<uint64_t>(data.ftLastWriteTime.dwHighDateTime) << 32) |
                     data.ftLastWriteTime.dwLowDateTime;
    const std::string rel = relative + name;
    visit(rel, entry);
    if (entry.folder && !entry.link) WalkTree(root, rel + "/", visit);
  } while (::FindNextFileW(find, &data));
  ::FindClose(find);
}

// Every regular file under `root`, by path relative to it ("/" between levels), with content.
inline std::map<std::string, std::string> ListFiles(const std::string& root) {
  std::map<std::string, std::string> files;
  WalkTree(root, "", [&](const std::string& rel, const TreeEntry& entry) {
    if (!entry.folder && !entry.link) files[rel] = ReadFile(root + rel);
  });
  return files;
}

// Every entry under `root`, folders, links and hidden names included, with its kind, size and
// last-write time: what must stay the same when a run changes nothing.
inline std::map<std::string, std::string> ListTree(const std::string& root) {
  std::map<std::string, std::string> entries;
  WalkTree(root, "", [&](const std::string& rel, const TreeEntry& entry) {
    entries[rel] = std::to_string(entry.folder) + std::to_string(entry.link) + " " +
                   std::to_string(entry.size) + " " + std::to_string(entry.modified);
  });
  return entries;
}

// The last-write time of `path` in seconds since 1970.
inline int64_t LastWriteSeconds(const std::string& path) {
  WIN32_FILE_ATTRIBUTE_DATA data{};
  if (!::GetFileAttributesExW(LongPath(path).c_str(), GetFileExInfoStandard, &data)) return -1;
  const uint64_t units = (static_cast<uint64_t>(data.ftLastWriteTime.dwHighDateTime) << 32) |
                         data.ftLastWriteTime.dwLowDateTime;
  return static_cast<int64_t>(units / 10000000) - 11644473600;
}

// A folder on another file system than the temporary folder, for moves that must copy:
// /dev/shm through Wine's drive Z:.
inline constexpr char kOtherFileSystem[] = "Z:/dev/shm";

// True when a file cannot be renamed from the folder `a` into the folder `b` (both ending with
// a separator): another volume (under Wine, another Unix file system).
inline bool OnOtherFileSystem(const std::string& a, const std::string& b) {
  if (!WriteFile(a + "probe", "p")) return false;
  const bool moved = ::MoveFileExW(LongPath(a + "probe").c_str(), LongPath(b + "probe").c_str(), 0);
  const bool other = !moved && ::GetLastError() == ERROR_NOT_SAME_DEVICE;
  ::DeleteFileW(LongPath(moved ? b + "probe" : a + "probe").c_str());
  return other;
}

}  // namespace nandell::testing

#else  // POSIX

namespace nandell::testing {

/// `path` with this platform's separators: expected texts name paths as the run writes them.
inline std::string Native(std::string path) {
  return path;
}

// Removes a tree, first giving every folder back its permissions; handles paths longer than
// PATH_MAX by working relative to open folders.
inline void RemoveTreeAt(int parent_fd, const char* name) {
  struct stat st;
  if (::fstatat(parent_fd, name, &st, AT_SYMLINK_NOFOLLOW) != 0) return;
  if (S_ISDIR(st.st_mode)) {
    ::fchmodat(parent_fd, name, 0700, 0);
    int fd = ::openat(parent_fd, name, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (fd >= 0) {
      DIR* dir = ::fdopendir(fd);
      if (dir != nullptr) {
        for (;;) {
          struct dirent* d = ::readdir(dir);
          if (d == nullptr) break;
          std::string child = d->d_name;
          if (child == "." || child == "..") continue;
          RemoveTreeAt(::dirfd(dir), child.c_str());
          ::rewinddir(dir);
        }
        ::closedir(dir);
      } else {
        ::close(fd);
      }
    }
    ::unlinkat(parent_fd, name, AT_REMOVEDIR);
  } else {
    ::unlinkat(parent_fd, name, 0);
  }
}

inline void RemoveTree(const std::string& path) {
  RemoveTreeAt(AT_FDCWD, path.c_str());
}

// A fresh folder under `base` (default /tmp), ending with "/", removed on destruction.
class TempDir {
 public:
  explicit TempDir(const std::string& base = "/tmp") {
    std::string pattern = base + "/nandell-test-XXXXXX";
    char* made = ::mkdtemp(pattern.data());
    if (made != nullptr) path_ = std::string(made) + "/";
  }
  ~TempDir() {
    if (!path_.empty()) RemoveTree(path_.substr(0, path_.size() - 1));
  }
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;
  const std::string& path() const { return path_; }
  std::string operator/(const std::string& relative) const { return path_ + relative; }

 private:
  std::string path_;
};

// A file system of its own: a tmpfs mounted on a fresh folder for the life of the object, in
// a mount namespace private to this process (and the programs it starts), so that nothing
// outside sees it and it goes with the process. path() is empty where mounting is not
// allowed (not root, no CAP_SYS_ADMIN): the test then skips.
class ScopedTmpfs {
 public:
  // `size` as mount(8) takes it ("512m", "1m").
  explicit ScopedTmpfs(const std::string& size = "512m") {
    static const bool private_mounts =
        ::unshare(CLONE_NEWNS) == 0 &&
        ::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) == 0;
    if (!private_mounts || dir_.path().empty()) return;
    const std::string options = "size=" + size;
    if (::mount("tmpfs", dir_.path().c_str(), "tmpfs", 0, options.c_str()) == 0) {
      path_ = dir_.path();
    }
  }
  ~ScopedTmpfs() {
    if (!path_.empty()) ::umount2(path_.c_str(), MNT_DETACH);
  }
  ScopedTmpfs(const ScopedTmpfs&) = delete;
  ScopedTmpfs& operator=(const ScopedTmpfs&) = delete;
  // The mounted folder, ending with "/"; empty when it could not be mounted.
  const std::string& path() const { return path_; }

 private:
  TempDir dir_;  // removed, empty, once unmounted
  std::string path_;
};

// Creates every folder of `path` (absolute).
inline bool MakeFolders(const std::string& path) {
  for (size_t slash = path.find('/', 1); slash != std::string::npos;
       slash = path.find('/', slash + 1)) {
    ::mkdir(path.substr(0, slash).c_str(), 0777);
  }
  ::mkdir(path.c_str(), 0777);
  struct stat st;
  return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

// Writes `content` to `path`, creating its folders; sets its last-write time when given.
inline bool WriteFile(const std::string& path, const std::string& content, time_t mtime = 0) {
  size_t slash = path.rfind('/');
  if (slash != std::string::npos && slash > 0) MakeFolders(path.substr(0, slash));
  int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
  if (fd < 0) return false;
  bool ok = ::write(fd, content.data(), content.size()) == static_cast<ssize_t>(content.size());
  ::close(fd);
  if (ok && mtime != 0) {
    struct timespec times[2] = {{mtime, 0}, {mtime, 0}};
    ok = ::utimensat(AT_FDCWD, path.c_str(), times, 0) == 0;
  }
  return ok;
}

// The whole content of `path`, or "<missing>" when it cannot be read.
inline std::string ReadFile(const std::string& path) {
  int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return "<missing>";
  std::string data;
  char buffer[65536];
  for (;;) {
    ssize_t n = ::read(fd, buffer, sizeof buffer);
    if (n <= 0) break;
    data.append(buffer, static_cast<size_t>(n));
  }
  ::close(fd);
  return data;
}

inline bool PathExists(const std::string& path) {
  struct stat st;
  return ::lstat(path.c_str(), &st) == 0;
}

// Calls `visit` with the path relative to `root` (ending with "/") and the lstat of every
// entry under it, folders before what they hold; root/.nandell is left out.
inline void WalkTree(const std::string& root, const std::string& relative,
                     const std::function<void(const std::string&, const struct stat&)>& visit) {
  DIR* dir = ::opendir((root + relative).c_str());
  if (dir == nullptr) return;
  for (;;) {
    struct dirent* d = ::readdir(dir);
    if (d == nullptr) break;
    std::string name = d->d_name;
    if (name == "." || name == ".." || (relative.empty() && name == kRecordsFolder)) continue;
    std::string rel = relative + name;
    struct stat st;
    if (::lstat((root + rel).c_str(), &st) != 0) continue;
    visit(rel, st);
    if (S_ISDIR(st.st_mode)) WalkTree(root, rel + "/", visit);
  }
  ::closedir(dir);
}

// Every regular file under `root` (ending with "/"), by path relative to it, with content.
inline std::map<std::string, std::string> ListFiles(const std::string& root) {
  std::map<std::string, std::string> files;
  WalkTree(root, "", [&](const std::string& rel, const struct stat& st) {
    if (S_ISREG(st.st_mode)) files[rel] = ReadFile(root + rel);
  });
  return files;
}

// Every entry under `root`, folders, links and hidden names included, with its kind, size,
// permission bits and last-write time: what must stay the same when a run changes nothing.
inline std::map<std::string, std::string> ListTree(const std::string& root) {
  std::map<std::string, std::string> entries;
  WalkTree(root, "", [&](const std::string& rel, const struct stat& st) {
    entries[rel] = std::to_string(st.st_mode) + " " + std::to_string(st.st_size) + " " +
                   std::to_string(st.st_mtim.tv_sec) + "." + std::to_string(st.st_mtim.tv_nsec);
  });
  return entries;
}

// The last-write time of `path` in seconds since 1970.
inline int64_t LastWriteSeconds(const std::string& path) {
  struct stat st;
  return ::stat(path.c_str(), &st) == 0 ? static_cast<int64_t>(st.st_mtime) : -1;
}

// A folder on another file system than the temporary folder, for moves that must copy.
inline constexpr char kOtherFileSystem[] = "/dev/shm";

// True when the folders `a` and `b` are on different file systems.
inline bool OnOtherFileSystem(const std::string& a, const std::string& b) {
  struct stat sa, sb;
  return ::stat(a.c_str(), &sa) == 0 && ::stat(b.c_str(), &sb) == 0 && sa.st_dev != sb.st_dev;
}

}  // namespace nandell::testing

#endif  // _WIN32

namespace nandell::testing {

// Local "%Y-%m-%d" of a time, as the run names its folders.
inline std::string LocalDayText(time_t t) {
  struct tm tm_local;
#ifdef _WIN32
  ::localtime_s(&tm_local, &t);
#else
  ::localtime_r(&t, &tm_local);
#endif
  char text[32];
  std::strftime(text, sizeof text, "%Y-%m-%d", &tm_local);
  return text;
}

// Every entry under `root` with its mode (kind on Windows), size and last-write time, and a
// file's content; folders by name only (their times change as files come and go): what an
// undo must bring back exactly.
inline std::map<std::string, std::string> Snapshot(const std::string& root) {
  auto entries = ListTree(root);
  for (auto& [path, facts] : entries) {
#ifdef _WIN32
    const bool folder = facts[0] == '1';
#else
    const bool folder = S_ISDIR(std::stoul(facts));
#endif
    facts = folder ? "folder" : facts + " " + ReadFile(root + Native(path));
  }
  return entries;
}

// Noon local time of a calendar day, far from any day boundary.
inline time_t LocalNoon(int year, int month, int day) {
  struct tm tm_local {};
  tm_local.tm_year = year - 1900;
  tm_local.tm_mon = month - 1;
  tm_local.tm_mday = day;
  tm_local.tm_hour = 12;
  tm_local.tm_isdst = -1;
  return ::mktime(&tm_local);
}

}  // namespace nandell::testing
