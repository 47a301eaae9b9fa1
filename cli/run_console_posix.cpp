// The organize command's process and console on POSIX: signals and the terminal.
#include <signal.h>
#include <sys/resource.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <iterator>

#include "cli/run_console.h"
#include "engine/organizer.h"

namespace nandell::cli {
namespace {

// The job that Ctrl-C, SIGTERM and SIGHUP stop. OnStop only stores into lock-free atomics,
// which a signal handler may do.
std::atomic<OrganizerJob*> g_job{nullptr};
static_assert(std::atomic<bool>::is_always_lock_free &&
              std::atomic<OrganizerJob*>::is_always_lock_free);

void OnStopSignal(int) {
  OrganizerJob* job = g_job.load();
  if (job != nullptr) job->OnStop();
}

// The signals that stop a run between files like the Stop button: Ctrl-C, a service stop
// (SIGTERM) and the end of the terminal's session (SIGHUP). A second one of the same kind
// ends the program at once.
constexpr int kStopSignals[] = {SIGINT, SIGTERM, SIGHUP};

struct sigaction g_previous[std::size(kStopSignals)] = {};

// The flag that Ctrl-C clears during an undo, and the handler it replaced.
std::atomic<std::atomic<bool>*> g_running{nullptr};
struct sigaction g_previous_interrupt {};

void OnInterrupt(int) {
  std::atomic<bool>* running = g_running.load();
  if (running != nullptr) running->store(false);
}

}  // namespace

void PrepareRunProcess() {
  // Deep trees keep one open listing per level: allow as many descriptors as the system lets.
  struct rlimit limit;
  if (::getrlimit(RLIMIT_NOFILE, &limit) == 0 && limit.rlim_cur < limit.rlim_max) {
    limit.rlim_cur = limit.rlim_max;
    ::setrlimit(RLIMIT_NOFILE, &limit);
  }
  // A closed standard output is seen as EPIPE by the writes, not as a signal that ends the
  // program with the copies under way.
  ::signal(SIGPIPE, SIG_IGN);
}

bool ErrorIsLiveTerminal() {
  return ::isatty(STDERR_FILENO) != 0;
}

bool OutputClosed(int error) {
  return error == EPIPE;
}

StopSignals::StopSignals(OrganizerJob& job) {
  struct sigaction action {};
  action.sa_handler = OnStopSignal;
  action.sa_flags = SA_RESETHAND | SA_RESTART;  // a slow call the signal lands in resumes
  sigemptyset(&action.sa_mask);
  g_job.store(&job);
  for (size_t i = 0; i < std::size(kStopSignals); ++i) {
    ::sigaction(kStopSignals[i], &action, &g_previous[i]);
  }
}

StopSignals::~StopSignals() {
  for (size_t i = 0; i < std::size(kStopSignals); ++i) {
    ::sigaction(kStopSignals[i], &g_previous[i], nullptr);
  }
  g_job.store(nullptr);
}

InterruptClears::InterruptClears(std::atomic<bool>& running) {
  g_running.store(&running);
  struct sigaction action {};
  action.sa_handler = OnInterrupt;
  action.sa_flags = SA_RESETHAND | SA_RESTART;
  sigemptyset(&action.sa_mask);
  ::sigaction(SIGINT, &action, &g_previous_interrupt);
}

InterruptClears::~InterruptClears() {
  ::sigaction(SIGINT, &g_previous_interrupt, nullptr);
  g_running.store(nullptr);
}

}  // namespace nandell::cli
