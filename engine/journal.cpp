#include "engine/journal.h"

#include <cerrno>
#include <charconv>
#include <chrono>
#include <cstdio>

#include <algorithm>
#include <map>
#include <utility>

#include "platform/calendar.h"
#include "platform/checksum.h"
#include "platform/file.h"
#include "platform/path.h"
#include "platform/process.h"
#include "platform/translate.h"

namespace nandell {
namespace {

constexpr const char* kHeaderTag = "nandell-journal";
constexpr const char* kVersion = "1";
constexpr size_t kReadChunk = 1 << 20;

// Length of the valid UTF-8 sequence that begins at text[i] (1 to 4), or 0 when the bytes
// there are not one: no overlong forms, no surrogates, nothing beyond U+10FFFF.
size_t Utf8Length(std::string_view text, size_t i) {
  const auto byte = [&](size_t k) { return static_cast<unsigned char>(text[k]); };
  const unsigned char lead = byte(i);
  if (lead < 0x80) return 1;
  size_t length = 0;
  unsigned char low = 0x80;
  unsigned char high = 0xBF;
  if (lead >= 0xC2 && lead <= 0xDF) {
    length = 2;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    length = 3;
    if (lead == 0xE0) low = 0xA0;
    if (lead == 0xED) high = 0x9F;
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    length = 4;
    if (lead == 0xF0) low = 0x90;
    if (lead == 0xF4) high = 0x8F;
  } else {
    return 0;
  }
  if (i + length > text.size()) return 0;
  if (byte(i + 1) < low || byte(i + 1) > high) return 0;
  for (size_t k = 2; k < length; ++k) {
    if ((byte(i + k) & 0xC0) != 0x80) return 0;
  }
  return length;
}

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// The fields of one line (without its line break), split at tabs.
std::vector<std::string_view> SplitFields(std::string_view line) {
  std::vector<std::string_view> fields;
  size_t start = 0;
  for (;;) {
    const size_t tab = line.find('\t', start);
    fields.push_back(line.substr(start, tab == std::string_view::npos ? tab : tab - start));
    if (tab == std::string_view::npos) return fields;
    start = tab + 1;
  }
}

bool ParseInt(std::string_view text, int64_t* value) {
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), *value);
  return error == std::errc() && end == text.data() + text.size();
}

// The value of "key=VALUE" fields, unescaped; empty when absent or malformed.
std::string Setting(const std::vector<std::string_view>& fields, std::string_view key) {
  for (std::string_view field : fields) {
    if (field.size() > key.size() && field.substr(0, key.size()) == key &&
        field[key.size()] == '=') {
      std::string value;
      if (UnescapeField(field.substr(key.size() + 1), &value)) return value;
    }
  }
  return std::string();
}

int32_t IntSetting(const std::vector<std::string_view>& fields, std::string_view key) {
  int64_t value = 0;
  return ParseInt(Setting(fields, key), &value) ? static_cast<int32_t>(value) : 0;
}

// A path as the journal keeps it: absolute, made so with the working folder of the run.
std::string Absolute(const std::string& path, const std::string& working_dir) {
  if (path.empty() || IsAbsolutePath(path)) return path;
  return working_dir + path;
}

std::string MtimeText(int64_t seconds, int32_t nanoseconds) {
  char mtime[48];
  std::snprintf(mtime, sizeof mtime, "%lld.%09d", static_cast<long long>(seconds),
                static_cast<int>(nanoseconds));
  return mtime;
}

std::string ActionName(JournalAction action) {
  switch (action) {
    case JournalAction::kCopy:
      return "copy";
    case JournalAction::kMove:
      return "move";
    case JournalAction::kSkip:
      return "skip";
  }
  return "skip";
}

