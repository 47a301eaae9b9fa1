#pragma once

// Everything one organizing run needs, as one value: taken when the run starts and never read
// from shared state again, so that changes made while a run is active apply to the next run.

#include <string>

#include "engine/known_files.h"
#include "settings/settings_store.h"

namespace nandell {

/// The configuration of one run.
struct RunConfig {
  /// The folder to walk; a missing trailing "/" is added when the run starts.
  std::string photo_folder;
  /// Root of every target folder, joined unchanged (the window's folder texts end with "/").
  std::string output_folder;
  /// True: files are moved ("删除源文件"); false: copied.
  bool move = false;
  /// True: OUTPUT/YYYY年/YYYY-MM-DD/; false: OUTPUT/YYYY-MM-DD/ (IsClassifyByYear).
  bool by_year = true;
  /// The filter list (FileFilters): a file is taken when the last four bytes of its
  /// lower-cased path occur in it.
  std::string file_filters = kDefaultFileFilters;
  /// Folder of errorFile.txt, ending with "/".
  std::string error_file_folder;
  /// True when that folder is the per-user one: it is made (mode 0700, every missing level)
  /// the first time a report needs it.
  bool make_error_file_folder = false;
  /// Transfers carried out at once. Each copy is flushed to disk before it takes its name;
  /// flushes made together share the file system's journal commits, which makes a run many
  /// times faster. Files are still reported one at a time in walk order. 1: one at a time.
  int transfers_at_once = 8;
  /// True: capture dates are read from HEIC/HEIF/AVIF, WebP, raw photos, PNG and videos too,
  /// by content, and dates that are not calendar days count as absent (MediaDates).
  bool media_dates = false;
  /// True: a file whose target exists with the same size and bytes is not transferred and not
  /// a failure, but skipped and counted apart; its source stays, also in a move
  /// (SkipIdentical).
  bool skip_identical = false;
  /// True: a file whose target name is taken (by other bytes, or by any file when
  /// skip_identical is off) goes to the first free "NAME_1.EXT" ... "NAME_9999.EXT" of the
  /// same folder (RenameConflicts).
  bool rename_conflicts = false;
  /// True: a file whose content is already anywhere in the output folder (its index, through
  /// `known_files`) is not transferred and not a failure, but skipped and counted apart; its
  /// source stays, also in a move (SkipKnown).
  bool skip_known = false;
  /// The index of the output folder's files: asked by a run that skips known files, kept
  /// current by every other run where it exists. Without one (a build without the index), the
  /// run is as designed and skip_known is not used.
  KnownFilesOpener known_files;
  /// True: a file without a date of its own (where the plan would take its last-write time)
  /// is dated by its XMP or Takeout JSON sidecar (SidecarDates).
  bool sidecar_dates = false;
  /// True: such a file, without a sidecar's date, is dated by the date in its name (NameDates).
  bool name_dates = false;
  /// Minutes after midnight at which a day begins: a capture or last-write time of day before
  /// it belongs to the day before (DayStartsAt; 0 as designed).
  int day_start_minutes = 0;
  /// Minutes added to every capture time of day from metadata, sidecars and names, not to
  /// last-write times (a camera clock set wrong; for one run only).
  int shift_minutes = 0;
  /// True: files that belong together go as one group (KeepTogether): a photo with its sidecars
  /// (XMP, AAE, THM, Takeout JSON), a raw file beside its JPEG or HEIC, a Live Photo's movie
  /// beside its still (engine/file_group.h). Every member whether the filter names it or not,
  /// into the group's one day folder under one stem, all or none; one message, one count.
  bool keep_together = false;
  /// True: the run walks, dates and plans every file and reports what a real run would do,
  /// but changes nothing on disk (no folder, file, temporary file or errorFile.txt).
  bool dry_run = false;
};

/// A config with the settings store's part filled in, read once under its lock: FileFilters,
/// IsClassifyByYear, MediaDates, SkipIdentical, SkipKnown, RenameConflicts, SidecarDates,
/// NameDates, KeepTogether, DayStartsAt (one that is not "HH:MM" counts as 00:00), and ConfigDir as the folder of
/// errorFile.txt (made when needed if it is not the program's folder). The folders, the mode and
/// the switches of the run are the caller's.
RunConfig RunConfigFromSettings(const SettingsStore& settings);

}  // namespace nandell
