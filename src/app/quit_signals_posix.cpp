#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <stdexcept>
#include <string>

#include "app/quit_signals.h"

namespace ardel {

namespace {

constexpr int kSignals[] = {SIGTERM, SIGINT, SIGHUP};
int pipeFds[2] = {-1, -1};

void OnSignal(int signal) {
  const int saved = errno;
  const unsigned char byte = static_cast<unsigned char>(signal);
  // Async-signal-safe; a full pipe already holds a request to quit.
  [[maybe_unused]] const ssize_t n = ::write(pipeFds[1], &byte, 1);
  errno = saved;
}

}  // namespace

TSignalPipe::TSignalPipe() {
  if (pipeFds[0] >= 0) throw std::runtime_error("the quit signals are taken already");
  if (::pipe2(pipeFds, O_CLOEXEC | O_NONBLOCK) != 0) {
    throw std::runtime_error(std::string("cannot create the signal pipe: ") + std::strerror(errno));
  }
  struct sigaction action {};
  action.sa_handler = OnSignal;
  sigemptyset(&action.sa_mask);
  action.sa_flags = SA_RESTART;
  for (int signal : kSignals) ::sigaction(signal, &action, nullptr);
}

TSignalPipe::~TSignalPipe() {
  struct sigaction action {};
  action.sa_handler = SIG_DFL;
  sigemptyset(&action.sa_mask);
  for (int signal : kSignals) ::sigaction(signal, &action, nullptr);
  ::close(pipeFds[0]);
  ::close(pipeFds[1]);
  pipeFds[0] = pipeFds[1] = -1;
}

int TSignalPipe::ReadFd() const { return pipeFds[0]; }

int TSignalPipe::Take() {
  unsigned char byte = 0;
  int last = 0;
  while (::read(pipeFds[0], &byte, 1) == 1) last = byte;
  return last;
}

TQuitSignals::TQuitSignals(IEventLoop& loop, std::function<void(int)> onSignal)
    : onSignal_(std::move(onSignal)) {
  watch_ = loop.WatchReadable(pipe_.ReadFd(), [this] {
    const int signal = pipe_.Take();
    if (signal != 0 && onSignal_) onSignal_(signal);
  });
}

}  // namespace ardel
