#include "update/version_check.h"

#include <curl/curl.h>

#include <cstring>
#include <mutex>
#include <system_error>

#include "platform/text.h"

namespace nandell {
namespace {

// Line numbers printed with each log line of the check. How libcurl's failures map onto them:
// no libcurl (global start-up) or no easy handle: 973; an option refused while setting up the
// request: 981; anything curl_easy_perform reports (name not resolved, connection refused,
// connect or overall time-out, send or receive error, reply cut short): 993 with libcurl's
// error text. Reaching the server, sending and reading are one call here, so a failure while
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
constexpr const char* kUserAgent = "Nandell";

// Makes libcurl ready once per process; later calls return the first outcome.
bool GlobalInit() {
  static std::once_flag once;
  static CURLcode code = CURLE_FAILED_INIT;
  std::call_once(once, [] { code = curl_global_init(CURL_GLOBAL_DEFAULT); });
  return code == CURLE_OK;
}

// Owns a parsed address.
struct UrlHandle {
  CURLU* url = curl_url();
  UrlHandle() = default;
  UrlHandle(const UrlHandle&) = delete;
  UrlHandle& operator=(const UrlHandle&) = delete;
  ~UrlHandle() { curl_url_cleanup(url); }
};

// Reads one part of a parsed address; false when the part is missing.
bool GetPart(CURLU* url, CURLUPart part, unsigned int flags, std::string* out) {
  char* text = nullptr;
  if (curl_url_get(url, part, &text, flags) != CURLUE_OK || text == nullptr) return false;
  *out = text;
  curl_free(text);
  return true;
}

// Parses `text` into `handle` and splits it; false unless it is a well-formed http address.
bool ParseHttpUrl(const std::string& text, UrlHandle* handle, HttpAddress* address) {
  if (handle->url == nullptr || text.empty()) return false;
  if (curl_url_set(handle->url, CURLUPART_URL, text.c_str(), 0) != CURLUE_OK) return false;
  std::string scheme;
  if (!GetPart(handle->url, CURLUPART_SCHEME, 0, &scheme) || scheme != "http") return false;
  HttpAddress parts;
  std::string port;
  if (!GetPart(handle->url, CURLUPART_HOST, 0, &parts.host) || parts.host.empty()) return false;
  if (!GetPart(handle->url, CURLUPART_PORT, CURLU_DEFAULT_PORT, &port)) return false;
  parts.port = ParseInt32(port, IntOverflow::kClamp);
  if (parts.port <= 0 || parts.port > 65535) return false;
  if (!GetPart(handle->url, CURLUPART_PATH, 0, &parts.object)) parts.object = "/";
  if (parts.object.empty()) parts.object = "/";
  std::string query;
  if (GetPart(handle->url, CURLUPART_QUERY, 0, &query)) parts.object += "?" + query;
  // IPv6 hosts come back in brackets; the address names the bare host.
  if (parts.host.size() > 2 && parts.host.front() == '[' && parts.host.back() == ']') {
    parts.host = parts.host.substr(1, parts.host.size() - 2);
  }
  *address = std::move(parts);
  return true;
}

// The reply buffer: keeps at most kReplyBufferSize - 1 bytes and a terminator.
struct ReplyBuffer {
  char data[kReplyBufferSize] = {};
  size_t size = 0;
  bool full = false;  // more bytes came than fit; the transfer was stopped on purpose
};

size_t WriteReply(char* bytes, size_t size, size_t count, void* user) {
  auto* reply = static_cast<ReplyBuffer*>(user);
  const size_t length = size * count;
  const size_t room = kReplyBufferSize - 1 - reply->size;
  if (length > room) {
    std::memcpy(reply->data + reply->size, bytes, room);
    reply->size += room;
    reply->full = true;
    return 0;  // ends the transfer: the reply is read once, up to the buffer's size
  }
  std::memcpy(reply->data + reply->size, bytes, length);
  reply->size += length;
  return length;
}

int ProgressCheck(void* user, curl_off_t, curl_off_t, curl_off_t, curl_off_t) {
  const auto* cancel = static_cast<const std::atomic<bool>*>(user);
  return cancel->load() ? 1 : 0;
}

// Owns an easy handle.
struct EasyHandle {
  CURL* curl = curl_easy_init();
  EasyHandle() = default;
  EasyHandle(const EasyHandle&) = delete;
  EasyHandle& operator=(const EasyHandle&) = delete;
  ~EasyHandle() { curl_easy_cleanup(curl); }
};

// Sets the request's options; false when any is refused.
bool SetUpRequest(CURL* curl, CURLU* url, const VersionCheckOptions& options, ReplyBuffer* reply,
                  char* error_text) {
  bool ok = curl_easy_setopt(curl, CURLOPT_ERRORBUFFER, error_text) == CURLE_OK;
  ok = ok && curl_easy_setopt(curl, CURLOPT_CURLU, url) == CURLE_OK;
  ok = ok && curl_easy_setopt(curl, CURLOPT_PROTOCOLS_STR, "http") == CURLE_OK;
  ok = ok && curl_easy_setopt(curl, CURLOPT_HTTPGET, 1L) == CURLE_OK;
  ok = ok && curl_easy_setopt(curl, CURLOPT_FOLLOWLOCATION, 0L) == CURLE_OK;
  ok = ok && curl_easy_setopt(curl, CURLOPT_USERAGENT, kUserAgent) == CURLE_OK;
  // Signals cannot carry the time-outs of a thread among others.
  ok = ok && curl_easy_setopt(curl, CURLOPT_NOSIGNAL, 1L) == CURLE_OK;
  // Zero would mean no limit to libcurl; the check must always end.
  const VersionCheckOptions defaults;
  const long connect_ms =
      options.connect_timeout_ms > 0 ? options.connect_timeout_ms : defaults.connect_timeout_ms;
  const long total_ms =
      options.total_timeout_ms > 0 ? options.total_timeout_ms : defaults.total_timeout_ms;
  ok = ok && curl_easy_setopt(curl, CURLOPT_CONNECTTIMEOUT_MS, connect_ms) == CURLE_OK;
  ok = ok && curl_easy_setopt(curl, CURLOPT_TIMEOUT_MS, total_ms) == CURLE_OK;
  ok = ok && curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, WriteReply) == CURLE_OK;
  ok = ok && curl_easy_setopt(curl, CURLOPT_WRITEDATA, reply) == CURLE_OK;
  if (options.cancel != nullptr) {
    ok = ok && curl_easy_setopt(curl, CURLOPT_XFERINFOFUNCTION, ProgressCheck) == CURLE_OK;
    ok = ok && curl_easy_setopt(curl, CURLOPT_XFERINFODATA, options.cancel) == CURLE_OK;
    ok = ok && curl_easy_setopt(curl, CURLOPT_NOPROGRESS, 0L) == CURLE_OK;
  }
  return ok;
}

// The request address "Url?softid=47&v=1.1": the query is appended unchanged, even when Url
// already holds one.
std::string BuildRequestUrl(const std::string& url) {
  return url + "?softid=" + std::to_string(kSoftwareId) + "&v=" + kOwnVersion;
}

}  // namespace

