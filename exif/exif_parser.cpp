// EXIF directory parser: checks the TIFF header of an APP1 "Exif" block and walks its
// directories, filling the ImageInfo with the tags it knows. Every read stays inside the
// block; each directory is walked at most once per block and nesting is bounded.
#include <bit>
#include <cstddef>
#include <cmath>
#include <cstring>
#include <limits>

#include "exif/exif_reader.h"

namespace nandell {

namespace {

// Size in bytes of one component of each format code 0 to 12.
constexpr int kFormatSize[13] = {0, 1, 1, 2, 4, 8, 1, 1, 2, 4, 8, 4, 8};
constexpr int kFormatCount = 13;

constexpr int kFormatByte = 1, kFormatShort = 3, kFormatLong = 4, kFormatRational = 5,
              kFormatSByte = 6, kFormatSShort = 8, kFormatSLong = 9, kFormatSRational = 10,
              kFormatFloat = 11, kFormatDouble = 12;

constexpr int kTagMake = 0x010F, kTagModel = 0x0110, kTagOrientation = 0x0112,
              kTagXResolution = 0x011A, kTagYResolution = 0x011B, kTagResolutionUnit = 0x0128,
              kTagThumbnailOffset = 0x0201, kTagThumbnailLength = 0x0202, kTagExposureTime = 0x829A,
              kTagFNumber = 0x829D, kTagExifOffset = 0x8769, kTagExposureProgram = 0x8822,
              kTagIsoSpeed = 0x8827, kTagExifVersion = 0x9000, kTagDateTimeOriginal = 0x9003,
              kTagCompressedBitsPerPixel = 0x9102, kTagShutterSpeed = 0x9201, kTagAperture = 0x9202,
              kTagBrightness = 0x9203, kTagExposureBias = 0x9204, kTagMaxAperture = 0x9205,
              kTagSubjectDistance = 0x9206, kTagMeteringMode = 0x9207, kTagLightSource = 0x9208,
              kTagFlash = 0x9209, kTagFocalLength = 0x920A, kTagUserComment = 0x9286,
              kTagPixelXDimension = 0xA002, kTagPixelYDimension = 0xA003,
              kTagInteropOffset = 0xA005, kTagFocalPlaneXResolution = 0xA20E,
              kTagFocalPlaneYResolution = 0xA20F, kTagFocalPlaneUnit = 0xA210;

// Header of the block: "Exif\0\0", byte order, 42, first-directory offset.
constexpr int kTiffStart = 6;
constexpr int kHeaderBytes = 14;
constexpr int kSmallestFirstOffset = 8;
constexpr int kEntrySize = 12;

constexpr int kMakeChars = 31, kModelChars = 39, kDateChars = 19, kVersionChars = 4,
              kUserCommentChars = 199;

// A number as a 32-bit float, nearest; magnitudes beyond the float range become infinite.
float ToFloat(double v) {
  if (v > std::numeric_limits<float>::max()) return std::numeric_limits<float>::infinity();
  if (v < -std::numeric_limits<float>::max()) return -std::numeric_limits<float>::infinity();
  return static_cast<float>(v);
}

// A number truncated toward zero to 32 bits; NaN and values out of range give INT32_MIN,
// as the processor's own conversion does.
int32_t ToInt32(double v) {
  if (!(v > -2147483649.0 && v < 2147483648.0)) return std::numeric_limits<int32_t>::min();
  return static_cast<int32_t>(v);
}

// Inches per unit of a resolution-unit value, or 0 when the value is not a known unit.
float InchesPerUnit(int32_t unit) {
  switch (unit) {
    case 1:
    case 2:
      return 1.0f;
    case 3:
      return std::bit_cast<float>(uint32_t{0x3EC99326});  // 1/2.54
    case 4:
      return std::bit_cast<float>(uint32_t{0x3D214285});  // 1/25.4
    case 5:
      return std::bit_cast<float>(uint32_t{0x3825214D});  // 1/25400
    default:
      return 0.0f;
  }
}

// Copies at most `chars` characters of the text at `value`, stopping at its first NUL or
// at the end of the block, and fills the rest of the `chars` bytes with NUL.
void CopyText(char* dest, const unsigned char* value, int chars, const unsigned char* block_end) {
  const std::ptrdiff_t room = block_end - value;
  int n = 0;
  while (n < chars && n < room && value[n] != 0) {
    dest[n] = static_cast<char>(value[n]);
    ++n;
  }
  std::memset(dest + n, 0, static_cast<size_t>(chars - n));
}

}  // namespace

uint16_t ExifReader::ReadU16(const unsigned char* p) const {
  if (big_endian_) return static_cast<uint16_t>((p[0] << 8) | p[1]);
  return static_cast<uint16_t>((p[1] << 8) | p[0]);
}

uint32_t ExifReader::ReadU32(const unsigned char* p) const {
  if (big_endian_) {
    return (uint32_t{p[0]} << 24) | (uint32_t{p[1]} << 16) | (uint32_t{p[2]} << 8) | p[3];
  }
  return (uint32_t{p[3]} << 24) | (uint32_t{p[2]} << 16) | (uint32_t{p[1]} << 8) | p[0];
}

int32_t ExifReader::ReadS32(const unsigned char* p) const {
  return static_cast<int32_t>(ReadU32(p));
}

double ExifReader::NumberFromValue(const unsigned char* value, int format) const {
  switch (format) {
    case kFormatByte:
      return value[0];
    case kFormatShort:
      return ReadU16(value);
    case kFormatLong:
      return ReadU32(value);
    case kFormatRational:
    case kFormatSRational: {
      const int32_t num = ReadS32(value);
      const int32_t den = ReadS32(value + 4);
      if (den == 0) return 0;
      return static_cast<double>(num) / static_cast<double>(den);
    }
    case kFormatSByte:
      return static_cast<int8_t>(value[0]);
    case kFormatSShort:
      return static_cast<int16_t>(ReadU16(value));
    case kFormatSLong:
      return ReadS32(value);
    case kFormatFloat:
      return std::bit_cast<float>(ReadU32(value));
    case kFormatDouble: {
      const uint64_t first = ReadU32(value);
      const uint64_t second = ReadU32(value + 4);
      const uint64_t bits = big_endian_ ? (first << 32) | second : (second << 32) | first;
      return std::bit_cast<double>(bits);
    }
    default:  // none, ASCII, UNDEFINED
      return 0;
  }
}

bool ExifReader::ParseExifBlock(unsigned char* block, int length) {
  info_->flash_fired = 0;
  info_->comment[0] = '\0';
  max_image_dimension_ = 0;

  // Each header field counts as wrong when the block is too short to hold it.
  const int available = length - 2;
  if (available < 6 || std::memcmp(block, "Exif\0\0", 6) != 0) {
    SetError("Incorrect Exif header");
    return false;
  }
  if (available >= 8 && block[6] == 'I' && block[7] == 'I') {
    big_endian_ = 0;
  } else if (available >= 8 && block[6] == 'M' && block[7] == 'M') {
    big_endian_ = 1;
  } else {
    SetError("Invalid Exif alignment marker.");
    return false;
  }
  if (available < 10 || ReadU16(block + 8) != 0x2A) {
    SetError("Invalid Exif start (1)");
    return false;
  }

  // The first directory is read where the header says, anywhere inside the block; offsets
  // below 8 would overlap the header.
  unsigned char* base = block + kTiffStart;
  const int extent = length - 8;
  const uint32_t first_offset = available >= kHeaderBytes ? ReadU32(block + 10) : 0;
  if (first_offset < kSmallestFirstOffset || first_offset >= static_cast<uint32_t>(extent)) {
    SetError("Suspicious offset of first IFD value");
    return false;
  }

  walked_[0] = first_offset;
  walked_count_ = 1;
  depth_ = 0;
  if (!WalkDirectory(base + first_offset, base, extent)) return false;

  if (info_->focal_plane_x_resolution != 0) {
    info_->focal_plane_width = static_cast<float>(max_image_dimension_) *
                               info_->focal_plane_unit_inches / info_->focal_plane_x_resolution;
  }
  return true;
}

bool ExifReader::FollowLink(unsigned char* base, int extent, uint32_t offset) {
  if (offset > static_cast<uint32_t>(extent)) {
    SetError("Illegal subdirectory link");
    return false;
  }
  // A directory already walked in this block (a cycle or a shared directory) and links
  // beyond the walk's bounds are not followed; the walk goes on.
  for (int i = 0; i < walked_count_; ++i) {
    if (walked_[i] == offset) return true;
  }
  if (walked_count_ >= kMaxDirectories || depth_ >= kMaxDepth) return true;
  walked_[walked_count_++] = offset;
  ++depth_;
  WalkDirectory(base + offset, base, extent);  // its failure stays in last_error only
  --depth_;
  return true;
}

bool ExifReader::WalkDirectory(unsigned char* directory, unsigned char* base, int extent) {
  const int64_t offset = directory - base;
  if (offset < 0 || offset + 2 > extent) {
    SetError("Illegally sized directory");
    return false;
  }
  const int entry_count = ReadU16(directory);
  const int64_t entries_end = offset + 2 + int64_t{kEntrySize} * entry_count;
  if (entries_end > extent) {
    SetError("Illegally sized directory");
    return false;
  }
  const unsigned char* block_end = base + extent;

  int32_t thumb_offset = 0;
  int32_t thumb_length = 0;
  for (int i = 0; i < entry_count; ++i) {
    unsigned char* entry = directory + 2 + kEntrySize * i;
    const int tag = ReadU16(entry);
    const int format = ReadU16(entry + 2);
    const uint32_t count = ReadU32(entry + 4);
    if (format >= kFormatCount) {
      SetError("Illegal format code in EXIF dir");
      return false;
    }
    // 64-bit product: a huge count cannot wrap into a small byte count.
    const uint64_t byte_count = uint64_t{static_cast<uint32_t>(kFormatSize[format])} * count;
    unsigned char* value = entry + 8;
    if (byte_count > 4) {
      const uint64_t value_offset = ReadU32(entry + 8);
      if (value_offset + byte_count > static_cast<uint64_t>(extent)) {
        SetError("Illegal pointer offset value in EXIF.");
        return false;
      }
      value = base + value_offset;
    }

    if (tag == kTagExifOffset || tag == kTagInteropOffset) {
      // The value holds at least four readable bytes: in the entry, or a checked span.
      if (!FollowLink(base, extent, ReadU32(value))) return false;
      continue;
    }
    ActOnTag(tag, format, static_cast<uint32_t>(byte_count), value, block_end, &thumb_offset,
             &thumb_length);
  }

  // The next-directory offset; a directory that ends flush with the block has none.
  if (entries_end + 4 <= extent) {
    const uint32_t next = ReadU32(directory + entries_end - offset);
    if (next != 0 && !FollowLink(base, extent, next)) return false;
  }

  if (thumb_offset > 0 && thumb_length > 0 &&
      int64_t{thumb_offset} + thumb_length <= int64_t{extent}) {
    info_->thumbnail = base + thumb_offset;
    info_->thumbnail_length = thumb_length;
  }
  return true;
}

void ExifReader::ActOnTag(int tag, int format, uint32_t byte_count, unsigned char* value,
                          const unsigned char* block_end, int32_t* thumb_offset,
                          int32_t* thumb_length) {
  // A number whose first component would cross the end of the block reads as 0.
  auto number = [&]() -> double {
    if (block_end - value < kFormatSize[format]) return 0;
    return NumberFromValue(value, format);
  };
  ImageInfo& info = *info_;
  switch (tag) {
    case kTagMake:
      CopyText(info.make, value, kMakeChars, block_end);
      break;
    case kTagModel:
      CopyText(info.model, value, kModelChars, block_end);
      break;
    case kTagOrientation:
      info.orientation = ToInt32(number());
      if (info.orientation < 1 || info.orientation > 8) {
        SetError("Undefined rotation value");
        info.orientation = 0;
      }
      break;
    case kTagXResolution:
      info.x_resolution = ToFloat(number());
      break;
    case kTagYResolution:
      info.y_resolution = ToFloat(number());
      break;
    case kTagResolutionUnit:
      if (const float inches = InchesPerUnit(ToInt32(number())); inches != 0) {
        info.resolution_unit_inches = inches;
      }
      break;
    case kTagThumbnailOffset:
      *thumb_offset = ToInt32(number());
      break;
    case kTagThumbnailLength:
      *thumb_length = ToInt32(number());
      break;
    case kTagExposureTime:
      info.exposure_time = ToFloat(number());
      break;
    case kTagFNumber:
      info.f_number = ToFloat(number());
      break;
    case kTagExposureProgram:
      info.exposure_program = ToInt32(number());
      break;
    case kTagIsoSpeed: {
      const int32_t iso = ToInt32(number());
      // Wraps like 32-bit arithmetic for absurd values instead of overflowing.
      info.iso_speed = iso < 50 ? static_cast<int32_t>(static_cast<uint32_t>(iso) * 200u) : iso;
      break;
    }
    case kTagExifVersion:
      CopyText(info.exif_version, value, kVersionChars, block_end);
      break;
    case kTagDateTimeOriginal:
      CopyText(info.date_time_original, value, kDateChars, block_end);
      break;
    case kTagCompressedBitsPerPixel:
      info.compressed_bits_per_pixel = ToInt32(number());
      break;
    case kTagShutterSpeed:
      if (info.exposure_time == 0) info.exposure_time = ToFloat(std::exp2(-number()));
      break;
    case kTagAperture:
    case kTagMaxAperture:
      if (info.f_number == 0) info.f_number = ToFloat(std::exp2(number() / 2));
      break;
    case kTagBrightness:
      info.brightness = ToFloat(number());
      break;
    case kTagExposureBias:
      info.exposure_bias = ToFloat(number());
      break;
    case kTagSubjectDistance:
      info.subject_distance = ToFloat(number());
      break;
    case kTagMeteringMode:
      info.metering_mode = ToInt32(number());
      break;
    case kTagLightSource:
      info.light_source = ToInt32(number());
      break;
    case kTagFlash:
      info.flash_fired = (ToInt32(number()) & 7) != 0 ? 1 : 0;
      break;
    case kTagFocalLength:
      info.focal_length = ToFloat(number());
      break;
    case kTagUserComment: {
      // Trailing blanks of the value become NULs in place (the first byte is kept).
      for (int64_t a = int64_t{byte_count} - 1; a > 0 && value[a] == ' '; --a) value[a] = 0;
      const std::ptrdiff_t room = block_end - value;
      if (room >= 5 && std::memcmp(value, "ASCII", 5) == 0) {
        for (int a = 5; a < 10 && a < room; ++a) {
          if (value[a] != 0 && value[a] != ' ') {
            CopyText(info.comment, value + a, kUserCommentChars, block_end);
            break;
          }
        }
      } else {
        CopyText(info.comment, value, kUserCommentChars, block_end);
      }
      break;
    }
    case kTagPixelXDimension:
    case kTagPixelYDimension: {
      const int32_t dimension = ToInt32(number());
      if (dimension > max_image_dimension_) max_image_dimension_ = dimension;
      break;
    }
    case kTagFocalPlaneXResolution:
      info.focal_plane_x_resolution = ToFloat(number());
      break;
    case kTagFocalPlaneYResolution:
      info.focal_plane_y_resolution = ToFloat(number());
      break;
    case kTagFocalPlaneUnit:
      if (const float inches = InchesPerUnit(ToInt32(number())); inches != 0) {
        info.focal_plane_unit_inches = inches;
      }
      break;
    default:
      break;
  }
}

}  // namespace nandell
