// The organizing run on real files in temporary folders.
#include "engine/organizer.h"

#include <gtest/gtest.h>

#ifdef _WIN32
#include <windows.h>
#else
#include <dirent.h>
#include <fcntl.h>
#include <grp.h>
#include <sys/file.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <set>
#include <vector>

#include "engine/file_transfer.h"
#include "engine/journal.h"
#include "engine/local_time.h"
#include "platform/path.h"
#include "platform/process.h"
#include "settings/settings_store.h"
#include "tests/engine/recording_observer.h"
#include "tests/support/proxy_file_system.h"
#include "tests/support/temp_tree.h"
#ifndef _WIN32
#include "tests/support/fat_card.h"
#endif
#include "tests/support/gated_file_system.h"
#include "tests/support/jpeg_builder.h"

namespace nandell {
namespace {

using testing::LastWriteSeconds;
using testing::ListFiles;
using testing::LocalNoon;
using testing::MakeFolders;
using testing::Native;
using testing::PathExists;
using testing::ReadFile;
using testing::TempDir;
using testing::WriteFile;

// Records the programs the run starts instead of starting them.
class LauncherRecorder {
 public:
  LauncherRecorder() {
    previous_ =
        SetProgramLauncher([this](const std::string& file, const std::string& params, bool) {
          std::lock_guard<std::mutex> lock(mutex_);
          calls_.push_back(file + "|" + params);
          return 0;
        });
  }
  ~LauncherRecorder() { SetProgramLauncher(previous_); }
  std::vector<std::string> calls() {
    std::lock_guard<std::mutex> lock(mutex_);
    return calls_;
  }

 private:
  ProgramLauncher previous_;
  std::mutex mutex_;
  std::vector<std::string> calls_;
};

class OrganizerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_FALSE(dir_.path().empty());
    src_ = dir_ / "src/";
    out_ = dir_ / "out/";
    cfg_ = dir_ / "cfg/";
    ASSERT_TRUE(MakeFolders(src_) && MakeFolders(out_) && MakeFolders(cfg_));
    settings_ = std::make_unique<SettingsStore>(cfg_, false);
  }

  // The config of a run from the store, as the window builds it when organize is pressed.
  RunConfig Config(bool move = false, std::string photo = "", std::string output = "") {
    RunConfig config = RunConfigFromSettings(*settings_);
    config.photo_folder = photo.empty() ? src_ : photo;
    config.output_folder = output.empty() ? out_ : output;
    config.move = move;
    return config;
  }

  // Runs one job to its end and returns the refusal text (empty when it ran).
  std::string Run(RecordingObserver* observer, bool move = false, std::string photo = "",
                  std::string output = "") {
    OrganizerJob job(*observer);
    std::string refusal = job.OnOrganize(Config(move, photo, output));
    job.Wait();
    last_message_ = job.LastMessage();
    return refusal;
  }

  TempDir dir_;
  std::string src_, out_, cfg_;
  std::unique_ptr<SettingsStore> settings_;
  LauncherRecorder launcher_;
  std::string last_message_;
};

const time_t kDay1 = LocalNoon(2014, 12, 31);
const time_t kDay2 = LocalNoon(2015, 3, 4);

TEST(CheckStartTest, RefusesInOrderWithExactTexts) {
  TempDir dir;
  const std::string a = dir / "Pics/";
  const std::string b = dir / "Pics2/";
  ASSERT_TRUE(MakeFolders(a) && MakeFolders(b));
  EXPECT_EQ(CheckStart("", b), "请先选择目录.");
  EXPECT_EQ(CheckStart(a, ""), "请先选择目录.");
  // Equal texts, letter case ignored.
  std::string upper = a;
  std::transform(upper.begin(), upper.end(), upper.begin(), ::toupper);
  EXPECT_EQ(CheckStart(a, upper), "照片目录和输出目录不能是同一个目录.");
  // One inside the other, letter case respected for the texts.
  EXPECT_EQ(CheckStart(a, a + "Out/"), "照片目录和输出目录不能在是同一个目录内.");
  EXPECT_EQ(CheckStart(a + "Out/", a), "照片目录和输出目录不能在是同一个目录内.");
  // A sibling whose name begins with the same letters is accepted.
  EXPECT_EQ(CheckStart(a, b), "");
  // Both missing: the output folder is named, being tested first.
  EXPECT_EQ(CheckStart(dir / "no1/", dir / "no2/"), "目录不存在:" + dir / "no2/");
  EXPECT_EQ(CheckStart(dir / "no1/", b), "目录不存在:" + dir / "no1/");
}

#ifndef _WIN32
TEST(CheckStartTest, SeesTheSameFolderThroughOtherSpellings) {
  TempDir dir;
  ASSERT_TRUE(MakeFolders(dir / "p/inner") && MakeFolders(dir / "q"));
  ASSERT_EQ(::symlink((dir / "p").c_str(), (dir / "link").c_str()), 0);
  EXPECT_EQ(CheckStart(dir / "p/", dir / "link/"), "照片目录和输出目录不能是同一个目录.");
  EXPECT_EQ(CheckStart(dir / "link/", dir / "p/inner/"), "照片目录和输出目录不能在是同一个目录内.");
  EXPECT_EQ(CheckStart(dir / "q/../p/", dir / "p/inner/"),
            "照片目录和输出目录不能在是同一个目录内.");
  EXPECT_EQ(CheckStart(dir / "p/", dir / "q/"), "");
}
#endif

TEST(SummaryTest, Format) {
  EXPECT_EQ(FormatSummary({12, 3}), "\r\n\r\n整理文件 12 个, 失败 3 个");
}

TEST_F(OrganizerTest, CopiesByYearWithExactMessagesAndNoReportWithoutFailures) {
  ASSERT_TRUE(WriteFile(src_ + "clip.mov", "movie", kDay1));
  ASSERT_TRUE(WriteFile(cfg_ + "errorFile.txt", "older"));
  RecordingObserver sink;
  ASSERT_EQ(Run(&sink), "");
  const std::string target = out_ + Native("2014年/2014-12-31/clip.mov");
  EXPECT_EQ(ReadFile(target), "movie");
  EXPECT_EQ(ReadFile(src_ + "clip.mov"), "movie");
  ASSERT_EQ(sink.FileMessages().size(), 1u);
  EXPECT_EQ(sink.FileMessages()[0],
            "复制文件(1): " + src_ + "clip.mov\r\n\r\n复制到: " + target + "\r\n");
  EXPECT_EQ(last_message_, "\r\n\r\n整理文件 1 个, 失败 0 个");
  // One event per file, then the end; no failure report, the older file stays, nothing is
  // started.
  EXPECT_EQ(sink.events, (std::vector<std::string>{"file", "ended"}));
  EXPECT_EQ(sink.files[0].ordinal, 1);
  EXPECT_EQ(sink.files[0].outcome, FileOutcome::kTransferred);
  EXPECT_EQ(sink.report.summary, "\r\n\r\n整理文件 1 个, 失败 0 个");
  EXPECT_FALSE(sink.report.stopped);
  EXPECT_EQ(ReadFile(cfg_ + "errorFile.txt"), "older");
  EXPECT_TRUE(launcher_.calls().empty());
  EXPECT_TRUE(sink.report.error_file.empty());
}

TEST_F(OrganizerTest, PhotosGoByTheirCaptureDate) {
  using test_support::MakeJpegWithDate;
  ASSERT_TRUE(WriteFile(src_ + "Cam/IMG_0001.JPG", MakeJpegWithDate("2015:03:04 12:34:56"), kDay1));
  ASSERT_TRUE(WriteFile(src_ + "Cam/nodate.jpg", MakeJpegWithDate(""), kDay1));
  ASSERT_TRUE(WriteFile(src_ + "Cam/dash.jpg", MakeJpegWithDate("-2015:03:04"), kDay1));
  ASSERT_TRUE(WriteFile(src_ + "Cam/dateonly.jpg", MakeJpegWithDate("2016:07:08"), kDay1));
  RecordingObserver sink;
  ASSERT_EQ(Run(&sink), "");
  const std::string target = out_ + Native("2015年/2015-03-04/IMG_0001.JPG");
  EXPECT_TRUE(PathExists(target));
  EXPECT_TRUE(PathExists(out_ + "2014年/2014-12-31/nodate.jpg"));
  EXPECT_TRUE(PathExists(out_ + "2014年/2014-12-31/dash.jpg"));  // no year part
  EXPECT_TRUE(PathExists(out_ + "2016年/2016-07-08/dateonly.jpg"));
  bool found = false;
  for (const auto& m : sink.FileMessages()) {
    if (m.find(src_ + Native("Cam/IMG_0001.JPG") + "\r\n\r\n复制到: " + target + "\r\n") !=
        std::string::npos) {
      found = true;
    }
  }
  EXPECT_TRUE(found);
}

