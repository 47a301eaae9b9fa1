#pragma once

// What `nandell-cli organize` and `undo` need of the process and its console that differs by
// platform: the stop signals (Ctrl-C and the like), whether standard error shows a live line,
// and whether a failed write means that standard output has been closed.

#include <atomic>
#include <memory>

namespace nandell {
class OrganizerJob;
}

namespace nandell::cli {

/// Prepares the process for a run: as many open files as the system lets (POSIX), and a
/// closed standard output seen as a failed write, not as a signal that ends the program.
void PrepareRunProcess();

/// True when standard error is a terminal that can show the live progress line (it keeps one
/// line with "\r" and the erase-line sequence); on Windows a console that understands them.
bool ErrorIsLiveTerminal();

/// True when a write to standard output that failed with the errno value `error` means that
/// its reader has gone.
bool OutputClosed(int error);

/// While it exists, the signals that stop a run between files like the Stop button stop `job`:
/// Ctrl-C, SIGTERM and SIGHUP on POSIX; Ctrl-C, Ctrl-Break, closing the console, logging off
/// and shutting down on Windows. A second Ctrl-C ends the program at once. On Windows a closed
/// console, log-off or shutdown waits (as long as the system lets it) until the files under
/// way are finished and the run has ended.
class StopSignals {
 public:
  /// Installs the handlers for `job`.
  explicit StopSignals(OrganizerJob& job);
  /// Restores the previous handlers; the run has ended.
  ~StopSignals();
  StopSignals(const StopSignals&) = delete;
  StopSignals& operator=(const StopSignals&) = delete;
};

/// While it exists, the first Ctrl-C clears `running` (an undo then stops after the file in
/// hand); a second one ends the program at once, as the system's own handler does.
class InterruptClears {
 public:
  /// Installs the handler for `running`.
  explicit InterruptClears(std::atomic<bool>& running);
  /// Restores the previous handler.
  ~InterruptClears();
  InterruptClears(const InterruptClears&) = delete;
  InterruptClears& operator=(const InterruptClears&) = delete;
};

}  // namespace nandell::cli
