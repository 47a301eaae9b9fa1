#include "engine/run_events.h"

namespace nandell {
namespace {

// " (REASON)", or nothing without a reason.
std::string Bracketed(const std::string& reason) {
  return reason.empty() ? std::string() : " (" + reason + ")";
}

}  // namespace

std::string FormatSummary(const JobCounters& counters) {
  std::string summary = "\r\n\r\n整理文件 " + std::to_string(counters.ProcessedCount) +
                        " 个, 失败 " + std::to_string(counters.FailedCount) + " 个";
  if (counters.SkippedCount > 0) {
    summary += ", 跳过 " + std::to_string(counters.SkippedCount) + " 个";
  }
  return summary;
}

std::string FormatFileMessage(int32_t ordinal, const std::string& source, const std::string& target,
                              bool move, bool ok, const std::string& reason) {
  if (!ok) {
    const char* failed = move ? "移动文件失败: " : "复制文件失败: ";
    return std::string(failed) + source + " -> " + target + Bracketed(reason) + "\r\n";
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

std::string FormatUnreadableFolder(const std::string& folder, const std::string& reason) {
  return "无法读取目录: " + folder + Bracketed(reason) + "\r\n";
}

std::string FailureReason(const std::string& reason, const std::string& kept_as) {
  if (kept_as.empty()) return reason;
  return reason + ", 源文件保留为: " + kept_as;
}

}  // namespace nandell
