// The local calendar on Windows: the system's own calendar (1601 to 30827) and its time zone
// rules of each year.
#include "platform/calendar.h"

#include <windows.h>

#include <cstdint>
#include <cstdio>
#include <ctime>

namespace nandell {
namespace {

// Seconds from 1601-01-01 (the FILETIME origin) to 1970-01-01.
constexpr int64_t kFileTimeEpochSeconds = 11644473600;
constexpr int64_t kFileTimeUnitsPerSecond = 10000000;

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

}  // namespace nandell
