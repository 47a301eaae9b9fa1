#include "engine/local_time.h"

#include <cstdio>

#include "platform/calendar.h"

namespace nandell {
namespace {

constexpr int kMinutesPerDay = 24 * 60;

// Days from 1970-01-01 to the day (proleptic Gregorian calendar), and back.
int64_t DaysFromCivil(int year, int month, int day) {
  const int y = year - (month <= 2 ? 1 : 0);
  const int era = (y >= 0 ? y : y - 399) / 400;
  const int year_of_era = y - era * 400;
  const int day_of_year = (153 * (month + (month > 2 ? -3 : 9)) + 2) / 5 + day - 1;
  const int day_of_era = year_of_era * 365 + year_of_era / 4 - year_of_era / 100 + day_of_year;
  return static_cast<int64_t>(era) * 146097 + day_of_era - 719468;
}

void CivilFromDays(int64_t days, LocalTime* time) {
  days += 719468;
  const int64_t era = (days >= 0 ? days : days - 146096) / 146097;
  const int day_of_era = static_cast<int>(days - era * 146097);
  const int year_of_era =
      (day_of_era - day_of_era / 1460 + day_of_era / 36524 - day_of_era / 146096) / 365;
  const int day_of_year = day_of_era - (365 * year_of_era + year_of_era / 4 - year_of_era / 100);
  const int mp = (5 * day_of_year + 2) / 153;
  time->day = day_of_year - (153 * mp + 2) / 5 + 1;
  time->month = mp < 10 ? mp + 3 : mp - 9;
  time->year = static_cast<int>(year_of_era + era * 400 + (time->month <= 2 ? 1 : 0));
}

}  // namespace

int DigitsAt(std::string_view text, size_t at, size_t n) {
  if (at + n > text.size()) return -1;
  int value = 0;
  for (size_t i = at; i < at + n; ++i) {
    if (text[i] < '0' || text[i] > '9') return -1;
    value = value * 10 + (text[i] - '0');
  }
  return value;
}

int DaysInMonth(int year, int month) {
  static constexpr int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  const bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
  return month == 2 && leap ? 29 : kDays[month - 1];
}

bool IsCalendarDay(int year, int month, int day) {
  return year >= 1 && year <= 9999 && month >= 1 && month <= 12 && day >= 1 &&
         day <= DaysInMonth(year, month);
}

bool IsClockTime(int hour, int minute, int second) {
  return hour >= 0 && hour <= 23 && minute >= 0 && minute <= 59 && second >= 0 && second <= 59;
}

std::optional<LocalTime> LocalTimeOf(int64_t seconds) {
  const std::string text = LocalTimeText(seconds, "%Y-%m-%d %H:%M:%S");
  if (text.size() != 19) return std::nullopt;
  LocalTime time{DigitsAt(text, 0, 4),
                 DigitsAt(text, 5, 2),
                 DigitsAt(text, 8, 2),
                 DigitsAt(text, 11, 2),
                 DigitsAt(text, 14, 2),
                 DigitsAt(text, 17, 2),
                 true};
  if (!IsCalendarDay(time.year, time.month, time.day) ||
      !IsClockTime(time.hour, time.minute, time.second)) {
    return std::nullopt;
  }
  return time;
}

LocalTime AddMinutes(const LocalTime& time, int minutes) {
  if (!time.has_time || minutes == 0) return time;
  const int64_t total = DaysFromCivil(time.year, time.month, time.day) * kMinutesPerDay +
                        time.hour * 60 + time.minute + minutes;
  int64_t days = total / kMinutesPerDay;
  int64_t rest = total % kMinutesPerDay;
  if (rest < 0) {
    rest += kMinutesPerDay;
    --days;
  }
  LocalTime moved = time;
  CivilFromDays(days, &moved);
  moved.hour = static_cast<int>(rest / 60);
  moved.minute = static_cast<int>(rest % 60);
  return moved;
}

LocalTime DayStarting(const LocalTime& time, int day_start) {
  if (!time.has_time || time.hour * 60 + time.minute >= day_start) return time;
  LocalTime day = time;
  CivilFromDays(DaysFromCivil(time.year, time.month, time.day) - 1, &day);
  return day;
}

std::string DayText(const LocalTime& time) {
  char text[32];
  std::snprintf(text, sizeof text, "%04d-%02d-%02d", time.year, time.month, time.day);
  return text;
}

std::string DateTimeText(const LocalTime& time) {
  if (!time.has_time) return DayText(time);
  char text[48];
  std::snprintf(text, sizeof text, "%04d-%02d-%02d %02d:%02d:%02d", time.year, time.month, time.day,
                time.hour, time.minute, time.second);
  return text;
}

bool ParseClockText(std::string_view text, int* minutes) {
  if (text.size() != 5 || text[2] != ':') return false;
  const int hour = DigitsAt(text, 0, 2);
  const int minute = DigitsAt(text, 3, 2);
  if (hour < 0 || hour > 23 || minute < 0 || minute > 59) return false;
  *minutes = hour * 60 + minute;
  return true;
}

bool ParseShiftText(std::string_view text, int* minutes) {
  int sign = 1;
  if (!text.empty() && (text[0] == '+' || text[0] == '-')) {
    sign = text[0] == '-' ? -1 : 1;
    text.remove_prefix(1);
  }
  if (text.size() != 5 || text[2] != ':') return false;
  const int hour = DigitsAt(text, 0, 2);
  const int minute = DigitsAt(text, 3, 2);
  if (hour < 0 || minute < 0 || minute > 59) return false;
  *minutes = sign * (hour * 60 + minute);
  return true;
}

std::string ClockText(int minutes, bool sign) {
  const int magnitude = minutes < 0 ? -minutes : minutes;
  char text[16];
  std::snprintf(text, sizeof text, "%s%02d:%02d",
                !sign         ? ""
                : minutes < 0 ? "-"
                              : "+",
                magnitude / 60, magnitude % 60);
  return text;
}

}  // namespace nandell
