#include "library/library_index.h"

#include <sqlite3.h>

#include <cerrno>
#include <chrono>
#include <unordered_map>
#include <utility>

#include "engine/journal.h"
#include "platform/file.h"
#include "platform/path.h"
#include "platform/translate.h"

namespace nandell {
namespace {

constexpr const char* kRecordsFolder = ".nandell";
constexpr const char* kIndexName = "library.sqlite";
// PRAGMA application_id of the index ("NLIB"), and its schema's user_version.
constexpr int64_t kApplicationId = 0x4e4c4942;
constexpr int64_t kSchemaVersion = 1;
// How long a write waits for another run's transaction.
constexpr int kBusyMilliseconds = 10000;
// A write transaction is committed after this many rows or this long, whichever comes first, so
// that another run waits little for its own; the changes a run makes are written together once
// this many are queued or the oldest has waited this long.
constexpr int64_t kBatchRows = 2000;
constexpr int64_t kBatchMilliseconds = 250;
constexpr size_t kQueuedChanges = 512;
// Files examined between two progress reports of a check against the folder.
constexpr int64_t kProgressEvery = 1000;
// Set-aside names tried before a damaged index is left where it is.
constexpr int kSetAsideAttempts = 100;
// The columns a query of whole rows returns (see LibraryIndex::Row).
constexpr const char* kRowColumns = "folder, name, size, mtime_ns, inode, source";

// folders: every folder below the output folder that the index has seen ("" for the output
// folder itself, else "YEAR/DAY/" with the platform's separator), with the generation of the check
// that saw it last, so that the files of a folder gone since are dropped.
// files: every regular file; checksum NULL while its content was not read, '' when it could not
// be; source set only in a dry run's private index, for a prediction, whose content is read from
// the source it would be placed from.
constexpr const char* kSchema = R"(
CREATE TABLE IF NOT EXISTS folders(
  path TEXT PRIMARY KEY,
  seen INTEGER NOT NULL
) WITHOUT ROWID;
CREATE TABLE IF NOT EXISTS files(
  folder TEXT NOT NULL,
  name TEXT NOT NULL,
  size INTEGER NOT NULL,
  mtime_ns INTEGER NOT NULL,
  device INTEGER NOT NULL,
  inode INTEGER NOT NULL,
  checksum TEXT,
  source TEXT,
  PRIMARY KEY(folder, name)
) WITHOUT ROWID;
CREATE INDEX IF NOT EXISTS files_by_content ON files(size, checksum);
)";

constexpr const char* kUnusableText = TrNoop("照片库索引无法使用, 库中已有的文件照常整理: %s (%s)");
constexpr const char* kSetAsideText = TrNoop("照片库索引已损坏或不是本程序的, 已移到 %s, 重新建立");

int64_t NowMilliseconds() {
  return std::chrono::duration_cast<std::chrono::milliseconds>(
             std::chrono::steady_clock::now().time_since_epoch())
      .count();
}

int64_t MtimeNs(const fs::FileFacts& facts) {
  return facts.mtime_sec * 1000000000 + facts.mtime_nsec;
}

// True for a checksum as ContentHash writes it.
bool IsChecksum(const std::string& text) {
  return text.size() == 32;
}

}  // namespace

// One file of the index as a query returns it.
struct LibraryIndex::Row {
  std::string folder;
  std::string name;
  int64_t size = 0;
  int64_t mtime_ns = 0;
  int64_t inode = 0;
  std::string source;

  // Reads the columns folder, name, size, mtime_ns, inode, source of `statement`.
  static Row Of(const sqlite::Statement& statement) {
    return Row{statement.Text(0), statement.Text(1), statement.Int(2),
               statement.Int(3),  statement.Int(4),  statement.Text(5)};
  }
};

// One change a run makes: a file placed (or predicted), or taken away.
struct LibraryIndex::Change {
  bool remove = false;
  std::string folder;
  std::string name;
  int64_t size = 0;
  int64_t mtime_ns = 0;
  int64_t device = 0;
  int64_t inode = 0;
  std::string checksum;  // empty: not read
  std::string source;    // a prediction's