// Reads the journal `name` of the open `folder`; false with `refusal` set when it cannot be
// read or is not a journal.
bool ReadJournalAt(fs::FileSystem& file_system, const fs::FolderRef& folder,
                   const std::string& name, const std::string& path, Journal* journal,
                   std::string* refusal) {
  // Read a piece at a time and kept as its counts: a journal of any length takes little memory.
  JournalReader reader(journal, false);
  OpenFileFacts facts;
  const int error = file_system.ReadInPieces(
      fs::FileAt{folder, name}, kJournalLimit, [&](std::string_view piece) { reader.Feed(piece); },
      &facts);
  if (error != 0) {
    *refusal = Tr(error == fs::kNotRegular ? kNotAJournalText : kJournalUnreadableText) + path +
               " (" + ErrorText(error) + ")";
    return false;
  }
  if (!reader.Finish()) {
    *refusal = Tr(kNotAJournalText) + path;
    return false;
  }
  journal->trusted = facts.owned && !facts.others_may_write;
  return true;
}

}  // namespace

std::string JournalFolder(const std::string& output_folder) {
  return output_folder + ".nandell" + kPathSeparator + "journal" + kPathSeparator;
}

std::string EscapeField(std::string_view text) {
  static const char kHex[] = "0123456789ABCDEF";
  std::string out;
  out.reserve(text.size());
  for (size_t i = 0; i < text.size();) {
    const unsigned char c = static_cast<unsigned char>(text[i]);
    const size_t length = Utf8Length(text, i);
    if (c == '\\') {
      out += "\\\\";
    } else if (c == '\t') {
      out += "\\t";
    } else if (c == '\n') {
      out += "\\n";
    } else if (c == '\r') {
      out += "\\r";
    } else if (c < 0x20 || c == 0x7F || length == 0) {
      out += "\\x";
      out += kHex[c >> 4];
      out += kHex[c & 0xF];
    } else {
      out.append(text.substr(i, length));
      i += length;
      continue;
    }
    ++i;
  }
  return out;
}

bool UnescapeField(std::string_view field, std::string* text) {
  text->clear();
  for (size_t i = 0; i < field.size(); ++i) {
    const char c = field[i];
    if (c == '\t' || c == '\n' || c == '\r') return false;
    if (c != '\\') {
      *text += c;
      continue;
    }
    if (++i >= field.size()) return false;
    switch (field[i]) {
      case '\\':
        *text += '\\';
        break;
      case 't':
        *text += '\t';
        break;
      case 'n':
        *text += '\n';
        break;
      case 'r':
        *text += '\r';
        break;
      case 'x': {
        if (i + 2 >= field.size()) return false;
        const int high = HexValue(field[i + 1]);
        const int low = HexValue(field[i + 2]);
        if (high < 0 || low < 0) return false;
        *text += static_cast<char>(high * 16 + low);
        i += 2;
        break;
      }
      default:
        return false;
    }
  }
  return true;
}

std::string IdentityText(uint64_t device, uint64_t inode) {
  return std::to_string(device) + ":" + std::to_string(inode);
}

FileRecord RecordOf(const fs::Copied& copy) {
  FileRecord record;
  record.size = copy.facts.size;
  record.mtime = MtimeText(copy.facts.mtime_sec, copy.facts.mtime_nsec);
  record.checksum = copy.checksum;
  return record;
}

FileRecord IdentityRecord(fs::FileSystem& file_system, const fs::FileAt& file,
                          const fs::FileFacts& facts) {
  FileRecord record;
  record.size = facts.size;
  record.mtime = MtimeText(facts.mtime_sec, facts.mtime_nsec);
  if (facts.inode != 0) {
    record.checksum = "id:" + IdentityText(facts.device, facts.inode);
  } else {
    RecordFile(file_system, file, RecordContent::kChecksum, &record);
  }
  return record;
}