// Files without a date of their own go by their sidecar, then their name, then their
// last-write time; a day starting at 04:00 keeps a night's photos together, and the journal
// records where each date came from. Without the switches the same files go as designed.
TEST_F(OrganizerTest, SidecarsNamesAndTheStartOfTheDayDateFilesWithoutTheirOwnDate) {
  using test_support::MakeJpegWithDate;
  struct tm late {};
  late.tm_year = 2014 - 1900;
  late.tm_mon = 11;
  late.tm_mday = 31;
  late.tm_hour = 2;
  late.tm_isdst = -1;
  const time_t two_in_the_night = std::mktime(&late);
  const std::string takeout =
      "{\"title\": \"IMG_1234.JPG\", \"photoTakenTime\": "
      "{\"timestamp\": \"1577880000\", \"formatted\": \"\"}}";
  const std::pair<const char*, std::string> files[] = {
      {"a/IMG_20200101_123456.jpg", "no metadata"},
      {"a/photo.jpg", "no metadata"},
      {"a/photo.XMP",
       "<x:xmpmeta><rdf:Description xmlns:xap='http://ns.adobe.com/xap/1.0/' "
       "xap:CreateDate='2006-05-24T15:06:26'/></x:xmpmeta>"},
      {"a/IMG_1234(1).JPG", "no metadata"},
      {"a/IMG_1234.JPG(1).json", takeout},
      {"a/night.jpg", MakeJpegWithDate("2020:05:01 02:30:00")},
      {"a/IMG_2041.jpg", "a counter"},
  };
  for (const auto& [name, bytes] : files) ASSERT_TRUE(WriteFile(src_ + name, bytes, kDay1));
  ASSERT_TRUE(WriteFile(src_ + "a/late.mov", "movie", two_in_the_night));

  RunConfig config = Config();
  config.sidecar_dates = true;
  config.name_dates = true;
  config.day_start_minutes = 4 * 60;
  RecordingObserver sink;
  ASSERT_EQ(RunToEnd(config, &sink), "");
  // 1577880000 is 2020-01-01 12:00 UTC: its local day is that day, wherever the test runs.
  const std::string expected[] = {"2020年/2020-01-01/IMG_20200101_123456.jpg",
                                  "2006年/2006-05-24/photo.jpg",
                                  "2020年/2020-01-01/IMG_1234(1).JPG",
                                  "2020年/2020-04-30/night.jpg",
                                  "2014年/2014-12-31/IMG_2041.jpg",
                                  "2014年/2014-12-30/late.mov"};
  std::map<std::string, std::string> want;
  const auto name_of = [](const std::string& path) { return path.substr(path.rfind('/') + 1); };
  for (const std::string& path : expected) want[path] = ReadFile(src_ + "a/" + name_of(path));
  EXPECT_EQ(ListFiles(out_), want);

  Journal journal;
  ASSERT_TRUE(ParseJournal(ReadFile(sink.report.journal), &journal));
  std::map<std::string, std::string> sources;
  for (const JournalEntry& entry : journal.files) {
    sources[entry.target.substr(entry.target.find_last_of("/\\") + 1)] =
        entry.date_source + " " + entry.taken;
  }
  EXPECT_EQ(sources, (std::map<std::string, std::string>{
                         {"IMG_20200101_123456.jpg", "name 2020-01-01 12:34:56"},
                         {"photo.jpg", "sidecar 2006-05-24 15:06:26"},
                         {"IMG_1234(1).JPG", "sidecar " + DateTimeText(*LocalTimeOf(1577880000))},
                         {"night.jpg", "exif 2020-05-01 02:30:00"},
                         {"IMG_2041.jpg", "mtime " + DateTimeText(*LocalTimeOf(kDay1))},
                         {"late.mov", "mtime " + DateTimeText(*LocalTimeOf(two_in_the_night))}}));
  EXPECT_NE(ReadFile(sink.report.journal).find("\tday_starts_at=04:00\tshift=+00:00\toutput_id="),
            std::string::npos);

  // As designed: every file without a date of its own goes by its last-write day.
  const std::string designed_out = dir_ / "designed/";
  ASSERT_TRUE(MakeFolders(designed_out));
  RecordingObserver designed;
  ASSERT_EQ(Run(&designed, false, "", designed_out), "");
  std::map<std::string, std::string> by_design;
  for (const std::string& path : expected) {
    const std::string name = name_of(path);
    by_design[(name == "night.jpg" ? "2020年/2020-05-01/" : "2014年/2014-12-31/") + name] =
        ReadFile(src_ + "a/" + name);
  }
  EXPECT_EQ(ListFiles(designed_out), by_design);
  const std::string text = ReadFile(designed.report.journal);
  EXPECT_EQ(text.find("\ndate\t"), std::string::npos);
  EXPECT_EQ(text.find("name_dates"), std::string::npos);
}

TEST_F(OrganizerTest, HostileCaptureDatesNeverLeaveTheOutputFolder) {
  using test_support::MakeJpegWithDate;
  int i = 0;
  for (const char* date : {"../../x", "..", "../../../../../../../../tmp/x", "2015/../../y",
                           "2015:03:04\\..\\z", "a\nb"}) {
    ASSERT_TRUE(
        WriteFile(src_ + "h" + std::to_string(i++) + ".jpg", MakeJpegWithDate(date), kDay1));
  }
  // The output lies two levels below the test's own folder, so that a date such as "../../x"
  // would land in that folder, where it would be seen.
  const std::string deep = dir_ / "deep/";
  ASSERT_TRUE(MakeFolders(deep + "out"));
  for (int by_year : {1, 0}) {
    settings_->IsClassifyByYear = by_year;
    RecordingObserver sink;
    ASSERT_EQ(Run(&sink, false, src_, deep + "out/"), "");
    EXPECT_EQ(sink.report.counters.ProcessedCount, i);
  }
  // Everything written lies under the output folder, dated by the last-write time.
  std::set<std::string> top;
#ifdef _WIN32
  for (const auto& [path, entry] : testing::ListTree(dir_.path())) {
    if (path.find('/') == std::string::npos) top.insert(path);
  }
  top.insert({".", ".."});
#else
  DIR* d = ::opendir(dir_.path().c_str());
  while (struct dirent* e = ::readdir(d)) top.insert(e->d_name);
  ::closedir(d);
#endif
  EXPECT_EQ(top, (std::set<std::string>{".", "..", "src", "out", "cfg", "deep"}));
  auto written = ListFiles(deep);
  std::erase_if(written,
                [](const auto& file) { return file.first.rfind("out/.nandell/", 0) == 0; });
  for (const auto& [path, content] : written) {
    EXPECT_TRUE(path.rfind("out/2014年/2014-12-31/", 0) == 0 ||
                path.rfind("out/2014-12-31/", 0) == 0)
        << path;
  }
  EXPECT_EQ(written.size(), 2u * i);
  EXPECT_TRUE(ListFiles(out_).empty());
}

