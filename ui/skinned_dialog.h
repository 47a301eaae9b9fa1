#pragma once

#include <QDialog>
#include <QFont>
#include <QPixmap>
#include <QPoint>

namespace nandell {

/// The skinned windows' 9-point font: SimSun where installed, else a CJK sans serif.
QFont TemplateFont();

/// A caption-less dialog whose face is a skin bitmap: the skin is painted as its background
/// and a left press anywhere on the background (or on a widget that lets mouse input through)
/// drags the window. Buttons, check boxes and links take their own presses. Unless its caller
/// placed it, it opens centred over its parent's window (without a parent, over the screen).
/// A text that lets mouse input through still shows its tooltip.
class SkinnedDialog : public QDialog {
  Q_OBJECT

 public:
  explicit SkinnedDialog(QWidget* parent = nullptr) : QDialog(parent) {}

  /// The skin painted behind everything; null until a skin is set.
  const QPixmap& Skin() const { return skin_; }

 protected:
  /// Sets the skin (tiled when the window is larger) and repaints.
  void SetSkin(const QPixmap& skin);

  bool event(QEvent* event) override;
  void showEvent(QShowEvent* event) override;
  void paintEvent(QPaintEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;

 private:
  QPixmap skin_;
  bool dragging_ = false;
  QPoint drag_offset_;
};

}  // namespace nandell
