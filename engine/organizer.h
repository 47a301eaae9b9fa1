#pragma once

// The organizing run: a RunConfig in, the walk that plans and transfers every matching file,
// and events out (RunObserver). Used by the main window and by the command line; neither
// needs more than this header.

#include <atomic>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <unordered_map>
#include <unordered_set>

#include "engine/placement.h"
#include "engine/plan.h"
#include "engine/run_config.h"
#include "engine/run_events.h"
#include "platform/file_system.h"
#include "platform/translate.h"

namespace nandell {

struct Transfer;
class TransferThreads;
class RunJournal;
class SidecarIndex;

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
/// so) with `failure_log` as its whole content: the failure lines and the summary. Fills
/// `path` when it was written, else `problem` with the path, ": " and the reason. Returns
/// true when written.
bool WriteFailureReport(fs::FileSystem& file_system, const RunConfig& config,
                        const std::string& failure_log, std::string* path, std::string* problem);

/// The run state and the worker of organizing runs, one at a time. All accessors are
/// thread-safe: the texts are guarded by one lock and handed out as copies.
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
  // Worker thread only, from here to WindUp.
  void OrganizerThread();
  void ScanFolder(const fs::FolderRef& folder);
  bool HandleFile(const fs::FolderRef& folder, const std::string& name, const std::string& present,
                  const fs::FolderListing& listing, const SidecarIndex& sidecars);
  void UnreadableFolder(const std::string& folder, int error);
  bool Predict(const fs::FileAt& file, const std::string& source, const TargetPlan& plan,
               const std::string& relative);
  struct FolderCheck;
  const FolderCheck& CheckFolder(const fs::Folder& base, const std::string& relative);
  int PredictTransfer(const fs::FileAt& file, const FolderCheck& target);
  bool JournalWritable();
  int PredictRecovery(const fs::FileAt& taken,
                      const std::function<bool(const std::string&)>& name_free, std::string* name);
  TransferThreads* Threads();
  void TransferFile(std::shared_ptr<Transfer> transfer);
  void Settle(std::shared_ptr<Transfer> transfer);
  void ReportSettled(bool wait_for_front);
  void Report(const Transfer& transfer);
  void WindUp();

  RunObserver& observer_;
  fs::FileSystem& file_system_;

  std::atomic<bool> IsRunning_{false};
  std::atomic<bool> worker_active_{false};
  std::atomic<bool> stop_requested_{false};

  mutable std::mutex mutex_;  // guards the three fields below
  JobCounters counters_;
  std::string FailureLog_;
  std::string LastMessage_;

  // The run's own state, set before its worker starts and used by the worker only.
  RunConfig config_;
  std::unique_ptr<TransferThreads> threads_;
  bool threads_tried_ = false;
  std::deque<std::shared_ptr<Transfer>> unreported_;  // in walk order
  size_t unreported_limit_ = 0;
  std::unique_ptr<RunJournal> journal_;  // the run's journal (none in a dry run)
  // Dry run: the names that earlier files would take, with the source that would be there.
  std::unordered_map<std::string, fs::FileAt> claimed_;
  // Dry run: what making a folder and adding to it would meet (CheckTargetFolder's results).
  // Nothing changes during a dry run, so each target folder is looked at once, and each
  // source folder while its files are taken.
  struct FolderCheck {
    int error = 0;
    int add_error = 0;
    uint64_t device = 0;
  };
  std::unordered_map<std::string, FolderCheck> target_checks_;  // by relative path
  std::string source_check_path_;
  FolderCheck source_check_;
  // Dry run: a file was predicted to fail for want of the journal (so would every later one).
  bool journal_lost_ = false;
  // How far the search for free names has come, per planned target.
  ConflictNumbers conflict_numbers_;
  // The folder that every target folder is relative to: the output folder (its part up to
  // the last "/"), opened once at the start; or why it could not be.
  std::string output_base_path_;
  fs::FolderRef output_base_;
  int output_base_error_ = 0;
  // Target folders (relative to the output base) cleared of killed runs' leftovers, or made by
  // this run.
  std::unordered_set<std::string> cleared_;
  // The target folder of the last file, kept open for the next files of the same day where
  // the file system keeps an open folder in its place (FoldersStayInPlace).
  std::string last_target_relative_;
  fs::FolderRef last_target_;

  std::mutex worker_mutex_;  // guards worker_ (start, wait, destruction)
  std::thread worker_;
  std::atomic<std::thread::id> worker_id_{};
};

}  // namespace nandell