TEST_F(OrganizerTest, CopiesByDayAndKeepsTimeAndMode) {
  settings_->IsClassifyByYear = 0;
  ASSERT_TRUE(WriteFile(src_ + "a.mp4", "x", kDay2));
#ifndef _WIN32
  ASSERT_EQ(::chmod((src_ + "a.mp4").c_str(), 0640), 0);
#endif
  RecordingObserver sink;
  ASSERT_EQ(Run(&sink), "");
  const std::string target = out_ + "2015-03-04/a.mp4";
  EXPECT_EQ(ReadFile(target), "x");
  EXPECT_EQ(LastWriteSeconds(target), kDay2);
#ifndef _WIN32
  struct stat st;
  ASSERT_EQ(::stat(target.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 07777, 0640u);
#endif
  EXPECT_FALSE(PathExists(out_ + "2015年"));
}

// A run of many failures keeps their lines out of memory beyond a bound, and its report holds
// every one, in order, then the summary.
TEST_F(OrganizerTest, AReportOfManyFailuresHoldsEveryLine) {
  std::string deep = src_;
  for (int level = 0; level < 15; ++level) deep += std::string(240, 'd') + "/";
  for (int i = 0; i < 320; ++i) {
    ASSERT_TRUE(WriteFile(deep + "f" + std::to_string(i) + ".mov", "x", kDay1));
  }
  RecordingObserver first, again;
  ASSERT_EQ(Run(&first), "");
  OrganizerJob job(again);
  ASSERT_EQ(job.OnOrganize(Config()), "");
  job.Wait();
  ASSERT_EQ(again.report.counters.FailedCount, 320);
  std::string lines;
  for (const std::string& message : again.FileMessages()) lines += message;
  ASSERT_GT(lines.size(), size_t{1} << 20);
  EXPECT_EQ(ReadFile(cfg_ + "errorFile.txt"), lines + again.report.summary);
  EXPECT_EQ(job.FailureLog(), lines + again.report.summary);
}

TEST_F(OrganizerTest, SameNameInTwoFoldersFailsOnceAndIsReported) {
  ASSERT_TRUE(WriteFile(src_ + "a/IMG.mov", "first", kDay1));
  ASSERT_TRUE(WriteFile(src_ + "b/IMG.mov", "second", kDay1));
  RecordingObserver sink;
  ASSERT_EQ(Run(&sink), "");
  EXPECT_EQ(sink.report.counters.ProcessedCount, 2);
  EXPECT_EQ(sink.report.counters.FailedCount, 1);
  const std::string target = out_ + Native("2014年/2014-12-31/IMG.mov");
  const std::string kept = ReadFile(target);
  EXPECT_TRUE(kept == "first" || kept == "second");
  // The failed one is the one not copied; its line names it.
  const std::string failed_source = src_ + (kept == "first" ? "b" : "a") + Native("/IMG.mov");
  // The designed line, with the reason before its end.
  const std::string line =
      "复制文件失败: " + failed_source + " -> " + target + " (File exists)\r\n";
  EXPECT_EQ(sink.FileMessages()[1], line);
  const std::string report = line + "\r\n\r\n整理文件 2 个, 失败 1 个";
  EXPECT_EQ(ReadFile(cfg_ + "errorFile.txt"), report);
  EXPECT_EQ(sink.report.error_file, cfg_ + "errorFile.txt");
  EXPECT_EQ(sink.files[1].outcome, FileOutcome::kFailed);
  EXPECT_EQ(sink.files[1].reason, std::strerror(EEXIST));
  // Showing the report is the window's: the run opens nothing.
  EXPECT_TRUE(launcher_.calls().empty());
}

TEST_F(OrganizerTest, SecondRunFailsEveryFileAndRewritesTheReport) {
  for (int i = 0; i < 5; ++i) {
    ASSERT_TRUE(
        WriteFile(src_ + "d" + std::to_string(i) + "/f.avi", std::to_string(i), kDay1 + i * 86400));
  }
  ASSERT_TRUE(WriteFile(cfg_ + "errorFile.txt", std::string(10000, '#')));
  RecordingObserver first;
  ASSERT_EQ(Run(&first), "");
  EXPECT_EQ(first.report.counters.FailedCount, 0);
  auto after_first = ListFiles(out_);
  RecordingObserver second;
  ASSERT_EQ(Run(&second), "");
  EXPECT_EQ(second.report.counters.ProcessedCount, 5);
  EXPECT_EQ(second.report.counters.FailedCount, 5);
  EXPECT_EQ(ListFiles(out_), after_first);  // nothing replaced
  const std::string report = ReadFile(cfg_ + "errorFile.txt");
  EXPECT_EQ(report.find('#'), std::string::npos);  // rewritten from scratch
  EXPECT_NE(report.find("\r\n\r\n\r\n整理文件 5 个, 失败 5 个"), std::string::npos);
}

TEST_F(OrganizerTest, OrdinalsCountFailures) {
  // Half of the files already have their target, so failures and successes interleave.
  for (int i = 0; i < 20; ++i) {
    const std::string name = "f" + std::to_string(i) + ".mov";
    ASSERT_TRUE(WriteFile(src_ + name, "new", kDay1));
    if (i % 2 == 0) {
      ASSERT_TRUE(WriteFile(out_ + "2014年/2014-12-31/" + name, "old"));
    }
  }
  RecordingObserver sink;
  ASSERT_EQ(Run(&sink), "");
  auto messages = sink.FileMessages();
  ASSERT_EQ(messages.size(), 20u);
  bool success_after_failure = false;
  bool seen_failure = false;
  for (size_t i = 0; i < messages.size(); ++i) {
    if (messages[i].rfind("复制文件失败: ", 0) == 0) {
      seen_failure = true;
      continue;
    }
    EXPECT_EQ(messages[i].rfind("复制文件(" + std::to_string(i + 1) + "): ", 0), 0u) << i;
    if (seen_failure) success_after_failure = true;
  }
  EXPECT_TRUE(success_after_failure);
  for (int i = 0; i < 20; i += 2) {
    EXPECT_EQ(ReadFile(out_ + "2014年/2014-12-31/f" + std::to_string(i) + ".mov"), "old");
  }
}

TEST_F(OrganizerTest, FilterKeyAndHiddenNamesAtAnyDepth) {
  for (const char* name :
       {"photo.JPG", "photo.jpg", "photo.jpeg", "photo.png", "photo.mp3", "film.rmvb",
        "deep/.hidden.mov", "deep/~tmp.mov", ".dot/x.mov", "~tilde/y.mov", "deep/er/ok.MOV"}) {
    ASSERT_TRUE(WriteFile(src_ + name, name, kDay1));
  }
  RecordingObserver sink;
  ASSERT_EQ(Run(&sink), "");
  std::set<std::string> names;
  for (const auto& [path, content] : ListFiles(out_))
    names.insert(path.substr(path.rfind('/') + 1));
#ifdef _WIN32
  // Names that differ in letter case only are one file on Windows.
  EXPECT_EQ(names, (std::set<std::string>{"photo.JPG", "film.rmvb", "ok.MOV"}));
  EXPECT_EQ(sink.report.counters.ProcessedCount, 3);
#else
  EXPECT_EQ(names, (std::set<std::string>{"photo.JPG", "photo.jpg", "film.rmvb", "ok.MOV"}));
  EXPECT_EQ(sink.report.counters.ProcessedCount, 4);
#endif
}

TEST_F(OrganizerTest, EmptyFiltersTakeNothing) {
  settings_->FileFilters = "";
  ASSERT_TRUE(WriteFile(src_ + "a.mov", "a", kDay1));
  RecordingObserver sink;
  ASSERT_EQ(Run(&sink), "");
  EXPECT_EQ(sink.report.counters.ProcessedCount, 0);
  EXPECT_TRUE(ListFiles(out_).empty());
}

TEST_F(OrganizerTest, WalksEachSubfolderCompletelyBeforeGoingOn) {
  for (const char* d : {"a", "b", "c", "a/x", "a/y", "c/z"}) {
    for (int i = 0; i < 3; ++i) {
      ASSERT_TRUE(WriteFile(
          src_ + d + "/" + d[0] + (d[1] ? std::string(d + 2) : "") + std::to_string(i) + ".mov", d,
          kDay1));
    }
  }
  for (int i = 0; i < 3; ++i)
    ASSERT_TRUE(WriteFile(src_ + "top" + std::to_string(i) + ".mov", "t", kDay1));
  RecordingObserver sink;
  ASSERT_EQ(Run(&sink), "");
  std::vector<std::string> folders;  // folder of each file, in order
  for (const auto& m : sink.FileMessages()) {
    size_t start = m.find(src_) + src_.size();
    std::string rel = m.substr(start, m.find("\r\n") - start);
    folders.push_back(rel.substr(0, LastSeparator(rel) + 1));
  }
  ASSERT_EQ(folders.size(), 21u);
  // Depth first: the files under any folder form one unbroken stretch.
  for (const char* d : {"a/", "b/", "c/", "a/x/", "a/y/", "c/z/"}) {
    std::vector<size_t> at;
    for (size_t i = 0; i < folders.size(); ++i) {
      if (folders[i].rfind(Native(d), 0) == 0) at.push_back(i);
    }
    ASSERT_FALSE(at.empty());
    EXPECT_EQ(at.back() - at.front() + 1, at.size()) << d;
  }
}

TEST_F(OrganizerTest, OutputWithoutTrailingSeparatorIsJoinedUnchanged) {
  ASSERT_TRUE(WriteFile(src_ + "a.mov", "a", kDay1));
  RecordingObserver sink;
  const std::string output = dir_ / "out";
  ASSERT_EQ(Run(&sink, false, dir_ / "src", output), "");
  EXPECT_EQ(ReadFile(dir_ / "out2014年/2014-12-31/a.mov"), "a");
  EXPECT_NE(sink.FileMessages()[0].find(src_ + "a.mov"), std::string::npos);
}

TEST_F(OrganizerTest, MovesAndRefusesToReplace) {
  ASSERT_TRUE(WriteFile(src_ + "a.mov", "a", kDay1));
  ASSERT_TRUE(WriteFile(src_ + "b.mov", "b-new", kDay1));
  ASSERT_TRUE(WriteFile(out_ + "2014年/2014-12-31/b.mov", "b-old"));
  RecordingObserver sink;
  ASSERT_EQ(Run(&sink, true), "");
  EXPECT_EQ(ReadFile(out_ + "2014年/2014-12-31/a.mov"), "a");
  EXPECT_FALSE(PathExists(src_ + "a.mov"));
  EXPECT_EQ(ReadFile(src_ + "b.mov"), "b-new");
  EXPECT_EQ(ReadFile(out_ + "2014年/2014-12-31/b.mov"), "b-old");
  bool saw_move = false, saw_fail = false;
  for (const auto& m : sink.FileMessages()) {
    if (m == "移动文件失败: " + src_ + "b.mov -> " + out_ +
                 Native("2014年/2014-12-31/b.mov (File exists)\r\n")) {
      saw_fail = true;
    }
    if (m.find("): " + src_ + "a.mov\r\n\r\n移动到: " + out_ +
               Native("2014年/2014-12-31/a.mov\r\n")) != std::string::npos &&
        m.rfind("移动文件(", 0) == 0) {
      saw_move = true;
    }
  }
  EXPECT_TRUE(saw_move);
  EXPECT_TRUE(saw_fail);
}

TEST_F(OrganizerTest, MovesAcrossFileSystems) {
  TempDir shm(testing::kOtherFileSystem);
  if (shm.path().empty() || !testing::OnOtherFileSystem(src_, shm.path())) {
    GTEST_SKIP() << testing::kOtherFileSystem << " is not a separate file system here";
  }
  ASSERT_TRUE(WriteFile(src_ + "big.mov", std::string(3 << 20, 'q'), kDay1));
  ASSERT_TRUE(WriteFile(src_ + "taken.mov", "mine", kDay1));
  ASSERT_TRUE(WriteFile(shm / "2014年/2014-12-31/taken.mov", "theirs"));
  RecordingObserver sink;
  ASSERT_EQ(Run(&sink, true, src_, shm.path()), "");
  EXPECT_EQ(sink.report.counters.ProcessedCount, 2);
  EXPECT_EQ(sink.report.counters.FailedCount, 1);
  EXPECT_EQ(ReadFile(shm / "2014年/2014-12-31/big.mov"), std::string(3 << 20, 'q'));
  EXPECT_FALSE(PathExists(src_ + "big.mov"));
  // The copy failed (target taken): the source stays, the other file is untouched.
  EXPECT_EQ(ReadFile(src_ + "taken.mov"), "mine");
  EXPECT_EQ(ReadFile(shm / "2014年/2014-12-31/taken.mov"), "theirs");
  // No temporary file is left behind.
  EXPECT_EQ(ListFiles(shm.path()).size(), 2u);
}

TEST_F(OrganizerTest, StopFinishesTheFileInHand) {
  for (int i = 0; i < 5; ++i) {
    for (int j = 0; j < 5; ++j) {
      ASSERT_TRUE(WriteFile(src_ + "d" + std::to_string(i) + "/f" + std::to_string(j) + ".mov", "x",
                            kDay1 + j * 86400));
    }
  }
  RecordingObserver sink;
  OrganizerJob job(sink);
  sink.on_file = [&job](const FileEvent&) { job.OnStop(); };
  RunConfig one_at_a_time = Config();
  one_at_a_time.transfers_at_once = 1;
  ASSERT_EQ(job.OnOrganize(one_at_a_time), "");
  job.Wait();
  EXPECT_EQ(sink.report.counters.ProcessedCount, 1);
  EXPECT_TRUE(sink.report.stopped);
  EXPECT_EQ(job.LastMessage(), "\r\n\r\n整理文件 1 个, 失败 0 个");
  EXPECT_EQ(ListFiles(out_).size(), 1u);
  EXPECT_FALSE(job.IsRunning());
}

TEST_F(OrganizerTest, StopLetsCopiesUnderWayFinishAndStartsNoneOfTheQueued) {
  for (int i = 0; i < 30; ++i) {
    ASSERT_TRUE(WriteFile(src_ + "f" + std::to_string(i) + ".jpg", "x", kDay1));
  }
  // Two transfer threads, each held inside its first copy; the worker meanwhile dates and
  // queues the files after them until its queue is full.
  testing::GatedFileSystem disk;
  disk.Hold(testing::GatedFileSystem::kCopy);
  RecordingObserver sink;
  OrganizerJob job(sink, disk);
  RunConfig two = Config();
  two.transfers_at_once = 2;
  ASSERT_EQ(job.OnOrganize(two), "");
  ASSERT_TRUE(disk.AwaitCalls(testing::GatedFileSystem::kCopy, 2));
  // The fifth file is being dated: the four before it are handed over, two not yet started.
  ASSERT_TRUE(disk.AwaitCalls(testing::GatedFileSystem::kOpen, 5));
  job.OnStop();
  disk.Release();
  job.Wait();
  EXPECT_EQ(disk.Calls(testing::GatedFileSystem::kCopy), 2);
  EXPECT_EQ(sink.report.counters.ProcessedCount, 2);
  EXPECT_TRUE(sink.report.stopped);
  EXPECT_EQ(ListFiles(out_).size(), 2u);
  ASSERT_EQ(sink.files.size(), 2u);
  for (int i = 0; i < 2; ++i) {
    EXPECT_EQ(sink.files[i].ordinal, i + 1);
    EXPECT_EQ(ReadFile(sink.files[i].target), "x");
  }
}

TEST_F(OrganizerTest, MoveWithinOneFileSystemIsARenameOnTheWorker) {
  for (int i = 0; i < 40; ++i) {
    ASSERT_TRUE(WriteFile(src_ + "d" + std::to_string(i % 3) + "/f" + std::to_string(i) + ".mov",
                          std::to_string(i), kDay1));
  }
  ASSERT_TRUE(WriteFile(out_ + "2014年/2014-12-31/f7.mov", "taken"));
  testing::GatedFileSystem disk;
  RecordingObserver sink;
  std::set<std::thread::id> reporting;
  sink.on_file = [&](const FileEvent&) { reporting.insert(std::this_thread::get_id()); };
  OrganizerJob job(sink, disk);
  ASSERT_EQ(job.OnOrganize(Config(true)), "");
  job.Wait();
  EXPECT_EQ(sink.report.counters.ProcessedCount, 40);
  EXPECT_EQ(sink.report.counters.FailedCount, 1);
  // No copy, one rename per file, all of them on the worker (the thread that reports).
  EXPECT_EQ(disk.Calls(testing::GatedFileSystem::kCopy), 0);
  const auto places = disk.PlaceThreads();
  EXPECT_EQ(places.size(), 40u);
  ASSERT_EQ(reporting.size(), 1u);
  for (const auto& thread : places) EXPECT_EQ(thread, *reporting.begin());
  for (int i = 0; i < 40; ++i) EXPECT_EQ(sink.files[i].ordinal, i + 1);
  EXPECT_EQ(ReadFile(out_ + "2014年/2014-12-31/f7.mov"), "taken");
  EXPECT_EQ(ListFiles(src_).size(), 1u);
}

TEST_F(OrganizerTest, NewRunNeverMixesWithThePreviousReport) {
  ASSERT_TRUE(WriteFile(src_ + "a.mov", "a", kDay1));
  ASSERT_TRUE(WriteFile(out_ + "2014年/2014-12-31/a.mov", "taken"));
  RecordingObserver sink;
  OrganizerJob job(sink);
  ASSERT_EQ(job.OnOrganize(Config()), "");
  // Started again as soon as possible: waits for the previous worker's report.
  while (job.IsRunning()) std::this_thread::yield();
  ASSERT_EQ(job.OnOrganize(Config()), "");
  job.Wait();
  const std::string line = "复制文件失败: " + src_ + "a.mov -> " + out_ +
                           Native("2014年/2014-12-31/a.mov (File exists)\r\n");
  EXPECT_EQ(ReadFile(cfg_ + "errorFile.txt"), line + "\r\n\r\n整理文件 1 个, 失败 1 个");
  EXPECT_EQ(job.FailureLog(), line + "\r\n\r\n整理文件 1 个, 失败 1 个");
  EXPECT_EQ(sink.events, (std::vector<std::string>{"file", "ended", "file", "ended"}));
}

TEST_F(OrganizerTest, StartDuringARunIsRefusedAndDestructionStopsTheWorker) {
  for (int i = 0; i < 200; ++i)
    ASSERT_TRUE(WriteFile(src_ + "f" + std::to_string(i) + ".mov", "x", kDay1));
  RecordingObserver sink;
  {
    auto job = std::make_unique<OrganizerJob>(sink);
    std::string refusal_from_worker;
    std::atomic<int> files{0};
    sink.on_file = [&](const FileEvent&) {
      if (files.fetch_add(1) == 0) refusal_from_worker = job->OnOrganize(Config());
    };
    ASSERT_EQ(job->OnOrganize(Config()), "");
    EXPECT_EQ(job->OnOrganize(Config()), OrganizerJob::kRunActiveText);
    while (files.load() < 2) std::this_thread::yield();
    job.reset();  // stops and waits
    EXPECT_LT(files.load(), 200);
    EXPECT_EQ(refusal_from_worker, OrganizerJob::kRunActiveText);
  }
  EXPECT_EQ(sink.events.back(), "ended");
}

TEST_F(OrganizerTest, ReportThatCannotBeWrittenIsSkipped) {
  // A folder that cannot be made: a file stands where it would be.
  ASSERT_TRUE(WriteFile(dir_ / "file", ""));
  settings_->ConfigDir = dir_ / "file/nandell/";
  ASSERT_TRUE(WriteFile(src_ + "a.mov", "a", kDay1));
  ASSERT_TRUE(WriteFile(out_ + "2014年/2014-12-31/a.mov", "taken"));
  RecordingObserver sink;
  ASSERT_EQ(Run(&sink), "");
  EXPECT_EQ(sink.report.counters.FailedCount, 1);
  EXPECT_TRUE(sink.report.error_file.empty());
#ifdef _WIN32
  // Windows says that the path was not found.
  EXPECT_EQ(sink.report.error_file_problem,
            dir_ / "file/nandell/errorFile.txt: No such file or directory");
#else
  EXPECT_EQ(sink.report.error_file_problem, dir_ / "file/nandell/errorFile.txt: Not a directory");
#endif
  EXPECT_TRUE(launcher_.calls().empty());
}

#ifndef _WIN32
// Paths of the POSIX limit, links and renames under way: POSIX by nature.
TEST_F(OrganizerTest, OutputFolderAtTheLimitOfAPathStillTakesItsFolders) {
  // An output folder so deep that the year folder still fits in a path but the day folder
  // does not: the folders are made relative to the opened output folder, so both are made.
  std::string output = out_;
  while (output.size() < 4096 - 1 - 8 - 200) output += std::string(199, 'o') + "/";
  output += std::string(4096 - 1 - 8 - output.size() - 1, 'p') + "/";
  ASSERT_EQ(output.size(), 4096u - 1 - 8);
  ASSERT_TRUE(MakeFolders(output.substr(0, output.size() - 1)));
  ASSERT_TRUE(WriteFile(src_ + "a.mov", "a", kDay1));
  RecordingObserver sink;
  ASSERT_EQ(Run(&sink, false, src_, output), "");
  EXPECT_TRUE(PathExists(output + "2014年"));
  EXPECT_EQ(sink.report.counters.FailedCount, 0);
  EXPECT_EQ(ReadFile(src_ + "a.mov"), "a");
}

TEST_F(OrganizerTest, FileWhosePathIsTooLongIsDatedAndCopied) {
  // The folder can still be listed, but the file's full path is past the limit.
  std::string folder = src_;
  while (folder.size() < 4096 - 60 - 200) folder += std::string(199, 's') + "/";
  folder += std::string(4096 - 60 - folder.size(), 't') + "/";
  ASSERT_TRUE(MakeFolders(folder.substr(0, folder.size() - 1)));
  const std::string name(100, 'f');  // folder and name pass 4,096 bytes together
  int dir_fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY);
  ASSERT_GE(dir_fd, 0);
  int fd = ::openat(dir_fd, (name + ".mov").c_str(), O_WRONLY | O_CREAT, 0644);
  ASSERT_GE(fd, 0);
  struct timespec times[2] = {{kDay1, 0}, {kDay1, 0}};
  ASSERT_EQ(::futimens(fd, times), 0);
  ::close(fd);
  ::close(dir_fd);
  RecordingObserver sink;
  ASSERT_EQ(Run(&sink), "");
  EXPECT_EQ(sink.report.counters.ProcessedCount, 1);
  // Reached relative to its open folder, as the walk found it.
  EXPECT_EQ(sink.report.counters.FailedCount, 0);
  EXPECT_TRUE(PathExists(out_ + "2014年/2014-12-31/" + name + ".mov"));  // by its last write
  EXPECT_FALSE(PathExists(out_ + "0000年"));
}

