#include "serial/com_port.h"

#include <cctype>
#include <cstdint>
#include <optional>
#include <system_error>

#include "serial/comm_thread.h"

namespace ardel {

namespace {

// A line buffer without a terminator in sight keeps only its newest bytes.
constexpr std::size_t kMaxLineBuffer = 1u << 20;

// Decimal after optional blanks and a sign; "$" or "0x" makes it hexadecimal. The whole
// token must be the number, within 32 bits.
std::optional<std::int64_t> ParseInteger(std::string_view token) {
  std::size_t i = 0;
  while (i < token.size() && (token[i] == ' ' || token[i] == '\t')) ++i;
  bool negative = false;
  if (i < token.size() && (token[i] == '+' || token[i] == '-')) negative = token[i++] == '-';
  int base = 10;
  if (i < token.size() && token[i] == '$') {
    base = 16;
    ++i;
  } else if (i + 1 < token.size() && token[i] == '0' &&
             (token[i + 1] == 'x' || token[i + 1] == 'X')) {
    base = 16;
    i += 2;
  }
  if (i >= token.size()) return std::nullopt;
  const std::int64_t limit = base == 16 ? 0xFFFFFFFFll : 0x80000000ll;
  std::int64_t value = 0;
  for (; i < token.size(); ++i) {
    const unsigned char c = static_cast<unsigned char>(token[i]);
    int digit;
    if (std::isdigit(c)) {
      digit = c - '0';
    } else if (base == 16 && std::isxdigit(c)) {
      digit = std::tolower(c) - 'a' + 10;
    } else {
      return std::nullopt;
    }
    value = value * base + digit;
    if (value > limit) return std::nullopt;
  }
  if (base == 10 && !negative && value == limit) return std::nullopt;
  return negative ? -value : value;
}

}  // namespace

TComPort::TComPort() = default;

TComPort::~TComPort() { ClosePort(); }

std::string TComPort::Terminator() const {
  std::string text;
  for (char c : terminator_) text += "#" + std::to_string(static_cast<unsigned char>(c));
  return text;
}

void TComPort::SetTerminator(std::string_view text) {
  terminator_.clear();
  if (!text.empty()) text.remove_prefix(1);  // the leading "#", whatever it is
  while (!text.empty()) {
    const std::size_t hash = text.find('#');
    const std::string_view token = text.substr(0, hash);
    text = hash == std::string_view::npos ? std::string_view() : text.substr(hash + 1);
    const auto value = ParseInteger(token);
    if (!value) {
      terminator_ = "\r\n";
      throw EComError(
          "Illegal terminator string.\rformat : #<asciicode>#<asciicode>#<...>\rexample: #13#10");
    }
    terminator_.push_back(static_cast<char>(static_cast<std::uint8_t>(*value & 0xFF)));
  }
  if (terminator_.empty()) throw EComError("Terminator string cannot be empty!");
}

void TComPort::OpenPort(const std::string& name) {
  if (open_) return;
  if (lostIdentity_ && lostPort_ == name) {
    const auto device = ResolvePortDevice(name, portMap_);
    // Another device chosen since is not the one whose number may have passed on.
    if (device && *device == lostDevice_ && !MayReopenAfterLoss(*lostIdentity_, IdentifyDevice(*device))) {
      const TPortFault fault{ekREFUSED,
                             *device + ": it leads to a pseudo-terminal that may belong to another program by now;"
                                       " it is followed again once the link is made anew",
                             0,
                             {}};
      throw EComError("TCOMPORT : cannot open " + name + "\r" + fault.text, fault);
    }
  }
  auto thread = std::make_shared<TCommThread>(name, portMap_, wake_);
  if (!thread->Valid())
    throw EComError("TCOMPORT : cannot open " + name + "\r" + thread->ErrorText(), thread->Fault());
  thread->SetLineSettings(Baud, DataBits, StopBits, Parity);
  thread->SetQueueSizes(WinQSizeIn, WinQSizeOut);
  thread->OnReceive = [this](unsigned count) { ReceiveRoutine(count); };
  thread->OnStatus = [this](std::uint32_t mask, std::uint32_t status) {
    StatusRoutine(mask, status);
  };
  thread->OnLost = [this](const TPortFault& fault) { PortLost(fault); };
  thread->OnConnected = [this] { PortConnected(); };
  thread->SetWatchLines(OnCTSChanged || OnDSRChanged || OnRingChanged || OnRLSDChanged || OnError);
  try {
    thread->Resume();
  } catch (const std::system_error& e) {
    throw EComError("TCOMPORT : cannot open " + name + "\r" + e.what(),
                    {ekOTHER, thread->Device() + ": " + e.what(), 0, {}});
  }
  // The thread hands nothing over before the main thread comes back to its loop, so
  // the flag is set before any event is seen.
  thread_ = std::move(thread);
  device_ = thread_->Device();
  openedAs_ = name;
  openIdentity_ = thread_->IsNetwork() ? TDeviceIdentity{} : IdentifyDevice(device_);
  lostIdentity_.reset();
  open_ = true;
  if (OnPortOpen) OnPortOpen(*this);
}

void TComPort::ClosePort() {
  if (!open_) return;
  open_ = false;
  // Kept alive here even if a handler that is running now drops the component's hold.
  std::shared_ptr<TCommThread> thread = std::move(thread_);
  thread->OnReceive = nullptr;
  thread->OnStatus = nullptr;
  thread->OnLost = nullptr;
  thread->OnConnected = nullptr;
  thread->Stop();
  thread->WaitFor();
  thread.reset();
  if (OnPortClose) OnPortClose(*this);
}

void TComPort::SendString(std::string_view s) {
  if (!open_ || s.empty()) return;
  const std::size_t dropped = thread_->Write(s);
  if (dropped > 0 && OnOutputDropped) {
    auto handler = OnOutputDropped;
    Reported([&] { handler(*this, dropped); });
  }
}

bool TComPort::IsConnected() const { return open_ && thread_->Connected(); }

std::size_t TComPort::QueuedOutput() const { return open_ ? thread_->QueuedOutput() : 0; }

template <typename F>
void TComPort::Reported(F&& call) {
  // A handler's failure must not end the hand-over: it goes to the window and the
  // port carries on.
  std::string text;
  try {
    call();
    return;
  } catch (const std::exception& e) {
    text = e.what();
  } catch (...) {
    text = "unknown failure in a serial port handler";
  }
  if (!OnHandlerError) return;
  try {
    OnHandlerError(text);
  } catch (...) {
  }
}

void TComPort::ReceiveRoutine(unsigned count) {
  if (!thread_) return;
  std::string data = thread_->Read(count);
  if (!open_ || !ReceiveCallBack) return;
  if (ReceiveMode == rmRAW) {
    auto callback = ReceiveCallBack;
    Reported([&] { callback(data); });
    return;
  }
  lineBuffer_ += data;
  const std::size_t at = terminator_.empty() ? std::string::npos : lineBuffer_.find(terminator_);
  if (at == std::string::npos) {
    if (lineBuffer_.size() > kMaxLineBuffer)
      lineBuffer_.erase(0, lineBuffer_.size() - kMaxLineBuffer);
    return;
  }
  // Taken out before the call, so a handler that fails is not given the piece again.
  std::string piece = lineBuffer_.substr(0, at + terminator_.size());
  lineBuffer_.erase(0, piece.size());
  auto callback = ReceiveCallBack;
  Reported([&] { callback(piece); });
}

void TComPort::StatusRoutine(std::uint32_t eventMask, std::uint32_t modemStatus) {
  // Status is true when the line's bit is clear: the status read before the change.
  auto fire = [&](std::uint32_t eventBit, const TStatusChanged& slot, std::uint32_t lineBit) {
    if (!(eventMask & eventBit) || !slot) return;
    auto handler = slot;
    Reported([&] { handler((modemStatus & lineBit) == 0); });
  };
  fire(comm_events::kCts, OnCTSChanged, modem_lines::kCts);
  fire(comm_events::kDsr, OnDSRChanged, modem_lines::kDsr);
  fire(comm_events::kRlsd, OnRLSDChanged, modem_lines::kRlsd);
  fire(comm_events::kRing, OnRingChanged, modem_lines::kRing);
  if ((eventMask & comm_events::kLineError) && OnError) {
    auto handler = OnError;
    Reported([&] { handler(*this); });
  }
}

void TComPort::PortConnected() {
  if (!open_ || !OnConnected) return;
  auto handler = OnConnected;
  Reported([&] { handler(*this); });
}

void TComPort::PortLost(const TPortFault& fault) {
  if (!open_) return;
  lostFault_ = fault;
  const std::string reason = fault.text;
  lostIdentity_ = openIdentity_;
  lostPort_ = openedAs_;
  lostDevice_ = device_;
  Reported([&] { ClosePort(); });
  if (OnDeviceLost) {
    auto handler = OnDeviceLost;
    Reported([&] { handler(*this, reason); });
  }
}

}  // namespace ardel
