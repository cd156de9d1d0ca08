#pragma once
// The receive thread of a serial port: it owns the open transport, waits for port events
// and hands each one synchronously to the main thread.

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <thread>

#include "serial/hand_over.h"
#include "serial/port_device.h"
#include "serial/transport.h"

namespace ardel {

class TCommThread : public std::enable_shared_from_this<TCommThread> {
 public:
  // Opens the port and applies the baseline line settings; see Valid.
  TCommThread(const std::string& portName, const TPortMap& portMap, TWakeMainThread wake);
  ~TCommThread();
  TCommThread(const TCommThread&) = delete;
  TCommThread& operator=(const TCommThread&) = delete;

  // A network port is valid before it is connected: the receive thread connects it.
  bool Valid() const { return transport_ != nullptr; }
  bool IsNetwork() const { return transport_ && transport_->Remote(); }
  // Whether bytes can go out: a network port only once its connection stands.
  bool Connected() const { return transport_ && transport_->Connected(); }
  // Why the port did not open; names the device where there is one.
  const std::string& ErrorText() const { return fault_.text; }
  const TPortFault& Fault() const { return fault_; }
  const std::string& Device() const { return device_; }

  void SetLineSettings(std::uint32_t baud, std::uint8_t dataBits, TStopBit stopBits,
                       TParity parity);
  // The driver's queue sizes, where it has them.
  void SetQueueSizes(std::uint32_t input, std::uint32_t output) { transport_->SetQueueSizes(input, output); }
  // Watch modem lines and line errors (they need sampling, so only when someone listens).
  void SetWatchLines(bool watch) { watchLines_ = watch; }

  // Main thread. Reads what waits, at most count bytes; an empty result is not a fault.
  std::string Read(std::size_t count);
  // Main thread. Queues the bytes behind those still waiting; never blocks. What does
  // not fit the bound of queued output is dropped; returns how many bytes that is.
  std::size_t Write(std::string_view bytes);
  // Bytes the output queue holds at most: about three seconds of line time.
  std::size_t OutputLimit() const { return outLimit_; }
  std::size_t QueuedOutput() const { return out_.size() - outPos_; }

  // Starts the thread body.
  void Resume();
  // Asks the thread to end; it no longer waits for the main thread.
  void Stop();
  // Main thread: waits for the end, serving hand-overs meanwhile.
  void WaitFor();

  // Handler slots, main thread only; ClosePort empties them.
  std::function<void(unsigned count)> OnReceive;
  std::function<void(std::uint32_t eventMask, std::uint32_t modemStatus)> OnStatus;
  // A network port's connection stands.
  std::function<void()> OnConnected;
  // The device went away, or the connection could not be made; the thread has left
  // its loop.
  std::function<void(const TPortFault& fault)> OnLost;

 private:
  void Execute();
  void HandleEvent();
  void HandleConnected();
  void HandleLost();
  std::uint32_t SampleLines(std::uint32_t armedStatus);
  void DrainOutput();
  // Main thread: a read or write found the device gone.
  void MarkLost(const std::string& reason);
  // Main thread: queues bytes as they go on the line, within the bound; returns how
  // many of them, from the front, are kept.
  std::size_t Queue(std::string_view bytes);

  std::unique_ptr<ITransport> transport_;
  TLineSettings settings_;
  std::size_t outLimit_ = 2880;
  std::string device_;
  TPortFault fault_;
  std::shared_ptr<THandOver> handOver_;
  std::thread thread_;
  std::atomic<bool> stop_{false};
  std::atomic<bool> watchLines_{false};
  std::atomic<bool> wantWrite_{false};

  // Written by the thread before a hand-over, read by the main thread during it.
  std::uint32_t eventMask_ = 0;
  std::uint32_t modemStatus_ = 0;
  std::uint32_t errorWord_ = 0;
  TPortFault lostFault_;
  bool hasModemLines_ = false;
  bool hasCounters_ = false;
  TLineCounters counters_;

  // Set by the main thread during a hand-over or before a wake.
  std::atomic<bool> lost_{false};
  std::string mainLostReason_;
  std::size_t lastRead_ = 0;

  // Output not yet taken by the driver: main thread only.
  std::string out_;
  std::size_t outPos_ = 0;
};

}  // namespace ardel
