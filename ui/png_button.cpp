#include "ui/png_button.h"

#include <QMouseEvent>
#include <QPainter>

#include "log/msgx.h"
#include "ui/resources.h"

namespace nandell {

PngButton::PngButton(QWidget* parent) : QAbstractButton(parent) {
  // The face is the artwork only: no background fill (and no focus frame, see paintEvent).
  setAttribute(Qt::WA_NoSystemBackground);
}

PngButton::~PngButton() = default;

void PngButton::LoadPng(uint32_t id) {
  // Size first, then the bytes, as the resource helper's contract has it.
  uint32_t size = 0;
  if (CGlobal::LoadResourceData(id, nullptr, &size, "png") == 0 || size == 0) return;
  QByteArray bytes(static_cast<qsizetype>(size), '\0');
  uint32_t capacity = size;
  if (CGlobal::LoadResourceData(id, bytes.data(), &capacity, "png") != size) return;
  LoadPngData(bytes);
}

bool PngButton::LoadPngData(const QByteArray& bytes) {
  if (bytes.isEmpty()) return false;
  QImage image;
  if (!image.loadFromData(bytes)) {
    MsgX().Log("PngButton::LoadPng: the strip does not decode! ", 0, __LINE__, "");
    return false;
  }
  image_ = image.convertToFormat(QImage::Format_ARGB32_Premultiplied);
  image_width_ = image_.width();
  image_height_ = image_.height();
  slice_width_ = image_width_ / 4;
  // Keep the top-left corner, take one slice's size.
  setGeometry(x(), y(), slice_width_, image_height_);
  update();
  return true;
}

int PngButton::SliceOffset() const {
  if (isDown()) return 2 * slice_width_;
  if (hover_) return slice_width_;
  return 0;
}

QSize PngButton::sizeHint() const {
  if (image_.isNull()) return size();
  return QSize(slice_width_, image_height_);
}

void PngButton::paintEvent(QPaintEvent* /*event*/) {
  if (image_.isNull()) return;
  QPainter painter(this);
  painter.setCompositionMode(QPainter::CompositionMode_SourceOver);
  // Disabled and focus states are ignored on purpose: the greyed slice is never drawn.
  painter.drawImage(QRect(0, 0, slice_width_, image_height_), image_,
                    QRect(SliceOffset(), 0, slice_width_, image_height_));
}

void PngButton::enterEvent(QEnterEvent* event) {
  hover_ = true;
  update();
  QAbstractButton::enterEvent(event);
}

void PngButton::leaveEvent(QEvent* event) {
  hover_ = false;
  update();
  QAbstractButton::leaveEvent(event);
}

void PngButton::mouseDoubleClickEvent(QMouseEvent* event) {
  // The second press of a double click is a plain press: two presses, two clicks.
  mousePressEvent(event);
}

}  // namespace nandell
