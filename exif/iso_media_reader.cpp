// Reader of ISO base media boxes (ISO/IEC 14496-12 and QuickTime): the Exif items of a HEIF
// or AVIF file's "meta" box, and the creation dates of a QuickTime or MP4 movie ("moov":
// the Apple "keys" metadata, the user data, the movie header). Only box headers and the few
// boxes named here are read; everything else, the media data above all, is skipped by its
// size. The walk follows fixed paths (moov/udta/meta/ilst/item/data at most), so nesting is
// bounded by the code itself; sizes, counts and the number of headers read are bounded too.
#include <cstring>
#include <vector>

#include "exif/media_bytes.h"
#include "exif/media_reader.h"

namespace nandell {

using media::Be16;
using media::Be32;
using media::Be64;
using media::FourCc;

namespace {

// Box headers read in one file, over all levels.
constexpr int kMaxBoxes = 10000;
// Tables read whole into memory: "iinf", "iloc", "keys".
constexpr uint64_t kMaxTable = 1024 * 1024;
// Exif items tried, and extents of one item.
constexpr size_t kMaxExifItems = 16;
constexpr size_t kMaxExtents = 64;
// Extents looked at in one "iloc" (its sizes may be 0, so bytes alone do not bound them).
constexpr uint32_t kMaxExtentsSeen = 65536;
// Bytes of a date text that are read.
constexpr size_t kMaxText = 64;

constexpr uint32_t kTypeDay = 0xA9646179;  // "©day"
constexpr const char kCreationDateKey[] = "com.apple.quicktime.creationdate";

struct Box {
  uint64_t offset = 0;   // of its header
  uint64_t payload = 0;  // first byte after the header
  uint64_t end = 0;      // one past its last byte
  uint32_t type = 0;
};

// Big-endian fields read one after another from bytes in memory; reading past the end sets
// ok to false and gives 0.
class Cursor {
 public:
  Cursor(const unsigned char* p, size_t size) : p_(p), left_(size) {}
  // An unsigned number of `n` bytes (0, 1, 2, 4 or 8; 0 gives 0).
  uint64_t Take(size_t n) {
    if (n > left_) {
      ok_ = false;
      left_ = 0;
      return 0;
    }
    uint64_t value = 0;
    for (size_t i = 0; i < n; ++i) value = (value << 8) | p_[i];
    p_ += n;
    left_ -= n;
    return value;
  }
  // Passes over `n` bytes.
  void Skip(size_t n) {
    if (n > left_) {
      ok_ = false;
      n = left_;
    }
    p_ += n;
    left_ -= n;
  }
  bool ok() const { return ok_; }
  size_t left() const { return left_; }
  const unsigned char* here() const { return p_; }

 private:
  const unsigned char* p_;
  size_t left_;
  bool ok_ = true;
};

// a + b, or false when it overflows.
bool Add(uint64_t a, uint64_t b, uint64_t* sum) {
  if (b > UINT64_MAX - a) return false;
  *sum = a + b;
  return true;
}

class IsoReader {
 public:
  IsoReader(ByteSource& source, MediaDates* dates) : source_(source), dates_(dates) {}

  bool Read(std::string* error) {
    bool items_read = false;
    Walk(source_, 0, source_.Size(), [&](const Box& box) {
      // One "meta" box per file holds the items.
      if (box.type == FourCc("meta") && !items_read) {
        items_read = true;
        ReadItems(box);
      }
      if (box.type != FourCc("moov")) return true;
      ReadMovie(box);
      return false;  // fragments and data after the movie hold no dates
    });
    if (fault_ != nullptr && error != nullptr) *error = fault_;
    return fault_ == nullptr;
  }

 private:
  // Notes the first fault; the walk of the container at hand stops, outer ones go on.
  void Fail(const char* text) {
    if (fault_ == nullptr) fault_ = text;
  }

  // Reads the header of the box at `offset` of a container ending at `end`. Returns false at
  // the container's end or at a fault. A box running past its container is cut to it.
  bool NextBox(ByteSource& source, uint64_t offset, uint64_t end, Box* box) {
    if (offset >= end || end - offset < 8) return false;  // fewer bytes are padding
    if (++boxes_ > kMaxBoxes) {
      Fail("too many boxes");
      return false;
    }
    unsigned char header[16];
    if (!source.Read(offset, 8, header)) {
      Fail("box header past the end of the file");
      return false;
    }
    uint64_t size = Be32(header);
    uint64_t header_size = 8;
    if (size == 1) {
      if (end - offset < 16 || !source.Read(offset + 8, 8, header + 8)) {
        Fail("64-bit box size past the end");
        return false;
      }
      size = Be64(header + 8);
      header_size = 16;
    } else if (size == 0) {
      size = end - offset;  // the box runs to the end of its container
    }
    if (size < header_size) {
      Fail("box size smaller than its header");
      return false;
    }
    if (size > end - offset) {
      Fail("box runs past its container");
      size = end - offset;
    }
    box->offset = offset;
    box->payload = offset + header_size;
    box->end = offset + size;
    box->type = Be32(header + 4);
    return true;
  }