  // The file `name` of `folder` placed or found, with its `facts`.
  static Change Of(std::string folder, std::string name, const fs::FileFacts& facts) {
    Change change;
    change.folder = std::move(folder);
    change.name = std::move(name);
    change.size = facts.size;
    change.mtime_ns = MtimeNs(facts);
    change.device = static_cast<int64_t>(facts.device);
    change.inode = static_cast<int64_t>(facts.inode);
    return change;
  }
};

std::string LibraryIndexPath(const std::string& output_folder) {
  return WithTrailingSeparator(output_folder) + kRecordsFolder + kPathSeparator + kIndexName;
}

LibraryIndex::LibraryIndex(fs::FileSystem& file_system, std::string root,
                           const std::atomic<bool>& running,
                           std::function<void(const IndexProgress&)> progress)
    : file_system_(file_system),
      root_(std::move(root)),
      running_(running),
      progress_(std::move(progress)) {}

std::unique_ptr<LibraryIndex> LibraryIndex::Open(
    fs::FileSystem& file_system, const std::string& output_folder, IndexUse use,
    const std::atomic<bool>& running, std::function<void(const IndexProgress&)> progress) {
  std::unique_ptr<LibraryIndex> index(new LibraryIndex(
      file_system, WithTrailingSeparator(output_folder), running, std::move(progress)));
  const bool keep_current = use == IndexUse::kKeepCurrent;
  const bool private_index = use == IndexUse::kDryRun || use == IndexUse::kPredictions;
  const std::string path = private_index ? "" : LibraryIndexPath(output_folder);
  const auto unusable = [&](const std::string& reason) {
    if (!keep_current) {
      index->Notice(
          TrFormat(kUnusableText, LibraryIndexPath(output_folder).c_str(), reason.c_str()));
    }
    return nullptr;
  };
  int error = file_system.OpenFolder(index->root_, &index->root_folder_);
  if (error != 0) return unusable(ErrorText(error));
  // The records' folder is reached from the output folder without following a link, as the
  // journal's is; a run that only keeps the index current never makes it.
  fs::FolderRef records;
  if (keep_current) {
    fs::FileFacts facts;
    if (file_system.OpenSubfolder(*index->root_folder_, kRecordsFolder, &records) != 0 ||
        file_system.Examine(fs::FileAt{records, kIndexName}, &facts) != 0 || !facts.regular) {
      return nullptr;
    }
  } else if (use == IndexUse::kSkipKnown) {
    bool made = false;
    error = file_system.OpenTargetFolder(
        *index->root_folder_, std::string(kRecordsFolder) + kPathSeparator, &made, &records);
    if (error != 0) return unusable(ErrorText(error));
  }
  Opened opened = index->OpenDatabase(path, !keep_current);
  if (opened == Opened::kSetAside && !keep_current) {
    const std::string aside = index->SetAside();
    if (aside.empty()) return unusable(index->db_.ErrorMessage());
    index->Notice(TrFormat(kSetAsideText, aside.c_str()));
    opened = index->OpenDatabase(path, true);
  }
  if (opened != Opened::kReady) {
    const std::string reason = index->db_.ErrorMessage();
    index->db_.Close();
    return unusable(reason);
  }
  if ((use == IndexUse::kSkipKnown || use == IndexUse::kDryRun) &&
      (!index->Refresh() || index->broken_)) {
    // Stopped, or damaged meanwhile (set aside as the index goes): nothing is known.
    return nullptr;
  }
  return index;
}

LibraryIndex::~LibraryIndex() {
  if (!db_.Handle()) return;
  Flush();
  Commit();
  if (!broken_) return;
  // Found damaged while in use: set aside now, so that the next run that needs it makes it anew.
  const std::string aside = SetAside();
  if (!aside.empty()) Notice(TrFormat(kSetAsideText, aside.c_str()));
}

