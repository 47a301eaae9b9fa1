// Saves pictures of the About box, the options window and the folder picker for the
// documentation:
//   xvfb-run -a build/tests/ui/ui_screenshots docs/
// (run under a real X server so that the desktop's fonts are used).
#include <QApplication>
#include <QCheckBox>
#include <QDir>
#include <QTemporaryDir>
#include <QTest>

#include "settings/settings_store.h"
#include "tests/ui/settle.h"
#include "ui/about_box.h"
#include "ui/application.h"
#include "ui/folder_picker.h"
#include "ui/options_window.h"

namespace {

using nandell::testing::Settle;

std::string g_folder;

}  // namespace

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  const QString out = argc > 1 ? QString::fromLocal8Bit(argv[1]) : QStringLiteral(".");
  QDir().mkpath(out);
  nandell::SetUpApplication(&app, "");

  {
    nandell::AboutBox box;
    box.show();
    Settle(500);
    if (!box.grab().save(out + QStringLiteral("/about-box.png"))) return 1;
  }

  {
    // The options window over a store of its own, with the designed defaults and HEIC added.
    QTemporaryDir config;
    nandell::SettingsStore store(config.path().toStdString() + "/", false);
    nandell::OptionsWindow options(store);
    options.FileTypeBox("heic")->setChecked(true);
    options.show();
    Settle(500);
    if (!options.grab().save(out + QStringLiteral("/options-window.png"))) return 1;
  }

  // A small photo folder to browse.
  const QString demo = QDir::tempPath() + QStringLiteral("/Nandell-demo/照片");
  for (const char* sub : {"2023-旅行", "2024-家庭", "Camera", "手机相册"}) {
    QDir().mkpath(demo + QLatin1Char('/') + QString::fromUtf8(sub));
  }
  g_folder = demo.toStdString();
  nandell::FolderPicker picker("浏览目录", "导入目录", g_folder.c_str(), nullptr);
  static QString target = out + QStringLiteral("/folder-picker.png");
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
