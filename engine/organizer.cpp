#include "engine/organizer.h"

#include <cerrno>
#include <optional>
#include <system_error>
#include <utility>
#include <vector>

#include "engine/capture_date.h"
#include "engine/journal.h"
#include "engine/placement.h"
#include "engine/sidecar.h"
#include "engine/transfer_threads.h"
#include "platform/path.h"
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

// A folder's listing read to its end before the walk takes its entries, so that the sidecars of
// every file are known when the file comes (sidecar dates): the folder is still read once, and
// a last-write time that the listing holds is kept with its entry.
class ReadAheadListing : public fs::FolderListing {
 public:
  ReadAheadListing(std::unique_ptr<fs::FolderListing> listing, SidecarIndex* sidecars)
      : listing_(std::move(listing)) {
    Entry entry;
    while (listing_->Next(&entry.entry)) {
      if (entry.entry.kind == fs::EntryKind::kFile) {
        sidecars->Add(entry.entry.name);
        int64_t seconds = 0;
        if (listing_->ListedLastWriteTime(&seconds)) entry.last_write = seconds;
      }
      entries_.push_back(std::move(entry));
      entry = Entry();
    }
  }
  bool Next(fs::DirEntry* entry) override {
    if (next_ == entries_.size()) return false;
    current_ = std::move(entries_[next_++]);
    *entry = current_.entry;
    return true;
  }
  int Error() const override { return listing_->Error(); }
  bool LastWriteTime(const std::string& name, int64_t* seconds) const override {
    if (name == current_.entry.name && ListedLastWriteTime(seconds)) return true;
    return listing_->LastWriteTime(name, seconds);
  }
  bool ListedLastWriteTime(int64_t* seconds) const override {
    if (!current_.last_write) return false;
    *seconds = *current_.last_write;
    return true;
  }

 private:
  struct Entry {
    fs::DirEntry entry;
    std::optional<int64_t> last_write;
  };
  std::unique_ptr<fs::FolderListing> listing_;
  std::vector<Entry> entries_;
  size_t next_ = 0;
  Entry current_;
};

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
  // Through a temporary file and a rename: of two runs that end together, the last one's
  // report stands whole, never a mix of both.
  const int code = file_system.ReplaceWholeFile(report, failure_log);
  if (code != 0) {
    *problem = report + ": " + fs::ReasonText(code);
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
  // Every target folder is reached from the output folder opened here, never by a path that
  // a link could lead elsewhere. An output text without a trailing "/" is joined unchanged
  // (its last part begins the names of the year or day folders), so the folder opened is the
  // one up to its last separator.
  const size_t last_separator = LastSeparator(config_.output_folder);
  output_base_path_ =
      config_.output_folder.substr(0, last_separator == std::string::npos ? 0 : last_separator + 1);
  output_base_error_ = file_system_.OpenFolder(output_base_path_, &output_base_);
  if (!config_.dry_run) journal_ = std::make_unique<RunJournal>(file_system_, config_);
  const std::string photo_folder = WithTrailingSeparator(config_.photo_folder);
  if (IsRunning_.load()) {
    fs::FolderRef root;
    const int error = file_system_.OpenFolder(photo_folder, &root);
    if (error != 0) {
      UnreadableFolder(photo_folder, error);
    } else {
      ScanFolder(root);
    }
  }
  // The transfers under way finish and are reported, also after a stop; those a stop kept
  // from starting are dropped.
  while (!unreported_.empty()) ReportSettled(true);
  threads_.reset();
  claimed_.clear();
  target_checks_.clear();
  source_check_path_.clear();
  conflict_numbers_.Clear();
  journal_lost_ = false;
  cleared_.clear();
  last_target_.reset();
  output_base_.reset();
  WindUp();
}

