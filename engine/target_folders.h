#pragma once

// The target folders of one run: every year and day folder is reached from the output folder,
// opened once at the start, and never by a path that a link could lead elsewhere.

#include <string>
#include <unordered_set>

#include "engine/plan.h"
#include "platform/file_system.h"

namespace nandell {

class RunJournal;

/// The output folder of a run and the target folders below it that the run opens or makes.
/// Used by the run's worker only.
class TargetFolders {
 public:
  /// Opens the folder that every target folder of `output_folder` is relative to: the part up
  /// to its last separator (an output text without a trailing "/" is joined unchanged, its last
  /// part beginning the names of the year or day folders). Why it could not be opened is kept.
  TargetFolders(fs::FileSystem& file_system, const std::string& output_folder);

  /// The open output folder, or null when it could not be opened (BaseError).
  const fs::FolderRef& Base() const { return base_; }
  /// Why the output folder could not be opened, else 0.
  int BaseError() const { return base_error_; }
  /// The folder `folder` (a target folder of a plan, or the output folder's own journal folder)
  /// relative to the folder that Base opened ("2014年/2014-12-31/").
  std::string Relative(const std::string& folder) const;

  /// Opens the target folder of `plan`, making the levels that are missing; the folders this
  /// run makes are recorded in `journal`. A folder that was there before the run is cleared of
  /// the temporary files of killed runs the first time (one the run made holds none). The last
  /// folder opened is kept open for the next file of the same folder where the file system keeps
  /// an open folder in its place (FoldersStayInPlace). Returns 0 with `folder` set, or the error
  /// of opening the output folder or of making the target folder (a link where a folder should
  /// be among them).
  int Open(const TargetPlan& plan, RunJournal& journal, fs::FolderRef* folder);

 private:
  fs::FileSystem& file_system_;
  std::string base_path_;
  fs::FolderRef base_;
  int base_error_ = 0;
  // Target folders (relative to the output folder) cleared of killed runs' leftovers, or made
  // by this run.
  std::unordered_set<std::string> cleared_;
  // The folder opened last, and its relative path.
  std::string last_relative_;
  fs::FolderRef last_;
};

}  // namespace nandell
