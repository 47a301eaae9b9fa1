// A run killed at a random moment never loses a file and never leaves a partial one under
// its final name; a later run completes the job, or an undo brings the photo folder back
// exactly, with every file the run left in the output, and says how many. An undo killed at a
// random moment is finished by the next one, with the same result.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>

#include <chrono>
#include <functional>
#include <memory>
#include <random>
#include <thread>

#include "engine/file_transfer.h"
#include "engine/journal.h"
#include "tests/cli/cli_runner.h"
#include "tests/engine/test_tree.h"

namespace nandell {
namespace {

using testing::ListFiles;
using testing::LocalNoon;
using testing::MakeFolders;
using testing::ReadFile;
using testing::Snapshot;
using testing::TempDir;
using testing::WriteFile;

constexpr int kFiles = 24;
constexpr int kKills = 20;

// Source files by name (unique across folders), with their content. With `groups`, in groups of
// three that go together (KeepTogether): a still, its movie and its sidecar.
std::map<std::string, std::string> BuildTree(const std::string& src, std::mt19937* random,
                                             bool groups = false) {
  std::map<std::string, std::string> files;
  for (int i = 0; i < kFiles; ++i) {
    std::string name = "f" + std::to_string(i) + ".mov";
    if (groups)
      name = "g" + std::to_string(i / 3) + (i % 3 == 0 ? ".jpg" : i % 3 == 1 ? ".mov" : ".xmp");
    std::string content(150000 + (*random)() % 100000, '\0');
    for (auto& c : content) c = static_cast<char>((*random)() & 0xff);
    WriteFile(src + "d" + std::to_string((groups ? i / 3 : i) % 4) + "/" + name, content,
              LocalNoon(2015, 1 + i % 12, 1 + i % 28));
    files[name] = content;
  }
  return files;
}

// The name of a file as the walk knows it: a source that a move took (hid) counts as itself.
std::string BaseName(const std::string& path) {
  std::string name = path.substr(path.rfind('/') + 1);
  IsTakenName(name, &name);
  return name;
}

// The invariant after any interruption: every file's content is at its source or complete at
// its target, and every file under a final (not hidden) name in the output is complete.
void CheckInvariant(const std::map<std::string, std::string>& files, const std::string& src,
                    const std::string& out, const std::string& context) {
  std::map<std::string, std::string> at_source, at_target;
  for (const auto& [path, content] : ListFiles(src)) at_source[BaseName(path)] = content;
  for (const auto& [path, content] : ListFiles(out)) {
    const std::string name = BaseName(path);
    if (name[0] == '.') continue;  // a temporary file of the interrupted copy
    at_target[name] = content;
    auto original = files.find(name);
    ASSERT_NE(original, files.end()) << context << ": unexpected " << path;
    EXPECT_TRUE(content == original->second) << context << ": partial file " << path;
  }
  for (const auto& [name, content] : files) {
    bool kept = at_source.count(name) != 0 && at_source[name] == content;
    bool placed = at_target.count(name) != 0;
    EXPECT_TRUE(kept || placed) << context << ": lost " << name;
  }
}

// The run's journals in `out` (none when it was killed before it placed a file).
std::vector<Journal> Journals(const std::string& out) {
  std::vector<Journal> journals;
  for (const auto& [path, text] : ListFiles(out + ".nandell/journal/")) {
    Journal journal;
    if (ParseJournal(text, &journal)) journals.push_back(journal);
  }
  return journals;
}

// When a command does its work: from the end of the same command with nothing to do (the
// program's start and end) to the end of the whole command, each the shortest of three runs.
struct WorkSpan {
  double begin_ms = 0;
  double end_ms = 0;
};

// The arguments of a run of `dir` into `out`; with `groups`, one that keeps groups together.
std::vector<std::string> Organize(const std::string& dir, const std::string& out, bool move,
                                  bool groups = false) {
  std::vector<std::string> args = {"organize", dir, out, "--quiet"};
  if (move) args.push_back("--move");
  if (groups) args.push_back("--keep-together");
  return args;
}

// The milliseconds of the shortest of three runs of the command `make` readies and returns.
double ShortestRun(const std::function<std::vector<std::string>()>& make,
                   const std::vector<std::string>& env) {
  double shortest = 0;
  for (int i = 0; i < 3; ++i) {
    const std::vector<std::string> args = make();
    const auto begin = std::chrono::steady_clock::now();
    testing::RunCli(args, env, "/dev/null", "/dev/null");
    const double ms =
        std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - begin).count();
    if (i == 0 || ms < shortest) shortest = ms;
  }
  return shortest;
}

// The span of the command that `make` readies for a new photo folder (a tree, or empty; with
// `groups`, of groups) and a new output folder on `output_base`: from its end with an empty
// photo folder to its end with a tree.
WorkSpan MeasureSpan(
    const std::string& output_base, const std::vector<std::string>& env, std::mt19937* random,
    bool groups,
    const std::function<std::vector<std::string>(const std::string&, const std::string&, bool)>&
        make) {
  std::unique_ptr<TempDir> dir, out;
  const auto run = [&](bool files) {
    dir = std::make_unique<TempDir>();
    out = std::make_unique<TempDir>(output_base);
    if (files) BuildTree(dir->path(), random, groups);
    return make(dir->path(), out->path(), files);
  };
  WorkSpan span;
  span.begin_ms = ShortestRun([&] { return run(false); }, env);
  span.end_ms = ShortestRun([&] { return run(true); }, env);
  return span;
}

// Starts `args`, kills it with SIGKILL at a random moment of `span`; returns the delay.
int KillAtRandom(const std::vector<std::string>& args, const std::vector<std::string>& env,
                 const WorkSpan& span, std::mt19937* random) {
  const double begin = span.begin_ms < span.end_ms ? span.begin_ms : 0;
  const int delay_us = static_cast<int>(
      begin * 1000 + (*random)() % static_cast<unsigned>((span.end_ms - begin) * 1000 + 1));
  testing::CliProcess process = testing::StartCli(args, env, "/dev/null", "/dev/null");
  EXPECT_GT(process.pid, 0);
  std::this_thread::sleep_for(std::chrono::microseconds(delay_us));
  ::kill(process.pid, SIGKILL);
  testing::WaitCli(process);
  return delay_us;
}

// The files of a run in `out`: under their final names, or taken (hidden) by a move back; not
// a temporary file.
std::vector<std::string> Placed(const std::string& out) {
  std::vector<std::string> placed;
  for (const auto& [path, content] : ListFiles(out)) {
    if (BaseName(path)[0] != '.') placed.push_back(path);
  }
  return placed;
}

// The files of the groups recorded whole in the journals of `out` beyond one each: an undo
// counts a group once.
size_t GroupedAway(const std::string& out) {
  std::map<int, size_t> members;
  for (const Journal& journal : Journals(out)) {
    for (const JournalEntry& entry : journal.files) members[entry.group] += entry.group != 0;
  }
  size_t away = 0;
  for (const auto& [group, count] : members) away += count > 0 ? count - 1 : 0;
  return away;
}

// Undoes the runs into `out` (the latest one, as the command line does) and checks that the
// photo folder `dir` is exactly `before` again, that no file of the run is left in the output,
// and that the undo counted every file it took back: the `placed` ones, and with `in_hand` the
// one that a killed undo may have taken back without a line for it.
void UndoAndCheck(const std::string& dir, const std::string& out,
                  const std::map<std::string, std::string>& before, size_t placed, bool in_hand,
                  const std::vector<std::string>& env, const std::string& context) {
  TempDir log;
  const std::vector<Journal> journals = Journals(out);
  const int code = testing::RunCli({"undo", out}, env, log / "stdout", "/dev/null");
  EXPECT_EQ(code, journals.empty() ? 2 : 0) << context;
  if (!journals.empty()) {
    const std::string said = ReadFile(log / "stdout");
    const auto summary = [](size_t count) {
      return "撤销文件 " + std::to_string(count) + " 个, 保留 0 个\n";
    };
    const auto ends_with = [&](const std::string& end) {
      return said.size() >= end.size() &&
             said.compare(said.size() - end.size(), end.size(), end) == 0;
    };
    EXPECT_TRUE(ends_with(summary(placed)) || (in_hand && ends_with(summary(placed + 1))))
        << context << ": " << placed << " placed, the undo said " << said;
  }
  EXPECT_TRUE(Snapshot(dir) == before) << context << ": the photo folder is not as it was";
  EXPECT_EQ(Placed(out), std::vector<std::string>()) << context;
}

// Runs killed at random moments. Then either the same run again, which finishes the job, or
// an undo, which brings the photo folder back exactly; no file is ever lost.
void KillRuns(bool move, const std::string& output_base, bool undo, bool groups = false) {
  const unsigned start = std::random_device()();
  std::mt19937 random(start);
  TempDir cfg;
  const std::vector<std::string> env = {"NANDELL_CONFIG_DIR=" + cfg.path()};
  // The kill moments fall while the run handles files.
  const WorkSpan span = MeasureSpan(output_base, env, &random, groups,
                                    [&](const std::string& dir, const std::string& out, bool) {
                                      return Organize(dir, out, move, groups);
                                    });
  for (int round = 0; round < kKills; ++round) {
    TempDir dir;
    TempDir out(output_base);
    const auto files = BuildTree(dir.path(), &random, groups);
    const auto before = Snapshot(dir.path());
    const auto args = Organize(dir.path(), out.path(), move, groups);
    const int delay_us = KillAtRandom(args, env, span, &random);
    const std::string context = std::string(move ? "move" : "copy") + " round " +
                                std::to_string(round) + " after " + std::to_string(delay_us) +
                                "us (random start " + std::to_string(start) + ")";
    CheckInvariant(files, dir.path(), out.path(), context);
    if (undo) {
      UndoAndCheck(dir.path(), out.path(), before,
                   Placed(out.path()).size() - GroupedAway(out.path()), false, env, context);
      continue;
    }
    // Running again finishes the job: every file ends up complete at its target.
    int code = testing::RunCli(args, env, "/dev/null", "/dev/null");
    EXPECT_LE(code, 1) << context;
    std::map<std::string, std::string> at_target;
    for (const auto& [path, content] : ListFiles(out.path())) {
      if (BaseName(path)[0] != '.') at_target[BaseName(path)] = content;
    }
    EXPECT_EQ(at_target, files) << context;
    // And clears what the killed run left: its temporary files and the source it had taken.
    for (const std::string& root : {dir.path(), out.path()}) {
      for (const auto& [path, info] : testing::ListTree(root)) {
        EXPECT_EQ(path.find(".nandell-"), std::string::npos) << context << ": left " << path;
      }
    }
  }
}

// Where moves go to another file system: a tmpfs of the test's own when one can be mounted,
// else /dev/shm when it is one, else /tmp.
std::string OtherFileSystem(const testing::ScopedTmpfs& tmpfs) {
  if (!tmpfs.path().empty()) return tmpfs.path();
  struct stat a, b;
  bool other = ::stat("/tmp", &a) == 0 && ::stat("/dev/shm", &b) == 0 && a.st_dev != b.st_dev &&
               ::access("/dev/shm", W_OK) == 0;
  return other ? "/dev/shm" : "/tmp";
}

TEST(KillTest, CopyRunKilledAtRandomMomentsThenUndone) {
  KillRuns(false, "/tmp", true);
}

TEST(KillTest, CopyRunToAnotherFileSystemKilledAtRandomMomentsThenUndone) {
  testing::ScopedTmpfs tmpfs;
  KillRuns(false, OtherFileSystem(tmpfs), true);
}

TEST(KillTest, MoveRunKilledAtRandomMomentsThenUndone) {
  testing::ScopedTmpfs tmpfs;
  KillRuns(true, OtherFileSystem(tmpfs), true);
}

TEST(KillTest, MoveRunWithinOneFileSystemKilledAtRandomMomentsThenUndone) {
  KillRuns(true, "/tmp", true);
}

TEST(KillTest, CopyRunOfGroupsKilledAtRandomMomentsThenUndone) {
  KillRuns(false, "/tmp", true, true);
}

TEST(KillTest, MoveRunOfGroupsToAnotherFileSystemKilledAtRandomMomentsThenUndone) {
  testing::ScopedTmpfs tmpfs;
  KillRuns(true, OtherFileSystem(tmpfs), true, true);
}

// Undos of a run killed at random moments: the next undo finishes, and the photo folder is as
// it was before the run.
void KillUndos(bool move) {
  const unsigned start = std::random_device()();
  std::mt19937 random(start);
  testing::ScopedTmpfs tmpfs;
  TempDir cfg;
  const std::vector<std::string> env = {"NANDELL_CONFIG_DIR=" + cfg.path()};
  // The kill moments fall while the undo handles files.
  const WorkSpan span = MeasureSpan(
      OtherFileSystem(tmpfs), env, &random, false,
      [&](const std::string& dir, const std::string& out, bool files) {
        if (files) {
          EXPECT_EQ(testing::RunCli(Organize(dir, out, move), env, "/dev/null", "/dev/null"), 0);
        }
        return std::vector<std::string>{"undo", out};
      });
  for (int round = 1; round <= kKills; ++round) {
    TempDir dir;
    TempDir out(OtherFileSystem(tmpfs));
    const auto files = BuildTree(dir.path(), &random);
    const auto before = Snapshot(dir.path());
    ASSERT_EQ(
        testing::RunCli(Organize(dir.path(), out.path(), move), env, "/dev/null", "/dev/null"), 0);
    const int delay_us = KillAtRandom({"undo", out.path()}, env, span, &random);
    const std::string context = std::string(move ? "move" : "copy") + " round " +
                                std::to_string(round) + " after " + std::to_string(delay_us) +
                                "us (random start " + std::to_string(start) + ")";
    std::vector<Journal> journals = Journals(out.path());
    ASSERT_EQ(journals.size(), 1u);
    if (!FullyUndone(journals[0])) {
      UndoAndCheck(dir.path(), out.path(), before, Placed(out.path()).size(), true, env, context);
    } else {
      EXPECT_TRUE(Snapshot(dir.path()) == before) << context;
    }
    journals = Journals(out.path());
    ASSERT_EQ(journals.size(), 1u);
    EXPECT_TRUE(FullyUndone(journals[0])) << context;
  }
}

TEST(KillTest, UndoOfAMoveKilledAtRandomMomentsIsFinishedByTheNext) {
  KillUndos(true);
}

TEST(KillTest, UndoOfACopyKilledAtRandomMomentsIsFinishedByTheNext) {
  KillUndos(false);
}

TEST(KillTest, CopyRunKilledAtRandomMoments) {
  KillRuns(false, "/tmp", false);
}

TEST(KillTest, MoveRunKilledAtRandomMoments) {
  testing::ScopedTmpfs tmpfs;
  KillRuns(true, OtherFileSystem(tmpfs), false);
}

}  // namespace
}  // namespace nandell