// Opens the database at `path` (empty: a private temporary one) and checks that it is this
// program's index, making it in a new (empty) file; with `create` a missing file is made.
LibraryIndex::Opened LibraryIndex::OpenDatabase(const std::string& path, bool create) {
  path_ = path;
  int flags = SQLITE_OPEN_READWRITE | (create ? SQLITE_OPEN_CREATE : 0);
  // A link in the index's place is never followed.
  if (!path.empty()) flags |= SQLITE_OPEN_NOFOLLOW;
  int result = db_.Open(path, flags);
  if (result != SQLITE_OK) return sqlite::IsDamage(result) ? Opened::kSetAside : Opened::kFailed;
  sqlite3_extended_result_codes(db_.Handle(), 1);
  sqlite3_busy_timeout(db_.Handle(), kBusyMilliseconds);
  const int64_t application = db_.QueryInt("PRAGMA application_id", &result);
  int64_t version = 0;
  int64_t tables = 0;
  if (result == SQLITE_OK) version = db_.QueryInt("PRAGMA user_version", &result);
  if (result == SQLITE_OK) tables = db_.QueryInt("SELECT count(*) FROM sqlite_master", &result);
  if (sqlite::IsDamage(result)) return Opened::kSetAside;
  if (result != SQLITE_OK) return Opened::kFailed;
  const bool fresh = application == 0 && version == 0 && tables == 0;
  if (!fresh && (application != kApplicationId || version != kSchemaVersion)) {
    return Opened::kSetAside;
  }
  // Write-ahead logging lets a run read while another writes; a lost last batch after a power
  // cut costs only a look at the folder again.
  if (!path.empty()) {
    result = db_.Execute("PRAGMA journal_mode = WAL");
    if (result == SQLITE_OK) result = db_.Execute("PRAGMA synchronous = NORMAL");
  } else {
    // A private index goes with its run: nothing of it needs to last, nor to be rolled back
    // (which would hold every page a transaction changes in memory).
    result = db_.Execute("PRAGMA journal_mode = OFF; PRAGMA synchronous = OFF");
  }
  // A cache of its own size, whatever the number of files.
  if (result == SQLITE_OK) result = db_.Execute("PRAGMA cache_size = -2048");
  if (fresh && result == SQLITE_OK) {
    result = db_.Execute("BEGIN IMMEDIATE");
    const std::string schema =
        kSchema + ("PRAGMA application_id = " + std::to_string(kApplicationId) +
                   "; PRAGMA user_version = " + std::to_string(kSchemaVersion));
    if (result == SQLITE_OK) result = db_.Execute(schema.c_str());
    result = db_.Execute(result == SQLITE_OK ? "COMMIT" : "ROLLBACK") == SQLITE_OK ? result
                                                                                   : SQLITE_ERROR;
  }
  if (result == SQLITE_OK && !Prepare()) return Opened::kSetAside;
  if (sqlite::IsDamage(result)) return Opened::kSetAside;
  return result == SQLITE_OK ? Opened::kReady : Opened::kFailed;
}

// Prepares every statement; false when the schema is not the index's.
bool LibraryIndex::Prepare() {
  const std::string rows_of_size =
      std::string("SELECT ") + kRowColumns + " FROM files WHERE size = ?1 AND ";
  const std::pair<sqlite::Statement*, std::string> statements[] = {
      {&sql_.has_size, "SELECT 1 FROM files WHERE size = ?1 LIMIT 1"},
      {&sql_.unread_of_size, rows_of_size + "checksum IS NULL"},
      {&sql_.of_checksum, rows_of_size + "checksum = ?2"},
      {&sql_.set_read,
       "UPDATE files SET size = ?3, mtime_ns = ?4, device = ?5, inode = ?6, checksum = ?7 "
       "WHERE folder = ?1 AND name = ?2"},
      {&sql_.upsert_file,
       "INSERT OR REPLACE INTO files(folder, name, size, mtime_ns, device, inode, checksum, "
       "source) VALUES(?1, ?2, ?3, ?4, ?5, ?6, ?7, ?8)"},
      {&sql_.delete_file, "DELETE FROM files WHERE folder = ?1 AND name = ?2"},
      {&sql_.folder_rows, "SELECT name, size, mtime_ns, inode FROM files WHERE folder = ?1"},
      {&sql_.seen_folder,
       "INSERT INTO folders(path, seen) VALUES(?1, ?2) ON CONFLICT(path) "
       "DO UPDATE SET seen = excluded.seen"},
      {&sql_.known_folder, "INSERT OR IGNORE INTO folders(path, seen) VALUES(?1, ?2)"},
      {&sql_.claimed,
       "SELECT source FROM files WHERE folder = ?1 AND name = ?2 AND source IS NOT NULL"},
  };
  for (const auto& [statement, sql] : statements) {
    if (statement->Prepare(db_.Handle(), sql.c_str()) != SQLITE_OK) return false;
  }
  return true;
}

