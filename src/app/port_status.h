#pragma once
// What the status bar says of the port: which one, its device, whether it is open and
// why not, and what passed over the link since the start.

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

#include "serial/port_device.h"
#include "stations/configuration.h"

namespace ardel {

// A network port is connecting from its open until its connection stands.
enum TPortState { psNotOpened, psOpen, psLost, psLostForGood, psCannotOpen, psConnecting };

struct TLinkCounts {
  std::uint64_t received = 0;
  std::uint64_t sent = 0;
  std::uint64_t acks = 0;
  std::uint64_t checksumErrors = 0;
  bool operator==(const TLinkCounts&) const = default;
};

struct TPortStatus {
  std::string port;
  std::string device;
  TPortState state = psNotOpened;
  // Why it cannot be opened or was lost, as the port layer words it and as a kind.
  std::string reason;
  TComErrorKind fault = ekOTHER;
  TLinkCounts counts;
  bool operator==(const TPortStatus&) const = default;
};

// "open", "lost: trying again every second", "cannot open: " and the reason ...
std::string PortStateText(const TPortStatus& status);
// The device as it stands beside the port's name: nothing where it is that very name
// (COM4 on COM4), which would only say the name twice.
std::string DeviceText(const TPortStatus& status);
std::string LinkCountsText(const TLinkCounts& counts);
// Why a telegram did not go out: "port COM1 is lost: trying again every second" ...
std::string NotSentText(const TPortStatus& status);

// One row of the table of ports: the device a port name maps to and its RS485 mode.
struct TPortChoice {
  std::string device;
  bool rs485 = false;
  bool operator==(const TPortChoice&) const = default;
};
using TPortChoices = std::array<TPortChoice, kComportMax>;

}  // namespace ardel
