#pragma once

#include <cstdint>
#include <string>

namespace nandell {

namespace fs {
class FileSystem;
struct FileAt;
}  // namespace fs

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