  // Calls `visit` for each box from `offset` to `end`, until it returns false.
  template <typename Visit>
  void Walk(ByteSource& source, uint64_t offset, uint64_t end, Visit visit) {
    Box box;
    while (NextBox(source, offset, end, &box)) {
      if (!visit(box)) return;
      offset = box.end;
    }
  }

  // The payload of `box` in memory when it is at most kMaxTable bytes.
  bool ReadPayload(const Box& box, std::vector<unsigned char>* bytes) {
    const uint64_t size = box.end - box.payload;
    if (size > kMaxTable) {
      Fail("metadata table too large");
      return false;
    }
    bytes->resize(static_cast<size_t>(size));
    if (!source_.Read(box.payload, bytes->size(), bytes->data())) {
      Fail("cannot read a metadata table");
      return false;
    }
    return true;
  }

  // Up to kMaxText bytes from `offset` (before `end`) as text, to the first NUL.
  std::string ReadText(uint64_t offset, uint64_t end) {
    if (offset >= end) return std::string();
    unsigned char bytes[kMaxText];
    const size_t n = end - offset < kMaxText ? static_cast<size_t>(end - offset) : kMaxText;
    if (!source_.Read(offset, n, bytes)) return std::string();
    return media::TextOf(bytes, n, kMaxText);
  }

  // The value of the first "data" box inside a metadata item: type and locale, then the value.
  std::string DataText(const Box& item) {
    std::string text;
    Walk(source_, item.payload, item.end, [&](const Box& box) {
      if (box.type != FourCc("data")) return true;
      text = ReadText(box.payload + 8, box.end);
      return false;
    });
    return text;
  }

  // A user-data text: QuickTime's (16-bit length, 16-bit language, text), an iTunes-style
  // "data" box, or the text alone.
  std::string UserDataText(const Box& box) {
    unsigned char head[8];
    const uint64_t size = box.end - box.payload;
    if (size >= 8 && source_.Read(box.payload, 8, head)) {
      if (Be32(head + 4) == FourCc("data")) return DataText(box);
      const uint16_t length = Be16(head);
      if (length > 0 && length <= size - 4) {
        return ReadText(box.payload + 4, box.payload + 4 + length);
      }
    }
    return ReadText(box.payload, box.end);
  }

  void ReadMovie(const Box& moov) {
    bool header_seen = false;
    Walk(source_, moov.payload, moov.end, [&](const Box& box) {
      switch (box.type) {
        case FourCc("mvhd"):
          if (!header_seen) ReadMovieHeader(box);
          header_seen = true;
          break;
        case FourCc("udta"):
          ReadUserData(box);
          break;
        case FourCc("meta"):
          ReadMetadata(box);
          break;
        default:
          break;  // tracks and the rest are skipped
      }
      return true;
    });
  }

  // Version 0 keeps 32-bit times, version 1 64-bit ones; the creation time comes first.
  void ReadMovieHeader(const Box& box) {
    unsigned char bytes[12];
    const uint64_t size = box.end - box.payload;
    if (size < 8 || !source_.Read(box.payload, size < 12 ? 8 : 12, bytes)) {
      Fail("movie header too short");
      return;
    }
    if (bytes[0] == 1) {
      if (size < 12) {
        Fail("movie header too short");
        return;
      }
      dates_->movie_header_time = Be64(bytes + 4);
    } else {
      dates_->movie_header_time = Be32(bytes + 4);
    }
  }

  void ReadUserData(const Box& udta) {
    Walk(source_, udta.payload, udta.end, [&](const Box& box) {
      if (box.type == kTypeDay && dates_->user_data_day.empty()) {
        dates_->user_data_day = UserDataText(box);
      } else if (box.type == FourCc("date") && dates_->user_data_date.empty()) {
        dates_->user_data_date = UserDataText(box);
      } else if (box.type == FourCc("meta")) {
        ReadMetadata(box);
      }
      return true;
    });
  }