// Renames the database (and its write-ahead log) beside it, without replacing anything, and
// returns the new name; empty when it could not be moved.
std::string LibraryIndex::SetAside() {
  sql_ = Statements();
  db_.Close();
  for (int attempt = 1; attempt <= kSetAsideAttempts; ++attempt) {
    const std::string aside =
        path_ + ".damaged" + (attempt == 1 ? "" : "-" + std::to_string(attempt));
    const int error = RenameNoReplace(path_, aside);
    if (error == EEXIST) continue;
    if (error != 0) return std::string();
    // The log and its shared index belong to the old file: a new database must not take them.
    for (const char* suffix : {"-wal", "-shm"}) RenameNoReplace(path_ + suffix, aside + suffix);
    return aside;
  }
  return std::string();
}

// Checks the index against the output folder (see the top of the header). Returns false when
// stopped or when the database failed.
bool LibraryIndex::Refresh() {
  int result = SQLITE_OK;
  generation_ = db_.QueryInt("SELECT coalesce(max(seen), 0) + 1 FROM folders", &result);
  if (!Check(result)) return false;
  changes_ = LibraryCounts();
  int64_t seen = 0;
  bool complete = RefreshFolder(root_folder_, "", &seen) && running_.load();
  // The files of every folder not seen now are gone with it.
  if (complete && Writing()) {
    sqlite::Statement gone_files, gone_folders;
    complete = Check(gone_files.Prepare(db_.Handle(),
                                        "DELETE FROM files WHERE folder IN "
                                        "(SELECT path FROM folders WHERE seen <> ?1)")) &&
               Check(gone_folders.Prepare(db_.Handle(), "DELETE FROM folders WHERE seen <> ?1"));
    if (complete) {
      gone_files.Bind(1, generation_);
      complete = Check(gone_files.Run());
      changes_.removed += sqlite3_changes(db_.Handle());
    }
    if (complete) {
      gone_folders.Bind(1, generation_);
      complete = Check(gone_folders.Run());
    }
  }
  Commit();
  if (progress_) progress_(IndexProgress{seen, true, std::string()});
  return complete && !broken_;
}

