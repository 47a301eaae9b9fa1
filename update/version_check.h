#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <string>
#include <thread>

#include "log/msgx.h"
#include "nandell_version.h"
#include "settings/settings_store.h"

namespace nandell {

/// The product's software id, sent as the query parameter "softid".
inline constexpr int32_t kSoftwareId = 47;
/// The program's own version text, sent as "v" and compared with the server's version.
inline constexpr const char* kOwnVersion = kVersionText;
/// Size of the reply buffer; a longer reply is cut to this size less the terminator.
inline constexpr size_t kReplyBufferSize = 8192;
/// Buffer sizes of the "msg" value and of every other value (each with its terminator).
inline constexpr size_t kMsgBufferSize = 24;
inline constexpr size_t kValueBufferSize = 1024;

/// Time limits and the stop switch of one check. A limit of 0 or less means its default.
struct VersionCheckOptions {
  /// Longest wait for the connection to the server, in milliseconds.
  int32_t connect_timeout_ms = 5000;
  /// Longest time of the whole request, connecting and reading included, in milliseconds.
  int32_t total_timeout_ms = 30000;
  /// When set, the transfer is abandoned (quietly, result 0) soon after it becomes true.
  const std::atomic<bool>* cancel = nullptr;
};

/// The parts of an http address that the request goes to.
struct HttpAddress {
  std::string host;    ///< Server name or address, without brackets for IPv6.
  int32_t port = 80;   ///< The given port, or 80 when the address names none.
  std::string object;  ///< Path and query, at least "/".
};

/// Splits `url` into server, port and object. Returns false, leaving `address` unchanged, when
/// `url` is not a well-formed http:// address (https, ftp, no scheme, empty, bad port).
bool SplitHttpUrl(const std::string& url, HttpAddress* address);

/// Turns a version text into a comparable number: the first two pieces between periods, each
/// read like atoi (missing or not a number gives 0), as (first << 8) | second. "1.1" is 257.
uint32_t VersionNumber(const char* text);

/// Copies the value between "<name>" and "</name>" (both found from the start of `reply`; when
/// the closing tag stands first, the value runs to the end of `reply`) into `destination`,
/// cut to `destination_size` - 1 bytes, with a terminator. Returns the length copied, or 0
/// when a tag is missing or an argument is null or empty; `destination` is then unchanged.
size_t ExtractTag(const char* name, const char* reply, char* destination, size_t destination_size);

/// Asks the version page named by `settings.Url` whether a newer version exists, logs the
/// outcome to `log` (level 0, empty source name) and, on news, fills the reply fields of
/// `settings` under its Mutex. Returns 1 when the reply was news with a non-empty url, else 0.
/// Never throws; every failure ends with 0 and one log line. Without arguments it works on the
/// process-wide store and log.
int32_t QueryVersion(SettingsStore& settings = Settings(), CMsgX& log = MsgX(),
                     const VersionCheckOptions& options = {});

/// What VersionCheckThread works on: the store to read and fill, the log (null: the process-wide
/// ones), and the options.
struct VersionCheckJob {
  SettingsStore* settings = nullptr;
  CMsgX* log = nullptr;
  VersionCheckOptions options;
};

/// Thread body of the check. With a null `param` it returns 0 at once; otherwise `param` is a
/// VersionCheckJob* and the result of QueryVersion on it is returned.
uint32_t VersionCheckThread(void* param);

/// Runs the check once on a thread of its own. The destructor (or Stop) asks a running check
/// to give up and waits for it; that wait is short (about a second), so a window closing
/// during a slow check does not hang.
class VersionCheckRunner {
 public:
  VersionCheckRunner() = default;
  ~VersionCheckRunner() { Stop(); }
  VersionCheckRunner(const VersionCheckRunner&) = delete;
  VersionCheckRunner& operator=(const VersionCheckRunner&) = delete;

  /// Starts the check on `settings` and `log`. Returns false when a check was already started
  /// by this runner (the check runs at most once) or the thread could not be started.
  bool Start(SettingsStore& settings = Settings(), CMsgX& log = MsgX(),
             VersionCheckOptions options = {});

  /// Asks a running check to give up and waits for its thread to end. Safe to call again.
  void Stop();

  /// Waits for the check to end on its own (bounded by the total time-out) and returns its
  /// result, or -1 when no check was started.
  int32_t Wait();

  /// True once the started check has ended (its result is then final).
  bool Finished() const { return finished_.load(); }

 private:
  VersionCheckJob job_;
  std::atomic<bool> cancel_{false};
  std::atomic<bool> finished_{false};
  std::atomic<int32_t> result_{-1};
  std::thread thread_;
  bool started_ = false;
};

}  // namespace nandell
