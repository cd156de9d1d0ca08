#pragma once
// The serial devices present, as a technician would choose among them, and a watch
// that says when they change.

#include <chrono>
#include <cstdint>
#include <string>
#include <vector>

namespace ardel {

struct TSerialDevice {
  std::string path;         // as it is opened: "/dev/serial/by-id/..." or "/dev/ttyUSB0"
  std::string description;  // maker and model where udev names them, else empty
  bool operator==(const TSerialDevice&) const = default;
};

// The stable names under /dev/serial/by-id first, then /dev/ttyUSB*, /dev/ttyACM*,
// and the /dev/ttyS* that have a UART behind them; each group in natural order
// (ttyUSB2 before ttyUSB10). root stands for "/" so tests can give a tree of their own;
// the paths returned are as under the real root.
std::vector<TSerialDevice> ListSerialDevices(const std::string& root = "/");

// "usb-FTDI_FT232R_USB_UART_A6008isP-if00-port0" -> "FTDI FT232R USB UART".
std::string DescribeByIdName(const std::string& name);

// Watches /dev and /dev/serial/by-id with inotify. The owner watches Fd() for
// reading with its event loop and calls Changed() when it is readable. On Windows it
// watches the registry's map of serial ports, which sets an event no loop descriptor
// stands for: the owner calls Changed() every PollInterval() instead, which costs a
// look at the event while nothing changed.
class TDeviceWatch {
 public:
  explicit TDeviceWatch(const std::string& root = "/");
  ~TDeviceWatch();
  TDeviceWatch(const TDeviceWatch&) = delete;
  TDeviceWatch& operator=(const TDeviceWatch&) = delete;

  // -1 when inotify is not to be had, and on Windows.
  int Fd() const { return fd_; }
  // How often the owner calls Changed() without a descriptor; zero: never.
  static std::chrono::milliseconds PollInterval();
  // Reads what is waiting; true when a device may have come or gone.
  bool Changed();

 private:
  void WatchById();
  std::string root_;
  int fd_ = -1;
  int byIdWatch_ = -1;
  // On Windows: the registry key watched, the event its change sets, and the ports
  // it held when last looked at.
  std::intptr_t key_ = 0;
  std::intptr_t event_ = 0;
  std::vector<std::string> ports_;
};

}  // namespace ardel
