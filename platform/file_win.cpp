#include "platform/file.h"

#include <fcntl.h>
#include <io.h>
#include <windows.h>
// After windows.h.
#include <aclapi.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <climits>
#include <cstring>

#include "platform/file_private.h"
#include "platform/path.h"
#include "platform/windows_support.h"

namespace nandell {
namespace {

// Other programs may read, write, rename and delete a file while we read it.
constexpr DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;

// The Internet functions' error codes (WinHTTP's among them), whose texts are in their own
// module's message table rather than the system's.
constexpr unsigned long kInternetErrorFirst = 12000;
constexpr unsigned long kInternetErrorLast = 12999;

// The system's message for the Windows error `code` (from WinHTTP's table for its codes, when
// it is loaded), without its closing full stop and line break; "error N" when there is none.
std::string MessageText(unsigned long code) {
  HMODULE module = nullptr;
  if (code >= kInternetErrorFirst && code <= kInternetErrorLast) {
    module = ::GetModuleHandleW(L"winhttp.dll");
  }
  wchar_t* buffer = nullptr;
  const DWORD flags =
      FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_IGNORE_INSERTS |
      (module != nullptr ? FORMAT_MESSAGE_FROM_HMODULE : FORMAT_MESSAGE_FROM_SYSTEM);
  const DWORD length =
      ::FormatMessageW(flags, module, code, 0, reinterpret_cast<wchar_t*>(&buffer), 0, nullptr);
  std::string text;
  if (length > 0 && buffer != nullptr) text = win::Narrow(std::wstring_view(buffer, length));
  if (buffer != nullptr) ::LocalFree(buffer);
  while (!text.empty() &&
         (text.back() == '\n' || text.back() == '\r' || text.back() == ' ' || text.back() == '.')) {
    text.pop_back();
  }
  if (text.empty()) text = "error " + std::to_string(code);
  return text;
}

// The text of the current thread's last Windows error.
std::string LastErrorText() {
  return ErrorText(win::ErrorResult(::GetLastError()));
}

// Creates the folder `path` after the missing folders above it. Whether a level above could
// be made does not matter by itself: the creation of `path` decides (a drive or a share root
// cannot be made and need not be).
bool MakeFoldersWide(const std::wstring& path) {
  const DWORD attributes = ::GetFileAttributesW(path.c_str());
  if (attributes != INVALID_FILE_ATTRIBUTES) return (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
  const std::size_t slash = path.rfind(L'\\');
  if (slash != std::wstring::npos && slash > 0) MakeFoldersWide(path.substr(0, slash));
  return ::CreateDirectoryW(path.c_str(), nullptr) || ::GetLastError() == ERROR_ALREADY_EXISTS;
}

}  // namespace

namespace fs {

std::string SystemErrorText(int error) {
  if (error >= win::kWindowsErrorBase) {
    return MessageText(static_cast<unsigned long>(error - win::kWindowsErrorBase));
  }
  return std::strerror(error);
}

}  // namespace fs

FILE* OpenForReading(const std::string& path) {
  return win::OpenStream(win::WinPath(path));
}

bool CheckReadableFile(const std::string& path, std::string* error) {
  // Backup semantics let a folder be opened too, so that it can be named as one.
  HANDLE handle = ::CreateFileW(win::WinPath(path).c_str(), GENERIC_READ, kShareAll, nullptr,
                                OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (handle == INVALID_HANDLE_VALUE) {
    *error = LastErrorText();
    return false;
  }
  bool ok = true;
  BY_HANDLE_FILE_INFORMATION info;
  if (!::GetFileInformationByHandle(handle, &info)) {
    *error = LastErrorText();
    ok = false;
  } else if ((info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
    *error = "is a folder";
    ok = false;
  } else if (::GetFileType(handle) != FILE_TYPE_DISK) {
    *error = "not a regular file";
    ok = false;
  } else {
    char byte;
    DWORD got = 0;
    if (!::ReadFile(handle, &byte, 1, &got, nullptr)) {
      *error = LastErrorText();
      ok = false;
    }
  }
  ::CloseHandle(handle);
  return ok;
}

bool PathExists(const std::string& path) {
  return !path.empty() &&
         ::GetFileAttributesW(win::WinPath(path).c_str()) != INVALID_FILE_ATTRIBUTES;
}

bool IsFolder(const std::string& path) {
  const DWORD attributes = ::GetFileAttributesW(win::WinPath(path).c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

bool FolderWritable(const std::string& dir) {
  if (dir.empty()) return false;
  // Folder rights on Windows are access lists that only an attempt reads reliably: create a
  // file that goes away when closed.
  static std::atomic<unsigned> counter{0};
  const std::string probe = WithTrailingSeparator(dir) + ".nandell-probe-" +
                            std::to_string(::GetCurrentProcessId()) + "-" +
                            std::to_string(counter.fetch_add(1));
  HANDLE handle = ::CreateFileW(win::WinPath(probe).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                FILE_ATTRIBUTE_TEMPORARY | FILE_FLAG_DELETE_ON_CLOSE, nullptr);
  if (handle == INVALID_HANDLE_VALUE) return false;
  ::CloseHandle(handle);
  return true;
}

bool MakeFolders(const std::string& dir, unsigned) {
  std::wstring path = win::WinPath(dir);
  while (path.size() > 1 && path.back() == L'\\') path.pop_back();
  return !path.empty() && MakeFoldersWide(path);
}

int RenameNoReplace(const std::string& from, const std::string& to) {
  return win::MoveNoReplace(win::WinPath(from), win::WinPath(to));
}

bool AppendFile::Open(const std::string& path) {
  Close();
  // Append rights only: the system puts every write at the end of the file.
  HANDLE handle = ::CreateFileW(win::WinPath(path).c_str(),
                                FILE_APPEND_DATA | FILE_READ_ATTRIBUTES | SYNCHRONIZE, kShareAll,
                                nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (handle == INVALID_HANDLE_VALUE) return false;
  handle_ = reinterpret_cast<intptr_t>(handle);
  return true;
}

int AppendFile::OpenLocked(const std::string& path, bool create_new) {
  Close();
  // A link (a reparse point) as the file is opened itself, and refused, as on POSIX.
  HANDLE handle = ::CreateFileW(
      win::WinPath(path).c_str(),
      GENERIC_READ | FILE_APPEND_DATA | FILE_READ_ATTRIBUTES | READ_CONTROL | SYNCHRONIZE,
      kShareAll, nullptr, create_new ? CREATE_NEW : OPEN_EXISTING,
      FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
  if (handle == INVALID_HANDLE_VALUE) {
    const int error = win::ErrnoOf(::GetLastError());
    return error != 0 ? error : EIO;
  }
  BY_HANDLE_FILE_INFORMATION info;
  int error = 0;
  if (::GetFileType(handle) != FILE_TYPE_DISK) {
    error = kNotRegularFile;
  } else if (!::GetFileInformationByHandle(handle, &info) ||
             (info.dwFileAttributes & (FILE_ATTRIBUTE_REPARSE_POINT | FILE_ATTRIBUTE_DIRECTORY)) !=
                 0) {
    error = ELOOP;
  }
  // Windows locks are mandatory: a lock on the content would keep every other handle, the
  // holder's own reader among them, from reading the file. The lock is taken on one byte far
  // beyond any end instead, which holders of the lock alone contend for.
  OVERLAPPED far_byte = {};
  far_byte.Offset = 0xFFFFFFF0;
  far_byte.OffsetHigh = 0x7FFFFFFF;
  if (error == 0 && !::LockFileEx(handle, LOCKFILE_EXCLUSIVE_LOCK | LOCKFILE_FAIL_IMMEDIATELY, 0, 1,
                                  0, &far_byte)) {
    error = EWOULDBLOCK;
  }
  if (error != 0) {
    ::CloseHandle(handle);
    return error;
  }
  handle_ = reinterpret_cast<intptr_t>(handle);
  return 0;
}

int AppendFile::ReadPieces(int64_t limit,
                           const std::function<void(std::string_view)>& piece) const {
  if (handle_ == -1) return EBADF;
  return win::ReadPiecesOf(reinterpret_cast<HANDLE>(handle_), limit, piece);
}

int AppendFile::ReadAt(int64_t offset, size_t size, std::string* data) const {
  data->resize(size);
  if (handle_ == -1) return EBADF;
  size_t got = 0;
  const int error = win::ReadOfAt(reinterpret_cast<HANDLE>(handle_), static_cast<uint64_t>(offset),
                                  data->data(), size, &got);
  if (error != 0) return error;
  data->resize(got);
  return 0;
}

int AppendFile::Facts(OpenFileFacts* facts) const {
  if (handle_ == -1) return EBADF;
  return win::FactsOf(reinterpret_cast<HANDLE>(handle_), facts);
}

int64_t AppendFile::Size() const {
  LARGE_INTEGER size;
  if (handle_ == -1 || !::GetFileSizeEx(reinterpret_cast<HANDLE>(handle_), &size)) return -1;
  return static_cast<int64_t>(size.QuadPart);
}

bool AppendFile::Append(std::string_view data) {
  if (handle_ == -1) return false;
  while (!data.empty()) {
    const DWORD chunk = data.size() > INT_MAX ? INT_MAX : static_cast<DWORD>(data.size());
    DWORD written = 0;
    if (!::WriteFile(reinterpret_cast<HANDLE>(handle_), data.data(), chunk, &written, nullptr) ||
        written == 0) {
      return false;
    }
    data.remove_prefix(written);
  }
  return true;
}

bool AppendFile::Sync() {
  return handle_ != -1 && ::FlushFileBuffers(reinterpret_cast<HANDLE>(handle_));
}

void AppendFile::Close() {
  if (handle_ != -1) ::CloseHandle(reinterpret_cast<HANDLE>(handle_));
  handle_ = -1;
}

namespace win {

int MoveNoReplace(const std::wstring& from, const std::wstring& to) {
  return ::MoveFileExW(from.c_str(), to.c_str(), 0) ? 0 : ErrorResult(::GetLastError());
}

int ReadOfAt(void* handle, uint64_t offset, char* buffer, size_t size, size_t* got) {
  for (*got = 0; *got < size;) {
    OVERLAPPED where{};
    where.Offset = static_cast<DWORD>(offset + *got);
    where.OffsetHigh = static_cast<DWORD>((offset + *got) >> 32);
    const DWORD chunk = static_cast<DWORD>(std::min<size_t>(size - *got, 1u << 30));
    DWORD read = 0;
    if (!::ReadFile(handle, buffer + *got, chunk, &read, &where)) {
      return ::GetLastError() == ERROR_HANDLE_EOF ? 0 : ErrorResult(::GetLastError());
    }
    if (read == 0) break;
    *got += read;
  }
  return 0;
}

int ReadPiecesOf(void* handle, int64_t limit, const std::function<void(std::string_view)>& piece) {
  LARGE_INTEGER size;
  if (!::GetFileSizeEx(handle, &size)) return ErrorResult(::GetLastError());
  if (size.QuadPart > limit) return EFBIG;
  // The file may grow while it is read: read on to its end, or past the limit.
  std::string buffer(1 << 20, '\0');
  for (uint64_t at = 0;;) {
    size_t got = 0;
    const int error = ReadOfAt(handle, at, buffer.data(), buffer.size(), &got);
    if (error != 0) return error;
    if (got == 0) return 0;
    if (static_cast<int64_t>(at + got) > limit) return EFBIG;
    piece(std::string_view(buffer.data(), got));
    at += got;
  }
}

int FactsOf(void* handle, OpenFileFacts* facts) {
  BY_HANDLE_FILE_INFORMATION info;
  if (!::GetFileInformationByHandle(handle, &info)) return ErrorResult(::GetLastError());
  facts->device = info.dwVolumeSerialNumber;
  facts->inode = (static_cast<uint64_t>(info.nFileIndexHigh) << 32) | info.nFileIndexLow;
  facts->others_may_write = false;
  // The owner is this user, or a group of this user's (an administrator's files belong to the
  // Administrators group).
  PSID owner = nullptr;
  PSECURITY_DESCRIPTOR descriptor = nullptr;
  facts->owned = false;
  if (::GetSecurityInfo(handle, SE_FILE_OBJECT, OWNER_SECURITY_INFORMATION, &owner, nullptr,
                        nullptr, nullptr, &descriptor) != ERROR_SUCCESS) {
    return ErrorResult(::GetLastError());
  }
  HANDLE token = nullptr;
  if (::OpenProcessToken(::GetCurrentProcess(), TOKEN_QUERY, &token)) {
    char user[256];
    DWORD length = 0;
    if (::GetTokenInformation(token, TokenUser, user, sizeof user, &length)) {
      facts->owned = ::EqualSid(reinterpret_cast<TOKEN_USER*>(user)->User.Sid, owner) != FALSE;
    }
    ::CloseHandle(token);
  }
  BOOL member = FALSE;
  if (!facts->owned && ::CheckTokenMembership(nullptr, owner, &member)) facts->owned = member;
  ::LocalFree(descriptor);
  return 0;
}

FILE* OpenStream(const std::wstring& path) {
  HANDLE handle = ::CreateFileW(path.c_str(), GENERIC_READ, kShareAll, nullptr, OPEN_EXISTING,
                                FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
  if (handle == INVALID_HANDLE_VALUE) return nullptr;
  // Only files on a disk: a read from a pipe or a console could wait for ever.
  if (::GetFileType(handle) != FILE_TYPE_DISK) {
    ::CloseHandle(handle);
    return nullptr;
  }
  const int fd = ::_open_osfhandle(reinterpret_cast<intptr_t>(handle), _O_RDONLY | _O_BINARY);
  if (fd < 0) {
    ::CloseHandle(handle);
    return nullptr;
  }
  FILE* file = ::_fdopen(fd, "rb");
  if (file == nullptr) ::_close(fd);
  return file;
}

}  // namespace win
}  // namespace nandell
