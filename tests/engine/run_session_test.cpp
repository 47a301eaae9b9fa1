// The run session as a window uses it, without a window: a test thread plays the window's
// thread (it pumps when woken or when a held-back message is due) and records what it hears.
#include "engine/run_session.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "platform/process.h"
#include "tests/support/gated_file_system.h"
#include "tests/support/temp_tree.h"
#include "tests/support/wait_until.h"

namespace nandell {
namespace {

using testing::ListFiles;
using testing::TempDir;
using testing::WriteFile;

constexpr time_t kJuly2019 = 1561975200;  // 2019-07-01, mid-day in any zone

// What a window hears, in order, and a loop that plays the window's thread.
class Window : public SessionListener {
 public:
  explicit Window(fs::FileSystem& disk = fs::RealFileSystem())
      : session(
            *this, [this] { Wake(); }, disk) {}

  void OnRunStarted(bool undo) override { events.push_back(undo ? "undo started" : "started"); }
  void OnFileDone(const SessionProgress& shown) override {
    events.push_back("file");
    last_message = shown.message;
    progress.push_back(shown);
    if (on_file) on_file();
  }
  void OnRunEnded(const RunEndEvent& event) override {
    events.push_back("ended");
    last_message = event.summary;
  }
  void OnUndoEnded(const UndoEndEvent& end, const std::string& refusal) override {
    events.push_back(refusal.empty() ? "undo ended" : "undo refused");
    last_message = refusal.empty() ? end.summary : refusal;
    undo_end = end;
  }
  void OnPlanReady(const RunPlan& plan) override {
    events.push_back("plan");
    EXPECT_EQ(&plan, &session.LastPlan());
  }
  void OnUndoAvailable(bool available) override {
    events.push_back(available ? "undo offered" : "undo withdrawn");
  }

  // Pumps as the window's thread does until `done` holds (false after 60 s).
  bool PumpUntil(const std::function<bool()>& done) {
    const auto give_up = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    int delay = -1;
    while (!done()) {
      std::unique_lock<std::mutex> lock(mutex_);
      const auto until = delay < 0 ? give_up
                                   : std::min(give_up, std::chrono::steady_clock::now() +
                                                           std::chrono::milliseconds(delay));
      woken_.wait_until(lock, until, [this] { return wakes_ > 0; });
      if (std::chrono::steady_clock::now() >= give_up) return done();
      wakes_ = 0;
      lock.unlock();
      delay = session.Pump();
    }
    return true;
  }
  bool RunToEnd(RunConfig config) {
    std::string refusal;
    const int ended = session.RunsEnded();
    if (!session.Organize(std::move(config), &refusal)) return false;
    return PumpUntil([&] { return session.RunsEnded() > ended; });
  }
  bool UndoToEnd() {
    const int ended = session.UndosEnded();
    session.Undo();
    return PumpUntil([&] { return session.UndosEnded() > ended; });
  }
  int Count(const std::string& event) const {
    return static_cast<int>(std::count(events.begin(), events.end(), event));
  }

  std::vector<std::string> events;
  std::vector<SessionProgress> progress;
  std::string last_message;
  UndoEndEvent undo_end;
  std::function<void()> on_file;  // called after each file message
  RunSession session;

 private:
  void Wake() {
    std::lock_guard<std::mutex> lock(mutex_);
    ++wakes_;
    woken_.notify_one();
  }
  std::mutex mutex_;
  std::condition_variable woken_;
  int wakes_ = 0;
};

// Holds every placement after the first until a window has shown a file: a run of a few files
// may otherwise end before the window first looks, and the window then shows its summary only.
class PlacingAfterAFileIsShown : public testing::ProxyFileSystem {
 public:
  int PlaceNoReplace(const fs::FileAt& from, const fs::FileAt& to) override {
    {
      std::unique_lock<std::mutex> lock(mutex_);
      changed_.wait(lock, [this] { return !placed_ || shown_; });
      placed_ = true;
    }
    return ProxyFileSystem::PlaceNoReplace(from, to);
  }
  void Shown() {
    std::lock_guard<std::mutex> lock(mutex_);
    shown_ = true;
    changed_.notify_all();
  }

