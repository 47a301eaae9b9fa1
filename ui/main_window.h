#pragma once

#include <QDialog>
#include <QIcon>
#include <QPixmap>
#include <QPoint>
#include <QPointer>
#include <QTimer>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "engine/run_session.h"
#include "settings/settings_store.h"
#include "ui/skinned_dialog.h"
#include "uicore/main_window_texts.h"
#include "update/version_check.h"

class QCheckBox;
class QLabel;
class QMenu;
class QMimeData;
class QPlainTextEdit;
class QProgressBar;

namespace nandell {

class HistoryWindow;
class PngButton;
class PreviewWindow;

/// The program's main window: a frameless dialog painted with skin 129, with eight image
/// buttons, the photo folder, output folder and message texts, the "删除源文件" check box and
/// the footer link. It reads its folders and switch from the settings store when it opens
/// and hands them back when it closes; it starts, stops and shows organizing runs and, when
/// CheckVersion is set, starts the version check 3 seconds after it opened. Escape, the close
/// button and the system menu close it (Enter does not); a close asked for during a run asks
/// first, then stops the run and waits for the files in hand. Paths that do not fit their
/// field are shortened in the middle, the whole text in the tooltip. After a run with failures
/// the path of the failure list is shown under the summary and opens the list when clicked.
/// After a run that placed files, the right-click menu offers to undo it while its output
/// folder is the one chosen. A folder dragged from a file manager onto the photo or output
/// folder's button or text sets that folder as the folder picker would. During a run or an undo,
/// the message area shows, under the file's message, the files done of the files in all with
/// the time left and a progress bar. The right-click menu also previews a run (a dry run shown
/// in the preview window, from which it is carried out) and lists the output folder's runs in
/// the history window, from which any of them is undone.
class MainWindow : public SkinnedDialog, private SessionListener {
  Q_OBJECT

 public:
  /// The window on `settings` (the process-wide store unless a test gives its own), laid out
  /// and filled from the store (the dialog's initialisation). Its runs work through
  /// `file_system` (the operating system's unless a test gives its own).
  explicit MainWindow(SettingsStore& settings = Settings(), QWidget* parent = nullptr,
                      fs::FileSystem& file_system = fs::RealFileSystem());
  /// Stops a running worker and waits for it, then hands the settings back if not done yet.
  ~MainWindow() override;

  MainWindow(const MainWindow&) = delete;
  MainWindow& operator=(const MainWindow&) = delete;

  /// Command id of the About entry of the system menu.
  static constexpr int kIdmAbout = 16;
  /// Id of the timer that starts the version check, and its delay.
  static constexpr int kVersionTimerId = 1;
  static constexpr int kVersionTimerMs = 3000;
  /// Text colours: every text over the skin, and the footer link.
  static constexpr QRgb kTextColor = qRgb(31, 107, 129);
  static constexpr QRgb kFooterColor = qRgb(255, 255, 255);

  /// Copies the controls into the fields (check box into DeleteSource) when `save` is true,
  /// else the fields into the controls (check box, the three texts).
  void UpdateData(bool save);

  /// Places every control from the skin and the strips' sizes (see the .cpp for the table)
  /// and logs the skin size.
  void LayoutSkin();

  /// The fields the window shows. The folders end with "/" once chosen with the buttons.
  std::string PhotoFolder() const { return PhotoFolder_; }
  std::string OutputFolder() const { return OutputFolder_; }
  int32_t DeleteSource() const { return DeleteSource_; }
  std::string LastMessage() const { return LastMessage_; }
  /// Sets a folder field and shows it (what the folder buttons do after the picker).
  void SetPhotoFolder(std::string folder);
  void SetOutputFolder(std::string folder);
  /// The folder a drag carries, as a folder field takes it (with a trailing "/"): exactly one
  /// local folder that the folder picker would accept as it stands; std::nullopt otherwise.
  static std::optional<std::string> DroppedFolder(const QMimeData* data);

  /// Skin size in pixels; the window takes this size.
  int SkinWidth() const { return SkinWidth_; }
  int SkinHeight() const { return SkinHeight_; }

