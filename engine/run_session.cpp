#include "engine/run_session.h"

#include <algorithm>
#include <system_error>
#include <utility>

#include "engine/journal.h"
#include "settings/settings_store.h"

namespace nandell {

// Receives the run's events on its worker thread and hands them to the session; it never
// waits for the window.
class RunSession::Observer : public RunObserver {
 public:
  explicit Observer(RunSession* session) : session_(session) {}

  /// Whether the next run's verdicts are kept (a preview); set before its worker starts.
  void KeepPlan(bool keep) {
    keep_plan_ = keep;
    plan_.clear();
  }

  void OnFileDone(const FileEvent& event) override {
    if (keep_plan_) plan_.push_back(event);
    SessionProgress progress;
    progress.message = event.message;
    progress.done = event.ordinal;
    progress.total = event.total;
    session_->Post(std::move(progress));
  }
  void OnRunEnded(const RunEndEvent& event) override {
    session_->PostRunEnd(event, std::move(plan_));
    plan_.clear();
  }
  void OnIndexProgress(const IndexProgress& progress) override {
    SessionProgress shown;
    shown.message = FormatIndexProgress(progress);
    session_->Post(std::move(shown));
  }

 private:
  RunSession* session_;
  // The worker's own while a run is under way.
  bool keep_plan_ = false;
  std::vector<FileEvent> plan_;
};

RunSession::RunSession(SessionListener& listener, std::function<void()> wake,
                       fs::FileSystem& file_system, KnownFilesOpener known_files)
    : listener_(listener),
      wake_(std::move(wake)),
      file_system_(file_system),
      known_files_(std::move(known_files)) {
  observer_ = std::make_unique<Observer>(this);
  job_ = std::make_unique<OrganizerJob>(*observer_, file_system_);
}

RunSession::~RunSession() {
  StopAndWait();
}

bool RunSession::IsRunning() const {
  return job_->IsRunning();
}

bool RunSession::IsWorkerActive() const {
  return job_->IsWorkerActive();
}

// ---- Runs ----

bool RunSession::Organize(RunConfig config, std::string* refusal) {
  return Start(std::move(config), false, refusal);
}

bool RunSession::Preview(RunConfig config, std::string* refusal) {
  RunConfig to_run = config;
  to_run.dry_run = false;
  config.dry_run = true;
  if (!Start(std::move(config), true, refusal)) return false;
  preview_config_ = std::move(to_run);
  return true;
}

bool RunSession::Start(RunConfig config, bool keep_plan, std::string* refusal) {
  refusal->clear();
  if (undo_active_) return false;
  if (!job_->IsRunning()) {
    // A run that has wound up may still be writing its report: it ends, and its end is
    // delivered, before the next run starts, so that the two never mix in the window.
    job_->Wait();
    DeliverEnds();
    std::lock_guard<std::mutex> lock(mutex_);
    has_progress_ = false;  // a file message of the last run is not the next run's
    // No worker runs now: the observer and the estimate are the window's until the next one
    // starts.
    observer_->KeepPlan(keep_plan);
    estimator_.Restart();
  }
  const std::string output = config.output_folder;
  if (!config.known_files) config.known_files = known_files_;
  *refusal = job_->OnOrganize(std::move(config));
  if (!refusal->empty()) return false;
  run_output_ = output;
  previewing_ = keep_plan;
  plan_ = RunPlan();  // the last preview's plan is not kept beyond the next run
  refreshed_ = false;
  listener_.OnRunStarted(false);
  return true;
}

void RunSession::Stop() {
  job_->OnStop();
  undo_running_.store(false);
}

void RunSession::StopAndWait() {
  // An undo that is stopped is finished by the next one.
  undo_running_.store(false);
  JoinUndoWorker();
  job_->OnStop();
  job_->Wait();
}

// ---- Undo ----

bool RunSession::CanUndo(const std::string& output_folder) const {
  return IsIdle() && !undo_journal_.empty() && undo_output_ == output_folder;
}

namespace {

// The files an undo of `path` would take back, or why it cannot be undone.
bool PendingCount(fs::FileSystem& file_system, const std::string& path, size_t* count,
                  std::string* refusal) {
  *count = 0;
  refusal->clear();
  Journal journal;
  if (!ReadJournal(file_system, path, &journal, refusal)) return false;
  if (FullyUndone(journal)) {
    *refusal = Tr(kAlreadyUndoneText) + path;
    return false;
  }
  *count = static_cast<size_t>(journal.pending);
  return true;
}

}  // namespace

bool RunSession::UndoCount(size_t* count, std::string* refusal) const {
  return UndoCount(undo_journal_, count, refusal);
}

bool RunSession::UndoCount(const std::string& journal, size_t* count, std::string* refusal) const {
  return PendingCount(file_system_, journal, count, refusal);
}

void RunSession::Undo() {
  UndoJournal(undo_journal_);
}

void RunSession::UndoJournal(const std::string& journal) {
  if (!IsIdle()) return;
  JoinUndoWorker();
  size_t count = 0;
  std::string refusal;
  undo_journal_running_ = journal;
  if (!PendingCount(file_system_, journal, &count, &refusal)) {
    // Undone already (from the command line, say), or unreadable: said where the outcome
    // would be, without starting anything.
    DeliverUndoEnd(UndoEndEvent(), refusal);
    return;
  }
  undo_active_ = true;
  undo_running_.store(true);
  refreshed_ = false;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    has_progress_ = false;
  }
  RestartEstimate(static_cast<int32_t>(count));
  listener_.OnRunStarted(true);
  try {
    undo_worker_ = std::thread([this, journal] {
      UndoEndEvent end;
      std::string refused;
      UndoRun(
          file_system_, journal, undo_running_,
          [this](const UndoFileEvent& event) {
            SessionProgress progress;
            progress.undo = true;
            progress.message = event.message;
            progress.done = event.ordinal;
            Post(std::move(progress));
          },
          &end, &refused, known_files_);
      PostUndoEnd(end, refused);
    });
  } catch (const std::system_error&) {
    DeliverUndoEnd(UndoEndEvent(), Tr(OrganizerJob::kStartFailedText));
  }
}