int RecordFile(fs::FileSystem& file_system, const fs::FileAt& file, RecordContent content,
               FileRecord* record) {
  fs::FileFacts facts;
  int error = file_system.Examine(file, &facts);
  if (error != 0) return error;
  if (!facts.regular) return EINVAL;
  // Where the system gives no file number, the content is read instead.
  if (content == RecordContent::kIdentity && facts.inode != 0) {
    *record = IdentityRecord(file_system, file, facts);
    return 0;
  }
  record->size = facts.size;
  record->mtime = MtimeText(facts.mtime_sec, facts.mtime_nsec);
  record->checksum.clear();
  if (content == RecordContent::kNone) return 0;
  FILE* stream = file_system.OpenForReading(file);
  if (stream == nullptr) return errno != 0 ? errno : EIO;
  ContentHash hash;
  std::unique_ptr<char[]> buffer(new char[kReadChunk]);
  for (;;) {
    const size_t n = std::fread(buffer.get(), 1, kReadChunk, stream);
    hash.Update(buffer.get(), n);
    if (n < kReadChunk) break;
  }
  error = std::ferror(stream) ? EIO : 0;
  std::fclose(stream);
  if (error != 0) return error;
  record->checksum = hash.Hex();
  return 0;
}

bool RecordsDateSources(const RunConfig& config) {
  return config.sidecar_dates || config.name_dates || config.day_start_minutes != 0 ||
         config.shift_minutes != 0;
}

std::string DateRecordFields(const RunConfig& config, const CaptureStamp& stamp, bool by_last_write,
                             std::optional<int64_t> last_write) {
  if (!RecordsDateSources(config)) return std::string();
  std::string taken;
  if (by_last_write) {
    if (last_write) {
      if (const std::optional<LocalTime> time = LocalTimeOf(*last_write)) {
        taken = DateTimeText(*time);
      }
    }
    return std::string("source=") + DateSourceName(DateSource::kLastWrite) + "\ttaken=" + taken;
  }
  taken = stamp.time ? DateTimeText(*stamp.time) : EscapeField(stamp.date);
  return std::string("source=") + DateSourceName(stamp.source) + "\ttaken=" + taken;
}

RunJournal::RunJournal(fs::FileSystem& file_system, const RunConfig& config)
    : file_system_(file_system), working_dir_(CurrentDirectory()) {
  const auto now = std::chrono::system_clock::now();
  const int64_t ns =
      std::chrono::duration_cast<std::chrono::nanoseconds>(now.time_since_epoch()).count();
  const int64_t seconds = ns / 1000000000;
  const std::string pid = std::to_string(ProcessId());
  name_stem_ = LocalTimeText(seconds, "%Y%m%d-%H%M%S") + "-" + pid;
  const std::string output = Absolute(config.output_folder, working_dir_);
  folder_ = JournalFolder(output);
  header_ = std::string(kHeaderTag) + "\t" + kVersion +
            "\tmode=" + (config.move ? "move" : "copy") +
            "\tlayout=" + (config.by_year ? "by-year" : "by-day") +
            "\tskip_identical=" + (config.skip_identical ? "1" : "0") +
            "\trename_conflicts=" + (config.rename_conflicts ? "1" : "0") +
            "\tfilters=" + EscapeField(config.file_filters) +
            "\tphoto=" + EscapeField(Absolute(config.photo_folder, working_dir_)) +
            "\toutput=" + EscapeField(output) +
            "\tstarted=" + LocalTimeText(seconds, "%Y-%m-%d %H:%M:%S") +
            "\tstarted_ns=" + std::to_string(ns) + "\tpid=" + pid;
  // A switch beyond the designed ones is named only when it is on.
  if (config.keep_together) header_ += "\tkeep_together=1";
  if (config.skip_known) header_ += "\tskip_known=1";
  if (RecordsDateSources(config)) {
    header_ += std::string("\tsidecar_dates=") + (config.sidecar_dates ? "1" : "0") +
               "\tname_dates=" + (config.name_dates ? "1" : "0") +
               "\tday_starts_at=" + ClockText(config.day_start_minutes) +
               "\tshift=" + ClockText(config.shift_minutes, true);
  }
}

void RunJournal::AddFolder(const std::string& folder) {
  std::lock_guard<std::mutex> lock(mutex_);
  Write("folder\t\t" + EscapeField(Absolute(folder, working_dir_)) + "\t\t\t\n");
}

