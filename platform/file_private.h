#pragma once

// Private to platform/'s own files: what the path-level file operations (platform/file.h) and
// the run's file system (platform/file_system.h) share on each operating system, and the
// system's implementation of that file system. No other module includes it: system
// descriptors and handles never leave platform/.

#include <sys/types.h>

#include <cstdint>
#include <cstdio>
#include <functional>
#include <string>
#include <string_view>

#include "platform/file_system.h"

namespace nandell::fs {

/// A new name of the form of the temporary files that copies and whole-file writes go through,
/// for the process `process_id` (".nandell-PID-N.part", N counting up within the process).
std::string TemporaryName(unsigned long process_id);

/// True when `name` has TemporaryName's form; `process_id` (when given) receives PID.
bool IsTemporaryName(const std::string& name, unsigned long* process_id = nullptr);

/// The operating system's file system (RealFileSystem), implemented once per system:
/// file_system_posix.cpp and file_system_win.cpp.
class SystemFileSystem final : public FileSystem {
 public:
  // FileSystem's steps, as this system carries them out.
  bool Exists(const std::string& path) override;
  std::string ResolvedFolder(const std::string& folder) override;
  int OpenFolder(const std::string& path, FolderRef* folder) override;
  int OpenSubfolder(const Folder& parent, const std::string& name, FolderRef* folder) override;
  std::unique_ptr<FolderListing> ListFolder(const Folder& folder, int* error) override;
  FILE* OpenForReading(const FileAt& file) override;
  int OpenTargetFolder(const Folder& base, const std::string& relative, bool* made,
                       FolderRef* folder) override;
  bool FoldersStayInPlace() const override;
  int CheckNameFree(const Folder& base, const std::string& relative) override;
  int CheckTargetFolder(const Folder& base, const std::string& relative, int* add_error,
                        uint64_t* device) override;
  void RemoveLeftovers(const Folder& folder) override;
  int OpenSource(const FileAt& file, bool lock, std::unique_ptr<SourceFile>* source) override;
  int TakeStamp(SourceFile& source) override;
  bool Unchanged(const SourceFile& source) override;
  int CopyToTemporary(SourceFile& source, const Folder& folder, bool keep_owner,
                      Copied* copy) override;
  int PlaceNoReplace(const FileAt& from, const FileAt& to) override;
  int Remove(const FileAt& file) override;
  bool SameContent(SourceFile& source, const FileAt& copy) override;
  void FlushFolder(const Folder& folder, int above) override;
  int RemoveSource(SourceFile& source, const FileAt& file) override;
  bool IsLeftover(const FileAt& file) override;
  int Examine(const FileAt& file, FileFacts* facts) override;
  int IdentifyFolder(const Folder& folder, uint64_t* device, uint64_t* inode) override;
  int ReadInPieces(const FileAt& file, int64_t limit,
                   const std::function<void(std::string_view)>& piece,
                   OpenFileFacts* facts) override;
  int RemoveFolder(const FileAt& folder) override;
  int OpenLocked(const FileAt& at, bool create_new, std::unique_ptr<AppendFile>* file) override;
  bool MakeFolders(const std::string& path) override;
  int ReplaceWholeFileWith(
      const std::string& path,
      const std::function<void(const std::function<bool(std::string_view)>& write)>& content)
      override;
};

/// The system's text for an error result that is not one of this program's own codes: an
/// errno value, or on Windows kWindowsErrorBase + a Windows code.
std::string SystemErrorText(int error);

}  // namespace nandell::fs

#ifdef _WIN32