  /// The controls, by role (control ids in brackets).
  PngButton* AboutButton() const { return about_; }              // 1012
  PngButton* StopButton() const { return stop_; }                // 1007
  PngButton* OptionsButton() const { return options_; }          // 1011
  PngButton* OutputFolderButton() const { return output_; }      // 1003
  PngButton* PhotoFolderButton() const { return photo_; }        // 1001
  PngButton* MinimizeButton() const { return minimize_; }        // 1010
  PngButton* CloseButton() const { return close_; }              // 1009
  PngButton* OrganizeButton() const { return organize_; }        // 1005
  QCheckBox* DeleteSourceBox() const { return delete_source_; }  // 1006
  QLabel* MessageLabel() const { return message_; }              // 1018
  QLabel* PhotoFolderLabel() const { return photo_text_; }       // 1019
  QLabel* OutputFolderLabel() const { return output_text_; }     // 1020
  QLabel* FooterLabel() const { return footer_; }                // 1013
  /// The failure list's line ("失败列表: PATH"), shown after a run that wrote one.
  QLabel* FailureListLabel() const { return failure_list_; }
  /// The line that says the failure list could not be written ("无法写入失败列表: PATH: ...").
  QLabel* ReportProblemLabel() const { return report_problem_; }
  /// The figures of a run or an undo under way ("N / M 个文件, 剩余约 M:SS") and its bar, at
  /// the foot of the message area; hidden between runs.
  QLabel* ProgressLabel() const { return progress_text_; }
  QProgressBar* ProgressBar() const { return progress_bar_; }
  /// The preview window and the history window while they are open, else null.
  PreviewWindow* Preview() const;
  HistoryWindow* History() const;

  /// The window's runs and undos.
  RunSession& Session() { return *session_; }
  /// True from a start until the worker's wind-up (or a stop).
  bool IsRunning() const { return session_->IsRunning(); }
  /// The end of the last run that ended, with the path of errorFile.txt if written.
  const RunEndEvent& LastReport() const { return session_->LastReport(); }
  /// Number of runs that ended since the window opened.
  int RunsEnded() const { return session_->RunsEnded(); }
  /// True when the right-click menu offers to undo the last run: it placed files, into the
  /// output folder chosen now, and neither a run nor an undo is active.
  bool CanUndo() const { return session_->CanUndo(OutputFolder_); }
  /// Number of undos that ended since the window opened.
  int UndosEnded() const { return session_->UndosEnded(); }
  /// Number of times the message area was refreshed during the runs so far.
  int ProgressRefreshes() const { return session_->Refreshes(); }

  /// The timer that starts the version check (active for 3 seconds after opening when
  /// CheckVersion is set) and the check it starts.
  const QTimer& VersionTimer() const { return version_timer_; }
  bool VersionCheckStarted() const { return version_check_started_; }
  VersionCheckRunner& VersionCheck() { return version_check_; }

  /// The right-click menu of the skin (the system menu): the undo entry when CanUndo, the
  /// preview (while idle) and history entries and a separator, minimize, close, a separator and
  /// the About entry. The caller owns it.
  QMenu* CreateSystemMenu();

 public slots:
  /// Start-check the folders and start a run on the window's folders and switch and the
  /// store's filters and layout as they are now, or show the refusal ("提示").
  void OnOrganize();
  /// Ask the run (or the undo) to stop after the file in hand; hides the stop button.
  void OnStop();
  /// Undo the last run after asking (kUndoQuestion with its number of files); every
  /// file's message and the summary show in the message area, as a run's do.
  void OnUndo();
  /// Preview a run on the window's folders and settings as they are now (a dry run, its
  /// progress in the message area); its plan then opens in the preview window, whose
  /// "开始整理" runs that plan's config. A refusal is shown as OnOrganize shows it.
  void OnPreview();
  /// Open the history window on the output folder (or bring it to the front).
  void OnHistory();
  /// Undo the run of `journal` after asking (kUndoRunQuestion), shown as OnUndo shows it.
  void OnUndoJournal(const QString& journal);
  /// Show what the run or undo has to show (the newest file's message at most about 30 times a
  /// second, the summary at once).
  void OnJobProgress();
  /// Choose the photo folder / the output folder with the folder picker.
  void OnPhotoFolder();
  void OnOutputFolder();
  /// Open the About box modally.
  void OnAboutButton();
  /// The options button: the options window, modal.
  void OnOptionsButton();
  /// Close the window (ends the program).
  void OnCloseButton();
  /// Minimize the window to its taskbar button.
  void OnMinimizeButton();
  /// A command of the system menu: kIdmAbout opens the About box.
  void OnSysCommand(int id);
  /// Timer `id` elapsed: timer 1 is stopped and the version check starts.
  void OnTimer(int id);

