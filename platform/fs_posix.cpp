#include "platform/fs.h"

#include <dirent.h>
#include <fcntl.h>
#include <stdlib.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <ctime>
#include <mutex>
#include <set>
#include <vector>

namespace nandell::fs {
namespace {

// The folder part of `path` including its last "/", or "" when there is none.
std::string FolderOf(const std::string& path) {
  const size_t slash = path.rfind('/');
  return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

// An error of renameat2's flags or of linkat that means the file system lacks the call.
bool Unsupported(int error) {
  return error == EINVAL || error == ENOSYS || error == EOPNOTSUPP;
}

// File systems (by device) found to have neither a no-replace rename nor hard links. A device
// number that a later mount reuses only makes its placements take the locked way, which is
// safe on every file system.
std::mutex g_without_links_mutex;
std::set<dev_t> g_without_links;

bool WithoutLinks(dev_t device) {
  std::lock_guard<std::mutex> lock(g_without_links_mutex);
  return g_without_links.count(device) != 0;
}

void RememberWithoutLinks(dev_t device) {
  std::lock_guard<std::mutex> lock(g_without_links_mutex);
  g_without_links.insert(device);
}

// Places `from` at `to` on a file system without a no-replace rename or hard links: under an
// advisory lock on the target folder, which every placement of this program there takes, the
// name is checked to be free and the file renamed. A program that does not take the lock and
// creates the same name between the check and the rename is the one case not covered.
int PlaceUnderFolderLock(int from_dir, const std::string& from, int to_dir, const std::string& to) {
  const std::string folder = FolderOf(to);
  // An open file description of its own, so that the lock also keeps out this process's other
  // threads.
  const int lock =
      ::openat(to_dir, folder.empty() ? "." : folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (lock < 0) return errno;
  while (::flock(lock, LOCK_EX) != 0) {
    if (errno != EINTR) {
      const int error = errno;
      ::close(lock);
      return error;
    }
  }
  int error = 0;
  struct stat st;
  if (::fstatat(to_dir, to.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0) {
    error = EEXIST;
  } else if (errno != ENOENT) {
    error = errno;
  } else {
    struct stat source;
    const bool have_times = ::fstatat(from_dir, from.c_str(), &source, AT_SYMLINK_NOFOLLOW) == 0;
    if (::renameat(from_dir, from.c_str(), to_dir, to.c_str()) != 0) {
      error = errno;
    } else if (have_times) {
      const struct timespec times[2] = {source.st_atim, source.st_mtim};
      ::utimensat(to_dir, to.c_str(), times, AT_SYMLINK_NOFOLLOW);
    }
  }
  ::close(lock);
  return error;
}

}  // namespace

std::string ErrorText(int error) {
  return std::strerror(error);
}

bool IsFolder(const std::string& path) {
  struct stat st;
  return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

int MakeFolder(const std::string& path, unsigned mode) {
  return ::mkdir(path.c_str(), static_cast<mode_t>(mode)) == 0 ? 0 : errno;
}

int PlaceNoReplace(const std::string& from, const std::string& to) {
  return PlaceNoReplaceAt(AT_FDCWD, from, AT_FDCWD, to);
}

int PlaceNoReplaceAt(int from_dir, const std::string& from, int to_dir, const std::string& to) {
  if (::renameat2(from_dir, from.c_str(), to_dir, to.c_str(), RENAME_NOREPLACE) == 0) return 0;
  int error = errno;
  if (!Unsupported(error)) return error;
  struct stat folder;
  const std::string folder_part = FolderOf(to);
  if (::fstatat(to_dir, folder_part.empty() ? "." : folder_part.c_str(), &folder, 0) != 0) {
    return errno;
  }
  if (!WithoutLinks(folder.st_dev)) {
    if (::linkat(from_dir, from.c_str(), to_dir, to.c_str(), 0) == 0) {
      ::unlinkat(from_dir, from.c_str(), 0);
      return 0;
    }
    error = errno;
    if (error != EPERM && error != EMLINK && !Unsupported(error)) return error;
    RememberWithoutLinks(folder.st_dev);
  }
  return PlaceUnderFolderLock(from_dir, from, to_dir, to);
}

int WriteTemporary(const std::string& folder, const std::function<int(int fd)>& fill,
                   std::string* temporary, unsigned mode) {
  return WriteTemporaryAt(AT_FDCWD, folder, fill, temporary, mode);
}

int WriteTemporaryAt(int dir, const std::string& folder, const std::function<int(int fd)>& fill,
                     std::string* temporary, unsigned mode) {
  int fd = -1;
  for (int attempt = 0; attempt < 100 && fd < 0; ++attempt) {
    *temporary = folder + TemporaryName(static_cast<unsigned long>(::getpid()));
    fd = ::openat(dir, temporary->c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC,
                  static_cast<mode_t>(mode));
    if (fd < 0 && errno != EEXIST) return errno;
  }
  if (fd < 0) return EEXIST;
  // Held until the file is closed: a later run removes only the temporary files it can lock,
  // those of a run that was killed.
  ::flock(fd, LOCK_EX | LOCK_NB);
  int error = fill(fd);
  if (error == 0 && ::fsync(fd) != 0) error = errno;
  if (::close(fd) != 0 && error == 0) error = errno;
  if (error != 0) ::unlinkat(dir, temporary->c_str(), 0);
  return error;
}

void RemoveLeftoverTemporaries(int dir) {
  const int list_fd = ::openat(dir, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (list_fd < 0) return;
  DIR* listing = ::fdopendir(list_fd);
  if (listing == nullptr) {
    ::close(list_fd);
    return;
  }
  std::vector<std::string> names;
  while (struct dirent* entry = ::readdir(listing)) {
    if (IsTemporaryName(entry->d_name)) names.push_back(entry->d_name);
  }
  ::closedir(listing);
  for (const std::string& name : names) {
    const int fd = ::openat(dir, name.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) continue;
    struct stat open_file;
    struct stat named;
    // Locked by no one: the run that wrote it has ended. Removed only when the name still
    // belongs to the file that was locked.
    if (::flock(fd, LOCK_EX | LOCK_NB) == 0 && ::fstat(fd, &open_file) == 0 &&
        ::fstatat(dir, name.c_str(), &named, AT_SYMLINK_NOFOLLOW) == 0 && S_ISREG(named.st_mode) &&
        named.st_dev == open_file.st_dev && named.st_ino == open_file.st_ino) {
      ::unlinkat(dir, name.c_str(), 0);
    }
    ::close(fd);
  }
}

int ReplaceFile(const std::string& path, const std::function<int(int fd)>& fill) {
  const std::string folder = FolderOf(path);
  std::string temporary;
  int error = WriteTemporary(folder, fill, &temporary, 0666);
  if (error != 0) return error;
  if (::rename(temporary.c_str(), path.c_str()) != 0) {
    error = errno;
    ::unlink(temporary.c_str());
    return error;
  }
  FlushFolder(folder);
  return 0;
}

int ReadAllAt(int fd, int64_t limit, std::string* data) {
  data->clear();
  struct stat st;
  if (::fstat(fd, &st) != 0) return errno;
  if (st.st_size > limit) return EFBIG;
  data->resize(static_cast<size_t>(st.st_size));
  // The file may grow while it is read: read on to its end, or past the limit.
  size_t done = 0;
  for (;;) {
    if (done == data->size()) {
      if (static_cast<int64_t>(done) >= limit) {
        char byte;
        const ssize_t more = ::pread(fd, &byte, 1, static_cast<off_t>(done));
        if (more < 0 && errno == EINTR) continue;
        if (more < 0) return errno;
        return more == 0 ? 0 : EFBIG;
      }
      data->resize(std::min<size_t>(static_cast<size_t>(limit), done + (1 << 16)));
    }
    const ssize_t n =
        ::pread(fd, data->data() + done, data->size() - done, static_cast<off_t>(done));
    if (n < 0) {
      if (errno == EINTR) continue;
      return errno;
    }
    if (n == 0) break;
    done += static_cast<size_t>(n);
  }
  data->resize(done);
  return 0;
}

bool WriteAll(int fd, const void* data, size_t size) {
  const char* bytes = static_cast<const char*>(data);
  while (size > 0) {
    ssize_t n = ::write(fd, bytes, size);
    if (n < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    bytes += n;
    size -= static_cast<size_t>(n);
  }
  return true;
}

void FlushFolder(const std::string& folder) {
  int fd = ::open(folder.empty() ? "." : folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return;
  ::fsync(fd);
  ::close(fd);
}

void FlushFolderAt(int dir, int above) {
  ::fsync(dir);
  int level = dir;
  for (int i = 0; i < above; ++i) {
    const int parent = ::openat(level, "..", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (level != dir) ::close(level);
    if (parent < 0) return;
    ::fsync(parent);
    level = parent;
  }
  if (level != dir) ::close(level);
}

std::string ResolvedFolder(const std::string& folder) {
  char* resolved = ::realpath(folder.c_str(), nullptr);
  if (resolved == nullptr) return std::string();
  std::string text = resolved;
  ::free(resolved);
  if (text.empty() || text.back() != '/') text += '/';
  return text;
}

std::string LocalTimeText(int64_t seconds, const char* format) {
  time_t t = static_cast<time_t>(seconds);
  struct tm tm_local;
  char text[128];
  if (::localtime_r(&t, &tm_local) == nullptr ||
      std::strftime(text, sizeof text, format, &tm_local) == 0) {
    return std::string();
  }
  return text;
}

bool LocalDay(int64_t seconds, std::string* day, std::string* year) {
  time_t t = static_cast<time_t>(seconds);
  struct tm tm_local;
  char day_text[64];
  char year_text[32];
  if (::localtime_r(&t, &tm_local) == nullptr ||
      std::strftime(day_text, sizeof day_text, "%Y-%m-%d", &tm_local) == 0 ||
      std::strftime(year_text, sizeof year_text, "%Y", &tm_local) == 0) {
    *day = "0000-00-00";
    *year = "0000";
    return false;
  }
  *day = day_text;
  *year = year_text;
  return true;
}

}  // namespace nandell::fs
