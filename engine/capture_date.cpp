// Capture date lookup: the EXIF DateTimeOriginal of a ".jpg" file as a day-folder name, and,
// when media dates are asked for, the dates of the other photo and video formats.
#include "engine/capture_date.h"

#include <cstdio>
#include <ctime>
#include <memory>
#include <tuple>

#include "exif/byte_source.h"
#include "exif/exif_reader.h"
#include "exif/media_reader.h"
#include "platform/file.h"
#include "platform/file_system.h"
#include "platform/text.h"

namespace nandell {

namespace {

// One read of this size takes in the header segments of nearly every camera file, so a
// file is dated with a single read call.
constexpr size_t kReadBufferSize = 64 * 1024;

// Seconds from 1904-01-01 to 1970-01-01, both UTC.
constexpr uint64_t kSecondsFrom1904To1970 = 2082844800;
// Movie header times past the year 9999 name no calendar day.
constexpr uint64_t kLastMovieSecond = 253402300799 + kSecondsFrom1904To1970;

bool EndsWithJpg(const std::string& path) {
  return path.size() >= 4 &&
         EqualsIgnoringAsciiCase(std::string_view(path).substr(path.size() - 4), ".jpg");
}

// The DateTimeOriginal text of a JPEG stream whose Exif block parsed, else empty. Closes
// the stream.
std::string JpegDateText(FILE* file) {
  // The stream's buffer is kept per thread; a call never outlives its stream.
  thread_local std::unique_ptr<char[]> buffer(new (std::nothrow) char[kReadBufferSize]);
  if (buffer) std::setvbuf(file, buffer.get(), _IOFBF, kReadBufferSize);

  ImageInfo info{};
  {
    ExifReader reader(&info);
    reader.ReadSections(file);  // whatever it filled before stopping counts
    std::fclose(file);
  }
  if (!info.has_exif) return std::string();
  return info.date_time_original;  // NUL-terminated within its 20 bytes
}

bool IsDigit(char c) {
  return c >= '0' && c <= '9';
}

// The number written by the `n` digits at `at`, or -1 when they are not all digits.
int Digits(const std::string& text, size_t at, size_t n) {
  if (at + n > text.size()) return -1;
  int value = 0;
  for (size_t i = at; i < at + n; ++i) {
    if (!IsDigit(text[i])) return -1;
    value = value * 10 + (text[i] - '0');
  }
  return value;
}

struct Day {
  int year = 0;
  int month = 0;
  int day = 0;
};

// "YYYY:MM:DD" or "YYYY-MM-DD", followed by the end or by anything but a digit.
bool ParseNumericDate(const std::string& text, Day* day) {
  if (text.size() < 10) return false;
  const char separator = text[4];
  if ((separator != ':' && separator != '-') || text[7] != separator) return false;
  if (text.size() > 10 && IsDigit(text[10])) return false;
  day->year = Digits(text, 0, 4);
  day->month = Digits(text, 5, 2);
  day->day = Digits(text, 8, 2);
  return day->year >= 0 && day->month >= 0 && day->day >= 0;
}

// The C library's date text, "Www Mmm DD HH:MM:SS YYYY" (AVI IDIT chunks), in any letter
// case, the day with one or two digits.
bool ParseAsctimeDate(const std::string& text, Day* day) {
  static constexpr const char* kMonths[] = {"jan", "feb", "mar", "apr", "may", "jun",
                                            "jul", "aug", "sep", "oct", "nov", "dec"};
  std::string words[5];
  size_t count = 0;
  size_t at = 0;
  while (at < text.size()) {
    while (at < text.size() && (text[at] == ' ' || text[at] == '\t')) ++at;
    if (at >= text.size() || text[at] == '\n' || text[at] == '\r') break;
    if (count == 5) return false;
    const size_t start = at;
    while (at < text.size() && text[at] != ' ' && text[at] != '\t' && text[at] != '\n' &&
           text[at] != '\r') {
      ++at;
    }
    words[count++] = text.substr(start, at - start);
  }
  if (count != 5 || words[1].size() != 3 || words[4].size() != 4 ||
      words[3].find(':') == std::string::npos) {
    return false;
  }
  std::string month = words[1];
  for (char& c : month) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  day->month = -1;
  for (int i = 0; i < 12; ++i) {
    if (month == kMonths[i]) day->month = i + 1;
  }
  day->day = words[2].size() <= 2 ? Digits(words[2], 0, words[2].size()) : -1;
  day->year = Digits(words[4], 0, 4);
  return day->month > 0 && day->day >= 0 && day->year >= 0;
}

int DaysInMonth(int year, int month) {
  static constexpr int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  const bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
  return month == 2 && leap ? 29 : kDays[month - 1];
}

// The local calendar day of `seconds` since the epoch; false when the calendar cannot hold it.
bool LocalDay(int64_t seconds, Day* day) {
  const time_t t = static_cast<time_t>(seconds);
  struct tm local;
#ifdef _WIN32
  if (localtime_s(&local, &t) != 0) return false;
#else
  if (localtime_r(&t, &local) == nullptr) return false;
#endif
  day->year = local.tm_year + 1900;
  day->month = local.tm_mon + 1;
  day->day = local.tm_mday;
  return true;
}

std::string Pad(int value, int width) {
  std::string text = std::to_string(value);
  return std::string(text.size() < static_cast<size_t>(width) ? width - text.size() : 0, '0') +
         text;
}

}  // namespace

bool IsSafeFolderName(const std::string& name) {
  if (name.empty() || name == "." || name == "..") return false;
  for (unsigned char c : name) {
    if (c == '/' || c == '\\' || c < 0x20 || c == 0x7F) return false;
  }
  return true;
}

namespace {

// The designed folder name of a DateTimeOriginal text: the time cut off at the first blank
// (a blank at the start cuts nothing), every ":" made "-"; empty when not a safe name.
std::string JpegFolderDay(std::string result) {
  const size_t blank = result.find(' ');
  if (blank != std::string::npos && blank > 0) result.resize(blank);
  for (char& c : result) {
    if (c == ':') c = '-';
  }
  if (!IsSafeFolderName(result)) result.clear();
  return result;
}

}  // namespace

std::string CalendarDay(const std::string& text, int64_t now) {
  Day day;
  if (!ParseNumericDate(text, &day) && !ParseAsctimeDate(text, &day)) return std::string();
  if (day.year < 1900 || day.month < 1 || day.month > 12 || day.day < 1 ||
      day.day > DaysInMonth(day.year, day.month)) {
    return std::string();
  }
  // A day after tomorrow (local) is a clock set wrong, not a capture date.
  Day tomorrow;
  if (LocalDay(now + 24 * 60 * 60, &tomorrow) &&
      std::tie(day.year, day.month, day.day) >
          std::tie(tomorrow.year, tomorrow.month, tomorrow.day)) {
    return std::string();
  }
  return Pad(day.year, 4) + "-" + Pad(day.month, 2) + "-" + Pad(day.day, 2);
}

std::string MovieHeaderDay(uint64_t seconds_since_1904, int64_t now) {
  if (seconds_since_1904 == 0 || seconds_since_1904 > kLastMovieSecond) return std::string();
  const int64_t seconds =
      static_cast<int64_t>(seconds_since_1904) - static_cast<int64_t>(kSecondsFrom1904To1970);
  Day day;
  if (!LocalDay(seconds, &day)) return std::string();
  return CalendarDay(Pad(day.year, 4) + ":" + Pad(day.month, 2) + ":" + Pad(day.day, 2), now);
}

namespace {

// The capture date of the open stream `file` of a file (closed here; null gives empty).
std::string DateOfStream(FILE* file, bool media_dates) {
  if (file == nullptr) return std::string();
  if (!media_dates) return JpegFolderDay(JpegDateText(file));

  FileByteSource source;
  if (!source.Adopt(file, nullptr)) return std::string();
  const int64_t now = static_cast<int64_t>(std::time(nullptr));
  MediaDates dates;
  if (ReadMediaDates(source, &dates, nullptr) == MediaFormat::kJpeg) {
    // The designed JPEG reader, on the same open file from its first byte.
    FILE* jpeg = source.Release();
    std::rewind(jpeg);
    return CalendarDay(JpegDateText(jpeg), now);
  }
  for (const std::string* text : {&dates.date_time_original, &dates.creation_date,
                                  &dates.user_data_day, &dates.user_data_date}) {
    std::string day = CalendarDay(*text, now);
    if (!day.empty()) return day;
  }
  if (std::string day = MovieHeaderDay(dates.movie_header_time, now); !day.empty()) return day;
  for (const std::string* text : {&dates.riff_date, &dates.nikon_date}) {
    std::string day = CalendarDay(*text, now);
    if (!day.empty()) return day;
  }
  return std::string();
}

}  // namespace

std::string GetCaptureDate(std::string path) {
  return GetCaptureDate(std::move(path), false);
}

std::string GetCaptureDate(std::string path, bool media_dates) {
  if (!media_dates && !EndsWithJpg(path)) return std::string();
  return DateOfStream(OpenForReading(path), media_dates);
}

std::string GetCaptureDate(const fs::FileAt& file, bool media_dates, fs::FileSystem& file_system) {
  // A name, not a whole path: it ends with ".jpg" exactly when the path does.
  if (!media_dates && !EndsWithJpg(file.name)) return std::string();
  return DateOfStream(file_system.OpenForReading(file), media_dates);
}

}  // namespace nandell
