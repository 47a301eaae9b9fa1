#include "ui/options_window.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QRadioButton>
#include <QTimeEdit>

#include "engine/organizer.h"
#include "settings/settings_store.h"
#include "ui/message_box.h"
#include "ui/png_button.h"
#include "ui/resources.h"
#include "ui/texts.h"

namespace nandell {
namespace {

// The colour of the headings over the skin (the other colours are PanelWindow's).
constexpr QRgb kHeadingColor = qRgb(11, 46, 89);

void Colour(QWidget* widget, QRgb color) {
  QPalette palette = widget->palette();
  palette.setColor(QPalette::WindowText, QColor(color));
  widget->setPalette(palette);
}

}  // namespace

OptionsWindow::OptionsWindow(SettingsStore& settings, QWidget* parent)
    : PanelWindow(kSkinOptions, QTr(kTitle), parent, 200), settings_(settings) {
  setWindowModality(Qt::ApplicationModal);
  const int W = width();
  const int H = height();

  // The file types: a check box per common type over the filter list, which stays editable
  // for any other type.
  AddText(QTr(option_texts::kFileTypes), 20, 40, 200, kHeadingColor, true);
  for (size_t i = 0; i < kFileTypes.size(); ++i) {
    const int column = static_cast<int>(i % 4);
    const int row = static_cast<int>(i / 4);
    QCheckBox* box =
        AddCheckBox(QString::fromUtf8(kFileTypes[i].label), 32 + column * 104, 62 + row * 22, 96);
    box->setObjectName(QString::fromUtf8(kFileTypes[i].key));
    type_boxes_[i] = box;
    const QString key = QString::fromUtf8(kFileTypes[i].key);
    connect(box, &QCheckBox::toggled, this,
            [this, key](bool on) { filters_->setText(WithFilterKey(filters_->text(), key, on)); });
  }
  AddText(QTr(option_texts::kList), 32, 153, 44, kTextColor);
  filters_ = new QLineEdit(this);
  filters_->setObjectName(QStringLiteral("FileFilters"));
  filters_->setMaxLength(kFiltersMaxLength);
  filters_->setGeometry(76, 150, W - 76 - 24, 22);
  connect(filters_, &QLineEdit::textChanged, this, &OptionsWindow::SyncFileTypeBoxes);
  AddText(QTr(option_texts::kListNote), 76, 170, W - 100, kNoteColor);

  // The folder layout.
  AddText(QTr(option_texts::kLayout), 20, 198, 90, kHeadingColor, true);
  by_year_ = new QRadioButton(QTr(option_texts::kByYear), this);
  by_year_->setObjectName(QStringLiteral("IsClassifyByYear"));
  by_year_->setGeometry(120, 197, 130, 22);
  by_day_ = new QRadioButton(QTr(option_texts::kByDay), this);
  by_day_->setGeometry(260, 197, 130, 22);
  auto* layout = new QButtonGroup(this);
  layout->addButton(by_year_);
  layout->addButton(by_day_);
  for (QRadioButton* button : {by_year_, by_day_}) {
    button->setFocusPolicy(Qt::TabFocus);
    Colour(button, kTextColor);
  }

  // How files are dated and filed; each switch with one line of explanation.
  AddText(QTr(option_texts::kHow), 20, 236, 200, kHeadingColor, true);
  int y = 258;
  for (size_t i = 0; i < kOptionSwitches.size(); ++i) {
    const OptionSwitch& row = kOptionSwitches[i];
    switches_[i] = AddCheckBox(QTr(row.text), 32, y, W - 64);
    switches_[i]->setObjectName(QString::fromUtf8(row.key));
    AddText(QTr(row.note), 52, y + 19, W - 76, kNoteColor);
    y += 44;
  }
  // The start of the day, with its explanation under it.
  AddText(QTr(option_texts::kDayStart), 32, y + 2, 110, kTextColor);
  day_start_ = new QTimeEdit(this);
  day_start_->setObjectName(QStringLiteral("DayStartsAt"));
  day_start_->setDisplayFormat(QStringLiteral("HH:mm"));
  day_start_->setGeometry(152, y, 70, 22);
  day_start_->setFocusPolicy(Qt::TabFocus);
  AddText(QTr(option_texts::kDayStartNote), 52, y + 21, W - 76, kNoteColor);
  y += 44;
  check_version_ = AddCheckBox(QTr(option_texts::kCheckVersion), 32, y + 2, W - 64);
  check_version_->setObjectName(QStringLiteral("CheckVersion"));

  // The language, in the row under it. Its label reads in both languages, and each language
  // is named in itself, so that a user who cannot read the current one still finds it.
  AddText(QString::fromUtf8(option_texts::kLanguage), 32, y + 29, 120, kTextColor);
  language_ = new QComboBox(this);
  language_->setObjectName(QStringLiteral("Language"));
  language_->addItem(QString::fromUtf8(option_texts::kChineseName), QStringLiteral("zh_CN"));
  language_->addItem(QString::fromUtf8(option_texts::kEnglishName), QStringLiteral("en"));
  language_->setGeometry(152, y + 26, 110, 22);
  language_->setFocusPolicy(Qt::TabFocus);
  AddText(QTr(option_texts::kNextStart), 272, y + 29, W - 272 - 20, kNoteColor);

  ok_ = AddButton(kPngOptionsOk, QTr(option_texts::kOk));
  ok_->setObjectName(QStringLiteral("ok"));
  cancel_ = AddButton(kPngOptionsCancel, QTr(option_texts::kCancel));
  cancel_->setObjectName(QStringLiteral("cancel"));
  cancel_->move(W - 24 - cancel_->width(), H - 40);
  ok_->move(cancel_->x() - 12 - ok_->width(), H - 40);
  connect(ok_, &QAbstractButton::clicked, this, &OptionsWindow::OnOk);
  connect(cancel_, &QAbstractButton::clicked, this, &QDialog::reject);

  // The store's values.
  const OptionValues values = ReadOptions(settings_);
  filters_->setText(QString::fromStdString(values.file_filters));
  (values.by_year ? by_year_ : by_day_)->setChecked(true);
  for (size_t i = 0; i < kOptionSwitches.size(); ++i) switches_[i]->setChecked(values.switches[i]);
  day_start_->setTime(QTime(values.day_start_minutes / 60, values.day_start_minutes % 60));
  check_version_->setChecked(values.check_version);
  language_->setCurrentIndex(values.language == Language::kEnglish ? 1 : 0);
  SyncFileTypeBoxes();
}

QCheckBox* OptionsWindow::FileTypeBox(const std::string& key) const {
  for (size_t i = 0; i < kFileTypes.size(); ++i)
    if (key == kFileTypes[i].key) return type_boxes_[i];
  return nullptr;
}

QCheckBox* OptionsWindow::AddCheckBox(const QString& text, int x, int y, int w) {
  auto* box = new QCheckBox(text, this);
  box->setGeometry(x, y, w, 20);
  box->setFocusPolicy(Qt::TabFocus);
  Colour(box, kTextColor);
  return box;
}

void OptionsWindow::SyncFileTypeBoxes() {
  const std::string filters = filters_->text().toStdString();
  for (size_t i = 0; i < kFileTypes.size(); ++i) {
    const QSignalBlocker quiet(type_boxes_[i]);
    type_boxes_[i]->setChecked(HasFilterKey(filters, kFileTypes[i].key));
  }
}

QString OptionsWindow::WithFilterKey(const QString& filters, const QString& key, bool on) {
  return QString::fromStdString(
      nandell::WithFilterKey(filters.toStdString(), key.toStdString(), on));
}

void OptionsWindow::OnOk() {
  OptionValues values;
  values.file_filters = filters_->text().toStdString();
  values.by_year = by_year_->isChecked();
  for (size_t i = 0; i < kOptionSwitches.size(); ++i)
    values.switches[i] = switches_[i]->isChecked();
  values.day_start_minutes = day_start_->time().hour() * 60 + day_start_->time().minute();
  values.check_version = check_version_->isChecked();
  ParseLanguage(language_->currentData().toString().toStdString(), &values.language);
  ApplyOptions(values, &settings_);
  if (!settings_.SaveOptions()) {
    // The values hold for this session; the user learns that the file kept the old ones.
    MessageBox::Show(
        this, QTr(kStartRefusalCaption),
        QTr(option_texts::kSaveFailed) + QString::fromStdString(settings_.ConfigPath()),
        QMessageBox::Warning, QMessageBox::Ok);
  }
  accept();
}

void OptionsWindow::keyPressEvent(QKeyEvent* event) {
  // Enter in the filter list confirms nothing by itself; Escape is the dialog's own 取消.
  if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) {
    event->accept();
    return;
  }
  PanelWindow::keyPressEvent(event);
}

}  // namespace nandell
