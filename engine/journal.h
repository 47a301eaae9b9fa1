#pragma once

// The journal of a run: one text file per run in OUTPUT/.nandell/journal/, named
// YYYYMMDD-HHMMSS-PID.tsv after the run's start, appended one line at a time, never rewritten,
// and marked complete at the end. Before any step after which a file of the run may stand
// under a name in the output (or hidden in the photo folder), the intent is written; after
// the file is placed, its record (written with the next line): so that every file that a run
// killed at any moment may have left is known to undo. A run whose journal cannot be written
// places nothing more. An undo appends its own lines to it.
//
// Format, version 1: one record a line, fields separated by tabs, every path and text field
// escaped (EscapeField), the first field naming the record:
//
//   nandell-journal  1  mode=copy|move  layout=by-year|by-day  skip_identical=0|1
//                    rename_conflicts=0|1  filters=LIST  photo=FOLDER  output=FOLDER
//                    started=YYYY-MM-DD HH:MM:SS  started_ns=N  pid=N
//                    output_id=DEVICE:INODE                              (the first line)
//   folder           (empty)  FOLDER                          a year or day folder the run made
//   intent           copy|move  SOURCE  TARGET  SIZE  MTIME  CHECKSUM  IDENTITY
//                                                     about to be placed at TARGET (see below)
//   copy|move        SOURCE  TARGET  SIZE  MTIME  CHECKSUM      a file placed at TARGET
//   skip             SOURCE  TARGET  SIZE  MTIME  (empty)       identical to TARGET, not moved
//   date             TARGET  source=exif|media|sidecar|name|mtime  taken=YYYY-MM-DD[ HH:MM:SS]
//                    how the file just recorded was dated (only in runs with date switches)
//   group            COUNT  TARGET        the COUNT file records just before it (their date
//                    records between them) are one group, the first one's TARGET its principal
//   end              processed=N  failed=N  skipped=N  stopped=0|1          the run is complete
//   undo-begin       started=YYYY-MM-DD HH:MM:SS  pid=N
//   undone|kept      LINE  WHAT             the undo of the record on line LINE (from 1)
//   undo-end         undone=N  kept=N                                      the undo is complete
//
// A run that keeps files together adds keep_together=1 to its first line; it writes the records
// of a group's members, intents aside, only once the whole group is placed (or skipped), all
// together and followed by their group record, so that a reader that does not know groups
// undoes each member as a file of its own. A member kept by an undo because another member of
// its group is kept says so with "group:" before that member's word.
//
// A run that skips files the library holds adds skip_known=1 to its first line, and a skip record
// for each such file, whose TARGET is where the library holds it.
//
// A run that uses a date switch adds sidecar_dates=0|1 name_dates=0|1 day_starts_at=HH:MM
// shift=+|-HH:MM to its first line and a date record after each file record; a reader that
// knows neither passes them over, and without the switches the journal is as before.
//
// Paths are absolute. SIZE and MTIME ("SECONDS.NANOSECONDS") are those of the placed file (of
// the source for a skip), CHECKSUM its content's XXH3-128 as 32 hexadecimal digits, or, for a
// file moved by a rename (its content never read), "id:DEVICE:INODE", the file's identity.
// IDENTITY ("DEVICE:INODE") is that of the file that takes the name: the copy, or the source
// itself for a rename. An intent is resolved by the next copy or move record of the same
// SOURCE and TARGET; one left without it (the run was killed, or the placement failed) tells
// undo where to look, and undo acts only on a file there of that identity and content. A move
// to another file system writes an intent without CHECKSUM and IDENTITY before it hides its
// source, and another with them before the copy takes its name. Readers that know only the
// other records pass intents over. The output folder's identity (output_id) lets an undo tell
// the folder that was renamed from a copy of it.

#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "engine/capture_date.h"
#include "engine/run_config.h"
#include "engine/run_events.h"
#include "engine/spilled_text.h"
#include "platform/file.h"
#include "platform/file_system.h"
#include "platform/translate.h"

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

/// The record of the regular file `file` whose facts are `facts` for a move by a rename: its
/// identity ("id:DEVICE:INODE"), or its checksum where the system gives no file number.
FileRecord IdentityRecord(fs::FileSystem& file_system, const fs::FileAt& file,
                          const fs::FileFacts& facts);

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

/// One file of a group as the journal records it.
struct JournaledFile {
  std::string source;
  std::string target;
  FileRecord record;
};

/// "DEVICE:INODE", the form of an identity in the journal.
std::string IdentityText(uint64_t device, uint64_t inode);

