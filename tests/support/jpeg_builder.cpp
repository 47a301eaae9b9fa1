#include "tests/support/jpeg_builder.h"

#include <bit>
#include <cmath>

namespace nandell::test_support {

namespace {

void Put(Bytes* out, uint64_t value, int size, ByteOrder order) {
  for (int i = 0; i < size; ++i) {
    const int shift = order == ByteOrder::kIntel ? 8 * i : 8 * (size - 1 - i);
    out->push_back(static_cast<char>((value >> shift) & 0xFF));
  }
}

void PutBig16(Bytes* out, uint32_t value) {
  Put(out, value, 2, ByteOrder::kMotorola);
}

Bytes EncodeValue(const IfdEntry& entry, ByteOrder order) {
  Bytes value;
  for (uint64_t unit : entry.units) Put(&value, unit, entry.unit_size, order);
  return value;
}

IfdEntry Make(uint16_t tag, uint16_t format, std::vector<uint64_t> units, int unit_size,
              uint32_t count) {
  IfdEntry entry;
  entry.tag = tag;
  entry.format = format;
  entry.count = count;
  entry.units = std::move(units);
  entry.unit_size = unit_size;
  return entry;
}

constexpr uint16_t kTagThumbnailOffset = 0x0201;
constexpr uint16_t kTagThumbnailLength = 0x0202;

// Entries of a directory as written, the thumbnail's two entries included.
std::vector<IfdEntry> EntriesOf(const Ifd& ifd) {
  std::vector<IfdEntry> entries = ifd.entries;
  if (!ifd.thumbnail.empty()) {
    entries.push_back(Long(kTagThumbnailOffset, 0));
    entries.push_back(Long(kTagThumbnailLength, static_cast<uint32_t>(ifd.thumbnail.size())));
  }
  return entries;
}

struct Layout {
  std::vector<uint32_t> directory;  // offset of each directory
  std::vector<uint32_t> thumbnail;  // offset of each directory's thumbnail
};

size_t ValueSize(const IfdEntry& entry) {
  return entry.units.size() * entry.unit_size;
}

bool ValueOutside(const IfdEntry& entry) {
  return !entry.raw_field && entry.link < 0 && ValueSize(entry) > 4;
}

Layout LayOut(const TiffBlock& block) {
  Layout layout;
  uint32_t at = 8 + block.gap;
  for (const Ifd& ifd : block.ifds) {
    layout.directory.push_back(at);
    const std::vector<IfdEntry> entries = EntriesOf(ifd);
    at += 2 + 12 * static_cast<uint32_t>(entries.size()) + 4;
    for (const IfdEntry& entry : entries) {
      if (ValueOutside(entry)) at += static_cast<uint32_t>((ValueSize(entry) + 1) & ~size_t{1});
    }
    layout.thumbnail.push_back(at);
    at += static_cast<uint32_t>(ifd.thumbnail.size());
  }
  return layout;
}

// Canonical Huffman codes of a table given by its 16 counts and its symbols.
struct HuffmanTable {
  uint8_t counts[16];
  std::vector<uint8_t> symbols;
  uint16_t code[256] = {};
  uint8_t size[256] = {};

  HuffmanTable(std::initializer_list<uint8_t> c, std::vector<uint8_t> s) : symbols(std::move(s)) {
    int i = 0;
    for (uint8_t n : c) counts[i++] = n;
    uint16_t next = 0;
    size_t k = 0;
    for (int length = 1; length <= 16; ++length) {
      for (int n = 0; n < counts[length - 1]; ++n) {
        code[symbols[k]] = next++;
        size[symbols[k]] = static_cast<uint8_t>(length);
        ++k;
      }
      next = static_cast<uint16_t>(next << 1);
    }
  }

