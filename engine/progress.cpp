#include "engine/progress.h"

#include <algorithm>
#include <cmath>

namespace nandell {

ProgressFigures ProgressEstimator::Update(int32_t done, int32_t total, Clock::time_point now) {
  ProgressFigures figures;
  figures.done = done;
  // Files added after the count are still counted once they are done.
  figures.total = total > 0 ? std::max(total, done) : 0;
  if (first_done_ < 0) {
    first_done_ = done;
    first_time_ = now;
    return figures;
  }
  const auto span = now - first_time_;
  const int32_t since = done - first_done_;
  if (figures.total == 0 || since <= 0 || span < kSettleTime) return figures;
  const double seconds = std::chrono::duration<double>(span).count();
  const double left = seconds * (figures.total - done) / since;
  figures.remaining_secs = static_cast<int32_t>(std::min(std::ceil(left), 359999.0));
  return figures;
}

std::string FormatProgress(const ProgressFigures& figures) {
  if (figures.total <= 0) return std::string();
  std::string text = TrFormat("%d / %d 个文件", figures.done, figures.total);
  if (figures.remaining_secs >= 0) {
    text += TrFormat(", 剩余约 %d:%02d", figures.remaining_secs / 60, figures.remaining_secs % 60);
  }
  return text;
}

}  // namespace nandell
