// A helper of the Windows window's test (window_check.sh), run under Wine beside the program:
// what the test cannot ask the X server, it asks Windows.
//   wintool shot TITLE OUT.png   the window titled TITLE, as on the screen, into a PNG
//   wintool text TITLE ID        the text of its control ID (UTF-8, line ends as they are)
//   wintool state TITLE ID       "visible" or "hidden", then "enabled" or "disabled"
//   wintool size TITLE           its client area's "WIDTH HEIGHT"
//   wintool rect TITLE ID        its control ID's "X Y WIDTH HEIGHT" in its client area
//   wintool pixel TITLE X Y      the colour on the screen at (X, Y) of it, as "RRGGBB"
// Exits 3 when no window has that title or it has no such control.
#include <windows.h>
// After windows.h, which they build on.
#include <objidl.h>
// GDI+ after the COM declarations it builds on.
#include <gdiplus.h>

#include <cstdio>
#include <cwchar>
#include <string>
#include <vector>

#include "platform/windows_support.h"

namespace {

namespace gdip = Gdiplus::DllExports;

int Shot(HWND window, const wchar_t* path) {
  RECT area{};
  ::GetWindowRect(window, &area);
  const int width = area.right - area.left;
  const int height = area.bottom - area.top;
  HDC screen = ::GetDC(nullptr);
  HDC memory = ::CreateCompatibleDC(screen);
  HBITMAP bitmap = ::CreateCompatibleBitmap(screen, width, height);
  HGDIOBJ old = ::SelectObject(memory, bitmap);
  ::BitBlt(memory, 0, 0, width, height, screen, area.left, area.top, SRCCOPY);
  ::SelectObject(memory, old);
  ::DeleteDC(memory);
  ::ReleaseDC(nullptr, screen);
  Gdiplus::GdiplusStartupInput input;
  ULONG_PTR token = 0;
  Gdiplus::GdiplusStartup(&token, &input, nullptr);
  Gdiplus::GpBitmap* image = nullptr;
  gdip::GdipCreateBitmapFromHBITMAP(bitmap, nullptr, &image);
  CLSID png{};
  ::CLSIDFromString(L"{557CF406-1A04-11D3-9A73-0000F81EF32E}", &png);
  const int status = image != nullptr ? gdip::GdipSaveImageToFile(image, path, &png, nullptr) : 1;
  if (image != nullptr) gdip::GdipDisposeImage(image);
  Gdiplus::GdiplusShutdown(token);
  ::DeleteObject(bitmap);
  return status == 0 ? 0 : 1;
}

// The top-level windows titled `title`, topmost first.
std::vector<HWND> WindowsTitled(const wchar_t* title) {
  struct Search {
    const wchar_t* title;
    std::vector<HWND> found;
  } search{title, {}};
  ::EnumWindows(
      [](HWND window, LPARAM param) -> BOOL {
        auto* search = reinterpret_cast<Search*>(param);
        wchar_t text[256] = {};
        ::GetWindowTextW(window, text, 256);
        if (std::wcscmp(text, search->title) == 0) search->found.push_back(window);
        return TRUE;
      },
      reinterpret_cast<LPARAM>(&search));
  return search.found;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (argc < 3) return 2;
  const std::wstring command = argv[1];
  const std::vector<HWND> windows = WindowsTitled(argv[2]);
  if (windows.empty()) return 3;
  HWND window = windows.front();
  if (command == L"shot" && argc == 4) return Shot(window, argv[3]);
  if (command == L"size") {
    RECT client{};
    ::GetClientRect(window, &client);
    std::printf("%ld %ld\n", client.right, client.bottom);
    return 0;
  }
  if (command == L"pixel" && argc == 5) {
    RECT area{};
    ::GetWindowRect(window, &area);
    HDC screen = ::GetDC(nullptr);
    const COLORREF colour =
        ::GetPixel(screen, area.left + _wtoi(argv[3]), area.top + _wtoi(argv[4]));
    ::ReleaseDC(nullptr, screen);
    std::printf("%02X%02X%02X\n", GetRValue(colour), GetGValue(colour), GetBValue(colour));
    return 0;
  }
  if (argc != 4) return 2;
  // The first window of that title that has the control (a message box may share the title).
  HWND control = nullptr;
  for (HWND candidate : windows) {
    control = ::GetDlgItem(candidate, _wtoi(argv[3]));
    if (control != nullptr) {
      window = candidate;
      break;
    }
  }
  if (control == nullptr) return 3;
  if (command == L"text") {
    std::wstring text(static_cast<size_t>(::GetWindowTextLengthW(control)) + 1, L'\0');
    text.resize(
        static_cast<size_t>(::GetWindowTextW(control, text.data(), static_cast<int>(text.size()))));
    const std::string utf8 = nandell::win::Narrow(text);
    std::fwrite(utf8.data(), 1, utf8.size(), stdout);
    return 0;
  }
  if (command == L"rect") {
    RECT area{};
    ::GetWindowRect(control, &area);
    ::MapWindowPoints(nullptr, window, reinterpret_cast<POINT*>(&area), 2);
    std::printf("%ld %ld %ld %ld\n", area.left, area.top, area.right - area.left,
                area.bottom - area.top);
    return 0;
  }
  if (command == L"state") {
    std::printf("%s %s\n", ::IsWindowVisible(control) ? "visible" : "hidden",
                ::IsWindowEnabled(control) ? "enabled" : "disabled");
    return 0;
  }
  return 2;
}
