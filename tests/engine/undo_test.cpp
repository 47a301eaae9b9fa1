// Undoing a run: the tree as it was, on one file system and across two, whatever the names;
// files that changed since the run kept; an undo stopped and taken up again; a journal in use.
#include "engine/undo.h"

#include <gtest/gtest.h>

#ifdef _WIN32
#include <windows.h>
#else
#include <fcntl.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

#include <algorithm>
#include <cstdio>
#include <mutex>
#include <set>

#include "tests/engine/recording_observer.h"
#include "tests/support/proxy_file_system.h"
#include "tests/support/temp_tree.h"

namespace nandell {
namespace {

using testing::ListFiles;
using testing::ListTree;
using testing::LocalNoon;
using testing::MakeFolders;
using testing::Native;
using testing::PathExists;
using testing::ReadFile;
using testing::Snapshot;
using testing::TempDir;
using testing::WriteFile;

const time_t kDay1 = LocalNoon(2014, 12, 31);
const time_t kDay2 = LocalNoon(2015, 3, 4);

// Removes the file or empty folder `path`.
bool RemoveEntry(const std::string& path) {
#ifdef _WIN32
  const std::wstring wide = testing::LongPath(path);
  return ::DeleteFileW(wide.c_str()) || ::RemoveDirectoryW(wide.c_str());
#else
  return std::remove(path.c_str()) == 0;
#endif
}

// A photo folder and an output folder (on `output_base`), and runs and undos between them.
class UndoTest : public ::testing::Test {
 protected:
  void Make(const std::string& output_base = "") {
    out_dir_ = std::make_unique<TempDir>(output_base);
    src_ = dir_ / "src/";
    out_ = out_dir_->path();
    ASSERT_TRUE(MakeFolders(dir_ / "cfg") && MakeFolders(src_));
  }

  // A run of src_ into out_.
  RunConfig Config(bool move) const {
    RunConfig config;
    config.photo_folder = src_;
    config.output_folder = out_;
    config.error_file_folder = dir_ / "cfg/";
    config.move = move;
    return config;
  }

  // Runs src_ into out_ and returns the run's journal.
  std::string Organize(bool move) {
    RecordingObserver sink;
    EXPECT_EQ(RunToEnd(Config(move), &sink), "");
    // The journal names exactly the files the run reported, however odd their names.
    Journal journal;
    EXPECT_TRUE(ParseJournal(ReadFile(sink.report.journal), &journal));
    std::set<std::pair<std::string, std::string>> journaled, reported;
    for (const JournalEntry& entry : journal.files) journaled.emplace(entry.source, entry.target);
    for (const FileEvent& event : sink.files) reported.emplace(event.source, event.target);
    EXPECT_EQ(journaled, reported);
    return sink.report.journal;
  }

  // Undoes the journal; `stop_after` files, then stops.
  int Undo(const std::string& journal, int stop_after = -1) {
    std::atomic<bool> running{true};
    messages_.clear();
    refusal_.clear();
    return UndoRun(
        fs::RealFileSystem(), journal, running,
        [&](const UndoFileEvent& event) {
          messages_.push_back(event.message);
          if (event.ordinal == stop_after) running.store(false);
        },
        &end_, &refusal_);
  }

