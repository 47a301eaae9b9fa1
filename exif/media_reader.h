#pragma once

// Readers of the capture dates that photo and video formats other than JPEG keep in their
// headers: the Exif item of HEIF/AVIF files and the movie metadata of QuickTime/MP4 files (one
// reader of ISO base media boxes), the EXIF chunk of WebP files and the IDIT and Nikon chunks
// of AVI files (one reader of RIFF chunks), TIFF-structured raw files and the eXIf chunk of
// PNG files. Every Exif block found goes through the ExifReader's parser. The readers look
// only at headers, seek over media data, and bound every size, count, loop and nesting.

#include <cstddef>
#include <cstdint>
#include <string>

#include "exif/byte_source.h"

namespace nandell {

/// What a file is by its first bytes, whatever its name.
enum class MediaFormat {
  kUnknown,
  kJpeg,      ///< FF D8: read by the ExifReader.
  kTiff,      ///< a TIFF header at the start ("II*\0", "MM\0*" and the raw variants).
  kPng,       ///< the PNG signature.
  kIsoMedia,  ///< ISO base media boxes: HEIF/HEIC/AVIF, QuickTime, MP4, 3GP, M4V.
  kWebp,      ///< "RIFF" .... "WEBP".
  kAvi,       ///< "RIFF" .... "AVI ".
};

/// The format of a file whose first `size` bytes are `head` (16 bytes suffice).
MediaFormat SniffMediaFormat(const unsigned char* head, size_t size);

/// The date texts a file's headers hold, each as written (empty when absent).
struct MediaDates {
  std::string date_time_original;  ///< EXIF DateTimeOriginal of an Exif block that parsed.
  std::string creation_date;       ///< QuickTime "com.apple.quicktime.creationdate".
  std::string user_data_day;       ///< QuickTime user data "©day".
  std::string user_data_date;      ///< QuickTime user data "date".
  uint64_t movie_header_time = 0;  ///< Movie header creation time, seconds since 1904 (UTC).
  std::string riff_date;           ///< AVI "IDIT" chunk.
  std::string nikon_date;          ///< Nikon AVI chunk: DateTimeOriginal, else CreateDate.
};

/// What reading an Exif block gave.
struct ExifBlockDate {
  bool has_exif = false;           ///< The header was valid and the first directory walked cleanly.
  std::string date_time_original;  ///< As written; empty when absent or has_exif is false.
  bool reaches_beyond = false;     ///< A directory, value or link lay beyond the bytes given.
};

/// Runs the ExifReader's parser over a TIFF block (byte-order mark first) of `size` bytes.
/// Blocks over kMaxExifBlock bytes are not read.
ExifBlockDate ReadExifBlockDate(const unsigned char* tiff, size_t size);

/// The same for an Exif payload: a TIFF block, or "Exif", two NULs and a TIFF block.
ExifBlockDate ReadExifPayloadDate(const unsigned char* payload, size_t size);

/// Largest Exif block, item or chunk read into memory.
inline constexpr size_t kMaxExifBlock = 4 * 1024 * 1024;

/// Fills `dates` from ISO base media boxes: the Exif items of a top-level "meta" box (HEIF),
/// and from "moov" the Apple creation date, the user-data dates and the movie header time.
/// Returns false, with `error` filled when given, at the first structural fault; what was
/// found before it stays.
bool ReadIsoMediaDates(ByteSource& source, MediaDates* dates, std::string* error);

/// Fills `dates` from RIFF chunks: the EXIF chunk of WebP, the IDIT and Nikon chunks of AVI.
/// Returns false, with `error` filled when given, at the first structural fault.
bool ReadRiffDates(ByteSource& source, MediaDates* dates, std::string* error);

/// Fills `dates` from a TIFF-structured file (raw photos): its directories read as an Exif
/// block, from a window of the file's start that grows while links lead beyond it. Returns
/// false, with `error` filled when given, when no Exif block parsed.
bool ReadTiffFileDates(ByteSource& source, MediaDates* dates, std::string* error);

/// Fills `dates` from the eXIf chunk of a PNG file (looked for before the image data).
/// Returns false, with `error` filled when given, at the first structural fault.
bool ReadPngDates(ByteSource& source, MediaDates* dates, std::string* error);

/// Sniffs `source` and runs the matching reader above. Returns the format; JPEG files and
/// unknown ones are left to the caller with `dates` untouched. A reader's fault goes to
/// `error` when given.
MediaFormat ReadMediaDates(ByteSource& source, MediaDates* dates, std::string* error);

}  // namespace nandell
