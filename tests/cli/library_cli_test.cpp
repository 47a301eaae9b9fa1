// A library that knows its photos, end to end: `organize --skip-known`, its dry run, `library`,
// `duplicates` and `undo` on real folders.
#include <gtest/gtest.h>

#include "tests/cli/cli_runner.h"
#include "tests/support/temp_tree.h"

namespace nandell {
namespace {

using testing::ListFiles;
using testing::LocalNoon;
using testing::PathExists;
using testing::ReadFile;
using testing::RunCli;
using testing::TempDir;
using testing::WriteFile;

// After a run into OUT, a second photo folder holding renamed copies of some of its photos, a copy
// of one filed by hand in another day folder of OUT, and new ones, organized with --skip-known,
// places only the new ones and names where each known one is; the dry run says so first and
// changes nothing; a moved photo that is known stays in the photo folder; OUT holds the index in
// an SQLite database, `duplicates` lists a planted pair, and an undo keeps the index current.
TEST(LibraryCliTest, ASecondCardOfKnownPhotosPlacesOnlyTheNewOnes) {
  TempDir dir;
  ASSERT_FALSE(dir.path().empty());
  const std::string first = dir / "first/", second = dir / "second/", out = dir / "out/";
  const std::vector<std::string> env = {"NANDELL_CONFIG_DIR=" + dir / "cfg/"};
  const auto run = [&](std::vector<std::string> args) {
    return RunCli(args, env, dir / "stdout", dir / "stderr");
  };
  const time_t day = LocalNoon(2014, 12, 31);
  for (const char* name : {"IMG_1.mov", "IMG_2.mov", "IMG_3.mov"}) {
    ASSERT_TRUE(WriteFile(first + name, std::string("photo ") + name, day));
  }
  ASSERT_TRUE(testing::MakeFolders(out));
  ASSERT_EQ(run({"organize", first, out, "--quiet"}), 0) << ReadFile(dir / "stderr");
  const std::string filed = out + "2014年/2014-12-31/";
  const std::string by_hand = out + "2019年/2019-06-01/kept.mov";
  ASSERT_TRUE(WriteFile(by_hand, "filed by hand"));
  ASSERT_TRUE(WriteFile(out + "2018年/2018-01-01/p1.mov", "planted pair"));
  ASSERT_TRUE(WriteFile(out + "2018年/2018-01-01/p2.mov", "planted pair"));
  ASSERT_TRUE(WriteFile(second + "renamed/copy of 1.mov", "photo IMG_1.mov", day));
  ASSERT_TRUE(WriteFile(second + "IMG_3_1.mov", "photo IMG_3.mov", day));
  ASSERT_TRUE(WriteFile(second + "hand.mov", "filed by hand", day));
  ASSERT_TRUE(WriteFile(second + "new.mov", "a new photo", day));
  ASSERT_TRUE(WriteFile(second + "newer.mov", "photo IMG_9.mov", day));

  const std::string index = out + ".nandell/library.sqlite";
  ASSERT_EQ(run({"organize", second, out, "--move", "--skip-known", "--dry-run"}), 0);
  const std::string dry = ReadFile(dir / "stdout");
  EXPECT_FALSE(PathExists(index));
  ASSERT_EQ(run({"organize", second, out, "--move", "--skip-known"}), 0)
      << ReadFile(dir / "stderr");
  const std::string output = ReadFile(dir / "stdout");
  EXPECT_EQ(output + "(预演: 未改动任何文件)\n", dry);
  for (const std::string& known :
       {"): " + second + "renamed/copy of 1.mov\n\n位置: " + filed + "IMG_1.mov\n",
        "): " + second + "IMG_3_1.mov\n\n位置: " + filed + "IMG_3.mov\n",
        "): " + second + "hand.mov\n\n位置: " + by_hand + "\n", "移动到: " + filed + "new.mov\n",
        "移动到: " + filed + "newer.mov\n",
        std::string("\n\n整理文件 5 个, 失败 0 个, 跳过 3 个\n")}) {
    EXPECT_NE(output.find(known), std::string::npos) << known << output;
  }
  EXPECT_EQ(ListFiles(second).size(), 3u);  // the known ones stay where they were
  EXPECT_EQ(ListFiles(out).size(), 8u);
  EXPECT_EQ(ReadFile(index).substr(0, 16), std::string("SQLite format 3\0", 16));

  ASSERT_EQ(run({"duplicates", out}), 0);
  EXPECT_EQ(ReadFile(dir / "stdout"), "相同的文件 (12 字节):\n" + out +
                                          "2018年/2018-01-01/p1.mov\n" + out +
                                          "2018年/2018-01-01/p2.mov\n");
  // The undo takes the two new photos back and out of the index: a check finds nothing to do.
  ASSERT_EQ(run({"undo", out}), 0) << ReadFile(dir / "stderr");
  ASSERT_EQ(run({"library", out}), 0);
  EXPECT_EQ(ReadFile(dir / "stdout"), "照片库索引: " + index +
                                          "\n文件 6 个, 共 82 字节, 已读取内容 6 个\n" +
                                          "本次新增 0 个, 改动 0 个, 移除 0 个\n");
}

}  // namespace
}  // namespace nandell
