#include "ui/places.h"

#include <pwd.h>
#include <unistd.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLocale>
#include <QStandardPaths>
#include <QStorageInfo>
#include <QUrl>

#include "ui/texts.h"

namespace nandell {
namespace {

std::optional<PlaceRoots>& TestRoots() {
  static std::optional<PlaceRoots> roots;
  return roots;
}

QString UserName() {
  struct passwd entry {};
  struct passwd* found = nullptr;
  char buffer[4096];
  if (::getpwuid_r(::getuid(), &entry, buffer, sizeof buffer, &found) == 0 && found != nullptr)
    return QString::fromLocal8Bit(found->pw_name);
  return qEnvironmentVariable("USER");
}

bool IsFolder(const QString& path) {
  return !path.isEmpty() && QFileInfo(path).isDir();
}

QFileInfoList Subfolders(const QString& root) {
  if (root.isEmpty()) return {};
  return QDir(root).entryInfoList(QDir::Dirs | QDir::NoDotAndDotDot, QDir::Name);
}

// The name of a phone or camera from its gvfs folder ("mtp:host=Google_Pixel_7" is
// "Google Pixel 7"); std::nullopt for the desktop's other mounts (network shares and the like).
std::optional<QString> DeviceName(const QString& entry) {
  const qsizetype colon = entry.indexOf(QLatin1Char(':'));
  if (colon <= 0) return std::nullopt;
  const QString scheme = entry.left(colon);
  if (scheme != QLatin1String("mtp") && scheme != QLatin1String("gphoto2") &&
      scheme != QLatin1String("afc"))
    return std::nullopt;
  // The fields are split before decoding: a decoded host may hold a comma ("[usb:001,007]").
  for (const QString& field : entry.mid(colon + 1).split(QLatin1Char(','))) {
    if (!field.startsWith(QLatin1String("host="))) continue;
    QString host = QUrl::fromPercentEncoding(field.mid(5).toUtf8());
    host.replace(QLatin1Char('_'), QLatin1Char(' '));
    host = host.trimmed();
    if (!host.isEmpty()) return host;
  }
  return entry;
}

}  // namespace

PlaceRoots SystemPlaceRoots() {
  PlaceRoots roots;
  roots.home = QDir::homePath();
  // Qt reads user-dirs.dirs for it, and falls back to HOME/Pictures.
  roots.pictures = QStandardPaths::writableLocation(QStandardPaths::PicturesLocation);
  const QString user = UserName();
  if (!user.isEmpty()) {
    roots.drives << QStringLiteral("/media/") + user << QStringLiteral("/run/media/") + user;
  }
  QString runtime = qEnvironmentVariable("XDG_RUNTIME_DIR");
  if (runtime.isEmpty()) runtime = QStringLiteral("/run/user/") + QString::number(::getuid());
  roots.devices = runtime + QStringLiteral("/gvfs");
  return roots;
}

PlaceRoots CurrentPlaceRoots() {
  return TestRoots() ? *TestRoots() : SystemPlaceRoots();
}

void SetPlaceRoots(std::optional<PlaceRoots> roots) {
  TestRoots() = std::move(roots);
}

std::vector<Place> ListPlaces(const PlaceRoots& roots) {
  std::vector<Place> places;
  auto add = [&places](Place::Kind kind, const QString& path, const QString& name,
                       const QString& detail) {
    places.push_back(Place{kind, QDir::cleanPath(path), name, detail});
  };
  if (IsFolder(roots.home)) add(Place::Kind::kHome, roots.home, QTr(kHomePlaceText), roots.home);
  if (IsFolder(roots.pictures) && QDir::cleanPath(roots.pictures) != QDir::cleanPath(roots.home)) {
    add(Place::Kind::kPictures, roots.pictures, QTr(kPicturesPlaceText), roots.pictures);
  }
  for (const QString& root : roots.drives) {
    for (const QFileInfo& folder : Subfolders(root)) {
      // Only a mounted drive: a folder left behind by one that is gone is not offered, so
      // that nothing is put on the system's disk by mistake for the card.
      const QStorageInfo storage(folder.absoluteFilePath());
      if (!storage.isValid() || storage.rootPath() != folder.canonicalFilePath()) continue;
      QString detail = QTr(kDrivePlaceText);
      if (storage.bytesTotal() > 0) {
        detail += QStringLiteral(", ") + QLocale::c().formattedDataSize(storage.bytesTotal(), 1,
                                                                        QLocale::DataSizeSIFormat);
      }
      add(Place::Kind::kDrive, folder.absoluteFilePath(),
          storage.name().isEmpty() ? folder.fileName() : storage.name(), detail);
    }
  }
  for (const QFileInfo& folder : Subfolders(roots.devices)) {
    const std::optional<QString> name = DeviceName(folder.fileName());
    if (name) add(Place::Kind::kDevice, folder.absoluteFilePath(), *name, QTr(kDevicePlaceText));
  }
  add(Place::Kind::kFileSystem, QStringLiteral("/"), QTr(kFileSystemPlaceText),
      QStringLiteral("/"));
  return places;
}

QByteArray PlacesFingerprint(const PlaceRoots& roots) {
  QFile mounts(QStringLiteral("/proc/self/mountinfo"));
  QByteArray fingerprint;
  if (mounts.open(QIODevice::ReadOnly)) fingerprint = mounts.readAll();
  if (!roots.devices.isEmpty()) {
    const QStringList names = QDir(roots.devices).entryList(QDir::Dirs | QDir::NoDotAndDotDot);
    fingerprint += '\0' + names.join(QLatin1Char('/')).toUtf8();
  }
  return fingerprint;
}

int PlaceHolding(const std::vector<Place>& places, const QString& path) {
  int best = -1;
  for (size_t i = 0; i < places.size(); ++i) {
    const QString& folder = places[i].path;
    const bool holds = path == folder || folder == QLatin1String("/") ||
                       (path.startsWith(folder) && path.at(folder.size()) == QLatin1Char('/'));
    if (holds && (best < 0 || folder.size() > places[best].path.size())) best = static_cast<int>(i);
  }
  return best;
}

}  // namespace nandell
