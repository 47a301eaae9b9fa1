#include "winui/folder_picker.h"

#include <commctrl.h>
#include <shlobj.h>

#include "platform/file.h"
#include "platform/process.h"
#include "platform/windows_support.h"
#include "uicore/folder_name.h"
#include "winui/dialog.h"
#include "winui/message_box.h"

namespace nandell::winui {
namespace {

// Posted to the browse window once the shell has finished opening it: the focus goes to the
// edit box, so that a path can be typed at once.
constexpr UINT kFocusEdit = WM_APP + 1;

std::optional<std::wstring> WideOf(const char* text) {
  if (text == nullptr) return std::nullopt;
  return win::Widen(text);
}

bool IsAsciiLetter(char c) {
  return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
}

}  // namespace

FolderPicker::FolderPicker(const char* caption, const char* title, const char* initial_folder,
                           HWND owner)
    : caption_(WideOf(caption)),
      title_(WideOf(title)),
      initial_folder_(WideOf(initial_folder)),
      owner_(owner) {}

int32_t FolderPicker::DoModal() {
  wchar_t display_name[MAX_PATH] = {};
  BROWSEINFOW info{};
  info.hwndOwner = owner_;
  info.pszDisplayName = display_name;
  info.lpszTitle = title_ ? title_->c_str() : nullptr;
  info.ulFlags = BIF_RETURNONLYFSDIRS | BIF_STATUSTEXT;
  info.lpfn = BrowseCallback;
  info.lParam = reinterpret_cast<LPARAM>(this);
  IMalloc* allocator = nullptr;
  if (FAILED(::SHGetMalloc(&allocator)) || allocator == nullptr) return -1;
  accepted_ = 0;
  PIDLIST_ABSOLUTE chosen = ::SHBrowseForFolderW(&info);
  if (chosen != nullptr) allocator->Free(chosen);
  allocator->Release();
  browse_ = nullptr;
  edit_ = nullptr;
  return accepted_ != 0 ? 1 : -1;
}

int CALLBACK FolderPicker::BrowseCallback(HWND browse, UINT message, LPARAM item, LPARAM self) {
  auto* picker = reinterpret_cast<FolderPicker*>(self);
  if (message == BFFM_INITIALIZED) picker->OnInitialized(browse);
  if (message == BFFM_SELCHANGED) picker->OnSelectionChanged(item);
  return 0;
}

void FolderPicker::OnInitialized(HWND browse) {
  browse_ = browse;
  if (caption_) ::SetWindowTextW(browse, caption_->c_str());
  ::SetWindowSubclass(browse, HookProcedure, 0, reinterpret_cast<DWORD_PTR>(this));
  ::ShowWindow(::GetDlgItem(browse, kStatusId), SW_HIDE);
  // The edit box: as wide as the tree, 23 pixels high, ending 4 pixels above it.
  RECT tree{};
  ::GetWindowRect(::GetDlgItem(browse, kTreeId), &tree);
  RECT box{tree.left, tree.top - 27, tree.right, tree.top - 4};
  ::MapWindowPoints(nullptr, browse, reinterpret_cast<POINT*>(&box), 2);
  edit_ = ::CreateWindowExW(WS_EX_CLIENTEDGE, L"EDIT", L"",
                            WS_CHILD | WS_VISIBLE | WS_TABSTOP | ES_AUTOHSCROLL, box.left, box.top,
                            box.right - box.left, box.bottom - box.top, browse, nullptr,
                            ResourceModule(), nullptr);
  ::SetWindowLongPtrW(edit_, GWLP_ID, kEditId);
  ::ShowWindow(edit_, SW_SHOW);
  ::SendMessageW(edit_, WM_SETFONT, ::SendMessageW(browse, WM_GETFONT, 0, 0), TRUE);
  if (initial_folder_) {
    ::SendMessageW(browse, BFFM_SETSELECTIONW, TRUE,
                   reinterpret_cast<LPARAM>(initial_folder_->c_str()));
  } else {
    const std::wstring current = win::Widen(CurrentDirectory());
    ::SendMessageW(browse, BFFM_SETSELECTIONW, TRUE, reinterpret_cast<LPARAM>(current.c_str()));
  }
  ::PostMessageW(browse, kFocusEdit, 0, 0);
}

void FolderPicker::OnSelectionChanged(LPARAM item) {
  wchar_t path[MAX_PATH] = {};
  // Only a folder with a drive path counts: a virtual folder or a network path empties the box.
  if (!::SHGetPathFromIDListW(reinterpret_cast<PCIDLIST_ABSOLUTE>(item), path) || path[1] != L':') {
    path[0] = L'\0';
  }
  ::SendMessageW(browse_, BFFM_ENABLEOK, 0, path[0] != L'\0' ? 1 : 0);
  ::SendMessageW(browse_, BFFM_SETSTATUSTEXTW, 0, reinterpret_cast<LPARAM>(path));
  if (edit_ != nullptr) ::SetWindowTextW(edit_, path);
}

LRESULT CALLBACK FolderPicker::HookProcedure(HWND window, UINT message, WPARAM wparam,
                                             LPARAM lparam, UINT_PTR /*id*/, DWORD_PTR self) {
  auto* picker = reinterpret_cast<FolderPicker*>(self);
  if (message == kFocusEdit && picker->edit_ != nullptr) {
    ::SetFocus(picker->edit_);
    return 0;
  }
  if (message == WM_COMMAND && HIWORD(wparam) == EN_CHANGE &&
      reinterpret_cast<HWND>(lparam) == picker->edit_) {
    picker->path_ = GetText(picker->edit_);
    ::SendMessageW(window, BFFM_ENABLEOK, 0, picker->path_.empty() ? 0 : 1);
    return 0;
  }
  if (message == WM_COMMAND && LOWORD(wparam) == IDOK) {
    // OK never takes the tree's selection directly: only the edit box's text counts.
    picker->path_ = GetText(picker->edit_);
    if (ConfirmFolder(picker->path_, window) != 0) {
      ::SetFocus(picker->edit_);
      return 0;
    }
    picker->accepted_ = 1;
    ::EndDialog(window, IDOK);
    return 0;
  }
  if (message == WM_NCDESTROY) ::RemoveWindowSubclass(window, HookProcedure, 0);
  return ::DefSubclassProc(window, message, wparam, lparam);
}

int32_t FolderPicker::ConfirmFolder(const std::string& path, HWND owner) {
  const FolderDialogue dialogue{[owner](const std::string& question) {
                                  return ShowAppMessageBox(owner, question,
                                                           MB_YESNO | MB_ICONQUESTION) == IDYES;
                                },
                                [owner](const std::string& message) {
                                  ShowAppMessageBox(owner, message, MB_OK | MB_ICONEXCLAMATION);
                                }};
  return ConfirmFolderPath(path, CheckOrCreatePath, dialogue);
}

int32_t FolderPicker::CheckOrCreatePath(const char* path, bool check_only) {
  if (path == nullptr) return 1;
  const std::string work(path);
  // A drive letter, a colon and a backslash: relative, drive-less and network paths are invalid.
  if (work.size() < 3 || !IsAsciiLetter(work[0]) || work[1] != ':' || work[2] != '\\') return 1;
  // A drive root: nothing is created for it.
  if (work.size() == 3) return check_only || PathExists(work) ? 0 : 2;
  // The levels below it; making them fails on a drive that does not exist.
  return CheckOrCreateBelowRoot(work, 3, '\\', check_only);
}

}  // namespace nandell::winui
