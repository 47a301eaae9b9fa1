#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "engine/local_time.h"

namespace nandell {

namespace fs {
class FileSystem;
struct FileAt;
}  // namespace fs

struct RunConfig;
class SidecarIndex;

/// Where a file's capture date came from.
enum class DateSource {
  kNone,       ///< No date of its own: the file goes by its last-write time.
  kExif,       ///< An EXIF DateTimeOriginal (a JPEG's, or with media dates any format's).
  kMedia,      ///< A video's own date (media dates): creation, user-data, movie header, AVI.
  kSidecar,    ///< An XMP or Takeout JSON sidecar beside the file (sidecar dates).
  kName,       ///< The date written in the file's name (name dates).
  kLastWrite,  ///< The file's last-write time.
};

/// The name of `source` as the command line prints it and the journal records it: "exif",
/// "media", "sidecar", "name", "mtime"; empty for kNone.
const char* DateSourceName(DateSource source);

/// A capture date as the engine carries it: the day folder's name, the local date and time
/// of day behind it when known, and where it came from.
struct CaptureStamp {
  /// The day folder's name: GetCaptureDate's answer for the file's own date, "YYYY-MM-DD"
  /// for a sidecar's or a name's; empty when there is none.
  std::string date;
  /// The calendar date (and time of day, when the source gives one) that `date` stands for;
  /// nothing when `date` is not a calendar day (an unset camera clock kept as designed).
  std::optional<LocalTime> time;
  DateSource source = DateSource::kNone;
};

/// The day a photo was taken, as the name of its day folder: the EXIF DateTimeOriginal of a
/// ".jpg" file (letter case ignored) with the time cut off and ":" replaced by "-", normally
/// YYYY-MM-DD. Empty when the file is not ".jpg", cannot be read, has no EXIF date, or the
/// date would not be a safe single folder name. Never reports an error.
std::string GetCaptureDate(std::string path);

/// With `media_dates` false, exactly GetCaptureDate(path). With it true, the file is read by
/// what its content is, whatever its name (JPEG, HEIF/HEIC/AVIF, QuickTime/MP4/3GP/M4V, WebP,
/// AVI, TIFF-structured raw, PNG), and the first of its date sources that names a calendar
/// day gives "YYYY-MM-DD": the EXIF DateTimeOriginal; the Apple creation date, the user-data
/// dates and the movie header time (in the local time zone); the AVI IDIT and Nikon dates.
/// Empty when no source gives one. Never reports an error.
std::string GetCaptureDate(std::string path, bool media_dates);

/// GetCaptureDate(path, media_dates) of the file `file`, opened relative to its open folder
/// through `file_system` (the organizing run's seam).
std::string GetCaptureDate(const fs::FileAt& file, bool media_dates, fs::FileSystem& file_system);

/// GetCaptureDate(path, media_dates) with the time of day and the source (kExif, kMedia, or
/// kNone when empty).
CaptureStamp GetCaptureStamp(std::string path, bool media_dates);

/// GetCaptureDate(file, media_dates, file_system) with the time of day and the source.
CaptureStamp GetCaptureStamp(const fs::FileAt& file, bool media_dates, fs::FileSystem& file_system);

/// When the plan of `config` would take the last-write time for `stamp` (NeedsLastWrite):
/// with sidecar dates the date of the first of the file's sidecars in `sidecars` (its
/// folder's) that gives one, read through `file_system` to at most kSidecarReadBound bytes;
/// then with name dates the date of its name (NameDate). `stamp` is left as it is otherwise.
void AddFallbackDate(const RunConfig& config, const fs::FileAt& file, const SidecarIndex& sidecars,
                     fs::FileSystem& file_system, CaptureStamp* stamp);

/// The capture date of `file` in a run of `config`: GetCaptureStamp with the config's media
/// dates, then AddFallbackDate. With neither sidecar nor name dates, exactly GetCaptureStamp.
CaptureStamp LookUpCaptureDate(const fs::FileAt& file, const RunConfig& config,
                               const SidecarIndex& sidecars, fs::FileSystem& file_system);

/// The calendar day a date text names, as "YYYY-MM-DD", read from "YYYY:MM:DD...",
/// "YYYY-MM-DD..." or "Www Mmm DD HH:MM:SS YYYY" (any letter case). Empty when the text names
/// no calendar day: blanks, zeros, a month or day out of range, a year before 1900, or a day
/// after the local day of `now` + 24 hours (`now` in seconds since the epoch).
std::string CalendarDay(const std::string& text, int64_t now);

/// The local calendar day of a movie header time (seconds since 1904-01-01 UTC; 0 is unset),
/// checked like CalendarDay; empty when unset or not a calendar day.
std::string MovieHeaderDay(uint64_t seconds_since_1904, int64_t now);

/// True when `name` is one plain path component: not empty, ".", or "..", and free of "/",
/// "\" and control characters (DEL included).
bool IsSafeFolderName(const std::string& name);

}  // namespace nandell
