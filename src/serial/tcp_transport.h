#pragma once
// A serial line behind a raw TCP connection ("socket://HOST:PORT"): the bytes on the
// connection are the bytes on the line.

#include <functional>

#include "serial/fd_transport.h"
#include "serial/net_port.h"

namespace ardel {

class TTcpTransport : public TFdTransport {
 public:
  // stopped tells a wake that ends the connecting from any other.
  explicit TTcpTransport(std::function<bool()> stopped);

  bool Open(const std::string& device, TPortFault& fault) override;
  // Resolves and connects; the port is usable only after.
  bool Connect(TPortFault& fault) override;
  bool Remote() const override { return true; }
  void SetLineSettings(const TLineSettings& settings) override { settings_ = settings; }
  std::string HangUpReason(const TPortEvents& events) override;
  std::string EndOfInputReason() const override { return "the server closed the connection"; }
  void Close() override;

 protected:
  TLineSettings settings_;

 private:
  std::function<bool()> stopped_;
  TNetworkPort address_;
};

}  // namespace ardel
