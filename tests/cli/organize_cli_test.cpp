// `nandell-cli organize` end to end: the real program on real folders.
#include <gtest/gtest.h>
#include <poll.h>
#include <sys/mount.h>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/sysmacros.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstring>
#include <fstream>
#include <map>

#include "tests/cli/cli_runner.h"
#include "tests/support/jpeg_builder.h"
#include "tests/support/media_builder.h"
#include "tests/support/temp_tree.h"

namespace nandell {
namespace {

using testing::ListFiles;
using testing::LocalNoon;
using testing::MakeFolders;
using testing::PathExists;
using testing::ReadFile;
using testing::RunCli;
using testing::TempDir;
using testing::WriteFile;

class OrganizeCliTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_FALSE(dir_.path().empty());
    src_ = dir_ / "src";
    out_ = dir_ / "out";
    cfg_ = dir_ / "cfg/";
    ASSERT_TRUE(MakeFolders(src_) && MakeFolders(out_) && MakeFolders(cfg_));
    // A viewer that leaves a mark if anything ever tries to open the failure report.
    bin_ = dir_ / "bin/";
    ASSERT_TRUE(WriteFile(bin_ + "xdg-open", "#!/bin/sh\ntouch " + dir_ / "opened" + "\n"));
    ASSERT_EQ(::chmod((bin_ + "xdg-open").c_str(), 0755), 0);
    env_ = {"NANDELL_CONFIG_DIR=" + cfg_, "PATH=" + bin_ + ":/usr/bin:/bin"};
  }

  int Run(std::vector<std::string> args) {
    return RunCli(args, env_, dir_ / "stdout", dir_ / "stderr");
  }
  std::string Out() { return ReadFile(dir_ / "stdout"); }
  std::string Err() { return ReadFile(dir_ / "stderr"); }

  TempDir dir_;
  std::string src_, out_, cfg_, bin_;
  std::vector<std::string> env_;
};

const time_t kDay1 = LocalNoon(2014, 12, 31);

TEST_F(OrganizeCliTest, RefusedStartsGoToStandardErrorWithExitTwo) {
  for (const char* dry : {"--quiet", "--dry-run"}) {
    EXPECT_EQ(Run({"organize", src_, dir_ / "missing", dry}), 2);
    EXPECT_EQ(Err(), "目录不存在:" + dir_ / "missing/\n");  // the separator was appended
    EXPECT_EQ(Out(), "");
  }
  EXPECT_EQ(Run({"organize", src_, src_ + "/"}), 2);
  EXPECT_EQ(Err(), "照片目录和输出目录不能是同一个目录.\n");
  EXPECT_EQ(Run({"organize", src_, src_ + "/inner"}), 2);
  EXPECT_EQ(Err(), "照片目录和输出目录不能在是同一个目录内.\n");
  EXPECT_EQ(Run({"organize", src_}), 2);
  EXPECT_EQ(Err(), "请先选择目录.\n");
  EXPECT_EQ(Run({"organize", src_, out_, "--bogus"}), 2);
  EXPECT_EQ(Run({"organize", src_, out_, "--filters"}), 2);
  EXPECT_TRUE(ListFiles(out_ + "/").empty());
}

// A photo of 2020-05-01 02:30 goes to 2020-04-30 with a day that starts at 04:00, and with a
// clock shifted by three hours back; names date files without metadata, a counter and a phone
// number do not.
TEST_F(OrganizeCliTest, TheNightsPhotosAndNamedFilesLandInTheirDay) {
  ASSERT_TRUE(
      WriteFile(src_ + "/night.jpg", test_support::MakeJpegWithDate("2020:05:01 02:30:00"), kDay1));
  ASSERT_TRUE(WriteFile(src_ + "/VID_20200501_023000.mp4", "movie", kDay1));
  ASSERT_TRUE(WriteFile(src_ + "/IMG_20200501_023000.heic", "photo", kDay1));
  ASSERT_TRUE(WriteFile(src_ + "/Screenshot 2020-05-01 at 02.30.00.png", "shot", kDay1));
  ASSERT_TRUE(WriteFile(src_ + "/IMG_2041.jpg", "counter", kDay1));
  ASSERT_TRUE(WriteFile(src_ + "/13812345678.png", "phone", kDay1));
  const std::map<std::string, std::string> night = {
      {"2020-04-30/night.jpg", ReadFile(src_ + "/night.jpg")},
      {"2020-04-30/VID_20200501_023000.mp4", "movie"},
      {"2020-04-30/IMG_20200501_023000.heic", "photo"},
      {"2020-04-30/Screenshot 2020-05-01 at 02.30.00.png", "shot"},
      {"2014-12-31/IMG_2041.jpg", "counter"},
      {"2014-12-31/13812345678.png", "phone"}};
  int run = 0;
  for (const std::vector<std::string>& clock :
       {std::vector<std::string>{"--day-starts-at", "04:00"},
        std::vector<std::string>{"--shift=-03:00"}}) {
    const std::string out = out_ + "/" + std::to_string(++run) + "/";
    ASSERT_TRUE(MakeFolders(out));
    std::vector<std::string> args = {"organize", src_, out, "--by-day", "--quiet", "--name-dates"};
    args.push_back("--filters=.jpg,.mp4,heic,.png");
    args.insert(args.end(), clock.begin(), clock.end());
    ASSERT_EQ(Run(args), 0) << Err();
    EXPECT_EQ(ListFiles(out), night) << clock[0];
  }
  // A dry run predicts the same day; without the options the designed day.
  ASSERT_EQ(Run({"organize", src_, out_, "--by-day", "--dry-run", "--shift", "-03:00"}), 0);
  EXPECT_NE(Out().find(out_ + "/2020-04-30/night.jpg"), std::string::npos) << Out();
  ASSERT_EQ(Run({"organize", src_, out_, "--by-day", "--dry-run"}), 0);
  EXPECT_NE(Out().find(out_ + "/2020-05-01/night.jpg"), std::string::npos) << Out();
  EXPECT_NE(Out().find(out_ + "/2014-12-31/VID_20200501_023000.mp4"), std::string::npos);
}

