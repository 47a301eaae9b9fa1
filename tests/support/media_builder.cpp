// Media file builder for tests: ISO base media boxes, RIFF chunks, PNG chunks, raw TIFF files.
#include "tests/support/media_builder.h"

#include <cstring>

namespace nandell::test_support {

namespace {

Bytes BigEndian(uint64_t value, int size) {
  Bytes out;
  for (int i = size - 1; i >= 0; --i) out.push_back(static_cast<char>((value >> (8 * i)) & 0xFF));
  return out;
}

Bytes LittleEndian(uint64_t value, int size) {
  Bytes out;
  for (int i = 0; i < size; ++i) out.push_back(static_cast<char>((value >> (8 * i)) & 0xFF));
  return out;
}

uint32_t Crc32(const Bytes& bytes) {
  uint32_t crc = 0xFFFFFFFF;
  for (unsigned char c : bytes) {
    crc ^= c;
    for (int k = 0; k < 8; ++k) crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1)));
  }
  return crc ^ 0xFFFFFFFF;
}

const Bytes kNul(1, '\0');

// A HEIF meta box whose iloc puts the Exif item at `exif_offset` (file or idat offset).
Bytes HeifMeta(const HeifFacts& facts, uint32_t picture_offset, uint32_t exif_offset) {
  const bool has_exif = !facts.exif_item.empty();
  auto infe = [&](uint32_t id, const char* type) {
    Bytes payload = facts.infe_version >= 3 ? Be32(id) : Be16(static_cast<uint16_t>(id));
    return FullBox("infe", static_cast<uint8_t>(facts.infe_version),
                   payload + Be16(0) + type + kNul);
  };
  Bytes infos = infe(2, "hvc1");
  if (has_exif) infos += infe(1, "Exif");
  const Bytes iinf = FullBox("iinf", 0, Be16(has_exif ? 2 : 1) + infos);

  const int version = facts.iloc_version;
  auto location = [&](uint32_t id, int method, uint32_t offset, uint32_t length) {
    Bytes entry = version < 2 ? Be16(static_cast<uint16_t>(id)) : Be32(id);
    if (version >= 1) entry += Be16(static_cast<uint16_t>(method));
    return entry + Be16(0) + Be16(1) + Be32(offset) + Be32(length);
  };
  Bytes locations = location(2, 0, picture_offset, static_cast<uint32_t>(facts.picture_size));
  if (has_exif) {
    const int64_t length =
        facts.exif_length >= 0 ? facts.exif_length : static_cast<int64_t>(facts.exif_item.size());
    locations += location(1, facts.item_in_idat ? 1 : 0,
                          static_cast<uint32_t>(exif_offset + facts.exif_offset_shift),
                          static_cast<uint32_t>(length));
  }
  const Bytes count = version < 2 ? Be16(has_exif ? 2 : 1) : Be32(has_exif ? 2 : 1);
  const Bytes iloc =
      FullBox("iloc", static_cast<uint8_t>(version), Bytes("\x44\x00", 2) + count + locations);

  Bytes children = FullBox("hdlr", 0, Be32(0) + "pict" + Bytes(12, '\0') + kNul) +
                   FullBox("pitm", 0, Be16(2)) + iinf + iloc;
  if (has_exif && facts.item_in_idat) children += IsoBox("idat", facts.exif_item);
  return FullBox("meta", 0, children);
}

Bytes MovieHeader(const MovieFacts& facts) {
  Bytes times;
  if (facts.movie_header_version == 1) {
    times = Be64(facts.movie_header_time) + Be64(facts.movie_header_time) + Be32(600) + Be64(0);
  } else {
    times = Be32(static_cast<uint32_t>(facts.movie_header_time)) +
            Be32(static_cast<uint32_t>(facts.movie_header_time)) + Be32(600) + Be32(0);
  }
  // Rate, volume, reserved, matrix, pre-defined, next track id.
  const Bytes rest = Be32(0x00010000) + Be16(0x0100) + Bytes(10, '\0') + Bytes(36, '\0') +
                     Bytes(24, '\0') + Be32(2);
  return FullBox("mvhd", static_cast<uint8_t>(facts.movie_header_version), times + rest);
}