  // QuickTime metadata ("keys" and "ilst") or an iTunes-style list ("ilst" alone). QuickTime
  // writes "meta" without the version and flags that ISO's "meta" box has: there the payload
  // opens with a box size, which is never 0, where ISO's opens with version 0 and no flags.
  void ReadMetadata(const Box& meta) {
    uint64_t start = meta.payload;
    unsigned char peek[4];
    if (meta.end - start < 8 || !source_.Read(start, 4, peek)) return;
    if (Be32(peek) == 0) start += 4;
    Box keys, list;
    Walk(source_, start, meta.end, [&](const Box& box) {
      if (box.type == FourCc("keys") && keys.end == 0) keys = box;
      if (box.type == FourCc("ilst") && list.end == 0) list = box;
      return true;
    });
    if (list.end == 0) return;
    const uint32_t creation_index = keys.end != 0 ? CreationKeyIndex(keys) : 0;
    Walk(source_, list.payload, list.end, [&](const Box& item) {
      if (creation_index != 0 && item.type == creation_index && dates_->creation_date.empty()) {
        dates_->creation_date = DataText(item);
      } else if (item.type == kTypeDay && dates_->user_data_day.empty()) {
        dates_->user_data_day = DataText(item);
      }
      return true;
    });
  }

  // The 1-based index of "com.apple.quicktime.creationdate" in a "keys" box, or 0.
  uint32_t CreationKeyIndex(const Box& keys) {
    std::vector<unsigned char> bytes;
    if (!ReadPayload(keys, &bytes)) return 0;
    Cursor cursor(bytes.data(), bytes.size());
    cursor.Take(4);  // version and flags
    const uint64_t count = cursor.Take(4);
    for (uint64_t index = 1; index <= count && cursor.ok(); ++index) {
      const uint64_t key_size = cursor.Take(4);
      if (!cursor.ok() || key_size < 8 || key_size - 4 > cursor.left()) {
        Fail("metadata key runs past its table");
        return 0;
      }
      cursor.Take(4);  // namespace, "mdta"
      const size_t name_size = static_cast<size_t>(key_size - 8);
      if (name_size == sizeof kCreationDateKey - 1 &&
          std::memcmp(cursor.here(), kCreationDateKey, name_size) == 0) {
        return static_cast<uint32_t>(index);
      }
      cursor.Skip(name_size);
    }
    return 0;
  }

  // HEIF: the items of type "Exif" ("iinf"), where their bytes lie ("iloc", maybe "idat"),
  // and each one's Exif block until one parses.
  void ReadItems(const Box& meta) {
    std::vector<uint32_t> exif_ids;
    std::vector<unsigned char> locations;
    Box info_box, locations_box, data;
    Walk(source_, meta.payload + 4, meta.end, [&](const Box& box) {
      // The first of each table counts: a meta box holds one of each.
      if (box.type == FourCc("iinf") && info_box.end == 0) {
        info_box = box;
        std::vector<unsigned char> info;
        if (ReadPayload(box, &info)) FindExifItems(info, &exif_ids);
      } else if (box.type == FourCc("iloc") && locations_box.end == 0) {
        locations_box = box;
        ReadPayload(box, &locations);
      } else if (box.type == FourCc("idat") && data.end == 0) {
        data = box;
      }
      return true;
    });
    if (exif_ids.empty() || locations.empty()) return;
    ReadExifItems(locations, exif_ids, data);
  }

  // The ids of the items of type "Exif" in an "iinf" payload (entries of version 2 and 3; the
  // older ones carry no item type).
  void FindExifItems(const std::vector<unsigned char>& info, std::vector<uint32_t>* ids) {
    if (info.size() < 4) {
      Fail("item info too short");
      return;
    }
    const uint64_t first = info[0] == 0 ? 6 : 8;  // version, flags, entry count
    MemoryByteSource entries(info.data(), info.size());
    Walk(entries, first, info.size(), [&](const Box& box) {
      if (box.type != FourCc("infe")) return true;
      unsigned char bytes[12];
      const uint64_t size = box.end - box.payload;
      if (size < 12 || !entries.Read(box.payload, 12, bytes)) return true;
      const int version = bytes[0];
      if (version == 2 && Be32(bytes + 8) == FourCc("Exif")) {
        ids->push_back(Be16(bytes + 4));
      } else if (version == 3 && size >= 14) {
        unsigned char type[4];
        if (entries.Read(box.payload + 10, 4, type) && Be32(type) == FourCc("Exif")) {
          ids->push_back(Be32(bytes + 4));
        }
      }
      return ids->size() < kMaxExifItems;
    });
  }

  struct Extent {
    uint64_t offset;
    uint64_t length;
  };

