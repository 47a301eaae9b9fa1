#include "platform/file_system.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/sendfile.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <initializer_list>

#include "platform/file.h"
#include "platform/fs.h"

namespace nandell::fs {
namespace {

constexpr size_t kBufferSize = 1 << 20;

// Closes a descriptor on scope exit.
class Fd {
 public:
  explicit Fd(int fd) : fd_(fd) {}
  ~Fd() {
    if (fd_ >= 0) ::close(fd_);
  }
  Fd(const Fd&) = delete;
  Fd& operator=(const Fd&) = delete;
  int get() const { return fd_; }

 private:
  int fd_;
};

// The folder part of `path` including its last "/", or "./" when there is none.
std::string FolderOf(const std::string& path) {
  size_t slash = path.rfind('/');
  if (slash == std::string::npos) return "./";
  return path.substr(0, slash + 1);
}

// Reads up to `size` bytes, retrying short reads; returns the count or -1.
ssize_t ReadFull(int fd, char* data, size_t size) {
  size_t done = 0;
  while (done < size) {
    ssize_t n = ::read(fd, data + done, size - done);
    if (n < 0) {
      if (errno == EINTR) continue;
      return -1;
    }
    if (n == 0) break;
    done += static_cast<size_t>(n);
  }
  return static_cast<ssize_t>(done);
}

// Runs one kernel copy call until the end of the data. Returns 0 when done, an errno value on
// failure, or -1 when the call is not available for these files and nothing was copied yet
// (the caller then tries the next way).
template <typename KernelCopy>
int CopyInKernel(KernelCopy copy, std::initializer_list<int> unavailable) {
  bool copied_any = false;
  for (;;) {
    ssize_t n = copy();
    if (n > 0) {
      copied_any = true;
      continue;
    }
    if (n == 0) return 0;
    if (errno == EINTR) continue;
    if (copied_any) return errno;
    for (int e : unavailable) {
      if (errno == e) return -1;
    }
    return errno;
  }
}

// Copies all data from `in` to `out` (both at offset 0): in the kernel where it can, else
// through a large buffer. Returns 0 or an errno value.
int CopyData(int in, int out) {
  int result =
      CopyInKernel([&] { return ::copy_file_range(in, nullptr, out, nullptr, 1 << 30, 0); },
                   {EXDEV, EINVAL, ENOSYS, EOPNOTSUPP, EBADF, EPERM});
  if (result >= 0) return result;
  result = CopyInKernel([&] { return ::sendfile(out, in, nullptr, 1 << 30); },
                        {EINVAL, ENOSYS, EOPNOTSUPP});
  if (result >= 0) return result;
  std::unique_ptr<char[]> buffer(new char[kBufferSize]);
  for (;;) {
    ssize_t n = ::read(in, buffer.get(), kBufferSize);
    if (n < 0) {
      if (errno == EINTR) continue;
      return errno;
    }
    if (n == 0) return 0;
    if (!WriteAll(out, buffer.get(), static_cast<size_t>(n))) return errno;
  }
}

// The listing of a folder through one open directory stream.
class PosixListing : public FolderListing {
 public:
  explicit PosixListing(DIR* dir) : dir_(dir) {}
  ~PosixListing() override { ::closedir(dir_); }
  PosixListing(const PosixListing&) = delete;
  PosixListing& operator=(const PosixListing&) = delete;

  bool Next(DirEntry* entry) override {
    errno = 0;
    struct dirent* d = ::readdir(dir_);
    if (d == nullptr) {
      error_ = errno;
      return false;
    }
    entry->name = d->d_name;
    const unsigned char type = d->d_type;
    if (type == DT_DIR) {
      entry->kind = EntryKind::kDirectory;
      return true;
    }
    entry->kind = EntryKind::kFile;
    if (type != DT_LNK && type != DT_UNKNOWN) return true;
    struct stat st;
    const int fd = ::dirfd(dir_);
    if (::fstatat(fd, d->d_name, &st, AT_SYMLINK_NOFOLLOW) != 0) return true;
    if (S_ISDIR(st.st_mode)) {
      entry->kind = EntryKind::kDirectory;
    } else if (S_ISLNK(st.st_mode)) {
      if (::fstatat(fd, d->d_name, &st, 0) == 0 && S_ISDIR(st.st_mode)) {
        entry->kind = EntryKind::kDirectoryLink;
      }
    }
    return true;
  }

