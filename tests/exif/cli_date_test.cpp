// `nandell-cli date` as users run it: the real binary, exact output and exit codes.
#include <gtest/gtest.h>

#include <filesystem>

#ifndef _WIN32
#include <sys/stat.h>
#include <unistd.h>
#endif

#include "engine/sidecar.h"
#include "platform/file.h"
#include "tests/engine/test_tree.h"
#include "tests/support/jpeg_builder.h"
#include "tests/support/media_builder.h"
#include "tests/support/run_program.h"

namespace nandell::test_support {
namespace {

using CliRun = ProgramRun;

class CliDateTest : public ::testing::Test {
 protected:
  // Runs nandell-cli with `args` from the temporary folder, with the environment entries
  // `env` ("NAME=value") added.
  CliRun RunCli(const std::vector<std::string>& args, const std::vector<std::string>& env = {}) {
    std::vector<std::string> command = {NANDELL_CLI_PATH};
    command.insert(command.end(), args.begin(), args.end());
    ProgramStart start;
    start.dir = dir_.path();
    start.env = env;
    return RunToEnd(command, start);
  }
  void Put(const std::string& name, const Bytes& bytes) {
    ASSERT_TRUE(WriteFile(dir_.File(name), bytes));
  }
  TempDir dir_;
};

TEST_F(CliDateTest, PrintsOneLinePerFileInOrder) {
  Put("a.jpg", MakeJpegWithDate("2015:03:04 12:34:56"));
  Put("B.JPG", MakeJpegWithDate("2001:02:03"));
  Put("none.jpg", MakeJpegWithDate(""));
  Put("movie.mov", "not a picture");
  Put("with space.jpg", MakeJpegWithDate("1999:12:31 23:59:59"));
  Put("照片 (1).jpg", MakeJpegWithDate("2008:08:08 08:08:08"));
  const CliRun run = RunCli({"date", "a.jpg", "B.JPG", "none.jpg", "movie.mov", "with space.jpg",
                             "./a.jpg", "照片 (1).jpg"});
  EXPECT_EQ(run.exit_code, 0);
  EXPECT_EQ(run.out,
            "a.jpg\t2015-03-04\n"
            "B.JPG\t2001-02-03\n"
            "none.jpg\t\n"
            "movie.mov\t\n"
            "with space.jpg\t1999-12-31\n"
            "./a.jpg\t2015-03-04\n"
            "照片 (1).jpg\t2008-08-08\n");
  EXPECT_EQ(run.err, "");
}

TEST_F(CliDateTest, FilesThatCannotBeExaminedAreReportedAndExitOne) {
  Put("a.jpg", MakeJpegWithDate("2015:03:04 12:34:56"));
  ASSERT_TRUE(MakeFolders(dir_.File("folder.jpg")));
  const CliRun run = RunCli({"date", "missing.jpg", "a.jpg", "folder.jpg"});
  EXPECT_EQ(run.exit_code, 1);
  EXPECT_EQ(run.out, "missing.jpg\t\na.jpg\t2015-03-04\nfolder.jpg\t\n");
  EXPECT_EQ(run.err,
            "nandell-cli date: missing.jpg: No such file or directory\n"
            "nandell-cli date: folder.jpg: is a folder\n");
}

TEST_F(CliDateTest, ReaderNoticesStayOffStandardOutput) {
  JpegBuilder builder;
  builder.Soi().Eoi().Raw(Bytes("\x00\x02", 2));
  Put("eoi.jpg", builder.bytes());
  const CliRun run = RunCli({"date", "eoi.jpg"});
  EXPECT_EQ(run.exit_code, 0);
  EXPECT_EQ(run.out, "eoi.jpg\t\n");
  EXPECT_EQ(run.err, "No image in jpeg!\n");
}

TEST_F(CliDateTest, MediaDatesFromTheOptionOrConfigIni) {
  Put("photo.heic", MakeHeif({}));
  Put("a.jpg", MakeJpegWithDate("2015:03:04 12:34:56"));
  Put("zero.jpg", MakeJpegWithDate("0000:00:00 00:00:00"));
  const std::vector<std::string> files = {"photo.heic", "a.jpg", "zero.jpg"};
  const std::string designed = "photo.heic\t\na.jpg\t2015-03-04\nzero.jpg\t0000-00-00\n";
  const std::string media = "photo.heic\t2015-03-04\na.jpg\t2015-03-04\nzero.jpg\t\n";
  ASSERT_TRUE(std::filesystem::create_directory(dir_.File("cfg")));
  const std::vector<std::string> config = {"NANDELL_CONFIG_DIR=" + dir_.File("cfg")};
  auto date = [&](std::vector<std::string> args) {
    args.insert(args.begin(), "date");
    args.insert(args.end(), files.begin(), files.end());
    return RunCli(args, config).out;
  };
  EXPECT_EQ(date({}), designed);
  EXPECT_EQ(date({"--media-dates"}), media);
  Put("cfg/Config.ini", "[VovirurOrarudar]\nMediaDates=1\n");
  EXPECT_EQ(date({}), media);
  Put("cfg/Config.ini", "[VovirurOrarudar]\nMediaDates=0\n");
  EXPECT_EQ(date({}), designed);
  EXPECT_EQ(ReadFile(dir_.File("cfg/Config.ini")), "[VovirurOrarudar]\nMediaDates=0\n");
  // "--" ends the options: a file may be called --media-dates.
  Put("--media-dates", MakeHeif({}));
  const CliRun run = RunCli({"date", "--media-dates", "--", "--media-dates"});
  EXPECT_EQ(run.out, "--media-dates\t2015-03-04\n");
  EXPECT_EQ(run.exit_code, 0);
}

// The date sources in their order, with where each date came from, and the clock options:
// the day printed is the day folder organize would choose.
TEST_F(CliDateTest, SourcesAndClockOptionsAsOrganizeFilesThem) {
  const time_t noon = nandell::testing::LocalNoon(2014, 12, 31);
  Put("IMG_20200501_023000.jpg", "no metadata");
  Put("night.jpg", MakeJpegWithDate("2020:05:01 02:30:00"));
  Put("photo.jpg", "no metadata");
  Put("photo.JPG.XMP",
      "<x:xmpmeta xmlns:x='adobe:ns:meta/'><rdf:Description "
      "xmlns:exif='http://ns.adobe.com/exif/1.0/'><exif:DateTimeOriginal>"
      "2006-05-24T15:06:26</exif:DateTimeOriginal></rdf:Description></x:xmpmeta>");
  ASSERT_TRUE(nandell::testing::WriteFile(dir_.File("IMG_2041.jpg"), "a counter", noon));
  const std::vector<std::string> files = {"IMG_20200501_023000.jpg", "night.jpg", "photo.jpg",
                                          "IMG_2041.jpg", "missing.jpg"};
  ASSERT_TRUE(std::filesystem::create_directory(dir_.File("cfg")));
  const std::vector<std::string> config = {"NANDELL_CONFIG_DIR=" + dir_.File("cfg")};
  auto date = [&](std::vector<std::string> args) {
    args.insert(args.begin(), "date");
    args.insert(args.end(), files.begin(), files.end());
    return RunCli(args, config);
  };
  const std::string last_write = nandell::testing::LocalDayText(noon);
  CliRun run = date({"--source", "--sidecar-dates", "--name-dates", "--day-starts-at", "04:00"});
  EXPECT_EQ(run.out,
            "IMG_20200501_023000.jpg\t2020-04-30\tname\n"
            "night.jpg\t2020-04-30\texif\n"
            "photo.jpg\t2006-05-24\tsidecar\n"
            "IMG_2041.jpg\t" +
                last_write +
                "\tmtime\n"
                "missing.jpg\t\t\n");
  EXPECT_EQ(run.exit_code, 1);
  EXPECT_EQ(run.err, "nandell-cli date: missing.jpg: No such file or directory\n");
  // A shift moves capture times, never last-write times; without --source no last-write day.
  run = date({"--shift=-03:00"});
  EXPECT_EQ(run.out,
            "IMG_20200501_023000.jpg\t\nnight.jpg\t2020-04-30\nphoto.jpg\t\n"
            "IMG_2041.jpg\t\nmissing.jpg\t\n");
  // The same from Config.ini; a start of the day that is not HH:MM is said and ignored.
  Put("cfg/Config.ini", "[VovirurOrarudar]\nNameDates=1\nSidecarDates=1\nDayStartsAt=4\n");
  run = date({"--source"});
  EXPECT_EQ(run.out,
            "IMG_20200501_023000.jpg\t2020-05-01\tname\n"
            "night.jpg\t2020-05-01\texif\n"
            "photo.jpg\t2006-05-24\tsidecar\n"
            "IMG_2041.jpg\t" +
                last_write +
                "\tmtime\n"
                "missing.jpg\t\t\n");
  EXPECT_EQ(run.err.substr(0, run.err.find('\n')),
            "nandell-cli date: DayStartsAt=4 of Config.ini is not HH:MM; days begin at 00:00");
  for (const char* bad : {"--shift=3", "--day-starts-at=24:00"}) {
    run = RunCli({"date", bad, "night.jpg"});
    EXPECT_EQ(run.exit_code, 2) << bad;
    EXPECT_EQ(run.out, "") << bad;
    EXPECT_EQ(run.err.rfind("nandell-cli date: option '", 0), 0u) << run.err;
  }
}

#ifndef _WIN32
// A sidecar is read to its bound and no further, whatever it is: a pipe or a device never
// holds the run, and a date past the bound is not read.
TEST_F(CliDateTest, SidecarsAreReadToTheirBoundOnly) {
  const time_t noon = nandell::testing::LocalNoon(2014, 12, 31);
  const std::string date = "<x xmp:CreateDate='2002-02-02'/>";
  const struct {
    const char* name;
    std::string sidecar;  // its bytes; "pipe" or "zero" for those
    const char* source;
  } rows[] = {
      {"pipe.jpg", "pipe", "mtime"},
      {"zero.jpg", "zero", "mtime"},
      {"past.jpg", std::string(kSidecarReadBound, ' ') + date, "mtime"},
      {"within.jpg", std::string(kSidecarReadBound - date.size(), ' ') + date, "sidecar"},
  };
  std::vector<std::string> args = {"date", "--sidecar-dates", "--source"};
  std::string expected;
  for (const auto& row : rows) {
    const std::string sidecar = dir_.File(std::string(row.name) + ".xmp");
    ASSERT_TRUE(nandell::testing::WriteFile(dir_.File(row.name), "x", noon));
    if (row.sidecar == "pipe") {
      ASSERT_EQ(::mkfifo(sidecar.c_str(), 0600), 0);
    } else if (row.sidecar == "zero") {
      ASSERT_EQ(::symlink("/dev/zero", sidecar.c_str()), 0);
    } else {
      Put(std::string(row.name) + ".xmp", row.sidecar);
    }
    args.push_back(row.name);
    expected +=
        std::string(row.name) + "\t" +
        (std::string(row.source) == "mtime" ? nandell::testing::LocalDayText(noon) : "2002-02-02") +
        "\t" + row.source + "\n";
  }
  const CliRun run = RunCli(args);
  EXPECT_EQ(run.exit_code, 0);
  EXPECT_EQ(run.out, expected);
}
#endif

TEST_F(CliDateTest, NoFilesIsAUsageError) {
  const CliRun run = RunCli({"date"});
  EXPECT_EQ(run.exit_code, 2);
  EXPECT_EQ(run.out, "");
  EXPECT_EQ(run.err,
            "usage: nandell-cli date FILE... [--media-dates] [--sidecar-dates] [--name-dates]\n"
            "                        [--day-starts-at HH:MM] [--shift [+|-]HH:MM] [--source]\n");
}

}  // namespace
}  // namespace nandell::test_support
