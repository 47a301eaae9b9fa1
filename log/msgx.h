#pragma once

#include <cstdarg>
#include <cstdint>
#include <ctime>
#include <functional>
#include <mutex>
#include <string>

namespace nandell {

#ifdef _WIN32
/// The built-in log file.
inline constexpr const char* kDefaultLogPath = "c:\\MsgX.log";
#else
/// The built-in log file.
inline constexpr const char* kDefaultLogPath = "/tmp/MsgX.log";
#endif

/// Where the facility's switches are read: MsgX.ini in SystemConfigDir (/etc/; on Windows
/// the system directory).
std::string DefaultLogConfigPath();

/// The diagnostic log. Each entry becomes one line "TAG: message  #line source\n" that goes
/// to the debugger output (standard error; OutputDebugStringW on Windows) and, when file logging is
/// on and the level is at least min_level, to a time-stamped, size-rotated log file. Entries are
/// serialised by one lock, so lines from two threads never interleave. It never fails its caller.
///
/// Levels: 0 gives the bare tag "C_V ", 1 to 3 add " Info", " Warning", " Error"; a level
/// above 3 is shown as " Error", a negative level with the bare tag.
class CMsgX {
 public:
  /// Where debugger-output lines go.
  using DebugSink = std::function<void(const std::string&)>;
  /// The local time used for time stamps and rotated names.
  using Clock = std::function<std::tm()>;

  /// Built-in values (enabled, no file), then ReadConfig from `config_path`.
  explicit CMsgX(std::string config_path = DefaultLogConfigPath());

  /// For tests: `enabled` starts as `start_enabled`; an empty `debug_output` means standard
  /// error, an empty `clock` the local time now. Then ReadConfig from `config_path`, so the
  /// start-up lines reach the given sink.
  CMsgX(std::string config_path, int32_t start_enabled, DebugSink debug_output, Clock clock);

  ~CMsgX() = default;
  CMsgX(const CMsgX&) = delete;
  CMsgX& operator=(const CMsgX&) = delete;

  /// "TAG: message  #line source\n". Nothing when disabled or `message` is null.
  void Log(const char* message, int32_t level, int32_t line, const char* source);
  /// "TAG: message 0xVALUE  #line source\n", upper-case hexadecimal without padding.
  void LogHex(const char* message, uint32_t value, int32_t level, int32_t line, const char* source);
  /// "TAG: message text  #line source\n". Nothing when either text is null.
  void LogText(const char* message, const char* text, int32_t level, int32_t line,
               const char* source);
  /// Formats the message (cut to 6999 bytes), then writes "C_V : message  #source_line \n"
  /// at level 0.
  void LogFormat(const char* format, ...) __attribute__((format(printf, 2, 3)));
  /// Sets source_line and logs the formatted message under one lock, so that another
  /// thread's line number cannot slip in between.
  void LogFormatAt(int32_t line, const char* format, ...) __attribute__((format(printf, 3, 4)));

  // Settings (read from MsgX.ini only when the facility starts disabled). Set them before
  // other threads log.
  int32_t enabled = 1;
  int32_t write_file = 0;
  int32_t min_level = 0;
  int32_t size_limit = 2048000;
  std::string log_path = kDefaultLogPath;
  /// The line number that LogFormat prints; not reset after use.
  int32_t source_line = 0;

  /// Test seams: where debugger-output lines go (standard error when empty), and the clock
  /// used for time stamps and rotated names (local time now when empty). Both are called
  /// under the facility's lock and must not log themselves.
  DebugSink debug_output;
  Clock clock;

 private:
  void ReadConfig();
  void LogLocked(const std::string& message_part, int32_t level, int32_t line, const char* source,
                 std::size_t room);
  void LogFormatLocked(const char* format, va_list args);
  void WriteLine(const std::string& line, int32_t level);
  std::tm Now() const;

  std::string config_path_;
  std::mutex mutex_;
};

/// The process-wide log object, constructed on first call.
CMsgX& MsgX();

}  // namespace nandell
