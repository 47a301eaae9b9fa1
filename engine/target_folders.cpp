#include "engine/target_folders.h"

#include "engine/journal.h"
#include "platform/path.h"

namespace nandell {

TargetFolders::TargetFolders(fs::FileSystem& file_system, const std::string& output_folder)
    : file_system_(file_system) {
  const size_t last_separator = LastSeparator(output_folder);
  base_path_ =
      output_folder.substr(0, last_separator == std::string::npos ? 0 : last_separator + 1);
  base_error_ = file_system_.OpenFolder(base_path_, &base_);
}

std::string TargetFolders::Relative(const std::string& folder) const {
  return folder.substr(base_path_.size());
}

int TargetFolders::Open(const TargetPlan& plan, RunJournal& journal, fs::FolderRef* folder) {
  const std::string relative = Relative(plan.folder);
  if (last_ && relative == last_relative_) {
    *folder = last_;
    return 0;
  }
  if (!base_) return base_error_;
  bool made = false;
  if (!plan.year_folder.empty()) {
    // The year folder on its own the first time, so that the run knows when it made it.
    const std::string year = plan.year_folder.substr(base_path_.size());
    fs::FolderRef year_folder;
    if (cleared_.insert(year).second &&
        file_system_.OpenTargetFolder(*base_, year, &made, &year_folder) == 0 && made) {
      journal.AddFolder(plan.year_folder);
    }
  }
  const int error = file_system_.OpenTargetFolder(*base_, relative, &made, folder);
  if (error != 0) return error;
  if (made) journal.AddFolder(plan.folder);
  if (file_system_.FoldersStayInPlace()) {
    last_ = *folder;
    last_relative_ = relative;
  }
  if (cleared_.insert(relative).second && !made) file_system_.RemoveLeftovers(**folder);
  return 0;
}

}  // namespace nandell
