#pragma once

// The capture date of an XMP sidecar, read by a small bounded scanner of the XML it is
// written in (no general XML library: only names, attributes, texts and namespaces matter).

#include <cstdint>
#include <optional>
#include <string_view>

#include "engine/local_time.h"

namespace nandell {

/// Reads an ISO 8601 date as XMP writes it: "YYYY-MM-DD", then optionally "T" (or a blank)
/// and "HH:MM" or "HH:MM:SS" with any fraction and zone after it; the date and time as
/// written (its zone ignored, as a camera's own date is a local time). Nothing when it is not
/// a calendar day of a year from 1900, not a time of day, or a day after the local day of
/// `now` + 24 hours.
std::optional<LocalTime> ParseXmpDate(std::string_view text, int64_t now);

/// The capture date of the XMP packet `xmp`: the first usable exif:DateTimeOriginal, else
/// xmp:CreateDate, else photoshop:DateCreated (each named by its namespace, whatever prefix
/// the file gives it), as an attribute or as an element's text, read by ParseXmpDate. The
/// scan is linear in the size of `xmp`, keeps at most a bounded number of namespaces and
/// levels, and stops at the first malformed tag with what it has found.
std::optional<LocalTime> XmpCaptureDate(std::string_view xmp, int64_t now);

}  // namespace nandell
