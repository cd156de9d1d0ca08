#include "serial/comm_thread.h"
#include "serial/thread_priority.h"

#include <algorithm>
#include <cerrno>

namespace ardel {

namespace {

// How often modem lines and line errors are sampled while someone listens for them.
constexpr int kSampleMs = 50;
// A port that keeps reporting input and gives none is treated as gone rather than
// handed over for ever.
constexpr unsigned kMaxEmptyRuns = 1000;

TPortFault Lost(std::string reason) { return {ekLOST, std::move(reason), 0, {}}; }

}  // namespace

TCommThread::TCommThread(const std::string& portName, const TPortMap& portMap, TWakeMainThread wake)
    : handOver_(THandOver::Create(std::move(wake))) {
  const auto device = ResolvePortDevice(portName, portMap);
  if (!device) {
    fault_ = {ekMISSING, portName + ": no device is known by this name", 0, {}};
    return;
  }
  if (device->empty()) {
    fault_ = {ekMISSING, portName + ": the port has no device (its line in [Ports] is empty)", 0, {}};
    return;
  }
  device_ = *device;
  auto transport = MakeTransport(device_, portName, portMap, [this] { return stop_.load(); });
  if (!transport->Open(device_, fault_)) return;
  transport_ = std::move(transport);
}

TCommThread::~TCommThread() {
  if (thread_.joinable()) {
    // Only reached when the owner never waited; a stopped thread needs no service.
    Stop();
    thread_.join();
  }
  if (transport_) transport_->Close();
}

void TCommThread::SetLineSettings(std::uint32_t baud, std::uint8_t dataBits, TStopBit stopBits,
                                  TParity parity) {
  settings_ = {baud, dataBits, parity, stopBits};
  // About three seconds of line time; older bytes would arrive after their time-outs.
  outLimit_ = std::max<std::size_t>(baud / 10 * 3, 256);
  transport_->SetLineSettings(settings_);
}

void TCommThread::Resume() {
  out_ = transport_->Greeting();
  outPos_ = 0;
  hasModemLines_ = transport_->ModemStatus().has_value();
  if (auto counters = transport_->LineCounters()) {
    hasCounters_ = true;
    counters_ = *counters;
  }
  thread_ = std::thread([this] { Execute(); });
}

void TCommThread::Stop() {
  stop_.store(true);
  handOver_->Stop();
  if (transport_) transport_->Wake();
}

void TCommThread::WaitFor() {
  if (thread_.joinable()) {
    handOver_->ServeUntilFinished();
    thread_.join();
  }
  // Whatever the driver takes now still goes out after the close.
  if (QueuedOutput() > 0 && transport_->Connected()) DrainOutput();
}

void TCommThread::Execute() {
  // Above normal where the system allows it; the port is served before the window.
  RaiseOwnThreadPriority();
  TPortFault lost;
  if (!transport_->Connected()) {
    // An empty text when stopped, which ends the loop without a loss.
    if (transport_->Connect(lost)) {
      // What was queued while connecting goes first.
      wantWrite_.store(true);
      handOver_->Deposit([self = shared_from_this()] { self->HandleConnected(); });
    }
  }
  unsigned emptyRuns = 0;
  while (lost.text.empty() && transport_->Connected() && !stop_.load()) {
    const bool watch = watchLines_.load() && (hasModemLines_ || hasCounters_);
    // The status that goes with an event is the one from before the wait.
    std::uint32_t armedStatus = 0;
    if (watch && hasModemLines_) armedStatus = transport_->ModemStatus().value_or(0);

    const TPortEvents events = transport_->Wait(wantWrite_.load(), watch ? kSampleMs : -1);
    if (stop_.load()) break;
    if (events.failure != 0) {
      lost = Lost(transport_->ErrorText(events.failure));
      break;
    }
    if (lost_.load(std::memory_order_acquire)) {
      lost = Lost(mainLostReason_);
      break;
    }
    if (events.invalid) {
      lost = Lost("the descriptor is no longer valid");
      break;
    }
    std::uint32_t mask = 0;
    if (events.readable) mask |= comm_events::kRxChar;
    if (events.writable) mask |= comm_events::kTxReady;
    if (watch) mask |= SampleLines(armedStatus) | events.lineEvents;

    if (events.hangUp || events.error) {
      // Hand over what is still waiting once, then give up: a gone device never
      // stops reporting its hang-up.
      if (transport_->BytesWaiting() > 0) {
        eventMask_ = comm_events::kRxChar;
        modemStatus_ = armedStatus;
        handOver_->Deposit([self = shared_from_this()] { self->HandleEvent(); });
      }
      lost = Lost(transport_->HangUpReason(events));
      break;
    }
    if (mask == 0) continue;

    eventMask_ = mask;
    modemStatus_ = armedStatus;
    lastRead_ = 0;
    if (!handOver_->Deposit([self = shared_from_this()] { self->HandleEvent(); })) break;
    if (lost_.load(std::memory_order_acquire)) {
      lost = Lost(mainLostReason_);
      break;
    }
    if ((mask & comm_events::kRxChar) && lastRead_ == 0) {
      if (++emptyRuns >= kMaxEmptyRuns) {
        lost = Lost("the port reports input but gives none");
        break;
      }
    } else {
      emptyRuns = 0;
    }
  }
  if (!lost.text.empty() && !stop_.load()) {
    lostFault_ = lost;
    handOver_->Deposit([self = shared_from_this()] { self->HandleLost(); });
  }
  handOver_->Finish();
}

std::uint32_t TCommThread::SampleLines(std::uint32_t armedStatus) {
  std::uint32_t mask = 0;
  if (hasCounters_) {
    if (auto now = transport_->LineCounters()) {
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
    if (auto now = transport_->ModemStatus()) {
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
  int waiting = transport_->BytesWaiting();
  if (waiting < 0) {
    if (errno == EIO) MarkLost(transport_->ErrorText(errno));
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

void TCommThread::HandleConnected() {
  auto onConnected = OnConnected;
  if (onConnected) onConnected();
}

void TCommThread::HandleLost() {
  auto onLost = OnLost;
  if (onLost) onLost(lostFault_);
}

std::string TCommThread::Read(std::size_t count) {
  // With nothing counted, one byte tells a late arrival from an end of file.
  std::string data(count > 0 ? count : 1, '\0');
  const ssize_t got = transport_->Read(data.data(), data.size());
  if (got > 0) {
    data.resize(static_cast<std::size_t>(got));
    lastRead_ += static_cast<std::size_t>(got);
    std::string replies;
    std::string plain = transport_->Decode(data, replies);
    if (!replies.empty()) Queue(replies);
    return plain;
  }
  if (got == 0) {
    MarkLost(transport_->EndOfInputReason());
  } else if (errno != EAGAIN) {
    MarkLost(transport_->ErrorText(errno));
  }
  return {};
}

std::size_t TCommThread::Write(std::string_view bytes) {
  if (bytes.empty() || !Valid()) return 0;
  const std::string encoded = transport_->Encode(bytes);
  const std::size_t kept = Queue(encoded);
  return transport_->DataBytes(std::string_view(encoded).substr(kept));
}

std::size_t TCommThread::Queue(std::string_view bytes) {
  const std::string_view all = bytes;
  const bool ready = transport_->Connected();
  if (QueuedOutput() == 0 && ready) {
    out_.clear();
    outPos_ = 0;
    const ssize_t written = transport_->Write(bytes.data(), bytes.size());
    if (written > 0) {
      bytes.remove_prefix(static_cast<std::size_t>(written));
    } else if (written < 0 && errno != EAGAIN && errno != EINTR) {
      MarkLost(transport_->ErrorText(errno));
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
    cut = transport_->WholeCut(all, sent + room);
  }
  if (cut > sent) out_.append(all.substr(sent, cut - sent));
  if (QueuedOutput() > 0 && !wantWrite_.exchange(true) && ready) transport_->Wake();
  return std::max(cut, sent);
}

void TCommThread::DrainOutput() {
  while (QueuedOutput() > 0) {
    const ssize_t written = transport_->Write(out_.data() + outPos_, QueuedOutput());
    if (written < 0) {
      if (errno == EAGAIN || errno == EINTR) break;
      MarkLost(transport_->ErrorText(errno));
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
  transport_->Wake();
}

}  // namespace ardel
