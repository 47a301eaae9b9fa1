// Saves pictures of the main window for the documentation (not a test):
//   xvfb-run -a -s '-screen 0 1024x768x24' build/tools/main_window_screenshots PHOTOS docs/ [en]
// It copies PHOTOS (never changed) into a deeply nested folder whose path does not fit the
// field, chooses it and a fresh output folder, saves the window as main-window.png,
// organizes and saves the finished run as main-window-run.png, then organizes again into the
// same output (every file fails: its target exists) and saves main-window-failures.png with
// the failure list's path. Run it under a real X server so that the desktop's fonts are used.
// With "en" the window is in English and the names end in "-en".
#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>
#include <cstdio>

#include "platform/process.h"
#include "settings/settings_store.h"
#include "tools/settle.h"
#include "ui/application.h"
#include "ui/folder_picker.h"
#include "ui/main_window.h"
#include "ui/png_button.h"

namespace {

using nandell::tools::Settle;

}  // namespace

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  if (argc < 3) {
    std::fprintf(stderr, "usage: %s PHOTO_FOLDER OUT_DIR\n", argv[0]);
    return 2;
  }
  const QString photos = QDir(QString::fromLocal8Bit(argv[1])).absolutePath();
  const QString out_dir = QString::fromLocal8Bit(argv[2]);
  const bool english = argc > 3 && std::string(argv[3]) == "en";
  const QString suffix = english ? QStringLiteral("-en") : QString();
  QDir().mkpath(out_dir);
  std::string error;
  if (english && !nandell::SetUpLanguage("en", NANDELL_LOCALE_DIR, &error)) {
    std::fprintf(stderr, "%s\n", error.c_str());
    return 1;
  }

  QTemporaryDir work(QDir::tempPath() + QStringLiteral("/Nandell-XXXXXX"));
  const QString output =
      work.path() + (english ? QStringLiteral("/Sorted") : QStringLiteral("/整理结果"));
  QDir().mkpath(output);
  const QString nested =
      QDir::homePath() +
      (english
           ? QStringLiteral("/Pictures/Family/2023 Hainan Island trip/Camera originals/"
                            "Day one/Spring Festival 2024")
           : QStringLiteral("/照片/家庭相册/2023年全家去海南岛旅行/相机原片/第一天/2024年春节"));
  const QString copy = work.path() + QStringLiteral("/home") + nested;
  QDir().mkpath(copy);
  for (const QString& name : QDir(photos).entryList(QDir::Files)) {
    if (!QFile::copy(photos + QLatin1Char('/') + name, copy + QLatin1Char('/') + name)) return 1;
  }
  // The failure list, if any, is written but never opened in a viewer.
  nandell::SetProgramLauncher([](const std::string&, const std::string&, bool) { return 0; });

  nandell::SettingsStore store(work.path().toStdString() + "/", false);
  store.CheckVersion = 0;
  nandell::MainWindow window(store);
  nandell::FolderPicker::SetNextAnswer(copy.toStdString());
  window.OnPhotoFolder();
  nandell::FolderPicker::SetNextAnswer(output.toStdString());
  window.OnOutputFolder();
  window.show();
  Settle(800);
  if (!window.grab().save(out_dir + QStringLiteral("/main-window") + suffix +
                          QStringLiteral(".png")))
    return 1;

  auto organize = [&window](int runs) {
    window.OnOrganize();
    QElapsedTimer timer;
    timer.start();
    while (window.RunsEnded() < runs && timer.elapsed() < 120000) QTest::qWait(50);
    Settle(500);
    std::printf("%s\n",
                QString::fromStdString(window.LastMessage()).trimmed().toUtf8().constData());
    return window.RunsEnded() == runs;
  };
  if (!organize(1)) return 1;
  if (!window.grab().save(out_dir + QStringLiteral("/main-window-run") + suffix +
                          QStringLiteral(".png")))
    return 1;
  if (!organize(2)) return 1;
  if (!window.grab().save(out_dir + QStringLiteral("/main-window-failures") + suffix +
                          QStringLiteral(".png")))
    return 1;
  window.reject();
  return 0;
}
