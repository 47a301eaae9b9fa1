#pragma once

// The date and time that phones, cameras, messengers and screenshot tools write into the names
// of their files.

#include <cstdint>
#include <optional>
#include <string_view>

#include "engine/local_time.h"

namespace nandell {

/// The local date (and time, when the name holds one) written in the file name `name`, read
/// from the first group of digits that forms one of these (any letters around them):
/// YYYYMMDD, alone or followed by "_" or "-" and HHMMSS (up to three more digits of a
/// fraction) or HH_MM_SS; YYYYMMDDHHMMSS; YYYY-MM-DD (or with "_"), alone or followed by "-",
/// "_", " ", "T" or " at " and HHMMSS or H[H]-MM-SS (also "." ":" "_" between, and " AM" /
/// " PM"); and 13 digits after "mmexport" or "wx_camera_", milliseconds since 1970 (UTC),
/// turned into local time. A date must be a calendar day of a year from 1990 to the year
/// after that of `now` (seconds since the epoch), a time a time of day; digits joined to
/// letters on both sides or mixed with other digits in one word (a hash), a counter
/// ("IMG_2041") and numbers of other lengths (an 11-digit phone number) give nothing.
std::optional<LocalTime> NameDate(std::string_view name, int64_t now);

}  // namespace nandell
