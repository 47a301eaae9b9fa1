#include "ui/about_box.h"

#include <QKeyEvent>
#include <QLabel>

#include "ui/link_label.h"
#include "ui/png_button.h"
#include "ui/resources.h"
#include "ui/texts.h"
#include "uicore/build_info.h"

namespace nandell {
namespace {

constexpr QRgb kTitleColor = qRgb(255, 255, 255);
constexpr QRgb kTextColor = qRgb(245, 245, 245);

}  // namespace

AboutBox::AboutBox(QWidget* parent) : SkinnedDialog(parent) {
  setWindowFlags(Qt::Dialog | Qt::FramelessWindowHint);
  setFont(TemplateFont());
  setWindowTitle(QTr("关于 Nandell"));
  // The template's size, replaced by the skin's size below.
  resize(DialogUnitsX(265), DialogUnitsY(136));

  title_ = AddText(1016, 7, 3, 101, 10, QTr("关于 Nandell"));

  close_ = new PngButton(this);
  close_->setObjectName(QStringLiteral("1"));
  close_->setGeometry(DialogUnitsX(181), DialogUnitsY(7), DialogUnitsX(50), DialogUnitsY(14));
  connect(close_, &QAbstractButton::clicked, this, &QDialog::accept);

  AddText(0, 63, 35, 119, 8,
          QString::fromStdString(TrFormat(build_info::kVersionFormat, NANDELL_VERSION)));
  AddText(0, 63, 50, 119, 8, QTr(build_info::kRightsNotice));
  AddText(0, 63, 65, 119, 8, QTr(build_info::kMakerLine));
  web_ = AddText(1014, 63, 80, 119, 8, QString::fromUtf8(build_info::kWebAddress));
  email_ = AddText(1015, 63, 95, 119, 8,
                   QStringLiteral("E-Mail: ") + QString::fromUtf8(build_info::kEmail));
  messenger_ = AddText(1018, 64, 110, 119, 8,
                       QStringLiteral("QQ: ") + QString::fromUtf8(build_info::kMessengerNumber));

  // The icon control of the template: made, never shown.
  auto* icon = new QLabel(this);
  icon->setObjectName(QStringLiteral("1017"));
  icon->setGeometry(DialogUnitsX(213), DialogUnitsY(75), DialogUnitsX(21), DialogUnitsY(21));
  icon->setPixmap(ResourcePixmap(kIconApp, "icon"));
  icon->hide();

  // The three links: web address (3), e-mail (2), messenger number (4), attached anew at
  // every opening; the box draws their text near-white whatever their state.
  struct Link {
    QLabel* label;
    int instance;
    std::string target;
  };
  const Link links[] = {
      {web_, 3, build_info::kWebAddress},
      {email_, 2, build_info::kEmail},
      {messenger_, 4, std::string("QQ:") + build_info::kMessengerNumber},
  };
  const QCursor cursor = LinkCursor();
  for (const Link& link : links) {
    LinkLabel* label = LinkLabel::Instance(link.instance);
    label->Attach(link.label);
    label->SetNotify(1);
    label->SetLinkCursor(cursor);
    label->SetLink(link.target);
    label->SetParentColor(QColor(kTextColor));
    // The link lines are only as wide as their text, so the rest of the line drags.
    link.label->adjustSize();
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

QLabel* AboutBox::AddText(int id, int x, int y, int w, int h, const QString& text) {
  auto* label = new QLabel(text, this);
  if (id != 0) label->setObjectName(QString::number(id));
  label->setTextFormat(Qt::PlainText);
  label->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
  // Plain lines let mouse input through to the box, so a press on them drags it.
  label->setAttribute(Qt::WA_TransparentForMouseEvents, true);
  const int height = std::max(DialogUnitsY(h), label->fontMetrics().height() + 2);
  // The template's width, or the text's when that is wider (a longer translation, another
  // font): a line is never cut.
  const int width = std::max(DialogUnitsX(w), label->sizeHint().width());
  label->setGeometry(DialogUnitsX(x), DialogUnitsY(y), width, height);
  QPalette palette = label->palette();
  palette.setColor(QPalette::WindowText, QColor(id == 1016 ? kTitleColor : kTextColor));
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
