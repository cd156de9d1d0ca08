#include "serial/comm_thread.h"
#include "util/text_encoding.h"

#include <sys/ioctl.h>

#include <poll.h>
#include <sys/eventfd.h>
#include <sys/resource.h>
#include <unistd.h>

#include <sys/socket.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

namespace ardel {

namespace {

// How often modem lines and line errors are sampled while someone listens for them.
constexpr int kSampleMs = 50;
// A port that keeps reporting input and gives none is treated as gone rather than
// handed over for ever.
constexpr unsigned kMaxEmptyRuns = 1000;

std::string SystemText(int error) { return SystemErrorText(error); }

// The com port option's numbering of a line format.
telnet::TComPortSettings ComPortSettings(const TLineSettings& line) {
  telnet::TComPortSettings settings;
  settings.baud = line.baud;
  settings.dataBits = line.dataBits;
  settings.parity = static_cast<std::uint8_t>(line.parity + 1);
  static constexpr std::uint8_t kStops[] = {1, 3, 2};
  settings.stopBits = line.stopBits <= snTWO ? kStops[line.stopBits] : 1;
  return settings;
}

// Where a cut of escaped bytes keeps every doubled 0xFF whole.
std::size_t WholeEscapes(std::string_view escaped, std::size_t cut) {
  std::size_t run = 0;
  while (run < cut && static_cast<std::uint8_t>(escaped[cut - 1 - run]) == telnet::kIac) ++run;
  return run % 2 == 1 ? cut - 1 : cut;
}

}  // namespace

TCommThread::TCommThread(const std::string& portName, const TPortMap& portMap, TWakeMainThread wake)
    : handOver_(THandOver::Create(std::move(wake))) {
  const auto device = ResolvePortDevice(portName, portMap);
  if (!device) {
    errorText_ = portName + ": no device is known by this name";
    return;
  }
  if (device->empty()) {
    errorText_ = portName + ": the port has no device (its line in [Ports] is empty)";
    return;
  }
  device_ = *device;
  if (IsNetworkPort(device_)) {
    std::string why;
    network_ = ParseNetworkPort(device_, why);
    if (!network_) {
      errorText_ = device_ + ": " + why;
      return;
    }
    wakeFd_ = ::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
    if (wakeFd_ < 0) {
      errorText_ = device_ + ": " + SystemText(errno);
      network_.reset();
    }
    // Resolving and connecting are left to the receive thread.
    return;
  }
  fd_ = OpenPortDevice(device_, errorText_, &lockFile_);
  if (fd_ < 0) return;
  wakeFd_ = ::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
  if (wakeFd_ < 0) {
    errorText_ = device_ + ": " + SystemText(errno);
    ::close(fd_);
    ReleasePortLock(lockFile_);
    fd_ = -1;
    return;
  }
  // Lines down first: the kernel raised them on the open, and an RS485 transceiver
  // driven by RTS holds the bus while RTS is up.
  ClearDtrRts(fd_);
  if (PortWantsRs485(portName, portMap) && !EnableRs485(fd_, device_, errorText_)) {
    ::close(fd_);
    ReleasePortLock(lockFile_);
    fd_ = -1;
    return;
  }
  // A known state before the properties are applied: 9600 8E1, nothing queued.
  ApplyLineSettings(fd_, {9600, 8, ptEVEN, sbONE});
  PurgePort(fd_);
  hasModemLines_ = ReadModemLines(fd_).has_value();
  if (auto counters = ReadLineCounters(fd_)) {
    hasCounters_ = true;
    counters_ = *counters;
  }
}

TCommThread::~TCommThread() {
  if (thread_.joinable()) {
    // Only reached when the owner never waited; a stopped thread needs no service.
    Stop();
    thread_.join();
  }
  if (wakeFd_ >= 0) ::close(wakeFd_);
  if (fd_ >= 0 && network_) {
    ::close(fd_);
  } else if (fd_ >= 0) {
    ::close(fd_);
    ReleasePortLock(lockFile_);
  }
}

void TCommThread::SetLineSettings(std::uint32_t baud, std::uint8_t dataBits, TStopBit stopBits,
                                  TParity parity) {
  settings_ = {baud, dataBits, parity, stopBits};
  // About three seconds of line time; older bytes would arrive after their time-outs.
  outLimit_ = std::max<std::size_t>(baud / 10 * 3, 256);
  if (!network_) ApplyLineSettings(fd_, settings_);
}

void TCommThread::Resume() {
  if (network_ && network_->kind == TNetworkPort::kRfc2217) {
    out_ = telnet_.Start(ComPortSettings(settings_));
    outPos_ = 0;
  }
  thread_ = std::thread([this] { Execute(); });
}

void TCommThread::Kick() {
  const std::uint64_t one = 1;
  [[maybe_unused]] const auto written = ::write(wakeFd_, &one, sizeof one);
}

void TCommThread::Stop() {
  stop_.store(true);
  handOver_->Stop();
  if (wakeFd_ >= 0) Kick();
}

void TCommThread::WaitFor() {
  if (thread_.joinable()) {
    handOver_->ServeUntilFinished();
    thread_.join();
  }
  // Whatever the driver takes now still goes out after the close.
  if (QueuedOutput() > 0 && Ready()) DrainOutput();
}

void TCommThread::Execute() {
  // Above normal where the system allows it; the port is served before the window.
  ::setpriority(PRIO_PROCESS, static_cast<id_t>(::gettid()),
                ::getpriority(PRIO_PROCESS, static_cast<id_t>(::gettid())) - 1);
  std::string lostReason;
  if (network_) ConnectNetwork(lostReason);
  unsigned emptyRuns = 0;
  while (lostReason.empty() && !stop_.load()) {
    const bool watch = watchLines_.load() && (hasModemLines_ || hasCounters_);
    // The status that goes with an event is the one from before the wait.
    std::uint32_t armedStatus = 0;
    if (watch && hasModemLines_) armedStatus = ReadModemLines(fd_).value_or(0);

    pollfd fds[2] = {{wakeFd_, POLLIN, 0}, {fd_, POLLIN, 0}};
    if (wantWrite_.load()) fds[1].events |= POLLOUT;
    const int ready = ::poll(fds, 2, watch ? kSampleMs : -1);
    if (stop_.load()) break;
    if (ready < 0) {
      if (errno == EINTR) continue;
      lostReason = SystemText(errno);
      break;
    }
    if (fds[0].revents & POLLIN) {
      std::uint64_t count = 0;
      [[maybe_unused]] const auto got = ::read(wakeFd_, &count, sizeof count);
    }
    if (lost_.load(std::memory_order_acquire)) {
      lostReason = mainLostReason_;
      break;
    }
    const short events = fds[1].revents;
    if (events & POLLNVAL) {
      lostReason = "the descriptor is no longer valid";
      break;
    }
    std::uint32_t mask = 0;
    if (events & POLLIN) mask |= comm_events::kRxChar;
    if (events & POLLOUT) mask |= comm_events::kTxReady;
    if (watch) mask |= SampleLines(armedStatus);

    if (events & (POLLHUP | POLLERR)) {
      // Hand over what is still waiting once, then give up: a gone device never
      // stops reporting its hang-up.
      if (BytesWaiting(fd_) > 0) {
        eventMask_ = comm_events::kRxChar;
        modemStatus_ = armedStatus;
        handOver_->Deposit([self = shared_from_this()] { self->HandleEvent(); });
      }
      lostReason = (events & POLLHUP) ? "hang-up" : "device error";
      if (network_) {
        int error = 0;
        socklen_t length = sizeof error;
        ::getsockopt(fd_, SOL_SOCKET, SO_ERROR, &error, &length);
        lostReason = error != 0 ? "connection lost: " + SystemText(error) : "connection lost";
      }
      break;
    }
    if (mask == 0) continue;

    eventMask_ = mask;
    modemStatus_ = armedStatus;
    lastRead_ = 0;
    if (!handOver_->Deposit([self = shared_from_this()] { self->HandleEvent(); })) break;
    if (lost_.load(std::memory_order_acquire)) {
      lostReason = mainLostReason_;
      break;
    }
    if ((mask & comm_events::kRxChar) && lastRead_ == 0) {
      if (++emptyRuns >= kMaxEmptyRuns) {
        lostReason = "the port reports input but gives none";
        break;
      }
    } else {
      emptyRuns = 0;
    }
  }
  if (!lostReason.empty() && !stop_.load()) {
    lostReason_ = lostReason;
    handOver_->Deposit([self = shared_from_this()] { self->HandleLost(); });
  }
  handOver_->Finish();
}

void TCommThread::ConnectNetwork(std::string& lostReason) {
  std::string error;
  const int fd = ConnectNetworkPort(*network_, wakeFd_, [this] { return stop_.load(); }, error);
  if (fd < 0) {
    // Empty when stopped, which ends the loop without a loss.
    lostReason = error;
    return;
  }
  fd_ = fd;
  connected_.store(true, std::memory_order_release);
  // What was queued while connecting goes first.
  wantWrite_.store(true);
}

std::uint32_t TCommThread::SampleLines(std::uint32_t armedStatus) {
  std::uint32_t mask = 0;
  if (hasCounters_) {
    if (auto now = ReadLineCounters(fd_)) {
      if (now->cts != counters_.cts) mask |= comm_events::kCts;
      if (now->dsr != counters_.dsr) mask |= comm_events::kDsr;
      if (now->dcd != counters_.dcd) mask |= comm_events::kRlsd;
      if (now->rng != counters_.rng) mask |= comm_events::kRing;
      std::uint32_t errors = 0;
      if (now->bufOverrun != counters_.bufOverrun) errors |= 0x01;
      if (now->overrun != counters_.overrun) errors |= 0x02;
      if (now->parity != counters_.parity) errors |= 0x04;
      if (now->frame != counters_.frame) errors |= 0x08;
      if (now->brk != counters_.brk) errors |= 0x10;
      if (errors != 0) {
        mask |= comm_events::kLineError;
        errorWord_ = errors;
      }
      counters_ = *now;
    }
  }
  if (hasModemLines_) {
    if (auto now = ReadModemLines(fd_)) {
      const std::uint32_t changed = *now ^ armedStatus;
      if (changed & modem_lines::kCts) mask |= comm_events::kCts;
      if (changed & modem_lines::kDsr) mask |= comm_events::kDsr;
      if (changed & modem_lines::kRlsd) mask |= comm_events::kRlsd;
      if (changed & modem_lines::kRing) mask |= comm_events::kRing;
    }
  }
  return mask;
}

void TCommThread::HandleEvent() {
  std::uint32_t mask = eventMask_;
  if (mask & comm_events::kTxReady) DrainOutput();
  mask &= ~comm_events::kTxReady;
  int waiting = BytesWaiting(fd_);
  if (waiting < 0) {
    if (errno == EIO) MarkLost(SystemText(errno));
    waiting = 0;
  }
  // A socket's buffer can hold megabytes: taken whole, it would keep the main thread
  // from its timers for seconds. The rest stays readable and comes with the next turn.
  waiting = std::min(waiting, 64 << 10);
  if (mask & comm_events::kRxChar) {
    // A copy: the callback may close the port, which empties the slots.
    auto onReceive = OnReceive;
    if (onReceive) onReceive(static_cast<unsigned>(waiting));
    mask &= ~comm_events::kRxChar;
  }
  if (mask != 0) {
    auto onStatus = OnStatus;
    if (onStatus) onStatus(mask, modemStatus_);
  }
}

void TCommThread::HandleLost() {
  auto onLost = OnLost;
  if (onLost) onLost(lostReason_);
}

std::string TCommThread::Read(std::size_t count) {
  // With nothing counted, one byte tells a late arrival from an end of file.
  std::string data(count > 0 ? count : 1, '\0');
  ssize_t got;
  do {
    got = ::read(fd_, data.data(), data.size());
  } while (got < 0 && errno == EINTR);
  if (got > 0) {
    data.resize(static_cast<std::size_t>(got));
    lastRead_ += static_cast<std::size_t>(got);
    if (network_ && network_->kind == TNetworkPort::kRfc2217) {
      std::string plain;
      std::string replies;
      telnet_.Feed(data, plain, replies);
      if (!replies.empty()) Queue(replies);
      return plain;
    }
    return data;
  }
  if (got == 0) {
    MarkLost(network_ ? "the server closed the connection" : "end of file");
  } else if (errno != EAGAIN) {
    MarkLost(SystemText(errno));
  }
  return {};
}

bool TCommThread::Ready() const {
  return network_ ? connected_.load(std::memory_order_acquire) : fd_ >= 0;
}

std::size_t TCommThread::Write(std::string_view bytes) {
  if (bytes.empty() || !Valid()) return 0;
  if (network_ && network_->kind == TNetworkPort::kRfc2217) {
    const std::string escaped = telnet::Escape(bytes);
    const std::size_t kept = Queue(escaped);
    // Counted in data bytes: a doubled 0xFF is one.
    std::size_t dropped = 0;
    for (std::size_t i = kept; i < escaped.size(); ++i) {
      if (static_cast<std::uint8_t>(escaped[i]) == telnet::kIac) ++i;
      ++dropped;
    }
    return dropped;
  }
  return bytes.size() - Queue(bytes);
}

std::size_t TCommThread::Queue(std::string_view bytes) {
  const std::string_view all = bytes;
  if (QueuedOutput() == 0 && Ready()) {
    out_.clear();
    outPos_ = 0;
    const ssize_t written = ::write(fd_, bytes.data(), bytes.size());
    if (written > 0) {
      bytes.remove_prefix(static_cast<std::size_t>(written));
    } else if (written < 0 && errno != EAGAIN && errno != EINTR) {
      MarkLost(SystemText(errno));
      return all.size();
    }
  }
  if (bytes.empty()) return all.size();
  const std::size_t room = outLimit_ - std::min(outLimit_, QueuedOutput());
  const std::size_t sent = all.size() - bytes.size();
  // A call is a telegram or a command: it goes whole or not at all, as a cut one would
  // make the far end's framer swallow the next good one too. Only a call larger than
  // the bound, once begun, is cut.
  std::size_t cut = all.size();
  if (bytes.size() > room) {
    if (sent == 0) return 0;
    cut = sent + room;
    if (network_ && network_->kind == TNetworkPort::kRfc2217) cut = WholeEscapes(all, cut);
  }
  if (cut > sent) out_.append(all.substr(sent, cut - sent));
  if (QueuedOutput() > 0 && !wantWrite_.exchange(true) && Ready()) Kick();
  return std::max(cut, sent);
}

void TCommThread::DrainOutput() {
  while (QueuedOutput() > 0) {
    const ssize_t written = ::write(fd_, out_.data() + outPos_, QueuedOutput());
    if (written < 0) {
      if (errno == EAGAIN || errno == EINTR) break;
      MarkLost(SystemText(errno));
      outPos_ = out_.size();
      break;
    }
    outPos_ += static_cast<std::size_t>(written);
  }
  if (QueuedOutput() == 0) {
    out_.clear();
    outPos_ = 0;
    wantWrite_.store(false);
  } else if (outPos_ > out_.size() / 2) {
    out_.erase(0, outPos_);
    outPos_ = 0;
  }
}

void TCommThread::MarkLost(const std::string& reason) {
  if (lost_.load()) return;
  mainLostReason_ = reason;
  lost_.store(true, std::memory_order_release);
  Kick();
}

}  // namespace ardel