  TempDir dir_;
  std::unique_ptr<TempDir> out_dir_;
  std::string src_, out_;
  std::vector<std::string> messages_;
  UndoEndEvent end_;
  std::string refusal_;
};

TEST_F(UndoTest, PutsTheTreeBackAfterCopyAndMoveOnOneAndTwoFileSystems) {
#ifdef _WIN32
  // The other file system: /dev/shm through Wine's drive Z:, checked to be one below.
  const std::string other_base = testing::kOtherFileSystem;
  // Names Windows can hold that a journal or a path could still mangle.
  const char* names[] = {"with blank.mov", "照片.mov", "100%d.mov",
                         "semi;colon.mov", "a'b.mov",  "plain.mov"};
#else
  testing::ScopedTmpfs tmpfs;
  const std::string other_base = tmpfs.path();
  // Names a line-based journal could split or mangle: tabs, line breaks, not UTF-8.
  const char* names[] = {"tab\there.mov",   "line\nbreak.mov", "bad\xff\xfe.mov",
                         "back\\slash.mov", "cr\r.mov",        "plain.mov"};
#endif
  for (const bool other_file_system : {false, true}) {
    if (other_file_system && other_base.empty()) GTEST_SKIP() << "no tmpfs here (needs root)";
    for (const bool move : {false, true}) {
      SCOPED_TRACE(std::string(move ? "move" : "copy") + (other_file_system ? " to tmpfs" : ""));
      testing::RemoveTree(dir_ / "src");
      Make(other_file_system ? other_base : "");
      if (other_file_system && !testing::OnOtherFileSystem(src_, out_)) {
        GTEST_SKIP() << out_ << " is on the photo folder's file system";
      }
      for (int i = 0; i < 6; ++i) {
        ASSERT_TRUE(WriteFile(src_ + "d" + std::to_string(i % 2) + "/sub/" + names[i],
                              std::string(1000 * i + 1, 'a'), i % 2 ? kDay1 : kDay2));
      }
      // A year folder that was there before the run, with a file of its own: it stays.
      ASSERT_TRUE(WriteFile(out_ + "2014年/keep.txt", "k"));
      const auto source_tree = Snapshot(src_);
      const auto output_tree = Snapshot(out_);
      const std::string journal = Organize(move);
      // A file only renamed is known by its identity, never read for a checksum.
      Journal record;
      ASSERT_TRUE(ParseJournal(ReadFile(journal), &record));
      EXPECT_EQ(record.files.at(0).record.checksum.rfind("id:", 0) == 0, move && !other_file_system)
          << record.files.at(0).record.checksum;
      // A move emptied the source folders; one of them is gone now, and comes back.
      // And a copy back that a killed undo left in the other (no one holds it) goes too.
      if (move) {
        ASSERT_TRUE(RemoveEntry(src_ + "d1/sub"));
        ASSERT_TRUE(WriteFile(src_ + Native("d0/sub/.nandell-99999-1.part"), "left by an undo"));
      }

      ASSERT_EQ(Undo(journal), 0) << refusal_;
      EXPECT_EQ(end_.undone, 6);
      EXPECT_EQ(end_.summary, "\r\n\r\n撤销文件 6 个, 保留 0 个");
      EXPECT_EQ(Snapshot(src_), source_tree);
      EXPECT_EQ(Snapshot(out_), output_tree);  // the folders the run made are gone
      ASSERT_EQ(messages_.size(), 6u);
      const std::string& first = messages_[0];
      EXPECT_EQ(first.rfind(move ? "移回文件(1): " + out_ : "删除副本(1): " + out_, 0), 0u)
          << first;

      // Undone: not again, and the folder has nothing left to undo.
      EXPECT_EQ(Undo(journal), 2);
      EXPECT_EQ(refusal_, kAlreadyUndoneText + journal);
      std::string refusal;
      EXPECT_EQ(LatestJournal(fs::RealFileSystem(), out_, &refusal), "");
      EXPECT_EQ(refusal, kNothingToUndoText + out_);
    }
  }
}

// What happened to a file since the run decides whether the undo may touch it.
TEST_F(UndoTest, FilesChangedSinceTheRunAreKeptAndNamed) {
  const struct {
    bool move;
    bool at_target;       // the change is made to the placed file, else at its source
    bool remove;          // removed, else written anew ("newer")
    const char* message;  // the start of its undo message
  } cases[] = {
      {false, true, false, "文件已改动, 保留: "},
      {false, true, true, "副本已不在("},  // nothing left to undo: undone
      {false, false, true, "原文件已不在或已改动, 保留副本: "},
      {false, false, false, "原文件已不在或已改动, 保留副本: "},
      {true, true, false, "文件已改动, 保留: "},
      {true, true, true, "文件已不在: "},
      {true, false, false, "原位置已有文件, 保留: "},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.message);
    testing::RemoveTree(dir_ / "src");
    Make();
    ASSERT_TRUE(WriteFile(src_ + "x.mov", "xxxx", kDay1) && WriteFile(src_ + "y.mov", "y", kDay1));
    const std::string journal = Organize(c.move);
    const std::string changed = c.at_target ? out_ + "2014年/2014-12-31/x.mov" : src_ + "x.mov";
    ASSERT_TRUE(c.remove ? RemoveEntry(changed) : WriteFile(changed, "newer"));
    const bool undone = !c.move && c.at_target && c.remove;
    auto expected = ListFiles(out_);
    expected.erase("2014年/2014-12-31/y.mov");

    EXPECT_EQ(Undo(journal), undone ? 0 : 1);
    EXPECT_EQ(end_.undone, undone ? 2 : 1);
    ASSERT_EQ(messages_.size(), 2u);
    EXPECT_EQ(messages_[0].rfind(c.message, 0) == 0 || messages_[1].rfind(c.message, 0) == 0, true);
    // The other file is undone; the changed one is where it was, as it was.
    EXPECT_EQ(ReadFile(src_ + "y.mov"), "y");
    EXPECT_EQ(ListFiles(out_), expected);
    if (!c.remove) {
      EXPECT_EQ(ReadFile(changed), "newer");
    }
  }
}

// Renames the file or folder `from` to `to`.
bool MoveEntry(const std::string& from, const std::string& to) {
#ifdef _WIN32
  return ::MoveFileExW(testing::LongPath(from).c_str(), testing::LongPath(to).c_str(), 0);
#else
  return ::rename(from.c_str(), to.c_str()) == 0;
#endif
}

// `path` with its first `from` replaced by `to`.
std::string Replaced(std::string path, const std::string& from, const std::string& to) {
  return path.replace(path.find(from), from.size(), to);
}

// The output folder renamed since the run is the same folder: its run is undone there. A copy
// of it is another folder: its journal tells of files that are not the copy's.
TEST_F(UndoTest, RenamedOutputFolderIsUndoneWhereItIsAndACopyOfItIsRefused) {
  for (const bool move : {false, true}) {
    SCOPED_TRACE(move ? "move" : "copy");
    for (const char* folder : {"src", "out", "renamed", "copy"}) testing::RemoveTree(dir_ / folder);
    Make();
    out_ = dir_ / "out/";
    ASSERT_TRUE(MakeFolders(dir_ / "out"));
    for (int i = 0; i < 3; ++i) {
      ASSERT_TRUE(WriteFile(src_ + "f" + std::to_string(i) + ".mov", std::to_string(i), kDay1));
    }
    const auto source_tree = Snapshot(src_);
    const std::string journal = Organize(move);
    for (const auto& [path, content] : ListFiles(out_)) {
      ASSERT_TRUE(WriteFile(dir_ / "copy/" + path, content));
    }
    const std::string copied = Replaced(journal, out_, dir_ / "copy/");
    ASSERT_TRUE(WriteFile(copied, ReadFile(journal)));
    ASSERT_TRUE(MoveEntry(dir_ / "out", dir_ / "renamed"));

    EXPECT_EQ(Undo(copied), 2);
    EXPECT_EQ(refusal_, kOtherFolderText + out_ + " (" + copied + ")");
    EXPECT_EQ(ListFiles(dir_ / "copy/").size(), 3u);
    EXPECT_EQ(Undo(Replaced(journal, out_, dir_ / "renamed/")), 0) << refusal_;
    EXPECT_EQ(end_.undone, 3);
    EXPECT_EQ(
        messages_.at(0).rfind(
            move ? "移回文件(1): " + dir_ / "renamed/" : "删除副本(1): " + dir_ / "renamed/", 0),
        0u)
        << messages_[0];
    EXPECT_EQ(Snapshot(src_), source_tree);
    EXPECT_TRUE(ListFiles(dir_ / "renamed/").empty());
    EXPECT_EQ(ListFiles(dir_ / "copy/").size(), 3u);
  }
}

// A journal of the version before intents and the output folder's identity is undone as
// before.
TEST_F(UndoTest, JournalWithoutIntentsOrTheOutputsIdentityIsUndone) {
  for (const bool move : {false, true}) {
    SCOPED_TRACE(move ? "move" : "copy");
    testing::RemoveTree(dir_ / "src");
    Make();
    ASSERT_TRUE(WriteFile(src_ + "x.mov", "xxxx", kDay1) && WriteFile(src_ + "y.mov", "y", kDay2));
    const auto source_tree = Snapshot(src_);
    const std::string journal = Organize(move);
    std::string text = ReadFile(journal);
    text.erase(text.find("\toutput_id="), text.find('\n') - text.find("\toutput_id="));
    for (size_t at; (at = text.find("\nintent\t")) != std::string::npos;) {
      text.erase(at + 1, text.find('\n', at + 1) - at);
    }
    ASSERT_TRUE(WriteFile(journal, text));
    EXPECT_EQ(Undo(journal), 0) << refusal_;
    EXPECT_EQ(end_.undone, 2);
    EXPECT_EQ(Snapshot(src_), source_tree);
    EXPECT_TRUE(ListFiles(out_).empty());
  }
}

// Keeps the journal as it stands each time a file takes its name in the output folder: what a
// run killed at that moment would leave.
class JournalAtEachPlacement : public testing::ProxyFileSystem {
 public:
  explicit JournalAtEachPlacement(std::string out) : out_(std::move(out)) {}
  int PlaceNoReplace(const fs::FileAt& from, const fs::FileAt& to) override {
    const int error = ProxyFileSystem::PlaceNoReplace(from, to);
    if (error == 0 && to.folder->Path().rfind(out_, 0) == 0 && to.name[0] != '.') {
      std::lock_guard<std::mutex> lock(mutex_);
      for (const auto& [name, text] : ListFiles(JournalFolder(out_))) {
        placed.emplace_back(to.Path(), text);
      }
    }
    return error;
  }
  std::vector<std::pair<std::string, std::string>> placed;  // the file, the journal then

