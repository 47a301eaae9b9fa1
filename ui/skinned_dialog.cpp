#include "ui/skinned_dialog.h"

#include <QMouseEvent>
#include <QPainter>
#include <QWindow>

namespace nandell {

QFont TemplateFont() {
  QFont font;
  font.setFamilies({QStringLiteral("SimSun"), QStringLiteral("宋体"),
                    QStringLiteral("WenQuanYi Micro Hei"), QStringLiteral("Noto Sans CJK SC")});
  font.setPointSize(9);
  return font;
}

void SkinnedDialog::SetSkin(const QPixmap& skin) {
  skin_ = skin;
  update();
}

void SkinnedDialog::paintEvent(QPaintEvent* /*event*/) {
  QPainter painter(this);
  if (!skin_.isNull()) painter.drawTiledPixmap(rect(), skin_);
}

void SkinnedDialog::mousePressEvent(QMouseEvent* event) {
  if (event->button() == Qt::LeftButton) {
    // The window system moves the window where it can; otherwise follow the pointer.
    if (windowHandle() != nullptr && windowHandle()->startSystemMove()) {
      event->accept();
      return;
    }
    dragging_ = true;
    drag_offset_ = event->globalPosition().toPoint() - frameGeometry().topLeft();
    event->accept();
    return;
  }
  QDialog::mousePressEvent(event);
}

void SkinnedDialog::mouseMoveEvent(QMouseEvent* event) {
  if (dragging_ && (event->buttons() & Qt::LeftButton)) {
    move(event->globalPosition().toPoint() - drag_offset_);
    event->accept();
    return;
  }
  QDialog::mouseMoveEvent(event);
}

void SkinnedDialog::mouseReleaseEvent(QMouseEvent* event) {
  dragging_ = false;
  QDialog::mouseReleaseEvent(event);
}

}  // namespace nandell
