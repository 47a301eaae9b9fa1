#include "engine/dry_run.h"

#include <cerrno>
#include <memory>
#include <optional>
#include <vector>

#include "engine/file_group.h"
#include "engine/file_transfer.h"
#include "engine/journal.h"
#include "platform/path.h"

namespace nandell {

DryRunPredictor::DryRunPredictor(const RunConfig& config, fs::FileSystem& file_system,
                                 const TargetFolders& targets)
    : config_(config), file_system_(file_system), targets_(targets) {}

bool DryRunPredictor::Predict(const fs::FileAt& file, const std::string& source,
                              const TargetPlan& plan, int64_t size, Transfer* predicted) {
  predicted->source = source;
  predicted->target = plan.path;
  predicted->move = config_.move;
  const fs::FolderRef& base = targets_.Base();
  const std::string relative = targets_.Relative(plan.folder);
  const FolderCheck target =
      base ? CheckFolder(*base, relative) : FolderCheck{targets_.BaseError(), 0, 0};
  // Once a file fails for want of the journal, the run places nothing more.
  predicted->error = journal_lost_ ? fs::kNotJournaled : target.error;
  if (predicted->error != 0) return false;
  // The members of a group (KeepTogether), its principal first; a file alone is its only one.
  const size_t count = predicted->companions.size() + 1;
  const auto file_of = [&](size_t member) -> const fs::FileAt& {
    return member == 0 ? file : predicted->companions[member - 1].from;
  };
  const auto names_for = [&](const std::string& name) {
    return predicted->group ? MemberNames(*predicted->group, name) : std::vector<std::string>{name};
  };
  // What each member's transfer would meet, the same for every free name.
  std::vector<std::optional<int>> transfer_errors(count);
  size_t failed = 0;
  const auto place = [&](const std::string& name) {
    const std::vector<std::string> names = names_for(name);
    for (size_t member = 0; member < count; ++member) {
      failed = member;
      if (Claimed(plan.folder + names[member], nullptr)) return EEXIST;
      const int error = file_system_.CheckNameFree(*base, relative + names[member]);
      if (error != 0) return error;
    }
    // As the run places them: the companions first, the principal last.
    for (size_t k = 1; k <= count; ++k) {
      failed = k % count;
      std::optional<int>& error = transfer_errors[failed];
      if (!error) error = PredictTransfer(file_of(failed), target);
      if (*error != 0) return *error;
    }
    return 0;
  };
  fs::FolderRef target_folder;  // opened once a name in it is found taken, so it exists
  const auto identical_one = [&](const fs::FileAt& from, const std::string& name) {
    fs::FileAt claimed;
    if (Claimed(plan.folder + name, &claimed)) {
      return claimed.folder && IdenticalFile(file_system_, from, claimed);
    }
    bool made = false;
    if (!target_folder &&
        file_system_.OpenTargetFolder(*base, relative, &made, &target_folder) != 0) {
      return false;
    }
    return IdenticalFile(file_system_, from, fs::FileAt{target_folder, name});
  };
  const auto identical = [&](const std::string& name) {
    const std::vector<std::string> names = names_for(name);
    for (size_t member = 0; member < count; ++member) {
      if (!identical_one(file_of(member), names[member])) return false;
    }
    return true;
  };
  const Placement placement = PlaceResolvingConflicts(
      {config_.skip_identical, config_.rename_conflicts}, plan.path.substr(plan.folder.size()),
      place, identical, predicted->group ? nullptr : &conflict_numbers_, plan.path);
  const std::vector<std::string> names = names_for(placement.name);
  predicted->error = placement.error;
  predicted->placed = plan.folder + names[0];
  predicted->skipped = placement.skipped;
  predicted->failed_companion = placement.error != 0 ? failed : 0;
  for (size_t member = 1; member < count; ++member) {
    predicted->companions[member - 1].placed = plan.folder + names[member];
  }
  const bool placed = placement.error == 0 && !placement.skipped;
  if (placed) {
    // The principal's size is the one known (a group's members are never looked up by it).
    for (size_t member = 0; member < count; ++member) {
      if (predictions_ != nullptr) {
        predictions_->Predicted(plan.folder + names[member], member == 0 ? size : -1,
                                file_of(member));
      } else {
        claimed_.emplace(plan.folder + names[member], file_of(member));
      }
    }
  }
  if (placement.error == fs::kNotJournaled) journal_lost_ = true;
  return placed;
}

int DryRunPredictor::PredictRecovery(const fs::FileAt& taken,
                                     const std::function<bool(const std::string&)>& name_free,
                                     std::string* name) {
  std::string original;
  if (!IsTakenName(taken.name, &original)) return EINVAL;
  if (!file_system_.IsLeftover(taken)) return EBUSY;
  const FolderCheck& folder = CheckFolder(*taken.folder, "");
  if (folder.error != 0 || folder.add_error != 0) {
    return folder.error != 0 ? folder.error : folder.add_error;
  }
  for (int attempt = 0; attempt <= kRecoveryAttempts; ++attempt) {
    *name = attempt == 0 ? original : RecoveryName(original, attempt);
    if (name_free(*name)) return 0;
  }
  return EEXIST;
}

// CheckTargetFolder of `relative` below `base`, once: an output folder's target folder
// (`base` the output base), or a source folder itself (`relative` empty).
const DryRunPredictor::FolderCheck& DryRunPredictor::CheckFolder(const fs::Folder& base,
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
int DryRunPredictor::PredictTransfer(const fs::FileAt& file, const FolderCheck& target) {
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

// True when an earlier file of the run would take `path`; `source` (when given) receives the file
// that would be there (its folder null when it cannot be opened).
bool DryRunPredictor::Claimed(const std::string& path, fs::FileAt* source) {
  if (predictions_ == nullptr) {
    const auto claimed = claimed_.find(path);
    if (claimed == claimed_.end()) return false;
    if (source != nullptr) *source = claimed->second;
    return true;
  }
  std::string from;
  if (!predictions_->Claimed(path, &from)) return false;
  if (source != nullptr) {
    const size_t separator = LastSeparator(from);
    source->name = from.substr(separator + 1);
    if (file_system_.OpenFolder(from.substr(0, separator + 1), &source->folder) != 0) {
      source->folder.reset();
    }
  }
  return true;
}

// Whether the run's journal folder could be made (or exists) in the output folder and take the
// journal.
bool DryRunPredictor::JournalWritable() {
  const FolderCheck& journal =
      CheckFolder(*targets_.Base(), targets_.Relative(config_.output_folder) + JournalFolder(""));
  return journal.error == 0 && journal.add_error == 0;
}

}  // namespace nandell
