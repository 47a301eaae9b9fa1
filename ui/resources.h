#pragma once

#include <QByteArray>
#include <QCursor>
#include <QIcon>
#include <QImage>
#include <QPixmap>
#include <QString>
#include <cstdint>

namespace nandell {

// The artwork is compiled in with the Qt resource system, one file per numeric id:
//   type "png"    -> :/png/<id>.png     (button strips 134-142, 145, 147, 148, 151, 152)
//   type "bitmap" -> :/bmp/<id>.png     (skins 129, 144, 146, 149, 150)
//   type "icon"   -> :/icon/<id>.png    (application icon 128)
//   type "cursor" -> :/cursor/<id>.png  (link cursor 143)
// Artwork that carries text has an English drawing too, under :/en/ (":/en/png/138.png"),
// used while English is the chosen language (platform/translate.h).

/// Resource ids of the artwork.
inline constexpr uint32_t kIconApp = 128;
inline constexpr uint32_t kSkinMain = 129;
inline constexpr uint32_t kPngOptions = 134;
inline constexpr uint32_t kPngAbout = 135;
inline constexpr uint32_t kPngClose = 136;
inline constexpr uint32_t kPngMinimize = 137;
inline constexpr uint32_t kPngPhotoFolder = 138;
inline constexpr uint32_t kPngOutputFolder = 140;
inline constexpr uint32_t kPngOrganize = 141;
inline constexpr uint32_t kPngStop = 142;
inline constexpr uint32_t kCursorLink = 143;
inline constexpr uint32_t kSkinAbout = 144;
inline constexpr uint32_t kPngAboutClose = 145;
inline constexpr uint32_t kSkinOptions = 146;
inline constexpr uint32_t kPngOptionsOk = 147;
inline constexpr uint32_t kPngOptionsCancel = 148;
inline constexpr uint32_t kSkinPreview = 149;
inline constexpr uint32_t kSkinHistory = 150;
inline constexpr uint32_t kPngStartRun = 151;
inline constexpr uint32_t kPngUndo = 152;

/// Stateless helpers around the compiled-in resources.
class CGlobal {
 public:
  /// Reads resource `id` (low 16 bits) of `type` (null or empty means "png"). Returns its size
  /// in bytes, 0 when it is missing or `size` is null (then *size is left alone). `*size` is
  /// the capacity of `dest` on entry and the resource size on return; the bytes are copied
  /// only when `dest` is non-null and the capacity holds the whole resource.
  static uint32_t LoadResourceData(uint32_t id, void* dest, uint32_t* size,
                                   const char* type = nullptr);
};

/// Makes sure the resource library is registered (safe to call any number of times).
void InitResources();

/// The resource path of `id` and `type` (see the table above) in the chosen language, e.g.
/// ":/png/134.png", or ":/en/png/138.png" with English chosen and an English drawing present.
QString ResourcePath(uint32_t id, const char* type = "png");

/// The bytes of resource `id`; empty when it is missing.
QByteArray ResourceBytes(uint32_t id, const char* type = "png");

/// Resource `id` decoded as an image; a null image when missing or undecodable.
QImage ResourceImage(uint32_t id, const char* type = "png");

/// Resource `id` as a pixmap (needs a QGuiApplication); a null pixmap when missing.
QPixmap ResourcePixmap(uint32_t id, const char* type = "png");

/// The pointing-hand link cursor (resource 143, hot spot 12, 1); the standard pointing hand
/// when the resource is missing.
QCursor LinkCursor();

/// The application icon (resource 128).
QIcon AppIcon();

}  // namespace nandell
