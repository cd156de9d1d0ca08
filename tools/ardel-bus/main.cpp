// ardel-bus: the simulated station bus on a pseudo-terminal or a serial device. All the
// bus's behaviour is in TBusSim; this file only moves bytes, keys and signals.

#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <signal.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iostream>
#include <memory>
#include <string>
#include <vector>

#include "app/quit_signals.h"
#include "bus_options.h"
#include "version.h"
#include "bus_sim.h"
#include "util/text_file.h"

namespace {

using namespace ardel;
using TSteady = std::chrono::steady_clock;

std::string SystemText() { return std::strerror(errno); }

speed_t SpeedOf(int baud) {
  switch (baud) {
    case 1200: return B1200;
    case 2400: return B2400;
    case 4800: return B4800;
    case 9600: return B9600;
    case 19200: return B19200;
    case 38400: return B38400;
    case 57600: return B57600;
    case 115200: return B115200;
    case 230400: return B230400;
    default: return B0;
  }
}

// Raw 8N1 at the given speed, modem lines ignored.
bool MakeRaw(int fd, int baud) {
  termios tio{};
  if (tcgetattr(fd, &tio) != 0) return false;
  cfmakeraw(&tio);
  tio.c_cflag |= CLOCAL | CREAD;
  tio.c_cflag &= ~(CSTOPB | PARENB | CRTSCTS | HUPCL);
  tio.c_cc[VMIN] = 1;
  tio.c_cc[VTIME] = 0;
  const speed_t speed = SpeedOf(baud);
  if (speed != B0) cfsetspeed(&tio, speed);
  return tcsetattr(fd, TCSANOW, &tio) == 0;
}

void SetNonBlocking(int fd) { fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) | O_NONBLOCK); }

class TLink {
 public:
  ~TLink() { Close(); }

  // A pseudo-terminal whose slave end is Ardel's; we keep a slave descriptor of our own
  // so that Ardel closing its end neither raises a hang-up on the master nor resets
  // the line settings, and Ardel can open the same path again.
  bool OpenPty(std::string& error) {
    fd_ = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (fd_ < 0 || grantpt(fd_) != 0 || unlockpt(fd_) != 0) {
      error = "cannot make a pseudo-terminal: " + SystemText();
      return false;
    }
    char name[256];
    if (ptsname_r(fd_, name, sizeof name) != 0) {
      error = "cannot name the pseudo-terminal: " + SystemText();
      return false;
    }
    path_ = name;
    slave_ = open(name, O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (slave_ < 0 || !MakeRaw(slave_, 9600)) {
      error = "cannot set up " + path_ + ": " + SystemText();
      return false;
    }
    SetNonBlocking(fd_);
    return true;
  }

  bool OpenDevice(const std::string& path, int baud, std::string& error) {
    path_ = path;
    baud_ = baud;
    fd_ = open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd_ < 0 || !MakeRaw(fd_, baud)) {
      error = "cannot open " + path + ": " + SystemText();
      Close();
      return false;
    }
    return true;
  }

