#include "ui/about_box.h"

#include <QKeyEvent>
#include <QLabel>

#include "ui/link_label.h"
#include "ui/png_button.h"
#include "ui/resources.h"
#include "ui/texts.h"
#include "uicore/build_info.h"
#include "uicore/skin_layout.h"

namespace nandell {
namespace {

constexpr QRgb kTitleColor = qRgb(255, 255, 255);
constexpr QRgb kTextColor = qRgb(245, 245, 245);

}  // namespace

AboutBox::AboutBox(QWidget* parent) : SkinnedDialog(parent) {
  setWindowFlags(Qt::Dialog | Qt::FramelessWindowHint);
  setFont(TemplateFont());
  setWindowTitle(QTr(build_info::kAboutTitle));
  // The template's size, replaced by the skin's size below.
  resize(DialogUnitsX(265), DialogUnitsY(136));

  close_ = new PngButton(this);
  close_->setObjectName(QStringLiteral("1"));
  close_->setGeometry(DialogUnitsX(181), DialogUnitsY(7), DialogUnitsX(50), DialogUnitsY(14));
  connect(close_, &QAbstractButton::clicked, this, &QDialog::accept);

  // The lines of kAboutLines, in its order.
  const QString texts[] = {
      QTr(build_info::kAboutTitle),
      QString::fromStdString(TrFormat(build_info::kVersionFormat, NANDELL_VERSION)),
      QTr(build_info::kRightsNotice),
      QTr(build_info::kMakerLine),
      QString::fromUtf8(build_info::kWebAddress),
      QStringLiteral("E-Mail: ") + QString::fromUtf8(build_info::kEmail),
      QStringLiteral("QQ: ") + QString::fromUtf8(build_info::kMessengerNumber),
  };
  QLabel* lines[std::size(kAboutLines)];
  for (size_t i = 0; i < std::size(kAboutLines); ++i) lines[i] = AddText(kAboutLines[i], texts[i]);
  title_ = lines[0];
  web_ = lines[4];
  email_ = lines[5];
  messenger_ = lines[6];

  // The icon control of the template: made, never shown.
  auto* icon = new QLabel(this);
  icon->setObjectName(QStringLiteral("1017"));
  icon->setGeometry(DialogUnitsX(213), DialogUnitsY(75), DialogUnitsX(21), DialogUnitsY(21));
  icon->setPixmap(ResourcePixmap(kIconApp, "icon"));
  icon->hide();

  // The three links: web address (3), e-mail (2), messenger number (4), attached anew at
  // every opening; the box draws their text near-white whatever their state.
  const QCursor cursor = LinkCursor();
  for (const AboutLink& link : kAboutLinks) {
    auto* line = findChild<QLabel*>(QString::number(link.id));
    LinkLabel* label = LinkLabel::Instance(link.instance);
    label->Attach(line);
    label->SetNotify(1);
    label->SetLinkCursor(cursor);
    label->SetLink(link.target);
    label->SetParentColor(QColor(kTextColor));
    // The link lines are only as wide as their text, so the rest of the line drags.
    line->adjustSize();
  }

  // The skin decides the size; without it the template size stays.
  SetSkin(ResourcePixmap(kSkinAbout, "bitmap"));
  if (!Skin().isNull()) setFixedSize(Skin().size());

  close_->LoadPng(kPngAboutClose);
  close_->move(width() - close_->width() - 5, 5);
}

AboutBox::~AboutBox() {
  // The process-wide labels keep their state; they only let go of our widgets.
  for (int n : {2, 3, 4}) {
    LinkLabel* label = LinkLabel::Instance(n);
    if (label->Label() != nullptr && label->Label()->window() == this) label->Detach();
  }
}

QLabel* AboutBox::AddText(const AboutLine& line, const QString& text) {
  auto* label = new QLabel(text, this);
  label->setObjectName(QString::number(line.id));
  label->setTextFormat(Qt::PlainText);
  label->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
  // Plain lines let mouse input through to the box, so a press on them drags it.
  label->setAttribute(Qt::WA_TransparentForMouseEvents, true);
  const int height = std::max(DialogUnitsY(line.height), label->fontMetrics().height() + 2);
  // The template's width, or the text's when that is wider (a longer translation, another
  // font): a line is never cut.
  const int width = std::max(DialogUnitsX(line.width), label->sizeHint().width());
  label->setGeometry(DialogUnitsX(line.x), DialogUnitsY(line.y), width, height);
  QPalette palette = label->palette();
  palette.setColor(QPalette::WindowText,
                   QColor(line.id == IDC_ABOUT_TITLE ? kTitleColor : kTextColor));
  label->setPalette(palette);
  return label;
}

void AboutBox::keyPressEvent(QKeyEvent* event) {
  // Enter closes the box like its close button (the template's default button); Escape is
  // the dialog's own rejection.
  if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) {
    accept();
    return;
  }
  QDialog::keyPressEvent(event);
}

}  // namespace nandell
