#include "serial/net_port.h"
#include "util/text_encoding.h"

#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstring>
#include <memory>
#include <mutex>
#include <thread>

namespace ardel {

namespace {

// A server that neither accepts nor refuses is given this long per address.
constexpr int kConnectMs = 5000;

// The outcome of a resolution, shared between the resolving thread and the waiter,
// so either may leave first.
struct TResolution {
  std::mutex mutex;
  bool done = false;
  int status = 0;
  addrinfo* result = nullptr;
  int doneFd = -1;
  ~TResolution() {
    if (result != nullptr) ::freeaddrinfo(result);
    if (doneFd >= 0) ::close(doneFd);
  }
};

// Waits for fd to show events or for the wake descriptor; -1 when stopped, 0 on
// time-out, else the revents of fd.
int WaitFor(int fd, short events, int wakeFd, const std::function<bool()>& stopped, int ms) {
  for (;;) {
    pollfd fds[2] = {{wakeFd, POLLIN, 0}, {fd, events, 0}};
    const int ready = ::poll(fds, 2, ms);
    if (ready < 0 && errno == EINTR) continue;
    if (fds[0].revents & POLLIN) {
      std::uint64_t count = 0;
      [[maybe_unused]] const auto got = ::read(wakeFd, &count, sizeof count);
      if (stopped()) return -1;
    }
    if (ready <= 0) return ready < 0 ? -1 : 0;
    if (fds[1].revents != 0) return fds[1].revents;
  }
}

int ConnectOne(const addrinfo& address, int wakeFd, const std::function<bool()>& stopped,
               std::string& errorText) {
  const int fd = ::socket(address.ai_family, address.ai_socktype | SOCK_NONBLOCK | SOCK_CLOEXEC,
                          address.ai_protocol);
  if (fd < 0) {
    errorText = SystemErrorText(errno);
    return -1;
  }
  auto fail = [&](const std::string& text) {
    errorText = text;
    ::close(fd);
    return -1;
  };
  if (::connect(fd, address.ai_addr, address.ai_addrlen) != 0) {
    if (errno != EINPROGRESS) return fail(SystemErrorText(errno));
    const int events = WaitFor(fd, POLLOUT, wakeFd, stopped, kConnectMs);
    if (events < 0) return fail("");
    if (events == 0) return fail("no answer from the server");
    int error = 0;
    socklen_t length = sizeof error;
    ::getsockopt(fd, SOL_SOCKET, SO_ERROR, &error, &length);
    if (error != 0) return fail(SystemErrorText(error));
  }
  // Telegrams are small and late ones are useless; a dead link is noticed in time.
  const int one = 1;
  ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
  ::setsockopt(fd, SOL_SOCKET, SO_KEEPALIVE, &one, sizeof one);
  const int idle = 10, interval = 5, count = 3;
  ::setsockopt(fd, IPPROTO_TCP, TCP_KEEPIDLE, &idle, sizeof idle);
  ::setsockopt(fd, IPPROTO_TCP, TCP_KEEPINTVL, &interval, sizeof interval);
  ::setsockopt(fd, IPPROTO_TCP, TCP_KEEPCNT, &count, sizeof count);
  return fd;
}

}  // namespace

int ConnectNetworkPort(const TNetworkPort& port, int wakeFd, const std::function<bool()>& stopped,
                       TPortFault& fault) {
  std::string& errorText = fault.text;
  fault.kind = ekREFUSED;
  auto resolution = std::make_shared<TResolution>();
  resolution->doneFd = ::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
  if (resolution->doneFd < 0) {
    fault.kind = ekOTHER;
    errorText = SystemErrorText(errno);
    return -1;
  }
  // The system's resolver cannot be interrupted, so it gets a thread that may outlive
  // this call; closing the port never waits for a slow name server.
  std::thread([resolution, host = port.host, service = port.service] {
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_flags = AI_ADDRCONFIG | AI_NUMERICSERV;
    addrinfo* result = nullptr;
    const int status = ::getaddrinfo(host.c_str(), service.c_str(), &hints, &result);
    std::lock_guard lock(resolution->mutex);
    resolution->status = status;
    resolution->result = result;
    resolution->done = true;
    const std::uint64_t one = 1;
    [[maybe_unused]] const auto written = ::write(resolution->doneFd, &one, sizeof one);
  }).detach();

  for (;;) {
    const int events = WaitFor(resolution->doneFd, POLLIN, wakeFd, stopped, -1);
    if (events < 0) {
      errorText.clear();
      return -1;
    }
    std::lock_guard lock(resolution->mutex);
    if (resolution->done) break;
  }
  std::lock_guard lock(resolution->mutex);
  if (resolution->status != 0) {
    fault.kind = ekMISSING;
    errorText = "cannot find the host \"" + port.host + "\": " + ::gai_strerror(resolution->status);
    return -1;
  }
  std::string lastError = "no address";
  for (const addrinfo* a = resolution->result; a != nullptr; a = a->ai_next) {
    std::string error;
    const int fd = ConnectOne(*a, wakeFd, stopped, error);
    if (fd >= 0) return fd;
    if (error.empty()) {
      errorText.clear();
      return -1;
    }
    lastError = error;
  }
  errorText = "cannot connect to " + port.host + ":" + port.service + ": " + lastError;
  return -1;
}

}  // namespace ardel
