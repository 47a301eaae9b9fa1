#pragma once

// The file system as the organizing run sees it: one interface of steps, in the run's own
// terms, that every file operation of the run and its undo goes through, with one
// implementation per operating system (RealFileSystem). The steps are mechanism only: how a
// copy or a move is composed from them is the engine's (engine/file_transfer.h), so that a
// test that makes one step fail or wait (deriving from tests/support/proxy_file_system.h)
// reaches every transfer built on it.
//
// The run works from open folders: the photo folder and the output folder are opened once by
// their paths, and everything below them is reached relative to an open folder without ever
// following a link, so that a link put where a folder was (or should be) cannot lead the run
// outside its folders. Operations that put a file in place never replace an existing one and
// never leave a partial file under its final name.

#include <cstdint>
#include <cstdio>
#include <functional>
#include <memory>
#include <string>
#include <string_view>

#include "platform/file.h"

namespace nandell::fs {

/// Results of the run's steps that are not the system's own errors (negative, never an errno
/// value); ErrorText (platform/file.h) words them.
inline constexpr int kLinkInPlaceOfFolder = -1;  ///< A link stands where a folder should be.
inline constexpr int kChangedWhileCopied = -2;   ///< The source changed during both tries.
inline constexpr int kChangedWhileMoved = -3;    ///< The source changed before its removal.
inline constexpr int kNameNotAllowed = -4;       ///< Windows cannot hold a file by this name.
/// Not a regular file (a folder, a pipe, a device) where one was to be read: kNotRegularFile.
inline constexpr int kNotRegular = nandell::kNotRegularFile;
inline constexpr int kNotJournaled = -6;  ///< The run's journal cannot be written: not placed.

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

/// An open folder: operations relative to it reach the folder that was opened, whatever is
/// later renamed or linked in place of its path. Made by FileSystem; closed when the last
/// reference goes.
class Folder {
 public:
  /// Takes over the system's `handle` of the folder the run names `path` (ending with "/").
  Folder(std::string path, intptr_t handle) : path_(std::move(path)), handle_(handle) {}
  /// Closes the handle.
  ~Folder();
  Folder(const Folder&) = delete;
  Folder& operator=(const Folder&) = delete;

  /// The folder's path as the run names it in its messages, ending with "/".
  const std::string& Path() const { return path_; }
  /// The system's handle, for the platform's own code.
  intptr_t Handle() const { return handle_; }

 private:
  std::string path_;
  intptr_t handle_;
};

/// A shared open folder (the walk's level, and the transfers of the files in it).
using FolderRef = std::shared_ptr<const Folder>;

/// A file named relative to an open folder.
struct FileAt {
  FolderRef folder;
  std::string name;
  /// The folder's path followed by the name.
  std::string Path() const { return folder->Path() + name; }
};

/// What Examine finds at a name (the entry itself: a link is not followed).
struct FileFacts {
  bool regular = false;    ///< A regular file (not a folder, a link or a device).
  int64_t size = 0;        ///< Size in bytes.
  int64_t mtime_sec = 0;   ///< Last-write time: seconds since the epoch ...
  int32_t mtime_nsec = 0;  ///< ... and nanoseconds.
  uint64_t device = 0;     ///< The file system holding it ...
  uint64_t inode = 0;      ///< ... and the file's number there (0 where unknown).
};

/// What identifies a file and its content at one moment.
struct FileStamp {
  uint64_t device = 0;
  uint64_t inode = 0;
  int64_t size = 0;
  int64_t modified_ns = 0;  ///< Last-write time.
  int64_t changed_ns = 0;   ///< Change time (any write, rename or change of attributes).
  /// True when every field is the same.
  bool operator==(const FileStamp&) const = default;
};

/// A complete copy in its temporary file, before it takes its name.
struct Copied {
  std::string name;      ///< The temporary file's name in its folder.
  std::string checksum;  ///< XXH3-128 of the bytes written (ContentHash), 32 hexadecimal digits.
  FileFacts facts;       ///< The temporary file's size, last-write time and identity.
};

/// An open source file, with the stamps of its folder entry (a link's own, for a link) and of
/// its content when they were last taken: a transfer compares them again before it trusts its
/// copy or removes the source.
class SourceFile {
 public:
  /// Takes over the system's `handle` of the open file.
  SourceFile(intptr_t handle, const FileStamp& entry, const FileStamp& content)
      : handle_(handle), entry_(entry), content_(content) {}
  /// Closes the file (and so gives up its lock).
  ~SourceFile();
  SourceFile(const SourceFile&) = delete;
  SourceFile& operator=(const SourceFile&) = delete;

