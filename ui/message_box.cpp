#include "ui/message_box.h"

#include <deque>

#include "uicore/build_info.h"

namespace nandell {
namespace {

std::deque<QMessageBox::StandardButton>& Answers() {
  static std::deque<QMessageBox::StandardButton> answers;
  return answers;
}

QMessageBox::StandardButton g_default_answer = QMessageBox::NoButton;

std::vector<MessageBox::Shown>& Recorded() {
  static std::vector<MessageBox::Shown> shown;
  return shown;
}

}  // namespace

QMessageBox::StandardButton MessageBox::Show(QWidget* parent, const QString& caption,
                                             const QString& text, QMessageBox::Icon icon,
                                             QMessageBox::StandardButtons buttons) {
  Recorded().push_back(Shown{caption, text, icon, buttons});
  if (!Answers().empty()) {
    const QMessageBox::StandardButton answer = Answers().front();
    Answers().pop_front();
    return answer;
  }
  if (g_default_answer != QMessageBox::NoButton) return g_default_answer;
  QMessageBox box(icon, caption, text, buttons, parent);
  const int result = box.exec();
  return static_cast<QMessageBox::StandardButton>(result);
}

QMessageBox::StandardButton MessageBox::ShowApp(QWidget* parent, const QString& text,
                                                QMessageBox::Icon icon,
                                                QMessageBox::StandardButtons buttons) {
  return Show(parent, QString::fromUtf8(build_info::kAppName), text, icon, buttons);
}

void MessageBox::SetNextAnswer(QMessageBox::StandardButton answer) {
  Answers().push_back(answer);
}

void MessageBox::SetDefaultAnswer(QMessageBox::StandardButton answer) {
  g_default_answer = answer;
}

void MessageBox::ClearAnswers() {
  Answers().clear();
}

int MessageBox::PendingAnswers() {
  return static_cast<int>(Answers().size());
}

const std::vector<MessageBox::Shown>& MessageBox::ShownBoxes() {
  return Recorded();
}

void MessageBox::ClearShown() {
  Recorded().clear();
}

}  // namespace nandell
