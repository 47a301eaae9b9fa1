#include "tests/support/temp_tree.h"

#include <atomic>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <random>
#include <utility>
#include <vector>

#include "platform/path.h"
#include "tests/support/wait_until.h"

#ifdef _WIN32
#include <windows.h>

#include "platform/windows_support.h"
#else
#include <sched.h>
#include <sys/mount.h>
#include <sys/stat.h>
#endif

namespace nandell::testing {

namespace stdfs = std::filesystem;

namespace {

// `path` (UTF-8) as the system takes it: on Windows in UTF-16, in the long form when it is
// too long for the plain one.
stdfs::path FsPath(const std::string& path) {
#ifdef _WIN32
  return stdfs::path(win::WinPath(path));
#else
  return stdfs::path(path);
#endif
}

// `path` as UTF-8, without the long form's prefix.
std::string Utf8(const stdfs::path& path) {
#ifdef _WIN32
  return win::PlainPath(path.native());
#else
  return path.native();
#endif
}

int64_t NanosecondsSince1970(stdfs::file_time_type time) {
  return std::chrono::duration_cast<std::chrono::nanoseconds>(
             std::chrono::file_clock::to_sys(time).time_since_epoch())
      .count();
}

// The entries of the folder `folder` by name, "." and ".." left out.
std::vector<std::pair<std::string, TreeEntry>> ReadFolder(const std::string& folder) {
  std::vector<std::pair<std::string, TreeEntry>> entries;
#ifdef _WIN32
  // Through the system's own listing: the MinGW runtime's, under std::filesystem's folder
  // iterator, stops at folders past 260 characters, which the tests of long paths make.
  WIN32_FIND_DATAW data;
  HANDLE find = ::FindFirstFileW((LongPath(folder) + L"\\*").c_str(), &data);
  if (find == INVALID_HANDLE_VALUE) return entries;
  do {
    const std::string name = win::Narrow(data.cFileName);
    if (name == "." || name == "..") continue;
    TreeEntry entry;
    entry.kind = (data.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0 ? TreeEntry::kLink
                 : (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0   ? TreeEntry::kFolder
                                                                             : TreeEntry::kFile;
    entry.perms = (data.dwFileAttributes & FILE_ATTRIBUTE_READONLY) != 0 ? 0444 : 0666;
    entry.size = (static_cast<uint64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
    const int64_t units =
        static_cast<int64_t>((static_cast<uint64_t>(data.ftLastWriteTime.dwHighDateTime) << 32) |
                             data.ftLastWriteTime.dwLowDateTime);
    entry.modified = (units - 116444736000000000LL) * 100;  // from 1601 in 100 ns units
    if (entry.kind != TreeEntry::kFile) entry.size = 0;
    if (entry.kind == TreeEntry::kLink) entry.modified = 0;
    entries.emplace_back(name, entry);
  } while (::FindNextFileW(find, &data));
  ::FindClose(find);
#else
  std::error_code error;
  for (stdfs::directory_iterator it(folder, error), end; !error && it != end; it.increment(error)) {
    const stdfs::file_status status = it->symlink_status(error);
    if (error) break;
    TreeEntry entry;
    entry.kind = stdfs::is_symlink(status)        ? TreeEntry::kLink
                 : stdfs::is_directory(status)    ? TreeEntry::kFolder
                 : stdfs::is_regular_file(status) ? TreeEntry::kFile
                                                  : TreeEntry::kOther;
    entry.perms = static_cast<unsigned>(status.permissions()) & 07777;
    if (entry.kind == TreeEntry::kLink) {
      entry.size = stdfs::read_symlink(it->path(), error).native().size();  // as lstat says
    } else {
      if (entry.kind == TreeEntry::kFile) entry.size = it->file_size(error);
      entry.modified = NanosecondsSince1970(it->last_write_time(error));
    }
    error.clear();
    entries.emplace_back(it->path().filename().native(), entry);
  }
#endif
  return entries;
}

void WalkFrom(const std::string& root, const std::string& relative,
              const std::function<void(const std::string&, const TreeEntry&)>& visit) {
  for (const auto& [name, entry] : ReadFolder(root + relative)) {
    if (relative.empty() && name == kRecordsFolder) continue;
    const std::string path = relative + name;
    visit(path, entry);
    if (entry.kind == TreeEntry::kFolder) WalkFrom(root, path + "/", visit);
  }
}

// Removes `path`, an entry of the kind `kind`, entry by entry: a folder gets its owner's
// permissions before it is listed, a file its owner's write permission (on Windows: no
// read-only attribute); links are removed, never entered.
void RemoveEach(const std::string& path, TreeEntry::Kind kind) {
  std::error_code ignored;
  const stdfs::path at = FsPath(path);
  if (kind == TreeEntry::kFolder) {
    stdfs::permissions(at, stdfs::perms::owner_all, stdfs::perm_options::add, ignored);
    for (const auto& [name, entry] : ReadFolder(path)) RemoveEach(path + "/" + name, entry.kind);
  } else if (kind != TreeEntry::kLink) {
    stdfs::permissions(at, stdfs::perms::owner_write, stdfs::perm_options::add, ignored);
  }
  stdfs::remove(at, ignored);
}

std::string Facts(const TreeEntry& entry) {
  static const char* const kKinds[] = {"file", "folder", "link", "other"};
  char perms[8];
  std::snprintf(perms, sizeof perms, "%04o", entry.perms);
  return std::string(kKinds[entry.kind]) + " " + perms + " " + std::to_string(entry.size) + " " +
         std::to_string(entry.modified);
}

}  // namespace

std::string Native(std::string path) {
  return WithNativeSeparators(std::move(path));
}

TempDir::TempDir(const std::string& base) {
  std::error_code error;
  const stdfs::path folder = base.empty() ? stdfs::temp_directory_path(error) : FsPath(base);
  if (error) return;
  static std::atomic<unsigned> counter{0};
  std::random_device random;
  for (int attempt = 0; attempt < 100; ++attempt) {
    const stdfs::path dir = folder / ("nandell-test-" + std::to_string(random()) + "-" +
                                      std::to_string(counter.fetch_add(1)));
    if (stdfs::create_directory(dir, error)) {
      stdfs::permissions(dir, stdfs::perms::owner_all, error);
      path_ = Native(Utf8(dir)) + kPathSeparator;
      return;
    }
    if (error) return;  // not merely taken
  }
}

TempDir::~TempDir() {
  if (path_.empty()) return;
  // A program that a test ran may hold its files a moment after it ended (Wine lets a
  // finished program's handles go after the wait for its end returns; a virus scanner may
  // look into new files).
  const std::string folder = path_.substr(0, path_.size() - 1);
  WaitUntil([&] { return RemoveTree(folder); }, std::chrono::seconds(2));
}

bool MakeFolders(const std::string& path) {
  std::error_code error;
  const stdfs::path folder = FsPath(path);
  stdfs::create_directories(folder, error);
  return stdfs::is_directory(folder, error);
}

bool WriteFile(const std::string& path, std::string_view content, time_t mtime) {
  const size_t slash = LastSeparator(path);
  if (slash != std::string::npos && slash > 0) MakeFolders(path.substr(0, slash));
  const stdfs::path file = FsPath(path);
  {
    std::ofstream out(file, std::ios::binary | std::ios::trunc);
    if (!out.write(content.data(), static_cast<std::streamsize>(content.size())).flush()) {
      return false;
    }
  }
  if (mtime == 0) return true;
  std::error_code error;
  stdfs::last_write_time(
      file, std::chrono::file_clock::from_sys(std::chrono::system_clock::from_time_t(mtime)),
      error);
  return !error;
}

bool ReadFile(const std::string& path, std::string* bytes) {
  std::ifstream in(FsPath(path), std::ios::binary);
  if (!in) return false;
  bytes->clear();
  char buffer[65536];
  while (in.read(buffer, sizeof buffer) || in.gcount() > 0) {
    bytes->append(buffer, static_cast<size_t>(in.gcount()));
  }
  return in.eof() && !in.bad();
}

std::string ReadFile(const std::string& path) {
  std::string bytes;
  return ReadFile(path, &bytes) ? bytes : "<missing>";
}

std::string ReadIniText(const std::string& path) {
  std::string bytes;
  ReadFile(path, &bytes);
#ifdef _WIN32
  if (bytes.compare(0, 2, "\xFF\xFE") == 0) {
    std::wstring wide((bytes.size() - 2) / 2, L'\0');
    std::memcpy(wide.data(), bytes.data() + 2, wide.size() * sizeof(wchar_t));
    bytes = win::Narrow(wide);
    std::erase(bytes, '\r');
  }
#endif
  return bytes;
}

bool PathExists(const std::string& path) {
  std::error_code error;
  return stdfs::exists(stdfs::symlink_status(FsPath(path), error));
}

bool RemoveTree(const std::string& path) {
  std::error_code error;
#ifndef _WIN32
  stdfs::remove_all(FsPath(path), error);  // relative to open folders, so at any depth
#endif
  // Entry by entry, what is left: entries without their owner's permissions; on Windows the
  // whole tree, since the runtime's folder iterator that remove_all walks with stops at folders
  // past 260 characters.
  const stdfs::file_status status = stdfs::symlink_status(FsPath(path), error);
  if (stdfs::exists(status)) {
    RemoveEach(path, stdfs::is_symlink(status)     ? TreeEntry::kLink
                     : stdfs::is_directory(status) ? TreeEntry::kFolder
                                                   : TreeEntry::kFile);
  }
  return !PathExists(path);
}

int64_t LastWriteSeconds(const std::string& path) {
  std::error_code error;
  const stdfs::file_time_type time = stdfs::last_write_time(FsPath(path), error);
  return error ? -1 : NanosecondsSince1970(time) / 1000000000;
}

void WalkTree(const std::string& root,
              const std::function<void(const std::string&, const TreeEntry&)>& visit) {
  WalkFrom(root, "", visit);
}

std::map<std::string, std::string> ListFiles(const std::string& root) {
  std::map<std::string, std::string> files;
  WalkTree(root, [&](const std::string& path, const TreeEntry& entry) {
    if (entry.kind == TreeEntry::kFile) files[path] = ReadFile(root + path);
  });
  return files;
}

std::map<std::string, std::string> ListTree(const std::string& root) {
  std::map<std::string, std::string> entries;
  WalkTree(root,
           [&](const std::string& path, const TreeEntry& entry) { entries[path] = Facts(entry); });
  return entries;
}

std::map<std::string, std::string> Snapshot(const std::string& root) {
  std::map<std::string, std::string> entries;
  WalkTree(root, [&](const std::string& path, const TreeEntry& entry) {
    if (entry.kind == TreeEntry::kFolder) {
      entries[path] = "folder";
    } else {
      // A file's content; a link's target's (through it), as a program reading it sees.
      entries[path] =
          Facts(entry) + " " + (entry.kind == TreeEntry::kOther ? "" : ReadFile(root + path));
    }
  });
  return entries;
}

bool OnOtherFileSystem(const std::string& a, const std::string& b) {
#ifdef _WIN32
  // A move that may not copy fails between volumes (under Wine, Unix file systems).
  if (!WriteFile(a + "probe", "p")) return false;
  const bool moved = ::MoveFileExW(LongPath(a + "probe").c_str(), LongPath(b + "probe").c_str(), 0);
  const bool other = !moved && ::GetLastError() == ERROR_NOT_SAME_DEVICE;
  RemoveTree(moved ? b + "probe" : a + "probe");
  return other;
#else
  struct stat sa, sb;
  return ::stat(a.c_str(), &sa) == 0 && ::stat(b.c_str(), &sb) == 0 && sa.st_dev != sb.st_dev;
#endif
}

std::string LocalDayText(time_t t) {
  struct tm tm_local;
#ifdef _WIN32
  ::localtime_s(&tm_local, &t);
#else
  ::localtime_r(&t, &tm_local);
#endif
  char text[32];
  std::strftime(text, sizeof text, "%Y-%m-%d", &tm_local);
  return text;
}

time_t LocalNoon(int year, int month, int day) {
  struct tm tm_local {};
  tm_local.tm_year = year - 1900;
  tm_local.tm_mon = month - 1;
  tm_local.tm_mday = day;
  tm_local.tm_hour = 12;
  tm_local.tm_isdst = -1;
  return ::mktime(&tm_local);
}

#ifdef _WIN32

FILE* TempStream() {
  wchar_t base[MAX_PATH + 1];
  wchar_t name[MAX_PATH + 1];
  const DWORD length = ::GetTempPathW(MAX_PATH + 1, base);
  if (length == 0 || length > MAX_PATH || ::GetTempFileNameW(base, L"nan", 0, name) == 0) {
    return nullptr;
  }
  // "D": the file is removed when the stream is closed.
  return ::_wfopen(name, L"w+bD");
}

std::wstring LongPath(const std::string& path) {
  std::wstring wide = win::WinPath(path);
  if (wide.compare(0, 4, L"\\\\?\\") != 0) wide = L"\\\\?\\" + wide;
  while (wide.size() > 7 && wide.back() == L'\\') wide.pop_back();
  return wide;
}

#else

FILE* TempStream() {
  return std::tmpfile();
}

bool PrivateMounts() {
  static const bool private_mounts =
      ::unshare(CLONE_NEWNS) == 0 &&
      ::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) == 0;
  return private_mounts;
}

ScopedTmpfs::ScopedTmpfs(const std::string& size) {
  if (!PrivateMounts() || dir_.path().empty()) return;
  const std::string options = "size=" + size;
  if (::mount("tmpfs", dir_.path().c_str(), "tmpfs", 0, options.c_str()) == 0) {
    path_ = dir_.path();
  }
}

ScopedTmpfs::~ScopedTmpfs() {
  if (!path_.empty()) ::umount2(path_.c_str(), MNT_DETACH);
}

#endif

}  // namespace nandell::testing
