#include "engine/run_events.h"

#include "platform/translate.h"

namespace nandell {

std::string FormatSummary(const JobCounters& counters) {
  return TrFormat("%c%c%c%c整理文件 %d 个, 失败 %d 个", '\r', '\n', '\r', '\n',
                  counters.ProcessedCount, counters.FailedCount);
}

std::string FormatFileMessage(int32_t ordinal, const std::string& source, const std::string& target,
                              bool move, bool ok) {
  const char* from = source.c_str();
  const char* to = target.c_str();
  if (!ok) {
    return move ? TrFormat("移动文件失败: %s -> %s%c%c", from, to, '\r', '\n')
                : TrFormat("复制文件失败: %s -> %s%c%c", from, to, '\r', '\n');
  }
  return move ? TrFormat("移动文件(%d): %s%c%c%c%c移动到: %s%c%c", ordinal, from, '\r', '\n', '\r',
                         '\n', to, '\r', '\n')
              : TrFormat("复制文件(%d): %s%c%c%c%c复制到: %s%c%c", ordinal, from, '\r', '\n', '\r',
                         '\n', to, '\r', '\n');
}

}  // namespace nandell
