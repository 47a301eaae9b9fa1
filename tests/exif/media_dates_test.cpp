// Capture dates of photo and video formats other than JPEG: hand-made sound and hostile
// files of every reader, the calendar-day rule, the movie header's time zone, content over
// name, and a movie header after 5 GiB of (sparse) media data.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <ctime>
#include <fstream>
#include <functional>
#include <map>
#include <utility>
#include <vector>

#include "engine/capture_date.h"
#include "exif/media_reader.h"
#include "tests/support/media_builder.h"
#include "tests/support/temp_tree.h"

namespace nandell::test_support {
namespace {

using testing::TempDir;
using testing::WriteFile;

// Sets TZ for the test's life (the movie header is converted to local time).
class ScopedTimeZone {
 public:
  explicit ScopedTimeZone(const char* zone) {
    if (const char* old = std::getenv("TZ")) old_ = old;
    ::setenv("TZ", zone, 1);
    ::tzset();
  }
  ~ScopedTimeZone() {
    if (old_.empty()) {
      ::unsetenv("TZ");
    } else {
      ::setenv("TZ", old_.c_str(), 1);
    }
    ::tzset();
  }

 private:
  std::string old_;
};

using Reader = std::function<bool(ByteSource&, MediaDates*, std::string*)>;

// Another source that counts the bytes asked of it.
class CountingSource : public ByteSource {
 public:
  explicit CountingSource(ByteSource& inner) : inner_(inner) {}
  uint64_t Size() const override { return inner_.Size(); }
  bool Read(uint64_t offset, size_t n, unsigned char* out) override {
    asked += n;
    return inner_.Read(offset, n, out);
  }
  uint64_t asked = 0;

