#include "ui/thumbnails.h"

#include <QApplication>
#include <QCache>
#include <QFile>
#include <QImageReader>
#include <QPainter>
#include <QSet>
#include <QStyle>
#include <QThreadPool>
#include <QTransform>
#include <algorithm>
#include <cstdio>
#include <mutex>

#include "exif/exif_reader.h"

namespace nandell {
namespace {

// The thumbnails made so far, for every list of the program: about 64 MB of pictures.
class ThumbnailCache {
 public:
  bool Find(const QString& path, QImage* image) {
    std::lock_guard<std::mutex> lock(mutex_);
    const QImage* found = cache_.object(path);
    if (found == nullptr) return false;
    *image = *found;
    return true;
  }
  void Insert(const QString& path, const QImage& image) {
    std::lock_guard<std::mutex> lock(mutex_);
    cache_.insert(path, new QImage(image), std::max<qsizetype>(1, image.sizeInBytes() / 1024));
  }

 private:
  std::mutex mutex_;
  QCache<QString, QImage> cache_{64 * 1024};  // in KiB
};

// Made once and never destroyed: a thumbnail still being made when the program ends may
// still put its picture in.
ThumbnailCache& Cache() {
  static auto* cache = new ThumbnailCache;
  return *cache;
}

// `image` shown the way up the EXIF orientation (1 to 8) says.
QImage Oriented(const QImage& image, int orientation) {
  const bool mirror = orientation == 2 || orientation == 4 || orientation == 5 || orientation == 7;
  int degrees = 0;
  if (orientation == 3 || orientation == 4) degrees = 180;
  if (orientation == 6 || orientation == 7) degrees = 90;
  if (orientation == 5 || orientation == 8) degrees = 270;
  QImage turned = mirror ? image.mirrored(true, false) : image;
  return degrees == 0 ? turned : turned.transformed(QTransform().rotate(degrees));
}

// The thumbnail the EXIF block of the JPEG `path` holds; a null image when it has none.
QImage ExifThumbnail(const QString& path) {
  QImage image;
  FILE* file = std::fopen(QFile::encodeName(path).constData(), "rb");
  if (file == nullptr) return image;
  // The reader refuses a file that does not start as a JPEG, leaving `info` without thumbnail.
  ImageInfo info{};
  ExifReader reader(&info);
  reader.ReadSections(file);
  if (info.thumbnail != nullptr && info.thumbnail_length > 0 &&
      image.loadFromData(info.thumbnail, info.thumbnail_length)) {
    image = Oriented(image, info.orientation);
  }
  std::fclose(file);
  return image;
}

}  // namespace

QImage MakeThumbnail(const QString& path, int size) {
  QImage image = ExifThumbnail(path);
  if (image.isNull()) {
    // Decoded at about the size shown: a JPEG's decoder then does a fraction of the work.
    QImageReader reader(path);
    reader.setAutoTransform(true);
    const QSize whole = reader.size();
    if (whole.isValid() && (whole.width() > size || whole.height() > size))
      reader.setScaledSize(whole.scaled(size, size, Qt::KeepAspectRatio));
    image = reader.read();
  }
  if (!image.isNull() && (image.width() > size || image.height() > size))
    image = image.scaled(size, size, Qt::KeepAspectRatio, Qt::SmoothTransformation);
  return image;
}

// What the loader and its thumbnails being made share: the loader that still listens, and the
// pictures asked for.
struct ThumbnailLoader::Shared {
  std::mutex mutex;
  ThumbnailLoader* owner = nullptr;
  int generation = 0;  // counts Forget
  QSet<QString> asked;
};

ThumbnailLoader::ThumbnailLoader(QObject* parent)
    : QObject(parent), shared_(std::make_shared<Shared>()) {
  shared_->owner = this;
}

ThumbnailLoader::~ThumbnailLoader() {
  std::lock_guard<std::mutex> lock(shared_->mutex);
  shared_->owner = nullptr;
}

bool ThumbnailLoader::Find(const QString& path, QImage* image) {
  if (Cache().Find(path, image)) return true;
  std::lock_guard<std::mutex> lock(shared_->mutex);
  if (shared_->asked.contains(path)) return false;
  shared_->asked.insert(path);
  QThreadPool::globalInstance()->start([shared = shared_, path, generation = shared_->generation] {
    {
      std::lock_guard<std::mutex> lock(shared->mutex);
      if (shared->owner == nullptr || shared->generation != generation) {
        shared->asked.remove(path);
        return;
      }
    }
    Cache().Insert(path, MakeThumbnail(path, kSize));
    std::lock_guard<std::mutex> lock(shared->mutex);
    shared->asked.remove(path);
    // Posted to the loader's thread; dropped with the loader if it goes first.
    if (ThumbnailLoader* owner = shared->owner) {
      QMetaObject::invokeMethod(
          owner, [owner, path] { emit owner->Ready(path); }, Qt::QueuedConnection);
    }
  });
  return false;
}

void ThumbnailLoader::Forget() {
  std::lock_guard<std::mutex> lock(shared_->mutex);
  ++shared_->generation;
  shared_->asked.clear();
}

ThumbnailModel::ThumbnailModel(QObject* parent) : QAbstractListModel(parent) {
  connect(&loader_, &ThumbnailLoader::Ready, this, &ThumbnailModel::OnReady);
  waiting_ = QPixmap(ThumbnailLoader::kSize, ThumbnailLoader::kSize);
  waiting_.fill(Qt::transparent);
  QPainter painter(&waiting_);
  painter.setRenderHint(QPainter::Antialiasing);
  painter.setPen(QColor(176, 208, 240));
  painter.setBrush(QColor(236, 244, 252));
  painter.drawRoundedRect(
      QRectF(8.5, 16.5, ThumbnailLoader::kSize - 17, ThumbnailLoader::kSize - 33), 4, 4);
}

void ThumbnailModel::SetItems(std::vector<Item> items) {
  beginResetModel();
  loader_.Forget();
  items_ = std::move(items);
  rows_.clear();
  shown_.clear();
  for (size_t row = 0; row < items_.size(); ++row)
    rows_.insert(items_[row].path, static_cast<int>(row));
  endResetModel();
}

int ThumbnailModel::rowCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : static_cast<int>(items_.size());
}

QVariant ThumbnailModel::data(const QModelIndex& index, int role) const {
  if (!index.isValid() || index.row() >= static_cast<int>(items_.size())) return QVariant();
  const Item& item = items_[static_cast<size_t>(index.row())];
  if (role == Qt::DisplayRole) return item.name;
  if (role == Qt::ToolTipRole) return item.tip;
  if (role != Qt::DecorationRole) return QVariant();
  const auto shown = shown_.constFind(index.row());
  if (shown != shown_.constEnd()) return *shown;
  QImage image;
  if (!loader_.Find(item.path, &image)) return waiting_;
  // A file that is no picture shows the desktop's file icon.
  const QPixmap pixmap = image.isNull()
                             ? QApplication::style()->standardIcon(QStyle::SP_FileIcon).pixmap(48)
                             : QPixmap::fromImage(image);
  shown_.insert(index.row(), pixmap);
  return pixmap;
}

void ThumbnailModel::OnReady(const QString& path) {
  const int row = rows_.value(path, -1);
  if (row >= 0) emit dataChanged(index(row), index(row), {Qt::DecorationRole});
}

}  // namespace nandell