void OrganizerJob::ScanFolder(const fs::FolderRef& folder) {
  if (!IsRunning_.load()) return;
  int error = 0;
  std::unique_ptr<fs::FolderListing> listing = file_system_.ListFolder(*folder, &error);
  if (!listing) {
    UnreadableFolder(folder->Path(), error);
    return;
  }
  SidecarIndex sidecars;
  if (config_.sidecar_dates) {
    listing = std::make_unique<ReadAheadListing>(std::move(listing), &sidecars);
  }
  // Sources that a move of an ended run left taken (hidden): put back once the listing is
  // done, and taken by this run then.
  std::vector<std::string> taken;
  // A dry run of a move: the names of this folder that files would leave, and the names that
  // the sources put back would take and keep.
  std::unordered_set<std::string> vacated, given;
  fs::DirEntry entry;
  bool listed = listing->Next(&entry);
  while (listed) {
    const char first = entry.name.empty() ? '.' : entry.name[0];
    if (first == '.') {
      if (entry.kind == fs::EntryKind::kFile && fs::IsTakenName(entry.name)) {
        taken.push_back(entry.name);
      }
    } else if (first != '~') {
      if (entry.kind == fs::EntryKind::kDirectory) {
        // Opened without following a link: a folder replaced by one since it was listed is
        // not entered.
        fs::FolderRef subfolder;
        error = file_system_.OpenSubfolder(*folder, entry.name, &subfolder);
        if (error != 0) {
          UnreadableFolder(folder->Path() + entry.name + kPathSeparator, error);
        } else {
          ScanFolder(subfolder);
        }
      } else if (entry.kind == fs::EntryKind::kFile) {
        if (HandleFile(folder, entry.name, entry.name, *listing, sidecars)) {
          vacated.insert(entry.name);
        }
      }
      // A link to a folder is never entered: the walk cannot loop.
    }
    listed = listing->Next(&entry);
    if (listed && !IsRunning_.load()) return;
  }
  // A listing that ended on a read error may have left files unseen.
  if (listing->Error() != 0) UnreadableFolder(folder->Path(), listing->Error());
  // The files of this folder that are being moved by the transfer threads leave their names
  // first, as a move by rename does: the sources put back then find the same names free in
  // every run, and a dry run can tell which.
  if (!config_.dry_run && !taken.empty()) {
    while (!unreported_.empty()) ReportSettled(true);
  }
  const auto name_free = [&](const std::string& name) {
    return given.count(name) == 0 &&
           (vacated.count(name) != 0 || file_system_.CheckNameFree(*folder, name) == 0);
  };
  for (const std::string& hidden : taken) {
    if (!IsRunning_.load()) return;
    const fs::FileAt file{folder, hidden};
    std::string name;
    if (!config_.dry_run) {
      if (file_system_.RecoverTaken(file, &name) == 0)
        HandleFile(folder, name, name, *listing, sidecars);
    } else if (PredictRecovery(file, name_free, &name) == 0) {
      // Dated and predicted from where it lies now, under the name it would get back.
      if (HandleFile(folder, name, hidden, *listing, sidecars)) {
        vacated.insert(name);
      } else {
        given.insert(name);
      }
    }
  }
}

// A dry run's verdict on a source that an ended run left taken: the name RecoverTaken would
// give it back (its own, else the first free recovery name), or the error that keeps it
// hidden; nothing on disk changes.
int OrganizerJob::PredictRecovery(const fs::FileAt& taken,
                                  const std::function<bool(const std::string&)>& name_free,
                                  std::string* name) {
  std::string original;
  if (!fs::IsTakenName(taken.name, &original)) return EINVAL;
  if (!file_system_.IsLeftover(taken)) return EBUSY;
  const FolderCheck& folder = CheckFolder(*taken.folder, "");
  if (folder.error != 0 || folder.add_error != 0) {
    return folder.error != 0 ? folder.error : folder.add_error;
  }
  for (int attempt = 0; attempt <= fs::kRecoveryAttempts; ++attempt) {
    *name = attempt == 0 ? original : fs::RecoveryName(original, attempt);
    if (name_free(*name)) return 0;
  }
  return EEXIST;
}

