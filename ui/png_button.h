#pragma once

#include <QAbstractButton>
#include <QByteArray>
#include <QImage>
#include <cstdint>

namespace nandell {

/// The push button of the skinned windows: its whole face is one slice of a four-slice PNG
/// strip (normal, hover, pressed, greyed). It sizes itself to one slice, shows the hover
/// look while the pointer is over it and the pressed look while it is held down (pressed
/// wins), never draws the greyed slice (a disabled button looks like an enabled one) and
/// paints nothing but the artwork. A double click counts as two presses (two clicks).
class PngButton : public QAbstractButton {
  Q_OBJECT

 public:
  /// A button without an image; it draws nothing until LoadPng succeeds.
  explicit PngButton(QWidget* parent = nullptr);
  ~PngButton() override;

  /// Loads strip `id` (resource type "png"), and resizes the button to one slice, keeping
  /// its top-left corner. A missing or empty strip leaves the size alone and the button
  /// without an image (it still works as a button).
  void LoadPng(uint32_t id);

  /// LoadPng on strip bytes already in memory (any format Qt decodes). Returns whether an
  /// image was decoded; bytes that do not decode are logged and leave the button as is.
  bool LoadPngData(const QByteArray& bytes);

  /// Whether a strip image is held.
  bool HasImage() const { return !image_.isNull(); }
  /// Whole strip width and height in pixels (0 without an image).
  int ImageWidth() const { return image_width_; }
  int ImageHeight() const { return image_height_; }
  /// Strip width / 4, truncated: the button's width after loading.
  int SliceWidth() const { return slice_width_; }
  /// Whether the pointer is over the button (hover look).
  bool IsHover() const { return hover_; }
  /// The strip x offset the current state draws: 2 * slice when pressed, else slice when
  /// hovered, else 0.
  int SliceOffset() const;

  /// The size of one slice (the button size after loading).
  QSize sizeHint() const override;

 protected:
  void paintEvent(QPaintEvent* event) override;
  void enterEvent(QEnterEvent* event) override;
  void leaveEvent(QEvent* event) override;
  void mouseDoubleClickEvent(QMouseEvent* event) override;

 private:
  QImage image_;
  int image_width_ = 0;
  int image_height_ = 0;
  int slice_width_ = 0;
  bool hover_ = false;
};

}  // namespace nandell
