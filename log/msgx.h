#pragma once

#include <cstdint>
#include <ctime>
#include <functional>
#include <mutex>
#include <string>

namespace nandell {

/// The diagnostic log. Each entry becomes one line "TAG: message  #line source\n" that goes
/// to standard error (the debugger output) and, when file logging is on and the level is at
/// least min_level, to a time-stamped, size-rotated log file. Entries are serialised by one
/// lock, so lines from two threads never interleave. It never fails its caller.
class CMsgX {
 public:
  /// Built-in values (enabled, no file), then ReadConfig from `config_path`.
  explicit CMsgX(std::string config_path = "/etc/MsgX.ini");
  ~CMsgX() = default;

  void Log(const char* message, int32_t level, int32_t line, const char* source);
  void LogHex(const char* message, uint32_t value, int32_t level, int32_t line, const char* source);
  void LogText(const char* message, const char* text, int32_t level, int32_t line,
               const char* source);
  /// Formats the message, then writes it at level 0 with `source_line`.
  void LogFormat(const char* format, ...) __attribute__((format(printf, 2, 3)));
  /// Sets source_line and logs the formatted message under one lock, so that another
  /// thread's line number cannot slip in between.
  void LogFormatAt(int32_t line, const char* format, ...) __attribute__((format(printf, 3, 4)));

  // Settings (read from MsgX.ini only when the facility starts disabled).
  int32_t enabled = 1;
  int32_t write_file = 0;
  int32_t min_level = 0;
  int32_t size_limit = 2048000;
  std::string log_path = "/tmp/MsgX.log";
  int32_t source_line = 0;

  /// Test seams: where debugger-output lines go (standard error by default), and the clock
  /// used for time stamps and rotated names (local time now by default).
  std::function<void(const std::string&)> debug_output;
  std::function<std::tm()> clock;

 private:
  void ReadConfig();
  void WriteLine(const std::string& line, int32_t level);
  // ... implementation details
  std::string config_path_;
  std::recursive_mutex mutex_;
};

/// The process-wide log object.
CMsgX& MsgX();

}  // namespace nandell
