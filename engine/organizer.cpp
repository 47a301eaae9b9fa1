#include "engine/organizer.h"

#include <system_error>
#include <utility>

#include "engine/run.h"
#include "engine/transfer_threads.h"
#include "platform/path.h"
#include "platform/text.h"

namespace nandell {
namespace {

constexpr const char* kChooseFoldersText = TrNoop("请先选择目录.");
constexpr const char* kSameFolderText = TrNoop("照片目录和输出目录不能是同一个目录.");
constexpr const char* kNestedFolderText = TrNoop("照片目录和输出目录不能在是同一个目录内.");
constexpr const char* kMissingFolderText = TrNoop("目录不存在:");

}  // namespace

std::string CheckStart(const std::string& photo_folder, const std::string& output_folder,
                       fs::FileSystem& file_system) {
  if (output_folder.empty() || photo_folder.empty()) return Tr(kChooseFoldersText);
  if (EqualsIgnoringAsciiCase(photo_folder, output_folder)) return Tr(kSameFolderText);
  if (photo_folder.find(output_folder) != std::string::npos ||
      output_folder.find(photo_folder) != std::string::npos) {
    return Tr(kNestedFolderText);
  }
  if (!file_system.Exists(output_folder))
    return std::string(Tr(kMissingFolderText)) + output_folder;
  if (!file_system.Exists(photo_folder)) return std::string(Tr(kMissingFolderText)) + photo_folder;
  // The texts may still name one folder, or one inside the other, in different spellings
  // (a link, "..", a doubled "/"): the resolved folders are checked the same way, so that a
  // run never walks its own output.
  const std::string photo = file_system.ResolvedFolder(photo_folder);
  const std::string output = file_system.ResolvedFolder(output_folder);
  if (!photo.empty() && !output.empty()) {
    if (photo == output) return Tr(kSameFolderText);
    if (photo.compare(0, output.size(), output) == 0 ||
        output.compare(0, photo.size(), photo) == 0) {
      return Tr(kNestedFolderText);
    }
  }
  return std::string();
}

bool WriteFailureReport(
    fs::FileSystem& file_system, const RunConfig& config,
    const std::function<void(const std::function<bool(std::string_view)>& write)>& failure_log,
    std::string* path, std::string* problem) {
  // The per-user folder may not exist yet (the command line's store never saves).
  if (config.make_error_file_folder) file_system.MakeFolders(config.error_file_folder);
  const std::string report = config.error_file_folder + "errorFile.txt";
  // Through a temporary file and a rename: of two runs that end together, the last one's
  // report stands whole, never a mix of both.
  const int code = file_system.ReplaceWholeFileWith(report, failure_log);
  if (code != 0) {
    *problem = report + ": " + ErrorText(code);
    return false;
  }
  *path = report;
  return true;
}

OrganizerJob::OrganizerJob(RunObserver& observer, fs::FileSystem& file_system)
    : observer_(observer), file_system_(file_system) {}

OrganizerJob::~OrganizerJob() {
  OnStop();
  Wait();
}

JobCounters OrganizerJob::Counters() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return counters_;
}

std::string OrganizerJob::LastMessage() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return LastMessage_;
}

std::string OrganizerJob::FailureLog() const {
  std::string log;
  FailureLines([&log](std::string_view piece) {
    log += piece;
    return true;
  });
  return log;
}

void OrganizerJob::FailureLines(const std::function<bool(std::string_view)>& write) const {
  std::lock_guard<std::mutex> lock(mutex_);
  FailureLog_.ForEachPiece(write);
}

std::string OrganizerJob::OnOrganize(RunConfig config) {
  // Called from the worker itself (an observer that does not forward to another thread), a
  // start would have to wait for its own thread: refused like any start during a run.
  if (std::this_thread::get_id() == worker_id_.load()) return Tr(kRunActiveText);
  std::lock_guard<std::mutex> worker_lock(worker_mutex_);
  if (IsRunning_.load()) return Tr(kRunActiveText);
  std::string refusal = CheckStart(config.photo_folder, config.output_folder, file_system_);
  if (!refusal.empty()) return refusal;
  // A previous worker may still be writing its failure report: it finishes before the run
  // state is reset, so the two never share FailureLog.
  if (worker_.joinable()) worker_.join();
  {
    std::lock_guard<std::mutex> lock(mutex_);
    counters_ = JobCounters{};
    total_ = 0;
    FailureLog_.Clear();
    LastMessage_.clear();
  }
  stop_requested_.store(false);
  IsRunning_.store(true);
  worker_active_.store(true);
  try {
    // The run keeps its config to its end: the worker's own.
    worker_ = std::thread([this, config = std::move(config)] {
      worker_id_.store(std::this_thread::get_id());
      OrganizerThread(config);
      worker_id_.store(std::thread::id());  // the id may be given to another thread later
      worker_active_.store(false);
    });
  } catch (const std::system_error&) {
    // The system refused the thread (its task limit): the job stays idle.
    IsRunning_.store(false);
    worker_active_.store(false);
    return Tr(kStartFailedText);
  }
  return std::string();
}

