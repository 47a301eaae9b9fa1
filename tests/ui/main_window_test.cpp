// The main window on real widgets over real temporary folders: its layout, the start checks,
// what runs, Stop and undo show, closing during a run, the settings it hands back, the
// version-check timer, and the keys, buttons and menu that end or move it.
#include <QApplication>
#include <QCheckBox>
#include <QDir>
#include <QFile>
#include <QHelpEvent>
#include <QLabel>
#include <QMenu>
#include <QMimeData>
#include <QProcess>
#include <QProgressBar>
#include <QPushButton>
#include <QScopeGuard>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QToolTip>
#include <QTreeWidget>
#include <chrono>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "engine/organizer.h"
#include "log/msgx.h"
#include "platform/process.h"
#include "settings/settings_store.h"
#include "tests/support/gated_file_system.h"
#include "tests/support/temp_tree.h"
#include "tests/support/wait_until.h"
#include "tests/ui/photo_jpeg.h"
#include "ui/about_box.h"
#include "ui/application.h"
#include "ui/folder_picker.h"
#include "ui/history_window.h"
#include "ui/link_label.h"
#include "ui/main_window.h"
#include "ui/message_box.h"
#include "ui/options_window.h"
#include "ui/png_button.h"
#include "ui/preview_window.h"
#include "ui/texts.h"
#include "ui/thumbnails.h"
#include "uicore/build_info.h"

using nandell::FolderPicker;
using nandell::MainWindow;
using nandell::MessageBox;
using nandell::SettingsStore;

namespace {

struct Launch {
  std::string file;
  std::string parameters;
};
std::mutex g_mutex;
std::vector<Launch> g_launches;
std::vector<std::string> g_log_lines;

std::string Slash(const QString& path) {
  return path.toStdString() + "/";
}

// A photo folder of `count` dated files (".jpg", ".mov" and ".JPG" in nested folders) and
// two files the filter list does not take. All get a fixed last-write time in 2019.
void MakePhotoTree(const QString& root, int count) {
  const std::string at = Slash(root);
  const time_t taken = 1561975200;  // 2019-07-01, mid-day in any zone
  for (int i = 0; i < count; ++i) {
    const char* ext = i % 3 == 0 ? ".jpg" : i % 3 == 1 ? ".mov" : ".JPG";
    const std::string name = "sub" + std::to_string(i % 7) + "/file" + std::to_string(i) + ext;
    const std::string content(64 + i % 100, static_cast<char>('a' + i % 26));
    QVERIFY(nandell::testing::WriteFile(at + name, content, taken));
  }
  QVERIFY(nandell::testing::WriteFile(at + "notes.txt", "not a photo", taken));
  QVERIFY(nandell::testing::WriteFile(at + ".hidden.jpg", "skipped", taken));
}

// Every regular file under `root`, as paths relative to it, hidden ones included, except the
// runs' journals in root/.nandell/.
QStringList FilesUnder(const QString& root) {
  QStringList files;
  for (const auto& [path, content] : nandell::testing::ListFiles(Slash(root))) {
    files << QString::fromStdString(path);
  }
  return files;
}

// A label's text as the user reads it (without the wrap points the window inserts).
QString Shown(QLabel* label) {
  QString text = label->text();
  text.remove(QChar(0x200B));
  return text;
}

QString Utf8(const std::string& text) {
  return QString::fromStdString(text);
}

// Writes `bytes` to `path` (its folders made first).
void WriteFile(const QString& path, const QByteArray& bytes) {
  QVERIFY(nandell::testing::WriteFile(path.toStdString(), bytes.toStdString()));
}

// Every entry under the folder `root` with its facts and content, its records folder aside:
// what a run changes.
std::map<std::string, std::string> Snapshot(const QString& root) {
  return nandell::testing::Snapshot(root.toStdString() + "/");
}

// The standard output of nandell-cli with `args`, its Config.ini and reports in `config`.
QString Cli(const QStringList& args, const QString& config) {
  QProcess cli;
  QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
  env.insert(QStringLiteral("NANDELL_CONFIG_DIR"), config);
  cli.setProcessEnvironment(env);
  cli.start(QStringLiteral(NANDELL_CLI_PATH), args);
  if (!cli.waitForFinished(60000)) return QString();
  return QString::fromUtf8(cli.readAllStandardOutput());
}

// The action of the skin's right-click menu with `text`.
void TriggerMenu(MainWindow& window, const char* text) {
  std::unique_ptr<QMenu> menu(window.CreateSystemMenu());
  for (QAction* action : menu->actions()) {
    if (action->text() == nandell::QTr(text)) action->trigger();
  }
}

}  // namespace

class MainWindowTest : public QObject {
  Q_OBJECT

 private:
  // A settings store on its own temporary folder, without the version check.
  std::unique_ptr<SettingsStore> NewStore(const QString& dir, int32_t check_version = 0) {
    auto store = std::make_unique<SettingsStore>(Slash(dir), true);
    store->CheckVersion = check_version;
    return store;
  }

  // Chooses both folders through the folder buttons, as a user does.
  static void ChooseFolders(MainWindow& window, const QString& photo, const QString& output) {
    FolderPicker::SetNextAnswer(photo.toStdString());
    QTest::mouseClick(window.PhotoFolderButton(), Qt::LeftButton);
    FolderPicker::SetNextAnswer(output.toStdString());
    QTest::mouseClick(window.OutputFolderButton(), Qt::LeftButton);
  }

 private slots:
  void initTestCase() {
    nandell::SetProgramLauncher(
        [](const std::string& file, const std::string& parameters, bool) -> int32_t {
          std::lock_guard<std::mutex> lock(g_mutex);
          g_launches.push_back({file, parameters});
          return 0;
        });
    nandell::LinkLabel::SetUrlOpener([](const std::string&) { return true; });
    nandell::MsgX().debug_output = [](const std::string& line) {
      std::lock_guard<std::mutex> lock(g_mutex);
      g_log_lines.push_back(line);
    };
    // No box ever waits for a person.
    MessageBox::SetDefaultAnswer(QMessageBox::Ok);
  }

  void init() {
    std::lock_guard<std::mutex> lock(g_mutex);
    g_launches.clear();
    g_log_lines.clear();
    MessageBox::ClearShown();
    MessageBox::ClearAnswers();
    FolderPicker::ClearAnswers();
  }

