#pragma once

// The push button of the skinned windows: an owner-drawn button whose face is one slice of a
// four-slice PNG strip (normal, hover, pressed, greyed) among the program's resources, decoded
// and drawn with GDI+ (its flat interface).

#include <windows.h>
// After windows.h, which it builds on.
#include <objidl.h>

#include <cstdint>

namespace nandell::winui {

/// A button control (BS_OWNERDRAW, from its dialog's template) drawn from a PNG strip. It sizes
/// itself to one slice, shows the hover slice from a hover notification (1 ms after the pointer
/// comes to rest) to the pointer's leaving, the pressed slice while held down (pressed wins),
/// never the greyed slice (a disabled button looks like an enabled one), and nothing but the
/// artwork over its window's skin. A double click counts as two presses. GDI+ must be started
/// while a button holds an image; the image is released with the button.
class PngButton {
 public:
  PngButton() = default;
  ~PngButton();
  PngButton(const PngButton&) = delete;
  PngButton& operator=(const PngButton&) = delete;

  /// Takes over `button` (subclassing it); Detach lets it go (the image is kept).
  void Attach(HWND button);
  void Detach();
  /// The button attached now, or null.
  HWND Window() const { return window_; }

  /// Loads strip `id` (resource type "png") and resizes the button to one slice, keeping its
  /// top-left corner. A missing or empty strip leaves the button's size and no image.
  void LoadPng(uint32_t id);

  /// Draws the slice for `item`'s state over `background` (the parent's skin brush, aligned to
  /// the parent's client area; may be null). The parent calls it on WM_DRAWITEM.
  void DrawItem(const DRAWITEMSTRUCT& item, HBRUSH background);

  /// Whether a strip image is held, and its sizes (0 without one).
  bool HasImage() const { return image_ != nullptr; }
  int ImageHeight() const { return image_height_; }
  int SliceWidth() const { return slice_width_; }
  /// The strip's x offset for a state: 2 slices when pressed, else 1 when hovered, else 0.
  int SliceOffset(bool pressed) const;

 private:
  static LRESULT CALLBACK Procedure(HWND window, UINT message, WPARAM wparam, LPARAM lparam,
                                    UINT_PTR id, DWORD_PTR self);
  void Release();

  HWND window_ = nullptr;
  int32_t tracking_ = 0;
  int32_t hover_ = 0;
  int image_width_ = 0;
  int image_height_ = 0;
  int slice_width_ = 0;
  void* image_ = nullptr;  // the GDI+ bitmap
  IStream* stream_ = nullptr;
};

}  // namespace nandell::winui
