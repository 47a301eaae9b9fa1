#include "engine/known_files.h"

namespace nandell {

std::string FormatIndexProgress(const IndexProgress& progress) {
  if (!progress.notice.empty()) return progress.notice;
  return TrFormat("正在检查照片库: %lld 个文件", static_cast<long long>(progress.files));
}

std::string FormatKnownMessage(int32_t ordinal, const std::string& source,
                               const std::string& where) {
  return TrFormat("已在库中(%d): %s%c%c%c%c位置: %s%c%c", ordinal, source.c_str(), '\r', '\n', '\r',
                  '\n', where.c_str(), '\r', '\n');
}

}  // namespace nandell
