// libFuzzer target over the sidecar readers (XMP and Takeout JSON) and the name reader, all
// given the same arbitrary bytes. A date they give must be a calendar day with a time of day,
// a timestamp one of the calendar, and every read must stay inside the bytes (AddressSanitizer
// checks that); the cost of a hostile input stays linear (libFuzzer's timeout checks that).
#include <cstdint>
#include <string_view>

#include "engine/name_date.h"
#include "engine/takeout_date.h"
#include "engine/xmp_date.h"

namespace {

// A fixed "now", so that a finding repeats: 2026-06-15.
constexpr int64_t kNow = 1781524800;

void Check(const std::optional<nandell::LocalTime>& time) {
  if (!time) return;
  if (!nandell::IsCalendarDay(time->year, time->month, time->day) || time->year < 1900 ||
      !nandell::IsClockTime(time->hour, time->minute, time->second)) {
    __builtin_trap();
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);
  Check(nandell::XmpCaptureDate(bytes, kNow));
  const std::optional<int64_t> seconds = nandell::TakeoutTakenTime(bytes);
  if (seconds && (*seconds <= 0 || *seconds > 253402300799)) __builtin_trap();
  // A file name is at most 255 bytes.
  Check(nandell::NameDate(bytes.substr(0, 255), kNow));
  return 0;
}
