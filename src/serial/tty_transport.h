#pragma once
// A serial device of this machine, through termios.

#include "serial/fd_transport.h"

namespace ardel {

class TTtyTransport : public TFdTransport {
 public:
  // The port name and map say whether the port wants the RS485 mode.
  TTtyTransport(std::string portName, TPortMap portMap);
  ~TTtyTransport() override { TTtyTransport::Close(); }

  bool Open(const std::string& device, TPortFault& fault) override;
  bool Connect(TPortFault&) override { return true; }
  bool Remote() const override { return false; }
  void SetLineSettings(const TLineSettings& settings) override;
  std::optional<std::uint32_t> ModemStatus() override;
  std::optional<TLineCounters> LineCounters() override;
  std::string HangUpReason(const TPortEvents& events) override;
  std::string EndOfInputReason() const override { return "end of file"; }
  void Close() override;

 private:
  std::string portName_;
  TPortMap portMap_;
  std::string lockFile_;
  bool hasModemLines_ = false;
  bool hasCounters_ = false;
};

}  // namespace ardel