 private:
  std::string out_;
  std::mutex mutex_;
};

// Every file that takes a name in the output is in the journal first; an undo after the run
// was killed right then finds it from its intent, and removes only the file that took the name.
TEST_F(UndoTest, EveryFileIsJournaledBeforeItTakesItsNameAndUndoneFromItsIntent) {
#ifdef _WIN32
  const std::string other_base = testing::kOtherFileSystem;
#else
  testing::ScopedTmpfs tmpfs;
  const std::string other_base = tmpfs.path();
#endif
  const struct {
    bool move, other_file_system, replaced;  // the last copy then replaced by the same bytes
  } cases[] = {
      {false, false, false}, {false, false, true}, {true, false, false}, {true, true, false}};
  for (const auto& c : cases) {
    SCOPED_TRACE(std::to_string(c.move) + std::to_string(c.other_file_system) +
                 std::to_string(c.replaced));
    if (c.other_file_system && other_base.empty()) continue;
    testing::RemoveTree(dir_ / "src");
    Make(c.other_file_system ? other_base : "");
    for (int i = 0; i < 4; ++i) {
      ASSERT_TRUE(
          WriteFile(src_ + "f" + std::to_string(i) + ".mov", std::string(i + 1, 'x'), kDay1));
    }
    const auto source_tree = Snapshot(src_);
    JournalAtEachPlacement disk(out_);
    RecordingObserver sink;
    ASSERT_EQ(RunToEnd(Config(c.move), &sink, disk), "");
    ASSERT_EQ(disk.placed.size(), 4u);
    for (const auto& [path, text] : disk.placed) {
      Journal journal;
      ASSERT_TRUE(ParseJournal(text, &journal));
      const std::string& placed = path;
      EXPECT_TRUE(std::any_of(journal.files.begin(), journal.files.end(),
                              [&](const JournalEntry& entry) { return entry.target == placed; }))
          << placed << " is not in the journal yet:\n"
          << text;
    }
    // Killed right after the last file took its name: its intent ends the journal.
    const std::string last = disk.placed.back().first;
    ASSERT_TRUE(WriteFile(sink.report.journal, disk.placed.back().second));
    if (c.replaced) {
      const std::string bytes = ReadFile(last);
      ASSERT_TRUE(WriteFile(last + ".new", bytes) && RemoveEntry(last) &&
                  MoveEntry(last + ".new", last));
    }
    EXPECT_EQ(Undo(sink.report.journal), 0) << refusal_;
    EXPECT_EQ(end_.undone, c.replaced ? 3 : 4);
    EXPECT_EQ(Snapshot(src_), source_tree);
    // A file of the same bytes that is not the one the run placed is not the run's to remove.
    EXPECT_EQ(ListFiles(out_).size(), c.replaced ? 1u : 0u);
  }
}

#ifndef _WIN32
// Links are made the POSIX way (Windows needs a privilege for symbolic links, and Wine makes
// them as Unix links that its own file calls follow): these two stay Linux's.

// A link put where a folder of the run was is never followed: not to remove a "copy" that
// is the photo itself, not to move a file back into a folder elsewhere. A file kept because a
// link stood in the way is tried again by the next undo; one that is its own source (the photo
// folder now leads to the day folder) is kept for good.
TEST_F(UndoTest, LinksAreNeverFollowedAndWhatTheyKeptIsTriedAgain) {
  const struct {
    bool move;
    const char* link;     // replaced by a link after the run: "day", "source" or "photo" folder
    const char* message;  // the undo's message
    const char* history;  // the run's state in history afterwards
  } cases[] = {
      {false, "day", "删除副本失败: DAY/x.mov (目录位置上是一个链接)\r\n",
       "部分撤销 (未撤销 1 个)"},
      {true, "source", "移回文件失败: DAY/x.mov -> SRC/sub/x.mov (目录位置上是一个链接)\r\n",
       "部分撤销 (未撤销 1 个)"},
      {false, "photo", "副本与原文件是同一个文件, 保留: DAY/x.mov\r\n", "已撤销"},
      {true, "photo", "副本与原文件是同一个文件, 保留: DAY/x.mov\r\n", "已撤销"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.move ? "move, " : "copy, ") + c.link);
    testing::RemoveTree(dir_ / "src");
    testing::RemoveTree(dir_ / "elsewhere");
    Make();
    const bool photo = std::string(c.link) == "photo";
    const std::string name = photo ? "x.mov" : "sub/x.mov";
    ASSERT_TRUE(WriteFile(src_ + name, "xxxx", kDay1) && MakeFolders(dir_ / "elsewhere"));
    const std::string journal = Organize(c.move);
    const std::string day = out_ + "2014年/2014-12-31";
    // The copy's day folder now links to the photo's folder; the moved photo's source folder
    // links elsewhere; the photo folder, its original gone, links to the day folder.
    const std::string swapped = photo ? dir_ / "src" : c.move ? src_ + "sub" : day;
    const std::string link_to = photo ? day : c.move ? dir_ / "elsewhere" : src_ + "sub";
    if (photo) testing::RemoveTree(swapped);
    ASSERT_EQ(photo ? 0 : ::rename(swapped.c_str(), (swapped + ".real").c_str()), 0);
    ASSERT_EQ(::symlink(link_to.c_str(), swapped.c_str()), 0);

    EXPECT_EQ(Undo(journal), 1);
    std::string message = c.message;
    message.replace(message.find("DAY"), 3, day);
    if (message.find("SRC/") != std::string::npos) message.replace(message.find("SRC/"), 4, src_);
    EXPECT_EQ(messages_, std::vector<std::string>{message});
    // The photo (the moved file, or the copy that is all that is left) is where it was, and
    // nothing went elsewhere.
    EXPECT_EQ(ReadFile(c.move || photo ? day + "/x.mov" : src_ + "sub/x.mov"), "xxxx");
    EXPECT_TRUE(ListFiles(dir_ / "elsewhere").empty());
    Journal state;
    ASSERT_TRUE(ParseJournal(ReadFile(journal), &state));
    EXPECT_NE(FormatHistoryLine(journal, state).find(std::string("\t") + c.history + "\t"),
              std::string::npos)
        << FormatHistoryLine(journal, state);
    if (photo) {
      EXPECT_EQ(Undo(journal), 2);
      continue;
    }
    // The link gone and the folder back: the next undo finishes the run.
    ASSERT_EQ(::unlink(swapped.c_str()), 0);
    ASSERT_EQ(::rename((swapped + ".real").c_str(), swapped.c_str()), 0);
    std::string refusal;
    EXPECT_EQ(LatestJournal(fs::RealFileSystem(), out_, &refusal), journal);
    EXPECT_EQ(Undo(journal), 0) << refusal_;
    EXPECT_EQ(end_.undone, 1);
    EXPECT_EQ(ReadFile(src_ + "sub/x.mov"), "xxxx");
    EXPECT_TRUE(ListFiles(out_).empty());
  }
}

