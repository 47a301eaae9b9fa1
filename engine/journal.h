#pragma once

// The journal of a run: one text file per run in OUTPUT/.nandell/journal/, named
// YYYYMMDD-HHMMSS-PID.tsv after the run's start, appended one line at a time as each file is
// done (so that a run that is killed still tells what it did), never rewritten, and marked
// complete at the end. An undo appends its own lines to it.
//
// Format, version 1: one record a line, fields separated by tabs, every path and text field
// escaped (EscapeField), the first field naming the record:
//
//   nandell-journal  1  mode=copy|move  layout=by-year|by-day  skip_identical=0|1
//                    rename_conflicts=0|1  filters=LIST  photo=FOLDER  output=FOLDER
//                    started=YYYY-MM-DD HH:MM:SS  started_ns=N  pid=N      (the first line)
//   folder           (empty)  FOLDER                          a year or day folder the run made
//   copy|move        SOURCE  TARGET  SIZE  MTIME  CHECKSUM      a file placed at TARGET
//   skip             SOURCE  TARGET  SIZE  MTIME  (empty)       identical to TARGET, not moved
//   date             TARGET  source=exif|media|sidecar|name|mtime  taken=YYYY-MM-DD[ HH:MM:SS]
//                    how the file just recorded was dated (only in runs with date switches)
//   end              processed=N  failed=N  skipped=N  stopped=0|1          the run is complete
//   undo-begin       started=YYYY-MM-DD HH:MM:SS  pid=N
//   undone|kept      LINE  WHAT             the undo of the record on line LINE (from 1)
//   undo-end         undone=N  kept=N                                      the undo is complete
//
// A run that uses a date switch adds sidecar_dates=0|1 name_dates=0|1 day_starts_at=HH:MM
// shift=+|-HH:MM to its first line and a date record after each file record; a reader that
// knows neither passes them over, and without the switches the journal is as before.
//
// Paths are absolute. SIZE and MTIME ("SECONDS.NANOSECONDS") are those of the placed file (of
// the source for a skip), CHECKSUM its content's XXH3-128 as 32 hexadecimal digits, or, for a
// file moved by a rename (its content never read), "id:DEVICE:INODE", the file's identity.

#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "engine/capture_date.h"
#include "engine/run_config.h"
#include "engine/run_events.h"
#include "platform/file.h"
#include "platform/file_system.h"

namespace nandell {

/// The journal folder of an output folder: OUTPUT + ".nandell/journal/" (with "\" on Windows).
std::string JournalFolder(const std::string& output_folder);

/// `text` as one field of a journal line: "\\" "\t" "\n" "\r" for a backslash, tab, line
/// feed and carriage return, "\xHH" for every other control byte and every byte that is
/// not part of valid UTF-8; everything else unchanged.
std::string EscapeField(std::string_view text);

/// The bytes that EscapeField made `field` from; false when `field` holds a tab, a line
/// break or a backslash sequence that EscapeField never writes.
bool UnescapeField(std::string_view field, std::string* text);

/// Size, last-write time and content checksum of one file.
struct FileRecord {
  int64_t size = 0;
  std::string mtime;  ///< "SECONDS.NANOSECONDS".
  /// XXH3-128 of the content, 32 hexadecimal digits; "id:DEVICE:INODE" for a file placed by a
  /// rename; empty if unread.
  std::string checksum;
};

/// How RecordFile identifies a file's content.
enum class RecordContent {
  kNone,      ///< Size and last-write time only.
  kChecksum,  ///< Read whole: XXH3-128.
  kIdentity,  ///< Not read: the file's device and number, for a file that was only renamed.
};

/// Fills `record` for the regular file `file`, reading it whole through `file_system` when
/// `content` asks for the checksum. Returns 0, EINVAL when `file` is not a regular file, or an
/// errno value.
int RecordFile(fs::FileSystem& file_system, const fs::FileAt& file, RecordContent content,
               FileRecord* record);

/// True when a run of `config` uses one of the date switches (sidecar dates, name dates, a
/// start of the day, a clock shift), so that its journal records how each file was dated.
bool RecordsDateSources(const RunConfig& config);

/// The fields of the date record of a file in a run of `config` ("source=NAME\ttaken=TIME",
/// escaped): `stamp`'s source and capture time, or "mtime" and the local last-write time when
/// the plan files it `by_last_write`. Empty when the run records no date sources.
std::string DateRecordFields(const RunConfig& config, const CaptureStamp& stamp, bool by_last_write,
                             std::optional<int64_t> last_write);

/// What a journal line says was done with a file.
enum class JournalAction { kCopy, kMove, kSkip };

/// The journal of one run as the run writes it. Nothing is on disk until the first file is
/// placed (a run that only fails or skips writes no journal); folder and skip records that
/// come before are kept until then. Thread-safe: the transfer threads add their files.
class RunJournal {
 public:
  /// The journal of the run of `config` (into its output folder), started now.
  RunJournal(fs::FileSystem& file_system, const RunConfig& config);
  /// Closes the journal (End writes the mark of completion before).
  ~RunJournal() = default;
  RunJournal(const RunJournal&) = delete;
  RunJournal& operator=(const RunJournal&) = delete;