// Checks the files of `folder` (named `relative` below the output folder), then its subfolders.
bool LibraryIndex::RefreshFolder(const fs::FolderRef& folder, const std::string& relative,
                                 int64_t* seen) {
  if (!running_.load() || broken_) return false;
  if (Writing()) {
    sql_.seen_folder.Bind(1, relative);
    sql_.seen_folder.Bind(2, generation_);
    Check(sql_.seen_folder.Run());
    Wrote();
  }
  struct Known {
    int64_t size, mtime_ns, inode;
  };
  std::unordered_map<std::string, Known> known;
  sql_.folder_rows.Bind(1, relative);
  int result = sql_.folder_rows.Step();
  for (; result == SQLITE_ROW; result = sql_.folder_rows.Step()) {
    known.emplace(sql_.folder_rows.Text(0),
                  Known{sql_.folder_rows.Int(1), sql_.folder_rows.Int(2), sql_.folder_rows.Int(3)});
  }
  if (!Check(result)) return false;
  int error = 0;
  std::unique_ptr<fs::FolderListing> listing = file_system_.ListFolder(*folder, &error);
  // A folder that cannot be read keeps what the index knows below it: a file is trusted only
  // once it is found unchanged where it lies.
  const auto keep_below = [&] {
    sqlite::Statement keep;
    if (Writing() &&
        Check(keep.Prepare(
            db_.Handle(), "UPDATE folders SET seen = ?2 WHERE substr(path, 1, length(?1)) = ?1"))) {
      keep.Bind(1, relative);
      keep.Bind(2, generation_);
      Check(keep.Run());
      Wrote();
    }
  };
  if (!listing) {
    keep_below();
    return true;
  }
  std::vector<std::string> subfolders;
  fs::DirEntry entry;
  while (listing->Next(&entry)) {
    // Hidden names (the records, temporary files of runs) are not the library's.
    if (entry.name.empty() || entry.name[0] == '.') continue;
    if (entry.kind == fs::EntryKind::kDirectory) {
      subfolders.push_back(entry.name);
      continue;
    }
    fs::FileFacts facts;
    if (entry.kind != fs::EntryKind::kFile ||
        file_system_.Examine(fs::FileAt{folder, entry.name}, &facts) != 0 || !facts.regular) {
      continue;
    }
    const auto found = known.find(entry.name);
    const bool same = found != known.end() && found->second.size == facts.size &&
                      found->second.mtime_ns == MtimeNs(facts) &&
                      found->second.inode == static_cast<int64_t>(facts.inode);
    if (!same && Writing()) {
      // New, or changed since it was indexed: its content is read again when it is needed.
      if (!Upsert(Change::Of(relative, entry.name, facts))) return false;
      ++(found == known.end() ? changes_.added : changes_.changed);
      Wrote();
    }
    if (found != known.end()) known.erase(found);
    if (++*seen % kProgressEvery == 0) {
      if (progress_) progress_(IndexProgress{*seen, false, std::string()});
      if (!running_.load()) return false;
    }
  }
  if (listing->Error() != 0) {
    keep_below();
    return true;
  }
  for (const auto& [name, facts] : known) {
    if (!Writing()) break;
    if (!Delete(relative, name)) return false;
    ++changes_.removed;
    Wrote();
  }
  decltype(known)().swap(known);  // its memory is not held while the subfolders are checked
  for (const std::string& name : subfolders) {
    const std::string below = relative + name + kPathSeparator;
    fs::FolderRef subfolder;
    if (file_system_.OpenSubfolder(*folder, name, &subfolder) != 0) {
      // Replaced by a link or gone since the listing: what the index knows there stays until
      // it is found missing.
      continue;
    }
    if (!RefreshFolder(subfolder, below, seen)) return false;
  }
  return true;
}

bool LibraryIndex::HasSize(int64_t size) {
  if (broken_) return false;
  if (!queued_.empty() && NowMilliseconds() - queued_since_ >= kBatchMilliseconds) Flush();
  for (const Change& change : queued_) {
    if (!change.remove && change.size == size) return true;
  }
  sql_.has_size.Bind(1, size);
  const int result = sql_.has_size.Step();
  sql_.has_size.Reset();
  if (result == SQLITE_ROW) return true;
  Check(result);
  return false;
}

std::string LibraryIndex::Find(int64_t size, const std::string& checksum) {
  if (broken_ || !IsChecksum(checksum)) return std::string();
  Flush();
  const std::string found = FindWritten(size, checksum);
  Commit();  // what was read is written before the run goes on
  return found;
}

std::string LibraryIndex::FindWritten(int64_t size, const std::string& checksum) {
  // The files of this size not read yet are read now (listed first: the query is not stepped
  // while their rows change).
  std::vector<Row> rows;
  sql_.unread_of_size.Bind(1, size);
  int result = sql_.unread_of_size.Step();
  for (; result == SQLITE_ROW; result = sql_.unread_of_size.Step())
    rows.push_back(Row::Of(sql_.unread_of_size));
  if (!Check(result)) return std::string();
  for (const Row& row : rows) ReadRow(row);
  rows.clear();
  sql_.of_checksum.Bind(1, size);
  sql_.of_checksum.Bind(2, checksum);
  result = sql_.of_checksum.Step();
  for (; result == SQLITE_ROW; result = sql_.of_checksum.Step())
    rows.push_back(Row::Of(sql_.of_checksum));
  if (!Check(result)) return std::string();
  for (const Row& row : rows) {
    // A dry run's prediction stands for the file that would be there.
    if (!row.source.empty()) return root_ + row.folder + row.name;
    // Trusted only where it lies unchanged now; one that changed is read again when needed.
    fs::FileAt file;
    fs::FileFacts facts;
    if (Locate(row.folder, row.name, &file) && file_system_.Examine(file, &facts) == 0 &&
        facts.regular && facts.size == row.size && MtimeNs(facts) == row.mtime_ns &&
        static_cast<int64_t>(facts.inode) == row.inode) {
      return root_ + row.folder + row.name;
    }
    ReadRow(row);
  }
  return std::string();
}

