// The EXIF directory parser: header checks, the directory walk and its bounds, and the tags.
#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <cstring>

#include "tests/exif/reading.h"

namespace nandell::test_support {
namespace {

// One parse of one block; the reader, its record and the block live as long as this.
class Parsed {
 public:
  explicit Parsed(const TiffBlock& block) : Parsed(BuildExifPayload(block)) {}
  explicit Parsed(Bytes payload)
      : payload_(std::move(payload)), info_(new ImageInfo()), reader_(info_.get()) {
    ok_ = reader_.ParseExifBlock(reinterpret_cast<unsigned char*>(payload_.data()),
                                 static_cast<int>(payload_.size()) + 2);
  }
  bool ok() const { return ok_; }
  const ImageInfo& info() const { return *info_; }
  std::string error() const { return reader_.last_error(); }
  const unsigned char* tiff() const {
    return reinterpret_cast<const unsigned char*>(payload_.data()) + 6;
  }

 private:
  Bytes payload_;
  std::unique_ptr<ImageInfo> info_;
  ExifReader reader_;
  bool ok_;
};

// IFD0 and an Exif directory holding `exif_entries` after a DateTimeOriginal.
TiffBlock WithExifEntries(std::vector<IfdEntry> exif_entries, ByteOrder order = ByteOrder::kIntel) {
  TiffBlock block;
  block.order = order;
  Ifd ifd0;
  ifd0.entries = {Ascii(0x010F, "Maker"), Link(0x8769, 1)};
  Ifd exif;
  exif.entries = {Ascii(0x9003, "2015:03:04 12:34:56")};
  for (IfdEntry& entry : exif_entries) exif.entries.push_back(std::move(entry));
  block.ifds = {ifd0, exif};
  return block;
}

TiffBlock EveryTag(ByteOrder order) {
  TiffBlock block;
  block.order = order;
  Ifd ifd0, exif, interop, ifd1;
  ifd0.entries = {Ascii(0x010F, "NIKON CORPORATION"),
                  Ascii(0x0110, "NIKON D90"),
                  Short(0x0112, 6),
                  Rational(0x011A, 300, 1),
                  Rational(0x011B, 301, 1),
                  Short(0x0128, 3),
                  Link(0x8769, 1)};
  ifd0.next = 3;
  exif.entries = {Rational(0x829A, 1, 250),
                  Rational(0x829D, 56, 10),
                  Short(0x8822, 3),
                  Short(0x8827, 400),
                  Undefined(0x9000, "0221"),
                  Ascii(0x9003, "2009:10:11 12:13:14"),
                  SRational(0x9102, 4, 1),
                  SRational(0x9203, -12, 10),
                  SRational(0x9204, -2, 3),
                  Rational(0x9206, 35, 10),
                  Short(0x9207, 5),
                  Short(0x9208, 4),
                  Short(0x9209, 0x19),
                  Rational(0x920A, 180, 10),
                  Undefined(0x9286, Bytes("ASCII\0\0\0hello world   ", 22)),
                  Long(0xA002, 4288),
                  Long(0xA003, 2848),
                  Link(0xA005, 2),
                  Rational(0xA20E, 2000, 1),
                  Rational(0xA20F, 2001, 1),
                  Short(0xA210, 4)};
  interop.entries = {Ascii(0x0001, "R98")};
  ifd1.entries = {Short(0x0103, 6)};
  ifd1.thumbnail = Bytes("\xFF\xD8thumbnail\xFF\xD9", 13);
  block.ifds = {ifd0, exif, interop, ifd1};
  return block;
}

TEST(ExifParser, IntelAndMotorolaBlocksFillIdenticalRecords) {
  Parsed ii(EveryTag(ByteOrder::kIntel));
  Parsed mm(EveryTag(ByteOrder::kMotorola));
  ASSERT_TRUE(ii.ok()) << ii.error();
  ASSERT_TRUE(mm.ok()) << mm.error();
  ImageInfo a, b;
  std::memcpy(&a, &ii.info(), sizeof(ImageInfo));
  std::memcpy(&b, &mm.info(), sizeof(ImageInfo));
  ASSERT_NE(a.thumbnail, nullptr);
  ASSERT_NE(b.thumbnail, nullptr);
  EXPECT_EQ(std::string(reinterpret_cast<char*>(a.thumbnail), a.thumbnail_length),
            std::string(reinterpret_cast<char*>(b.thumbnail), b.thumbnail_length));
  EXPECT_EQ(a.thumbnail - ii.tiff(), b.thumbnail - mm.tiff());
  a.thumbnail = b.thumbnail = nullptr;
  EXPECT_EQ(std::memcmp(&a, &b, sizeof(ImageInfo)), 0);

  const ImageInfo& info = ii.info();
  EXPECT_STREQ(info.make, "NIKON CORPORATION");
  EXPECT_STREQ(info.model, "NIKON D90");
  EXPECT_STREQ(info.exif_version, "0221");
  EXPECT_STREQ(info.date_time_original, "2009:10:11 12:13:14");
  EXPECT_EQ(info.orientation, 6);
  EXPECT_FLOAT_EQ(info.x_resolution, 300);
  EXPECT_FLOAT_EQ(info.y_resolution, 301);
  EXPECT_EQ(std::bit_cast<uint32_t>(info.resolution_unit_inches), 0x3EC99326u);
  EXPECT_FLOAT_EQ(info.exposure_time, 1.0f / 250);
  EXPECT_FLOAT_EQ(info.f_number, 5.6f);
  EXPECT_EQ(info.exposure_program, 3);
  EXPECT_EQ(info.iso_speed, 400);
  EXPECT_EQ(info.compressed_bits_per_pixel, 4);
  EXPECT_FLOAT_EQ(info.brightness, -1.2f);
  EXPECT_FLOAT_EQ(info.exposure_bias, -2.0f / 3);
  EXPECT_FLOAT_EQ(info.subject_distance, 3.5f);
  EXPECT_EQ(info.metering_mode, 5);
  EXPECT_EQ(info.light_source, 4);
  EXPECT_EQ(info.flash_fired, 1);
  EXPECT_FLOAT_EQ(info.focal_length, 18);
  EXPECT_STREQ(info.comment, "hello world");
  EXPECT_FLOAT_EQ(info.focal_plane_x_resolution, 2000);
  EXPECT_FLOAT_EQ(info.focal_plane_y_resolution, 2001);
  EXPECT_EQ(std::bit_cast<uint32_t>(info.focal_plane_unit_inches), 0x3D214285u);
  EXPECT_FLOAT_EQ(info.focal_plane_width, 4288 * (1 / 25.4f) / 2000);
  EXPECT_EQ(info.thumbnail_length, 13);
  EXPECT_STREQ(ii.error().c_str(), "");
}

TEST(ExifParser, HeaderChecks) {
  const Bytes good = BuildExifPayload(CameraTiff({}));
  auto with = [&](size_t at, const Bytes& bytes) {
    Bytes payload = good;
    payload.replace(at, bytes.size(), bytes);
    return payload;
  };
  EXPECT_EQ(Parsed(with(0, "Exiv")).error(), "Incorrect Exif header");
  EXPECT_EQ(Parsed(with(4, Bytes("\0\x01", 2))).error(), "Incorrect Exif header");
  EXPECT_EQ(Parsed(with(6, "IM")).error(), "Invalid Exif alignment marker.");
  EXPECT_EQ(Parsed(with(8, Bytes("\x2B\x00", 2))).error(), "Invalid Exif start (1)");
  EXPECT_EQ(Parsed(with(6, "MM")).error(), "Invalid Exif start (1)");
  EXPECT_TRUE(Parsed(good).ok());
}

TEST(ExifParser, FirstDirectoryIsReadAtItsStoredOffset) {
  for (uint32_t gap : {0u, 1u, 8u, 10u, 704u}) {
    TiffBlock block = CameraTiff({});
    block.gap = gap;  // directory at 8 + gap, as the header says
    Parsed parsed(block);
    EXPECT_TRUE(parsed.ok()) << gap << ": " << parsed.error();
    EXPECT_STREQ(parsed.info().date_time_original, "2015:03:04 12:34:56") << gap;
    EXPECT_STREQ(parsed.info().make, "NANDELL") << gap;
  }
}

TEST(ExifParser, FirstDirectoryOffsetsBelowEightOrOutsideTheBlockAreRefused) {
  TiffBlock block = CameraTiff({});
  const uint32_t size = static_cast<uint32_t>(BuildTiff(block).size());
  for (uint32_t offset : {0u, 7u, size, size + 1, 0x7FFFFFFFu, 0xFFFFFFFFu}) {
    block.first_offset = offset;
    Parsed parsed(block);
    EXPECT_FALSE(parsed.ok()) << offset;
    EXPECT_EQ(parsed.error(), "Suspicious offset of first IFD value") << offset;
    EXPECT_STREQ(parsed.info().date_time_original, "") << offset;
  }
}

TEST(ExifParser, DateTimeAloneLeavesDateTimeOriginalEmpty) {
  TiffBlock block;
  Ifd ifd0;
  ifd0.entries = {Ascii(0x0132, "2015:03:04 12:34:56"), Ascii(0x9004, "2015:03:04 12:34:56")};
  block.ifds = {ifd0};
  Parsed parsed(block);
  EXPECT_TRUE(parsed.ok());
  EXPECT_STREQ(parsed.info().date_time_original, "");
}

TEST(ExifParser, TextsAreCutToTheirFields) {
  TiffBlock block;
  Ifd ifd0;
  ifd0.entries = {Ascii(0x010F, std::string(40, 'M')), Ascii(0x0110, std::string(50, 'm')),
                  Ascii(0x9003, "2015:03:04 12:34:56 and more"), Undefined(0x9000, "0230x")};
  block.ifds = {ifd0};
  Parsed parsed(block);
  EXPECT_EQ(std::string(parsed.info().make), std::string(31, 'M'));
  EXPECT_EQ(std::string(parsed.info().model), std::string(39, 'm'));
  EXPECT_STREQ(parsed.info().date_time_original, "2015:03:04 12:34:56");
  EXPECT_STREQ(parsed.info().exif_version, "0230");
}

TEST(ExifParser, TextAtTheEndOfTheBlockStopsThere) {
  // A 4-byte Make value in the entry of the last directory, with no NUL and nothing after.
  TiffBlock block;
  Ifd ifd0;
  ifd0.entries = {Raw(0x010F, kFormatAscii, 4, 0x4B4F4443)};  // "CDOK" in Intel order
  ifd0.raw_next = 0;
  block.ifds = {ifd0};
  Bytes payload = BuildExifPayload(block);
  payload.resize(payload.size() - 4);  // no next-directory offset: the block ends here
  Parsed parsed(payload);
  EXPECT_TRUE(parsed.ok());
  EXPECT_STREQ(parsed.info().make, "CDOK");
}

TEST(ExifParser, FormatFaultInTheExifDirectoryKeepsTheDate) {
  Parsed sub(WithExifEntries({Raw(0x9209, 13, 1, 0)}));
  EXPECT_TRUE(sub.ok());
  EXPECT_EQ(sub.error(), "Illegal format code in EXIF dir");
  EXPECT_STREQ(sub.info().date_time_original, "2015:03:04 12:34:56");

  TiffBlock block;
  Ifd ifd0;
  ifd0.entries = {Ascii(0x9003, "2015:03:04 12:34:56"), Raw(0x9209, 0xFFFF, 1, 0),
                  Short(0x0112, 3)};
  block.ifds = {ifd0};
  Parsed first(block);
  EXPECT_FALSE(first.ok());
  EXPECT_EQ(first.error(), "Illegal format code in EXIF dir");
  EXPECT_STREQ(first.info().date_time_original, "2015:03:04 12:34:56");
  EXPECT_EQ(first.info().orientation, 0) << "entries after the fault are not read";
}

TEST(ExifParser, OrientationOutOfRangeBecomesZeroAndTheWalkGoesOn) {
  Parsed parsed(WithExifEntries({Short(0x0112, 9), Short(0x8827, 100)}));
  EXPECT_TRUE(parsed.ok());
  EXPECT_EQ(parsed.info().orientation, 0);
  EXPECT_EQ(parsed.info().iso_speed, 100);
  EXPECT_EQ(parsed.error(), "Undefined rotation value");
}

TEST(ExifParser, SmallIsoValuesAreScaled) {
  for (auto [value, expected] : {std::pair{1, 200}, {49, 9800}, {50, 50}, {0, 0}}) {
    Parsed parsed(WithExifEntries({Short(0x8827, static_cast<uint16_t>(value))}));
    EXPECT_EQ(parsed.info().iso_speed, expected) << value;
  }
  Parsed negative(WithExifEntries({SLong(0x8827, -20000000)}));
  EXPECT_EQ(negative.info().iso_speed, static_cast<int32_t>(uint32_t(-20000000) * 200u));
}

TEST(ExifParser, ApexValuesOnlyFillEmptyFields) {
  Parsed both(WithExifEntries({Rational(0x829A, 1, 60), SRational(0x9201, 8, 1)}));
  EXPECT_FLOAT_EQ(both.info().exposure_time, 1.0f / 60);
  Parsed shutter(WithExifEntries({SRational(0x9201, 8, 1)}));
  EXPECT_FLOAT_EQ(shutter.info().exposure_time, 1.0f / 256);
  Parsed aperture(WithExifEntries({Rational(0x9202, 4, 1), Rational(0x9205, 6, 1)}));
  EXPECT_FLOAT_EQ(aperture.info().f_number, 4.0f);
  Parsed max_aperture(WithExifEntries({Rational(0x9205, 6, 1)}));
  EXPECT_FLOAT_EQ(max_aperture.info().f_number, 8.0f);
}

TEST(ExifParser, FlashFiredFromTheLowThreeBitsOnly) {
  for (auto [value, fired] : {std::pair{0x00, 0},
                              {0x01, 1},
                              {0x04, 1},
                              {0x07, 1},
                              {0x10, 0},
                              {0x18, 0},
                              {0x19, 1},
                              {0x58, 0}}) {
    Parsed parsed(WithExifEntries({Short(0x9209, static_cast<uint16_t>(value))}));
    EXPECT_EQ(parsed.info().flash_fired, fired) << value;
  }
}

TEST(ExifParser, LaterDateInWalkOrderWins) {
  // IFD0: a date, the Exif link, a date after it; the Exif directory's date is read when
  // its link is met, so IFD0's second date replaces it; IFD1, reached last, replaces that.
  TiffBlock block;
  Ifd ifd0, exif, ifd1;
  ifd0.entries = {Ascii(0x9003, "2001:01:01 00:00:00"), Link(0x8769, 1),
                  Ascii(0x9003, "2003:03:03 00:00:00")};
  exif.entries = {Ascii(0x9003, "2002:02:02 00:00:00")};
  block.ifds = {ifd0, exif};
  EXPECT_STREQ(Parsed(block).info().date_time_original, "2003:03:03 00:00:00");
  ifd1.entries = {Ascii(0x9003, "2004:04:04 00:00:00")};
  block.ifds.push_back(ifd1);
  block.ifds[0].next = 2;
  EXPECT_STREQ(Parsed(block).info().date_time_original, "2004:04:04 00:00:00");
  block.ifds[0].entries.pop_back();
  block.ifds[2].entries.clear();
  EXPECT_STREQ(Parsed(block).info().date_time_original, "2002:02:02 00:00:00");
}

TEST(ExifParser, ResolutionUnits) {
  const uint32_t expected[] = {0, 0x3F800000, 0x3F800000, 0x3EC99326, 0x3D214285, 0x3825214D, 0};
  for (uint16_t unit = 0; unit <= 6; ++unit) {
    Parsed parsed(WithExifEntries({Short(0x0128, unit), Short(0xA210, unit)}));
    EXPECT_EQ(std::bit_cast<uint32_t>(parsed.info().resolution_unit_inches), expected[unit]);
    EXPECT_EQ(std::bit_cast<uint32_t>(parsed.info().focal_plane_unit_inches), expected[unit]);
  }
  EXPECT_FLOAT_EQ(Parsed(WithExifEntries({Short(0x0128, 3)})).info().resolution_unit_inches,
                  0.39370078f);
}

TEST(ExifParser, FormatZeroIsAcceptedAndReadsAsZero) {
  Parsed parsed(WithExifEntries({Raw(0x829D, kFormatNone, 5, 0x12345678), Short(0x8822, 2)}));
  EXPECT_TRUE(parsed.ok()) << parsed.error();
  EXPECT_EQ(parsed.info().f_number, 0);
  EXPECT_EQ(parsed.info().exposure_program, 2);
}

TEST(ExifParser, UserComment) {
  Parsed ascii(WithExifEntries({Undefined(0x9286, Bytes("ASCII\0\0\0word    ", 16))}));
  EXPECT_STREQ(ascii.info().comment, "word");
  Parsed blank(WithExifEntries({Undefined(0x9286, Bytes("ASCII\0\0\0\0 ", 10))}));
  EXPECT_STREQ(blank.info().comment, "") << "ParseExifBlock empties it first";
  Parsed unicode(WithExifEntries({Undefined(0x9286, Bytes("UNICODE\0h\0i\0", 12))}));
  EXPECT_STREQ(unicode.info().comment, "UNICODE");
  Parsed plain(WithExifEntries({Undefined(0x9286, std::string(250, 'c'))}));
  EXPECT_EQ(std::string(plain.info().comment), std::string(199, 'c'));
}

TEST(ExifParser, ThumbnailMustLieInsideTheBlock) {
  TiffBlock block = CameraTiff({});
  Ifd ifd1;
  const uint32_t size = static_cast<uint32_t>(BuildTiff(block).size()) + 100;
  ifd1.entries = {Long(0x0201, 8), Long(0x0202, size)};
  block.ifds.push_back(ifd1);
  block.ifds[0].next = 2;
  Parsed beyond(block);
  EXPECT_TRUE(beyond.ok());
  EXPECT_EQ(beyond.info().thumbnail, nullptr);
  block.ifds[2].entries = {SLong(0x0201, -8), Long(0x0202, 16)};
  EXPECT_EQ(Parsed(block).info().thumbnail, nullptr);
  block.ifds[2].entries = {Long(0x0201, 8), Long(0x0202, 16)};
  Parsed inside(block);
  EXPECT_EQ(inside.info().thumbnail, inside.tiff() + 8);
  EXPECT_EQ(inside.info().thumbnail_length, 16);
}

TEST(ExifParser, ValuesOutsideTheBlockAreRefusedWithoutWrapping) {
  struct Case {
    IfdEntry entry;
    const char* error;
  };
  const Case cases[] = {
      {Raw(0x829A, kFormatRational, 0x20000000, 8), "Illegal pointer offset value in EXIF."},
      {Raw(0x010F, kFormatLong, 0xFFFFFFFF, 8), "Illegal pointer offset value in EXIF."},
      {Raw(0x9003, kFormatAscii, 20, 0xFFFFFFF0), "Illegal pointer offset value in EXIF."},
      {Raw(0x9003, kFormatAscii, 0xFFFFFFFF, 8), "Illegal pointer offset value in EXIF."},
      {Raw(0x8769, kFormatLong, 1, 0xFFFFFFFF), "Illegal subdirectory link"},
  };
  for (const Case& c : cases) {
    TiffBlock block;
    Ifd ifd0;
    ifd0.entries = {c.entry, Short(0x0112, 3)};
    block.ifds = {ifd0};
    Parsed parsed(block);
    EXPECT_FALSE(parsed.ok()) << c.error;
    EXPECT_EQ(parsed.error(), c.error);
    EXPECT_EQ(parsed.info().orientation, 0);
  }
}

TEST(ExifParser, DirectoryLargerThanTheBlockIsRefused) {
  TiffBlock block = CameraTiff({});
  Bytes payload = BuildExifPayload(block);
  payload[14] = '\x40';  // 0x0040 entries instead of the real count
  payload[15] = '\x00';
  Parsed parsed(payload);
  EXPECT_FALSE(parsed.ok());
  EXPECT_EQ(parsed.error(), "Illegally sized directory");
}

TEST(ExifParser, CyclesAreWalkedOnceAndKeepTheDate) {
  TiffBlock self = WithExifEntries({});
  self.ifds[0].next = 0;
  TiffBlock pair = WithExifEntries({});
  pair.ifds[0].next = 1;
  pair.ifds[1].next = 0;
  TiffBlock back = WithExifEntries({Link(0xA005, 0), Link(0x8769, 1), Short(0x8827, 200)});
  for (const TiffBlock& block : {self, pair, back}) {
    Parsed parsed(block);
    EXPECT_TRUE(parsed.ok()) << parsed.error();
    EXPECT_STREQ(parsed.info().date_time_original, "2015:03:04 12:34:56");
    EXPECT_STREQ(parsed.error().c_str(), "");
  }
  EXPECT_EQ(Parsed(back).info().iso_speed, 200) << "the walk goes on after a revisited link";
}

TEST(ExifParser, LongChainsAreCutAtTheDepthBound) {
  TiffBlock block;
  for (int i = 0; i < 40; ++i) {
    Ifd ifd;
    ifd.entries = {Short(0x8827, static_cast<uint16_t>(100 + i))};
    ifd.next = i + 1 < 40 ? i + 1 : -1;
    block.ifds.push_back(ifd);
  }
  Parsed parsed(block);
  EXPECT_TRUE(parsed.ok());
  // The chain is followed some way, but not to its end.
  EXPECT_GT(parsed.info().iso_speed, 101);
  EXPECT_LT(parsed.info().iso_speed, 139);
}

TEST(ExifParser, FailureInALinkedDirectoryDoesNotReachTheFirst) {
  TiffBlock block = WithExifEntries({Raw(0x829A, kFormatRational, 1, 0xFFFFFF00)});
  block.ifds[0].entries.push_back(Short(0x0112, 8));
  Parsed parsed(block);
  EXPECT_TRUE(parsed.ok());
  EXPECT_EQ(parsed.error(), "Illegal pointer offset value in EXIF.");
  EXPECT_EQ(parsed.info().orientation, 8);
}

TEST(ExifParser, NumberFromValueByFormat) {
  ExifReader reader(nullptr);
  const unsigned char intel[] = {0xFE, 0xFF, 0xFF, 0xFF, 0x00, 0x00, 0x00, 0x80};
  EXPECT_EQ(reader.NumberFromValue(intel, 0), 0);
  EXPECT_EQ(reader.NumberFromValue(intel, kFormatByte), 254);
  EXPECT_EQ(reader.NumberFromValue(intel, kFormatAscii), 0);
  EXPECT_EQ(reader.NumberFromValue(intel, kFormatShort), 65534);
  EXPECT_EQ(reader.NumberFromValue(intel, kFormatLong), 4294967294.0);
  EXPECT_EQ(reader.NumberFromValue(intel, kFormatSByte), -2);
  EXPECT_EQ(reader.NumberFromValue(intel, kFormatUndefined), 0);
  EXPECT_EQ(reader.NumberFromValue(intel, kFormatSShort), -2);
  EXPECT_EQ(reader.NumberFromValue(intel, kFormatSLong), -2);
  // Rationals are read signed: -2 / -2147483648.
  EXPECT_DOUBLE_EQ(reader.NumberFromValue(intel, kFormatRational), -2.0 / -2147483648.0);
  EXPECT_DOUBLE_EQ(reader.NumberFromValue(intel, kFormatSRational), -2.0 / -2147483648.0);
  const unsigned char zero_denominator[] = {5, 0, 0, 0, 0, 0, 0, 0};
  EXPECT_EQ(reader.NumberFromValue(zero_denominator, kFormatRational), 0);
  unsigned char number[8];
  const uint32_t f = std::bit_cast<uint32_t>(1.5f);
  std::memcpy(number, &f, 4);
  EXPECT_EQ(reader.NumberFromValue(number, kFormatFloat), 1.5);
  const uint64_t d = std::bit_cast<uint64_t>(-0.25);
  std::memcpy(number, &d, 8);
  EXPECT_EQ(reader.NumberFromValue(number, kFormatDouble), -0.25);
}

TEST(ExifParser, FloatAndDoubleFollowTheByteOrder) {
  for (ByteOrder order : {ByteOrder::kIntel, ByteOrder::kMotorola}) {
    Parsed parsed(WithExifEntries({Float(0x920A, 35.5f), Double(0x829D, 2.8)}, order));
    EXPECT_FLOAT_EQ(parsed.info().focal_length, 35.5f);
    EXPECT_FLOAT_EQ(parsed.info().f_number, 2.8f);
  }
}

TEST(ExifParser, AbsurdNumbersStayDefined) {
  Parsed parsed(WithExifEntries({Long(0x8822, 0xFFFFFFFF), Double(0x9206, 1e300),
                                 Double(0x9203, std::nan("")), Rational(0x9201, 0x7FFFFFFF, 1),
                                 Double(0xA002, 1e20)}));
  EXPECT_TRUE(parsed.ok());
  EXPECT_EQ(parsed.info().exposure_program, INT32_MIN);
  EXPECT_TRUE(std::isinf(parsed.info().subject_distance));
  EXPECT_TRUE(std::isnan(parsed.info().brightness));
  EXPECT_EQ(parsed.info().exposure_time, 0.0f);
}

TEST(ExifParser, ByteOrderReaders) {
  const unsigned char bytes[] = {0x12, 0x34, 0x56, 0x88};
  ExifReader reader(nullptr);
  CameraFacts facts;
  facts.order = ByteOrder::kMotorola;
  Bytes mm = BuildExifPayload(CameraTiff(facts));
  EXPECT_EQ(ExifReader::ReadU16BigEndian(bytes), 0x1234);
  EXPECT_EQ(reader.ReadU16(bytes), 0x3412);
  EXPECT_EQ(reader.ReadU32(bytes), 0x88563412u);
  EXPECT_EQ(reader.ReadS32(bytes), static_cast<int32_t>(0x88563412u));
  ASSERT_TRUE(reader.ParseExifBlock(reinterpret_cast<unsigned char*>(mm.data()),
                                    static_cast<int>(mm.size()) + 2));
  EXPECT_EQ(reader.big_endian(), 1);
  EXPECT_EQ(reader.ReadU16(bytes), 0x1234);
  EXPECT_EQ(reader.ReadU32(bytes), 0x12345688u);
}

}  // namespace
}  // namespace nandell::test_support