const std::string& RunJournal::PathFields(const std::string& source, const std::string& target) {
  // The record of a file follows its intent, mostly with no other between: escaped once.
  if (source != fields_source_ || target != fields_target_) {
    fields_source_ = source;
    fields_target_ = target;
    fields_ = EscapeField(Absolute(source, working_dir_)) + "\t" +
              EscapeField(Absolute(target, working_dir_));
  }
  return fields_;
}

int RunJournal::AddIntent(JournalAction action, const std::string& source,
                          const std::string& target, const FileRecord& record,
                          const std::string& identity) {
  std::lock_guard<std::mutex> lock(mutex_);
  if (!file_ && !Open()) return fs::kNotJournaled;
  Write("intent\t" + ActionName(action) + "\t" + PathFields(source, target) + "\t" +
        std::to_string(record.size) + "\t" + record.mtime + "\t" + record.checksum + "\t" +
        identity + "\n");
  return broken_ ? fs::kNotJournaled : 0;
}

std::string RunJournal::FileLines(JournalAction action, const std::string& source,
                                  const std::string& target, const FileRecord& record,
                                  const std::string& date_fields) {
  std::string lines = ActionName(action) + "\t" + PathFields(source, target) + "\t" +
                      std::to_string(record.size) + "\t" + record.mtime + "\t" + record.checksum +
                      "\n";
  // The date record goes with the file's record, right after it.
  if (!date_fields.empty()) {
    lines += "date\t" + EscapeField(Absolute(target, working_dir_)) + "\t" + date_fields + "\n";
  }
  return lines;
}

void RunJournal::WriteRecords(bool placed, const std::string& lines) {
  if (placed && !file_ && !Open()) return;
  // The record of a placed file goes out with the next line: its intent, written before, tells
  // an undo where to look meanwhile. A move then costs one write, as it did before intents.
  if (placed && file_) {
    deferred_ += lines;
    return;
  }
  Write(lines);
}

void RunJournal::AddFile(JournalAction action, const std::string& source, const std::string& target,
                         const FileRecord& record, const std::string& date_fields) {
  std::lock_guard<std::mutex> lock(mutex_);
  WriteRecords(action != JournalAction::kSkip,
               FileLines(action, source, target, record, date_fields));
}

void RunJournal::AddGroup(JournalAction action, bool skipped,
                          const std::vector<JournaledFile>& files, const std::string& date_fields) {
  std::lock_guard<std::mutex> lock(mutex_);
  // One piece, so that no other record comes between the group's and the group record.
  std::string lines;
  for (const JournaledFile& file : files) {
    lines += FileLines(skipped ? JournalAction::kSkip : action, file.source, file.target,
                       file.record, date_fields);
  }
  lines += "group\t" + std::to_string(files.size()) + "\t" +
           EscapeField(Absolute(files.front().target, working_dir_)) + "\n";
  WriteRecords(!skipped, lines);
}

void RunJournal::End(const JobCounters& counters, bool stopped) {
  std::lock_guard<std::mutex> lock(mutex_);
  if (!file_) return;
  // After a line that could not be written whole, nothing more: the next line would carry on
  // the one cut short.
  if (broken_) {
    file_.reset();
    return;
  }
  Write("end\tprocessed=" + std::to_string(counters.ProcessedCount) +
        "\tfailed=" + std::to_string(counters.FailedCount) + "\tskipped=" +
        std::to_string(counters.SkippedCount) + "\tstopped=" + (stopped ? "1" : "0") + "\n");
  if (!file_->Sync() && problem_.empty()) problem_ = path_ + ": " + ErrorText(EIO);
  file_.reset();
}

std::string RunJournal::Path() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return path_;
}

bool RunJournal::Broken() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return broken_;
}

std::string RunJournal::Problem() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return problem_;
}

