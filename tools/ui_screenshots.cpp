// Saves pictures of the About box, the options window and the folder picker with its places
// for the documentation:
//   xvfb-run -a build/tools/ui_screenshots docs/ [en]
// (run under a real X server so that the desktop's fonts are used). With "en", in English, the
// names ending in "-en", with a refusal box of the main window too (refusal-box-en.png, with
// its frame when a window manager runs: openbox --sm-disable &). Run as root, the picker shows
// a home folder, a card and a phone of private mounts (see PrivateMounts).
#include <QApplication>
#include <QCheckBox>
#include <QDir>
#include <QMessageBox>
#include <QScreen>
#include <QTemporaryDir>
#include <QTest>
#include <cstdio>

#include <sched.h>
#include <sys/mount.h>
#include <sys/stat.h>

#include "engine/organizer.h"
#include "settings/settings_store.h"
#include "tools/settle.h"
#include "ui/about_box.h"
#include "ui/application.h"
#include "ui/folder_picker.h"
#include "ui/options_window.h"
#include "ui/places.h"
#include "ui/texts.h"

namespace {

using nandell::tools::Settle;

std::string g_folder;

// Whether the program has a mount namespace of its own (see PrivateMounts).
bool g_private_mounts = false;

// As root, gives the program mounts of its own, so that the picture shows the places as a
// user's desktop has them (/home/me, /media/me, gvfs) without touching the machine's. Must run
// before any thread starts.
void PrivateMounts() {
  if (::unshare(CLONE_NEWNS) != 0) return;
  if (::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0) return;
  for (const char* folder : {"/home", "/media", "/run/user"}) {
    ::mkdir(folder, 0755);
    if (::mount("tmpfs", folder, "tmpfs", 0, "size=64m") != 0) return;
  }
  g_private_mounts = true;
}

// The places of the picture: with private mounts a home folder /home/me with its Pictures, a
// 32 GB card and a phone; else stand-ins in the temporary folder, without the card. Returns the
// Pictures folder.
QString DemoPlaces(bool chinese) {
  const QString base =
      g_private_mounts ? QString() : QDir::tempPath() + QStringLiteral("/Nandell-demo");
  nandell::PlaceRoots roots;
  roots.home = base + QStringLiteral("/home/me");
  roots.pictures = roots.home + (chinese ? QStringLiteral("/图片") : QStringLiteral("/Pictures"));
  roots.drives << base + QStringLiteral("/media/me");
  roots.devices = base + QStringLiteral("/run/user/1000/gvfs");
  const char* albums[] = {"2023-旅行", "2024-家庭", "Camera", "手机相册"};
  const char* albums_en[] = {"2023 Trip", "2024 Family", "Camera", "Phone"};
  for (int i = 0; i < 4; ++i) {
    QDir().mkpath(roots.pictures + QLatin1Char('/') +
                  QString::fromUtf8(chinese ? albums[i] : albums_en[i]));
  }
  for (const char* folder : {"Documents", "Downloads", "Music", "Videos"})
    QDir().mkpath(roots.home + QLatin1Char('/') + QString::fromUtf8(folder));
  QDir().mkpath(roots.devices + QStringLiteral("/mtp:host=Xiaomi_Redmi_Note_12"));
  if (g_private_mounts) {
    const QString card = roots.drives[0] + QStringLiteral("/NIKON D750");
    QDir().mkpath(card);
    // 7,791,744 pages: the size of a card sold as 32 GB.
    if (::mount("tmpfs", card.toUtf8().constData(), "tmpfs", 0, "size=31914983424") == 0)
      QDir().mkpath(card + QStringLiteral("/DCIM/100NIKON"));
  }
  nandell::SetPlaceRoots(roots);
  return roots.pictures;
}

}  // namespace

int main(int argc, char** argv) {
  PrivateMounts();
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

  // The picker over a small photo library, with a card and a phone among its places.
  const QString pictures = DemoPlaces(language.empty());
  g_folder = (pictures + QLatin1Char('/') +
              QString::fromUtf8(language.empty() ? "2024-家庭" : "2024 Family"))
                 .toStdString();
  nandell::FolderPicker picker(nandell::Tr("浏览目录"), nandell::Tr("导入目录"), g_folder.c_str(),
                               nullptr);
  static QString target =
      out + QStringLiteral("/folder-picker-places") + suffix + QStringLiteral(".png");
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
