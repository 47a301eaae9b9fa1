#include "ui/folder_picker.h"

#include <QDialogButtonBox>
#include <QDir>
#include <QEvent>
#include <QFileSystemModel>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QShowEvent>
#include <QStyle>
#include <QTreeView>
#include <QTreeWidget>
#include <QVBoxLayout>
#include <algorithm>
#include <cerrno>
#include <deque>

#include "platform/file.h"
#include "ui/message_box.h"
#include "ui/texts.h"
#include "ui/window_position.h"
#include "uicore/folder_name.h"

namespace nandell {
namespace {

std::deque<std::optional<std::string>>& Answers() {
  static std::deque<std::optional<std::string>> answers;
  return answers;
}

void (*g_dialog_hook)(FolderPickerDialog&) = nullptr;

std::optional<std::string> CopyOf(const char* text) {
  if (text == nullptr) return std::nullopt;
  return std::string(text);
}

// The icon of a place: the desktop theme's, else the style's.
QIcon PlaceIcon(Place::Kind kind, const QStyle* style) {
  switch (kind) {
    case Place::Kind::kHome:
      return QIcon::fromTheme(QStringLiteral("user-home"),
                              style->standardIcon(QStyle::SP_DirHomeIcon));
    case Place::Kind::kPictures:
      return QIcon::fromTheme(QStringLiteral("folder-pictures"),
                              style->standardIcon(QStyle::SP_DirIcon));
    case Place::Kind::kDrive:
      return QIcon::fromTheme(QStringLiteral("drive-removable-media"),
                              style->standardIcon(QStyle::SP_DriveHDIcon));
    case Place::Kind::kDevice:
      return QIcon::fromTheme(QStringLiteral("camera-photo"),
                              style->standardIcon(QStyle::SP_DriveNetIcon));
    case Place::Kind::kFileSystem:
      break;
  }
  return QIcon::fromTheme(QStringLiteral("drive-harddisk"),
                          style->standardIcon(QStyle::SP_ComputerIcon));
}

// At most this many places are shown at once; more scroll.
constexpr int kPlacesShown = 5;

}  // namespace

// ---- FolderPicker ----

FolderPicker::FolderPicker(const char* caption, const char* title, const char* initial_folder,
                           QWidget* owner)
    : caption_(CopyOf(caption)),
      title_(CopyOf(title)),
      initial_folder_(CopyOf(initial_folder)),
      owner_(owner) {}

FolderPicker::~FolderPicker() = default;

int32_t FolderPicker::DoModal() {
  accepted_ = 0;
  if (!Answers().empty()) {
    std::optional<std::string> answer = std::move(Answers().front());
    Answers().pop_front();
    if (!answer) return -1;
    path_ = TakeTypedPath(*answer);
    if (ConfirmFolder(path_, owner_) != 0) return -1;
    accepted_ = 1;
    return 1;
  }
  FolderPickerDialog dialog(this, owner_);
  dialog.setWindowModality(Qt::ApplicationModal);
  if (g_dialog_hook != nullptr) {
    dialog.show();
    g_dialog_hook(dialog);
    if (!dialog.isVisible()) return accepted_ != 0 ? 1 : -1;
  }
  dialog.exec();
  return accepted_ != 0 ? 1 : -1;
}

int32_t FolderPicker::ConfirmFolder(const std::string& path, QWidget* parent) {
  const FolderDialogue dialogue{
      [parent](const std::string& question) {
        return MessageBox::ShowApp(parent, QString::fromStdString(question), QMessageBox::Question,
                                   QMessageBox::Yes | QMessageBox::No) == QMessageBox::Yes;
      },
      [parent](const std::string& message) {
        MessageBox::ShowApp(parent, QString::fromStdString(message), QMessageBox::Warning,
                            QMessageBox::Ok);
      }};
  return ConfirmFolderPath(path, CheckOrCreatePath, dialogue);
}

int32_t FolderPicker::CheckOrCreatePath(const char* path, bool check_only) {
  if (path == nullptr) return 1;
  const std::string work(path);
  if (work.empty() || work[0] != '/') return 1;
  // The root: nothing is created for it.
  if (work.size() == 1) return check_only || PathExists(work) ? 0 : 2;
  return CheckOrCreateBelowRoot(work, 1, '/', check_only);
}

bool FolderPicker::IsValidFolderName(const char* name) {
  return nandell::IsValidFolderName(name);
}

std::string FolderPicker::TakeTypedPath(std::string path) {
  if (path.size() > 1 && path.back() == '/') path.pop_back();
  return path;
}

void FolderPicker::SetNextAnswer(std::optional<std::string> answer) {
  Answers().push_back(std::move(answer));
}

void FolderPicker::ClearAnswers() {
  Answers().clear();
}

void FolderPicker::SetDialogHook(void (*hook)(FolderPickerDialog& dialog)) {
  g_dialog_hook = hook;
}

// ---- FolderPickerDialog ----

FolderPickerDialog::FolderPickerDialog(FolderPicker* picker, QWidget* parent)
    : QDialog(parent), picker_(picker) {
  if (picker_->caption_) setWindowTitle(QString::fromStdString(*picker_->caption_));
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(12, 12, 12, 12);
  layout->setSpacing(4);

  title_ = new QLabel(this);
  title_->setText(picker_->title_ ? QString::fromStdString(*picker_->title_) : QString());
  title_->setWordWrap(true);
  title_->setVisible(picker_->title_.has_value());
  layout->addWidget(title_);
  layout->addSpacing(4);

  // The places, above the edit box and the tree: a name and a detail each.
  places_ = new QTreeWidget(this);
  places_->setAccessibleName(QTr(kPlacesText));
  places_->setColumnCount(2);
  places_->setHeaderHidden(true);
  places_->setRootIsDecorated(false);
  places_->setSelectionMode(QAbstractItemView::SingleSelection);
  places_->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  places_->header()->setSectionResizeMode(0, QHeaderView::ResizeToContents);
  places_->header()->setStretchLastSection(true);
  places_->setTextElideMode(Qt::ElideMiddle);
  layout->addWidget(places_);
  layout->addSpacing(4);

  edit_ = new QLineEdit(this);
  edit_->setMaxLength(4095);
  edit_->setFixedHeight(std::max(23, edit_->sizeHint().height()));
  layout->addWidget(edit_);

  model_ = new QFileSystemModel(this);
  model_->setFilter(QDir::AllDirs | QDir::NoDotAndDotDot | QDir::Drives);
  model_->setRootPath(QStringLiteral("/"));
  tree_ = new QTreeView(this);
  tree_->setModel(model_);
  tree_->setHeaderHidden(true);
  for (int column = 1; column < model_->columnCount(); ++column) tree_->hideColumn(column);
  tree_->setSelectionMode(QAbstractItemView::SingleSelection);
  tree_->setMinimumHeight(240);
  layout->addWidget(tree_, 1);

  auto* buttons = new QDialogButtonBox(this);
  ok_ = buttons->addButton(QDialogButtonBox::Ok);
  cancel_ = buttons->addButton(QDialogButtonBox::Cancel);
  layout->addWidget(buttons);
  resize(420, 560);

  connect(edit_, &QLineEdit::textChanged, this, &FolderPickerDialog::OnEditChanged);
  connect(tree_->selectionModel(), &QItemSelectionModel::currentChanged, this,
          &FolderPickerDialog::OnSelectionChanged);
  connect(places_, &QTreeWidget::currentItemChanged, this, &FolderPickerDialog::OnPlaceChosen);
  // A click on the place already marked chooses it again (after a folder of the tree).
  connect(places_, &QTreeWidget::itemClicked, this, &FolderPickerDialog::OnPlaceChosen);
  connect(ok_, &QPushButton::clicked, this, &FolderPickerDialog::OnOk);
  connect(cancel_, &QPushButton::clicked, this, &QDialog::reject);
  // Enter anywhere in the dialog presses OK, the default button.
  ok_->setDefault(true);
  ok_->setEnabled(false);

  roots_ = CurrentPlaceRoots();
  RefreshPlaces();
  // A card inserted or a phone connected while the dialog is open appears.
  places_timer_.setInterval(kPlacesPollMs);
  connect(&places_timer_, &QTimer::timeout, this, &FolderPickerDialog::RefreshPlaces);
  places_timer_.start();

  // The initial selection: the given folder, the user's home folder when the given text is
  // empty (no folder chosen yet), or the current directory when none was given.
  QString initial;
  if (picker_->initial_folder_) {
    initial = QString::fromStdString(*picker_->initial_folder_);
    if (initial.isEmpty()) initial = roots_.home;
  } else {
    initial = QDir::currentPath();
  }
  // The model lists folders in the background and inserts and sorts their rows after the
  // target was scrolled to, which pushes it out of view: scroll again after every such change
  // (once per turn of the event loop) until the user takes the tree over.
  scroll_timer_.setSingleShot(true);
  scroll_timer_.setInterval(0);
  connect(&scroll_timer_, &QTimer::timeout, this, [this] {
    if (scroll_target_.isEmpty()) return;
    const QModelIndex index = model_->index(scroll_target_);
    if (index.isValid()) tree_->scrollTo(index, QAbstractItemView::PositionAtCenter);
  });
  auto keep_in_view = [this] {
    if (!scroll_target_.isEmpty()) scroll_timer_.start();
  };
  connect(model_, &QFileSystemModel::directoryLoaded, this, keep_in_view);
  connect(model_, &QAbstractItemModel::rowsInserted, this, keep_in_view);
  connect(model_, &QAbstractItemModel::layoutChanged, this, keep_in_view);
  // A move of the scroll bar by the user (drag, wheel, keys) ends the following.
  connect(tree_->verticalScrollBar(), &QAbstractSlider::actionTriggered, this,
          [this] { scroll_target_.clear(); });
  tree_->viewport()->installEventFilter(this);
  tree_->installEventFilter(this);
  if (initial.isEmpty() || !SelectFolder(initial)) {
    // A folder that is gone: open the tree at the home folder, with nothing selected and OK
    // disabled, so the user starts near their photos rather than at "/".
    RootTreeAt(QDir::cleanPath(roots_.home));
  }
  edit_->setFocus();
}

bool FolderPickerDialog::eventFilter(QObject* watched, QEvent* event) {
  // A press or a key in the tree: the user takes it over; the initial folder is no longer
  // kept in view.
  const QEvent::Type type = event->type();
  if (type == QEvent::MouseButtonPress || type == QEvent::KeyPress || type == QEvent::Wheel)
    scroll_target_.clear();
  return QDialog::eventFilter(watched, event);
}

bool FolderPickerDialog::SelectFolder(const QString& folder) {
  QString clean = QDir::cleanPath(folder);
  const QModelIndex index = model_->index(clean);
  if (!index.isValid() || !model_->isDir(index)) return false;
  const int place = PlaceHolding(place_list_, clean);
  if (place >= 0 && place_list_[place].path == clean) {
    ShowPlace(clean);
    return true;
  }
  if (place >= 0) RootTreeAt(place_list_[place].path);
  tree_->setCurrentIndex(index);
  tree_->scrollTo(index, QAbstractItemView::PositionAtCenter);
  tree_->expand(index);
  scroll_target_ = clean;
  // The edit box follows even when the index was current already.
  OnSelectionChanged();
  return true;
}

void FolderPickerDialog::RootTreeAt(const QString& path) {
  tree_root_ = path;
  model_->setRootPath(path);
  const QModelIndex root = model_->index(path);
  // A selection outside the new top goes, without emptying the edit box.
  QModelIndex current = tree_->currentIndex();
  while (current.isValid() && current != root) current = current.parent();
  quiet_ = true;
  if (!current.isValid()) {
    tree_->clearSelection();
    tree_->setCurrentIndex(QModelIndex());
  }
  tree_->setRootIndex(root);
  quiet_ = false;
  MarkTreePlace();
}

void FolderPickerDialog::MarkTreePlace() {
  quiet_ = true;
  places_->setCurrentItem(nullptr);
  for (size_t i = 0; i < place_list_.size(); ++i) {
    if (place_list_[i].path == tree_root_) {
      places_->setCurrentItem(places_->topLevelItem(static_cast<int>(i)));
      break;
    }
  }
  quiet_ = false;
}

void FolderPickerDialog::RefreshPlaces() {
  const QByteArray fingerprint = PlacesFingerprint(roots_);
  if (!place_list_.empty() && fingerprint == places_fingerprint_) return;
  places_fingerprint_ = fingerprint;
  std::vector<Place> places = ListPlaces(roots_);
  if (places == place_list_) return;
  place_list_ = std::move(places);
  quiet_ = true;
  places_->clear();
  const QColor detail_color = palette().color(QPalette::Disabled, QPalette::Text);
  for (const Place& place : place_list_) {
    auto* item = new QTreeWidgetItem(places_, QStringList{place.name, place.detail});
    item->setIcon(0, PlaceIcon(place.kind, style()));
    item->setForeground(1, detail_color);
    item->setToolTip(0, place.path);
    item->setToolTip(1, place.path);
  }
  quiet_ = false;
  // As high as its places, up to a few; the tree takes the rest.
  const int rows = std::min(static_cast<int>(place_list_.size()), kPlacesShown);
  places_->setFixedHeight(rows * places_->sizeHintForRow(0) + 2 * places_->frameWidth());
  // The place the tree shows went (a card pulled out): the tree goes back to the home folder.
  const bool root_listed =
      std::any_of(place_list_.begin(), place_list_.end(),
                  [this](const Place& place) { return place.path == tree_root_; });
  if (!tree_root_.isEmpty() && !root_listed) RootTreeAt(QDir::cleanPath(roots_.home));
  MarkTreePlace();
}

void FolderPickerDialog::OnPlaceChosen(QTreeWidgetItem* item) {
  if (quiet_ || item == nullptr) return;
  const int index = places_->indexOfTopLevelItem(item);
  if (index < 0 || index >= static_cast<int>(place_list_.size())) return;
  if (model_->index(place_list_[index].path).isValid()) ShowPlace(place_list_[index].path);
}

void FolderPickerDialog::ShowPlace(const QString& path) {
  // As a selection in the tree: the edit box takes the place; its contents fill the tree,
  // nothing of them selected.
  RootTreeAt(path);
  scroll_target_.clear();
  tree_->scrollToTop();
  edit_->setText(path);
}

void FolderPickerDialog::OnEditChanged(const QString& text) {
  picker_->path_ = text.toStdString();
  ok_->setEnabled(!text.isEmpty());
}

void FolderPickerDialog::OnSelectionChanged() {
  if (quiet_) return;
  const QModelIndex index = tree_->currentIndex();
  // Only a real folder of the file system gives a path; anything else empties the box.
  QString path = index.isValid() ? model_->filePath(index) : QString();
  if (!path.startsWith(QLatin1Char('/'))) path.clear();
  edit_->setText(path);
  ok_->setEnabled(!path.isEmpty());
}

void FolderPickerDialog::showEvent(QShowEvent* event) {
  // Centred over the window that opened it, unless its caller placed it.
  // The framework's placement (which runs in its show event) allows for a guessed frame.
  const bool place = !event->spontaneous() && !testAttribute(Qt::WA_Moved);
  QDialog::showEvent(event);
  if (place && parentWidget() != nullptr) CentreOver(this, parentWidget());
}

void FolderPickerDialog::OnOk() {
  if (!ok_->isEnabled()) return;
  picker_->path_ = FolderPicker::TakeTypedPath(edit_->text().toStdString());
  if (FolderPicker::ConfirmFolder(picker_->path_, this) != 0) {
    edit_->setFocus();
    return;
  }
  picker_->accepted_ = 1;
  accept();
}

}  // namespace nandell