TEST_F(OrganizerTest, OddNamesLinksAndLoops) {
  const std::string long_name = std::string(251, 'n') + ".mov";
  ASSERT_EQ(long_name.size(), 255u);
  for (const std::string& name : {std::string("with blank.mov"), std::string("照片 一.mov"),
                                  std::string("new\nline.mov"), long_name}) {
    ASSERT_TRUE(WriteFile(src_ + "d/" + name, name, kDay1));
  }
  ASSERT_TRUE(WriteFile(dir_ / "elsewhere/real.mov", "real", kDay1));
  ASSERT_EQ(::symlink((dir_ / "elsewhere/real.mov").c_str(), (src_ + "link.mov").c_str()), 0);
  ASSERT_EQ(::symlink(src_.c_str(), (src_ + "d/loop").c_str()), 0);
  ASSERT_EQ(::symlink((dir_ / "elsewhere").c_str(), (src_ + "dirlink").c_str()), 0);
  RecordingObserver sink;
  ASSERT_EQ(Run(&sink), "");
  EXPECT_EQ(sink.report.counters.ProcessedCount, 5);
  EXPECT_EQ(sink.report.counters.FailedCount, 0);
  const std::string day = out_ + "2014年/2014-12-31/";
  EXPECT_EQ(ReadFile(day + "new\nline.mov"), "new\nline.mov");
  EXPECT_EQ(ReadFile(day + "照片 一.mov"), "照片 一.mov");
  EXPECT_EQ(ReadFile(day + long_name), long_name);
  EXPECT_EQ(ReadFile(day + "link.mov"), "real");  // a link to a file is copied as the file
}

