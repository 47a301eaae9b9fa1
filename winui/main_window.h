#pragma once

// The main window of the Windows program (dialog template 102): a thin view over the run
// session (engine/run_session.h), drawn over its skin.

#include <windows.h>
// After windows.h, which it builds on.
#include <shellapi.h>

#include <atomic>
#include <cstdint>
#include <string>

#include "engine/run_session.h"
#include "res/resource_ids.h"
#include "settings/settings_store.h"
#include "update/version_check.h"
#include "winui/dialog.h"
#include "winui/png_button.h"

namespace nandell::winui {

/// The program's main window: a caption-less dialog painted with skin 129, with eight image
/// buttons, the photo folder, output folder and message texts, the "删除源文件" check box and the
/// footer link. It reads its folders and switch from the settings store when it opens and hands
/// them back when it closes; it starts, stops and shows organizing runs and undos through its
/// RunSession and, when CheckVersion is set, starts the version check 3 seconds after it opened.
/// Escape, the close button and the system menu close it (Enter does not); a close asked for
/// during a run asks first, then stops the run and waits for the files in hand. After a run with
/// failures the path of the failure list is shown under the summary and opens the list when
/// clicked. A right click on the skin offers to undo the last run while its output folder is the
/// one chosen. A folder dropped from Explorer onto a folder button or its text sets that folder.
class MainWindow : public SkinnedDialog, private SessionListener {
 public:
  /// Posted (wParam and lParam 0) when the session has something to show.
  static constexpr UINT WM_JOB_PROGRESS = WM_USER + 20;
  /// Timer 1 starts the version check 3 seconds after opening; timer 2 shows a file message
  /// that the session held back.
  static constexpr UINT_PTR kVersionTimerId = 1;
  static constexpr UINT kVersionTimerMs = 3000;
  static constexpr UINT_PTR kRefreshTimerId = 2;
  /// The right-click menu's undo, minimize and close commands.
  static constexpr UINT kIdmUndo = 0x0020;
  static constexpr UINT kIdmMinimize = 0x0030;
  static constexpr UINT kIdmClose = 0x0040;
  /// Text colours: every text over the skin, and the footer link.
  static constexpr COLORREF kTextColor = RGB(31, 107, 129);
  static constexpr COLORREF kFooterColor = RGB(255, 255, 255);

  /// The window on `settings`, its runs working through `file_system`.
  explicit MainWindow(SettingsStore& settings = Settings(),
                      fs::FileSystem& file_system = fs::RealFileSystem());
  ~MainWindow() override;

  /// Copies the check box into DeleteSource when `save` is true, else the fields into the
  /// controls (check box, the three texts), redrawing the skin behind each text that changed.
  void UpdateData(bool save);
  /// Places every control from the skin's and the strips' sizes and logs the skin size.
  void LayoutSkin();

  /// The handlers (names of the design).
  void OnOrganize();
  void OnStop();
  void OnUndo();
  void OnJobProgress();
  void OnPhotoFolder();
  void OnOutputFolder();
  void OnAboutButton();
  void OnOptionsButton();
  void OnCloseButton();
  void OnMinimizeButton();

 protected:
  bool OnMessage(UINT message, WPARAM wparam, LPARAM lparam, INT_PTR* result) override;
  COLORREF TextColor(HWND control) override;

 private:
  void OnInitDialog();
  void OnDestroy();
  void OnTimer(UINT_PTR id);
  void OnContextMenu(LPARAM where);
  void OnDropFiles(HDROP drop);
  // Escape, the close box, the close button: asks first during a run, then ends the dialog.
  void RequestClose();
  // Sets `field` from a folder chosen and shows it.
  void SetFolder(std::string* field, std::string folder);
  // Shows `text` in control `id` when it differs, redrawing the skin behind it.
  void ShowText(int id, const std::string& text);
  // Shows or hides the line under the summary.
  void ShowLine(int id, const std::string& text);
  bool Over(int id, POINT client) const;

  void OnRunStarted(bool undo) override;
  void OnFileDone(const SessionProgress& progress) override;
  void OnRunEnded(const RunEndEvent& event) override;
  void OnUndoEnded(const UndoEndEvent& end, const std::string& refusal) override;

  SettingsStore& settings_;
  // Fields as the window holds them (names of the design).
  PngButton about_, stop_, options_, output_, photo_, minimize_, close_, organize_;
  int32_t DeleteSource_ = 0;
  std::string LastMessage_;
  std::string PhotoFolder_;
  std::string OutputFolder_;

  // Where the session's wake is posted; null before the dialog opens and after it is gone.
  std::atomic<HWND> post_to_{nullptr};
  RunSession session_;
  VersionCheckRunner version_check_;
  bool version_check_started_ = false;
  HFONT link_font_ = nullptr;
  bool asking_to_close_ = false;
};

}  // namespace nandell::winui
