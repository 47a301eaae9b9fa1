#include "ui/skinned_dialog.h"

#include <QHelpEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QShowEvent>
#include <QToolTip>
#include <QWindow>

#include "ui/window_position.h"

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

bool SkinnedDialog::event(QEvent* event) {
  if (event->type() == QEvent::ToolTip) {
    // The texts over the skin let the mouse through (a press on them drags the window), so
    // their tooltip requests reach the window: show the tooltip of the text under the pointer.
    const auto* help = static_cast<QHelpEvent*>(event);
    for (QObject* object : children()) {
      auto* child = qobject_cast<QWidget*>(object);
      if (child == nullptr || !child->isVisible() || child->toolTip().isEmpty() ||
          !child->testAttribute(Qt::WA_TransparentForMouseEvents) ||
          !child->geometry().contains(help->pos()))
        continue;
      QToolTip::showText(help->globalPos(), child->toolTip(), child);
      return true;
    }
    QToolTip::hideText();
    event->ignore();
    return true;
  }
  return QDialog::event(event);
}

void SkinnedDialog::showEvent(QShowEvent* event) {
  // A window its caller placed stays there; otherwise its own area is centred exactly (the
  // framework's placement allows for a title bar and borders that a skinned window lacks).
  // The framework's placement runs in its show event.
  const bool place = !event->spontaneous() && !testAttribute(Qt::WA_Moved);
  QDialog::showEvent(event);
  if (place) CentreOver(this, parentWidget());
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
