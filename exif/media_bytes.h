#pragma once

// Small helpers shared by the media readers: fixed-order integer reads, four-character codes,
// and finding the TIFF header inside an Exif payload.

#include <cstddef>
#include <cstdint>
#include <string>

#include "exif/byte_source.h"

namespace nandell::media {

/// What a reader that read through `limited` gives: its result `ok`, or false with the reason
/// in `error` (when given) when it was stopped by the limit. What it found stays.
inline bool WithinLimit(const LimitedByteSource& limited, bool ok, std::string* error) {
  if (!limited.Exhausted()) return ok;
  if (error != nullptr) *error = "headers larger than the bytes read per file";
  return false;
}

/// Unsigned big-endian integers of 2, 4 and 8 bytes at `p`.
inline uint16_t Be16(const unsigned char* p) {
  return static_cast<uint16_t>((p[0] << 8) | p[1]);
}
inline uint32_t Be32(const unsigned char* p) {
  return (uint32_t{p[0]} << 24) | (uint32_t{p[1]} << 16) | (uint32_t{p[2]} << 8) | p[3];
}
inline uint64_t Be64(const unsigned char* p) {
  return (uint64_t{Be32(p)} << 32) | Be32(p + 4);
}
/// Unsigned little-endian integers of 2 and 4 bytes at `p`.
inline uint16_t Le16(const unsigned char* p) {
  return static_cast<uint16_t>(p[0] | (p[1] << 8));
}
inline uint32_t Le32(const unsigned char* p) {
  return p[0] | (uint32_t{p[1]} << 8) | (uint32_t{p[2]} << 16) | (uint32_t{p[3]} << 24);
}

/// A four-character code as a big-endian number ('moov' == FourCc("moov")).
constexpr uint32_t FourCc(const char (&code)[5]) {
  return (uint32_t{static_cast<unsigned char>(code[0])} << 24) |
         (uint32_t{static_cast<unsigned char>(code[1])} << 16) |
         (uint32_t{static_cast<unsigned char>(code[2])} << 8) |
         uint32_t{static_cast<unsigned char>(code[3])};
}

/// True when a TIFF header ("II*\0" or "MM\0*") starts at `p`, which holds `size` bytes.
inline bool IsTiffHeader(const unsigned char* p, size_t size) {
  if (size < 8) return false;
  return (p[0] == 'I' && p[1] == 'I' && p[2] == 0x2A && p[3] == 0) ||
         (p[0] == 'M' && p[1] == 'M' && p[2] == 0 && p[3] == 0x2A);
}

/// Where the TIFF header of an Exif payload starts: at 0, or after an "Exif\0\0" prefix.
/// Returns `size` when neither holds one.
inline size_t TiffStart(const unsigned char* p, size_t size) {
  if (IsTiffHeader(p, size)) return 0;
  if (size >= 6 && p[0] == 'E' && p[1] == 'x' && p[2] == 'i' && p[3] == 'f' && p[4] == 0 &&
      p[5] == 0 && IsTiffHeader(p + 6, size - 6)) {
    return 6;
  }
  return size;
}

/// The text of `size` bytes at `p` up to its first NUL, at most `limit` bytes.
inline std::string TextOf(const unsigned char* p, size_t size, size_t limit = 64) {
  std::string text;
  for (size_t i = 0; i < size && i < limit && p[i] != 0; ++i) text += static_cast<char>(p[i]);
  return text;
}

}  // namespace nandell::media