// Reads the content of the file of `row` (or, for a prediction, of its source) and records its
// checksum with its facts now; a file that is gone is dropped.
bool LibraryIndex::ReadRow(const Row& row) {
  fs::FileAt file;
  fs::FileFacts facts;
  if (!row.source.empty()) {
    const size_t slash = LastSeparator(row.source);
    file.name = row.source.substr(slash + 1);
    facts.size = row.size;
    facts.regular = file_system_.OpenFolder(row.source.substr(0, slash + 1), &file.folder) == 0;
  } else if (Locate(row.folder, row.name, &file)) {
    facts.regular = file_system_.Examine(file, &facts) == 0 && facts.regular;
  }
  if (!Writing()) return false;
  if (!facts.regular) {
    const bool done = Delete(row.folder, row.name);
    Wrote();
    return done;
  }
  FileRecord record;
  const bool read = RecordFile(file_system_, file, RecordContent::kChecksum, &record) == 0;
  // A file that changed while it was read keeps no checksum: it is read again when needed.
  fs::FileFacts after;
  const bool steady =
      !row.source.empty() || (file_system_.Examine(file, &after) == 0 && after.size == facts.size &&
                              MtimeNs(after) == MtimeNs(facts));
  sql_.set_read.Bind(1, row.folder);
  sql_.set_read.Bind(2, row.name);
  sql_.set_read.Bind(3, facts.size);
  sql_.set_read.Bind(4, row.source.empty() ? MtimeNs(facts) : row.mtime_ns);
  sql_.set_read.Bind(5, static_cast<int64_t>(facts.device));
  sql_.set_read.Bind(6, row.source.empty() ? static_cast<int64_t>(facts.inode) : row.inode);
  if (!steady) {
    sql_.set_read.BindNull(7);
  } else {
    sql_.set_read.Bind(7, read ? record.checksum : std::string());
  }
  const bool done = Check(sql_.set_read.Run());
  Wrote();
  return done;
}

// The file `name` of the library's folder `folder` (relative, ending with a separator; "" for
// the output folder), reached without following a link.
bool LibraryIndex::Locate(const std::string& folder, const std::string& name, fs::FileAt* file) {
  file->name = name;
  if (folder.empty()) {
    file->folder = root_folder_;
    return true;
  }
  return file_system_.OpenSubfolder(*root_folder_, folder.substr(0, folder.size() - 1),
                                    &file->folder) == 0;
}

// `path` (as the run names it) as a folder relative to the output folder and a name.
bool LibraryIndex::Split(const std::string& path, std::string* folder, std::string* name) const {
  if (path.size() <= root_.size() || path.compare(0, root_.size(), root_) != 0) return false;
  const std::string relative = path.substr(root_.size());
  const size_t slash = LastSeparator(relative);
  *folder = slash == std::string::npos ? std::string() : relative.substr(0, slash + 1);
  *name = relative.substr(slash == std::string::npos ? 0 : slash + 1);
  return !name->empty();
}

void LibraryIndex::Placed(const fs::FileAt& file, const std::string& checksum) {
  std::string folder, name;
  fs::FileFacts facts;
  if (broken_ || !Split(file.Path(), &folder, &name) || file_system_.Examine(file, &facts) != 0 ||
      !facts.regular) {
    return;
  }
  Change change = Change::Of(std::move(folder), std::move(name), facts);
  if (IsChecksum(checksum)) change.checksum = checksum;
  Queue(std::move(change));
}

void LibraryIndex::Predicted(const std::string& path, int64_t size, const fs::FileAt& source) {
  Change change;
  if (broken_ || !Split(path, &change.folder, &change.name)) return;
  if (predicted_.empty()) predicted_.resize(kPredictionBits);
  const auto [first, second] = PredictionBits(change.folder, change.name);
  predicted_[first] = true;
  predicted_[second] = true;
  change.size = size;
  change.source = source.Path();
  Queue(std::move(change));
}