  /// Records a year or day folder that the run made.
  void AddFolder(const std::string& folder);
  /// Records one file: copied or moved to `target`, or skipped because `target` holds the
  /// same bytes; a copy or a move opens the journal if it is not open yet. Non-empty
  /// `date_fields` (DateRecordFields) add the file's date record right after its line.
  void AddFile(JournalAction action, const std::string& source, const std::string& target,
               const FileRecord& record, const std::string& date_fields = std::string());
  /// Marks the journal complete with the run's counters, flushes and closes it; nothing
  /// when no file was placed.
  void End(const JobCounters& counters, bool stopped);

  /// Path of the journal once it was made, else empty.
  std::string Path() const;
  /// The first problem in making or writing it ("PATH: reason"), else empty.
  std::string Problem() const;

 private:
  void Write(const std::string& line);  // with mutex_ held
  bool Open();                          // with mutex_ held

  fs::FileSystem& file_system_;
  std::string folder_;       // absolute journal folder
  std::string header_;       // the first line
  std::string name_stem_;    // YYYYMMDD-HHMMSS-PID
  std::string working_dir_;  // to make relative paths absolute

  mutable std::mutex mutex_;  // guards everything below
  std::unique_ptr<AppendFile> file_;
  bool open_tried_ = false;
  std::vector<std::string> pending_;  // lines before the journal was opened
  std::string path_;
  std::string problem_;
};

/// One file record of a journal.
struct JournalEntry {
  int line = 0;  ///< Its line number, from 1.
  JournalAction action = JournalAction::kCopy;
  std::string source;
  std::string target;
  FileRecord record;
  std::string date_source;  ///< Its date record's source ("exif" ... "mtime"), else empty.
  std::string taken;        ///< Its date record's capture time, else empty.
};

/// A journal as read back.
struct Journal {
  bool move = false;                 ///< mode=move.
  std::string photo;                 ///< The photo folder of the run.
  std::string output;                ///< The output folder of the run.
  std::string started;               ///< "YYYY-MM-DD HH:MM:SS", local time of the start.
  int64_t started_ns = 0;            ///< The start, in nanoseconds since the epoch.
  std::vector<JournalEntry> files;   ///< copy, move and skip records, in order.
  std::vector<std::string> folders;  ///< Folders the run made, in order.
  bool complete = false;             ///< The run's end is recorded.
  JobCounters counters;              ///< The end record's counters.
  bool stopped = false;              ///< The end record says the run was stopped.
  std::set<int> undone;              ///< Lines of the file records undone.
  bool undo_started = false;         ///< An undo has begun.
  bool undo_complete = false;        ///< An undo ran to its end.
  bool ends_with_line_break = true;  ///< False when the last line was cut short.
};

/// Reads the text of a journal. Returns false when it does not begin with a journal header
/// of version 1. Lines that cannot be read (one cut short) are passed over.
bool ParseJournal(const std::string& text, Journal* journal);

/// The copy and move records of `journal` that are not undone yet.
std::vector<JournalEntry> PendingFiles(const Journal& journal);

}  // namespace nandell
