// The low-level file operations on Windows: UTF-8 paths made wide (platform/windows_support.h).
#include <windows.h>

#include <cstdio>
#include <ctime>

#include "platform/fs.h"
#include "platform/path.h"
#include "platform/windows_support.h"

namespace nandell::fs {
namespace {

// Seconds from 1601-01-01 (the FILETIME origin) to 1970-01-01.
constexpr int64_t kFileTimeEpochSeconds = 11644473600;
constexpr int64_t kFileTimeUnitsPerSecond = 10000000;

}  // namespace

std::string ErrorText(int error) {
  return win::ErrorResultText(error);
}

bool IsFolder(const std::string& path) {
  const DWORD attributes = ::GetFileAttributesW(win::WinPath(path).c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

int MakeFolder(const std::string& path, unsigned) {
  return ::CreateDirectoryW(win::WinPath(path).c_str(), nullptr)
             ? 0
             : win::ErrorResult(::GetLastError());
}

int PlaceNoReplace(const std::string& from, const std::string& to) {
  return ::MoveFileExW(win::WinPath(from).c_str(), win::WinPath(to).c_str(), 0)
             ? 0
             : win::ErrorResult(::GetLastError());
}

std::string ResolvedFolder(const std::string& folder) {
  HANDLE handle = ::CreateFileW(win::WinPath(folder).c_str(), FILE_READ_ATTRIBUTES,
                                FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (handle == INVALID_HANDLE_VALUE) return std::string();
  std::wstring path(MAX_PATH, L'\0');
  DWORD length = 0;
  for (;;) {
    length = ::GetFinalPathNameByHandleW(handle, path.data(), static_cast<DWORD>(path.size()),
                                         FILE_NAME_NORMALIZED | VOLUME_NAME_DOS);
    if (length < path.size()) break;
    path.resize(length + 1);
  }
  ::CloseHandle(handle);
  if (length == 0) return std::string();
  path.resize(length);
  return WithTrailingSeparator(win::PlainPath(path));
}

namespace {

// `seconds` as the local calendar time, by the time zone's rules of that year (daylight saving
// time included); false beyond the system's calendar (1601 to 30827).
bool LocalSystemTime(int64_t seconds, SYSTEMTIME* local) {
  if (seconds < -kFileTimeEpochSeconds ||
      seconds > INT64_MAX / kFileTimeUnitsPerSecond - kFileTimeEpochSeconds) {
    return false;
  }
  const uint64_t units =
      static_cast<uint64_t>(seconds + kFileTimeEpochSeconds) * kFileTimeUnitsPerSecond;
  FILETIME file_time;
  file_time.dwLowDateTime = static_cast<DWORD>(units);
  file_time.dwHighDateTime = static_cast<DWORD>(units >> 32);
  SYSTEMTIME utc;
  return ::FileTimeToSystemTime(&file_time, &utc) &&
         ::SystemTimeToTzSpecificLocalTime(nullptr, &utc, local);
}

}  // namespace

std::string LocalTimeText(int64_t seconds, const char* format) {
  SYSTEMTIME local;
  if (!LocalSystemTime(seconds, &local)) return std::string();
  struct tm tm_local {};
  tm_local.tm_year = local.wYear - 1900;
  tm_local.tm_mon = local.wMonth - 1;
  tm_local.tm_mday = local.wDay;
  tm_local.tm_hour = local.wHour;
  tm_local.tm_min = local.wMinute;
  tm_local.tm_sec = local.wSecond;
  tm_local.tm_wday = local.wDayOfWeek;
  char text[128];
  if (std::strftime(text, sizeof text, format, &tm_local) == 0) return std::string();
  return text;
}

bool LocalDay(int64_t seconds, std::string* day, std::string* year) {
  *day = "0000-00-00";
  *year = "0000";
  SYSTEMTIME local;
  if (!LocalSystemTime(seconds, &local)) return false;
  char text[32];
  std::snprintf(text, sizeof text, "%04u-%02u-%02u", local.wYear, local.wMonth, local.wDay);
  *day = text;
  *year = day->substr(0, day->find('-'));
  return true;
}

}  // namespace nandell::fs
