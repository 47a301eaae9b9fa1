#pragma once

// One organizing run: the walk of the photo folder, and for every file it takes the plan and
// the transfer (or, in a dry run, the prediction), reported in walk order. Everything the walk
// keeps lives in one Run, made for the run and gone with it: a new run starts from nothing.

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <string>

#include "engine/known_files.h"
#include "engine/placement.h"
#include "engine/plan.h"
#include "engine/run_config.h"
#include "engine/run_events.h"
#include "engine/target_folders.h"
#include "platform/file_system.h"

namespace nandell {

struct CaptureStamp;
struct FileGroup;
struct Transfer;
class DryRunPredictor;
class RunJournal;
class SidecarIndex;
class TransferThreads;

/// The walk of one run of `config`, on its worker thread.
class Run {
 public:
  /// A run of `config` through `file_system` that stops taking files once `running` is false,
  /// telling `report` of every file taken (and every folder that cannot be read) in walk order;
  /// `config`, `file_system` and `running` must outlive it. Opens the output folder; a run that
  /// is not a dry run starts its journal (nothing is on disk before its first file is placed).
  /// `index_progress` hears of the library's index (SkipKnown) while it is made ready, and of
  /// its notices.
  Run(const RunConfig& config, fs::FileSystem& file_system, const std::atomic<bool>& running,
      std::function<void(const Transfer&)> report,
      std::function<void(const IndexProgress&)> index_progress = {});
  /// Joins the transfer threads.
  ~Run();
  Run(const Run&) = delete;
  Run& operator=(const Run&) = delete;

  /// Counts the files the walk is to take (the walk's rules without dating or placing
  /// anything): only folders are listed. Stops early, with the count so far, on a stop.
  int32_t CountFiles();
  /// Makes the library's index ready (SkipKnown; kept current otherwise, where it exists), then
  /// walks the photo folder to its end or to a stop; returns once every transfer under way has
  /// finished and been reported (those a stop kept from starting are dropped).
  void Walk();
  /// Marks the journal complete with `counters` (nothing for a dry run, or when no file was
  /// placed) and fills the end event's journal path and problem.
  void EndJournal(const JobCounters& counters, bool stopped, RunEndEvent* end);

 private:
  void ScanFolder(const fs::FolderRef& folder);
  void CountFolder(const fs::Folder& folder, int32_t* count);
  bool HandleFile(const fs::FolderRef& folder, const std::string& name, const std::string& present,
                  const fs::FolderListing& listing, const SidecarIndex& sidecars);
  bool TakesGroup(const fs::Folder& folder, const FileGroup& group) const;
  bool HandleGroup(const fs::FolderRef& folder, const FileGroup& group,
                   const fs::FolderListing& listing, const SidecarIndex& sidecars);
  bool Place(const fs::FolderRef& folder, const std::string& name, const std::string& present,
             const fs::FolderListing& listing, const CaptureStamp& stamp, const FileGroup* group);
  void UnreadableFolder(const std::string& folder, int error);
  void OpenKnownFiles();
  bool SkipIfKnown(const fs::FileAt& file, const std::string& source, const TargetPlan& plan,
                   const std::string& date_fields, int64_t* size);
  void Deliver(const Transfer& transfer);
  TransferThreads* Threads();
  void TransferFile(std::shared_ptr<Transfer> transfer);
  void Settle(std::shared_ptr<Transfer> transfer);
  void ReportSettled(bool wait_for_front);

  const RunConfig& config_;
  fs::FileSystem& file_system_;
  const std::atomic<bool>& running_;
  std::function<void(const Transfer&)> report_;
  std::function<void(const IndexProgress&)> index_progress_;

  TargetFolders targets_;
  std::unique_ptr<RunJournal> journal_;         // none in a dry run
  std::unique_ptr<DryRunPredictor> predictor_;  // a dry run's only
  std::unique_ptr<KnownFiles> known_;           // the library's index, when there is one
  ConflictNumbers conflict_numbers_;            // how far the free-name search has come
  std::unique_ptr<TransferThreads> threads_;    // started when the first copy needs them
  bool threads_tried_ = false;
  std::deque<std::shared_ptr<Transfer>> unreported_;  // in walk order
  size_t unreported_limit_ = 0;
};

}  // namespace nandell
