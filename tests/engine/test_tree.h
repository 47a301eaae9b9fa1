#pragma once

// Helpers for tests on real files: a temporary folder removed afterwards, file writing and
// reading, and a listing of every file under a folder.

#include <dirent.h>
#include <fcntl.h>
#include <sched.h>
#include <stdlib.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/time.h>
#include <unistd.h>

#include <ctime>
#include <functional>
#include <map>
#include <string>

namespace nandell::testing {

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
  ScopedTmpfs() {
    static const bool private_mounts =
        ::unshare(CLONE_NEWNS) == 0 &&
        ::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) == 0;
    if (!private_mounts || dir_.path().empty()) return;
    if (::mount("tmpfs", dir_.path().c_str(), "tmpfs", 0, "size=512m") == 0) path_ = dir_.path();
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

// The folder of the runs' journals in an output folder, which the listings below leave out:
// they list what a run put among the photos.
inline constexpr const char* kRecordsFolder = ".nandell";

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

// Local "%Y-%m-%d" of a time, as the run names its folders.
inline std::string LocalDayText(time_t t) {
  struct tm tm_local;
  ::localtime_r(&t, &tm_local);
  char text[32];
  std::strftime(text, sizeof text, "%Y-%m-%d", &tm_local);
  return text;
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