bool RunJournal::Open() {
  if (open_tried_) return false;
  open_tried_ = true;
  // The journal's folders are made below the output folder without following a link, so
  // that a link at ".nandell" cannot send the journal out of the output folder. The output
  // text is joined as the run joins it: up to its last separator is the folder opened.
  const std::string output = folder_.substr(0, folder_.size() - JournalFolder("").size());
  const size_t separator = LastSeparator(output);
  const size_t base_length = separator == std::string::npos ? 0 : separator + 1;
  fs::FolderRef base;
  fs::FolderRef journal_folder;
  bool made = false;
  uint64_t device = 0;
  uint64_t inode = 0;
  int error = file_system_.OpenFolder(output.substr(0, base_length), &base);
  if (error == 0) error = file_system_.IdentifyFolder(*base, &device, &inode);
  if (error == 0) {
    error = file_system_.OpenTargetFolder(*base, output.substr(base_length) + JournalFolder(""),
                                          &made, &journal_folder);
  }
  if (error != 0) {
    problem_ = folder_ + ": " + ErrorText(error);
    broken_ = true;
    return false;
  }
  // Runs of one process started within one second get "-2", "-3", ... after the name.
  error = EEXIST;
  for (int k = 1; k < 1000 && error == EEXIST; ++k) {
    const std::string name = name_stem_ + (k == 1 ? "" : "-" + std::to_string(k)) + ".tsv";
    path_ = folder_ + name;
    error = file_system_.OpenLocked(fs::FileAt{journal_folder, name}, true, &file_);
  }
  if (error != 0) {
    problem_ = path_ + ": " + ErrorText(error);
    path_.clear();
    file_.reset();
    broken_ = true;
    return false;
  }
  Write(header_ + "\toutput_id=" + IdentityText(device, inode) + "\n");
  const int read_error = pending_.ForEachPiece([this](std::string_view piece) {
    Write(std::string(piece));
    return !broken_;
  });
  if (read_error != 0 && problem_.empty()) problem_ = path_ + ": " + ErrorText(read_error);
  pending_.Clear();
  return !broken_;
}

void RunJournal::Write(const std::string& line) {
  if (!file_) {
    if (open_tried_) return;
    pending_.Append(line);
    return;
  }
  if (broken_) return;
  const bool written = deferred_.empty() ? file_->Append(line) : file_->Append(deferred_ + line);
  deferred_.clear();
  if (!written) {
    broken_ = true;
    if (problem_.empty()) problem_ = path_ + ": " + ErrorText(errno != 0 ? errno : EIO);
  }
}

namespace {

// ParseFileLine of a line split into its fields.
bool ParseFileLine(const std::vector<std::string_view>& fields, int line_number,
                   JournalEntry* entry) {
  const std::string_view kind = fields[0];
  if (kind != "copy" && kind != "move" && kind != "skip" && kind != "intent") return false;
  // An intent has its action in a field of its own: the rest is as in a file record.
  const bool intent = kind == "intent";
  const size_t at = intent ? 1 : 0;
  const std::string_view action = intent ? fields.size() > 1 ? fields[1] : "" : kind;
  *entry = JournalEntry();
  entry->line = line_number;
  entry->intent = intent;
  entry->action = action == "copy"   ? JournalAction::kCopy
                  : action == "move" ? JournalAction::kMove
                                     : JournalAction::kSkip;
  if (fields.size() != (intent ? 8u : 6u) || (intent && action != "copy" && action != "move") ||
      !UnescapeField(fields[at + 1], &entry->source) ||
      !UnescapeField(fields[at + 2], &entry->target) ||
      !ParseInt(fields[at + 3], &entry->record.size)) {
    return false;
  }
  entry->record.mtime = fields[at + 4];
  entry->record.checksum = fields[at + 5];
  if (intent) entry->identity = fields[7];
  return true;
}

}  // namespace

bool ParseFileLine(std::string_view line, int line_number, JournalEntry* entry) {
  return ParseFileLine(SplitFields(line), line_number, entry);
}

JournalReader::JournalReader(Journal* journal, bool keep_files, std::vector<JournalSlot>* pending,
                             std::function<void(const JournalEntry&)> on_file)
    : journal_(journal), keep_files_(keep_files), pending_(pending), on_file_(std::move(on_file)) {
  *journal_ = Journal();
}