 private:
  ByteSource& inner_;
};

// The bytes this process has read from files so far, as the kernel counts its read calls.
uint64_t BytesReadByThisProcess() {
  std::ifstream io("/proc/self/io");
  std::string key;
  uint64_t value = 0;
  while (io >> key >> value) {
    if (key == "rchar:") return value;
  }
  return 0;
}

// Bytes at their offsets in a file of `size` bytes (at least up to the last piece), the rest
// left as holes.
using Pieces = std::vector<std::pair<uint64_t, Bytes>>;
bool WriteSparse(const std::string& path, const Pieces& pieces, uint64_t size) {
  const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  if (fd < 0) return false;
  bool written = true;
  for (const auto& [at, bytes] : pieces) {
    written = written && ::pwrite(fd, bytes.data(), bytes.size(), static_cast<off_t>(at)) ==
                             static_cast<ssize_t>(bytes.size());
  }
  struct stat st;
  written =
      written && ::fstat(fd, &st) == 0 &&
      (static_cast<uint64_t>(st.st_size) >= size || ::ftruncate(fd, static_cast<off_t>(size)) == 0);
  return ::close(fd) == 0 && written;
}

const std::map<std::string, Reader>& Readers() {
  static const std::map<std::string, Reader> readers = {{"iso_media", ReadIsoMediaDates},
                                                        {"riff", ReadRiffDates},
                                                        {"tiff_file", ReadTiffFileDates},
                                                        {"png", ReadPngDates}};
  return readers;
}

TEST(MediaDates, HandMadeFilesByFormat) {
  ScopedTimeZone utc("UTC0");
  TempDir dir;
  for (const MediaCase& media : MediaCases()) {
    SCOPED_TRACE(media.reader + "/" + media.name);
    // The reader over memory and over the file names the same fault.
    MediaDates dates;
    std::string error;
    MemoryByteSource memory(reinterpret_cast<const unsigned char*>(media.bytes.data()),
                            media.bytes.size());
    EXPECT_EQ(Readers().at(media.reader)(memory, &dates, &error), media.fault.empty());
    EXPECT_EQ(error, media.fault);
    const std::string path = dir / (media.name + ".jpg");  // the content decides
    ASSERT_TRUE(WriteFile(path, media.bytes));
    FileByteSource file;
    ASSERT_TRUE(file.Open(path, nullptr));
    error.clear();
    Readers().at(media.reader)(file, &dates, &error);
    EXPECT_EQ(error, media.fault);
    EXPECT_EQ(GetCaptureDate(path, true), media.capture_date);
    EXPECT_EQ(GetCaptureDate(path, false), "") << "the designed reader reads JPEG only";
  }
}

TEST(MediaDates, ContentDecidesNotTheName) {
  TempDir dir;
  const Bytes heif = MakeHeif({});
  const Bytes jpeg = MakeJpegWithDate("2001:02:03 04:05:06");
  for (const char* name : {"a.heic", "a.jpg", "a.mp4", "a"}) {
    ASSERT_TRUE(WriteFile(dir / name, heif));
    EXPECT_EQ(GetCaptureDate(dir / name, true), "2015-03-04") << name;
    ASSERT_TRUE(WriteFile(dir / name, jpeg));
    EXPECT_EQ(GetCaptureDate(dir / name, true), "2001-02-03") << name;
  }
  // Switched off, only ".jpg" names are looked into, by the JPEG reader.
  EXPECT_EQ(GetCaptureDate(dir / "a.jpg", false), "2001-02-03");
  ASSERT_TRUE(WriteFile(dir / "a.jpg", heif));
  EXPECT_EQ(GetCaptureDate(dir / "a.jpg", false), "");
  EXPECT_EQ(GetCaptureDate(dir / "missing.mov", true), "");
  EXPECT_EQ(GetCaptureDate(dir.path(), true), "") << "a folder";
}

TEST(MediaDates, OnlyCalendarDaysCount) {
  ScopedTimeZone utc("UTC0");
  const int64_t now = 1592222400;  // 2020-06-15 12:00:00 UTC
  const struct {
    const char* text;
    const char* day;
  } rows[] = {
      {"2015:03:04 12:34:56", "2015-03-04"},
      {"2015-03-04T12:34:56+0300", "2015-03-04"},
      {"2015:03:04", "2015-03-04"},
      {"2015:03:04Z", "2015-03-04"},
      {"Thu Jan 20 08:16:08 2022\n", ""},  // in the future of `now`
      {"Thu Jan 20 08:16:08 2011\n", "2011-01-20"},
      {"FRI MAR  5 21:18:24 2021", ""},
      {"fri mar  5 21:18:24 2020", "2020-03-05"},
      {"Thu Foo 20 08:16:08 2011", ""},
      {"    :  :     :  :  ", ""},
      {"0000:00:00 00:00:00", ""},
      {"2015:13:01", ""},
      {"2015:00:10", ""},
      {"2015:04:31", ""},
      {"2015:02:29", ""},
      {"2016:02:29", "2016-02-29"},
      {"1900:02:29", ""},
      {"2000:02:29", "2000-02-29"},
      {"1899:12:31", ""},
      {"1900:01:01", "1900-01-01"},
      {"2015:03-04", ""},
      {"20150304", ""},
      {"2015:03:045", ""},
      {"2020:06:16 23:59:59", "2020-06-16"},  // tomorrow is not more than a day ahead
      {"2020:06:17 00:00:00", ""},
      {"", ""},
  };
  for (const auto& row : rows) EXPECT_EQ(CalendarDay(row.text, now), row.day) << row.text;
}

TEST(MediaDates, MovieHeaderTimeIsConvertedToTheLocalDay) {
  const int64_t now = 1592222400;
  const uint64_t evening = 3545380800 + 8 * 3600;  // 2016-05-06 20:00:00 UTC
  const struct {
    const char* zone;
    const char* day;
  } rows[] = {{"UTC0", "2016-05-06"}, {"JST-9", "2016-05-07"}, {"EST5", "2016-05-06"}};
  for (const auto& row : rows) {
    ScopedTimeZone zone(row.zone);
    EXPECT_EQ(MovieHeaderDay(evening, now), row.day) << row.zone;
    EXPECT_EQ(MovieHeaderDay(0, now), "") << "unset";
    EXPECT_EQ(MovieHeaderDay(UINT64_MAX, now), "");
  }
}

TEST(MediaDates, FileSourceReadsWhatMemoryHolds) {
  TempDir dir;
  Bytes bytes(300 * 1024, '\0');
  for (size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<char>((i * 7919) >> 5);
  ASSERT_TRUE(WriteFile(dir / "f", bytes));
  FileByteSource file;
  ASSERT_TRUE(file.Open(dir / "f", nullptr));
  ASSERT_EQ(file.Size(), bytes.size());
  // Inside the head, across its end, inside the moving window, across it, larger than it.
  const size_t head = FileByteSource::kHeadSize, window = FileByteSource::kWindowSize;
  const std::pair<size_t, size_t> reads[] = {
      {0, 16},          {head - 8, 16},           {head + 100, 16},     {head + 120, 64},
      {head + 90, 16},  {head + window + 95, 20}, {200000, 3 * window}, {bytes.size() - 5, 5},
      {0, bytes.size()}};
  for (const auto& [offset, n] : reads) {
    Bytes got(n, '\0');
    ASSERT_TRUE(file.Read(offset, n, reinterpret_cast<unsigned char*>(got.data()))) << offset;
    EXPECT_TRUE(got == bytes.substr(offset, n)) << offset << "+" << n;
  }
  unsigned char byte;
  EXPECT_FALSE(file.Read(bytes.size() - 4, 5, reinterpret_cast<unsigned char*>(&byte)));
  EXPECT_FALSE(file.Read(UINT64_MAX, 1, &byte));
  std::string error;
  FileByteSource fifo;
  ASSERT_EQ(::mkfifo((dir / "pipe").c_str(), 0644), 0);
  EXPECT_FALSE(fifo.Open(dir / "pipe", &error));
  EXPECT_EQ(error, "not a regular file");
}

TEST(MediaDates, MovieHeaderAfterFiveGibibytesOfMediaData) {
  ScopedTimeZone utc("UTC0");
  TempDir dir;
  MovieFacts facts;
  facts.brand = "isom";
  facts.movie_header_time = 3545380800;
  facts.large_media_box = true;
  facts.media_size = 5ull << 30;
  const MovieParts parts = MakeMovieParts(facts);
  const std::string path = dir / "long.mp4";
  const bool written =
      WriteSparse(path, {{0, parts.head}, {parts.head.size() + parts.media_size, parts.tail}}, 0);
  if (!written) GTEST_SKIP() << "no room for a sparse 5 GiB file here";
  EXPECT_EQ(GetCaptureDate(path, true), "2016-05-06");

  // The reader asks for headers only: a few hundred bytes, not the media data.
  FileByteSource file;
  ASSERT_TRUE(file.Open(path, nullptr));
  CountingSource counting(file);
  MediaDates dates;
  EXPECT_TRUE(ReadIsoMediaDates(counting, &dates, nullptr));
  EXPECT_EQ(dates.movie_header_time, facts.movie_header_time);
  EXPECT_LT(counting.asked, 1024u);
}

// Hostile files whose headers would have the readers read far more than any photo's, most of
// them sparse: each reader takes the first date box or chunk of a kind, and no file costs more
// than kMaxHeaderBytes, asked of the byte source or read from the disk.
TEST(MediaDates, HostileFilesAreReadAFewMebibytesAtMost) {
  ScopedTimeZone utc("UTC0");
  // A PNG of 4,095 eXIf chunks of 4 MiB without an Exif block: 16 GiB of chunks to read.
  Pieces png = {{0, Bytes("\x89PNG\r\n\x1a\n", 8) + PngChunk("IHDR", Bytes(13, '\0'))}};
  uint64_t png_end = png[0].second.size();
  for (int i = 0; i < 4095; ++i, png_end += 12 + kMaxExifBlock) {
    png.push_back({png_end, Be32(static_cast<uint32_t>(kMaxExifBlock)) + "eXIf"});
  }
  png.push_back({png_end, PngChunk("IEND", "")});
  // A HEIC whose meta box holds 4,999 item tables of 1 MiB without an Exif item: 5 GiB.
  constexpr uint64_t kTable = 1 << 20;
  const Bytes ftyp = IsoBox("ftyp", "heic" + Be32(0));
  const uint64_t meta_size = 20 + 4999 * (8 + kTable);
  Pieces heic = {{0, ftyp + Be32(1) + "meta" + Be64(meta_size) + Be32(0)}};
  for (uint64_t i = 0, at = heic[0].second.size(); i < 4999; ++i, at += 8 + kTable) {
    heic.push_back({at, Be32(static_cast<uint32_t>(8 + kTable)) + "iinf"});
  }
  // Other readers' tables, chunks, boxes and segments repeated over some MiB.
  const Bytes zeros(1 << 20, '\0');
  Bytes keys, nikon, boxes;
  for (int i = 0; i < 24; ++i) {
    keys += IsoBox("meta", FullBox("keys", 0, Be32(0) + zeros.substr(64)) + IsoBox("ilst", ""));
  }
  for (int i = 0; i < 400; ++i) nikon += RiffChunk("nctg", zeros.substr(0, 64 << 10));
  for (int i = 0; i < 1500; ++i) boxes += IsoBox("free", zeros.substr(0, 20 << 10));
  JpegBuilder jpeg;
  jpeg.Soi().App1Exif(CameraTiff({}));
  for (int i = 0; i < 400; ++i) jpeg.Segment(0xE0, zeros.substr(0, 65533));
  jpeg.StartOfScan();
  const struct {
    const char* name;
    Pieces pieces;
    uint64_t size;
    const char* capture_date;
  } cases[] = {
      {"png_4095_exif_chunks", png, png_end + 12, ""},
      {"heic_4999_item_tables", heic, ftyp.size() + meta_size, ""},
      {"mov_24_key_tables", {{0, IsoBox("ftyp", "qt  " + Be32(0)) + IsoBox("moov", keys)}}, 0, ""},
      {"avi_400_nikon_tag_chunks", {{0, Riff("AVI ", RiffList("ncdt", nikon))}}, 0, ""},
      {"mp4_1500_boxes_16_kib_apart", {{0, IsoBox("ftyp", "isom" + Be32(0)) + boxes}}, 0, ""},
      {"jpeg_400_app0_segments_after_exif", {{0, jpeg.bytes()}}, 0, "2015-03-04"},
  };
  constexpr uint64_t kStreamBuffers = 256 << 10;  // the readers' buffers, read ahead
  TempDir dir;
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string path = dir / (std::string(c.name) + ".jpg");  // the content decides
    if (!WriteSparse(path, c.pieces, c.size)) GTEST_SKIP() << "no room for sparse files here";
    FileByteSource file;
    ASSERT_TRUE(file.Open(path, nullptr));
    CountingSource counting(file);
    MediaDates dates;
    ReadMediaDates(counting, &dates, nullptr);
    EXPECT_LE(counting.asked, kMaxHeaderBytes);
    for (const bool media_dates : {true, false}) {
      const uint64_t before = BytesReadByThisProcess();
      EXPECT_EQ(GetCaptureDate(path, media_dates),
                media_dates || c.pieces[0].second[0] == '\xFF' ? c.capture_date : "");
      EXPECT_LE(BytesReadByThisProcess() - before, kMaxHeaderBytes + kStreamBuffers)
          << (media_dates ? "by content" : "as designed");
    }
    std::remove(path.c_str());
  }
}

}  // namespace
}  // namespace nandell::test_support
