// What both windows share: the main window's layout table, the link targets and the options'
// values on a real settings store.
#include <gtest/gtest.h>

#include <string>

#include "tests/support/jpeg_builder.h"
#include "uicore/link_target.h"
#include "uicore/options.h"
#include "uicore/skin_layout.h"

namespace nandell {
namespace {

using test_support::TempDir;

TEST(SkinLayout, ShippedSkinAndStripsGiveTheDesignedPositions) {
  // 622 x 416 skin; strips 136/137 38 x 34, 134/135 16 x 16, 138/140/141 155 x 52, 142 24 x 24.
  const MainButtonSizes sizes{{38, 34},  {38, 34},  {16, 16},  {16, 16},
                              {155, 52}, {155, 52}, {155, 52}, {24, 24}};
  const MainLayout l = LayoutMainWindow(622, 416, sizes);
  const struct {
    SkinRect got, want;
  } rows[] = {
      {l.close, {582, 2, 38, 34}},      {l.minimize, {544, 2, 38, 34}},
      {l.options, {512, 5, 16, 16}},    {l.about, {494, 5, 16, 16}},
      {l.photo, {87, 91, 155, 52}},     {l.photo_text, {252, 91, 311, 52}},
      {l.output, {87, 183, 155, 52}},   {l.output_text, {252, 183, 311, 52}},
      {l.organize, {87, 274, 155, 52}}, {l.message, {252, 274, 311, 104}},
      {l.stop, {573, 286, 24, 24}},     {l.delete_source, {93, 391, 200, 18}},
      {l.footer, {261, 396, 400, 18}},
  };
  for (const auto& row : rows) {
    EXPECT_EQ(row.got, row.want) << row.want.x << "," << row.want.y;
  }
}

TEST(SkinLayout, OutputTextTakesThePhotoButtonsHeight) {
  MainButtonSizes sizes{};
  sizes.photo = {100, 40};
  sizes.output = {100, 60};
  EXPECT_EQ(LayoutMainWindow(400, 300, sizes).output_text.height, 40);
}

TEST(LinkTarget, MadeFromTheText) {
  const struct {
    const char* text;
    int result;
    const char* target;
  } rows[] = {
      {"http://a@b", 1, "http://a@b"},
      {"x y@z", 1, "mailto:x y@z"},
      {"QQ:12345", 1, "tencent://message/?uin=12345&Site=www.nandell.example.com&Menu=yes"},
      {"QQ: 1", 1, "tencent://message/?uin= 1&Site=www.nandell.example.com&Menu=yes"},
      {"plain", 0, ""},
  };
  for (const auto& row : rows) {
    std::string target = "old";
    EXPECT_EQ(LinkTargetFor(row.text, &target), row.result) << row.text;
    EXPECT_EQ(target, row.target) << row.text;
  }
  std::string kept = "old";
  EXPECT_EQ(LinkTargetFor("", &kept), 0);
  EXPECT_EQ(kept, "old");
}

TEST(Options, FilterKeysAddedAndRemoved) {
  EXPECT_EQ(WithFilterKey(".jpg,", "heic", true), ".jpg,heic");
  EXPECT_EQ(WithFilterKey("", "heic", true), "heic");
  EXPECT_EQ(WithFilterKey(".jpg,heic,heic", "heic", false), ".jpg");
  EXPECT_EQ(WithFilterKey(".jpg", ".jpg", true), ".jpg");
  EXPECT_TRUE(HasFilterKey(".jpg,rmvb", "rmvb"));
  EXPECT_FALSE(HasFilterKey(".jpg,rmvb", "rmv"));
}

TEST(Options, AppliedValuesReadBackAndKeepWhatTheyMean) {
  TempDir dir;
  SettingsStore settings(dir.path(), false);
  settings.DayStartsAt = "";  // means 00:00: kept as written
  settings.MediaDates = 7;    // on: kept as written
  settings.Language = "zh_CN";
  OptionValues values = ReadOptions(settings);
  EXPECT_EQ(values.day_start_minutes, 0);
  EXPECT_TRUE(values.switches[0]);
  values.switches[4] = true;  // RenameConflicts
  values.by_year = false;
  values.language = Language::kEnglish;
  ApplyOptions(values, &settings);
  EXPECT_EQ(settings.DayStartsAt, "");
  EXPECT_EQ(settings.MediaDates, 7);
  EXPECT_EQ(settings.RenameConflicts, 1);
  EXPECT_EQ(settings.IsClassifyByYear, 0);
  EXPECT_EQ(settings.Language, "en");
  values.day_start_minutes = 90;
  ApplyOptions(values, &settings);
  EXPECT_EQ(settings.DayStartsAt, "01:30");
}

}  // namespace
}  // namespace nandell
