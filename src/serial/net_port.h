#pragma once
// Ports on the network: a raw TCP connection ("socket://HOST:PORT") or Telnet with the
// com port option ("rfc2217://HOST:PORT"), as device servers and ser2net serve them.

#include <functional>
#include <optional>
#include <string>

#include "serial/port_device.h"

namespace ardel {

struct TNetworkPort {
  enum TKind { kRaw, kRfc2217 } kind = kRaw;
  std::string host;
  std::string service;
};

// Whether the device names a network port at all.
bool IsNetworkPort(const std::string& device);

// The parts of "socket://HOST:PORT" or "rfc2217://HOST:PORT" (an IPv6 host in
// brackets); nothing, with the reason in errorText, for a malformed one.
std::optional<TNetworkPort> ParseNetworkPort(const std::string& device, std::string& errorText);

// Resolves the host and connects, giving each address a bounded time. Returns a
// connected non-blocking socket, or -1 with the reason in errorText. Waits also on
// wakeFd and gives up with an empty errorText as soon as stopped() holds after it
// became readable. A resolution still running then is left to finish on its own thread.
// A host that cannot be found is missing; a server that does not take the connection
// refuses it.
int ConnectNetworkPort(const TNetworkPort& port, int wakeFd, const std::function<bool()>& stopped,
                       TPortFault& fault);

}  // namespace ardel
