#include "platform/calendar.h"

#include <ctime>

namespace nandell {

std::string LocalTimeText(int64_t seconds, const char* format) {
  time_t t = static_cast<time_t>(seconds);
  struct tm tm_local;
  char text[128];
  if (::localtime_r(&t, &tm_local) == nullptr ||
      std::strftime(text, sizeof text, format, &tm_local) == 0) {
    return std::string();
  }
  return text;
}

bool LocalDay(int64_t seconds, std::string* day, std::string* year) {
  time_t t = static_cast<time_t>(seconds);
  struct tm tm_local;
  char day_text[64];
  char year_text[32];
  if (::localtime_r(&t, &tm_local) == nullptr ||
      std::strftime(day_text, sizeof day_text, "%Y-%m-%d", &tm_local) == 0 ||
      std::strftime(year_text, sizeof year_text, "%Y", &tm_local) == 0) {
    *day = "0000-00-00";
    *year = "0000";
    return false;
  }
  *day = day_text;
  *year = year_text;
  return true;
}

}  // namespace nandell
