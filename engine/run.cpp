#include "engine/run.h"

#include <algorithm>
#include <cerrno>
#include <optional>
#include <unordered_set>
#include <utility>
#include <vector>

#include "engine/capture_date.h"
#include "engine/dry_run.h"
#include "engine/file_group.h"
#include "engine/file_transfer.h"
#include "engine/journal.h"
#include "engine/plan.h"
#include "engine/sidecar.h"
#include "engine/transfer_threads.h"
#include "platform/path.h"

namespace nandell {
namespace {

// Transfers handed to the transfer threads and not yet reported, per thread: a few waiting
// in the queue keep every thread busy while the worker dates the next files.
constexpr size_t kUnreportedPerThread = 2;

// A folder's listing read to its end before the walk takes its entries, so that the sidecars of
// every file are known when the file comes (sidecar dates), and its companions (KeepTogether):
// the folder is still read once, and a last-write time that the listing holds is kept with its
// entry.
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
  // The names of the folder's files, as listed.
  std::vector<std::string> FileNames() const {
    std::vector<std::string> names;
    for (const Entry& entry : entries_) {
      if (entry.entry.kind == fs::EntryKind::kFile) names.push_back(entry.entry.name);
    }
    return names;
  }
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

// True when `a` and `b` aim at one target path: the file listed later waits for the earlier.
bool ShareATarget(const Transfer& a, const Transfer& b) {
  if (a.companions.empty() && b.companions.empty()) return a.target == b.target;
  const auto aims_at = [](const Transfer& transfer, const std::string& path) {
    return transfer.target == path ||
           std::any_of(transfer.companions.begin(), transfer.companions.end(),
                       [&](const Companion& companion) { return companion.target == path; });
  };
  return aims_at(a, b.target) ||
         std::any_of(b.companions.begin(), b.companions.end(),
                     [&](const Companion& companion) { return aims_at(a, companion.target); });
}

}  // namespace

Run::Run(const RunConfig& config, fs::FileSystem& file_system, const std::atomic<bool>& running,
         std::function<void(const Transfer&)> report,
         std::function<void(const IndexProgress&)> index_progress)
    : config_(config),
      file_system_(file_system),
      running_(running),
      report_(std::move(report)),
      index_progress_(std::move(index_progress)),
      targets_(file_system, config.output_folder) {
  if (config_.dry_run) {
    predictor_ = std::make_unique<DryRunPredictor>(config_, file_system_, targets_);
  } else {
    journal_ = std::make_unique<RunJournal>(file_system_, config_);
  }
}

Run::~Run() = default;

void Run::Walk() {
  const std::string photo_folder = WithTrailingSeparator(config_.photo_folder);
  if (running_.load()) OpenKnownFiles();
  if (running_.load()) {
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
  known_.reset();  // what it recorded is written
}

// The library's index: asked by a run that skips known files, kept current by any other run where
// it exists; a dry run's is a private one, which holds its predictions too.
void Run::OpenKnownFiles() {
  if (!config_.known_files) return;
  IndexUse use = config_.skip_known ? IndexUse::kSkipKnown : IndexUse::kKeepCurrent;
  if (config_.dry_run) use = config_.skip_known ? IndexUse::kDryRun : IndexUse::kPredictions;
  known_ = config_.known_files(file_system_, config_.output_folder, use, running_, index_progress_);
  // A dry run keeps its predictions there, out of memory.
  if (predictor_ && known_) predictor_->KeepPredictionsIn(known_.get());
}

// A file whose content the library holds already is skipped, counted apart, and its source left
// where it is. Only a file of a size that some file of the library has is read (once) for it.
// `size` receives the source's size when it was looked up.
bool Run::SkipIfKnown(const fs::FileAt& file, const std::string& source, const TargetPlan& plan,
                      const std::string& date_fields, int64_t* size) {
  fs::FileFacts facts;
  // A link is placed as designed: only the file itself is looked up.
  if (file_system_.Examine(file, &facts) != 0 || !facts.regular) return false;
  *size = facts.size;
  // Files of this size still under way reach the index first, so that a file of the run with
  // the same content as an earlier one is known as the dry run predicts.
  bool under_way = false;
  for (const auto& earlier : unreported_) under_way = under_way || earlier->size == facts.size;
  while (under_way && !unreported_.empty()) ReportSettled(true);
  if (!known_->HasSize(facts.size)) return false;
  FileRecord record;
  if (RecordFile(file_system_, file, RecordContent::kChecksum, &record) != 0) return false;
  const std::string where = known_->Find(facts.size, record.checksum);
  if (where.empty()) return false;
  auto skipped = std::make_shared<Transfer>();
  skipped->source = source;
  skipped->target = plan.path;
  skipped->placed = where;
  skipped->move = config_.move;
  skipped->skipped = true;
  skipped->known = true;
  if (journal_) {
    record.checksum.clear();  // a skip record holds the source's size and time only
    journal_->AddFile(JournalAction::kSkip, source, where, record, date_fields);
  }
  Settle(std::move(skipped));
  return true;
}

int32_t Run::CountFiles() {
  int32_t count = 0;
  fs::FolderRef root;
  if (running_.load() &&
      file_system_.OpenFolder(WithTrailingSeparator(config_.photo_folder), &root) == 0) {
    CountFolder(*root, &count);
  }
  return count;
}

// The rules of ScanFolder: hidden names only for the sources an ended run left taken, "~"
// names never, folders without following a link, and the files that belong together (with
// KeepTogether) counted once, as their group is taken.
void Run::CountFolder(const fs::Folder& folder, int32_t* count) {
  std::unique_ptr<fs::FolderListing> listing = file_system_.ListFolder(folder, nullptr);
  if (!listing) return;
  std::vector<std::string> names;
  fs::DirEntry entry;
  while (running_.load() && listing->Next(&entry)) {
    const char first = entry.name.empty() ? '.' : entry.name[0];
    if (entry.kind == fs::EntryKind::kFile) {
      std::string original;
      if (first != '.' && first != '~') {
        names.push_back(entry.name);
      } else if (first == '.' && IsTakenName(entry.name, &original) &&
                 TakesFile(config_.file_filters, folder.Path() + original)) {
        ++*count;  // put back and taken alone
      }
    } else if (entry.kind == fs::EntryKind::kDirectory && first != '.' && first != '~') {
      fs::FolderRef subfolder;
      if (file_system_.OpenSubfolder(folder, entry.name, &subfolder) == 0) {
        CountFolder(*subfolder, count);
      }
    }
  }
  SidecarIndex sidecars;
  std::unique_ptr<FolderGroups> groups;
  if (config_.keep_together) {
    for (const std::string& name : names) sidecars.Add(name);
    groups = std::make_unique<FolderGroups>(names, sidecars);
  }
  std::unordered_set<const FileGroup*> groups_counted;
  for (const std::string& name : names) {
    const FileGroup* group = groups ? groups->GroupOf(name) : nullptr;
    if (group != nullptr && TakesGroup(folder, *group)) {
      if (groups_counted.insert(group).second) ++*count;
    } else if (TakesFile(config_.file_filters, folder.Path() + name)) {
      ++*count;
    }
  }
}

void Run::EndJournal(const JobCounters& counters, bool stopped, RunEndEvent* end) {
  if (!journal_) return;
  journal_->End(counters, stopped);
  end->journal = journal_->Path();
  end->journal_problem = journal_->Problem();
  journal_.reset();
}

void Run::ScanFolder(const fs::FolderRef& folder) {
  if (!running_.load()) return;
  int error = 0;
  std::unique_ptr<fs::FolderListing> listing = file_system_.ListFolder(*folder, &error);
  if (!listing) {
    UnreadableFolder(folder->Path(), error);
    return;
  }
  SidecarIndex sidecars;
  std::unique_ptr<FolderGroups> groups;
  if (config_.sidecar_dates || config_.keep_together) {
    auto read_ahead = std::make_unique<ReadAheadListing>(std::move(listing), &sidecars);
    if (config_.keep_together) {
      groups = std::make_unique<FolderGroups>(read_ahead->FileNames(), sidecars);
    }
    listing = std::move(read_ahead);
  }
  // The groups taken already: each goes where its first member is listed.
  std::unordered_set<const FileGroup*> groups_taken;
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
      if (entry.kind == fs::EntryKind::kFile && IsTakenName(entry.name)) {
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
        const FileGroup* group = groups ? groups->GroupOf(entry.name) : nullptr;
        if (group != nullptr && TakesGroup(*folder, *group)) {
          if (groups_taken.insert(group).second &&
              HandleGroup(folder, *group, *listing, sidecars)) {
            for (const GroupMember& member : group->members) vacated.insert(member.name);
          }
        } else if (HandleFile(folder, entry.name, entry.name, *listing, sidecars)) {
          vacated.insert(entry.name);
        }
      }
      // A link to a folder is never entered: the walk cannot loop.
    }
    listed = listing->Next(&entry);
    if (listed && !running_.load()) return;
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
    if (!running_.load()) return;
    const fs::FileAt file{folder, hidden};
    std::string name;
    if (!config_.dry_run) {
      if (RecoverTaken(file_system_, file, &name) == 0)
        HandleFile(folder, name, name, *listing, sidecars);
    } else if (predictor_->PredictRecovery(file, name_free, &name) == 0) {
      // Dated and predicted from where it lies now, under the name it would get back.
      if (HandleFile(folder, name, hidden, *listing, sidecars)) {
        vacated.insert(name);
      } else {
        given.insert(name);
      }
    }
  }
}

