#include "ui/options_window.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QRadioButton>
#include <QTimeEdit>
#include <mutex>

#include "engine/local_time.h"
#include "engine/organizer.h"
#include "settings/settings_store.h"
#include "ui/message_box.h"
#include "ui/png_button.h"
#include "ui/resources.h"
#include "ui/texts.h"

namespace nandell {
namespace {

// Colours over the skin: the title on the dark band, the texts, and the explanations.
constexpr QRgb kTitleColor = qRgb(255, 255, 255);
constexpr QRgb kTextColor = qRgb(31, 107, 129);
constexpr QRgb kHeadingColor = qRgb(11, 46, 89);
constexpr QRgb kNoteColor = qRgb(104, 128, 146);

// Longest FileFilters text the settings store reads back.
constexpr int kFiltersMaxLength = 1023;

// A switch as the store keeps it: off is 0; on keeps a nonzero value it already had.
int32_t Switch(bool on, int32_t was) {
  return on ? (was != 0 ? was : 1) : 0;
}

void Colour(QWidget* widget, QRgb color) {
  QPalette palette = widget->palette();
  palette.setColor(QPalette::WindowText, QColor(color));
  widget->setPalette(palette);
}

}  // namespace

OptionsWindow::OptionsWindow(SettingsStore& settings, QWidget* parent)
    : SkinnedDialog(parent), settings_(settings) {
  InitResources();
  setWindowFlags(Qt::Dialog | Qt::FramelessWindowHint);
  setWindowModality(Qt::ApplicationModal);
  setFont(TemplateFont());
  setWindowTitle(QTr(kTitle));
  SetSkin(ResourcePixmap(kSkinOptions, "bitmap"));
  if (!Skin().isNull()) setFixedSize(Skin().size());
  const int W = width();
  const int H = height();

  AddText(QTr(kTitle), 14, 7, 200, kTitleColor, true)->setObjectName("title");
  close_ = new PngButton(this);
  close_->setObjectName(QStringLiteral("close"));
  close_->LoadPng(kPngAboutClose);
  close_->move(W - close_->width() - 7, 7);
  connect(close_, &QAbstractButton::clicked, this, &QDialog::reject);

  // The file types: a check box per common type over the filter list, which stays editable
  // for any other type.
  AddText(QTr("整理的文件类型"), 20, 40, 200, kHeadingColor, true);
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
  AddText(QTr("列表:"), 32, 153, 44, kTextColor);
  filters_ = new QLineEdit(this);
  filters_->setObjectName(QStringLiteral("FileFilters"));
  filters_->setMaxLength(kFiltersMaxLength);
  filters_->setGeometry(76, 150, W - 76 - 24, 22);
  connect(filters_, &QLineEdit::textChanged, this, &OptionsWindow::SyncFileTypeBoxes);
  AddText(QTr("按文件名的最后 4 个字符比较, 以逗号分隔, 如 .jpg,rmvb"), 76, 170, W - 100,
          kNoteColor);

  // The folder layout.
  AddText(QTr("目录结构"), 20, 198, 90, kHeadingColor, true);
  by_year_ = new QRadioButton(QTr("年/年-月-日"), this);
  by_year_->setObjectName(QStringLiteral("IsClassifyByYear"));
  by_year_->setGeometry(120, 197, 130, 22);
  by_day_ = new QRadioButton(QTr("年-月-日"), this);
  by_day_->setGeometry(260, 197, 130, 22);
  auto* layout = new QButtonGroup(this);
  layout->addButton(by_year_);
  layout->addButton(by_day_);
  for (QRadioButton* button : {by_year_, by_day_}) {
    button->setFocusPolicy(Qt::TabFocus);
    Colour(button, kTextColor);
  }

  // How files are dated and filed; each switch with one line of explanation.
  AddText(QTr("整理方式"), 20, 236, 200, kHeadingColor, true);
  struct Row {
    QCheckBox** box;
    const char* key;
    const char* text;
    const char* note;
  };
  const Row rows[] = {
      {&media_dates_, "MediaDates", TrNoop("从 HEIC 照片和视频中读取拍摄日期"),
       TrNoop("HEIC、WebP、RAW 照片和视频也按拍摄日期整理, 而不是按修改日期")},
      {&sidecar_dates_, "SidecarDates", TrNoop("从附带的 XMP 或 JSON 文件中读取日期"),
       TrNoop("没有拍摄日期的文件按同名的 XMP 或 Takeout JSON 文件中的日期整理")},
      {&name_dates_, "NameDates", TrNoop("从文件名中读取日期"),
       TrNoop("没有拍摄日期的文件按文件名中的日期整理, 如 IMG_20200101")},
      {&skip_identical_, "SkipIdentical", TrNoop("跳过完全相同的文件"),
       TrNoop("输出目录中已有内容完全相同的文件时跳过, 不算失败")},
      {&skip_known_, "SkipKnown", TrNoop("跳过库中已有的文件"),
       TrNoop("输出目录中任何位置已有内容相同的文件时跳过, 照片不会被删除")},
      {&rename_conflicts_, "RenameConflicts", TrNoop("重名时另取名字"),
       TrNoop("输出目录中已有同名而内容不同的文件时, 存为 名字_1.扩展名")},
  };
  int y = 258;
  for (const Row& row : rows) {
    *row.box = AddCheckBox(QTr(row.text), 32, y, W - 64);
    (*row.box)->setObjectName(QString::fromUtf8(row.key));
    AddText(QTr(row.note), 52, y + 19, W - 76, kNoteColor);
    y += 44;
  }
  // The start of the day, with its explanation under it.
  AddText(QTr("每天开始于"), 32, y + 2, 110, kTextColor);
  day_start_ = new QTimeEdit(this);
  day_start_->setObjectName(QStringLiteral("DayStartsAt"));
  day_start_->setDisplayFormat(QStringLiteral("HH:mm"));
  day_start_->setGeometry(152, y, 70, 22);
  day_start_->setFocusPolicy(Qt::TabFocus);
  AddText(QTr("此时间之前拍摄的照片归入前一天, 一夜的照片留在同一个目录"), 52, y + 21, W - 76,
          kNoteColor);
  y += 44;
  check_version_ = AddCheckBox(QTr("启动时检查新版本"), 32, y + 2, W - 64);
  check_version_->setObjectName(QStringLiteral("CheckVersion"));

  // The language, in the row under it. Its label reads in both languages, and each language
  // is named in itself, so that a user who cannot read the current one still finds it.
  AddText(QStringLiteral("语言 / Language"), 32, y + 29, 120, kTextColor);
  language_ = new QComboBox(this);
  language_->setObjectName(QStringLiteral("Language"));
  language_->addItem(QStringLiteral("简体中文"), QStringLiteral("zh_CN"));
  language_->addItem(QStringLiteral("English"), QStringLiteral("en"));
  language_->setGeometry(152, y + 26, 110, 22);
  language_->setFocusPolicy(Qt::TabFocus);
  AddText(QTr("下次启动时生效"), 272, y + 29, W - 272 - 20, kNoteColor);

  ok_ = new PngButton(this);
  ok_->setObjectName(QStringLiteral("ok"));
  ok_->setText(QTr("确定"));
  ok_->setAccessibleName(ok_->text());
  ok_->LoadPng(kPngOptionsOk);
  cancel_ = new PngButton(this);
  cancel_->setObjectName(QStringLiteral("cancel"));
  cancel_->setText(QTr("取消"));
  cancel_->setAccessibleName(cancel_->text());
  cancel_->LoadPng(kPngOptionsCancel);
  cancel_->move(W - 24 - cancel_->width(), H - 40);
  ok_->move(cancel_->x() - 12 - ok_->width(), H - 40);
  connect(ok_, &QAbstractButton::clicked, this, &OptionsWindow::OnOk);
  connect(cancel_, &QAbstractButton::clicked, this, &QDialog::reject);

  // The store's values.
  {
    std::lock_guard<std::mutex> lock(settings_.Mutex);
    filters_->setText(QString::fromStdString(settings_.FileFilters));
    (settings_.IsClassifyByYear != 0 ? by_year_ : by_day_)->setChecked(true);
    media_dates_->setChecked(settings_.MediaDates != 0);
    sidecar_dates_->setChecked(settings_.SidecarDates != 0);
    name_dates_->setChecked(settings_.NameDates != 0);
    int day_start = 0;
    if (!ParseClockText(settings_.DayStartsAt, &day_start)) day_start = 0;
    day_start_->setTime(QTime(day_start / 60, day_start % 60));
    skip_identical_->setChecked(settings_.SkipIdentical != 0);
    skip_known_->setChecked(settings_.SkipKnown != 0);
    rename_conflicts_->setChecked(settings_.RenameConflicts != 0);
    check_version_->setChecked(settings_.CheckVersion != 0);
    Language language = Language::kChinese;
    ParseLanguage(settings_.Language, &language);
    language_->setCurrentIndex(language == Language::kEnglish ? 1 : 0);
  }
  SyncFileTypeBoxes();
}

QCheckBox* OptionsWindow::FileTypeBox(const std::string& key) const {
  for (size_t i = 0; i < kFileTypes.size(); ++i)
    if (key == kFileTypes[i].key) return type_boxes_[i];
  return nullptr;
}

QLabel* OptionsWindow::AddText(const QString& text, int x, int y, int w, QRgb color, bool bold) {
  auto* label = new QLabel(text, this);
  label->setTextFormat(Qt::PlainText);
  // Plain texts let the mouse through, so that a press on them drags the window.
  label->setAttribute(Qt::WA_TransparentForMouseEvents, true);
  if (bold) {
    QFont font = label->font();
    font.setBold(true);
    label->setFont(font);
  }
  label->setGeometry(x, y, w, label->fontMetrics().height() + 4);
  Colour(label, color);
  return label;
}

QCheckBox* OptionsWindow::AddCheckBox(const QString& text, int x, int y, int w) {
  auto* box = new QCheckBox(text, this);
  box->setGeometry(x, y, w, 20);
  box->setFocusPolicy(Qt::TabFocus);
  Colour(box, kTextColor);
  return box;
}

void OptionsWindow::SyncFileTypeBoxes() {
  const QString filters = filters_->text();
  for (size_t i = 0; i < kFileTypes.size(); ++i) {
    const QSignalBlocker quiet(type_boxes_[i]);
    type_boxes_[i]->setChecked(HasFilterKey(filters, QString::fromUtf8(kFileTypes[i].key)));
  }
}

bool OptionsWindow::HasFilterKey(const QString& filters, const QString& key) {
  return filters.split(QLatin1Char(',')).contains(key);
}

QString OptionsWindow::WithFilterKey(const QString& filters, const QString& key, bool on) {
  QStringList keys = filters.split(QLatin1Char(','));
  if (filters.isEmpty()) keys.clear();
  if (on) {
    if (keys.contains(key)) return filters;
    // A trailing comma of the text is reused rather than doubled.
    if (!keys.isEmpty() && keys.back().isEmpty()) keys.removeLast();
    keys << key;
  } else {
    keys.removeAll(key);
  }
  return keys.join(QLatin1Char(','));
}

void OptionsWindow::OnOk() {
  {
    std::lock_guard<std::mutex> lock(settings_.Mutex);
    settings_.FileFilters = filters_->text().toStdString();
    settings_.IsClassifyByYear = Switch(by_year_->isChecked(), settings_.IsClassifyByYear);
    settings_.MediaDates = Switch(media_dates_->isChecked(), settings_.MediaDates);
    settings_.SidecarDates = Switch(sidecar_dates_->isChecked(), settings_.SidecarDates);
    settings_.NameDates = Switch(name_dates_->isChecked(), settings_.NameDates);
    // A setting that already means the time chosen is kept as it is written.
    const int chosen_start = day_start_->time().hour() * 60 + day_start_->time().minute();
    int day_start = 0;
    if (!ParseClockText(settings_.DayStartsAt, &day_start)) day_start = 0;
    if (chosen_start != day_start) settings_.DayStartsAt = ClockText(chosen_start);
    settings_.SkipIdentical = Switch(skip_identical_->isChecked(), settings_.SkipIdentical);
    settings_.SkipKnown = Switch(skip_known_->isChecked(), settings_.SkipKnown);
    settings_.RenameConflicts = Switch(rename_conflicts_->isChecked(), settings_.RenameConflicts);
    settings_.CheckVersion = Switch(check_version_->isChecked(), settings_.CheckVersion);
    // A setting that already means the language chosen is kept as it is written.
    const std::string chosen = language_->currentData().toString().toStdString();
    Language now = Language::kChinese, wanted = Language::kChinese;
    const bool known = ParseLanguage(settings_.Language, &now);
    ParseLanguage(chosen, &wanted);
    if (!known || now != wanted) settings_.Language = chosen;
  }
  if (!settings_.SaveOptions()) {
    // The values hold for this session; the user learns that the file kept the old ones.
    MessageBox::Show(this, QTr(kStartRefusalCaption),
                     QTr("选项无法写入 ") + QString::fromStdString(settings_.ConfigPath()),
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
  SkinnedDialog::keyPressEvent(event);
}

}  // namespace nandell