 public:
  /// Ends the dialog; during a run it first asks (kCloseDuringRun, 是/否): 否 keeps the
  /// window and the run; 是 stops the run and waits for the worker. Then the folders and the
  /// switch go back to the settings store.
  void done(int result) override;

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;
  void contextMenuEvent(QContextMenuEvent* event) override;
  void dragEnterEvent(QDragEnterEvent* event) override;
  void dragMoveEvent(QDragMoveEvent* event) override;
  void dropEvent(QDropEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;
  void showEvent(QShowEvent* event) override;

 private:
  void OnInitDialog();
  void OnDestroy();
  // The session's events, on the window's thread.
  void OnRunStarted(bool undo) override;
  void OnFileDone(const SessionProgress& progress) override;
  // The end of a run: its summary and buttons, then where its report is.
  void OnRunEnded(const RunEndEvent& event) override;
  // A preview's plan: the preview window.
  void OnPlanReady(const RunPlan& plan) override;
  // The end of an undo: its summary (or refusal) and the buttons.
  void OnUndoEnded(const UndoEndEvent& end, const std::string& refusal) override;
  // Asks `question` with the number of files an undo of the last run (or of `journal`) would
  // take back; true when the answer is yes or the undo cannot be counted (its refusal follows).
  bool ConfirmUndo(const std::string* journal, const char* question);
  // Clears the message area and the lines under it.
  void ClearMessages();
  // The end of a run or an undo: `message` in the message area, the organize button back.
  void ShowEnd(const std::string& message);
  // The config of a run on the window's folders and switch and the store's settings now.
  RunConfig CurrentConfig();
  // Starts a run (or a preview) on `config`, or shows the refusal.
  void StartRun(RunConfig config, bool preview = false);
  // The text of the folder field a drop at `position` sets (the field's button or text);
  // null elsewhere.
  QLabel* DropField(const QPoint& position) const;
  // Shows `text` in `label`, shortened to fit (the whole text then in its tooltip).
  void ShowText(QLabel* label, const std::string& text);

  SettingsStore& settings_;

  // Fields as the window holds them (names of the design).
  int SkinWidth_ = 0;
  int SkinHeight_ = 0;
  PngButton* about_ = nullptr;
  PngButton* stop_ = nullptr;
  PngButton* options_ = nullptr;
  PngButton* output_ = nullptr;
  PngButton* photo_ = nullptr;
  PngButton* minimize_ = nullptr;
  PngButton* close_ = nullptr;
  PngButton* organize_ = nullptr;
  int32_t DeleteSource_ = 0;
  std::string LastMessage_;
  std::string PhotoFolder_;
  std::string OutputFolder_;
  QIcon icon_;

  QCheckBox* delete_source_ = nullptr;
  QLabel* message_ = nullptr;
  QLabel* photo_text_ = nullptr;
  QLabel* output_text_ = nullptr;
  QLabel* footer_ = nullptr;
  QLabel* failure_list_ = nullptr;
  QLabel* report_problem_ = nullptr;
  QLabel* progress_text_ = nullptr;
  QProgressBar* progress_bar_ = nullptr;
  QPlainTextEdit* edit_ = nullptr;
  QPointer<PreviewWindow> preview_;
  QPointer<HistoryWindow> history_;

  // The runs and undos; a message held back is shown when refresh_timer_ fires.
  std::unique_ptr<RunSession> session_;
  QTimer refresh_timer_;

  QTimer version_timer_;
  bool version_check_started_ = false;
  VersionCheckRunner version_check_;

  bool handed_back_ = false;
  bool asking_to_close_ = false;
};

}  // namespace nandell
