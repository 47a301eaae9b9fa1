#include "engine/placement.h"

#include <cerrno>

#include "engine/file_transfer.h"
#include "engine/journal.h"

namespace nandell {

std::string ConflictName(const std::string& name, int number) {
  size_t dot = name.rfind('.');
  // A dot that begins the name, or none in it, leaves the number at the end.
  if (dot == std::string::npos || dot == 0) dot = name.size();
  return name.substr(0, dot) + "_" + std::to_string(number) + name.substr(dot);
}

int ConflictNumbers::First(const std::string& path) const {
  std::lock_guard<std::mutex> lock(mutex_);
  const auto found = next_.find(path);
  return found == next_.end() ? 1 : found->second;
}

void ConflictNumbers::Reached(const std::string& path, int next) {
  std::lock_guard<std::mutex> lock(mutex_);
  if (next_.size() >= kMaxTargets && next_.count(path) == 0) next_.clear();
  int& known = next_.try_emplace(path, 1).first->second;
  if (next > known) known = next;
}

void ConflictNumbers::Clear() {
  std::lock_guard<std::mutex> lock(mutex_);
  next_.clear();
}

Placement PlaceResolvingConflicts(const ConflictRule& rule, const std::string& name,
                                  const std::function<int(const std::string&)>& place,
                                  const std::function<bool(const std::string&)>& identical,
                                  ConflictNumbers* numbers, const std::string& path) {
  // Skipping identical files compares every taken name, so none may be passed over there.
  if (rule.skip_identical || !rule.rename_conflicts) numbers = nullptr;
  Placement result;
  int number = 0;
  for (;;) {
    const std::string candidate = number == 0 ? name : ConflictName(name, number);
    result.error = place(candidate);
    if (result.error == 0) {
      if (numbers != nullptr && number > 0) numbers->Reached(path, number + 1);
      result.name = candidate;
      return result;
    }
    if (result.error != EEXIST) break;
    // The name is taken (and nothing was done): by the same bytes, or by another file.
    if (rule.skip_identical && identical(candidate)) {
      result.error = 0;
      result.skipped = true;
      result.name = candidate;
      return result;
    }
    if (!rule.rename_conflicts || number == kMaxConflictNumber) {
      if (numbers != nullptr) numbers->Reached(path, number + 1);
      break;
    }
    // The planned name itself is always tried: the numbers go on from where the run has been.
    number = number == 0 && numbers != nullptr ? numbers->First(path) : number + 1;
    if (number > kMaxConflictNumber) break;
  }
  // A failure other than a taken name: the numbers below this one were taken.
  if (numbers != nullptr && number > 0 && result.error != EEXIST) numbers->Reached(path, number);
  result.name = name;
  return result;
}

bool IdenticalFile(fs::FileSystem& file_system, const fs::FileAt& source, const fs::FileAt& other) {
  // A link or a folder under the name never counts as the file: a run that skipped a photo
  // because a link to it sits in the output would leave the library without it.
  fs::FileFacts facts;
  std::unique_ptr<fs::SourceFile> open;
  return file_system.Examine(other, &facts) == 0 && facts.regular &&
         file_system.OpenSource(source, false, &open) == 0 && file_system.SameContent(*open, other);
}

namespace {

// Tells the run's journal of one placement before each step of it: the file's intent is in the
// journal before the file can stand under the target's name (or hidden in its folder).
class JournalLog : public TransferLog {
 public:
  JournalLog(fs::FileSystem& file_system, const Transfer& transfer, std::string target)
      : file_system_(file_system), transfer_(transfer), target_(std::move(target)) {}

  int BeforeTaking() override {
    // The source as it stands; its copy's checksum and identity follow before it is placed.
    FileRecord record;
    RecordFile(file_system_, transfer_.from, RecordContent::kNone, &record);
    return transfer_.journal->AddIntent(Action(), transfer_.source, target_, record, "");
  }

  int BeforePlacing(const fs::Copied& copy) override {
    record_ = RecordOf(copy);
    return transfer_.journal->AddIntent(Action(), transfer_.source, target_, record_,
                                        IdentityText(copy.facts.device, copy.facts.inode));
  }

  // The record of the copy that was placed last.
  const FileRecord& Record() const { return record_; }

 private:
  JournalAction Action() const {
    return transfer_.move ? JournalAction::kMove : JournalAction::kCopy;
  }

  fs::FileSystem& file_system_;
  const Transfer& transfer_;
  const std::string target_;
  FileRecord record_;
};

// A move by one rename: its intent with the file's identity first, then the rename. (A rename
// that cannot move the file, to another file system, leaves the intent unresolved, to be
// followed by those of the move by copy.)
int MoveByRename(fs::FileSystem& file_system, const Transfer& transfer, const fs::FileAt& target,
                 FileRecord* record) {
  fs::FileFacts facts;
  const int error = file_system.Examine(transfer.from, &facts);
  if (error != 0) return error;
  if (transfer.journal != nullptr) {
    // A file that was only renamed is known by its identity: reading it for a checksum would
    // make a move within one file system cost the time of reading every photo.
    if (facts.regular) *record = IdentityRecord(file_system, transfer.from, facts);
    const int journaled =
        transfer.journal->AddIntent(JournalAction::kMove, transfer.source, target.Path(), *record,
                                    IdentityText(facts.device, facts.inode));
    if (journaled != 0) return journaled;
  }
  return file_system.PlaceNoReplace(transfer.from, target);
}

}  // namespace

void CarryOut(fs::FileSystem& file_system, Transfer* transfer, bool rename_only) {
  const ConflictRule rule{transfer->skip_identical, transfer->rename_conflicts};
  const fs::FolderRef& folder = transfer->to.folder;
  FileRecord record;
  const auto place = [&](const std::string& name) {
    const fs::FileAt target{folder, name};
    if (rename_only) return MoveByRename(file_system, *transfer, target, &record);
    JournalLog log(file_system, *transfer, target.Path());
    TransferLog* journal = transfer->journal != nullptr ? &log : nullptr;
    int error = 0;
    if (!transfer->move) {
      error = CopyNoReplace(file_system, transfer->from, target, journal);
    } else {
      error = MoveByCopy(file_system, transfer->from, target, &transfer->kept_as, journal);
      // A source that could not get its name back (a new file has it) is not tried under
      // another name: the name now holds that new file.
      if (error == EEXIST && !transfer->kept_as.empty()) error = fs::kChangedWhileMoved;
    }
    if (error == 0) record = log.Record();
    return error;
  };
  const auto identical = [&](const std::string& name) {
    return IdenticalFile(file_system, transfer->from, fs::FileAt{folder, name});
  };
  const Placement placement = PlaceResolvingConflicts(rule, transfer->to.name, place, identical,
                                                      transfer->conflict_numbers, transfer->target);
  transfer->error = placement.error;
  transfer->placed = folder->Path() + placement.name;
  transfer->skipped = placement.skipped;
  if (transfer->journal == nullptr || placement.error != 0) return;
  // The record is written as soon as the file is in place, so that a run killed later still
  // tells what it did.
  if (placement.skipped) {
    RecordFile(file_system, transfer->from, RecordContent::kNone, &record);
    transfer->journal->AddFile(JournalAction::kSkip, transfer->source, transfer->placed, record,
                               transfer->date_fields);
    return;
  }
  transfer->journal->AddFile(transfer->move ? JournalAction::kMove : JournalAction::kCopy,
                             transfer->source, transfer->placed, record, transfer->date_fields);
  if (record.checksum.compare(0, 3, "id:") != 0) transfer->checksum = record.checksum;
}

}  // namespace nandell
