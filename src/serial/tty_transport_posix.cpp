#include "serial/tty_transport.h"

#include <unistd.h>

#include "serial/device_lock.h"

namespace ardel {

TTtyTransport::TTtyTransport(std::string portName, TPortMap portMap)
    : portName_(std::move(portName)), portMap_(std::move(portMap)) {}

bool TTtyTransport::Open(const std::string& device, TPortFault& fault) {
  const int fd = OpenPortDevice(device, fault, &lockFile_);
  if (fd < 0) return false;
  fd_ = fd;
  auto fail = [&] {
    Close();
    return false;
  };
  if (!OpenWake(device, fault)) return fail();
  // Lines down first: the kernel raised them on the open, and an RS485 transceiver
  // driven by RTS holds the bus while RTS is up.
  ClearDtrRts(fd_);
  if (PortWantsRs485(portName_, portMap_)) {
    std::string why;
    if (!EnableRs485(fd_, device, why)) {
      fault = {ekREFUSED, why, 0, {}};
      return fail();
    }
  }
  // A known state before the properties are applied: 9600 8E1, nothing queued.
  ApplyLineSettings(fd_, {9600, 8, ptEVEN, sbONE});
  PurgePort(fd_);
  hasModemLines_ = ReadModemLines(fd_).has_value();
  hasCounters_ = ReadLineCounters(fd_).has_value();
  SetConnected();
  return true;
}

void TTtyTransport::SetLineSettings(const TLineSettings& settings) { ApplyLineSettings(fd_, settings); }

std::optional<std::uint32_t> TTtyTransport::ModemStatus() {
  return hasModemLines_ ? ReadModemLines(fd_) : std::nullopt;
}

std::optional<TLineCounters> TTtyTransport::LineCounters() {
  return hasCounters_ ? ReadLineCounters(fd_) : std::nullopt;
}

std::string TTtyTransport::HangUpReason(const TPortEvents& events) {
  return events.hangUp ? "hang-up" : "device error";
}

void TTtyTransport::Close() {
  if (fd_ < 0) return;
  TFdTransport::Close();
  ReleasePortLock(lockFile_);
  lockFile_.clear();
}

}  // namespace ardel
