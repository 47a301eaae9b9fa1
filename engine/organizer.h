#pragma once

// The organizing run: the walk that dates and files every matching photo, and the start, stop
// and wind-up around it. Used by the main window and by the command line; neither needs more
// than this header.

#include <atomic>
#include <cstdint>
#include <mutex>
#include <string>
#include <thread>

namespace nandell {

class SettingsStore;
class TransferPipeline;
namespace fs {
class DirectoryListing;
}

/// The two counters of a run (both 0 at its start).
struct JobCounters {
  int32_t ProcessedCount = 0;  ///< Files taken so far, failed ones included (the ordinal).
  int32_t FailedCount = 0;     ///< Files whose copy or move failed.
};

/// A copy of the run state carried with every progress notification, so that the receiver
/// never reads a text that the worker is replacing.
struct JobSnapshot {
  bool IsRunning = false;    ///< False in the wind-up notification (and after a stop).
  JobCounters counters;      ///< Counters after the file just handled.
  std::string LastMessage;   ///< The message of the file just handled, or the summary line.
  bool is_summary = false;   ///< True for the one wind-up notification carrying the summary.
  bool file_failed = false;  ///< True when the file just handled failed.
};

/// What the wind-up reports once the failure report has been dealt with.
struct RunReport {
  JobCounters counters;    ///< Final counters.
  std::string summary;     ///< The summary line ("\r\n\r\n整理文件 %d 个, 失败 %d 个").
  bool stopped = false;    ///< True when the run was stopped before the walk finished.
  std::string error_file;  ///< Path of errorFile.txt when it was written, else empty.
  /// When the run had failures but errorFile.txt could not be written: its path, ": " and
  /// the reason. Empty otherwise.
  std::string error_file_problem;
};

/// Receives the run's reports. Every call is made on the worker thread and must return
/// promptly without waiting for the thread that waits for the worker: the window forwards
/// each call to its own thread (Qt queued connection, order kept); the command line prints.
/// The wind-up calls come in this order: OnJobProgress (summary, is_summary true; made after
/// IsRunning has become false and after EnableOrganizeButton), HideStopButton,
/// InvalidateMessage, then OnRunEnded after errorFile.txt was written (or not).
class ProgressSink {
 public:
  virtual ~ProgressSink() = default;
  /// After every file taken (success or failure) and once at the wind-up with the summary.
  virtual void OnJobProgress(const JobSnapshot& snapshot) = 0;
  /// Wind-up: the organize button may be enabled again (comes before the summary progress).
  virtual void EnableOrganizeButton() {}
  /// Wind-up: the stop button is to be hidden.
  virtual void HideStopButton() {}
  /// Wind-up: the message area is to be redrawn over the skin.
  virtual void InvalidateMessage() {}
  /// Last call of a run, after the failure report; the worker returns right after it.
  virtual void OnRunEnded(const RunReport& report) { (void)report; }
};

/// Options of one run that the window does not change.
struct RunOptions {
  /// After writing errorFile.txt, show it with SettingsStore::RunProgram("notepad.exe", ...).
  /// The command line sets this to false: it never opens an editor.
  bool show_failure_report = true;
  /// Folder of errorFile.txt, ending with "/"; empty means the settings store's ConfigDir,
  /// which is created first when it is the per-user folder.
  std::string failure_report_dir;
  /// Transfers carried out at once. Each copy is flushed to disk before it takes its name;
  /// flushes made together share the file system's journal commits, which makes a run many
  /// times faster. Files are still reported one at a time in walk order on the worker
  /// thread, and a stop lets the transfers already begun finish. 1: one file at a time.
  int parallel_transfers = 8;
};

/// The caption of the start refusal boxes.
inline constexpr const char* kStartRefusalCaption = "提示";

/// The five start checks, in order, on the two folder texts (which end with "/"). Returns the
/// refusal text ("请先选择目录.", "照片目录和输出目录不能是同一个目录.",
/// "照片目录和输出目录不能在是同一个目录内.", "目录不存在:" + folder), or empty when the run may
/// start. After the four designed checks on the texts, the two existing folders are compared
/// once more with links, "." and ".." resolved (same or nested: the same two texts).
std::string CheckStart(const std::string& photo_folder, const std::string& output_folder);

/// The summary line for the given counters.
std::string FormatSummary(const JobCounters& counters);

/// The run state and the worker of one organizing job. All accessors are thread-safe: the
/// texts are guarded by one lock and handed out as copies. One run at a time.
class OrganizerJob {
 public:
  /// A job reporting to `sink` and reading FileFilters, IsClassifyByYear, MediaDates and
  /// ConfigDir from `settings` (under its Mutex, afresh for every file). Both must outlive
  /// the job.
  OrganizerJob(SettingsStore& settings, ProgressSink& sink, RunOptions options = {});
  /// Stops a running worker and waits for it (a closing window never leaves one behind).
  ~OrganizerJob();

