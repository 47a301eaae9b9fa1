#pragma once

// The one HTTP request of the version check, behind one interface: libcurl on POSIX systems,
// WinHTTP (the system's own client) on Windows.

#include <cstdint>
#include <string>

#include "update/version_check.h"

namespace nandell::http {

/// How a request ended; each outcome has its own line in the check's log.
enum class Outcome {
  kReplied,       ///< A reply came, whatever its status; its body is in `reply`.
  kNoConnection,  ///< The client could not be set up for the server.
  kNoRequest,     ///< The request could not be set up.
  kFailed,        ///< Connecting, sending or reading failed or ran out of time; see `error`.
  kCancelled,     ///< `options.cancel` became true.
};

/// Splits `url` into server, port and object. Returns false, leaving `address` unchanged,
/// unless `url` is a well-formed http:// address.
bool ParseHttpUrl(const std::string& url, HttpAddress* address);

/// GETs `url` (already split into `address` by ParseHttpUrl) without following redirects,
/// connecting within `options.connect_timeout_ms` and ending within
/// `options.total_timeout_ms` (a limit of 0 or less means its default). Keeps at most
/// kReplyBufferSize - 1 bytes of the body in `reply`; a longer body is cut, not a failure, and
/// a body shorter than its announced length is a failure. Fills `error` on kFailed.
Outcome Get(const std::string& url, const HttpAddress& address, const VersionCheckOptions& options,
            std::string* reply, std::string* error);

/// Reads a decimal integer like atoi: leading white space, an optional sign, digits; no
/// digits give 0, values beyond the 32-bit range are held at its ends.
int32_t ReadInt(const char* text);

}  // namespace nandell::http
