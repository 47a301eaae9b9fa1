// Reader of RIFF chunks: the EXIF chunk of an extended WebP file, and the IDIT chunk and the
// Nikon "ncdt" list of an AVI file. Chunk headers are read and everything else, the "movi"
// list of an AVI above all, is skipped by its size. Nesting, chunk count and sizes are
// bounded.
#include <vector>

#include "exif/media_bytes.h"
#include "exif/media_reader.h"

namespace nandell {

using media::Be32;
using media::FourCc;
using media::Le16;
using media::Le32;

namespace {

constexpr int kMaxChunks = 10000;
// Lists entered: RIFF > hdrl or ncdt.
constexpr int kMaxDepth = 2;
// Bytes of the Nikon tag chunk that are read.
constexpr size_t kMaxNikonTags = 64 * 1024;
// Bytes of a date text that are read.
constexpr size_t kMaxText = 64;
// VP8X flag: the file holds an EXIF chunk.
constexpr unsigned char kWebpHasExif = 0x08;
// Nikon tags of the "nctg" chunk.
constexpr uint16_t kNikonCreateDate = 0x13;
constexpr uint16_t kNikonDateTimeOriginal = 0x14;

class RiffReader {
 public:
  RiffReader(ByteSource& source, MediaDates* dates) : source_(source), dates_(dates) {}

  bool Read(std::string* error) {
    unsigned char header[12];
    if (!source_.Read(0, sizeof header, header)) {
      Fail("RIFF header past the end");
    } else {
      form_ = Be32(header + 8);
      uint64_t end = 8 + uint64_t{Le32(header + 4)};
      if (end > source_.Size()) {
        Fail("RIFF size past the end of the file");  // a cut recording: read what is there
        end = source_.Size();
      }
      Walk(12, end, 0);
    }
    if (fault_ != nullptr && error != nullptr) *error = fault_;
    return fault_ == nullptr;
  }

 private:
  void Fail(const char* text) {
    if (fault_ == nullptr) fault_ = text;
  }

  // The chunks from `offset` to `end`; lists that may hold dates are entered.
  void Walk(uint64_t offset, uint64_t end, int depth) {
    while (offset < end && end - offset >= 8) {
      if (++chunks_ > kMaxChunks) {
        Fail("too many chunks");
        return;
      }
      unsigned char header[12];
      if (!source_.Read(offset, 8, header)) {
        Fail("chunk header past the end");
        return;
      }
      const uint32_t id = Be32(header);
      uint64_t size = Le32(header + 4);
      const uint64_t data = offset + 8;
      if (size > end - data) {
        Fail("chunk runs past its list");
        size = end - data;
      }
      if (!Visit(id, data, size, depth)) return;
      offset = data + size + (size & 1);  // chunks are padded to an even size
    }
  }

  // Acts on one chunk. Returns false when the walk should stop.
  bool Visit(uint32_t id, uint64_t data, uint64_t size, int depth) {
    if (id == FourCc("LIST")) {
      unsigned char type[4];
      if (size < 4 || !source_.Read(data, 4, type)) return true;
      const uint32_t list = Be32(type);
      if ((list == FourCc("hdrl") || list == FourCc("ncdt")) && form_ == FourCc("AVI ")) {
        if (depth >= kMaxDepth) {
          Fail("lists nested too deep");
          return true;
        }
        Walk(data + 4, data + size, depth + 1);
      }
      return true;
    }
    if (form_ == FourCc("WEBP")) return VisitWebp(id, data, size, depth);
    if (form_ != FourCc("AVI ")) return false;
    // The first chunk of each kind counts.
    if (id == FourCc("IDIT") && !idit_seen_) {
      idit_seen_ = true;
      dates_->riff_date = ReadText(data, size);
    } else if (id == FourCc("nctg") && !nikon_seen_) {
      nikon_seen_ = true;
      ReadNikonTags(data, size);
    }
    return true;
  }

  // An extended WebP file announces its EXIF chunk in the flags of its first chunk, VP8X;
  // a simple one (VP8 or VP8L first) holds no metadata. Frames are not walked in vain.
  bool VisitWebp(uint32_t id, uint64_t data, uint64_t size, int depth) {
    if (depth == 0 && chunks_ == 1) {
      unsigned char flags = 0;
      return id == FourCc("VP8X") && size >= 1 && source_.Read(data, 1, &flags) &&
             (flags & kWebpHasExif) != 0;
    }
    if (id != FourCc("EXIF")) return true;
    if (size > kMaxExifBlock) {
      Fail("EXIF chunk too large");
      return false;
    }
    std::vector<unsigned char> bytes(static_cast<size_t>(size));
    if (!source_.Read(data, bytes.size(), bytes.data())) {
      Fail("cannot read the EXIF chunk");
      return false;
    }
    const ExifBlockDate found = ReadExifPayloadDate(bytes.data(), bytes.size());
    if (found.has_exif) dates_->date_time_original = found.date_time_original;
    return false;  // one EXIF chunk per file
  }

  std::string ReadText(uint64_t data, uint64_t size) {
    unsigned char bytes[kMaxText];
    const size_t n = size < kMaxText ? static_cast<size_t>(size) : kMaxText;
    if (!source_.Read(data, n, bytes)) return std::string();
    return media::TextOf(bytes, n, kMaxText);
  }

  // Nikon's tag chunk: entries of a 16-bit tag, a 16-bit size and that many bytes, all
  // little-endian. DateTimeOriginal wins over CreateDate.
  void ReadNikonTags(uint64_t data, uint64_t size) {
    std::vector<unsigned char> bytes(size < kMaxNikonTags ? static_cast<size_t>(size)
                                                          : kMaxNikonTags);
    if (!source_.Read(data, bytes.size(), bytes.data())) return;
    std::string created;
    std::string original;
    size_t at = 0;
    while (bytes.size() - at >= 4) {
      const uint16_t tag = Le16(bytes.data() + at);
      const size_t length = Le16(bytes.data() + at + 2);
      at += 4;
      if (length > bytes.size() - at) {
        Fail("Nikon tag runs past its chunk");
        break;
      }
      if (tag == kNikonDateTimeOriginal) original = media::TextOf(bytes.data() + at, length);
      if (tag == kNikonCreateDate) created = media::TextOf(bytes.data() + at, length);
      at += length;
    }
    dates_->nikon_date = !original.empty() ? original : created;
  }

  ByteSource& source_;
  MediaDates* dates_;
  uint32_t form_ = 0;
  int chunks_ = 0;
  bool idit_seen_ = false;
  bool nikon_seen_ = false;
  const char* fault_ = nullptr;
};

}  // namespace

bool ReadRiffDates(ByteSource& source, MediaDates* dates, std::string* error) {
  LimitedByteSource limited(source, kMaxHeaderBytes);
  RiffReader reader(limited, dates);
  return media::WithinLimit(limited, reader.Read(error), error);
}

}  // namespace nandell