TEST_F(OrganizerTest, DanglingLinkGoesByItsOwnTime) {
  ASSERT_EQ(::symlink((dir_ / "gone.mov").c_str(), (src_ + "gone.mov").c_str()), 0);
  struct timespec times[2] = {{kDay2, 0}, {kDay2, 0}};
  ASSERT_EQ(::utimensat(AT_FDCWD, (src_ + "gone.mov").c_str(), times, AT_SYMLINK_NOFOLLOW), 0);
  RecordingObserver sink;
  ASSERT_EQ(Run(&sink), "");
  EXPECT_EQ(sink.report.counters.FailedCount, 1);
  EXPECT_EQ(sink.FileMessages(),
            std::vector<std::string>{"复制文件失败: " + src_ + "gone.mov -> " + out_ +
                                     "2015年/2015-03-04/gone.mov (No such file or directory)\r\n"});
  EXPECT_FALSE(PathExists(out_ + "0000年"));
}

// A link where a year or day folder should be is a failure of the file, with its reason; the
// run never writes where the link leads.
TEST_F(OrganizerTest, LinksWhereYearOrDayFoldersShouldBeAreFailures) {
  ASSERT_TRUE(WriteFile(src_ + "a.mov", "a", kDay1));
  for (const std::string& link : {std::string("2014年"), std::string("2014年/2014-12-31")}) {
    testing::RemoveTree(dir_ / "out");
    ASSERT_TRUE(MakeFolders(out_ + "2014年") && MakeFolders(dir_ / "elsewhere"));
    if (link.find('/') == std::string::npos) testing::RemoveTree(out_ + link);
    ASSERT_EQ(::symlink((dir_ / "elsewhere").c_str(), (out_ + link).c_str()), 0);
    RecordingObserver sink;
    ASSERT_EQ(Run(&sink), "");
    EXPECT_EQ(sink.FileMessages(),
              std::vector<std::string>{"复制文件失败: " + src_ + "a.mov -> " + out_ +
                                       "2014年/2014-12-31/a.mov (目录位置上是一个链接)\r\n"})
        << link;
    EXPECT_TRUE(testing::ListTree(dir_ / "elsewhere/").empty()) << link;
  }
}