void LibraryIndex::Removed(const std::string& path) {
  Change change;
  change.remove = true;
  if (broken_ || !Split(path, &change.folder, &change.name)) return;
  Queue(std::move(change));
}

bool LibraryIndex::Claimed(const std::string& path, std::string* source) {
  std::string folder, name;
  if (broken_ || !Split(path, &folder, &name) || !MayBePredicted(folder, name)) return false;
  Flush();
  sql_.claimed.Bind(1, folder);
  sql_.claimed.Bind(2, name);
  const int result = sql_.claimed.Step();
  if (result != SQLITE_ROW) {
    Check(result);
    return false;
  }
  *source = sql_.claimed.Text(0);
  sql_.claimed.Reset();
  return true;
}

// The two bits of the prediction of `name` in `folder` in predicted_, from one hash.
std::pair<size_t, size_t> LibraryIndex::PredictionBits(const std::string& folder,
                                                       const std::string& name) {
  const size_t hash = std::hash<std::string>()(folder + '/' + name);
  return {hash % kPredictionBits, (hash >> 32) * 0x9e3779b97f4a7c15ull % kPredictionBits};
}

// False when no prediction names `name` in `folder` (most names of a dry run): the database is
// asked only when one may.
bool LibraryIndex::MayBePredicted(const std::string& folder, const std::string& name) const {
  if (predicted_.empty()) return false;
  const auto [first, second] = PredictionBits(folder, name);
  return predicted_[first] && predicted_[second];
}

void LibraryIndex::Queue(Change change) {
  // A private index has no other reader: written at once, in long transactions.
  if (path_.empty()) {
    Apply(change);
    return;
  }
  if (queued_.empty()) queued_since_ = NowMilliseconds();
  queued_.push_back(std::move(change));
  if (queued_.size() >= kQueuedChanges || NowMilliseconds() - queued_since_ >= kBatchMilliseconds) {
    Flush();
  }
}

// Writes the queued changes in one transaction. When the index cannot be written (another run
// kept it past the busy timeout) they are left out: the next check against the folder finds the
// files, and until then a file is only placed again, never skipped wrongly.
void LibraryIndex::Flush() {
  if (queued_.empty()) return;
  std::vector<Change> changes;
  changes.swap(queued_);
  for (const Change& change : changes) {
    if (!Apply(change)) break;
  }
  Commit();
}

// Writes one change in the open write transaction; false when it could not be.
bool LibraryIndex::Apply(const Change& change) {
  if (!Writing()) return false;
  if (change.remove) {
    if (!Delete(change.folder, change.name)) return false;
  } else {
    // The folder is known, so that the files in it are dropped once it is gone (a private
    // index is never checked against the folder again).
    sql_.known_folder.Bind(1, change.folder);
    sql_.known_folder.Bind(2, generation_);
    if ((!path_.empty() && !Check(sql_.known_folder.Run())) || !Upsert(change)) return false;
  }
  Wrote();
  return true;
}

// Drops the row of the file `name` in `folder`.
bool LibraryIndex::Delete(const std::string& folder, const std::string& name) {
  sql_.delete_file.Bind(1, folder);
  sql_.delete_file.Bind(2, name);
  return Check(sql_.delete_file.Run());
}

// Writes the row of one file (its checksum NULL when not read).
bool LibraryIndex::Upsert(const Change& change) {
  sql_.upsert_file.Bind(1, change.folder);
  sql_.upsert_file.Bind(2, change.name);
  sql_.upsert_file.Bind(3, change.size);
  sql_.upsert_file.Bind(4, change.mtime_ns);
  sql_.upsert_file.Bind(5, change.device);
  sql_.upsert_file.Bind(6, change.inode);
  if (change.checksum.empty()) {
    sql_.upsert_file.BindNull(7);
  } else {
    sql_.upsert_file.Bind(7, change.checksum);
  }
  if (change.source.empty()) {
    sql_.upsert_file.BindNull(8);
  } else {
    sql_.upsert_file.Bind(8, change.source);
  }
  return Check(sql_.upsert_file.Run());
}