  // A TCP listener: the link is the client of the moment, and a newer one replaces it,
  // as a restarted Ardel comes back before the old connection is seen to be gone.
  bool OpenListener(const std::string& hostPort, std::string& error) {
    const std::size_t colon = hostPort.rfind(':');
    std::string host = hostPort.substr(0, colon);
    const std::string port = hostPort.substr(colon + 1);
    if (host.size() > 2 && host.front() == '[' && host.back() == ']') host = host.substr(1, host.size() - 2);
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_flags = AI_PASSIVE | AI_NUMERICSERV;
    addrinfo* found = nullptr;
    if (const int status = getaddrinfo(host.c_str(), port.c_str(), &hints, &found); status != 0) {
      error = "cannot listen on " + hostPort + ": " + gai_strerror(status);
      return false;
    }
    listen_ = socket(found->ai_family, found->ai_socktype | SOCK_CLOEXEC | SOCK_NONBLOCK, found->ai_protocol);
    const int one = 1;
    if (listen_ >= 0) setsockopt(listen_, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
    const bool ok = listen_ >= 0 && bind(listen_, found->ai_addr, found->ai_addrlen) == 0 && listen(listen_, 4) == 0;
    freeaddrinfo(found);
    if (!ok) {
      error = "cannot listen on " + hostPort + ": " + SystemText();
      return false;
    }
    sockaddr_storage bound{};
    socklen_t length = sizeof bound;
    getsockname(listen_, reinterpret_cast<sockaddr*>(&bound), &length);
    const int number = bound.ss_family == AF_INET6 ? ntohs(reinterpret_cast<sockaddr_in6*>(&bound)->sin6_port)
                                                   : ntohs(reinterpret_cast<sockaddr_in*>(&bound)->sin_port);
    const bool v6 = host.find(':') != std::string::npos;
    path_ = "socket://" + (v6 ? "[" + host + "]" : host) + ":" + std::to_string(number);
    return true;
  }
  int ListenFd() const { return listen_; }
  bool Listening() const { return listen_ >= 0; }
  void Accept() {
    const int client = accept4(listen_, nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC);
    if (client < 0) return;
    if (fd_ >= 0) close(fd_);
    fd_ = client;
    const int one = 1;
    setsockopt(fd_, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
  }
  void DropClient() {
    if (fd_ >= 0) close(fd_);
    fd_ = -1;
  }

  // A device that went away is opened again; a pseudo-terminal only waits.
  bool Reopen() {
    if (slave_ >= 0) return true;
    Close();
    std::string ignored;
    return OpenDevice(path_, baud_, ignored);
  }

  // A program that marks the slave exclusive leaves the mark behind when it ends,
  // because our own descriptor keeps the terminal alive, and it would refuse a reopen
  // by any user but root; clearing it now and then keeps the path reusable. Ardel's
  // own locks still refuse a second Ardel.
  void ClearExclusive() {
    if (slave_ >= 0) ioctl(slave_, TIOCNXCL);
  }

  void Close() {
    if (listen_ >= 0) close(listen_);
    listen_ = -1;
    if (slave_ >= 0) close(slave_);
    if (fd_ >= 0) close(fd_);
    slave_ = fd_ = -1;
  }

  int Fd() const { return fd_; }
  const std::string& Path() const { return path_; }

 private:
  int fd_ = -1;
  int slave_ = -1;
  int listen_ = -1;
  std::string path_;
  int baud_ = 9600;
};

// Single keys from a terminal on standard input, echo off; restored on the way out.
class TKeys {
 public:
  TKeys() {
    if (!isatty(STDIN_FILENO) || tcgetattr(STDIN_FILENO, &saved_) != 0) return;
    termios tio = saved_;
    tio.c_lflag &= ~(ICANON | ECHO);  // ISIG stays: Ctrl-C still ends the run
    tio.c_cc[VMIN] = 1;
    tio.c_cc[VTIME] = 0;
    active_ = tcsetattr(STDIN_FILENO, TCSANOW, &tio) == 0;
  }
  ~TKeys() {
    if (active_) tcsetattr(STDIN_FILENO, TCSANOW, &saved_);
  }
  bool Active() const { return active_; }
  void Stop() { active_ = false; }

 private:
  termios saved_{};
  bool active_ = false;
};

// Bytes that wait for the link to take them. A link that nobody reads fills up; then
// new telegrams are dropped whole rather than letting memory grow.
constexpr std::size_t kMaxPendingOutput = 64 * 1024;

void PrintLines(const std::vector<std::string>& lines, bool quiet) {
  if (quiet) return;
  for (const std::string& line : lines) std::cout << line << '\n';
  std::cout.flush();
}

int Run(const TBusOptions& options) {
  std::vector<std::string> notes;
  TBusConfig config;
  try {
    config = MakeBusConfig(options, notes);
  } catch (const std::exception& e) {
    std::cerr << "ardel-bus: " << e.what() << '\n';
    return 1;
  }
  for (const std::string& note : notes) std::cerr << "ardel-bus: " << note << '\n';
  if (!options.seedGiven) {
    config.seed = static_cast<std::uint32_t>(TSteady::now().time_since_epoch().count() ^ getpid());
  }

  TLink link;
  std::string error;
  const bool opened = !options.listen.empty() ? link.OpenListener(options.listen, error)
                      : options.device.empty() ? link.OpenPty(error)
                                               : link.OpenDevice(options.device, options.baud, error);
  if (!opened) {
    std::cerr << "ardel-bus: " << error << '\n';
    return 1;
  }

  std::unique_ptr<TSignalPipe> quit;
  try {
    quit = std::make_unique<TSignalPipe>();
  } catch (const std::exception& e) {
    std::cerr << "ardel-bus: " << e.what() << '\n';
    return 1;
  }
  signal(SIGPIPE, SIG_IGN);

  if (!options.linkFile.empty()) {
    try {
      WriteFileAtomically(options.linkFile, link.Path() + "\n");
    } catch (const std::exception& e) {
      std::cerr << "ardel-bus: " << e.what() << '\n';
      return 1;
    }
  }
  // The path first and alone, so that a script can take the first line; the link file
  // is there by then.
  std::cout << link.Path() << std::endl;

  TBusSim sim(config, SystemClock());
  if (!options.quiet) {
    for (const std::string& line : sim.DescribeSetup()) std::cout << "-- " << line << '\n';
    std::cout << "-- answer delay " << config.answerDelay.count() << " ms, ACK time-out "
              << config.ackTimeout.count() << " ms, sender interval "
              << (config.senderInterval.count() ? std::to_string(config.senderInterval.count()) + " ms" : "off")
              << std::endl;
  }
  TKeys keys;
  if (keys.Active() && !options.quiet) {
    std::cout << "-- keys: s sender telegram, n noise, p station states, q quit" << std::endl;
  }

  const TSteady::time_point start = TSteady::now();
  std::optional<TSteady::time_point> end;
  if (options.durationSeconds) {
    end = start + std::chrono::duration_cast<TSteady::duration>(std::chrono::duration<double>(*options.durationSeconds));
  }
  constexpr auto kHousekeeping = std::chrono::seconds(1);
  TSteady::time_point nextHousekeeping = start + kHousekeeping;
  // While the link is down it is left out of the poll and tried again at this time.
  bool linkDown = false;
  TSteady::time_point retryLink{};
  std::string pending;
  bool dropping = false;
  bool running = true;
  sim.Start(start);

  while (running) {
    TSteady::time_point now = TSteady::now();
    if (end && now >= *end) break;
    sim.Advance(now);
    std::string out = sim.TakeOutput();
    if (!out.empty()) {
      if (pending.size() + out.size() > kMaxPendingOutput) {
        if (!dropping) std::cerr << "ardel-bus: nobody reads " << link.Path() << ", telegrams are dropped\n";
        dropping = true;
      } else {
        dropping = false;
        pending += out;
      }
    }
    // With nobody connected the line is empty: nothing waits for the next client.
    if (link.Listening() && link.Fd() < 0) pending.clear();
    if (!pending.empty() && link.Fd() >= 0 && !linkDown) {
      const ssize_t n = write(link.Fd(), pending.data(), pending.size());
      if (n > 0) pending.erase(0, static_cast<std::size_t>(n));
    }
    PrintLines(sim.TakeLog(), options.quiet);
    if (now >= nextHousekeeping) {
      link.ClearExclusive();
      nextHousekeeping = now + kHousekeeping;
    }
    if (linkDown && now >= retryLink) {
      linkDown = !link.Reopen();
      retryLink = now + kHousekeeping;
    }

    TSteady::time_point wake = nextHousekeeping;
    if (const auto next = sim.NextDeadline(); next && *next < wake) wake = *next;
    if (end && *end < wake) wake = *end;
    if (linkDown && retryLink < wake) wake = retryLink;
    const auto wait = std::chrono::duration_cast<std::chrono::milliseconds>(wake - now) + std::chrono::milliseconds(1);
    const int timeout = static_cast<int>(std::max<long long>(0, wait.count()));

    pollfd fds[4] = {};
    fds[0] = {quit->ReadFd(), POLLIN, 0};
    const bool linkUp = link.Fd() >= 0 && !linkDown;
    fds[1] = {linkUp ? link.Fd() : -1, static_cast<short>(POLLIN | (pending.empty() ? 0 : POLLOUT)), 0};
    fds[2] = {keys.Active() ? STDIN_FILENO : -1, POLLIN, 0};
    fds[3] = {link.ListenFd(), POLLIN, 0};
    if (poll(fds, 4, timeout) < 0) {
      if (errno == EINTR) continue;
      std::cerr << "ardel-bus: poll: " << SystemText() << '\n';
      break;
    }
    now = TSteady::now();
    if (fds[0].revents) break;
    if (fds[1].revents & (POLLIN | POLLHUP | POLLERR)) {
      char buffer[4096];
      for (;;) {
        const ssize_t n = read(link.Fd(), buffer, sizeof buffer);
        if (n > 0) {
          sim.Receive(std::string_view(buffer, static_cast<std::size_t>(n)), now);
          continue;
        }
        if (n < 0 && (errno == EAGAIN || errno == EINTR)) break;
        if (link.Listening()) {
          if (!options.quiet) std::cout << "-- the client left, waiting for the next" << std::endl;
          link.DropClient();
          break;
        }
        // The far end went away: wait and try again rather than spin on the hang-up.
        std::cerr << "ardel-bus: " << link.Path() << " "
                  << (n == 0 ? std::string("closed") : SystemText()) << ", waiting for it\n";
        linkDown = true;
        retryLink = now + kHousekeeping;
        break;
      }
    }
    if (fds[3].revents & POLLIN) {
      link.Accept();
      if (!options.quiet) std::cout << "-- a client connected" << std::endl;
    }
    if (fds[2].revents & (POLLIN | POLLHUP | POLLERR)) {
      char key = 0;
      const ssize_t n = read(STDIN_FILENO, &key, 1);
      if (n <= 0) {
        keys.Stop();
      } else if (key == 's' || key == 'S') {
        sim.TriggerSender(now);
      } else if (key == 'n' || key == 'N') {
        sim.InjectNoise(now);
      } else if (key == 'p' || key == 'P') {
        for (const std::string& line : sim.DescribeSetup()) std::cout << "-- " << line << '\n';
        std::cout.flush();
      } else if (key == 'q' || key == 'Q') {
        running = false;
      } else if (key == 'h' || key == '?') {
        std::cout << "-- keys: s sender telegram, n noise, p station states, q quit" << std::endl;
      }
    }
  }

  // What the stations had to say before the end still goes out.
  if (!pending.empty() && link.Fd() >= 0) {
    [[maybe_unused]] const ssize_t n = write(link.Fd(), pending.data(), pending.size());
  }
  PrintLines(sim.TakeLog(), options.quiet);
  std::cout << "summary: " << sim.SummaryText() << std::endl;
  if (!options.linkFile.empty()) unlink(options.linkFile.c_str());
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  TBusOptions options;
  try {
    options = ParseBusOptions(std::vector<std::string>(argv + 1, argv + argc));
  } catch (const EBusUsage& e) {
    std::cerr << "ardel-bus: " << e.what() << '\n';
    return 2;
  }
  if (options.help) {
    std::cout << BusUsageText();
    return 0;
  }
  if (options.version) {
    std::cout << "ardel-bus " ARDEL_VERSION "\n";
    return 0;
  }
  return Run(options);
}
