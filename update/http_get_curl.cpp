#include <curl/curl.h>

#include <cstring>
#include <mutex>

#include "update/http_get.h"

namespace nandell::http {
namespace {

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
bool ParseInto(const std::string& text, UrlHandle* handle, HttpAddress* address) {
  if (handle->url == nullptr || text.empty()) return false;
  if (curl_url_set(handle->url, CURLUPART_URL, text.c_str(), 0) != CURLUE_OK) return false;
  std::string scheme;
  if (!GetPart(handle->url, CURLUPART_SCHEME, 0, &scheme) || scheme != "http") return false;
  HttpAddress parts;
  std::string port;
  if (!GetPart(handle->url, CURLUPART_HOST, 0, &parts.host) || parts.host.empty()) return false;
  if (!GetPart(handle->url, CURLUPART_PORT, CURLU_DEFAULT_PORT, &port)) return false;
  parts.port = ReadInt(port.c_str());
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

}  // namespace

bool ParseHttpUrl(const std::string& url, HttpAddress* address) {
  UrlHandle handle;
  return ParseInto(url, &handle, address);
}

// libcurl takes the address whole, parsed into its own handle.
Outcome Get(const std::string& url, const HttpAddress& /*address*/,
            const VersionCheckOptions& options, std::string* reply, std::string* error) {
  UrlHandle url_handle;
  HttpAddress parsed;
  if (!GlobalInit()) return Outcome::kNoConnection;
  // The buffers outlive the handle that writes into them.
  ReplyBuffer buffer;
  char error_text[CURL_ERROR_SIZE] = {};
  EasyHandle easy;
  if (easy.curl == nullptr) return Outcome::kNoConnection;
  if (!ParseInto(url, &url_handle, &parsed) ||
      !SetUpRequest(easy.curl, url_handle.url, options, &buffer, error_text)) {
    return Outcome::kNoRequest;
  }
  const CURLcode code = curl_easy_perform(easy.curl);
  const bool cut_on_purpose = code == CURLE_WRITE_ERROR && buffer.full;
  if (code != CURLE_OK && !cut_on_purpose) {
    if (code == CURLE_ABORTED_BY_CALLBACK && options.cancel != nullptr && options.cancel->load()) {
      return Outcome::kCancelled;
    }
    *error = error_text[0] != '\0' ? error_text : curl_easy_strerror(code);
    return Outcome::kFailed;
  }
  reply->assign(buffer.data, buffer.size);
  return Outcome::kReplied;
}

}  // namespace nandell::http
