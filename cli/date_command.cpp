// `nandell-cli date FILE...`: the capture date of each file, one line per file.
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>
#include <optional>
#include <string>

#include "cli/commands.h"
#include "engine/capture_date.h"
#include "engine/journal.h"
#include "engine/plan.h"
#include "engine/run_config.h"
#include "engine/sidecar.h"
#include "exif/exif_reader.h"
#include "platform/file.h"
#include "platform/file_system.h"
#include "platform/path.h"
#include "settings/settings_store.h"

namespace nandell::cli {
namespace {

// The folder of the file in hand, opened and listed once for the files after it in the same
// folder: its sidecars and its entries' last-write times.
class FolderOfFile {
 public:
  // The folder `folder` (a path ending with a separator, or empty), its sidecars taken
  // when `sidecars` is set. False when it cannot be opened or listed.
  bool Open(const std::string& folder, bool sidecars) {
    if (listing_ && folder == path_) return true;
    listing_.reset();
    index_ = SidecarIndex();
    path_ = folder;
    fs::FileSystem& file_system = fs::RealFileSystem();
    if (file_system.OpenFolder(folder, &folder_) != 0) return false;
    int error = 0;
    listing_ = file_system.ListFolder(*folder_, &error);
    if (!listing_) return false;
    fs::DirEntry entry;
    while (sidecars && listing_->Next(&entry)) {
      if (entry.kind == fs::EntryKind::kFile) index_.Add(entry.name);
    }
    return true;
  }

  const fs::FolderRef& Folder() const { return folder_; }
  const fs::FolderListing& Listing() const { return *listing_; }
  const SidecarIndex& Sidecars() const { return index_; }

 private:
  std::string path_;
  fs::FolderRef folder_;
  std::unique_ptr<fs::FolderListing> listing_;
  SidecarIndex index_;
};

// The date of `path` as a run of `config` files it, and its source: the file's own date, then
// its sidecar's and its name's, and, with `last_write`, its last-write day.
CaptureStamp DateAsFiled(const std::string& path, const RunConfig& config, bool last_write,
                         FolderOfFile* folder) {
  CaptureStamp stamp = GetCaptureStamp(path, config.media_dates);
  const size_t separator = LastSeparator(path);
  const std::string folder_path =
      separator == std::string::npos ? "" : path.substr(0, separator + 1);
  const std::string name = path.substr(folder_path.size());
  const bool fallback =
      (config.sidecar_dates || config.name_dates) && NeedsLastWrite(config, stamp.date);
  bool listed = true;
  if (fallback || (last_write && NeedsLastWrite(config, PlannedDay(config, stamp)))) {
    listed = folder->Open(folder_path, config.sidecar_dates);
  }
  if (fallback && listed) {
    AddFallbackDate(config, fs::FileAt{folder->Folder(), name}, folder->Sidecars(),
                    fs::RealFileSystem(), &stamp);
  }
  stamp.date = PlannedDay(config, stamp);
  if (last_write && NeedsLastWrite(config, stamp.date)) {
    int64_t seconds = 0;
    stamp = CaptureStamp();
    if (listed && folder->Listing().LastWriteTime(name, &seconds)) {
      stamp.date = LastWriteDay(config, seconds);
      stamp.source = DateSource::kLastWrite;
    }
  }
  return stamp;
}

}  // namespace

// Every file gets its line on standard output, an empty date included, so the output keeps
// one line per argument. A file that cannot be examined (missing, unreadable, a folder, not a
// regular file) also gets a message on standard error, and the exit code is then 1. The
// reader's own notices go to standard error so that standard output holds only the lines.
// "--media-dates" (or MediaDates=1 in Config.ini) dates the other photo and video formats too;
// the other date options date as organize does, and "--source" adds where each date came from.
int RunDate(const Arguments& args) {
  std::optional<SettingsStore> own_settings;
  const SettingsStore& settings = CommandSettings(&own_settings);
  RunConfig config = RunConfigFromSettings(settings);
  std::string error;
  if (!ApplyDateOptions(args, settings, &config, "date", &error)) {
    return OptionValueError("date", error);
  }
  const bool source = args.Has("--source");
  // Without the date switches a date is exactly GetCaptureDate's answer, as designed.
  const bool as_filed = source || RecordsDateSources(config);
  SetReaderNoticeStream(stderr);

  int status = 0;
  std::string line;
  FolderOfFile folder;
  for (const std::string& operand : args.operands) {
    const char* path = operand.c_str();
    CaptureStamp stamp;
    if (as_filed) {
      stamp = DateAsFiled(operand, config, source, &folder);
    } else {
      stamp.date = GetCaptureDate(path, config.media_dates);
    }
    // A date proves the file was read; only an empty answer, or one from the last-write
    // time, needs a closer look.
    if ((stamp.date.empty() || stamp.source == DateSource::kLastWrite) &&
        !CheckReadableFile(path, &error)) {
      std::fflush(stdout);
      std::fprintf(stderr, "nandell-cli date: %s: %s\n", path, error.c_str());
      status = 1;
      stamp = CaptureStamp();
    }
    line.assign(path);
    line += '\t';
    line += stamp.date;
    if (source) {
      line += '\t';
      line += DateSourceName(stamp.source);
    }
    line += '\n';
    std::fwrite(line.data(), 1, line.size(), stdout);
  }
  if (std::fflush(stdout) != 0) {
    std::fprintf(stderr, "nandell-cli date: cannot write the output: %s\n",
                 ErrorText(errno).c_str());
    return 1;
  }
  return status;
}

}  // namespace nandell::cli
