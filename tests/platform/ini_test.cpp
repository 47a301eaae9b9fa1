#include "platform/ini.h"

#ifdef _WIN32
#include <windows.h>

#include "platform/windows_support.h"
#else
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

#include <cstdlib>
#include <filesystem>
#include <string>

#include <gtest/gtest.h>

#include "platform/file.h"
#include "tests/support/temp_tree.h"

namespace nandell {
namespace {

namespace fs = std::filesystem;

using testing::ReadFile;
using testing::ReadIniText;
using testing::WriteFile;

class IniTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_FALSE(temp_.path().empty());
    dir_ = temp_.path();
    path_ = temp_ / "Config.ini";
  }
  void TearDown() override {
    std::error_code ec;
    fs::permissions(dir_, fs::perms::owner_all, ec);
  }
  // The number of entries in the folder (a temporary file left behind would show).
  int Entries() const {
    int entries = 0;
    for (const auto& entry : fs::directory_iterator(dir_)) {
      (void)entry;
      ++entries;
    }
    return entries;
  }
  testing::TempDir temp_;
  std::string dir_;
  std::string path_;
};

// Writes an INI text as this platform's private-profile calls read every character of it:
// UTF-8 on POSIX; on Windows UTF-16 after its byte-order mark.
void WriteIniText(const std::string& path, const std::string& text) {
#ifdef _WIN32
  const std::wstring wide = win::Widen(text);
  WriteFile(path, "\xFF\xFE" + std::string(reinterpret_cast<const char*>(wide.data()),
                                           wide.size() * sizeof(wchar_t)));
#else
  WriteFile(path, text);
#endif
}

// A hand-written file as a user might leave it: CRLF endings, odd spacing, mixed case,
// quotes, comments and keys the program does not know.
const char kHandWritten[] =
    "; settings of the photo organizer\r\n"
    "[Other]\r\n"
    "PathSrc=/wrong/section/\r\n"
    "\r\n"
    "[vovirurorarudar]\r\n"
    "  PathSrc  =  \"/home/me/My Pictures/\"  \r\n"
    "pathtar='/out/'\r\n"
    "Spaced = \" keep inner blanks \"\r\n"
    "Half=\"abc\r\n"
    "Empty=\r\n"
    "One=01\r\n"
    "Minus=-5\r\n"
    "Mixed=12abc\r\n"
    "Text=abc\r\n"
    "# a note between keys\r\n"
    "Unknown=keep me\r\n";

TEST_F(IniTest, ReadsNamesWithoutCaseAndValuesTrimmedAndUnquoted) {
  WriteFile(path_, kHandWritten);
  const char* s = "VovirurOrarudar";
  EXPECT_EQ(ReadIniString(path_, s, "PATHSRC", "x"), "/home/me/My Pictures/");
  EXPECT_EQ(ReadIniString(path_, s, "PathTar", "x"), "/out/");
  EXPECT_EQ(ReadIniString(path_, s, "spaced", "x"), " keep inner blanks ");
  EXPECT_EQ(ReadIniString(path_, s, "Half", "x"), "\"abc");  // unmatched quote stays
  EXPECT_EQ(ReadIniString(path_, s, "Empty", "x"), "");
  EXPECT_EQ(ReadIniString(path_, s, "Missing", "dflt"), "dflt");
  EXPECT_EQ(ReadIniString(path_, "NoSuchSection", "PathSrc", "dflt"), "dflt");
  EXPECT_EQ(ReadIniString(path_, "other", "pathsrc", ""), "/wrong/section/");
  // A comment line is never a key.
  EXPECT_EQ(ReadIniString(path_, s, "# a note between keys", "none"), "none");
}

TEST_F(IniTest, ReadsIntegersLikeThePrivateProfileCall) {
  WriteFile(path_, kHandWritten);
  const char* s = "VovirurOrarudar";
  EXPECT_EQ(ReadIniInt(path_, s, "One", 9), 1);
  EXPECT_EQ(ReadIniInt(path_, s, "Minus", 9), -5);
  EXPECT_EQ(ReadIniInt(path_, s, "Mixed", 9), 12);
  EXPECT_EQ(ReadIniInt(path_, s, "Text", 9), 0);
  EXPECT_EQ(ReadIniInt(path_, s, "Empty", 9), 9);
  EXPECT_EQ(ReadIniInt(path_, s, "Missing", 9), 9);
}

