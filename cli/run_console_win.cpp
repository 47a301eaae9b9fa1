// The organize command's process and console on Windows: console control events and the
// console's own line editing.
#include <windows.h>

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <mutex>

#include "cli/run_console.h"
#include "engine/organizer.h"

namespace nandell::cli {
namespace {

// How long a closed console, log-off or shutdown waits for the run to end; the system ends
// the program after about five seconds in any case.
constexpr DWORD kCloseWaitMs = 4500;

std::mutex g_job_mutex;
OrganizerJob* g_job = nullptr;
int g_interrupts = 0;
// Set when the run has ended.
HANDLE g_run_ended = nullptr;

BOOL WINAPI OnControlEvent(DWORD event) {
  {
    std::lock_guard<std::mutex> lock(g_job_mutex);
    if (g_job == nullptr) return FALSE;
    // A second Ctrl-C (or Ctrl-Break) goes to the system's handler, which ends the program.
    if (event == CTRL_C_EVENT || event == CTRL_BREAK_EVENT) {
      if (++g_interrupts > 1) return FALSE;
    }
    g_job->OnStop();
  }
  // The handler runs on a thread of its own; returning from a close, log-off or shutdown
  // event ends the program, so it first lets the files under way finish.
  if (event == CTRL_CLOSE_EVENT || event == CTRL_LOGOFF_EVENT || event == CTRL_SHUTDOWN_EVENT) {
    ::WaitForSingleObject(g_run_ended, kCloseWaitMs);
  }
  return TRUE;
}

// The flag that Ctrl-C (or Ctrl-Break) clears during an undo, and how many came.
std::atomic<std::atomic<bool>*> g_running{nullptr};
std::atomic<int> g_undo_interrupts{0};

BOOL WINAPI OnUndoInterrupt(DWORD event) {
  if (event != CTRL_C_EVENT && event != CTRL_BREAK_EVENT) return FALSE;
  std::atomic<bool>* running = g_running.load();
  // A second one goes to the system's handler, which ends the program.
  if (running == nullptr || ++g_undo_interrupts > 1) return FALSE;
  running->store(false);
  return TRUE;
}

}  // namespace

void PrepareRunProcess() {}

bool ErrorIsLiveTerminal() {
  // A console, with its line editing sequences turned on (Windows 10 and later).
  HANDLE error = ::GetStdHandle(STD_ERROR_HANDLE);
  DWORD mode = 0;
  if (error == INVALID_HANDLE_VALUE || !::GetConsoleMode(error, &mode)) return false;
  return (mode & ENABLE_VIRTUAL_TERMINAL_PROCESSING) != 0 ||
         ::SetConsoleMode(error, mode | ENABLE_VIRTUAL_TERMINAL_PROCESSING);
}

bool OutputClosed(int error) {
  // The C runtime words a pipe without a reader as EPIPE or, for a pipe that is being
  // closed, EINVAL.
  return error == EPIPE || error == EINVAL;
}

StopSignals::StopSignals(OrganizerJob& job) {
  g_run_ended = ::CreateEventW(nullptr, TRUE, FALSE, nullptr);
  {
    std::lock_guard<std::mutex> lock(g_job_mutex);
    g_job = &job;
    g_interrupts = 0;
  }
  ::SetConsoleCtrlHandler(OnControlEvent, TRUE);
}

StopSignals::~StopSignals() {
  {
    std::lock_guard<std::mutex> lock(g_job_mutex);
    g_job = nullptr;
  }
  if (g_run_ended != nullptr) ::SetEvent(g_run_ended);
  ::SetConsoleCtrlHandler(OnControlEvent, FALSE);
}

InterruptClears::InterruptClears(std::atomic<bool>& running) {
  g_undo_interrupts.store(0);
  g_running.store(&running);
  ::SetConsoleCtrlHandler(OnUndoInterrupt, TRUE);
}

InterruptClears::~InterruptClears() {
  ::SetConsoleCtrlHandler(OnUndoInterrupt, FALSE);
  g_running.store(nullptr);
}

}  // namespace nandell::cli
