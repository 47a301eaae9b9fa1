// Files that belong together (KeepTogether): how a folder's files are grouped and named, and
// groups placed whole or not at all, on one file system and across two, with conflicts, a
// member that fails, members of other dates and real camera files; the dry run says the same,
// and an undo (also one that does not know groups) brings the photo folder back exactly.
#include <gtest/gtest.h>

#include <functional>
#include <map>

#include "engine/file_group.h"
#include "engine/undo.h"
#include "tests/engine/recording_observer.h"
#include "tests/engine/test_tree.h"
#include "tests/support/media_builder.h"
#include "tests/support/proxy_file_system.h"

namespace nandell {
namespace {

using testing::ListFiles;
using testing::LocalDayText;
using testing::LocalNoon;
using testing::PathExists;
using testing::ReadFile;
using testing::Snapshot;
using testing::TempDir;
using testing::WriteFile;

const time_t kDay1 = LocalNoon(2014, 12, 31);
const time_t kDay2 = LocalNoon(2016, 6, 1);
const std::string kExifDay = "2015-03-04";
const std::string kLongName(40, 'A');

std::string Joined(const std::vector<std::string>& names) {
  std::string text;
  for (const std::string& name : names) text += (text.empty() ? "" : " ") + name;
  return text;
}

TEST(FolderGroupsTest, StillsTakeTheirRawsMoviesAndSidecarsAnyCase) {
  const std::vector<std::string> names = {"IMG_0001.JPG",
                                          "img_0001.cr2",
                                          "IMG_0001.xmp",
                                          "IMG_0001.JPG.xmp",
                                          "IMG_0002.HEIC",
                                          "IMG_0002.MOV",
                                          "IMG_0002.AAE",
                                          "orphan.xmp",
                                          "MVI_0120.AVI",
                                          "MVI_0120.THM",
                                          "alone.png",
                                          "DSC_3.NEF",
                                          "DSC_3.NEF.xmp",
                                          "DSC_3.MOV",
                                          "P1.jpg",
                                          "P1.jpg.supplemental-metadata.json",
                                          "photo(1).jpg",
                                          "photo.jpg(1).json",
                                          "IMG_4.JPG",
                                          "IMG_4.HEIC",
                                          ".IMG_4.xmp",
                                          kLongName + ".jpg",
                                          kLongName + ".jpg.s.json"};
  SidecarIndex sidecars;
  for (const std::string& name : names) sidecars.Add(name);
  const FolderGroups groups(names, sidecars);
  std::map<std::string, std::string> found;
  for (const std::string& name : names) {
    const FileGroup* group = groups.GroupOf(name);
    std::vector<std::string> members;
    for (const GroupMember& member : group ? group->members : std::vector<GroupMember>()) {
      members.push_back(member.name);
    }
    if (group) found[name] = Joined(members);
  }
  // Each group as its principal and the names it takes when the principal is NAME_1.EXT.
  const struct {
    std::string principal, members, renamed;
  } expected[] = {
      {"IMG_0001.JPG", "IMG_0001.JPG img_0001.cr2 IMG_0001.JPG.xmp IMG_0001.xmp",
       "IMG_0001_1.JPG IMG_0001_1.cr2 IMG_0001_1.JPG.xmp IMG_0001_1.xmp"},
      {"IMG_0002.HEIC", "IMG_0002.HEIC IMG_0002.MOV IMG_0002.AAE",
       "IMG_0002_1.HEIC IMG_0002_1.MOV IMG_0002_1.AAE"},
      {"MVI_0120.AVI", "MVI_0120.AVI MVI_0120.THM", "MVI_0120_1.AVI MVI_0120_1.THM"},
      {"DSC_3.NEF", "DSC_3.NEF DSC_3.NEF.xmp", "DSC_3_1.NEF DSC_3_1.NEF.xmp"},
      {"P1.jpg", "P1.jpg P1.jpg.supplemental-metadata.json",
       "P1_1.jpg P1_1.jpg.supplemental-metadata.json"},
      {"photo(1).jpg", "photo(1).jpg photo.jpg(1).json", "photo(1)_1.jpg photo(1)_1.jpg.json"},
      // Takeout cuts the name before ".json" to 46 characters.
      {kLongName + ".jpg", kLongName + ".jpg " + kLongName + ".jpg.s.json",
       kLongName + "_1.jpg " + kLongName + "_1.jpg.json"},
  };
  size_t members = 0;
  for (const auto& group : expected) {
    EXPECT_EQ(found[group.principal], group.members);
    const FileGroup* found_group = groups.GroupOf(group.principal);
    ASSERT_NE(found_group, nullptr) << group.principal;
    EXPECT_EQ(Joined(MemberNames(*found_group, found_group->members[0].name)), group.members);
    const std::string placed = group.renamed.substr(0, group.renamed.find(' '));
    EXPECT_EQ(Joined(MemberNames(*found_group, placed)), group.renamed);
    members += found_group->members.size();
  }
  // Everything else goes alone: the orphan, the file without a still, the second still.
  EXPECT_EQ(found.size(), members);
}

// A photo folder, an output folder (on `output_base`) and runs between them.
class KeepTogetherTest : public ::testing::Test {
 protected:
  void Make(const std::string& output_base = "/tmp") {
    out_dir_ = std::make_unique<TempDir>(output_base);
    src_ = dir_ / "src/";
    out_ = out_dir_->path();
    ASSERT_TRUE(testing::MakeFolders(dir_ / "cfg") && testing::MakeFolders(src_));
  }
  RunConfig Config(bool move) const {
    RunConfig config;
    config.photo_folder = src_;
    config.output_folder = out_;
    config.error_file_folder = dir_ / "cfg/";
    config.move = move;
    config.keep_together = true;
    config.by_year = false;
    return config;
  }
  // Calls `body(move)` for a copy and a move into a fresh output folder on this file system, then
  // on a tmpfs of the test's own (skipped where none can be mounted).
  void OnOneAndTwoFileSystems(const std::function<void(bool move)>& body) {
    testing::ScopedTmpfs tmpfs;
    for (const bool other : {false, true}) {
      for (const bool move : {false, true}) {
        if (other && tmpfs.path().empty()) GTEST_SKIP() << "no tmpfs here (needs root)";
        SCOPED_TRACE(std::string(move ? "move" : "copy") + (other ? " to tmpfs" : ""));
        Make(other ? tmpfs.path() : "/tmp");
        body(move);
      }
    }
  }
  // Runs `config` into `sink` (after its dry run, which must say the same) through `disk`.
  void Run(RunConfig config, RecordingObserver* sink, fs::FileSystem& disk = fs::RealFileSystem()) {
    RecordingObserver dry;
    config.dry_run = true;
    EXPECT_EQ(RunToEnd(config, &dry, disk), "");
    config.dry_run = false;
    EXPECT_EQ(RunToEnd(config, sink, disk), "");
    if (expect_dry_run_) {
      EXPECT_EQ(dry.FileMessages(), sink->FileMessages());
    }
  }
  // Undoes the latest run; returns the exit code.
  int Undo() {
    std::atomic<bool> running{true};
    UndoEndEvent end;
    std::string refusal;
    messages_.clear();
    const std::string journal = LatestJournal(fs::RealFileSystem(), out_, &refusal);
    return UndoRun(
        fs::RealFileSystem(), journal, running,
        [&](const UndoFileEvent& event) { messages_ += event.message; }, &end, &refusal);
  }
  std::string Day(time_t t) const { return out_ + LocalDayText(t) + "/"; }

