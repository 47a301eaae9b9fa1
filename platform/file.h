#pragma once

// File operations by path, outside the organizing run: reading a photo, checking an argument,
// the settings folder, the log file, the folders a window makes. Paths are UTF-8; on Windows
// "/" and "\" both separate folders and paths beyond 260 characters work. The organizing run
// reaches the disk through its own seam instead (platform/file_system.h).

#include <cstdint>
#include <cstdio>
#include <functional>
#include <string>
#include <string_view>

namespace nandell {

/// The result of opening, as a file to read or append to, something that is not a regular file
/// (a folder, a pipe, a device): this program's own, never an errno value.
inline constexpr int kNotRegularFile = -5;

/// The reason a file operation failed, as the user reads it: the system's text for an errno
/// value (as strerror words it; on Windows also for a Windows error without one,
/// win::ErrorResult), and ours for this program's own results (kNotRegularFile, and the run's
/// codes of platform/file_system.h).
std::string ErrorText(int error);

/// What identifies an open file, and who may change it.
struct OpenFileFacts {
  uint64_t device = 0;            ///< The file system holding it ...
  uint64_t inode = 0;             ///< ... and the file's number there (0 where unknown).
  bool owned = true;              ///< Owned by the user this process runs as (or, on
                                  ///< Windows, by a group of that user's).
  bool others_may_write = false;  ///< Users other than its owner may write it.
};

/// Opens `path` for binary reading as a C stream without ever waiting: a pipe or a terminal
/// that has nothing to give reads as empty instead of blocking, and a folder fails (at the
/// latest on its first read). Other programs may read and write the file meanwhile. Null when
/// it cannot be opened.
FILE* OpenForReading(const std::string& path);

/// True when `path` is a regular file whose first byte can be read; otherwise false with
/// `error` filled: the system's reason, "is a folder" or "not a regular file".
bool CheckReadableFile(const std::string& path, std::string* error);

/// True when `path` names an existing file or folder (a dangling link does not).
bool PathExists(const std::string& path);

/// True when `path` is a folder (links followed).
bool IsFolder(const std::string& path);

/// True when this process may create files in the folder `dir`.
bool FolderWritable(const std::string& dir);

/// Creates the absolute folder `dir` and every missing level above it, each with `mode` (on
/// POSIX, less the umask; 0700 is private to the user). A level that exists is no error.
/// Returns true when `dir` is a folder afterwards.
bool MakeFolders(const std::string& dir, unsigned mode = 0700);

/// Gives the file `from` the name `to` unless `to` exists; an existing file is never replaced.
/// On Windows: MoveFileExW without MOVEFILE_REPLACE_EXISTING. On POSIX, where the file system
/// has no no-replace rename, a hard link takes the name (it fails on an existing name) and the
/// old name is then removed; where it has neither (FAT and exFAT through FUSE, NTFS through
/// FUSE; found once per file system and remembered), the name is checked to be free and the
/// file renamed while an advisory lock on the target folder is held, and the file's times are
/// put back (some of these file systems give a renamed file the time of the rename). Returns 0,
/// EEXIST when the name is taken, or another error (ErrorText words it).
int RenameNoReplace(const std::string& from, const std::string& to);

/// A file opened for appending lines, such as a log: created when missing, every write goes
/// to its current end, even when another process appends too.
class AppendFile {
 public:
  /// A file that is not open.
  AppendFile() = default;
  /// Takes over the system's `handle` of an open file, for the platform's own code.
  explicit AppendFile(intptr_t handle) : handle_(handle) {}
  /// Closes the file.
  ~AppendFile() { Close(); }
  AppendFile(const AppendFile&) = delete;
  AppendFile& operator=(const AppendFile&) = delete;

  /// Opens `path` (creating it), closing any file opened before. A symbolic link as the last
  /// part of `path` is refused on POSIX. Returns false when it cannot be opened.
  bool Open(const std::string& path);
  /// Opens `path` for appending and reading, a new file with `create_new` (EEXIST when the name
  /// is taken), else an existing one (a symbolic link refused), never waiting for a pipe or a
  /// device (refused: kNotRegularFile), then takes the file's exclusive lock against other
  /// processes without waiting; the lock goes with Close or the end of the process. Returns 0
  /// or an errno value: EWOULDBLOCK when another holder has the lock (the file is then not
  /// open).
  int OpenLocked(const std::string& path, bool create_new);
  /// Reads the file from its first byte to its end, handing each piece read to `piece` in
  /// order: 0, EFBIG when it is longer than `limit` bytes, or another errno value.
  int ReadPieces(int64_t limit, const std::function<void(std::string_view)>& piece) const;
  /// Reads up to `size` bytes at `offset` into `data` (fewer at the end of the file): 0 or an
  /// errno value.
  int ReadAt(int64_t offset, size_t size, std::string* data) const;
  /// Fills `facts` for the open file. Returns 0 or an errno value.
  int Facts(OpenFileFacts* facts) const;
  /// The file's size in bytes, or -1 when it is not open or its size cannot be read.
  int64_t Size() const;
  /// Appends all of `data`. Returns false when the file is not open or a write fails.
  bool Append(std::string_view data);
  /// Flushes what was appended to the disk. Returns false when it is not open or fails.
  bool Sync();
  /// Closes the file; nothing when it is not open.
  void Close();

 private:
  intptr_t handle_ = -1;  // a descriptor on POSIX, a HANDLE on Windows; -1 when not open
};

}  // namespace nandell
