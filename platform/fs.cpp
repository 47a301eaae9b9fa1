#include "platform/fs.h"

#include <fcntl.h>
#include <stdio.h>
#include <sys/sendfile.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstring>
#include <ctime>
#include <initializer_list>
#include <memory>

namespace nandell::fs {
namespace {

constexpr size_t kBufferSize = 1 << 20;

std::string ErrnoText(int error) {
  return std::strerror(error);
}

// Closes a descriptor on scope exit.
class Fd {
 public:
  explicit Fd(int fd) : fd_(fd) {}
  ~Fd() { Close(); }
  Fd(const Fd&) = delete;
  Fd& operator=(const Fd&) = delete;
  int get() const { return fd_; }
  // Closes now; returns false when close reports an error.
  bool Close() {
    if (fd_ < 0) return true;
    int rc = ::close(fd_);
    fd_ = -1;
    return rc == 0;
  }

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

// Opens a new hidden temporary file in `folder`; fills `path`. Returns the fd or -1.
int OpenTemporary(const std::string& folder, std::string* path) {
  static std::atomic<unsigned> counter{0};
  for (int attempt = 0; attempt < 100; ++attempt) {
    *path = folder + ".nandell-" + std::to_string(::getpid()) + "-" +
            std::to_string(counter.fetch_add(1)) + ".part";
    int fd = ::open(path->c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
    if (fd >= 0 || errno != EEXIST) return fd;
  }
  errno = EEXIST;
  return -1;
}

// Gives `from` the name `to` unless `to` exists. Returns 0 or an errno value (EEXIST when the
// name is taken). Where the file system lacks RENAME_NOREPLACE, a hard link takes the name
// (link fails on an existing name) and the old name is then removed.
int PlaceNoReplace(const std::string& from, const std::string& to) {
  if (::renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0) return 0;
  int error = errno;
  if (error != EINVAL && error != ENOSYS && error != EOPNOTSUPP) return error;
  if (::link(from.c_str(), to.c_str()) != 0) return errno;
  ::unlink(from.c_str());
  return 0;
}

}  // namespace

DirectoryListing::DirectoryListing(const std::string& folder) {
  dir_ = ::opendir(folder.c_str());
}

DirectoryListing::~DirectoryListing() {
  if (dir_ != nullptr) ::closedir(dir_);
}

bool DirectoryListing::Next(DirEntry* entry) {
  if (dir_ == nullptr) return false;
  errno = 0;
  struct dirent* d = ::readdir(dir_);
  if (d == nullptr) return false;
  entry->name = d->d_name;
  unsigned char type = d->d_type;
  if (type == DT_DIR) {
    entry->kind = EntryKind::kDirectory;
    return true;
  }
  if (type != DT_LNK && type != DT_UNKNOWN) {
    entry->kind = EntryKind::kFile;
    return true;
  }
  struct stat st;
  int fd = ::dirfd(dir_);
  entry->kind = EntryKind::kFile;
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

bool DirectoryListing::LastWriteTime(const std::string& name, int64_t* seconds) const {
  if (dir_ == nullptr) return false;
  struct stat st;
  // A link that leads nowhere goes by its own time.
  if (::fstatat(::dirfd(dir_), name.c_str(), &st, 0) != 0 &&
      ::fstatat(::dirfd(dir_), name.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0) {
    return false;
  }
  *seconds = static_cast<int64_t>(st.st_mtim.tv_sec);
  return true;
}

bool Exists(const std::string& path) {
  return ::access(path.c_str(), F_OK) == 0;
}

bool MakeDirectory(const std::string& path) {
  return ::mkdir(path.c_str(), 0777) == 0;
}

bool LastWriteTime(const std::string& path, int64_t* seconds) {
  struct stat st;
  if (::stat(path.c_str(), &st) != 0) return false;
  *seconds = static_cast<int64_t>(st.st_mtim.tv_sec);
  return true;
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

std::string AsciiLower(std::string text) {
  for (char& c : text) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  return text;
}

bool CopyNoReplace(const std::string& source, const std::string& target, std::string* error) {
  auto fail = [error](int code) {
    if (error != nullptr) *error = ErrnoText(code);
    return false;
  };
  Fd in(::open(source.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK));
  if (in.get() < 0) return fail(errno);
  struct stat st;
  if (::fstat(in.get(), &st) != 0) return fail(errno);
  if (!S_ISREG(st.st_mode)) return fail(EINVAL);
  // An existing target is refused before any data is written (the final placement refuses it
  // again should one appear meanwhile).
  struct stat existing;
  if (::lstat(target.c_str(), &existing) == 0) return fail(EEXIST);
  if (errno != ENOENT) return fail(errno);

  const std::string folder = FolderOf(target);
  std::string temporary;
  Fd out(OpenTemporary(folder, &temporary));
  if (out.get() < 0) return fail(errno);
  int code = CopyData(in.get(), out.get());
  if (code == 0 && ::fchmod(out.get(), st.st_mode & 07777 & ~static_cast<mode_t>(06000)) != 0) {
    code = errno;
  }
  if (code == 0) {
    struct timespec times[2] = {st.st_atim, st.st_mtim};
    if (::futimens(out.get(), times) != 0) code = errno;
  }
  if (code == 0 && ::fsync(out.get()) != 0) code = errno;
  if (!out.Close() && code == 0) code = errno;
  if (code == 0) code = PlaceNoReplace(temporary, target);
  if (code != 0) {
    ::unlink(temporary.c_str());
    return fail(code);
  }
  SyncFolder(folder);
  return true;
}

bool SameContent(const std::string& a, const std::string& b) {
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

bool MoveNoReplace(const std::string& source, const std::string& target, std::string* error) {
  auto fail = [error](int code) {
    if (error != nullptr) *error = ErrnoText(code);
    return false;
  };
  int code = PlaceNoReplace(source, target);
  if (code == 0) return true;
  // EXDEV: another file system. EPERM/EMLINK: the fallback's hard link was refused.
  if (code != EXDEV && code != EPERM && code != EMLINK) return fail(code);

  if (!CopyNoReplace(source, target, error)) return false;
  if (!SameContent(source, target)) {
    ::unlink(target.c_str());
    return fail(EIO);
  }
  // The copy's folder is flushed; so are the two above it, which the run may have just made
  // (a year and a day folder): on a file system without a journal (a FAT memory card) their
  // entries could otherwise still be only in memory when the source is gone.
  const std::string folder = FolderOf(target);
  const std::string parent = FolderOf(folder.substr(0, folder.size() - 1));
  SyncFolder(parent);
  SyncFolder(FolderOf(parent.substr(0, parent.size() - 1)));
  if (::unlink(source.c_str()) != 0) {
    // The source stays; take the copy back so that a failed move changes nothing.
    code = errno;
    ::unlink(target.c_str());
    return fail(code);
  }
  SyncFolder(FolderOf(source));
  return true;
}

bool WriteWholeFile(const std::string& path, const std::string& data) {
  Fd fd(::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0666));
  if (fd.get() < 0) return false;
  if (::ftruncate(fd.get(), 0) != 0) return false;
  if (!WriteAll(fd.get(), data.data(), data.size())) return false;
  return fd.Close();
}

void SyncFolder(const std::string& folder) {
  int fd = ::open(folder.empty() ? "." : folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return;
  ::fsync(fd);
  ::close(fd);
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

}  // namespace nandell::fs
