#pragma once

#include <atomic>
#include <cstdint>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace nandell::testing {

/// A socket: a descriptor on POSIX, a SOCKET on Windows; -1 for none.
using SocketHandle = std::intptr_t;

/// Closes a socket made here (see BindRefusingPort).
void CloseSocket(SocketHandle socket);

/// A small HTTP server on 127.0.0.1 and an ephemeral port, run on a thread of the test. Each
/// connection's request head is recorded; then the server either sends the canned response
/// and closes, or (when silent) keeps the connection open and says nothing until stopped.
class TestHttpServer {
 public:
  TestHttpServer();
  ~TestHttpServer();
  TestHttpServer(const TestHttpServer&) = delete;
  TestHttpServer& operator=(const TestHttpServer&) = delete;

  /// True when the server listens.
  bool ok() const { return listen_fd_ != -1; }
  uint16_t port() const { return port_; }
  /// "http://127.0.0.1:PORT" + `path`.
  std::string Url(const std::string& path) const;

  /// The bytes sent for every later request.
  void SetResponse(std::string response);
  /// Later connections are accepted and never answered.
  void SetSilent(bool silent);

  /// Request heads received so far (request line and headers, without the blank line).
  std::vector<std::string> Requests();
  /// Connections accepted so far.
  int32_t Connections() const { return connections_.load(); }

 private:
  void Serve();
  void Handle(SocketHandle fd);

  SocketHandle listen_fd_ = -1;
  uint16_t port_ = 0;
  std::atomic<bool> stop_{false};
  std::atomic<int32_t> connections_{0};
  std::mutex mutex_;
  std::string response_;
  bool silent_ = false;
  std::vector<std::string> requests_;
  std::thread thread_;
};

/// "HTTP/1.1 200 OK" with a Content-Length and `body`.
std::string HttpOk(const std::string& body);

/// A port on 127.0.0.1 that refuses connections while the returned socket stays open (bound,
/// not listening). Close the socket with CloseSocket when done.
SocketHandle BindRefusingPort(uint16_t* port);

}  // namespace nandell::testing
