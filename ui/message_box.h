#pragma once

#include <QMessageBox>
#include <QString>
#include <vector>

class QWidget;

namespace nandell {

/// The one place where the windows show a modal message box. Every box shown is recorded
/// (caption, text, icon, buttons) so tests can assert what the user would have seen, and
/// tests queue the answers of the next boxes instead of a person clicking them.
class MessageBox {
 public:
  /// One box as it was asked for.
  struct Shown {
    QString caption;
    QString text;
    QMessageBox::Icon icon;
    QMessageBox::StandardButtons buttons;
  };

  /// Shows a modal box with `caption`, `text`, `icon` and `buttons` over `parent` (may be
  /// null) and returns the button pressed (QMessageBox::NoButton when closed otherwise).
  /// When an answer is queued, the box is recorded but not shown and that answer returns.
  static QMessageBox::StandardButton Show(QWidget* parent, const QString& caption,
                                          const QString& text, QMessageBox::Icon icon,
                                          QMessageBox::StandardButtons buttons);

  /// Show() with the application's name ("Nandell") as the caption.
  static QMessageBox::StandardButton ShowApp(QWidget* parent, const QString& text,
                                             QMessageBox::Icon icon,
                                             QMessageBox::StandardButtons buttons);

  /// Queues the answer of the next box (first queued, first used).
  static void SetNextAnswer(QMessageBox::StandardButton answer);
  /// The answer of every box shown while no answer is queued (tests set it, e.g. to
  /// QMessageBox::Ok, so that no box ever waits for a person); NoButton, the starting value,
  /// shows the boxes for real.
  static void SetDefaultAnswer(QMessageBox::StandardButton answer);
  /// Drops queued answers that were not used.
  static void ClearAnswers();
  /// Number of queued answers not yet used.
  static int PendingAnswers();

  /// The boxes shown since the last ClearShown(), oldest first.
  static const std::vector<Shown>& ShownBoxes();
  /// Forgets the recorded boxes.
  static void ClearShown();
};

}  // namespace nandell
