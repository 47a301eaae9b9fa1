#pragma once

// Builds JPEG files byte by byte for tests: the start-of-image marker, chosen segments, an
// Exif APP1 block with chosen directories in either byte order, a start-of-scan header, and
// a small decodable baseline image. Nothing here checks what it builds, so hostile files
// (bad lengths, cycles, wild offsets) are as easy to make as sound ones.

#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace nandell::test_support {

/// Bytes of a file or a segment.
using Bytes = std::string;

enum class ByteOrder { kIntel, kMotorola };  // "II" little-endian, "MM" big-endian

/// EXIF value format codes.
enum Format : uint16_t {
  kFormatNone = 0,
  kFormatByte = 1,
  kFormatAscii = 2,
  kFormatShort = 3,
  kFormatLong = 4,
  kFormatRational = 5,
  kFormatSByte = 6,
  kFormatUndefined = 7,
  kFormatSShort = 8,
  kFormatSLong = 9,
  kFormatSRational = 10,
  kFormatFloat = 11,
  kFormatDouble = 12,
};

/// One directory entry. Its value is `units`, each `unit_size` bytes in the block's byte
/// order; a value of at most four bytes sits in the entry, a longer one after the directory
/// with its offset in the entry. `raw_field` or `link` replace the value field instead.
struct IfdEntry {
  uint16_t tag = 0;
  uint16_t format = 0;
  uint32_t count = 0;
  std::vector<uint64_t> units;
  int unit_size = 1;
  std::optional<uint32_t> raw_field;  // the entry's last four bytes, as given
  int link = -1;                      // index of a directory whose offset fills the field
};

IfdEntry Ascii(uint16_t tag, const std::string& text);  ///< count includes the closing NUL
IfdEntry Undefined(uint16_t tag, const Bytes& bytes);
IfdEntry Byte(uint16_t tag, uint8_t value);
IfdEntry Short(uint16_t tag, uint16_t value);
IfdEntry SShort(uint16_t tag, int16_t value);
IfdEntry Long(uint16_t tag, uint32_t value);
IfdEntry SLong(uint16_t tag, int32_t value);
IfdEntry Rational(uint16_t tag, uint32_t numerator, uint32_t denominator);
IfdEntry SRational(uint16_t tag, int32_t numerator, int32_t denominator);
IfdEntry Float(uint16_t tag, float value);
IfdEntry Double(uint16_t tag, double value);
/// A LONG entry whose value is the offset of directory `directory` (0x8769, 0xA005, ...).
IfdEntry Link(uint16_t tag, int directory);
/// An entry written exactly as given: tag, format, count and the four value bytes.
IfdEntry Raw(uint16_t tag, uint16_t format, uint32_t count, uint32_t field);

/// One directory: its entries in order, then the next-directory link.
struct Ifd {
  std::vector<IfdEntry> entries;
  int next = -1;                     // index of the next directory, -1 for none
  std::optional<uint32_t> raw_next;  // next-directory offset as given (wins over `next`)
  Bytes thumbnail;  // when set: placed after the directory, with entries 0x0201 and 0x0202
};

/// A TIFF block: header, then the directories in index order, each followed by its values.
struct TiffBlock {
  ByteOrder order = ByteOrder::kIntel;
  std::vector<Ifd> ifds;                 // ifds[0] is the first directory
  uint32_t gap = 0;                      // filler bytes between header and first directory
  std::optional<uint32_t> first_offset;  // header's first-directory offset (else 8 + gap)
  uint16_t magic = 42;
  Bytes tail;  // bytes appended at the end
};

/// The TIFF block (from the byte-order mark on).
Bytes BuildTiff(const TiffBlock& block);
/// The APP1 payload: "Exif", two NULs, then the TIFF block.
Bytes BuildExifPayload(const TiffBlock& block);
/// Offset of directory `index` inside the TIFF block `BuildTiff(block)` makes.
uint32_t DirectoryOffset(const TiffBlock& block, int index);

/// What a camera writes: IFD0 with Make, Model, Orientation, resolutions, a date-time and the
/// Exif link; the Exif directory with exposure facts and DateTimeOriginal (left out when
/// empty); IFD1 with a thumbnail when one is given.
struct CameraFacts {
  ByteOrder order = ByteOrder::kIntel;
  std::string make = "NANDELL";
  std::string model = "Test Camera";
  std::string date_time_original = "2015:03:04 12:34:56";
  uint16_t orientation = 1;
  uint16_t width = 64;
  uint16_t height = 48;
  Bytes thumbnail;
};
TiffBlock CameraTiff(const CameraFacts& facts);

/// A small picture: `width` x `height` pixels (multiples of 8), colour blocks from a
/// pattern number. Encoded as a baseline JPEG whose blocks carry only their mean colour.
struct Picture {
  uint16_t width = 64;
  uint16_t height = 48;
  int pattern = 0;
};

/// Appends segments and raw bytes to a JPEG file under construction.
class JpegBuilder {
 public:
  JpegBuilder& Soi();  ///< FF D8
  /// A marker segment whose length field is the payload size + 2.
  JpegBuilder& Segment(uint8_t marker, const Bytes& payload);
  /// A marker segment with the given length field, whatever the payload's size.
  JpegBuilder& SegmentWithLength(uint8_t marker, uint16_t length, const Bytes& payload);
  JpegBuilder& App0Jfif();
  JpegBuilder& App1Exif(const TiffBlock& block);
  JpegBuilder& Comment(const Bytes& text);
  /// Start of frame: precision 8, the size, and `components` components.
  JpegBuilder& StartOfFrame(uint16_t width, uint16_t height, uint8_t components = 3,
                            uint8_t marker = 0xC0);
  /// A start-of-scan header for `components` components (tables 0 and 1).
  JpegBuilder& StartOfScan(uint8_t components = 3);
  /// Tables, frame, scan header, entropy-coded data and end of image of a decodable picture.
  JpegBuilder& BaselineImage(const Picture& picture);
  JpegBuilder& Raw(const Bytes& bytes);
  JpegBuilder& Eoi();  ///< FF D9

  const Bytes& bytes() const { return out_; }

 private:
  Bytes out_;
};

/// A complete camera-like JPEG (Exif APP1 with this DateTimeOriginal, a decodable picture).
/// An empty date leaves the tag out.
Bytes MakeJpegWithDate(const std::string& date_time_original);
/// The same with every camera fact chosen.
Bytes MakeCameraJpeg(const CameraFacts& facts, const Picture& picture);

/// A named hostile file and the capture date a sound reader gives it ("" for none).
struct HostileJpeg {
  std::string name;
  Bytes bytes;
  std::string capture_date;
};
/// Directory cycles, huge counts, wrapping offsets, short and overlong segments and the
/// like. Each must be read quickly and safely.
std::vector<HostileJpeg> HostileJpegs();

}  // namespace nandell::test_support
