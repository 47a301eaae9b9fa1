#include "engine/organizer.h"

#include <cerrno>
#include <optional>
#include <system_error>
#include <utility>

#include "engine/capture_date.h"
#include "engine/transfer_threads.h"
#include "platform/fs.h"
#include "platform/text.h"

namespace nandell {
namespace {

constexpr const char* kChooseFoldersText = TrNoop("请先选择目录.");
constexpr const char* kSameFolderText = TrNoop("照片目录和输出目录不能是同一个目录.");
constexpr const char* kNestedFolderText = TrNoop("照片目录和输出目录不能在是同一个目录内.");
constexpr const char* kMissingFolderText = TrNoop("目录不存在:");

// Transfers handed to the transfer threads and not yet reported, per thread: a few waiting
// in the queue keep every thread busy while the worker dates the next files.
constexpr size_t kUnreportedPerThread = 2;

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

bool WriteFailureReport(fs::FileSystem& file_system, const RunConfig& config,
                        const std::string& failure_log, std::string* path, std::string* problem) {
  // The per-user folder may not exist yet (the command line's store never saves).
  if (config.make_error_file_folder) file_system.MakeFolders(config.error_file_folder);
  const std::string report = config.error_file_folder + "errorFile.txt";
  const int code = file_system.WriteWholeFile(report, failure_log);
  if (code != 0) {
    *problem = report + ": " + fs::ErrorText(code);
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
  std::lock_guard<std::mutex> lock(mutex_);
  return FailureLog_;
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
    FailureLog_.clear();
    LastMessage_.clear();
  }
  config_ = std::move(config);
  stop_requested_.store(false);
  IsRunning_.store(true);
  worker_active_.store(true);
  try {
    worker_ = std::thread([this] {
      worker_id_.store(std::this_thread::get_id());
      OrganizerThread();
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

void OrganizerJob::OrganizerThread() {
  threads_tried_ = false;
  ScanFolder(config_.photo_folder);
  // The transfers under way finish and are reported, also after a stop; those a stop kept
  // from starting are dropped.
  while (!unreported_.empty()) ReportSettled(true);
  threads_.reset();
  claimed_.clear();
  WindUp();
}

void OrganizerJob::ScanFolder(std::string folder) {
  if (!folder.empty() && folder.back() != '/') folder += '/';
  if (!IsRunning_.load()) return;
  std::unique_ptr<fs::FolderListing> listing = file_system_.ListFolder(folder, nullptr);
  if (!listing) return;
  fs::DirEntry entry;
  if (!listing->Next(&entry)) return;
  for (;;) {
    const char first = entry.name.empty() ? '.' : entry.name[0];
    if (first != '.' && first != '~') {
      if (entry.kind == fs::EntryKind::kDirectory) {
        ScanFolder(folder + entry.name);
      } else if (entry.kind == fs::EntryKind::kFile) {
        HandleFile(folder, entry.name, *listing);
      }
      // A link to a folder is never entered: the walk cannot loop.
    }
    if (!listing->Next(&entry)) break;
    if (!IsRunning_.load()) break;
  }
}

void OrganizerJob::HandleFile(const std::string& folder, const std::string& name,
                              const fs::FolderListing& listing) {
  // The path as listed is what the file operations and messages use; its lower-cased form
  // only decides the filter key (a lower-cased path may not exist on this file system).
  const std::string source = folder + name;
  if (!TakesFile(config_.file_filters, source)) return;
  const std::string date = GetCaptureDate(source, config_.media_dates, file_system_);
  std::optional<int64_t> last_write;
  if (NeedsLastWrite(config_, date)) {
    int64_t seconds = 0;
    if (listing.LastWriteTime(name, &seconds)) last_write = seconds;
  }
  const TargetPlan plan = PlanTarget(config_, name, date, last_write);
  if (config_.dry_run) {
    Predict(source, plan);
    return;
  }
  // Failures to make the folders are not reported by themselves: the transfer into them
  // then fails and is.
  if (!plan.year_folder.empty() && !file_system_.Exists(plan.year_folder)) {
    file_system_.MakeFolder(plan.year_folder);
  }
  if (!file_system_.Exists(plan.folder)) file_system_.MakeFolder(plan.folder);
  TransferFile(source, plan.path);
}

// A dry run's verdict on one file: it would fail when its target exists, or when an earlier
// file of this run would take that name; nothing on disk changes.
void OrganizerJob::Predict(const std::string& source, const TargetPlan& plan) {
  Transfer predicted;
  predicted.source = source;
  predicted.target = plan.path;
  predicted.move = config_.move;
  predicted.error = claimed_.count(plan.path) != 0 ? EEXIST : file_system_.CheckNameFree(plan.path);
  if (predicted.error == 0) claimed_.insert(plan.path);
  Report(predicted);
}

// The transfer threads, started when the first copy needs them; null when the run does one
// file at a time or the system refuses every thread (the worker then transfers every file).
TransferThreads* OrganizerJob::Threads() {
  if (!threads_tried_) {
    threads_tried_ = true;
    if (config_.transfers_at_once > 1) {
      threads_ =
          std::make_unique<TransferThreads>(file_system_, config_.transfers_at_once, IsRunning_);
      if (threads_->Count() == 0) threads_.reset();
    }
    unreported_limit_ = threads_ ? threads_->Count() * kUnreportedPerThread : 0;
  }
  return threads_.get();
}

void OrganizerJob::TransferFile(const std::string& source, const std::string& target) {
  auto transfer = std::make_shared<Transfer>();
  transfer->source = source;
  transfer->target = target;
  transfer->move = config_.move;
  // A transfer to a name that one still under way may take waits for it, so that the file
  // listed first is the one that gets the name.
  for (const auto& earlier : unreported_) {
    if (earlier->target == target) threads_->WaitFor(*earlier);
  }
  if (transfer->move) {
    // Within one file system a move is one rename, done here: handing it to a transfer
    // thread and back would cost more than the rename itself.
    transfer->error = file_system_.PlaceNoReplace(source, target);
    if (!fs::NeedsCopyToMove(transfer->error)) {
      Settle(std::move(transfer));
      return;
    }
  }
  TransferThreads* threads = Threads();
  if (threads == nullptr) {
    transfer->error = transfer->move ? file_system_.MoveByCopy(source, target)
                                     : file_system_.CopyNoReplace(source, target);
    Settle(std::move(transfer));
    return;
  }
  while (unreported_.size() >= unreported_limit_) ReportSettled(true);
  unreported_.push_back(transfer);
  threads->Queue(std::move(transfer));
  ReportSettled(false);
}

// A transfer whose result is known: reported at once, or after the ones still under way
// that were listed before it.
void OrganizerJob::Settle(std::shared_ptr<Transfer> transfer) {
  transfer->state = Transfer::State::kDone;
  if (unreported_.empty()) {
    Report(*transfer);
    return;
  }
  unreported_.push_back(std::move(transfer));
  ReportSettled(false);
}

// Reports the settled transfers at the front, in walk order; with `wait_for_front`, first
// waits for the front one. Transfers that a stop kept from starting are dropped unreported.
void OrganizerJob::ReportSettled(bool wait_for_front) {
  if (wait_for_front && !unreported_.empty()) threads_->WaitFor(*unreported_.front());
  while (!unreported_.empty() && threads_->IsSettled(*unreported_.front())) {
    std::shared_ptr<Transfer> front = std::move(unreported_.front());
    unreported_.pop_front();
    if (front->state == Transfer::State::kDone) Report(*front);
  }
}

// Counts one file taken (its ordinal is the new ProcessedCount), keeps its message, and
// tells the observer.
void OrganizerJob::Report(const Transfer& transfer) {
  const bool ok = transfer.error == 0;
  FileEvent event;
  event.source = transfer.source;
  event.target = transfer.target;
  event.move = transfer.move;
  event.outcome = ok ? FileOutcome::kTransferred : FileOutcome::kFailed;
  if (!ok) event.reason = fs::ErrorText(transfer.error);
  {
    std::lock_guard<std::mutex> lock(mutex_);
    event.ordinal = ++counters_.ProcessedCount;
    event.message =
        FormatFileMessage(event.ordinal, transfer.source, transfer.target, transfer.move, ok);
    if (!ok) {
      ++counters_.FailedCount;
      FailureLog_ += event.message;
    }
    LastMessage_ = event.message;
    event.counters = counters_;
  }
  observer_.OnFileDone(event);
}

void OrganizerJob::WindUp() {
  RunEndEvent end;
  std::string failure_log;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    end.counters = counters_;
    end.summary = FormatSummary(counters_);
    LastMessage_ = end.summary;
    if (FailureLog_.size() > 1) {
      FailureLog_ += end.summary;
      failure_log = FailureLog_;
    }
  }
  end.stopped = stop_requested_.load();
  end.dry_run = config_.dry_run;
  IsRunning_.store(false);
  // The report works on its own copy of the failure lines; a dry run writes nothing.
  if (!failure_log.empty() && !config_.dry_run) {
    WriteFailureReport(file_system_, config_, failure_log, &end.error_file,
                       &end.error_file_problem);
  }
  observer_.OnRunEnded(end);
}

}  // namespace nandell
