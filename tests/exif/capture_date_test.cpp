// GetCaptureDate on real files in a temporary folder: the ".jpg" test, the cut and the
// colons, unsafe dates, unreadable and hostile files.
#include <gtest/gtest.h>

#ifdef _WIN32
#include <windows.h>

#include "platform/windows_support.h"
#else
#include <sys/stat.h>
#include <unistd.h>
#endif

#include "engine/capture_date.h"
#include "platform/file.h"
#include "platform/path.h"
#include "tests/support/jpeg_builder.h"
#include "tests/support/temp_tree.h"

namespace nandell::test_support {
namespace {

using testing::TempDir;
using testing::WriteFile;

class CaptureDateTest : public ::testing::Test {
 protected:
  // Writes `bytes` as `name` in the temporary folder and returns its path.
  std::string Put(const std::string& name, const Bytes& bytes) {
    const std::string path = dir_ / name;
    EXPECT_TRUE(WriteFile(path, bytes)) << path;
    return path;
  }
  std::string DateOf(const std::string& date_time_original) {
    return GetCaptureDate(Put("photo.jpg", MakeJpegWithDate(date_time_original)));
  }
  TempDir dir_;
};

TEST_F(CaptureDateTest, OnlyJpgNamesAreLookedIntoWhateverTheirCase) {
  const Bytes photo = MakeJpegWithDate("2015:03:04 12:34:56");
  EXPECT_EQ(GetCaptureDate(Put("img.jpg", photo)), "2015-03-04");
  EXPECT_EQ(GetCaptureDate(Put("IMG.JPG", photo)), "2015-03-04");
  EXPECT_EQ(GetCaptureDate(Put("Img.jPg", photo)), "2015-03-04");
  EXPECT_EQ(GetCaptureDate(Put("img.jpeg", photo)), "");
  EXPECT_EQ(GetCaptureDate(Put("img.jpg.bak", photo)), "");
  EXPECT_EQ(GetCaptureDate(Put("jpg", photo)), "");
  EXPECT_EQ(GetCaptureDate(Put(".jpg", photo)), "2015-03-04");
  EXPECT_EQ(GetCaptureDate(""), "");
}

TEST_F(CaptureDateTest, TimeIsCutAndColonsBecomeDashes) {
  EXPECT_EQ(DateOf("2015:03:04 12:34:56"), "2015-03-04");
  EXPECT_EQ(DateOf("2015:03:04"), "2015-03-04");
  EXPECT_EQ(DateOf("0000:00:00 00:00:00"), "0000-00-00");
  EXPECT_EQ(DateOf("2015-03-04T12:34:56"), "2015-03-04T12-34-56");
  EXPECT_EQ(DateOf("2015:03:04  x"), "2015-03-04");
  // An unset camera clock: blanks and colons. The first blank is at 0, so nothing is cut.
  EXPECT_EQ(DateOf("    :  :     :  :  "), "    -  -     -  -  ");
}

TEST_F(CaptureDateTest, DatesThatAreNotASafeFolderNameGiveNothing) {
  for (const char* date : {"../../x", "2015/03/04", "..", ".", "a\\b", "2015:03:04\t1", "\x1b[31m",
                           " ../x", "2015\x7F"}) {
    EXPECT_EQ(DateOf(date), "") << date;
  }
  EXPECT_EQ(DateOf(".. x"), "") << "'..' after the cut";
  EXPECT_EQ(DateOf(""), "") << "tag left out";
  EXPECT_EQ(DateOf("..."), "...");
  EXPECT_EQ(DateOf("2015年3月"), "2015年3月");
}

TEST_F(CaptureDateTest, FilesWithoutADateGiveNothing) {
  JpegBuilder jfif;
  jfif.Soi().App0Jfif().BaselineImage({});
  EXPECT_EQ(GetCaptureDate(Put("jfif.jpg", jfif.bytes())), "");
  CameraFacts facts;
  facts.date_time_original = "";
  EXPECT_EQ(GetCaptureDate(Put("nodate.jpg", MakeCameraJpeg(facts, {}))), "");
  EXPECT_EQ(GetCaptureDate(Put("empty.jpg", "")), "");
  EXPECT_EQ(GetCaptureDate(Put("text.jpg", "not a picture at all")), "");
  EXPECT_EQ(GetCaptureDate(dir_ / "missing.jpg"), "");
}

TEST_F(CaptureDateTest, DateOfABlockThatFailedIsIgnored) {
  TiffBlock block = CameraTiff({});
  block.ifds[0].raw_next = 0x7FFFFFFF;  // the first directory fails after the date was read
  JpegBuilder builder;
  builder.Soi().App1Exif(block).BaselineImage({});
  EXPECT_EQ(GetCaptureDate(Put("broken.jpg", builder.bytes())), "");
}

TEST_F(CaptureDateTest, ExifAfterTheStartOfScanIsNeverRead) {
  JpegBuilder builder;
  builder.Soi().StartOfScan().Raw(Bytes(100, '\x11'));
  builder.App1Exif(CameraTiff({}));
  EXPECT_EQ(GetCaptureDate(Put("late.jpg", builder.bytes())), "");
}

TEST_F(CaptureDateTest, FoldersPipesAndUnreadableFilesGiveNothing) {
  const std::string folder = dir_ / "folder.jpg";
  ASSERT_TRUE(MakeFolders(folder));
  EXPECT_EQ(GetCaptureDate(folder), "");
  const std::string locked = Put("locked.jpg", MakeJpegWithDate("2015:03:04 12:34:56"));
#ifdef _WIN32
  // Another program holds the file open without read sharing.
  HANDLE holder = ::CreateFileW(win::WinPath(locked).c_str(), GENERIC_READ, 0, nullptr,
                                OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(holder, INVALID_HANDLE_VALUE);
  EXPECT_EQ(GetCaptureDate(locked), "");
  ::CloseHandle(holder);
  EXPECT_EQ(GetCaptureDate(locked), "2015-03-04");
#else
  const std::string fifo = dir_ / "pipe.jpg";
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0644), 0);
  EXPECT_EQ(GetCaptureDate(fifo), "") << "must not wait for a writer";
  ASSERT_EQ(::chmod(locked.c_str(), 0), 0);
  if (::geteuid() != 0) {
    EXPECT_EQ(GetCaptureDate(locked), "");
  }
#endif
}

// On Windows: UTF-8 names reach the wide calls, "/" separates like "\", and paths beyond 260
// characters are read in their long form.
TEST_F(CaptureDateTest, NamesInAnyScriptAndLongPathsAreRead) {
  std::string deep = dir_ / "照片 2015年";
  for (int i = 0; i < 8; ++i) deep += kPathSeparator + std::string(40, 'd');
  ASSERT_GT(deep.size(), 300u);
  ASSERT_TRUE(MakeFolders(deep));
  const Bytes photo = MakeJpegWithDate("2015:03:04 12:34:56");
  for (const std::string& path : {dir_ / "照片.jpg", deep + kPathSeparator + "IMG 0001.JPG"}) {
    ASSERT_TRUE(WriteFile(path, photo)) << path;
    EXPECT_EQ(GetCaptureDate(path), "2015-03-04") << path;
  }
  EXPECT_EQ(GetCaptureDate(dir_.path() + "/照片.jpg"), "2015-03-04");
}

TEST_F(CaptureDateTest, HostileFilesAreDatedSafely) {
  for (const HostileJpeg& hostile : HostileJpegs()) {
    EXPECT_EQ(GetCaptureDate(Put(hostile.name + ".jpg", hostile.bytes)), hostile.capture_date)
        << hostile.name;
  }
}

TEST_F(CaptureDateTest, FileCutAtEveryByteGivesTheDateOrNothing) {
  CameraFacts facts;
  facts.order = ByteOrder::kMotorola;
  JpegBuilder thumbnail;
  thumbnail.Soi().BaselineImage({16, 16, 0});
  facts.thumbnail = thumbnail.bytes();
  const Bytes whole = MakeCameraJpeg(facts, {32, 16, 2});
  const std::string path = dir_ / "cut.jpg";
  const size_t exif_end = 4 + 2 + BuildExifPayload(CameraTiff(facts)).size();
  for (size_t size = 0; size <= whole.size(); ++size) {
    ASSERT_TRUE(WriteFile(path, whole.substr(0, size)));
    const std::string date = GetCaptureDate(path);
    // The date is there exactly when the whole Exif segment is.
    EXPECT_EQ(date, size >= exif_end ? "2015-03-04" : "") << size;
  }
}

}  // namespace
}  // namespace nandell::test_support
