#include "engine/run_events.h"

#include "platform/translate.h"

namespace nandell {
namespace {

// " (REASON)", or nothing without a reason.
std::string Bracketed(const std::string& reason) {
  return reason.empty() ? std::string() : " (" + reason + ")";
}

}  // namespace

std::string FormatSummary(const JobCounters& counters) {
  std::string summary = TrFormat("%c%c%c%c整理文件 %d 个, 失败 %d 个", '\r', '\n', '\r', '\n',
                                 counters.ProcessedCount, counters.FailedCount);
  if (counters.SkippedCount > 0) summary += TrFormat(", 跳过 %d 个", counters.SkippedCount);
  return summary;
}

std::string FormatFileMessage(int32_t ordinal, const std::string& source, const std::string& target,
                              bool move, bool ok, const std::string& reason) {
  const char* from = source.c_str();
  const char* to = target.c_str();
  if (!ok) {
    const std::string why = Bracketed(reason);
    return move ? TrFormat("移动文件失败: %s -> %s%s%c%c", from, to, why.c_str(), '\r', '\n')
                : TrFormat("复制文件失败: %s -> %s%s%c%c", from, to, why.c_str(), '\r', '\n');
  }
  return move ? TrFormat("移动文件(%d): %s%c%c%c%c移动到: %s%c%c", ordinal, from, '\r', '\n', '\r',
                         '\n', to, '\r', '\n')
              : TrFormat("复制文件(%d): %s%c%c%c%c复制到: %s%c%c", ordinal, from, '\r', '\n', '\r',
                         '\n', to, '\r', '\n');
}

std::string FormatCompanionLine(const std::string& source, const std::string& target, bool move,
                                FileOutcome outcome, const std::string& kept_as) {
  const char* from = source.c_str();
  const char* to = target.c_str();
  switch (outcome) {
    case FileOutcome::kTransferred:
      return move ? TrFormat("一同移动: %s -> %s%c%c", from, to, '\r', '\n')
                  : TrFormat("一同复制: %s -> %s%c%c", from, to, '\r', '\n');
    case FileOutcome::kSkipped:
      return TrFormat("一同跳过: %s -> %s%c%c", from, to, '\r', '\n');
    default:
      break;
  }
  const std::string why = Bracketed(kept_as.empty() ? kept_as : Tr("源文件保留为: ") + kept_as);
  return move ? TrFormat("同组文件未移动: %s -> %s%s%c%c", from, to, why.c_str(), '\r', '\n')
              : TrFormat("同组文件未复制: %s -> %s%s%c%c", from, to, why.c_str(), '\r', '\n');
}

std::string FormatSkipMessage(int32_t ordinal, const std::string& source,
                              const std::string& target) {
  return TrFormat("相同文件已存在(%d): %s%c%c%c%c跳过: %s%c%c", ordinal, source.c_str(), '\r', '\n',
                  '\r', '\n', target.c_str(), '\r', '\n');
}

std::string FormatUnreadableFolder(const std::string& folder, const std::string& reason) {
  return TrFormat("无法读取目录: %s%s%c%c", folder.c_str(), Bracketed(reason).c_str(), '\r', '\n');
}

std::string FailureReason(const std::string& reason, const std::string& kept_as) {
  if (kept_as.empty()) return reason;
  return reason + Tr(", 源文件保留为: ") + kept_as;
}

}  // namespace nandell