  OrganizerJob(const OrganizerJob&) = delete;
  OrganizerJob& operator=(const OrganizerJob&) = delete;

  /// Photo folder text (the window's "PhotoFolder"); read once when a run starts.
  void SetPhotoFolder(std::string folder);
  std::string PhotoFolder() const;
  /// Output folder text; read afresh for every file, so a change affects the files left.
  void SetOutputFolder(std::string folder);
  std::string OutputFolder() const;
  /// Nonzero: move files; zero: copy them. Read afresh for every file.
  void SetDeleteSource(int32_t delete_source);
  int32_t DeleteSource() const;

  /// True from a start until the worker's wind-up, false at once after OnStop.
  bool IsRunning() const { return IsRunning_.load(); }
  /// True from a start until the worker has returned (wind-up and failure report done).
  bool IsWorkerActive() const { return worker_active_.load(); }
  JobCounters Counters() const;
  std::string LastMessage() const;
  std::string FailureLog() const;
  /// Replaces LastMessage (the window's UpdateData from its controls may do this).
  void SetLastMessage(std::string message);

  /// "OnOrganize" without the window: the five start checks on PhotoFolder and OutputFolder;
  /// when they pass and no run is active, resets the counters and texts, sets IsRunning and
  /// starts the worker thread (a previous, finished worker is joined first, so two workers
  /// never share FailureLog). Returns the refusal text, or empty when the run started; a run
  /// still active, or a start asked for on the worker thread itself, is refused with
  /// kRunActiveText (the window's disabled button prevents it); a worker thread that the
  /// system refuses to start leaves the job idle and returns kStartFailedText.
  std::string OnOrganize();
  /// Asks the walk to stop after the file(s) in hand (IsRunning = 0). Does not wait. Safe in a
  /// signal handler (it only stores into lock-free atomics).
  void OnStop();
  /// Waits until the current worker, if any, has returned (returns at once on the worker).
  void Wait();

  /// The worker body: ScanFolder over a copy of PhotoFolder, then the wind-up. OnOrganize runs
  /// it on the worker thread; without IsRunning set the walk takes nothing.
  void OrganizerThread();
  /// The recursive walk of one folder (a trailing "/" is added when missing); worker thread.
  void ScanFolder(std::string folder);

  /// Refusal text of OnOrganize while a run is still active.
  static constexpr const char* kRunActiveText = "整理正在进行.";
  /// Refusal text of OnOrganize when the system cannot start the worker thread.
  static constexpr const char* kStartFailedText = "无法开始整理.";

 private:
  void HandleFile(const std::string& folder, const std::string& name,
                  const fs::DirectoryListing& listing);
  void Report(const std::string& source, const std::string& target, bool moved, bool ok);
  void WindUp();

  TransferPipeline* pipeline_ = nullptr;  // the run's transfer threads (worker thread only)

  SettingsStore& settings_;
  ProgressSink& sink_;
  RunOptions options_;

  std::atomic<bool> IsRunning_{false};
  std::atomic<bool> worker_active_{false};
  std::atomic<bool> stop_requested_{false};

  mutable std::mutex mutex_;  // guards the fields below
  JobCounters counters_;
  std::string FailureLog_;
  std::string LastMessage_;
  std::string PhotoFolder_;
  std::string OutputFolder_;
  int32_t DeleteSource_ = 0;

  std::mutex worker_mutex_;  // guards worker_ (start, wait, destruction)
  std::thread worker_;
  std::atomic<std::thread::id> worker_id_{};
};

}  // namespace nandell
