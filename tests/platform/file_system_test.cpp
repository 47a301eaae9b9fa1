// The file operations that never replace and never leave a partial file, on real files.
#include "platform/file_system.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <chrono>
#include <cstring>
#include <set>
#include <thread>

#include "platform/fs.h"
#include "tests/engine/test_tree.h"

namespace nandell {
namespace {

using testing::ListFiles;
using testing::MakeFolders;
using testing::PathExists;
using testing::ReadFile;
using testing::TempDir;
using testing::WriteFile;

fs::FileSystem& disk = fs::RealFileSystem();

// The file at `path`, relative to its folder opened (which must exist).
fs::FileAt At(const std::string& path) {
  const size_t slash = path.rfind('/');
  fs::FolderRef folder;
  EXPECT_EQ(disk.OpenFolder(path.substr(0, slash + 1), &folder), 0) << path;
  return {folder, path.substr(slash + 1)};
}

bool OnOtherFileSystem(const std::string& a, const std::string& b) {
  struct stat sa, sb;
  return ::stat(a.c_str(), &sa) == 0 && ::stat(b.c_str(), &sb) == 0 && sa.st_dev != sb.st_dev;
}

TEST(FsTest, CopyKeepsDataTimeAndModeAndNeverReplaces) {
  TempDir dir;
  std::string data(5 << 20, '\0');
  for (size_t i = 0; i < data.size(); ++i) data[i] = static_cast<char>(i * 131 % 251);
  ASSERT_TRUE(WriteFile(dir / "a", data, 1000000000));
  ASSERT_EQ(::chmod((dir / "a").c_str(), 0604), 0);
  ASSERT_EQ(disk.CopyNoReplace(At(dir / "a"), At(dir / "b")), 0);
  EXPECT_EQ(ReadFile(dir / "b"), data);
  struct stat st;
  ASSERT_EQ(::stat((dir / "b").c_str(), &st), 0);
  EXPECT_EQ(st.st_mtime, 1000000000);
  EXPECT_EQ(st.st_mode & 07777, 0604u);

  ASSERT_TRUE(WriteFile(dir / "c", "keep me"));
  EXPECT_EQ(disk.CopyNoReplace(At(dir / "a"), At(dir / "c")), EEXIST);
  EXPECT_EQ(ReadFile(dir / "c"), "keep me");
  // A dangling link is a taken name too.
  ASSERT_EQ(::symlink((dir / "nowhere").c_str(), (dir / "dangling").c_str()), 0);
  EXPECT_EQ(disk.CopyNoReplace(At(dir / "a"), At(dir / "dangling")), EEXIST);
  EXPECT_FALSE(PathExists(dir / "nowhere"));
  // Only the three files and the link: no temporary file is left.
  EXPECT_EQ(ListFiles(dir.path()).size(), 3u);
}

TEST(FsTest, FailedCopyLeavesNothing) {
  TempDir dir;
  ASSERT_TRUE(WriteFile(dir / "a", "a"));
  EXPECT_EQ(disk.CopyNoReplace(At(dir / "missing"), At(dir / "b")), ENOENT);
  ASSERT_EQ(::mkfifo((dir / "pipe").c_str(), 0644), 0);
  ASSERT_TRUE(MakeFolders(dir / "folder"));
  // A named pipe is refused at once instead of waiting for a writer.
  EXPECT_NE(disk.CopyNoReplace(At(dir / "pipe"), At(dir / "b")), 0);
  EXPECT_NE(disk.CopyNoReplace(At(dir / "folder"), At(dir / "b")), 0);
  EXPECT_FALSE(PathExists(dir / "b"));
  EXPECT_EQ(ListFiles(dir.path()).size(), 1u);
}

TEST(FsTest, MoveIsARenameThatNeverReplaces) {
  std::string kept;
  TempDir dir;
  ASSERT_TRUE(WriteFile(dir / "a", "a"));
  ASSERT_TRUE(WriteFile(dir / "b", "b"));
  EXPECT_EQ(disk.MoveNoReplace(At(dir / "a"), At(dir / "b"), &kept), EEXIST);
  EXPECT_EQ(ReadFile(dir / "a"), "a");
  EXPECT_EQ(ReadFile(dir / "b"), "b");
  struct stat before;
  ASSERT_EQ(::stat((dir / "a").c_str(), &before), 0);
  ASSERT_EQ(disk.MoveNoReplace(At(dir / "a"), At(dir / "c"), &kept), 0);
  struct stat after;
  ASSERT_EQ(::stat((dir / "c").c_str(), &after), 0);
  EXPECT_EQ(before.st_ino, after.st_ino);  // renamed, not copied
  EXPECT_FALSE(PathExists(dir / "a"));
}

TEST(FsTest, MoveAcrossFileSystemsCopiesVerifiesThenRemoves) {
  TempDir dir;
  TempDir shm("/dev/shm");
  if (shm.path().empty() || !OnOtherFileSystem(dir.path(), shm.path())) {
    GTEST_SKIP() << "/dev/shm is not a separate file system here";
  }
  const std::string data(2 << 20, 'm');
  ASSERT_TRUE(WriteFile(dir / "a", data, 1200000000));
  std::string kept;
  ASSERT_EQ(disk.MoveNoReplace(At(dir / "a"), At(shm / "a"), &kept), 0);
  EXPECT_FALSE(PathExists(dir / "a"));
  EXPECT_EQ(ReadFile(shm / "a"), data);
  struct stat st;
  ASSERT_EQ(::stat((shm / "a").c_str(), &st), 0);
  EXPECT_EQ(st.st_mtime, 1200000000);

  // Target taken: the source stays, nothing is left behind.
  ASSERT_TRUE(WriteFile(dir / "b", "b"));
  EXPECT_EQ(disk.MoveNoReplace(At(dir / "b"), At(shm / "a"), &kept), EEXIST);
  EXPECT_EQ(ReadFile(dir / "b"), "b");
  EXPECT_EQ(ListFiles(dir.path()).size(), 1u);
  EXPECT_EQ(ReadFile(shm / "a"), data);
  EXPECT_EQ(ListFiles(shm.path()).size(), 1u);
}

// A file system whose named step fails; everything else is the operating system's.
class FailingFileSystem : public fs::FileSystem {
 public:
  explicit FailingFileSystem(std::string step) : step_(step) {}
  int PlaceNoReplace(const fs::FileAt& from, const fs::FileAt& to) override {
    return step_ == "place" && !fs::IsTakenName(to.name) && !fs::IsTakenName(from.name)
               ? EIO
               : FileSystem::PlaceNoReplace(from, to);
  }
  bool SameContent(fs::SourceFile& source, const fs::FileAt& copy) override {
    return step_ != "compare" && FileSystem::SameContent(source, copy);
  }
  int RemoveSource(fs::SourceFile& source, const fs::FileAt& file) override {
    return step_ == "remove" ? EBUSY : FileSystem::RemoveSource(source, file);
  }

