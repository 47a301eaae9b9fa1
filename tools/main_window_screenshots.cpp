// Saves pictures of the main window for the documentation (not a test):
//   xvfb-run -a -s '-screen 0 1024x768x24' build/tools/main_window_screenshots PHOTOS docs/ [en]
// It copies PHOTOS (never changed) into a deeply nested folder whose path does not fit the
// field, chooses it and a fresh output folder, saves the window as main-window.png,
// organizes and saves the finished run as main-window-run.png, then organizes again into the
// same output (every file fails: its target exists) and saves main-window-failures.png with
// the failure list's path. Then, over a small library of photos it draws (with EXIF dates and
// thumbnails): main-window-progress.png, a run held half done with its figures and bar;
// preview-window.png, the preview of a run into a new output folder where one name is taken;
// history-window.png, that output folder's runs after the second was undone from the history.
// Run it under a real X server so that the desktop's fonts are used. With "en" the window is in
// English and the names end in "-en".
#include <QApplication>
#include <QCheckBox>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QProgressBar>
#include <QTemporaryDir>
#include <QTest>
#include <QTreeWidget>
#include <cstdio>

#include "platform/process.h"
#include "settings/settings_store.h"
#include "tests/support/gated_file_system.h"
#include "tests/ui/photo_jpeg.h"
#include "tools/settle.h"
#include "ui/application.h"
#include "ui/folder_picker.h"
#include "ui/history_window.h"
#include "ui/main_window.h"
#include "ui/message_box.h"
#include "ui/png_button.h"
#include "ui/preview_window.h"

namespace {

using nandell::testing::GatedFileSystem;
using nandell::tools::Settle;

// A landscape of sky, sun, hills and water in the colours of `scene` (0 to 3), turned a little
// by `variant`.
QImage Landscape(int scene, int variant, QSize size) {
  struct Colours {
    QColor sky_top, sky_bottom, sun, far_hill, near_hill, water;
  };
  const Colours colours[] = {
      {{52, 120, 210},
       {170, 214, 245},
       {255, 244, 200},
       {96, 150, 110},
       {52, 110, 70},
       {60, 130, 190}},
      {{60, 40, 110},
       {250, 150, 90},
       {255, 210, 120},
       {120, 70, 100},
       {70, 40, 70},
       {170, 90, 100}},
      {{150, 190, 230},
       {235, 242, 250},
       {255, 255, 240},
       {200, 210, 225},
       {235, 240, 248},
       {120, 160, 200}},
      {{20, 90, 150},
       {90, 200, 220},
       {255, 250, 220},
       {220, 200, 150},
       {240, 220, 170},
       {30, 150, 190}},
  };
  const Colours& c = colours[scene % 4];
  QImage image(size, QImage::Format_RGB32);
  QPainter painter(&image);
  painter.setRenderHint(QPainter::Antialiasing);
  const double w = size.width(), h = size.height();
  QLinearGradient sky(0, 0, 0, h * 0.6);
  sky.setColorAt(0, c.sky_top);
  sky.setColorAt(1, c.sky_bottom);
  painter.fillRect(image.rect(), sky);
  painter.setPen(Qt::NoPen);
  painter.setBrush(c.sun);
  painter.drawEllipse(QPointF(w * (0.2 + 0.15 * (variant % 4)), h * (0.22 + 0.04 * (variant % 3))),
                      w * 0.07, w * 0.07);
  for (int layer = 0; layer < 2; ++layer) {
    QPainterPath hills;
    const double base = h * (layer == 0 ? 0.55 : 0.66);
    hills.moveTo(0, h);
    hills.lineTo(0, base);
    for (int i = 0; i <= 8; ++i) {
      const double x = w * i / 8.0;
      const double lift = ((i * 37 + variant * 11 + layer * 5) % 9) / 9.0;
      hills.lineTo(x, base - h * (layer == 0 ? 0.18 : 0.1) * lift);
    }
    hills.lineTo(w, h);
    painter.setBrush(layer == 0 ? c.far_hill : c.near_hill);
    painter.drawPath(hills);
  }
  painter.setBrush(c.water);
  painter.drawRect(QRectF(0, h * 0.8, w, h * 0.2));
  return image;
}

// The library the last pictures are made of: photos of four days over two years, with their
// EXIF dates and thumbnails. Returns the number of photos.
int MakeLibrary(const QString& folder) {
  struct Day {
    const char* date;
    int scene;
    int photos;
  };
  const Day days[] = {
      {"2023:10:02", 0, 4}, {"2023:10:03", 1, 3}, {"2024:02:10", 2, 5}, {"2024:02:11", 3, 2}};
  int made = 0;
  for (const Day& day : days) {
    for (int i = 0; i < day.photos; ++i, ++made) {
      const QImage picture = Landscape(day.scene, i, QSize(640, 480));
      const QByteArray bytes = nandell::testing::PhotoJpeg(
          picture, picture.scaled(160, 120, Qt::KeepAspectRatio, Qt::SmoothTransformation),
          std::string(day.date) + " " + std::to_string(9 + i) + ":30:00");
      QFile file(folder + QStringLiteral("/DSC_%1.JPG").arg(1200 + made));
      if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size()) return -1;
    }
  }
  return made;
}

