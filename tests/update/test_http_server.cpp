#include "tests/update/test_http_server.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstring>

namespace nandell::testing {
namespace {

constexpr int kPollMs = 20;

int BoundSocket(uint16_t* port) {
  const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0) return -1;
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  address.sin_port = 0;
  socklen_t length = sizeof address;
  if (::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
      ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
    ::close(fd);
    return -1;
  }
  *port = ntohs(address.sin_port);
  return fd;
}

}  // namespace

TestHttpServer::TestHttpServer() {
  listen_fd_ = BoundSocket(&port_);
  if (listen_fd_ >= 0 && ::listen(listen_fd_, 8) != 0) {
    ::close(listen_fd_);
    listen_fd_ = -1;
  }
  if (listen_fd_ >= 0) thread_ = std::thread([this] { Serve(); });
}

TestHttpServer::~TestHttpServer() {
  stop_.store(true);
  if (thread_.joinable()) thread_.join();
  if (listen_fd_ >= 0) ::close(listen_fd_);
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
    pollfd waiting{listen_fd_, POLLIN, 0};
    if (::poll(&waiting, 1, kPollMs) <= 0) continue;
    const int fd = ::accept4(listen_fd_, nullptr, nullptr, SOCK_CLOEXEC);
    if (fd < 0) continue;
    connections_.fetch_add(1);
    Handle(fd);
    ::close(fd);
  }
}

void TestHttpServer::Handle(int fd) {
  std::string head;
  char chunk[1024];
  while (!stop_.load() && head.find("\r\n\r\n") == std::string::npos) {
    pollfd reading{fd, POLLIN, 0};
    if (::poll(&reading, 1, kPollMs) <= 0) continue;
    const ssize_t got = ::recv(fd, chunk, sizeof chunk, 0);
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
      pollfd reading{fd, POLLIN, 0};
      if (::poll(&reading, 1, kPollMs) > 0 && ::recv(fd, chunk, sizeof chunk, 0) <= 0) return;
    }
    return;
  }
  size_t sent = 0;
  while (sent < response.size()) {
    const ssize_t put = ::send(fd, response.data() + sent, response.size() - sent, MSG_NOSIGNAL);
    if (put <= 0) return;
    sent += static_cast<size_t>(put);
  }
  ::shutdown(fd, SHUT_WR);
}

std::string HttpOk(const std::string& body) {
  return "HTTP/1.1 200 OK\r\nContent-Type: text/html\r\nContent-Length: " +
         std::to_string(body.size()) + "\r\nConnection: close\r\n\r\n" + body;
}

int BindRefusingPort(uint16_t* port) {
  return BoundSocket(port);
}

}  // namespace nandell::testing
