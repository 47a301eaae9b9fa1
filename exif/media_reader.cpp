// Sniffing a file's format, reading Exif blocks through the ExifReader's parser, and the two
// smallest readers: TIFF-structured raw files and the eXIf chunk of PNG files.
#include "exif/media_reader.h"

#include <cstring>
#include <vector>

#include "exif/exif_reader.h"
#include "exif/media_bytes.h"

namespace nandell {

using media::Be32;
using media::FourCc;

namespace {

// Box types that may open a QuickTime or ISO base media file.
bool IsLeadingBoxType(uint32_t type) {
  switch (type) {
    case FourCc("ftyp"):
    case FourCc("moov"):
    case FourCc("mdat"):
    case FourCc("wide"):
    case FourCc("free"):
    case FourCc("skip"):
    case FourCc("pnot"):
      return true;
    default:
      return false;
  }
}

// The raw variants of the TIFF header: Olympus ("IIRO", "IIRS", "MMOR") and Panasonic
// ("IIU\0") write another number where TIFF has 42; the directories are the same.
bool IsRawTiffHeader(const unsigned char* p, size_t size) {
  if (size < 8) return false;
  if (p[0] == 'I' && p[1] == 'I') {
    return (p[2] == 'R' && (p[3] == 'O' || p[3] == 'S')) || (p[2] == 'U' && p[3] == 0);
  }
  return p[0] == 'M' && p[1] == 'M' && p[2] == 'O' && p[3] == 'R';
}

void SetError(std::string* error, const char* text) {
  if (error != nullptr) *error = text;
}

// The parser's texts for a directory, value or link that lies beyond the block.
bool IsBeyondBlockError(const char* text) {
  return std::strcmp(text, "Illegal pointer offset value in EXIF.") == 0 ||
         std::strcmp(text, "Illegal subdirectory link") == 0 ||
         std::strcmp(text, "Illegally sized directory") == 0 ||
         std::strcmp(text, "Suspicious offset of first IFD value") == 0;
}

}  // namespace

MediaFormat SniffMediaFormat(const unsigned char* head, size_t size) {
  if (size >= 2 && head[0] == 0xFF && head[1] == 0xD8) return MediaFormat::kJpeg;
  if (media::IsTiffHeader(head, size) || IsRawTiffHeader(head, size)) return MediaFormat::kTiff;
  if (size >= 8 && std::memcmp(head, "\x89PNG\r\n\x1a\n", 8) == 0) return MediaFormat::kPng;
  if (size >= 12 && std::memcmp(head, "RIFF", 4) == 0) {
    if (std::memcmp(head + 8, "WEBP", 4) == 0) return MediaFormat::kWebp;
    if (std::memcmp(head + 8, "AVI ", 4) == 0) return MediaFormat::kAvi;
    return MediaFormat::kUnknown;
  }
  if (size >= 8) {
    const uint32_t box_size = Be32(head);
    if ((box_size == 0 || box_size == 1 || box_size >= 8) && IsLeadingBoxType(Be32(head + 4))) {
      return MediaFormat::kIsoMedia;
    }
  }
  return MediaFormat::kUnknown;
}

ExifBlockDate ReadExifBlockDate(const unsigned char* tiff, size_t size) {
  ExifBlockDate result;
  if (size > kMaxExifBlock) return result;
  // The parser takes an APP1 payload: "Exif", two NULs, the TIFF block; its length counts
  // the two length bytes of a JPEG segment besides.
  std::vector<unsigned char> block(6 + size);
  std::memcpy(block.data(), "Exif\0\0", 6);
  if (size > 0) std::memcpy(block.data() + 6, tiff, size);
  ImageInfo info{};
  ExifReader reader(&info);
  result.has_exif = reader.ParseExifBlock(block.data(), static_cast<int>(size + 8));
  if (result.has_exif) result.date_time_original = info.date_time_original;
  result.reaches_beyond = IsBeyondBlockError(reader.last_error());
  return result;
}

ExifBlockDate ReadExifPayloadDate(const unsigned char* payload, size_t size) {
  const size_t start = media::TiffStart(payload, size);
  return ReadExifBlockDate(payload + start, size - start);
}

namespace {

bool TiffFileDates(ByteSource& source, MediaDates* dates, std::string* error) {
  // Raw files keep their directories near the start and the image data after them. The
  // window grows only while the parse points beyond it and no date was found.
  static constexpr size_t kWindows[] = {64 * 1024, 1024 * 1024, kMaxExifBlock};
  const uint64_t file_size = source.Size();
  std::vector<unsigned char> bytes;
  for (size_t window : kWindows) {
    const size_t size = file_size < window ? static_cast<size_t>(file_size) : window;
    bytes.resize(size);
    if (!source.Read(0, size, bytes.data())) {
      SetError(error, "cannot read the file");
      return false;
    }
    if (IsRawTiffHeader(bytes.data(), size)) {
      bytes[2] = bytes[0] == 'I' ? 0x2A : 0;  // the raw variants as plain TIFF
      bytes[3] = bytes[0] == 'I' ? 0 : 0x2A;
    }
    const ExifBlockDate found = ReadExifBlockDate(bytes.data(), size);
    if (found.has_exif && !found.date_time_original.empty()) {
      dates->date_time_original = found.date_time_original;
      return true;
    }
    if (!found.reaches_beyond || size == file_size) {
      if (found.has_exif) return true;
      SetError(error, "no Exif block in the TIFF directories");
      return false;
    }
  }
  SetError(error, "TIFF directories reach beyond the part read");
  return false;
}

bool PngDates(ByteSource& source, MediaDates* dates, std::string* error) {
  static constexpr int kMaxChunks = 4096;
  static constexpr uint32_t kMaxChunkLength = 0x7FFFFFFF;
  const uint64_t size = source.Size();
  uint64_t offset = 8;  // after the signature
  for (int chunk = 0; chunk < kMaxChunks; ++chunk) {
    if (offset == size) {
      SetError(error, "PNG ends without IEND");
      return false;
    }
    unsigned char header[8];
    if (!source.Read(offset, sizeof header, header)) {
      SetError(error, "PNG chunk header past the end");
      return false;
    }
    const uint32_t length = Be32(header);
    const uint32_t type = Be32(header + 4);
    if (length > kMaxChunkLength) {
      SetError(error, "PNG chunk length over 2^31 - 1");
      return false;
    }
    const uint64_t data = offset + 8;
    if (uint64_t{length} + 4 > size - data) {
      SetError(error, "PNG chunk runs past the end");
      return false;
    }
    if (type == FourCc("IDAT") || type == FourCc("IEND")) return true;
    if (type == FourCc("eXIf")) {
      if (length > kMaxExifBlock) {
        SetError(error, "eXIf chunk too large");
        return false;
      }
      std::vector<unsigned char> exif(length);
      if (!source.Read(data, length, exif.data())) {
        SetError(error, "cannot read the eXIf chunk");
        return false;
      }
      const ExifBlockDate found = ReadExifPayloadDate(exif.data(), exif.size());
      if (found.has_exif) dates->date_time_original = found.date_time_original;
      return true;  // one eXIf chunk per file
    }
    offset = data + length + 4;  // data and CRC
  }
  SetError(error, "too many PNG chunks before the image data");
  return false;
}

}  // namespace

bool ReadTiffFileDates(ByteSource& source, MediaDates* dates, std::string* error) {
  LimitedByteSource limited(source, kMaxHeaderBytes);
  return media::WithinLimit(limited, TiffFileDates(limited, dates, error), error);
}

bool ReadPngDates(ByteSource& source, MediaDates* dates, std::string* error) {
  LimitedByteSource limited(source, kMaxHeaderBytes);
  return media::WithinLimit(limited, PngDates(limited, dates, error), error);
}

MediaFormat ReadMediaDates(ByteSource& source, MediaDates* dates, std::string* error) {
  // The format's first bytes count towards the file's limit with the reader's.
  LimitedByteSource limited(source, kMaxHeaderBytes);
  unsigned char head[16] = {};
  const size_t size =
      limited.Size() < sizeof head ? static_cast<size_t>(limited.Size()) : sizeof head;
  if (!limited.Read(0, size, head)) return MediaFormat::kUnknown;
  const MediaFormat format = SniffMediaFormat(head, size);
  bool ok = true;
  switch (format) {
    case MediaFormat::kTiff:
      ok = ReadTiffFileDates(limited, dates, error);
      break;
    case MediaFormat::kPng:
      ok = ReadPngDates(limited, dates, error);
      break;
    case MediaFormat::kIsoMedia:
      ok = ReadIsoMediaDates(limited, dates, error);
      break;
    case MediaFormat::kWebp:
    case MediaFormat::kAvi:
      ok = ReadRiffDates(limited, dates, error);
      break;
    case MediaFormat::kJpeg:
    case MediaFormat::kUnknown:
      break;
  }
  media::WithinLimit(limited, ok, error);
  return format;
}

}  // namespace nandell
