// The steps of the run's file system on POSIX: every operation below the two chosen folders is
// made relative to an open folder's descriptor, never following a link.
#include <dirent.h>
#include <fcntl.h>
#include <linux/openat2.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "platform/checksum.h"
#include "platform/file.h"
#include "platform/file_private.h"
#include "platform/file_system.h"

namespace nandell::fs {
namespace {

constexpr size_t kBufferSize = 1 << 20;
constexpr int kOpenFolderFlags = O_RDONLY | O_DIRECTORY | O_CLOEXEC;

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
  int release() {
    const int fd = fd_;
    fd_ = -1;
    return fd;
  }

 private:
  int fd_;
};

int FdOf(const Folder& folder) {
  return static_cast<int>(folder.Handle());
}

int FdOf(const SourceFile& file) {
  return static_cast<int>(file.Handle());
}

FileStamp StampOf(const struct stat& st) {
  FileStamp stamp;
  stamp.device = static_cast<uint64_t>(st.st_dev);
  stamp.inode = static_cast<uint64_t>(st.st_ino);
  stamp.size = static_cast<int64_t>(st.st_size);
  stamp.modified_ns = static_cast<int64_t>(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec;
  stamp.changed_ns = static_cast<int64_t>(st.st_ctim.tv_sec) * 1000000000 + st.st_ctim.tv_nsec;
  return stamp;
}

void FactsOf(const struct stat& st, FileFacts* facts) {
  facts->regular = S_ISREG(st.st_mode);
  facts->size = static_cast<int64_t>(st.st_size);
  facts->mtime_sec = static_cast<int64_t>(st.st_mtim.tv_sec);
  facts->mtime_nsec = static_cast<int32_t>(st.st_mtim.tv_nsec);
  facts->device = static_cast<uint64_t>(st.st_dev);
  facts->inode = static_cast<uint64_t>(st.st_ino);
}

// Copies all data of `in`, from its first byte whatever its offset, to `out` (at offset 0)
// through a buffer of the thread's, feeding every byte to `hash` on its way: the copy's
// checksum then costs no second reading. Returns 0 or an errno value.
int CopyData(int in, int out, ContentHash* hash) {
  thread_local std::unique_ptr<char[]> buffer;
  if (!buffer) buffer.reset(new char[kBufferSize]);
  for (off_t at = 0;;) {
    ssize_t n = ::pread(in, buffer.get(), kBufferSize, at);
    if (n < 0) {
      if (errno == EINTR) continue;
      return errno;
    }
    if (n == 0) return 0;
    hash->Update(buffer.get(), static_cast<size_t>(n));
    if (!posix::WriteAll(out, buffer.get(), static_cast<size_t>(n))) return errno;
    at += n;
  }
}

// Copies every extended attribute of `in` that `out`'s file system accepts (desktop tags and
// comments, access lists, security labels); the others are left out without an error, as
// their file system or this user's rights decide.
void CopyExtendedAttributes(int in, int out) {
  ssize_t size = ::flistxattr(in, nullptr, 0);
  if (size <= 0) return;
  std::vector<char> names(static_cast<size_t>(size));
  size = ::flistxattr(in, names.data(), names.size());
  if (size <= 0) return;
  std::vector<char> value;
  for (const char* name = names.data(); name < names.data() + size; name += std::strlen(name) + 1) {
    ssize_t length = ::fgetxattr(in, name, nullptr, 0);
    if (length < 0) continue;
    value.resize(static_cast<size_t>(length) + 1);
    length = ::fgetxattr(in, name, value.data(), value.size());
    if (length < 0) continue;
    ::fsetxattr(out, name, value.data(), static_cast<size_t>(length), 0);
  }
}

// True when a call failed only because the file system has no such attribute to set (FAT has
// no owner or permission bits): the copy goes on without it.
bool NotKeptHere(int error) {
  return error == EPERM || error == ENOSYS || error == EOPNOTSUPP || error == EINVAL;
}

// Opens `relative` below `dir` level by level, never following a link; with `make`, missing
// levels are made. Fills `fd` with the last level's descriptor and sets `made` when the last
// level was made here.
int OpenLevels(int dir, const std::string& relative, bool make, bool* made, int* fd) {
  int level = ::openat(dir, ".", kOpenFolderFlags);
  if (level < 0) return errno;
  size_t begin = 0;
  while (begin < relative.size()) {
    size_t end = relative.find('/', begin);
    if (end == std::string::npos) end = relative.size();
    const std::string name = relative.substr(begin, end - begin);
    begin = end + 1;
    if (name.empty()) continue;
    bool made_here = false;
    int next = ::openat(level, name.c_str(), kOpenFolderFlags | O_NOFOLLOW);
    if (next < 0 && errno == ENOENT && make) {
      if (::mkdirat(level, name.c_str(), 0777) == 0) {
        made_here = true;
        next = ::openat(level, name.c_str(), kOpenFolderFlags | O_NOFOLLOW);
      } else if (errno == EEXIST) {
        next = ::openat(level, name.c_str(), kOpenFolderFlags | O_NOFOLLOW);
      }
    }
    if (next < 0) {
      int error = errno;
      struct stat st;
      if ((error == ENOTDIR || error == ELOOP || error == EEXIST) &&
          ::fstatat(level, name.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0 && S_ISLNK(st.st_mode)) {
        error = kLinkInPlaceOfFolder;
      }
      ::close(level);
      return error;
    }
    ::close(level);
    level = next;
    if (made != nullptr) *made = made_here;
  }
  *fd = level;
  return 0;
}

// Opens the folder `relative` below `dir` in one call where the kernel can refuse links and
// ".." at every level itself (openat2); -1 with errno set otherwise, ENOSYS when it cannot.
int OpenBeneath(int dir, const std::string& relative) {
  static std::atomic<bool> unavailable{false};
  if (unavailable.load(std::memory_order_relaxed)) {
    errno = ENOSYS;
    return -1;
  }
  struct open_how how {};
  how.flags = kOpenFolderFlags;
  how.resolve = RESOLVE_BENEATH | RESOLVE_NO_SYMLINKS;
  const long fd = ::syscall(SYS_openat2, dir, relative.c_str(), &how, sizeof how);
  if (fd >= 0) return static_cast<int>(fd);
  // A kernel without it, or a sandbox that forbids it.
  if (errno == ENOSYS || errno == EPERM || errno == E2BIG) {
    unavailable.store(true, std::memory_order_relaxed);
    errno = ENOSYS;
  }
  return -1;
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

Folder::~Folder() {
  if (handle_ >= 0) ::close(static_cast<int>(handle_));
}

SourceFile::~SourceFile() {
  if (handle_ >= 0) ::close(static_cast<int>(handle_));
}

bool SystemFileSystem::Exists(const std::string& path) {
  return PathExists(path);
}

std::string SystemFileSystem::ResolvedFolder(const std::string& folder) {
  char* resolved = ::realpath(folder.c_str(), nullptr);
  if (resolved == nullptr) return std::string();
  std::string text = resolved;
  ::free(resolved);
  if (text.empty() || text.back() != '/') text += '/';
  return text;
}

int SystemFileSystem::OpenFolder(const std::string& path, FolderRef* folder) {
  const int fd = ::open(path.empty() ? "." : path.c_str(), kOpenFolderFlags);
  if (fd < 0) return errno;
  *folder = std::make_shared<Folder>(path, fd);
  return 0;
}

int SystemFileSystem::OpenSubfolder(const Folder& parent, const std::string& name,
                                    FolderRef* folder) {
  // One call where the kernel refuses links at every level itself; else, or to tell why not,
  // a level at a time.
  int fd = OpenBeneath(FdOf(parent), name);
  if (fd < 0) {
    const int error = OpenLevels(FdOf(parent), name, false, nullptr, &fd);
    if (error != 0) return error;
  }
  *folder = std::make_shared<Folder>(parent.Path() + name + "/", fd);
  return 0;
}

std::unique_ptr<FolderListing> SystemFileSystem::ListFolder(const Folder& folder, int* error) {
  // A description of its own, so that the listing's position is its alone.
  const int fd = ::openat(FdOf(folder), ".", kOpenFolderFlags);
  DIR* dir = fd < 0 ? nullptr : ::fdopendir(fd);
  if (dir == nullptr) {
    if (error != nullptr) *error = errno;
    if (fd >= 0) ::close(fd);
    return nullptr;
  }
  return std::make_unique<PosixListing>(dir);
}

FILE* SystemFileSystem::OpenForReading(const FileAt& file) {
  const int fd =
      ::openat(FdOf(*file.folder), file.name.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
  if (fd < 0) return nullptr;
  FILE* stream = ::fdopen(fd, "rb");
  if (stream == nullptr) ::close(fd);
  return stream;
}

int SystemFileSystem::OpenTargetFolder(const Folder& base, const std::string& relative, bool* made,
                                       FolderRef* folder) {
  *made = false;
  // Most files go to a folder that an earlier file made: one call opens it.
  int fd = OpenBeneath(FdOf(base), relative);
  if (fd < 0) {
    const int error = OpenLevels(FdOf(base), relative, true, made, &fd);
    if (error != 0) return error;
  }
  *folder = std::make_shared<Folder>(base.Path() + relative, fd);
  return 0;
}

bool SystemFileSystem::FoldersStayInPlace() const {
  return false;
}

int SystemFileSystem::CheckNameFree(const Folder& base, const std::string& relative) {
  const size_t slash = relative.rfind('/');
  const std::string levels = slash == std::string::npos ? "" : relative.substr(0, slash + 1);
  const std::string name = relative.substr(slash == std::string::npos ? 0 : slash + 1);
  int fd = -1;
  const int error = OpenLevels(FdOf(base), levels, false, nullptr, &fd);
  if (error == ENOENT) return 0;
  if (error != 0) return error;
  Fd folder(fd);
  struct stat st;
  if (::fstatat(folder.get(), name.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0) return EEXIST;
  return errno == ENOENT ? 0 : errno;
}

int SystemFileSystem::CheckTargetFolder(const Folder& base, const std::string& relative,
                                        int* add_error, uint64_t* device) {
  *add_error = 0;
  // The deepest level that exists, reached as OpenTargetFolder reaches it.
  std::string existing = relative;
  int fd = -1;
  int error = OpenLevels(FdOf(base), existing, false, nullptr, &fd);
  while (error == ENOENT && !existing.empty()) {
    existing.pop_back();  // the separator that ends the last level
    const size_t slash = existing.rfind('/');
    existing.resize(slash == std::string::npos ? 0 : slash + 1);
    error = OpenLevels(FdOf(base), existing, false, nullptr, &fd);
  }
  if (error != 0) return error;
  Fd level(fd);
  struct stat st;
  if (::fstat(level.get(), &st) != 0) return errno;
  *device = static_cast<uint64_t>(st.st_dev);
  // Entries are made in a folder that may be written and searched.
  const int access = ::faccessat(level.get(), ".", W_OK | X_OK, AT_EACCESS) == 0 ? 0 : errno;
  if (existing.size() < relative.size()) return access;  // levels to be made there
  *add_error = access;
  return 0;
}

void SystemFileSystem::RemoveLeftovers(const Folder& folder) {
  posix::RemoveLeftoverTemporaries(FdOf(folder));
}

int SystemFileSystem::OpenSource(const FileAt& file, bool lock,
                                 std::unique_ptr<SourceFile>* source) {
  const int dir = FdOf(*file.folder);
  struct stat entry;
  if (::fstatat(dir, file.name.c_str(), &entry, AT_SYMLINK_NOFOLLOW) != 0) return errno;
  Fd fd(::openat(dir, file.name.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY));
  if (fd.get() < 0) return errno;
  struct stat st;
  if (::fstat(fd.get(), &st) != 0) return errno;
  if (!S_ISREG(st.st_mode)) return EINVAL;
  // The entry looked at is the file opened (a link's own entry aside).
  if (!S_ISLNK(entry.st_mode) && (entry.st_dev != st.st_dev || entry.st_ino != st.st_ino)) {
    return kChangedWhileMoved;
  }
  // Shared, so that readers holding one of their own do not stand in the way; a program that
  // holds the file locked for itself only keeps other runs from seeing that it is taken.
  if (lock) ::flock(fd.get(), LOCK_SH | LOCK_NB);
  *source = std::make_unique<SourceFile>(fd.release(), StampOf(entry), StampOf(st));
  return 0;
}

int SystemFileSystem::TakeStamp(SourceFile& source) {
  struct stat st;
  if (::fstat(FdOf(source), &st) != 0) return errno;
  source.SetContent(StampOf(st));
  return 0;
}

bool SystemFileSystem::Unchanged(const SourceFile& source) {
  struct stat st;
  return ::fstat(FdOf(source), &st) == 0 && StampOf(st) == source.Content();
}

int SystemFileSystem::CopyToTemporary(SourceFile& source, const Folder& folder, bool keep_owner,
                                      Copied* copy) {
  const int in = FdOf(source);
  struct stat st;
  if (::fstat(in, &st) != 0) return errno;
  ContentHash hash;
  const int error = posix::WriteTemporaryAt(
      FdOf(folder), "",
      [&](int out) {
        int error = CopyData(in, out, &hash);
        if (error != 0) return error;
        // The owner first: a change of owner clears set-id bits and capabilities.
        if (keep_owner && ::geteuid() == 0 && ::fchown(out, st.st_uid, st.st_gid) != 0 &&
            !NotKeptHere(errno)) {
          return errno;
        }
        // Set-id bits are never carried over to a copy.
        if (::fchmod(out, st.st_mode & 07777 & ~static_cast<mode_t>(06000)) != 0 &&
            !NotKeptHere(errno)) {
          return errno;
        }
        CopyExtendedAttributes(in, out);
        const struct timespec times[2] = {st.st_atim, st.st_mtim};
        if (::futimens(out, times) != 0) return errno;
        struct stat written;
        if (::fstat(out, &written) != 0) return errno;
        FactsOf(written, &copy->facts);
        return 0;
      },
      &copy->name);
  if (error == 0) copy->checksum = hash.Hex();
  return error;
}

int SystemFileSystem::PlaceNoReplace(const FileAt& from, const FileAt& to) {
  return posix::RenameNoReplaceAt(FdOf(*from.folder), from.name, FdOf(*to.folder), to.name);
}

int SystemFileSystem::Remove(const FileAt& file) {
  return ::unlinkat(FdOf(*file.folder), file.name.c_str(), 0) == 0 ? 0 : errno;
}

bool SystemFileSystem::SameContent(SourceFile& source, const FileAt& copy) {
  Fd other(::openat(FdOf(*copy.folder), copy.name.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW));
  if (other.get() < 0) return false;
  const int in = FdOf(source);
  struct stat sa;
  struct stat sb;
  if (::fstat(in, &sa) != 0 || ::fstat(other.get(), &sb) != 0) return false;
  if (sa.st_size != sb.st_size) return false;
  std::unique_ptr<char[]> ba(new char[kBufferSize]);
  std::unique_ptr<char[]> bb(new char[kBufferSize]);
  for (off_t at = 0;;) {
    ssize_t na = posix::ReadFullAt(in, ba.get(), kBufferSize, at);
    ssize_t nb = posix::ReadFullAt(other.get(), bb.get(), kBufferSize, at);
    if (na < 0 || nb < 0 || na != nb) return false;
    if (na == 0) return true;
    if (std::memcmp(ba.get(), bb.get(), static_cast<size_t>(na)) != 0) return false;
    at += na;
  }
}

void SystemFileSystem::FlushFolder(const Folder& folder, int above) {
  posix::FlushFolderAt(FdOf(folder), above);
}

int SystemFileSystem::RemoveSource(SourceFile& source, const FileAt& file) {
  const int dir = FdOf(*file.folder);
  struct stat entry;
  if (::fstatat(dir, file.name.c_str(), &entry, AT_SYMLINK_NOFOLLOW) != 0) return errno;
  if (static_cast<uint64_t>(entry.st_dev) != source.Entry().device ||
      static_cast<uint64_t>(entry.st_ino) != source.Entry().inode || !Unchanged(source)) {
    return kChangedWhileMoved;
  }
  return ::unlinkat(dir, file.name.c_str(), 0) == 0 ? 0 : errno;
}

bool SystemFileSystem::IsLeftover(const FileAt& file) {
  Fd fd(::openat(FdOf(*file.folder), file.name.c_str(),
                 O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC));
  return fd.get() >= 0 && ::flock(fd.get(), LOCK_EX | LOCK_NB) == 0;
}

int SystemFileSystem::Examine(const FileAt& file, FileFacts* facts) {
  struct stat st;
  if (::fstatat(FdOf(*file.folder), file.name.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0) {
    return errno;
  }
  FactsOf(st, facts);
  return 0;
}

int SystemFileSystem::IdentifyFolder(const Folder& folder, uint64_t* device, uint64_t* inode) {
  struct stat st;
  if (::fstat(FdOf(folder), &st) != 0) return errno;
  *device = static_cast<uint64_t>(st.st_dev);
  *inode = static_cast<uint64_t>(st.st_ino);
  return 0;
}

int SystemFileSystem::ReadInPieces(const FileAt& file, int64_t limit,
                                   const std::function<void(std::string_view)>& piece,
                                   OpenFileFacts* facts) {
  // Never waiting for a pipe or a device: opened without blocking, then refused.
  Fd fd(::openat(FdOf(*file.folder), file.name.c_str(),
                 O_RDONLY | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY));
  if (fd.get() < 0) return errno;
  struct stat st;
  if (::fstat(fd.get(), &st) != 0) return errno;
  if (!S_ISREG(st.st_mode)) return kNotRegular;
  const int error = posix::FactsOf(fd.get(), facts);
  return error != 0 ? error : posix::ReadPiecesAt(fd.get(), limit, piece);
}

int SystemFileSystem::RemoveFolder(const FileAt& folder) {
  return ::unlinkat(FdOf(*folder.folder), folder.name.c_str(), AT_REMOVEDIR) == 0 ? 0 : errno;
}

int SystemFileSystem::OpenLocked(const FileAt& at, bool create_new,
                                 std::unique_ptr<AppendFile>* file) {
  int fd = -1;
  const int error = posix::OpenLockedAt(FdOf(*at.folder), at.name, create_new, &fd);
  if (error == 0) *file = std::make_unique<AppendFile>(fd);
  return error;
}

bool SystemFileSystem::MakeFolders(const std::string& path) {
  return nandell::MakeFolders(path);
}

int SystemFileSystem::ReplaceWholeFileWith(
    const std::string& path,
    const std::function<void(const std::function<bool(std::string_view)>& write)>& content) {
  return posix::ReplaceFile(path, [&](int fd) {
    int error = 0;
    content([&](std::string_view piece) {
      if (error == 0 && !posix::WriteAll(fd, piece.data(), piece.size())) error = errno;
      return error == 0;
    });
    return error;
  });
}

FileSystem& RealFileSystem() {
  static SystemFileSystem file_system;
  return file_system;
}

}  // namespace nandell::fs
