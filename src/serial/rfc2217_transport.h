#pragma once
// A serial line behind Telnet with the com port option ("rfc2217://HOST:PORT"): the
// line's format travels as option commands, and data bytes of 0xFF are doubled.

#include "serial/tcp_transport.h"
#include "serial/telnet_codec.h"

namespace ardel {

class TRfc2217Transport : public TTcpTransport {
 public:
  using TTcpTransport::TTcpTransport;

  std::string Greeting() override;
  std::string Decode(std::string_view raw, std::string& replies) override;
  std::string Encode(std::string_view data) override { return telnet::Escape(data); }
  std::size_t WholeCut(std::string_view encoded, std::size_t cut) const override;
  std::size_t DataBytes(std::string_view encoded) const override;

 private:
  telnet::TDecoder telnet_;
};

}  // namespace ardel
