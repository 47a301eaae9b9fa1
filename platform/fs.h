#pragma once

// File and folder operations of the organizing run. Every operation that puts a file in place
// never replaces an existing one and never leaves a partial file under its final name.

#include <dirent.h>

#include <cstdint>
#include <string>

namespace nandell::fs {

/// What a directory entry is, as far as the walk cares.
enum class EntryKind {
  kFile,           ///< A regular file, a link to one, or anything else that is not a folder.
  kDirectory,      ///< A real directory (entered by the walk).
  kDirectoryLink,  ///< A symbolic link to a directory (never entered).
};

/// One entry of a listing: the name as the file system gives it and its kind.
struct DirEntry {
  std::string name;
  EntryKind kind = EntryKind::kFile;
};

/// A streaming listing of one folder (one open handle, no per-entry state kept).
class DirectoryListing {
 public:
  /// Opens `folder` for listing; Ok() is false when it cannot be listed.
  explicit DirectoryListing(const std::string& folder);
  ~DirectoryListing();
  DirectoryListing(const DirectoryListing&) = delete;
  DirectoryListing& operator=(const DirectoryListing&) = delete;

  /// True when the folder could be opened.
  bool Ok() const { return dir_ != nullptr; }
  /// Fetches the next entry ("." and ".." included); false at the end or on error.
  bool Next(DirEntry* entry);
  /// The last-write time of entry `name` of this folder (links followed; a dangling link's
  /// own), found relative to the open folder, so that it works where the full path would be
  /// too long; false on error.
  bool LastWriteTime(const std::string& name, int64_t* seconds) const;

 private:
  DIR* dir_ = nullptr;
};

/// True when `path` exists (a dangling link does not).
bool Exists(const std::string& path);

/// Creates one folder with mode 0777 (less the umask). Returns false on failure.
bool MakeDirectory(const std::string& path);

/// The last-write time of `path` (links followed) in seconds since the epoch; false on error.
bool LastWriteTime(const std::string& path, int64_t* seconds);

/// `seconds` as local "%Y-%m-%d" and "%Y". Times the calendar cannot represent give
/// "0000-00-00" and "0000" and return false.
bool LocalDay(int64_t seconds, std::string* day, std::string* year);

/// `text` with the ASCII letters A-Z lower-cased; every other byte unchanged.
std::string AsciiLower(std::string text);

/// Copies the regular file `source` to `target` without ever replacing an existing target:
/// the data goes to a hidden temporary file in the target's folder, is flushed with its
/// last-write time and permission bits, and is then placed under the final name without
/// replacing. A failure removes the temporary file. Returns false with `error` filled
/// (errno text) on failure; EEXIST when the target exists.
bool CopyNoReplace(const std::string& source, const std::string& target, std::string* error);

/// Moves `source` to `target` without ever replacing an existing target: a rename on one file
/// system; across file systems a CopyNoReplace, compared byte for byte with the source, and
/// only then the source removed (if it cannot be removed, the copy is taken back). Returns
/// false with `error` filled on failure; the source is then where it was.
bool MoveNoReplace(const std::string& source, const std::string& target, std::string* error);

/// True when the two files hold the same bytes.
bool SameContent(const std::string& a, const std::string& b);

/// Writes all `size` bytes of `data` to `fd`, retrying short writes and EINTR. Returns false
/// (errno set) when a write fails.
bool WriteAll(int fd, const void* data, size_t size);

/// Flushes a folder's entries to disk, so that a rename or a new name in it is durable.
/// Errors are ignored (not every file system allows it).
void SyncFolder(const std::string& folder);

/// Writes `data` to `path` from scratch (created when missing, truncated, written, closed).
/// Returns false when it cannot be opened or a write fails.
bool WriteWholeFile(const std::string& path, const std::string& data);

}  // namespace nandell::fs
