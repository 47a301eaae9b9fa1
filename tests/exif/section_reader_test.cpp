// The JPEG section reader: markers, lengths, kept and discarded segments, the frame header,
// the comment and every failure, on files made by the test builder.
#include <gtest/gtest.h>

#include <cstring>

#include "tests/exif/reading.h"

namespace nandell::test_support {
namespace {

std::string Dated(const std::string& date) {
  CameraFacts facts;
  facts.date_time_original = date;
  return BuildExifPayload(CameraTiff(facts));
}

TEST(SectionReader, RefusesFilesNotStartingWithStartOfImage) {
  for (const Bytes& bytes : {Bytes(), Bytes("\xFF", 1), Bytes("\xFF\xD9\xFF\xD8", 4),
                             Bytes("GIF89a"), Bytes("\xD8\xFF", 2)}) {
    Reading reading(bytes);
    EXPECT_FALSE(reading.ok());
    EXPECT_STREQ(reading.reader().last_error(), "");
    EXPECT_FALSE(reading.info().has_exif);
    EXPECT_EQ(reading.reader().section_count(), 0);
  }
}

TEST(SectionReader, KeepsSegmentsUpToTheStartOfScanAndNothingAfter) {
  JpegBuilder builder;
  builder.Soi().App0Jfif().Segment(0xE1, Dated("2015:03:04 12:34:56")).BaselineImage({});
  builder.Segment(0xE1, Dated("1999:01:01 00:00:00"));  // after the scan: never read
  Reading reading(builder.bytes());
  ASSERT_TRUE(reading.ok());
  EXPECT_STREQ(reading.info().date_time_original, "2015:03:04 12:34:56");
  // APP0 discarded; APP1, DQT, SOF0, DHT, SOS kept in file order.
  const int expected[] = {0xE1, 0xDB, 0xC0, 0xC4, 0xDA};
  ASSERT_EQ(reading.reader().section_count(), 5);
  for (int i = 0; i < 5; ++i) {
    const JpegSection& section = reading.reader().section(i);
    EXPECT_EQ(section.marker, expected[i]);
    ASSERT_NE(section.data, nullptr);
    EXPECT_EQ(ExifReader::ReadU16BigEndian(section.data), section.length);
  }
  EXPECT_EQ(reading.reader().section(5).data, nullptr);
  EXPECT_EQ(reading.info().frame_width, 64);
  EXPECT_EQ(reading.info().frame_height, 48);
  EXPECT_EQ(reading.info().three_components, 1);
  EXPECT_EQ(reading.info().frame_marker, 0xC0);
}

TEST(SectionReader, AcceptsSixFillBytesAndRefusesSeven) {
  for (int fill : {1, 6, 7}) {
    NoticeCapture notices;
    JpegBuilder builder;
    builder.Soi().Raw(Bytes(static_cast<size_t>(fill), '\xFF')).Raw(Bytes("\xFE\x00\x04hi", 5));
    builder.StartOfScan();
    Reading reading(builder.bytes());
    EXPECT_EQ(reading.ok(), fill <= 6) << fill;
    EXPECT_EQ(notices.Text(), fill <= 6 ? "" : "too many padding unsigned chars\n") << fill;
    EXPECT_STREQ(reading.reader().last_error(), "");
  }
}

TEST(SectionReader, MarkerWithoutFillByteIsStillAMarker) {
  JpegBuilder builder;
  builder.Soi()
      .Raw(Bytes("\xFE\x00\x05"
                 "abc",
                 6))
      .StartOfScan();
  Reading reading(builder.bytes());
  EXPECT_TRUE(reading.ok());
  EXPECT_STREQ(reading.info().comment, "abc");
}

TEST(SectionReader, DiscardsJfifAndNonExifApp1WithoutCountingThem) {
  JpegBuilder builder;
  builder.Soi();
  for (int i = 0; i < 30; ++i) builder.App0Jfif();
  builder.Segment(0xE1, "http://ns.adobe.com/xap/1.0/\0<x:xmpmeta/>");
  for (int i = 0; i < 18; ++i) builder.Segment(0xDB, Bytes(65, '\x01'));
  builder.StartOfScan();
  Reading reading(builder.bytes());
  EXPECT_TRUE(reading.ok());
  EXPECT_FALSE(reading.info().has_exif);
  EXPECT_EQ(reading.reader().section_count(), 19);
}

TEST(SectionReader, NonExifApp1AfterAnExifBlockLeavesHasExifSet) {
  JpegBuilder builder;
  builder.Soi().Segment(0xE1, Dated("2015:03:04 12:34:56"));
  builder.Segment(0xE1, "http://ns.adobe.com/xap/1.0/\0<x:xmpmeta/>").Segment(0xE1, "Exi");
  Reading reading(builder.StartOfScan().bytes());
  EXPECT_TRUE(reading.ok());
  EXPECT_TRUE(reading.info().has_exif);
  EXPECT_STREQ(reading.info().date_time_original, "2015:03:04 12:34:56");
  EXPECT_EQ(reading.reader().section_count(), 2);
}

TEST(SectionReader, TwentySectionsEndTheReadButKeepTheDate) {
  auto file_with = [](int before_scan) {
    JpegBuilder builder;
    builder.Soi().Segment(0xE1, Dated("2015:03:04 12:34:56"));
    for (int i = 1; i < before_scan; ++i) builder.Segment(0xE2, Bytes(4, 'x'));
    return builder.StartOfScan().bytes();
  };
  EXPECT_TRUE(Reading(file_with(19)).ok()) << "the start of scan may be the twentieth";
  Reading too_many(file_with(20));
  EXPECT_FALSE(too_many.ok());
  EXPECT_EQ(too_many.error(), "Too many sections in jpg file");
  EXPECT_TRUE(too_many.info().has_exif);
  EXPECT_STREQ(too_many.info().date_time_original, "2015:03:04 12:34:56");
  EXPECT_EQ(too_many.reader().section_count(), 20);
}

TEST(SectionReader, TruncatedFilesFailWithTheirTextAndKeepWhatWasRead) {
  JpegBuilder builder;
  builder.Soi().Segment(0xE1, Dated("2015:03:04 12:34:56")).Segment(0xDB, Bytes(65, '\x01'));
  const Bytes whole = builder.bytes();
  {
    Reading reading(whole);  // ends right after a segment: end of file in the length
    EXPECT_FALSE(reading.ok());
    EXPECT_EQ(reading.error(), "invalid marker");
    EXPECT_TRUE(reading.info().has_exif);
  }
  {
    Reading reading(whole.substr(0, whole.size() - 10));  // ends inside the DQT segment
    EXPECT_FALSE(reading.ok());
    EXPECT_EQ(reading.error(), "Premature end of file?");
    EXPECT_STREQ(reading.info().date_time_original, "2015:03:04 12:34:56");
    // The buffer being filled stays in the slot after the counted ones.
    EXPECT_EQ(reading.reader().section_count(), 1);
    EXPECT_NE(reading.reader().section(1).data, nullptr);
  }
  {
    Reading reading(whole.substr(0, whole.size() - 66));  // ends after the DQT's high byte
    EXPECT_FALSE(reading.ok());
    EXPECT_EQ(reading.error(), "invalid marker");
  }
}

TEST(SectionReader, LengthsBelowTwoAreInvalid) {
  for (uint16_t length : {0, 1}) {
    JpegBuilder builder;
    builder.Soi().SegmentWithLength(0xFE, length, "").StartOfScan();
    Reading reading(builder.bytes());
    EXPECT_FALSE(reading.ok());
    EXPECT_EQ(reading.error(), "invalid marker");
  }
  JpegBuilder empty;
  empty.Soi().SegmentWithLength(0xFE, 2, "").StartOfScan();
  EXPECT_TRUE(Reading(empty.bytes()).ok());
}

TEST(SectionReader, EndOfImageNeedsALengthLikeAnyMarker) {
  {
    NoticeCapture notices;
    JpegBuilder builder;
    builder.Soi().Segment(0xDB, Bytes(65, '\x01')).Eoi();
    Reading reading(builder.bytes());
    EXPECT_FALSE(reading.ok());
    EXPECT_EQ(reading.error(), "invalid marker");
    EXPECT_EQ(notices.Text(), "");
  }
  {
    NoticeCapture notices;
    JpegBuilder builder;
    builder.Soi().Eoi().Raw(Bytes("\x00\x04\x00\x00", 4)).StartOfScan();
    Reading reading(builder.bytes());
    EXPECT_FALSE(reading.ok());
    EXPECT_EQ(notices.Text(), "No image in jpeg!\n");
    EXPECT_STREQ(reading.reader().last_error(), "");
  }
}

TEST(SectionReader, NoticesGoToStandardOutputByDefault) {
  JpegBuilder builder;
  builder.Soi().Eoi().Raw(Bytes("\x00\x02", 2));
  ::testing::internal::CaptureStdout();
  {
    Reading reading(builder.bytes());
    EXPECT_FALSE(reading.ok());
  }
  std::fflush(stdout);
  EXPECT_EQ(::testing::internal::GetCapturedStdout(), "No image in jpeg!\n");
}

TEST(SectionReader, FirstCommentIsCleanedAndKept) {
  Bytes payload = "a\r\nb\rc\x01\x7F\xE6\x97\xA5\td";
  payload.append(1200 - payload.size(), 'z');
  JpegBuilder builder;
  builder.Soi().Comment(payload).Comment("second").StartOfScan();
  Reading reading(builder.bytes());
  ASSERT_TRUE(reading.ok());
  const std::string comment = reading.info().comment;
  const std::string head = "a\nb?c?\x7F\xE6\x97\xA5\td";
  EXPECT_EQ(comment.substr(0, head.size()), head);
  // 998 payload bytes looked at, one CR dropped.
  EXPECT_EQ(comment.size(), 997u);
  EXPECT_EQ(reading.reader().section_count(), 2) << "the second comment is discarded";
}

TEST(SectionReader, CarriageReturnAtTheEndOfTheSectionBecomesQuestionMark) {
  JpegBuilder builder;
  builder.Soi().Comment("x\r").StartOfScan();
  Reading reading(builder.bytes());
  EXPECT_STREQ(reading.info().comment, "x?");
}

TEST(SectionReader, CommentOrderAgainstExifDecidesTheComment) {
  TiffBlock block = CameraTiff({});
  block.ifds[1].entries.push_back(Undefined(0x9286, Bytes("ASCII\0\0\0from exif", 18)));
  JpegBuilder before;
  before.Soi().Comment("from segment").App1Exif(block).StartOfScan();
  EXPECT_STREQ(Reading(before.bytes()).info().comment, "from exif");
  JpegBuilder after;
  after.Soi().App1Exif(block).Comment("from segment").StartOfScan();
  EXPECT_STREQ(Reading(after.bytes()).info().comment, "from segment");
}

TEST(SectionReader, LastFrameHeaderWinsAndShortOnesAreSkipped) {
  JpegBuilder builder;
  builder.Soi().StartOfFrame(640, 480, 3, 0xC0).StartOfFrame(320, 200, 1, 0xC2);
  builder.SegmentWithLength(0xC1, 5, Bytes("\x08\x01\x02", 3));  // too short for a size
  builder.StartOfScan(1);
  Reading reading(builder.bytes());
  EXPECT_TRUE(reading.ok());
  EXPECT_EQ(reading.info().frame_width, 320);
  EXPECT_EQ(reading.info().frame_height, 200);
  EXPECT_EQ(reading.info().three_components, 0);
  EXPECT_EQ(reading.info().frame_marker, 0xC2);
}

TEST(SectionReader, TwoExifBlocksFillOneRecordAndTheLaterDecidesHasExif) {
  TiffBlock broken = CameraTiff({});
  broken.first_offset = 4;
  JpegBuilder builder;
  builder.Soi().Segment(0xE1, Dated("2015:03:04 12:34:56")).App1Exif(broken).StartOfScan();
  Reading reading(builder.bytes());
  EXPECT_TRUE(reading.ok());
  EXPECT_FALSE(reading.info().has_exif);
  EXPECT_EQ(reading.error(), "Suspicious offset of first IFD value");
}

TEST(SectionReader, ShortApp1SegmentsAreReadSafely) {
  const Bytes exif = BuildExifPayload(CameraTiff({}));
  struct Case {
    uint16_t length;
    const char* error;
  };
  // Payload bytes available: length - 2. "Exif" needs 4, the header 14 and a directory more.
  for (const Case& c :
       {Case{4, ""}, Case{6, "Incorrect Exif header"}, Case{8, "Invalid Exif alignment marker."},
        Case{10, "Invalid Exif start (1)"}, Case{14, "Suspicious offset of first IFD value"},
        Case{16, "Suspicious offset of first IFD value"}, Case{17, "Illegally sized directory"}}) {
    JpegBuilder builder;
    builder.Soi().SegmentWithLength(0xE1, c.length, exif.substr(0, c.length - 2)).StartOfScan();
    Reading reading(builder.bytes());
    EXPECT_TRUE(reading.ok()) << c.length;
    EXPECT_FALSE(reading.info().has_exif) << c.length;
    EXPECT_EQ(reading.error(), c.error) << c.length;
  }
}

TEST(SectionReader, ReusedReaderRefusesATwentyFirstSection) {
  JpegBuilder builder;
  builder.Soi();
  for (int i = 0; i < 19; ++i) builder.Segment(0xE2, "x");
  builder.StartOfScan();
  Bytes bytes = builder.bytes();
  ImageInfo info{};
  ExifReader reader(&info);
  FILE* file = OpenBytes(&bytes);
  EXPECT_TRUE(reader.ReadSections(file));
  std::rewind(file);
  EXPECT_FALSE(reader.ReadSections(file));
  EXPECT_STREQ(reader.last_error(), "Too many sections in jpg file");
  std::fclose(file);
}

TEST(SectionReader, OwnsARecordWhenGivenNone) {
  ExifReader reader(nullptr);
  ASSERT_NE(reader.info(), nullptr);
  EXPECT_FALSE(reader.info()->has_exif);
  EXPECT_STREQ(reader.info()->make, "");
}

}  // namespace
}  // namespace nandell::test_support
