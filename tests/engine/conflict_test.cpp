// A target that exists: identical files skipped (SkipIdentical), other files given a free name
// (RenameConflicts), on one file system and across two, in copy and move runs, predicted by
// the dry run; names taken in a race; the last free name.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <array>
#include <atomic>
#include <map>

#include "engine/placement.h"
#include "tests/engine/recording_observer.h"
#include "tests/support/proxy_file_system.h"
#include "tests/support/temp_tree.h"

namespace nandell {
namespace {

using testing::ListFiles;
using testing::LocalNoon;
using testing::MakeFolders;
using testing::PathExists;
using testing::ReadFile;
using testing::TempDir;
using testing::WriteFile;

const time_t kDay = LocalNoon(2014, 12, 31);
constexpr const char* kDayFolder = "2014年/2014-12-31/";

RunConfig Config(const std::string& src, const std::string& out, bool move, bool skip,
                 bool rename) {
  RunConfig config;
  config.photo_folder = src;
  config.output_folder = out;
  config.error_file_folder = src + ".cfg/";
  config.move = move;
  config.skip_identical = skip;
  config.rename_conflicts = rename;
  return config;
}

TEST(ConflictNameTest, NumberGoesBeforeTheLastDotOfTheName) {
  const struct {
    const char* target;
    int number;
    const char* expected;
  } cases[] = {
      {"IMG_0001.JPG", 1, "IMG_0001_1.JPG"}, {"a.tar.gz", 2, "a.tar_2.gz"}, {"noext", 3, "noext_3"},
      {".hidden", 5, ".hidden_5"},           {"x.", 9999, "x_9999."},
  };
  for (const auto& c : cases) EXPECT_EQ(ConflictName(c.target, c.number), c.expected);
}

// What each file of the tree below becomes with SkipIdentical alone, RenameConflicts alone,
// and both: "skip:NAME", "to:NAME" or "fail". For the pairs that aim at one name (dup, eq),
// what the second listed becomes; the first keeps the name.
const std::map<std::string, std::array<std::string, 3>> kOutcomes = {
    {"same", {"skip:same.mov", "to:same_1.mov", "skip:same.mov"}},
    {"other", {"fail", "to:other_1.mov", "to:other_1.mov"}},
    {"again", {"fail", "to:again_2.mov", "skip:again_1.mov"}},
    {"dup", {"fail", "to:dup_1.mov", "to:dup_1.mov"}},
    {"eq", {"skip:eq.mov", "to:eq_1.mov", "skip:eq.mov"}},
    {"link", {"fail", "to:link_1.mov", "to:link_1.mov"}},
};

TEST(ConflictTest, IdenticalSkippedOthersRenamedInCopyAndMoveOnOneAndTwoFileSystems) {
  testing::ScopedTmpfs tmpfs;
  for (const bool other_file_system : {false, true}) {
    if (other_file_system && tmpfs.path().empty()) GTEST_SKIP() << "no tmpfs here (needs root)";
    for (const bool move : {false, true}) {
      for (const int column : {0, 1, 2}) {
        SCOPED_TRACE(std::string(move ? "move" : "copy") + (other_file_system ? " to tmpfs" : "") +
                     " rules " + std::to_string(column));
        TempDir dir;
        TempDir out_dir(other_file_system ? tmpfs.path() : "/tmp");
        const std::string src = dir / "src/";
        const std::string day = out_dir.path() + kDayFolder;
        struct stat a, b;
        ASSERT_TRUE(::stat(dir.path().c_str(), &a) == 0 && ::stat(out_dir.path().c_str(), &b) == 0);
        ASSERT_EQ(a.st_dev != b.st_dev, other_file_system);
        const std::map<std::string, std::string> sources = {
            {"same.mov", "A"},   {"other.mov", "B"}, {"again.mov", "G"}, {"d1/dup.mov", "C"},
            {"d2/dup.mov", "D"}, {"d1/eq.mov", "E"}, {"d2/eq.mov", "E"}, {"link.mov", "L"}};
        for (const auto& [name, content] : sources) {
          ASSERT_TRUE(WriteFile(src + name, content, kDay));
        }
        const std::map<std::string, std::string> existing = {
            {"same.mov", "A"}, {"other.mov", "Z"}, {"again.mov", "Y"}, {"again_1.mov", "G"}};
        for (const auto& [name, content] : existing) ASSERT_TRUE(WriteFile(day + name, content));
        // A link to the source is not the same file: skipping for it would leave the library
        // without the photo.
        ASSERT_EQ(::symlink((src + "link.mov").c_str(), (day + "link.mov").c_str()), 0);
        ASSERT_TRUE(MakeFolders(src + ".cfg"));
        RunConfig config = Config(src, out_dir.path(), move, column != 1, column != 0);
        config.dry_run = true;
        RecordingObserver dry;
        ASSERT_EQ(RunToEnd(config, &dry), "");
        config.dry_run = false;
        RecordingObserver real;
        ASSERT_EQ(RunToEnd(config, &real), "");
        // The dry run said exactly what the run then did.
        EXPECT_EQ(dry.FileMessages(), real.FileMessages());

        ASSERT_EQ(real.files.size(), sources.size());
        std::map<std::string, int> seen;
        int failed = 0, skipped = 0;
        for (const FileEvent& event : real.files) {
          const std::string name = event.source.substr(event.source.rfind('/') + 1);
          const std::string key = name.substr(0, name.find('.'));
          const bool first_of_pair = (key == "dup" || key == "eq") && ++seen[key] == 1;
          const std::string want = first_of_pair ? "to:" + name : kOutcomes.at(key)[column];
          const std::string content = sources.at(event.source.substr(src.size()));
          SCOPED_TRACE(event.source + " -> " + want);
          const std::string placed = day + want.substr(want.find(':') + 1);
          if (want == "fail") {
            ++failed;
            EXPECT_EQ(event.outcome, FileOutcome::kFailed);
            EXPECT_EQ(event.target, day + name);
          } else if (want.rfind("skip:", 0) == 0) {
            ++skipped;
            EXPECT_EQ(event.outcome, FileOutcome::kSkipped);
            EXPECT_EQ(event.message, "相同文件已存在(" + std::to_string(event.ordinal) +
                                         "): " + event.source + "\r\n\r\n跳过: " + placed + "\r\n");
          } else {
            EXPECT_EQ(event.outcome, FileOutcome::kTransferred);
            EXPECT_NE(event.message.find("到: " + placed + "\r\n"), std::string::npos);
            EXPECT_EQ(ReadFile(placed), content);
          }
          // Only a file placed leaves its source in a move; a skipped one stays.
          EXPECT_EQ(ReadFile(event.source) == content, !move || want.rfind("to:", 0) != 0);
        }
        // What was in the output stays as it was; the summary counts the skipped files.
        for (const auto& [name, content] : existing) EXPECT_EQ(ReadFile(day + name), content);
        std::string summary = "\r\n\r\n整理文件 8 个, 失败 " + std::to_string(failed) + " 个";
        if (skipped > 0) summary += ", 跳过 " + std::to_string(skipped) + " 个";
        EXPECT_EQ(real.report.summary, summary);
        for (const auto& [path, content] : ListFiles(out_dir.path())) {
          EXPECT_NE(path.substr(path.rfind('/') + 1)[0], '.') << "temporary file left: " << path;
        }
      }
    }
  }
}

// Another program takes the name between the check and the placement: the file goes to the
// next free name, the other program's file is left alone.
class IntrudingFileSystem : public testing::ProxyFileSystem {
 public:
  explicit IntrudingFileSystem(std::string name) : name_(std::move(name)) {}
  int PlaceNoReplace(const fs::FileAt& from, const fs::FileAt& to) override {
    if (to.Path() == name_ && !intruded_.exchange(true)) WriteFile(to.Path(), "theirs");
    return ProxyFileSystem::PlaceNoReplace(from, to);
  }

