#pragma once

#include <cstdint>
#include <cstdio>

namespace nandell {

/// The record of picture facts filled by an ExifReader. Zero-fill it before a reader is
/// constructed on it; text fields are NUL-terminated and their last byte is never written.
struct ImageInfo {
  char exif_version[5];
  char make[32];
  char model[40];
  char date_time_original[20];
  int32_t frame_height;
  int32_t frame_width;
  int32_t orientation;
  int32_t three_components;
  int32_t frame_marker;
  int32_t flash_fired;
  float focal_length;
  float exposure_time;
  float f_number;
  float subject_distance;
  float focal_plane_width;
  float exposure_bias;
  int32_t light_source;
  int32_t metering_mode;
  int32_t exposure_program;
  int32_t iso_speed;
  int32_t compressed_bits_per_pixel;
  float focal_plane_x_resolution;
  float focal_plane_y_resolution;
  float focal_plane_unit_inches;
  float x_resolution;
  float y_resolution;
  float resolution_unit_inches;
  float brightness;
  char comment[1000];
  unsigned char* thumbnail;  // points into the reader's APP1 buffer; valid while it lives
  int32_t thumbnail_length;
  bool has_exif;
};

/// One marker segment held in memory: `data` is a malloc'd block of exactly `length` bytes,
/// the two big-endian length bytes followed by the payload; null when the slot is empty.
struct JpegSection {
  unsigned char* data;
  int32_t marker;
  int32_t length;
};

/// Where the reader writes its two standard-output notices ("too many padding unsigned
/// chars\n", "No image in jpeg!\n"). Standard output unless changed; a command line whose
/// standard output is its result can send them elsewhere. Null silences them.
void SetReaderNoticeStream(FILE* stream);

/// Reads a JPEG file's marker segments up to the start-of-scan header and parses its EXIF
/// block into an ImageInfo. One reader per file; never reads outside a segment's buffer.
class ExifReader {
 public:
  static constexpr int kMaxSections = 20;

  /// Fills `info` (not owned, not cleared) or, when null, a zero-filled record of its own.
  explicit ExifReader(ImageInfo* info);
  /// Frees every kept segment, and the record when the reader owns it.
  ~ExifReader();
  ExifReader(const ExifReader&) = delete;
  ExifReader& operator=(const ExifReader&) = delete;

  /// Reads segments from `file` (binary, at its first byte) up to and including the
  /// start-of-scan header. Returns true when that header was reached, false on any failure
  /// (last_error() names most of them); fields stored before a failure stay. Reads at most
  /// kMaxHeaderBytes (byte_source.h): a segment that would pass it ends the read.
  bool ReadSections(FILE* file);

  /// Parses an APP1 payload starting with "Exif"; `length` is the segment length as read
  /// from the file (it counts the two length bytes), so `block` holds length - 2 bytes.
  /// Returns true when the header is valid and the first directory walked without failure.
  bool ParseExifBlock(unsigned char* block, int length);

  /// Walks the directory at `directory` and every directory it links to (each at most once
  /// per block, within a depth bound). Offsets count from `base`; the block holds `extent`
  /// bytes from `base`. Returns false when this directory itself is faulty.
  bool WalkDirectory(unsigned char* directory, unsigned char* base, int extent);

  /// The first component of a value as a number, by its EXIF format code (0 to 12). The
  /// caller guarantees one component's bytes are readable at `value`.
  double NumberFromValue(const unsigned char* value, int format) const;

  /// Byte-order readers in the block's order (see big_endian()).
  uint16_t ReadU16(const unsigned char* p) const;
  int32_t ReadS32(const unsigned char* p) const;
  uint32_t ReadU32(const unsigned char* p) const;
  /// Unsigned 16-bit big-endian, whatever the block's order (JPEG segment data).
  static uint16_t ReadU16BigEndian(const unsigned char* p);

  /// The text naming the last failure; empty when none happened.
  const char* last_error() const { return last_error_; }
  ImageInfo* info() const { return info_; }
  int big_endian() const { return big_endian_; }
  int section_count() const { return section_count_; }
  /// Slot `index` (0 to kMaxSections - 1) of the segment table.
  const JpegSection& section(int index) const { return sections_[index]; }

 private:
  void StoreFrameHeader(const unsigned char* data, int marker);
  void StoreComment(const unsigned char* data, int length);
  void SetError(const char* text);
  void DiscardSection();
  bool FollowLink(unsigned char* base, int extent, uint32_t offset);
  void ActOnTag(int tag, int format, uint32_t count, unsigned char* value,
                const unsigned char* block_end, int32_t* thumb_offset, int32_t* thumb_length);

  ImageInfo* info_;
  char last_error_[256];
  int32_t max_image_dimension_;
  int32_t big_endian_;
  JpegSection sections_[kMaxSections];
  int32_t section_count_;
  bool owns_info_;

  // Bounds of the directory walk of one block: directories already walked (by offset)
  // and the current nesting depth.
  static constexpr int kMaxDirectories = 32;
  static constexpr int kMaxDepth = 8;
  uint32_t walked_[kMaxDirectories];
  int walked_count_;
  int depth_;
};

}  // namespace nandell