TEST_F(IniTest, MissingFileGivesDefaults) {
  EXPECT_EQ(ReadIniString(path_, "S", "k", "dflt"), "dflt");
  EXPECT_EQ(ReadIniInt(path_, "S", "k", -3), -3);
#ifndef _WIN32
  IniFile file;
  EXPECT_TRUE(file.Load(path_));
  EXPECT_EQ(file.Text(), "");
#endif
  EXPECT_FALSE(PathExists(path_));
}

TEST_F(IniTest, WriteIntoMissingFolderFailsCleanly) {
  std::string error;
  EXPECT_FALSE(WriteIniString(temp_ / "no/Config.ini", "S", "k", "v", &error));
  EXPECT_FALSE(error.empty());
}

TEST_F(IniTest, ValuesThatWouldBreakTheFileAreRefused) {
  WriteFile(path_, "[S]\nk=v\n");
  EXPECT_FALSE(WriteIniString(path_, "S", "k", "a\n[Evil]\nx=1"));
  EXPECT_FALSE(WriteIniString(path_, "S", "k=2", "v"));
  EXPECT_FALSE(WriteIniString(path_, "S]", "k", "v"));
  EXPECT_FALSE(WriteIniString(path_, "", "k", "v"));
  // A key whose line would read back as a comment or a section header could never be found
  // again: every write would add one more line.
  for (const char* key : {";k", "#k", "[k", " [k]"}) {
    EXPECT_FALSE(WriteIniString(path_, "S", key, "v")) << key;
  }
  EXPECT_EQ(ReadFile(path_), "[S]\nk=v\n");
}

TEST_F(IniTest, ValuesReadBackExactlyAsWritten) {
  const std::string values[] = {"",         " lead",  "trail ", "\"quoted\"",
                                "'single'", "\"half", "a = b",  "中文 ;#[x]"};
  for (const std::string& value : values) {
    ASSERT_TRUE(WriteIniString(path_, "S", "k", value)) << value;
    EXPECT_EQ(ReadIniString(path_, "S", "k", "dflt"), value);
  }
  ASSERT_TRUE(WriteIniString(path_, "S", "k", " x "));
  EXPECT_EQ(ReadIniText(path_), "[S]\nk=\" x \"\n");
}

TEST_F(IniTest, ReadCutsToBufferWithoutSplittingCharacters) {
  WriteIniText(path_, "[S]\nascii=abcdefg\nwide=中文字\n");
  EXPECT_EQ(ReadIniString(path_, "S", "ascii", "", 5), "abcd");
  EXPECT_EQ(ReadIniString(path_, "S", "wide", "", 6), "中");  // 5 bytes fit one character
  EXPECT_EQ(ReadIniString(path_, "S", "wide", "", 7), "中文");
  EXPECT_EQ(ReadIniString(path_, "S", "missing", "default", 4), "def");
}

#ifndef _WIN32

// The INI writer of this platform, byte for byte, and POSIX permissions, links and users. On
// Windows the system's private-profile calls write the file (each in its own way of spacing
// and blank lines); the tests after #else check what matters of them.

TEST_F(IniTest, WriteUpdatesInPlaceAndKeepsEveryOtherLine) {
  WriteFile(path_, kHandWritten);
  ASSERT_TRUE(WriteIniString(path_, "VOVIRURORARUDAR", "pathsrc", "/new/"));
  ASSERT_TRUE(WriteIniString(path_, "VovirurOrarudar", "Added", "x"));
  ASSERT_TRUE(WriteIniString(path_, "Other", "PathTar", "/t/"));
  EXPECT_EQ(ReadFile(path_),
            "; settings of the photo organizer\n"
            "[Other]\n"
            "PathSrc=/wrong/section/\n"
            "PathTar=/t/\n"
            "\n"
            "[vovirurorarudar]\n"
            "  PathSrc=/new/\n"
            "pathtar='/out/'\n"
            "Spaced = \" keep inner blanks \"\n"
            "Half=\"abc\n"
            "Empty=\n"
            "One=01\n"
            "Minus=-5\n"
            "Mixed=12abc\n"
            "Text=abc\n"
            "# a note between keys\n"
            "Unknown=keep me\n"
            "Added=x\n");
  EXPECT_EQ(ReadIniString(path_, "VovirurOrarudar", "PathSrc", ""), "/new/");
}

