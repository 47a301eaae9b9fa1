#pragma once

// The index of a library: every regular file below an output folder (names beginning with "."
// left out, links never followed), with its relative path, size, last-write time, identity and,
// once read, its content's XXH3-128, in an SQLite database at OUTPUT/.nandell/library.sqlite.
//
// A file's content is read only when it is needed: when a file of its size is looked for, or
// when the duplicates are listed; so a first index of a library examines every file and reads
// none whose size no other file has, and a copy placed by a run brings the checksum its copying
// took. Before the index is trusted it is checked against the folder: a file whose size,
// last-write time or identity changed is read again when needed, a missing one is dropped, a new
// one added. Writes go in short transactions of many rows, never left open between two calls, so
// that with WAL and a busy timeout two runs share the index and neither waits long for the other. A
// damaged database, or one that is not this program's, is set aside beside it (renamed) and made
// anew: the index is never a reason to lose a photo or to skip one wrongly.

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "engine/known_files.h"
#include "library/sqlite.h"
#include "platform/file_system.h"

namespace nandell {

/// The index's file of the output folder `output_folder`: OUTPUT/.nandell/library.sqlite.
std::string LibraryIndexPath(const std::string& output_folder);

/// What an index holds, and what its last check against the folder changed.
struct LibraryCounts {
  int64_t files = 0;    ///< Files in the index.
  int64_t bytes = 0;    ///< Their sizes added up.
  int64_t read = 0;     ///< Files whose content was read (checksum known).
  int64_t added = 0;    ///< Found by the last check and not indexed before.
  int64_t changed = 0;  ///< Whose size, last-write time or identity the last check found changed.
  int64_t removed = 0;  ///< Indexed before and missing at the last check.
};

/// The index of one library, open for one run, undo or command. One thread at a time.
class LibraryIndex : public KnownFiles {
 public:
  /// Opens the index of `output_folder` for `use` (see IndexUse) through `file_system`, which
  /// every walk and read of the library's files goes through; `progress` (when given) hears of
  /// the check against the folder and of every notice; `running` false stops that check.
  /// Returns null when there is no index to use (said to `progress`, except for kKeepCurrent).
  static std::unique_ptr<LibraryIndex> Open(fs::FileSystem& file_system,
                                            const std::string& output_folder, IndexUse use,
                                            const std::atomic<bool>& running,
                                            std::function<void(const IndexProgress&)> progress);
  /// Commits what is pending; a database found damaged meanwhile is set aside.
  ~LibraryIndex() override;

  bool HasSize(int64_t size) override;
  std::string Find(int64_t size, const std::string& checksum) override;
  void Placed(const fs::FileAt& file, const std::string& checksum) override;
  void Predicted(const std::string& path, int64_t size, const fs::FileAt& source) override;
  bool Claimed(const std::string& path, std::string* source) override;
  void Removed(const std::string& path) override;

  /// What the index holds now, and what its last check changed.
  LibraryCounts Counts();
  /// Reads every file whose size another file shares and has not been read, then calls `group`
  /// with each group of files of identical content, the largest files first, each group's paths
  /// (as the library's paths are named: the output folder's text and the relative path) in
  /// order. Returns false when the index could not be read to its end.
  bool ListDuplicates(
      const std::function<void(int64_t size, const std::vector<std::string>& paths)>& group);
  /// The database's path (empty for a dry run's private one).
  const std::string& Path() const { return path_; }

 private:
  struct Row;
  struct Change;
  LibraryIndex(fs::FileSystem& file_system, std::string root, const std::atomic<bool>& running,
               std::function<void(const IndexProgress&)> progress);
  enum class Opened { kReady, kSetAside, kFailed };
  Opened OpenDatabase(const std::string& path, bool create);
  bool Prepare();
  std::string SetAside();
  bool Refresh();
  bool RefreshFolder(const fs::FolderRef& folder, const std::string& relative, int64_t* seen);
  std::string FindWritten(int64_t size, const std::string& checksum);
  bool ReadRow(const Row& row);
  bool Locate(const std::string& folder, const std::string& name, fs::FileAt* file);
  bool Split(const std::string& path, std::string* folder, std::string* name) const;
  bool Check(int result);
  bool Writing();
  void Wrote();
  void Commit();
  void Queue(Change change);
  static std::pair<size_t, size_t> PredictionBits(const std::string& folder,
                                                  const std::string& name);
  bool MayBePredicted(const std::string& folder, const std::string& name) const;
  void Flush();
  bool Apply(const Change& change);
  bool Upsert(const Change& change);
  bool Delete(const std::string& folder, const std::string& name);
  void Notice(const std::string& text);

  fs::FileSystem& file_system_;
  const std::string root_;  // the output folder's text, ending with a separator
  const std::atomic<bool>& running_;
  std::function<void(const IndexProgress&)> progress_;
  fs::FolderRef root_folder_;
  std::string path_;
  sqlite::Database db_;
  bool broken_ = false;            // the database was found damaged: no more use of it
  bool in_transaction_ = false;    // a write transaction is open
  int64_t pending_writes_ = 0;     // rows written in it
  int64_t transaction_start_ = 0;  // when it began (steady clock, milliseconds)
  int64_t generation_ = 0;         // of the last check against the folder
  LibraryCounts changes_;
  // What the run placed, predicted or took away, written together (Flush).
  std::vector<Change> queued_;
  int64_t queued_since_ = 0;
  // The predictions recorded, as a filter of a fixed size: a name whose two bits are not both
  // set was never predicted.
  static constexpr size_t kPredictionBits = size_t{1} << 23;
  std::vector<bool> predicted_;  // made with the first prediction
  // The statements, prepared once.
  struct Statements {
    sqlite::Statement has_size, unread_of_size, of_checksum, set_read, upsert_file, delete_file,
        folder_rows, seen_folder, known_folder, claimed;
  };
  Statements sql_;
};

/// A KnownFilesOpener over LibraryIndex::Open.
std::unique_ptr<KnownFiles> OpenLibraryIndex(
    fs::FileSystem& file_system, const std::string& output_folder, IndexUse use,
    const std::atomic<bool>& running, const std::function<void(const IndexProgress&)>& progress);

}  // namespace nandell
