#include "engine/run_events.h"

namespace nandell {

std::string FormatSummary(const JobCounters& counters) {
  std::string summary = "\r\n\r\n整理文件 " + std::to_string(counters.ProcessedCount) +
                        " 个, 失败 " + std::to_string(counters.FailedCount) + " 个";
  if (counters.SkippedCount > 0) {
    summary += ", 跳过 " + std::to_string(counters.SkippedCount) + " 个";
  }
  return summary;
}

std::string FormatFileMessage(int32_t ordinal, const std::string& source, const std::string& target,
                              bool move, bool ok) {
  if (!ok) {
    const char* failed = move ? "移动文件失败: " : "复制文件失败: ";
    return std::string(failed) + source + " -> " + target + "\r\n";
  }
  const char* done = move ? "移动文件(" : "复制文件(";
  const char* to = move ? "移动到: " : "复制到: ";
  return std::string(done) + std::to_string(ordinal) + "): " + source + "\r\n\r\n" + to + target +
         "\r\n";
}

std::string FormatSkipMessage(int32_t ordinal, const std::string& source,
                              const std::string& target) {
  return "相同文件已存在(" + std::to_string(ordinal) + "): " + source + "\r\n\r\n跳过: " + target +
         "\r\n";
}

}  // namespace nandell
