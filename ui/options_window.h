#pragma once

#include <QString>
#include <array>
#include <string>

#include "platform/translate.h"
#include "ui/panel_window.h"
#include "uicore/options.h"

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QRadioButton;
class QTimeEdit;

namespace nandell {

class PngButton;
class SettingsStore;

/// The options window: a modal, frameless window titled "选项", painted with skin 146 like the
/// About box, that edits the switches of the settings store: the file types to organize
/// (check boxes over the FileFilters text, which stays editable for any other type), the
/// folder layout (IsClassifyByYear), MediaDates, SidecarDates, NameDates, SkipIdentical,
/// SkipKnown, RenameConflicts, DayStartsAt, CheckVersion and the Language of the texts (used from
/// the next start). 确定 puts the values into the store and writes them to Config.ini at once
/// (SaveOptions); 取消, the close cross and Escape change nothing.
class OptionsWindow : public PanelWindow {
  Q_OBJECT

 public:
  /// The file types offered as check boxes (uicore/options.h).
  using FileType = ::nandell::FileType;
  static constexpr const std::array<FileType, 16>& kFileTypes = ::nandell::kFileTypes;

  /// The window's title (shown translated).
  static constexpr const char* kTitle = option_texts::kTitle;

  /// The window over `settings`, its controls filled from the store.
  explicit OptionsWindow(SettingsStore& settings, QWidget* parent = nullptr);

  /// The controls, for tests and tools.
  QCheckBox* FileTypeBox(const std::string& key) const;
  QLineEdit* FiltersEdit() const { return filters_; }
  QRadioButton* ByYearButton() const { return by_year_; }
  QRadioButton* ByDayButton() const { return by_day_; }
  QCheckBox* MediaDatesBox() const { return switches_[0]; }
  QCheckBox* SidecarDatesBox() const { return switches_[1]; }
  QCheckBox* NameDatesBox() const { return switches_[2]; }
  QTimeEdit* DayStartEdit() const { return day_start_; }
  QCheckBox* SkipIdenticalBox() const { return switches_[3]; }
  QCheckBox* RenameConflictsBox() const { return switches_[4]; }
  QCheckBox* KeepTogetherBox() const { return switches_[5]; }
  QCheckBox* SkipKnownBox() const { return switches_[6]; }
  QCheckBox* CheckVersionBox() const { return check_version_; }
  QComboBox* LanguageBox() const { return language_; }
  PngButton* OkButton() const { return ok_; }
  PngButton* CancelButton() const { return cancel_; }

  /// `filters` with `key` added at its end (when `on` and missing) or every occurrence of it
  /// removed (when not `on`); the other keys keep their order and spelling.
  static QString WithFilterKey(const QString& filters, const QString& key, bool on);

 public slots:
  /// 确定: the values go into the store and to Config.ini; a file that cannot be written is
  /// reported ("提示"). Then the window closes.
  void OnOk();

 protected:
  void keyPressEvent(QKeyEvent* event) override;

 private:
  QCheckBox* AddCheckBox(const QString& text, int x, int y, int w);
  void SyncFileTypeBoxes();

  SettingsStore& settings_;
  std::array<QCheckBox*, kFileTypes.size()> type_boxes_{};
  QLineEdit* filters_ = nullptr;
  QRadioButton* by_year_ = nullptr;
  QRadioButton* by_day_ = nullptr;
  // The switches of kOptionSwitches, in its order.
  std::array<QCheckBox*, kOptionSwitches.size()> switches_{};
  QTimeEdit* day_start_ = nullptr;
  QCheckBox* check_version_ = nullptr;
  QComboBox* language_ = nullptr;
  PngButton* ok_ = nullptr;
  PngButton* cancel_ = nullptr;
};

}  // namespace nandell
