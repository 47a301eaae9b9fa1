#include "tests/update/test_http_server.h"

#ifdef _WIN32
#include <winsock2.h>
#include <ws2tcpip.h>
#else
#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>
#endif

#include <cstring>

namespace nandell::testing {
namespace {

constexpr int kPollMs = 20;

#ifdef _WIN32
using socklen_t = int;
constexpr int MSG_NOSIGNAL = 0;
constexpr int SHUT_WR = SD_SEND;
constexpr int SOCK_CLOEXEC = 0;

int poll(pollfd* fds, unsigned long count, int timeout_ms) {
  return ::WSAPoll(fds, count, timeout_ms);
}

// Winsock is started once for the test program and left running until it ends.
bool SocketsReady() {
  static const bool ready = [] {
    WSADATA data;
    return ::WSAStartup(MAKEWORD(2, 2), &data) == 0;
  }();
  return ready;
}

SocketHandle NewSocket() {
  if (!SocketsReady()) return -1;
  const SOCKET fd = ::socket(AF_INET, SOCK_STREAM, 0);
  return fd == INVALID_SOCKET ? -1 : static_cast<SocketHandle>(fd);
}

SocketHandle Accept(SocketHandle fd) {
  const SOCKET accepted = ::accept(static_cast<SOCKET>(fd), nullptr, nullptr);
  return accepted == INVALID_SOCKET ? -1 : static_cast<SocketHandle>(accepted);
}
#else
SocketHandle NewSocket() {
  return ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
}

SocketHandle Accept(SocketHandle fd) {
  return ::accept4(static_cast<int>(fd), nullptr, nullptr, SOCK_CLOEXEC);
}
#endif

// Waiting for `fd` to have something to read.
pollfd Readable(SocketHandle fd) {
  pollfd entry{};
  entry.fd = static_cast<decltype(entry.fd)>(fd);
  entry.events = POLLIN;
  return entry;
}

SocketHandle BoundSocket(uint16_t* port) {
  const SocketHandle fd = NewSocket();
  if (fd == -1) return -1;
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  address.sin_port = 0;
  socklen_t length = sizeof address;
  if (::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
      ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
    CloseSocket(fd);
    return -1;
  }
  *port = ntohs(address.sin_port);
  return fd;
}

}  // namespace

void CloseSocket(SocketHandle socket) {
#ifdef _WIN32
  ::closesocket(static_cast<SOCKET>(socket));
#else
  ::close(static_cast<int>(socket));
#endif
}

TestHttpServer::TestHttpServer() {
  listen_fd_ = BoundSocket(&port_);
  if (listen_fd_ != -1 && ::listen(listen_fd_, 8) != 0) {
    CloseSocket(listen_fd_);
    listen_fd_ = -1;
  }
  if (listen_fd_ != -1) thread_ = std::thread([this] { Serve(); });
}

TestHttpServer::~TestHttpServer() {
  stop_.store(true);
  if (thread_.joinable()) thread_.join();
  if (listen_fd_ != -1) CloseSocket(listen_fd_);
}

std::string TestHttpServer::Url(const std::string& path) const {
  return "http://127.0.0.1:" + std::to_string(port_) + path;
}

void TestHttpServer::SetResponse(std::string response) {
  std::lock_guard<std::mutex> lock(mutex_);
  response_ = std::move(response);
}

void TestHttpServer::SetSilent(bool silent) {
  std::lock_guard<std::mutex> lock(mutex_);
  silent_ = silent;
}

std::vector<std::string> TestHttpServer::Requests() {
  std::lock_guard<std::mutex> lock(mutex_);
  return requests_;
}

void TestHttpServer::Serve() {
  while (!stop_.load()) {
    pollfd waiting = Readable(listen_fd_);
    if (poll(&waiting, 1, kPollMs) <= 0) continue;
    const SocketHandle fd = Accept(listen_fd_);
    if (fd == -1) continue;
    connections_.fetch_add(1);
    Handle(fd);
    CloseSocket(fd);
  }
}

void TestHttpServer::Handle(SocketHandle fd) {
  std::string head;
  char chunk[1024];
  while (!stop_.load() && head.find("\r\n\r\n") == std::string::npos) {
    pollfd reading = Readable(fd);
    if (poll(&reading, 1, kPollMs) <= 0) continue;
    const auto got = ::recv(fd, chunk, sizeof chunk, 0);
    if (got <= 0) return;
    head.append(chunk, static_cast<size_t>(got));
  }
  const size_t end = head.find("\r\n\r\n");
  if (end == std::string::npos) return;

  std::string response;
  bool silent = false;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    requests_.push_back(head.substr(0, end));
    response = response_;
    silent = silent_;
  }
  if (silent) {
    // Hold the connection until the client gives up or the server stops.
    while (!stop_.load()) {
      pollfd reading = Readable(fd);
      if (poll(&reading, 1, kPollMs) > 0 && ::recv(fd, chunk, sizeof chunk, 0) <= 0) return;
    }
    return;
  }
  size_t sent = 0;
  while (sent < response.size()) {
    const auto put =
        ::send(fd, response.data() + sent, static_cast<int>(response.size() - sent), MSG_NOSIGNAL);
    if (put <= 0) return;
    sent += static_cast<size_t>(put);
  }
  ::shutdown(fd, SHUT_WR);
}

std::string HttpOk(const std::string& body) {
  return "HTTP/1.1 200 OK\r\nContent-Type: text/html\r\nContent-Length: " +
         std::to_string(body.size()) + "\r\nConnection: close\r\n\r\n" + body;
}

SocketHandle BindRefusingPort(uint16_t* port) {
  return BoundSocket(port);
}

}  // namespace nandell::testing
