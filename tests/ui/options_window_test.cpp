// The options window on a real settings store over a real Config.ini: the controls show the
// store, the type boxes and the filter list follow each other, 确定 writes every option at once
// and keeps the rest of the file, 取消 changes nothing.
#include <QApplication>
#include <QCheckBox>
#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QRadioButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTimeEdit>
#include <memory>

#include "settings/settings_store.h"
#include "ui/message_box.h"
#include "ui/options_window.h"
#include "ui/png_button.h"
#include "ui/resources.h"

using nandell::MessageBox;
using nandell::OptionsWindow;
using nandell::SettingsStore;

namespace {

QByteArray Read(const QString& path) {
  QFile file(path);
  return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

void Write(const QString& path, const QByteArray& bytes) {
  QFile file(path);
  QVERIFY(file.open(QIODevice::WriteOnly));
  file.write(bytes);
}

// A Config.ini with the designed keys, a comment, a key of a later version and a section of
// another program, none of which the options window may lose.
const QByteArray kConfig =
    "; kept as it is\n"
    "[VovirurOrarudar]\n"
    "PathSrc=/photos/\n"
    "FileFilters=.jpg,.mov,.xyz\n"
    "IsClassifyByYear=1\n"
    "CheckVersion=1\n"
    "SkipIdentical=1\n"
    "FutureKey=stays\n"
    "[Other]\n"
    "Key=value\n";

}  // namespace

class OptionsWindowTest : public QObject {
  Q_OBJECT

 private:
  QTemporaryDir dir_;
  QString ini_;

  std::unique_ptr<SettingsStore> Store() {
    return std::make_unique<SettingsStore>(dir_.path().toStdString() + "/", false);
  }

 private slots:
  void init() {
    QVERIFY(dir_.isValid());
    ini_ = dir_.path() + QStringLiteral("/Config.ini");
    Write(ini_, kConfig);
  }

  void FilterKeys_data() {
    QTest::addColumn<QString>("filters");
    QTest::addColumn<QString>("key");
    QTest::addColumn<bool>("on");
    QTest::addColumn<QString>("result");
    QTest::newRow("add at the end") << ".jpg,.mov"
                                    << "heic" << true << ".jpg,.mov,heic";
    QTest::newRow("add to nothing") << ""
                                    << ".jpg" << true << ".jpg";
    QTest::newRow("add after a comma") << ".jpg,"
                                       << "rmvb" << true << ".jpg,rmvb";
    QTest::newRow("already there") << ".jpg,rmvb"
                                   << "rmvb" << true << ".jpg,rmvb";
    QTest::newRow("remove keeps order") << ".avi,.jpg,.xyz"
                                        << ".jpg" << false << ".avi,.xyz";
    QTest::newRow("remove every copy") << ".jpg,.mov,.jpg"
                                       << ".jpg" << false << ".mov";
    QTest::newRow("a longer key is another") << ".jpeg"
                                             << "jpeg" << false << ".jpeg";
  }
  void FilterKeys() {
    QFETCH(QString, filters);
    QFETCH(QString, key);
    QFETCH(bool, on);
    QFETCH(QString, result);
    QCOMPARE(OptionsWindow::WithFilterKey(filters, key, on), result);
  }

  void BoxesAndListFollowEachOther() {
    auto store = Store();
    OptionsWindow window(*store);
    QTest::mouseClick(window.FileTypeBox("heic"), Qt::LeftButton, {}, QPoint(8, 10));
    QCOMPARE(window.FiltersEdit()->text(), QStringLiteral(".jpg,.mov,.xyz,heic"));
    window.FiltersEdit()->setText(QStringLiteral(".png,rmvb"));
    for (const OptionsWindow::FileType& type : OptionsWindow::kFileTypes)
      QCOMPARE(window.FileTypeBox(type.key)->isChecked(),
               std::string(type.key) == ".png" || std::string(type.key) == "rmvb");
  }

