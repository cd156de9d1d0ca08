#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <stdexcept>
#include <string>
#include <vector>

#include "app/poll_event_loop.h"

namespace ardel {

TPollEventLoop::TPollEventLoop() {
  wakeFd_ = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
  if (wakeFd_ < 0) throw std::runtime_error(std::string("cannot create the wake-up descriptor: ") + std::strerror(errno));
}

TPollEventLoop::~TPollEventLoop() { ::close(wakeFd_); }

void TPollEventLoop::RingWakeFd() {
  const std::uint64_t one = 1;
  // A full counter already means "woken".
  [[maybe_unused]] const ssize_t n = ::write(wakeFd_, &one, sizeof one);
}

void TPollEventLoop::DrainWakeFd() {
  std::uint64_t count = 0;
  [[maybe_unused]] const ssize_t n = ::read(wakeFd_, &count, sizeof count);
}

std::vector<std::uint64_t> TPollEventLoop::WaitReadable(int timeout) {
  std::vector<pollfd> fds;
  std::vector<std::uint64_t> ids;
  fds.push_back({static_cast<int>(wakeFd_), POLLIN, 0});
  for (const auto& [id, watch] : watches_) {
    fds.push_back({watch.fd, POLLIN, 0});
    ids.push_back(id);
  }
  const int ready = ::poll(fds.data(), fds.size(), timeout);
  if (ready < 0 && errno != EINTR) throw std::runtime_error(std::string("poll failed: ") + std::strerror(errno));

  std::vector<std::uint64_t> readable;
  for (std::size_t i = 1; ready > 0 && i < fds.size(); ++i) {
    // A hang-up or an error counts as readable: the reader then sees the end.
    if ((fds[i].revents & (POLLIN | POLLHUP | POLLERR | POLLNVAL)) != 0) readable.push_back(ids[i - 1]);
  }
  return readable;
}

}  // namespace ardel