  int Error() const override { return error_; }

  bool LastWriteTime(const std::string& name, int64_t* seconds) const override {
    struct stat st;
    // A link that leads nowhere goes by its own time.
    if (::fstatat(::dirfd(dir_), name.c_str(), &st, 0) != 0 &&
        ::fstatat(::dirfd(dir_), name.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0) {
      return false;
    }
    *seconds = static_cast<int64_t>(st.st_mtim.tv_sec);
    return true;
  }

 private:
  DIR* dir_;
  int error_ = 0;
};

}  // namespace

std::unique_ptr<FolderListing> FileSystem::ListFolder(const std::string& folder, int* error) {
  DIR* dir = ::opendir(folder.c_str());
  if (dir == nullptr) {
    if (error != nullptr) *error = errno;
    return nullptr;
  }
  return std::make_unique<PosixListing>(dir);
}

FILE* FileSystem::OpenForReading(const std::string& path) {
  return nandell::OpenForReading(path);
}

bool FileSystem::Exists(const std::string& path) {
  return PathExists(path);
}

std::string FileSystem::ResolvedFolder(const std::string& folder) {
  return fs::ResolvedFolder(folder);
}

int FileSystem::CheckNameFree(const std::string& path) {
  struct stat st;
  if (::lstat(path.c_str(), &st) == 0) return EEXIST;
  return errno == ENOENT ? 0 : errno;
}

int FileSystem::MakeFolder(const std::string& path) {
  return fs::MakeFolder(path);
}

bool FileSystem::MakeFolders(const std::string& path) {
  return nandell::MakeFolders(path);
}

int FileSystem::CopyToTemporary(const std::string& source, const std::string& folder,
                                std::string* temporary) {
  Fd in(::open(source.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK));
  if (in.get() < 0) return errno;
  struct stat st;
  if (::fstat(in.get(), &st) != 0) return errno;
  if (!S_ISREG(st.st_mode)) return EINVAL;
  return WriteTemporary(
      folder,
      [&](int out) {
        int error = CopyData(in.get(), out);
        // Set-id bits are never carried over to a copy.
        if (error == 0 && ::fchmod(out, st.st_mode & 07777 & ~static_cast<mode_t>(06000)) != 0) {
          error = errno;
        }
        struct timespec times[2] = {st.st_atim, st.st_mtim};
        if (error == 0 && ::futimens(out, times) != 0) error = errno;
        return error;
      },
      temporary);
}

int FileSystem::PlaceNoReplace(const std::string& from, const std::string& to) {
  return fs::PlaceNoReplace(from, to);
}

int FileSystem::Remove(const std::string& path) {
  return ::unlink(path.c_str()) == 0 ? 0 : errno;
}

bool FileSystem::SameContent(const std::string& a, const std::string& b) {
  Fd fa(::open(a.c_str(), O_RDONLY | O_CLOEXEC));
  Fd fb(::open(b.c_str(), O_RDONLY | O_CLOEXEC));
  if (fa.get() < 0 || fb.get() < 0) return false;
  struct stat sa;
  struct stat sb;
  if (::fstat(fa.get(), &sa) != 0 || ::fstat(fb.get(), &sb) != 0) return false;
  if (sa.st_size != sb.st_size) return false;
  std::unique_ptr<char[]> ba(new char[kBufferSize]);
  std::unique_ptr<char[]> bb(new char[kBufferSize]);
  for (;;) {
    ssize_t na = ReadFull(fa.get(), ba.get(), kBufferSize);
    ssize_t nb = ReadFull(fb.get(), bb.get(), kBufferSize);
    if (na < 0 || nb < 0 || na != nb) return false;
    if (na == 0) return true;
    if (std::memcmp(ba.get(), bb.get(), static_cast<size_t>(na)) != 0) return false;
  }
}

void FileSystem::FlushFolder(const std::string& folder) {
  fs::FlushFolder(folder);
}

int FileSystem::WriteWholeFile(const std::string& path, const std::string& data) {
  const int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0666);
  if (fd < 0) return errno;
  int error = 0;
  if (::ftruncate(fd, 0) != 0 || !WriteAll(fd, data.data(), data.size())) error = errno;
  // A write error that shows only when the file is closed counts too.
  if (::close(fd) != 0 && error == 0) error = errno;
  return error;
}

int FileSystem::Examine(const std::string& path, FileFacts* facts) {
  struct stat st;
  if (::lstat(path.c_str(), &st) != 0) return errno;
  facts->regular = S_ISREG(st.st_mode);
  facts->size = static_cast<int64_t>(st.st_size);
  facts->mtime_sec = static_cast<int64_t>(st.st_mtim.tv_sec);
  facts->mtime_nsec = static_cast<int32_t>(st.st_mtim.tv_nsec);
  return 0;
}

int FileSystem::ReadWholeFile(const std::string& path, std::string* data) {
  Fd fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW));
  if (fd.get() < 0) return errno;
  data->clear();
  std::unique_ptr<char[]> buffer(new char[kBufferSize]);
  for (;;) {
    const ssize_t n = ReadFull(fd.get(), buffer.get(), kBufferSize);
    if (n < 0) return errno;
    if (n == 0) return 0;
    data->append(buffer.get(), static_cast<size_t>(n));
  }
}

