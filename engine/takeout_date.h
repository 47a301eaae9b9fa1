#pragma once

// The capture time of a Google Takeout JSON sidecar, read by a small bounded scanner of the
// JSON it is written in (no general JSON library: one member of one member matters).

#include <cstdint>
#include <optional>
#include <string_view>

namespace nandell {

/// The photoTakenTime.timestamp member of the top-level object of the Takeout JSON `json`:
/// seconds since 1970 (UTC), written as a string of digits or as a number. Nothing when it
/// is absent, not a whole number above 0, or the text is not JSON up to it. Nesting deeper
/// than a bound stops the scan; the scan is linear in the size of `json`.
std::optional<int64_t> TakeoutTakenTime(std::string_view json);

}  // namespace nandell
