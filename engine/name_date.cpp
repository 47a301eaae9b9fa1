// Dates in file names: a scan over the groups of digits of a name, each tried against the
// few shapes that devices write, so that counters, phone numbers and hashes are never read as
// dates.
#include "engine/name_date.h"

#include "platform/text.h"

namespace nandell {
namespace {

constexpr int kFirstYear = 1990;
// Milliseconds-since-1970 names are written by these (any letter case) right before the digits.
constexpr std::string_view kMillisecondPrefixes[] = {"mmexport", "wx_camera_"};

bool IsDigit(char c) {
  return c >= '0' && c <= '9';
}

bool IsLetter(char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}

// A name being read: its text and the extent of the digit group at a position.
class NameScan {
 public:
  NameScan(std::string_view name, int last_year) : name_(name), last_year_(last_year) {}

  // The date of the digit group that begins at `at`, if it forms one.
  std::optional<LocalTime> DateAt(size_t at) const {
    const size_t end = RunEnd(at);
    const size_t length = end - at;
    if (length == 13 && AfterMillisecondPrefix(at)) return Milliseconds(at, end);
    if (!StandsAlone(at, end)) return std::nullopt;
    LocalTime time;
    if (length == 14) {
      if (!Day(at, 4, at + 4, at + 6, &time)) return std::nullopt;
      return Clock(at + 8, at + 10, at + 12, &time) ? std::optional(time) : std::nullopt;
    }
    if (length == 8) {
      if (!Day(at, 4, at + 4, at + 6, &time)) return std::nullopt;
      return CompactTime(end, &time) ? std::optional(time) : std::nullopt;
    }
    if (length == 4 && end + 6 <= name_.size()) {
      // YYYY-MM-DD or YYYY_MM_DD, one separator throughout.
      const char separator = name_[end];
      if ((separator != '-' && separator != '_') || RunEnd(end + 1) != end + 3 ||
          name_[end + 3] != separator || RunEnd(end + 4) != end + 6) {
        return std::nullopt;
      }
      if (!Day(at, 4, end + 1, end + 4, &time)) return std::nullopt;
      return SpelledTime(end + 6, &time) ? std::optional(time) : std::nullopt;
    }
    return std::nullopt;
  }

 private:
  size_t RunEnd(size_t at) const {
    while (at < name_.size() && IsDigit(name_[at])) ++at;
    return at;
  }

  int Number(size_t at, size_t length) const {
    int value = 0;
    for (size_t i = at; i < at + length; ++i) value = value * 10 + (name_[i] - '0');
    return value;
  }

  // Digits that are not glued to letters after them, nor part of a word that holds other
  // digits before them (a hexadecimal hash).
  bool StandsAlone(size_t at, size_t end) const {
    if (end < name_.size() && IsLetter(name_[end])) return false;
    for (size_t i = at; i > 0 && (IsLetter(name_[i - 1]) || IsDigit(name_[i - 1])); --i) {
      if (IsDigit(name_[i - 1])) return false;
    }
    return true;
  }

  bool AfterMillisecondPrefix(size_t at) const {
    for (std::string_view prefix : kMillisecondPrefixes) {
      if (at >= prefix.size() &&
          EqualsIgnoringAsciiCase(name_.substr(at - prefix.size(), prefix.size()), prefix)) {
        return true;
      }
    }
    return false;
  }

  std::optional<LocalTime> Milliseconds(size_t at, size_t end) const {
    int64_t milliseconds = 0;
    for (size_t i = at; i < end; ++i) milliseconds = milliseconds * 10 + (name_[i] - '0');
    std::optional<LocalTime> time = LocalTimeOf(milliseconds / 1000);
    if (!time || time->year < kFirstYear || time->year > last_year_) return std::nullopt;
    return time;
  }

  // The year of `year_length` digits at `year`, the month and the day of two digits each.
  bool Day(size_t year, size_t year_length, size_t month, size_t day, LocalTime* time) const {
    time->year = Number(year, year_length);
    time->month = Number(month, 2);
    time->day = Number(day, 2);
    return time->year >= kFirstYear && time->year <= last_year_ &&
           IsCalendarDay(time->year, time->month, time->day);
  }