 private:
  std::mutex mutex_;
  std::condition_variable changed_;
  bool placed_ = false;
  bool shown_ = false;
};

class RunSessionTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_FALSE(dir_.path().empty());
    SetProgramLauncher([this](const std::string& file, const std::string& parameters, bool) {
      std::lock_guard<std::mutex> lock(launch_mutex_);
      launches_.push_back(file + " " + parameters);
      return 0;
    });
  }
  void TearDown() override { SetProgramLauncher(nullptr); }

  // `count` files in nested folders, all last written on 2019-07-01.
  void MakePhotos(int count) {
    for (int i = 0; i < count; ++i) {
      ASSERT_TRUE(WriteFile(photos_ + "sub" + std::to_string(i % 7) + "/file" + std::to_string(i) +
                                (i % 2 ? ".jpg" : ".mov"),
                            std::string(64 + i % 100, static_cast<char>('a' + i % 26)), kJuly2019));
    }
    ASSERT_TRUE(testing::MakeFolders(out_));
  }
  RunConfig Config(bool move) const {
    RunConfig config;
    config.photo_folder = photos_;
    config.output_folder = out_;
    config.move = move;
    config.error_file_folder = dir_.path();
    return config;
  }

  TempDir dir_;
  const std::string photos_ = dir_ / "in/";
  const std::string out_ = dir_ / "out/";
  std::mutex launch_mutex_;
  std::vector<std::string> launches_;
};

TEST_F(RunSessionTest, RunReportsItsFilesThenItsEndAndOpensTheFailureList) {
  MakePhotos(12);
  PlacingAfterAFileIsShown disk;
  Window window(disk);
  window.on_file = [&] { disk.Shown(); };
  RunConfig config = Config(false);
  config.transfers_at_once = 1;  // the files placed in walk order, the first one reported first
  ASSERT_TRUE(window.RunToEnd(config));
  ASSERT_GE(window.events.size(), 3u);
  EXPECT_EQ(window.events.front(), "started");
  EXPECT_EQ(window.events[window.events.size() - 2], "ended");
  EXPECT_EQ(window.events.back(), "undo offered");
  EXPECT_EQ(window.last_message, FormatSummary({12, 0}));
  EXPECT_EQ(ListFiles(out_).size(), 12u);
  EXPECT_TRUE(launches_.empty());
  EXPECT_TRUE(window.session.CanUndo(out_));
  EXPECT_FALSE(window.session.CanUndo(photos_));

  // Again: every target is taken, every file fails, and the failure list is opened.
  ASSERT_TRUE(window.RunToEnd(config));
  EXPECT_EQ(window.last_message, FormatSummary({12, 12}));
  EXPECT_EQ(window.session.LastReport().error_file, dir_ / "errorFile.txt");
  ASSERT_EQ(launches_.size(), 1u);
  EXPECT_EQ(launches_[0], "notepad.exe " + dir_ / "errorFile.txt");
  // It placed nothing: the first run is no longer the one offered.
  EXPECT_EQ(window.events.back(), "undo withdrawn");
  EXPECT_FALSE(window.session.CanUndo(out_));
}

TEST_F(RunSessionTest, StartChecksRefuseWithTheTextForTheNotice) {
  MakePhotos(1);
  Window window;
  std::string refusal;
  RunConfig config = Config(false);
  config.output_folder = photos_ + "sub0/";
  EXPECT_FALSE(window.session.Organize(config, &refusal));
  EXPECT_EQ(refusal, Tr("照片目录和输出目录不能在是同一个目录内."));
  EXPECT_TRUE(window.events.empty());
}

