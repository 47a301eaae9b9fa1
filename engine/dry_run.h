#pragma once

// A dry run's verdicts: what the run would do with each file, found without changing anything
// on disk. Nothing changes during a dry run, so each target folder is looked at once, each
// source folder while its files are taken, and the names that earlier files would take are
// remembered.

#include <cstdint>
#include <functional>
#include <string>
#include <unordered_map>

#include "engine/known_files.h"
#include "engine/placement.h"
#include "engine/plan.h"
#include "engine/run_config.h"
#include "engine/target_folders.h"
#include "engine/transfer_threads.h"
#include "platform/file_system.h"

namespace nandell {

/// The predictions of one dry run, made on its worker.
class DryRunPredictor {
 public:
  /// Predicts for a run of `config` into `targets` (which must outlive it) through
  /// `file_system`.
  DryRunPredictor(const RunConfig& config, fs::FileSystem& file_system,
                  const TargetFolders& targets);

  /// Keeps the names that earlier files would take in `predictions` (a private index, which must
  /// outlive the predictor) rather than in memory.
  void KeepPredictionsIn(KnownFiles* predictions) { predictions_ = predictions; }

  /// The verdict on `file` (listed as `source`, of `size` bytes or -1) planned to `plan`, as the
  /// run would meet it: the target folder that cannot be opened or made; a name that exists or
  /// that an earlier file of this run would take, and then the file skipped, renamed or failed;
  /// a source that cannot be read or a folder that cannot be changed, where the transfer needs
  /// them. With companions in `predicted` (a group, KeepTogether), the same for every member,
  /// all or none. Fills `predicted` as the transfer would end. Returns true when the file would
  /// be placed.
  bool Predict(const fs::FileAt& file, const std::string& source, const TargetPlan& plan,
               int64_t size, Transfer* predicted);

  /// The verdict on a source that an ended run left taken (hidden): the name RecoverTaken would
  /// give it back (its own, else the first free recovery name, `name_free` telling which names
  /// of its folder would be free then), or the error that keeps it hidden.
  int PredictRecovery(const fs::FileAt& taken,
                      const std::function<bool(const std::string&)>& name_free, std::string* name);

 private:
  // What making a folder and adding to it would meet (CheckTargetFolder's results).
  struct FolderCheck {
    int error = 0;
    int add_error = 0;
    uint64_t device = 0;
  };
  const FolderCheck& CheckFolder(const fs::Folder& base, const std::string& relative);
  int PredictTransfer(const fs::FileAt& file, const FolderCheck& target);
  bool JournalWritable();
  bool Claimed(const std::string& path, fs::FileAt* source);

  const RunConfig& config_;
  fs::FileSystem& file_system_;
  const TargetFolders& targets_;
  // The names that earlier files would take, with the source that would be there: in
  // `predictions_` when there is one, else in memory.
  KnownFiles* predictions_ = nullptr;
  std::unordered_map<std::string, fs::FileAt> claimed_;
  std::unordered_map<std::string, FolderCheck> target_checks_;  // by relative path
  std::string source_check_path_;
  FolderCheck source_check_;
  // A file was predicted to fail for want of the journal (so would every later one).
  bool journal_lost_ = false;
  // How far the search for free names has come, per planned target.
  ConflictNumbers conflict_numbers_;
};

}  // namespace nandell
