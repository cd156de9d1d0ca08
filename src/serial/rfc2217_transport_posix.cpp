#include "serial/rfc2217_transport.h"

#include "serial/rfc2217_line.h"

namespace ardel {

std::string TRfc2217Transport::Greeting() { return telnet_.Start(rfc2217::ComPortSettings(settings_)); }

std::string TRfc2217Transport::Decode(std::string_view raw, std::string& replies) {
  std::string plain;
  telnet_.Feed(raw, plain, replies);
  return plain;
}

std::size_t TRfc2217Transport::WholeCut(std::string_view encoded, std::size_t cut) const {
  return rfc2217::WholeCut(encoded, cut);
}

std::size_t TRfc2217Transport::DataBytes(std::string_view encoded) const { return rfc2217::DataBytes(encoded); }

}  // namespace ardel