// An ilst item holding one UTF-8 "data" box.
Bytes ListItem(const Bytes& type, const std::string& text) {
  return IsoBox(type, IsoBox("data", Be32(1) + Be32(0) + text));
}

}  // namespace

Bytes Be16(uint16_t value) {
  return BigEndian(value, 2);
}
Bytes Be32(uint32_t value) {
  return BigEndian(value, 4);
}
Bytes Be64(uint64_t value) {
  return BigEndian(value, 8);
}
Bytes Le16(uint16_t value) {
  return LittleEndian(value, 2);
}
Bytes Le32(uint32_t value) {
  return LittleEndian(value, 4);
}

Bytes IsoBox(const std::string& type, const Bytes& payload) {
  return Be32(static_cast<uint32_t>(8 + payload.size())) + type + payload;
}

Bytes FullBox(const std::string& type, uint8_t version, const Bytes& payload) {
  return IsoBox(type, Bytes(1, static_cast<char>(version)) + Bytes(3, '\0') + payload);
}

Bytes ExifItem(const TiffBlock& block) {
  return Be32(6) + BuildExifPayload(block);
}

Bytes MakeHeif(const HeifFacts& facts) {
  const Bytes ftyp = IsoBox("ftyp", facts.brand + Be32(0) + "mif1" + facts.brand);
  // Offsets do not change the meta box's size, so a first pass gives the layout.
  const size_t meta_size = HeifMeta(facts, 0, 0).size();
  const uint32_t picture_at = static_cast<uint32_t>(ftyp.size() + meta_size + 8);
  const bool exif_in_mdat = !facts.exif_item.empty() && !facts.item_in_idat;
  uint32_t exif_at = 0;
  if (exif_in_mdat) {
    exif_at = picture_at + static_cast<uint32_t>(facts.picture_size);
    if (facts.item_at_end) exif_at += 8;  // the second mdat's header
  }
  Bytes out = ftyp + HeifMeta(facts, picture_at, exif_at);
  const Bytes picture(facts.picture_size, '\x42');
  if (exif_in_mdat && !facts.item_at_end) {
    out += IsoBox("mdat", picture + facts.exif_item);
  } else {
    out += IsoBox("mdat", picture);
    if (exif_in_mdat) out += IsoBox("mdat", facts.exif_item);
  }
  return out;
}

Bytes MovieBox(const MovieFacts& facts) {
  Bytes children = MovieHeader(facts);
  children += IsoBox("trak", FullBox("tkhd", 0, Bytes(80, '\0')));
  Bytes user_data;
  if (!facts.user_data_day.empty()) {
    user_data += IsoBox(
        "\xA9"
        "day",
        Be16(static_cast<uint16_t>(facts.user_data_day.size())) + Be16(0x55C4) +
            facts.user_data_day);
  }
  if (!facts.user_data_date.empty()) user_data += IsoBox("date", facts.user_data_date);
  if (!facts.list_day.empty()) {
    user_data += FullBox("meta", 0,
                         FullBox("hdlr", 0, Be32(0) + "mdir" + Bytes(12, '\0') + kNul) +
                             IsoBox("ilst", ListItem("\xA9"
                                                     "day",
                                                     facts.list_day)));
  }
  if (!user_data.empty()) children += IsoBox("udta", user_data);
  if (!facts.creation_date.empty()) {
    const std::string location = "com.apple.quicktime.location.ISO6709";
    const std::string creation = "com.apple.quicktime.creationdate";
    const Bytes keys =
        FullBox("keys", 0,
                Be32(2) + Be32(static_cast<uint32_t>(8 + location.size())) + "mdta" + location +
                    Be32(static_cast<uint32_t>(8 + creation.size())) + "mdta" + creation);
    const Bytes list = IsoBox(
        "ilst", ListItem(Be32(1), "+51.4169-000.0806/") + ListItem(Be32(2), facts.creation_date));
    // QuickTime's meta box has no version and flags.
    children +=
        IsoBox("meta", FullBox("hdlr", 0, Be32(0) + "mdta" + Bytes(12, '\0') + kNul) + keys + list);
  }
  return IsoBox("moov", children);
}