TEST_F(OrganizeCliTest, CopiesThenFailsTheSecondTimeWithAReportButNoEditor) {
  ASSERT_TRUE(WriteFile(src_ + "/clip.mov", "movie", kDay1));
  const std::string target = out_ + "/2014年/2014-12-31/clip.mov";
  ASSERT_EQ(Run({"organize", src_, out_}), 0) << Err();
  EXPECT_EQ(Out(), "复制文件(1): " + src_ + "/clip.mov\n\n复制到: " + target +
                       "\n\n\n整理文件 1 个, 失败 0 个\n");
  EXPECT_EQ(ReadFile(target), "movie");
  EXPECT_FALSE(PathExists(cfg_ + "errorFile.txt"));

  // A program the run started and left running becomes this test's child when the run ends:
  // once every one has ended, none can still open the report.
  ASSERT_EQ(::prctl(PR_SET_CHILD_SUBREAPER, 1), 0);
  ASSERT_EQ(Run({"organize", src_, out_}), 1);
  EXPECT_TRUE(testing::WaitUntil([] { return ::waitpid(-1, nullptr, WNOHANG) < 0; }));
  ::prctl(PR_SET_CHILD_SUBREAPER, 0);
  const std::string line = "复制文件失败: " + src_ + "/clip.mov -> " + target + " (File exists)";
  EXPECT_EQ(Out(), line + "\n\n\n整理文件 1 个, 失败 1 个\n");
  EXPECT_EQ(ReadFile(cfg_ + "errorFile.txt"), line + "\r\n\r\n\r\n整理文件 1 个, 失败 1 个");
  EXPECT_FALSE(PathExists(dir_ / "opened"));
  EXPECT_FALSE(PathExists(cfg_ + "Config.ini"));  // never written
}