TEST_F(IniTest, WriteCreatesFileAndSection) {
  ASSERT_TRUE(WriteIniString(path_, "VovirurOrarudar", "IsDeleteSrc", "0"));
  EXPECT_EQ(ReadFile(path_), "[VovirurOrarudar]\nIsDeleteSrc=0\n");
  ASSERT_TRUE(WriteIniString(path_, "Second", "k", "v"));
  EXPECT_EQ(ReadFile(path_), "[VovirurOrarudar]\nIsDeleteSrc=0\n\n[Second]\nk=v\n");
}

TEST_F(IniTest, SaveKeepsPermissionsAndFollowsSymbolicLink) {
  std::string real = temp_ / "real.ini";
  WriteFile(real, "[S]\nk=1\n");
  ASSERT_EQ(chmod(real.c_str(), 0640), 0);
  ASSERT_EQ(symlink(real.c_str(), path_.c_str()), 0);
  ASSERT_TRUE(WriteIniString(path_, "S", "k", "2"));
  EXPECT_TRUE(fs::is_symlink(path_));
  EXPECT_EQ(ReadFile(real), "[S]\nk=2\n");
  struct stat st {};
  ASSERT_EQ(stat(real.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 07777, 0640u);
  // No temporary file is left behind.
  int entries = 0;
  for (const auto& entry : fs::directory_iterator(dir_)) {
    (void)entry;
    ++entries;
  }
  EXPECT_EQ(entries, 2);
}

TEST_F(IniTest, FirstOccurrenceWinsAndByteOrderMarkIsSkipped) {
  WriteFile(path_, "\xEF\xBB\xBF[S]\nk=first\nk=second\n[s]\nk=third\nj=4\n");
  EXPECT_EQ(ReadIniString(path_, "S", "k", ""), "first");
  EXPECT_EQ(ReadIniString(path_, "S", "j", ""), "4");
  ASSERT_TRUE(WriteIniString(path_, "S", "k", "new"));
  ASSERT_TRUE(WriteIniString(path_, "S", "n", "added"));
  EXPECT_EQ(ReadFile(path_), "\xEF\xBB\xBF[S]\nk=new\nk=second\nn=added\n[s]\nk=third\nj=4\n");
}

// Runs `body` in a child process with the rights of the unprivileged user "nobody" and
// returns its exit status (0: all checks held).
template <typename Body>
int RunAsNobody(Body body) {
  pid_t pid = fork();
  if (pid == 0) {
    if (setgid(65534) != 0 || setuid(65534) != 0) _exit(90);
    _exit(body());
  }
  int status = 0;
  waitpid(pid, &status, 0);
  return WIFEXITED(status) ? WEXITSTATUS(status) : 99;
}

TEST_F(IniTest, ReadOnlyFolderLeavesFileUnchanged) {
  const std::string original = "[S]\n; note\nk=old\n";
  WriteFile(path_, original);
  chmod(path_.c_str(), 0644);
  auto attempt = [this]() -> int {
    if (ReadIniString(path_, "S", "k", "") != "old") return 1;  // reading still works
    std::string error;
    if (WriteIniString(path_, "S", "k", "new", &error)) return 2;
    if (error.empty()) return 3;
    if (WriteIniString(temp_ / "Other.ini", "S", "k", "v")) return 4;
    return 0;
  };
  ASSERT_EQ(chmod(dir_.c_str(), 0555), 0);
  if (geteuid() == 0) {
    EXPECT_EQ(RunAsNobody(attempt), 0);
  } else {
    EXPECT_EQ(attempt(), 0);
  }
  EXPECT_EQ(ReadFile(path_), original);
  EXPECT_FALSE(PathExists(temp_ / "Other.ini"));
}

TEST_F(IniTest, ReadOnlyFileInWritableFolderIsNotReplaced) {
  const std::string original = "[S]\nk=old\n";
  WriteFile(path_, original);
  ASSERT_EQ(chmod(path_.c_str(), 0444), 0);
  ASSERT_EQ(chmod(dir_.c_str(), 0777), 0);
  auto attempt = [this]() -> int {
    std::string error;
    if (WriteIniString(path_, "S", "k", "new", &error)) return 1;
    if (error.empty()) return 2;
    return 0;
  };
  if (geteuid() == 0) {
    EXPECT_EQ(RunAsNobody(attempt), 0);
  } else {
    EXPECT_EQ(attempt(), 0);
  }
  EXPECT_EQ(ReadFile(path_), original);
  EXPECT_EQ(Entries(), 1);  // no temporary file left behind
}

#else

TEST_F(IniTest, WriteKeepsEveryOtherKeyAndCommentInUtf16) {
  WriteFile(path_, kHandWritten);
  ASSERT_TRUE(WriteIniString(path_, "VOVIRURORARUDAR", "pathsrc", "/new/"));
  ASSERT_TRUE(WriteIniString(path_, "VovirurOrarudar", "Added", "x"));
  ASSERT_TRUE(WriteIniString(path_, "Other", "PathTar", "/t/"));
  struct Row {
    const char* section;
    const char* key;
    const char* value;
  };
  const char* s = "VovirurOrarudar";
  for (const Row& row :
       {Row{s, "PathSrc", "/new/"}, Row{s, "Added", "x"}, Row{"Other", "PathTar", "/t/"},
        Row{"Other", "PathSrc", "/wrong/section/"}, Row{s, "PathTar", "/out/"},
        Row{s, "Spaced", " keep inner blanks "}, Row{s, "Half", "\"abc"}, Row{s, "One", "01"},
        Row{s, "Unknown", "keep me"}}) {
    EXPECT_EQ(ReadIniString(path_, row.section, row.key, "?"), row.value) << row.key;
  }
  const std::string text = ReadIniText(path_);
  EXPECT_EQ(text.rfind("; settings of the photo organizer\n[Other]\n", 0), 0u) << text;
  EXPECT_NE(text.find("\n# a note between keys\n"), std::string::npos) << text;
  EXPECT_EQ(ReadFile(path_).substr(0, 2), "\xFF\xFE");
  EXPECT_EQ(Entries(), 1);  // no temporary file left behind
}

TEST_F(IniTest, FileInTheSystemCodePageIsKeptWhenSaved) {
  // "André" in the system code page, as an older program or Notepad leaves the file.
  char name[16] = {};
  BOOL lossy = FALSE;
  const int length =
      ::WideCharToMultiByte(CP_ACP, 0, L"Andr\u00E9", 5, name, sizeof name, nullptr, &lossy);
  if (length == 0 || lossy) GTEST_SKIP() << "the system code page has no \u00E9";
  WriteFile(path_, "[S]\r\nname=" + std::string(name, length) + "\r\n");
  EXPECT_EQ(ReadIniString(path_, "S", "name", ""), "André");
  ASSERT_TRUE(WriteIniString(path_, "S", "k", "照片 C:\\相機\\"));
  EXPECT_EQ(ReadIniString(path_, "S", "name", ""), "André");
  EXPECT_EQ(ReadIniString(path_, "S", "k", ""), "照片 C:\\相機\\");
  EXPECT_EQ(ReadIniText(path_), "[S]\nname=André\nk=照片 C:\\相機\\\n");
}

TEST_F(IniTest, ReadOnlyFileIsNotReplaced) {
  const std::string original = "[S]\r\nk=old\r\n";
  WriteFile(path_, original);
  const std::wstring wide = win::WinPath(path_);
  ASSERT_TRUE(::SetFileAttributesW(wide.c_str(), FILE_ATTRIBUTE_READONLY));
  std::string error;
  EXPECT_FALSE(WriteIniString(path_, "S", "k", "new", &error));
  EXPECT_FALSE(error.empty());
  ::SetFileAttributesW(wide.c_str(), FILE_ATTRIBUTE_NORMAL);
  EXPECT_EQ(ReadFile(path_), original);
  EXPECT_EQ(Entries(), 1);  // no temporary file left behind
}

#endif

}  // namespace
}  // namespace nandell
