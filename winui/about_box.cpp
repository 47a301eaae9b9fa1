#include "winui/about_box.h"

#include <algorithm>
#include <string>

#include "platform/translate.h"
#include "platform/windows_support.h"
#include "uicore/build_info.h"
#include "uicore/skin_layout.h"
#include "winui/link_label.h"
#include "winui/resources.h"

namespace nandell::winui {

void AboutBox::OnInitDialog() {
  AddButton(close_, IDOK);
  // The texts in the chosen language.
  SetText(Window(), Tr(build_info::kAboutTitle));
  SetText(Item(IDC_ABOUT_TITLE), Tr(build_info::kAboutTitle));
  SetText(Item(IDC_ABOUT_VERSION), TrFormat(build_info::kVersionFormat, NANDELL_VERSION));
  SetText(Item(IDC_ABOUT_RIGHTS), Tr(build_info::kRightsNotice));
  SetText(Item(IDC_ABOUT_MAKER), Tr(build_info::kMakerLine));
  // The links: web address (3), e-mail (2), messenger number (4).
  for (const AboutLink& link : kAboutLinks) {
    LinkLabel* label = LinkLabel::Instance(link.instance);
    label->Attach(Item(link.id));
    label->SetNotify(1);
    label->SetLinkCursor(LinkCursor());
    label->SetLink(link.target);
  }
  // The lines where the template puts them (in pixels as its font makes them). A line is never
  // cut: it is at least as wide and high as its text.
  for (const AboutLine& line : kAboutLines) {
    HWND control = Item(line.id);
    HDC dc = ::GetDC(control);
    HGDIOBJ old =
        ::SelectObject(dc, reinterpret_cast<HFONT>(::SendMessageW(control, WM_GETFONT, 0, 0)));
    const std::wstring text = win::Widen(GetText(control));
    SIZE extent{};
    ::GetTextExtentPoint32W(dc, text.c_str(), static_cast<int>(text.size()), &extent);
    ::SelectObject(dc, old);
    ::ReleaseDC(control, dc);
    Place(line.id, DialogUnitsX(line.x), DialogUnitsY(line.y),
          std::max(DialogUnitsX(line.width), static_cast<int>(extent.cx) + 2),
          std::max(DialogUnitsY(line.height), static_cast<int>(extent.cy) + 2));
  }
  // The skin decides the size; the close button goes 5 pixels from the top-right corner.
  LoadSkin(IDB_SKIN_ABOUT);
  close_.LoadPng(IDP_ABOUT_CLOSE);
  RECT button{};
  ::GetWindowRect(close_.Window(), &button);
  RECT client{};
  ::GetClientRect(Window(), &client);
  ::SetWindowPos(close_.Window(), nullptr, client.right - (button.right - button.left) - 5, 5, 0, 0,
                 SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

bool AboutBox::OnMessage(UINT message, WPARAM wparam, LPARAM lparam, INT_PTR* result) {
  switch (message) {
    case WM_INITDIALOG:
      OnInitDialog();
      *result = TRUE;
      return true;
    case WM_COMMAND:
      if (LOWORD(wparam) == IDOK || LOWORD(wparam) == IDCANCEL) {
        ::EndDialog(Window(), LOWORD(wparam));
        return true;
      }
      return false;
    default:
      return SkinnedDialog::OnMessage(message, wparam, lparam, result);
  }
}

COLORREF AboutBox::TextColor(HWND control) {
  // The title white, every other line (and the links, whatever their state) near-white.
  return ::GetDlgCtrlID(control) == IDC_ABOUT_TITLE ? RGB(255, 255, 255) : RGB(245, 245, 245);
}

}  // namespace nandell::winui
