// Preloaded into wine by the tests under tests/wine: answers the modem-line ioctls on
// terminals whose driver has no modem lines (pseudo-terminals), so that Wine's serial
// driver waits for port events as it does on a real UART. Every other call, and every
// call the driver answers itself, passes through unchanged.

#include <dlfcn.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdarg>

namespace {

using TIoctl = int (*)(int, unsigned long, ...);

// The lines as the program last set them; the input lines stay down.
std::atomic<int> lines{0};

TIoctl RealIoctl() {
  static const TIoctl real = reinterpret_cast<TIoctl>(::dlsym(RTLD_NEXT, "ioctl"));
  return real;
}

}  // namespace

extern "C" int ioctl(int fd, unsigned long request, ...) noexcept {
  va_list arguments;
  va_start(arguments, request);
  void* argument = va_arg(arguments, void*);
  va_end(arguments);
  const int result = RealIoctl()(fd, request, argument);
  if (result == 0) return result;
  const int error = errno;
  const bool modemCall = request == TIOCMGET || request == TIOCMBIS || request == TIOCMBIC || request == TIOCMSET;
  if (!modemCall || (error != ENOTTY && error != EINVAL) || !::isatty(fd) || argument == nullptr) {
    errno = error;
    return result;
  }
  int* bits = static_cast<int*>(argument);
  switch (request) {
    case TIOCMGET:
      *bits = lines.load();
      break;
    case TIOCMBIS:
      lines.fetch_or(*bits & (TIOCM_DTR | TIOCM_RTS));
      break;
    case TIOCMBIC:
      lines.fetch_and(~*bits);
      break;
    default:
      lines.store(*bits & (TIOCM_DTR | TIOCM_RTS));
      break;
  }
  return 0;
}