// Takes the file `name` of `folder`, found under the name `present` (a dry run's hidden
// source, before it would get its name back). Returns true when a dry run of a move predicts
// that the file leaves its folder.
bool OrganizerJob::HandleFile(const fs::FolderRef& folder, const std::string& name,
                              const std::string& present, const fs::FolderListing& listing,
                              const SidecarIndex& sidecars) {
  // The path as listed is what the messages use; its lower-cased form only decides the
  // filter key (a lower-cased path may not exist on this file system).
  const std::string source = folder->Path() + name;
  if (!TakesFile(config_.file_filters, source)) return false;
  const fs::FileAt file{folder, present};
  // The content is read where the file lies; sidecars and the name's date go by its name.
  CaptureStamp stamp = GetCaptureStamp(file, config_.media_dates, file_system_);
  AddFallbackDate(config_, fs::FileAt{folder, name}, sidecars, file_system_, &stamp);
  const std::string date = PlannedDay(config_, stamp);
  const bool by_last_write = NeedsLastWrite(config_, date);
  std::optional<int64_t> last_write;
  if (by_last_write) {
    int64_t seconds = 0;
    if (listing.LastWriteTime(present, &seconds)) last_write = seconds;
  }
  const TargetPlan plan = PlanTarget(config_, name, date, last_write);
  // The year and day folders below the opened output folder ("2014年/2014-12-31/").
  const std::string relative = plan.folder.substr(output_base_path_.size());
  if (config_.dry_run) return Predict(file, source, plan, relative) && config_.move;
  auto transfer = std::make_shared<Transfer>();
  transfer->source = source;
  transfer->target = plan.path;
  transfer->move = config_.move;
  transfer->from = file;
  // Failures to make the folders are not reported by themselves: the transfer into them
  // then fails and is, with the reason (a link where a folder should be among them). The
  // folders the run makes are journaled, so that an undo removes them when empty again.
  // A run whose journal can no longer be written places nothing more: the files it placed
  // then could not be undone.
  const bool journaled = !journal_->Broken();
  transfer->error = journaled ? output_base_error_ : fs::kNotJournaled;
  fs::FolderRef target_folder;
  if (journaled && last_target_ && relative == last_target_relative_) {
    target_folder = last_target_;
    transfer->error = 0;
  } else if (journaled && output_base_) {
    bool made = false;
    if (!plan.year_folder.empty()) {
      // The year folder on its own the first time, so that the run knows when it made it.
      const std::string year = plan.year_folder.substr(output_base_path_.size());
      fs::FolderRef year_folder;
      if (cleared_.insert(year).second &&
          file_system_.OpenTargetFolder(*output_base_, year, &made, &year_folder) == 0 && made) {
        journal_->AddFolder(plan.year_folder);
      }
    }
    transfer->error = file_system_.OpenTargetFolder(*output_base_, relative, &made, &target_folder);
    if (transfer->error == 0 && made) journal_->AddFolder(plan.folder);
    if (transfer->error == 0 && file_system_.FoldersStayInPlace()) {
      last_target_ = target_folder;
      last_target_relative_ = relative;
    }
    // A folder that was there before the run may hold temporary files of a run that was
    // killed; one the run made holds none.
    if (transfer->error == 0 && cleared_.insert(relative).second && !made) {
      file_system_.RemoveLeftovers(*target_folder);
    }
  }
  transfer->to = fs::FileAt{target_folder, name};
  transfer->skip_identical = config_.skip_identical;
  transfer->rename_conflicts = config_.rename_conflicts;
  transfer->journal = journal_.get();
  transfer->conflict_numbers = &conflict_numbers_;
  transfer->date_fields = DateRecordFields(config_, stamp, by_last_write, last_write);
  TransferFile(std::move(transfer));
  return false;
}

// A folder of the photo folder that could not be opened or read to its end: a failure, in
// walk order with the files.
void OrganizerJob::UnreadableFolder(const std::string& folder, int error) {
  auto failure = std::make_shared<Transfer>();
  failure->source = folder;
  failure->unreadable_folder = true;
  failure->error = error != 0 ? error : EIO;
  Settle(std::move(failure));
}

// A dry run's verdict on one file, as the run would meet it: the target folder that cannot be
// opened or made; a name that exists or that an earlier file of this run would take, and then
// the file skipped, renamed or failed; a source that cannot be read or a folder that cannot be
// changed, where the transfer needs them. Nothing on disk changes. Returns true when the file
// would be placed.
bool OrganizerJob::Predict(const fs::FileAt& file, const std::string& source,
                           const TargetPlan& plan, const std::string& relative) {
  Transfer predicted;
  predicted.source = source;
  predicted.target = plan.path;
  predicted.move = config_.move;
  const FolderCheck target =
      output_base_ ? CheckFolder(*output_base_, relative) : FolderCheck{output_base_error_, 0, 0};
  // Once a file fails for want of the journal, the run places nothing more.
  predicted.error = journal_lost_ ? fs::kNotJournaled : target.error;
  if (predicted.error != 0) {
    Report(predicted);
    return false;
  }
  std::optional<int> transfer_error;  // the same for every free name
  const auto place = [&](const std::string& name) {
    if (claimed_.count(plan.folder + name) != 0) return EEXIST;
    const int error = file_system_.CheckNameFree(*output_base_, relative + name);
    if (error != 0) return error;
    if (!transfer_error) transfer_error = PredictTransfer(file, target);
    return *transfer_error;
  };
  fs::FolderRef target_folder;  // opened once a name in it is found taken, so it exists
  const auto identical = [&](const std::string& name) {
    const auto claimed = claimed_.find(plan.folder + name);
    if (claimed != claimed_.end()) return IdenticalFile(file_system_, file, claimed->second);
    bool made = false;
    if (!target_folder &&
        file_system_.OpenTargetFolder(*output_base_, relative, &made, &target_folder) != 0) {
      return false;
    }
    return IdenticalFile(file_system_, file, fs::FileAt{target_folder, name});
  };
  const Placement placement = PlaceResolvingConflicts(
      {config_.skip_identical, config_.rename_conflicts}, plan.path.substr(plan.folder.size()),
      place, identical, &conflict_numbers_, plan.path);
  predicted.error = placement.error;
  predicted.placed = plan.folder + placement.name;
  predicted.skipped = placement.skipped;
  const bool placed = placement.error == 0 && !placement.skipped;
  if (placed) claimed_.emplace(predicted.placed, file);
  if (placement.error == fs::kNotJournaled) journal_lost_ = true;
  Report(predicted);
  return placed;
}