// A journal that anyone but the user could have written, or that tells of other folders than
// the run's, is refused whole: nothing outside the output folder is ever touched.
TEST_F(UndoTest, PlantedJournalsAreRefused) {
  Make();
  ASSERT_TRUE(WriteFile(src_ + "x.mov", "xxxx", kDay1));
  const std::string journal = Organize(false);
  const std::string copy = out_ + "2014年/2014-12-31/x.mov";
  const std::string victim = dir_ / "victim/secret.mov";
  ASSERT_TRUE(WriteFile(victim, "xxxx"));
  Journal run;
  ASSERT_TRUE(ParseJournal(ReadFile(journal), &run));
  const FileRecord& record = run.files.at(0).record;
  const std::string fields =
      "\t" + std::to_string(record.size) + "\t" + record.mtime + "\t" + record.checksum + "\n";
  const struct {
    std::string output;  // the output folder the header names
    std::string line;    // its one file record
    int owner;           // -1: the user's own
    mode_t mode;
    std::string refusal;
  } cases[] = {
      {out_, "copy\t" + src_ + "x.mov\t" + copy, 1000, 0600, kForeignJournalText},
      {out_, "copy\t" + src_ + "x.mov\t" + copy, -1, 0666, kForeignJournalText},
      {dir_ / "victim/", "copy\t" + src_ + "x.mov\t" + victim, -1, 0600,
       kOtherFolderText + dir_ / "victim/"},
      {out_, "copy\t" + src_ + "x.mov\t" + out_ + "../victim/secret.mov", -1, 0600,
       kOutsideFolderText + out_ + "../victim/secret.mov"},
      {out_, "move\t" + copy + "\t" + copy, -1, 0600, kOutsideFolderText + copy},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.refusal);
    const std::string planted = JournalFolder(out_) + "99999999-000000-1.tsv";
    ASSERT_TRUE(WriteFile(planted, "nandell-journal\t1\tmode=copy\tphoto=" + src_ +
                                       "\toutput=" + c.output +
                                       "\tstarted_ns=" + std::to_string(run.started_ns + 1) + "\n" +
                                       c.line + fields));
    ASSERT_EQ(::chmod(planted.c_str(), c.mode), 0);
    if (c.owner >= 0) {
      ASSERT_EQ(::chown(planted.c_str(), c.owner, c.owner), 0);
    }
    EXPECT_EQ(Undo(planted), 2);
    EXPECT_EQ(refusal_.rfind(c.refusal, 0), 0u) << refusal_;
    EXPECT_EQ(ReadFile(copy), "xxxx");
    EXPECT_EQ(ReadFile(victim), "xxxx");
    // Never the latest run of the folder either, when it is not the user's.
    std::string refusal;
    if (c.refusal == kForeignJournalText) {
      EXPECT_EQ(LatestJournal(fs::RealFileSystem(), out_, &refusal), journal);
    }
    ASSERT_TRUE(RemoveEntry(planted));
  }
}