  // Walks an "iloc" payload; for each Exif item, gathers its extents and reads its block.
  void ReadExifItems(const std::vector<unsigned char>& locations, const std::vector<uint32_t>& ids,
                     const Box& data) {
    Cursor cursor(locations.data(), locations.size());
    const uint64_t version = cursor.Take(1);
    cursor.Take(3);  // flags
    const uint64_t sizes = cursor.Take(1);
    const uint64_t more_sizes = cursor.Take(1);
    const size_t offset_size = static_cast<size_t>(sizes >> 4);
    const size_t length_size = static_cast<size_t>(sizes & 15);
    const size_t base_size = static_cast<size_t>(more_sizes >> 4);
    const size_t index_size = version >= 1 ? static_cast<size_t>(more_sizes & 15) : 0;
    auto valid = [](size_t n) { return n == 0 || n == 4 || n == 8; };
    if (!cursor.ok() || version > 2 || !valid(offset_size) || !valid(length_size) ||
        !valid(base_size) || !valid(index_size)) {
      Fail("item locations damaged");
      return;
    }
    const uint64_t item_count = cursor.Take(version < 2 ? 2 : 4);
    uint32_t extents_seen = 0;
    for (uint64_t item = 0; item < item_count && cursor.ok(); ++item) {
      const uint64_t id = cursor.Take(version < 2 ? 2 : 4);
      const uint64_t method = version >= 1 ? cursor.Take(2) & 15 : 0;
      const uint64_t reference = cursor.Take(2);
      const uint64_t base = cursor.Take(base_size);
      const uint64_t extent_count = cursor.Take(2);
      bool wanted = false;
      for (uint32_t exif_id : ids) wanted = wanted || exif_id == id;
      std::vector<Extent> extents;
      for (uint64_t e = 0; e < extent_count && cursor.ok(); ++e) {
        if (++extents_seen > kMaxExtentsSeen) {
          Fail("too many item extents");
          return;
        }
        cursor.Take(index_size);
        const uint64_t offset = cursor.Take(offset_size);
        const uint64_t length = cursor.Take(length_size);
        if (wanted && extents.size() < kMaxExtents) extents.push_back({offset, length});
      }
      if (!cursor.ok()) break;
      // Items in other files (a data reference) or built from other items are not read.
      if (!wanted || reference != 0 || method > 1 || extents.empty()) continue;
      if (ReadExifItem(extents, base, method == 1 ? &data : nullptr)) return;
    }
    if (!cursor.ok()) Fail("item locations damaged");
  }

  // Reads one Exif item from the file (or from "idat") and parses its block. True when a
  // block parsed.
  bool ReadExifItem(const std::vector<Extent>& extents, uint64_t base, const Box* data) {
    uint64_t area_start = 0;
    uint64_t area_end = source_.Size();
    if (data != nullptr) {
      if (data->end == 0) {
        Fail("item in a missing idat box");
        return false;
      }
      area_start = data->payload;
      area_end = data->end;
    }
    std::vector<unsigned char> bytes;
    for (const Extent& extent : extents) {
      uint64_t start = 0;
      uint64_t end = 0;
      if (!Add(area_start, base, &start) || !Add(start, extent.offset, &start) ||
          start > area_end) {
        Fail("Exif item outside the file");
        return false;
      }
      // A length of 0 means the rest of the area.
      if (extent.length == 0) {
        end = area_end;
      } else if (!Add(start, extent.length, &end) || end > area_end) {
        Fail("Exif item outside the file");
        return false;
      }
      if (end - start > kMaxExifBlock - bytes.size()) {
        Fail("Exif item too large");
        return false;
      }
      const size_t at = bytes.size();
      bytes.resize(at + static_cast<size_t>(end - start));
      if (!source_.Read(start, static_cast<size_t>(end - start), bytes.data() + at)) {
        Fail("cannot read an Exif item");
        return false;
      }
    }
    // The item begins with the offset of the TIFF header from the end of that field.
    size_t tiff = bytes.size();
    if (bytes.size() >= 4) {
      const uint64_t skip = Be32(bytes.data());
      if (skip <= bytes.size() - 4 &&
          media::IsTiffHeader(bytes.data() + 4 + skip, bytes.size() - 4 - skip)) {
        tiff = static_cast<size_t>(4 + skip);
      } else if (const size_t at = media::TiffStart(bytes.data() + 4, bytes.size() - 4);
                 at < bytes.size() - 4) {
        tiff = 4 + at;
      }
    }
    // Without the offset field the item is an Exif payload itself.
    const ExifBlockDate found = tiff < bytes.size()
                                    ? ReadExifBlockDate(bytes.data() + tiff, bytes.size() - tiff)
                                    : ReadExifPayloadDate(bytes.data(), bytes.size());
    if (!found.has_exif) return false;
    dates_->date_time_original = found.date_time_original;
    return true;
  }

  ByteSource& source_;
  MediaDates* dates_;
  int boxes_ = 0;
  const char* fault_ = nullptr;
};

}  // namespace

bool ReadIsoMediaDates(ByteSource& source, MediaDates* dates, std::string* error) {
  LimitedByteSource limited(source, kMaxHeaderBytes);
  IsoReader reader(limited, dates);
  return media::WithinLimit(limited, reader.Read(error), error);
}

}  // namespace nandell