 private:
  std::string name_;
  std::atomic<bool> intruded_{false};
};

TEST(ConflictTest, NameTakenBetweenCheckAndPlacementGoesToTheNextName) {
  for (const bool move : {false, true}) {
    TempDir dir;
    ASSERT_TRUE(WriteFile(dir / "src/IMG.mov", "mine", kDay));
    ASSERT_TRUE(MakeFolders(dir / "out") && MakeFolders(dir / "src/.cfg"));
    const std::string taken = dir / "out/" + kDayFolder + "IMG.mov";
    IntrudingFileSystem disk(taken);
    RecordingObserver sink;
    ASSERT_EQ(RunToEnd(Config(dir / "src/", dir / "out/", move, true, true), &sink, disk), "");
    ASSERT_EQ(sink.files.size(), 1u);
    EXPECT_EQ(sink.files[0].outcome, FileOutcome::kTransferred);
    EXPECT_EQ(sink.files[0].target, dir / "out/" + kDayFolder + "IMG_1.mov");
    EXPECT_EQ(ReadFile(taken), "theirs");
    EXPECT_EQ(ReadFile(sink.files[0].target), "mine");
    EXPECT_EQ(ListFiles(dir / "out/").size(), 2u);  // and no temporary file
  }
}

// A move by copy (the output as another file system) whose name is taken in a race while a
// new file takes the source's name: the source is kept under a recovery name, and the new
// file is never moved to a free name in its stead.
class SourceReplacingFileSystem : public testing::ProxyFileSystem {
 public:
  SourceReplacingFileSystem(std::string source, std::string target)
      : source_(std::move(source)), target_(std::move(target)) {}
  int PlaceNoReplace(const fs::FileAt& from, const fs::FileAt& to) override {
    if (from.Path() == source_ && to.folder->Path() != from.folder->Path()) return EXDEV;
    if (to.Path() == target_ && !intruded_.exchange(true)) {
      WriteFile(target_, "theirs");
      WriteFile(source_, "new");
    }
    return ProxyFileSystem::PlaceNoReplace(from, to);
  }