// A journal the undo cannot write to is refused with the system's reason.
TEST_F(UndoTest, JournalOnAReadOnlyFileSystemIsRefusedWithTheReason) {
  testing::ScopedTmpfs tmpfs;
  if (tmpfs.path().empty()) GTEST_SKIP() << "no tmpfs here (needs root)";
  Make(tmpfs.path());
  ASSERT_TRUE(WriteFile(src_ + "x.mov", "xxxx", kDay1));
  const std::string journal = Organize(false);
  ASSERT_EQ(::mount(nullptr, tmpfs.path().c_str(), nullptr, MS_REMOUNT | MS_RDONLY, nullptr), 0);
  EXPECT_EQ(Undo(journal), 2);
  EXPECT_EQ(refusal_, kJournalUnreadableText + journal + " (Read-only file system)");
}

// The output's file system full: the journal's line cannot be written, and the run places
// nothing more (each file a failure with the reason), so that every file it placed is known to
// the undo, which brings every one back once there is room again.
TEST_F(UndoTest, RunWhoseJournalCannotBeWrittenPlacesNothingMore) {
  testing::ScopedTmpfs tmpfs("2m");
  if (tmpfs.path().empty()) GTEST_SKIP() << "no tmpfs here (needs root)";
  // More files than the journal's room holds lines for. Both folders on it: the moves are
  // renames, which take no room; only the journal does.
  constexpr int kFilesOnTheCard = 150;
  src_ = tmpfs.path() + "src/";
  out_ = tmpfs.path() + "out/";
  ASSERT_TRUE(MakeFolders(dir_ / "cfg") && MakeFolders(out_));
  for (int i = 0; i < kFilesOnTheCard; ++i) {
    ASSERT_TRUE(WriteFile(src_ + "f" + std::to_string(i) + ".mov", "x", kDay1));
  }
  const auto source_tree = Snapshot(src_);
  // Full, but for two pages.
  const std::string filler = tmpfs.path() + "filler";
  const int fd = ::open(filler.c_str(), O_WRONLY | O_CREAT, 0600);
  ASSERT_GE(fd, 0);
  const std::string page(4096, 'f');
  off_t size = 0;
  while (::write(fd, page.data(), page.size()) == static_cast<ssize_t>(page.size())) size += 4096;
  ASSERT_EQ(::ftruncate(fd, size - 2 * 4096), 0);
  ::close(fd);

  RecordingObserver sink;
  ASSERT_EQ(RunToEnd(Config(true), &sink), "");
  EXPECT_EQ(sink.report.counters.ProcessedCount, kFilesOnTheCard);
  EXPECT_GT(sink.report.counters.FailedCount, 0);
  EXPECT_LT(sink.report.counters.FailedCount, kFilesOnTheCard);
  int failed = 0;
  for (const FileEvent& event : sink.files) {
    if (event.outcome != FileOutcome::kFailed) continue;
    EXPECT_EQ(event.reason, "整理记录无法写入") << event.message;
    // Once the journal failed, no file after it was placed.
    EXPECT_EQ(event.ordinal,
              sink.report.counters.ProcessedCount - sink.report.counters.FailedCount + ++failed);
  }
  EXPECT_NE(sink.report.journal_problem.find("No space left on device"), std::string::npos)
      << sink.report.journal_problem;
  Journal journal;
  ASSERT_TRUE(ParseJournal(ReadFile(sink.report.journal), &journal));
  std::set<std::string> journaled;
  for (const JournalEntry& entry : journal.files) journaled.insert(entry.target);
  for (const auto& [path, content] : ListFiles(out_)) {
    EXPECT_EQ(journaled.count(out_ + path), 1u) << path << " placed but not in the journal";
  }

  ASSERT_TRUE(RemoveEntry(filler));
  EXPECT_EQ(Undo(sink.report.journal), 0) << refusal_;
  EXPECT_EQ(end_.undone, kFilesOnTheCard - sink.report.counters.FailedCount);
  EXPECT_EQ(Snapshot(src_), source_tree);
  EXPECT_TRUE(ListFiles(out_).empty());
}