void RunSession::JoinUndoWorker() {
  if (undo_worker_.joinable()) undo_worker_.join();
}

// ---- From the workers to the window's thread ----

void RunSession::WakeLocked(bool always) {
  // One wake until the next Pump; an end also cuts short a timer that holds a message back.
  if (woken_ && !(always && timer_pending_)) return;
  woken_ = true;
  timer_pending_ = false;
  if (wake_) wake_();
}

void RunSession::RestartEstimate(int32_t total) {
  std::lock_guard<std::mutex> lock(mutex_);
  estimator_.Restart();
  undo_total_ = total;
}

void RunSession::Post(SessionProgress progress) {
  const auto now = ProgressEstimator::Clock::now();
  std::lock_guard<std::mutex> lock(mutex_);
  // The figures of every event, also of those a window never shows, at the time it came.
  if (progress.undo) progress.total = undo_total_;
  const ProgressFigures figures = estimator_.Update(progress.done, progress.total, now);
  progress.total = figures.total;
  progress.remaining_secs = figures.remaining_secs;
  progress.figures = FormatProgress(figures);
  progress_ = std::move(progress);
  has_progress_ = true;
  WakeLocked(false);
}

void RunSession::PostRunEnd(const RunEndEvent& event, std::vector<FileEvent> plan) {
  std::lock_guard<std::mutex> lock(mutex_);
  run_end_ = event;
  run_plan_ = std::move(plan);
  run_ended_ = true;
  has_progress_ = false;  // a file message still waiting would hide the summary
  WakeLocked(true);
}

