#pragma once

// The About box of the Windows window (dialog template 100).

#include "res/resource_ids.h"
#include "winui/dialog.h"
#include "winui/png_button.h"

namespace nandell::winui {

/// The modal About box: caption-less, its face skin 144 (360 x 200), the product and maker
/// lines, three links (web address: link label 3, e-mail: 2, messenger: 4, attached anew at
/// every opening) and a close button (strip 145) 5 pixels from the top-right corner. Dragged
/// by its background; closed by its button or Enter (IDOK) or Escape (IDCANCEL).
class AboutBox : public SkinnedDialog {
 public:
  AboutBox() : SkinnedDialog(IDD_ABOUTBOX) {}

 protected:
  bool OnMessage(UINT message, WPARAM wparam, LPARAM lparam, INT_PTR* result) override;
  COLORREF TextColor(HWND control) override;

 private:
  void OnInitDialog();
  PngButton close_;
};

}  // namespace nandell::winui
