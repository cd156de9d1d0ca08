#pragma once
// The serial port as the program uses it: the port in use and the name of the next
// start, a port that went away tried again, the devices present, the status and the
// choices of devices, the line for output the far end did not take, and the writes to
// the configuration file's section [Ports].

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "app/event_loop.h"
#include "app/port_status.h"
#include "log/link_log.h"
#include "link/receive_path.h"
#include "link/transmit_path.h"
#include "serial/com_port.h"
#include "serial/device_list.h"
#include "util/ini_file.h"
#include "util/value.h"

namespace ardel {

struct TPortBindingOptions {
  // Port names to devices; when given, the configuration file is not asked.
  std::optional<TPortMap> portMap;
  // How often a port whose device went away is tried again.
  std::chrono::milliseconds retryInterval{1000};
  // Where the list of serial devices looks: "/" but in tests, which give a tree of their own.
  std::string deviceRoot = "/";
};

class TPortBinding {
 public:
  // The loop, the log and the paths outlive the binding; the paths give the counts.
  // showErrorLater shows a text once the loop runs.
  TPortBinding(IEventLoop& loop, TLinkLog& log, const TReceivePath& receive, const TTransmitPath& transmit,
               std::function<void(std::string)> showErrorLater, TPortBindingOptions options = {});
  ~TPortBinding();
  TPortBinding(const TPortBinding&) = delete;
  TPortBinding& operator=(const TPortBinding&) = delete;

  TComPort& ComPort() { return ComPort1; }

  // The configuration file that [Ports] is written to; empty: none.
  void SetConfigFileName(std::string name) { configFileName_ = std::move(name); }
  // [Ports] as the configuration file has it, unless the options named the map.
  void ReadPorts(const TIniFile& config);
  // The name the next start opens; the port in use keeps its device.
  void SetNextStartName(std::string name) { ComPort1.Port = std::move(name); }
  const std::string& NextStartName() const { return ComPort1.Port; }
  // The name the port was opened under.
  const std::string& PortInUse() const { return portInUse_; }

  // Opens the port under the next start's name; one that cannot be opened is logged
  // and tried again later, and its failure shows once the loop runs.
  void OpenPortAtStart();
  // Bytes for the port, as the transmit path writes them: what the port does not take
  // does not count as sent. Returns why they did not go out, or nothing when they did.
  std::string Send(std::string_view bytes);
  // Received telegrams were counted: the status follows.
  void CountLinkTraffic();

  // The operator chose a device, or the RS485 mode, for a port (1..4): written to [Ports]
  // at once, and the port in use is opened again on it. Throws EFileError, before
  // anything has changed.
  void ChoosePortDevice(int number, const std::string& device);
  void ChoosePortRs485(int number, bool on);

  TValue<TPortStatus>& PortStatus() { return portStatus_; }
  TValue<TPortChoices>& PortChoices() { return portChoices_; }
  TValue<std::vector<TSerialDevice>>& SerialDevices() { return serialDevices_; }
  const ITimer& PortRetryTimer() const { return *portRetryTimer_; }

  // Told of each loss of the port (each "lost:" line of the log, the failed open at the
  // start included) and of the bytes the far end did not take.
  std::function<void()> OnPortLost;
  std::function<void(std::size_t bytes)> OnOutputDropped;

 private:
  void OpenPortInUse(const std::string& name);
  void ComPort1DeviceLost(const std::string& reason);
  void ComPort1Connected();
  // The port's device is not there: logged, and tried again unless the policy says its
  // name may pass to another program. True when it is tried again.
  bool PortGone(const std::string& device, const std::string& reason);
  void ComPort1RetryTimer();
  // The port is back after a loss.
  void PortBack();
  // Bytes the far end did not take in time.
  void ComPort1OutputDropped(std::size_t bytes);
  // Closes the port in use and opens it again on what the map now says.
  void ReopenPortInUse();
  void SetPortState(TPortState state, const TPortFault& fault = {});
  void ShowPortChoices();
  void WatchSerialDevices();
  // Writes one entry of [Ports] and sets it in the port's map. Throws EFileError.
  void WritePortEntry(const std::string& key, const std::string& value);

  IEventLoop& loop_;
  TLinkLog& linkLog_;
  const TReceivePath& receivePath_;
  const TTransmitPath& transmitPath_;
  std::function<void(std::string)> showErrorLater_;
  TPortBindingOptions options_;
  std::string configFileName_;

  std::unique_ptr<ITimer> portRetryTimer_;
  // The port that went away and its device: the one tried again, even when the
  // operator has chosen another for the next start.
  std::string lostPort_;
  std::string lostDevice_;
  std::string portInUse_ = "COM1";
  TValue<TPortStatus> portStatus_;
  TValue<TPortChoices> portChoices_;
  TValue<std::vector<TSerialDevice>> serialDevices_;
  std::unique_ptr<TDeviceWatch> deviceWatch_;
  std::unique_ptr<IWatch> deviceWatching_;
  std::unique_ptr<ITimer> devicePoll_;
  std::size_t droppedOutput_ = 0;
  // Telegrams and ACKs the port did not take, and the ACKs seen so far.
  std::uint64_t sendsDropped_ = 0;
  std::uint64_t acksDropped_ = 0;
  std::uint64_t acksSeen_ = 0;
  bool droppedInCall_ = false;

  // Last, so it closes first and no hand-over reaches an object already gone.
  TComPort ComPort1;
};

}  // namespace ardel
