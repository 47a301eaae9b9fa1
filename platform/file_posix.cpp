#include "platform/file.h"

#include <fcntl.h>
#include <stdio.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "platform/fs.h"

namespace nandell {

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
    *error = std::strerror(errno);
    return false;
  }
  const int fd = ::fileno(file);
  struct stat st;
  bool ok = true;
  if (::fstat(fd, &st) != 0) {
    *error = std::strerror(errno);
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
      *error = std::strerror(errno);
      ok = false;
    }
  }
  std::fclose(file);
  return ok;
}

bool PathExists(const std::string& path) {
  return ::access(path.c_str(), F_OK) == 0;
}

bool FolderWritable(const std::string& dir) {
  return ::access(dir.c_str(), W_OK) == 0;
}

bool MakeFolders(const std::string& dir) {
  for (std::size_t slash = dir.find('/', 1); slash != std::string::npos;
       slash = dir.find('/', slash + 1)) {
    const int error = fs::MakeFolder(dir.substr(0, slash), 0700);
    if (error != 0 && error != EEXIST) return false;
  }
  if (!dir.empty() && dir.back() != '/') {
    const int error = fs::MakeFolder(dir, 0700);
    if (error != 0 && error != EEXIST) return false;
  }
  return true;
}

RenameOutcome RenameNoReplace(const std::string& from, const std::string& to) {
  const int error = fs::PlaceNoReplace(from, to);
  if (error == 0) return RenameOutcome::kDone;
  return error == EEXIST ? RenameOutcome::kTargetExists : RenameOutcome::kFailed;
}

bool AppendFile::Open(const std::string& path) {
  Close();
  fd_ = ::open(path.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0666);
  return fd_ >= 0;
}

int AppendFile::OpenLocked(const std::string& path, bool create_new) {
  return OpenLockedAt(AT_FDCWD, path, create_new);
}

int AppendFile::OpenLockedAt(int folder_fd, const std::string& name, bool create_new) {
  Close();
  // Without waiting: a pipe or a device opens at once, and is then refused.
  const int flags = O_RDWR | O_APPEND | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY |
                    (create_new ? O_CREAT | O_EXCL : 0);
  const int fd = ::openat(folder_fd, name.c_str(), flags, 0600);
  if (fd < 0) {
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
  int error = ::fstat(fd, &st) != 0 ? errno : S_ISREG(st.st_mode) ? 0 : kNotRegularFile;
  if (error == 0 && ::flock(fd, LOCK_EX | LOCK_NB) != 0) error = errno;
  if (error != 0) {
    ::close(fd);
    return error;
  }
  fd_ = fd;
  return 0;
}

int AppendFile::ReadAll(int64_t limit, std::string* data) const {
  data->clear();
  if (fd_ < 0) return EBADF;
  return fs::ReadAllAt(fd_, limit, data);
}

int AppendFile::Facts(OpenFileFacts* facts) const {
  struct stat st;
  if (fd_ < 0) return EBADF;
  if (::fstat(fd_, &st) != 0) return errno;
  facts->device = static_cast<uint64_t>(st.st_dev);
  facts->inode = static_cast<uint64_t>(st.st_ino);
  facts->owned = st.st_uid == ::geteuid();
  facts->others_may_write = (st.st_mode & (S_IWGRP | S_IWOTH)) != 0;
  return 0;
}

int64_t AppendFile::Size() const {
  struct stat st {};
  if (fd_ < 0 || ::fstat(fd_, &st) != 0) return -1;
  return static_cast<int64_t>(st.st_size);
}

bool AppendFile::Append(std::string_view data) {
  return fd_ >= 0 && fs::WriteAll(fd_, data.data(), data.size());
}

bool AppendFile::Sync() {
  return fd_ >= 0 && ::fsync(fd_) == 0;
}

void AppendFile::Close() {
  if (fd_ >= 0) ::close(fd_);
  fd_ = -1;
}

}  // namespace nandell
