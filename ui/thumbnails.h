#pragma once

// Thumbnails of photos for the lists of the windows: made on worker threads, kept in one cache
// for the whole program, and asked for without ever waiting, so that a list of a thousand
// photos on a slow card scrolls at once and fills in as they come.

#include <QAbstractListModel>
#include <QHash>
#include <QImage>
#include <QPixmap>
#include <QString>
#include <memory>
#include <vector>

namespace nandell {

/// The picture of the photo `path`, at most `size` pixels wide and high: the thumbnail its EXIF
/// block holds (turned as its orientation says) where it has one, else the photo decoded at
/// about that size; a null image when it is no picture (a video, say). Reads the file: call it
/// off the window's thread.
QImage MakeThumbnail(const QString& path, int size);

/// Thumbnails asked for by one list, made on the program's worker threads.
class ThumbnailLoader : public QObject {
  Q_OBJECT

 public:
  /// The largest side of a thumbnail, in pixels.
  static constexpr int kSize = 96;

  explicit ThumbnailLoader(QObject* parent = nullptr);
  /// Thumbnails still being made are no longer told to it.
  ~ThumbnailLoader() override;

  /// True with `image` set when the thumbnail of `path` is known (null when it is no picture);
  /// false when it is not, and then it is made: Ready follows. Never reads the file.
  bool Find(const QString& path, QImage* image);
  /// The thumbnails asked for and not begun are not made (the list shows others now).
  void Forget();

 signals:
  /// The thumbnail of `path` is known now (Find gives it).
  void Ready(const QString& path);

 private:
  struct Shared;
  std::shared_ptr<Shared> shared_;
};

/// The photos of a list as icons with their names, each thumbnail asked for when the view first
/// shows it.
class ThumbnailModel : public QAbstractListModel {
  Q_OBJECT

 public:
  /// One photo: its file, the name shown under it and its tooltip.
  struct Item {
    QString path;
    QString name;
    QString tip;
  };

  explicit ThumbnailModel(QObject* parent = nullptr);

  /// Shows `items` instead (the thumbnails of the ones shown before are no longer made).
  void SetItems(std::vector<Item> items);

  int rowCount(const QModelIndex& parent = QModelIndex()) const override;
  QVariant data(const QModelIndex& index, int role) const override;

 private:
  void OnReady(const QString& path);

  mutable ThumbnailLoader loader_;  // asked from data()
  std::vector<Item> items_;
  QHash<QString, int> rows_;           // the row of every path
  mutable QHash<int, QPixmap> shown_;  // the thumbnails known, by row
  QPixmap waiting_;                    // while a thumbnail is being made
};

}  // namespace nandell