bool SplitHttpUrl(const std::string& url, HttpAddress* address) {
  if (address == nullptr) return false;
  UrlHandle handle;
  return ParseHttpUrl(url, &handle, address);
}

uint32_t VersionNumber(const char* text) {
  if (text == nullptr) return 0;
  // The pieces are read where they start: atoi stops at the period that ends a piece.
  const uint32_t first = static_cast<uint32_t>(ParseInt32(text, IntOverflow::kClamp));
  const char* period = std::strchr(text, '.');
  const uint32_t second =
      period == nullptr ? 0 : static_cast<uint32_t>(ParseInt32(period + 1, IntOverflow::kClamp));
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
  UrlHandle url_handle;
  HttpAddress address;
  if (!ParseHttpUrl(BuildRequestUrl(url), &url_handle, &address)) {
    log.Log("版本文件URL应一http://开头!\n", 0, kLineNotHttp, kSourceName);
    return 0;
  }

  if (!GlobalInit()) {
    log.Log(" GetHttpConnection Error.", 0, kLineNoConnection, kSourceName);
    return 0;
  }
  // The buffers outlive the handle that writes into them.
  ReplyBuffer reply;
  char error_text[CURL_ERROR_SIZE] = {};
  EasyHandle easy;
  if (easy.curl == nullptr) {
    log.Log(" GetHttpConnection Error.", 0, kLineNoConnection, kSourceName);
    return 0;
  }
  if (!SetUpRequest(easy.curl, url_handle.url, options, &reply, error_text)) {
    log.Log(" OpenRequest Error.", 0, kLineNoRequest, kSourceName);
    return 0;
  }

  const CURLcode code = curl_easy_perform(easy.curl);
  const bool cut_on_purpose = code == CURLE_WRITE_ERROR && reply.full;
  if (code != CURLE_OK && !cut_on_purpose) {
    // Stopped because the program is ending: no outcome to report.
    if (code == CURLE_ABORTED_BY_CALLBACK && options.cancel != nullptr && options.cancel->load()) {
      return 0;
    }
    log.Log(error_text[0] != '\0' ? error_text : curl_easy_strerror(code), 0, kLineSendFailed,
            kSourceName);
    return 0;
  }

  log.LogText("接收数据: ", reply.data, 0, kLineReceived, kSourceName);
  if (reply.data[0] == '\0') {
    log.Log("接收数据错误", 0, kLineEmptyReply, kSourceName);
    return 0;
  }

  char message[kMsgBufferSize] = {};
  ExtractTag("msg", reply.data, message, sizeof message);
  const bool has_message = std::strchr(message, '1') != nullptr;

  char version[kValueBufferSize] = {};
  ExtractTag("version", reply.data, version, sizeof version);
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
  ExtractTag("url", reply.data, value, sizeof value);
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
    ExtractTag(names[i], reply.data, value, sizeof value);
    numbers[i] = ParseInt32(value, IntOverflow::kClamp);
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
