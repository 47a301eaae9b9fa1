#pragma once

// Copying and moving one file without ever replacing another or losing either, composed from
// the steps of the run's file system (platform/file_system.h): a step that a test makes fail or
// wait acts on every transfer built on it. A copy is made in a hidden temporary file and only
// then given its name; a move to another file system first takes its source (hides it under
// TakenName), so that a new file appearing under the source's name meanwhile is never touched,
// and removes it only when it is still the file copied, unchanged; a failed move puts its
// source back, under a visible recovery name when its own is taken meanwhile.

#include <string>

#include "platform/file_system.h"

namespace nandell {

/// Told by a transfer before each step after which a file of it may stand under a name that it
/// did not have, so that the record of the step (the run's journal) is there before the step:
/// each returns 0 to go on, or an error that fails the transfer at that point (nothing more is
/// done, and what was done is taken back).
class TransferLog {
 public:
  virtual ~TransferLog() = default;
  /// Before a move takes its source (hides it under TakenName).
  virtual int BeforeTaking() = 0;
  /// Before the complete `copy` takes the target's name.
  virtual int BeforePlacing(const fs::Copied& copy) = 0;
};

/// Copies `source` to `target` through `file_system` without ever replacing: an existing target
/// is refused (EEXIST) before any data is written; the copy is made in a temporary file and,
/// when the source changed meanwhile, made once more (fs::kChangedWhileCopied when it changed
/// again); then PlaceNoReplace, and the folder flushed. `log` (when given) is told before the
/// copy takes its name.
int CopyNoReplace(fs::FileSystem& file_system, const fs::FileAt& source, const fs::FileAt& target,
                  TransferLog* log = nullptr);

/// Moves `source` to a `target` on another file system. The source is first taken: renamed,
/// without replacing, to a hidden name in its folder (TakenName). Then it is copied as
/// CopyNoReplace does (owner and group kept when run as root), compared byte for byte, the
/// folders above the copy flushed, and the taken source removed only when it is still the file
/// that was copied, unchanged (RemoveSource). On failure the copy is taken back and the source
/// put back under its name; when a new file has the name meanwhile, under a visible recovery
/// name (RecoveryName), whose path `kept_as` receives (or the hidden one's, when even that
/// failed; a later run recovers it). A name too long to hide is moved without being taken,
/// still only removed when unchanged. `log` (when given) is told before the source is taken and
/// before the copy takes its name.
int MoveByCopy(fs::FileSystem& file_system, const fs::FileAt& source, const fs::FileAt& target,
               std::string* kept_as, TransferLog* log = nullptr);

/// Moves `source` to `target` without ever replacing: PlaceNoReplace, or MoveByCopy when the
/// rename cannot do it (NeedsCopyToMove).
int MoveNoReplace(fs::FileSystem& file_system, const fs::FileAt& source, const fs::FileAt& target,
                  std::string* kept_as);

/// Moves the file `placed` back to `original` (its source), as MoveNoReplace does, or, when a
/// new file has taken that name meanwhile, under the first free RecoveryName beside it, whose
/// path `kept_as` receives.
int MoveBack(fs::FileSystem& file_system, const fs::FileAt& placed, const fs::FileAt& original,
             std::string* kept_as);

/// Puts a source that an ended run left taken (IsTakenName) back under its name, or under a
/// recovery name when its name is taken; `name` receives the name it now has. EBUSY when a run
/// still holds it.
int RecoverTaken(fs::FileSystem& file_system, const fs::FileAt& taken, std::string* name);

/// True when PlaceNoReplace failing with `error` means the file can only be moved by copying
/// it: the target is on another file system.
bool NeedsCopyToMove(int error);

/// The hidden name under which a move takes the file `name` (".nandell-move." + name).
std::string TakenName(const std::string& name);

/// True when `name` is a TakenName; `original` (when given) receives the name it stands for.
bool IsTakenName(const std::string& name, std::string* original = nullptr);

/// Recovery names tried (RecoveryName 1 to this) before a source is left under its hidden name.
inline constexpr int kRecoveryAttempts = 100;

/// The visible name under which a source that cannot get its name back is kept: "NAME(恢复)"
/// before the extension for `attempt` 1, "NAME(恢复2)" for 2, and so on.
std::string RecoveryName(const std::string& name, int attempt);

}  // namespace nandell
