#pragma once
// TComPort: the serial port component. It opens one named port, delivers received
// bytes to one callback on the main thread and writes byte strings without waiting.

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>

#include "serial/hand_over.h"
#include "serial/port_device.h"

namespace ardel {

class TCommThread;

// The component's own failures; the text is the message the operator sees. A port that
// cannot be opened also says why as a kind, so no one reads the text for it.
class EComError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
  EComError(const std::string& text, TPortFault fault) : std::runtime_error(text), fault_(std::move(fault)) {}
  TComErrorKind Kind() const { return fault_.kind; }
  // The device's part: its text without the line that names the port, and the holder
  // or the group where the kind has one.
  const TPortFault& Fault() const { return fault_; }

 private:
  TPortFault fault_;
};

enum TReceiveMode : std::uint8_t { rmRAW = 0, rmTERM = 1 };

class TComPort;
using TNotifyEvent = std::function<void(TComPort& sender)>;
using TReceiveProc = std::function<void(const std::string& data)>;
using TStatusChanged = std::function<void(bool status)>;
// The device went away; the port is already closed.
using TLostEvent = std::function<void(TComPort& sender, const std::string& reason)>;
// Bytes that did not fit the bounded output queue were dropped; called from inside
// SendString, once per call that dropped any.
using TDroppedEvent = std::function<void(TComPort& sender, std::size_t bytes)>;
// A handler threw during a hand-over; the port carries on.
using THandlerError = std::function<void(const std::string& text)>;

class TComPort {
 public:
  TComPort();
  ~TComPort();
  TComPort(const TComPort&) = delete;
  TComPort& operator=(const TComPort&) = delete;

  // Plain stored values; a change takes effect at the next OpenPort.
  std::string Port = "COM1";
  std::uint32_t Baud = 9600;
  std::uint8_t DataBits = 8;
  TParity Parity = ptNONE;
  TStopBit StopBits = sbONE;
  std::uint32_t WinQSizeIn = 8192;
  std::uint32_t WinQSizeOut = 8192;
  TReceiveMode ReceiveMode = rmTERM;

  // Events: an empty slot is not bound.
  TNotifyEvent OnPortOpen;
  TNotifyEvent OnPortClose;
  TReceiveProc ReceiveCallBack;
  TStatusChanged OnCTSChanged;
  TStatusChanged OnDSRChanged;
  TStatusChanged OnRingChanged;
  TStatusChanged OnRLSDChanged;
  TNotifyEvent OnError;
  // A network port's connection stands; until then it is open but takes no bytes out.
  TNotifyEvent OnConnected;
  TLostEvent OnDeviceLost;
  TDroppedEvent OnOutputDropped;
  THandlerError OnHandlerError;

  // "#13#10" form of the terminator bytes.
  std::string Terminator() const;
  // Throws EComError for a text that is not of that form, or that gives no byte.
  void SetTerminator(std::string_view text);
  const std::string& TerminatorBytes() const { return terminator_; }

  // Names to devices for "COM<n>" port names.
  void SetPortMap(TPortMap map) { portMap_ = std::move(map); }
  const TPortMap& PortMap() const { return portMap_; }
  // How the receive thread gets the main thread to run a hand-over; set it before
  // OpenPort. Without one, events are served only while ClosePort waits.
  void SetWakeMainThread(TWakeMainThread wake) { wake_ = std::move(wake); }

  // Throws EComError when the port cannot be opened; does nothing when it is open.
  // OnPortOpen fires on every successful open, also when a lost port comes back, so
  // whoever frames the received bytes starts afresh there. After a loss, a path that
  // leads through the same link as before to a pseudo-terminal is refused: its number
  // may have passed to another program.
  void OpenPort() { OpenPort(Port); }
  // The same under another name for this open only: Port keeps the name it holds.
  void OpenPort(const std::string& name);
  // Does nothing when the port is closed.
  void ClosePort();
  // Queues the bytes for sending and returns at once; nothing when closed. The queue
  // holds about three seconds of line time; what does not fit is dropped and reported
  // through OnOutputDropped.
  void SendString(std::string_view s);
  // Bytes waiting in the component's output queue, not yet taken by the system.
  std::size_t QueuedOutput() const;

  bool IsOpen() const { return open_; }
  // Open, and for a network port connected too.
  bool IsConnected() const;
  // Why the port went away at its last loss, or why a network port's connection could
  // not be made.
  const TPortFault& LostFault() const { return lostFault_; }
  // The device of the last successful OpenPort. For a network port ("socket://" or
  // "rfc2217://") OpenPort returns before the connection is made: the receive thread
  // resolves and connects, and a failure comes as OnDeviceLost, like a lost device.
  const std::string& Device() const { return device_; }
  // Received bytes not yet delivered in rmTERM.
  const std::string& LineBuffer() const { return lineBuffer_; }

 private:
  friend class TComPortTestPeer;

  void ReceiveRoutine(unsigned count);
  void StatusRoutine(std::uint32_t eventMask, std::uint32_t modemStatus);
  void PortLost(const TPortFault& fault);
  void PortConnected();
  template <typename F>
  void Reported(F&& call);

  bool open_ = false;
  // What the device path led to at the last open, and at the last loss: a path that
  // still leads, through the same link, to a pseudo-terminal is not followed again.
  TDeviceIdentity openIdentity_;
  std::optional<TDeviceIdentity> lostIdentity_;
  std::string lostPort_;
  // The name of the open in force.
  std::string openedAs_;
  std::string lostDevice_;
  TPortFault lostFault_;
  std::shared_ptr<TCommThread> thread_;
  std::string terminator_ = "\r\n";
  std::string lineBuffer_;
  std::string device_;
  TPortMap portMap_;
  TWakeMainThread wake_;
};

}  // namespace ardel
