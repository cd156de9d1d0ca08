#include "serial/rfc2217_transport.h"

namespace ardel {

namespace {

// The com port option's numbering of a line format.
telnet::TComPortSettings ComPortSettings(const TLineSettings& line) {
  telnet::TComPortSettings settings;
  settings.baud = line.baud;
  settings.dataBits = line.dataBits;
  settings.parity = static_cast<std::uint8_t>(line.parity + 1);
  static constexpr std::uint8_t kStops[] = {1, 3, 2};
  settings.stopBits = line.stopBits <= snTWO ? kStops[line.stopBits] : 1;
  return settings;
}

}  // namespace

std::string TRfc2217Transport::Greeting() { return telnet_.Start(ComPortSettings(settings_)); }

std::string TRfc2217Transport::Decode(std::string_view raw, std::string& replies) {
  std::string plain;
  telnet_.Feed(raw, plain, replies);
  return plain;
}

std::size_t TRfc2217Transport::WholeCut(std::string_view encoded, std::size_t cut) const {
  // A doubled 0xFF stays whole.
  std::size_t run = 0;
  while (run < cut && static_cast<std::uint8_t>(encoded[cut - 1 - run]) == telnet::kIac) ++run;
  return run % 2 == 1 ? cut - 1 : cut;
}

std::size_t TRfc2217Transport::DataBytes(std::string_view encoded) const {
  // Counted in data bytes: a doubled 0xFF is one.
  std::size_t count = 0;
  for (std::size_t i = 0; i < encoded.size(); ++i) {
    if (static_cast<std::uint8_t>(encoded[i]) == telnet::kIac) ++i;
    ++count;
  }
  return count;
}

}  // namespace ardel
