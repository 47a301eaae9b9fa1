// `nandell-cli organize`: one organizing run from the command line, with the window's start
// checks, messages, summary and failure report.
#include <signal.h>
#include <sys/resource.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <optional>
#include <string>

#include "cli/commands.h"
#include "engine/organizer.h"
#include "settings/settings_store.h"

namespace nandell::cli {
namespace {

// The job that Ctrl-C stops. OnStop only stores into lock-free atomics, which a signal
// handler may do.
std::atomic<OrganizerJob*> g_job{nullptr};
static_assert(std::atomic<bool>::is_always_lock_free &&
              std::atomic<OrganizerJob*>::is_always_lock_free);

void OnInterrupt(int) {
  OrganizerJob* job = g_job.load();
  if (job != nullptr) job->OnStop();
}

// The window's line breaks ("\r\n") as this platform's ("\n").
std::string WithUnixLineBreaks(const std::string& text) {
  std::string out;
  out.reserve(text.size());
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n') continue;
    out += text[i];
  }
  return out;
}

// Prints every file's message on standard output and, on a terminal, keeps one live progress
// line on standard error.
class ConsoleSink : public ProgressSink {
 public:
  ConsoleSink(bool quiet, bool live) : quiet_(quiet), live_(live) {}

  void OnJobProgress(const JobSnapshot& snapshot) override {
    std::lock_guard<std::mutex> lock(mutex_);
    if (snapshot.is_summary) {
      ClearLine();
      std::string text = WithUnixLineBreaks(snapshot.LastMessage);
      std::fwrite(text.data(), 1, text.size(), stdout);
      std::fputc('\n', stdout);
      std::fflush(stdout);
      return;
    }
    counters_ = snapshot.counters;
    if (!quiet_) {
      if (live_) ClearLine();
      std::string text = WithUnixLineBreaks(snapshot.LastMessage);
      std::fwrite(text.data(), 1, text.size(), stdout);
      if (live_) std::fflush(stdout);
    }
    if (live_) DrawProgress(false);
  }

  void OnRunEnded(const RunReport& report) override {
    std::lock_guard<std::mutex> lock(mutex_);
    if (!report.error_file.empty()) {
      std::fprintf(stderr, "errorFile.txt: %s\n", report.error_file.c_str());
    }
    // The list of failures is the one thing of a run that must not be lost without a word.
    if (!report.error_file_problem.empty()) {
      std::fprintf(stderr, "nandell-cli organize: cannot write %s\n",
                   report.error_file_problem.c_str());
    }
  }

 private:
  void ClearLine() {
    if (!line_shown_) return;
    std::fputs("\r\033[K", stderr);
    line_shown_ = false;
  }

  void DrawProgress(bool force) {
    auto now = std::chrono::steady_clock::now();
    if (!force && line_shown_ && now - last_draw_ < std::chrono::milliseconds(100)) return;
    last_draw_ = now;
    double seconds = std::chrono::duration<double>(now - start_).count();
    double rate = seconds > 0 ? counters_.ProcessedCount / seconds : 0.0;
    std::fprintf(stderr, "\r\033[K%d files, %d failed, %.0f files/s", counters_.ProcessedCount,
                 counters_.FailedCount, rate);
    std::fflush(stderr);
    line_shown_ = true;
  }

  const bool quiet_;
  const bool live_;
  std::mutex mutex_;
  JobCounters counters_;
  bool line_shown_ = false;
  std::chrono::steady_clock::time_point start_ = std::chrono::steady_clock::now();
  std::chrono::steady_clock::time_point last_draw_;
};

// Deep trees keep one open listing per level: allow as many descriptors as the system lets.
void RaiseDescriptorLimit() {
  struct rlimit limit;
  if (::getrlimit(RLIMIT_NOFILE, &limit) == 0 && limit.rlim_cur < limit.rlim_max) {
    limit.rlim_cur = limit.rlim_max;
    ::setrlimit(RLIMIT_NOFILE, &limit);
  }
}

}  // namespace

int RunOrganize(const Arguments& args) {
  const std::string folders[2] = {args.operands.size() > 0 ? args.operands[0] : "",
                                  args.operands.size() > 1 ? args.operands[1] : ""};
  const bool move = args.Has("--move");
  const bool quiet = args.Has("--quiet");
  std::optional<int32_t> by_year;
  if (args.Has("--by-day")) by_year = 0;
  if (args.Has("--by-year")) by_year = 1;
  std::optional<std::string> filters;
  if (args.Has("--filters")) filters = args.Value("--filters");

  // The settings store is only read: Config.ini is never written by the command line.
  // NANDELL_CONFIG_DIR names another folder for Config.ini and errorFile.txt.
  std::optional<SettingsStore> own_settings;
  SettingsStore* settings = &CommandSettings(&own_settings);
  {
    std::lock_guard<std::mutex> lock(settings->Mutex);
    if (filters) settings->FileFilters = *filters;
    if (by_year) settings->IsClassifyByYear = *by_year;
    if (args.Has("--media-dates")) settings->MediaDates = 1;
  }

  RaiseDescriptorLimit();
  const bool live = ::isatty(STDERR_FILENO) != 0;
  ConsoleSink sink(quiet, live);
  RunOptions options;
  options.show_failure_report = false;
  OrganizerJob job(*settings, sink, options);
  job.SetPhotoFolder(WithTrailingSlash(folders[0]));
  job.SetOutputFolder(WithTrailingSlash(folders[1]));
  job.SetDeleteSource(move ? 1 : 0);

  // Ctrl-C stops between files like the Stop button; a second one ends the program at once.
  struct sigaction action {};
  action.sa_handler = OnInterrupt;
  action.sa_flags = SA_RESETHAND | SA_RESTART;  // a slow call the signal lands in resumes
  sigemptyset(&action.sa_mask);
  struct sigaction previous {};
  g_job.store(&job);
  ::sigaction(SIGINT, &action, &previous);
  const std::string refusal = job.OnOrganize();
  if (!refusal.empty()) {
    ::sigaction(SIGINT, &previous, nullptr);
    g_job.store(nullptr);
    std::fprintf(stderr, "%s\n", refusal.c_str());
    return 2;
  }
  job.Wait();
  ::sigaction(SIGINT, &previous, nullptr);
  g_job.store(nullptr);
  std::fflush(stdout);
  return job.Counters().FailedCount == 0 ? 0 : 1;
}

}  // namespace nandell::cli
