#include "platform/windows_support.h"

#include <windows.h>

#include <cerrno>
#include <climits>
#include <cstring>

namespace nandell::win {
namespace {

// Longest full path given to the file calls without the long-path prefix: MAX_PATH less the
// room CreateDirectoryW keeps for an 8.3 file name inside the folder.
constexpr std::size_t kPlainPathLimit = MAX_PATH - 12;

bool StartsWith(std::wstring_view text, std::wstring_view prefix) {
  return text.substr(0, prefix.size()) == prefix;
}

}  // namespace

std::wstring Widen(std::string_view text) {
  return FromCodePage(text, CP_UTF8);
}

std::wstring FromCodePage(std::string_view bytes, unsigned code_page) {
  if (bytes.empty() || bytes.size() > INT_MAX) return std::wstring();
  const int size = static_cast<int>(bytes.size());
  const int length = ::MultiByteToWideChar(code_page, 0, bytes.data(), size, nullptr, 0);
  std::wstring wide(static_cast<std::size_t>(length), L'\0');
  ::MultiByteToWideChar(code_page, 0, bytes.data(), size, wide.data(), length);
  return wide;
}

std::string Narrow(std::wstring_view text) {
  if (text.empty() || text.size() > INT_MAX) return std::string();
  const int size = static_cast<int>(text.size());
  const int length =
      ::WideCharToMultiByte(CP_UTF8, 0, text.data(), size, nullptr, 0, nullptr, nullptr);
  std::string narrow(static_cast<std::size_t>(length), '\0');
  ::WideCharToMultiByte(CP_UTF8, 0, text.data(), size, narrow.data(), length, nullptr, nullptr);
  return narrow;
}

std::wstring WinPath(std::string_view path) {
  std::wstring wide = Widen(path);
  // A path in the long or the device form is taken exactly as it is.
  if (wide.empty() || StartsWith(wide, L"\\\\?\\") || StartsWith(wide, L"\\\\.\\")) return wide;
  for (wchar_t& c : wide) {
    if (c == L'/') c = L'\\';
  }
  const DWORD needed = ::GetFullPathNameW(wide.c_str(), 0, nullptr, nullptr);
  if (needed == 0) return wide;
  std::wstring full(needed, L'\0');
  const DWORD length = ::GetFullPathNameW(wide.c_str(), needed, full.data(), nullptr);
  if (length == 0 || length >= needed) return wide;
  full.resize(length);
  if (full.size() < kPlainPathLimit) return full;
  if (StartsWith(full, L"\\\\")) return L"\\\\?\\UNC\\" + full.substr(2);
  return L"\\\\?\\" + full;
}

std::string PlainPath(std::wstring_view path) {
  if (StartsWith(path, L"\\\\?\\UNC\\")) return "\\\\" + Narrow(path.substr(8));
  if (StartsWith(path, L"\\\\?\\")) return Narrow(path.substr(4));
  return Narrow(path);
}

int ErrnoOf(unsigned long code) {
  switch (code) {
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
    case ERROR_INVALID_DRIVE:
    case ERROR_NO_MORE_FILES:
    case ERROR_BAD_NETPATH:
    case ERROR_BAD_NET_NAME:
    case ERROR_BAD_PATHNAME:
    case ERROR_FILENAME_EXCED_RANGE:
      return ENOENT;
    case ERROR_ACCESS_DENIED:
    case ERROR_CURRENT_DIRECTORY:
    case ERROR_SHARING_VIOLATION:
    case ERROR_LOCK_VIOLATION:
    case ERROR_CANNOT_MAKE:
    case ERROR_WRITE_PROTECT:
      return EACCES;
    case ERROR_FILE_EXISTS:
    case ERROR_ALREADY_EXISTS:
      return EEXIST;
    case ERROR_TOO_MANY_OPEN_FILES:
      return EMFILE;
    case ERROR_NOT_ENOUGH_MEMORY:
    case ERROR_OUTOFMEMORY:
      return ENOMEM;
    case ERROR_NOT_SAME_DEVICE:
      return EXDEV;
    case ERROR_DISK_FULL:
    case ERROR_HANDLE_DISK_FULL:
      return ENOSPC;
    case ERROR_DIR_NOT_EMPTY:
      return ENOTEMPTY;
    case ERROR_DIRECTORY:
      return ENOTDIR;
    case ERROR_INVALID_PARAMETER:
    case ERROR_INVALID_NAME:
      return EINVAL;
    default:
      return 0;
  }
}

int ErrorResult(unsigned long code) {
  const int error = ErrnoOf(code);
  return error != 0 ? error : kWindowsErrorBase + static_cast<int>(code & 0xFFFF);
}

std::wstring QuoteArgument(std::wstring_view argument) {
  if (!argument.empty() && argument.find_first_of(L" \t\n\v\"") == std::wstring_view::npos) {
    return std::wstring(argument);
  }
  std::wstring quoted = L"\"";
  std::size_t backslashes = 0;
  for (wchar_t c : argument) {
    if (c == L'\\') {
      ++backslashes;
      continue;
    }
    // Backslashes are literal unless a quote follows them: then each one is doubled and the
    // quote escaped.
    if (c == L'"') quoted.append(backslashes * 2 + 1, L'\\');
    if (c != L'"') quoted.append(backslashes, L'\\');
    quoted += c;
    backslashes = 0;
  }
  quoted.append(backslashes * 2, L'\\');  // before the closing quote
  quoted += L'"';
  return quoted;
}

}  // namespace nandell::win
