#pragma once

// The transfer threads of a run: copies (and moves to another file system) carried out a few
// at a time, so that their flushes to disk overlap. The run's worker hands them over in walk
// order and takes the results back in the same order.

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "platform/file_system.h"

namespace nandell {

class RunJournal;
class ConflictNumbers;
struct FileGroup;

/// A file that goes with the file of its transfer as one group (KeepTogether), and its result.
struct Companion {
  std::string source;  ///< The source path as listed.
  fs::FileAt from;     ///< The source, relative to its open folder.
  std::string target;  ///< Its planned target path (beside the planned one of its group).
  std::string placed;  ///< Once done: the path of the name it took (or the identical file's).
  std::string kept_as;  ///< Where a failed move left its source, when not under its name.
};

/// One file's transfer and its result; or, settled at once, a folder the walk could not read.
struct Transfer {
  /// Where a transfer stands; guarded by the threads' lock once handed over.
  enum class State { kQueued, kRunning, kDone, kDropped };
  std::string source;              ///< The source path as listed (or the unreadable folder's path).
  std::string target;              ///< The planned target path.
  fs::FileAt from;                 ///< The source, relative to its open folder.
  fs::FileAt to;                   ///< The planned target, relative to its open folder.
  bool move = false;               ///< A move (by copy, when on a transfer thread); else a copy.
  bool unreadable_folder = false;  ///< A folder that could not be read, not a file.
  bool skip_identical = false;     ///< A taken name holding the same bytes: skip the file.
  bool rename_conflicts = false;   ///< A taken name otherwise: the first free NAME_N.EXT.
  RunJournal* journal = nullptr;   ///< Where the line of what was done goes, or null.
  ConflictNumbers* conflict_numbers = nullptr;  ///< The run's free-name search, or null.
  std::string date_fields;  ///< Its journal's date record (DateRecordFields), or empty.
  int error = 0;        ///< 0 or the result of the failure (an errno value or fs's own), once done.
  std::string kept_as;  ///< Where a failed move left its source, when not under its name.
  std::string placed;   ///< Once done: the path of the name used, or of the identical file.
  bool skipped = false;  ///< Once done: skipped, an identical file has the name.
  bool known = false;    ///< Skipped because the library holds its content at `placed`.
  int64_t size = -1;     ///< The source's size when the run looked it up in the library.
  /// Once placed: the content's checksum when the placement read it (a copy), else empty.
  std::string checksum;
  /// The other files of its group (KeepTogether), members 1, 2, ... of `group` (this transfer's
  /// file is its principal), placed into the same folder under the same stem, all or none.
  /// Empty for a file that goes alone.
  std::vector<Companion> companions;
  std::shared_ptr<const FileGroup> group;  ///< The group, when there are companions.
  /// Once done, for a group that failed: the companion whose failure failed it (its index + 1),
  /// or 0 when it was the principal's.
  size_t failed_companion = 0;
  State state = State::kQueued;
};

/// A few threads that carry out queued transfers through one FileSystem.
class TransferThreads {
 public:
  /// Starts up to `count` threads. They take no further transfer once `running` is false (a
  /// stop): transfers under way finish, queued ones stay. A thread that the system refuses
  /// (its task limit) leaves fewer; with none started, Count() is 0 and nothing may be queued.
  TransferThreads(fs::FileSystem& file_system, int count, const std::atomic<bool>& running);
  /// Joins the threads (every transfer queued must be settled by then).
  ~TransferThreads();
  TransferThreads(const TransferThreads&) = delete;
  TransferThreads& operator=(const TransferThreads&) = delete;

  /// Number of threads running.
  size_t Count() const { return threads_.size(); }
  /// Queues `transfer` (state kQueued) for the next free thread.
  void Queue(std::shared_ptr<Transfer> transfer);
  /// True when `transfer` is done or dropped.
  bool IsSettled(const Transfer& transfer);
  /// Waits until `transfer` is done and returns true; when the run stops before a thread has
  /// taken it, takes it off the queue instead (state kDropped) and returns false.
  bool WaitFor(Transfer& transfer);

 private:
  void Serve();

  fs::FileSystem& file_system_;
  const std::atomic<bool>& running_;
  std::mutex mutex_;
  std::condition_variable work_ready_;
  std::condition_variable done_;
  std::deque<std::shared_ptr<Transfer>> queue_;  // not yet taken by a thread
  bool closing_ = false;
  std::vector<std::thread> threads_;
};

}  // namespace nandell