// Without a journal nothing is placed: the run could not be undone.
TEST_F(UndoTest, LinkInPlaceOfTheJournalFolderIsNotFollowed) {
  Make();
  ASSERT_TRUE(WriteFile(src_ + "x.mov", "xxxx", kDay1) && MakeFolders(dir_ / "elsewhere"));
  ASSERT_EQ(::symlink((dir_ / "elsewhere").c_str(), (out_ + ".nandell").c_str()), 0);
  RecordingObserver sink;
  EXPECT_EQ(RunToEnd(Config(false), &sink), "");
  // The photo fails with the reason, the run says why it has no journal, nothing went elsewhere.
  EXPECT_EQ(ReadFile(src_ + "x.mov"), "xxxx");
  ASSERT_EQ(sink.files.size(), 1u);
  EXPECT_EQ(sink.files[0].reason, "整理记录无法写入");
  EXPECT_EQ(sink.report.journal, "");
  EXPECT_NE(sink.report.journal_problem.find("目录位置上是一个链接"), std::string::npos)
      << sink.report.journal_problem;
  EXPECT_TRUE(ListTree(dir_ / "elsewhere").empty());
  EXPECT_FALSE(PathExists(out_ + "2014年/2014-12-31/x.mov"));
}

#endif  // _WIN32