  void LayoutFollowsTheSkinAndStrips() {
    QTemporaryDir dir;
    auto store = NewStore(dir.path());
    MainWindow window(*store);
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));

    QCOMPARE(window.size(), QSize(622, 416));
    QCOMPARE(QSize(window.SkinWidth(), window.SkinHeight()), QSize(622, 416));
    QVERIFY(window.windowFlags() & Qt::FramelessWindowHint);
    // Where the design puts each widget with the shipped skin and strips (its top-left corner).
    QWidget* const close = window.CloseButton();
    QWidget* const minimize = window.MinimizeButton();
    QWidget* const options = window.OptionsButton();
    QWidget* const about = window.AboutButton();
    QWidget* const photo = window.PhotoFolderButton();
    QWidget* const photo_text = window.PhotoFolderLabel();
    QWidget* const output = window.OutputFolderButton();
    QWidget* const output_text = window.OutputFolderLabel();
    QWidget* const organize = window.OrganizeButton();
    QWidget* const message = window.MessageLabel();
    QWidget* const stop = window.StopButton();
    QWidget* const check_box = window.DeleteSourceBox();
    QWidget* const footer = window.FooterLabel();
    const QList<QWidget*> widgets = {close,      minimize,  options,     about,    photo,
                                     photo_text, output,    output_text, organize, message,
                                     stop,       check_box, footer};
    QList<QPoint> places;
    for (QWidget* widget : widgets) places << widget->pos();
    // clang-format off
    QCOMPARE(places, (QList<QPoint>{{582, 2}, {544, 2}, {512, 5}, {494, 5}, {87, 91}, {252, 91},
                                    {87, 183}, {252, 183}, {87, 274}, {252, 274}, {573, 286},
                                    {93, 391}, {261, 396}}));
    // clang-format on

    // How they stand to each other: the title bar's buttons in a row ending at the skin's
    // right edge; each text right of its button, level with it, half the skin wide, as tall as
    // the photo folder button (the message area two organize buttons); Stop right of the
    // message area. Nothing overlaps but the check box's box and the footer's, and everything
    // lies on the skin but the footer, which runs past its right edge and is clipped.
    const QRect skin = window.rect();
    const auto left_of = [](QWidget* a, QWidget* b) { return a->geometry().right() < b->x(); };
    QVERIFY(left_of(about, options) && left_of(options, minimize) && left_of(minimize, close));
    QCOMPARE(close->geometry().right(), skin.right() - 2);
    for (const auto& [button, text] : {std::pair{photo, photo_text}, std::pair{output, output_text},
                                       std::pair{organize, message}}) {
      QVERIFY(left_of(button, text));
      QCOMPARE(text->y(), button->y());
      QCOMPARE(text->width(), skin.width() / 2);
    }
    QCOMPARE(photo_text->height(), photo->height());
    QCOMPARE(output_text->height(), photo->height());
    QCOMPARE(message->height(), 2 * organize->height());
    QVERIFY(left_of(message, stop));
    for (qsizetype i = 0; i < widgets.size(); ++i) {
      for (qsizetype j = i + 1; j < widgets.size(); ++j) {
        if (widgets[i] == check_box && widgets[j] == footer) continue;
        QVERIFY2(!widgets[i]->geometry().intersects(widgets[j]->geometry()),
                 qPrintable(QStringLiteral("widgets %1 and %2 overlap").arg(i).arg(j)));
      }
      if (widgets[i] != footer) QVERIFY(skin.contains(widgets[i]->geometry()));
    }
    QVERIFY(skin.contains(footer->pos()) && !skin.contains(footer->geometry()));

    // The skin size goes to the log with its line number.
    {
      std::lock_guard<std::mutex> lock(g_mutex);
      bool found = false;
      for (const std::string& line : g_log_lines)
        found = found || line.find("皮肤背景大小为: 622, 416  #773") != std::string::npos;
      QVERIFY(found);
    }

    // Texts: transparent over the skin in the skin's colour; the footer is the white link.
    const QColor text_color(31, 107, 129);
    for (QLabel* label :
         {window.MessageLabel(), window.PhotoFolderLabel(), window.OutputFolderLabel()}) {
      QCOMPARE(label->palette().color(QPalette::WindowText), text_color);
      QVERIFY(!label->autoFillBackground());
      QVERIFY(label->testAttribute(Qt::WA_TransparentForMouseEvents));
    }
    QCOMPARE(window.DeleteSourceBox()->text(), QStringLiteral("删除源文件"));
    QCOMPARE(window.DeleteSourceBox()->palette().color(QPalette::WindowText), text_color);
    QCOMPARE(window.FooterLabel()->palette().color(QPalette::WindowText), QColor(255, 255, 255));
    QCOMPARE(nandell::LinkLabel::Instance(1)->Label(), window.FooterLabel());
    QCOMPARE(nandell::LinkLabel::Instance(1)->LinkTarget(),
             std::string(nandell::build_info::kWebAddress));
    QVERIFY(!window.FooterLabel()->testAttribute(Qt::WA_TransparentForMouseEvents));

    // Idle: organize enabled, stop hidden.
    QVERIFY(window.OrganizeButton()->isEnabled());
    QVERIFY(!window.StopButton()->isVisible());
    window.reject();
  }

  void StartChecksRefuseWithANotice_data() {
    QTest::addColumn<QString>("photo");
    QTest::addColumn<QString>("output");
    QTest::addColumn<QString>("expected");
    // Folder names are relative to the temporary root; "" stays empty.
    QTest::newRow("no folder") << ""
                               << ""
                               << "请先选择目录.";
    QTest::newRow("only the photo folder") << "Pics/"
                                           << ""
                                           << "请先选择目录.";
    QTest::newRow("same folder, other case") << "Pics/"
                                             << "PICS/"
                                             << "照片目录和输出目录不能是同一个目录.";
    QTest::newRow("output inside photo") << "Pics/"
                                         << "Pics/Out/"
                                         << "照片目录和输出目录不能在是同一个目录内.";
    QTest::newRow("photo inside output") << "Pics/Out/"
                                         << "Pics/"
                                         << "照片目录和输出目录不能在是同一个目录内.";
    QTest::newRow("both missing: output named") << "Nope1/"
                                                << "Nope2/"
                                                << "目录不存在:@Nope2/";
    QTest::newRow("photo missing") << "Nope1/"
                                   << "Pics2/"
                                   << "目录不存在:@Nope1/";
  }

  void StartChecksRefuseWithANotice() {
    QFETCH(QString, photo);
    QFETCH(QString, output);
    QFETCH(QString, expected);
    QTemporaryDir dir;
    QDir(dir.path()).mkpath(QStringLiteral("Pics/Out"));
    QDir(dir.path()).mkpath(QStringLiteral("Pics2"));
    const QString root = dir.path() + QLatin1Char('/');
    auto store = NewStore(dir.path());
    MainWindow window(*store);
    if (!photo.isEmpty()) window.SetPhotoFolder((root + photo).toStdString());
    if (!output.isEmpty()) window.SetOutputFolder((root + output).toStdString());
    expected.replace(QLatin1Char('@'), root);

    QTest::mouseClick(window.OrganizeButton(), Qt::LeftButton);

    QCOMPARE(MessageBox::ShownBoxes().size(), size_t{1});
    const MessageBox::Shown& box = MessageBox::ShownBoxes().front();
    QCOMPARE(box.caption, QStringLiteral("提示"));
    QCOMPARE(box.text, expected);
    QCOMPARE(box.icon, QMessageBox::Information);
    QCOMPARE(box.buttons, QMessageBox::StandardButtons(QMessageBox::Ok));
    QVERIFY(!window.IsRunning());
    QVERIFY(window.OrganizeButton()->isEnabled());
    QVERIFY(!window.StopButton()->isVisibleTo(&window));
  }

  void RunFromTheWindowShowsProgressAndSummary() {
    QTemporaryDir dir;
    const QString photos = dir.path() + QStringLiteral("/照片 库");
    const QString out = dir.path() + QStringLiteral("/out");
    MakePhotoTree(photos, 12);
    QDir().mkpath(out);
    auto store = NewStore(dir.path() + QStringLiteral("/cfg"));
    QDir().mkpath(dir.path() + QStringLiteral("/cfg"));
    MainWindow window(*store);
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));

    ChooseFolders(window, photos, out);
    QCOMPARE(Utf8(window.PhotoFolder()), photos + QLatin1Char('/'));
    QCOMPARE(Utf8(window.OutputFolder()), out + QLatin1Char('/'));
    QCOMPARE(Shown(window.PhotoFolderLabel()), photos + QLatin1Char('/'));
    QCOMPARE(Shown(window.OutputFolderLabel()), out + QLatin1Char('/'));

    QTest::mouseClick(window.OrganizeButton(), Qt::LeftButton);
    // Running: organize disabled, stop shown (their wind-up changes arrive as queued calls).
    QVERIFY(!window.OrganizeButton()->isEnabled());
    QVERIFY(window.StopButton()->isVisible());

    QTRY_COMPARE_WITH_TIMEOUT(window.RunsEnded(), 1, 30000);
    QVERIFY(window.OrganizeButton()->isEnabled());
    QVERIFY(!window.StopButton()->isVisible());
    QVERIFY(window.ProgressRefreshes() >= 1);
    const std::string summary = nandell::FormatSummary({12, 0});
    QCOMPARE(Utf8(window.LastMessage()), Utf8(summary));
    QCOMPARE(Shown(window.MessageLabel()), QStringLiteral("\n\n整理文件 12 个, 失败 0 个"));
    QVERIFY(window.LastReport().error_file.empty());
    QVERIFY(g_launches.empty());
    QVERIFY(!window.FailureListLabel()->isVisible());

    // The same run again: every target exists, so every file fails and errorFile.txt is
    // written to the store's folder and shown.
    QTest::mouseClick(window.OrganizeButton(), Qt::LeftButton);
    QTRY_COMPARE_WITH_TIMEOUT(window.RunsEnded(), 2, 30000);
    QCOMPARE(Utf8(window.LastMessage()), Utf8(nandell::FormatSummary({12, 12})));
    const QString error_file = dir.path() + QStringLiteral("/cfg/errorFile.txt");
    QCOMPARE(Utf8(window.LastReport().error_file), error_file);
    QFile report(error_file);
    QVERIFY(report.open(QIODevice::ReadOnly));
    const QString content = QString::fromUtf8(report.readAll());
    QCOMPARE(content.count(QStringLiteral("复制文件失败: ")), 12);
    QVERIFY(content.endsWith(Utf8(nandell::FormatSummary({12, 12}))));
    // Under the summary, the list's path, which opens the list when clicked (also when no
    // viewer came up at the end of the run).
    QLabel* list = window.FailureListLabel();
    QVERIFY(list->isVisible());
    // The line fits the area; cut in the middle when the path is long, whole in the tooltip.
    QVERIFY(list->text().startsWith(QStringLiteral("失败列表: /")));
    QVERIFY(list->text().endsWith(QStringLiteral("/cfg/errorFile.txt")));
    QVERIFY(list->fontMetrics().horizontalAdvance(list->text()) <= list->contentsRect().width());
    if (list->text() != QStringLiteral("失败列表: ") + error_file)
      QCOMPARE(list->toolTip(), QStringLiteral("失败列表: ") + error_file);
    QVERIFY(list->y() > window.MessageLabel()->y());
    QVERIFY(list->geometry().bottom() <= window.MessageLabel()->geometry().bottom());
    QTest::mouseClick(list, Qt::LeftButton);
    {
      std::lock_guard<std::mutex> lock(g_mutex);
      QCOMPARE(g_launches.size(), size_t{2});
      for (const Launch& launch : g_launches) {
        QCOMPARE(launch.file, std::string("notepad.exe"));
        QCOMPARE(Utf8(launch.parameters), error_file);
      }
    }
    // A new run takes the line away.
    window.SetOutputFolder(Slash(dir.path() + QStringLiteral("/cfg")));
    QTest::mouseClick(window.OrganizeButton(), Qt::LeftButton);
    QVERIFY(!list->isVisible());
    QTRY_COMPARE_WITH_TIMEOUT(window.RunsEnded(), 3, 30000);
    QVERIFY(!list->isVisible());
    window.reject();
  }

  void WindUpOfTheLastRunLeavesANewRunsButtonsAlone() {
    // The wind-up of a run reaches the window as queued calls; a new run may start before
    // the last of them is handled. They must not hide the new run's stop button.
    QTemporaryDir dir;
    const QString photos = dir.path() + QStringLiteral("/in");
    MakePhotoTree(photos, 3);
    QDir().mkpath(dir.path() + QStringLiteral("/out1"));
    QDir().mkpath(dir.path() + QStringLiteral("/out2"));
    auto store = NewStore(dir.path());
    nandell::testing::GatedFileSystem disk;
    MainWindow window(*store, nullptr, disk);
    window.show();
    ChooseFolders(window, photos, dir.path() + QStringLiteral("/out1"));

    QTest::mouseClick(window.OrganizeButton(), Qt::LeftButton);
    // The first run ends while the window handles none of its calls.
    QVERIFY(nandell::testing::WaitUntil([&] { return !window.Session().IsWorkerActive(); },
                                        std::chrono::seconds(30)));
    window.SetOutputFolder((dir.path() + QStringLiteral("/out2/")).toStdString());
    {
      // The second run's worker waits before it lists the photo folder, so it is running
      // while the first run's end arrives.
      disk.Hold(nandell::testing::GatedFileSystem::kList);
      const auto release = qScopeGuard([&disk] { disk.Release(); });
      window.OnOrganize();
      QVERIFY(window.IsRunning());
      QCoreApplication::processEvents();
      QVERIFY(window.IsRunning());
      QVERIFY(window.StopButton()->isVisible());
      QVERIFY(!window.OrganizeButton()->isEnabled());
      // Nor show the last run's summary as the new run's state.
      QCOMPARE(Utf8(window.LastMessage()), QString());
      QCOMPARE(Shown(window.MessageLabel()), QString());
    }
    QTRY_COMPARE_WITH_TIMEOUT(window.RunsEnded(), 2, 30000);
    QVERIFY(!window.StopButton()->isVisible());
    QVERIFY(window.OrganizeButton()->isEnabled());
    QCOMPARE(Utf8(window.LastMessage()), Utf8(nandell::FormatSummary({3, 0})));
    window.reject();
  }

  void RunKeepsWhatItStartedWith() {
    // The folders, the check box and the store's filters and layout change while a run is
    // starting; the run follows what they were when organize was pressed.
    QTemporaryDir dir;
    const QString photos = dir.path() + QStringLiteral("/in");
    const QString out = dir.path() + QStringLiteral("/out");
    const QString other = dir.path() + QStringLiteral("/other");
    MakePhotoTree(photos, 6);
    QDir().mkpath(out);
    QDir().mkpath(other);
    auto store = NewStore(dir.path());
    nandell::testing::GatedFileSystem disk;
    MainWindow window(*store, nullptr, disk);
    ChooseFolders(window, photos, out);
    disk.Hold(nandell::testing::GatedFileSystem::kList);
    const auto release = qScopeGuard([&disk] { disk.Release(); });
    QTest::mouseClick(window.OrganizeButton(), Qt::LeftButton);
    QVERIFY(disk.AwaitCalls(nandell::testing::GatedFileSystem::kList, 1));
    window.DeleteSourceBox()->setChecked(true);
    FolderPicker::SetNextAnswer(other.toStdString());
    QTest::mouseClick(window.OutputFolderButton(), Qt::LeftButton);
    {
      std::lock_guard<std::mutex> lock(store->Mutex);
      store->IsClassifyByYear = 0;
      store->FileFilters = ".txt";
    }
    disk.Release();
    QTRY_COMPARE_WITH_TIMEOUT(window.RunsEnded(), 1, 30000);
    QCOMPARE(window.LastReport().counters.ProcessedCount, 6);
    QCOMPARE(FilesUnder(out).size(), 6);
    for (const QString& file : FilesUnder(out))
      QVERIFY2(file.startsWith("2019年/2019-07-01/"), qPrintable(file));
    QCOMPARE(FilesUnder(other).size(), 0);
    QCOMPARE(FilesUnder(photos).size(), 8);  // copied, not moved
  }

  void MoveRunTakesTheCheckBox() {
    QTemporaryDir dir;
    const QString photos = dir.path() + QStringLiteral("/in");
    const QString out = dir.path() + QStringLiteral("/out");
    MakePhotoTree(photos, 5);
    QDir().mkpath(out);
    auto store = NewStore(dir.path());
    MainWindow window(*store);
    ChooseFolders(window, photos, out);
    window.DeleteSourceBox()->setChecked(true);
    QTest::mouseClick(window.OrganizeButton(), Qt::LeftButton);
    QTRY_COMPARE_WITH_TIMEOUT(window.RunsEnded(), 1, 30000);
    QCOMPARE(FilesUnder(out).size(), 5);
    QCOMPARE(FilesUnder(photos).size(), 2);  // only what the filters do not take
    QVERIFY(Shown(window.MessageLabel()).endsWith(QStringLiteral("整理文件 5 个, 失败 0 个")));
  }

  void UndoOfTheLastRunAsksThenPutsTheFilesBack() {
    QTemporaryDir dir;
    const QString photos = dir.path() + QStringLiteral("/in");
    const QString out = dir.path() + QStringLiteral("/out");
    MakePhotoTree(photos, 6);
    QDir().mkpath(out);
    auto store = NewStore(dir.path());
    MainWindow window(*store);
    QVERIFY(!window.CanUndo());
    ChooseFolders(window, photos, out);
    window.DeleteSourceBox()->setChecked(true);
    QTest::mouseClick(window.OrganizeButton(), Qt::LeftButton);
    QTRY_COMPARE_WITH_TIMEOUT(window.RunsEnded(), 1, 30000);
    QCOMPARE(FilesUnder(out).size(), 6);
    // Offered only while the run's output folder is the one chosen.
    window.SetOutputFolder(Slash(photos));
    QVERIFY(!window.CanUndo());
    window.SetOutputFolder(Slash(out));
    std::unique_ptr<QMenu> menu(window.CreateSystemMenu());
    QAction* undo = menu->actions().first();
    QCOMPARE(undo->text(), QStringLiteral("撤销上次整理(&U)"));
    QCOMPARE(menu->actions()[1]->text(), QStringLiteral("预览整理(&P)..."));
    QCOMPARE(menu->actions()[2]->text(), QStringLiteral("整理历史(&H)..."));
    QVERIFY(menu->actions()[3]->isSeparator());

    // The question names the files; 否 changes nothing.
    MessageBox::SetNextAnswer(QMessageBox::No);
    undo->trigger();
    QCOMPARE(MessageBox::ShownBoxes().size(), size_t{1});
    const MessageBox::Shown& asked = MessageBox::ShownBoxes().back();
    QCOMPARE(asked.caption, QStringLiteral("提示"));
    QCOMPARE(asked.text, QStringLiteral("确定要撤销上次整理吗? (共 6 个文件)"));
    QCOMPARE(asked.icon, QMessageBox::Question);
    QCOMPARE(FilesUnder(out).size(), 6);

    // A link where a source folder was keeps its file for an error: the entry stays, and once
    // the folder is back, the next undo takes that file back too.
    const QString sub = photos + QStringLiteral("/sub0");
    QVERIFY(QDir().rename(sub, sub + QStringLiteral(".real")));
    QVERIFY(QFile::link(dir.path(), sub));
    MessageBox::SetNextAnswer(QMessageBox::Yes);
    undo->trigger();
    QVERIFY(!window.OrganizeButton()->isEnabled());
    QTRY_COMPARE_WITH_TIMEOUT(window.UndosEnded(), 1, 30000);
    QVERIFY(Shown(window.MessageLabel()).endsWith(QStringLiteral("撤销文件 5 个, 保留 1 个")));
    QVERIFY(window.CanUndo());
    QVERIFY(QFile::remove(sub) && QDir().rename(sub + QStringLiteral(".real"), sub));
    MessageBox::SetNextAnswer(QMessageBox::Yes);
    undo->trigger();
    QCOMPARE(MessageBox::ShownBoxes().back().text,
             QStringLiteral("确定要撤销上次整理吗? (共 1 个文件)"));
    QTRY_COMPARE_WITH_TIMEOUT(window.UndosEnded(), 2, 30000);
    QCOMPARE(FilesUnder(out).size(), 0);
    QCOMPARE(FilesUnder(photos).size(), 8);
    QCOMPARE(Shown(window.MessageLabel()), QStringLiteral("\n\n撤销文件 1 个, 保留 0 个"));
    QVERIFY(window.OrganizeButton()->isEnabled());
    QVERIFY(!window.StopButton()->isVisible());
    QVERIFY(!window.CanUndo());
  }

  void AReportThatCannotBeWrittenIsSaidInTheMessageArea() {
    QTemporaryDir dir;
    const QString photos = dir.path() + QStringLiteral("/in");
    const QString out = dir.path() + QStringLiteral("/out");
    MakePhotoTree(photos, 1);
    QVERIFY(nandell::testing::WriteFile(Slash(out) + "2019年/2019-07-01/file0.jpg", "taken"));
    QVERIFY(nandell::testing::WriteFile(Slash(dir.path()) + "file", ""));
    auto store = NewStore(dir.path());
    store->ConfigDir = (dir.path() + QStringLiteral("/file/")).toStdString();  // cannot be made
    MainWindow window(*store);
    ChooseFolders(window, photos, out);
    QTest::mouseClick(window.OrganizeButton(), Qt::LeftButton);
    QTRY_COMPARE_WITH_TIMEOUT(window.RunsEnded(), 1, 30000);
    QLabel* problem = window.ReportProblemLabel();
    QVERIFY(!problem->isHidden());
    QVERIFY(window.FailureListLabel()->isHidden());
    const QString shown = problem->toolTip().isEmpty() ? problem->text() : problem->toolTip();
    QCOMPARE(shown, QStringLiteral("无法写入失败列表: ") + dir.path() +
                        QStringLiteral("/file/errorFile.txt: Not a directory"));
  }

  void StopEndsTheRunAfterTheFileInHand() {
    QTemporaryDir dir;
    const QString photos = dir.path() + QStringLiteral("/in");
    const QString out = dir.path() + QStringLiteral("/out");
    const int total = 1500;
    MakePhotoTree(photos, total);
    QDir().mkpath(out);
    auto store = NewStore(dir.path());
    MainWindow window(*store);
    window.show();
    ChooseFolders(window, photos, out);

    QTest::mouseClick(window.OrganizeButton(), Qt::LeftButton);
    const bool was_running = window.IsRunning();
    QVERIFY(was_running);
    QTest::mouseClick(window.StopButton(), Qt::LeftButton);
    // Stop hides at once; organize comes back only with the worker's wind-up.
    QVERIFY(!window.StopButton()->isVisible());
    QVERIFY(!window.IsRunning());
    QVERIFY(!window.OrganizeButton()->isEnabled());

    QTRY_COMPARE_WITH_TIMEOUT(window.RunsEnded(), 1, 60000);
    QVERIFY(window.OrganizeButton()->isEnabled());
    QVERIFY(window.LastReport().stopped);
    const nandell::JobCounters counters = window.LastReport().counters;
    QVERIFY(counters.ProcessedCount < total);
    QCOMPARE(counters.FailedCount, 0);
    QCOMPARE(Utf8(window.LastMessage()), Utf8(nandell::FormatSummary(counters)));
  }

  void ClosingDuringARunStopsAndWaitsForTheWorker() {
    QTemporaryDir dir;
    const QString photos = dir.path() + QStringLiteral("/in");
    const QString out = dir.path() + QStringLiteral("/out");
    const int total = 1500;
    MakePhotoTree(photos, total);
    QDir().mkpath(out);
    auto store = NewStore(dir.path());
    auto window = std::make_unique<MainWindow>(*store);
    window->show();
    ChooseFolders(*window, photos, out);
    window->DeleteSourceBox()->setChecked(true);  // moves: nothing may be lost

    QTest::mouseClick(window->OrganizeButton(), Qt::LeftButton);
    QVERIFY(window->IsRunning());
    MessageBox::SetNextAnswer(QMessageBox::Yes);
    QVERIFY(window->close());
    QCOMPARE(MessageBox::ShownBoxes().size(), size_t{1});
    QCOMPARE(MessageBox::ShownBoxes()[0].text, QStringLiteral("整理正在进行, 确定要停止并退出吗?"));
    QCOMPARE(MessageBox::ShownBoxes()[0].buttons, QMessageBox::Yes | QMessageBox::No);
    // The worker is gone before the window is: no run, no file half done.
    QVERIFY(!window->Session().IsWorkerActive());
    QVERIFY(!window->isVisible());
    window.reset();

    // The folders went back to the store.
    QCOMPARE(Utf8(store->PathSrc), photos + QLatin1Char('/'));
    QCOMPARE(store->IsDeleteSrc, 1);
  }

  void SettingsAreHandedBackAndFoundAtTheNextStart() {
    QTemporaryDir dir;
    QDir(dir.path()).mkpath(QStringLiteral("a"));
    QDir(dir.path()).mkpath(QStringLiteral("b"));
    const QString a = dir.path() + QStringLiteral("/a");
    const QString b = dir.path() + QStringLiteral("/b");
    {
      auto store = NewStore(dir.path());
      {
        MainWindow window(*store);
        QCOMPARE(Shown(window.PhotoFolderLabel()), QString());
        QVERIFY(!window.DeleteSourceBox()->isChecked());
        window.show();
        ChooseFolders(window, a, b);
        QTest::mouseClick(window.DeleteSourceBox(), Qt::LeftButton, {}, QPoint(8, 9));
        QVERIFY(window.DeleteSourceBox()->isChecked());
        // A cancelled picker changes nothing.
        FolderPicker::SetNextAnswer(std::nullopt);
        QTest::mouseClick(window.PhotoFolderButton(), Qt::LeftButton);
        QCOMPARE(Utf8(window.PhotoFolder()), a + QLatin1Char('/'));
        QTest::mouseClick(window.CloseButton(), Qt::LeftButton);
        QTRY_VERIFY(!window.isVisible());
      }
      QCOMPARE(Utf8(store->PathSrc), a + QLatin1Char('/'));
      QCOMPARE(Utf8(store->PathTar), b + QLatin1Char('/'));
      QCOMPARE(store->IsDeleteSrc, 1);
    }  // The store writes Config.ini as it goes.
    QVERIFY(QFile::exists(dir.path() + QStringLiteral("/Config.ini")));

    auto store = NewStore(dir.path());
    QCOMPARE(Utf8(store->PathSrc), a + QLatin1Char('/'));
    MainWindow window(*store);
    QCOMPARE(Utf8(window.PhotoFolder()), a + QLatin1Char('/'));
    QCOMPARE(Shown(window.PhotoFolderLabel()), a + QLatin1Char('/'));
    QCOMPARE(Shown(window.OutputFolderLabel()), b + QLatin1Char('/'));
    QVERIFY(window.DeleteSourceBox()->isChecked());
  }

  void LongFoldersAreShortenedInTheMiddle_data() {
    QTest::addColumn<QString>("relative");  // below the temporary folder
    QTest::addColumn<QString>("ending");    // how the shortened text ends; empty: not shortened
    QTest::newRow("short") << "照片"
                           << "";
    QTest::newRow("many folders") << "存档/照片库/2023年全家去海南岛旅行/相机/原片/2024年春节"
                                  << "/2024年春节/";
  }
  void LongFoldersAreShortenedInTheMiddle() {
    QFETCH(QString, relative);
    QFETCH(QString, ending);
    QTemporaryDir dir;
    auto store = NewStore(dir.path());
    MainWindow window(*store);
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    const QString whole = dir.path() + QLatin1Char('/') + relative + QLatin1Char('/');
    window.SetPhotoFolder(whole.toStdString());
    QLabel* label = window.PhotoFolderLabel();
    if (ending.isEmpty()) {
      QCOMPARE(label->text(), whole);
      QVERIFY(label->toolTip().isEmpty());
      return;
    }
    // One line that fits the field, cut in the middle, the whole path in the tooltip.
    QVERIFY2(label->text().contains(QChar(0x2026)), qPrintable(label->text()));
    QVERIFY(label->text().startsWith(whole.left(4)));
    QVERIFY2(label->text().endsWith(ending), qPrintable(label->text()));
    QVERIFY(label->fontMetrics().horizontalAdvance(label->text()) <= label->contentsRect().width());
    QCOMPARE(label->toolTip(), whole);
    // The tooltip reaches the user although the text lets the mouse through to the skin.
    const QPoint at = label->geometry().center();
    QHelpEvent help(QEvent::ToolTip, at, window.mapToGlobal(at));
    QApplication::sendEvent(&window, &help);
    QTRY_VERIFY(QToolTip::isVisible());
    QCOMPARE(QToolTip::text(), whole);
    QToolTip::hideText();
  }

  void StandardButtonsSpeakChinese() {
    QVERIFY(nandell::SetUpApplication(qApp, ""));
    QMessageBox box(QMessageBox::Question, QStringLiteral("提示"), QStringLiteral("?"),
                    QMessageBox::Ok | QMessageBox::Cancel | QMessageBox::Yes | QMessageBox::No);
    const std::pair<QMessageBox::StandardButton, QString> buttons[] = {
        {QMessageBox::Ok, QStringLiteral("确定")},
        {QMessageBox::Cancel, QStringLiteral("取消")},
        {QMessageBox::Yes, QStringLiteral("是")},
        {QMessageBox::No, QStringLiteral("否")}};
    for (const auto& [button, text] : buttons) {
      QString shown = box.button(button)->text();
      shown.remove(QLatin1Char('&'));
      QVERIFY2(shown.startsWith(text), qPrintable(shown));
    }
    // The folder picker's buttons too.
    FolderPicker picker("浏览目录", "导入目录", nullptr, nullptr);
    QCOMPARE(nandell::FolderPickerDialog(&picker).OkButton()->text(), QStringLiteral("确定"));
  }

  void VersionCheckStartsOnlyWhenEnabled() {
    QTemporaryDir dir;
    {
      auto store = NewStore(dir.path(), 0);
      MainWindow window(*store);
      QVERIFY(!window.VersionTimer().isActive());
      window.show();
      QVERIFY(QTest::qWaitForWindowExposed(&window));
      QVERIFY(!window.VersionTimer().isActive());
      QVERIFY(!window.VersionCheckStarted());
    }
    auto store = NewStore(dir.path(), 1);
    store->Url = "ftp://127.0.0.1/version.asp";  // refused at once, no network
    MainWindow window(*store);
    QVERIFY(window.VersionTimer().isActive());
    QVERIFY(window.VersionTimer().isSingleShot());
    QCOMPARE(window.VersionTimer().interval(), MainWindow::kVersionTimerMs);
    window.OnTimer(2);  // another timer: nothing
    QVERIFY(!window.VersionCheckStarted());
    window.OnTimer(MainWindow::kVersionTimerId);
    QVERIFY(!window.VersionTimer().isActive());
    QVERIFY(window.VersionCheckStarted());
    QCOMPARE(window.VersionCheck().Wait(), 0);
    std::lock_guard<std::mutex> lock(g_mutex);
    bool found = false;
    for (const std::string& line : g_log_lines)
      found = found || line.find("#962") != std::string::npos;
    QVERIFY(found);
  }

  void EnterKeepsTheWindowEscapeEndsIt() {
    QTemporaryDir dir;
    auto store = NewStore(dir.path());
    MainWindow window(*store);
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    // A second quick Enter meant for a box that has just closed reaches the window.
    QTest::keyClick(&window, Qt::Key_Return);
    QTest::keyClick(&window, Qt::Key_Enter, Qt::KeypadModifier);
    QVERIFY(window.isVisible());
    QTest::keyClick(&window, Qt::Key_Escape);
    QVERIFY(!window.isVisible());
    QCOMPARE(window.result(), int(QDialog::Rejected));
  }

  void CloseRequestDuringARunAsksFirst_data() {
    QTest::addColumn<int>("how");  // 0 Escape, 1 the close button, 2 the window system's close
    QTest::newRow("Escape") << 0;
    QTest::newRow("close button") << 1;
    QTest::newRow("window close") << 2;
  }
  void CloseRequestDuringARunAsksFirst() {
    QFETCH(int, how);
    QTemporaryDir dir;
    const QString photos = dir.path() + QStringLiteral("/in");
    MakePhotoTree(photos, 3);
    QDir().mkpath(dir.path() + QStringLiteral("/out"));
    auto store = NewStore(dir.path());
    nandell::testing::GatedFileSystem disk;
    MainWindow window(*store, nullptr, disk);
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    ChooseFolders(window, photos, dir.path() + QStringLiteral("/out"));
    {
      // The worker waits before it lists the photo folder: the run is active throughout.
      disk.Hold(nandell::testing::GatedFileSystem::kList);
      const auto release = qScopeGuard([&disk] { disk.Release(); });
      window.OnOrganize();
      QVERIFY(window.IsRunning());
      MessageBox::SetNextAnswer(QMessageBox::No);
      if (how == 0) QTest::keyClick(&window, Qt::Key_Escape);
      if (how == 1) QTest::mouseClick(window.CloseButton(), Qt::LeftButton);
      if (how == 2) window.close();
      QTRY_COMPARE(MessageBox::ShownBoxes().size(), size_t{1});
      const MessageBox::Shown& box = MessageBox::ShownBoxes()[0];
      QCOMPARE(box.caption, QStringLiteral("提示"));
      QCOMPARE(box.text, QStringLiteral("整理正在进行, 确定要停止并退出吗?"));
      QCOMPARE(box.icon, QMessageBox::Question);
      QCOMPARE(box.buttons, QMessageBox::Yes | QMessageBox::No);
      // 否: the window and the run go on, also once what the answer posted has been handled.
      QCoreApplication::sendPostedEvents();
      QCoreApplication::processEvents();
      QVERIFY(window.isVisible());
      QVERIFY(window.IsRunning());
    }
    QTRY_COMPARE_WITH_TIMEOUT(window.RunsEnded(), 1, 30000);
    QCOMPARE(window.LastReport().counters.ProcessedCount, 3);
    // Once the run has ended, a close asks nothing.
    QTest::keyClick(&window, Qt::Key_Escape);
    QVERIFY(!window.isVisible());
    QCOMPARE(MessageBox::ShownBoxes().size(), size_t{1});
  }

  void ButtonsAndTheSystemMenu() {
    QTemporaryDir dir;
    auto store = NewStore(dir.path());
    MainWindow window(*store);
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));

    // A timer closes every About box and options window it finds open, as a user would.
    int opened = 0;
    int options_opened = 0;
    QTimer closer;
    closer.setInterval(20);
    connect(&closer, &QTimer::timeout, [&opened, &options_opened] {
      QWidget* modal = QApplication::activeModalWidget();
      if (modal == nullptr || !modal->isVisible()) return;
      if (auto* about = qobject_cast<nandell::AboutBox*>(modal)) {
        ++opened;
        about->reject();
      } else if (auto* options = qobject_cast<nandell::OptionsWindow*>(modal)) {
        ++options_opened;
        QCOMPARE(options->windowTitle(), QStringLiteral("选项"));
        options->reject();
      }
    });
    closer.start();

    // Options opens the options window modally.
    QTest::mouseClick(window.OptionsButton(), Qt::LeftButton);
    QCOMPARE(options_opened, 1);
    QVERIFY(window.isVisible());

    // The about button and the menu entry both open the About box modally.
    QTest::mouseClick(window.AboutButton(), Qt::LeftButton);
    QCOMPARE(opened, 1);

    std::unique_ptr<QMenu> menu(window.CreateSystemMenu());
    const QList<QAction*> actions = menu->actions();
    QVERIFY(actions.size() >= 2);
    QAction* about = actions.back();
    QCOMPARE(about->text(), QStringLiteral("关于 Nandell(&A)..."));
    QVERIFY(actions[actions.size() - 2]->isSeparator());
    about->trigger();
    QCOMPARE(opened, 2);
    closer.stop();
    QVERIFY(window.isVisible());
  }

  void DraggingTheSkinMovesTheWindow() {
    QTemporaryDir dir;
    auto store = NewStore(dir.path());
    MainWindow window(*store);
    window.move(100, 100);
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    const QPoint start = window.pos();

    // A press on a button does not move the window.
    QTest::mousePress(window.OrganizeButton(), Qt::LeftButton, {}, QPoint(10, 10));
    QTest::mouseMove(window.OrganizeButton(), QPoint(40, 30));
    QTest::mouseRelease(window.OrganizeButton(), Qt::LeftButton, {}, QPoint(40, 30));
    QCOMPARE(window.pos(), start);

    // A press on the skin (here on the message text, which lets presses through) does.
    const QPoint on_text = window.MessageLabel()->geometry().center();
    QTest::mousePress(&window, Qt::LeftButton, {}, on_text);
    QMouseEvent move(QEvent::MouseMove, QPointF(on_text + QPoint(30, 20)),
                     QPointF(window.mapToGlobal(on_text + QPoint(30, 20))), Qt::NoButton,
                     Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(&window, &move);
    QTest::mouseRelease(&window, Qt::LeftButton, {}, on_text + QPoint(30, 20));
    QTRY_COMPARE(window.pos(), start + QPoint(30, 20));
  }

  // Folders dragged from a file manager onto the folder fields.
  void DroppedFolderSetsItsField_data() {
    QTest::addColumn<QString>("target");    // object name of the control dropped onto
    QTest::addColumn<QStringList>("urls");  // "@": the temporary folder, as a file URL
    QTest::addColumn<QString>("photo");     // the fields afterwards
    QTest::addColumn<QString>("output");
    const QString photo = QStringLiteral("@/old photos/");
    const QString output = QStringLiteral("@/old output/");
    const QString album = QStringLiteral("@/相册/");
    QTest::newRow("onto the photo text") << "1019" << QStringList{"@/相册"} << album << output;
    QTest::newRow("onto the photo button") << "1001" << QStringList{"@/相册/"} << album << output;
    QTest::newRow("onto the output text") << "1020" << QStringList{"@/相册"} << photo << album;
    QTest::newRow("onto the output button") << "1003" << QStringList{"@/相册"} << photo << album;
    QTest::newRow("onto the message area") << "1018" << QStringList{"@/相册"} << photo << output;
    QTest::newRow("a file") << "1019" << QStringList{"@/相册/a.jpg"} << photo << output;
    QTest::newRow("two folders") << "1019" << QStringList{"@/相册", "@/old output"} << photo
                                 << output;
    QTest::newRow("not a local URL")
        << "1019" << QStringList{"sftp://nas/photos"} << photo << output;
    QTest::newRow("a folder the picker refuses")
        << "1019" << QStringList{"@/.hidden"} << photo << output;
    QTest::newRow("a folder that is gone") << "1019" << QStringList{"@/gone"} << photo << output;
  }
  void DroppedFolderSetsItsField() {
    QFETCH(QString, target);
    QFETCH(QStringList, urls);
    QFETCH(QString, photo);
    QFETCH(QString, output);
    QTemporaryDir dir;
    for (const char* folder : {"相册", "old photos", "old output", ".hidden"})
      QVERIFY(QDir(dir.path()).mkpath(QString::fromUtf8(folder)));
    QVERIFY(nandell::testing::WriteFile(Slash(dir.path()) + "相册/a.jpg", "photo"));
    auto at = [&dir](QString text) { return text.replace(QLatin1Char('@'), dir.path()); };
    auto store = NewStore(dir.path());
    MainWindow window(*store);
    window.SetPhotoFolder(at(QStringLiteral("@/old photos/")).toStdString());
    window.SetOutputFolder(at(QStringLiteral("@/old output/")).toStdString());
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));

    QMimeData data;
    QList<QUrl> list;
    for (const QString& url : urls)
      list << (url.startsWith('@') ? QUrl::fromLocalFile(at(url)) : QUrl(url));
    data.setUrls(list);
    // To the control under the middle of the target, as the window system hands a drag to the
    // widget under the pointer (the texts let it through). The file manager offers to copy,
    // move or link.
    const QPoint middle = window.findChild<QWidget*>(target)->geometry().center();
    QWidget* under = window.childAt(middle);
    if (under == nullptr) under = &window;
    const QPoint pos = under->mapFrom(&window, middle);
    const Qt::DropActions offered = Qt::CopyAction | Qt::MoveAction | Qt::LinkAction;
    QDragEnterEvent enter(pos, offered, &data, Qt::LeftButton, Qt::NoModifier);
    enter.setAccepted(false);
    QApplication::sendEvent(under, &enter);
    QDragMoveEvent move(pos, offered, &data, Qt::LeftButton, Qt::NoModifier);
    move.setAccepted(false);
    if (enter.isAccepted()) QApplication::sendEvent(under, &move);
    QDropEvent drop(QPointF(pos), offered, &data, Qt::LeftButton, Qt::NoModifier);
    drop.setAccepted(false);
    if (move.isAccepted()) QApplication::sendEvent(under, &drop);

    const bool changed = at(photo) != at(QStringLiteral("@/old photos/")) ||
                         at(output) != at(QStringLiteral("@/old output/"));
    QCOMPARE(drop.isAccepted(), changed);
    // A move would let the file manager take the folder away.
    if (changed) QCOMPARE(drop.dropAction(), Qt::LinkAction);
    QCOMPARE(Utf8(window.PhotoFolder()), at(photo));
    QCOMPARE(Utf8(window.OutputFolder()), at(output));
    QCOMPARE(Shown(window.PhotoFolderLabel()), at(photo));
    QCOMPARE(Shown(window.OutputFolderLabel()), at(output));
    // Kept as the picker's choice is.
    window.reject();
    QCOMPARE(Utf8(store->PathSrc), at(photo));
    QCOMPARE(Utf8(store->PathTar), at(output));
  }

  void ProgressBarAndFiguresFollowAHeldRun() {
    QTemporaryDir dir;
    const QString photos = dir.path() + QStringLiteral("/in");
    const QString out = dir.path() + QStringLiteral("/out");
    MakePhotoTree(photos, 10);
    QDir().mkpath(out);
    auto store = NewStore(dir.path());
    nandell::testing::GatedFileSystem disk;
    MainWindow window(*store, nullptr, disk);
    window.show();
    ChooseFolders(window, photos, out);
    window.DeleteSourceBox()->setChecked(true);  // each file moved by the worker, in order
    disk.HoldFrom(nandell::testing::GatedFileSystem::kPlace, 4);
    const auto release = qScopeGuard([&disk] { disk.Release(); });
    QTest::mouseClick(window.OrganizeButton(), Qt::LeftButton);
    QProgressBar* bar = window.ProgressBar();
    QVERIFY(bar->isVisible());
    QTRY_COMPARE_WITH_TIMEOUT(bar->value(), 3, 30000);
    QCOMPARE(bar->maximum(), 10);
    QVERIFY2(Shown(window.ProgressLabel()).startsWith(QStringLiteral("3 / 10 个文件")),
             qPrintable(Shown(window.ProgressLabel())));
    QVERIFY(Shown(window.MessageLabel()).startsWith(QStringLiteral("移动文件(3): ")));
    // Both at the foot of the message area, under the file's three lines.
    const QRect area = window.MessageLabel()->geometry();
    QVERIFY(area.contains(bar->geometry()) && area.contains(window.ProgressLabel()->geometry()));
    QVERIFY(window.ProgressLabel()->y() >= area.y() + 3 * window.ProgressLabel()->height());
    disk.Release();
    QTRY_COMPARE_WITH_TIMEOUT(window.RunsEnded(), 1, 30000);
    QVERIFY(!bar->isVisible());
    QVERIFY(!window.ProgressLabel()->isVisible());
  }

  void PreviewShowsTheDryRunOfTheCommandLineAndChangesNothing() {
    QTemporaryDir dir;
    const QString photos = dir.path() + QStringLiteral("/in");
    const QString out = dir.path() + QStringLiteral("/out");
    MakePhotoTree(photos, 8);
    const auto jpeg = [](const char* date) {
      const std::string bytes = nandell::test_support::MakeJpegWithDate(date);
      return QByteArray(bytes.data(), static_cast<qsizetype>(bytes.size()));
    };
    WriteFile(photos + QStringLiteral("/trip/a.jpg"), jpeg("2021:05:02 10:00:00"));
    WriteFile(photos + QStringLiteral("/trip/b.jpg"), jpeg("2021:05:03 10:00:00"));
    WriteFile(out + QStringLiteral("/2019年/2019-07-01/file0.jpg"), "taken");  // fails
    const QString config = dir.path() + QStringLiteral("/cfg");
    QDir().mkpath(config);
    const QStringList dry =
        Cli({QStringLiteral("organize"), QStringLiteral("--dry-run"), photos, out}, config)
            .split(QLatin1Char('\n'));
    QVERIFY(dry.size() > 20);
    const auto before = Snapshot(dir.path());

    auto store = NewStore(config);
    MainWindow window(*store);
    ChooseFolders(window, photos, out);
    TriggerMenu(window, nandell::main_window_texts::kPreviewMenu);
    QTRY_VERIFY_WITH_TIMEOUT(window.Preview() != nullptr, 30000);
    nandell::PreviewWindow* preview = window.Preview();
    QCOMPARE(preview->windowTitle(), QStringLiteral("整理预览"));
    QString shown;
    for (const nandell::FileEvent& file : preview->Plan().files) shown += Utf8(file.message);
    shown += Utf8(preview->Plan().end.summary) + QLatin1Char('\n') +
             nandell::QTr(nandell::kDryRunNoteText);
    shown.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));  // as the command line prints
    QCOMPARE(shown.split(QLatin1Char('\n')), dry);

    // The tree: each year and day folder with as many files as the dry run puts there, then
    // the file that would fail, with its reason.
    QTreeWidget* tree = preview->Tree();
    QCOMPARE(tree->topLevelItemCount(), 3);
    int days = 0;
    for (int y = 0; y < 2; ++y) {
      QTreeWidgetItem* year = tree->topLevelItem(y);
      for (int d = 0; d < year->childCount(); ++d, ++days) {
        QTreeWidgetItem* day = year->child(d);
        const QString folder = out + QLatin1Char('/') + year->text(0) + QLatin1Char('/') +
                               day->text(0) + QLatin1Char('/');
        QCOMPARE(day->text(1).toInt(), dry.filter(QStringLiteral("复制到: ") + folder).size());
      }
    }
    QCOMPARE(days, 3);
    QTreeWidgetItem* failed = tree->topLevelItem(2);
    QCOMPARE(failed->text(0), QStringLiteral("将失败的文件"));
    QCOMPARE(failed->childCount(), 1);
    QCOMPARE(failed->child(0)->text(0), photos + QStringLiteral("/sub0/file0.jpg"));
    QCOMPARE(failed->child(0)->text(2), QStringLiteral("File exists"));
    // The day chosen shows its photos.
    QCOMPARE(tree->currentItem()->text(0), QStringLiteral("2019-07-01"));
    QCOMPARE(preview->ThumbnailItems()->rowCount(), 7);
    QVERIFY(Shown(window.MessageLabel()).endsWith(QStringLiteral("(预演: 未改动任何文件)\n")));
    QVERIFY(Snapshot(dir.path()) == before);
    preview->reject();
  }

  void StartInThePreviewRunsItsPlanAsTheOrganizeButtonDoes() {
    QTemporaryDir dir;
    const QString root = dir.path();
    for (const char* name : {"/a", "/b"}) MakePhotoTree(root + QString::fromUtf8(name), 9);
    QDir().mkpath(root + QStringLiteral("/out-a"));
    QDir().mkpath(root + QStringLiteral("/out-b"));
    auto store = NewStore(root);
    MainWindow window(*store);
    ChooseFolders(window, root + QStringLiteral("/a"), root + QStringLiteral("/out-a"));
    window.DeleteSourceBox()->setChecked(true);
    window.OnPreview();
    QTRY_VERIFY_WITH_TIMEOUT(window.Preview() != nullptr, 30000);
    // What the window shows now is not the plan: the plan is what runs.
    window.DeleteSourceBox()->setChecked(false);
    window.SetOutputFolder(Slash(root + QStringLiteral("/out-b")));
    QTest::mouseClick(window.Preview()->StartButton(), Qt::LeftButton);
    QTRY_COMPARE_WITH_TIMEOUT(window.RunsEnded(), 2, 30000);
    QTRY_VERIFY(window.Preview() == nullptr);

    ChooseFolders(window, root + QStringLiteral("/b"), root + QStringLiteral("/out-b"));
    window.DeleteSourceBox()->setChecked(true);
    QTest::mouseClick(window.OrganizeButton(), Qt::LeftButton);
    QTRY_COMPARE_WITH_TIMEOUT(window.RunsEnded(), 3, 30000);
    QCOMPARE(FilesUnder(root + QStringLiteral("/out-a")).size(), 9);
    QVERIFY(Snapshot(root + QStringLiteral("/out-a")) == Snapshot(root + QStringLiteral("/out-b")));
    QVERIFY(Snapshot(root + QStringLiteral("/a")) == Snapshot(root + QStringLiteral("/b")));
  }

  void HistoryListsTheCommandLinesRunsAndUndoesAnyOfThem() {
    QTemporaryDir dir;
    const QString out = dir.path() + QStringLiteral("/out");
    const QString config = dir.path() + QStringLiteral("/cfg");
    MakePhotoTree(dir.path() + QStringLiteral("/p1"), 3);
    MakePhotoTree(dir.path() + QStringLiteral("/p2"), 4);  // file0-2 fail: their names are taken
    QDir().mkpath(out);
    QDir().mkpath(config);
    Cli({QStringLiteral("organize"), dir.path() + QStringLiteral("/p1"), out}, config);
    Cli({QStringLiteral("organize"), QStringLiteral("--move"), dir.path() + QStringLiteral("/p2"),
         out},
        config);
    const auto listed = [](nandell::HistoryWindow* history) {
      QStringList lines;
      for (int row = 0; row < history->List()->topLevelItemCount(); ++row) {
        QTreeWidgetItem* item = history->List()->topLevelItem(row);
        lines << QStringList{item->text(0), item->text(1), item->text(2), item->text(3),
                             item->toolTip(0)}
                     .join(QLatin1Char('\t'));
      }
      return lines.join(QLatin1Char('\n')) + QLatin1Char('\n');
    };

    auto store = NewStore(config);
    MainWindow window(*store);
    window.SetOutputFolder(Slash(out));
    TriggerMenu(window, nandell::main_window_texts::kHistoryMenu);
    nandell::HistoryWindow* history = window.History();
    QVERIFY(history != nullptr);
    QCOMPARE(history->windowTitle(), QStringLiteral("整理历史"));
    QCOMPARE(listed(history), Cli({QStringLiteral("history"), out}, config));
    QCOMPARE(history->List()->topLevelItemCount(), 2);
    QVERIFY(history->List()->topLevelItem(1)->text(2).contains(QStringLiteral("失败 3 个")));

    // The older run, not the last one, is undone after the question; the outcome is shown as
    // the message area shows it, and the run is listed as undone.
    history->List()->setCurrentItem(history->List()->topLevelItem(0));
    QVERIFY(history->UndoButton()->isVisible());
    MessageBox::SetNextAnswer(QMessageBox::Yes);
    QTest::mouseClick(history->UndoButton(), Qt::LeftButton);
    QCOMPARE(MessageBox::ShownBoxes().back().text,
             QStringLiteral("确定要撤销这次整理吗? (共 3 个文件)"));
    QTRY_COMPARE_WITH_TIMEOUT(window.UndosEnded(), 1, 30000);
    QCOMPARE(history->Outcome()->text(), QStringLiteral("撤销文件 3 个, 保留 0 个"));
    QCOMPARE(Shown(window.MessageLabel()).trimmed(), history->Outcome()->text());
    QCOMPARE(history->List()->topLevelItem(0)->text(3), QStringLiteral("已撤销"));
    QVERIFY(!history->UndoButton()->isVisible());
    QCOMPARE(listed(history), Cli({QStringLiteral("history"), out}, config));
    QCOMPARE(FilesUnder(out).size(), 1);
    history->reject();
  }

  void ThumbnailsAreTheExifOnesElseADecodeMadeOffTheWindowsThread() {
    QTemporaryDir dir;
    QImage blue(320, 240, QImage::Format_RGB32);
    blue.fill(QColor(0, 0, 255));
    QImage red(160, 120, QImage::Format_RGB32);
    red.fill(QColor(255, 0, 0));
    const QString with = dir.path() + QStringLiteral("/with.jpg");
    const QString without = dir.path() + QStringLiteral("/without.jpg");
    WriteFile(with, nandell::testing::PhotoJpeg(blue, red, "2020:01:02 03:04:05"));
    WriteFile(without, nandell::testing::PhotoJpeg(blue, QImage(), "2020:01:02 03:04:05"));
    WriteFile(dir.path() + QStringLiteral("/clip.mov"), "not a picture");
    const auto colour = [](const QImage& image) {
      const QColor c = image.pixelColor(image.width() / 2, image.height() / 2);
      return c.red() > 200 ? 'r' : c.blue() > 200 ? 'b' : '?';
    };
    const QImage exif = nandell::MakeThumbnail(with, 96);
    QCOMPARE(exif.size(), QSize(96, 72));
    QCOMPARE(colour(exif), 'r');
    QCOMPARE(colour(nandell::MakeThumbnail(without, 96)), 'b');
    QVERIFY(nandell::MakeThumbnail(dir.path() + QStringLiteral("/clip.mov"), 96).isNull());

    // Asked for, it comes later from a worker, then at once from the cache.
    nandell::ThumbnailLoader loader;
    QSignalSpy ready(&loader, &nandell::ThumbnailLoader::Ready);
    QImage found;
    QVERIFY(!loader.Find(with, &found));
    QVERIFY(ready.wait(10000));
    QCOMPARE(ready.front().front().toString(), with);
    QVERIFY(loader.Find(with, &found));
    QCOMPARE(colour(found), 'r');
  }
};

QTEST_MAIN(MainWindowTest)
#include "main_window_test.moc"