void JournalReader::Feed(std::string_view piece) {
  while (!piece.empty()) {
    const size_t end = piece.find('\n');
    if (end == std::string_view::npos) {
      partial_.append(piece);
      return;
    }
    const int64_t length = static_cast<int64_t>(partial_.size() + end) + 1;
    if (partial_.empty()) {
      Line(piece.substr(0, end));
    } else {
      partial_.append(piece.substr(0, end));
      Line(partial_);
      partial_.clear();
    }
    offset_ += length;
    piece.remove_prefix(end + 1);
  }
}

bool JournalReader::Finish() {
  // A last line cut short is passed over.
  if (!partial_.empty()) journal_->ends_with_line_break = false;
  if (line_number_ == 0 || !header_) return false;
  const auto done = [this](int line) {
    return line < static_cast<int>(done_.size()) && done_[line];
  };
  // The pending files, a group's members counted once.
  std::set<int32_t> groups;
  const auto count = [&](int32_t group) {
    if (group == 0 || groups.insert(group).second) ++journal_->pending;
  };
  if (!KeepsItems()) {
    for (size_t line = 0; line < candidates_.size(); ++line) {
      if (!candidates_[line] || done(static_cast<int>(line))) continue;
      const auto group = group_of_line_.find(static_cast<int>(line));
      count(group == group_of_line_.end() ? 0 : group->second);
    }
    return true;
  }
  // The pending ones kept in their order, in the memory they had.
  items_.erase(std::remove_if(
                   items_.begin(), items_.end(),
                   [&](const JournalSlot& item) { return item.group == kSkip || done(item.line); }),
               items_.end());
  for (const JournalSlot& item : items_) count(item.group);
  if (pending_ != nullptr) pending_->swap(items_);
  return true;
}

bool JournalReader::KeepsItems() const {
  return keep_files_ || pending_ != nullptr;
}

void JournalReader::Line(std::string_view line) {
  ++line_number_;
  const std::vector<std::string_view> fields = SplitFields(line);
  if (line_number_ == 1) {
    if (fields[0] != kHeaderTag || fields.size() < 2 || fields[1] != kVersion) return;
    header_ = true;
    journal_->move = Setting(fields, "mode") == "move";
    journal_->photo = Setting(fields, "photo");
    journal_->output = Setting(fields, "output");
    journal_->output_id = Setting(fields, "output_id");
    journal_->started = Setting(fields, "started");
    ParseInt(Setting(fields, "started_ns"), &journal_->started_ns);
    return;
  }
  if (!header_) return;
  JournalEntry entry;
  if (ParseFileLine(fields, line_number_, &entry)) {
    if (on_file_) on_file_(entry);
    File(std::move(entry), fields);
    return;
  }
  const std::string_view kind = fields[0];
  // Any other line than a file record, its date or a group record ends a run of records.
  if (kind != "date" && kind != "group" && kind != "copy" && kind != "move" && kind != "skip") {
    run_.clear();
  }
  if (kind == "group") {
    Group(fields);
  } else if (kind == "date") {
    // Belongs to the file record just before it, of the same target.
    std::string target;
    if (keep_files_ && fields.size() >= 2 && UnescapeField(fields[1], &target) &&
        last_record_ != kNoRecord && journal_->files[last_record_].target == target) {
      journal_->files[last_record_].date_source = Setting(fields, "source");
      journal_->files[last_record_].taken = Setting(fields, "taken");
    }
  } else if (kind == "folder") {
    std::string folder;
    if (fields.size() >= 3 && UnescapeField(fields[2], &folder)) {
      journal_->folders.push_back(folder);
    }
  } else if (kind == "end") {
    journal_->complete = true;
    journal_->counters.ProcessedCount = IntSetting(fields, "processed");
    journal_->counters.FailedCount = IntSetting(fields, "failed");
    journal_->counters.SkippedCount = IntSetting(fields, "skipped");
    journal_->stopped = Setting(fields, "stopped") == "1";
  } else if (kind == "undo-begin") {
    journal_->undo_started = true;
    journal_->undo_complete = false;
  } else if (kind == "undone" || kind == "kept") {
    int64_t undone_line = 0;
    std::string word;
    if (fields.size() >= 2 && ParseInt(fields[1], &undone_line) && undone_line > 0 &&
        undone_line < line_number_ && (fields.size() < 3 || UnescapeField(fields[2], &word))) {
      const int record = static_cast<int>(undone_line);
      const bool done = kind == "undone" || KeptForGood(word);
      if (keep_files_ && done) {
        (kind == "undone" ? journal_->undone : journal_->kept_for_good).insert(record);
      }
      if (done) {
        if (done_.size() <= static_cast<size_t>(record)) done_.resize(record + 1);
        done_[record] = true;
      }
    }
  } else if (kind == "undo-end") {
    journal_->undo_complete = true;
  }
}

