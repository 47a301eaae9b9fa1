// The file operations on POSIX: the path-level ones of platform/file.h, and the descriptor
// helpers that the run's file system (file_system_posix.cpp) and the settings file share.
#include "platform/file.h"

#include <dirent.h>
#include <fcntl.h>
#include <stdio.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <mutex>
#include <set>
#include <vector>

#include "platform/file_private.h"

namespace nandell {
namespace posix {
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

// Flushes the entries of the folder `folder` to disk; errors are ignored.
void FlushFolder(const std::string& folder) {
  int fd = ::open(folder.empty() ? "." : folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return;
  ::fsync(fd);
  ::close(fd);
}

}  // namespace

int RenameNoReplaceAt(int from_dir, const std::string& from, int to_dir, const std::string& to) {
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

int WriteTemporaryAt(int dir, const std::string& folder, const std::function<int(int fd)>& fill,
                     std::string* temporary, unsigned mode) {
  int fd = -1;
  for (int attempt = 0; attempt < 100 && fd < 0; ++attempt) {
    *temporary = folder + fs::TemporaryName(static_cast<unsigned long>(::getpid()));
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
    if (fs::IsTemporaryName(entry->d_name)) names.push_back(entry->d_name);
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
  int error = WriteTemporaryAt(AT_FDCWD, folder, fill, &temporary, 0666);
  if (error != 0) return error;
  if (::rename(temporary.c_str(), path.c_str()) != 0) {
    error = errno;
    ::unlink(temporary.c_str());
    return error;
  }
  FlushFolder(folder);
  return 0;
}

int ReadPiecesAt(int fd, int64_t limit, const std::function<void(std::string_view)>& piece) {
  struct stat st;
  if (::fstat(fd, &st) != 0) return errno;
  if (st.st_size > limit) return EFBIG;
  // The file may grow while it is read: read on to its end, or past the limit.
  std::string buffer(1 << 20, '\0');
  int64_t done = 0;
  for (;;) {
    const ssize_t n = ::pread(fd, buffer.data(), buffer.size(), static_cast<off_t>(done));
    if (n < 0) {
      if (errno == EINTR) continue;
      return errno;
    }
    if (n == 0) return 0;
    if (done + n > limit) return EFBIG;
    piece(std::string_view(buffer.data(), static_cast<size_t>(n)));
    done += n;
  }
}

ssize_t ReadFullAt(int fd, char* data, size_t size, off_t offset) {
  size_t done = 0;
  while (done < size) {
    ssize_t n = ::pread(fd, data + done, size - done, offset + static_cast<off_t>(done));
    if (n < 0) {
      if (errno == EINTR) continue;
      return -1;
    }
    if (n == 0) break;
    done += static_cast<size_t>(n);
  }
  return static_cast<ssize_t>(done);
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

int OpenLockedAt(int folder_fd, const std::string& name, bool create_new, int* fd) {
  // Without waiting: a pipe or a device opens at once, and is then refused.
  const int flags = O_RDWR | O_APPEND | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY |
                    (create_new ? O_CREAT | O_EXCL : 0);
  const int opened = ::openat(folder_fd, name.c_str(), flags, 0600);
  if (opened < 0) {
    // A pipe without a reader, a socket: not a file either.
    const int error = errno;
    struct stat st;
    if ((error == ENXIO || error == EOPNOTSUPP) &&
        ::fstatat(folder_fd, name.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0 && !S_ISREG(st.st_mode)) {
      return kNotRegularFile;
    }
    return error;
  }
  struct stat st;
  int error = ::fstat(opened, &st) != 0 ? errno : S_ISREG(st.st_mode) ? 0 : kNotRegularFile;
  if (error == 0 && ::flock(opened, LOCK_EX | LOCK_NB) != 0) error = errno;
  if (error != 0) {
    ::close(opened);
    return error;
  }
  *fd = opened;
  return 0;
}

int FactsOf(int fd, OpenFileFacts* facts) {
  struct stat st;
  if (::fstat(fd, &st) != 0) return errno;
  facts->device = static_cast<uint64_t>(st.st_dev);
  facts->inode = static_cast<uint64_t>(st.st_ino);
  facts->owned = st.st_uid == ::geteuid();
  facts->others_may_write = (st.st_mode & (S_IWGRP | S_IWOTH)) != 0;
  return 0;
}

}  // namespace posix

namespace fs {

std::string SystemErrorText(int error) {
  return std::strerror(error);
}

}  // namespace fs

FILE* OpenForReading(const std::string& path) {
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
  if (fd < 0) return nullptr;
  FILE* file = ::fdopen(fd, "rb");
  if (file == nullptr) ::close(fd);
  return file;
}

bool CheckReadableFile(const std::string& path, std::string* error) {
  FILE* file = OpenForReading(path);
  if (file == nullptr) {
    *error = ErrorText(errno);
    return false;
  }
  const int fd = ::fileno(file);
  struct stat st;
  bool ok = true;
  if (::fstat(fd, &st) != 0) {
    *error = ErrorText(errno);
    ok = false;
  } else if (S_ISDIR(st.st_mode)) {
    *error = "is a folder";
    ok = false;
  } else if (!S_ISREG(st.st_mode)) {
    *error = "not a regular file";
    ok = false;
  } else {
    char byte;
    if (::pread(fd, &byte, 1, 0) < 0) {
      *error = ErrorText(errno);
      ok = false;
    }
  }
  std::fclose(file);
  return ok;
}

bool PathExists(const std::string& path) {
  return ::access(path.c_str(), F_OK) == 0;
}

bool IsFolder(const std::string& path) {
  struct stat st;
  return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool FolderWritable(const std::string& dir) {
  return ::access(dir.c_str(), W_OK) == 0;
}

bool MakeFolders(const std::string& dir, unsigned mode) {
  if (dir.empty() || dir[0] != '/') return false;
  // Every level in turn; one that exists already is no error, whatever made it: what counts is
  // that each is a folder afterwards (a file in its place is not).
  for (size_t end = dir.find('/', 1);; end = dir.find('/', end + 1)) {
    const std::string level = dir.substr(0, end);
    if (::mkdir(level.c_str(), static_cast<mode_t>(mode)) != 0 && !IsFolder(level)) return false;
    if (end == std::string::npos || end + 1 == dir.size()) return true;
  }
}

int RenameNoReplace(const std::string& from, const std::string& to) {
  return posix::RenameNoReplaceAt(AT_FDCWD, from, AT_FDCWD, to);
}

bool AppendFile::Open(const std::string& path) {
  Close();
  handle_ = ::open(path.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0666);
  return handle_ >= 0;
}

int AppendFile::OpenLocked(const std::string& path, bool create_new) {
  Close();
  int fd = -1;
  const int error = posix::OpenLockedAt(AT_FDCWD, path, create_new, &fd);
  if (error == 0) handle_ = fd;
  return error;
}

int AppendFile::ReadPieces(int64_t limit,
                           const std::function<void(std::string_view)>& piece) const {
  if (handle_ < 0) return EBADF;
  return posix::ReadPiecesAt(static_cast<int>(handle_), limit, piece);
}

int AppendFile::ReadAt(int64_t offset, size_t size, std::string* data) const {
  data->resize(size);
  if (handle_ < 0) return EBADF;
  const ssize_t n =
      posix::ReadFullAt(static_cast<int>(handle_), data->data(), size, static_cast<off_t>(offset));
  if (n < 0) return errno;
  data->resize(static_cast<size_t>(n));
  return 0;
}

int AppendFile::Facts(OpenFileFacts* facts) const {
  if (handle_ < 0) return EBADF;
  return posix::FactsOf(static_cast<int>(handle_), facts);
}

int64_t AppendFile::Size() const {
  struct stat st {};
  if (handle_ < 0 || ::fstat(static_cast<int>(handle_), &st) != 0) return -1;
  return static_cast<int64_t>(st.st_size);
}

bool AppendFile::Append(std::string_view data) {
  return handle_ >= 0 && posix::WriteAll(static_cast<int>(handle_), data.data(), data.size());
}

bool AppendFile::Sync() {
  return handle_ >= 0 && ::fsync(static_cast<int>(handle_)) == 0;
}

void AppendFile::Close() {
  if (handle_ >= 0) ::close(static_cast<int>(handle_));
  handle_ = -1;
}

}  // namespace nandell
