#pragma once

// The places a user keeps photos, as the folder picker offers them above its tree: the home
// folder, the Pictures folder, the mounted removable drives and cards, the phones and cameras
// the desktop has mounted, and the whole file system.

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <optional>
#include <vector>

#include "platform/translate.h"

namespace nandell {

/// Where the places are looked for.
struct PlaceRoots {
  QString home;        // the home folder
  QString pictures;    // the Pictures folder; empty: none
  QStringList drives;  // folders whose mounted subfolders are removable drives and cards
  QString devices;     // where the desktop mounts phones and cameras (gvfs); empty: none
};

/// One place: the folder it stands for and how the list shows it.
struct Place {
  enum class Kind { kHome, kPictures, kDrive, kDevice, kFileSystem };
  Kind kind = Kind::kFileSystem;
  QString path;    // absolute, without a trailing "/" (but for "/" itself)
  QString name;    // the first column: "主目录", a drive's label, a phone's name …
  QString detail;  // the second column: a path, or the kind and size of a drive
  /// Places are equal when every field is.
  bool operator==(const Place& other) const = default;
};

/// The names of the places and their kinds, shown translated (Tr).
inline constexpr const char* kHomePlaceText = TrNoop("主目录");
inline constexpr const char* kPicturesPlaceText = TrNoop("图片");
inline constexpr const char* kFileSystemPlaceText = TrNoop("文件系统");
inline constexpr const char* kDrivePlaceText = TrNoop("可移动磁盘");
inline constexpr const char* kDevicePlaceText = TrNoop("手机或相机");
/// The list's name for accessibility tools.
inline constexpr const char* kPlacesText = TrNoop("位置");

/// This session's roots: the home folder, the XDG Pictures folder (user-dirs.dirs), /media/USER
/// and /run/media/USER, and gvfs in the runtime folder (/run/user/UID/gvfs).
PlaceRoots SystemPlaceRoots();
/// The roots in use: those a test set, else SystemPlaceRoots().
PlaceRoots CurrentPlaceRoots();
/// Test seam: the roots CurrentPlaceRoots gives from now on; std::nullopt: the system's again.
void SetPlaceRoots(std::optional<PlaceRoots> roots);

/// The places under `roots`, in this order: the home folder, Pictures (when it is a folder
/// other than home), each subfolder of a drive root that is a mount point (by name: its label,
/// else its folder's name; its size in the detail), each phone or camera of the device root
/// (mtp, gphoto2 and afc mounts, by the name the desktop gave it), and "/" last.
std::vector<Place> ListPlaces(const PlaceRoots& roots);

/// A fingerprint of what the places depend on that changes by itself (the mount table, the
/// names in the device root): cheap to take, it changes whenever ListPlaces may give another
/// answer.
QByteArray PlacesFingerprint(const PlaceRoots& roots);

/// Index in `places` of the place whose folder is `path` or holds it most closely; -1 when
/// none does. `path` is absolute and clean.
int PlaceHolding(const std::vector<Place>& places, const QString& path);

}  // namespace nandell
