#include "engine/plan.h"

#include "engine/capture_date.h"
#include "platform/calendar.h"
#include "platform/path.h"
#include "platform/text.h"

namespace nandell {
namespace {

// The date text with anything unsafe as a folder name taken as no date; on Windows also a
// name that Windows cannot hold ("2014:12:31", one ending with a blank), whose folder could
// never be made.
std::string UsableDate(std::string date) {
  if (!IsSafeFolderName(date)) date.clear();
#ifdef _WIN32
  if (!WindowsAcceptsName(date)) date.clear();
#endif
  return date;
}

// The local last-write day and year, or "0000-00-00" and "0000" without a usable time.
void LastWriteDay(const RunConfig& config, std::optional<int64_t> last_write, std::string* day,
                  std::string* year) {
  if (last_write && config.day_start_minutes == 0) {
    LocalDay(*last_write, day, year);
    return;
  }
  *day = LastWriteDay(config, last_write);
  *year = day->substr(0, 4);  // four digits: the calendar of LocalTimeOf ends in 9999
}

}  // namespace

std::string PlannedDay(const RunConfig& config, const CaptureStamp& stamp) {
  if (!stamp.time || !stamp.time->has_time ||
      (config.shift_minutes == 0 && config.day_start_minutes == 0)) {
    return stamp.date;
  }
  return DayText(
      DayStarting(AddMinutes(*stamp.time, config.shift_minutes), config.day_start_minutes));
}

std::string LastWriteDay(const RunConfig& config, std::optional<int64_t> last_write) {
  std::string day = "0000-00-00";
  if (!last_write) return day;
  if (config.day_start_minutes == 0) {
    std::string year;
    LocalDay(*last_write, &day, &year);
    return day;
  }
  const std::optional<LocalTime> time = LocalTimeOf(*last_write);
  return time ? DayText(DayStarting(*time, config.day_start_minutes)) : day;
}

bool TakesFile(const std::string& file_filters, const std::string& path) {
  const std::string_view tail =
      path.size() <= 4 ? std::string_view(path) : std::string_view(path).substr(path.size() - 4);
  return file_filters.find(AsciiLower(tail)) != std::string::npos;
}

bool NeedsLastWrite(const RunConfig& config, const std::string& capture_date) {
  const std::string date = UsableDate(capture_date);
  return date.empty() || (config.by_year && date.front() == '-');
}

TargetPlan PlanTarget(const RunConfig& config, const std::string& name, std::string capture_date,
                      std::optional<int64_t> last_write) {
  std::string date = UsableDate(std::move(capture_date));
  TargetPlan plan;
  if (config.by_year) {
    std::string year = date.substr(0, date.find('-'));
    if (year.empty()) LastWriteDay(config, last_write, &date, &year);
    plan.year_folder = config.output_folder + year + "年" + kPathSeparator;
    plan.folder = plan.year_folder + date + kPathSeparator;
  } else {
    if (date.empty()) {
      std::string year;
      LastWriteDay(config, last_write, &date, &year);
    }
    plan.folder = config.output_folder + date + kPathSeparator;
  }
  plan.path = plan.folder + name;
  return plan;
}

}  // namespace nandell
