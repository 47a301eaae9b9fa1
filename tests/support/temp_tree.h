#pragma once

// Real files for tests, the same on every system: a temporary folder removed afterwards,
// files written (with a chosen last-write time) and read back, and listings of a tree to
// compare before and after a run. Paths are UTF-8 texts, as the program takes them; on
// Windows they reach the system in UTF-16 and in the long form where they need it, and a
// temporary folder's path uses "\", which TempDir's "/" joins relative paths with.

#include <cstdint>
#include <cstdio>
#include <ctime>
#include <functional>
#include <map>
#include <string>
#include <string_view>

namespace nandell::testing {

/// The folder of the runs' journals in an output folder, which the listings below leave out:
/// they list what a run put among the photos.
inline constexpr const char* kRecordsFolder = ".nandell";

/// `path` with this system's separators: expected texts name paths as the run writes them.
std::string Native(std::string path);

/// A fresh folder under `base` (default: the system's temporary folder), private to its
/// owner, removed with everything in it on destruction.
class TempDir {
 public:
  explicit TempDir(const std::string& base = "");
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;

  /// The folder, ending with a separator; empty when it could not be made.
  const std::string& path() const { return path_; }
  /// path() + `relative` ("/" between its levels, written with this system's separator).
  std::string operator/(const std::string& relative) const { return path_ + Native(relative); }

 private:
  std::string path_;
};

/// Makes every missing folder of `path`; true when it is a folder afterwards.
bool MakeFolders(const std::string& path);
/// Writes `content` to `path` (replacing it), making its folders; sets its last-write time
/// when `mtime` is given.
bool WriteFile(const std::string& path, std::string_view content, time_t mtime = 0);
/// The whole content of `path`, or "<missing>" when it cannot be read.
std::string ReadFile(const std::string& path);
/// Reads the whole file at `path` into `bytes`; false when it cannot be read.
bool ReadFile(const std::string& path, std::string* bytes);
/// The text of an INI file in UTF-8 with LF line ends when it is stored in UTF-16 (after its
/// byte-order mark FF FE, as Windows keeps Config.ini); any other file byte for byte.
std::string ReadIniText(const std::string& path);
/// Whether anything (a link too, even a dangling one) is at `path`.
bool PathExists(const std::string& path);
/// Removes `path` and everything under it, whatever its permissions; true when it is gone.
bool RemoveTree(const std::string& path);
/// The last-write time of `path` in seconds since 1970; -1 when it has none.
int64_t LastWriteSeconds(const std::string& path);

/// One entry of a tree: its kind, permission bits, size and last-write time.
struct TreeEntry {
  enum Kind {
    kFile,
    kFolder,
    kLink,
    kOther
  };  // kLink: also another reparse point; kOther: a
      // FIFO, a socket, a device
  Kind kind = kFile;
  unsigned perms = 0;    // rwx bits (on Windows 0444 or 0666 by the read-only attribute)
  uint64_t size = 0;     // a file's; a link's target's length
  int64_t modified = 0;  // nanoseconds since 1970 (a link's: 0)
};

/// Calls `visit` with the path relative to `root` ("/" between levels) and every entry under
/// it, folders before what they hold; links are not entered, root's .nandell is left out.
void WalkTree(const std::string& root,
              const std::function<void(const std::string&, const TreeEntry&)>& visit);
/// Every regular file under `root`, by path relative to it ("/" between levels), with content.
std::map<std::string, std::string> ListFiles(const std::string& root);
/// Every entry under `root`, folders, links and hidden names included, with its kind,
/// permission bits, size and last-write time: what must stay the same when a run changes
/// nothing.
std::map<std::string, std::string> ListTree(const std::string& root);
/// Every entry under `root` with its kind, permission bits, size, last-write time and a
/// file's content; folders by kind only (their times change as files come and go): what an
/// undo must bring back exactly.
std::map<std::string, std::string> Snapshot(const std::string& root);

/// A folder on another file system than the temporary folder, for moves that must copy (on
/// Windows through Wine's drive Z:).
#ifdef _WIN32
inline constexpr char kOtherFileSystem[] = "Z:/dev/shm";
#else
inline constexpr char kOtherFileSystem[] = "/dev/shm";
#endif
/// True when a file cannot be renamed from the folder `a` into the folder `b` (both ending
/// with a separator): they are on different file systems.
bool OnOtherFileSystem(const std::string& a, const std::string& b);

/// Local "%Y-%m-%d" of a time, as the run names its folders.
std::string LocalDayText(time_t t);
/// Noon local time of a calendar day, far from any day boundary.
time_t LocalNoon(int year, int month, int day);

/// An empty stream open for reading and writing on a temporary file, removed when closed;
/// null on failure.
FILE* TempStream();

#ifdef _WIN32
/// The long form ("\\?\...") of the full path `path`, which any length and any name reach.
std::wstring LongPath(const std::string& path);
#else
/// Moves this process (and the programs it starts) into a mount namespace of its own, once,
/// so that what it mounts is seen by nobody else (a desktop's or Wine's mount watcher would
/// hold a new mount busy). Returns true when it is in one. Call it before any thread starts.
bool PrivateMounts();

/// A file system of its own: a tmpfs mounted on a fresh folder for the life of the object, in
/// a mount namespace private to this process (and the programs it starts), so that nothing
/// outside sees it and it goes with the process. path() is empty where mounting is not
/// allowed (not root, no CAP_SYS_ADMIN): the test then skips.
class ScopedTmpfs {
 public:
  /// `size` as mount(8) takes it ("512m", "1m").
  explicit ScopedTmpfs(const std::string& size = "512m");
  ~ScopedTmpfs();
  ScopedTmpfs(const ScopedTmpfs&) = delete;
  ScopedTmpfs& operator=(const ScopedTmpfs&) = delete;
  /// The mounted folder, ending with "/"; empty when it could not be mounted.
  const std::string& path() const { return path_; }

 private:
  TempDir dir_;  // removed, empty, once unmounted
  std::string path_;
};
#endif

}  // namespace nandell::testing