 private:
  std::string step_;
};

TEST(FsTest, MoveByCopyFailingAtAnyStepKeepsTheSourceAndLeavesNothing) {
  for (const auto& [step, expected] :
       {std::pair<std::string, int>{"place", EIO}, {"compare", EIO}, {"remove", EBUSY}}) {
    TempDir dir;
    ASSERT_TRUE(MakeFolders(dir / "out"));
    ASSERT_TRUE(WriteFile(dir / "a", "photo"));
    FailingFileSystem failing(step);
    std::string kept;
    EXPECT_EQ(failing.MoveByCopy(At(dir / "a"), At(dir / "out/a"), &kept), expected) << step;
    EXPECT_EQ(ReadFile(dir / "a"), "photo") << step;
    EXPECT_EQ(kept, "") << step;
    EXPECT_TRUE(ListFiles(dir / "out/").empty()) << step;  // no copy, no temporary file
    EXPECT_EQ(ListFiles(dir.path()).size(), 1u) << step;   // the source has its name back
  }
}

TEST(FsTest, ListingReportsKindsAndDoesNotFollowFolderLinks) {
  TempDir dir;
  ASSERT_TRUE(MakeFolders(dir / "sub"));
  ASSERT_TRUE(WriteFile(dir / "file", "f"));
  ASSERT_EQ(::symlink((dir / "sub").c_str(), (dir / "sublink").c_str()), 0);
  ASSERT_EQ(::symlink((dir / "file").c_str(), (dir / "filelink").c_str()), 0);
  ASSERT_EQ(::symlink((dir / "gone").c_str(), (dir / "dangling").c_str()), 0);
  std::unique_ptr<fs::FolderListing> listing = disk.ListFolder(*At(dir / "x").folder, nullptr);
  ASSERT_TRUE(listing);
  std::set<std::string> files, folders, links;
  fs::DirEntry entry;
  while (listing->Next(&entry)) {
    if (entry.kind == fs::EntryKind::kFile) files.insert(entry.name);
    if (entry.kind == fs::EntryKind::kDirectory) folders.insert(entry.name);
    if (entry.kind == fs::EntryKind::kDirectoryLink) links.insert(entry.name);
  }
  EXPECT_EQ(files, (std::set<std::string>{"file", "filelink", "dangling"}));
  EXPECT_EQ(folders, (std::set<std::string>{".", "..", "sub"}));
  EXPECT_EQ(links, (std::set<std::string>{"sublink"}));
  EXPECT_EQ(listing->Error(), 0);
  fs::FolderRef folder;
  EXPECT_EQ(disk.OpenFolder(dir / "file/", &folder), ENOTDIR);
  EXPECT_EQ(disk.OpenFolder(dir / "missing/", &folder), ENOENT);
  EXPECT_EQ(disk.OpenSubfolder(*At(dir / "x").folder, "sublink", &folder),
            fs::kLinkInPlaceOfFolder);
}

TEST(FsTest, LocalDay) {
  std::string day, year;
  EXPECT_TRUE(fs::LocalDay(testing::LocalNoon(2014, 12, 31), &day, &year));
  EXPECT_EQ(day, "2014-12-31");
  EXPECT_EQ(year, "2014");
  // Beyond what the calendar conversion can hold.
  EXPECT_FALSE(fs::LocalDay(INT64_MAX, &day, &year));
  EXPECT_EQ(day, "0000-00-00");
  EXPECT_EQ(year, "0000");
}

TEST(FsTest, WholeFileIsWrittenFromScratch) {
  TempDir dir;
  ASSERT_TRUE(WriteFile(dir / "e", std::string(1000, 'x')));
  ASSERT_EQ(disk.ReplaceWholeFile(dir / "e", "short"), 0);
  EXPECT_EQ(ReadFile(dir / "e"), "short");
  EXPECT_EQ(disk.ReplaceWholeFile(dir / "missing/e", "x"), ENOENT);
}

}  // namespace
}  // namespace nandell
