#pragma once

// The organizing job: a RunConfig in, one run at a time on a worker thread (engine/run.h walks,
// plans and transfers every matching file), and events out (RunObserver). Used by the main
// window and by the command line; neither needs more than this header.

#include <atomic>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

#include "engine/run_config.h"
#include "engine/run_events.h"
#include "engine/spilled_text.h"
#include "platform/file_system.h"
#include "platform/translate.h"

namespace nandell {

struct Transfer;
class Run;

/// The caption of the start refusal boxes (translated where it is shown).
inline constexpr const char* kStartRefusalCaption = TrNoop("提示");

/// The five start checks, in order, on the two folder texts (which end with "/"). Returns the
/// refusal text in the chosen language ("请先选择目录.", "照片目录和输出目录不能是同一个目录.",
/// "照片目录和输出目录不能在是同一个目录内.", "目录不存在:" + folder), or empty when the run may
/// start. After the four designed checks on the texts, the two existing folders are compared
/// once more with links, "." and ".." resolved (same or nested: the same two texts).
std::string CheckStart(const std::string& photo_folder, const std::string& output_folder,
                       fs::FileSystem& file_system = fs::RealFileSystem());

/// Writes errorFile.txt into the config's error-file folder (made first when the config says
/// so) with the failure lines and the summary as its whole content, handed a piece at a time
/// by `failure_log` to the `write` it is given. Fills `path` when it was written, else
/// `problem` with the path, ": " and the reason. Returns true when written.
bool WriteFailureReport(
    fs::FileSystem& file_system, const RunConfig& config,
    const std::function<void(const std::function<bool(std::string_view)>& write)>& failure_log,
    std::string* path, std::string* problem);

/// The worker of organizing runs, one at a time, and the counters and texts of the current or
/// last run. All accessors are thread-safe: the texts are guarded by one lock and handed out as
/// copies.
class OrganizerJob {
 public:
  /// A job reporting to `observer` and working through `file_system`; both must outlive it.
  explicit OrganizerJob(RunObserver& observer, fs::FileSystem& file_system = fs::RealFileSystem());
  /// Stops a running worker and waits for it (a closing window never leaves one behind).
  ~OrganizerJob();

  OrganizerJob(const OrganizerJob&) = delete;
  OrganizerJob& operator=(const OrganizerJob&) = delete;

  /// "OnOrganize" without the window: the five start checks on the config's folders; when
  /// they pass and no run is active, resets the counters and texts, sets IsRunning and
  /// starts the worker on `config`, which the run keeps to its end (a previous, finished
  /// worker is joined first, so two workers never share FailureLog). Returns the refusal
  /// text, or empty when the run started; a run still active, or a start asked for on the
  /// worker thread itself, is refused with kRunActiveText; a worker thread that the system
  /// refuses to start leaves the job idle and returns kStartFailedText.
  std::string OnOrganize(RunConfig config);
  /// Asks the walk to stop (IsRunning = 0): the file in hand and the transfers already under
  /// way finish and are reported; no further transfer starts. Does not wait. Safe in a
  /// signal handler (it only stores into lock-free atomics).
  void OnStop();
  /// Waits until the current worker, if any, has returned (returns at once on the worker).
  void Wait();

  /// True from a start until the worker's wind-up, false at once after OnStop.
  bool IsRunning() const { return IsRunning_.load(); }
  /// True from a start until the worker has returned (wind-up and failure report done).
  bool IsWorkerActive() const { return worker_active_.load(); }
  /// Counters of the current or last run.
  JobCounters Counters() const;
  /// The message of the last file taken, or the summary once the run has ended.
  std::string LastMessage() const;
  /// The failure lines of the current or last run (and the summary once it has ended).
  std::string FailureLog() const;

  /// Refusal text of OnOrganize while a run is still active (returned translated).
  static constexpr const char* kRunActiveText = TrNoop("整理正在进行.");
  /// Refusal text of OnOrganize when the system cannot start the worker thread (returned
  /// translated).
  static constexpr const char* kStartFailedText = TrNoop("无法开始整理.");

 private:
  // Worker thread only.
  void OrganizerThread(const RunConfig& config);
  void Report(const Transfer& transfer);
  void WindUp(const RunConfig& config, Run& run, const std::string& index_notices);
  // Hands the failure lines, in order, to `write`.
  void FailureLines(const std::function<bool(std::string_view)>& write) const;

  RunObserver& observer_;
  fs::FileSystem& file_system_;

  std::atomic<bool> IsRunning_{false};
  std::atomic<bool> worker_active_{false};
  std::atomic<bool> stop_requested_{false};

  mutable std::mutex mutex_;  // guards the four fields below
  JobCounters counters_;
  int32_t total_ = 0;       // the files the run counted before its walk
  SpilledText FailureLog_;  // the failure lines
  std::string LastMessage_;

  std::mutex worker_mutex_;  // guards worker_ (start, wait, destruction)
  std::thread worker_;
  std::atomic<std::thread::id> worker_id_{};
};

}  // namespace nandell