/// The record of the copy `copy` as the journal keeps it.
FileRecord RecordOf(const fs::Copied& copy);

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
  /// Records that `source` is about to be copied or moved to `target` as `record` says (its
  /// checksum empty when not known yet) by the file of `identity` (IdentityText; empty when
  /// not known yet), opening the journal if it is not open yet. Returns 0 once the line is
  /// written, else fs::kNotJournaled: the file must not be placed.
  int AddIntent(JournalAction action, const std::string& source, const std::string& target,
                const FileRecord& record, const std::string& identity);
  /// Records one file: copied or moved to `target` (written with the next line: its intent
  /// stands for it until then), or skipped because `target` holds the same bytes; a copy or a
  /// move opens the journal if it is not open yet. Non-empty `date_fields` (DateRecordFields)
  /// add the file's date record right after its line.
  void AddFile(JournalAction action, const std::string& source, const std::string& target,
               const FileRecord& record, const std::string& date_fields = std::string());
  /// Records the files of one group (KeepTogether), its principal first: each as AddFile does
  /// (copied or moved with `action`, or with `skipped` all skipped), then the group record.
  void AddGroup(JournalAction action, bool skipped, const std::vector<JournaledFile>& files,
                const std::string& date_fields);
  /// True once the journal could not be made or a line could not be written: the run places
  /// no more files.
  bool Broken() const;
  /// Marks the journal complete with the run's counters, flushes and closes it; nothing
  /// when no file was placed.
  void End(const JobCounters& counters, bool stopped);

  /// Path of the journal once it was made, else empty.
  std::string Path() const;
  /// The first problem in making or writing it ("PATH: reason"), else empty.
  std::string Problem() const;

 private:
  void Write(const std::string& line);  // with mutex_ held
  // The record line of one file (and its date record), with mutex_ held.
  std::string FileLines(JournalAction action, const std::string& source, const std::string& target,
                        const FileRecord& record, const std::string& date_fields);
  // Writes the record lines `lines`: a placed file's with the next line. With mutex_ held.
  void WriteRecords(bool placed, const std::string& lines);
  // "SOURCE<TAB>TARGET" escaped, with mutex_ held.
  const std::string& PathFields(const std::string& source, const std::string& target);
  bool Open();  // with mutex_ held

  fs::FileSystem& file_system_;
  std::string folder_;       // absolute journal folder
  std::string header_;       // the first line
  std::string name_stem_;    // YYYYMMDD-HHMMSS-PID
  std::string working_dir_;  // to make relative paths absolute

  mutable std::mutex mutex_;  // guards everything below
  std::unique_ptr<AppendFile> file_;
  bool open_tried_ = false;
  bool broken_ = false;
  // The lines before the journal was opened; beyond a bound, in a temporary file (a run that
  // skips many files before it places one keeps them out of memory).
  SpilledText pending_;
  std::string deferred_;       // records of placed files, written with the next line
  std::string fields_source_;  // the paths PathFields escaped last ...
  std::string fields_target_;
  std::string fields_;  // ... and their fields
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
  /// Only the intent is recorded: whether the file was placed is to be found out at TARGET.
  bool intent = false;
  std::string identity;     ///< An intent's IDENTITY ("DEVICE:INODE"), or empty.
  std::string date_source;  ///< Its date record's source ("exif" ... "mtime"), else empty.
  std::string taken;        ///< Its date record's capture time, else empty.
  /// The group (KeepTogether) the file belongs to, numbered from 1 in the journal, its
  /// principal first; 0 for a file that went alone.
  int group = 0;
};

/// A journal as read back.
struct Journal {
  bool move = false;                 ///< mode=move.
  std::string photo;                 ///< The photo folder of the run.
  std::string output;                ///< The output folder of the run.
  std::string output_id;             ///< Its identity ("DEVICE:INODE"), or empty.
  std::string started;               ///< "YYYY-MM-DD HH:MM:SS", local time of the start.
  int64_t started_ns = 0;            ///< The start, in nanoseconds since the epoch.
  std::vector<JournalEntry> files;   ///< copy, move and skip records, in order.
  std::vector<std::string> folders;  ///< Folders the run made, in order.
  bool complete = false;             ///< The run's end is recorded.
  JobCounters counters;              ///< The end record's counters.
  bool stopped = false;              ///< The end record says the run was stopped.
  std::set<int> undone;              ///< Lines of the file records undone.
  /// Lines of the file records kept for a reason that a retry cannot change (the file changed
  /// since the run, its source name is taken, ...); one kept for an error stays to be undone.
  std::set<int> kept_for_good;
  bool undo_started = false;         ///< An undo has begun.
  bool undo_complete = false;        ///< The last undo that began ran to its end.
  bool ends_with_line_break = true;  ///< False when the last line was cut short.
  /// The files recorded (copy, move and skip records; intents not resolved left out).
  int64_t placed = 0;
  /// The copy and move records (and unresolved intents) neither undone nor kept for good.
  int64_t pending = 0;
  /// The file is the user's own and no one else may write it (set by ReadJournal).
  bool trusted = true;
};

/// Reads the text of a journal with its file records. Returns false when it does not begin with
/// a journal header of version 1. Lines that cannot be read (one cut short) are passed over.
bool ParseJournal(const std::string& text, Journal* journal);

/// Reads one copy, move, skip or intent line (without its line break), line `line_number` of its
/// journal, into `entry`; false for any other line, or one that cannot be read.
bool ParseFileLine(std::string_view line, int line_number, JournalEntry* entry);

