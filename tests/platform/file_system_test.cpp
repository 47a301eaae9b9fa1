// The steps of the run's file system on real files: folders reached without following links,
// listings, whole-file writes, names Windows cannot hold.
#include "platform/file_system.h"

#include <gtest/gtest.h>

#ifndef _WIN32
#include <unistd.h>
#endif

#include <set>

#include "platform/path.h"
#include "tests/support/proxy_file_system.h"
#include "tests/support/temp_tree.h"

namespace nandell {
namespace {

using testing::At;
using testing::ListFiles;
using testing::MakeFolders;
using testing::PathExists;
using testing::ReadFile;
using testing::TempDir;
using testing::WriteFile;

fs::FileSystem& disk = fs::RealFileSystem();

TEST(FsTest, TargetFoldersAreMadeWithoutFollowingLinks) {
  TempDir dir;
  ASSERT_TRUE(MakeFolders(dir / "out/2021年") && MakeFolders(dir / "elsewhere"));
#ifndef _WIN32
  ASSERT_EQ(::symlink("../elsewhere", (dir / "out/2020年").c_str()), 0);
  ASSERT_EQ(::symlink("../../elsewhere", (dir / "out/2021年/2021-01-01").c_str()), 0);
#endif
  ASSERT_TRUE(WriteFile(dir / "out/2021年/2021-01-02", "a file"));
  const fs::FolderRef base = At(dir / "out/x").folder;
  const struct {
    std::string relative;
    int result;
  } rows[] = {
#ifndef _WIN32
      {"2020年/2020-01-01/", fs::kLinkInPlaceOfFolder},
      {"2021年/2021-01-01/", fs::kLinkInPlaceOfFolder},
#else
      // Names that Windows cannot hold are refused before anything is made.
      {"2024年/2024-01-01./", fs::kNameNotAllowed},
      {"2024年/con/", fs::kNameNotAllowed},
#endif
      {"2021年/2021-01-02/", ENOTDIR},
      // The year folder made stays when the day folder cannot be made.
      {"2022年/" + std::string(300, 'd') + "/", ENAMETOOLONG},
      {"2023年/2023-01-01/", 0},
  };
  for (const auto& row : rows) {
    bool made = false;
    fs::FolderRef folder;
    EXPECT_EQ(disk.OpenTargetFolder(*base, row.relative, &made, &folder), row.result)
        << row.relative;
    EXPECT_TRUE(made || row.result != 0) << row.relative;
    EXPECT_EQ(disk.CheckNameFree(*base, row.relative + "f"), row.result) << row.relative;
  }
  EXPECT_TRUE(PathExists(dir / "out/2022年"));
  EXPECT_TRUE(ListFiles(dir / "elsewhere/").empty() &&
              testing::ListTree(dir / "elsewhere/").empty());
}

TEST(FsTest, ListingReportsKindsAndDoesNotFollowFolderLinks) {
  TempDir dir;
  ASSERT_TRUE(MakeFolders(dir / "sub"));
  ASSERT_TRUE(WriteFile(dir / "file", "f"));
#ifdef _WIN32
  const std::set<std::string> expected_files = {"file"};
  const std::set<std::string> expected_links;
#else
  ASSERT_EQ(::symlink((dir / "sub").c_str(), (dir / "sublink").c_str()), 0);
  ASSERT_EQ(::symlink((dir / "file").c_str(), (dir / "filelink").c_str()), 0);
  ASSERT_EQ(::symlink((dir / "gone").c_str(), (dir / "dangling").c_str()), 0);
  const std::set<std::string> expected_files = {"file", "filelink", "dangling"};
  const std::set<std::string> expected_links = {"sublink"};
#endif
  std::unique_ptr<fs::FolderListing> listing = disk.ListFolder(*At(dir / "x").folder, nullptr);
  ASSERT_TRUE(listing);
  std::set<std::string> files, folders, links;
  fs::DirEntry entry;
  while (listing->Next(&entry)) {
    if (entry.kind == fs::EntryKind::kFile) files.insert(entry.name);
    if (entry.kind == fs::EntryKind::kDirectory) folders.insert(entry.name);
    if (entry.kind == fs::EntryKind::kDirectoryLink) links.insert(entry.name);
  }
  EXPECT_EQ(files, expected_files);
  EXPECT_EQ(folders, (std::set<std::string>{".", "..", "sub"}));
  EXPECT_EQ(links, expected_links);
  EXPECT_EQ(listing->Error(), 0);
  fs::FolderRef folder;
  EXPECT_EQ(disk.OpenFolder(dir / "file/", &folder), ENOTDIR);
  EXPECT_EQ(disk.OpenFolder(dir / "missing/", &folder), ENOENT);
  EXPECT_EQ(disk.OpenSubfolder(*At(dir / "x").folder, "file", &folder), ENOTDIR);
#ifndef _WIN32
  EXPECT_EQ(disk.OpenSubfolder(*At(dir / "x").folder, "sublink", &folder),
            fs::kLinkInPlaceOfFolder);
#endif
}

TEST(FsTest, WholeFileIsWrittenFromScratch) {
  TempDir dir;
  ASSERT_TRUE(WriteFile(dir / "e", std::string(1000, 'x')));
  ASSERT_EQ(disk.ReplaceWholeFile(dir / "e", "short"), 0);
  EXPECT_EQ(ReadFile(dir / "e"), "short");
  EXPECT_EQ(disk.ReplaceWholeFile(dir / "missing/e", "x"), ENOENT);
}

TEST(FsTest, NamesWindowsCannotHold) {
  const struct {
    const char* name;
    bool accepted;
  } rows[] = {
      {"IMG_0001.JPG", true},
      {"照片 (1).jpg", true},
      {".nandell-move.a", true},
      {"2014-12-31", true},
      {"com10", true},
      {"console.jpg", true},
      {"", false},
      {"a.", false},
      {"a ", false},
      {"a:b", false},
      {"a*b", false},
      {"a?b", false},
      {"a\"b", false},
      {"a<b>", false},
      {"a|b", false},
      {"a\\b", false},
      {"a/b", false},
      {"tab\tname", false},
      {"CON", false},
      {"nul.jpg", false},
      {"Aux .txt", false},
      {"com1", false},
      {"LPT9.tar.gz", false},
  };
  for (const auto& row : rows) EXPECT_EQ(WindowsAcceptsName(row.name), row.accepted) << row.name;
#ifdef _WIN32
  const bool windows = true;
#else
  const bool windows = false;
#endif
  for (const auto& [path, absolute] :
       std::initializer_list<std::pair<const char*, bool>>{{"/a", true},
                                                           {"a/b", false},
                                                           {"", false},
                                                           {"C:\\a", windows},
                                                           {"z:/a", windows},
                                                           {"\\\\server\\share", windows},
                                                           {"C:a", false},
                                                           {"1:\\a", false}}) {
    EXPECT_EQ(IsAbsolutePath(path), absolute) << path;
  }
#ifdef _WIN32
  // A name that Windows cannot hold is refused with its reason, and nothing is made.
  TempDir dir;
  ASSERT_TRUE(MakeFolders(dir / "out"));
  ASSERT_TRUE(WriteFile(dir / "ok", "ok"));
  for (const char* name : {"aux.jpg", "dot."}) {
    EXPECT_EQ(disk.CheckNameFree(*At(dir / "out/x").folder, name), fs::kNameNotAllowed);
    EXPECT_EQ(disk.PlaceNoReplace(At(dir / "ok"), At(dir / "out/" + std::string(name))),
              fs::kNameNotAllowed);
  }
  EXPECT_EQ(ErrorText(fs::kNameNotAllowed), "Windows 不接受此名称");
  EXPECT_TRUE(ListFiles(dir / "out/").empty());
  EXPECT_EQ(ReadFile(dir / "ok"), "ok");
#endif
}

}  // namespace
}  // namespace nandell