TEST_F(RunSessionTest, EndOfARunIsDeliveredBeforeTheNextRunStarts) {
  // The first run has wound up while the window handled nothing; the second run is held
  // before its walk. The window hears the first end, then the second start, never mixed.
  MakePhotos(3);
  testing::GatedFileSystem disk;
  Window window(disk);
  std::string refusal;
  ASSERT_TRUE(window.session.Organize(Config(false), &refusal));
  ASSERT_TRUE(testing::WaitUntil([&] { return !window.session.IsWorkerActive(); }));
  disk.Hold(testing::GatedFileSystem::kList);
  RunConfig second = Config(false);
  second.output_folder = dir_ / "out2/";
  ASSERT_TRUE(testing::MakeFolders(second.output_folder));
  ASSERT_TRUE(window.session.Organize(second, &refusal)) << refusal;
  std::vector<std::string> heard = window.events;
  ASSERT_GE(heard.size(), 3u);
  EXPECT_EQ(heard.front(), "started");
  EXPECT_EQ(heard[heard.size() - 3], "ended");
  EXPECT_EQ(heard.back(), "started");
  EXPECT_EQ(window.session.RunsEnded(), 1);
  disk.Release();
  ASSERT_TRUE(window.PumpUntil([&] { return window.session.RunsEnded() == 2; }));
  EXPECT_EQ(window.last_message, FormatSummary({3, 0}));
}

TEST_F(RunSessionTest, FileMessagesAreCoalescedAndTheSummaryComesAtOnce) {
  const int total = 600;
  MakePhotos(total);
  Window window;
  const auto start = std::chrono::steady_clock::now();
  ASSERT_TRUE(window.RunToEnd(Config(false)));
  const auto elapsed = std::chrono::steady_clock::now() - start;
  // One message per refresh interval at most, plus the summary.
  EXPECT_GE(window.session.Refreshes(), 1);
  EXPECT_LE(window.session.Refreshes(), elapsed / RunSession::kRefreshInterval + 2);
  EXPECT_EQ(window.last_message, FormatSummary({total, 0}));
}

TEST_F(RunSessionTest, StopEndsTheRunAfterTheFileInHandAndStopAndWaitLosesNothing) {
  const int total = 1500;
  MakePhotos(total);
  for (const bool close : {false, true}) {
    SCOPED_TRACE(close ? "closing" : "stop");
    TempDir out;
    RunConfig config = Config(close);  // a closing window's run moves: nothing may be lost
    config.output_folder = out.path();
    Window window;
    std::string refusal;
    ASSERT_TRUE(window.session.Organize(config, &refusal));
    if (close) {
      window.session.StopAndWait();
      EXPECT_FALSE(window.session.IsWorkerActive());
    } else {
      window.session.Stop();
      EXPECT_FALSE(window.session.IsRunning());
      ASSERT_TRUE(window.PumpUntil([&] { return window.session.RunsEnded() == 1; }));
      EXPECT_TRUE(window.session.LastReport().stopped);
      EXPECT_EQ(window.last_message, FormatSummary(window.session.LastReport().counters));
    }
    // Every file is either in the output, whole, or still in the photo folder.
    const auto placed = ListFiles(out.path());
    const size_t moved = placed.size();
    for (const auto& [path, facts] : placed) {
      const std::string name = path.substr(path.rfind('/') + 1);
      ASSERT_NE(name[0], '.') << path;
      const int i = std::stoi(name.substr(4));
      EXPECT_EQ(testing::ReadFile(out.path() + path).size(), size_t(64 + i % 100)) << path;
    }
    EXPECT_LT(moved, size_t(total));
    EXPECT_EQ(ListFiles(photos_).size(), close ? total - moved : size_t(total));
    if (close) {
      // The moved files go back, so that the next case starts from the whole tree.
      ASSERT_TRUE(window.PumpUntil([&] { return window.session.RunsEnded() == 1; }));
      window.session.Undo();
      ASSERT_TRUE(window.PumpUntil([&] { return window.session.UndosEnded() == 1; }));
      ASSERT_EQ(ListFiles(photos_).size(), size_t(total));
    }
  }
}