  /// The system's handle, for the platform's own code.
  intptr_t Handle() const { return handle_; }
  /// The folder entry's stamp when the file was opened.
  const FileStamp& Entry() const { return entry_; }
  /// The content's stamp when last taken (TakeStamp).
  const FileStamp& Content() const { return content_; }
  /// Records `content` as the content's stamp.
  void SetContent(const FileStamp& content) { content_ = content; }

 private:
  intptr_t handle_;
  FileStamp entry_;
  FileStamp content_;
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
  /// own), found relative to the open folder; false on error.
  virtual bool LastWriteTime(const std::string& name, int64_t* seconds) const = 0;
  /// The last-write time of the entry Next fetched last when the listing holds it already
  /// (Windows' find data, not for a link), without a look-up; false when it does not.
  virtual bool ListedLastWriteTime(int64_t* /*seconds*/) const { return false; }
};

/// The file operations of a run. Error results are 0, an errno value or one of the codes
/// above. Thread-safe: the transfer threads of a run share one object.
class FileSystem {
 public:
  virtual ~FileSystem() = default;

  // The start checks.

  /// True when `path` exists (links followed: a dangling link does not).
  virtual bool Exists(const std::string& path) = 0;
  /// `folder` with links, "." and ".." resolved, ending with "/"; empty on failure.
  virtual std::string ResolvedFolder(const std::string& folder) = 0;

  // The walk and the dates.

  /// Opens the folder at `path` (ending with "/"; empty is the current folder), links in the
  /// path followed: the folders the user chose.
  virtual int OpenFolder(const std::string& path, FolderRef* folder) = 0;
  /// Opens the folder `name` of `parent` (a relative path of several levels: each in turn);
  /// kLinkInPlaceOfFolder when a link stands there.
  virtual int OpenSubfolder(const Folder& parent, const std::string& name, FolderRef* folder) = 0;
  /// Starts listing `folder`; null (and `error` set when given) when it cannot be listed.
  virtual std::unique_ptr<FolderListing> ListFolder(const Folder& folder, int* error) = 0;
  /// Opens a file for binary reading without ever waiting (see nandell::OpenForReading);
  /// null when it cannot be opened.
  virtual FILE* OpenForReading(const FileAt& file) = 0;

  // The targets.

  /// Opens the folder `relative` (levels separated and ended by "/") below `base`, making
  /// every missing level (mode 0777 less the umask); a link at any level is refused
  /// (kLinkInPlaceOfFolder). Sets `made` when the last level was made by this call. A level
  /// made before a later one failed stays.
  virtual int OpenTargetFolder(const Folder& base, const std::string& relative, bool* made,
                               FolderRef* folder) = 0;
  /// True when a folder that this file system has open cannot be renamed, removed or replaced
  /// by a link meanwhile (Windows: folders are held without delete sharing), so that a run may
  /// reuse an open target folder for the next file; false on POSIX, where each file's target
  /// folder is opened again.
  virtual bool FoldersStayInPlace() const = 0;
  /// Whether a file could take the name `relative` below `base` without anything being
  /// changed: 0 when no entry has it (links not followed) and its folders exist or are merely
  /// missing; EEXIST when the name is taken; kLinkInPlaceOfFolder for a link where a folder
  /// should be; otherwise the error that looking it up gives.
  virtual int CheckNameFree(const Folder& base, const std::string& relative) = 0;
  /// What OpenTargetFolder(base, relative) and then adding a file to that folder would meet,
  /// found without changing anything. Returns the error that opening or making the folder
  /// would give (kLinkInPlaceOfFolder, ENOTDIR, and, for missing levels, EACCES or EROFS when
  /// its deepest existing level takes no new folder), else 0; `add_error` then receives what
  /// adding a file to it would give (0 for a folder that would be made). `device` receives the
  /// file system of the folder, or of its deepest existing level.
  virtual int CheckTargetFolder(const Folder& base, const std::string& relative, int* add_error,
                                uint64_t* device) = 0;
  /// Removes the temporary files that killed runs left in `folder` (those no one holds
  /// locked). Errors are ignored.
  virtual void RemoveLeftovers(const Folder& folder) = 0;

  // The steps of a transfer.

