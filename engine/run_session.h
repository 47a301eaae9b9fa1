#pragma once

// A window's organizing runs and undos, without the window: the job and its start checks, the
// undo worker and the run that can be undone, and the newest file message held for a window
// that shows at most about 30 a second. Events come out in the run's own terms (a run started,
// a file done, a run ended, an undo offered, an undo ended); each window decides what they mean
// for its controls. The Qt window and the Windows window are both thin views over it.
//
// Threads: the run and the undo work on threads of their own. They never call the listener;
// they call `wake` (from any thread, at most once until the next Pump), and the window answers
// by calling Pump on its own thread, which delivers what is due. Every listener call is made on
// the thread that calls Pump, Organize, Undo or StopAndWait (the window's).

#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "engine/organizer.h"
#include "engine/progress.h"
#include "engine/run_config.h"
#include "engine/run_events.h"
#include "engine/undo.h"
#include "platform/file_system.h"

namespace nandell {

/// The file a window shows while a run or an undo is under way, and how far it has come.
struct SessionProgress {
  bool undo = false;    ///< True while an undo is under way, false during a run.
  std::string message;  ///< The newest file's message, as the run or the undo words it.
  int32_t done = 0;     ///< Files handled so far (the newest file's ordinal).
  /// Files in all: those the run counted before its walk, or the files the undo takes back;
  /// never less than `done`, 0 when there are none to count.
  int32_t total = 0;
  /// About how many seconds the rest takes at the pace since the first file (ProgressEstimator,
  /// at the time of the newest file's event); -1 while not known.
  int32_t remaining_secs = -1;
  /// The three as the window shows them: "N / M 个文件, 剩余约 M:SS" (FormatProgress).
  std::string figures;
};

/// A dry run's plan: what a run of `config` would do with each file.
struct RunPlan {
  RunConfig config;              ///< The run's config (dry_run false): what carrying it out runs.
  std::vector<FileEvent> files;  ///< Every file's verdict (and every unreadable folder's).
  RunEndEvent end;               ///< The dry run's end, with its summary.
};

/// What a window hears from its session, always on its own thread (see the top of this file).
class SessionListener {
 public:
  virtual ~SessionListener() = default;
  /// A run (`undo` false) or an undo (`undo` true) has started.
  virtual void OnRunStarted(bool /*undo*/) {}
  /// The newest file of the run or undo in progress (or, before a run's first file, how far the
  /// library's index has come); files handled between two calls are not shown one by one. Never
  /// called after the end of the run or undo it belongs to.
  virtual void OnFileDone(const SessionProgress& /*progress*/) {}
  /// A run has ended (errorFile.txt written, or why not, in `event`).
  virtual void OnRunEnded(const RunEndEvent& /*event*/) {}
  /// The plan of a Preview, right after its dry run's OnRunEnded; not for a preview stopped.
  virtual void OnPlanReady(const RunPlan& /*plan*/) {}
  /// An undo has ended: its end, or why it was refused (`refusal` not empty; nothing changed).
  virtual void OnUndoEnded(const UndoEndEvent& /*end*/, const std::string& /*refusal*/) {}
  /// Whether there is a run to undo changed (see RunSession::CanUndo).
  virtual void OnUndoAvailable(bool /*available*/) {}
};

/// One window's runs and undos, one at a time.
class RunSession {
 public:
  /// Shortest time between two file messages delivered by Pump (about 30 a second); a run's or
  /// an undo's end is delivered at once.
  static constexpr std::chrono::milliseconds kRefreshInterval{33};

  /// A session reporting to `listener`, working through `file_system`; both must outlive it.
  /// `wake` is called from any thread when Pump has something to deliver (at most once until
  /// the next Pump); it must not block or call into the session. `known_files` opens the
  /// library's index for every run (unless its config names one) and undo.
  RunSession(SessionListener& listener, std::function<void()> wake,
             fs::FileSystem& file_system = fs::RealFileSystem(), KnownFilesOpener known_files = {});
  /// Stops a run or an undo in progress and waits for it (StopAndWait).
  ~RunSession();

  RunSession(const RunSession&) = delete;
  RunSession& operator=(const RunSession&) = delete;

  /// Starts a run on `config` after the start checks. Returns true when it started
  /// (OnRunStarted was called); false with `refusal` set to the text for the user's notice box
  /// (caption kStartRefusalCaption), or false with `refusal` empty while an undo is under way.
  /// The end of an earlier run not yet delivered is delivered first.
  bool Organize(RunConfig config, std::string* refusal);
  /// Starts a dry run of `config` as Organize starts a run (the same checks and events), which
  /// keeps every file's verdict: its plan comes to OnPlanReady and LastPlan, its config ready
  /// to be carried out. A dry run changes nothing on disk, nor what can be undone.
  bool Preview(RunConfig config, std::string* refusal);
  /// Asks the run or the undo in progress to stop after the file in hand. Does not wait.
  void Stop();
  /// Stops a run or undo in progress, waits for it and delivers what is due (a window closing).
  void StopAndWait();

