#include "winui/main_window.h"

#include <shellapi.h>

#include <mutex>

#include "engine/organizer.h"
#include "engine/run_config.h"
#include "engine/undo.h"
#include "log/msgx.h"
#include "platform/file.h"
#include "platform/path.h"
#include "platform/translate.h"
#include "platform/windows_support.h"
#include "uicore/build_info.h"
#include "uicore/main_window_texts.h"
#include "uicore/skin_layout.h"
#include "winui/about_box.h"
#include "winui/folder_picker.h"
#include "winui/link_label.h"
#include "winui/message_box.h"
#include "winui/options_window.h"
#include "winui/resources.h"

namespace nandell::winui {
namespace texts = main_window_texts;
namespace {

SkinSize SizeOf(const PngButton& button) {
  RECT area{};
  ::GetWindowRect(button.Window(), &area);
  return SkinSize{area.right - area.left, area.bottom - area.top};
}

}  // namespace

MainWindow::MainWindow(SettingsStore& settings, fs::FileSystem& file_system)
    : SkinnedDialog(IDD_MAIN),
      settings_(settings),
      session_(
          *this,
          [this] {
            // From any thread: the window's thread calls Pump when the message arrives.
            if (HWND window = post_to_.load()) ::PostMessageW(window, WM_JOB_PROGRESS, 0, 0);
          },
          file_system) {}

MainWindow::~MainWindow() {
  // Never leave a worker posting to a window that is going away.
  session_.StopAndWait();
  if (link_font_ != nullptr) ::DeleteObject(link_font_);
}

// ---- Opening ----

void MainWindow::OnInitDialog() {
  SetText(Window(), build_info::kAppName);
  // The About entry of the system menu (also string 101 of the resources), when the window
  // has one.
  if (HMENU menu = ::GetSystemMenu(Window(), FALSE)) {
    ::AppendMenuW(menu, MF_SEPARATOR, 0, nullptr);
    ::AppendMenuW(menu, MF_STRING, IDM_ABOUTBOX, win::Widen(Tr(texts::kAboutMenu)).c_str());
  }
  ::SendMessageW(Window(), WM_SETICON, ICON_BIG,
                 reinterpret_cast<LPARAM>(AppIcon(::GetSystemMetrics(SM_CXICON))));
  ::SendMessageW(Window(), WM_SETICON, ICON_SMALL,
                 reinterpret_cast<LPARAM>(AppIcon(::GetSystemMetrics(SM_CXSMICON))));
  {
    std::lock_guard<std::mutex> lock(settings_.Mutex);
    DeleteSource_ = settings_.IsDeleteSrc;
    PhotoFolder_ = settings_.PathSrc;
    OutputFolder_ = settings_.PathTar;
  }
  // The texts of the template in the chosen language (the button captions are never drawn).
  SetText(Item(IDC_DELETE_SOURCE), Tr(texts::kDeleteSource));
  SetText(Item(IDC_FOOTER), Tr(build_info::kFooterText));
  SetText(Item(IDC_PHOTO_FOLDER), Tr(texts::kPhotoFolderButton));
  SetText(Item(IDC_OUTPUT_FOLDER), Tr(texts::kOutputFolderButton));
  SetText(Item(IDC_ORGANIZE), Tr(texts::kOrganizeButton));
  SetText(Item(IDC_STOP), Tr(texts::kStopButton));
  SetText(Item(IDC_MESSAGE), "");
  SetText(Item(IDC_PHOTO_TEXT), "");
  SetText(Item(IDC_OUTPUT_TEXT), "");
  LayoutSkin();
  UpdateData(false);
  post_to_.store(Window());
  ::DragAcceptFiles(Window(), TRUE);
  int32_t check_version = 0;
  {
    std::lock_guard<std::mutex> lock(settings_.Mutex);
    check_version = settings_.CheckVersion;
  }
  if (check_version != 0) ::SetTimer(Window(), kVersionTimerId, kVersionTimerMs, nullptr);
}

void MainWindow::LayoutSkin() {
  LoadSkin(IDB_SKIN_MAIN);
  const int W = SkinWidth();
  const int H = SkinHeight();
  MsgX().LogFormatAt(773, "皮肤背景大小为: %d, %d", W, H);

  // The buttons, sized by their strips, then placed by the layout table.
  const struct {
    PngButton* button;
    int id;
    uint32_t strip;
  } buttons[] = {
      {&close_, IDC_CLOSE, IDP_CLOSE},
      {&minimize_, IDC_MINIMIZE, IDP_MINIMIZE},
      {&options_, IDC_OPTIONS, IDP_OPTIONS},
      {&about_, IDC_ABOUT, IDP_ABOUT},
      {&photo_, IDC_PHOTO_FOLDER, IDP_PHOTO_FOLDER},
      {&output_, IDC_OUTPUT_FOLDER, IDP_OUTPUT_FOLDER},
      {&organize_, IDC_ORGANIZE, IDP_ORGANIZE},
      {&stop_, IDC_STOP, IDP_STOP},
  };
  for (const auto& row : buttons) {
    AddButton(*row.button, row.id);
    row.button->LoadPng(row.strip);
  }
  const MainLayout layout = LayoutMainWindow(
      W, H,
      MainButtonSizes{SizeOf(close_), SizeOf(minimize_), SizeOf(options_), SizeOf(about_),
                      SizeOf(photo_), SizeOf(output_), SizeOf(organize_), SizeOf(stop_)});
  const struct {
    int id;
    SkinRect place;
  } places[] = {
      {IDC_CLOSE, layout.close},
      {IDC_MINIMIZE, layout.minimize},
      {IDC_OPTIONS, layout.options},
      {IDC_ABOUT, layout.about},
      {IDC_PHOTO_FOLDER, layout.photo},
      {IDC_PHOTO_TEXT, layout.photo_text},
      {IDC_OUTPUT_FOLDER, layout.output},
      {IDC_OUTPUT_TEXT, layout.output_text},
      {IDC_ORGANIZE, layout.organize},
      {IDC_MESSAGE, layout.message},
      {IDC_STOP, layout.stop},
      {IDC_DELETE_SOURCE, layout.delete_source},
      {IDC_FOOTER, layout.footer},
  };
  for (const auto& row : places)
    Place(row.id, row.place.x, row.place.y, row.place.width, row.place.height);
  // The check box paints the skin under its whole rectangle when its state or focus changes;
  // where that rectangle reaches under the footer it would wipe the footer's first letters, so
  // it ends where the footer begins (its text and box are far narrower).
  const SkinRect& box = layout.delete_source;
  if (box.x < layout.footer.x && box.x + box.width > layout.footer.x)
    Place(IDC_DELETE_SOURCE, box.x, box.y, layout.footer.x - box.x, box.height);
  ::ShowWindow(Item(IDC_EDIT), SW_HIDE);
  ::ShowWindow(Item(IDC_STOP), SW_HIDE);

  // The failure list's line: the fourth line of the message area, under the summary, a link.
  HDC dc = ::GetDC(Window());
  HGDIOBJ old =
      ::SelectObject(dc, reinterpret_cast<HFONT>(::SendMessageW(Window(), WM_GETFONT, 0, 0)));
  TEXTMETRICW metrics{};
  ::GetTextMetricsW(dc, &metrics);
  ::SelectObject(dc, old);
  ::ReleaseDC(Window(), dc);
  const int line = metrics.tmHeight + metrics.tmExternalLeading;
  for (int id : {IDC_FAILURE_LIST, IDC_REPORT_PROBLEM})
    Place(id, layout.message.x, layout.message.y + 3 * line, layout.message.width, line + 2);
  LOGFONTW description{};
  ::GetObjectW(reinterpret_cast<HFONT>(::SendMessageW(Window(), WM_GETFONT, 0, 0)),
               sizeof description, &description);
  description.lfUnderline = TRUE;
  link_font_ = ::CreateFontIndirectW(&description);
  ::SendMessageW(Item(IDC_FAILURE_LIST), WM_SETFONT, reinterpret_cast<WPARAM>(link_font_), FALSE);

  // The footer is the maker's web link (link label 1), drawn white over the skin.
  LinkLabel* link = LinkLabel::Instance(1);
  link->Attach(Item(IDC_FOOTER));
  link->SetNotify(1);
  link->SetLinkCursor(LinkCursor());
  link->SetLink(build_info::kWebAddress);
}

// ---- The fields and the controls ----

void MainWindow::UpdateData(bool save) {
  if (save) {
    DeleteSource_ = ::IsDlgButtonChecked(Window(), IDC_DELETE_SOURCE) == BST_CHECKED ? 1 : 0;
    return;
  }
  ::CheckDlgButton(Window(), IDC_DELETE_SOURCE, DeleteSource_ != 0 ? BST_CHECKED : BST_UNCHECKED);
  ShowText(IDC_MESSAGE, LastMessage_);
  ShowText(IDC_PHOTO_TEXT, PhotoFolder_);
  ShowText(IDC_OUTPUT_TEXT, OutputFolder_);
}

void MainWindow::ShowText(int id, const std::string& text) {
  // The texts are transparent: the skin behind one is drawn again whenever it changes.
  if (GetText(Item(id)) == text) return;
  SetText(Item(id), text);
  RedrawBehind(id);
}

void MainWindow::ShowLine(int id, const std::string& text) {
  ShowText(id, text);
  ::ShowWindow(Item(id), text.empty() ? SW_HIDE : SW_SHOW);
  RedrawBehind(id);
}

void MainWindow::SetFolder(std::string* field, std::string folder) {
  *field = std::move(folder);
  UpdateData(false);
}

COLORREF MainWindow::TextColor(HWND control) {
  return ::GetDlgCtrlID(control) == IDC_FOOTER ? kFooterColor : kTextColor;
}

// ---- The run and the undo ----

void MainWindow::OnOrganize() {
  UpdateData(true);
  // The run takes the folders, the switch and the settings as they are now; changes made while
  // it runs apply to the next run.
  RunConfig config = RunConfigFromSettings(settings_);
  config.photo_folder = FolderOperand(PhotoFolder_);
  config.output_folder = FolderOperand(OutputFolder_);
  config.move = DeleteSource_ != 0;
  std::string refusal;
  if (!session_.Organize(std::move(config), &refusal) && !refusal.empty()) {
    ShowMessageBox(Window(), Tr(kStartRefusalCaption), refusal, MB_OK | MB_ICONINFORMATION);
  }
}

void MainWindow::OnStop() {
  session_.Stop();
  ::ShowWindow(Item(IDC_STOP), SW_HIDE);
}

void MainWindow::OnUndo() {
  if (!session_.CanUndo(OutputFolder_)) return;
  size_t count = 0;
  std::string refusal;
  if (session_.UndoCount(&count, &refusal)) {
    std::string question = Tr(texts::kUndoQuestion);
    if (const size_t at = question.find("%1"); at != std::string::npos)
      question.replace(at, 2, std::to_string(count));
    if (ShowMessageBox(Window(), Tr(kStartRefusalCaption), question, MB_YESNO | MB_ICONQUESTION) !=
        IDYES)
      return;
  }
  // A run that cannot be undone is not started: its refusal is shown where the outcome goes.
  session_.Undo();
}

void MainWindow::OnJobProgress() {
  ::KillTimer(Window(), kRefreshTimerId);
  const int delay = session_.Pump();
  if (delay >= 0) ::SetTimer(Window(), kRefreshTimerId, static_cast<UINT>(delay), nullptr);
}

void MainWindow::OnRunStarted(bool /*undo*/) {
  LastMessage_.clear();
  UpdateData(false);
  ShowLine(IDC_FAILURE_LIST, "");
  ShowLine(IDC_REPORT_PROBLEM, "");
  // The focus leaves the button first: a disabled control holding it would leave the dialog
  // without one, and Escape would no longer reach it.
  if (::GetFocus() == Item(IDC_ORGANIZE)) ::SendMessageW(Window(), WM_NEXTDLGCTL, 0, FALSE);
  ::EnableWindow(Item(IDC_ORGANIZE), FALSE);
  ::ShowWindow(Item(IDC_STOP), SW_SHOW);
}

void MainWindow::OnFileDone(const SessionProgress& progress) {
  LastMessage_ = progress.message;
  ShowText(IDC_MESSAGE, LastMessage_);
}

void MainWindow::OnRunEnded(const RunEndEvent& event) {
  // The designed order: the summary, the organize button, the stop button, the redraw.
  LastMessage_ = event.summary;
  ShowText(IDC_MESSAGE, LastMessage_);
  ::EnableWindow(Item(IDC_ORGANIZE), TRUE);
  ::ShowWindow(Item(IDC_STOP), SW_HIDE);
  // Where the failure list is (also when no viewer came up), or why it (or, failing that, the
  // run's journal) could not be written.
  const std::string problem = texts::RunEndProblemLine(event);
  if (!problem.empty()) ShowLine(IDC_REPORT_PROBLEM, problem);
  if (!event.error_file.empty()) ShowLine(IDC_FAILURE_LIST, texts::FailureListLine(event));
}

void MainWindow::OnUndoEnded(const UndoEndEvent& end, const std::string& refusal) {
  LastMessage_ = texts::UndoOutcomeText(end, refusal);
  ShowText(IDC_MESSAGE, LastMessage_);
  ::EnableWindow(Item(IDC_ORGANIZE), TRUE);
  ::ShowWindow(Item(IDC_STOP), SW_HIDE);
}

// ---- Buttons, menus, drops ----

void MainWindow::OnPhotoFolder() {
  UpdateData(true);
  FolderPicker picker(Tr(texts::kBrowseCaption), Tr(texts::kPhotoFolderTitle), PhotoFolder_.c_str(),
                      Window());
  if (picker.DoModal() == 1) SetFolder(&PhotoFolder_, picker.GetPath() + "\\");
}

void MainWindow::OnOutputFolder() {
  UpdateData(true);
  FolderPicker picker(Tr(texts::kBrowseCaption), Tr(texts::kOutputFolderTitle),
                      OutputFolder_.c_str(), Window());
  if (picker.DoModal() == 1) SetFolder(&OutputFolder_, picker.GetPath() + "\\");
}

void MainWindow::OnAboutButton() {
  AboutBox about;
  about.DoModal(Window());
}

void MainWindow::OnOptionsButton() {
  OptionsWindow options(settings_);
  options.DoModal(Window());
}

void MainWindow::OnCloseButton() {
  ::PostMessageW(Window(), WM_CLOSE, 0, 0);
}

void MainWindow::OnMinimizeButton() {
  ::PostMessageW(Window(), WM_SYSCOMMAND, SC_MINIMIZE, 0);
}

void MainWindow::OnTimer(UINT_PTR id) {
  if (id == kRefreshTimerId) {
    OnJobProgress();
    return;
  }
  if (id != kVersionTimerId) return;
  ::KillTimer(Window(), kVersionTimerId);
  if (version_check_started_) return;
  version_check_started_ = true;
  version_check_.Start(settings_, MsgX());
}

void MainWindow::OnContextMenu(LPARAM where) {
  HMENU menu = ::CreatePopupMenu();
  auto add = [menu](UINT id, const char* text) {
    ::AppendMenuW(menu, MF_STRING, id, win::Widen(Tr(text)).c_str());
  };
  if (session_.CanUndo(OutputFolder_)) {
    add(kIdmUndo, texts::kUndoMenu);
    ::AppendMenuW(menu, MF_SEPARATOR, 0, nullptr);
  }
  add(kIdmMinimize, texts::kMinimizeMenu);
  add(kIdmClose, texts::kCloseMenu);
  ::AppendMenuW(menu, MF_SEPARATOR, 0, nullptr);
  add(IDM_ABOUTBOX, texts::kAboutMenu);
  POINT at{static_cast<short>(LOWORD(where)), static_cast<short>(HIWORD(where))};
  if (where == -1) {
    // From the keyboard: at the window's top-left corner.
    at = POINT{0, 0};
    ::ClientToScreen(Window(), &at);
  }
  const UINT chosen = static_cast<UINT>(::TrackPopupMenu(
      menu, TPM_RETURNCMD | TPM_RIGHTBUTTON | TPM_NONOTIFY, at.x, at.y, 0, Window(), nullptr));
  ::DestroyMenu(menu);
  if (chosen == kIdmUndo) OnUndo();
  if (chosen == kIdmMinimize) OnMinimizeButton();
  if (chosen == kIdmClose) OnCloseButton();
  if (chosen == IDM_ABOUTBOX) OnAboutButton();
}

bool MainWindow::Over(int id, POINT client) const {
  RECT area{};
  ::GetWindowRect(Item(id), &area);
  ::MapWindowPoints(nullptr, Window(), reinterpret_cast<POINT*>(&area), 2);
  return ::PtInRect(&area, client) != FALSE;
}

void MainWindow::OnDropFiles(HDROP drop) {
  // One folder, dropped on a folder button or its text, that the picker would take as it stands.
  POINT at{};
  ::DragQueryPoint(drop, &at);
  std::string folder;
  if (::DragQueryFileW(drop, 0xFFFFFFFF, nullptr, 0) == 1) {
    const UINT length = ::DragQueryFileW(drop, 0, nullptr, 0);
    std::wstring name(length + 1, L'\0');
    ::DragQueryFileW(drop, 0, name.data(), length + 1);
    name.resize(length);
    folder = win::Narrow(name);
  }
  ::DragFinish(drop);
  if (folder.empty() || FolderPicker::CheckOrCreatePath(folder.c_str(), true) != 0 ||
      !IsFolder(folder))
    return;
  folder = WithTrailingSeparator(folder);
  if (Over(IDC_PHOTO_FOLDER, at) || Over(IDC_PHOTO_TEXT, at)) SetFolder(&PhotoFolder_, folder);
  if (Over(IDC_OUTPUT_FOLDER, at) || Over(IDC_OUTPUT_TEXT, at)) SetFolder(&OutputFolder_, folder);
}

// ---- Closing ----

void MainWindow::RequestClose() {
  // A run in progress is stopped only when the user says so (one question at a time).
  if (session_.IsRunning()) {
    if (asking_to_close_) return;
    asking_to_close_ = true;
    const int answer = ShowMessageBox(Window(), Tr(kStartRefusalCaption),
                                      Tr(texts::kCloseDuringRun), MB_YESNO | MB_ICONQUESTION);
    asking_to_close_ = false;
    if (answer != IDYES) return;
  }
  // The window never goes while a worker still runs: the files in hand are finished first.
  session_.StopAndWait();
  ::EndDialog(Window(), IDCANCEL);
}

void MainWindow::OnDestroy() {
  post_to_.store(nullptr);
  ::KillTimer(Window(), kVersionTimerId);
  ::KillTimer(Window(), kRefreshTimerId);
  ::DragAcceptFiles(Window(), FALSE);
  UpdateData(true);
  std::lock_guard<std::mutex> lock(settings_.Mutex);
  settings_.IsDeleteSrc = DeleteSource_;
  settings_.PathSrc = PhotoFolder_;
  settings_.PathTar = OutputFolder_;
}

// ---- The message map ----

bool MainWindow::OnMessage(UINT message, WPARAM wparam, LPARAM lparam, INT_PTR* result) {
  switch (message) {
    case WM_INITDIALOG:
      OnInitDialog();
      *result = TRUE;
      return true;
    case WM_COMMAND:
      switch (LOWORD(wparam)) {
        case IDC_PHOTO_FOLDER:
          OnPhotoFolder();
          break;
        case IDC_OUTPUT_FOLDER:
          OnOutputFolder();
          break;
        case IDC_ORGANIZE:
          OnOrganize();
          break;
        case IDC_STOP:
          OnStop();
          break;
        case IDC_CLOSE:
          OnCloseButton();
          break;
        case IDC_MINIMIZE:
          OnMinimizeButton();
          break;
        case IDC_ABOUT:
          OnAboutButton();
          break;
        case IDC_OPTIONS:
          OnOptionsButton();
          break;
        case IDC_DELETE_SOURCE:
          // The switch follows the box at once, so that a refresh never flips it back.
          UpdateData(true);
          break;
        case IDC_FAILURE_LIST:
          if (HIWORD(wparam) == STN_CLICKED) session_.ShowFailureList();
          break;
        case IDCANCEL:
          RequestClose();
          break;
        default:
          // IDOK (Enter) ends nothing: a second quick press meant for a box that has just
          // closed must not end the program.
          break;
      }
      return true;
    case WM_SYSCOMMAND:
      if ((wparam & 0xFFF0) == IDM_ABOUTBOX) {
        OnAboutButton();
        return true;
      }
      return false;
    case WM_CONTEXTMENU:
      OnContextMenu(lparam);
      return true;
    case WM_SETCURSOR:
      if (reinterpret_cast<HWND>(wparam) == Item(IDC_FAILURE_LIST)) {
        ::SetCursor(LinkCursor());
        *result = TRUE;
        return true;
      }
      return false;
    case WM_PAINT:
      if (::IsIconic(Window())) {
        // Minimized: the icon, centred in the client area.
        PAINTSTRUCT paint{};
        HDC dc = ::BeginPaint(Window(), &paint);
        ::SendMessageW(Window(), WM_ICONERASEBKGND, reinterpret_cast<WPARAM>(dc), 0);
        RECT client{};
        ::GetClientRect(Window(), &client);
        ::DrawIcon(dc, (client.right - ::GetSystemMetrics(SM_CXICON) + 1) / 2,
                   (client.bottom - ::GetSystemMetrics(SM_CYICON) + 1) / 2,
                   AppIcon(::GetSystemMetrics(SM_CXICON)));
        ::EndPaint(Window(), &paint);
        return true;
      }
      return false;
    case WM_QUERYDRAGICON:
      *result = reinterpret_cast<INT_PTR>(AppIcon(::GetSystemMetrics(SM_CXICON)));
      return true;
    case WM_JOB_PROGRESS:
      OnJobProgress();
      return true;
    case WM_TIMER:
      OnTimer(wparam);
      return true;
    case WM_DROPFILES:
      OnDropFiles(reinterpret_cast<HDROP>(wparam));
      return true;
    case WM_DESTROY:
      OnDestroy();
      return SkinnedDialog::OnMessage(message, wparam, lparam, result);
    default:
      return SkinnedDialog::OnMessage(message, wparam, lparam, result);
  }
}

}  // namespace nandell::winui
