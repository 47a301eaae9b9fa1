#pragma once

// The program's own resources (res/nandell.rc): raw resource bytes, the memory stream GDI+ reads
// a PNG strip from, and the artwork in the chosen language (the English drawing of an artwork
// that carries text while English is chosen, else the designed one).

#include <windows.h>
// After windows.h, which it builds on.
#include <objidl.h>

#include <cstdint>

#include "res/resource_ids.h"

namespace nandell::winui {

/// Stateless helpers around the executable's resources.
class CGlobal {
 public:
  /// Reads resource `id` (low 16 bits) of `type` (null or empty means "png"; at most 19
  /// characters) from the executable. Returns its size in bytes, 0 when it is missing or `size`
  /// is null (then *size is left alone). `*size` is the capacity of `dest` on entry and the
  /// resource's size on return; the bytes are copied only when `dest` is non-null and the
  /// capacity holds the whole resource.
  static uint32_t LoadResourceData(uint32_t id, void* dest, uint32_t* size,
                                   const char* type = nullptr);
  /// Copies `size` bytes of `data` into a new block of global memory and makes a stream on it
  /// that frees the block when released. On success `*stream` receives the stream; returns the
  /// block (null when nothing was allocated). Failures are logged and leave `*stream` alone.
  static HGLOBAL SaveData2Stream(const void* data, int32_t size, IStream** stream);
};

/// Resource `id` of `type` in the chosen language: the English one while English is chosen and
/// the resource has one, else the language-neutral (designed) one. Null when missing.
HRSRC FindArtwork(uint32_t id, const wchar_t* type);

/// Skin bitmap `id` (RT_BITMAP) in the chosen language as a device-dependent bitmap the caller
/// deletes; null when missing.
HBITMAP LoadArtworkBitmap(uint32_t id);

/// The pointing-hand link cursor (resource 143, hot spot 12, 1); the system's hand when missing.
/// Shared; never destroyed.
HCURSOR LinkCursor();

/// The application icon (resource 128) at `size` pixels square; shared, never destroyed.
HICON AppIcon(int size);

}  // namespace nandell::winui