  bool Clock(size_t hour, size_t minute, size_t second, LocalTime* time) const {
    time->hour = Number(hour, 2);
    time->minute = Number(minute, 2);
    time->second = Number(second, 2);
    time->has_time = true;
    return IsClockTime(time->hour, time->minute, time->second);
  }

  // After YYYYMMDD: "_" or "-", then HHMMSS with up to three digits more, or HH_MM_SS; else
  // the day alone. False when a time is written but is not a time of day.
  bool CompactTime(size_t at, LocalTime* time) const {
    if (at >= name_.size() || (name_[at] != '_' && name_[at] != '-')) return true;
    const size_t start = at + 1;
    const size_t end = RunEnd(start);
    if (end - start >= 6 && end - start <= 9) return Clock(start, start + 2, start + 4, time);
    if (end - start == 2 && end + 6 <= name_.size() && name_[end] == name_[at] &&
        RunEnd(end + 1) == end + 3 && name_[end + 3] == name_[at] && RunEnd(end + 4) == end + 6) {
      return Clock(start, end + 1, end + 4, time);
    }
    return true;
  }

  // After YYYY-MM-DD: "-", "_", " ", "T" or " at ", then HHMMSS or H[H]-MM-SS (or with ".",
  // ":" or "_"), and " AM" or " PM" for a twelve-hour clock; else the day alone.
  bool SpelledTime(size_t at, LocalTime* time) const {
    size_t start = at;
    if (name_.substr(at, 4) == " at ") {
      start = at + 4;
    } else if (at < name_.size() &&
               (name_[at] == '-' || name_[at] == '_' || name_[at] == ' ' || name_[at] == 'T')) {
      start = at + 1;
    } else {
      return true;
    }
    const size_t end = RunEnd(start);
    if (end - start == 6) return Clock(start, start + 2, start + 4, time);
    if (end - start < 1 || end - start > 2 || end + 6 > name_.size()) return true;
    const char separator = name_[end];
    if ((separator != '-' && separator != '.' && separator != ':' && separator != '_') ||
        RunEnd(end + 1) != end + 3 || name_[end + 3] != separator || RunEnd(end + 4) != end + 6) {
      return true;
    }
    time->hour = Number(start, end - start);
    time->minute = Number(end + 1, 2);
    time->second = Number(end + 4, 2);
    time->has_time = true;
    TwelveHourClock(end + 6, time);
    return IsClockTime(time->hour, time->minute, time->second);
  }

  // " AM" or " PM" (after a blank or the narrow no-break space that newer systems write).
  void TwelveHourClock(size_t at, LocalTime* time) const {
    for (std::string_view space : {std::string_view(" "), std::string_view("\xE2\x80\xAF")}) {
      if (name_.substr(at, space.size()) != space) continue;
      const std::string_view mark = name_.substr(at + space.size(), 2);
      if (mark.size() != 2 || (mark[1] != 'M' && mark[1] != 'm')) return;
      const bool pm = mark[0] == 'P' || mark[0] == 'p';
      if (!pm && mark[0] != 'A' && mark[0] != 'a') return;
      if (time->hour < 1 || time->hour > 12) {
        time->hour = 24;  // not a twelve-hour time: no time of day
        return;
      }
      time->hour = time->hour % 12 + (pm ? 12 : 0);
      return;
    }
  }

  std::string_view name_;
  int last_year_;
};

}  // namespace

std::optional<LocalTime> NameDate(std::string_view name, int64_t now) {
  const std::optional<LocalTime> today = LocalTimeOf(now);
  const NameScan scan(name, today ? today->year + 1 : 9999);
  for (size_t at = 0; at < name.size(); ++at) {
    if (!IsDigit(name[at]) || (at > 0 && IsDigit(name[at - 1]))) continue;
    if (std::optional<LocalTime> time = scan.DateAt(at)) return time;
  }
  return std::nullopt;
}

}  // namespace nandell
