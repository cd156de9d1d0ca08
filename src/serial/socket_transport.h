#pragma once
// A serial line on the network under Windows, over Winsock: a raw TCP connection
// ("socket://HOST:PORT") or Telnet with the com port option ("rfc2217://HOST:PORT").

#include <winsock2.h>

#include <atomic>
#include <functional>
#include <memory>
#include <string>

#include "serial/net_port.h"
#include "serial/telnet_codec.h"
#include "serial/transport.h"

namespace ardel {

class TSocketTransport : public ITransport {
 public:
  // stopped tells a wake that ends the connecting from any other.
  explicit TSocketTransport(std::function<bool()> stopped);
  ~TSocketTransport() override;
  TSocketTransport(const TSocketTransport&) = delete;
  TSocketTransport& operator=(const TSocketTransport&) = delete;

  bool Open(const std::string& device, TPortFault& fault) override;
  // Resolves and connects; the port is usable only after.
  bool Connect(TPortFault& fault) override;
  bool Connected() const override { return connected_.load(std::memory_order_acquire); }
  bool Remote() const override { return true; }
  void SetLineSettings(const TLineSettings& settings) override { settings_ = settings; }
  TPortEvents Wait(bool wantWrite, int timeoutMs) override;
  void Wake() override;
  int BytesWaiting() override;
  ssize_t Read(char* buffer, std::size_t size) override;
  ssize_t Write(const char* bytes, std::size_t size) override;
  std::string ErrorText(int error) const override;
  std::string HangUpReason(const TPortEvents& events) override;
  std::string EndOfInputReason() const override { return "the server closed the connection"; }
  void Close() override;

 protected:
  TLineSettings settings_;

 private:
  // Sets errno from the socket error: EAGAIN where the call would block.
  void Failed(int error);

  std::function<bool()> stopped_;
  TNetworkPort address_;
  SOCKET socket_ = INVALID_SOCKET;
  // Ends a wait or the connecting.
  WSAEVENT wake_ = WSA_INVALID_EVENT;
  WSAEVENT socketEvent_ = WSA_INVALID_EVENT;
  std::atomic<bool> connected_{false};
  // Winsock reports room to write once, then again only after a send that would block.
  std::atomic<bool> writable_{false};
  int closeError_ = 0;
  int lastError_ = 0;
};

class TSocketRfc2217Transport : public TSocketTransport {
 public:
  using TSocketTransport::TSocketTransport;

  std::string Greeting() override;
  std::string Decode(std::string_view raw, std::string& replies) override;
  std::string Encode(std::string_view data) override { return telnet::Escape(data); }
  std::size_t WholeCut(std::string_view encoded, std::size_t cut) const override;
  std::size_t DataBytes(std::string_view encoded) const override;

 private:
  telnet::TDecoder telnet_;
};

}  // namespace ardel
