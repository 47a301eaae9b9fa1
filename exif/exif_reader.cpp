// JPEG section reader: reads the marker segments of a JPEG stream up to the start-of-scan
// header, keeping each in a buffer of its own, and hands the EXIF block to the parser.
#include "exif/exif_reader.h"

#include <stdio.h>

#include <atomic>
#include <cstdlib>
#include <cstring>

#include "exif/byte_source.h"

namespace nandell {

namespace {

std::atomic<FILE*>& NoticeStream() {
  static std::atomic<FILE*> stream{stdout};
  return stream;
}

// One byte of the stream, or EOF. A reader and its stream belong to one thread, so the
// stream's lock is not taken for every byte.
inline int ReadByte(FILE* file) {
#ifdef _WIN32
  return _getc_nolock(file);
#else
  return getc_unlocked(file);
#endif
}

void WriteNotice(const char* text) {
  FILE* stream = NoticeStream().load(std::memory_order_relaxed);
  if (stream != nullptr) std::fputs(text, stream);
}

bool IsStartOfFrame(int marker) {
  switch (marker) {
    case 0xC0:
    case 0xC1:
    case 0xC2:
    case 0xC3:
    case 0xC5:
    case 0xC6:
    case 0xC7:
    case 0xC9:
    case 0xCA:
    case 0xCB:
    case 0xCD:
    case 0xCE:
    case 0xCF:
      return true;
    default:
      return false;
  }
}

constexpr int kMarkerEndOfImage = 0xD9;
constexpr int kMarkerStartOfScan = 0xDA;
constexpr int kMarkerApp0 = 0xE0;
constexpr int kMarkerApp1 = 0xE1;
constexpr int kMarkerComment = 0xFE;

// Longest run of 0xFF bytes accepted before a marker code: the prefix and five padding bytes.
constexpr int kMaxFillBytes = 6;
// The comment segment is cleaned from at most this many section bytes (length bytes included).
constexpr int kMaxCommentSection = 1000;
// Bytes 2 to 7 of a start-of-frame segment are read, so it needs at least 8.
constexpr int kMinFrameHeaderLength = 8;
// "Exif" in payload bytes 0 to 3, so the section needs at least 6 bytes.
constexpr int kMinExifTestLength = 6;

}  // namespace

void SetReaderNoticeStream(FILE* stream) {
  NoticeStream().store(stream, std::memory_order_relaxed);
}

ExifReader::ExifReader(ImageInfo* info) : info_(info), owns_info_(false) {
  if (info_ == nullptr) {
    info_ = new ImageInfo();
    owns_info_ = true;
  }
  last_error_[0] = '\0';
  max_image_dimension_ = 0;
  big_endian_ = 0;
  section_count_ = 0;
  std::memset(sections_, 0, sizeof(sections_));
  walked_count_ = 0;
  depth_ = 0;
}

ExifReader::~ExifReader() {
  for (JpegSection& section : sections_) {
    if (section.data != nullptr) std::free(section.data);
  }
  if (owns_info_) delete info_;
}

void ExifReader::SetError(const char* text) {
  std::strncpy(last_error_, text, sizeof(last_error_) - 1);
  last_error_[sizeof(last_error_) - 1] = '\0';
}

uint16_t ExifReader::ReadU16BigEndian(const unsigned char* p) {
  return static_cast<uint16_t>((p[0] << 8) | p[1]);
}

void ExifReader::DiscardSection() {
  section_count_ -= 1;
  JpegSection& section = sections_[section_count_];
  std::free(section.data);
  section.data = nullptr;
}

bool ExifReader::ReadSections(FILE* file) {
  if (ReadByte(file) != 0xFF) return false;
  if (ReadByte(file) != 0xD8) return false;
  if (section_count_ >= kMaxSections) {
    SetError("Too many sections in jpg file");
    return false;
  }

  bool comment_seen = false;
  // Bytes of the stream taken so far: segments that are discarded cost reading too, and a
  // file of nothing but those must not be read to its end.
  uint64_t consumed = 2;
  for (;;) {
    int marker = 0;
    int fill_bytes = 0;
    for (;;) {
      marker = ReadByte(file);
      if (marker != 0xFF) break;
      if (++fill_bytes > kMaxFillBytes) {
        WriteNotice("too many padding unsigned chars\n");
        return false;
      }
    }

    JpegSection& section = sections_[section_count_];
    section.marker = marker;

    // End of file in either length byte reads as an invalid length.
    const int hi = ReadByte(file);
    const int lo = ReadByte(file);
    const int length = hi * 256 + lo;
    if (hi == EOF || lo == EOF || length < 2) {
      SetError("invalid marker");
      return false;
    }
    section.length = length;
    consumed += static_cast<uint64_t>(fill_bytes) + 1 + static_cast<uint64_t>(length);
    if (consumed > kMaxHeaderBytes) {
      SetError("Header segments too large");
      return false;
    }

    auto* data = static_cast<unsigned char*>(std::malloc(static_cast<size_t>(length)));
    if (data == nullptr) {
      SetError("Could not allocate memory");
      return false;
    }
    section.data = data;
    data[0] = static_cast<unsigned char>(hi);
    data[1] = static_cast<unsigned char>(lo);
    const size_t wanted = static_cast<size_t>(length - 2);
    if (std::fread(data + 2, 1, wanted, file) != wanted) {
      SetError("Premature end of file?");
      return false;
    }
    section_count_ += 1;

    if (IsStartOfFrame(marker)) {
      StoreFrameHeader(data, marker);
    } else {
      switch (marker) {
        case kMarkerEndOfImage:
          WriteNotice("No image in jpeg!\n");
          return false;
        case kMarkerStartOfScan:
          return true;
        case kMarkerApp0:
          DiscardSection();
          break;
        case kMarkerApp1:
          if (length >= kMinExifTestLength && std::memcmp(data + 2, "Exif", 4) == 0) {
            info_->has_exif = ParseExifBlock(data + 2, length);
          } else {
            DiscardSection();
          }
          break;
        case kMarkerComment:
          if (!comment_seen) {
            StoreComment(data, length);
            comment_seen = true;
          } else {
            DiscardSection();
          }
          break;
        default:
          break;
      }
    }

    if (section_count_ >= kMaxSections) {
      SetError("Too many sections in jpg file");
      return false;
    }
  }
}

void ExifReader::StoreFrameHeader(const unsigned char* data, int marker) {
  const int length = ReadU16BigEndian(data);
  if (length < kMinFrameHeaderLength) return;  // too short to hold a frame size
  info_->frame_height = ReadU16BigEndian(data + 3);
  info_->frame_width = ReadU16BigEndian(data + 5);
  info_->three_components = data[7] == 3 ? 1 : 0;
  info_->frame_marker = marker;
}

void ExifReader::StoreComment(const unsigned char* data, int length) {
  char text[kMaxCommentSection];
  int out = 0;
  const int n = length < kMaxCommentSection ? length : kMaxCommentSection;
  for (int i = 2; i < n; ++i) {
    const unsigned char c = data[i];
    if (c == 0x0D) {
      if (i + 1 < length && data[i + 1] == 0x0A) continue;
      text[out++] = '?';
    } else if (c == 0x0A || c == 0x09 || c >= 0x20) {
      text[out++] = static_cast<char>(c);
    } else {
      text[out++] = '?';
    }
  }
  text[out] = '\0';
  std::memcpy(info_->comment, text, static_cast<size_t>(out) + 1);
}

}  // namespace nandell
