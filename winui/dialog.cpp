#include "winui/dialog.h"

#include "platform/windows_support.h"
#include "winui/link_label.h"
#include "winui/png_button.h"
#include "winui/resources.h"

namespace nandell::winui {

HINSTANCE ResourceModule() {
  return ::GetModuleHandleW(nullptr);
}

void SetText(HWND window, const std::string& text) {
  ::SetWindowTextW(window, win::Widen(text).c_str());
}

std::string GetText(HWND window) {
  std::wstring text(static_cast<size_t>(::GetWindowTextLengthW(window)) + 1, L'\0');
  const int length = ::GetWindowTextW(window, text.data(), static_cast<int>(text.size()));
  text.resize(length > 0 ? static_cast<size_t>(length) : 0);
  return win::Narrow(text);
}

// ---- Dialog ----

Dialog::~Dialog() = default;

INT_PTR Dialog::DoModal(HWND owner) {
  return ::DialogBoxParamW(ResourceModule(), MAKEINTRESOURCEW(template_id_), owner, Procedure,
                           reinterpret_cast<LPARAM>(this));
}

INT_PTR CALLBACK Dialog::Procedure(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
  if (message == WM_INITDIALOG) {
    ::SetWindowLongPtrW(window, DWLP_USER, lparam);
    reinterpret_cast<Dialog*>(lparam)->window_ = window;
  }
  auto* dialog = reinterpret_cast<Dialog*>(::GetWindowLongPtrW(window, DWLP_USER));
  if (dialog == nullptr) return FALSE;
  INT_PTR result = 0;
  const bool handled = dialog->OnMessage(message, wparam, lparam, &result);
  if (message == WM_NCDESTROY) {
    ::SetWindowLongPtrW(window, DWLP_USER, 0);
    dialog->window_ = nullptr;
  }
  if (!handled) return FALSE;
  switch (message) {
    // These return their answer directly rather than through DWLP_MSGRESULT.
    case WM_INITDIALOG:
    case WM_CTLCOLORDLG:
    case WM_CTLCOLORSTATIC:
    case WM_CTLCOLORBTN:
    case WM_CTLCOLOREDIT:
    case WM_CTLCOLORLISTBOX:
    case WM_CTLCOLORSCROLLBAR:
    case WM_CTLCOLORMSGBOX:
    case WM_QUERYDRAGICON:
      return result;
    default:
      ::SetWindowLongPtrW(window, DWLP_MSGRESULT, result);
      return TRUE;
  }
}

// ---- SkinnedDialog ----

SkinnedDialog::~SkinnedDialog() {
  if (skin_brush_ != nullptr) ::DeleteObject(skin_brush_);
}

bool SkinnedDialog::LoadSkin(int id) {
  HBITMAP skin = LoadArtworkBitmap(id);
  if (skin == nullptr) return false;
  BITMAP info{};
  ::GetObjectW(skin, sizeof info, &info);
  if (skin_brush_ != nullptr) ::DeleteObject(skin_brush_);
  skin_brush_ = ::CreatePatternBrush(skin);
  ::DeleteObject(skin);
  skin_width_ = info.bmWidth;
  skin_height_ = info.bmHeight;
  // The window's own area takes the skin's size (the dialog has no frame), its top-left corner
  // staying where it is.
  RECT frame{0, 0, skin_width_, skin_height_};
  ::AdjustWindowRectEx(&frame, static_cast<DWORD>(::GetWindowLongPtrW(Window(), GWL_STYLE)), FALSE,
                       static_cast<DWORD>(::GetWindowLongPtrW(Window(), GWL_EXSTYLE)));
  ::SetWindowPos(Window(), nullptr, 0, 0, frame.right - frame.left, frame.bottom - frame.top,
                 SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
  ::InvalidateRect(Window(), nullptr, TRUE);
  return true;
}

void SkinnedDialog::AddButton(PngButton& button, int id) {
  button.Attach(Item(id));
  buttons_.push_back(&button);
}

void SkinnedDialog::Place(int id, int x, int y, int width, int height) {
  ::SetWindowPos(Item(id), nullptr, x, y, width, height, SWP_NOZORDER | SWP_NOACTIVATE);
}

void SkinnedDialog::RedrawBehind(int id) {
  RECT area{};
  HWND control = Item(id);
  ::GetWindowRect(control, &area);
  ::MapWindowPoints(nullptr, Window(), reinterpret_cast<POINT*>(&area), 2);
  ::InvalidateRect(Window(), &area, TRUE);
}

bool SkinnedDialog::OnMessage(UINT message, WPARAM wparam, LPARAM lparam, INT_PTR* result) {
  switch (message) {
    case WM_CTLCOLORDLG:
      if (skin_brush_ == nullptr) return false;
      *result = reinterpret_cast<INT_PTR>(skin_brush_);
      return true;
    case WM_CTLCOLORSTATIC: {
      HDC dc = reinterpret_cast<HDC>(wparam);
      HWND control = reinterpret_cast<HWND>(lparam);
      // A link label's own colour step comes first; the dialog's colour wins over it.
      if (LinkLabel* label = LinkLabel::AttachedTo(control)) label->CtlColor(dc);
      ::SetBkMode(dc, TRANSPARENT);
      ::SetTextColor(dc, TextColor(control));
      wchar_t kind[16] = {};
      ::GetClassNameW(control, kind, 16);
      if (skin_brush_ != nullptr && ::lstrcmpiW(kind, L"Button") == 0) {
        // A check or radio box paints its background itself: the skin under it, so that a
        // change of state is drawn over the skin rather than over its own old face.
        POINT origin{0, 0};
        ::MapWindowPoints(control, Window(), &origin, 1);
        ::SetBrushOrgEx(dc, -origin.x, -origin.y, nullptr);
        *result = reinterpret_cast<INT_PTR>(skin_brush_);
      } else {
        *result = reinterpret_cast<INT_PTR>(::GetStockObject(NULL_BRUSH));
      }
      return true;
    }
    case WM_DRAWITEM: {
      const auto* item = reinterpret_cast<const DRAWITEMSTRUCT*>(lparam);
      for (PngButton* button : buttons_) {
        if (button->Window() == item->hwndItem) {
          button->DrawItem(*item, skin_brush_);
          *result = TRUE;
          return true;
        }
      }
      return false;
    }
    case WM_LBUTTONDOWN:
      // A press on the skin drags the window, as a press on a caption would.
      ::PostMessageW(Window(), WM_NCLBUTTONDOWN, HTCAPTION, lparam);
      return false;
    case WM_DESTROY:
      for (PngButton* button : buttons_) button->Detach();
      buttons_.clear();
      return false;
    default:
      return false;
  }
}

}  // namespace nandell::winui
