#pragma once
// A COM port of Windows, through the system's serial communications calls: an
// exclusive overlapped handle, an event wait on the port's own events, and reads of
// exactly what the driver's input queue holds.

#include <windows.h>

#include <cstdint>
#include <string>

#include "serial/transport.h"

namespace ardel {

// The name CreateFileA is given: "COM10" and above need the device prefix, "COM1" to
// "COM9" and a path that has the prefix already go unchanged.
std::string CommFileName(const std::string& device);
// What an open that failed with this error means to the operator.
TComErrorKind CommOpenErrorKind(DWORD error);

class TCommTransport : public ITransport {
 public:
  // The port name, to say the device only where it differs from the name.
  explicit TCommTransport(std::string portName);
  ~TCommTransport() override;
  TCommTransport(const TCommTransport&) = delete;
  TCommTransport& operator=(const TCommTransport&) = delete;

  bool Open(const std::string& device, TPortFault& fault) override;
  bool Connect(TPortFault&) override { return true; }
  bool Connected() const override { return handle_ != INVALID_HANDLE_VALUE; }
  bool Remote() const override { return false; }
  void SetLineSettings(const TLineSettings& settings) override;
  void SetQueueSizes(std::uint32_t input, std::uint32_t output) override;

  TPortEvents Wait(bool wantWrite, int timeoutMs) override;
  void Wake() override;
  int BytesWaiting() override;
  ssize_t Read(char* buffer, std::size_t size) override;
  ssize_t Write(const char* bytes, std::size_t size) override;
  std::optional<std::uint32_t> ModemStatus() override;
  std::string ErrorText(int error) const override;
  std::string HangUpReason(const TPortEvents&) override { return "device error"; }
  std::string EndOfInputReason() const override { return "end of file"; }
  void Close() override;

  // How often an event wait ended without the port's events since the open: a driver
  // that cannot wait for them (Wine on a pseudo-terminal) ends each one at once.
  unsigned AbortedWaits() const { return abortedWaits_; }
  // Whether the wait runs on input and line errors alone, the driver having refused the
  // modem lines' events.
  bool WaitsWithoutModemLines() const { return narrowed_; }
  // Whether the driver ended so many waits at once that the port is looked at instead.
  bool LooksInsteadOfWaiting() const { return looking_; }

 private:
  enum class TArm { kPending, kDone, kFailed };
  TArm Arm();
  // The events a completed wait reported.
  TPortEvents Reported(DWORD mask) const;
  // Whatever input waits now, or the failure of a port that is gone; pauses first for
  // pauseMs, or until woken.
  TPortEvents LookAtInput(DWORD pauseMs, bool wantWrite);
  // After a wait that the driver ended without events, quick or not.
  TPortEvents AfterAbort(bool quick, bool wantWrite);
  bool WriteDone() const;

  std::string portName_;
  std::string device_;
  HANDLE handle_ = INVALID_HANDLE_VALUE;
  // Held while the port is open: the mark that keeps Ardel's other processes off it.
  HANDLE hold_ = nullptr;
  // Ends a wait: a stop, queued output or a loss seen by the main thread.
  HANDLE wake_ = nullptr;
  DCB dcb_{};
  OVERLAPPED waitRequest_{};
  DWORD eventMask_ = 0;
  bool armed_ = false;
  bool narrowed_ = false;
  ULONGLONG armedAt_ = 0;
  unsigned abortedWaits_ = 0;
  unsigned quickAborts_ = 0;
  // The driver cannot wait for the port: it is looked at instead.
  bool looking_ = false;
  // Main thread: reads and writes, the error word and the count of the last look.
  OVERLAPPED readRequest_{};
  OVERLAPPED writeRequest_{};
  std::string writing_;
  bool writePending_ = false;
  DWORD errorWord_ = 0;
  DWORD waiting_ = 0;
  // The Win32 error behind the last EIO this transport set.
  DWORD lastError_ = 0;
  std::uint32_t baud_ = 9600;
};

}  // namespace ardel
