#include "platform/process.h"

#ifdef _WIN32
#include <windows.h>
// After windows.h, which it builds on.
#include <shellapi.h>

#include "platform/windows_support.h"
#else
#include <fcntl.h>
#include <unistd.h>
#endif

#include <filesystem>
#include <string>

#include <gtest/gtest.h>

#include "platform/file.h"
#include "platform/path.h"
#include "tests/support/run_program.h"
#include "tests/support/temp_tree.h"

namespace nandell {
namespace {

namespace fs = std::filesystem;

using testing::TempDir;

TEST(ProcessTest, ExecutablePathAndFolder) {
  std::string path = ExecutablePath();
  ASSERT_FALSE(path.empty());
  EXPECT_TRUE(fs::path(path).is_absolute()) << path;
  EXPECT_TRUE(fs::is_regular_file(path));
  EXPECT_EQ(fs::path(path).stem(), "platform_tests");
  std::string dir = ExecutableDir();
  ASSERT_FALSE(dir.empty());
  EXPECT_EQ(dir.back(), kPathSeparator);
  EXPECT_EQ(path.rfind(dir, 0), 0u);
  EXPECT_EQ(LastSeparator(path), dir.size() - 1);
}

TEST(ProcessTest, PathSeparators) {
  EXPECT_EQ(LastSeparator("a/b/c"), 3u);
  EXPECT_EQ(LastSeparator("abc"), std::string::npos);
  EXPECT_EQ(WithTrailingSeparator(""), "");
  EXPECT_EQ(WithTrailingSeparator("a/"), "a/");
  EXPECT_EQ(WithTrailingSeparator("a"), std::string("a") + kPathSeparator);
#ifdef _WIN32
  EXPECT_EQ(LastSeparator("C:\\a/b\\c"), 6u);
  EXPECT_EQ(WithTrailingSeparator("C:\\a\\"), "C:\\a\\");
#else
  EXPECT_EQ(LastSeparator("a\\b"), std::string::npos);  // "\\" is a name character here
#endif
}

TEST(ProcessTest, CurrentDirectoryRoundTrip) {
  TempDir temp;
  std::string before = CurrentDirectory();
  ASSERT_FALSE(before.empty());
  EXPECT_EQ(before.back(), kPathSeparator);
  ASSERT_TRUE(SetWorkingDirectory(temp.path()));
#ifdef _WIN32
  EXPECT_EQ(CurrentDirectory(), temp.path());
#else
  EXPECT_EQ(CurrentDirectory(), fs::canonical(temp.path()).string() + "/");
#endif
  EXPECT_FALSE(SetWorkingDirectory(temp / "missing"));
  EXPECT_FALSE(SetWorkingDirectory(""));
  ASSERT_TRUE(SetWorkingDirectory(before));
  EXPECT_EQ(CurrentDirectory(), before);
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

#ifdef _WIN32

// What a debug monitor such as DebugView does: a shared buffer and two events through which
// OutputDebugString hands over each text when no debugger is attached.
TEST(ProcessTest, DebugOutputReachesADebugMonitor) {
  HANDLE buffer_ready = ::CreateEventW(nullptr, FALSE, FALSE, L"DBWIN_BUFFER_READY");
  HANDLE data_ready = ::CreateEventW(nullptr, FALSE, FALSE, L"DBWIN_DATA_READY");
  HANDLE mapping =
      ::CreateFileMappingW(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0, 4096, L"DBWIN_BUFFER");
  ASSERT_TRUE(buffer_ready != nullptr && data_ready != nullptr && mapping != nullptr);
  const auto* view = static_cast<const char*>(::MapViewOfFile(mapping, FILE_MAP_READ, 0, 0, 0));
  ASSERT_NE(view, nullptr);
  std::vector<std::string> seen;
  for (const char* text : {"C_V : line one  #1 \n", "no newline"}) {
    ::SetEvent(buffer_ready);
    DebugOutput(text);
    ASSERT_EQ(::WaitForSingleObject(data_ready, 5000), WAIT_OBJECT_0) << text;
    EXPECT_EQ(*reinterpret_cast<const DWORD*>(view), ::GetCurrentProcessId());
    seen.emplace_back(view + sizeof(DWORD));
  }
  EXPECT_EQ(seen, (std::vector<std::string>{"C_V : line one  #1 \n", "no newline"}));
  ::UnmapViewOfFile(view);
  for (HANDLE handle : {mapping, data_ready, buffer_ready}) ::CloseHandle(handle);
}

TEST(ProcessTest, QuotedArgumentsArriveUnchanged) {
  for (const std::wstring& argument :
       {std::wstring(L"plain"), std::wstring(L""), std::wstring(L"a b"), std::wstring(L"a\"b"),
        std::wstring(L"C:\\Program Files\\"), std::wstring(L"\\\\server\\x y\\\\"),
        std::wstring(L"\\\"q\\\""), std::wstring(L"照片 \t tab")}) {
    const std::wstring line = L"program.exe " + win::QuoteArgument(argument) + L" next";
    int count = 0;
    wchar_t** parsed = ::CommandLineToArgvW(line.c_str(), &count);
    ASSERT_NE(parsed, nullptr);
    ASSERT_EQ(count, 3) << win::Narrow(line);
    EXPECT_EQ(std::wstring(parsed[1]), argument) << win::Narrow(line);
    EXPECT_EQ(std::wstring(parsed[2]), L"next");
    ::LocalFree(parsed);
  }
}

TEST(ProcessTest, WindowsPathForms) {
  const std::string long_name(300, 'x');
  struct Row {
    std::string path;
    std::wstring expected;
  };
  for (const Row& row : {
           Row{"C:/a/b", L"C:\\a\\b"},
           Row{"C:\\a\\..\\b/./c", L"C:\\b\\c"},
           Row{"C:/" + long_name, L"\\\\?\\C:\\" + win::Widen(long_name)},
           Row{"//server/share/" + long_name,
               L"\\\\?\\UNC\\server\\share\\" + win::Widen(long_name)},
           Row{"\\\\?\\C:\\kept/as is", L"\\\\?\\C:\\kept/as is"},
           Row{"", L""},
       }) {
    EXPECT_EQ(win::WinPath(row.path), row.expected) << row.path;
  }
  EXPECT_EQ(win::PlainPath(L"\\\\?\\UNC\\server\\share"), "\\\\server\\share");
  EXPECT_EQ(win::PlainPath(L"\\\\?\\C:\\a"), "C:\\a");
  // A relative path is taken from the current directory.
  EXPECT_EQ(win::Narrow(win::WinPath("rel/x")), CurrentDirectory() + "rel\\x");
}

TEST(ProcessTest, WindowsErrorsReadAsElsewhere) {
  EXPECT_EQ(ErrorText(win::ErrorResult(ERROR_FILE_NOT_FOUND)), "No such file or directory");
  EXPECT_EQ(ErrorText(win::ErrorResult(ERROR_ACCESS_DENIED)), "Permission denied");
  EXPECT_EQ(win::ErrnoOf(ERROR_ALREADY_EXISTS), EEXIST);
  EXPECT_FALSE(ErrorText(win::ErrorResult(ERROR_NOT_READY)).empty());
}

// The launched program is this test program itself, running one quick test and writing its
// report where the single parameter says: a name with blanks and shell characters.
TEST(ProcessTest, DesktopLauncherPassesParametersAsOneArgumentAndWaits) {
  TempDir temp;
  const std::string report = temp / "a b; & c.xml";
  test_support::SetEnvironment("GTEST_FILTER", "ProcessTest.PathSeparators");
  const int32_t result = LaunchWithDesktop(ExecutablePath(), "--gtest_output=xml:" + report, true);
  test_support::SetEnvironment("GTEST_FILTER", "");
  EXPECT_EQ(result, 0);
  EXPECT_TRUE(PathExists(report)) << "written before the launcher returned";
  EXPECT_FALSE(PathExists(temp / "a"));
}

#else

TEST(ProcessTest, DebugOutputGoesToStandardErrorUnchanged) {
  TempDir temp;
  std::string capture = temp / "stderr.txt";
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
  EXPECT_EQ(testing::ReadFile(capture), "C_V : line one  #1 \n中文 no newline");
}

TEST(ProcessTest, DesktopLauncherPassesParametersAsOneArgument) {
  TempDir temp;
  // Blanks and shell characters must reach the program untouched, as one argument.
  std::string target = temp / "a b; echo c";
  EXPECT_EQ(LaunchWithDesktop("touch", target, true), 0);
  EXPECT_TRUE(fs::exists(target));
  EXPECT_FALSE(fs::exists(temp / "a"));
}

#endif

TEST(ProcessTest, DesktopLauncherReportsMissingProgramOnlyWhenWaiting) {
  EXPECT_EQ(LaunchWithDesktop("/nonexistent/program", "x", true), -1);
  EXPECT_EQ(LaunchWithDesktop("/nonexistent/program", "x", false), 0);
}

}  // namespace
}  // namespace nandell
