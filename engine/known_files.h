#pragma once

// The files already in a library (an output folder), as a run asks about them: a run that skips
// known files (SkipKnown) looks a file up by its size first, which reads nothing, and by its
// content only when some file of the library has that size. The engine knows only this
// interface; the index behind it (library/) is handed to a run in its config and to an undo by
// its caller, so that a build without it runs as designed.

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "platform/file_system.h"
#include "platform/translate.h"

namespace nandell {

/// How a run or an undo uses the library's index.
enum class IndexUse {
  /// Built the first time from a walk of the output folder, else checked against it (a file
  /// whose size or last-write time changed is read again when asked about; a missing one is
  /// dropped); then asked and kept current.
  kSkipKnown,
  /// A dry run's that skips known files: made from a walk of the output folder into a private
  /// temporary index, so that nothing in the output folder changes; predictions are recorded
  /// there.
  kDryRun,
  /// Any other dry run's: a private temporary index that holds only its predictions, so that a
  /// dry run of many files keeps them out of memory.
  kPredictions,
  /// Only kept current: used when the index exists and can be opened, never built, checked or
  /// set aside (a run or an undo without SkipKnown).
  kKeepCurrent,
};

/// What the index tells while it is made ready, and its notices.
struct IndexProgress {
  int64_t files = 0;   ///< Files of the output folder examined so far.
  bool done = false;   ///< The walk of the output folder has ended.
  std::string notice;  ///< When not empty: a message for the user, and nothing else.
};

/// The progress line of an index being made ready, in the chosen language.
std::string FormatIndexProgress(const IndexProgress& progress);

/// The message of a file skipped because the library holds its content at `where`:
/// "已在库中(N): SOURCE\r\n\r\n位置: WHERE\r\n".
std::string FormatKnownMessage(int32_t ordinal, const std::string& source,
                               const std::string& where);

/// The files of one library as one run (or undo) sees them. Used from one thread at a time.
class KnownFiles {
 public:
  /// Writes what is still pending.
  virtual ~KnownFiles() = default;
  /// True when a file of the library has `size` bytes; nothing is read.
  virtual bool HasSize(int64_t size) = 0;
  /// The path (as the run names it: the output folder's text and the relative path) of a file
  /// of the library of `size` bytes whose content's checksum (XXH3-128, 32 hexadecimal digits)
  /// is `checksum`, found unchanged where it lies now; empty when there is none. Files of that
  /// size whose content was not read yet are read now, once.
  virtual std::string Find(int64_t size, const std::string& checksum) = 0;
  /// Records that the run placed `file` (below the output folder); `checksum` is its content's
  /// when the placement read it (a copy), else empty: read when a file of its size is asked for.
  virtual void Placed(const fs::FileAt& file, const std::string& checksum) = 0;
  /// A dry run's prediction: `path` (as the run names it) would hold the content of `source`, of
  /// `size` bytes (-1 when not known), which is read in its place when asked for.
  virtual void Predicted(const std::string& path, int64_t size, const fs::FileAt& source) = 0;
  /// True when a prediction names `path`; `source` receives the path of the file it would come
  /// from.
  virtual bool Claimed(const std::string& path, std::string* source) = 0;
  /// Records that the file at `path` (as the undo names it) left the library.
  virtual void Removed(const std::string& path) = 0;
};

/// Opens the index of the library `output_folder` for `use` through `file_system`, telling
/// `progress` (when given) of the walk and of its notices (an index set aside, one that cannot
/// be used); `running` false stops the walk. Returns null when there is no index to use: a run
/// that skips known files then places every file as designed (and has said why).
using KnownFilesOpener = std::function<std::unique_ptr<KnownFiles>(
    fs::FileSystem& file_system, const std::string& output_folder, IndexUse use,
    const std::atomic<bool>& running, const std::function<void(const IndexProgress&)>& progress)>;

}  // namespace nandell
