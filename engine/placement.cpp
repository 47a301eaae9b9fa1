#include "engine/placement.h"

#include <cerrno>

#include "engine/file_group.h"
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

// One file of a transfer: its principal's (the transfer's own), or a companion's.
struct FileOfTransfer {
  const fs::FileAt& from;
  const std::string& source;
};

// Tells the run's journal of one placement before each step of it: the file's intent is in the
// journal before the file can stand under the target's name (or hidden in its folder).
class JournalLog : public TransferLog {
 public:
  JournalLog(fs::FileSystem& file_system, const Transfer& transfer, FileOfTransfer file,
             std::string target)
      : file_system_(file_system), transfer_(transfer), file_(file), target_(std::move(target)) {}

  int BeforeTaking() override {
    // The source as it stands; its copy's checksum and identity follow before it is placed.
    FileRecord record;
    RecordFile(file_system_, file_.from, RecordContent::kNone, &record);
    return transfer_.journal->AddIntent(Action(), file_.source, target_, record, "");
  }

  int BeforePlacing(const fs::Copied& copy) override {
    record_ = RecordOf(copy);
    return transfer_.journal->AddIntent(Action(), file_.source, target_, record_,
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
  const FileOfTransfer file_;
  const std::string target_;
  FileRecord record_;
};

// A move by one rename: its intent with the file's identity first, then the rename. (A rename
// that cannot move the file, to another file system, leaves the intent unresolved, to be
// followed by those of the move by copy.)
int MoveByRename(fs::FileSystem& file_system, const Transfer& transfer, FileOfTransfer file,
                 const fs::FileAt& target, FileRecord* record) {
  fs::FileFacts facts;
  const int error = file_system.Examine(file.from, &facts);
  if (error != 0) return error;
  if (transfer.journal != nullptr) {
    // A file that was only renamed is known by its identity: reading it for a checksum would
    // make a move within one file system cost the time of reading every photo.
    if (facts.regular) *record = IdentityRecord(file_system, file.from, facts);
    const int journaled =
        transfer.journal->AddIntent(JournalAction::kMove, file.source, target.Path(), *record,
                                    IdentityText(facts.device, facts.inode));
    if (journaled != 0) return journaled;
  }
  return file_system.PlaceNoReplace(file.from, target);
}

// Places `file` of `transfer` at `target` as the transfer's mode says (with `rename_only`, by a
// rename alone), filling `record` on success and `kept_as` when a failed move left its source
// under another name.
int PlaceFile(fs::FileSystem& file_system, const Transfer& transfer, FileOfTransfer file,
              const fs::FileAt& target, bool rename_only, FileRecord* record,
              std::string* kept_as) {
  if (rename_only) return MoveByRename(file_system, transfer, file, target, record);
  JournalLog log(file_system, transfer, file, target.Path());
  TransferLog* journal = transfer.journal != nullptr ? &log : nullptr;
  int error = 0;
  if (!transfer.move) {
    error = CopyNoReplace(file_system, file.from, target, journal);
  } else {
    error = MoveByCopy(file_system, file.from, target, kept_as, journal);
    // A source that could not get its name back (a new file has it) is not tried under
    // another name: the name now holds that new file.
    if (error == EEXIST && !kept_as->empty()) error = fs::kChangedWhileMoved;
  }
  if (error == 0) *record = log.Record();
  return error;
}

// A group (KeepTogether) placed as one: every member under its name for the principal's
// candidate name, all or none.
void CarryOutGroup(fs::FileSystem& file_system, Transfer* transfer, bool rename_only) {
  const FileGroup& group = *transfer->group;
  const size_t count = transfer->companions.size() + 1;
  const fs::FolderRef& folder = transfer->to.folder;
  const auto file_of = [&](size_t member) {
    if (member == 0) return FileOfTransfer{transfer->from, transfer->source};
    const Companion& companion = transfer->companions[member - 1];
    return FileOfTransfer{companion.from, companion.source};
  };
  const auto kept_as_of = [&](size_t member) {
    return member == 0 ? &transfer->kept_as : &transfer->companions[member - 1].kept_as;
  };
  std::vector<FileRecord> records(count);
  size_t failed = 0;
  const auto place = [&](const std::string& candidate) {
    const std::vector<std::string> names = MemberNames(group, candidate);
    // Every name is looked at first, so that a taken one costs no transfer.
    for (size_t member = 0; member < count; ++member) {
      const int error = file_system.CheckNameFree(*folder, names[member]);
      if (error != 0) {
        failed = member;
        return error;
      }
    }
    // The companions first and the principal last: a move killed meanwhile leaves the principal,
    // and so its group, in the photo folder for the next run.
    std::vector<size_t> placed;
    for (size_t k = 1; k <= count; ++k) {
      const size_t member = k % count;
      int error =
          PlaceFile(file_system, *transfer, file_of(member), fs::FileAt{folder, names[member]},
                    rename_only, &records[member], kept_as_of(member));
      if (error == 0) {
        placed.push_back(member);
        continue;
      }
      failed = member;
      // No member stays placed: copies are removed again, moved files put back. A group that
      // could not be made whole again is tried under no other name.
      for (auto it = placed.rbegin(); it != placed.rend(); ++it) {
        const fs::FileAt at{folder, names[*it]};
        const int back = transfer->move
                             ? MoveBack(file_system, at, file_of(*it).from, kept_as_of(*it))
                             : file_system.Remove(at);
        if (back != 0 && error == EEXIST) error = back;
      }
      return error;
    }
    return 0;
  };
  // A group is skipped only when every member is identical to the file under its name.
  const auto identical = [&](const std::string& candidate) {
    const std::vector<std::string> names = MemberNames(group, candidate);
    for (size_t member = 0; member < count; ++member) {
      if (!IdenticalFile(file_system, file_of(member).from, fs::FileAt{folder, names[member]})) {
        return false;
      }
    }
    return true;
  };
  const ConflictRule rule{transfer->skip_identical, transfer->rename_conflicts};
  const Placement placement = PlaceResolvingConflicts(rule, transfer->to.name, place, identical);
  const std::vector<std::string> names = MemberNames(group, placement.name);
  transfer->error = placement.error;
  transfer->skipped = placement.skipped;
  transfer->failed_companion = placement.error != 0 ? failed : 0;
  transfer->placed = folder->Path() + names[0];
  for (size_t member = 1; member < count; ++member) {
    transfer->companions[member - 1].placed = folder->Path() + names[member];
  }
  if (transfer->journal == nullptr || placement.error != 0) return;
  // The records of the whole group, as one: until then the intents stand for the members placed.
  std::vector<JournaledFile> files;
  for (size_t member = 0; member < count; ++member) {
    const FileOfTransfer file = file_of(member);
    if (placement.skipped)
      RecordFile(file_system, file.from, RecordContent::kNone, &records[member]);
    files.push_back({file.source, folder->Path() + names[member], records[member]});
  }
  transfer->journal->AddGroup(transfer->move ? JournalAction::kMove : JournalAction::kCopy,
                              placement.skipped, files, transfer->date_fields);
}

}  // namespace

void CarryOut(fs::FileSystem& file_system, Transfer* transfer, bool rename_only) {
  if (!transfer->companions.empty()) {
    CarryOutGroup(file_system, transfer, rename_only);
    return;
  }
  const ConflictRule rule{transfer->skip_identical, transfer->rename_conflicts};
  const fs::FolderRef& folder = transfer->to.folder;
  FileRecord record;
  const auto place = [&](const std::string& name) {
    return PlaceFile(file_system, *transfer, FileOfTransfer{transfer->from, transfer->source},
                     fs::FileAt{folder, name}, rename_only, &record, &transfer->kept_as);
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