// A dry run's CheckTargetFolder of `relative` below `base`: an output folder's target folder
// (`base` the output base), or a source folder itself (`relative` empty).
const OrganizerJob::FolderCheck& OrganizerJob::CheckFolder(const fs::Folder& base,
                                                           const std::string& relative) {
  FolderCheck* check = &source_check_;
  if (!relative.empty()) {
    const auto [found, added] = target_checks_.try_emplace(relative);
    if (!added) return found->second;
    check = &found->second;
  } else if (source_check_path_ == base.Path()) {
    return source_check_;
  } else {
    source_check_path_ = base.Path();
  }
  check->add_error = 0;
  check->device = 0;
  check->error = file_system_.CheckTargetFolder(base, relative, &check->add_error, &check->device);
  return *check;
}

// What the transfer of `file` to a free name in the `target` folder would meet, as far as can
// be seen without changing anything: a copy reads the source and adds to the target folder; a
// move renames the source out of its folder, and reads it too when the target lies on another
// file system.
int OrganizerJob::PredictTransfer(const fs::FileAt& file, const FolderCheck& target) {
  // The journal's intent comes before a move touches its source, and after a copy's data is
  // written.
  if (config_.move && !JournalWritable()) return fs::kNotJournaled;
  bool read = !config_.move;
  if (config_.move) {
    const FolderCheck& source = CheckFolder(*file.folder, "");
    const int error = source.error != 0 ? source.error : source.add_error;
    if (error != 0) return error;
    read = source.device != target.device;
  }
  if (read) {
    std::unique_ptr<fs::SourceFile> open;
    const int error = file_system_.OpenSource(file, false, &open);
    if (error != 0) return error;
  }
  if (target.add_error != 0) return target.add_error;
  return JournalWritable() ? 0 : fs::kNotJournaled;
}

// A dry run's verdict on the run's journal: whether its folder could be made (or exists) in
// the output folder and take the journal.
bool OrganizerJob::JournalWritable() {
  const FolderCheck& journal = CheckFolder(
      *output_base_, config_.output_folder.substr(output_base_path_.size()) + JournalFolder(""));
  return journal.error == 0 && journal.add_error == 0;
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

void OrganizerJob::TransferFile(std::shared_ptr<Transfer> transfer) {
  if (transfer->error != 0) {
    Settle(std::move(transfer));
    return;
  }
  // A transfer to a name that one still under way may take waits for it, so that the file
  // listed first is the one that gets the name.
  for (const auto& earlier : unreported_) {
    if (earlier->target == transfer->target) threads_->WaitFor(*earlier);
  }
  if (transfer->move) {
    // Within one file system a move is one rename, done here: handing it to a transfer
    // thread and back would cost more than the rename itself.
    CarryOut(file_system_, transfer.get(), true);
    if (!fs::NeedsCopyToMove(transfer->error)) {
      Settle(std::move(transfer));
      return;
    }
  }
  TransferThreads* threads = Threads();
  if (threads == nullptr) {
    CarryOut(file_system_, transfer.get());
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
  event.target = ok ? transfer.placed : transfer.target;
  event.move = transfer.move;
  event.outcome = !ok                ? FileOutcome::kFailed
                  : transfer.skipped ? FileOutcome::kSkipped
                                     : FileOutcome::kTransferred;
  if (!ok) event.reason = FailureReason(fs::ReasonText(transfer.error), transfer.kept_as);
  {
    std::lock_guard<std::mutex> lock(mutex_);
    if (transfer.unreadable_folder) {
      // Not a file taken: no ordinal, only a failure.
      event.outcome = FileOutcome::kUnreadableFolder;
      event.message = FormatUnreadableFolder(transfer.source, event.reason);
    } else if (transfer.skipped) {
      event.ordinal = ++counters_.ProcessedCount;
      ++counters_.SkippedCount;
      event.message = FormatSkipMessage(event.ordinal, transfer.source, event.target);
    } else {
      event.ordinal = ++counters_.ProcessedCount;
      event.message = FormatFileMessage(event.ordinal, transfer.source, event.target, transfer.move,
                                        ok, event.reason);
    }
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
  if (journal_) {
    journal_->End(end.counters, end.stopped);
    end.journal = journal_->Path();
    end.journal_problem = journal_->Problem();
    journal_.reset();
  }
  IsRunning_.store(false);
  // The report works on its own copy of the failure lines; a dry run writes nothing.
  if (!failure_log.empty() && !config_.dry_run) {
    WriteFailureReport(file_system_, config_, failure_log, &end.error_file,
                       &end.error_file_problem);
  }
  observer_.OnRunEnded(end);
}

}  // namespace nandell