void RunSession::PostUndoEnd(const UndoEndEvent& end, const std::string& refusal) {
  std::lock_guard<std::mutex> lock(mutex_);
  undo_end_ = end;
  undo_refusal_ = refusal;
  undo_ended_ = true;
  has_progress_ = false;
  WakeLocked(true);
}

int RunSession::Pump() {
  DeliverEnds();
  SessionProgress progress;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    woken_ = false;
    timer_pending_ = false;
    if (!has_progress_) return -1;
    // Within the refresh interval the message waits, and is then shown as the newest one.
    const auto now = std::chrono::steady_clock::now();
    if (refreshed_ && now - last_refresh_ < kRefreshInterval) {
      const auto wait =
          std::chrono::ceil<std::chrono::milliseconds>(kRefreshInterval - (now - last_refresh_));
      woken_ = true;
      timer_pending_ = true;
      return std::max(1, static_cast<int>(wait.count()));
    }
    progress = std::move(progress_);
    has_progress_ = false;
    last_refresh_ = now;
  }
  refreshed_ = true;
  ++refreshes_;
  listener_.OnFileDone(progress);
  return -1;
}

void RunSession::DeliverEnds() {
  bool run_ended = false;
  bool undo_ended = false;
  RunEndEvent run_end;
  std::vector<FileEvent> run_plan;
  UndoEndEvent undo_end;
  std::string undo_refusal;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    std::swap(run_ended, run_ended_);
    std::swap(undo_ended, undo_ended_);
    if (run_ended) {
      run_end = std::move(run_end_);
      run_plan = std::move(run_plan_);
    }
    if (undo_ended) {
      undo_end = std::move(undo_end_);
      undo_refusal = std::move(undo_refusal_);
    }
  }
  if (run_ended) DeliverRunEnd(run_end, std::move(run_plan));
  if (undo_ended) {
    JoinUndoWorker();
    DeliverUndoEnd(undo_end, undo_refusal);
  }
}

void RunSession::ShowFailureList() const {
  if (!last_report_.error_file.empty()) {
    SettingsStore::RunProgram("notepad.exe", last_report_.error_file, 0, 1, "open");
  }
}

std::vector<std::pair<std::string, Journal>> RunSession::ListRuns(
    const std::string& output_folder) const {
  return nandell::ListRuns(file_system_, output_folder);
}

void RunSession::DeliverRunEnd(const RunEndEvent& event, std::vector<FileEvent> plan) {
  ++refreshes_;
  last_report_ = event;
  ++runs_ended_;
  const bool preview = previewing_;
  previewing_ = false;
  listener_.OnRunEnded(event);
  ShowFailureList();
  if (preview && !event.stopped) {
    plan_ = RunPlan{preview_config_, std::move(plan), event};
    listener_.OnPlanReady(plan_);
  }
  // A dry run placed nothing: what can be undone stays as it was.
  if (event.dry_run) return;
  // What can be undone is the run that ended last, and only when it placed files.
  const bool was_undoable = !undo_journal_.empty();
  undo_journal_ = event.journal;
  undo_output_ = run_output_;
  if (was_undoable || !undo_journal_.empty()) listener_.OnUndoAvailable(!undo_journal_.empty());
}

void RunSession::DeliverUndoEnd(const UndoEndEvent& end, const std::string& refusal) {
  undo_active_ = false;
  ++undos_ended_;
  // Undone (or refused for good): it is no longer offered; a stopped undo, or one that kept
  // files for an error (a link in the way, a full disk), can be taken up again.
  const bool finished = !end.stopped && end.to_retry == 0;
  const bool offered_went =
      finished && !undo_journal_.empty() && undo_journal_running_ == undo_journal_;
  if (offered_went) undo_journal_.clear();
  listener_.OnUndoEnded(end, refusal);
  if (offered_went) listener_.OnUndoAvailable(false);
}

}  // namespace nandell
