#include "update/version_check.h"

#include <cctype>
#include <climits>
#include <cstring>
#include <mutex>
#include <system_error>

#include "update/http_get.h"

namespace nandell {
namespace {

// Line numbers printed with each log line of the check. How the HTTP client's failures map
// onto them: no client for the server: 973; no request: 981; anything while connecting,
// sending or reading (name not resolved, connection refused, connect or overall time-out,
// send or receive error, reply cut short): 993 with the client's error text. A failure while
// reading the reply is reported like one while sending.
constexpr int32_t kLineNotHttp = 962;
constexpr int32_t kLineNoConnection = 973;
constexpr int32_t kLineNoRequest = 981;
constexpr int32_t kLineSendFailed = 993;
constexpr int32_t kLineReceived = 1002;
constexpr int32_t kLineEmptyReply = 1006;
constexpr int32_t kLineNoVersion = 1029;
constexpr int32_t kLineServerVersion = 1041;
constexpr int32_t kLineOwnVersion = 1048;
constexpr int32_t kLineLatest = 1052;
constexpr int32_t kLineNews = 1060;

constexpr const char* kSourceName = "";

// The request address "Url?softid=47&v=1.1": the query is appended unchanged, even when Url
// already holds one.
std::string BuildRequestUrl(const std::string& url) {
  return url + "?softid=" + std::to_string(kSoftwareId) + "&v=" + kOwnVersion;
}

}  // namespace

namespace http {

int32_t ReadInt(const char* text) {
  if (text == nullptr) return 0;
  while (std::isspace(static_cast<unsigned char>(*text))) ++text;
  bool negative = false;
  if (*text == '+' || *text == '-') negative = (*text++ == '-');
  int64_t value = 0;
  while (*text >= '0' && *text <= '9') {
    if (value <= static_cast<int64_t>(INT32_MAX) + 1) value = value * 10 + (*text - '0');
    ++text;
  }
  if (negative) value = -value;
  if (value > INT32_MAX) return INT32_MAX;
  if (value < INT32_MIN) return INT32_MIN;
  return static_cast<int32_t>(value);
}

}  // namespace http

bool SplitHttpUrl(const std::string& url, HttpAddress* address) {
  return address != nullptr && http::ParseHttpUrl(url, address);
}

uint32_t VersionNumber(const char* text) {
  if (text == nullptr) return 0;
  // The pieces are read where they start: atoi stops at the period that ends a piece.
  const uint32_t first = static_cast<uint32_t>(http::ReadInt(text));
  const char* period = std::strchr(text, '.');
  const uint32_t second = period == nullptr ? 0 : static_cast<uint32_t>(http::ReadInt(period + 1));
  return (first << 8) | second;
}

size_t ExtractTag(const char* name, const char* reply, char* destination, size_t destination_size) {
  if (name == nullptr || reply == nullptr || destination == nullptr || destination_size == 0 ||
      *reply == '\0') {
    return 0;
  }
  const std::string open_tag = std::string("<") + name + ">";
  const std::string close_tag = std::string("</") + name + ">";
  const char* open = std::strstr(reply, open_tag.c_str());
  const char* close = std::strstr(reply, close_tag.c_str());
  if (open == nullptr || close == nullptr) return 0;
  const char* start = open + open_tag.size();
  const size_t length = close >= start ? static_cast<size_t>(close - start) : std::strlen(start);
  const size_t copied = length < destination_size - 1 ? length : destination_size - 1;
  std::memcpy(destination, start, copied);
  destination[copied] = '\0';
  return copied;
}

int32_t QueryVersion(SettingsStore& settings, CMsgX& log, const VersionCheckOptions& options) {
  std::string url;
  {
    std::lock_guard<std::mutex> lock(settings.Mutex);
    url = settings.Url;
  }

  // The address is checked before anything touches the network.
  const std::string request_url = BuildRequestUrl(url);
  HttpAddress address;
  if (!http::ParseHttpUrl(request_url, &address)) {
    log.Log("版本文件URL应一http://开头!\n", 0, kLineNotHttp, kSourceName);
    return 0;
  }

  std::string reply;
  std::string error;
  switch (http::Get(request_url, address, options, &reply, &error)) {
    case http::Outcome::kReplied:
      break;
    case http::Outcome::kNoConnection:
      log.Log(" GetHttpConnection Error.", 0, kLineNoConnection, kSourceName);
      return 0;
    case http::Outcome::kNoRequest:
      log.Log(" OpenRequest Error.", 0, kLineNoRequest, kSourceName);
      return 0;
    case http::Outcome::kFailed:
      log.Log(error.c_str(), 0, kLineSendFailed, kSourceName);
      return 0;
    case http::Outcome::kCancelled:
      return 0;  // stopped because the program is ending: no outcome to report
  }

  log.LogText("接收数据: ", reply.c_str(), 0, kLineReceived, kSourceName);
  if (reply.c_str()[0] == '\0') {
    log.Log("接收数据错误", 0, kLineEmptyReply, kSourceName);
    return 0;
  }

  char message[kMsgBufferSize] = {};
  ExtractTag("msg", reply.c_str(), message, sizeof message);
  const bool has_message = std::strchr(message, '1') != nullptr;

  char version[kValueBufferSize] = {};
  ExtractTag("version", reply.c_str(), version, sizeof version);
  if (version[0] == '\0') {
    log.LogText("获取版本信息错误: ", version, 0, kLineNoVersion, kSourceName);
    return 0;
  }

  const uint32_t server_number = VersionNumber(version);
  log.LogHex("服务器版本: ", server_number, 0, kLineServerVersion, kSourceName);
  const uint32_t own_number = VersionNumber(kOwnVersion);
  log.LogHex("当前版本: ", own_number, 0, kLineOwnVersion, kSourceName);

  if (own_number >= server_number && !has_message) {
    log.Log("版本已是最新", 0, kLineLatest, kSourceName);
    return 0;
  }

  char value[kValueBufferSize] = {};
  ExtractTag("url", reply.c_str(), value, sizeof value);
  const std::string reply_url = value;
  {
    std::lock_guard<std::mutex> lock(settings.Mutex);
    settings.ReplyUrl = reply_url;
  }
  log.LogText("有新消息:", version, 0, kLineNews, kSourceName);
  if (reply_url.empty()) return 0;

  int32_t numbers[3] = {};
  const char* names[3] = {"width", "height", "time"};
  for (int i = 0; i < 3; ++i) {
    std::memset(value, 0, sizeof value);
    ExtractTag(names[i], reply.c_str(), value, sizeof value);
    numbers[i] = http::ReadInt(value);
  }
  {
    std::lock_guard<std::mutex> lock(settings.Mutex);
    settings.ReplyWidth = numbers[0];
    settings.ReplyHeight = numbers[1];
    settings.ReplyTime = numbers[2];
  }
  return 1;
}

uint32_t VersionCheckThread(void* param) {
  if (param == nullptr) return 0;
  const auto* job = static_cast<const VersionCheckJob*>(param);
  SettingsStore& settings = job->settings != nullptr ? *job->settings : Settings();
  CMsgX& log = job->log != nullptr ? *job->log : MsgX();
  return static_cast<uint32_t>(QueryVersion(settings, log, job->options));
}

bool VersionCheckRunner::Start(SettingsStore& settings, CMsgX& log, VersionCheckOptions options) {
  if (started_) return false;
  started_ = true;
  options.cancel = &cancel_;
  job_ = VersionCheckJob{&settings, &log, options};
  try {
    thread_ = std::thread([this] {
      result_.store(static_cast<int32_t>(VersionCheckThread(&job_)));
      finished_.store(true);
    });
  } catch (const std::system_error&) {
    return false;
  }
  return true;
}

void VersionCheckRunner::Stop() {
  cancel_.store(true);
  if (thread_.joinable()) thread_.join();
}

int32_t VersionCheckRunner::Wait() {
  if (!started_) return -1;
  if (thread_.joinable()) thread_.join();
  return result_.load();
}

}  // namespace nandell
