#include "ui/panel_window.h"

#include <QLabel>

#include "ui/png_button.h"
#include "ui/resources.h"

namespace nandell {

PanelWindow::PanelWindow(uint32_t skin_id, const QString& title, QWidget* parent, int title_width)
    : SkinnedDialog(parent) {
  InitResources();
  setWindowFlags(Qt::Dialog | Qt::FramelessWindowHint);
  setFont(TemplateFont());
  setWindowTitle(title);
  SetSkin(ResourcePixmap(skin_id, "bitmap"));
  if (!Skin().isNull()) setFixedSize(Skin().size());
  AddText(title, 14, 7, title_width > 0 ? title_width : width() / 2, kTitleColor, true)
      ->setObjectName(QStringLiteral("title"));
  close_ = AddButton(kPngAboutClose, QString());
  close_->setObjectName(QStringLiteral("close"));
  close_->move(width() - close_->width() - 7, 7);
  connect(close_, &QAbstractButton::clicked, this, &QDialog::reject);
}

QLabel* PanelWindow::AddText(const QString& text, int x, int y, int w, QRgb color, bool bold) {
  auto* label = new QLabel(text, this);
  label->setTextFormat(Qt::PlainText);
  // A press on a plain text drags the window, as on the skin.
  label->setAttribute(Qt::WA_TransparentForMouseEvents, true);
  if (bold) {
    QFont font = label->font();
    font.setBold(true);
    label->setFont(font);
  }
  label->setGeometry(x, y, w, label->fontMetrics().height() + 4);
  QPalette palette = label->palette();
  palette.setColor(QPalette::WindowText, QColor(color));
  label->setPalette(palette);
  return label;
}

PngButton* PanelWindow::AddButton(uint32_t strip, const QString& name) {
  auto* button = new PngButton(this);
  button->setText(name);
  button->setAccessibleName(name);
  button->LoadPng(strip);
  return button;
}

}  // namespace nandell
