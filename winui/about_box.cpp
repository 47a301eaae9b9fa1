#include "winui/about_box.h"

#include <string>

#include "platform/translate.h"
#include "uicore/build_info.h"
#include "winui/link_label.h"
#include "winui/resources.h"

namespace nandell::winui {

void AboutBox::OnInitDialog() {
  AddButton(close_, IDOK);
  // The texts in the chosen language.
  SetText(Window(), Tr("关于 Nandell"));
  SetText(Item(IDC_ABOUT_TITLE), Tr("关于 Nandell"));
  SetText(Item(IDC_ABOUT_VERSION), TrFormat(build_info::kVersionFormat, NANDELL_VERSION));
  SetText(Item(IDC_ABOUT_RIGHTS), Tr(build_info::kRightsNotice));
  SetText(Item(IDC_ABOUT_MAKER), Tr(build_info::kMakerLine));
  // The links: web address (3), e-mail (2), messenger number (4).
  const struct {
    int id;
    int instance;
    std::string target;
  } links[] = {
      {IDC_ABOUT_WEB, 3, build_info::kWebAddress},
      {IDC_ABOUT_EMAIL, 2, build_info::kEmail},
      {IDC_ABOUT_MESSENGER, 4, std::string("QQ:") + build_info::kMessengerNumber},
  };
  for (const auto& link : links) {
    LinkLabel* label = LinkLabel::Instance(link.instance);
    label->Attach(Item(link.id));
    label->SetNotify(1);
    label->SetLinkCursor(LinkCursor());
    label->SetLink(link.target);
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