  void ShowsTheStoreAndOkWritesEveryOptionAtOnce() {
    auto store = Store();
    {
      OptionsWindow window(*store);
      QCOMPARE(window.windowTitle(), QStringLiteral("选项"));
      QCOMPARE(window.size(), nandell::ResourcePixmap(nandell::kSkinOptions, "bitmap").size());
      for (const OptionsWindow::FileType& type : OptionsWindow::kFileTypes)
        QCOMPARE(window.FileTypeBox(type.key)->isChecked(),
                 std::string(type.key) == ".jpg" || std::string(type.key) == ".mov");
      QVERIFY(window.ByYearButton()->isChecked() && window.SkipIdenticalBox()->isChecked());
      QVERIFY(window.CheckVersionBox()->isChecked() && !window.MediaDatesBox()->isChecked());
      window.show();
      window.FileTypeBox("heic")->setChecked(true);
      window.ByDayButton()->setChecked(true);
      window.MediaDatesBox()->setChecked(true);
      window.SkipIdenticalBox()->setChecked(false);
      window.RenameConflictsBox()->setChecked(true);
      window.CheckVersionBox()->setChecked(false);
      QTest::mouseClick(window.OkButton(), Qt::LeftButton);
      QCOMPARE(window.result(), int(QDialog::Accepted));
      QVERIFY(!window.isVisible());
    }
    // The store holds the new values at once ...
    QCOMPARE(store->FileFilters, std::string(".jpg,.mov,.xyz,heic"));
    QCOMPARE(store->IsClassifyByYear, 0);
    QCOMPARE(store->MediaDates, 1);
    QCOMPARE(store->SkipIdentical, 0);
    QCOMPARE(store->RenameConflicts, 1);
    QCOMPARE(store->CheckVersion, 0);
    // ... and so does Config.ini, with every other line where it was.
    const QByteArray saved = Read(ini_);
    for (const char* line :
         {"; kept as it is\n[VovirurOrarudar]\nPathSrc=/photos/\n", "FutureKey=stays\n",
          "[Other]\nKey=value\n", "FileFilters=.jpg,.mov,.xyz,heic\n", "IsClassifyByYear=0\n",
          "CheckVersion=0\n", "SkipIdentical=0\n", "MediaDates=1\n", "RenameConflicts=1\n"})
      QVERIFY2(saved.contains(line), line);
  }

  void AddedRowsWriteTheirKeysOnceSet() {
    auto store = Store();
    {
      OptionsWindow window(*store);
      QVERIFY(!window.SidecarDatesBox()->isChecked() && !window.NameDatesBox()->isChecked());
      QVERIFY(!window.KeepTogetherBox()->isChecked());
      QCOMPARE(window.DayStartEdit()->time(), QTime(0, 0));
      window.OnOk();
    }
    // Left off, they add nothing to the file.
    for (const char* key :
         {"NameDates", "SidecarDates", "DayStartsAt", "KeepTogether", "SkipKnown"})
      QVERIFY2(!Read(ini_).contains(key), key);
    {
      OptionsWindow window(*store);
      window.KeepTogetherBox()->setChecked(true);
      window.SidecarDatesBox()->setChecked(true);
      window.NameDatesBox()->setChecked(true);
      window.SkipKnownBox()->setChecked(true);
      window.DayStartEdit()->setTime(QTime(4, 30));
      window.OnOk();
    }
    QCOMPARE(store->SidecarDates, 1);
    QCOMPARE(store->NameDates, 1);
    QCOMPARE(store->DayStartsAt, std::string("04:30"));
    QCOMPARE(store->KeepTogether, 1);
    const QByteArray saved = Read(ini_);
    for (const char* line : {"NameDates=1\n", "SidecarDates=1\n", "DayStartsAt=04:30\n",
                             "KeepTogether=1\n", "SkipKnown=1\n"})
      QVERIFY2(saved.contains(line), line);
    // A value the window cannot show stays unless another time is chosen.
    store->DayStartsAt = "late";
    OptionsWindow window(*store);
    QCOMPARE(window.DayStartEdit()->time(), QTime(0, 0));
    window.OnOk();
    QCOMPARE(store->DayStartsAt, std::string("late"));
  }

  void ConfigThatCannotBeWrittenIsReported() {
    // A folder where Config.ini should be: nothing can replace it.
    QVERIFY(QFile::remove(ini_));
    QVERIFY(QDir().mkpath(ini_));
    auto store = Store();
    MessageBox::SetDefaultAnswer(QMessageBox::Ok);
    OptionsWindow window(*store);
    window.MediaDatesBox()->setChecked(true);
    window.OnOk();
    QCOMPARE(store->MediaDates, 1);  // it holds for this session
    QCOMPARE(MessageBox::ShownBoxes().back().text, QStringLiteral("选项无法写入 ") + ini_);
    QVERIFY(QDir().rmdir(ini_));
  }

  void CancelCloseAndEscapeChangeNothing_data() {
    QTest::addColumn<int>("how");  // 0 取消, 1 the close cross, 2 Escape
    QTest::newRow("cancel") << 0;
    QTest::newRow("close cross") << 1;
    QTest::newRow("escape") << 2;
  }
  void CancelCloseAndEscapeChangeNothing() {
    QFETCH(int, how);
    auto store = Store();
    OptionsWindow window(*store);
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    window.FileTypeBox(".avi")->setChecked(true);
    window.ByDayButton()->setChecked(true);
    if (how == 0) QTest::mouseClick(window.CancelButton(), Qt::LeftButton);
    if (how == 1) QTest::mouseClick(window.CloseButton(), Qt::LeftButton);
    if (how == 2) QTest::keyClick(&window, Qt::Key_Escape);
    QVERIFY(!window.isVisible());
    QCOMPARE(window.result(), int(QDialog::Rejected));
    QCOMPARE(store->FileFilters, std::string(".jpg,.mov,.xyz"));
    QCOMPARE(store->IsClassifyByYear, 1);
    QCOMPARE(Read(ini_), kConfig);
  }
};

QTEST_MAIN(OptionsWindowTest)
#include "options_window_test.moc"