TEST_F(UndoTest, StoppedUndoFinishesWhenRunAgainAndTheLatestRunGoesFirst) {
  Make();
  for (int i = 0; i < 6; ++i) {
    ASSERT_TRUE(WriteFile(src_ + "f" + std::to_string(i) + ".mov", std::to_string(i), kDay1));
  }
  const std::string first = Organize(true);
  ASSERT_TRUE(WriteFile(src_ + "later.mov", "later", kDay2));
  const std::string second = Organize(false);
  std::string refusal;
  EXPECT_EQ(LatestJournal(fs::RealFileSystem(), out_, &refusal), second);
  ASSERT_EQ(Undo(second), 0);
  EXPECT_EQ(LatestJournal(fs::RealFileSystem(), out_, &refusal), first);

  // A journal in use (by a run, or another undo) is left alone.
  {
    std::unique_ptr<AppendFile> held;
    ASSERT_EQ(fs::RealFileSystem().OpenLocked(testing::At(first), false, &held), 0);
    EXPECT_EQ(Undo(first), 2);
    EXPECT_EQ(refusal_, kJournalBusyText + first);
  }
  EXPECT_EQ(Undo(first, 2), 1);
  EXPECT_TRUE(end_.stopped);
  EXPECT_EQ(end_.undone, 2);
  EXPECT_EQ(ListFiles(src_).size(), 3u);  // later.mov and the two moved back
  EXPECT_EQ(Undo(first), 0);
  EXPECT_EQ(end_.undone, 4);
  EXPECT_EQ(ListFiles(src_).size(), 7u);
  EXPECT_TRUE(ListFiles(out_).empty());
  EXPECT_EQ(Undo(first), 2);
}

}  // namespace
}  // namespace nandell
