#include "ui/resources.h"

#include <QByteArrayView>
#include <QFile>
#include <QGuiApplication>
#include <cstring>
#include <string>

#include "platform/translate.h"

// Registers the compiled-in resources of the nandell_res library (defined by its generated
// resource source).
static void InitNandellResources() {
  Q_INIT_RESOURCE(nandell_res);
}

namespace nandell {
namespace {

// The folder of the resource tree that holds resources of `type` (null or empty: "png").
const char* FolderOfType(const char* type) {
  if (type == nullptr || *type == '\0') return "png";
  // Type names match without regard to case, as resource types do.
  if (qstricmp(type, "bitmap") == 0 || qstricmp(type, "bmp") == 0) return "bmp";
  if (qstricmp(type, "icon") == 0) return "icon";
  if (qstricmp(type, "cursor") == 0) return "cursor";
  return "png";
}

}  // namespace

void InitResources() {
  static const bool done = [] {
    InitNandellResources();
    return true;
  }();
  (void)done;
}

QString ResourcePath(uint32_t id, const char* type) {
  InitResources();
  const QString path =
      QStringLiteral("/%1/%2.png").arg(QString::fromLatin1(FolderOfType(type))).arg(id & 0xFFFF);
  if (CurrentLanguage() == Language::kEnglish && QFile::exists(QStringLiteral(":/en") + path))
    return QStringLiteral(":/en") + path;
  return QLatin1Char(':') + path;
}

QByteArray ResourceBytes(uint32_t id, const char* type) {
  InitResources();
  QFile file(ResourcePath(id, type));
  if (!file.open(QIODevice::ReadOnly)) return {};
  return file.readAll();
}

uint32_t CGlobal::LoadResourceData(uint32_t id, void* dest, uint32_t* size, const char* type) {
  if (size == nullptr) return 0;
  const QByteArray bytes = ResourceBytes(id, type);
  if (bytes.isEmpty()) return 0;
  const auto length = static_cast<uint32_t>(bytes.size());
  if (dest != nullptr && *size >= length) std::memcpy(dest, bytes.constData(), length);
  *size = length;
  return length;
}

QImage ResourceImage(uint32_t id, const char* type) {
  QImage image;
  const QByteArray bytes = ResourceBytes(id, type);
  if (!bytes.isEmpty()) image.loadFromData(bytes);
  return image;
}

QPixmap ResourcePixmap(uint32_t id, const char* type) {
  return QPixmap::fromImage(ResourceImage(id, type));
}

QCursor LinkCursor() {
  const QPixmap pixmap = ResourcePixmap(kCursorLink, "cursor");
  if (pixmap.isNull()) return QCursor(Qt::PointingHandCursor);
  return QCursor(pixmap, 12, 1);
}

QIcon AppIcon() {
  return QIcon(ResourcePixmap(kIconApp, "icon"));
}

}  // namespace nandell
