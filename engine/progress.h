#pragma once

// How far a run or an undo has come and about how long the rest will take, in one place for
// every window and the command line's live line: the files done of the files counted, and the
// time left at the pace kept since the first file.

#include <chrono>
#include <cstdint>
#include <string>

#include "platform/translate.h"

namespace nandell {

/// The figures of a run or an undo under way.
struct ProgressFigures {
  int32_t done = 0;             ///< Files handled so far.
  int32_t total = 0;            ///< Files to handle in all (never less than `done`); 0: unknown.
  int32_t remaining_secs = -1;  ///< About how many seconds the rest takes; -1: not known yet.
};

/// The estimate of the time left from the files done and the time they took. The pace is
/// taken from the first file on (not from the start, which the count of the files and the
/// opening of the folders take), and only after kSettleTime, before which it says too little.
class ProgressEstimator {
 public:
  using Clock = std::chrono::steady_clock;
  /// The time the pace is measured over before an estimate is given.
  static constexpr std::chrono::milliseconds kSettleTime{1000};

  /// Forgets the last run's pace: a new run or undo begins.
  void Restart() { first_done_ = -1; }
  /// The figures once `done` of `total` files are handled at `now` (the time of that event).
  ProgressFigures Update(int32_t done, int32_t total, Clock::time_point now);

 private:
  int32_t first_done_ = -1;  // files done at the first event, -1 before it
  Clock::time_point first_time_{};
};

/// "N / M 个文件, 剩余约 M:SS" in the chosen language; without the time left while it is not
/// known, and empty while the total is not.
std::string FormatProgress(const ProgressFigures& figures);

}  // namespace nandell
