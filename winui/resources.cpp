#include "winui/resources.h"

#include <cstring>
#include <string>

#include "log/msgx.h"
#include "platform/translate.h"
#include "platform/windows_support.h"
#include "winui/dialog.h"

namespace nandell::winui {

uint32_t CGlobal::LoadResourceData(uint32_t id, void* dest, uint32_t* size, const char* type) {
  if (size == nullptr) return 0;
  char name[20] = "png";
  if (type != nullptr && *type != '\0') {
    std::strncpy(name, type, sizeof name - 1);
    name[sizeof name - 1] = '\0';
  }
  HMODULE module = ResourceModule();
  HRSRC found = FindArtwork(id & 0xFFFF, win::Widen(name).c_str());
  if (found == nullptr) return 0;
  HGLOBAL loaded = ::LoadResource(module, found);
  if (loaded == nullptr) return 0;
  const void* bytes = ::LockResource(loaded);
  if (bytes == nullptr) return 0;
  const uint32_t length = ::SizeofResource(module, found);
  if (dest != nullptr && *size >= length) std::memcpy(dest, bytes, length);
  *size = length;
  return length;
}

HGLOBAL CGlobal::SaveData2Stream(const void* data, int32_t size, IStream** stream) {
  if (data == nullptr || size < 1 || stream == nullptr) return nullptr;
  HGLOBAL block = ::GlobalAlloc(GMEM_MOVEABLE, static_cast<SIZE_T>(size));
  if (block == nullptr) {
    MsgX().Log("CGlobal::SaveData2Stream: GlobalAlloc Error! ", 0, 246, "");
    return nullptr;
  }
  void* memory = ::GlobalLock(block);
  if (memory == nullptr) {
    MsgX().Log("CGlobal:: Read Error!", 0, 262, "");
    ::GlobalFree(block);
    return nullptr;
  }
  std::memcpy(memory, data, static_cast<size_t>(size));
  ::GlobalUnlock(block);
  IStream* made = nullptr;
  if (FAILED(::CreateStreamOnHGlobal(block, TRUE, &made)) || made == nullptr) {
    MsgX().Log("CGlobal::SaveData2Stream: CreateStreamOnHGlobal Error! ", 0, 251, "");
    ::GlobalFree(block);
    return nullptr;
  }
  *stream = made;
  return block;
}

HRSRC FindArtwork(uint32_t id, const wchar_t* type) {
  HMODULE module = ResourceModule();
  const wchar_t* name = MAKEINTRESOURCEW(id);
  if (CurrentLanguage() == Language::kEnglish) {
    if (HRSRC english =
            ::FindResourceExW(module, type, name, MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US)))
      return english;
  }
  if (HRSRC neutral =
          ::FindResourceExW(module, type, name, MAKELANGID(LANG_NEUTRAL, SUBLANG_NEUTRAL)))
    return neutral;
  return ::FindResourceW(module, name, type);
}

HBITMAP LoadArtworkBitmap(uint32_t id) {
  HMODULE module = ResourceModule();
  HRSRC found = FindArtwork(id, RT_BITMAP);
  HGLOBAL loaded = found != nullptr ? ::LoadResource(module, found) : nullptr;
  const auto* info =
      loaded != nullptr ? static_cast<const BITMAPINFO*>(::LockResource(loaded)) : nullptr;
  if (info == nullptr || ::SizeofResource(module, found) < sizeof(BITMAPINFOHEADER)) return nullptr;
  const BITMAPINFOHEADER& header = info->bmiHeader;
  // The pixels follow the header and the colour table (none for 24 and 32 bits per pixel).
  DWORD colours = header.biClrUsed;
  if (colours == 0 && header.biBitCount <= 8) colours = 1u << header.biBitCount;
  const auto* bits =
      reinterpret_cast<const BYTE*>(info) + header.biSize + colours * sizeof(RGBQUAD);
  HDC screen = ::GetDC(nullptr);
  HBITMAP bitmap = ::CreateDIBitmap(screen, &header, CBM_INIT, bits, info, DIB_RGB_COLORS);
  ::ReleaseDC(nullptr, screen);
  return bitmap;
}

HCURSOR LinkCursor() {
  static HCURSOR cursor = [] {
    auto* own = static_cast<HCURSOR>(::LoadImageW(
        ResourceModule(), MAKEINTRESOURCEW(IDC_LINK_CURSOR), IMAGE_CURSOR, 0, 0, LR_DEFAULTSIZE));
    return own != nullptr ? own : ::LoadCursorW(nullptr, MAKEINTRESOURCEW(32649) /* IDC_HAND */);
  }();
  return cursor;
}

HICON AppIcon(int size) {
  return static_cast<HICON>(
      ::LoadImageW(ResourceModule(), MAKEINTRESOURCEW(IDI_APP), IMAGE_ICON, size, size, LR_SHARED));
}

}  // namespace nandell::winui
