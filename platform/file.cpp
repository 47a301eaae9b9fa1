// The parts of the file operations that every platform shares.
#include "platform/file.h"

#include <atomic>
#include <cstdint>
#include <cstring>

#include "platform/file_private.h"
#include "platform/file_system.h"
#include "platform/translate.h"

namespace nandell {

std::string ErrorText(int error) {
  switch (error) {
    case fs::kLinkInPlaceOfFolder:
      return Tr("目录位置上是一个链接");
    case fs::kChangedWhileCopied:
      return Tr("源文件在复制时被改动");
    case fs::kChangedWhileMoved:
      return Tr("源文件在移动时被改动");
    case fs::kNameNotAllowed:
      return Tr("Windows 不接受此名称");
    case kNotRegularFile:
      return Tr("不是普通文件");
    case fs::kNotJournaled:
      return Tr("整理记录无法写入");
    default:
      return fs::SystemErrorText(error);
  }
}

}  // namespace nandell

namespace nandell::fs {
namespace {

constexpr const char* kTemporaryPrefix = ".nandell-";
constexpr const char* kTemporarySuffix = ".part";

}  // namespace

std::string TemporaryName(unsigned long process_id) {
  static std::atomic<unsigned> counter{0};
  return kTemporaryPrefix + std::to_string(process_id) + "-" +
         std::to_string(counter.fetch_add(1)) + kTemporarySuffix;
}

bool IsTemporaryName(const std::string& name, unsigned long* process_id) {
  const size_t prefix = std::strlen(kTemporaryPrefix);
  const size_t suffix = std::strlen(kTemporarySuffix);
  if (name.size() <= prefix + suffix || name.compare(0, prefix, kTemporaryPrefix) != 0 ||
      name.compare(name.size() - suffix, suffix, kTemporarySuffix) != 0) {
    return false;
  }
  const std::string middle = name.substr(prefix, name.size() - prefix - suffix);
  const size_t dash = middle.find('-');
  auto digits = [](const std::string& text) {
    return !text.empty() && text.size() <= 10 &&
           text.find_first_not_of("0123456789") == std::string::npos;
  };
  if (dash == std::string::npos || !digits(middle.substr(0, dash)) ||
      !digits(middle.substr(dash + 1))) {
    return false;
  }
  if (process_id != nullptr) {
    uint64_t id = 0;
    for (size_t i = 0; i < dash; ++i) id = id * 10 + static_cast<uint64_t>(middle[i] - '0');
    *process_id = static_cast<unsigned long>(id);
  }
  return true;
}

}  // namespace nandell::fs