namespace nandell::win {

/// Gives the file `from` the name `to` (both in the Windows form) unless `to` exists:
/// MoveFileExW without MOVEFILE_REPLACE_EXISTING. Returns 0, EEXIST or another error result.
int MoveNoReplace(const std::wstring& from, const std::wstring& to);

/// Opens the disk file `path` (in the Windows form) for binary reading as a C stream, other
/// programs free to read, write, rename and delete it meanwhile; null when it cannot be opened
/// or is not a disk file (a pipe or a console could keep a read waiting).
FILE* OpenStream(const std::wstring& path);

/// Reads the open disk file `handle` from its first byte to its end, handing each piece read to
/// `piece` in order: 0, EFBIG when it holds more than `limit` bytes, or another error result.
int ReadPiecesOf(void* handle, int64_t limit, const std::function<void(std::string_view)>& piece);

/// Reads up to `size` bytes of the open file `handle` at `offset` into `buffer`, retrying short
/// reads; `got` receives how many were read (fewer only at the end). Returns 0 or an error
/// result.
int ReadOfAt(void* handle, uint64_t offset, char* buffer, size_t size, size_t* got);

/// Fills `facts` for the open file `handle` (opened with READ_CONTROL, so that its owner can be
/// read). Returns 0 or an error result.
int FactsOf(void* handle, OpenFileFacts* facts);

}  // namespace nandell::win

#else

namespace nandell::posix {

/// RenameNoReplace (platform/file.h) with `from` relative to the open folder `from_dir` and
/// `to` relative to `to_dir` (either may be AT_FDCWD). Returns 0, EEXIST or an errno value.
int RenameNoReplaceAt(int from_dir, const std::string& from, int to_dir, const std::string& to);

/// Creates a new hidden temporary file (TemporaryName) in the folder `folder` (ending with "/";
/// empty means `dir` itself) relative to the open folder `dir` (or AT_FDCWD), with `mode` (less
/// the umask); holds an advisory lock on it while `fill` writes it through its descriptor
/// (`fill` returns 0 or an errno value), flushes it to disk and closes it; fills `temporary`
/// with its path relative to `dir`. On failure the temporary file is removed. Returns 0 or an
/// errno value.
int WriteTemporaryAt(int dir, const std::string& folder, const std::function<int(int fd)>& fill,
                     std::string* temporary, unsigned mode = 0600);

/// Removes the temporary files (IsTemporaryName) of the open folder `dir` that no one holds
/// locked: those of runs that were killed while writing them. Errors are ignored.
void RemoveLeftoverTemporaries(int dir);

/// Replaces the file `path` as a whole: a temporary file in its folder (a new file gets mode
/// 0666 less the umask) written by `fill`, a rename over `path`, then the folder flushed, so
/// that a reader sees the old or the new file, never a part. Returns 0 or an errno value; on
/// failure `path` is unchanged.
int ReplaceFile(const std::string& path, const std::function<int(int fd)>& fill);

/// Reads the open regular file `fd` from its first byte to its end, handing each piece read to
/// `piece` in order: 0, EFBIG when it holds more than `limit` bytes (nothing is handed over when
/// its size says so at once), or another errno value.
int ReadPiecesAt(int fd, int64_t limit, const std::function<void(std::string_view)>& piece);

/// Reads up to `size` bytes of `fd` at `offset` into `data`, retrying short reads and EINTR
/// (fewer only at the end of the file). Returns the count, or -1 (errno set) when a read fails.
ssize_t ReadFullAt(int fd, char* data, size_t size, off_t offset);

/// Writes all `size` bytes of `data` to `fd`, retrying short writes and EINTR. Returns false
/// (errno set) when a write fails.
bool WriteAll(int fd, const void* data, size_t size);

/// Flushes the entries of the open folder `dir`, and of the `above` folders over it, to disk,
/// so that a rename or a new name in them is durable. Errors are ignored (not every file
/// system allows it).
void FlushFolderAt(int dir, int above = 0);

/// AppendFile::OpenLocked of the entry `name` of the open folder `folder_fd`; fills `fd` with
/// the open, locked descriptor. Returns 0 or an errno value (kNotRegularFile, EWOULDBLOCK).
int OpenLockedAt(int folder_fd, const std::string& name, bool create_new, int* fd);

/// Fills `facts` for the open file `fd`. Returns 0 or an errno value.
int FactsOf(int fd, OpenFileFacts* facts);

}  // namespace nandell::posix

#endif  // _WIN32
