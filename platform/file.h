#pragma once

// File operations outside the organizing run: reading a photo, checking an argument, the
// settings folder, and the log file. Paths are UTF-8; on Windows "/" and "\" both separate
// folders and paths beyond 260 characters work.

#include <cstdint>
#include <cstdio>
#include <string>
#include <string_view>

namespace nandell {

/// The result of opening, as a file to read or append to, something that is not a regular file
/// (a folder, a pipe, a device): this program's own, never an errno value.
inline constexpr int kNotRegularFile = -5;

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

/// True when this process may create files in the folder `dir`.
bool FolderWritable(const std::string& dir);

/// Creates the absolute folder `dir` and every missing folder above it (on POSIX private to
/// the user, mode 0700). Returns false when a level could not be created.
bool MakeFolders(const std::string& dir);

/// How RenameNoReplace ended.
enum class RenameOutcome {
  kDone,          ///< Renamed.
  kTargetExists,  ///< Nothing done: the new name is taken.
  kFailed,        ///< Nothing done: another error.
};

/// Renames the file `from` to `to` without ever replacing an existing `to`.
RenameOutcome RenameNoReplace(const std::string& from, const std::string& to);

/// A file opened for appending lines, such as a log: created when missing, every write goes
/// to its current end, even when another process appends too.
class AppendFile {
 public:
  AppendFile() = default;
  ~AppendFile() { Close(); }
  AppendFile(const AppendFile&) = delete;
  AppendFile& operator=(const AppendFile&) = delete;

  /// Opens `path` (creating it), closing any file opened before. A symbolic link as the last
  /// part of `path` is refused on POSIX. Returns false when it cannot be opened.
  bool Open(const std::string& path);
  /// Opens `path` for appending and reading, a new file with `create_new` (EEXIST when the name
  /// is taken), else an existing one (a symbolic link refused on POSIX), never waiting for a
  /// pipe or a device (refused: kNotRegularFile), then takes the file's exclusive lock against
  /// other processes without waiting; the lock goes with Close or the end of the process.
  /// Returns 0 or an errno value: EWOULDBLOCK when another holder has the lock (the file is
  /// then not open).
  int OpenLocked(const std::string& path, bool create_new);
#ifndef _WIN32
  /// OpenLocked of the entry `name` of the open folder `folder_fd` (POSIX only).
  int OpenLockedAt(int folder_fd, const std::string& name, bool create_new);
#endif
  /// Reads the whole file as it stands into `data`: 0, EFBIG when it is longer than `limit`
  /// bytes, or another errno value.
  int ReadAll(int64_t limit, std::string* data) const;
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
#ifdef _WIN32
  void* handle_ = nullptr;
#else
  int fd_ = -1;
#endif
};

}  // namespace nandell
