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

  void OnFileDone(const FileEvent& event) override {
    session_->Post(SessionProgress{false, event.message, event.ordinal});
  }
  void OnRunEnded(const RunEndEvent& event) override { session_->PostRunEnd(event); }
  void OnIndexProgress(const IndexProgress& progress) override {
    session_->Post(SessionProgress{false, FormatIndexProgress(progress), 0});
  }

 private:
  RunSession* session_;
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
  refusal->clear();
  if (undo_active_) return false;
  if (!job_->IsRunning()) {
    // A run that has wound up may still be writing its report: it ends, and its end is
    // delivered, before the next run starts, so that the two never mix in the window.
    job_->Wait();
    DeliverEnds();
    std::lock_guard<std::mutex> lock(mutex_);
    has_progress_ = false;  // a file message of the last run is not the next run's
  }
  const std::string output = config.output_folder;
  if (!config.known_files) config.known_files = known_files_;
  *refusal = job_->OnOrganize(std::move(config));
  if (!refusal->empty()) return false;
  run_output_ = output;
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
  return PendingCount(file_system_, undo_journal_, count, refusal);
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
  listener_.OnRunStarted(true);
  try {
    undo_worker_ = std::thread([this, journal] {
      UndoEndEvent end;
      std::string refused;
      UndoRun(
          file_system_, journal, undo_running_,
          [this](const UndoFileEvent& event) {
            Post(SessionProgress{true, event.message, event.ordinal});
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

void RunSession::Post(SessionProgress progress) {
  std::lock_guard<std::mutex> lock(mutex_);
  progress_ = std::move(progress);
  has_progress_ = true;
  WakeLocked(false);
}

void RunSession::PostRunEnd(const RunEndEvent& event) {
  std::lock_guard<std::mutex> lock(mutex_);
  run_end_ = event;
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
  UndoEndEvent undo_end;
  std::string undo_refusal;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    std::swap(run_ended, run_ended_);
    std::swap(undo_ended, undo_ended_);
    if (run_ended) run_end = std::move(run_end_);
    if (undo_ended) {
      undo_end = std::move(undo_end_);
      undo_refusal = std::move(undo_refusal_);
    }
  }
  if (run_ended) DeliverRunEnd(run_end);
  if (undo_ended) {
    JoinUndoWorker();
    DeliverUndoEnd(undo_end, undo_refusal);
  }
}

void RunSession::DeliverRunEnd(const RunEndEvent& event) {
  ++refreshes_;
  last_report_ = event;
  ++runs_ended_;
  listener_.OnRunEnded(event);
  // The failure list is shown in the desktop's viewer; nobody waits for it.
  if (!event.error_file.empty()) {
    SettingsStore::RunProgram("notepad.exe", event.error_file, 0, 1, "open");
  }
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
