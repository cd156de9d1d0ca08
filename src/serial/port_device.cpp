#include "serial/port_device.h"

#include <cctype>

#include "serial/net_port.h"

namespace ardel {

namespace {

std::string Upper(std::string text) {
  for (char& c : text) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return text;
}

}  // namespace

std::optional<std::string> ResolvePortDevice(const std::string& portName, const TPortMap& map) {
  if (IsDevicePath(portName)) return portName;
  if (IsNetworkPort(portName)) return portName;
  const std::string key = Upper(portName);
  for (const auto& [name, device] : map) {
    // An entry without a device says so; it never falls back to a guess.
    if (Upper(name) == key) return device;
  }
  if (key.size() > 3 && key.compare(0, 3, "COM") == 0 && key.size() <= 6) {
    unsigned number = 0;
    for (std::size_t i = 3; i < key.size(); ++i) {
      if (!std::isdigit(static_cast<unsigned char>(key[i]))) return std::nullopt;
      number = number * 10 + static_cast<unsigned>(key[i] - '0');
    }
    if (number >= 1) return DefaultPortDevice(number);
  }
  return std::nullopt;
}

bool PortWantsRs485(const std::string& portName, const TPortMap& map) {
  const std::string key = Upper(portName) + ".RS485";
  for (const auto& [name, value] : map) {
    if (Upper(name) == key) return value == "1" || Upper(value) == "TRUE" || Upper(value) == "YES";
  }
  return false;
}

}  // namespace ardel
