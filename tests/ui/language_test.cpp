// The windows in each language: English from the build's catalog (texts, artwork, Qt's own
// buttons, a run and its failure list), the choice made in the options window, and every text
// of the fixed skin layouts (the main window, the About box, the options, preview and history
// windows) fitting its place in both languages.
#include <QAbstractButton>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QRadioButton>
#include <QTemporaryDir>
#include <QTest>
#include <memory>

#include "platform/process.h"
#include "platform/translate.h"
#include "settings/settings_store.h"
#include "tests/support/temp_tree.h"
#include "ui/about_box.h"
#include "ui/application.h"
#include "ui/folder_picker.h"
#include "ui/history_window.h"
#include "ui/main_window.h"
#include "ui/message_box.h"
#include "ui/options_window.h"
#include "ui/png_button.h"
#include "ui/preview_window.h"
#include "ui/resources.h"

using nandell::MainWindow;
using nandell::MessageBox;
using nandell::SettingsStore;

namespace {

// The texts of `window` that do not fit where the fixed layout puts them: a label's text wider
// than the label (or than the window right of it), a check or radio box wider than its place.
// The message area and the folder fields shorten their texts themselves and are left out.
QStringList Clipped(QWidget* window) {
  QStringList clipped;
  for (QWidget* widget : window->findChildren<QWidget*>()) {
    if (!widget->isVisibleTo(window) || qobject_cast<nandell::PngButton*>(widget) != nullptr)
      continue;
    const QString id = widget->objectName();
    if (id == "1018" || id == "1019" || id == "1020" || id == "failureList") continue;
    const int room = std::min(widget->width(), window->width() - widget->x());
    if (auto* label = qobject_cast<QLabel*>(widget)) {
      if (label->text().isEmpty() || !label->pixmap().isNull()) continue;
      const int inner = room - (label->width() - label->contentsRect().width());
      if (label->fontMetrics().horizontalAdvance(label->text()) > inner) clipped << label->text();
    } else if (qobject_cast<QCheckBox*>(widget) != nullptr ||
               qobject_cast<QRadioButton*>(widget) != nullptr) {
      auto* box = static_cast<QAbstractButton*>(widget);
      if (box->sizeHint().width() > room) clipped << box->text();
    }
  }
  return clipped;
}

}  // namespace

class LanguageTest : public QObject {
  Q_OBJECT

 private:
  QTemporaryDir dir_;

  void Choose(const char* language) {
    std::string error;
    QVERIFY2(nandell::SetUpLanguage(language, NANDELL_LOCALE_DIR, &error), error.c_str());
  }

 private slots:
  void initTestCase() {
    nandell::SetProgramLauncher([](const std::string&, const std::string&, bool) { return 0; });
    MessageBox::SetDefaultAnswer(QMessageBox::Ok);
  }
  void cleanup() {
    Choose("");
    MessageBox::ClearShown();
  }

  void TextsFitTheFixedLayout_data() {
    QTest::addColumn<QString>("language");
    QTest::newRow("English") << "en";
    QTest::newRow("Chinese") << "";
  }
  void TextsFitTheFixedLayout() {
    QFETCH(QString, language);
    Choose(language.toUtf8().constData());
    SettingsStore store(dir_.path().toStdString() + "/", false);
    store.CheckVersion = 0;
    MainWindow main(store);
    nandell::AboutBox about;
    nandell::OptionsWindow options(store);
    nandell::RunPlan plan;
    plan.config.photo_folder = "/home/me/Photos/";
    plan.config.output_folder = "/home/me/Sorted/";
    plan.end.summary = nandell::FormatSummary({12345, 678, 90});
    nandell::PreviewWindow preview(plan);
    nandell::HistoryWindow history(main.Session(), "/home/me/Sorted/");
    for (QWidget* window :
         std::initializer_list<QWidget*>{&main, &about, &options, &preview, &history}) {
      window->show();
      QVERIFY(QTest::qWaitForWindowExposed(window));
      QCOMPARE(Clipped(window).join(QStringLiteral(" | ")), QString());
    }
  }

