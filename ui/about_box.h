#pragma once

#include "ui/skinned_dialog.h"

class QLabel;

namespace nandell {

class PngButton;
struct AboutLine;

/// The modal About box: a frameless 360 x 200 window painted with skin 144, the product and
/// maker lines, three links (web address: link label 3, e-mail: 2, messenger: 4) and a
/// close button 5 pixels from the top-right corner. Dragged by its background; closed by
/// its button or Enter (accept) or Escape (reject). Run it with exec().
class AboutBox : public SkinnedDialog {
  Q_OBJECT

 public:
  /// Builds the box, lays it out and attaches the three link labels.
  explicit AboutBox(QWidget* parent = nullptr);
  ~AboutBox() override;

  /// The close button (strip 145).
  PngButton* CloseButton() const { return close_; }
  /// The title line (control 1016), the web, e-mail and messenger link labels
  /// (controls 1014, 1015, 1018).
  QLabel* TitleLabel() const { return title_; }
  QLabel* WebLabel() const { return web_; }
  QLabel* EmailLabel() const { return email_; }
  QLabel* MessengerLabel() const { return messenger_; }

 protected:
  void keyPressEvent(QKeyEvent* event) override;

 private:
  QLabel* AddText(const AboutLine& line, const QString& text);
  PngButton* close_ = nullptr;
  QLabel* title_ = nullptr;
  QLabel* web_ = nullptr;
  QLabel* email_ = nullptr;
  QLabel* messenger_ = nullptr;
};

}  // namespace nandell
