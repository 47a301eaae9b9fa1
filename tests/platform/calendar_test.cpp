// The local calendar of a moment.
#include "platform/calendar.h"

#include <gtest/gtest.h>

#include <cstdint>

#include "tests/support/temp_tree.h"

namespace nandell {
namespace {

TEST(CalendarTest, LocalDay) {
  std::string day, year;
  EXPECT_TRUE(LocalDay(testing::LocalNoon(2014, 12, 31), &day, &year));
  EXPECT_EQ(day, "2014-12-31");
  EXPECT_EQ(year, "2014");
  // Beyond what the calendar conversion can hold.
  EXPECT_FALSE(LocalDay(INT64_MAX, &day, &year));
  EXPECT_EQ(day, "0000-00-00");
  EXPECT_EQ(year, "0000");
}

}  // namespace
}  // namespace nandell