  /// True from a run's start until its worker's wind-up (false at once after Stop).
  bool IsRunning() const;
  /// True from an undo's start until its end was delivered.
  bool IsUndoing() const { return undo_active_; }
  /// True while neither a run nor an undo is under way.
  bool IsIdle() const { return !IsRunning() && !undo_active_; }

  /// True when the last run that ended placed files into `output_folder` (the window's output
  /// folder as chosen now), is not undone to its end, and the session is idle.
  bool CanUndo(const std::string& output_folder) const;
  /// The number of files an undo of the last run would take back, for the question before it.
  /// Returns false with `refusal` set when it cannot be undone (undone already from the command
  /// line, say, or its journal unreadable); Undo then delivers that refusal.
  bool UndoCount(size_t* count, std::string* refusal) const;
  /// The same for the run of journal `journal` (UndoJournal).
  bool UndoCount(const std::string& journal, size_t* count, std::string* refusal) const;
  /// Undoes the last run (CanUndo must hold) on the undo's own thread: OnRunStarted(true), its
  /// files through OnFileDone, then OnUndoEnded. A run that cannot be undone is not started:
  /// OnUndoEnded is called at once with the refusal.
  void Undo();
  /// Undoes the run of journal `journal` in the same way (any run that can still be undone).
  void UndoJournal(const std::string& journal);

  /// Delivers what is due to the listener, on the calling (window's) thread: a run's or undo's
  /// end, the newest file message when kRefreshInterval has passed since the last one. Returns
  /// the milliseconds after which a file message held back is due (the window calls Pump again
  /// then, with a timer), or -1 when nothing is held back.
  int Pump();

  /// The end of the last run that was delivered.
  const RunEndEvent& LastReport() const { return last_report_; }
  /// Opens the failure list of the last run delivered, when it wrote one, in the desktop's
  /// viewer; nobody waits for it.
  void ShowFailureList() const;
  /// ListRuns of `output_folder` through the session's file system.
  std::vector<std::pair<std::string, Journal>> ListRuns(const std::string& output_folder) const;
  /// The plan of the last preview delivered (empty before one, and again once a run starts).
  const RunPlan& LastPlan() const { return plan_; }
  /// Runs, undos and file messages delivered since the session began.
  int RunsEnded() const { return runs_ended_; }
  int UndosEnded() const { return undos_ended_; }
  int Refreshes() const { return refreshes_; }
  /// True from a run's start until its worker has returned (wind-up and failure report done).
  bool IsWorkerActive() const;

 private:
  class Observer;

  bool Start(RunConfig config, bool keep_plan, std::string* refusal);
  void RestartEstimate(int32_t total);
  // Any thread: hold `progress` as the newest, and wake the window once.
  void Post(SessionProgress progress);
  void PostRunEnd(const RunEndEvent& event, std::vector<FileEvent> plan);
  void PostUndoEnd(const UndoEndEvent& end, const std::string& refusal);
  void WakeLocked(bool always);  // with mutex_ held
  // The window's thread: what the workers handed over, ends first.
  void DeliverEnds();
  void DeliverRunEnd(const RunEndEvent& event, std::vector<FileEvent> plan);
  void DeliverUndoEnd(const UndoEndEvent& end, const std::string& refusal);
  void JoinUndoWorker();

  SessionListener& listener_;
  std::function<void()> wake_;
  fs::FileSystem& file_system_;
  KnownFilesOpener known_files_;

  std::unique_ptr<Observer> observer_;
  std::unique_ptr<OrganizerJob> job_;

  // Guarded by mutex_: what the workers hand over to the window's thread.
  mutable std::mutex mutex_;
  bool woken_ = false;          // a wake, or the window's timer, is on its way
  bool timer_pending_ = false;  // ... and it is the timer of a message held back
  bool has_progress_ = false;
  SessionProgress progress_;
  bool run_ended_ = false;
  RunEndEvent run_end_;
  std::vector<FileEvent> run_plan_;  // a preview's verdicts
  ProgressEstimator estimator_;      // of the run or undo under way
  int32_t undo_total_ = 0;           // files the undo under way takes back
  bool undo_ended_ = false;
  UndoEndEvent undo_end_;
  std::string undo_refusal_;
  std::string undo_journal_running_;  // journal of the undo under way

  // The window's thread only.
  std::chrono::steady_clock::time_point last_refresh_{};
  bool refreshed_ = false;   // last_refresh_ holds a time during this run or undo
  std::string run_output_;   // output folder of the run started last
  bool previewing_ = false;  // the run started last is a preview
  std::string undo_journal_;
  std::string undo_output_;
  std::thread undo_worker_;
  std::atomic<bool> undo_running_{false};
  bool undo_active_ = false;
  RunEndEvent last_report_;
  RunConfig preview_config_;  // of the preview under way
  RunPlan plan_;
  int runs_ended_ = 0;
  int undos_ended_ = 0;
  int refreshes_ = 0;
};

}  // namespace nandell
