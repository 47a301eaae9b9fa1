#pragma once

// Camera-like JPEGs of real pictures for the windows' tests and pictures: `picture` encoded by
// Qt, with an EXIF block holding the capture date and, when given, a thumbnail of its own.

#include <QBuffer>
#include <QByteArray>
#include <QImage>
#include <string>

#include "tests/support/jpeg_builder.h"

namespace nandell::testing {

inline QByteArray EncodedJpeg(const QImage& image) {
  QByteArray bytes;
  QBuffer buffer(&bytes);
  buffer.open(QIODevice::WriteOnly);
  image.save(&buffer, "JPEG", 85);
  return bytes;
}

/// A JPEG of `picture` taken at `date` ("YYYY:MM:DD HH:MM:SS") whose EXIF thumbnail is
/// `thumbnail` (none when it is null).
inline QByteArray PhotoJpeg(const QImage& picture, const QImage& thumbnail,
                            const std::string& date) {
  test_support::CameraFacts facts;
  facts.date_time_original = date;
  facts.width = static_cast<uint16_t>(picture.width());
  facts.height = static_cast<uint16_t>(picture.height());
  if (!thumbnail.isNull()) {
    const QByteArray small = EncodedJpeg(thumbnail);
    facts.thumbnail.assign(small.constData(), static_cast<size_t>(small.size()));
  }
  const QByteArray body = EncodedJpeg(picture);
  test_support::JpegBuilder builder;
  // The EXIF segment right after the start of image, then Qt's segments and image data.
  builder.Soi()
      .App1Exif(test_support::CameraTiff(facts))
      .Raw(test_support::Bytes(body.constData() + 2, static_cast<size_t>(body.size() - 2)));
  return QByteArray(builder.bytes().data(), static_cast<qsizetype>(builder.bytes().size()));
}

}  // namespace nandell::testing