// Saves `widget` as NAME-SUFFIX.png in `folder`.
bool Save(QWidget* widget, const QString& folder, const char* name, const QString& suffix) {
  return widget->grab().save(folder + QLatin1Char('/') + QString::fromUtf8(name) + suffix +
                             QStringLiteral(".png"));
}

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
  GatedFileSystem disk;  // holds a run half done for its picture
  nandell::MainWindow window(store, nullptr, disk);
  nandell::FolderPicker::SetNextAnswer(copy.toStdString());
  window.OnPhotoFolder();
  nandell::FolderPicker::SetNextAnswer(output.toStdString());
  window.OnOutputFolder();
  window.show();
  Settle(800);
  if (!window.grab().save(out_dir + QStringLiteral("/main-window") + suffix +
                          QStringLiteral(".png")))
    return 1;

  auto await_runs = [&window](int runs) {
    QElapsedTimer timer;
    timer.start();
    while (window.RunsEnded() < runs && timer.elapsed() < 120000) QTest::qWait(50);
    Settle(500);
    std::printf("%s\n",
                QString::fromStdString(window.LastMessage()).trimmed().toUtf8().constData());
    return window.RunsEnded() == runs;
  };
  auto organize = [&window, &await_runs](int runs) {
    window.OnOrganize();
    return await_runs(runs);
  };
  if (!organize(1)) return 1;
  if (!window.grab().save(out_dir + QStringLiteral("/main-window-run") + suffix +
                          QStringLiteral(".png")))
    return 1;
  if (!organize(2)) return 1;
  if (!window.grab().save(out_dir + QStringLiteral("/main-window-failures") + suffix +
                          QStringLiteral(".png")))
    return 1;

  // A move of a card's photos held half done, with its figures and bar: the first file, then a
  // pause that gives a pace, then half the files (a move places them on the worker, in order).
  const QString library =
      work.path() + QStringLiteral("/home") +
      (english ? QStringLiteral("/Pictures/Camera") : QStringLiteral("/照片/相机"));
  const QString card = work.path() + QStringLiteral("/media/me/NIKON D750/DCIM/100NIKON");
  QDir().mkpath(library);
  QDir().mkpath(card);
  const int library_photos = MakeLibrary(library);
  if (library_photos <= 0 || MakeLibrary(card) != library_photos) return 1;
  const QString album =
      work.path() + (english ? QStringLiteral("/Album") : QStringLiteral("/相册"));
  QDir().mkpath(album);
  nandell::FolderPicker::SetNextAnswer(card.toStdString());
  window.OnPhotoFolder();
  nandell::FolderPicker::SetNextAnswer(album.toStdString());
  window.OnOutputFolder();
  window.DeleteSourceBox()->setChecked(true);
  const int placed = disk.Calls(GatedFileSystem::kPlace);  // by the runs before
  disk.HoldFrom(GatedFileSystem::kPlace, placed + 2);
  window.OnOrganize();
  if (!disk.AwaitCalls(GatedFileSystem::kPlace, placed + 2)) return 1;
  Settle(1500);
  disk.HoldFrom(GatedFileSystem::kPlace, placed + library_photos / 2 + 1);
  QElapsedTimer held;
  held.start();
  while (window.ProgressBar()->value() < library_photos / 2 - 1 && held.elapsed() < 30000)
    Settle(50);
  Settle(500);
  const bool progress_saved = Save(&window, out_dir, "main-window-progress", suffix);
  disk.Release();
  if (!progress_saved || !await_runs(3)) return 1;
  window.DeleteSourceBox()->setChecked(false);
  nandell::FolderPicker::SetNextAnswer(library.toStdString());
  window.OnPhotoFolder();

  // The preview of the library into a new folder where one name is taken already.
  const QString sorted =
      work.path() + (english ? QStringLiteral("/Photos by day") : QStringLiteral("/按日期"));
  QDir().mkpath(sorted + QStringLiteral("/2023年/2023-10-02"));
  QFile taken(sorted + QStringLiteral("/2023年/2023-10-02/DSC_1201.JPG"));
  if (!taken.open(QIODevice::WriteOnly) || taken.write("another photo") != 13) return 1;
  taken.close();
  nandell::FolderPicker::SetNextAnswer(sorted.toStdString());
  window.OnOutputFolder();
  window.OnPreview();
  QElapsedTimer previewing;
  previewing.start();
  while (window.Preview() == nullptr && previewing.elapsed() < 30000) Settle(50);
  if (window.Preview() == nullptr) return 1;
  Settle(1500);  // the thumbnails come in
  if (!Save(window.Preview(), out_dir, "preview-window", suffix)) return 1;
  window.Preview()->StartButton()->click();
  if (!await_runs(5)) return 1;  // the preview's dry run ended as the fourth

  // A second run into it, then the history, from which that run is undone.
  nandell::FolderPicker::SetNextAnswer(copy.toStdString());
  window.OnPhotoFolder();
  if (!organize(6)) return 1;
  window.OnHistory();
  nandell::HistoryWindow* history = window.History();
  if (history == nullptr) return 1;
  history->show();
  Settle(500);
  nandell::MessageBox::SetNextAnswer(QMessageBox::Yes);
  history->UndoButton()->click();
  QElapsedTimer undoing;
  undoing.start();
  while (window.UndosEnded() < 1 && undoing.elapsed() < 30000) Settle(50);
  history->List()->setCurrentItem(history->List()->topLevelItem(0));
  Settle(500);
  if (!Save(history, out_dir, "history-window", suffix)) return 1;
  history->close();
  window.reject();
  return 0;
}
