// `nandell-cli organize`: one organizing run from the command line, with the window's start
// checks, messages, summary and failure report.
#include <signal.h>
#include <sys/resource.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
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

void PrintOrganizeUsage() {
  std::fputs(
      "usage: nandell-cli organize PHOTO_FOLDER OUTPUT_FOLDER [--move] [--by-day | --by-year]\n"
      "                            [--filters LIST] [--media-dates] [--quiet]\n",
      stderr);
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

int RunOrganize(int argc, char** argv) {
  std::string folders[2];
  int folder_count = 0;
  bool move = false;
  bool quiet = false;
  std::optional<int32_t> by_year;
  std::optional<std::string> filters;
  bool media_dates = false;
  for (int i = 0; i < argc; ++i) {
    const std::string arg = argv[i];
    if (arg == "--move") {
      move = true;
    } else if (arg == "--quiet") {
      quiet = true;
    } else if (arg == "--media-dates") {
      media_dates = true;
    } else if (arg == "--by-day") {
      by_year = 0;
    } else if (arg == "--by-year") {
      by_year = 1;
    } else if (arg == "--filters") {
      if (i + 1 >= argc) {
        PrintOrganizeUsage();
        return 2;
      }
      filters = argv[++i];
    } else if (arg.rfind("--filters=", 0) == 0) {
      filters = arg.substr(std::strlen("--filters="));
    } else if (arg == "--") {
      for (++i; i < argc && folder_count < 3; ++i) {
        if (folder_count < 2) folders[folder_count] = argv[i];
        ++folder_count;
      }
    } else if (arg.size() > 1 && arg[0] == '-') {
      std::fprintf(stderr, "nandell-cli organize: unknown option '%s'\n", arg.c_str());
      PrintOrganizeUsage();
      return 2;
    } else {
      if (folder_count < 2) folders[folder_count] = arg;
      ++folder_count;
    }
  }
  if (folder_count > 2) {
    PrintOrganizeUsage();
    return 2;
  }

  // The settings store is only read: Config.ini is never written by the command line.
  // NANDELL_CONFIG_DIR names another folder for Config.ini and errorFile.txt.
  std::optional<SettingsStore> own_settings;
  SettingsStore* settings = &CommandSettings(&own_settings);
  {
    std::lock_guard<std::mutex> lock(settings->Mutex);
    if (filters) settings->FileFilters = *filters;
    if (by_year) settings->IsClassifyByYear = *by_year;
    if (media_dates) settings->MediaDates = 1;
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
