#include "winui/options_window.h"

#include <commctrl.h>

#include "engine/organizer.h"
#include "platform/translate.h"
#include "platform/windows_support.h"
#include "winui/message_box.h"

namespace nandell::winui {
namespace {

// Colours over the skin: the title on the dark band, the texts, the headings, the notes.
constexpr COLORREF kTitleColor = RGB(255, 255, 255);
constexpr COLORREF kTextColor = RGB(31, 107, 129);
constexpr COLORREF kHeadingColor = RGB(11, 46, 89);
constexpr COLORREF kNoteColor = RGB(104, 128, 146);
// Height of a line of text.
constexpr int kLine = 18;

}  // namespace

OptionsWindow::~OptionsWindow() {
  if (bold_font_ != nullptr) ::DeleteObject(bold_font_);
}

HWND OptionsWindow::AddControl(const wchar_t* kind, const char* text, DWORD style, int id, int x,
                               int y, int width, int height) {
  HWND control = ::CreateWindowExW(
      0, kind, win::Widen(text).c_str(), WS_CHILD | WS_VISIBLE | style, x, y, width, height,
      Window(), reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), ResourceModule(), nullptr);
  ::SendMessageW(control, WM_SETFONT, ::SendMessageW(Window(), WM_GETFONT, 0, 0), FALSE);
  return control;
}

HWND OptionsWindow::AddText(const char* text, int x, int y, int width, COLORREF color, bool bold) {
  // Plain texts let the mouse through (no SS_NOTIFY), so that a press on them drags the window.
  HWND label = AddControl(L"STATIC", text, SS_LEFT | SS_NOPREFIX, -1, x, y, width, kLine);
  if (bold) ::SendMessageW(label, WM_SETFONT, reinterpret_cast<WPARAM>(bold_font_), FALSE);
  colours_[label] = color;
  return label;
}

