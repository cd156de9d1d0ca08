#include "serial/transport.h"

#include "serial/net_port.h"
#include "serial/rfc2217_transport.h"
#include "serial/tcp_transport.h"
#include "serial/tty_transport.h"

namespace ardel {

std::unique_ptr<ITransport> MakeTransport(const std::string& device, const std::string& portName,
                                          const TPortMap& portMap, std::function<bool()> stopped) {
  if (IsNetworkPort(device)) {
    std::string why;
    const std::optional<TNetworkPort> address = ParseNetworkPort(device, why);
    // A malformed address is refused by the open, in either kind.
    if (address && address->kind == TNetworkPort::kRfc2217) return std::make_unique<TRfc2217Transport>(std::move(stopped));
    return std::make_unique<TTcpTransport>(std::move(stopped));
  }
  return std::make_unique<TTtyTransport>(portName, portMap);
}

}  // namespace ardel