TEST_F(RunSessionTest, UndoCountsThenPutsTheFilesBackAndIsOfferedAgainForWhatItKept) {
  MakePhotos(6);
  Window window;
  ASSERT_TRUE(window.RunToEnd(Config(true)));
  ASSERT_EQ(ListFiles(out_).size(), 6u);
  size_t count = 0;
  std::string refusal;
  ASSERT_TRUE(window.session.UndoCount(&count, &refusal)) << refusal;
  EXPECT_EQ(count, 6u);

  // A link where a source folder was keeps its file for an error: still offered after.
  const std::string sub = photos_ + "sub0";
  ASSERT_EQ(::rename(sub.c_str(), (sub + ".real").c_str()), 0);
  ASSERT_EQ(::symlink(dir_.path().c_str(), sub.c_str()), 0);
  ASSERT_TRUE(window.UndoToEnd());
  EXPECT_EQ(window.Count("undo started"), 1);
  EXPECT_EQ(window.undo_end.kept, 1);
  EXPECT_TRUE(window.session.CanUndo(out_));
  ASSERT_TRUE(window.session.UndoCount(&count, &refusal));
  EXPECT_EQ(count, 1u);

  ASSERT_EQ(::unlink(sub.c_str()), 0);
  ASSERT_EQ(::rename((sub + ".real").c_str(), sub.c_str()), 0);
  ASSERT_TRUE(window.UndoToEnd());
  EXPECT_EQ(window.undo_end.undone, 1);
  EXPECT_EQ(window.events.back(), "undo withdrawn");
  EXPECT_FALSE(window.session.CanUndo(out_));
  EXPECT_EQ(ListFiles(out_).size(), 0u);
  EXPECT_EQ(ListFiles(photos_).size(), 6u);

  // Undone already (from elsewhere): refused at once, nothing started.
  window.events.clear();
  window.session.UndoJournal(window.session.LastReport().journal);
  ASSERT_EQ(window.events.size(), 1u);
  EXPECT_EQ(window.events[0], "undo refused");
  EXPECT_EQ(window.last_message, Tr(kAlreadyUndoneText) + window.session.LastReport().journal);
}