void OptionsWindow::OnInitDialog() {
  SetText(Window(), Tr(option_texts::kTitle));
  LoadSkin(IDB_SKIN_OPTIONS);
  const int W = SkinWidth();
  const int H = SkinHeight();
  LOGFONTW description{};
  ::GetObjectW(reinterpret_cast<HFONT>(::SendMessageW(Window(), WM_GETFONT, 0, 0)),
               sizeof description, &description);
  description.lfWeight = FW_BOLD;
  bold_font_ = ::CreateFontIndirectW(&description);

  AddText(Tr(option_texts::kTitle), 14, 7, 200, kTitleColor, true);
  AddControl(L"BUTTON", "", BS_OWNERDRAW, kCloseId, W - 23, 7, 16, 16);
  AddButton(close_, kCloseId);
  close_.LoadPng(IDP_ABOUT_CLOSE);
  ::SetWindowPos(close_.Window(), nullptr, W - close_.SliceWidth() - 7, 7, 0, 0,
                 SWP_NOSIZE | SWP_NOZORDER);

  // The file types: a check box per common type over the filter list.
  AddText(Tr(option_texts::kFileTypes), 20, 40, 200, kHeadingColor, true);
  for (size_t i = 0; i < kFileTypes.size(); ++i) {
    const int column = static_cast<int>(i % 4);
    const int row = static_cast<int>(i / 4);
    AddControl(L"BUTTON", kFileTypes[i].label, BS_AUTOCHECKBOX | WS_TABSTOP,
               kFirstTypeId + static_cast<int>(i), 32 + column * 104, 62 + row * 22, 96, 20);
  }
  AddText(Tr(option_texts::kList), 32, 153, 44, kTextColor);
  HWND filters = AddControl(L"EDIT", "", WS_BORDER | WS_TABSTOP | ES_AUTOHSCROLL, kFiltersId, 76,
                            150, W - 100, 22);
  ::SendMessageW(filters, EM_LIMITTEXT, kFiltersMaxLength, 0);
  AddText(Tr(option_texts::kListNote), 76, 174, W - 100, kNoteColor);

  // The folder layout.
  AddText(Tr(option_texts::kLayout), 20, 200, 90, kHeadingColor, true);
  AddControl(L"BUTTON", Tr(option_texts::kByYear), BS_AUTORADIOBUTTON | WS_GROUP | WS_TABSTOP,
             kByYearId, 120, 197, 130, 22);
  AddControl(L"BUTTON", Tr(option_texts::kByDay), BS_AUTORADIOBUTTON, kByDayId, 260, 197, 130, 22);

  // How files are dated and filed; each switch with one line of explanation.
  AddText(Tr(option_texts::kHow), 20, 236, 200, kHeadingColor, true);
  int y = 258;
  for (size_t i = 0; i < kOptionSwitches.size(); ++i) {
    AddControl(L"BUTTON", Tr(kOptionSwitches[i].text), BS_AUTOCHECKBOX | WS_GROUP | WS_TABSTOP,
               kFirstSwitchId + static_cast<int>(i), 32, y, W - 64, 20);
    AddText(Tr(kOptionSwitches[i].note), 52, y + 20, W - 76, kNoteColor);
    y += 44;
  }
  AddText(Tr(option_texts::kDayStart), 32, y + 3, 110, kTextColor);
  HWND day_start = AddControl(DATETIMEPICK_CLASSW, "", DTS_TIMEFORMAT | DTS_UPDOWN | WS_TABSTOP,
                              kDayStartId, 152, y, 70, 22);
  ::SendMessageW(day_start, DTM_SETFORMATW, 0, reinterpret_cast<LPARAM>(L"HH:mm"));
  AddText(Tr(option_texts::kDayStartNote), 52, y + 22, W - 76, kNoteColor);
  y += 44;
  AddControl(L"BUTTON", Tr(option_texts::kCheckVersion), BS_AUTOCHECKBOX | WS_GROUP | WS_TABSTOP,
             kCheckVersionId, 32, y + 2, W - 64, 20);
  // The language row reads in both languages, each language named in itself.
  AddText(option_texts::kLanguage, 32, y + 30, 120, kTextColor);
  HWND language = AddControl(L"COMBOBOX", "", CBS_DROPDOWNLIST | WS_VSCROLL | WS_TABSTOP,
                             kLanguageId, 152, y + 26, 110, 120);
  ::SendMessageW(language, CB_ADDSTRING, 0,
                 reinterpret_cast<LPARAM>(win::Widen(option_texts::kChineseName).c_str()));
  ::SendMessageW(language, CB_ADDSTRING, 0,
                 reinterpret_cast<LPARAM>(win::Widen(option_texts::kEnglishName).c_str()));
  AddText(Tr(option_texts::kNextStart), 272, y + 30, W - 292, kNoteColor);

  AddControl(L"BUTTON", Tr(option_texts::kOk), BS_OWNERDRAW | WS_TABSTOP, kOkId, 0, H - 40, 10, 10);
  AddControl(L"BUTTON", Tr(option_texts::kCancel), BS_OWNERDRAW | WS_TABSTOP, kCancelId, 0, H - 40,
             10, 10);
  AddButton(ok_, kOkId);
  AddButton(cancel_, kCancelId);
  ok_.LoadPng(IDP_OPTIONS_OK);
  cancel_.LoadPng(IDP_OPTIONS_CANCEL);
  const int cancel_x = W - 24 - cancel_.SliceWidth();
  ::SetWindowPos(cancel_.Window(), nullptr, cancel_x, H - 40, 0, 0, SWP_NOSIZE | SWP_NOZORDER);
  ::SetWindowPos(ok_.Window(), nullptr, cancel_x - 12 - ok_.SliceWidth(), H - 40, 0, 0,
                 SWP_NOSIZE | SWP_NOZORDER);

  // The store's values.
  const OptionValues values = ReadOptions(settings_);
  SetText(filters, values.file_filters);
  ::CheckRadioButton(Window(), kByYearId, kByDayId, values.by_year ? kByYearId : kByDayId);
  for (size_t i = 0; i < kOptionSwitches.size(); ++i)
    ::CheckDlgButton(Window(), kFirstSwitchId + static_cast<int>(i),
                     values.switches[i] ? BST_CHECKED : BST_UNCHECKED);
  SYSTEMTIME time{2000,
                  1,
                  6,
                  1,
                  static_cast<WORD>(values.day_start_minutes / 60),
                  static_cast<WORD>(values.day_start_minutes % 60),
                  0,
                  0};
  ::SendMessageW(day_start, DTM_SETSYSTEMTIME, GDT_VALID, reinterpret_cast<LPARAM>(&time));
  ::CheckDlgButton(Window(), kCheckVersionId, values.check_version ? BST_CHECKED : BST_UNCHECKED);
  ::SendMessageW(language, CB_SETCURSEL, values.language == Language::kEnglish ? 1 : 0, 0);
  SyncFileTypeBoxes();
}

