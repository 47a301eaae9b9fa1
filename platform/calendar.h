#pragma once

// The local calendar of a moment: its day and its time as text, by the time zone's rules of
// that moment (daylight saving time included).

#include <cstdint>
#include <string>

namespace nandell {

/// `seconds` (since the epoch) in local time through strftime's `format`; empty when the
/// calendar cannot represent it.
std::string LocalTimeText(int64_t seconds, const char* format);

/// `seconds` as local "%Y-%m-%d" and "%Y". Times the calendar cannot represent give
/// "0000-00-00" and "0000" and return false.
bool LocalDay(int64_t seconds, std::string* day, std::string* year);

}  // namespace nandell