// Replaces a folder of the photo folder with a link to another folder just before the walk
// enters it, as another program could between its listing and its walk.
class SwappingFileSystem : public testing::ProxyFileSystem {
 public:
  SwappingFileSystem(std::string folder, std::string elsewhere)
      : folder_(folder), elsewhere_(elsewhere) {}
  int OpenSubfolder(const fs::Folder& parent, const std::string& name,
                    fs::FolderRef* folder) override {
    // The run counts its files first: the walk opens the folder the second time.
    if (parent.Path() + name + "/" == folder_ && ++opened_ == 2) {
      const std::string path = folder_.substr(0, folder_.size() - 1);
      EXPECT_EQ(::rename(path.c_str(), (path + "-moved").c_str()), 0);
      EXPECT_EQ(::symlink(elsewhere_.c_str(), path.c_str()), 0);
    }
    return ProxyFileSystem::OpenSubfolder(parent, name, folder);
  }

 private:
  std::string folder_, elsewhere_;
  int opened_ = 0;
};

TEST_F(OrganizerTest, FolderReplacedByALinkBeforeItIsWalkedIsNotEntered) {
  ASSERT_TRUE(WriteFile(src_ + "sub/a.mov", "a", kDay1));
  ASSERT_TRUE(WriteFile(dir_ / "elsewhere/b.mov", "b", kDay1));
  SwappingFileSystem disk(src_ + "sub/", dir_ / "elsewhere");
  RecordingObserver sink;
  OrganizerJob job(sink, disk);
  ASSERT_EQ(job.OnOrganize(Config(true)), "");
  job.Wait();
  EXPECT_EQ(ReadFile(dir_ / "elsewhere/b.mov"), "b");
  EXPECT_EQ(sink.FileMessages(),
            std::vector<std::string>{"无法读取目录: " + src_ + "sub/ (目录位置上是一个链接)\r\n"});
  EXPECT_EQ(sink.report.counters.FailedCount, 1);
}

#endif

// A listing that a read error ends after its first three entries, as a failing disk's does.
class BrokenListing : public fs::FolderListing {
 public:
  explicit BrokenListing(std::unique_ptr<fs::FolderListing> real) : real_(std::move(real)) {}
  bool Next(fs::DirEntry* entry) override { return given_++ < 3 && real_->Next(entry); }
  int Error() const override { return given_ > 3 ? EIO : real_->Error(); }
  bool LastWriteTime(const std::string& name, int64_t* seconds) const override {
    return real_->LastWriteTime(name, seconds);
  }

 private:
  std::unique_ptr<fs::FolderListing> real_;
  int given_ = 0;
};

class BrokenDisk : public testing::ProxyFileSystem {
 public:
  std::unique_ptr<fs::FolderListing> ListFolder(const fs::Folder& folder, int* error) override {
    std::unique_ptr<fs::FolderListing> real = ProxyFileSystem::ListFolder(folder, error);
    if (!real || folder.Path().find(Native("/broken/")) == std::string::npos) return real;
    return std::make_unique<BrokenListing>(std::move(real));
  }
};

TEST_F(OrganizerTest, AFolderThatCannotBeReadToItsEndIsAFailure) {
  for (int i = 0; i < 5; ++i)
    ASSERT_TRUE(WriteFile(src_ + "broken/f" + std::to_string(i) + ".mov", "x", kDay1));
  BrokenDisk disk;
  RecordingObserver sink;
  OrganizerJob job(sink, disk);
  ASSERT_EQ(job.OnOrganize(Config()), "");
  job.Wait();
  const std::string line =
      "无法读取目录: " + src_ + Native("broken/") + " (" + std::strerror(EIO) + ")\r\n";
  EXPECT_EQ(sink.FileMessages().back(), line);
  EXPECT_EQ(sink.files.back().outcome, FileOutcome::kUnreadableFolder);
  EXPECT_EQ(sink.report.counters.FailedCount, 1);
  EXPECT_LE(sink.report.counters.ProcessedCount, 3);
  EXPECT_EQ(ReadFile(cfg_ + "errorFile.txt"), line + FormatSummary(sink.report.counters));
}

// What killed runs left: temporary files in a target folder are removed unless a run still
// holds them; a source that a move had taken is put back and organized.
TEST_F(OrganizerTest, LeftoversOfKilledRunsAreClearedOrRecovered) {
  const std::string day = out_ + "2014年/2014-12-31/";
  ASSERT_TRUE(WriteFile(day + ".nandell-4242-0.part", "partial"));
  ASSERT_TRUE(WriteFile(day + ".nandell-4242-1.part", "being written"));
  ASSERT_TRUE(WriteFile(src_ + TakenName("taken.mov"), "taken", kDay1));
  ASSERT_TRUE(WriteFile(src_ + TakenName("held.mov"), "held", kDay1));
  ASSERT_TRUE(WriteFile(src_ + "new.mov", "new", kDay1));
#ifdef _WIN32
  // Another run still at work on these two: a temporary file of a process that still runs
  // (this one), and a taken source held open as a moving run holds it.
  const std::string part = ".nandell-" + std::to_string(::GetCurrentProcessId()) + "-1.part";
  ASSERT_TRUE(WriteFile(day + part, "being written"));
  fs::FolderRef folder;
  ASSERT_EQ(fs::RealFileSystem().OpenFolder(src_, &folder), 0);
  std::unique_ptr<fs::SourceFile> held;
  ASSERT_EQ(fs::RealFileSystem().OpenSource({folder, TakenName("held.mov")}, true, &held), 0);
  RecordingObserver sink;
  ASSERT_EQ(Run(&sink, true), "");
  held.reset();
  folder.reset();
#else
  // Another run still at work on these two.
  const std::string part = ".nandell-4242-1.part";
  const int part_fd = ::open((day + part).c_str(), O_RDONLY);
  const int held = ::open((src_ + TakenName("held.mov")).c_str(), O_RDONLY);
  ASSERT_TRUE(::flock(part_fd, LOCK_EX) == 0 && ::flock(held, LOCK_SH) == 0);
  RecordingObserver sink;
  ASSERT_EQ(Run(&sink, true), "");
  ::close(part_fd);
  ::close(held);
#endif
  EXPECT_FALSE(PathExists(day + ".nandell-4242-0.part"));
  EXPECT_EQ(ReadFile(day + part), "being written");
  EXPECT_EQ(ReadFile(day + "taken.mov"), "taken");
  EXPECT_EQ(ReadFile(day + "new.mov"), "new");
  EXPECT_EQ(ReadFile(src_ + TakenName("held.mov")), "held");
  EXPECT_EQ(sink.report.counters.ProcessedCount, 2);
  EXPECT_EQ(sink.report.counters.FailedCount, 0);
}

