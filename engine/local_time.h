#pragma once

// A capture time as the dating works with it: a local calendar day and, when the source
// gives one, a time of day; the calendar arithmetic that a clock shift and the start of the
// day need; and the texts "HH:MM" and "[+|-]HH:MM" of those two settings.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace nandell {

/// A local date, with its time of day when `has_time`.
struct LocalTime {
  int year = 0;
  int month = 0;   ///< 1 to 12.
  int day = 0;     ///< 1 to the month's last day.
  int hour = 0;    ///< 0 to 23; 0 without a time.
  int minute = 0;  ///< 0 to 59.
  int second = 0;  ///< 0 to 59.
  bool has_time = false;
  /// True when every field is the same.
  bool operator==(const LocalTime&) const = default;
};

/// The number that the `n` digits at `at` of `text` write, or -1 when they are not all digits
/// or run past its end.
int DigitsAt(std::string_view text, size_t at, size_t n);

/// The number of days of `month` (1 to 12) in `year` of the Gregorian calendar.
int DaysInMonth(int year, int month);

/// True when `year`-`month`-`day` is a day of the Gregorian calendar (any year from 1 to 9999).
bool IsCalendarDay(int year, int month, int day);

/// True when `hour`:`minute`:`second` is a time of day (no leap second).
bool IsClockTime(int hour, int minute, int second);

/// `seconds` since the epoch as a local date and time (the platform's conversion, as the
/// last-write day of a file is taken); nothing when the calendar cannot hold it.
std::optional<LocalTime> LocalTimeOf(int64_t seconds);

/// `time` moved by `minutes` (either sign) across days, months and years; a time without
/// its time of day is returned unchanged.
LocalTime AddMinutes(const LocalTime& time, int minutes);

/// The day that `time` belongs to when each day starts `day_start` minutes after midnight:
/// the day before for a time of day earlier than that; a time without its time of day
/// keeps its day.
LocalTime DayStarting(const LocalTime& time, int day_start);

/// "YYYY-MM-DD" of `time`.
std::string DayText(const LocalTime& time);

/// "YYYY-MM-DD HH:MM:SS" of `time`, or "YYYY-MM-DD" without its time of day.
std::string DateTimeText(const LocalTime& time);

/// Reads "HH:MM" (00:00 to 23:59, two digits each) into minutes after midnight; false for
/// anything else.
bool ParseClockText(std::string_view text, int* minutes);

/// Reads a clock shift "HH:MM", "+HH:MM" or "-HH:MM" (minutes 00 to 59, hours 00 to 99) into
/// minutes; false for anything else.
bool ParseShiftText(std::string_view text, int* minutes);

/// "HH:MM" of `minutes` after midnight, or "+HH:MM" / "-HH:MM" of a shift with `sign`.
std::string ClockText(int minutes, bool sign = false);

}  // namespace nandell