// A file record or intent read: a later intent or the record of the same file takes the place
// of the intent before.
void JournalReader::File(JournalEntry entry, const std::vector<std::string_view>& fields) {
  const size_t at = entry.intent ? 1 : 0;
  std::string key = std::string(fields[at + 1]) + "\t" + std::string(fields[at + 2]);
  const auto open = unresolved_.find(key);
  const bool intent = entry.intent;
  const bool skip = entry.action == JournalAction::kSkip;
  const JournalSlot item{offset_, entry.line, skip ? kSkip : 0};
  journal_->placed += intent ? 0 : 1;
  // Only counted, a file is the bit of its latest line among the candidates.
  const bool keeps = KeepsItems();
  if (!keeps && !skip) {
    if (candidates_.size() <= static_cast<size_t>(item.line)) candidates_.resize(item.line + 1);
    candidates_[item.line] = true;
  }
  size_t index = items_.size();
  if (skip) {
    if (keeps) items_.push_back(item);
  } else if (open != unresolved_.end()) {
    index = open->second.index;
    if (keeps) items_[index] = item;
    if (!keeps) candidates_[open->second.line] = false;
    open->second.line = item.line;
    if (!intent) unresolved_.erase(open);
  } else {
    if (intent) unresolved_.emplace(std::move(key), Unresolved{index, item.line});
    if (keeps) items_.push_back(item);
  }
  if (keep_files_) {
    if (index == journal_->files.size()) {
      journal_->files.push_back(std::move(entry));
    } else {
      journal_->files[index] = std::move(entry);
    }
  }
  last_record_ = intent ? kNoRecord : index;
  // The records read one after another, which a group record may take.
  if (intent) {
    run_.clear();
  } else {
    run_.push_back(RunRecord{index, item.line, std::string(fields[at + 2])});
    if (run_.size() > kRunRecords) run_.pop_front();
  }
}

// A group record (KeepTogether): the COUNT file records just before it are one group, the first
// of them its principal at TARGET; the group counts as one file.
void JournalReader::Group(const std::vector<std::string_view>& fields) {
  int64_t count = 0;
  if (fields.size() >= 3 && ParseInt(fields[1], &count) && count >= 2 &&
      static_cast<size_t>(count) <= run_.size() && run_[run_.size() - count].target == fields[2]) {
    ++groups_;
    journal_->placed -= count - 1;
    for (size_t k = run_.size() - static_cast<size_t>(count); k < run_.size(); ++k) {
      const RunRecord& record = run_[k];
      if (keep_files_) journal_->files[record.index].group = groups_;
      if (!KeepsItems()) {
        group_of_line_[record.line] = groups_;
      } else if (items_[record.index].group != kSkip) {
        items_[record.index].group = groups_;
      }
    }
  }
  run_.clear();
}

bool ParseJournal(const std::string& text, Journal* journal) {
  JournalReader reader(journal, true);
  reader.Feed(text);
  return reader.Finish();
}

bool KeptForGood(std::string_view word) {
  // A file kept for its group is kept as long as the member that kept the group.
  constexpr std::string_view kGroupPrefix = "group:";
  if (word.substr(0, kGroupPrefix.size()) == kGroupPrefix) word.remove_prefix(kGroupPrefix.size());
  // Each says what became of the file since the run; errors ("error: REASON", a link in the
  // way, a full disk) may be gone at the next try.
  for (const char* final_word :
       {"changed", "missing", "source-taken", "source-changed", "same-file"}) {
    if (word == final_word) return true;
  }
  return false;
}

