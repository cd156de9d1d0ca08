#pragma once
// The seam under the receive thread: one way of reaching a serial line. A local device,
// a raw TCP connection and Telnet with the com port option each fill it; the thread
// knows nothing of which one it has.

#include <sys/types.h>

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "serial/port_device.h"
#include "util/text_encoding.h"

namespace ardel {

// What an event wait saw. A stop ends a wait with none of the port's events set.
struct TPortEvents {
  bool readable = false;
  bool writable = false;
  bool hangUp = false;
  bool error = false;
  // The handle is no longer valid.
  bool invalid = false;
  // The wait itself failed: the error number, as ErrorText reads it.
  int failure = 0;
  // Modem-line and line-error events (comm_events bits) where the driver reports them
  // itself rather than through counters.
  std::uint32_t lineEvents = 0;
};

class ITransport {
 public:
  virtual ~ITransport() = default;

  // Main thread. Opens the device, or only prepares when connecting takes time (see
  // Connect); false with the fault.
  virtual bool Open(const std::string& device, TPortFault& fault) = 0;
  // Receive thread, before its first wait: makes the connection stand where there is
  // one. A stop ends it with false and an empty fault text.
  virtual bool Connect(TPortFault& fault) = 0;
  // Whether bytes can be written: a connection only once it stands.
  virtual bool Connected() const = 0;
  // Whether the transport reaches its line over the network.
  virtual bool Remote() const = 0;

  // Main thread, before the thread runs. Applies the line's format; a remote line
  // gets it through Greeting.
  virtual void SetLineSettings(const TLineSettings& settings) = 0;
  // The driver's input and output queue sizes, where the driver has them.
  virtual void SetQueueSizes(std::uint32_t input, std::uint32_t output) {
    (void)input;
    (void)output;
  }
  // Bytes that go out before any data, such as the negotiation of a protocol.
  virtual std::string Greeting() { return {}; }

  // Receive thread. Waits for input, for room to write when asked, for a hang-up or
  // for Wake, at most timeoutMs (-1: no limit).
  virtual TPortEvents Wait(bool wantWrite, int timeoutMs) = 0;
  // Any thread: ends the wait that runs now or the next one.
  virtual void Wake() = 0;

  // Bytes waiting to be read; -1 with errno on failure.
  virtual int BytesWaiting() = 0;
  // Reads raw bytes, never waiting: what read(2) returns, with errno.
  virtual ssize_t Read(char* buffer, std::size_t size) = 0;
  // The data in bytes as read: a protocol takes its commands out and puts what it owes
  // the far end into replies.
  virtual std::string Decode(std::string_view raw, std::string& replies) {
    (void)replies;
    return std::string(raw);
  }
  // Writes encoded bytes without waiting: what write(2) returns, with errno.
  virtual ssize_t Write(const char* bytes, std::size_t size) = 0;
  // Data as it goes on the wire, and back: where a cut of encoded bytes keeps the data
  // whole, and how many data bytes some encoded bytes carry.
  virtual std::string Encode(std::string_view data) { return std::string(data); }
  virtual std::size_t WholeCut(std::string_view encoded, std::size_t cut) const {
    (void)encoded;
    return cut;
  }
  virtual std::size_t DataBytes(std::string_view encoded) const { return encoded.size(); }

  // Modem status bits and line-error counters, where the line has them.
  virtual std::optional<std::uint32_t> ModemStatus() { return std::nullopt; }
  virtual std::optional<TLineCounters> LineCounters() { return std::nullopt; }

  // The words for an error number that a call of this transport left in errno, or
  // that a wait reported as its failure.
  virtual std::string ErrorText(int error) const { return SystemErrorText(error); }
  // The words for a hang-up or error that a wait reported, and for an end of input.
  virtual std::string HangUpReason(const TPortEvents& events) = 0;
  virtual std::string EndOfInputReason() const = 0;

  // Main thread, once the thread has ended. Closes and lifts what Open took.
  virtual void Close() = 0;
};

// The transport for a device path or network URL, not yet open. stopped tells a stop
// from other wakes while a connection is being made.
std::unique_ptr<ITransport> MakeTransport(const std::string& device, const std::string& portName,
                                          const TPortMap& portMap, std::function<bool()> stopped);

}  // namespace ardel
