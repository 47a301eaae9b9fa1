#pragma once

// Planning a file's place, apart from doing it: pure functions of the run's config and the
// facts of one file, without any disk access.

#include <cstdint>
#include <optional>
#include <string>

#include "engine/capture_date.h"
#include "engine/run_config.h"

namespace nandell {

/// True when the run takes the file at `path` (as listed): the last four bytes of the path,
/// its ASCII letters lower-cased, occur anywhere in `file_filters` (a case-sensitive search,
/// no splitting at commas; a path of four bytes or fewer is its own key).
bool TakesFile(const std::string& file_filters, const std::string& path);

/// Where one file goes.
struct TargetPlan {
  /// By year: the year folder ("OUTPUT" + "YYYY年/"), made before the target folder even
  /// when the target folder then cannot be. Empty by day.
  std::string year_folder;
  /// The target folder, ending with "/".
  std::string folder;
  /// The target path: the target folder and the name as listed.
  std::string path;
};

/// True when the plan of a file with `capture_date` needs the file's last-write time: the
/// date is empty or not a safe folder name (as PlanTarget takes it), or, by year, has no year part
/// (begins with "-").
bool NeedsLastWrite(const RunConfig& config, const std::string& capture_date);

/// The day folder's name of `stamp` in a run of `config`: a capture time of day moved by the
/// config's shift and then, before the config's start of the day, taken as the day before,
/// as "YYYY-MM-DD"; `stamp.date` unchanged when it has no time of day (or both are 0).
std::string PlannedDay(const RunConfig& config, const CaptureStamp& stamp);

/// The local day of the last-write time `last_write` (seconds since the epoch) as the plan
/// files a file by it: "YYYY-MM-DD", the day before for a time of day before the config's start
/// of the day; "0000-00-00" when missing or beyond the calendar.
std::string LastWriteDay(const RunConfig& config, std::optional<int64_t> last_write);

/// The target of the file `name`. `capture_date` is GetCaptureDate's answer; one that is not
/// a safe single folder name (on Windows also one that Windows cannot hold) counts as empty.
/// Without a usable date, and by year without a year part before the date's first "-", the file
/// goes by its local last-write day (LastWriteDay); `last_write` (seconds since the epoch) missing
/// or beyond the calendar gives "0000-00-00" and the year "0000".
TargetPlan PlanTarget(const RunConfig& config, const std::string& name, std::string capture_date,
                      std::optional<int64_t> last_write);

}  // namespace nandell