// The program's folder cannot be written (as when installed): the failure report goes to the
// per-user folder, which is made, private, the first time a report needs it.
TEST_F(OrganizeCliTest, UnprivilegedUserGetsTheReportInANewPerUserFolder) {
  if (::geteuid() != 0) GTEST_SKIP() << "needs root to switch to an unprivileged user";
  const std::string home = dir_ / "home";
  const std::string target = out_ + "/2014年/2014-12-31/clip.mov";
  ASSERT_TRUE(MakeFolders(home) && WriteFile(src_ + "/clip.mov", "movie", kDay1) &&
              WriteFile(target, "older", kDay1));
  ASSERT_EQ(::chmod(dir_.path().c_str(), 0755), 0);
  ASSERT_EQ(::chown(home.c_str(), 65534, 65534), 0);
  const std::vector<std::string> env = {"HOME=" + home,
                                        "XDG_CONFIG_HOME=", "NANDELL_CONFIG_DIR=", env_[1]};
  ASSERT_EQ(RunCli({"organize", src_, out_}, env, dir_ / "stdout", dir_ / "stderr", 65534), 1)
      << Err();
  const std::string folder = home + "/.config/nandell";
  EXPECT_EQ(ReadFile(folder + "/errorFile.txt"),
            "复制文件失败: " + src_ + "/clip.mov -> " + target +
                " (File exists)\r\n\r\n\r\n整理文件 1 个, 失败 1 个");
  EXPECT_EQ(Err(), "errorFile.txt: " + folder + "/errorFile.txt\n");
  struct stat st;
  ASSERT_EQ(::stat(folder.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 07777, 0700u);
  EXPECT_EQ(st.st_uid, 65534u);
}

TEST_F(OrganizeCliTest, AReportThatCannotBeWrittenIsSaidOnStandardError) {
  ASSERT_TRUE(WriteFile(src_ + "/clip.mov", "movie", kDay1));
  ASSERT_TRUE(WriteFile(out_ + "/2014年/2014-12-31/clip.mov", "older", kDay1));
  const std::string missing = dir_ / "missing/";
  EXPECT_EQ(RunCli({"organize", src_, out_}, {"NANDELL_CONFIG_DIR=" + missing, env_[1]},
                   dir_ / "stdout", dir_ / "stderr"),
            1);
  EXPECT_EQ(Err(), "nandell-cli organize: cannot write " + missing +
                       "errorFile.txt: No such file or directory\n");
}

TEST_F(OrganizeCliTest, ReaderNoticesGoToStandardError) {
  ASSERT_TRUE(WriteFile(src_ + "/eoi.jpg", std::string("\xff\xd8\xff\xd9\x00\x02", 6), kDay1));
  ASSERT_EQ(Run({"organize", src_, out_}), 0);
  EXPECT_EQ(Out().find("No image"), std::string::npos) << Out();
  EXPECT_EQ(Err(), "No image in jpeg!\n");
}

// The processes that `tracer` (strace) started: its children.
std::vector<pid_t> TracedBy(pid_t tracer) {
  std::ifstream children("/proc/" + std::to_string(tracer) + "/task/" + std::to_string(tracer) +
                         "/children");
  std::vector<pid_t> pids;
  for (pid_t pid; children >> pid;) pids.push_back(pid);
  return pids;
}

// Two runs that end together: errorFile.txt is the whole report of one of them, never a mix.
// The first run is held by strace just after it truncated the report (the old writer) or just
// before it renames its new report into place (a temporary file), while the second one runs.
TEST_F(OrganizeCliTest, ReportsOfTwoRunsAtOnceNeverMix) {
  if (std::system("strace -o /dev/null true > /dev/null 2>&1") != 0) {
    GTEST_SKIP() << "strace cannot trace here";
  }
  const std::string one = dir_ / "one";
  const std::string many = dir_ / "many";
  ASSERT_TRUE(WriteFile(one + "/x.mov", "x", kDay1) &&
              WriteFile(out_ + "/2014年/2014-12-31/x.mov", ""));
  for (int i = 0; i < 20; ++i) {
    const std::string name = "/long-name-of-a-failed-file-" + std::to_string(i) + ".mov";
    ASSERT_TRUE(WriteFile(many + name, "y", kDay1) &&
                WriteFile(out_ + "/2014年/2014-12-31" + name, ""));
  }
  const std::string report = cfg_ + "errorFile.txt";
  std::vector<std::string> traced = {"-f",
                                     "-o",
                                     "/dev/null",
                                     "-e",
                                     "inject=ftruncate:delay_exit=2000000",
                                     "-e",
                                     "inject=rename:delay_enter=2000000",
                                     NANDELL_CLI_PATH,
                                     "organize",
                                     one,
                                     out_,
                                     "--quiet"};
  const pid_t first = ::fork();
  if (first == 0) {
    for (const std::string& entry : env_) ::putenv(const_cast<char*>(entry.c_str()));
    // The leak checker of a sanitized build cannot run under a tracer and would fail the run.
    ::setenv("ASAN_OPTIONS", "detect_leaks=0", 1);
    std::vector<char*> argv = {const_cast<char*>("strace")};
    for (auto& arg : traced) argv.push_back(arg.data());
    argv.push_back(nullptr);
    ::execvp("strace", argv.data());
    ::_exit(127);
  }
  // The first run has reached its report (the file, or its temporary file, exists) and is
  // held in the truncation or the rename.
  EXPECT_TRUE(testing::WaitUntil([&] { return PathExists(report) || !ListFiles(cfg_).empty(); }));
  EXPECT_TRUE(testing::WaitUntil([&] {
    for (const pid_t traced : TracedBy(first)) {
      if (testing::InSystemCall(traced, {SYS_ftruncate, SYS_rename})) return true;
    }
    return false;
  }));
  EXPECT_EQ(Run({"organize", many, out_, "--quiet"}), 1);
  const std::string second = ReadFile(report);
  int status = 0;
  ASSERT_EQ(::waitpid(first, &status, 0), first);
  EXPECT_EQ(WEXITSTATUS(status), 1);
  const std::string last = ReadFile(report);
  const std::string first_report =
      "复制文件失败: " + one + "/x.mov -> " + out_ +
      "/2014年/2014-12-31/x.mov (File exists)\r\n\r\n\r\n整理文件 1 个, 失败 1 个";
  EXPECT_TRUE(last == first_report || last == second) << last;
  EXPECT_NE(second.find("\r\n\r\n整理文件 20 个, 失败 20 个"), std::string::npos) << second;
}

TEST_F(OrganizeCliTest, OptionsOverrideTheSettingsWhichStayUnwritten) {
  const std::string config = "[VovirurOrarudar]\nFileFilters=.png\nIsClassifyByYear=0\n";
  ASSERT_TRUE(WriteFile(cfg_ + "Config.ini", config, 1300000000));
  ASSERT_TRUE(WriteFile(src_ + "/a.png", "png", kDay1));
  ASSERT_TRUE(WriteFile(src_ + "/b.mov", "mov", kDay1));
  ASSERT_EQ(Run({"organize", src_, out_, "--quiet"}), 0);
  EXPECT_EQ(Out(), "\n\n整理文件 1 个, 失败 0 个\n");
  EXPECT_EQ(ReadFile(out_ + "/2014-12-31/a.png"), "png");

  ASSERT_EQ(Run({"organize", src_ + "/", out_ + "/", "--filters", ".mov", "--by-year", "--move"}),
            0);
  EXPECT_EQ(Out(), "移动文件(1): " + src_ + "/b.mov\n\n移动到: " + out_ +
                       "/2014年/2014-12-31/b.mov\n\n\n整理文件 1 个, 失败 0 个\n");
  EXPECT_FALSE(PathExists(src_ + "/b.mov"));
  EXPECT_EQ(ReadFile(src_ + "/a.png"), "png");

  ASSERT_TRUE(WriteFile(src_ + "/c.png", "c", kDay1));
  ASSERT_EQ(Run({"organize", src_, out_, "--filters=.png", "--by-day", "--quiet"}), 1);
  EXPECT_EQ(ReadFile(out_ + "/2014-12-31/c.png"), "c");

  EXPECT_EQ(ReadFile(cfg_ + "Config.ini"), config);
  struct stat st;
  ASSERT_EQ(::stat((cfg_ + "Config.ini").c_str(), &st), 0);
  EXPECT_EQ(st.st_mtime, 1300000000);
}

// Duplicates skipped and renamed from the command line, the run in the history, and its undo
// with the exit codes of each outcome.
TEST_F(OrganizeCliTest, DuplicatesHistoryAndUndo) {
  const std::string day = out_ + "/2014年/2014-12-31/";
  ASSERT_TRUE(WriteFile(src_ + "/same.mov", "same", kDay1));
  ASSERT_TRUE(WriteFile(src_ + "/other.mov", "mine", kDay1));
  ASSERT_TRUE(WriteFile(day + "same.mov", "same"));
  ASSERT_TRUE(WriteFile(day + "other.mov", "theirs"));
  ASSERT_EQ(Run({"history", out_}), 0);
  EXPECT_EQ(Out(), "没有整理记录: " + out_ + "/\n");
  ASSERT_EQ(Run({"organize", src_, out_, "--skip-identical", "--rename-conflicts"}), 0) << Err();
  EXPECT_NE(Out().find("相同文件已存在("), std::string::npos);
  EXPECT_NE(Out().find("): " + src_ + "/same.mov\n\n跳过: " + day + "same.mov\n"),
            std::string::npos);
  EXPECT_NE(Out().find("复制到: " + day + "other_1.mov\n"), std::string::npos);
  const std::string summary = "\n\n整理文件 2 个, 失败 0 个, 跳过 1 个\n";
  EXPECT_EQ(Out().substr(Out().size() - summary.size()), summary);
  EXPECT_EQ(ReadFile(day + "other_1.mov"), "mine");

  const auto journals = ListFiles(out_ + "/.nandell/journal/");
  ASSERT_EQ(journals.size(), 1u);
  const std::string journal = out_ + "/.nandell/journal/" + journals.begin()->first;
  ASSERT_EQ(Run({"history", out_}), 0);
  const std::string history = Out();
  EXPECT_NE(history.find("\t复制\t整理文件 2 个, 失败 0 个, 跳过 1 个\t未撤销\t" + journal + "\n"),
            std::string::npos)
      << history;
  ASSERT_EQ(Run({"undo", out_}), 0) << Err();
  EXPECT_EQ(Out(), "删除副本(1): " + day + "other_1.mov\n\n原文件: " + src_ +
                       "/other.mov\n\n\n撤销文件 1 个, 保留 0 个\n");
  EXPECT_FALSE(PathExists(day + "other_1.mov"));
  EXPECT_EQ(ReadFile(day + "same.mov"), "same");
  EXPECT_EQ(ReadFile(src_ + "/same.mov"), "same");

  ASSERT_EQ(Run({"undo", out_}), 2);
  EXPECT_EQ(Err(), "没有可撤销的整理: " + out_ + "/\n");
  ASSERT_EQ(Run({"undo", journal}), 2);
  EXPECT_EQ(Err(), "这次整理已撤销: " + journal + "\n");
  ASSERT_EQ(Run({"undo", dir_ / "missing"}), 2);
  EXPECT_EQ(Err(), "目录不存在:" + dir_ / "missing\n");
  ASSERT_EQ(Run({"history", out_}), 0);
  EXPECT_NE(Out().find("\t已撤销\t"), std::string::npos);
}

// Only a regular file is read as a journal, and at once: a device or a pipe named as one is
// refused, and the listing of the journals never opens one.
TEST_F(OrganizeCliTest, DevicesAndPipesAreNeverReadAsJournals) {
  ASSERT_TRUE(WriteFile(src_ + "/clip.mov", "movie", kDay1));
  ASSERT_EQ(Run({"organize", src_, out_}), 0) << Err();
  const std::string journals = out_ + "/.nandell/journal/";
  ASSERT_EQ(::mkfifo((journals + "pipe.tsv").c_str(), 0600), 0);
  ASSERT_EQ(::mknod((journals + "zero.tsv").c_str(), S_IFCHR | 0600, makedev(1, 5)), 0);
  ASSERT_EQ(::mkfifo((dir_ / "pipe").c_str(), 0600), 0);
  const struct {
    std::vector<std::string> args;
    int code;
    std::string err;
  } cases[] = {
      {{"undo", "/dev/zero"}, 2, "不是整理记录: /dev/zero\n"},
      {{"undo", dir_ / "pipe"}, 2, "不是整理记录: " + dir_ / "pipe\n"},
      {{"undo", journals + "zero.tsv"},
       2,
       "不是整理记录: " + journals + "zero.tsv (不是普通文件)\n"},
      {{"undo", journals + "pipe.tsv"},
       2,
       "不是整理记录: " + journals + "pipe.tsv (不是普通文件)\n"},
      {{"history", out_}, 0, ""},
      {{"undo", out_}, 0, ""},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(testing::RunCliWithin(20, c.args, env_, dir_ / "stdout", dir_ / "stderr"), c.code)
        << c.args[1];
    EXPECT_EQ(Err(), c.err);
  }
  EXPECT_FALSE(PathExists(out_ + "/2014年/2014-12-31/clip.mov"));
}

TEST_F(OrganizeCliTest, DryRunPrintsWhatTheRunThenDoesAndChangesNothing) {
  ASSERT_TRUE(WriteFile(src_ + "/a/IMG.mov", "first", kDay1));
  ASSERT_TRUE(WriteFile(src_ + "/b/IMG.mov", "second", kDay1));
  ASSERT_TRUE(WriteFile(src_ + "/taken.mov", "mine", kDay1));
  ASSERT_TRUE(WriteFile(out_ + "/2014年/2014-12-31/taken.mov", "theirs"));
  ASSERT_TRUE(WriteFile(src_ + "/c/new.mov", "new", kDay1));
  auto tree = [this] {
    return std::vector{testing::ListTree(src_ + "/"), testing::ListTree(out_ + "/"),
                       testing::ListTree(cfg_)};
  };
  const auto before = tree();
  ASSERT_EQ(Run({"organize", src_, out_, "--move", "--dry-run"}), 1);
  const std::string dry = Out();
  EXPECT_EQ(tree(), before);
  const std::string last = "(预演: 未改动任何文件)\n";
  ASSERT_GT(dry.size(), last.size());
  EXPECT_EQ(dry.substr(dry.size() - last.size()), last);
  EXPECT_NE(dry.find("\n\n\n整理文件 4 个, 失败 2 个\n(预演"), std::string::npos) << dry;
  EXPECT_EQ(Err(), "");

  ASSERT_EQ(Run({"organize", src_, out_, "--move"}), 1);
  EXPECT_EQ(Out() + last, dry);
  EXPECT_EQ(ListFiles(out_ + "/").size(), 3u);
  EXPECT_TRUE(PathExists(cfg_ + "errorFile.txt"));

  // Nothing taken: nothing to predict, exit 0.
  ASSERT_EQ(Run({"organize", src_, out_, "--filters", ".png", "--dry-run"}), 0);
  EXPECT_EQ(Out(), "\n\n整理文件 0 个, 失败 0 个\n" + last);
}

// The dry run and then the run on the same tree print the same lines and exit alike, where the
// run recovers a source that a killed move left hidden and where it fails for want of rights:
// a folder it cannot make or write to, a source it cannot read, a folder it cannot move out of.
TEST(OrganizeDryRunTest, PredictsEveryLineAndTheExitCodeOfTheRun) {
  // Rows with modes run as an unprivileged user, for whom the modes count.
  const struct {
    const char* name;
    std::map<std::string, std::string> files;  // below the test's folder; "out/" made
    std::map<std::string, mode_t> modes;       // then, every folder being open to all
    // "copy", "move"; "move far" to another file system; "copy read-only" to one mounted so
    const char* how;
    const char* summary;
  } rows[] = {
      {"hidden source put back under a recovery name",
       {{"src/left.mov", "new"}, {"src/.nandell-move.left.mov", "old"}},
       {},
       "copy",
       "整理文件 2 个, 失败 0 个"},
      {"hidden source put back under the name that a moved file left",
       {{"src/left.mov", "new"}, {"src/.nandell-move.left.mov", "old"}},
       {},
       "move",
       "整理文件 2 个, 失败 1 个"},
      {"output folder read-only",
       {{"src/a.mov", "a"}},
       {{"out", 0555}},
       "copy",
       "整理文件 1 个, 失败 1 个"},
      {"year folder read-only, day folder to be made",
       {{"src/a.mov", "a"}, {"out/2014年/other", "o"}},
       {{"out/2014年", 0555}},
       "move",
       "整理文件 1 个, 失败 1 个"},
      {"day folder read-only",
       {{"src/a.mov", "a"}, {"out/2014年/2014-12-31/other", "o"}},
       {{"out/2014年/2014-12-31", 0555}},
       "copy",
       "整理文件 1 个, 失败 1 个"},
      {"unreadable source copied",
       {{"src/ok.mov", "o"}, {"src/secret.mov", "s"}},
       {{"src/secret.mov", 0}},
       "copy",
       "整理文件 2 个, 失败 1 个"},
      {"unreadable source renamed on one file system",
       {{"src/secret.mov", "s"}},
       {{"src/secret.mov", 0}},
       "move",
       "整理文件 1 个, 失败 0 个"},
      {"unreadable source moved to another file system",
       {{"src/secret.mov", "s"}},
       {{"src/secret.mov", 0}},
       "move far",
       "整理文件 1 个, 失败 1 个"},
      {"hidden source with a new file of its name, moved to another file system",
       {{"src/left.mov", "new"}, {"src/.nandell-move.left.mov", "old"}},
       {},
       "move far",
       "整理文件 2 个, 失败 1 个"},
      {"output on a read-only file system",
       {{"src/a.mov", "a"}, {"out/2014年/other", "o"}},
       {},
       "copy read-only",
       "整理文件 1 个, 失败 1 个"},
      {"journal folder that cannot be made",
       {{"src/a.mov", "a"}, {"src/b.mov", "b"}, {"out/2014年/2014-12-31/other", "o"}},
       {{"out", 0555}},
       "move",
       "整理文件 2 个, 失败 2 个"},
      {"source folder that cannot be changed",
       {{"src/fixed/a.mov", "a"}},
       {{"src/fixed", 0555}},
       "move",
       "整理文件 1 个, 失败 1 个"},
  };
  testing::ScopedTmpfs read_only;
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    const int uid = row.modes.empty() ? -1 : 65534;
    if (uid >= 0 && ::geteuid() != 0) continue;  // needs root to switch users
    TempDir dir;
    TempDir other(testing::kOtherFileSystem);
    const std::string src = dir / "src";
    const std::string how = row.how;
    if (how == "copy read-only" && read_only.path().empty()) continue;  // cannot mount
    const std::string out = how == "move far"         ? other.path() + "out"
                            : how == "copy read-only" ? read_only.path() + "out"
                                                      : dir / "out";
    const auto at = [&](const std::string& path) {
      return path.rfind("out", 0) == 0 ? out + path.substr(3) : dir / path;
    };
    ASSERT_TRUE(MakeFolders(out) && MakeFolders(dir / "cfg"));
    for (const auto& [path, content] : row.files) ASSERT_TRUE(WriteFile(at(path), content, kDay1));
    for (const std::string& folder : {dir.path(), src + "/", out + "/", dir / "cfg/"}) {
      testing::WalkTree(folder, [&](const std::string& rel, const testing::TreeEntry& entry) {
        if (entry.kind == testing::TreeEntry::kFolder) ::chmod((folder + rel).c_str(), 0777);
      });
      ASSERT_EQ(::chmod(folder.c_str(), 0777), 0);
    }
    ASSERT_EQ(::chmod(other.path().c_str(), 0777), 0);
    for (const auto& [path, mode] : row.modes) ASSERT_EQ(::chmod(at(path).c_str(), mode), 0);
    if (how == "copy read-only") {
      ASSERT_EQ(
          ::mount(nullptr, read_only.path().c_str(), nullptr, MS_REMOUNT | MS_RDONLY, nullptr), 0);
    }
    std::vector<std::string> args = {"organize", src, out};
    if (how.rfind("move", 0) == 0) args.push_back("--move");
    const std::vector<std::string> env = {"NANDELL_CONFIG_DIR=" + dir / "cfg/"};
    const auto tree = [&] {
      return std::vector{testing::ListTree(src + "/"), testing::ListTree(out + "/")};
    };
    const auto before = tree();
    args.push_back("--dry-run");
    const int dry_code = RunCli(args, env, dir / "dry", dir / "dry-err", uid);
    EXPECT_EQ(tree(), before) << "the dry run changed something";
    args.pop_back();
    const int code = RunCli(args, env, dir / "run", dir / "run-err", uid);
    EXPECT_EQ(dry_code, code);
    EXPECT_EQ(ReadFile(dir / "dry"), ReadFile(dir / "run") + "(预演: 未改动任何文件)\n");
    EXPECT_NE(ReadFile(dir / "run").find("\n\n\n" + std::string(row.summary) + "\n"),
              std::string::npos)
        << ReadFile(dir / "run");
  }
}

