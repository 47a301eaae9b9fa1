// The translation: the catalog reader (on the build's own catalogs, in both
// byte orders, and on damaged ones), and Tr/TrFormat with the real catalog, a missing one and
// one whose placeholders are wrong.
#include "platform/translate.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <iterator>
#include <sstream>

#include "platform/mo_catalog.h"

namespace nandell {
namespace {

const std::string kCatalog = "/en/LC_MESSAGES/nandell.mo";
const std::string kBuildLocale = NANDELL_LOCALE_DIR;
const std::string kBigEndianLocale = NANDELL_TEST_LOCALES_DIR "/locale-big";
const std::string kWrongLocale = NANDELL_TEST_LOCALES_DIR "/locale-wrong";

std::string Bytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// Every test leaves the designed Chinese chosen.
class TranslateTest : public ::testing::Test {
 protected:
  void TearDown() override {
    std::string error;
    ASSERT_TRUE(SetLanguage(Language::kChinese, "", &error));
  }
};

TEST_F(TranslateTest, ConversionsCompareByTypeAndOrder) {
  const struct {
    const char* a;
    const char* b;
    bool same;
  } rows[] = {
      {"%c%c整理 %d 个", "%c%cOrganized %d", true},
      {"%d: %s", "%5d: %-10s", true},   // width and flags do not change the argument
      {"100%% %s", "%s, 100%%", true},  // "%%" takes no argument
      {"%d %s", "%s %d", false},        // order
      {"%c%c", "%c", false},            // count
      {"%d", "%ld", false},             // length modifier
      {"%s", "%1$s", false},            // position
      {"%*d", "%d", false},             // a width taken from the arguments
      {"%s", "%s%", false},             // a conversion cut off at the end
  };
  for (const auto& row : rows) {
    EXPECT_EQ(SameConversions(row.a, row.b), row.same) << row.a << " / " << row.b;
  }
}

TEST_F(TranslateTest, CatalogReadInBothByteOrders) {
  MoCatalog little, big;
  std::string error;
  ASSERT_TRUE(little.Load(kBuildLocale + kCatalog, &error)) << error;
  ASSERT_TRUE(big.Load(kBigEndianLocale + kCatalog, &error)) << error;
  EXPECT_GT(little.Size(), 40u);
  EXPECT_EQ(big.Size(), little.Size());
  EXPECT_STREQ(little.Find("提示"), "Notice");
  EXPECT_STREQ(big.Find("%c%c%c%c整理文件 %d 个, 失败 %d 个"),
               "%c%c%c%cOrganized %d files, %d failed");
  EXPECT_EQ(little.Find("not a source text"), nullptr);
  EXPECT_EQ(little.Find(""), nullptr);  // the header is no translation
  EXPECT_FALSE(little.Load(kBuildLocale + "/missing.mo", &error));
}

TEST_F(TranslateTest, DamagedCatalogsAreRefusedWithoutReadingPastTheirEnd) {
  const std::string bytes = Bytes(kBuildLocale + kCatalog);
  ASSERT_GT(bytes.size(), 100u);
  MoCatalog catalog;
  std::string error;
  // Every shorter prefix fails: some table or text reaches past the end.
  for (size_t length = 0; length < bytes.size(); ++length) {
    EXPECT_FALSE(catalog.Parse(std::string_view(bytes).substr(0, length), &error)) << length;
    EXPECT_EQ(catalog.Size(), 0u);
  }
  auto with_word = [&bytes](size_t at, uint32_t value) {
    std::string damaged = bytes;
    for (int i = 0; i < 4; ++i) damaged[at + i] = static_cast<char>((value >> (8 * i)) & 0xFF);
    return damaged;
  };
  const struct {
    const char* name;
    std::string bytes;
    const char* error;
  } rows[] = {
      {"magic", with_word(0, 0x12345678), "wrong magic number"},
      {"major revision", with_word(4, 0x00020000), "unknown catalog revision 2"},
      {"count beyond the tables", with_word(8, 0x7FFFFFFF), "reaches past the end"},
      {"table offset", with_word(12, 0xFFFFFFF0), "reaches past the end"},
  };
  for (const auto& row : rows) {
    EXPECT_FALSE(catalog.Parse(row.bytes, &error)) << row.name;
    EXPECT_NE(error.find(row.error), std::string::npos) << row.name << ": " << error;
  }
  std::string other_charset = bytes;
  const size_t charset = other_charset.find("charset=UTF-8");
  ASSERT_NE(charset, std::string::npos);
  other_charset.replace(charset, 13, "charset=GBK  ");
  EXPECT_FALSE(catalog.Parse(other_charset, &error));
  EXPECT_EQ(error, "the catalog's charset is not UTF-8");
}

TEST_F(TranslateTest, TextsFollowTheChosenLanguage) {
  const char* summary = "%c%c%c%c整理文件 %d 个, 失败 %d 个";
  EXPECT_EQ(CurrentLanguage(), Language::kChinese);
  EXPECT_EQ(Tr(summary), summary);  // the source text itself, no catalog asked
  EXPECT_EQ(TrFormat(summary, '\r', '\n', '\r', '\n', 3, 1), "\r\n\r\n整理文件 3 个, 失败 1 个");

  std::string error;
  ASSERT_TRUE(SetLanguage(Language::kEnglish, kBuildLocale, &error)) << error;
  EXPECT_EQ(CurrentLanguage(), Language::kEnglish);
  EXPECT_STREQ(Tr("提示"), "Notice");
  EXPECT_EQ(TrFormat(summary, '\r', '\n', '\r', '\n', 3, 1), "\r\n\r\nOrganized 3 files, 1 failed");
  const char* unknown = "不在目录中的文字";
  EXPECT_EQ(Tr(unknown), unknown);

  // A folder without the catalog: refused, the language stays.
  EXPECT_FALSE(SetLanguage(Language::kEnglish, kBuildLocale + "/none", &error));
  EXPECT_NE(error.find("no English catalog"), std::string::npos) << error;

  ASSERT_TRUE(SetLanguage(Language::kChinese, "", &error));
  EXPECT_STREQ(Tr("提示"), "提示");
}

TEST_F(TranslateTest, TranslationsWithOtherPlaceholdersAreNeverUsedToFormat) {
  std::string error;
  ASSERT_TRUE(SetLanguage(Language::kEnglish, kWrongLocale, &error)) << error;
  EXPECT_STREQ(Tr("提示"), "Heads up");  // this catalog is the one in use
  EXPECT_EQ(TrFormat("复制文件失败: %s -> %s%c%c", "/a.jpg", "/b.jpg", '\r', '\n'),
            "复制文件失败: /a.jpg -> /b.jpg\r\n");
  EXPECT_EQ(TrFormat("%c%c%c%c整理文件 %d 个, 失败 %d 个", '\r', '\n', '\r', '\n', 2, 0),
            "\r\n\r\n整理文件 2 个, 失败 0 个");
}

#ifndef _WIN32
// Programs the process starts get the user's LANGUAGE, not the one set for the English texts.
// (Each test case runs in a process of its own: this one sets LANGUAGE before any other
// choice of English.)
TEST_F(TranslateTest, StartedProgramsKeepTheUsersLanguage) {
  ASSERT_EQ(setenv("LANGUAGE", "de:fr", 1), 0);
  std::string error;
  ASSERT_TRUE(SetLanguage(Language::kEnglish, kBuildLocale, &error)) << error;
  EXPECT_STREQ(std::getenv("LANGUAGE"), "en");
  int found = 0;
  for (const std::string& entry : UserEnvironment()) {
    if (entry.rfind("LANGUAGE=", 0) == 0) {
      EXPECT_EQ(entry, "LANGUAGE=de:fr");
      ++found;
    }
  }
  EXPECT_EQ(found, 1);
}
#endif

}  // namespace
}  // namespace nandell