// Takes the file `name` of `folder`, found under the name `present` (a dry run's hidden
// source, before it would get its name back). Returns true when a dry run of a move predicts
// that the file leaves its folder.
bool Run::HandleFile(const fs::FolderRef& folder, const std::string& name,
                     const std::string& present, const fs::FolderListing& listing,
                     const SidecarIndex& sidecars) {
  // The path as listed is what the messages use; its lower-cased form only decides the
  // filter key (a lower-cased path may not exist on this file system).
  if (!TakesFile(config_.file_filters, folder->Path() + name)) return false;
  // The content is read where the file lies; sidecars and the name's date go by its name.
  CaptureStamp stamp =
      GetCaptureStamp(fs::FileAt{folder, present}, config_.media_dates, file_system_);
  AddFallbackDate(config_, fs::FileAt{folder, name}, sidecars, file_system_, &stamp);
  return Place(folder, name, present, listing, stamp, nullptr);
}

// True when the filter takes a member of `group` that is not a sidecar: then the whole group
// goes, whatever the filter says of the others.
bool Run::TakesGroup(const fs::Folder& folder, const FileGroup& group) const {
  return std::any_of(group.members.begin(), group.members.end(), [&](const GroupMember& member) {
    return member.role != MemberRole::kSidecar &&
           TakesFile(config_.file_filters, folder.Path() + member.name);
  });
}