  /// Opens the regular file `file` (a link to one is followed) and takes its stamps. With
  /// `lock`, also a shared advisory lock that tells other runs that it is being moved.
  virtual int OpenSource(const FileAt& file, bool lock, std::unique_ptr<SourceFile>* source) = 0;
  /// Takes a fresh stamp of the open `source`'s content (after the run itself renamed it).
  virtual int TakeStamp(SourceFile& source) = 0;
  /// True when the open `source`'s content still has the stamp last taken.
  virtual bool Unchanged(const SourceFile& source) = 0;
  /// Copies the open `source` into a new hidden temporary file in `folder` with its last-write
  /// time, permission bits (set-id bits dropped) and the extended attributes the folder's
  /// file system accepts; with `keep_owner`, run as root, its owner and group too. The copy
  /// is flushed to disk; `copy` receives its name, the checksum of the bytes written and its
  /// facts. On failure no temporary file is left.
  virtual int CopyToTemporary(SourceFile& source, const Folder& folder, bool keep_owner,
                              Copied* copy) = 0;
  /// Gives `from` the name `to` unless `to` exists (never replacing): EEXIST when taken.
  virtual int PlaceNoReplace(const FileAt& from, const FileAt& to) = 0;
  /// Removes the file `file`.
  virtual int Remove(const FileAt& file) = 0;
  /// True when `copy` holds the same bytes as the open `source`.
  virtual bool SameContent(SourceFile& source, const FileAt& copy) = 0;
  /// Flushes the entries of `folder`, and of the `above` folders over it, to disk; errors
  /// are ignored.
  virtual void FlushFolder(const Folder& folder, int above) = 0;
  /// Removes the open source, found as `file`, only when `file` is still the entry that was
  /// opened and the content's stamp is unchanged: kChangedWhileMoved otherwise.
  virtual int RemoveSource(SourceFile& source, const FileAt& file) = 0;
  /// True when `file` is held by no run: the run that took it (a source hidden while being
  /// moved) has ended.
  virtual bool IsLeftover(const FileAt& file) = 0;
  /// Fills `facts` for the entry `file` (a link is not followed). Returns 0, ENOENT when no
  /// entry has the name, or another errno value.
  virtual int Examine(const FileAt& file, FileFacts* facts) = 0;
  /// The identity of the open `folder`: its file system and its number there (0 where unknown).
  virtual int IdentifyFolder(const Folder& folder, uint64_t* device, uint64_t* inode) = 0;

  // The journal of a run and its undo.

  /// Reads the regular file `file` (a link is not followed; a pipe or a device is refused
  /// without waiting: kNotRegular) from its first byte to its end, handing each piece read to
  /// `piece` in order, so that a file of any length is read in little memory; fills `facts` for
  /// it first. EFBIG when it holds more than `limit` bytes.
  virtual int ReadInPieces(const FileAt& file, int64_t limit,
                           const std::function<void(std::string_view)>& piece,
                           OpenFileFacts* facts) = 0;
  /// Removes the folder `folder` (the entry itself: a link is not followed) when it is empty
  /// (ENOTEMPTY otherwise).
  virtual int RemoveFolder(const FileAt& folder) = 0;
  /// Opens the entry `at` for appending and reading under its exclusive lock
  /// (AppendFile::OpenLocked): a new file with `create_new`, else an existing one. Returns 0
  /// with `file` open, or an errno value (EWOULDBLOCK: another process holds the lock).
  virtual int OpenLocked(const FileAt& at, bool create_new, std::unique_ptr<AppendFile>* file) = 0;

  // The failure report.

  /// Makes the absolute folder `path` and every missing level above it, private to the user
  /// (see nandell::MakeFolders); false when a level could not be made.
  virtual bool MakeFolders(const std::string& path) = 0;
  /// Replaces `path` with a file holding what `content` hands, a piece at a time, to the
  /// `write` it is given (which returns false once a write failed), through a temporary file and
  /// a rename, so that a reader (or another run writing it) sees the old or the new content,
  /// never a mix.
  virtual int ReplaceWholeFileWith(
      const std::string& path,
      const std::function<void(const std::function<bool(std::string_view)>& write)>& content) = 0;
  /// ReplaceWholeFileWith `data` as the whole content.
  int ReplaceWholeFile(const std::string& path, std::string_view data) {
    return ReplaceWholeFileWith(
        path, [data](const std::function<bool(std::string_view)>& write) { write(data); });
  }
};

/// The process-wide file system of the operating system.
FileSystem& RealFileSystem();

}  // namespace nandell::fs