 private:
  std::string source_, target_;
  std::atomic<bool> intruded_{false};
};

TEST(ConflictTest, MovedSourceThatLostItsNameIsNotRetriedUnderAFreeName) {
  TempDir dir;
  ASSERT_TRUE(WriteFile(dir / "src/IMG.mov", "mine", kDay));
  ASSERT_TRUE(MakeFolders(dir / "out") && MakeFolders(dir / "src/.cfg"));
  SourceReplacingFileSystem disk(dir / "src/IMG.mov", dir / "out/" + kDayFolder + "IMG.mov");
  RecordingObserver sink;
  ASSERT_EQ(RunToEnd(Config(dir / "src/", dir / "out/", true, true, true), &sink, disk), "");
  ASSERT_EQ(sink.files.size(), 1u);
  EXPECT_EQ(sink.files[0].outcome, FileOutcome::kFailed);
  EXPECT_EQ(ReadFile(dir / "src/IMG.mov"), "new");
  EXPECT_EQ(ReadFile(dir / "src/IMG(恢复).mov"), "mine");
  EXPECT_FALSE(PathExists(dir / "out/" + kDayFolder + "IMG_1.mov"));
}

// Counts the looks at a name: the checks that it is free and the placements under it.
class ProbeCountingFileSystem : public testing::ProxyFileSystem {
 public:
  int CheckNameFree(const fs::Folder& base, const std::string& relative) override {
    ++probes;
    return ProxyFileSystem::CheckNameFree(base, relative);
  }
  int PlaceNoReplace(const fs::FileAt& from, const fs::FileAt& to) override {
    ++probes;
    return ProxyFileSystem::PlaceNoReplace(from, to);
  }
  std::atomic<int> probes{0};
};

// Many files on one name, in a folder that holds many of that name already: each file takes
// the next free number after the ones before it, with a few looks at names each, not one for
// every name taken before it.
TEST(ConflictTest, ManyFilesOnOneNameCostAFewProbesEach) {
  constexpr int kTaken = 150;
  constexpr int kFiles = 150;
  testing::ScopedTmpfs tmpfs;
  for (const char* mode : {"dry run", "copy", "move"}) {
    SCOPED_TRACE(mode);
    TempDir dir(tmpfs.path().empty() ? "/tmp" : tmpfs.path());
    const std::string day = dir / "out/" + kDayFolder;
    ASSERT_TRUE(WriteFile(day + "IMG.mov", "t"));
    for (int i = 1; i < kTaken; ++i) ASSERT_TRUE(WriteFile(ConflictName(day + "IMG.mov", i), "t"));
    for (int i = 0; i < kFiles; ++i) {
      ASSERT_TRUE(
          WriteFile(dir / "src/" + std::to_string(i) + "/IMG.mov", std::to_string(i), kDay));
    }
    ASSERT_TRUE(MakeFolders(dir / "src/.cfg"));
    RunConfig config = Config(dir / "src/", dir / "out/", mode[0] == 'm', false, true);
    config.dry_run = mode[0] == 'd';
    ProbeCountingFileSystem disk;
    RecordingObserver sink;
    ASSERT_EQ(RunToEnd(config, &sink, disk), "");
    ASSERT_EQ(sink.files.size(), static_cast<size_t>(kFiles));
    EXPECT_EQ(sink.report.counters.FailedCount, 0);
    for (int i = 0; i < kFiles; ++i) {
      EXPECT_EQ(sink.files[i].target, ConflictName(day + "IMG.mov", kTaken + i));
    }
    EXPECT_LE(disk.probes.load(), 4 * (kTaken + kFiles));
  }
}

TEST(ConflictTest, WhenEveryNameUpTo9999IsTakenTheFileFails) {
  testing::ScopedTmpfs tmpfs;  // ten thousand files are made quicker in memory
  TempDir dir(tmpfs.path().empty() ? "/tmp" : tmpfs.path());
  const std::string day = dir / "out/" + kDayFolder;
  ASSERT_TRUE(WriteFile(dir / "src/n.mov", "mine", kDay) && MakeFolders(dir / "src/.cfg"));
  ASSERT_TRUE(WriteFile(day + "n.mov", "t"));
  for (int i = 1; i <= kMaxConflictNumber; ++i) {
    ASSERT_TRUE(WriteFile(day + "n_" + std::to_string(i) + ".mov", "t"));
  }
  const RunConfig config = Config(dir / "src/", dir / "out/", false, true, true);
  RecordingObserver full;
  ASSERT_EQ(RunToEnd(config, &full), "");
  ASSERT_EQ(full.files.size(), 1u);
  EXPECT_EQ(full.files[0].message,
            "复制文件失败: " + dir / "src/n.mov -> " + day + "n.mov (File exists)\r\n");
  EXPECT_FALSE(PathExists(day + "n_10000.mov"));
  // The last name free: it is taken.
  ASSERT_EQ(::unlink((day + "n_9999.mov").c_str()), 0);
  RecordingObserver last;
  ASSERT_EQ(RunToEnd(config, &last), "");
  EXPECT_EQ(ReadFile(day + "n_9999.mov"), "mine");
  // By name: much quicker than the generic removal of the temporary folder.
  for (int i = 1; i <= kMaxConflictNumber; ++i) {
    ::unlink((day + "n_" + std::to_string(i) + ".mov").c_str());
  }
}

}  // namespace
}  // namespace nandell
