#include "ui/link_label.h"

#include <QApplication>
#include <QDesktopServices>
#include <QEvent>
#include <QLabel>
#include <QMouseEvent>
#include <QUrl>

#include "uicore/link_target.h"

namespace nandell {

/// Watches the attached label's events on behalf of its LinkLabel. A child of the label, so
/// it goes with it.
class LinkLabelFilter : public QObject {
 public:
  LinkLabelFilter(LinkLabel* owner, QLabel* label) : QObject(label), owner_(owner) {}
  void Release() { owner_ = nullptr; }

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override {
    if (owner_ == nullptr || watched != parent()) return false;
    switch (event->type()) {
      case QEvent::Enter:
        owner_->OnEnter();
        return false;
      case QEvent::Leave:
        owner_->OnLeave();
        return false;
      case QEvent::MouseMove: {
        // A label attached under a resting pointer learns of it at the first move.
        if (!owner_->hover_) owner_->OnEnter();
        return false;
      }
      case QEvent::MouseButtonPress: {
        auto* mouse = static_cast<QMouseEvent*>(event);
        if (mouse->button() != Qt::LeftButton) return false;
        owner_->OnPress();
        // The link takes its own clicks; they do not reach the parent (no window drag).
        return true;
      }
      case QEvent::MouseButtonDblClick:
        // The second press of a double click opens nothing more, and does not drag.
        return static_cast<QMouseEvent*>(event)->button() == Qt::LeftButton;
      default:
        return false;
    }
  }

 private:
  LinkLabel* owner_;
};

namespace {

bool OpenWithDesktop(const std::string& target) {
  return QDesktopServices::openUrl(QUrl(QString::fromStdString(target)));
}

LinkLabel::UrlOpener& Opener() {
  static LinkLabel::UrlOpener opener = OpenWithDesktop;
  return opener;
}

}  // namespace

LinkLabel::LinkLabel(int underline) : underline_((underline & 0xFF) != 0) {}

LinkLabel::~LinkLabel() {
  // The process-wide instances may outlive the application object; only touch a label that
  // still exists.
  if (filter_) filter_->Release();
}

LinkLabel* LinkLabel::Instance(int n) {
  return LinkLabelInstance<LinkLabel>(n);
}

QFont LinkLabel::Font() const {
  QFont font = QApplication::font();
  font.setUnderline(underline_);
  return font;
}

void LinkLabel::Attach(QLabel* label) {
  Detach();
  if (label == nullptr) return;
  label_ = label;
  parent_color_.reset();
  auto* filter = new LinkLabelFilter(this, label);
  filter_ = filter;
  label->installEventFilter(filter);
  label->setFont(Font());
  // Like a static without the notify style: mouse input passes to the parent.
  label->setAttribute(Qt::WA_TransparentForMouseEvents, true);
  if (cursor_) label->setCursor(*cursor_);
  Redraw();
}

void LinkLabel::Detach() {
  if (filter_) {
    filter_->Release();
    if (label_) label_->removeEventFilter(filter_);
    delete filter_.data();
  }
  filter_ = nullptr;
  label_ = nullptr;
}

QLabel* LinkLabel::Label() const {
  return label_.data();
}

void LinkLabel::SetNotify(int on) {
  if (!label_) return;
  label_->setAttribute(Qt::WA_TransparentForMouseEvents, on == 0);
  if (on != 0) label_->setMouseTracking(true);
}

void LinkLabel::SetLinkCursor(const QCursor& cursor) {
  cursor_ = cursor;
  if (label_) label_->setCursor(cursor);
}

int LinkLabel::SetLink(std::string text) {
  return LinkTargetFor(text, &link_target_);
}

void LinkLabel::SetParentColor(std::optional<QColor> color) {
  parent_color_ = color;
  Redraw();
}

LinkLabel::UrlOpener LinkLabel::SetUrlOpener(UrlOpener opener) {
  UrlOpener previous = Opener();
  Opener() = opener ? std::move(opener) : UrlOpener(OpenWithDesktop);
  return previous;
}

void LinkLabel::OnEnter() {
  hover_ = true;
  current_color_ = visited_ ? kVisitedColor : kHoverColor;
  Redraw();
}

void LinkLabel::OnLeave() {
  hover_ = false;
  current_color_ = visited_ ? kVisitedColor : kNormalColor;
  Redraw();
}

void LinkLabel::OnPress() {
  visited_ = true;
  current_color_ = kVisitedColor;
  Redraw();
  // A failed open (no program for the scheme) is not reported; the label stays visited.
  if (!link_target_.empty()) (void)Opener()(link_target_);
}

void LinkLabel::Redraw() {
  if (!label_) return;
  const QColor color = parent_color_ ? *parent_color_ : QColor(current_color_);
  QPalette palette = label_->palette();
  palette.setColor(QPalette::WindowText, color);
  label_->setPalette(palette);
  label_->repaint();
}

}  // namespace nandell
