// The path-level file operations: the one folder maker, the one no-replace rename, the one error
// text.
#include "platform/file.h"

#include <gtest/gtest.h>

#ifndef _WIN32
#include <sys/stat.h>
#endif

#include <cerrno>

#include "platform/file_system.h"
#include "tests/support/temp_tree.h"

namespace nandell {
namespace {

using testing::PathExists;
using testing::ReadFile;
using testing::TempDir;
using testing::WriteFile;

TEST(FileTest, MakeFoldersMakesEveryMissingLevelAndOnlyFolders) {
  TempDir dir;
  ASSERT_TRUE(WriteFile(dir / "file", "f"));
  const struct {
    std::string path;
    bool made;
  } rows[] = {
      {dir / "a/b/c", true},     {dir / "a/b/c", true},  // every level there already
      {dir / "a/b/d/", true},    {dir / "file", false},  // a file where the folder should be
      {dir / "file/sub", false},
#ifndef _WIN32
      {"relative/x", false},
#endif
  };
  for (const auto& row : rows) {
    EXPECT_EQ(MakeFolders(row.path), row.made) << row.path;
    EXPECT_EQ(IsFolder(row.path), row.made) << row.path;
  }
  EXPECT_EQ(ReadFile(dir / "file"), "f");
#ifndef _WIN32
  struct stat st;
  ASSERT_EQ(::stat((dir / "a/b").c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0077, 0u);  // private to the user unless asked otherwise
  ASSERT_TRUE(MakeFolders(dir / "shared/x", 0755));
  ASSERT_EQ(::stat((dir / "shared").c_str(), &st), 0);
  const mode_t umask = ::umask(0);
  ::umask(umask);
  EXPECT_EQ(st.st_mode & 0777, 0755u & ~umask);
#endif
}

TEST(FileTest, RenameNoReplaceNeverReplaces) {
  TempDir dir;
  ASSERT_TRUE(WriteFile(dir / "a", "a") && WriteFile(dir / "b", "b"));
  EXPECT_EQ(RenameNoReplace(dir / "a", dir / "b"), EEXIST);
  EXPECT_EQ(ReadFile(dir / "a"), "a");
  EXPECT_EQ(ReadFile(dir / "b"), "b");
  EXPECT_EQ(RenameNoReplace(dir / "a", dir / "c"), 0);
  EXPECT_FALSE(PathExists(dir / "a"));
  EXPECT_EQ(ReadFile(dir / "c"), "a");
  EXPECT_EQ(RenameNoReplace(dir / "missing", dir / "d"), ENOENT);
}

TEST(FileTest, ErrorTextWordsTheSystemsErrorsAndOurOwn) {
  const struct {
    int error;
    const char* text;
  } rows[] = {
      {ENOENT, "No such file or directory"},
      {EEXIST, "File exists"},
      {kNotRegularFile, "不是普通文件"},
      {fs::kLinkInPlaceOfFolder, "目录位置上是一个链接"},
      {fs::kChangedWhileMoved, "源文件在移动时被改动"},
      {fs::kNotJournaled, "整理记录无法写入"},
  };
  for (const auto& row : rows) EXPECT_EQ(ErrorText(row.error), row.text) << row.error;
}

}  // namespace
}  // namespace nandell
