#include "uicore/link_target.h"

#include "uicore/build_info.h"

namespace nandell {

int LinkTargetFor(const std::string& text, std::string* target) {
  if (text.empty()) return 0;
  if (text.find("http") != std::string::npos) {
    *target = text;
    return 1;
  }
  if (text.find('@') != std::string::npos) {
    *target = "mailto:" + text;
    return 1;
  }
  if (const size_t at = text.find("QQ:"); at != std::string::npos) {
    *target = "tencent://message/?uin=" + text.substr(at + 3) + "&Site=" + build_info::kWebHost +
              "&Menu=yes";
    return 1;
  }
  target->clear();
  return 0;
}

}  // namespace nandell
