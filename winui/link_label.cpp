#include "winui/link_label.h"

#include <commctrl.h>

#include "platform/process.h"
#include "uicore/link_target.h"

namespace nandell::winui {

LinkLabel::LinkLabel(int underline) {
  LOGFONTW description{};
  ::GetObjectW(::GetStockObject(DEFAULT_GUI_FONT), sizeof description, &description);
  description.lfUnderline = static_cast<BYTE>(underline & 0xFF);
  font_ = ::CreateFontIndirectW(&description);
}

LinkLabel::~LinkLabel() {
  Detach();
  if (font_ != nullptr) ::DeleteObject(font_);
}

LinkLabel* LinkLabel::Instance(int n) {
  return LinkLabelInstance<LinkLabel>(n);
}

LinkLabel* LinkLabel::AttachedTo(HWND control) {
  if (control == nullptr) return nullptr;
  for (int n = 1; n <= 4; ++n) {
    if (Instance(n)->window_ == control) return Instance(n);
  }
  return nullptr;
}

void LinkLabel::Attach(HWND control) {
  Detach();
  if (control == nullptr) return;
  window_ = control;
  ::SetWindowSubclass(control, Procedure, 0, reinterpret_cast<DWORD_PTR>(this));
  ::SendMessageW(control, WM_SETFONT, reinterpret_cast<WPARAM>(font_), TRUE);
}

void LinkLabel::Detach() {
  if (window_ != nullptr) ::RemoveWindowSubclass(window_, Procedure, 0);
  window_ = nullptr;
}

void LinkLabel::SetNotify(int32_t on) {
  if (window_ == nullptr) return;
  LONG_PTR style = ::GetWindowLongPtrW(window_, GWL_STYLE);
  style = on != 0 ? (style | SS_NOTIFY) : (style & ~static_cast<LONG_PTR>(SS_NOTIFY));
  ::SetWindowLongPtrW(window_, GWL_STYLE, style);
}

int32_t LinkLabel::SetLink(std::string text) {
  return LinkTargetFor(text, &link_target_);
}

void LinkLabel::CtlColor(HDC dc) const {
  ::SelectObject(dc, font_);
  ::SetTextColor(dc, current_color_);
  ::SetBkMode(dc, TRANSPARENT);
}

void LinkLabel::Redraw() {
  if (window_ != nullptr)
    ::RedrawWindow(window_, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_UPDATENOW);
}

LRESULT LinkLabel::OnMouseMove(WPARAM wparam, LPARAM lparam) {
  // The first move over the label lights it and lets the capture go; the next move inside
  // takes the capture and keeps it, so that the first move outside is seen here.
  ::SetCapture(window_);
  POINT pointer{};
  ::GetCursorPos(&pointer);
  RECT area{};
  ::GetWindowRect(window_, &area);
  if (!::PtInRect(&area, pointer)) {
    hover_ = 0;
    ::ReleaseCapture();
    current_color_ = visited_ != 0 ? kVisitedColor : kNormalColor;
    Redraw();
    return 0;
  }
  if (hover_ != 0) return 0;
  hover_ = 1;
  current_color_ = visited_ != 0 ? kVisitedColor : kHoverColor;
  Redraw();
  ::ReleaseCapture();
  return ::DefSubclassProc(window_, WM_MOUSEMOVE, wparam, lparam);
}

LRESULT CALLBACK LinkLabel::Procedure(HWND window, UINT message, WPARAM wparam, LPARAM lparam,
                                      UINT_PTR /*id*/, DWORD_PTR self) {
  auto* label = reinterpret_cast<LinkLabel*>(self);
  switch (message) {
    case WM_LBUTTONDOWN:
      label->visited_ = 1;
      label->current_color_ = kVisitedColor;
      label->Redraw();
      // A failed open (no program for the scheme) is not reported; the label stays visited.
      if (!label->link_target_.empty()) RunProgram(label->link_target_, "", false);
      break;
    case WM_SETCURSOR:
      if (label->cursor_ != nullptr) {
        ::SetCursor(label->cursor_);
        return TRUE;
      }
      break;
    case WM_MOUSEMOVE:
      return label->OnMouseMove(wparam, lparam);
    case WM_NCDESTROY:
      label->Detach();
      break;
    default:
      break;
  }
  return ::DefSubclassProc(window, message, wparam, lparam);
}

}  // namespace nandell::winui