  void EnglishWindowRunsInEnglish() {
    Choose("en");
    QCOMPARE(nandell::ResourcePath(nandell::kPngPhotoFolder), QStringLiteral(":/en/png/138.png"));
    QCOMPARE(nandell::ResourcePath(nandell::kPngStop), QStringLiteral(":/png/142.png"));
    const QImage english = nandell::ResourceImage(nandell::kPngPhotoFolder);
    QCOMPARE(english.size(), QSize(620, 52));
    Choose("");
    QVERIFY(nandell::ResourceImage(nandell::kPngPhotoFolder) != english);
    Choose("en");
    const QString photos = dir_.path() + QStringLiteral("/photos");
    const QString out = dir_.path() + QStringLiteral("/out");
    QVERIFY(nandell::testing::WriteFile(photos.toStdString() + "/a.mov", "movie"));
    QVERIFY(nandell::testing::MakeFolders(out.toStdString()));
    SettingsStore store(dir_.path().toStdString() + "/", false);
    store.CheckVersion = 0;
    MainWindow window(store);
    QCOMPARE(window.DeleteSourceBox()->text(), QStringLiteral("Delete source files"));

    window.OnOrganize();  // no folders chosen
    QCOMPARE(MessageBox::ShownBoxes().back().caption, QStringLiteral("Notice"));
    QCOMPARE(MessageBox::ShownBoxes().back().text,
             QStringLiteral("Please choose the folders first."));
    // Qt's own buttons are Qt's English.
    QMessageBox box(QMessageBox::Question, QStringLiteral("Notice"), QStringLiteral("?"),
                    QMessageBox::Ok | QMessageBox::No);
    QCOMPARE(box.button(QMessageBox::Ok)->text().remove(QLatin1Char('&')), QStringLiteral("OK"));

    // Twice into the same output: the second run fails its file and lists it in English; the
    // folders keep their designed names.
    window.SetPhotoFolder(photos.toStdString() + "/");
    window.SetOutputFolder(out.toStdString() + "/");
    for (int run = 1; run <= 2; ++run) {
      window.OnOrganize();
      QTRY_COMPARE_WITH_TIMEOUT(window.RunsEnded(), run, 30000);
    }
    QVERIFY(QDir(out).entryList(QDir::Dirs | QDir::NoDotAndDotDot).first().endsWith(u'年'));
    QCOMPARE(QString::fromStdString(window.LastMessage()),
             QStringLiteral("\r\n\r\nOrganized 1 files, 1 failed"));
    QFile report(QString::fromStdString(window.LastReport().error_file));
    QVERIFY(report.open(QIODevice::ReadOnly));
    QVERIFY(report.readAll().startsWith("Could not copy: " + photos.toUtf8() + "/a.mov -> "));
    QVERIFY(window.FailureListLabel()->text().startsWith(QStringLiteral("List of failures: ")));
  }

  void OptionsWindowChoosesTheLanguage_data() {
    QTest::addColumn<QByteArray>("stored");
    QTest::addColumn<int>("chosen");  // the index in the box: 0 Chinese, 1 English
    QTest::addColumn<QByteArray>("saved");
    QTest::newRow("English") << QByteArray("") << 1 << QByteArray("Language=en\n");
    QTest::newRow("back to Chinese") << QByteArray("en") << 0 << QByteArray("Language=zh_CN\n");
    QTest::newRow("empty stays empty") << QByteArray("") << 0 << QByteArray("Language=\n");
    QTest::newRow("zh_CN stays zh_CN")
        << QByteArray("zh_CN") << 0 << QByteArray("Language=zh_CN\n");
    QTest::newRow("unknown shown as Chinese")
        << QByteArray("fr") << 0 << QByteArray("Language=zh_CN\n");
  }
  void OptionsWindowChoosesTheLanguage() {
    QFETCH(QByteArray, stored);
    QFETCH(int, chosen);
    QFETCH(QByteArray, saved);
    SettingsStore store(dir_.path().toStdString() + "/", false);
    store.Language = stored.toStdString();
    nandell::OptionsWindow window(store);
    QCOMPARE(window.LanguageBox()->currentIndex(), stored == "en" ? 1 : 0);
    window.LanguageBox()->setCurrentIndex(chosen);
    window.OnOk();
    QFile ini(dir_.path() + QStringLiteral("/Config.ini"));
    QVERIFY(ini.open(QIODevice::ReadOnly));
    QVERIFY2(ini.readAll().contains(saved), saved.constData());
    // The texts change at the next start only.
    QCOMPARE(nandell::CurrentLanguage(), nandell::Language::kChinese);
  }
};

QTEST_MAIN(LanguageTest)
#include "language_test.moc"