// Takes the files of `group` as one. The group is dated by the first of its still, raw files
// and movies (in that order) that has a date of its own; without one, by its principal's
// lookup, as the file alone would be. Returns true when a dry run of a move predicts that the
// group leaves its folder.
bool Run::HandleGroup(const fs::FolderRef& folder, const FileGroup& group,
                      const fs::FolderListing& listing, const SidecarIndex& sidecars) {
  const std::string& principal = group.members.front().name;
  std::optional<CaptureStamp> own;
  CaptureStamp stamp;
  for (const GroupMember& member : group.members) {
    if (member.role == MemberRole::kSidecar) break;  // the sidecars come last
    CaptureStamp found =
        GetCaptureStamp(fs::FileAt{folder, member.name}, config_.media_dates, file_system_);
    if (!NeedsLastWrite(config_, found.date)) {
      own = std::move(found);
      break;
    }
    if (&member == &group.members.front()) stamp = std::move(found);
  }
  if (own) {
    stamp = std::move(*own);
  } else {
    AddFallbackDate(config_, fs::FileAt{folder, principal}, sidecars, file_system_, &stamp);
  }
  return Place(folder, principal, principal, listing, stamp, &group);
}

// Plans the file `name` of `folder` (found as `present`) dated `stamp`, with the other members
// of `group` when it has one, and transfers it (or predicts, in a dry run). Returns true when a
// dry run of a move predicts that it leaves its folder.
bool Run::Place(const fs::FolderRef& folder, const std::string& name, const std::string& present,
                const fs::FolderListing& listing, const CaptureStamp& stamp,
                const FileGroup* group) {
  const std::string source = folder->Path() + name;
  const fs::FileAt file{folder, present};
  const std::string date = PlannedDay(config_, stamp);
  const bool by_last_write = NeedsLastWrite(config_, date);
  std::optional<int64_t> last_write;
  if (by_last_write) {
    int64_t seconds = 0;
    if (listing.LastWriteTime(present, &seconds)) last_write = seconds;
  }
  const TargetPlan plan = PlanTarget(config_, name, date, last_write);
  const std::string date_fields = DateRecordFields(config_, stamp, by_last_write, last_write);
  int64_t size = -1;
  // A group (KeepTogether) goes as designed: only a file that goes alone is looked up.
  if (config_.skip_known && known_ && group == nullptr &&
      SkipIfKnown(file, source, plan, date_fields, &size)) {
    return false;
  }
  auto transfer = std::make_shared<Transfer>();
  if (group != nullptr) {
    // The members after the principal, each planned under its own name beside it.
    transfer->group = std::make_shared<const FileGroup>(*group);
    for (size_t member = 1; member < group->members.size(); ++member) {
      const std::string& member_name = group->members[member].name;
      transfer->companions.push_back({folder->Path() + member_name, fs::FileAt{folder, member_name},
                                      plan.folder + member_name, std::string(), std::string()});
    }
  }
  if (config_.dry_run) {
    const bool placed = predictor_->Predict(file, source, plan, size, transfer.get());
    report_(*transfer);
    return placed && config_.move;
  }
  transfer->source = source;
  transfer->target = plan.path;
  transfer->move = config_.move;
  transfer->from = file;
  // Failures to make the folders are not reported by themselves: the transfer into them
  // then fails and is, with the reason (a link where a folder should be among them). The
  // folders the run makes are journaled, so that an undo removes them when empty again.
  // A run whose journal can no longer be written places nothing more: the files it placed
  // then could not be undone.
  fs::FolderRef target_folder;
  transfer->error =
      journal_->Broken() ? fs::kNotJournaled : targets_.Open(plan, *journal_, &target_folder);
  transfer->to = fs::FileAt{target_folder, name};
  transfer->skip_identical = config_.skip_identical;
  transfer->rename_conflicts = config_.rename_conflicts;
  transfer->journal = journal_.get();
  transfer->conflict_numbers = &conflict_numbers_;
  transfer->date_fields = date_fields;
  transfer->size = size;
  TransferFile(std::move(transfer));
  return false;
}