bool OptionsWindow::Checked(int id) const {
  return ::IsDlgButtonChecked(Window(), id) == BST_CHECKED;
}

void OptionsWindow::SyncFileTypeBoxes() {
  // BM_SETCHECK notifies nobody: the boxes set here send no BN_CLICKED back.
  const std::string filters = GetText(Item(kFiltersId));
  for (size_t i = 0; i < kFileTypes.size(); ++i) {
    ::CheckDlgButton(Window(), kFirstTypeId + static_cast<int>(i),
                     HasFilterKey(filters, kFileTypes[i].key) ? BST_CHECKED : BST_UNCHECKED);
  }
}

void OptionsWindow::OnOk() {
  OptionValues values;
  values.file_filters = GetText(Item(kFiltersId));
  values.by_year = Checked(kByYearId);
  for (size_t i = 0; i < kOptionSwitches.size(); ++i)
    values.switches[i] = Checked(kFirstSwitchId + static_cast<int>(i));
  SYSTEMTIME time{};
  if (::SendMessageW(Item(kDayStartId), DTM_GETSYSTEMTIME, 0, reinterpret_cast<LPARAM>(&time)) ==
      GDT_VALID) {
    values.day_start_minutes = time.wHour * 60 + time.wMinute;
  }
  values.check_version = Checked(kCheckVersionId);
  values.language = ::SendMessageW(Item(kLanguageId), CB_GETCURSEL, 0, 0) == 1 ? Language::kEnglish
                                                                               : Language::kChinese;
  ApplyOptions(values, &settings_);
  if (!settings_.SaveOptions()) {
    // The values hold for this session; the user learns that the file kept the old ones.
    ShowMessageBox(Window(), Tr(kStartRefusalCaption),
                   Tr(option_texts::kSaveFailed) + settings_.ConfigPath(), MB_OK | MB_ICONWARNING);
  }
  ::EndDialog(Window(), IDOK);
}

bool OptionsWindow::OnMessage(UINT message, WPARAM wparam, LPARAM lparam, INT_PTR* result) {
  switch (message) {
    case WM_INITDIALOG:
      OnInitDialog();
      *result = TRUE;
      return true;
    case WM_COMMAND: {
      const int id = LOWORD(wparam);
      if (id == kOkId) {
        OnOk();
      } else if (id == IDCANCEL || id == kCancelId || id == kCloseId) {
        ::EndDialog(Window(), IDCANCEL);
      } else if (id >= kFirstTypeId && id < kFirstTypeId + static_cast<int>(kFileTypes.size()) &&
                 HIWORD(wparam) == BN_CLICKED) {
        // A type box puts its key into the list or takes it out.
        const FileType& type = kFileTypes[static_cast<size_t>(id - kFirstTypeId)];
        SetText(Item(kFiltersId), WithFilterKey(GetText(Item(kFiltersId)), type.key, Checked(id)));
      } else if (id == kFiltersId && HIWORD(wparam) == EN_CHANGE) {
        SyncFileTypeBoxes();
      }
      // IDOK (Enter) confirms nothing by itself.
      return true;
    }
    default:
      return SkinnedDialog::OnMessage(message, wparam, lparam, result);
  }
}

COLORREF OptionsWindow::TextColor(HWND control) {
  const auto found = colours_.find(control);
  return found != colours_.end() ? found->second : kTextColor;
}

}  // namespace nandell::winui