TEST(SessionProgressTest, EstimateIsTheRestAtThePaceSinceTheFirstFile) {
  struct Case {
    std::vector<std::pair<int32_t, int>> events;  // files done, at milliseconds
    int32_t total;
    ProgressFigures figures;
    std::string text;
  };
  const Case cases[] = {
      {{{1, 0}}, 10, {1, 10, -1}, "1 / 10 个文件"},
      {{{1, 0}, {4, 900}}, 10, {4, 10, -1}, "4 / 10 个文件"},  // too soon to tell
      {{{1, 0}, {11, 1000}}, 21, {11, 21, 1}, "11 / 21 个文件, 剩余约 0:01"},
      {{{1, 5000}, {3, 7000}}, 63, {3, 63, 60}, "3 / 63 个文件, 剩余约 1:00"},
      {{{2, 0}, {3, 1500}}, 3, {3, 3, 0}, "3 / 3 个文件, 剩余约 0:00"},
      {{{4, 0}}, 3, {4, 4, -1}, "4 / 4 个文件"},  // a file added after the count
      {{{1, 0}, {1, 2000}}, 5, {1, 5, -1}, "1 / 5 个文件"},
      {{{0, 0}}, 0, {0, 0, -1}, ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    ProgressEstimator estimator;
    estimator.Update(99, 100, {});  // a run before, forgotten
    estimator.Restart();
    ProgressFigures figures;
    for (const auto& [done, ms] : c.events) {
      figures = estimator.Update(
          done, c.total, ProgressEstimator::Clock::time_point(std::chrono::milliseconds(ms)));
    }
    EXPECT_EQ(figures.done, c.figures.done);
    EXPECT_EQ(figures.total, c.figures.total);
    EXPECT_EQ(figures.remaining_secs, c.figures.remaining_secs);
    EXPECT_EQ(FormatProgress(figures), c.text);
  }
}

TEST_F(RunSessionTest, ProgressFiguresFollowTheEventsOfAHeldRunAndOfItsUndo) {
  MakePhotos(10);
  testing::GatedFileSystem disk;
  Window window(disk);
  RunConfig config = Config(false);
  config.transfers_at_once = 1;  // the worker places each file itself, in walk order
  disk.HoldFrom(testing::GatedFileSystem::kPlace, 4);
  std::string refusal;
  ASSERT_TRUE(window.session.Organize(config, &refusal));
  ASSERT_TRUE(window.PumpUntil(
      [&] { return !window.progress.empty() && window.progress.back().done == 3; }));
  const SessionProgress held = window.progress.back();
  EXPECT_EQ(held.total, 10);
  EXPECT_EQ(held.figures, FormatProgress({3, 10, held.remaining_secs}));
  EXPECT_NE(held.message.find("(3)"), std::string::npos) << held.message;
  disk.Release();
  ASSERT_TRUE(window.PumpUntil([&] { return window.session.RunsEnded() == 1; }));

  // The undo is held at its fourth copy's removal, so that its figures are shown before its
  // end (a summary that comes first replaces a file message still waiting to be shown).
  window.progress.clear();
  using Gate = testing::GatedFileSystem;
  disk.HoldFrom(Gate::kRemove, disk.Calls(Gate::kRemove) + 4);
  window.session.Undo();
  ASSERT_TRUE(window.PumpUntil(
      [&] { return !window.progress.empty() && window.progress.back().done == 3; }));
  disk.Release();
  ASSERT_TRUE(window.PumpUntil([&] { return window.session.UndosEnded() == 1; }));
  ASSERT_FALSE(window.progress.empty());
  int32_t done = 0;
  for (const SessionProgress& shown : window.progress) {
    EXPECT_TRUE(shown.undo);
    EXPECT_EQ(shown.total, 10);  // the files it takes back
    EXPECT_GT(shown.done, done);
    done = shown.done;
  }
}

TEST_F(RunSessionTest, FilesThatGoTogetherAreCountedOnceAsTheirGroupIsTaken) {
  for (const char* name : {"IMG_1.JPG", "IMG_1.CR2", "IMG_1.xmp", "IMG_2.jpg", "notes.txt"})
    ASSERT_TRUE(WriteFile(photos_ + "sub/" + name, name, kJuly2019));
  ASSERT_TRUE(testing::MakeFolders(out_));
  RunConfig config = Config(false);
  config.file_filters = ".jpg,.cr2";
  config.keep_together = true;
  config.transfers_at_once = 1;
  testing::GatedFileSystem disk;
  Window window(disk);
  disk.HoldFrom(testing::GatedFileSystem::kPlace, 4);  // the group's three, then IMG_2 waits
  std::string refusal;
  ASSERT_TRUE(window.session.Organize(config, &refusal));
  ASSERT_TRUE(window.PumpUntil([&] { return !window.progress.empty(); }));
  EXPECT_EQ(window.progress.back().done, 1);
  EXPECT_EQ(window.progress.back().total, 2);
  disk.Release();
  ASSERT_TRUE(window.PumpUntil([&] { return window.session.RunsEnded() == 1; }));
  EXPECT_EQ(window.session.LastReport().counters.ProcessedCount, 2);
}

TEST_F(RunSessionTest, PreviewKeepsEveryVerdictChangesNothingAndLeavesTheUndoOffered) {
  MakePhotos(5);
  Window window;
  ASSERT_TRUE(window.RunToEnd(Config(false)));
  ASSERT_TRUE(window.session.CanUndo(out_));
  const auto before = ListFiles(dir_.path());
  window.events.clear();
  std::string refusal;
  ASSERT_TRUE(window.session.Preview(Config(true), &refusal)) << refusal;
  ASSERT_TRUE(window.PumpUntil([&] { return window.Count("plan") == 1; }));
  EXPECT_EQ(window.events.back(), "plan");
  EXPECT_EQ(window.Count("undo withdrawn"), 0);
  EXPECT_EQ(ListFiles(dir_.path()), before);
  // Every target is taken: each file would fail, and the plan says so, ready to be run.
  const RunPlan& plan = window.session.LastPlan();
  EXPECT_TRUE(plan.end.dry_run);
  EXPECT_FALSE(plan.config.dry_run);
  EXPECT_TRUE(plan.config.move);
  ASSERT_EQ(plan.files.size(), 5u);
  for (const FileEvent& file : plan.files) EXPECT_EQ(file.outcome, FileOutcome::kFailed);
  EXPECT_EQ(plan.end.counters.FailedCount, 5);
  // The copies are still the run to undo.
  EXPECT_TRUE(window.session.CanUndo(out_));
  ASSERT_TRUE(window.UndoToEnd());
  EXPECT_EQ(window.undo_end.undone, 5);
}

}  // namespace
}  // namespace nandell