  TempDir dir_;
  std::unique_ptr<TempDir> out_dir_;
  std::string src_, out_, messages_;
  bool expect_dry_run_ = true;
};

// The photo IMG_0001.JPG with its raw file and two sidecars, a Live Photo whose movie was last
// written on another day, names in other letter cases, an orphan sidecar.
void WriteGroups(const std::string& src) {
  WriteFile(src + "IMG_0001.JPG", test_support::MakeJpegWithDate("2015:03:04 12:00:00"), kDay1);
  WriteFile(src + "IMG_0001.CR2", "raw", kDay1);
  WriteFile(src + "IMG_0001.xmp", "edits", kDay1);
  WriteFile(src + "IMG_0001.JPG.xmp", "tags", kDay1);
  WriteFile(src + "IMG_0002.HEIC", "still", kDay2);
  WriteFile(src + "IMG_0002.MOV", "movie", kDay1);
  WriteFile(src + "d/Case.jpg", "c", kDay2);
  WriteFile(src + "d/CASE.XMP", "x", kDay1);
  WriteFile(src + "orphan.xmp", "o", kDay1);
}

TEST_F(KeepTogetherTest, GroupsGoWholeToTheStillsDayAndComeBackOnOneAndTwoFileSystems) {
  OnOneAndTwoFileSystems([&](bool move) {
    WriteGroups(src_);
    const auto before = Snapshot(src_);
    const std::string photo = ReadFile(src_ + "IMG_0001.JPG");
    RecordingObserver sink;
    Run(Config(move), &sink);
    const std::string exif = kExifDay + "/", day2 = LocalDayText(kDay2) + "/";
    const std::map<std::string, std::string> placed = {
        {exif + "IMG_0001.JPG", photo},    {exif + "IMG_0001.CR2", "raw"},
        {exif + "IMG_0001.xmp", "edits"},  {exif + "IMG_0001.JPG.xmp", "tags"},
        {day2 + "IMG_0002.HEIC", "still"}, {day2 + "IMG_0002.MOV", "movie"},
        {day2 + "Case.jpg", "c"},          {day2 + "CASE.XMP", "x"}};
    EXPECT_EQ(ListFiles(out_), placed);
    EXPECT_EQ(ListFiles(src_).size(), move ? 1u : 9u);  // the orphan stays
    EXPECT_EQ(sink.report.counters.ProcessedCount, 3);
    const std::string verb = move ? "移动" : "复制";
    ASSERT_EQ(sink.files.size(), 3u);
    EXPECT_EQ(sink.files[0].message,
              verb + "文件(1): " + src_ + "IMG_0001.JPG\r\n\r\n" + verb + "到: " + out_ + exif +
                  "IMG_0001.JPG\r\n一同" + verb + ": " + src_ + "IMG_0001.CR2 -> " + out_ + exif +
                  "IMG_0001.CR2\r\n一同" + verb + ": " + src_ + "IMG_0001.JPG.xmp -> " + out_ +
                  exif + "IMG_0001.JPG.xmp\r\n一同" + verb + ": " + src_ + "IMG_0001.xmp -> " +
                  out_ + exif + "IMG_0001.xmp\r\n");
    EXPECT_EQ(Undo(), 0) << messages_;
    EXPECT_TRUE(Snapshot(src_) == before);
    EXPECT_TRUE(ListFiles(out_).empty());
  });
}

// What a group becomes when names of it are taken in its day folder, with SkipIdentical and
// RenameConflicts off and on: "skip", "fail REASON" (a companion named in it), or the stem it
// takes.
TEST_F(KeepTogetherTest, ATakenNameMovesTheWholeGroupOnOrFailsItOnce) {
  const struct {
    std::map<std::string, std::string> taken;
    bool skip, rename;
    std::string outcome;
  } cases[] = {
      {{{"G.JPG", "other"}}, false, false, "fail G.JPG (File exists)"},
      {{{"G.JPG", "other"}}, false, true, "G_1"},
      {{{"G.xmp", "other"}}, false, false, "fail G.JPG (G.xmp: File exists)"},
      {{{"G.xmp", "other"}}, true, true, "G_1"},
      {{{"G.JPG", "photo"}}, true, false, "fail G.JPG (File exists)"},  // G.xmp is not there
      {{{"G.JPG", "photo"}, {"G.xmp", "side"}}, true, false, "skip"},
      {{{"G_1.xmp", "other"}, {"G.JPG", "x"}}, false, true, "G_2"},
  };
  for (const bool move : {false, true}) {
    for (const auto& c : cases) {
      SCOPED_TRACE(std::string(move ? "move " : "copy ") + c.outcome);
      Make();
      WriteFile(src_ + "G.JPG", "photo", kDay1);
      WriteFile(src_ + "G.xmp", "side", kDay1);
      for (const auto& [name, content] : c.taken) WriteFile(Day(kDay1) + name, content);
      RunConfig config = Config(move);
      config.skip_identical = c.skip;
      config.rename_conflicts = c.rename;
      const auto before = Snapshot(out_);
      RecordingObserver sink;
      Run(config, &sink);
      ASSERT_EQ(sink.files.size(), 1u);
      const JobCounters& counters = sink.report.counters;
      EXPECT_EQ(counters.ProcessedCount, 1);
      EXPECT_EQ(counters.FailedCount, c.outcome.rfind("fail", 0) == 0 ? 1 : 0);
      EXPECT_EQ(counters.SkippedCount, c.outcome == "skip" ? 1 : 0);
      if (c.outcome.rfind("fail", 0) == 0 || c.outcome == "skip") {
        EXPECT_TRUE(Snapshot(out_) == before);  // nothing placed, nothing left behind
        EXPECT_EQ(ListFiles(src_).size(), 2u);
        if (c.outcome != "skip") {
          EXPECT_NE(sink.files[0].message.find(c.outcome.substr(5)), std::string::npos)
              << sink.files[0].message;
        }
        continue;
      }
      EXPECT_EQ(ReadFile(Day(kDay1) + c.outcome + ".JPG"), "photo");
      EXPECT_EQ(ReadFile(Day(kDay1) + c.outcome + ".xmp"), "side");
    }
  }
}

// Fails the principal G.JPG when it is read or renamed into place: the companions placed
// before it are taken back.
class FailingPrincipal : public testing::ProxyFileSystem {
 public:
  int OpenSource(const fs::FileAt& file, bool lock,
                 std::unique_ptr<fs::SourceFile>* source) override {
    if (file.name == "G.JPG" || file.name == ".nandell-move.G.JPG") return EIO;
    return ProxyFileSystem::OpenSource(file, lock, source);
  }
  int PlaceNoReplace(const fs::FileAt& from, const fs::FileAt& to) override {
    if (from.name == "G.JPG" && to.name == "G.JPG") return EIO;
    return ProxyFileSystem::PlaceNoReplace(from, to);
  }
};

TEST_F(KeepTogetherTest, AMemberThatFailsLeavesTheWholeGroupWhereItWas) {
  expect_dry_run_ = false;  // a read error is not foreseen
  OnOneAndTwoFileSystems([&](bool move) {
    for (const char* name : {"G.JPG", "G.CR2", "G.xmp", "G.JPG.xmp"}) {
      WriteFile(src_ + name, name, kDay1);
    }
    const auto before = Snapshot(src_);
    FailingPrincipal disk;
    RecordingObserver sink;
    Run(Config(move), &sink, disk);
    EXPECT_TRUE(Snapshot(src_) == before);
    EXPECT_TRUE(ListFiles(out_).empty());
    EXPECT_EQ(sink.report.counters.FailedCount, 1);
    ASSERT_EQ(sink.files.size(), 1u);
    const std::string verb = move ? "移动" : "复制";
    EXPECT_EQ(sink.files[0].message.rfind(verb + "文件失败: " + src_ + "G.JPG -> " + Day(kDay1) +
                                              "G.JPG (Input/output error)\r\n同组文件未" + verb +
                                              ": " + src_ + "G.CR2 -> ",
                                          0),
              0u)
        << sink.files[0].message;
    EXPECT_EQ(ReadFile(dir_ / "cfg/errorFile.txt").find(sink.files[0].message), 0u);
    // The intents of the members taken back are not files of the run.
    EXPECT_EQ(Undo(), 0);
    EXPECT_EQ(messages_, "");
  });
}

// The group goes to the day of the first of its still, raw file and movie with a date of its
// own, else to the still's.
TEST_F(KeepTogetherTest, MembersOfOtherDaysFollowTheFirstOwnDate) {
  test_support::MovieFacts dated;
  dated.creation_date = "2019-06-01T10:00:00+0200";
  test_support::HeifFacts undated;
  undated.exif_item.clear();
  const struct {
    std::string still, movie;
    bool media_dates;
    std::string day;
  } cases[] = {
      {test_support::MakeHeif(undated), test_support::MakeMovie(dated), true, "2019-06-01"},
      {test_support::MakeHeif(undated), test_support::MakeMovie(dated), false, LocalDayText(kDay2)},
      {test_support::MakeJpegWithDate("2015:03:04 12:00:00"), test_support::MakeMovie(dated), true,
       kExifDay},
  };
  for (const auto& c : cases) {
    Make();
    WriteFile(src_ + "L.heic", c.still, kDay2);
    WriteFile(src_ + "L.mov", c.movie, kDay1);
    RunConfig config = Config(false);
    config.media_dates = c.media_dates;
    RecordingObserver sink;
    Run(config, &sink);
    EXPECT_TRUE(PathExists(out_ + c.day + "/L.heic") && PathExists(out_ + c.day + "/L.mov"))
        << c.day;
  }
}

// Real files of cameras and phones: a Canon movie with its thumbnail, a Canon raw with its
// thumbnail, an iPhone HEIC with a Live Photo movie.
TEST_F(KeepTogetherTest, RealCameraFilesGoWithTheirCompanions) {
  const std::string formats = std::string(NANDELL_FORMATS_DIR) + "/";
  const std::string sidecars = std::string(NANDELL_SIDECAR_CORPUS_DIR) + "/";
  const std::map<std::string, std::string> files = {
      {"MVI_0120.AVI", formats + "Canon__PowerShot_S40__MVI_0120.AVI"},
      {"MVI_0120.THM", sidecars + "Canon__PowerShot_S40__MVI_0120.THM"},
      {"CRW_0101.CRW", sidecars + "Canon__PowerShot_S40__CRW_0101.CRW"},
      {"CRW_0101.THM", sidecars + "Canon__PowerShot_S40__CRW_0101.THM"},
      {"IMG_3604.HEIC", formats + "Apple__iPhone_XR__IMG_3604.HEIC"}};
  Make();
  for (const auto& [name, path] : files) {
    if (!PathExists(path)) GTEST_SKIP() << path << " is not there";
    ASSERT_TRUE(WriteFile(src_ + name, ReadFile(path), kDay1));
  }
  WriteFile(src_ + "IMG_3604.MOV", "live", kDay2);
  RunConfig config = Config(true);
  config.media_dates = true;
  config.file_filters = ".avi,.crw,heic";  // no companion
  RecordingObserver sink;
  Run(config, &sink);
  const std::string raw_day = LocalDayText(kDay1);
  std::map<std::string, std::string> placed;
  for (const auto& [path, content] : ListFiles(out_)) placed[path] = "";
  const std::map<std::string, std::string> expected = {
      {"2021-03-26/MVI_0120.AVI", ""},  {"2021-03-26/MVI_0120.THM", ""},
      {raw_day + "/CRW_0101.CRW", ""},  {raw_day + "/CRW_0101.THM", ""},
      {"2020-04-17/IMG_3604.HEIC", ""}, {"2020-04-17/IMG_3604.MOV", ""}};
  EXPECT_EQ(placed, expected);
  EXPECT_TRUE(ListFiles(src_).empty());
}

// An undo that does not know groups passes over their records and undoes every member as a
// file of its own; one that does keeps a group whole when one member changed since the run.
TEST_F(KeepTogetherTest, UndoWithoutGroupsUndoesEveryMemberAndAChangedMemberKeepsItsGroup) {
  for (const bool know_groups : {false, true}) {
    Make();
    WriteGroups(src_);
    const auto before = Snapshot(src_);
    RecordingObserver sink;
    Run(Config(!know_groups), &sink);
    const std::string journal = sink.report.journal;
    std::string text = ReadFile(journal);
    ASSERT_NE(text.find("\ngroup\t4\t"), std::string::npos);
    if (!know_groups) {
      for (size_t at = text.find("\ngroup\t"); at != std::string::npos;
           at = text.find("\ngroup\t")) {
        text.erase(at + 1, text.find('\n', at + 1) - at);
      }
      ASSERT_TRUE(WriteFile(journal, text));
      EXPECT_EQ(Undo(), 0);
      EXPECT_TRUE(Snapshot(src_) == before);
      continue;
    }
    const std::string edited = Day(kDay2) + "CASE.XMP";
    ASSERT_TRUE(WriteFile(edited, "edited"));
    EXPECT_EQ(Undo(), 1);
    EXPECT_NE(messages_.find("同组文件保留: " + Day(kDay2) + "Case.jpg"), std::string::npos)
        << messages_;
    EXPECT_TRUE(PathExists(Day(kDay2) + "Case.jpg"));
    EXPECT_EQ(ListFiles(out_).size(), 2u);
  }
}

}  // namespace
}  // namespace nandell