void OrganizerJob::OnStop() {
  if (IsRunning_.exchange(false)) stop_requested_.store(true);
}

void OrganizerJob::Wait() {
  if (std::this_thread::get_id() == worker_id_.load()) return;
  std::lock_guard<std::mutex> worker_lock(worker_mutex_);
  if (worker_.joinable()) worker_.join();
}

void OrganizerJob::OrganizerThread(const RunConfig& config) {
  std::string index_notices;
  Run run(
      config, file_system_, IsRunning_, [this](const Transfer& transfer) { Report(transfer); },
      [this, &index_notices](const IndexProgress& progress) {
        if (!progress.notice.empty()) index_notices += progress.notice + "\n";
        observer_.OnIndexProgress(progress);
      });
  // The files are counted first, so that every file's event says how many there are: the walk
  // lists the same folders again from the system's cache.
  const int32_t total = run.CountFiles();
  {
    std::lock_guard<std::mutex> lock(mutex_);
    total_ = total;
  }
  run.Walk();
  WindUp(config, run, index_notices);
}

// Counts one file taken (its ordinal is the new ProcessedCount), keeps its message, and
// tells the observer.
void OrganizerJob::Report(const Transfer& transfer) {
  const bool ok = transfer.error == 0;
  FileEvent event;
  event.source = transfer.source;
  event.target = ok ? transfer.placed : transfer.target;
  event.move = transfer.move;
  event.outcome = !ok                ? FileOutcome::kFailed
                  : transfer.skipped ? FileOutcome::kSkipped
                                     : FileOutcome::kTransferred;
  if (!ok && transfer.failed_companion > 0) {
    // A group failed for one of its other files: the reason names that file.
    const Companion& failed = transfer.companions[transfer.failed_companion - 1];
    event.reason = failed.source.substr(LastSeparator(failed.source) + 1) + ": " +
                   FailureReason(ErrorText(transfer.error), failed.kept_as);
  } else if (!ok) {
    event.reason = FailureReason(ErrorText(transfer.error), transfer.kept_as);
  }
  {
    std::lock_guard<std::mutex> lock(mutex_);
    if (transfer.unreadable_folder) {
      // Not a file taken: no ordinal, only a failure.
      event.outcome = FileOutcome::kUnreadableFolder;
      event.message = FormatUnreadableFolder(transfer.source, event.reason);
    } else if (transfer.skipped) {
      event.ordinal = ++counters_.ProcessedCount;
      ++counters_.SkippedCount;
      event.message = transfer.known
                          ? FormatKnownMessage(event.ordinal, transfer.source, event.target)
                          : FormatSkipMessage(event.ordinal, transfer.source, event.target);
    } else {
      event.ordinal = ++counters_.ProcessedCount;
      event.message = FormatFileMessage(event.ordinal, transfer.source, event.target, transfer.move,
                                        ok, event.reason);
    }
    // The other files of a group, each with its line: counted once, with their group.
    for (const Companion& companion : transfer.companions) {
      const bool failed = event.outcome == FileOutcome::kFailed;
      event.message += FormatCompanionLine(
          companion.source, failed ? companion.target : companion.placed, transfer.move,
          event.outcome, failed ? companion.kept_as : std::string());
    }
    if (!ok) {
      ++counters_.FailedCount;
      FailureLog_.Append(event.message);
    }
    LastMessage_ = event.message;
    event.counters = counters_;
    event.total = total_;
  }
  observer_.OnFileDone(event);
}

void OrganizerJob::WindUp(const RunConfig& config, Run& run, const std::string& index_notices) {
  RunEndEvent end;
  end.index_notices = index_notices;
  bool failures = false;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    end.counters = counters_;
    end.summary = FormatSummary(counters_);
    LastMessage_ = end.summary;
    failures = FailureLog_.Size() > 1;
    if (failures) FailureLog_.Append(end.summary);
  }
  end.stopped = stop_requested_.load();
  end.dry_run = config.dry_run;
  run.EndJournal(end.counters, end.stopped, &end);
  IsRunning_.store(false);
  // A dry run writes nothing.
  if (failures && !config.dry_run) {
    WriteFailureReport(
        file_system_, config,
        [this](const std::function<bool(std::string_view)>& write) { FailureLines(write); },
        &end.error_file, &end.error_file_problem);
  }
  observer_.OnRunEnded(end);
}

}  // namespace nandell
