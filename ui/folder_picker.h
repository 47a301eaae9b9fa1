#pragma once

#include <QDialog>
#include <QTimer>
#include <cstdint>
#include <optional>
#include <string>

#include "ui/places.h"

class QFileSystemModel;
class QLabel;
class QLineEdit;
class QPushButton;
class QTreeView;
class QTreeWidget;
class QTreeWidgetItem;

namespace nandell {

class FolderPickerDialog;

/// Chooses a folder: a dialog with a title line, the places a user keeps photos (ListPlaces),
/// an edit box above a folder tree, OK and Cancel. The edit box follows the tree selection
/// and the chosen place and may be typed into; OK takes the edit box's text, tests it
/// (ConfirmFolder) and offers to create a missing folder with all its levels; the dialog stays
/// open until an acceptable folder is given or the user cancels.
class FolderPicker {
 public:
  /// `caption`: window caption (null: none); `title`: line above the edit box (null: none);
  /// `initial_folder`: folder selected at opening (null: the current directory; empty: the
  /// user's home folder); `owner`:
  /// parent of the dialog (may be null). The texts are copied.
  FolderPicker(const char* caption, const char* title, const char* initial_folder, QWidget* owner);
  virtual ~FolderPicker();
  FolderPicker(const FolderPicker&) = delete;
  FolderPicker& operator=(const FolderPicker&) = delete;

  /// Runs the dialog modally. Returns 1 when a folder was accepted, -1 otherwise (Cancel,
  /// close box, Escape). With a queued next answer, no dialog is shown (see SetNextAnswer).
  virtual int32_t DoModal();

  /// The edit box's text as last read; after DoModal returned 1, the accepted folder as typed,
  /// without a trailing "/" (one typed or pasted is dropped), except the root "/".
  std::string GetPath() const { return path_; }

  /// Tests `path`: 0 accepted (the folder exists, now or after creation), -1 the user
  /// declined to create it, 1 invalid, 2 creation failed. Shows the invalid / cannot-create
  /// message or the creation question (message boxes captioned "Nandell").
  static int32_t ConfirmFolder(const std::string& path, QWidget* parent = nullptr);

  /// 0 valid (and, unless `check_only`, existing after creating every missing level),
  /// 1 invalid (null, not beginning with "/", an invalid component, a trailing "/" other
  /// than the root), 2 a level could not be created or the root does not exist.
  static int32_t CheckOrCreatePath(const char* path, bool check_only);

  /// Whether one path component is acceptable: not null or empty, no tab, space or period at
  /// either end, none of " * / : < > ? \ |.
  static bool IsValidFolderName(const char* name);

  /// A path as the user typed it, made the folder it names: one trailing "/" is dropped
  /// ("/home/me/Photos/" is "/home/me/Photos"); the root "/" stays.
  static std::string TakeTypedPath(std::string path);

  /// Test seam: the next DoModal shows no dialog and acts as if the user had typed `answer`
  /// into the edit box and pressed OK (ConfirmFolder runs; 1 if it gives 0, else -1), or,
  /// with std::nullopt, as if the user had pressed Cancel (-1). Answers are used in order.
  static void SetNextAnswer(std::optional<std::string> answer);
  /// Drops queued answers.
  static void ClearAnswers();

  /// Test seam: called with the dialog just before it runs modally (after it is shown), so
  /// a test can drive the real dialog; null to remove.
  static void SetDialogHook(void (*hook)(FolderPickerDialog& dialog));

 private:
  friend class FolderPickerDialog;
  std::optional<std::string> caption_;
  std::optional<std::string> title_;
  std::optional<std::string> initial_folder_;
  std::string path_;
  QWidget* owner_ = nullptr;
  int32_t accepted_ = 0;
};

/// The dialog a FolderPicker runs. Public so that tests can drive it.
class FolderPickerDialog : public QDialog {
  Q_OBJECT

 public:
  /// How often the places are looked at again while the dialog is open (a card inserted
  /// appears, one pulled out goes).
  static constexpr int kPlacesPollMs = 1000;

  /// Builds the dialog for `picker` (caption, title, places, initial selection). The tree
  /// opens at the place that holds the initial folder, with that folder selected.
  FolderPickerDialog(FolderPicker* picker, QWidget* parent = nullptr);

  /// The edit box, the folder tree, the places and the OK button.
  QLineEdit* Edit() const { return edit_; }
  QTreeView* Tree() const { return tree_; }
  QTreeWidget* PlacesList() const { return places_; }
  QPushButton* OkButton() const { return ok_; }
  /// Selects `folder`: the tree opens at the place holding it and selects it (a place itself
  /// is shown as the tree's top); the edit box follows. False when it is not a folder.
  bool SelectFolder(const QString& folder);

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;
  void showEvent(QShowEvent* event) override;

 private slots:
  void OnEditChanged(const QString& text);
  void OnSelectionChanged();
  // A place clicked or moved to with the keys: shown as ShowPlace does.
  void OnPlaceChosen(QTreeWidgetItem* item);
  void OnOk();

 private:
  // Lists the places again when what they depend on changed; keeps the tree's place marked.
  void RefreshPlaces();
  // Shows the contents of `path` in the tree; a selection outside it is dropped, the edit box
  // kept.
  void RootTreeAt(const QString& path);
  // Shows the place `path` as a selection of it would: in the edit box, its contents in the tree.
  void ShowPlace(const QString& path);
  // Marks the place the tree shows in the list (none when the tree shows no place).
  void MarkTreePlace();

  FolderPicker* picker_;
  QLabel* title_ = nullptr;
  QTreeWidget* places_ = nullptr;
  PlaceRoots roots_;
  std::vector<Place> place_list_;
  QByteArray places_fingerprint_;
  QTimer places_timer_;
  QString tree_root_;
  // Set while the tree is re-rooted or the list rebuilt, so that neither moves the edit box.
  bool quiet_ = false;
  QLineEdit* edit_ = nullptr;
  QTreeView* tree_ = nullptr;
  QFileSystemModel* model_ = nullptr;
  // The folder the tree is kept scrolled to while the model fills in the rows around it
  // (the model lists folders in the background); empty once the user has taken the tree
  // over (a press, a key, a wheel turn or a scroll-bar move).
  QString scroll_target_;
  QTimer scroll_timer_;
  QPushButton* ok_ = nullptr;
  QPushButton* cancel_ = nullptr;
};

}  // namespace nandell
