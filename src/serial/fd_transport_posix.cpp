#include "serial/fd_transport.h"

#include <poll.h>
#include <sys/eventfd.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <cerrno>

#include "util/text_encoding.h"

namespace ardel {

TFdTransport::~TFdTransport() {
  if (fd_ >= 0) ::close(fd_);
  if (wakeFd_ >= 0) ::close(wakeFd_);
}

bool TFdTransport::OpenWake(const std::string& device, TPortFault& fault) {
  wakeFd_ = ::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
  if (wakeFd_ >= 0) return true;
  fault = {ekOTHER, device + ": " + SystemErrorText(errno), 0, {}};
  return false;
}

TPortEvents TFdTransport::Wait(bool wantWrite, int timeoutMs) {
  pollfd fds[2] = {{wakeFd_, POLLIN, 0}, {fd_, POLLIN, 0}};
  if (wantWrite) fds[1].events |= POLLOUT;
  TPortEvents events;
  if (::poll(fds, 2, timeoutMs) < 0) {
    if (errno != EINTR) events.failure = errno;
    return events;
  }
  if (fds[0].revents & POLLIN) {
    std::uint64_t count = 0;
    [[maybe_unused]] const auto got = ::read(wakeFd_, &count, sizeof count);
  }
  const short revents = fds[1].revents;
  events.readable = (revents & POLLIN) != 0;
  events.writable = (revents & POLLOUT) != 0;
  events.hangUp = (revents & POLLHUP) != 0;
  events.error = (revents & POLLERR) != 0;
  events.invalid = (revents & POLLNVAL) != 0;
  return events;
}

void TFdTransport::Wake() {
  if (wakeFd_ < 0) return;
  const std::uint64_t one = 1;
  [[maybe_unused]] const auto written = ::write(wakeFd_, &one, sizeof one);
}

int TFdTransport::BytesWaiting() {
  int count = 0;
  if (::ioctl(fd_, FIONREAD, &count) != 0) return -1;
  return count;
}

ssize_t TFdTransport::Read(char* buffer, std::size_t size) {
  ssize_t got;
  do {
    got = ::read(fd_, buffer, size);
  } while (got < 0 && errno == EINTR);
  return got;
}

ssize_t TFdTransport::Write(const char* bytes, std::size_t size) { return ::write(fd_, bytes, size); }

void TFdTransport::Close() {
  if (fd_ >= 0) ::close(fd_);
  fd_ = -1;
}

}  // namespace ardel
