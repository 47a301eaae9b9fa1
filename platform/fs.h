#pragma once

// Low-level file operations: no-replace placement, writing through a temporary file, making a
// folder, flushing, the local day of a time. The portable operations of every module are in
// platform/file.h (built on these on POSIX); the organizing run reaches the file system
// through the FileSystem interface (platform/file_system.h). On Windows, where paths are
// UTF-8 and "/" and "\" both separate, only the part above "#ifndef _WIN32" exists.

#include <cstdint>
#include <functional>
#include <string>

namespace nandell::fs {

/// The system's text for an errno value.
std::string ErrorText(int error);

/// True when `path` is a folder (links followed).
bool IsFolder(const std::string& path);

/// Creates one folder with `mode` (less the umask). Returns 0 or an errno value.
int MakeFolder(const std::string& path, unsigned mode = 0777);

/// Gives the file `from` the name `to` unless `to` exists; an existing file is never
/// replaced. On Windows: MoveFileExW without MOVEFILE_REPLACE_EXISTING. Where the file system has
/// no no-replace rename, a hard link takes the name (it fails on an existing name) and the old name
/// is then removed. Where it has neither (FAT and exFAT through FUSE, NTFS through FUSE; found once
/// per file system and remembered), the name is checked to be free and the file renamed while an
/// advisory lock on the target folder is held, and the file's times are put back (some of these
/// file systems give a renamed file the time of the rename). Returns 0, EEXIST when the name is
/// taken, or another errno value.
int PlaceNoReplace(const std::string& from, const std::string& to);

/// A new name of the form of WriteTemporary's files for the process `process_id`
/// (".nandell-PID-N.part", N counting up within the process).
std::string TemporaryName(unsigned long process_id);

/// True when `name` has the form of WriteTemporary's files (".nandell-PID-N.part");
/// `process_id` (when given) receives PID.
bool IsTemporaryName(const std::string& name, unsigned long* process_id = nullptr);

/// `folder` with symbolic links, "." and ".." resolved, ending with a separator; empty on
/// failure. On Windows the final path of the opened folder (junctions resolved), in its
/// plain form.
std::string ResolvedFolder(const std::string& folder);

/// `seconds` in local time through strftime's `format`; empty when the calendar cannot
/// represent it.
std::string LocalTimeText(int64_t seconds, const char* format);

/// `seconds` as local "%Y-%m-%d" and "%Y". Times the calendar cannot represent give
/// "0000-00-00" and "0000" and return false.
bool LocalDay(int64_t seconds, std::string* day, std::string* year);

#ifndef _WIN32

// POSIX only: operations on open folder descriptors and writers that fill a descriptor.

/// PlaceNoReplace with `from` relative to the open folder `from_dir` and `to` relative to
/// `to_dir` (either may be AT_FDCWD).
int PlaceNoReplaceAt(int from_dir, const std::string& from, int to_dir, const std::string& to);

/// Creates a new hidden temporary file in `folder` (ending with "/"; empty means the current
/// folder) with `mode` (less the umask), holds an advisory lock on it while `fill` writes it
/// through its descriptor (`fill` returns 0 or an errno value), flushes it to disk and closes
/// it; fills `temporary` with its path. On failure the temporary file is removed. Returns 0 or
/// an errno value.
int WriteTemporary(const std::string& folder, const std::function<int(int fd)>& fill,
                   std::string* temporary, unsigned mode = 0600);

/// WriteTemporary with `folder` relative to the open folder `dir` (or AT_FDCWD); `temporary`
/// is relative to `dir` too.
int WriteTemporaryAt(int dir, const std::string& folder, const std::function<int(int fd)>& fill,
                     std::string* temporary, unsigned mode = 0600);

/// Removes the temporary files (IsTemporaryName) of the open folder `dir` that no one holds
/// locked: those of runs that were killed while writing them. Errors are ignored.
void RemoveLeftoverTemporaries(int dir);

/// Replaces the file `path` as a whole: WriteTemporary in its folder (a new file gets mode
/// 0666 less the umask), a rename over `path`, then the folder flushed, so that a reader sees
/// the old or the new file, never a part. Returns 0 or an errno value; on failure `path` is
/// unchanged.
int ReplaceFile(const std::string& path, const std::function<int(int fd)>& fill);

/// Reads the whole of the open regular file `fd` from its first byte into `data`: 0, EFBIG
/// when it holds more than `limit` bytes, or another errno value.
int ReadAllAt(int fd, int64_t limit, std::string* data);

/// Writes all `size` bytes of `data` to `fd`, retrying short writes and EINTR. Returns false
/// (errno set) when a write fails.
bool WriteAll(int fd, const void* data, size_t size);

/// Flushes a folder's entries to disk, so that a rename or a new name in it is durable.
/// Errors are ignored (not every file system allows it).
void FlushFolder(const std::string& folder);

/// FlushFolder of the open folder `dir`, and of the `above` folders over it.
void FlushFolderAt(int dir, int above = 0);

#endif  // _WIN32

}  // namespace nandell::fs
