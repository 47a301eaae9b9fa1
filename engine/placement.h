#pragma once

// Placing one file of a run: the transfer, what happens when the target name is taken
// (SkipIdentical, RenameConflicts), and the journal line of what was done.

#include <functional>
#include <mutex>
#include <string>
#include <unordered_map>

#include "engine/transfer_threads.h"
#include "platform/file_system.h"

namespace nandell {

/// The highest number a free name "NAME_N.EXT" may get.
inline constexpr int kMaxConflictNumber = 9999;

/// The `number`th other name of the file `name` in its folder: "NAME_N.EXT" for "NAME.EXT",
/// the number before the last "." of the name, or at its end when the name has none.
std::string ConflictName(const std::string& name, int number);

/// What to do when a target name is taken.
struct ConflictRule {
  bool skip_identical = false;    ///< A name holding the same bytes: skip the file.
  bool rename_conflicts = false;  ///< Otherwise: the first free NAME_N.EXT.
};

/// How far the free-name search of one run has come for each planned target: every number
/// below a target's next number was found taken (or used) by the run, so the next file aimed
/// at that target starts there, and many files on one name cost a few probes each instead of
/// one for every file before them. At most kMaxTargets targets are remembered: the search of a
/// target forgotten starts again from 1 and finds the same name, a run only ever taking names.
/// Thread-safe: the transfer threads share one.
class ConflictNumbers {
 public:
  /// The first number NAME_N to try for the planned target `path` (1 when none is known).
  int First(const std::string& path) const;
  /// Records that every number below `next` is taken for the planned target `path`.
  void Reached(const std::string& path, int next);
  /// Forgets every target (a new run).
  void Clear();

  /// The most targets remembered at once, so that a run of many conflicts keeps to a bound.
  static constexpr size_t kMaxTargets = 4096;

 private:
  mutable std::mutex mutex_;
  std::unordered_map<std::string, int> next_;
};

/// Where a file went.
struct Placement {
  int error = 0;         ///< 0, or the failure (EEXIST: no name was free).
  std::string name;      ///< The name used; the identical file's when skipped; the planned
                         ///< name on failure.
  bool skipped = false;  ///< An identical file holds the name: nothing was done.
};

/// Places a file under the name `name` of its target folder by `place` (which returns 0,
/// EEXIST when the name is taken and nothing was done, or another failure). While names are
/// taken: with skip_identical a name for which `identical` is true makes the file skipped;
/// with rename_conflicts the next name ConflictName(name, 1 ... kMaxConflictNumber) is tried.
/// Without a free name, or when neither rule applies, the result is EEXIST on `name`. With
/// `numbers` (and rename_conflicts without skip_identical, where no taken name needs looking
/// at), the numbers the run already found taken for the planned target `path` are not tried
/// again, and the ones found now are recorded there.
Placement PlaceResolvingConflicts(const ConflictRule& rule, const std::string& name,
                                  const std::function<int(const std::string&)>& place,
                                  const std::function<bool(const std::string&)>& identical,
                                  ConflictNumbers* numbers = nullptr,
                                  const std::string& path = std::string());

/// True when `other` is a regular file (not a link) that holds the same bytes as `source`.
bool IdenticalFile(fs::FileSystem& file_system, const fs::FileAt& source, const fs::FileAt& other);

/// Carries out `transfer` (its source, planned target, mode and rule) through `file_system`,
/// filling its error, placed name and skipped flag, and adds its journal line when it has a
/// journal. With `rename_only` (a move tried first as a rename on the run's worker) a move
/// that needs a copy stops with that error (NeedsCopyToMove) and no line, to be carried out
/// again on a transfer thread.
void CarryOut(fs::FileSystem& file_system, Transfer* transfer, bool rename_only = false);

}  // namespace nandell
