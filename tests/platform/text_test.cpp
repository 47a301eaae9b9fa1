// The shared text helpers: ASCII letter case and decimal integers.
#include "platform/text.h"

#include <gtest/gtest.h>

namespace nandell {
namespace {

TEST(TextTest, AsciiLetterCaseOnly) {
  EXPECT_EQ(AsciiLower("/Pics/照片/IMG.JPG"), "/pics/照片/img.jpg");
  EXPECT_EQ(AsciiLower("AZ@[`{az"), "az@[`{az");
  EXPECT_TRUE(EqualsIgnoringAsciiCase("E:/Pics/", "e:/pics/"));
  EXPECT_FALSE(EqualsIgnoringAsciiCase("E:/Pics/", "E:/Pics"));
  EXPECT_FALSE(EqualsIgnoringAsciiCase("@", "`"));  // one bit apart, not letters
}

TEST(TextTest, IntegersReadLikeAtoiWrappingOrClamped) {
  struct Row {
    const char* text;
    int32_t wrapped;
    int32_t clamped;
  } rows[] = {
      {"+7", 7, 7},
      {"  42", 42, 42},
      {"\t\n 01", 1, 1},
      {"12abc", 12, 12},
      {"-", 0, 0},
      {"abc", 0, 0},
      {"", 0, 0},
      {"0x10", 0, 0},
      {"2147483647", INT32_MAX, INT32_MAX},
      {"-2147483648", INT32_MIN, INT32_MIN},
      {"2147483648", INT32_MIN, INT32_MAX},
      {"4294967297", 1, INT32_MAX},
      {"-4294967295", 1, INT32_MIN},
      {"-99999999999999999999999999", 469762049 /* -N mod 2^32 */, INT32_MIN},
  };
  for (const Row& row : rows) {
    EXPECT_EQ(ParseInt32(row.text, IntOverflow::kWrap), row.wrapped) << row.text;
    EXPECT_EQ(ParseInt32(row.text, IntOverflow::kClamp), row.clamped) << row.text;
  }
}

}  // namespace
}  // namespace nandell