/// Where a pending file of a journal is recorded, for an undo that reads its line again.
struct JournalSlot {
  int64_t offset = 0;  ///< The offset of its latest line (its record, or the intent for it).
  int32_t line = 0;    ///< That line's number, from 1.
  int32_t group = 0;   ///< Its group (KeepTogether), numbered from 1; 0 for a file alone.
};

/// Reads a journal as ParseJournal does, a piece of its text at a time, so that a journal of any
/// length is read in little memory: its file records are kept only when asked for, else only
/// counted (and, when asked for, their slots).
class JournalReader {
 public:
  /// Reads into `journal`: with `keep_files` its files, undone and kept_for_good as ParseJournal
  /// fills them; `pending` (when given) receives the slots of the pending files, in the order
  /// of their files; `on_file` (when given) is called with every file line read.
  JournalReader(Journal* journal, bool keep_files, std::vector<JournalSlot>* pending = nullptr,
                std::function<void(const JournalEntry&)> on_file = {});
  /// Reads the next `piece` of the text.
  void Feed(std::string_view piece);
  /// Ends the text: the counts and slots are filled. False when it is not a journal.
  bool Finish();

 private:
  // An intent not resolved yet: its file's index in items_ and its line.
  struct Unresolved {
    size_t index;
    int line;
  };
  // A file record of the records read one after another, which a group record may take.
  struct RunRecord {
    size_t index;
    int line;
    std::string target;  // the TARGET field as written
  };
  static constexpr size_t kNoRecord = static_cast<size_t>(-1);
  // An item whose file is a skip (never pending), in place of a group.
  static constexpr int32_t kSkip = -1;
  // The most records of a run kept for a group record: a group has a few members.
  static constexpr size_t kRunRecords = 256;
  bool KeepsItems() const;
  void Line(std::string_view line);
  void File(JournalEntry entry, const std::vector<std::string_view>& fields);
  void Group(const std::vector<std::string_view>& fields);

  Journal* journal_;
  const bool keep_files_;
  std::vector<JournalSlot>* pending_;
  std::function<void(const JournalEntry&)> on_file_;
  std::string partial_;  // a line not ended yet
  int64_t offset_ = 0;   // of the line being read
  int line_number_ = 0;
  bool header_ = false;
  // Every file so far, where its latest line lies (when the files or slots are kept).
  std::vector<JournalSlot> items_;
  // Else, by line: the latest line of a file that is no skip.
  std::vector<bool> candidates_;
  // Intents not resolved yet, by their SOURCE and TARGET fields.
  std::map<std::string, Unresolved> unresolved_;
  size_t last_record_ = kNoRecord;  // the file record read last, which a date record follows
  std::vector<bool> done_;          // by line: undone, or kept for good
  std::deque<RunRecord> run_;       // the last records read one after another
  int32_t groups_ = 0;
  // When only counted: the group of each grouped file's latest line.
  std::unordered_map<int, int32_t> group_of_line_;
};

/// True when a file kept by an undo with the word `word` stays kept whatever a retry does (a
/// file kept for its group: when the member that kept the group stays kept).
bool KeptForGood(std::string_view word);

/// The copy and move records (and unresolved intents) of `journal` that are neither undone
/// nor kept for good.
std::vector<JournalEntry> PendingFiles(const Journal& journal);

/// True when an undo of `journal` ran to its end and no file of it is pending.
bool FullyUndone(const Journal& journal);

/// The longest journal read: beyond the lines of a run of a million files (an intent and a
/// record of some 200 bytes each, and a second intent for a move to another file system), and
/// short of what a planted file could make a reader hold in memory.
inline constexpr int64_t kJournalLimit = int64_t{1} << 30;

/// Refusals of a journal's reader, each followed by the journal's path (translated where shown).
inline constexpr const char* kNotAJournalText = TrNoop("不是整理记录: ");
inline constexpr const char* kJournalUnreadableText = TrNoop("无法打开整理记录: ");

/// Reads the journal `path` (a regular file, read to a bound) into `journal`, setting its
/// `trusted`. False with `refusal` set when it cannot be read or is not a journal.
bool ReadJournal(fs::FileSystem& file_system, const std::string& path, Journal* journal,
                 std::string* refusal);

/// The journals of the runs into `output_folder`, oldest first (by their start); entries that
/// are not regular files are passed over without being opened.
std::vector<std::pair<std::string, Journal>> ListRuns(fs::FileSystem& file_system,
                                                      const std::string& output_folder);

/// One line of `nandell-cli history`: "START<TAB>复制|移动<TAB>整理文件 N 个, 失败 N 个
/// [, 跳过 N 个]<TAB>未撤销|已撤销|部分撤销 (未撤销 N 个)|撤销未完成<TAB>JOURNAL"; a run that
/// did not end says "整理文件 N 个 (未完成)" with the files it journaled, a stopped one adds
/// " (已停止)". "部分撤销" is an undo that ended with N files kept for an error, to be tried again.
std::string FormatHistoryLine(const std::string& path, const Journal& journal);

}  // namespace nandell