// The language is Config.ini's Language or --lang (before or after the command, the later
// one winning), never the system locale: under every environment below, however its locale
// variables are set or unset (the locales named are not installed, or installed only as C),
// the run speaks exactly the language chosen. Folder names stay YYYY年.
TEST_F(OrganizeCliTest, LanguageIsTheChoiceNeverTheLocale) {
  ASSERT_TRUE(WriteFile(src_ + "/clip.mov", "movie", kDay1));
  const std::string target = out_ + "/2014年/2014-12-31/clip.mov";
  const std::string chinese = "复制文件(1): " + src_ + "/clip.mov\n\n复制到: " + target +
                              "\n\n\n整理文件 1 个, 失败 0 个\n(预演: 未改动任何文件)\n";
  const std::string english =
      "Copied file (1): " + src_ + "/clip.mov\n\nCopied to: " + target +
      "\n\n\nOrganized 1 files, 0 failed\n(Dry run: no files were changed)\n";
  const std::vector<std::vector<std::string>> environments = {
      {"-LANG", "-LANGUAGE", "-LC_ALL", "-LC_MESSAGES"},
      {"LANG=de_DE.UTF-8", "-LANGUAGE", "-LC_ALL", "-LC_MESSAGES"},
      {"LC_ALL=C", "LANGUAGE=fr"},
      {"LANG=C.UTF-8", "LANGUAGE=en", "-LC_ALL", "-LC_MESSAGES"},
      {"LC_MESSAGES=zh_CN.UTF-8", "LANGUAGE=zh_CN:en", "-LC_ALL"},
  };
  struct Choice {
    const char* name;
    const char* config;  // Language in Config.ini
    std::vector<std::string> before, after;
    bool english;
  };
  const Choice choices[] = {
      {"nothing chosen", "", {}, {}, false},
      {"--lang before the command", "", {"--lang", "en"}, {}, true},
      {"--lang= after the command", "", {}, {"--lang=en"}, true},
      {"Config.ini", "en", {}, {}, true},
      {"after wins over before and Config.ini", "en", {"--lang", "en"}, {"--lang", "zh_CN"}, false},
  };
  for (const auto& environment : environments) {
    for (const Choice& choice : choices) {
      ASSERT_TRUE(WriteFile(cfg_ + "Config.ini",
                            std::string("[VovirurOrarudar]\nLanguage=") + choice.config + "\n"));
      std::vector<std::string> args = choice.before;
      for (const std::string& arg : {std::string("organize"), src_, out_, std::string("--dry-run")})
        args.push_back(arg);
      args.insert(args.end(), choice.after.begin(), choice.after.end());
      std::vector<std::string> env = env_;
      env.insert(env.end(), environment.begin(), environment.end());
      EXPECT_EQ(RunCli(args, env, dir_ / "stdout", dir_ / "stderr"), 0) << Err();
      EXPECT_EQ(Out(), choice.english ? english : chinese)
          << choice.name << " under " << ::testing::PrintToString(environment);
    }
  }
  // The refusals and errorFile.txt speak it too.
  EXPECT_EQ(Run({"--lang", "en", "organize", src_}), 2);
  EXPECT_EQ(Err(), "Please choose the folders first.\n");
  ASSERT_TRUE(WriteFile(target, "theirs"));
  EXPECT_EQ(Run({"organize", src_, out_, "--lang", "en", "--quiet"}), 1);
  EXPECT_EQ(ReadFile(cfg_ + "errorFile.txt"), "Could not copy: " + src_ + "/clip.mov -> " + target +
                                                  " (File exists)\r\n\r\n\r\nOrganized 1 files, "
                                                  "1 failed");
}