MovieParts MakeMovieParts(const MovieFacts& facts) {
  MovieParts parts;
  if (!facts.brand.empty()) {
    parts.head = IsoBox("ftyp", facts.brand + Be32(0) + facts.brand + "isom");
  }
  const Bytes movie = MovieBox(facts);
  if (facts.movie_first) parts.head += movie;
  if (facts.large_media_box) {
    parts.head += Be32(1) + "mdat" + Be64(16 + facts.media_size);
  } else {
    parts.head += Be32(static_cast<uint32_t>(8 + facts.media_size)) + "mdat";
  }
  parts.media_size = facts.media_size;
  if (!facts.movie_first) parts.tail = movie;
  return parts;
}

Bytes MakeMovie(const MovieFacts& facts) {
  const MovieParts parts = MakeMovieParts(facts);
  return parts.head + Bytes(parts.media_size, '\0') + parts.tail;
}

Bytes RiffChunk(const std::string& id, const Bytes& data) {
  Bytes out = id + Le32(static_cast<uint32_t>(data.size())) + data;
  if (data.size() % 2 != 0) out.push_back('\0');
  return out;
}

Bytes RiffList(const std::string& type, const Bytes& chunks) {
  return RiffChunk("LIST", type + chunks);
}

Bytes Riff(const std::string& form, const Bytes& chunks) {
  return "RIFF" + Le32(static_cast<uint32_t>(4 + chunks.size())) + form + chunks;
}

Bytes MakeAvi(const AviFacts& facts) {
  Bytes header =
      RiffChunk("avih", Bytes(56, '\0')) +
      RiffList("strl", RiffChunk("strh", Bytes(56, '\0')) + RiffChunk("strf", Bytes(40, '\0')));
  if (!facts.idit.empty()) header += RiffChunk("IDIT", facts.idit + kNul);
  Bytes chunks = RiffList("hdrl", header);
  if (!facts.nikon_original.empty() || !facts.nikon_create.empty()) {
    Bytes tags = Le16(0x03) + Le16(18) + Bytes("NIKON CORPORATION", 17) + kNul;
    if (!facts.nikon_create.empty()) {
      tags += Le16(0x13) + Le16(static_cast<uint16_t>(facts.nikon_create.size() + 1)) +
              facts.nikon_create + kNul;
    }
    if (!facts.nikon_original.empty()) {
      tags += Le16(0x14) + Le16(static_cast<uint16_t>(facts.nikon_original.size() + 1)) +
              facts.nikon_original + kNul;
    }
    chunks += RiffList("ncdt", RiffChunk("ncvr", Bytes(10, '\0')) + RiffChunk("nctg", tags));
  }
  chunks += RiffList("movi", RiffChunk("00dc", Bytes(facts.movie_size, '\x11')));
  chunks += RiffChunk("idx1", Bytes(16, '\0'));
  return Riff("AVI ", chunks);
}

Bytes MakeWebp(const Bytes& exif, bool flagged) {
  const char flags = flagged && !exif.empty() ? 0x08 : 0x00;
  Bytes chunks = RiffChunk("VP8X", Bytes(1, flags) + Bytes(3, '\0') + Bytes("\x0F\x00\x00", 3) +
                                       Bytes("\x0F\x00\x00", 3));
  chunks += RiffChunk("VP8 ", Bytes(301, '\x22'));
  if (!exif.empty()) chunks += RiffChunk("EXIF", exif);
  return Riff("WEBP", chunks);
}

Bytes PngChunk(const std::string& type, const Bytes& data) {
  const Bytes body = type + data;
  return Be32(static_cast<uint32_t>(data.size())) + body + Be32(Crc32(body));
}

Bytes MakePng(const Bytes& exif, bool exif_after_image) {
  Bytes out("\x89PNG\r\n\x1a\n", 8);
  out += PngChunk("IHDR", Be32(16) + Be32(16) + Bytes("\x08\x02\x00\x00\x00", 5));
  if (!exif.empty() && !exif_after_image) out += PngChunk("eXIf", exif);
  out += PngChunk("IDAT", Bytes(200, '\x33'));
  if (!exif.empty() && exif_after_image) out += PngChunk("eXIf", exif);
  return out + PngChunk("IEND", "");
}

Bytes MakeRawTiff(const TiffBlock& block, const Bytes& header, size_t image_size) {
  Bytes out = BuildTiff(block);
  out.replace(0, 4, header);
  return out + Bytes(image_size, '\x77');
}

}  // namespace nandell::test_support