int FileSystem::RemoveFolder(const std::string& path) {
  return ::rmdir(path.c_str()) == 0 ? 0 : errno;
}

int FileSystem::OpenLocked(const std::string& path, bool create_new,
                           std::unique_ptr<AppendFile>* file) {
  auto opened = std::make_unique<AppendFile>();
  const int error = opened->OpenLocked(path, create_new);
  if (error == 0) *file = std::move(opened);
  return error;
}

int FileSystem::CopyNoReplace(const std::string& source, const std::string& target) {
  // An existing target is refused before any data is written (the placement refuses it again
  // should one appear meanwhile).
  int error = CheckNameFree(target);
  if (error != 0) return error;
  const std::string folder = FolderOf(target);
  std::string temporary;
  error = CopyToTemporary(source, folder, &temporary);
  if (error != 0) return error;
  error = PlaceNoReplace(temporary, target);
  if (error != 0) {
    Remove(temporary);
    return error;
  }
  FlushFolder(folder);
  return 0;
}

int FileSystem::MoveByCopy(const std::string& source, const std::string& target) {
  int error = CopyNoReplace(source, target);
  if (error != 0) return error;
  if (!SameContent(source, target)) {
    Remove(target);
    return EIO;
  }
  // The copy's folder is flushed; so are the two above it, which the run may have just made
  // (a year and a day folder): on a file system without a journal (a FAT memory card) their
  // entries could otherwise still be only in memory when the source is gone.
  const std::string folder = FolderOf(target);
  const std::string parent = FolderOf(folder.substr(0, folder.size() - 1));
  FlushFolder(parent);
  FlushFolder(FolderOf(parent.substr(0, parent.size() - 1)));
  error = Remove(source);
  if (error != 0) {
    // The source stays; take the copy back so that a failed move changes nothing.
    Remove(target);
    return error;
  }
  FlushFolder(FolderOf(source));
  return 0;
}

int FileSystem::MoveNoReplace(const std::string& source, const std::string& target) {
  const int error = PlaceNoReplace(source, target);
  if (error == 0 || !NeedsCopyToMove(error)) return error;
  return MoveByCopy(source, target);
}

bool NeedsCopyToMove(int error) {
  // EXDEV: another file system. EPERM/EMLINK: the fallback's hard link was refused.
  return error == EXDEV || error == EPERM || error == EMLINK;
}

FileSystem& RealFileSystem() {
  static FileSystem file_system;
  return file_system;
}

}  // namespace nandell::fs
