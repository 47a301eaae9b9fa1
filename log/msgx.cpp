#include "log/msgx.h"

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "platform/file.h"
#include "platform/ini.h"
#include "platform/process.h"

namespace nandell {
namespace {

constexpr const char* kDefaultTag = "C_V ";
constexpr const char* kLevelNames[] = {"", " Info", " Warning", " Error"};

// Spare room of a Log, LogHex or LogText line beyond its message texts, terminating zero
// included.
constexpr std::size_t kLineRoom = 388;
// LogFormat's message and line buffers, terminating zero included.
constexpr std::size_t kFormatRoom = 7000;
constexpr std::size_t kFormatLineRoom = 7260;
// Buffer of a rotated file name and of the "file" key, terminating zero included.
constexpr std::size_t kPathRoom = 260;
// Longest log path whose rotated name ("_", up to 14 digits, ".log") still fits kPathRoom.
constexpr std::size_t kMaxLogPath = 240;
// How many distinct names a rotation tries when its name is already taken.
constexpr int kRotationTries = 100;

std::string TagFor(int32_t level) {
  std::string tag = kDefaultTag;
  if (level > 0) tag += kLevelNames[level > 3 ? 3 : level];
  return tag;
}

}  // namespace

std::string DefaultLogConfigPath() {
  return SystemConfigDir() + "MsgX.ini";
}

CMsgX::CMsgX(std::string config_path) : CMsgX(std::move(config_path), 1, nullptr, nullptr) {}

CMsgX::CMsgX(std::string config_path, int32_t start_enabled, DebugSink debug_output_sink,
             Clock clock_source)
    : enabled(start_enabled),
      debug_output(std::move(debug_output_sink)),
      clock(std::move(clock_source)),
      config_path_(std::move(config_path)) {
  std::lock_guard<std::mutex> lock(mutex_);
  ReadConfig();
}

void CMsgX::Log(const char* message, int32_t level, int32_t line, const char* source) {
  std::lock_guard<std::mutex> lock(mutex_);
  if (enabled == 0 || message == nullptr) return;
  LogLocked(message, level, line, source, std::strlen(message) + kLineRoom);
}

void CMsgX::LogHex(const char* message, uint32_t value, int32_t level, int32_t line,
                   const char* source) {
  std::lock_guard<std::mutex> lock(mutex_);
  if (enabled == 0 || message == nullptr) return;
  char hex[16];
  std::snprintf(hex, sizeof hex, " 0x%X", value);
  LogLocked(std::string(message) + hex, level, line, source, std::strlen(message) + kLineRoom);
}

void CMsgX::LogText(const char* message, const char* text, int32_t level, int32_t line,
                    const char* source) {
  std::lock_guard<std::mutex> lock(mutex_);
  if (enabled == 0 || message == nullptr || text == nullptr) return;
  LogLocked(std::string(message) + " " + text, level, line, source,
            std::strlen(message) + std::strlen(text) + kLineRoom);
}

void CMsgX::LogFormat(const char* format, ...) {
  std::lock_guard<std::mutex> lock(mutex_);
  va_list args;
  va_start(args, format);
  LogFormatLocked(format, args);
  va_end(args);
}

void CMsgX::LogFormatAt(int32_t line, const char* format, ...) {
  std::lock_guard<std::mutex> lock(mutex_);
  source_line = line;
  va_list args;
  va_start(args, format);
  LogFormatLocked(format, args);
  va_end(args);
}

void CMsgX::LogLocked(const std::string& message_part, int32_t level, int32_t line,
                      const char* source, std::size_t room) {
  std::string head = TagFor(level) + ": " + message_part + "  #" + std::to_string(line) + " ";
  // The line must fit its buffer with the terminating zero; only the source name can make it
  // too long, so the source name is cut.
  std::string source_name = source != nullptr ? source : "";
  std::size_t fixed = head.size() + 1;  // + "\n"
  if (fixed >= room) return;            // cannot happen: the room covers the fixed parts
  CutUtf8(source_name, room - 1 - fixed);
  WriteLine(head + source_name + "\n", level);
}

void CMsgX::LogFormatLocked(const char* format, va_list args) {
  if (enabled == 0 || format == nullptr) return;
  va_list copy;
  va_copy(copy, args);
  int length = std::vsnprintf(nullptr, 0, format, copy);
  va_end(copy);
  if (length < 0) return;
  std::string message(static_cast<std::size_t>(length) + 1, '\0');
  std::vsnprintf(message.data(), message.size(), format, args);
  message.resize(static_cast<std::size_t>(length));
  CutUtf8(message, kFormatRoom - 1);
  std::string line =
      std::string(kDefaultTag) + ": " + message + "  #" + std::to_string(source_line) + " \n";
  if (line.size() >= kFormatLineRoom) return;  // cannot happen with the message cut above
  WriteLine(line, 0);
}

void CMsgX::WriteLine(const std::string& line, int32_t level) {
  if (debug_output) {
    debug_output(line);
  } else {
    DebugOutput(line);
  }
  if (write_file == 0 || level < min_level) return;
  std::tm now = Now();
  AppendFile file;
  if (!file.Open(log_path)) return;
  if (file.Size() > static_cast<int64_t>(size_limit)) {
    char base[kPathRoom + 32];
    std::snprintf(base, sizeof base, "%s_%d%d%d%d%d%d", log_path.c_str(), now.tm_year + 1900,
                  now.tm_mon + 1, now.tm_mday, now.tm_hour, now.tm_min, now.tm_sec);
    // A rotated name that would not fit its buffer, or whose every candidate is taken, means
    // no rotation: the line is appended to the current file rather than losing anything.
    if (log_path.size() <= kMaxLogPath && std::strlen(base) + 4 < kPathRoom) {
      // Closed first: on Windows an open file can be renamed only when every handle on it
      // allows it.
      file.Close();
      for (int n = 1; n <= kRotationTries; ++n) {
        std::string name = base;
        if (n > 1) name += "_" + std::to_string(n);
        name += ".log";
        if (RenameNoReplace(log_path, name) != EEXIST) break;
      }
      if (!file.Open(log_path)) return;
    }
  }
  char stamp[128];
  std::snprintf(stamp, sizeof stamp, "%d-%d-%d %d:%d:%d |  ", now.tm_year + 1900, now.tm_mon + 1,
                now.tm_mday, now.tm_hour, now.tm_min, now.tm_sec);
  file.Append(stamp + line);
}

std::tm CMsgX::Now() const {
  if (clock) return clock();
  std::time_t t = std::time(nullptr);
  std::tm local{};
#ifdef _WIN32
  ::localtime_s(&local, &t);
#else
  ::localtime_r(&t, &local);
#endif
  return local;
}

void CMsgX::ReadConfig() {
  auto log_own = [this](const char* message) {
    if (enabled != 0) LogLocked(message, 1, 0, "", std::strlen(message) + kLineRoom);
  };
  log_own("CMsgX Reading...");
  if (enabled != 0) {
    log_own("CMsgX Already Set.");
    return;
  }
  const char* section = "Log";
  enabled = ReadIniInt(config_path_, section, "Debug", 0);
  write_file = ReadIniInt(config_path_, section, "Write", 0);
  min_level = ReadIniInt(config_path_, section, "Level", 0);
  size_limit = ReadIniInt(config_path_, section, "Size", 2048000);
  std::string file = ReadIniString(config_path_, section, "file", kDefaultLogPath, kPathRoom);
  if (file.size() > 1 && file.size() <= kMaxLogPath) log_path = file;
}

CMsgX& MsgX() {
  static CMsgX log;
  return log;
}

}  // namespace nandell
