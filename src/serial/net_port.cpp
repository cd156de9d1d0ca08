#include "serial/net_port.h"

namespace ardel {

namespace {

constexpr char kRawScheme[] = "socket://";
constexpr char kRfc2217Scheme[] = "rfc2217://";

}  // namespace

bool IsNetworkPort(const std::string& device) {
  return device.rfind(kRawScheme, 0) == 0 || device.rfind(kRfc2217Scheme, 0) == 0;
}

std::optional<TNetworkPort> ParseNetworkPort(const std::string& device, std::string& errorText) {
  TNetworkPort port;
  std::string rest;
  if (device.rfind(kRawScheme, 0) == 0) {
    rest = device.substr(sizeof kRawScheme - 1);
  } else if (device.rfind(kRfc2217Scheme, 0) == 0) {
    port.kind = TNetworkPort::kRfc2217;
    rest = device.substr(sizeof kRfc2217Scheme - 1);
  } else {
    errorText = "not a network port";
    return std::nullopt;
  }
  if (!rest.empty() && rest.back() == '/') rest.pop_back();
  std::size_t colon;
  if (!rest.empty() && rest.front() == '[') {
    const std::size_t close = rest.find(']');
    if (close == std::string::npos || close + 1 >= rest.size() || rest[close + 1] != ':') {
      errorText = "the address must read HOST:PORT";
      return std::nullopt;
    }
    port.host = rest.substr(1, close - 1);
    colon = close + 1;
  } else {
    colon = rest.rfind(':');
    if (colon == std::string::npos || rest.find(':') != colon) {
      errorText = "the address must read HOST:PORT";
      return std::nullopt;
    }
    port.host = rest.substr(0, colon);
  }
  port.service = rest.substr(colon + 1);
  unsigned long number = 0;
  for (char c : port.service) {
    if (c < '0' || c > '9' || number > 65535) {
      number = 0;
      break;
    }
    number = number * 10 + static_cast<unsigned>(c - '0');
  }
  if (port.host.empty() || port.service.empty() || number == 0 || number > 65535) {
    errorText = "the address must read HOST:PORT, with a port number from 1 to 65535";
    return std::nullopt;
  }
  return port;
}

}  // namespace ardel
