// Saves pictures of the About box, the options window and the folder picker for the
// documentation:
//   xvfb-run -a build/tests/ui/ui_screenshots docs/ [en]
// (run under a real X server so that the desktop's fonts are used). With "en", in English, the
// names ending in "-en", with a refusal box of the main window too (refusal-box-en.png, with
// its frame when a window manager runs: openbox --sm-disable &).
#include <QApplication>
#include <QCheckBox>
#include <QDir>
#include <QMessageBox>
#include <QScreen>
#include <QTemporaryDir>
#include <QTest>
#include <cstdio>

#include "engine/organizer.h"
#include "settings/settings_store.h"
#include "tests/ui/settle.h"
#include "ui/about_box.h"
#include "ui/application.h"
#include "ui/folder_picker.h"
#include "ui/options_window.h"
#include "ui/texts.h"

namespace {

using nandell::testing::Settle;

std::string g_folder;

}  // namespace

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  const QString out = argc > 1 ? QString::fromLocal8Bit(argv[1]) : QStringLiteral(".");
  const std::string language = argc > 2 ? argv[2] : "";
  const QString suffix =
      language.empty() ? QString() : QStringLiteral("-") + QString::fromStdString(language);
  QDir().mkpath(out);
  std::string error;
  if (!nandell::SetUpLanguage(language, NANDELL_LOCALE_DIR, &error))
    std::fprintf(stderr, "%s\n", error.c_str());

  {
    nandell::AboutBox box;
    box.show();
    Settle(500);
    if (!box.grab().save(out + QStringLiteral("/about-box") + suffix + QStringLiteral(".png")))
      return 1;
  }

  {
    // The options window over a store of its own, with the designed defaults and HEIC added.
    QTemporaryDir config;
    nandell::SettingsStore store(config.path().toStdString() + "/", false);
    nandell::OptionsWindow options(store);
    options.FileTypeBox("heic")->setChecked(true);
    options.show();
    Settle(500);
    if (!options.grab().save(out + QStringLiteral("/options-window") + suffix +
                             QStringLiteral(".png")))
      return 1;
  }

  if (!language.empty()) {
    // A refusal of the main window: the output folder does not exist.
    QMessageBox box(
        QMessageBox::Information, nandell::QTr(nandell::kStartRefusalCaption),
        QString::fromStdString(nandell::CheckStart("/home/me/Photos/", "/media/card/Sorted/")),
        QMessageBox::Ok);
    box.show();
    Settle(800);
    // With its frame and caption when a window manager drew one.
    const QRect frame = box.frameGeometry();
    const QPixmap shot =
        frame.size() != box.size()
            ? box.screen()->grabWindow(0, frame.x(), frame.y(), frame.width(), frame.height())
            : box.grab();
    if (!shot.save(out + QStringLiteral("/refusal-box") + suffix + QStringLiteral(".png")))
      return 1;
  }

  // A small photo folder to browse.
  const QString demo = QDir::tempPath() + QStringLiteral("/Nandell-demo/照片");
  for (const char* sub : {"2023-旅行", "2024-家庭", "Camera", "手机相册"}) {
    QDir().mkpath(demo + QLatin1Char('/') + QString::fromUtf8(sub));
  }
  g_folder = demo.toStdString();
  nandell::FolderPicker picker(nandell::Tr("浏览目录"), nandell::Tr("导入目录"), g_folder.c_str(),
                               nullptr);
  static QString target = out + QStringLiteral("/folder-picker") + suffix + QStringLiteral(".png");
  static bool saved = false;
  nandell::FolderPicker::SetDialogHook([](nandell::FolderPickerDialog& dialog) {
    Settle(1500);
    dialog.SelectFolder(QString::fromStdString(g_folder));
    Settle(800);
    saved = dialog.grab().save(target);
    dialog.reject();
  });
  picker.DoModal();
  return saved ? 0 : 1;
}
