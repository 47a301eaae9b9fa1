// Capture date lookup: the EXIF DateTimeOriginal of a ".jpg" file as a day-folder name, and,
// when media dates are asked for, the dates of the other photo and video formats.
#include "engine/capture_date.h"

#include <algorithm>
#include <cstdio>
#include <ctime>
#include <memory>
#include <tuple>

#include "engine/name_date.h"
#include "engine/plan.h"
#include "engine/sidecar.h"
#include "engine/takeout_date.h"
#include "engine/xmp_date.h"
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

using Day = LocalTime;

// "HH:MM:SS" at `at` of `text` as the time of `day`, when it is a time of day.
void ReadClock(const std::string& text, size_t at, Day* day) {
  if (at + 8 > text.size() || text[at + 2] != ':' || text[at + 5] != ':') return;
  const int hour = DigitsAt(text, at, 2);
  const int minute = DigitsAt(text, at + 3, 2);
  const int second = DigitsAt(text, at + 6, 2);
  if (!IsClockTime(hour, minute, second)) return;
  day->hour = hour;
  day->minute = minute;
  day->second = second;
  day->has_time = true;
}

// "YYYY:MM:DD" or "YYYY-MM-DD", followed by the end or by anything but a digit; a time
// "HH:MM:SS" after a blank or "T" is read too.
bool ParseNumericDate(const std::string& text, Day* day) {
  if (text.size() < 10) return false;
  const char separator = text[4];
  if ((separator != ':' && separator != '-') || text[7] != separator) return false;
  if (text.size() > 10 && IsDigit(text[10])) return false;
  day->year = DigitsAt(text, 0, 4);
  day->month = DigitsAt(text, 5, 2);
  day->day = DigitsAt(text, 8, 2);
  if (text.size() > 10 && (text[10] == ' ' || text[10] == 'T')) ReadClock(text, 11, day);
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
  day->day = words[2].size() <= 2 ? DigitsAt(words[2], 0, words[2].size()) : -1;
  day->year = DigitsAt(words[4], 0, 4);
  if (words[3].size() == 8) ReadClock(words[3], 0, day);
  return day->month > 0 && day->day >= 0 && day->year >= 0;
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
  day->hour = local.tm_hour;
  day->minute = local.tm_min;
  day->second = local.tm_sec;
  day->has_time = true;
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

namespace {

// The date (and time of day) that CalendarDay reads from `text`, or nothing.
std::optional<LocalTime> CalendarTime(const std::string& text, int64_t now) {
  Day day;
  if (!ParseNumericDate(text, &day) && !ParseAsctimeDate(text, &day)) return std::nullopt;
  if (day.year < 1900 || day.month < 1 || day.month > 12 || day.day < 1 ||
      day.day > DaysInMonth(day.year, day.month)) {
    return std::nullopt;
  }
  // A day after tomorrow (local) is a clock set wrong, not a capture date.
  Day tomorrow;
  if (LocalDay(now + 24 * 60 * 60, &tomorrow) &&
      std::tie(day.year, day.month, day.day) >
          std::tie(tomorrow.year, tomorrow.month, tomorrow.day)) {
    return std::nullopt;
  }
  return day;
}

// The local date and time of a movie header time, checked like CalendarDay.
std::optional<LocalTime> MovieHeaderTime(uint64_t seconds_since_1904, int64_t now) {
  if (seconds_since_1904 == 0 || seconds_since_1904 > kLastMovieSecond) return std::nullopt;
  const int64_t seconds =
      static_cast<int64_t>(seconds_since_1904) - static_cast<int64_t>(kSecondsFrom1904To1970);
  Day day;
  if (!LocalDay(seconds, &day)) return std::nullopt;
  std::optional<LocalTime> checked =
      CalendarTime(Pad(day.year, 4) + ":" + Pad(day.month, 2) + ":" + Pad(day.day, 2), now);
  if (checked) checked = day;
  return checked;
}

// A stamp of `source` for a date that names a calendar day, else an empty one.
CaptureStamp CalendarStamp(std::optional<LocalTime> time, DateSource source) {
  if (!time) return CaptureStamp();
  return CaptureStamp{DayText(*time), time, source};
}

}  // namespace

std::string CalendarDay(const std::string& text, int64_t now) {
  const std::optional<LocalTime> day = CalendarTime(text, now);
  return day ? Pad(day->year, 4) + "-" + Pad(day->month, 2) + "-" + Pad(day->day, 2)
             : std::string();
}

std::string MovieHeaderDay(uint64_t seconds_since_1904, int64_t now) {
  const std::optional<LocalTime> day = MovieHeaderTime(seconds_since_1904, now);
  return day ? DayText(*day) : std::string();
}

namespace {

// The designed date of a DateTimeOriginal text, with the calendar date and time behind it
// when the folder name is that day.
CaptureStamp DesignedJpegStamp(const std::string& text) {
  CaptureStamp stamp;
  stamp.date = JpegFolderDay(text);
  if (stamp.date.empty()) return stamp;
  stamp.source = DateSource::kExif;
  Day day;
  if (ParseNumericDate(text, &day) && IsCalendarDay(day.year, day.month, day.day) &&
      DayText(day) == stamp.date) {
    stamp.time = day;
  }
  return stamp;
}

// The capture date of the open stream `file` of a file (closed here; null gives empty).
CaptureStamp DateOfStream(FILE* file, bool media_dates) {
  if (file == nullptr) return CaptureStamp();
  if (!media_dates) return DesignedJpegStamp(JpegDateText(file));

  FileByteSource source;
  if (!source.Adopt(file, nullptr)) return CaptureStamp();
  const int64_t now = static_cast<int64_t>(std::time(nullptr));
  MediaDates dates;
  if (ReadMediaDates(source, &dates, nullptr) == MediaFormat::kJpeg) {
    // The designed JPEG reader, on the same open file from its first byte.
    FILE* jpeg = source.Release();
    std::rewind(jpeg);
    return CalendarStamp(CalendarTime(JpegDateText(jpeg), now), DateSource::kExif);
  }
  if (CaptureStamp stamp =
          CalendarStamp(CalendarTime(dates.date_time_original, now), DateSource::kExif);
      stamp.time) {
    return stamp;
  }
  for (const std::string* text :
       {&dates.creation_date, &dates.user_data_day, &dates.user_data_date}) {
    if (std::optional<LocalTime> time = CalendarTime(*text, now)) {
      return CalendarStamp(time, DateSource::kMedia);
    }
  }
  if (std::optional<LocalTime> time = MovieHeaderTime(dates.movie_header_time, now)) {
    return CalendarStamp(time, DateSource::kMedia);
  }
  for (const std::string* text : {&dates.riff_date, &dates.nikon_date}) {
    if (std::optional<LocalTime> time = CalendarTime(*text, now)) {
      return CalendarStamp(time, DateSource::kMedia);
    }
  }
  return CaptureStamp();
}

// The date of the sidecar `sidecar` in `folder`, read to the bound.
std::optional<LocalTime> SidecarDate(const fs::FileAt& sidecar, SidecarKind kind,
                                     fs::FileSystem& file_system, int64_t now) {
  FILE* stream = file_system.OpenForReading(sidecar);
  if (stream == nullptr) return std::nullopt;
  // Read in steps, so that the usual sidecar of a few kilobytes costs no more than itself.
  std::string bytes;
  size_t got = 0;
  do {
    bytes.resize(std::min(kSidecarReadBound, std::max<size_t>(2 * bytes.size(), 16 * 1024)));
    got += std::fread(bytes.data() + got, 1, bytes.size() - got, stream);
  } while (got == bytes.size() && bytes.size() < kSidecarReadBound);
  bytes.resize(got);
  std::fclose(stream);
  if (kind == SidecarKind::kXmp) return XmpCaptureDate(bytes, now);
  const std::optional<int64_t> seconds = TakeoutTakenTime(bytes);
  if (!seconds) return std::nullopt;
  std::optional<LocalTime> time = LocalTimeOf(*seconds);
  // Checked like a date written in the sidecar itself.
  if (time && !ParseXmpDate(DayText(*time), now)) time.reset();
  return time;
}

}  // namespace

const char* DateSourceName(DateSource source) {
  switch (source) {
    case DateSource::kNone:
      return "";
    case DateSource::kExif:
      return "exif";
    case DateSource::kMedia:
      return "media";
    case DateSource::kSidecar:
      return "sidecar";
    case DateSource::kName:
      return "name";
    case DateSource::kLastWrite:
      return "mtime";
  }
  return "";
}

std::string GetCaptureDate(std::string path) {
  return GetCaptureDate(std::move(path), false);
}

std::string GetCaptureDate(std::string path, bool media_dates) {
  return GetCaptureStamp(std::move(path), media_dates).date;
}

std::string GetCaptureDate(const fs::FileAt& file, bool media_dates, fs::FileSystem& file_system) {
  return GetCaptureStamp(file, media_dates, file_system).date;
}

CaptureStamp GetCaptureStamp(std::string path, bool media_dates) {
  if (!media_dates && !EndsWithJpg(path)) return CaptureStamp();
  return DateOfStream(OpenForReading(path), media_dates);
}

CaptureStamp GetCaptureStamp(const fs::FileAt& file, bool media_dates,
                             fs::FileSystem& file_system) {
  // A name, not a whole path: it ends with ".jpg" exactly when the path does.
  if (!media_dates && !EndsWithJpg(file.name)) return CaptureStamp();
  return DateOfStream(file_system.OpenForReading(file), media_dates);
}

void AddFallbackDate(const RunConfig& config, const fs::FileAt& file, const SidecarIndex& sidecars,
                     fs::FileSystem& file_system, CaptureStamp* stamp) {
  if ((!config.sidecar_dates && !config.name_dates) || !NeedsLastWrite(config, stamp->date)) {
    return;
  }
  const int64_t now = static_cast<int64_t>(std::time(nullptr));
  if (config.sidecar_dates) {
    for (const Sidecar& sidecar : sidecars.SidecarsOf(file.name)) {
      const std::optional<LocalTime> time =
          SidecarDate(fs::FileAt{file.folder, sidecar.name}, sidecar.kind, file_system, now);
      if (time) {
        *stamp = CalendarStamp(time, DateSource::kSidecar);
        return;
      }
    }
  }
  if (config.name_dates) {
    if (const std::optional<LocalTime> time = NameDate(file.name, now)) {
      *stamp = CalendarStamp(time, DateSource::kName);
    }
  }
}

CaptureStamp LookUpCaptureDate(const fs::FileAt& file, const RunConfig& config,
                               const SidecarIndex& sidecars, fs::FileSystem& file_system) {
  CaptureStamp stamp = GetCaptureStamp(file, config.media_dates, file_system);
  AddFallbackDate(config, file, sidecars, file_system, &stamp);
  return stamp;
}

}  // namespace nandell