  Bytes Payload(uint8_t class_and_id) const {
    Bytes out(1, static_cast<char>(class_and_id));
    for (uint8_t n : counts) out.push_back(static_cast<char>(n));
    for (uint8_t s : symbols) out.push_back(static_cast<char>(s));
    return out;
  }
};

const HuffmanTable& DcLuma() {
  static const HuffmanTable table({0, 1, 5, 1, 1, 1, 1, 1, 1, 0, 0, 0, 0, 0, 0, 0},
                                  {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11});
  return table;
}
const HuffmanTable& DcChroma() {
  static const HuffmanTable table({0, 3, 1, 1, 1, 1, 1, 1, 1, 1, 1, 0, 0, 0, 0, 0},
                                  {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11});
  return table;
}
// Only end-of-block is ever coded for the AC coefficients: one symbol, one bit.
const HuffmanTable& AcEndOfBlockOnly() {
  static const HuffmanTable table({1, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}, {0x00});
  return table;
}

constexpr uint8_t kLumaQuant[64] = {16,  11,  10,  16,  24, 40, 51,  61,  12,  12,  14,  19,  26,
                                    58,  60,  55,  14,  13, 16, 24,  40,  57,  69,  56,  14,  17,
                                    22,  29,  51,  87,  80, 62, 18,  22,  37,  56,  68,  109, 103,
                                    77,  24,  35,  55,  64, 81, 104, 113, 92,  49,  64,  78,  87,
                                    103, 121, 120, 101, 72, 92, 95,  98,  112, 100, 103, 99};
constexpr uint8_t kChromaQuant[64] = {
    17, 18, 24, 47, 99, 99, 99, 99, 18, 21, 26, 66, 99, 99, 99, 99, 24, 26, 56, 99, 99, 99,
    99, 99, 47, 66, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99,
    99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99};

class BitWriter {
 public:
  explicit BitWriter(Bytes* out) : out_(out) {}
  void Write(uint32_t bits, int count) {
    for (int i = count - 1; i >= 0; --i) {
      accumulator_ = static_cast<uint8_t>((accumulator_ << 1) | ((bits >> i) & 1));
      if (++filled_ == 8) Flush();
    }
  }
  void Finish() {
    while (filled_ != 0) Write(1, 1);
  }

