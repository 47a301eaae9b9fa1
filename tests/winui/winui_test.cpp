// The Windows window's pieces that need no display, on the program's own resources: the folder
// picker's path rules and questions, the strips' sizes as the image buttons load them, and the
// artwork in the chosen language.
#include <gtest/gtest.h>

#include <windows.h>
// After windows.h, which they build on.
#include <objidl.h>
// GDI+ after the COM declarations it builds on.
#include <gdiplus.h>

#include <string>

#include "platform/file.h"
#include "platform/translate.h"
#include "tests/support/jpeg_builder.h"
#include "winui/folder_picker.h"
#include "winui/message_box.h"
#include "winui/png_button.h"
#include "winui/resources.h"

namespace nandell::winui {
namespace {

using test_support::TempDir;

TEST(FolderPicker, DrivePathRules) {
  const struct {
    const char* path;
    int32_t result;
  } rows[] = {
      {"C:\\", 0},           {"c:\\Photos\\2024", 0}, {"C:", 1},
      {"C:Photos", 1},       {"1:\\Photos", 1},       {"\\\\server\\share", 1},
      {"C:\\Photos\\", 1},   {"C:\\a\\\\b", 1},       {"C:\\ a", 1},
      {"C:\\a.", 1},         {"C:\\..", 1},           {"C:\\a?b", 1},
      {"C:\\a|b", 1},        {"Photos", 1},           {"", 1},
      {"C:\\照片\\春节", 0},
  };
  for (const auto& row : rows)
    EXPECT_EQ(FolderPicker::CheckOrCreatePath(row.path, true), row.result) << row.path;
  EXPECT_EQ(FolderPicker::CheckOrCreatePath(nullptr, true), 1);
}

TEST(FolderPicker, MissingLevelsMadeAfterOneQuestion) {
  TempDir dir;
  const std::string path = dir.File("新的") + "\\2024";
  ClearShownBoxes();
  QueueMessageBoxAnswer(IDNO);
  EXPECT_EQ(FolderPicker::ConfirmFolder(path, nullptr), -1);
  EXPECT_FALSE(PathExists(path));
  QueueMessageBoxAnswer(IDYES);
  EXPECT_EQ(FolderPicker::ConfirmFolder(path, nullptr), 0);
  EXPECT_TRUE(IsFolder(path));
  ASSERT_EQ(ShownBoxes().size(), 2u);
  EXPECT_EQ(ShownBoxes()[1].caption, "Nandell");
  EXPECT_EQ(ShownBoxes()[1].text,
            "The folder:\n\n" + path + "\n\ndoes not exist. Do you want the folder to be created?");
  EXPECT_EQ(ShownBoxes()[1].type, static_cast<UINT>(MB_YESNO | MB_ICONQUESTION));
  // Invalid, and a file where the folder should be: the two error boxes, nothing asked or made.
  ClearShownBoxes();
  QueueMessageBoxAnswer(IDOK);
  EXPECT_EQ(FolderPicker::ConfirmFolder(path + "\\", nullptr), 1);
  const std::string file = dir.File("file");
  ASSERT_TRUE(test_support::WriteFile(file, test_support::Bytes{'x'}));
  QueueMessageBoxAnswer(IDYES);
  QueueMessageBoxAnswer(IDOK);
  EXPECT_EQ(FolderPicker::ConfirmFolder(file, nullptr), 2);
  ASSERT_EQ(ShownBoxes().size(), 3u);
  EXPECT_EQ(ShownBoxes()[0].text, "The folder:\n\n" + path + "\\\n\nis invalid. Please reenter.");
  EXPECT_EQ(ShownBoxes()[2].text,
            "The folder:\n\n" + file + "\n\ncan not be created. Please double check.");
  EXPECT_EQ(ShownBoxes()[2].type, static_cast<UINT>(MB_OK | MB_ICONEXCLAMATION));
}

class Artwork : public testing::Test {
 protected:
  void SetUp() override { Gdiplus::GdiplusStartup(&token_, &input_, nullptr); }
  void TearDown() override {
    std::string error;
    SetLanguage(Language::kChinese, "", &error);
    Gdiplus::GdiplusShutdown(token_);
  }
  Gdiplus::GdiplusStartupInput input_;
  ULONG_PTR token_ = 0;
};

TEST_F(Artwork, StripsGiveTheButtonsTheirSlices) {
  const struct {
    uint32_t id;
    int width, height;
  } rows[] = {{IDP_OPTIONS, 16, 16},   {IDP_ABOUT, 16, 16},         {IDP_CLOSE, 38, 34},
              {IDP_MINIMIZE, 38, 34},  {IDP_PHOTO_FOLDER, 155, 52}, {IDP_OUTPUT_FOLDER, 155, 52},
              {IDP_ORGANIZE, 155, 52}, {IDP_STOP, 24, 24},          {IDP_ABOUT_CLOSE, 16, 16}};
  for (const auto& row : rows) {
    PngButton button;
    button.LoadPng(row.id);
    EXPECT_TRUE(button.HasImage()) << row.id;
    EXPECT_EQ(button.SliceWidth(), row.width) << row.id;
    EXPECT_EQ(button.ImageHeight(), row.height) << row.id;
  }
  PngButton missing;
  missing.LoadPng(139);
  EXPECT_FALSE(missing.HasImage());
}

TEST_F(Artwork, SkinsCursorAndEnglishDrawings) {
  for (const auto& [id, width, height] :
       {std::tuple{IDB_SKIN_MAIN, 622, 416}, std::tuple{IDB_SKIN_ABOUT, 360, 200}}) {
    HBITMAP skin = LoadArtworkBitmap(id);
    ASSERT_NE(skin, nullptr) << id;
    BITMAP info{};
    ::GetObjectW(skin, sizeof info, &info);
    EXPECT_EQ(info.bmWidth, width);
    EXPECT_EQ(info.bmHeight, height);
    ::DeleteObject(skin);
  }
  ICONINFO cursor{};
  ASSERT_TRUE(::GetIconInfo(LinkCursor(), &cursor));
  EXPECT_EQ(cursor.xHotspot, 12u);
  EXPECT_EQ(cursor.yHotspot, 1u);
  ::DeleteObject(cursor.hbmMask);
  if (cursor.hbmColor != nullptr) ::DeleteObject(cursor.hbmColor);

  // The organize strip carries its label: English has its own drawing; the close cross not.
  auto resource = [](uint32_t id) {
    uint32_t size = 0;
    CGlobal::LoadResourceData(id, nullptr, &size);
    std::string bytes(size, '\0');
    CGlobal::LoadResourceData(id, bytes.data(), &size);
    return bytes;
  };
  const std::string organize = resource(IDP_ORGANIZE);
  const std::string close = resource(IDP_CLOSE);
  std::string error;
  ASSERT_TRUE(SetLanguage(Language::kEnglish, NANDELL_LOCALE_DIR, &error)) << error;
  EXPECT_NE(resource(IDP_ORGANIZE), organize);
  EXPECT_FALSE(resource(IDP_ORGANIZE).empty());
  EXPECT_EQ(resource(IDP_CLOSE), close);
}

}  // namespace
}  // namespace nandell::winui
