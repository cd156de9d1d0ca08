#include "app/port_binding.h"

#include "stations/configuration.h"
#include "util/names.h"
#include "util/text_file.h"

namespace ardel {

namespace {

// "port COM1 (/dev/ttyUSB0)"; a port named by its device is named once.
std::string PortWithDevice(const std::string& port, const std::string& device) {
  return device.empty() || device == port ? "port " + port : "port " + port + " (" + device + ")";
}

// The reason of a port named by its device begins with that device already.
std::string OpenFailureText(const std::string& name, const EComError& e) {
  if (e.Fault().text.rfind(name + ": ", 0) == 0) return "TCOMPORT : cannot open " + e.Fault().text;
  return e.what();
}

}  // namespace

TPortBinding::TPortBinding(IEventLoop& loop, TLinkLog& log, const TReceivePath& receive, const TTransmitPath& transmit,
                           std::function<void(std::string)> showErrorLater, TPortBindingOptions options)
    : loop_(loop),
      linkLog_(log),
      receivePath_(receive),
      transmitPath_(transmit),
      showErrorLater_(std::move(showErrorLater)),
      options_(std::move(options)) {
  // The receive thread gets the main thread to run a hand-over through the loop.
  ComPort1.SetWakeMainThread([this](std::function<void()> run) { loop_.Wake(std::move(run)); });
  // Otherwise the start-up sequence takes them from the configuration file.
  if (options_.portMap) ComPort1.SetPortMap(*options_.portMap);
  portRetryTimer_ = loop_.NewTimer(tkRepeating, [this] { ComPort1RetryTimer(); });
  ComPort1.Port = "COM1";
  ComPort1.OnDeviceLost = [this](TComPort&, const std::string& reason) { ComPort1DeviceLost(reason); };
  ComPort1.OnConnected = [this](TComPort&) { ComPort1Connected(); };
  ComPort1.OnHandlerError = [this](const std::string& text) { showErrorLater_(text); };
  ComPort1.OnOutputDropped = [this](TComPort&, std::size_t bytes) { ComPort1OutputDropped(bytes); };
  ShowPortChoices();
  SetPortState(psNotOpened);
  WatchSerialDevices();
}

TPortBinding::~TPortBinding() = default;

void TPortBinding::ReadPorts(const TIniFile& config) {
  if (options_.portMap) return;
  TPortMap map;
  for (auto& [name, device] : config.ReadSection("Ports")) map[name] = device;
  ComPort1.SetPortMap(std::move(map));
  ShowPortChoices();
}

void TPortBinding::WatchSerialDevices() {
  const auto list = [this] {
    try {
      serialDevices_.Set(ListSerialDevices(options_.deviceRoot));
    } catch (const std::exception&) {
      // A list that cannot be read leaves the one before; a typed path still works.
    }
  };
  list();
  deviceWatch_ = std::make_unique<TDeviceWatch>(options_.deviceRoot);
  const auto changed = [this, list] {
    if (deviceWatch_->Changed()) list();
  };
  if (deviceWatch_->Fd() >= 0) {
    deviceWatching_ = loop_.WatchReadable(deviceWatch_->Fd(), changed);
  } else if (TDeviceWatch::PollInterval().count() > 0) {
    devicePoll_ = loop_.NewTimer(tkRepeating, changed);
    devicePoll_->Start(TDeviceWatch::PollInterval());
  }
}

void TPortBinding::ShowPortChoices() {
  TPortChoices choices;
  for (int number = kComportMin; number <= kComportMax; ++number) {
    const std::string name = ComportName(number);
    TPortChoice& choice = choices[static_cast<std::size_t>(number - kComportMin)];
    choice.device = ResolvePortDevice(name, ComPort1.PortMap()).value_or("");
    choice.rs485 = PortWantsRs485(name, ComPort1.PortMap());
  }
  portChoices_.Set(choices);
}

void TPortBinding::SetPortState(TPortState state, const TPortFault& fault) {
  TPortStatus status = portStatus_.Value();
  status.port = portInUse_;
  status.device = ResolvePortDevice(portInUse_, ComPort1.PortMap()).value_or("");
  status.state = state;
  status.reason = fault.text;
  status.fault = fault.kind;
  portStatus_.Set(std::move(status));
}

void TPortBinding::CountLinkTraffic() {
  TPortStatus status = portStatus_.Value();
  status.counts = {receivePath_.TelegramsReceived(), transmitPath_.TelegramsSent() - sendsDropped_,
                   transmitPath_.AcksSent() - acksDropped_, receivePath_.ChecksumErrors()};
  portStatus_.Set(std::move(status));
}

std::string TPortBinding::Send(std::string_view bytes) {
  // The transmit path counts an ACK before it writes it.
  const bool ack = transmitPath_.AcksSent() != acksSeen_;
  acksSeen_ = transmitPath_.AcksSent();
  droppedInCall_ = false;
  // Nothing goes out while the port is closed: nothing is taken.
  const bool taken = ComPort1.IsOpen();
  ComPort1.SendString(bytes);
  if (!taken || droppedInCall_) {
    ++sendsDropped_;
    if (ack) ++acksDropped_;
  }
  CountLinkTraffic();
  // Output the far end did not take has a line of its own.
  return taken ? std::string() : NotSentText(portStatus_.Value());
}

void TPortBinding::ComPort1OutputDropped(std::size_t bytes) {
  droppedInCall_ = true;
  if (OnOutputDropped) OnOutputDropped(bytes);
  // A burst of sends that find the queue full gives one line, once the loop gets to it.
  const bool first = droppedOutput_ == 0;
  droppedOutput_ += bytes;
  if (!first) return;
  loop_.Wake([this] {
    linkLog_.AppendLine(lkError, "E " + linkLog_.TimeStamp() + "   " + PortWithDevice(portInUse_, ComPort1.Device()) +
                                     ": " + std::to_string(droppedOutput_) +
                                     " bytes dropped: the far end takes no data, and the output queue holds"
                                     " a few seconds of line time only");
    droppedOutput_ = 0;
  });
}

void TPortBinding::WritePortEntry(const std::string& key, const std::string& value) {
  if (configFileName_.empty()) {
    throw EFileError("cannot write " + key + " to [Ports]: there is no configuration file");
  }
  TIniFile config = TIniFile::Load(configFileName_);
  config.WriteString("Ports", key, value);
  WriteFileAtomically(configFileName_, config.Text());
  TPortMap map = ComPort1.PortMap();
  std::erase_if(map, [&](const auto& entry) { return SameName(entry.first, key); });
  map[key] = value;
  ComPort1.SetPortMap(std::move(map));
  ShowPortChoices();
}

void TPortBinding::ChoosePortDevice(int number, const std::string& device) {
  const std::string name = ComportName(HoldComport(number));
  const std::string trimmed(Trim(device));
  const bool changed = ResolvePortDevice(name, ComPort1.PortMap()) != trimmed;
  WritePortEntry(name, trimmed);
  if (changed && SameName(name, portInUse_)) ReopenPortInUse();
}

void TPortBinding::ChoosePortRs485(int number, bool on) {
  const std::string name = ComportName(HoldComport(number));
  const bool changed = PortWantsRs485(name, ComPort1.PortMap()) != on;
  WritePortEntry(name + ".rs485", on ? "1" : "0");
  if (changed && SameName(name, portInUse_)) ReopenPortInUse();
}

void TPortBinding::ReopenPortInUse() {
  portRetryTimer_->Stop();
  ComPort1.ClosePort();
  OpenPortInUse(portInUse_);
}

void TPortBinding::OpenPortAtStart() { OpenPortInUse(ComPort1.Port); }

void TPortBinding::OpenPortInUse(const std::string& name) {
  portInUse_ = name;
  try {
    ComPort1.OpenPort(name);
    // A network port takes bytes only once its connection stands.
    SetPortState(ComPort1.IsConnected() ? psOpen : psConnecting);
  } catch (const EComError& e) {
    // An adapter not plugged in yet is the common case: the rest of the start-up goes
    // on, and the port is tried again as if it had been lost.
    showErrorLater_(OpenFailureText(name, e));
    SetPortState(psCannotOpen, e.Fault());
    const std::optional<std::string> device = ResolvePortDevice(name, ComPort1.PortMap());
    PortGone(device.value_or(name), "cannot be opened");
  }
}

// A device that went away is tried again until it is back.
void TPortBinding::ComPort1DeviceLost(const std::string& reason) {
  if (portRetryTimer_->IsActive()) {
    // A try whose connection was not made: still gone, and the log already says so.
    TPortFault fault = ComPort1.LostFault();
    if (portStatus_.Value().state == psCannotOpen) {
      SetPortState(psCannotOpen, fault);
    } else {
      SetPortState(psLost, fault);
    }
    return;
  }
  const bool retrying = PortGone(ComPort1.Device(), reason);
  SetPortState(retrying ? psLost : psLostForGood, ComPort1.LostFault());
}

void TPortBinding::ComPort1Connected() {
  if (portRetryTimer_->IsActive()) {
    PortBack();
    return;
  }
  SetPortState(psOpen);
}

bool TPortBinding::PortGone(const std::string& device, const std::string& reason) {
  // Not the name of the next start, which the operator may have chosen meanwhile.
  lostPort_ = portInUse_;
  lostDevice_ = device;
  if (OnPortLost) OnPortLost();
  std::string line = "E " + linkLog_.TimeStamp() + "   " + PortWithDevice(lostPort_, lostDevice_) + " lost: " + reason;
  if (!MayReopenAfterLoss(lostDevice_)) {
    line += "; a pseudo-terminal's number passes to other programs, so it is not opened again";
    linkLog_.AppendLine(lkError, std::move(line));
    return false;
  }
  linkLog_.AppendLine(lkError, std::move(line));
  portRetryTimer_->Start(options_.retryInterval);
  return true;
}

void TPortBinding::ComPort1RetryTimer() {
  // A connection being made is given its time.
  if (ComPort1.IsOpen()) {
    if (ComPort1.IsConnected()) portRetryTimer_->Stop();
    return;
  }
  try {
    // The port that went away, even if the operator has chosen another for the next start.
    ComPort1.OpenPort(lostPort_);
  } catch (const EComError& e) {
    // Still gone: the log already says so, and the next attempt follows.
    if (portStatus_.Value().state == psCannotOpen) SetPortState(psCannotOpen, e.Fault());
  } catch (const std::exception& e) {
    showErrorLater_(e.what());
  }
  if (ComPort1.IsConnected()) PortBack();
}

void TPortBinding::PortBack() {
  portRetryTimer_->Stop();
  SetPortState(psOpen);
  linkLog_.AppendLine(lkInfo, "  " + linkLog_.TimeStamp() + "   " + PortWithDevice(lostPort_, ComPort1.Device()) +
                                  " is back");
}

}  // namespace ardel
