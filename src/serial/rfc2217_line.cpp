#include "serial/rfc2217_line.h"

namespace ardel::rfc2217 {

telnet::TComPortSettings ComPortSettings(const TLineSettings& line) {
  telnet::TComPortSettings settings;
  settings.baud = line.baud;
  settings.dataBits = line.dataBits;
  settings.parity = static_cast<std::uint8_t>(line.parity + 1);
  static constexpr std::uint8_t kStops[] = {1, 3, 2};
  settings.stopBits = line.stopBits <= snTWO ? kStops[line.stopBits] : 1;
  return settings;
}

std::size_t WholeCut(std::string_view encoded, std::size_t cut) {
  std::size_t run = 0;
  while (run < cut && static_cast<std::uint8_t>(encoded[cut - 1 - run]) == telnet::kIac) ++run;
  return run % 2 == 1 ? cut - 1 : cut;
}

std::size_t DataBytes(std::string_view encoded) {
  std::size_t count = 0;
  for (std::size_t i = 0; i < encoded.size(); ++i) {
    if (static_cast<std::uint8_t>(encoded[i]) == telnet::kIac) ++i;
    ++count;
  }
  return count;
}

}  // namespace ardel::rfc2217
