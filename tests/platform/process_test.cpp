#include "platform/process.h"

#include <fcntl.h>
#include <unistd.h>

#include <filesystem>
#include <string>

#include <gtest/gtest.h>

#include "tests/support/jpeg_builder.h"

namespace nandell {
namespace {

namespace fs = std::filesystem;

using test_support::TempDir;

TEST(ProcessTest, ExecutablePathAndFolder) {
  std::string path = ExecutablePath();
  ASSERT_FALSE(path.empty());
  EXPECT_EQ(path.front(), '/');
  EXPECT_TRUE(fs::is_regular_file(path));
  EXPECT_EQ(fs::path(path).filename(), "platform_tests");
  std::string dir = ExecutableDir();
  ASSERT_FALSE(dir.empty());
  EXPECT_EQ(dir.back(), '/');
  EXPECT_EQ(path.rfind(dir, 0), 0u);
  EXPECT_EQ(path.find('/', dir.size()), std::string::npos);
}

TEST(ProcessTest, CurrentDirectoryRoundTrip) {
  TempDir temp;
  std::string before = CurrentDirectory();
  ASSERT_FALSE(before.empty());
  EXPECT_EQ(before.back(), '/');
  ASSERT_TRUE(SetCurrentDirectory(temp.path()));
  EXPECT_EQ(CurrentDirectory(), fs::canonical(temp.path()).string() + "/");
  EXPECT_FALSE(SetCurrentDirectory(temp.path() + "/missing"));
  EXPECT_FALSE(SetCurrentDirectory(""));
  ASSERT_TRUE(SetCurrentDirectory(before));
  EXPECT_EQ(CurrentDirectory(), before);
}

TEST(ProcessTest, DebugOutputGoesToStandardErrorUnchanged) {
  TempDir temp;
  std::string capture = temp.path() + "/stderr.txt";
  fflush(stderr);
  int saved = dup(STDERR_FILENO);
  int fd = open(capture.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
  ASSERT_GE(fd, 0);
  dup2(fd, STDERR_FILENO);
  close(fd);
  DebugOutput("C_V : line one  #1 \n");
  DebugOutput("中文 no newline");
  dup2(saved, STDERR_FILENO);
  close(saved);
  EXPECT_EQ(test_support::ReadFile(capture), "C_V : line one  #1 \n中文 no newline");
}

TEST(ProcessTest, LauncherSeamIsReplacedAndRestored) {
  std::string seen_file, seen_params;
  bool seen_wait = true;
  ProgramLauncher previous =
      SetProgramLauncher([&](const std::string& file, const std::string& params, bool wait) {
        seen_file = file;
        seen_params = params;
        seen_wait = wait;
        return 7;
      });
  EXPECT_FALSE(previous);  // the desktop launcher is the built-in default
  EXPECT_EQ(RunProgram("notepad.exe", "/x/errorFile.txt", false), 7);
  EXPECT_EQ(seen_file, "notepad.exe");
  EXPECT_EQ(seen_params, "/x/errorFile.txt");
  EXPECT_FALSE(seen_wait);
  ProgramLauncher recorder = SetProgramLauncher(nullptr);
  EXPECT_TRUE(recorder);
}

TEST(ProcessTest, DesktopLauncherPassesParametersAsOneArgument) {
  TempDir temp;
  // Blanks and shell characters must reach the program untouched, as one argument.
  std::string target = temp.path() + "/a b; echo c";
  EXPECT_EQ(LaunchWithDesktop("touch", target, true), 0);
  EXPECT_TRUE(fs::exists(target));
  EXPECT_FALSE(fs::exists(temp.path() + "/a"));
}

TEST(ProcessTest, DesktopLauncherReportsMissingProgramOnlyWhenWaiting) {
  EXPECT_EQ(LaunchWithDesktop("/nonexistent/program", "x", true), -1);
  EXPECT_EQ(LaunchWithDesktop("/nonexistent/program", "x", false), 0);
}

}  // namespace
}  // namespace nandell
