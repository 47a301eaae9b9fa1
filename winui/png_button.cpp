#include "winui/png_button.h"

#include <commctrl.h>
// GDI+'s flat interface, after the COM and GDI declarations it builds on.
#include <gdiplus.h>

#include <vector>

#include "winui/resources.h"

namespace nandell::winui {

namespace gdip = Gdiplus::DllExports;

PngButton::~PngButton() {
  Detach();
  Release();
}

void PngButton::Release() {
  if (image_ != nullptr) gdip::GdipDisposeImage(static_cast<Gdiplus::GpImage*>(image_));
  image_ = nullptr;
  // GDI+ reads a stream-based image lazily: the stream goes with the image, not before.
  if (stream_ != nullptr) stream_->Release();
  stream_ = nullptr;
}

void PngButton::Attach(HWND button) {
  Detach();
  if (button == nullptr) return;
  window_ = button;
  tracking_ = 0;
  hover_ = 0;
  ::SetWindowSubclass(button, Procedure, 0, reinterpret_cast<DWORD_PTR>(this));
}

void PngButton::Detach() {
  if (window_ != nullptr) ::RemoveWindowSubclass(window_, Procedure, 0);
  window_ = nullptr;
}

void PngButton::LoadPng(uint32_t id) {
  // Size first, then the bytes.
  uint32_t size = 0;
  if (CGlobal::LoadResourceData(id, nullptr, &size, "png") == 0 || size == 0) return;
  std::vector<char> bytes(size, '\0');
  uint32_t capacity = size;
  if (CGlobal::LoadResourceData(id, bytes.data(), &capacity, "png") != size) return;
  IStream* stream = nullptr;
  CGlobal::SaveData2Stream(bytes.data(), static_cast<int32_t>(size), &stream);
  Release();
  stream_ = stream;
  Gdiplus::GpBitmap* bitmap = nullptr;
  if (stream_ == nullptr || gdip::GdipCreateBitmapFromStream(stream_, &bitmap) != Gdiplus::Ok)
    bitmap = nullptr;
  image_ = bitmap;
  UINT width = 0, height = 0;
  if (bitmap != nullptr) {
    gdip::GdipGetImageWidth(bitmap, &width);
    gdip::GdipGetImageHeight(bitmap, &height);
  }
  image_width_ = static_cast<int>(width);
  image_height_ = static_cast<int>(height);
  slice_width_ = image_width_ / 4;
  if (window_ == nullptr) return;
  // Keep the top-left corner in the parent, take one slice's size.
  RECT place{};
  ::GetWindowRect(window_, &place);
  ::MapWindowPoints(nullptr, ::GetParent(window_), reinterpret_cast<POINT*>(&place), 2);
  ::MoveWindow(window_, place.left, place.top, slice_width_, image_height_, TRUE);
}

int PngButton::SliceOffset(bool pressed) const {
  if (pressed) return 2 * slice_width_;
  if (hover_ != 0) return slice_width_;
  return 0;
}

void PngButton::DrawItem(const DRAWITEMSTRUCT& item, HBRUSH background) {
  const int width = item.rcItem.right - item.rcItem.left;
  const int height = item.rcItem.bottom - item.rcItem.top;
  if (width <= 0 || height <= 0) return;
  // Drawn off screen: the skin under the button first, so that the slice's transparent edges
  // always fall on the skin, never on the slice drawn before; then the slice.
  HDC memory = ::CreateCompatibleDC(item.hDC);
  HBITMAP canvas = ::CreateCompatibleBitmap(item.hDC, width, height);
  HGDIOBJ old = ::SelectObject(memory, canvas);
  if (background != nullptr) {
    POINT origin{0, 0};
    ::MapWindowPoints(item.hwndItem, ::GetParent(item.hwndItem), &origin, 1);
    ::SetBrushOrgEx(memory, -origin.x, -origin.y, nullptr);
    RECT all{0, 0, width, height};
    ::FillRect(memory, &all, background);
  } else {
    ::BitBlt(memory, 0, 0, width, height, item.hDC, 0, 0, SRCCOPY);
  }
  if (image_ != nullptr) {
    Gdiplus::GpGraphics* graphics = nullptr;
    if (gdip::GdipCreateFromHDC(memory, &graphics) == Gdiplus::Ok) {
      // The disabled and focus states are ignored on purpose: the greyed slice is never drawn.
      const bool pressed = (item.itemState & ODS_SELECTED) != 0;
      gdip::GdipDrawImageRectRectI(graphics, static_cast<Gdiplus::GpImage*>(image_), 0, 0,
                                   slice_width_, image_height_, SliceOffset(pressed), 0,
                                   slice_width_, image_height_, Gdiplus::UnitPixel, nullptr,
                                   nullptr, nullptr);
      gdip::GdipDeleteGraphics(graphics);
    }
  }
  ::BitBlt(item.hDC, 0, 0, width, height, memory, 0, 0, SRCCOPY);
  ::SelectObject(memory, old);
  ::DeleteObject(canvas);
  ::DeleteDC(memory);
}

LRESULT CALLBACK PngButton::Procedure(HWND window, UINT message, WPARAM wparam, LPARAM lparam,
                                      UINT_PTR /*id*/, DWORD_PTR self) {
  auto* button = reinterpret_cast<PngButton*>(self);
  switch (message) {
    case WM_MOUSEMOVE:
      if (button->tracking_ == 0) {
        TRACKMOUSEEVENT track{sizeof track, TME_HOVER | TME_LEAVE, window, 1};
        button->tracking_ = ::_TrackMouseEvent(&track);
      }
      break;
    case WM_MOUSEHOVER:
      button->hover_ = 1;
      ::InvalidateRect(window, nullptr, TRUE);
      return 0;
    case WM_MOUSELEAVE:
      button->tracking_ = 0;
      button->hover_ = 0;
      ::InvalidateRect(window, nullptr, TRUE);
      return 0;
    case WM_LBUTTONDBLCLK:
      // The second press of a double click is a plain press: two presses, two clicks.
      ::InvalidateRect(window, nullptr, TRUE);
      return ::DefSubclassProc(window, WM_LBUTTONDOWN, wparam, lparam);
    case WM_LBUTTONDOWN:
    case WM_LBUTTONUP:
      ::InvalidateRect(window, nullptr, TRUE);
      break;
    case WM_ERASEBKGND:
      return 1;
    case WM_NCDESTROY:
      button->Detach();
      break;
    default:
      break;
  }
  return ::DefSubclassProc(window, message, wparam, lparam);
}

}  // namespace nandell::winui
