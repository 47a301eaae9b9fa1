#include "winui/message_box.h"

#include <deque>

#include "platform/windows_support.h"
#include "uicore/build_info.h"

namespace nandell::winui {
namespace {

std::deque<int>& Answers() {
  static std::deque<int> answers;
  return answers;
}

std::vector<ShownBox>& Recorded() {
  static std::vector<ShownBox> shown;
  return shown;
}

}  // namespace

int ShowMessageBox(HWND owner, const std::string& caption, const std::string& text, UINT type) {
  Recorded().push_back(ShownBox{caption, text, type});
  if (!Answers().empty()) {
    const int answer = Answers().front();
    Answers().pop_front();
    return answer;
  }
  return ::MessageBoxW(owner, win::Widen(text).c_str(), win::Widen(caption).c_str(), type);
}

int ShowAppMessageBox(HWND owner, const std::string& text, UINT type) {
  return ShowMessageBox(owner, build_info::kAppName, text, type);
}

void QueueMessageBoxAnswer(int answer) {
  Answers().push_back(answer);
}

const std::vector<ShownBox>& ShownBoxes() {
  return Recorded();
}

void ClearShownBoxes() {
  Recorded().clear();
  Answers().clear();
}

}  // namespace nandell::winui
