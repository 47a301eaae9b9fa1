#include "ui/main_window.h"

#include <QCheckBox>
#include <QContextMenuEvent>
#include <QDropEvent>
#include <QKeyEvent>
#include <QLabel>
#include <QMenu>
#include <QMimeData>
#include <QMouseEvent>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <algorithm>

#include "library/library_index.h"
#include "log/msgx.h"
#include "platform/file.h"
#include "ui/about_box.h"
#include "ui/elided_text.h"
#include "ui/folder_picker.h"
#include "ui/history_window.h"
#include "ui/link_label.h"
#include "ui/message_box.h"
#include "ui/options_window.h"
#include "ui/png_button.h"
#include "ui/preview_window.h"
#include "ui/resources.h"
#include "ui/texts.h"
#include "uicore/build_info.h"
#include "uicore/skin_layout.h"

namespace nandell {
namespace {

// A one-line text over the skin (see ShowText): transparent, in the skin's text colour, never
// taking mouse input (so a press on it drags the window).
QLabel* MakeText(QWidget* parent, const char* id, Qt::Alignment alignment) {
  auto* label = new QLabel(QStringLiteral("Static"), parent);
  label->setObjectName(QString::fromLatin1(id));
  label->setTextFormat(Qt::PlainText);
  label->setAlignment(alignment);
  label->setAttribute(Qt::WA_TransparentForMouseEvents, true);
  QPalette palette = label->palette();
  palette.setColor(QPalette::WindowText, QColor(MainWindow::kTextColor));
  label->setPalette(palette);
  return label;
}

// The action a drop of a folder reports to the file manager: a link or a copy, never a move
// (after which it might take the folder away).
Qt::DropAction FolderDropAction(Qt::DropActions possible) {
  if (possible & Qt::LinkAction) return Qt::LinkAction;
  if (possible & Qt::CopyAction) return Qt::CopyAction;
  return Qt::IgnoreAction;
}

PngButton* MakeButton(QWidget* parent, const char* id, const char* caption) {
  auto* button = new PngButton(parent);
  button->setObjectName(QString::fromLatin1(id));
  // The template caption: never drawn (the artwork carries the label), but named for
  // accessibility tools.
  button->setText(QString::fromUtf8(caption));
  button->setAccessibleName(QString::fromUtf8(caption));
  return button;
}

}  // namespace

MainWindow::MainWindow(SettingsStore& settings, QWidget* parent, fs::FileSystem& file_system)
    : SkinnedDialog(parent), settings_(settings) {
  InitResources();
  // Frameless: the skin is the whole face; a window of its own with a taskbar button.
  setWindowFlags(Qt::Window | Qt::FramelessWindowHint | Qt::WindowMinimizeButtonHint);
  setFont(TemplateFont());
  setWindowTitle(QStringLiteral("Nandell"));
  icon_ = AppIcon();
  setWindowIcon(icon_);

  // The buttons, in the order of the window's fields.
  about_ = MakeButton(this, "1012", "about");
  stop_ = MakeButton(this, "1007", Tr(main_window_texts::kStopButton));
  options_ = MakeButton(this, "1011", "options");
  output_ = MakeButton(this, "1003", Tr(main_window_texts::kOutputFolderButton));
  photo_ = MakeButton(this, "1001", Tr(main_window_texts::kPhotoFolderButton));
  minimize_ = MakeButton(this, "1010", "-");
  close_ = MakeButton(this, "1009", "X");
  organize_ = MakeButton(this, "1005", Tr(main_window_texts::kOrganizeButton));

  delete_source_ = new QCheckBox(QTr(main_window_texts::kDeleteSource), this);
  delete_source_->setObjectName(QStringLiteral("1006"));
  delete_source_->setFocusPolicy(Qt::NoFocus);
  QPalette box_palette = delete_source_->palette();
  box_palette.setColor(QPalette::WindowText, QColor(kTextColor));
  delete_source_->setPalette(box_palette);

  message_ = MakeText(this, "1018", Qt::AlignLeft | Qt::AlignTop);
  photo_text_ = MakeText(this, "1019", Qt::AlignLeft | Qt::AlignVCenter);
  output_text_ = MakeText(this, "1020", Qt::AlignLeft | Qt::AlignVCenter);

  // The failure list's path under the summary: a link to the list, hidden until a run wrote
  // one.
  failure_list_ = MakeText(this, "failureList", Qt::AlignLeft | Qt::AlignVCenter);
  failure_list_->setAttribute(Qt::WA_TransparentForMouseEvents, false);
  failure_list_->setCursor(LinkCursor());
  QFont link_font = failure_list_->font();
  link_font.setUnderline(true);
  failure_list_->setFont(link_font);
  failure_list_->installEventFilter(this);
  failure_list_->hide();
  report_problem_ = MakeText(this, "reportProblem", Qt::AlignLeft | Qt::AlignVCenter);
  report_problem_->hide();

  // How far a run has come: its figures and a thin bar in the skin's blues, at the foot of the
  // message area, shown only during a run or an undo.
  progress_text_ = MakeText(this, "progress", Qt::AlignLeft | Qt::AlignVCenter);
  progress_text_->hide();
  progress_bar_ = new QProgressBar(this);
  progress_bar_->setObjectName(QStringLiteral("progressBar"));
  progress_bar_->setTextVisible(false);
  progress_bar_->setAttribute(Qt::WA_TransparentForMouseEvents, true);
  progress_bar_->setStyleSheet(QStringLiteral(
      "QProgressBar { border: 1px solid rgb(176, 208, 240); border-radius: 3px;"
      " background: rgb(236, 244, 252); }"
      " QProgressBar::chunk { background: rgb(30, 110, 215); border-radius: 2px; }"));
  progress_bar_->hide();

  footer_ = new QLabel(QTr(build_info::kFooterText), this);
  footer_->setObjectName(QStringLiteral("1013"));
  footer_->setTextFormat(Qt::PlainText);
  QPalette footer_palette = footer_->palette();
  footer_palette.setColor(QPalette::WindowText, QColor(kFooterColor));
  footer_->setPalette(footer_palette);

  // A multi-line edit of the template that is hidden at start and used by nothing.
  edit_ = new QPlainTextEdit(this);
  edit_->setObjectName(QStringLiteral("1004"));
  edit_->setReadOnly(true);
  edit_->hide();

  connect(photo_, &QAbstractButton::clicked, this, &MainWindow::OnPhotoFolder);
  connect(output_, &QAbstractButton::clicked, this, &MainWindow::OnOutputFolder);
  connect(stop_, &QAbstractButton::clicked, this, &MainWindow::OnStop);
  connect(organize_, &QAbstractButton::clicked, this, &MainWindow::OnOrganize);
  connect(close_, &QAbstractButton::clicked, this, &MainWindow::OnCloseButton);
  connect(minimize_, &QAbstractButton::clicked, this, &MainWindow::OnMinimizeButton);
  connect(about_, &QAbstractButton::clicked, this, &MainWindow::OnAboutButton);
  connect(options_, &QAbstractButton::clicked, this, &MainWindow::OnOptionsButton);
  // The switch follows the box at once, so that a refresh during a run never flips it back.
  connect(delete_source_, &QCheckBox::toggled, this,
          [this](bool on) { DeleteSource_ = on ? 1 : 0; });

  // Folders dragged from a file manager onto the folder fields (see dropEvent).
  setAcceptDrops(true);

  // The session wakes the window from its workers; the window asks it what to show.
  session_ = std::make_unique<RunSession>(
      static_cast<SessionListener&>(*this),
      [this] { QMetaObject::invokeMethod(this, &MainWindow::OnJobProgress, Qt::QueuedConnection); },
      file_system, OpenLibraryIndex);

  refresh_timer_.setSingleShot(true);
  refresh_timer_.setTimerType(Qt::PreciseTimer);
  connect(&refresh_timer_, &QTimer::timeout, this, &MainWindow::OnJobProgress);
  version_timer_.setSingleShot(true);
  connect(&version_timer_, &QTimer::timeout, this, [this] { OnTimer(kVersionTimerId); });

  OnInitDialog();
}

MainWindow::~MainWindow() {
  // The preview and the history go first: the history asks the session.
  delete preview_;
  delete history_;
  // Never leave a worker posting to a window that is going away.
  session_->StopAndWait();
  OnDestroy();
  refresh_timer_.stop();
  version_timer_.stop();
}

void MainWindow::OnInitDialog() {
  {
    std::lock_guard<std::mutex> lock(settings_.Mutex);
    DeleteSource_ = settings_.IsDeleteSrc;
    PhotoFolder_ = settings_.PathSrc;
    OutputFolder_ = settings_.PathTar;
  }
  LayoutSkin();
  UpdateData(false);
  int32_t check_version = 0;
  {
    std::lock_guard<std::mutex> lock(settings_.Mutex);
    check_version = settings_.CheckVersion;
  }
  if (check_version != 0) version_timer_.start(kVersionTimerMs);
}

void MainWindow::LayoutSkin() {
  // The skin is the window's background (its brush, in the window's terms).
  SetSkin(ResourcePixmap(kSkinMain, "bitmap"));
  const int W = Skin().width();
  const int H = Skin().height();
  SkinWidth_ = W;
  SkinHeight_ = H;
  MsgX().LogFormatAt(773, "皮肤背景大小为: %d, %d", W, H);
  // The window takes the skin's size, its top-left corner staying where it is.
  setFixedSize(W, H);

  // Buttons: load the strip (which sizes the button to one slice); then every control goes
  // where the layout table (uicore/skin_layout.h) puts it.
  const struct {
    PngButton* button;
    uint32_t strip;
  } buttons[] = {{close_, kPngClose},       {minimize_, kPngMinimize}, {options_, kPngOptions},
                 {about_, kPngAbout},       {photo_, kPngPhotoFolder}, {output_, kPngOutputFolder},
                 {organize_, kPngOrganize}, {stop_, kPngStop}};
  for (const auto& row : buttons) row.button->LoadPng(row.strip);
  auto size = [](const QWidget* widget) { return SkinSize{widget->width(), widget->height()}; };
  const MainLayout layout =
      LayoutMainWindow(W, H,
                       MainButtonSizes{size(close_), size(minimize_), size(options_), size(about_),
                                       size(photo_), size(output_), size(organize_), size(stop_)});
  const struct {
    QWidget* widget;
    SkinRect place;
  } places[] = {{close_, layout.close},       {minimize_, layout.minimize},
                {options_, layout.options},   {about_, layout.about},
                {photo_, layout.photo},       {photo_text_, layout.photo_text},
                {output_, layout.output},     {output_text_, layout.output_text},
                {organize_, layout.organize}, {message_, layout.message},
                {stop_, layout.stop},         {delete_source_, layout.delete_source},
                {footer_, layout.footer}};
  for (const auto& row : places)
    row.widget->setGeometry(row.place.x, row.place.y, row.place.width, row.place.height);
  edit_->hide();
  stop_->hide();

  // The failure list's line: the fourth line of the message area, under the summary.
  const int line = message_->fontMetrics().lineSpacing();
  failure_list_->setGeometry(message_->x(), message_->y() + 3 * line, message_->width(), line + 2);
  report_problem_->setGeometry(failure_list_->geometry());
  // The run's figures and bar: the foot of the message area, under the file's message (its
  // source, an empty line and its target, or a failure's two lines).
  const int bar_height = 8;
  progress_bar_->setGeometry(message_->x(), message_->geometry().bottom() - bar_height - 5,
                             message_->width() - 8, bar_height);
  progress_text_->setGeometry(message_->x(), progress_bar_->y() - line - 4, message_->width(),
                              line + 2);

  // The footer is the maker's web link (link label 1), drawn white over the skin.
  LinkLabel* link = LinkLabel::Instance(1);
  link->Attach(footer_);
  link->SetNotify(1);
  link->SetLinkCursor(LinkCursor());
  link->SetLink(build_info::kWebAddress);
  link->SetParentColor(QColor(kFooterColor));
}

void MainWindow::UpdateData(bool save) {
  if (save) {
    DeleteSource_ = delete_source_->isChecked() ? 1 : 0;
    return;
  }
  delete_source_->setChecked(DeleteSource_ != 0);
  ShowText(message_, LastMessage_);
  ShowText(photo_text_, PhotoFolder_);
  ShowText(output_text_, OutputFolder_);
}

void MainWindow::ShowText(QLabel* label, const std::string& text) {
  const QString whole = QString::fromStdString(text);
  const QString shown = ElideMessage(whole, label->fontMetrics(), label->contentsRect().width());
  label->setText(shown);
  QString plain = whole;
  plain.remove(QLatin1Char('\r'));
  label->setToolTip(shown == plain ? QString() : plain);
}

void MainWindow::SetPhotoFolder(std::string folder) {
  PhotoFolder_ = std::move(folder);
  UpdateData(false);
  update(photo_text_->geometry());
}

void MainWindow::SetOutputFolder(std::string folder) {
  OutputFolder_ = std::move(folder);
  UpdateData(false);
  update(output_text_->geometry());
}

std::optional<std::string> MainWindow::DroppedFolder(const QMimeData* data) {
  if (data == nullptr || !data->hasUrls()) return std::nullopt;
  const QList<QUrl> urls = data->urls();
  if (urls.size() != 1 || !urls[0].isLocalFile()) return std::nullopt;
  // The folder as the picker takes a typed path; it must exist as a folder (nothing is made).
  const std::string path = FolderPicker::TakeTypedPath(urls[0].toLocalFile().toStdString());
  if (FolderPicker::CheckOrCreatePath(path.c_str(), true) != 0 || !IsFolder(path))
    return std::nullopt;
  return path + "/";
}

QLabel* MainWindow::DropField(const QPoint& position) const {
  if (photo_->geometry().contains(position) || photo_text_->geometry().contains(position))
    return photo_text_;
  if (output_->geometry().contains(position) || output_text_->geometry().contains(position))
    return output_text_;
  return nullptr;
}

void MainWindow::dragEnterEvent(QDragEnterEvent* event) {
  // Taken while it carries a folder, so that the moves over the fields follow.
  if (DroppedFolder(event->mimeData()) &&
      FolderDropAction(event->possibleActions()) != Qt::IgnoreAction) {
    event->setDropAction(FolderDropAction(event->possibleActions()));
    event->accept();
    return;
  }
  event->ignore();
}

void MainWindow::dragMoveEvent(QDragMoveEvent* event) {
  if (DropField(event->position().toPoint()) != nullptr) {
    event->setDropAction(FolderDropAction(event->possibleActions()));
    event->accept();
    return;
  }
  event->ignore();
}

void MainWindow::dropEvent(QDropEvent* event) {
  const QLabel* field = DropField(event->position().toPoint());
  const std::optional<std::string> folder = DroppedFolder(event->mimeData());
  const Qt::DropAction action = FolderDropAction(event->possibleActions());
  if (field == nullptr || !folder || action == Qt::IgnoreAction) {
    event->ignore();
    return;
  }
  event->setDropAction(action);
  event->accept();
  if (field == photo_text_) {
    SetPhotoFolder(*folder);
  } else {
    SetOutputFolder(*folder);
  }
}

// ---- The run ----

RunConfig MainWindow::CurrentConfig() {
  UpdateData(true);
  // The run takes the folders, the switch and the settings as they are now; changes made
  // while it runs apply to the next run.
  RunConfig config = RunConfigFromSettings(settings_);
  config.photo_folder = PhotoFolder_;
  config.output_folder = OutputFolder_;
  config.move = DeleteSource_ != 0;
  return config;
}

void MainWindow::StartRun(RunConfig config, bool preview) {
  std::string refusal;
  const bool started = preview ? session_->Preview(std::move(config), &refusal)
                               : session_->Organize(std::move(config), &refusal);
  if (!started && !refusal.empty()) {
    MessageBox::Show(this, QTr(kStartRefusalCaption), QString::fromStdString(refusal),
                     QMessageBox::Information, QMessageBox::Ok);
  }
}

void MainWindow::OnOrganize() {
  StartRun(CurrentConfig());
}

void MainWindow::OnPreview() {
  StartRun(CurrentConfig(), true);
}

void MainWindow::OnPlanReady(const RunPlan& plan) {
  if (preview_) preview_->close();
  preview_ = new PreviewWindow(plan, this);
  preview_->setAttribute(Qt::WA_DeleteOnClose);
  // Exactly the plan's config is run, whatever the window shows by then.
  connect(preview_, &QDialog::accepted, this, [this, config = plan.config] { StartRun(config); });
  preview_->open();
}

PreviewWindow* MainWindow::Preview() const {
  return preview_;
}

HistoryWindow* MainWindow::History() const {
  return history_;
}

void MainWindow::OnHistory() {
  if (history_) {
    history_->raise();
    history_->activateWindow();
    return;
  }
  history_ = new HistoryWindow(*session_, OutputFolder_, this);
  history_->setAttribute(Qt::WA_DeleteOnClose);
  connect(history_, &HistoryWindow::UndoRequested, this, &MainWindow::OnUndoJournal);
  history_->show();
}

void MainWindow::OnStop() {
  session_->Stop();
  stop_->hide();
}

void MainWindow::OnUndo() {
  if (!CanUndo() || !ConfirmUndo(nullptr, main_window_texts::kUndoQuestion)) return;
  ClearMessages();
  // A run that cannot be undone is said where the outcome would be.
  session_->Undo();
}

void MainWindow::OnUndoJournal(const QString& journal) {
  if (!session_->IsIdle()) return;
  const std::string path = journal.toStdString();
  if (!ConfirmUndo(&path, main_window_texts::kUndoRunQuestion)) return;
  ClearMessages();
  session_->UndoJournal(path);
}

bool MainWindow::ConfirmUndo(const std::string* journal, const char* question) {
  size_t count = 0;
  std::string refusal;
  const bool counted = journal != nullptr ? session_->UndoCount(*journal, &count, &refusal)
                                          : session_->UndoCount(&count, &refusal);
  // An undo that cannot be counted goes on without asking: its refusal is its outcome.
  return !counted || MessageBox::Show(this, QString::fromUtf8(kStartRefusalCaption),
                                      QTr(question).arg(count), QMessageBox::Question,
                                      QMessageBox::Yes | QMessageBox::No) == QMessageBox::Yes;
}

void MainWindow::ClearMessages() {
  LastMessage_.clear();
  message_->clear();
  message_->setToolTip(QString());
  failure_list_->hide();
  report_problem_->hide();
  progress_text_->hide();
  progress_bar_->hide();
}

void MainWindow::OnRunStarted(bool /*undo*/) {
  refresh_timer_.stop();
  ClearMessages();
  organize_->setEnabled(false);
  stop_->show();
  progress_text_->clear();
  progress_bar_->setRange(0, 1);
  progress_bar_->setValue(0);
  progress_bar_->show();
  if (history_) history_->UpdateUndoButton();
}

void MainWindow::OnJobProgress() {
  const int delay = session_->Pump();
  if (delay >= 0) {
    refresh_timer_.start(delay);
  } else {
    refresh_timer_.stop();
  }
}

void MainWindow::OnFileDone(const SessionProgress& progress) {
  LastMessage_ = progress.message;
  UpdateData(false);
  ShowText(progress_text_, progress.figures);
  progress_text_->setVisible(!progress.figures.empty());
  progress_bar_->setRange(0, std::max(progress.total, 1));
  progress_bar_->setValue(std::min(progress.done, progress_bar_->maximum()));
  update(message_->geometry());
}

void MainWindow::OnRunEnded(const RunEndEvent& event) {
  refresh_timer_.stop();
  // The designed order: the summary, the organize button, the stop button, the redraw. A
  // dry run says under its summary that it changed nothing.
  std::string summary = event.summary;
  if (event.dry_run) summary += std::string("\r\n") + Tr(kDryRunNoteText);
  ShowEnd(summary);
  if (history_) history_->Refresh();
  // Where the failure list is, also when no viewer could show it, or why it (or, failing
  // that, the run's journal) could not be written.
  std::string problem = main_window_texts::RunEndProblemLine(event);
  if (problem.empty() && event.error_file.empty() && !event.index_notices.empty()) {
    // What became of the library's index (set aside, or not usable), once the run has ended.
    problem = event.index_notices;
    while (!problem.empty() && problem.back() == '\n') problem.pop_back();
  }
  if (!problem.empty()) {
    ShowText(report_problem_, problem);
    report_problem_->show();
  }
  const std::string failure_list = main_window_texts::FailureListLine(event);
  if (failure_list.empty()) return;
  ShowText(failure_list_, failure_list);
  failure_list_->show();
}

void MainWindow::ShowEnd(const std::string& message) {
  LastMessage_ = message;
  progress_text_->hide();
  progress_bar_->hide();
  UpdateData(false);
  organize_->setEnabled(true);
  stop_->hide();
  update(message_->geometry());
}

void MainWindow::OnUndoEnded(const UndoEndEvent& end, const std::string& refusal) {
  refresh_timer_.stop();
  ShowEnd(main_window_texts::UndoOutcomeText(end, refusal));
  // The history that asked for it shows the outcome too, and the run's new state.
  if (history_) history_->ShowOutcome(LastMessage_);
}

// ---- Buttons ----

void MainWindow::OnPhotoFolder() {
  UpdateData(true);
  FolderPicker picker(Tr(main_window_texts::kBrowseCaption),
                      Tr(main_window_texts::kPhotoFolderTitle), PhotoFolder_.c_str(), this);
  if (picker.DoModal() == 1) SetPhotoFolder(picker.GetPath() + "/");
}

void MainWindow::OnOutputFolder() {
  UpdateData(true);
  FolderPicker picker(Tr(main_window_texts::kBrowseCaption),
                      Tr(main_window_texts::kOutputFolderTitle), OutputFolder_.c_str(), this);
  if (picker.DoModal() == 1) SetOutputFolder(picker.GetPath() + "/");
}

void MainWindow::OnAboutButton() {
  AboutBox about(this);
  about.exec();
}

void MainWindow::OnOptionsButton() {
  OptionsWindow options(settings_, this);
  options.exec();
}

void MainWindow::OnCloseButton() {
  QMetaObject::invokeMethod(
      this, [this] { close(); }, Qt::QueuedConnection);
}

void MainWindow::OnMinimizeButton() {
  QMetaObject::invokeMethod(
      this, [this] { showMinimized(); }, Qt::QueuedConnection);
}

void MainWindow::OnSysCommand(int id) {
  if ((id & 0xFFF0) == kIdmAbout) OnAboutButton();
}

void MainWindow::OnTimer(int id) {
  if (id != kVersionTimerId) return;
  version_timer_.stop();
  if (version_check_started_) return;
  version_check_started_ = true;
  version_check_.Start(settings_, MsgX());
}

QMenu* MainWindow::CreateSystemMenu() {
  auto* menu = new QMenu(this);
  if (CanUndo()) menu->addAction(QTr(main_window_texts::kUndoMenu), this, &MainWindow::OnUndo);
  menu->addAction(QTr(main_window_texts::kPreviewMenu), this, &MainWindow::OnPreview)
      ->setEnabled(session_->IsIdle());
  menu->addAction(QTr(main_window_texts::kHistoryMenu), this, &MainWindow::OnHistory);
  menu->addSeparator();
  menu->addAction(QTr(main_window_texts::kMinimizeMenu), this, &MainWindow::OnMinimizeButton);
  menu->addAction(QTr(main_window_texts::kCloseMenu), this, &MainWindow::OnCloseButton);
  menu->addSeparator();
  menu->addAction(QTr(main_window_texts::kAboutMenu), this, [this] { OnSysCommand(kIdmAbout); });
  return menu;
}

// ---- Closing ----

void MainWindow::done(int result) {
  // A run in progress is stopped only when the user says so (one question at a time).
  if (IsRunning()) {
    if (asking_to_close_) return;
    asking_to_close_ = true;
    const QMessageBox::StandardButton answer =
        MessageBox::Show(this, QTr(kStartRefusalCaption), QTr(main_window_texts::kCloseDuringRun),
                         QMessageBox::Question, QMessageBox::Yes | QMessageBox::No);
    asking_to_close_ = false;
    if (answer != QMessageBox::Yes) return;
  }
  // The window never goes while a worker still runs: the files in hand are finished first.
  session_->StopAndWait();
  OnDestroy();
  QDialog::done(result);
}

void MainWindow::OnDestroy() {
  if (handed_back_) return;
  handed_back_ = true;
  UpdateData(true);
  std::lock_guard<std::mutex> lock(settings_.Mutex);
  settings_.IsDeleteSrc = DeleteSource_;
  settings_.PathSrc = PhotoFolder_;
  settings_.PathTar = OutputFolder_;
}

void MainWindow::showEvent(QShowEvent* event) {
  // A window shown again hands its settings back again when it closes.
  handed_back_ = false;
  SkinnedDialog::showEvent(event);
}

// ---- Skin, dragging, keys ----

void MainWindow::contextMenuEvent(QContextMenuEvent* event) {
  QMenu* menu = CreateSystemMenu();
  menu->setAttribute(Qt::WA_DeleteOnClose);
  menu->popup(event->globalPos());
}

void MainWindow::keyPressEvent(QKeyEvent* event) {
  // Escape ends the dialog as Cancel, and with it the program. Enter does nothing here: a
  // second quick press meant for a box that has just closed must not end the program.
  if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) {
    event->accept();
    return;
  }
  if (event->key() == Qt::Key_Escape &&
      (event->modifiers() == Qt::NoModifier || event->modifiers() == Qt::KeypadModifier)) {
    reject();
    return;
  }
  QDialog::keyPressEvent(event);
}

bool MainWindow::eventFilter(QObject* watched, QEvent* event) {
  // A left press on the failure list's line opens the list in the desktop's viewer.
  if (watched == failure_list_ && event->type() == QEvent::MouseButtonPress &&
      static_cast<QMouseEvent*>(event)->button() == Qt::LeftButton &&
      !LastReport().error_file.empty()) {
    session_->ShowFailureList();
    return true;
  }
  return SkinnedDialog::eventFilter(watched, event);
}

}  // namespace nandell