#ifndef _WIN32
// A memory card (FAT through FUSE: no no-replace rename, no hard links, no owners, names
// without letter case) takes copies and gives up moves, and still never has a file replaced.
TEST_F(OrganizerTest, FatCardTakesFilesAndNeverReplacesOne) {
  testing::FatCard card;
  if (card.path().empty()) GTEST_SKIP() << card.why();
  ASSERT_TRUE(WriteFile(src_ + "a/IMG.JPG", "first", kDay1));
  ASSERT_TRUE(WriteFile(src_ + "b/img.jpg", "second", kDay1));  // the same name on the card
  ASSERT_TRUE(WriteFile(src_ + "clip.mov", std::string(3 << 20, 'c'), kDay2));
  // By day: fusefat takes only ASCII names (a "2014年" folder is refused, with its reason).
  settings_->IsClassifyByYear = 0;
  for (int round = 1; round <= 2; ++round) {
    RecordingObserver sink;
    ASSERT_EQ(Run(&sink, false, src_, card.path()), "");
    EXPECT_EQ(sink.report.counters.ProcessedCount, 3);
    EXPECT_EQ(sink.report.counters.FailedCount, round == 1 ? 1 : 3);
    for (const FileEvent& event : sink.files) {
      EXPECT_TRUE(event.outcome != FileOutcome::kFailed || event.reason == "File exists")
          << event.message;
    }
  }
  const std::string photo = ReadFile(card.path() + "2014-12-31/IMG.JPG");
  EXPECT_TRUE(photo == "first" || photo == "second") << photo;
  struct stat st;
  ASSERT_EQ(::stat((card.path() + "2015-03-04/clip.mov").c_str(), &st), 0);
  EXPECT_EQ(st.st_mtime, kDay2);
  EXPECT_EQ(ListFiles(card.path()).size(), 2u);  // no temporary file

  // Emptying the card into the output folder.
  RecordingObserver sink;
  ASSERT_EQ(Run(&sink, true, card.path(), out_), "");
  EXPECT_EQ(sink.report.counters.FailedCount, 0);
  EXPECT_TRUE(ListFiles(card.path()).empty());
  const auto moved = ListFiles(out_);
  ASSERT_EQ(moved.size(), 2u);
  EXPECT_EQ(moved.begin()->second, photo);  // under the name the card gave it
  ASSERT_EQ(::stat((out_ + "2015-03-04/clip.mov").c_str(), &st), 0);
  EXPECT_EQ(st.st_mtime, kDay2);
}

TEST_F(OrganizerTest, TreeDeeperThanAPathCanNameNeverCrashes) {
  // Folders are made relative to the previous one, past the 4,096-byte limit of a path.
  ASSERT_TRUE(WriteFile(src_ + "shallow.mov", "s", kDay1));
  int fd = ::open(src_.c_str(), O_RDONLY | O_DIRECTORY);
  ASSERT_GE(fd, 0);
  const std::string part(200, 'd');
  for (int level = 0; level < 30; ++level) {
    ASSERT_EQ(::mkdirat(fd, part.c_str(), 0777), 0);
    int next = ::openat(fd, part.c_str(), O_RDONLY | O_DIRECTORY);
    ::close(fd);
    ASSERT_GE(next, 0);
    fd = next;
    if (level == 5 || level == 25) {
      int f = ::openat(fd, "deep.mov", O_WRONLY | O_CREAT, 0644);
      ASSERT_GE(f, 0);
      ASSERT_EQ(::write(f, "d", 1), 1);
      ::close(f);
    }
  }
  ::close(fd);
  RecordingObserver sink;
  ASSERT_EQ(Run(&sink), "");
  // The shallow file and the one at level 5 are taken; the one past the limit is skipped
  // with its folder (or fails), never more.
  EXPECT_GE(sink.report.counters.ProcessedCount, 2);
  EXPECT_LE(sink.report.counters.ProcessedCount, 3);
  EXPECT_EQ(ReadFile(out_ + "2014年/2014-12-31/shallow.mov"), "s");
}

#endif

// A dry run tells exactly what the real run then does, and changes nothing on disk.
TEST_F(OrganizerTest, DryRunPredictsTheRealRunAndChangesNothing) {
  using test_support::MakeJpegWithDate;
  for (bool move : {false, true}) {
    SCOPED_TRACE(move ? "move" : "copy");
    testing::RemoveTree(dir_ / "src");
    testing::RemoveTree(dir_ / "out");
    ASSERT_TRUE(MakeFolders(out_));
    // Two files that aim at one name, one whose target exists, a dated photo, a skipped file,
    // and a source that a killed move left hidden (put back and taken).
    ASSERT_TRUE(WriteFile(src_ + "a/IMG.mov", "first", kDay1));
    ASSERT_TRUE(WriteFile(src_ + "b/.nandell-move.left.mov", "left", kDay2));
    ASSERT_TRUE(WriteFile(src_ + "b/IMG.mov", "second", kDay1));
    ASSERT_TRUE(WriteFile(src_ + "taken.avi", "mine", kDay2));
    ASSERT_TRUE(WriteFile(out_ + "2015年/2015-03-04/taken.avi", "theirs"));
    ASSERT_TRUE(WriteFile(src_ + "c/P1.JPG", MakeJpegWithDate("2016:07:08 10:00:00"), kDay1));
    ASSERT_TRUE(WriteFile(src_ + "notes.txt", "n", kDay1));
    ASSERT_TRUE(WriteFile(cfg_ + "errorFile.txt", "older"));
    const auto before = testing::ListTree(dir_.path());

    RecordingObserver dry;
    OrganizerJob job(dry);
    RunConfig config = Config(move);
    config.dry_run = true;
    ASSERT_EQ(job.OnOrganize(config), "");
    job.Wait();
    EXPECT_EQ(testing::ListTree(dir_.path()), before);
    EXPECT_TRUE(dry.report.dry_run);
    EXPECT_TRUE(dry.report.error_file.empty());
    EXPECT_EQ(dry.report.counters.ProcessedCount, 5);
    EXPECT_EQ(dry.report.counters.FailedCount, 2);

    RecordingObserver real;
    ASSERT_EQ(Run(&real, move), "");
    EXPECT_EQ(real.FileMessages(), dry.FileMessages());
    EXPECT_EQ(real.report.summary, dry.report.summary);
    for (const FileEvent& event : real.files) {
      EXPECT_EQ(PathExists(event.target), true) << event.target;
    }
    EXPECT_EQ(ReadFile(out_ + "2015年/2015-03-04/taken.avi"), "theirs");
    EXPECT_NE(ReadFile(cfg_ + "errorFile.txt"), "older");
  }
}

TEST_F(OrganizerTest, DryRunThatTakesNothingOrIsStoppedChangesNothing) {
  for (int i = 0; i < 5; ++i)
    ASSERT_TRUE(WriteFile(src_ + "d" + std::to_string(i) + "/f.mov", "x", kDay1 + i * 86400));
  const auto before = testing::ListTree(dir_.path());
  for (bool stop : {false, true}) {
    RecordingObserver sink;
    OrganizerJob job(sink);
    RunConfig config = Config();
    config.dry_run = true;
    if (stop) {
      sink.on_file = [&job](const FileEvent&) { job.OnStop(); };
    } else {
      config.file_filters = ".png";
    }
    ASSERT_EQ(job.OnOrganize(config), "");
    job.Wait();
    EXPECT_EQ(sink.report.counters.ProcessedCount, stop ? 1 : 0);
    EXPECT_EQ(sink.report.stopped, stop);
    EXPECT_EQ(testing::ListTree(dir_.path()), before);
  }
}

