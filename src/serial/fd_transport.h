#pragma once
// What the POSIX transports share: a descriptor, and an event descriptor that ends a
// wait on it.

#include <atomic>

#include "serial/transport.h"

namespace ardel {

class TFdTransport : public ITransport {
 public:
  TFdTransport() = default;
  ~TFdTransport() override;
  TFdTransport(const TFdTransport&) = delete;
  TFdTransport& operator=(const TFdTransport&) = delete;

  bool Connected() const override { return connected_.load(std::memory_order_acquire); }
  TPortEvents Wait(bool wantWrite, int timeoutMs) override;
  void Wake() override;
  int BytesWaiting() override;
  ssize_t Read(char* buffer, std::size_t size) override;
  ssize_t Write(const char* bytes, std::size_t size) override;
  void Close() override;

 protected:
  // Makes the event descriptor; false with the fault naming the device.
  bool OpenWake(const std::string& device, TPortFault& fault);
  // The descriptor is ready for reads and writes; after fd_ is set.
  void SetConnected() { connected_.store(true, std::memory_order_release); }

  int fd_ = -1;
  int wakeFd_ = -1;

 private:
  std::atomic<bool> connected_{false};
};

}  // namespace ardel
