#include "engine/placement.h"

#include <cerrno>

#include "engine/journal.h"

namespace nandell {

std::string ConflictName(const std::string& target, int number) {
  const size_t slash = target.rfind('/');
  const size_t name_start = slash == std::string::npos ? 0 : slash + 1;
  size_t dot = target.rfind('.');
  // A dot that begins the name, or none in it, leaves the number at the end.
  if (dot == std::string::npos || dot <= name_start) dot = target.size();
  return target.substr(0, dot) + "_" + std::to_string(number) + target.substr(dot);
}

Placement PlaceResolvingConflicts(const ConflictRule& rule, const std::string& target,
                                  const std::function<int(const std::string&)>& place,
                                  const std::function<bool(const std::string&)>& identical) {
  Placement result;
  for (int number = 0;; ++number) {
    const std::string candidate = number == 0 ? target : ConflictName(target, number);
    result.error = place(candidate);
    if (result.error == 0) {
      result.target = candidate;
      return result;
    }
    if (result.error != EEXIST) break;
    // The name is taken (and nothing was done): by the same bytes, or by another file.
    if (rule.skip_identical && identical(candidate)) {
      result.error = 0;
      result.skipped = true;
      result.target = candidate;
      return result;
    }
    if (!rule.rename_conflicts || number == kMaxConflictNumber) break;
  }
  result.target = target;
  return result;
}

bool IdenticalFile(fs::FileSystem& file_system, const std::string& source,
                   const std::string& candidate) {
  // A link or a folder under the name never counts as the file: a run that skipped a photo
  // because a link to it sits in the output would leave the library without it.
  fs::FileFacts facts;
  return file_system.Examine(candidate, &facts) == 0 && facts.regular &&
         file_system.SameContent(source, candidate);
}

void CarryOut(fs::FileSystem& file_system, Transfer* transfer, bool rename_only) {
  const ConflictRule rule{transfer->skip_identical, transfer->rename_conflicts};
  const auto place = [&](const std::string& candidate) {
    if (!transfer->move) return file_system.CopyNoReplace(transfer->source, candidate);
    if (rename_only) return file_system.PlaceNoReplace(transfer->source, candidate);
    return file_system.MoveByCopy(transfer->source, candidate);
  };
  const auto identical = [&](const std::string& candidate) {
    return IdenticalFile(file_system, transfer->source, candidate);
  };
  const Placement placement = PlaceResolvingConflicts(rule, transfer->target, place, identical);
  transfer->error = placement.error;
  transfer->placed = placement.target;
  transfer->skipped = placement.skipped;
  if (transfer->journal == nullptr || (placement.error != 0)) return;
  // The line is written as soon as the file is in place, so that a run killed later still
  // tells what it did.
  FileRecord record;
  if (placement.skipped) {
    RecordFile(file_system, transfer->source, false, &record);
    transfer->journal->AddFile(JournalAction::kSkip, transfer->source, placement.target, record);
    return;
  }
  RecordFile(file_system, placement.target, true, &record);
  transfer->journal->AddFile(transfer->move ? JournalAction::kMove : JournalAction::kCopy,
                             transfer->source, placement.target, record);
}

}  // namespace nandell
