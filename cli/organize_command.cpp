// `nandell-cli organize`: one organizing run from the command line, with the window's start
// checks, messages, summary and failure report.
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <optional>
#include <string>

#include "cli/commands.h"
#include "cli/run_console.h"
#include "engine/organizer.h"
#include "engine/progress.h"
#include "exif/exif_reader.h"
#include "platform/translate.h"
#include "settings/settings_store.h"

namespace nandell::cli {
namespace {

// Exit code of a run that was stopped before its walk finished.
constexpr int kStoppedExitCode = 3;

// Said on standard error after a run that was stopped.
constexpr const char* kStoppedLine = TrNoop("整理已停止, 其余文件未整理.\n");

// Prints every file's message on standard output, flushed after each file, and, on a
// terminal, keeps one live progress line on standard error; at the end the summary (and, after
// a dry run, that nothing changed). When standard output is closed (the reader of a pipe has
// gone), printing ends and the run is stopped like Ctrl-C: the files under way finish.
class ConsoleObserver : public RunObserver {
 public:
  ConsoleObserver(bool quiet, bool live) : quiet_(quiet), live_(live) {}

  /// The job that a closed standard output stops.
  void SetJob(OrganizerJob* job) { job_ = job; }

  void OnFileDone(const FileEvent& event) override {
    counters_ = event.counters;
    figures_ = estimator_.Update(event.ordinal, event.total, std::chrono::steady_clock::now());
    if (!quiet_) {
      if (live_) ClearLine();
      Print(event.message);
    }
    if (live_) DrawProgress();
  }

  void OnIndexProgress(const IndexProgress& progress) override {
    PrintIndexProgress(progress, live_, "organize");
  }

  void OnRunEnded(const RunEndEvent& event) override {
    stopped_ = event.stopped;
    ClearLine();
    Print(event.summary + "\n" + (event.dry_run ? Tr(kDryRunNoteText) : ""));
    if (event.stopped) std::fputs(Tr(kStoppedLine), stderr);
    if (!event.error_file.empty()) {
      std::fprintf(stderr, "errorFile.txt: %s\n", event.error_file.c_str());
    }
    // The list of failures is the one thing of a run that must not be lost without a word.
    if (!event.error_file_problem.empty()) {
      std::fprintf(stderr, "nandell-cli organize: cannot write %s\n",
                   event.error_file_problem.c_str());
    }
    // Without its journal the run cannot be undone: said, like a report that is missing.
    if (!event.journal_problem.empty()) {
      std::fprintf(stderr, "nandell-cli organize: cannot write %s\n",
                   event.journal_problem.c_str());
    }
  }

  /// True when the run ended stopped.
  bool Stopped() const { return stopped_; }

 private:
  // Writes `text` as PrintText does, so that a reader sees every file as soon as it is done; a
  // closed output stops the run.
  void Print(const std::string& text) {
    if (output_closed_) return;
    if (!PrintText(text)) {
      output_closed_ = true;
      if (job_ != nullptr) job_->OnStop();
    }
  }

  void ClearLine() {
    if (!line_shown_) return;
    std::fputs("\r\033[K", stderr);
    line_shown_ = false;
  }

  void DrawProgress() {
    auto now = std::chrono::steady_clock::now();
    if (line_shown_ && now - last_draw_ < std::chrono::milliseconds(100)) return;
    last_draw_ = now;
    // The window's figures ("N / M 个文件, 剩余约 M:SS"), and the failures so far.
    std::string line = FormatProgress(figures_);
    if (counters_.FailedCount > 0) line += TrFormat(", 失败 %d 个", counters_.FailedCount);
    std::fprintf(stderr, "\r\033[K%s", line.c_str());
    std::fflush(stderr);
    line_shown_ = true;
  }

  const bool quiet_;
  const bool live_;
  OrganizerJob* job_ = nullptr;
  bool output_closed_ = false;
  bool stopped_ = false;
  JobCounters counters_;
  ProgressEstimator estimator_;
  ProgressFigures figures_;
  bool line_shown_ = false;
  std::chrono::steady_clock::time_point last_draw_;
};

}  // namespace

int RunOrganize(const Arguments& args) {
  const std::string folders[2] = {args.operands.size() > 0 ? args.operands[0] : "",
                                  args.operands.size() > 1 ? args.operands[1] : ""};
  const bool move = args.Has("--move");
  const bool quiet = args.Has("--quiet");
  const bool dry_run = args.Has("--dry-run");
  std::optional<bool> by_year;
  if (args.Has("--by-day")) by_year = false;
  if (args.Has("--by-year")) by_year = true;
  std::optional<std::string> filters;
  if (args.Has("--filters")) filters = args.Value("--filters");

  // The settings store is only read: Config.ini is never written by the command line.
  // NANDELL_CONFIG_DIR names another folder for Config.ini and errorFile.txt.
  std::optional<SettingsStore> own_settings;
  SettingsStore* settings = &CommandSettings(&own_settings);
  RunConfig config = RunConfigFromSettings(*settings);
  if (filters) config.file_filters = *filters;
  if (by_year) config.by_year = *by_year;
  std::string error;
  if (!ApplyDateOptions(args, *settings, &config, "organize", &error)) {
    return OptionValueError("organize", error);
  }
  if (args.Has("--skip-identical")) config.skip_identical = true;
  if (args.Has("--rename-conflicts")) config.rename_conflicts = true;
  if (args.Has("--keep-together")) config.keep_together = true;
#ifdef NANDELL_WITH_LIBRARY
  if (args.Has("--skip-known")) config.skip_known = true;
#endif
  config.known_files = LibraryOpener();
  // On Windows "/" and "\" both separate on input; the messages use "\" throughout.
  config.photo_folder = FolderOperand(folders[0]);
  config.output_folder = FolderOperand(folders[1]);
  config.move = move;
  config.dry_run = dry_run;

  PrepareRunProcess();
  // The readers' notices ("No image in jpeg!") go to standard error: standard output holds
  // only the run's messages.
  SetReaderNoticeStream(stderr);
  ConsoleObserver observer(quiet, ErrorIsLiveTerminal());
  OrganizerJob job(observer);
  observer.SetJob(&job);
  std::string refusal;
  {
    StopSignals signals(job);
    refusal = job.OnOrganize(std::move(config));
    if (refusal.empty()) job.Wait();
  }
  if (!refusal.empty()) {
    std::fprintf(stderr, "%s\n", refusal.c_str());
    return 2;
  }
  if (observer.Stopped()) return kStoppedExitCode;
  return job.Counters().FailedCount == 0 ? 0 : 1;
}

}  // namespace nandell::cli