#ifndef _WIN32
// Other users and their limits: POSIX by nature.
// Runs `body` in a child process as the unprivileged user `uid`, which may have at most
// `max_tasks` threads in all when given; returns its exit code, or -1 when privileges cannot
// be dropped (not root).
int RunAsUser(uid_t uid, const std::function<int()>& body, rlim_t max_tasks = RLIM_INFINITY) {
  if (::geteuid() != 0) return -1;
  pid_t pid = ::fork();
  if (pid == 0) {
    struct rlimit limit = {max_tasks, max_tasks};
    if (::setgroups(0, nullptr) != 0 || ::setgid(uid) != 0 ||
        (max_tasks != RLIM_INFINITY && ::setrlimit(RLIMIT_NPROC, &limit) != 0) ||
        ::setuid(uid) != 0) {
      ::_exit(100);
    }
    // Nothing may leave the child but its exit code: an exception caught by the test
    // framework would run the rest of the tests, and the fixture's clean-up, in the child.
    int code = 102;
    try {
      code = body();
    } catch (...) {
    }
    ::_exit(code);
  }
  int status = 0;
  ::waitpid(pid, &status, 0);
  return WIFEXITED(status) ? WEXITSTATUS(status) : 101;
}

int RunAsNobody(const std::function<int()>& body) {
  return RunAsUser(65534, body);
}

TEST_F(OrganizerTest, PermissionsDeniedAreFailuresFoldersToo) {
  if (::geteuid() != 0) GTEST_SKIP() << "needs root to switch to an unprivileged user";
  ASSERT_TRUE(WriteFile(src_ + "ok.mov", "ok", kDay1));
  ASSERT_TRUE(WriteFile(src_ + "secret.mov", "s", kDay2));
  ASSERT_TRUE(WriteFile(src_ + "closed/inside.mov", "i", kDay1));
  ASSERT_TRUE(WriteFile(src_ + "ro/readonly.mov", "r", kDay1 + 86400));
  ASSERT_EQ(::chmod((src_ + "secret.mov").c_str(), 0), 0);
  ASSERT_EQ(::chmod((src_ + "closed").c_str(), 0), 0);
  ASSERT_TRUE(MakeFolders(out_ + "2015年/2015-01-01"));
  ASSERT_EQ(::chmod((out_ + "2015年/2015-01-01").c_str(), 0555), 0);
  for (const std::string& p : {dir_.path(), src_, out_, cfg_, src_ + "ro", out_ + "2015年"}) {
    ASSERT_EQ(::chmod(p.c_str(), 0777), 0);
  }
  int code = RunAsNobody([this] {
    RecordingObserver sink;
    OrganizerJob job(sink);
    if (!job.OnOrganize(Config()).empty()) return 10;
    job.Wait();
    // ok.mov copied, secret.mov unreadable, readonly.mov's day folder not writable, and the
    // folder that cannot be listed is a failure of its own (photos may be left in it).
    if (sink.report.counters.ProcessedCount != 3) return 11;
    if (sink.report.counters.FailedCount != 3) return 12;
    return 0;
  });
  EXPECT_EQ(code, 0);
  EXPECT_NE(ReadFile(cfg_ + "errorFile.txt")
                .find("无法读取目录: " + src_ + "closed/ (Permission denied)\r\n"),
            std::string::npos);
  EXPECT_EQ(ReadFile(out_ + "2014年/2014-12-31/ok.mov"), "ok");
  EXPECT_FALSE(PathExists(out_ + "2015年/2015-03-04/secret.mov"));
  EXPECT_FALSE(PathExists(out_ + "2015年/2015-01-01/readonly.mov"));
  // No temporary file is left in the target folders.
  for (const auto& [path, content] : ListFiles(out_)) EXPECT_EQ(path, "2014年/2014-12-31/ok.mov");
}

TEST_F(OrganizerTest, MoveOutOfAFolderThatCannotBeChangedKeepsTheSource) {
  if (::geteuid() != 0) GTEST_SKIP() << "needs root to switch to an unprivileged user";
  ASSERT_TRUE(WriteFile(src_ + "fixed/a.mov", "a", kDay1));
  for (const std::string& p : {dir_.path(), src_, out_, cfg_})
    ASSERT_EQ(::chmod(p.c_str(), 0777), 0);
  ASSERT_EQ(::chmod((src_ + "fixed").c_str(), 0555), 0);
  TempDir shm("/dev/shm");
  ASSERT_EQ(::chmod(shm.path().c_str(), 0777), 0);
  for (const std::string& output : {out_, shm.path()}) {
    int code = RunAsNobody([&] {
      RecordingObserver sink;
      OrganizerJob job(sink);
      if (!job.OnOrganize(Config(true, src_, output)).empty()) return 10;
      job.Wait();
      return sink.report.counters.FailedCount == 1 ? 0 : 11;
    });
    EXPECT_EQ(code, 0) << output;
    EXPECT_EQ(ReadFile(src_ + "fixed/a.mov"), "a") << output;
    EXPECT_FALSE(PathExists(output + "2014年/2014-12-31/a.mov")) << output;
  }
}

TEST_F(OrganizerTest, ThreadsThatCannotStartNeverEndTheProgram) {
  if (::geteuid() != 0) GTEST_SKIP() << "needs root to limit an unprivileged user's threads";
  for (int i = 0; i < 12; ++i)
    ASSERT_TRUE(WriteFile(src_ + "f" + std::to_string(i) + ".mov", std::to_string(i), kDay1));
  for (const std::string& p : {dir_.path(), src_, out_, cfg_})
    ASSERT_EQ(::chmod(p.c_str(), 0777), 0);
  // A user id no other process has, so that the child is its only task: with a limit of one
  // no worker can start; with two the worker starts but none of the transfer threads; with
  // four only some of them.
  constexpr uid_t kUser = 61234;
  for (rlim_t tasks : {1, 2, 4}) {
    const int code = RunAsUser(
        kUser,
        [&] {
          RecordingObserver sink;
          OrganizerJob job(sink);
          const std::string refusal = job.OnOrganize(Config());
          if (tasks == 1) {
            if (refusal != OrganizerJob::kStartFailedText) return 10;
            return job.IsRunning() || job.IsWorkerActive() || !sink.events.empty() ? 11 : 0;
          }
          if (!refusal.empty()) return 12;
          job.Wait();
          if (sink.report.counters.ProcessedCount != 12 || sink.report.counters.FailedCount != 0)
            return 13;
          const auto messages = sink.FileMessages();
          for (size_t i = 0; i < messages.size(); ++i) {
            if (messages[i].rfind("复制文件(" + std::to_string(i + 1) + "): ", 0) != 0) return 14;
          }
          return 0;
        },
        tasks);
    EXPECT_EQ(code, 0) << tasks;
    EXPECT_EQ(ListFiles(out_).size(), tasks == 1 ? 0u : 12u) << tasks;
    testing::RemoveTree(out_ + "2014年");
  }
}

#endif

#ifdef _WIN32
// Folders and files beyond the 260 characters of a plain Windows path are walked, copied and
// moved through the long form.
TEST_F(OrganizerTest, PathsBeyondTheOldWindowsLimit) {
  std::string deep_src = src_, deep_out = out_;
  for (int level = 0; level < 3; ++level) {
    deep_src += std::string(120, 's') + "\\";
    deep_out += std::string(120, 'o') + "\\";
  }
  ASSERT_TRUE(WriteFile(deep_src + "a.mov", "a", kDay1));
  ASSERT_TRUE(WriteFile(deep_src + "b.mov", "b", kDay1));
  ASSERT_TRUE(MakeFolders(deep_out));
  RecordingObserver copy;
  ASSERT_EQ(Run(&copy, false, src_, deep_out), "");
  EXPECT_EQ(copy.report.counters.FailedCount, 0);
  EXPECT_EQ(ReadFile(deep_out + "2014年\\2014-12-31\\a.mov"), "a");
  testing::RemoveTree(deep_out + "2014年");
  RecordingObserver move;
  ASSERT_EQ(Run(&move, true, src_, deep_out), "");
  EXPECT_EQ(move.report.counters.ProcessedCount, 2);
  EXPECT_EQ(move.report.counters.FailedCount, 0);
  EXPECT_EQ(ReadFile(deep_out + "2014年\\2014-12-31\\b.mov"), "b");
  EXPECT_TRUE(ListFiles(src_).empty());
}
#endif

}  // namespace
}  // namespace nandell
