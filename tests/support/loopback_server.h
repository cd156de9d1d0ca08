#pragma once
// A TCP listener on the loopback for the network ports' tests, on both systems; closed,
// its port refuses.

#ifdef _WIN32
#include <winsock2.h>
#include <ws2tcpip.h>
#else
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>
#endif

#include <stdexcept>
#include <string>

namespace ardel::testing {

class TLoopbackServer {
 public:
  explicit TLoopbackServer(unsigned short port = 0) {
#ifdef _WIN32
    WSADATA data;
    if (::WSAStartup(MAKEWORD(2, 2), &data) != 0) throw std::runtime_error("cannot start Winsock");
    started_ = true;
#endif
#ifdef _WIN32
    fd_ = ::socket(AF_INET, SOCK_STREAM, 0);
#else
    fd_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
#endif
    const int one = 1;
    // Windows lets SO_REUSEADDR take a port another socket listens on; it needs none to
    // take a closed one again.
#ifndef _WIN32
    ::setsockopt(fd_, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
#else
    (void)one;
#endif
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = htons(port);
    socklen_t length = sizeof address;
    if (::bind(fd_, reinterpret_cast<sockaddr*>(&address), length) != 0 || ::listen(fd_, 4) != 0 ||
        ::getsockname(fd_, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
      Close(fd_);
      throw std::runtime_error("cannot listen on the loopback");
    }
    port_ = ntohs(address.sin_port);
  }
  ~TLoopbackServer() {
    if (client_ != kNone) Close(client_);
    Close(fd_);
#ifdef _WIN32
    if (started_) ::WSACleanup();
#endif
  }
  TLoopbackServer(const TLoopbackServer&) = delete;
  TLoopbackServer& operator=(const TLoopbackServer&) = delete;

  unsigned short Port() const { return port_; }
  std::string Url() const { return "socket://127.0.0.1:" + std::to_string(port_); }
  // Takes the next connection; false when none came within five seconds.
  bool Accept() {
#ifdef _WIN32
    WSAPOLLFD p{fd_, POLLRDNORM, 0};
    if (::WSAPoll(&p, 1, 5000) != 1) return false;
#else
    pollfd p{fd_, POLLIN, 0};
    if (::poll(&p, 1, 5000) != 1) return false;
#endif
#ifdef _WIN32
    client_ = ::accept(fd_, nullptr, nullptr);
#else
    client_ = ::accept4(fd_, nullptr, nullptr, SOCK_CLOEXEC);
#endif
    return client_ != kNone;
  }
  void Hangup() {
    Close(client_);
    client_ = kNone;
  }

 private:
#ifdef _WIN32
  using TSocket = SOCKET;
  static constexpr TSocket kNone = INVALID_SOCKET;
  static void Close(TSocket s) { ::closesocket(s); }
  bool started_ = false;
#else
  using TSocket = int;
  static constexpr TSocket kNone = -1;
  static void Close(TSocket s) { ::close(s); }
#endif
  TSocket fd_ = kNone;
  TSocket client_ = kNone;
  unsigned short port_ = 0;
};

}  // namespace ardel::testing
