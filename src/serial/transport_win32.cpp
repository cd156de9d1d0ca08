#include "serial/transport.h"

#include "serial/comm_transport.h"
#include "serial/net_port.h"
#include "serial/socket_transport.h"

namespace ardel {

std::unique_ptr<ITransport> MakeTransport(const std::string& device, const std::string& portName,
                                          const TPortMap& portMap, std::function<bool()> stopped) {
  (void)portMap;
  if (IsNetworkPort(device)) {
    std::string why;
    const std::optional<TNetworkPort> address = ParseNetworkPort(device, why);
    // A malformed address is refused by the open, in either kind.
    if (address && address->kind == TNetworkPort::kRfc2217)
      return std::make_unique<TSocketRfc2217Transport>(std::move(stopped));
    return std::make_unique<TSocketTransport>(std::move(stopped));
  }
  return std::make_unique<TCommTransport>(portName);
}

}  // namespace ardel
