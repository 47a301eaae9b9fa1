#pragma once

// The file system as the organizing run sees it: one interface, in the run's own terms, that
// every file operation of the run goes through. Its methods carry the operating system's
// behaviour; a test derives from it and overrides one step to make it fail or wait.
// Operations that put a file in place never replace an existing one and never leave a
// partial file under its final name.

#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>

namespace nandell {
class AppendFile;
}

namespace nandell::fs {

/// What a folder entry is, as far as the walk cares.
enum class EntryKind {
  kFile,           ///< A regular file, a link to one, or anything else that is not a folder.
  kDirectory,      ///< A real folder (entered by the walk).
  kDirectoryLink,  ///< A symbolic link to a folder (never entered).
};

/// One entry of a listing: the name as the file system gives it and its kind.
struct DirEntry {
  std::string name;
  EntryKind kind = EntryKind::kFile;
};

/// What Examine finds at a name (the entry itself: a link is not followed).
struct FileFacts {
  bool regular = false;    ///< A regular file (not a folder, a link or a device).
  int64_t size = 0;        ///< Size in bytes.
  int64_t mtime_sec = 0;   ///< Last-write time: seconds since the epoch ...
  int32_t mtime_nsec = 0;  ///< ... and nanoseconds.
};

/// A streaming listing of one open folder (no per-entry state kept).
class FolderListing {
 public:
  virtual ~FolderListing() = default;
  /// Fetches the next entry ("." and ".." included); false at the end or on a read error.
  virtual bool Next(DirEntry* entry) = 0;
  /// After Next returned false: 0 at the end of the folder, else the errno value of the
  /// read error that ended the listing.
  virtual int Error() const = 0;
  /// The last-write time of entry `name` of this folder (links followed; a dangling link's
  /// own), found relative to the open folder, so that it works where the full path would be
  /// too long; false on error.
  virtual bool LastWriteTime(const std::string& name, int64_t* seconds) const = 0;
};

/// The file operations of a run. Error results are 0 or an errno value. Thread-safe: the
/// transfer threads of a run share one object.
class FileSystem {
 public:
  virtual ~FileSystem() = default;

  /// Opens `folder` for listing; null (and `error` set when given) when it cannot be listed.
  virtual std::unique_ptr<FolderListing> ListFolder(const std::string& folder, int* error);
  /// Opens a file for binary reading without ever waiting (see nandell::OpenForReading).
  virtual FILE* OpenForReading(const std::string& path);
  /// True when `path` exists (links followed: a dangling link does not).
  virtual bool Exists(const std::string& path);
  /// `folder` with links, "." and ".." resolved, ending with "/"; empty on failure.
  virtual std::string ResolvedFolder(const std::string& folder);
  /// Whether a file could take the name `path`: 0 when no entry has it (links not followed)
  /// and its folders exist or are merely missing; EEXIST when the name is taken; otherwise
  /// the error that looking it up gives (a file where a folder should be, a name too long).
  virtual int CheckNameFree(const std::string& path);
  /// Makes one folder (mode 0777 less the umask).
  virtual int MakeFolder(const std::string& path);
  /// Makes the absolute folder `path` and every missing level above it, private to the user
  /// (see nandell::MakeFolders); false when a level could not be made.
  virtual bool MakeFolders(const std::string& path);
  /// Copies the regular file `source` into a new hidden temporary file in `folder` (ending
  /// with "/"), with the source's last-write time and permission bits, flushed to disk;
  /// fills `temporary` with its path. On failure no temporary file is left.
  virtual int CopyToTemporary(const std::string& source, const std::string& folder,
                              std::string* temporary);
  /// Gives `from` the name `to` unless `to` exists (never replacing): EEXIST when taken.
  virtual int PlaceNoReplace(const std::string& from, const std::string& to);
  /// Removes the file `path`.
  virtual int Remove(const std::string& path);
  /// True when the two files hold the same bytes.
  virtual bool SameContent(const std::string& a, const std::string& b);
  /// Flushes a folder's entries to disk; errors are ignored.
  virtual void FlushFolder(const std::string& folder);
  /// Writes `data` as the whole content of `path`: created when missing, truncated,
  /// written, closed.
  virtual int WriteWholeFile(const std::string& path, const std::string& data);
  /// Fills `facts` for the entry `path` (links not followed). Returns 0, ENOENT when no entry
  /// has the name, or another errno value.
  virtual int Examine(const std::string& path, FileFacts* facts);
  /// Reads the whole content of the file `path` into `data`.
  virtual int ReadWholeFile(const std::string& path, std::string* data);
  /// Removes the folder `path` when it is empty (ENOTEMPTY otherwise).
  virtual int RemoveFolder(const std::string& path);
  /// Opens `path` for appending under its exclusive lock (AppendFile::OpenLocked): a new file
  /// with `create_new`, else an existing one. Returns 0 with `file` open, or an errno value
  /// (EWOULDBLOCK: another process holds the lock).
  virtual int OpenLocked(const std::string& path, bool create_new,
                         std::unique_ptr<AppendFile>* file);

  // Built from the steps above, so that a step made to fail or wait acts on these too.

  /// Copies `source` to `target` without ever replacing: an existing target is refused
  /// (EEXIST) before any data is written, then CopyToTemporary in the target's folder and
  /// PlaceNoReplace; the folder is flushed.
  int CopyNoReplace(const std::string& source, const std::string& target);
  /// Moves `source` to a `target` on another file system: CopyNoReplace, compared byte for
  /// byte with the source, the folders above the copy flushed, and only then the source
  /// removed (if it cannot be, the copy is taken back). On failure the source stays.
  int MoveByCopy(const std::string& source, const std::string& target);
  /// Moves `source` to `target` without ever replacing: PlaceNoReplace, or MoveByCopy when
  /// the rename cannot do it (NeedsCopyToMove).
  int MoveNoReplace(const std::string& source, const std::string& target);
};

/// True when PlaceNoReplace failing with `error` means the file can only be moved by copying
/// it: another file system (EXDEV), or the hard link of the fallback refused.
bool NeedsCopyToMove(int error);

/// The process-wide file system of the operating system.
FileSystem& RealFileSystem();

}  // namespace nandell::fs