TEST_F(OrganizeCliTest, VersionComesFromTheProject) {
  EXPECT_EQ(Run({"--version"}), 0);
  EXPECT_EQ(Out(), "nandell-cli 1.1\n");
}

// Ctrl-C, a service stop (SIGTERM) and a closed terminal (SIGHUP) stop the run between files:
// it summarizes what it did, says that it was stopped and exits 3; nothing is left half done.
TEST_F(OrganizeCliTest, StopSignalsEndTheRunBetweenFilesAndStillSummarize) {
  const int kFiles = 1000;
  for (int i = 0; i < kFiles; ++i) {
    ASSERT_TRUE(WriteFile(src_ + "/d" + std::to_string(i % 10) + "/f" + std::to_string(i) + ".mov",
                          "x", kDay1));
  }
  for (const auto& [signal, dry] : std::vector<std::pair<int, bool>>{
           {SIGINT, true}, {SIGINT, false}, {SIGTERM, false}, {SIGHUP, false}}) {
    SCOPED_TRACE(std::string(strsignal(signal)) + (dry ? " dry run" : " run"));
    testing::RemoveTree(out_);
    ASSERT_TRUE(MakeFolders(out_));
    std::vector<std::string> args = {"organize", src_, out_};
    if (dry) args.push_back("--dry-run");
    // Standard output is a pipe read only after the signal: the run blocks once it is full.
    testing::CliProcess process = testing::StartCli(args, env_, "", dir_ / "stderr");
    ASSERT_GT(process.pid, 0);
    struct pollfd p = {process.stdout_pipe, POLLIN, 0};
    ASSERT_EQ(::poll(&p, 1, 10000), 1);
    ASSERT_TRUE(testing::WaitUntil([&] {
      return testing::InSystemCall(process.pid, {SYS_write, SYS_writev}, STDOUT_FILENO);
    }));
    // The run is stopped before the pipe is read: reading lets the blocked run go on.
    ASSERT_TRUE(testing::SignalAndWaitTaken(process, signal));
    std::string output;
    char buffer[65536];
    for (;;) {
      ssize_t n = ::read(process.stdout_pipe, buffer, sizeof buffer);
      if (n <= 0) break;
      output.append(buffer, static_cast<size_t>(n));
    }
    ::close(process.stdout_pipe);
    EXPECT_EQ(testing::WaitCli(process), 3);
    EXPECT_EQ(Err(), "整理已停止, 其余文件未整理.\n");
    const std::string marker = "\n\n\n整理文件 ";
    size_t at = output.rfind(marker);
    ASSERT_NE(at, std::string::npos)
        << output.substr(output.size() > 300 ? output.size() - 300 : 0);
    int processed = std::atoi(output.c_str() + at + marker.size());
    EXPECT_GT(processed, 0);
    EXPECT_LT(processed, kFiles);
    const std::string tail =
        std::string(" 个, 失败 0 个\n") + (dry ? "(预演: 未改动任何文件)\n" : "");
    ASSERT_GE(output.size(), tail.size());
    EXPECT_EQ(output.substr(output.size() - tail.size()), tail);
    // Every file reported is in place, and nothing else (no temporary file).
    EXPECT_EQ(static_cast<int>(ListFiles(out_ + "/").size()), dry ? 0 : processed);
    EXPECT_TRUE(!dry || testing::ListTree(out_ + "/").empty());  // not even a folder
  }
}