 private:
  void Flush() {
    out_->push_back(static_cast<char>(accumulator_));
    if (accumulator_ == 0xFF) out_->push_back('\0');  // byte stuffing
    accumulator_ = 0;
    filled_ = 0;
  }
  Bytes* out_;
  uint8_t accumulator_ = 0;
  int filled_ = 0;
};

void WriteDc(BitWriter* writer, const HuffmanTable& table, int diff) {
  int magnitude = diff < 0 ? -diff : diff;
  int category = 0;
  while (magnitude > 0) {
    ++category;
    magnitude >>= 1;
  }
  writer->Write(table.code[category], table.size[category]);
  if (category > 0) {
    const int bits = diff < 0 ? diff + (1 << category) - 1 : diff;
    writer->Write(static_cast<uint32_t>(bits), category);
  }
}

// Mean colour of one 8x8 block of the picture: sky, sun and hills, shifted by the pattern.
void BlockColour(const Picture& picture, int bx, int by, double* r, double* g, double* b) {
  const double x = (bx + 0.5) * 8 / picture.width;
  const double y = (by + 0.5) * 8 / picture.height;
  const double shift = (picture.pattern % 7) / 7.0;
  const double hill = 0.62 + 0.12 * std::sin(6.0 * x + 3.0 * shift);
  const double sun_x = 0.2 + 0.6 * shift;
  const double sun = std::hypot(x - sun_x, (y - 0.25) * 0.75);
  if (sun < 0.1) {
    *r = 250, *g = 220 - 60 * shift, *b = 120;
  } else if (y < hill) {
    *r = 90 + 80 * y + 60 * shift, *g = 140 + 60 * y, *b = 230 - 40 * shift;
  } else {
    *r = 60 + 90 * shift, *g = 150 - 60 * (y - hill) - 40 * shift, *b = 50 + 30 * shift;
  }
}

int QuantisedDc(double sample, int quant) {
  return static_cast<int>(std::lround((sample - 128.0) * 8.0 / quant));
}

}  // namespace

IfdEntry Ascii(uint16_t tag, const std::string& text) {
  std::vector<uint64_t> units(text.begin(), text.end());
  for (uint64_t& u : units) u &= 0xFF;
  units.push_back(0);
  const auto count = static_cast<uint32_t>(units.size());
  return Make(tag, kFormatAscii, std::move(units), 1, count);
}
IfdEntry Undefined(uint16_t tag, const Bytes& bytes) {
  std::vector<uint64_t> units;
  for (char c : bytes) units.push_back(static_cast<uint8_t>(c));
  const auto count = static_cast<uint32_t>(units.size());
  return Make(tag, kFormatUndefined, std::move(units), 1, count);
}
IfdEntry Byte(uint16_t tag, uint8_t value) {
  return Make(tag, kFormatByte, {value}, 1, 1);
}
IfdEntry Short(uint16_t tag, uint16_t value) {
  return Make(tag, kFormatShort, {value}, 2, 1);
}
IfdEntry SShort(uint16_t tag, int16_t value) {
  return Make(tag, kFormatSShort, {static_cast<uint16_t>(value)}, 2, 1);
}
IfdEntry Long(uint16_t tag, uint32_t value) {
  return Make(tag, kFormatLong, {value}, 4, 1);
}
IfdEntry SLong(uint16_t tag, int32_t value) {
  return Make(tag, kFormatSLong, {static_cast<uint32_t>(value)}, 4, 1);
}
IfdEntry Rational(uint16_t tag, uint32_t numerator, uint32_t denominator) {
  return Make(tag, kFormatRational, {numerator, denominator}, 4, 1);
}
IfdEntry SRational(uint16_t tag, int32_t numerator, int32_t denominator) {
  return Make(tag, kFormatSRational,
              {static_cast<uint32_t>(numerator), static_cast<uint32_t>(denominator)}, 4, 1);
}
IfdEntry Float(uint16_t tag, float value) {
  return Make(tag, kFormatFloat, {std::bit_cast<uint32_t>(value)}, 4, 1);
}
IfdEntry Double(uint16_t tag, double value) {
  return Make(tag, kFormatDouble, {std::bit_cast<uint64_t>(value)}, 8, 1);
}
IfdEntry Link(uint16_t tag, int directory) {
  IfdEntry entry = Make(tag, kFormatLong, {}, 4, 1);
  entry.link = directory;
  return entry;
}
IfdEntry Raw(uint16_t tag, uint16_t format, uint32_t count, uint32_t field) {
  IfdEntry entry = Make(tag, format, {}, 1, count);
  entry.raw_field = field;
  return entry;
}

uint32_t DirectoryOffset(const TiffBlock& block, int index) {
  return LayOut(block).directory.at(static_cast<size_t>(index));
}

Bytes BuildTiff(const TiffBlock& block) {
  const Layout layout = LayOut(block);
  const ByteOrder order = block.order;
  Bytes out = order == ByteOrder::kIntel ? "II" : "MM";
  Put(&out, block.magic, 2, order);
  Put(&out, block.first_offset.value_or(8 + block.gap), 4, order);
  out.append(block.gap, '\0');

  auto offset_of = [&](int index) -> uint32_t {
    if (index < 0 || static_cast<size_t>(index) >= layout.directory.size()) return 0;
    return layout.directory[static_cast<size_t>(index)];
  };
  for (size_t i = 0; i < block.ifds.size(); ++i) {
    const Ifd& ifd = block.ifds[i];
    const std::vector<IfdEntry> entries = EntriesOf(ifd);
    uint32_t data_at = layout.directory[i] + 2 + 12 * static_cast<uint32_t>(entries.size()) + 4;
    Bytes data;
    Put(&out, entries.size(), 2, order);
    for (const IfdEntry& entry : entries) {
      Put(&out, entry.tag, 2, order);
      Put(&out, entry.format, 2, order);
      Put(&out, entry.count, 4, order);
      if (entry.raw_field) {
        Put(&out, *entry.raw_field, 4, order);
      } else if (entry.link >= 0) {
        Put(&out, offset_of(entry.link), 4, order);
      } else if (entry.tag == kTagThumbnailOffset && !ifd.thumbnail.empty() &&
                 &entry == &entries[entries.size() - 2]) {
        Put(&out, layout.thumbnail[i], 4, order);
      } else if (ValueOutside(entry)) {
        Put(&out, data_at + data.size(), 4, order);
        data += EncodeValue(entry, order);
        if (data.size() % 2 != 0) data.push_back('\0');
      } else {
        Bytes value = EncodeValue(entry, order);
        value.resize(4, '\0');
        out += value;
      }
    }
    Put(&out, ifd.raw_next.value_or(offset_of(ifd.next)), 4, order);
    out += data;
    out += ifd.thumbnail;
  }
  out += block.tail;
  return out;
}

Bytes BuildExifPayload(const TiffBlock& block) {
  return Bytes("Exif\0\0", 6) + BuildTiff(block);
}

TiffBlock CameraTiff(const CameraFacts& facts) {
  TiffBlock block;
  block.order = facts.order;
  Ifd ifd0;
  ifd0.entries = {Ascii(0x010F, facts.make),
                  Ascii(0x0110, facts.model),
                  Short(0x0112, facts.orientation),
                  Rational(0x011A, 72, 1),
                  Rational(0x011B, 72, 1),
                  Short(0x0128, 2),
                  Ascii(0x0131, "Nandell test builder")};
  if (!facts.date_time_original.empty()) {
    ifd0.entries.push_back(Ascii(0x0132, facts.date_time_original));
  }
  ifd0.entries.push_back(Link(0x8769, 1));
  Ifd exif;
  exif.entries = {Rational(0x829A, 1, 125), Rational(0x829D, 28, 10), Short(0x8822, 2),
                  Short(0x8827, 100), Undefined(0x9000, "0230")};
  if (!facts.date_time_original.empty()) {
    exif.entries.push_back(Ascii(0x9003, facts.date_time_original));
    exif.entries.push_back(Ascii(0x9004, facts.date_time_original));
  }
  exif.entries.push_back(Short(0x9207, 5));
  exif.entries.push_back(Short(0x9209, 16));
  exif.entries.push_back(Rational(0x920A, 50, 10));
  exif.entries.push_back(Short(0xA002, facts.width));
  exif.entries.push_back(Short(0xA003, facts.height));
  block.ifds = {ifd0, exif};
  if (!facts.thumbnail.empty()) {
    Ifd ifd1;
    ifd1.entries = {Short(0x0103, 6)};
    ifd1.thumbnail = facts.thumbnail;
    block.ifds.push_back(ifd1);
    block.ifds[0].next = 2;
  }
  return block;
}

JpegBuilder& JpegBuilder::Soi() {
  return Raw(Bytes("\xFF\xD8", 2));
}

JpegBuilder& JpegBuilder::Eoi() {
  return Raw(Bytes("\xFF\xD9", 2));
}

JpegBuilder& JpegBuilder::Raw(const Bytes& bytes) {
  out_ += bytes;
  return *this;
}

JpegBuilder& JpegBuilder::Segment(uint8_t marker, const Bytes& payload) {
  return SegmentWithLength(marker, static_cast<uint16_t>(payload.size() + 2), payload);
}

JpegBuilder& JpegBuilder::SegmentWithLength(uint8_t marker, uint16_t length, const Bytes& payload) {
  out_.push_back('\xFF');
  out_.push_back(static_cast<char>(marker));
  PutBig16(&out_, length);
  out_ += payload;
  return *this;
}

JpegBuilder& JpegBuilder::App0Jfif() {
  return Segment(0xE0, Bytes("JFIF\0\x01\x01\x00\x00\x01\x00\x01\x00\x00", 14));
}

JpegBuilder& JpegBuilder::App1Exif(const TiffBlock& block) {
  return Segment(0xE1, BuildExifPayload(block));
}

JpegBuilder& JpegBuilder::Comment(const Bytes& text) {
  return Segment(0xFE, text);
}

JpegBuilder& JpegBuilder::StartOfFrame(uint16_t width, uint16_t height, uint8_t components,
                                       uint8_t marker) {
  Bytes payload(1, '\x08');
  PutBig16(&payload, height);
  PutBig16(&payload, width);
  payload.push_back(static_cast<char>(components));
  for (uint8_t c = 1; c <= components; ++c) {
    payload.push_back(static_cast<char>(c));
    payload.push_back('\x11');
    payload.push_back(c == 1 ? '\0' : '\x01');
  }
  return Segment(marker, payload);
}

JpegBuilder& JpegBuilder::StartOfScan(uint8_t components) {
  Bytes payload(1, static_cast<char>(components));
  for (uint8_t c = 1; c <= components; ++c) {
    payload.push_back(static_cast<char>(c));
    payload.push_back(c == 1 ? '\0' : '\x11');
  }
  payload += Bytes("\x00\x3F\x00", 3);
  return Segment(0xDA, payload);
}

JpegBuilder& JpegBuilder::BaselineImage(const Picture& picture) {
  Bytes quant(1, '\0');
  quant.append(reinterpret_cast<const char*>(kLumaQuant), 64);
  quant.push_back('\x01');
  quant.append(reinterpret_cast<const char*>(kChromaQuant), 64);
  Segment(0xDB, quant);
  StartOfFrame(picture.width, picture.height, 3);
  Segment(0xC4, DcLuma().Payload(0x00) + AcEndOfBlockOnly().Payload(0x10) +
                    DcChroma().Payload(0x01) + AcEndOfBlockOnly().Payload(0x11));
  StartOfScan(3);

  BitWriter writer(&out_);
  int previous[3] = {0, 0, 0};
  for (int by = 0; by < picture.height / 8; ++by) {
    for (int bx = 0; bx < picture.width / 8; ++bx) {
      double r, g, b;
      BlockColour(picture, bx, by, &r, &g, &b);
      const double samples[3] = {0.299 * r + 0.587 * g + 0.114 * b,
                                 -0.1687 * r - 0.3313 * g + 0.5 * b + 128,
                                 0.5 * r - 0.4187 * g - 0.0813 * b + 128};
      for (int c = 0; c < 3; ++c) {
        const int dc = QuantisedDc(samples[c], c == 0 ? kLumaQuant[0] : kChromaQuant[0]);
        WriteDc(&writer, c == 0 ? DcLuma() : DcChroma(), dc - previous[c]);
        previous[c] = dc;
        writer.Write(AcEndOfBlockOnly().code[0], AcEndOfBlockOnly().size[0]);
      }
    }
  }
  writer.Finish();
  return Eoi();
}

Bytes MakeCameraJpeg(const CameraFacts& facts, const Picture& picture) {
  JpegBuilder builder;
  builder.Soi().App1Exif(CameraTiff(facts)).BaselineImage(picture);
  return builder.bytes();
}

Bytes MakeJpegWithDate(const std::string& date_time_original) {
  CameraFacts facts;
  facts.date_time_original = date_time_original;
  return MakeCameraJpeg(facts, Picture{});
}

std::vector<HostileJpeg> HostileJpegs() {
  const std::string kDate = "2015:03:04 12:34:56";
  const std::string kDay = "2015-03-04";
  std::vector<HostileJpeg> files;
  auto with_tiff = [&](const std::string& name, const TiffBlock& block, const std::string& day) {
    JpegBuilder builder;
    builder.Soi().App1Exif(block).BaselineImage(Picture{16, 16, 1});
    files.push_back({name, builder.bytes(), day});
  };
  auto camera = [&](ByteOrder order) {
    CameraFacts facts;
    facts.order = order;
    facts.date_time_original = kDate;
    return CameraTiff(facts);
  };

  for (ByteOrder order : {ByteOrder::kIntel, ByteOrder::kMotorola}) {
    const std::string suffix = order == ByteOrder::kIntel ? "_ii" : "_mm";
    TiffBlock block = camera(order);
    block.ifds[0].next = 0;  // A -> A
    with_tiff("ifd0_next_is_itself" + suffix, block, kDay);

    block = camera(order);
    block.ifds[0].next = 1;  // IFD0 -> EXIF -> IFD0
    block.ifds[1].next = 0;
    with_tiff("ifd0_exif_next_cycle" + suffix, block, kDay);

    block = camera(order);
    block.ifds[1].entries.push_back(Link(0xA005, 0));  // EXIF sub-directory back to IFD0
    block.ifds[1].entries.push_back(Link(0x8769, 1));  // and to itself
    with_tiff("exif_links_back_to_ifd0" + suffix, block, kDay);

    block = camera(order);
    block.ifds[1].entries.push_back(Raw(0x9286, kFormatAscii, 0xFFFFFFFF, 26));
    with_tiff("count_ffffffff_after_date" + suffix, block, kDay);

    block = camera(order);
    block.ifds[0].entries.insert(block.ifds[0].entries.begin(),
                                 Raw(0x010F, kFormatLong, 0xFFFFFFFF, 8));
    with_tiff("count_ffffffff_in_ifd0" + suffix, block, "");

    block = camera(order);  // 8 x 0x20000000 is 2^32: zero in 32-bit arithmetic
    block.ifds[1].entries.insert(block.ifds[1].entries.begin(),
                                 Raw(0x829A, kFormatRational, 0x20000000, 8));
    with_tiff("rational_count_wraps_to_zero" + suffix, block, "");

    block = camera(order);  // 0xFFFFFFF0 + 20 wraps to 4
    block.ifds[1].entries.insert(block.ifds[1].entries.begin(),
                                 Raw(0x9003, kFormatAscii, 20, 0xFFFFFFF0));
    with_tiff("value_offset_wraps" + suffix, block, "");

    block = camera(order);
    block.ifds[0].entries.back() = Raw(0x8769, kFormatLong, 1, 0xFFFFFFFF);
    with_tiff("exif_link_wraps" + suffix, block, "");

    block = camera(order);
    block.ifds[0].raw_next = 0xFFFFFFF8;
    with_tiff("next_link_wraps" + suffix, block, "");

    block = camera(order);
    block.first_offset = 0xFFFFFFF8;
    with_tiff("first_offset_wraps" + suffix, block, "");

    block = camera(order);
    block.ifds[1].entries.insert(block.ifds[1].entries.begin(), Raw(0xFFFF, kFormatShort, 0, 0));
    block.ifds[1].entries.front().tag = 0x8769;  // a link whose value has no bytes
    with_tiff("link_with_count_0" + suffix, block, kDay);
  }

  {  // An endless-looking chain: 300 directories, each linking to the next.
    TiffBlock block = camera(ByteOrder::kIntel);
    const int first_extra = static_cast<int>(block.ifds.size());
    block.ifds[0].next = first_extra;
    for (int i = 0; i < 300; ++i) {
      Ifd ifd;
      ifd.entries = {Short(0x0112, 1)};
      ifd.next = i + 1 < 300 ? first_extra + i + 1 : first_extra;
      block.ifds.push_back(ifd);
    }
    with_tiff("chain_of_300_directories", block, kDay);
  }
  {  // Sixty directories, each linking to all sixty.
    TiffBlock block;
    for (int i = 0; i < 60; ++i) {
      Ifd ifd;
      for (int j = 0; j < 60; ++j) ifd.entries.push_back(Link(0x8769, j));
      ifd.entries.push_back(Ascii(0x9003, kDate));
      block.ifds.push_back(ifd);
    }
    with_tiff("sixty_directories_all_linked", block, kDay);
  }
  {
    TiffBlock block = camera(ByteOrder::kMotorola);
    block.ifds[0].entries.clear();
    block.ifds[0].raw_next = 0;
    Bytes tiff = BuildTiff(block);
    tiff[8] = '\xFF';  // entry count 0xFFFF
    tiff[9] = '\xFF';
    JpegBuilder builder;
    builder.Soi().Segment(0xE1, Bytes("Exif\0\0", 6) + tiff).StartOfScan();
    files.push_back({"entry_count_ffff", builder.bytes(), ""});
  }
  {
    TiffBlock block = camera(ByteOrder::kIntel);
    Ifd ifd1;
    ifd1.entries = {SLong(0x0201, -100), Long(0x0202, 50)};
    block.ifds.push_back(ifd1);
    block.ifds[0].next = 2;
    with_tiff("thumbnail_before_block", block, kDay);
  }

  const Bytes exif = BuildExifPayload(camera(ByteOrder::kIntel));
  for (uint16_t length : {0, 1, 2, 3, 6, 8, 10, 13, 15, 16}) {
    JpegBuilder builder;
    builder.Soi().SegmentWithLength(0xE1, length, exif).StartOfScan();
    files.push_back({"app1_length_" + std::to_string(length), builder.bytes(), ""});
  }
  {
    JpegBuilder builder;
    builder.Soi().SegmentWithLength(0xE1, 0xFFFF, exif);
    files.push_back({"app1_longer_than_file", builder.bytes(), ""});
  }
  {
    JpegBuilder builder;
    builder.Soi().SegmentWithLength(0xC0, 5, Bytes("\x08\x00\x10", 3)).StartOfScan();
    files.push_back({"frame_header_too_short", builder.bytes(), ""});
  }
  {
    JpegBuilder builder;
    builder.Soi().App1Exif(camera(ByteOrder::kIntel));
    for (int i = 0; i < 40; ++i) builder.Segment(0xE2, Bytes(10, 'x'));
    builder.Segment(0xEE, Bytes(4, 'y'));
    for (int i = 0; i < 25; ++i) builder.Segment(0xDB, Bytes(65, '\x01'));
    builder.StartOfScan();
    files.push_back({"too_many_sections_after_exif", builder.bytes(), kDay});
  }
  {
    JpegBuilder builder;
    builder.Soi().Raw(Bytes(7, '\xFF')).Raw(Bytes("\xE1\x00\x02", 3));
    files.push_back({"seven_fill_bytes", builder.bytes(), ""});
  }
  {
    JpegBuilder builder;
    builder.Soi().Raw(Bytes("\xFF\xD9\x00\x04\x00\x00", 6)).App1Exif(camera(ByteOrder::kIntel));
    files.push_back({"end_of_image_before_exif", builder.bytes(), ""});
  }
  {
    TiffBlock block = camera(ByteOrder::kIntel);
    block.ifds[1].entries.push_back(Raw(0x9286, kFormatUndefined, 2, 0x20202020));
    block.ifds[1].entries.push_back(Raw(0x9003, kFormatNone, 100, 0));
    with_tiff("format_0_date_and_short_comment", block, "");
  }
  return files;
}

}  // namespace nandell::test_support
