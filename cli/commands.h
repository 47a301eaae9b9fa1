#pragma once

#include <optional>
#include <string>

#include "cli/usage.h"
#include "engine/known_files.h"
#include "platform/path.h"

namespace nandell {
class SettingsStore;
struct IndexProgress;
struct RunConfig;
}  // namespace nandell

namespace nandell::cli {

/// The settings a command reads, never writes: Config.ini in the folder $NANDELL_CONFIG_DIR
/// names (a store made in `own`), else the program's own store (beside the executable).
SettingsStore& CommandSettings(std::optional<SettingsStore>* own);

/// The date options of `args` (--media-dates, --sidecar-dates, --name-dates, --day-starts-at,
/// --shift) over the date settings `config` holds from the store. A DayStartsAt of Config.ini
/// that is not HH:MM is said on standard error (as `command`'s) and counts as 00:00. Returns
/// false with `error` set when an option's value is not what it takes.
bool ApplyDateOptions(const Arguments& args, const SettingsStore& settings, RunConfig* config,
                      const std::string& command, std::string* error);

/// Prints "nandell-cli COMMAND: ERROR" and the command's usage on standard error, as a usage
/// error; returns its exit code, 2.
int OptionValueError(const std::string& command, const std::string& error);

/// The first operand of `args` as FolderOperand writes it; empty, with "目录不存在:FOLDER" said
/// on standard error (a usage error, exit code 2), when it names no folder.
std::string ExistingFolderOperand(const Arguments& args);

/// OpenLibraryIndex where the build has the library's index, else none.
KnownFilesOpener LibraryOpener();

/// `nandell-cli date [--media-dates] FILE...`: prints "path<TAB>CaptureDate" per file. Returns
/// the exit code.
int RunDate(const Arguments& args);

/// `nandell-cli organize ...`: one organizing run from the command line. Returns the exit code.
int RunOrganize(const Arguments& args);

/// `nandell-cli undo OUTPUT_FOLDER|JOURNAL_FILE`: undoes one run. Returns the exit code.
int RunUndo(const Arguments& args);

/// `nandell-cli history OUTPUT_FOLDER`: lists the runs into a folder. Returns the exit code.
int RunHistory(const Arguments& args);

/// Shows what the library's index tells while it is made ready: a notice on its own line of
/// standard error ("nandell-cli COMMAND: NOTICE"), the progress on the live line when `live`.
void PrintIndexProgress(const IndexProgress& progress, bool live, const std::string& command);

#ifdef NANDELL_WITH_LIBRARY
/// `nandell-cli library OUTPUT_FOLDER`: builds or refreshes the index and prints its counts.
int RunLibrary(const Arguments& args);

/// `nandell-cli duplicates OUTPUT_FOLDER`: lists the groups of identical files in the library.
int RunDuplicates(const Arguments& args);
#endif

/// Prints a run's text with the window's line breaks ("\r\n") as this platform's ("\n") and
/// flushes it. Returns false when standard output is closed (OutputClosed).
bool PrintText(const std::string& text);

}  // namespace nandell::cli