// A reader that stops reading (`| head`) stops the run like Ctrl-C: the files under way are
// finished, the rest is left, and the end is said on standard error.
TEST_F(OrganizeCliTest, ClosedOutputStopsTheRunBetweenFiles) {
  for (int i = 0; i < 300; ++i) {
    ASSERT_TRUE(WriteFile(src_ + "/f" + std::to_string(i) + ".mov", "x", kDay1));
  }
  testing::CliProcess process =
      testing::StartCli({"organize", src_, out_}, env_, "", dir_ / "stderr");
  ASSERT_GT(process.pid, 0);
  char byte;
  ASSERT_EQ(::read(process.stdout_pipe, &byte, 1), 1);
  ::close(process.stdout_pipe);
  EXPECT_EQ(testing::WaitCli(process), 3);
  EXPECT_EQ(Err(), "整理已停止, 其余文件未整理.\n");
  const auto placed = ListFiles(out_ + "/");
  EXPECT_LT(placed.size(), 300u);
  for (const auto& [path, content] : placed) EXPECT_EQ(path.find("/."), std::string::npos) << path;
}

}  // namespace
}  // namespace nandell

namespace nandell {
namespace {

// Real phone and camera files, their last-write time set to 2014: with media dates each goes
// to the day it was taken (the formats corpus's expected days, under UTC); without, to 2014.
TEST_F(OrganizeCliTest, MediaDatesFileMoviesAndPhotosByTheirCaptureDays) {
  const std::string formats = NANDELL_FORMATS_DIR;
  if (!PathExists(formats + "/MANIFEST.tsv")) GTEST_SKIP() << "no corpus at " << formats;
  const struct {
    const char* name;
    const char* day;
  } files[] = {{"mov__with-gps.mov", "2019-07-24"},
               {"mp4__with-gps.mp4", "2017-02-22"},
               {"heic__IMG_2927.HEIC", "2020-05-04"},
               {"Canon__PowerShot_S40__MVI_0120.AVI", "2021-03-26"}};
  for (const auto& file : files) {
    ASSERT_TRUE(WriteFile(src_ + "/" + file.name, ReadFile(formats + "/" + file.name), kDay1));
  }
  env_.push_back("TZ=UTC0");
  const std::string filters = ".mov,.mp4,heic,.avi";
  ASSERT_EQ(Run({"organize", src_, out_, "--media-dates", "--filters", filters}), 0) << Err();
  const std::string by_day = out_ + "/by-day";
  ASSERT_TRUE(MakeFolders(by_day));
  ASSERT_EQ(Run({"organize", src_, by_day, "--by-day", "--filters", filters}), 0) << Err();
  for (const auto& file : files) {
    const std::string year = std::string(file.day).substr(0, 4);
    EXPECT_TRUE(PathExists(out_ + "/" + year + "年/" + file.day + "/" + file.name)) << file.name;
    EXPECT_TRUE(PathExists(by_day + "/2014-12-31/" + file.name)) << file.name;
  }
}

// A camera's RAW+JPEG with its edits and a phone's Live Photo whose movie was last written on
// another day, an orphan sidecar, and a taken IMG_0001.JPG in the output. Without the switch as
// designed: only the filter's files, each on its own. With --keep-together and
// --rename-conflicts each group lands whole in its still's day, the first as IMG_0001_1.*; the
// orphan stays; undo brings the photo folder back exactly.
TEST_F(OrganizeCliTest, KeepTogetherMovesEachGroupWholeUnderOneStemAndUndoBringsItBack) {
  test_support::CameraFacts camera;
  camera.date_time_original = "2020:04:17 10:04:33";
  test_support::HeifFacts heic;
  heic.exif_item = test_support::ExifItem(test_support::CameraTiff(camera));
  const time_t kDay2 = LocalNoon(2021, 1, 2);
  const std::string src = src_ + "/";
  const std::string day1 = out_ + "/2015年/2015-03-04/";
  const std::string day2 = out_ + "/2020年/2020-04-17/";
  const auto write_tree = [&] {
    ASSERT_TRUE(
        WriteFile(src + "IMG_0001.JPG", test_support::MakeJpegWithDate("2015:03:04 12:00:00")) &&
        WriteFile(src + "IMG_0001.CR2", "raw", kDay1) &&
        WriteFile(src + "IMG_0001.xmp", "edits", kDay1) &&
        WriteFile(src + "IMG_0001.JPG.xmp", "tags", kDay1) &&
        WriteFile(src + "IMG_0002.HEIC", test_support::MakeHeif(heic), kDay1) &&
        WriteFile(src + "IMG_0002.MOV", "live", kDay2) && WriteFile(src + "orphan.xmp", "o"));
  };
  write_tree();
  ASSERT_TRUE(WriteFile(day1 + "IMG_0001.JPG", "taken"));
  const std::vector<std::string> args = {
      "organize", src_, out_, "--move", "--media-dates", "--rename-conflicts", "--quiet"};
  ASSERT_EQ(Run(args), 0) << Err();
  auto placed = ListFiles(out_ + "/");
  EXPECT_EQ(placed.size(), 3u);
  EXPECT_EQ(placed["2015年/2015-03-04/IMG_0001_1.JPG"], ReadFile(day1 + "IMG_0001_1.JPG"));
  EXPECT_EQ(placed["2021年/2021-01-02/IMG_0002.MOV"], "live");
  ASSERT_EQ(Run({"undo", out_}), 0) << Err();

  write_tree();
  const auto before = testing::Snapshot(src);
  std::vector<std::string> together = args;
  together.push_back("--keep-together");
  ASSERT_EQ(Run(together), 0) << Err();
  EXPECT_EQ(Out(), "\n\n整理文件 2 个, 失败 0 个\n");
  std::map<std::string, std::string> expected = {{"orphan.xmp", "o"}};
  EXPECT_EQ(ListFiles(src), expected);
  expected = {{"2015年/2015-03-04/IMG_0001.JPG", "taken"},
              {"2015年/2015-03-04/IMG_0001_1.JPG", ReadFile(day1 + "IMG_0001_1.JPG")},
              {"2015年/2015-03-04/IMG_0001_1.CR2", "raw"},
              {"2015年/2015-03-04/IMG_0001_1.xmp", "edits"},
              {"2015年/2015-03-04/IMG_0001_1.JPG.xmp", "tags"},
              {"2020年/2020-04-17/IMG_0002.HEIC", ReadFile(day2 + "IMG_0002.HEIC")},
              {"2020年/2020-04-17/IMG_0002.MOV", "live"}};
  EXPECT_EQ(ListFiles(out_ + "/"), expected);
  ASSERT_EQ(Run({"history", out_}), 0);
  EXPECT_NE(Out().find("移动\t整理文件 2 个, 失败 0 个\t未撤销"), std::string::npos) << Out();
  ASSERT_EQ(Run({"undo", out_}), 0) << Err();
  EXPECT_NE(Out().find("一同移回: " + day1 + "IMG_0001_1.CR2 -> " + src + "IMG_0001.CR2\n"),
            std::string::npos)
      << Out();
  EXPECT_TRUE(testing::Snapshot(src) == before);
  EXPECT_EQ(ListFiles(out_ + "/").size(), 1u);
}

}  // namespace
}  // namespace nandell
