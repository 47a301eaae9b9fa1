// Saves pictures of the main window for the documentation (not a test):
//   xvfb-run -a -s '-screen 0 1024x768x24' build/tests/ui/main_window_screenshots PHOTOS docs/
// It chooses PHOTOS (copied, never changed) and a fresh output folder, saves the window as
// main-window.png, organizes, and saves the finished run as main-window-run.png. Run it
// under a real X server so that the desktop's fonts are used.
#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QTemporaryDir>
#include <QTest>
#include <cstdio>

#include "platform/process.h"
#include "settings/settings_store.h"
#include "tests/ui/settle.h"
#include "ui/folder_picker.h"
#include "ui/main_window.h"
#include "ui/png_button.h"

namespace {

using nandell::testing::Settle;

}  // namespace

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  if (argc < 3) {
    std::fprintf(stderr, "usage: %s PHOTO_FOLDER OUT_DIR\n", argv[0]);
    return 2;
  }
  const QString photos = QDir(QString::fromLocal8Bit(argv[1])).absolutePath();
  const QString out_dir = QString::fromLocal8Bit(argv[2]);
  QDir().mkpath(out_dir);

  QTemporaryDir work(QDir::tempPath() + QStringLiteral("/Nandell-XXXXXX"));
  const QString output = work.path() + QStringLiteral("/整理结果");
  QDir().mkpath(output);
  // The failure list, if any, is written but never opened in a viewer.
  nandell::SetProgramLauncher([](const std::string&, const std::string&, bool) { return 0; });

  nandell::SettingsStore store(work.path().toStdString() + "/", false);
  store.CheckVersion = 0;
  nandell::MainWindow window(store);
  nandell::FolderPicker::SetNextAnswer(photos.toStdString());
  window.OnPhotoFolder();
  nandell::FolderPicker::SetNextAnswer(output.toStdString());
  window.OnOutputFolder();
  window.show();
  Settle(800);
  if (!window.grab().save(out_dir + QStringLiteral("/main-window.png"))) return 1;

  window.OnOrganize();
  QElapsedTimer timer;
  timer.start();
  while (window.RunsEnded() == 0 && timer.elapsed() < 120000) QTest::qWait(50);
  if (window.RunsEnded() == 0) return 1;
  Settle(500);
  if (!window.grab().save(out_dir + QStringLiteral("/main-window-run.png"))) return 1;
  std::printf("%s\n", QString::fromStdString(window.LastMessage()).trimmed().toUtf8().constData());
  window.reject();
  return 0;
}
