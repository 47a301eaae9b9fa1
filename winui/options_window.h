#pragma once

// The options window of the Windows window: what the Qt options window edits, at the same
// places over the same skin (146).

#include <map>

#include "res/resource_ids.h"
#include "settings/settings_store.h"
#include "uicore/options.h"
#include "winui/dialog.h"
#include "winui/png_button.h"

namespace nandell::winui {

/// The options window: modal, caption-less, painted with skin 146, titled "选项". It edits the
/// file types (a check box per common type over the FileFilters text, which stays editable for
/// any other type), the folder layout, the date switches, DayStartsAt, CheckVersion and the
/// Language (used from the next start). 确定 puts the values into the store and writes them to
/// Config.ini at once (SaveOptions); 取消, the close cross and Escape change nothing; Enter alone
/// does nothing.
class OptionsWindow : public SkinnedDialog {
 public:
  /// Control ids of the window's own controls (made at start).
  static constexpr int kCloseId = 1101;
  static constexpr int kFiltersId = 1102;
  static constexpr int kByYearId = 1103;
  static constexpr int kByDayId = 1104;
  static constexpr int kDayStartId = 1105;
  static constexpr int kCheckVersionId = 1106;
  static constexpr int kLanguageId = 1107;
  static constexpr int kOkId = 1108;
  static constexpr int kCancelId = 1109;
  /// The file type boxes (kFileTypes order) and the switches (kOptionSwitches order).
  static constexpr int kFirstTypeId = 1110;
  static constexpr int kFirstSwitchId = 1130;

  explicit OptionsWindow(SettingsStore& settings)
      : SkinnedDialog(IDD_OPTIONS), settings_(settings) {}
  ~OptionsWindow() override;

 protected:
  bool OnMessage(UINT message, WPARAM wparam, LPARAM lparam, INT_PTR* result) override;
  COLORREF TextColor(HWND control) override;

 private:
  void OnInitDialog();
  void OnOk();
  HWND AddText(const char* text, int x, int y, int width, COLORREF color, bool bold = false);
  HWND AddControl(const wchar_t* kind, const char* text, DWORD style, int id, int x, int y,
                  int width, int height);
  void SyncFileTypeBoxes();
  bool Checked(int id) const;

  SettingsStore& settings_;
  std::map<HWND, COLORREF> colours_;
  HFONT bold_font_ = nullptr;
  PngButton close_;
  PngButton ok_;
  PngButton cancel_;
};

}  // namespace nandell::winui