std::vector<JournalEntry> PendingFiles(const Journal& journal) {
  std::vector<JournalEntry> pending;
  for (const JournalEntry& entry : journal.files) {
    if (entry.action != JournalAction::kSkip && journal.undone.count(entry.line) == 0 &&
        journal.kept_for_good.count(entry.line) == 0) {
      pending.push_back(entry);
    }
  }
  return pending;
}

bool FullyUndone(const Journal& journal) {
  return journal.undo_complete && journal.pending == 0;
}

bool ReadJournal(fs::FileSystem& file_system, const std::string& path, Journal* journal,
                 std::string* refusal) {
  const size_t slash = LastSeparator(path);
  const std::string folder_path = slash == std::string::npos ? "" : path.substr(0, slash + 1);
  fs::FolderRef folder;
  const int error = file_system.OpenFolder(folder_path, &folder);
  if (error != 0) {
    *refusal = Tr(kJournalUnreadableText) + path + " (" + ErrorText(error) + ")";
    return false;
  }
  return ReadJournalAt(file_system, folder, path.substr(slash + 1), path, journal, refusal);
}

std::vector<std::pair<std::string, Journal>> ListRuns(fs::FileSystem& file_system,
                                                      const std::string& output_folder) {
  std::vector<std::pair<std::string, Journal>> runs;
  const std::string folder = JournalFolder(output_folder);
  fs::FolderRef open;
  if (file_system.OpenFolder(folder, &open) != 0) return runs;
  std::unique_ptr<fs::FolderListing> listing = file_system.ListFolder(*open, nullptr);
  if (!listing) return runs;
  fs::DirEntry entry;
  while (listing->Next(&entry)) {
    const std::string& name = entry.name;
    // Only regular files are read: a pipe or a device by a journal's name is never opened.
    fs::FileFacts facts;
    if (entry.kind != fs::EntryKind::kFile || name.size() <= 4 || name[0] == '.' ||
        name.compare(name.size() - 4, 4, ".tsv") != 0 ||
        file_system.Examine(fs::FileAt{open, name}, &facts) != 0 || !facts.regular) {
      continue;
    }
    Journal journal;
    std::string refusal;
    if (ReadJournalAt(file_system, open, name, folder + name, &journal, &refusal)) {
      runs.emplace_back(folder + name, std::move(journal));
    }
  }
  std::sort(runs.begin(), runs.end(), [](const auto& a, const auto& b) {
    if (a.second.started_ns != b.second.started_ns) {
      return a.second.started_ns < b.second.started_ns;
    }
    return a.first < b.first;
  });
  return runs;
}

std::string FormatHistoryLine(const std::string& path, const Journal& journal) {
  std::string counts;
  if (journal.complete) {
    counts = TrFormat("整理文件 %d 个, 失败 %d 个", journal.counters.ProcessedCount,
                      journal.counters.FailedCount);
    if (journal.counters.SkippedCount > 0) {
      counts += TrFormat(", 跳过 %d 个", journal.counters.SkippedCount);
    }
    if (journal.stopped) counts += Tr(" (已停止)");
  } else {
    counts = TrFormat("整理文件 %d 个 (未完成)", static_cast<int>(journal.placed));
  }
  const size_t pending = journal.pending;
  std::string state;
  if (!journal.undo_started) {
    state = Tr("未撤销");
  } else if (!journal.undo_complete) {
    state = Tr("撤销未完成");
  } else if (pending == 0) {
    state = Tr("已撤销");
  } else {
    state = TrFormat("部分撤销 (未撤销 %d 个)", static_cast<int>(pending));
  }
  return journal.started + "\t" + (journal.move ? Tr("移动") : Tr("复制")) + "\t" + counts + "\t" +
         state + "\t" + path;
}

}  // namespace nandell
