#include "app/window_beacon.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <map>
#include <string>
#include <string_view>

namespace ardel {

namespace {

constexpr char kRequest[] = "front\n";
constexpr char kAnswer[] = "ok\n";

// In the abstract namespace: no file to leave behind, gone with the process.
socklen_t AddressOf(pid_t pid, sockaddr_un& address) {
  std::memset(&address, 0, sizeof address);
  address.sun_family = AF_UNIX;
  const std::string name = "ardel-window-" + std::to_string(pid);
  std::memcpy(address.sun_path + 1, name.data(), name.size());
  return static_cast<socklen_t>(offsetof(sockaddr_un, sun_path) + 1 + name.size());
}

// Waits for the descriptor until the deadline; false when it passed.
bool WaitFor(int fd, short events, std::chrono::steady_clock::time_point deadline) {
  for (;;) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
    if (left.count() <= 0) return false;
    pollfd p{fd, events, 0};
    const int n = ::poll(&p, 1, static_cast<int>(left.count()));
    if (n > 0) return true;
    if (n < 0 && errno != EINTR) return false;
  }
}

}  // namespace

class TWindowBeacon::TListener {
 public:
  TListener(IEventLoop& loop, std::function<void()> onRequest);
  ~TListener();
  bool Listening() const { return fd_ >= 0; }

 private:
  static constexpr std::size_t kMaxAskers = 8;
  void Accept();
  void Read(int client);
  void Drop(int client);

  IEventLoop& loop_;
  int fd_ = -1;
  std::function<void()> onRequest_;
  std::unique_ptr<IWatch> watch_;
  struct TAsker {
    std::unique_ptr<IWatch> watch;
    std::string request;
    bool done = false;
  };
  std::map<int, TAsker> askers_;
  std::shared_ptr<bool> alive_ = std::make_shared<bool>(true);
};

TWindowBeacon::TWindowBeacon(IEventLoop& loop, std::function<void()> onRequest)
    : listener_(std::make_unique<TListener>(loop, std::move(onRequest))) {}

TWindowBeacon::~TWindowBeacon() = default;

bool TWindowBeacon::Listening() const { return listener_->Listening(); }

TWindowBeacon::TListener::TListener(IEventLoop& loop, std::function<void()> onRequest)
    : loop_(loop), onRequest_(std::move(onRequest)) {
  const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
  if (fd < 0) return;
  sockaddr_un address;
  const socklen_t length = AddressOf(::getpid(), address);
  if (::bind(fd, reinterpret_cast<sockaddr*>(&address), length) != 0 || ::listen(fd, 4) != 0) {
    ::close(fd);
    return;
  }
  fd_ = fd;
  watch_ = loop.WatchReadable(fd_, [this] { Accept(); });
}

TWindowBeacon::TListener::~TListener() {
  while (!askers_.empty()) Drop(askers_.begin()->first);
  watch_.reset();
  if (fd_ >= 0) ::close(fd_);
}

void TWindowBeacon::TListener::Accept() {
  for (;;) {
    const int client = ::accept4(fd_, nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC);
    if (client < 0) return;
    // Only the same user may bring this window forward; and a few askers at a time.
    ucred peer{};
    socklen_t size = sizeof peer;
    if (::getsockopt(client, SOL_SOCKET, SO_PEERCRED, &peer, &size) != 0 || peer.uid != ::getuid() ||
        askers_.size() >= kMaxAskers) {
      ::close(client);
      continue;
    }
    // The request may come after the connection: each asker is read when it is readable.
    TAsker& asker = askers_[client];
    asker.watch = loop_.WatchReadable(client, [this, client] { Read(client); });
  }
}

void TWindowBeacon::TListener::Read(int client) {
  TAsker& asker = askers_.at(client);
  if (asker.done) return;
  char bytes[16];
  const ssize_t got = ::recv(client, bytes, sizeof bytes, 0);
  if (got < 0 && (errno == EAGAIN || errno == EINTR)) return;
  if (got > 0) asker.request.append(bytes, static_cast<std::size_t>(got));
  const std::string_view expected(kRequest, sizeof kRequest - 1);
  if (got > 0 && asker.request.size() < expected.size() && expected.starts_with(asker.request)) return;
  const bool asked = asker.request == expected;
  if (asked) (void)!::send(client, kAnswer, sizeof kAnswer - 1, MSG_NOSIGNAL | MSG_DONTWAIT);
  // A watch does not end inside its own callback: the asker goes once the loop is back.
  asker.done = true;
  loop_.Wake([this, client, alive = std::weak_ptr<bool>(alive_)] {
    if (!alive.expired()) Drop(client);
  });
  if (asked && onRequest_) onRequest_();
}

void TWindowBeacon::TListener::Drop(int client) {
  askers_.erase(client);
  ::close(client);
}

bool AskWindowToFront(pid_t holder, std::chrono::milliseconds wait) {
  if (holder <= 0) return false;
  const auto deadline = std::chrono::steady_clock::now() + wait;
  const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0) return false;
  sockaddr_un address;
  const socklen_t length = AddressOf(holder, address);
  bool answered = false;
  if (::connect(fd, reinterpret_cast<sockaddr*>(&address), length) == 0 &&
      ::send(fd, kRequest, sizeof kRequest - 1, MSG_NOSIGNAL) == static_cast<ssize_t>(sizeof kRequest - 1)) {
    char answer[sizeof kAnswer] = {};
    std::size_t have = 0;
    while (have < sizeof kAnswer - 1 && WaitFor(fd, POLLIN, deadline)) {
      const ssize_t got = ::recv(fd, answer + have, sizeof kAnswer - 1 - have, 0);
      if (got <= 0) break;
      have += static_cast<std::size_t>(got);
    }
    answered = have == sizeof kAnswer - 1 && std::strcmp(answer, kAnswer) == 0;
  }
  ::close(fd);
  return answered;
}

}  // namespace ardel
