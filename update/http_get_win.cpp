#include <windows.h>
#include <winhttp.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <system_error>
#include <thread>

#include "platform/file.h"
#include "platform/text.h"
#include "platform/windows_support.h"
#include "update/http_get.h"

namespace nandell::http {
namespace {

constexpr const wchar_t* kUserAgent = L"Nandell";
// How often a waiting check looks at its stop switch.
constexpr auto kCancelPoll = std::chrono::milliseconds(20);

// Owns a WinHTTP handle.
class InternetHandle {
 public:
  explicit InternetHandle(HINTERNET handle) : handle_(handle) {}
  ~InternetHandle() {
    if (handle_ != nullptr) ::WinHttpCloseHandle(handle_);
  }
  InternetHandle(const InternetHandle&) = delete;
  InternetHandle& operator=(const InternetHandle&) = delete;
  HINTERNET get() const { return handle_; }

 private:
  HINTERNET handle_;
};

// WinHTTP's text for one of its error codes, or the system's.
std::string ClientError(DWORD code) {
  return ErrorText(win::ErrorResult(code));
}

// What the request thread hands to the waiting check. Shared, so that a check that stopped
// waiting (stopped or out of time) may leave the request thread to end on its own.
struct Transfer {
  std::mutex mutex;
  std::condition_variable ended;
  bool done = false;
  Outcome outcome = Outcome::kFailed;
  std::string reply;
  std::string error;
};

struct Request {
  std::wstring host;
  INTERNET_PORT port = 80;
  std::wstring object;
  DWORD connect_ms = 0;
  DWORD total_ms = 0;
};

// The whole request with blocking WinHTTP calls, bounded by the system's own time-outs.
Outcome Perform(const Request& request, std::string* reply, std::string* error) {
  InternetHandle session(::WinHttpOpen(kUserAgent, WINHTTP_ACCESS_TYPE_DEFAULT_PROXY,
                                       WINHTTP_NO_PROXY_NAME, WINHTTP_NO_PROXY_BYPASS, 0));
  if (session.get() == nullptr ||
      !::WinHttpSetTimeouts(
          session.get(), static_cast<int>(request.total_ms), static_cast<int>(request.connect_ms),
          static_cast<int>(request.total_ms), static_cast<int>(request.total_ms))) {
    return Outcome::kNoConnection;
  }
  InternetHandle connection(::WinHttpConnect(session.get(), request.host.c_str(), request.port, 0));
  if (connection.get() == nullptr) return Outcome::kNoConnection;
  // The object goes out as given: the query is the check's own, already in its final form.
  InternetHandle handle(
      ::WinHttpOpenRequest(connection.get(), L"GET", request.object.c_str(), nullptr,
                           WINHTTP_NO_REFERER, WINHTTP_DEFAULT_ACCEPT_TYPES,
                           WINHTTP_FLAG_ESCAPE_DISABLE | WINHTTP_FLAG_ESCAPE_DISABLE_QUERY));
  DWORD never = WINHTTP_OPTION_REDIRECT_POLICY_NEVER;
  if (handle.get() == nullptr ||
      !::WinHttpSetOption(handle.get(), WINHTTP_OPTION_REDIRECT_POLICY, &never, sizeof never)) {
    return Outcome::kNoRequest;
  }
  if (!::WinHttpSendRequest(handle.get(), WINHTTP_NO_ADDITIONAL_HEADERS, 0, WINHTTP_NO_REQUEST_DATA,
                            0, 0, 0) ||
      !::WinHttpReceiveResponse(handle.get(), nullptr)) {
    *error = ClientError(::GetLastError());
    return Outcome::kFailed;
  }
  // The reply is read once, up to the buffer's size; more bytes are left unread.
  const std::size_t limit = kReplyBufferSize - 1;
  char chunk[4096];
  while (reply->size() < limit) {
    const std::size_t want = std::min(sizeof chunk, limit - reply->size());
    DWORD got = 0;
    if (!::WinHttpReadData(handle.get(), chunk, static_cast<DWORD>(want), &got)) {
      *error = ClientError(::GetLastError());
      return Outcome::kFailed;
    }
    if (got == 0) break;
    reply->append(chunk, got);
  }
  if (reply->size() < limit) {
    // The connection ended: the whole announced body must have come.
    DWORD length = 0;
    DWORD size = sizeof length;
    if (::WinHttpQueryHeaders(
            handle.get(), WINHTTP_QUERY_CONTENT_LENGTH | WINHTTP_QUERY_FLAG_NUMBER,
            WINHTTP_HEADER_NAME_BY_INDEX, &length, &size, WINHTTP_NO_HEADER_INDEX) &&
        reply->size() < length) {
      *error = "Transferred a partial file: " + std::to_string(reply->size()) + " of " +
               std::to_string(length) + " bytes";
      return Outcome::kFailed;
    }
  }
  return Outcome::kReplied;
}

}  // namespace

// Split by hand: WinHttpCrackUrl differs between systems on addresses such as
// "http://host?query" and "http://[::1]/".
bool ParseHttpUrl(const std::string& url, HttpAddress* address) {
  constexpr std::string_view kScheme = "http://";
  if (url.size() < kScheme.size() ||
      !EqualsIgnoringAsciiCase(std::string_view(url).substr(0, kScheme.size()), kScheme)) {
    return false;
  }
  for (const char c : url) {
    if (static_cast<unsigned char>(c) <= ' ' || c == 0x7F) return false;
  }
  const std::string_view rest = std::string_view(url).substr(kScheme.size());
  const std::size_t authority_end = rest.find_first_of("/?#");
  std::string_view authority = rest.substr(0, authority_end);
  const std::string_view tail =
      authority_end == std::string_view::npos ? std::string_view() : rest.substr(authority_end);
  if (const std::size_t at = authority.rfind('@'); at != std::string_view::npos) {
    authority.remove_prefix(at + 1);
  }
  HttpAddress split;
  std::string_view port;
  if (!authority.empty() && authority.front() == '[') {
    const std::size_t close = authority.find(']');
    if (close == std::string_view::npos) return false;
    split.host = authority.substr(1, close - 1);
    const std::string_view after = authority.substr(close + 1);
    if (!after.empty() && after.front() != ':') return false;
    if (!after.empty()) port = after.substr(1);
  } else {
    const std::size_t colon = authority.find(':');
    split.host = authority.substr(0, colon);
    if (colon != std::string_view::npos) port = authority.substr(colon + 1);
  }
  if (split.host.empty()) return false;
  if (!port.empty()) {
    if (port.size() > 5 || port.find_first_not_of("0123456789") != std::string_view::npos) {
      return false;
    }
    split.port = ParseInt32(port, IntOverflow::kClamp);
    if (split.port <= 0 || split.port > 65535) return false;
  }
  // The object is the path and the query; a fragment never goes to the server.
  const std::string_view object = tail.substr(0, tail.find('#'));
  split.object =
      object.empty() || object.front() != '/' ? "/" + std::string(object) : std::string(object);
  *address = std::move(split);
  return true;
}

// WinHTTP's blocking calls can be neither stopped nor given one limit for the whole request,
// so the request runs on a thread of its own while the check waits for it, looking at its
// stop switch and the overall limit. A check that stops waiting leaves the request thread to
// end by the system's time-outs; it touches nothing but its own shared record.
Outcome Get(const std::string& /*url*/, const HttpAddress& address,
            const VersionCheckOptions& options, std::string* reply, std::string* error) {
  const VersionCheckOptions defaults;
  Request request;
  request.host = win::Widen(address.host);
  request.port = static_cast<INTERNET_PORT>(address.port);
  request.object = win::Widen(address.object);
  request.connect_ms = static_cast<DWORD>(
      options.connect_timeout_ms > 0 ? options.connect_timeout_ms : defaults.connect_timeout_ms);
  request.total_ms = static_cast<DWORD>(options.total_timeout_ms > 0 ? options.total_timeout_ms
                                                                     : defaults.total_timeout_ms);

  auto transfer = std::make_shared<Transfer>();
  try {
    std::thread([transfer, request] {
      std::string body;
      std::string text;
      const Outcome outcome = Perform(request, &body, &text);
      std::lock_guard<std::mutex> lock(transfer->mutex);
      transfer->outcome = outcome;
      transfer->reply = std::move(body);
      transfer->error = std::move(text);
      transfer->done = true;
      transfer->ended.notify_all();
    }).detach();
  } catch (const std::system_error&) {
    return Outcome::kNoConnection;
  }

  const auto deadline =
      std::chrono::steady_clock::now() + std::chrono::milliseconds(request.total_ms);
  std::unique_lock<std::mutex> lock(transfer->mutex);
  while (!transfer->done) {
    if (options.cancel != nullptr && options.cancel->load()) return Outcome::kCancelled;
    const auto now = std::chrono::steady_clock::now();
    if (now >= deadline) {
      *error = "Operation timed out after " + std::to_string(request.total_ms) + " milliseconds";
      return Outcome::kFailed;
    }
    transfer->ended.wait_for(
        lock, std::min<std::chrono::steady_clock::duration>(kCancelPoll, deadline - now));
  }
  *reply = std::move(transfer->reply);
  *error = std::move(transfer->error);
  return transfer->outcome;
}

}  // namespace nandell::http