// A folder of the photo folder that could not be opened or read to its end: a failure, in
// walk order with the files.
void Run::UnreadableFolder(const std::string& folder, int error) {
  auto failure = std::make_shared<Transfer>();
  failure->source = folder;
  failure->unreadable_folder = true;
  failure->error = error != 0 ? error : EIO;
  Settle(std::move(failure));
}

// The transfer threads, started when the first copy needs them; null when the run does one
// file at a time or the system refuses every thread (the worker then transfers every file).
TransferThreads* Run::Threads() {
  if (!threads_tried_) {
    threads_tried_ = true;
    if (config_.transfers_at_once > 1) {
      threads_ =
          std::make_unique<TransferThreads>(file_system_, config_.transfers_at_once, running_);
      if (threads_->Count() == 0) threads_.reset();
    }
    unreported_limit_ = threads_ ? threads_->Count() * kUnreportedPerThread : 0;
  }
  return threads_.get();
}

void Run::TransferFile(std::shared_ptr<Transfer> transfer) {
  if (transfer->error != 0) {
    Settle(std::move(transfer));
    return;
  }
  // A transfer to a name that one still under way may take waits for it, so that the file
  // listed first is the one that gets the name.
  for (const auto& earlier : unreported_) {
    if (ShareATarget(*earlier, *transfer)) threads_->WaitFor(*earlier);
  }
  if (transfer->move) {
    // Within one file system a move is one rename, done here: handing it to a transfer
    // thread and back would cost more than the rename itself.
    CarryOut(file_system_, transfer.get(), true);
    if (!NeedsCopyToMove(transfer->error)) {
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
void Run::Settle(std::shared_ptr<Transfer> transfer) {
  transfer->state = Transfer::State::kDone;
  if (unreported_.empty()) {
    Deliver(*transfer);
    return;
  }
  unreported_.push_back(std::move(transfer));
  ReportSettled(false);
}

// Reports the settled transfers at the front, in walk order; with `wait_for_front`, first
// waits for the front one. Transfers that a stop kept from starting are dropped unreported.
void Run::ReportSettled(bool wait_for_front) {
  if (wait_for_front && !unreported_.empty()) threads_->WaitFor(*unreported_.front());
  while (!unreported_.empty() && threads_->IsSettled(*unreported_.front())) {
    std::shared_ptr<Transfer> front = std::move(unreported_.front());
    unreported_.pop_front();
    if (front->state == Transfer::State::kDone) Deliver(*front);
  }
}

// Reports a settled transfer; a file placed goes into the library's index first.
void Run::Deliver(const Transfer& transfer) {
  if (known_ && transfer.error == 0 && !transfer.skipped && !transfer.unreadable_folder) {
    const std::string& folder = transfer.to.folder->Path();
    known_->Placed(fs::FileAt{transfer.to.folder, transfer.placed.substr(folder.size())},
                   transfer.checksum);
  }
  report_(transfer);
}

}  // namespace nandell