LibraryCounts LibraryIndex::Counts() {
  Flush();
  LibraryCounts counts = changes_;
  sqlite::Statement statement;
  if (!broken_ &&
      Check(statement.Prepare(db_.Handle(),
                              "SELECT count(*), coalesce(sum(size), 0), "
                              "count(CASE WHEN checksum <> '' THEN 1 END) FROM files")) &&
      statement.Step() == SQLITE_ROW) {
    counts.files = statement.Int(0);
    counts.bytes = statement.Int(1);
    counts.read = statement.Int(2);
    statement.Reset();
  }
  return counts;
}

bool LibraryIndex::ListDuplicates(
    const std::function<void(int64_t size, const std::vector<std::string>& paths)>& group) {
  if (broken_) return false;
  Flush();
  // Every file whose size another shares is read once, a batch at a time.
  sqlite::Statement unread;
  const std::string unread_sql =
      std::string("SELECT ") + kRowColumns +
      " FROM files WHERE checksum IS NULL AND size IN "
      "(SELECT size FROM files GROUP BY size HAVING count(*) > 1) LIMIT 500";
  if (!Check(unread.Prepare(db_.Handle(), unread_sql.c_str()))) return false;
  for (;;) {
    std::vector<Row> rows;
    int result = unread.Step();
    for (; result == SQLITE_ROW; result = unread.Step()) rows.push_back(Row::Of(unread));
    if (!Check(result)) return false;
    if (rows.empty()) break;
    for (const Row& row : rows) {
      if (!ReadRow(row)) return false;  // nothing recorded: the same rows would come again
    }
    Commit();
  }
  Commit();
  sqlite::Statement same;
  if (!Check(same.Prepare(db_.Handle(),
                          "SELECT size, checksum, folder, name FROM files WHERE checksum <> '' "
                          "AND (size, checksum) IN (SELECT size, checksum FROM files WHERE "
                          "checksum <> '' GROUP BY size, checksum HAVING count(*) > 1) "
                          "ORDER BY size DESC, checksum, folder, name"))) {
    return false;
  }
  std::vector<std::string> paths;
  int64_t size = 0;
  std::string checksum;
  int result = same.Step();
  for (; result == SQLITE_ROW; result = same.Step()) {
    if (!paths.empty() && (same.Int(0) != size || same.Text(1) != checksum)) {
      group(size, paths);
      paths.clear();
    }
    size = same.Int(0);
    checksum = same.Text(1);
    paths.push_back(root_ + same.Text(2) + same.Text(3));
  }
  if (!paths.empty()) group(size, paths);
  return Check(result);
}

// True when `result` is a success; a result that says the database is damaged marks it so.
bool LibraryIndex::Check(int result) {
  if (sqlite::IsDamage(result)) broken_ = true;
  return result == SQLITE_OK || result == SQLITE_ROW || result == SQLITE_DONE;
}

// Makes sure a write transaction is open; false when none can be (the database is damaged, or
// another run kept it past the busy timeout: the write is left out, and the next check against
// the folder finds what it would have said).
bool LibraryIndex::Writing() {
  if (broken_) return false;
  if (in_transaction_) return true;
  if (!Check(db_.Execute("BEGIN IMMEDIATE"))) return false;
  in_transaction_ = true;
  pending_writes_ = 0;
  transaction_start_ = NowMilliseconds();
  return true;
}

void LibraryIndex::Wrote() {
  // A private index has no other reader: one transaction for its whole life, whose pages are
  // written only when its cache is full.
  if (path_.empty()) return;
  if (++pending_writes_ >= kBatchRows ||
      NowMilliseconds() - transaction_start_ >= kBatchMilliseconds) {
    Commit();
  }
}

void LibraryIndex::Commit() {
  if (!in_transaction_) return;
  in_transaction_ = false;
  if (!Check(db_.Execute("COMMIT"))) db_.Execute("ROLLBACK");
}

void LibraryIndex::Notice(const std::string& text) {
  if (progress_) progress_(IndexProgress{0, false, text});
}

std::unique_ptr<KnownFiles> OpenLibraryIndex(
    fs::FileSystem& file_system, const std::string& output_folder, IndexUse use,
    const std::atomic<bool>& running, const std::function<void(const IndexProgress&)>& progress) {
  return LibraryIndex::Open(file_system, output_folder, use, running, progress);
}

}  // namespace nandell
