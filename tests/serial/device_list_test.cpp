#include "serial/device_list.h"

#include <poll.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

namespace ardel {
namespace {

namespace fs = std::filesystem;

struct TTree {
  std::string root;
  TTree() {
    char name[] = "/tmp/ardel-devices-XXXXXX";
    if (::mkdtemp(name) == nullptr) throw std::runtime_error("mkdtemp");
    root = name;
    fs::create_directories(root + "/dev");
  }
  ~TTree() { fs::remove_all(root); }
  void File(const std::string& path, const std::string& content = "") {
    fs::create_directories(fs::path(root + path).parent_path());
    std::ofstream(root + path) << content;
  }
  void Link(const std::string& path, const std::string& target) {
    fs::create_directories(fs::path(root + path).parent_path());
    fs::create_symlink(target, root + path);
  }
  // A ttyS as sysfs shows it: its driver and its port type.
  void Uart(const std::string& name, const std::string& driver, int type) {
    File("/dev/" + name);
    File("/sys/class/tty/" + name + "/type", std::to_string(type) + "\n");
    fs::create_directories(root + "/sys/bus/drivers/" + driver);
    Link("/sys/class/tty/" + name + "/device/driver", root + "/sys/bus/drivers/" + driver);
  }
};

TEST(DeviceList, StableNamesFirstThenAdaptersThenRealUarts) {
  TTree t;
  t.Link("/dev/serial/by-id/usb-FTDI_FT232R_USB_UART_A6008isP-if00-port0", "../../ttyUSB0");
  t.Link("/dev/serial/by-id/usb-Silicon_Labs_CP2102_USB_to_UART_Bridge_Controller_0001-if00-port0",
         "../../ttyUSB1");
  for (const char* name : {"ttyUSB10", "ttyUSB2", "ttyUSB0", "ttyUSB1", "ttyACM0", "tty0", "ttyS", "pts"})
    t.File(std::string("/dev/") + name);
  t.Uart("ttyS0", "serial", 4);         // a PC's COM1 behind its own driver
  t.Uart("ttyS1", "serial8250", 0);     // a placeholder
  t.Uart("ttyS2", "serial8250", 4);     // a placeholder that found a 16550A
  t.File("/dev/ttyS3");                 // no sysfs at all
  const std::vector<TSerialDevice> devices = ListSerialDevices(t.root);
  std::vector<std::string> paths;
  for (const auto& d : devices) paths.push_back(d.path);
  const std::vector<std::string> expected = {
      "/dev/serial/by-id/usb-FTDI_FT232R_USB_UART_A6008isP-if00-port0",
      "/dev/serial/by-id/usb-Silicon_Labs_CP2102_USB_to_UART_Bridge_Controller_0001-if00-port0",
      "/dev/ttyUSB0", "/dev/ttyUSB1", "/dev/ttyUSB2", "/dev/ttyUSB10", "/dev/ttyACM0", "/dev/ttyS0", "/dev/ttyS2"};
  EXPECT_EQ(paths, expected);
  ASSERT_GE(devices.size(), 3u);
  EXPECT_EQ(devices[0].description, "FTDI FT232R USB UART");
  EXPECT_EQ(devices[1].description, "Silicon Labs CP2102 USB to UART Bridge Controller");
  EXPECT_EQ(devices[2].description, "");

  TTree empty;
  EXPECT_TRUE(ListSerialDevices(empty.root).empty());
}

TEST(DeviceList, NamesAsUdevMakesThem) {
  const std::pair<const char*, const char*> cases[] = {
      {"usb-FTDI_FT232R_USB_UART_A6008isP-if00-port0", "FTDI FT232R USB UART"},
      {"usb-1a86_USB2.0-Serial-if00-port0", "1a86 USB2.0-Serial"},
      {"usb-Arduino__www.arduino.cc__0043_75735323-if00", "Arduino www.arduino.cc 0043"},
      {"pci-Oxford_OX16PCI954_1-port0", "Oxford OX16PCI954"},
      {"plain", "plain"},
  };
  for (const auto& [name, text] : cases) EXPECT_EQ(DescribeByIdName(name), text) << name;
}

bool Readable(int fd) {
  pollfd p{fd, POLLIN, 0};
  return ::poll(&p, 1, 2000) == 1;
}

TEST(DeviceWatch, AnAdapterComingOrGoingMakesTheDescriptorReadable) {
  TTree t;
  TDeviceWatch watch(t.root);
  ASSERT_GE(watch.Fd(), 0);
  pollfd idle{watch.Fd(), POLLIN, 0};
  EXPECT_EQ(::poll(&idle, 1, 0), 0);
  EXPECT_FALSE(watch.Changed());

  t.File("/dev/ttyUSB0");
  ASSERT_TRUE(Readable(watch.Fd()));
  EXPECT_TRUE(watch.Changed());
  EXPECT_EQ(::poll(&idle, 1, 0), 0) << "all was read";

  // The by-id folder comes with the first adapter; a name made in it is seen too.
  fs::create_directories(t.root + "/dev/serial/by-id");
  fs::remove(t.root + "/dev/ttyUSB0");
  ASSERT_TRUE(Readable(watch.Fd()));
  watch.Changed();
  t.Link("/dev/serial/by-id/usb-x-if00-port0", "../../ttyUSB0");
  ASSERT_TRUE(Readable(watch.Fd()));
  EXPECT_TRUE(watch.Changed());
}

}  // namespace
}  // namespace ardel
