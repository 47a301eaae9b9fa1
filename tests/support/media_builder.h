#pragma once

// Builds photo and video files other than JPEG byte by byte for tests, fuzzers and
// benchmarks: HEIF images and QuickTime/MP4 movies (ISO base media boxes), AVI and WebP files
// (RIFF chunks), PNG files and TIFF-structured raw files. Like the JPEG builder it checks
// nothing, so hostile files are as easy to make as sound ones.

#include <cstdint>
#include <string>
#include <vector>

#include "tests/support/jpeg_builder.h"

namespace nandell::test_support {

/// Unsigned integers in big-endian and little-endian byte order.
Bytes Be16(uint16_t value);
Bytes Be32(uint32_t value);
Bytes Be64(uint64_t value);
Bytes Le16(uint16_t value);
Bytes Le32(uint32_t value);

/// An ISO base media box: 32-bit size, four-character type, payload.
Bytes IsoBox(const std::string& type, const Bytes& payload);
/// A box with a version byte and three flag bytes before its payload.
Bytes FullBox(const std::string& type, uint8_t version, const Bytes& payload);

/// An Exif item of a HEIF file: the 32-bit offset 6, "Exif", two NULs, the TIFF block.
Bytes ExifItem(const TiffBlock& block);

/// What a HEIF image holds: a picture item and an Exif item.
struct HeifFacts {
  std::string brand = "heic";
  Bytes exif_item = ExifItem(CameraTiff({}));  ///< the Exif item's bytes; empty: no Exif item
  int iloc_version = 1;                        ///< 0, 1 or 2
  int infe_version = 2;                        ///< 2 (16-bit item ids) or 3 (32-bit)
  bool item_in_idat = false;       ///< the Exif item in the meta box's idat (construction method 1)
  bool item_at_end = false;        ///< the Exif item in a second mdat after the picture data
  size_t picture_size = 256;       ///< bytes of picture data
  uint64_t exif_offset_shift = 0;  ///< added to the Exif item's offset in iloc (may wrap)
  int64_t exif_length = -1;        ///< the Exif item's length in iloc; -1: its size
};
/// ftyp, meta (hdlr, pitm, iinf, iloc, maybe idat), then mdat.
Bytes MakeHeif(const HeifFacts& facts);

/// What a QuickTime or MP4 movie holds. Empty texts are left out.
struct MovieFacts {
  std::string brand = "qt  ";      ///< major brand; empty: no ftyp box
  uint64_t movie_header_time = 0;  ///< creation time, seconds since 1904-01-01 UTC
  int movie_header_version = 0;    ///< 0: 32-bit times, 1: 64-bit
  std::string creation_date;       ///< Apple "com.apple.quicktime.creationdate" (moov/meta)
  std::string user_data_day;       ///< moov/udta/©day as QuickTime text
  std::string user_data_date;      ///< moov/udta/date as plain text
  std::string list_day;            ///< moov/udta/meta/ilst/©day (iTunes style)
  uint64_t media_size = 1000;      ///< bytes of media data (zeros)
  bool movie_first = false;        ///< moov before mdat
  bool large_media_box = false;    ///< mdat with a 64-bit size
};
/// The movie split where the media data lies: `head`, then `media_size` bytes of zeros, then
/// `tail`; a large file can be written sparse.
struct MovieParts {
  Bytes head;
  uint64_t media_size = 0;
  Bytes tail;
};
MovieParts MakeMovieParts(const MovieFacts& facts);
/// The whole movie in memory.
Bytes MakeMovie(const MovieFacts& facts);
/// The moov box alone.
Bytes MovieBox(const MovieFacts& facts);

/// A RIFF chunk (padded to an even size), a LIST chunk, and a whole RIFF file.
Bytes RiffChunk(const std::string& id, const Bytes& data);
Bytes RiffList(const std::string& type, const Bytes& chunks);
Bytes Riff(const std::string& form, const Bytes& chunks);

/// What an AVI file holds. Empty texts are left out.
struct AviFacts {
  std::string idit;            ///< the IDIT chunk's text (its NUL added)
  std::string nikon_original;  ///< Nikon tag 0x14 in LIST ncdt/nctg
  std::string nikon_create;    ///< Nikon tag 0x13
  size_t movie_size = 1000;    ///< bytes of frames in LIST movi
};
Bytes MakeAvi(const AviFacts& facts);
/// An extended WebP image; an EXIF chunk holding `exif` when it is not empty, announced in
/// the VP8X flags when `flagged`.
Bytes MakeWebp(const Bytes& exif, bool flagged = true);

/// A PNG chunk with its CRC.
Bytes PngChunk(const std::string& type, const Bytes& data);
/// A PNG image; an eXIf chunk holding `exif` before (or after) its image data when not empty.
Bytes MakePng(const Bytes& exif, bool exif_after_image = false);

/// A TIFF-structured raw file: `block` with the four header bytes `header` ("II*\0",
/// "MM\0*", "IIRO", "IIU\0", ...) and `image_size` bytes of image data after it.
Bytes MakeRawTiff(const TiffBlock& block, const Bytes& header, size_t image_size);

/// A hand-made file for one reader ("iso_media", "riff", "tiff_file" or "png"), the day
/// GetCaptureDate gives it with media dates under TZ=UTC ("" for none), and the fault its
/// reader names ("" for none).
struct MediaCase {
  std::string reader;
  std::string name;
  Bytes bytes;
  std::string capture_date;
  std::string fault;
};
/// Sound and hostile files of every media format, grouped by reader: size 0 and 1 boxes,
/// 64-bit sizes, sizes past the end, deep nesting, huge counts, tables that lie.
std::vector<MediaCase> MediaCases();

}  // namespace nandell::test_support
