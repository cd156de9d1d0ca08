#include "serial/port_device.h"
#include "util/text_encoding.h"

#include "serial/device_lock.h"

#include <fcntl.h>
#include <grp.h>
#include <linux/serial.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include <sys/sysmacros.h>
#include <climits>
#include <signal.h>

#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>
#include <vector>

namespace ardel {

namespace {

bool IsSerialLine(const std::string& device) {
  struct stat st {};
  return ::stat(device.c_str(), &st) == 0 && S_ISCHR(st.st_mode);
}

speed_t SpeedOf(std::uint32_t baud) {
  struct TRate {
    std::uint32_t baud;
    speed_t speed;
  };
  static constexpr TRate kRates[] = {
      {50, B50},           {75, B75},           {110, B110},         {134, B134},
      {150, B150},         {200, B200},         {300, B300},         {600, B600},
      {1200, B1200},       {1800, B1800},       {2400, B2400},       {4800, B4800},
      {9600, B9600},       {19200, B19200},     {38400, B38400},     {57600, B57600},
      {115200, B115200},   {230400, B230400},   {460800, B460800},   {500000, B500000},
      {576000, B576000},   {921600, B921600},   {1000000, B1000000}, {1152000, B1152000},
      {1500000, B1500000}, {2000000, B2000000}, {2500000, B2500000}, {3000000, B3000000},
      {3500000, B3500000}, {4000000, B4000000},
  };
  for (const TRate& rate : kRates) {
    if (rate.baud == baud) return rate.speed;
  }
  return B0;
}

}  // namespace

bool IsDevicePath(const std::string& name) { return !name.empty() && name.front() == '/'; }

std::string DefaultPortDevice(unsigned number) { return "/dev/ttyS" + std::to_string(number - 1); }

TPortFault OpenFault(const std::string& device, int error) {
  TPortFault fault;
  if (error == EBUSY || error == EWOULDBLOCK) {
    fault.kind = ekBUSY;
    const pid_t holder = DeviceHolder(device);
    if (holder == ::getpid()) {
      fault.text = device + ": already open in this program";
      return fault;
    }
    fault.holder = holder;
    fault.text = device + ": held by another program" +
                 (holder > 0 ? " (process id " + std::to_string(holder) + ")" : std::string());
    return fault;
  }
  fault.text = device + ": " + SystemErrorText(error);
  if (error == ENOENT || error == ENODEV || error == ENXIO) fault.kind = ekMISSING;
  if (error == EACCES || error == EPERM) {
    fault.kind = ekNO_PERMISSION;
    if (!IsSerialLine(device)) return fault;
    struct stat st {};
    ::stat(device.c_str(), &st);
    std::vector<char> buffer(4096);
    struct group entry {};
    struct group* found = nullptr;
    if (st.st_gid != 0 && ::getgrgid_r(st.st_gid, &entry, buffer.data(), buffer.size(), &found) == 0 &&
        found != nullptr) {
      fault.group = found->gr_name;
      fault.text += std::string("; the device belongs to the group \"") + found->gr_name +
                    "\": the user must join it (sudo adduser $USER " + found->gr_name +
                    ") and log in again";
    }
  }
  return fault;
}

std::string DescribeOpenFailure(const std::string& device, int error) { return OpenFault(device, error).text; }

bool IsConsoleOrOwnTerminal(int fd) {
  struct stat st {};
  if (::fstat(fd, &st) != 0 || !S_ISCHR(st.st_mode)) return false;
  const dev_t rdev = st.st_rdev;
  // /dev/console, /dev/tty and the virtual consoles /dev/tty0 .. /dev/tty63.
  if (rdev == ::makedev(5, 1) || rdev == ::makedev(5, 0)) return true;
  if (::major(rdev) == 4 && ::minor(rdev) < 64) return true;
  auto same = [&](const std::string& path) {
    struct stat other {};
    return ::stat(path.c_str(), &other) == 0 && S_ISCHR(other.st_mode) && other.st_rdev == rdev;
  };
  // Where the kernel writes its messages, such as a virtual machine's ttyS0.
  std::ifstream active("/sys/class/tty/console/active");
  std::string name;
  while (active >> name) {
    if (same("/dev/" + name)) return true;
  }
  // The controlling terminal, from the process's own record.
  std::ifstream self("/proc/self/stat");
  std::string all((std::istreambuf_iterator<char>(self)), std::istreambuf_iterator<char>());
  const std::size_t paren = all.rfind(')');
  if (paren != std::string::npos) {
    std::istringstream rest(all.substr(paren + 2));
    std::string state;
    long ppid = 0, pgrp = 0, session = 0, ttyNr = 0;
    if (rest >> state >> ppid >> pgrp >> session >> ttyNr && ttyNr != 0) {
      const unsigned major = (static_cast<unsigned long>(ttyNr) >> 8) & 0xFFF;
      const unsigned minor = (static_cast<unsigned long>(ttyNr) & 0xFF) | ((static_cast<unsigned long>(ttyNr) >> 12) & 0xFFF00);
      if (rdev == ::makedev(major, minor)) return true;
    }
  }
  for (int own = 0; own <= 2; ++own) {
    struct stat other {};
    if (::isatty(own) && ::fstat(own, &other) == 0 && other.st_rdev == rdev) return true;
  }
  return false;
}

int OpenPortDevice(const std::string& device, TPortFault& fault, std::string* lockFile) {
  auto busy = [&](pid_t holder) {
    fault = {ekBUSY, device + ": held by another program (process id " + std::to_string(holder) + ")", holder, {}};
    return -1;
  };
  if (const pid_t holder = DeviceHolder(device); holder > 0 && holder != ::getpid()) return busy(holder);
  const int fd = ::open(device.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) {
    fault = OpenFault(device, errno);
    return -1;
  }
  auto fail = [&](TComErrorKind kind, const std::string& text) {
    fault = {kind, text, 0, {}};
    ::close(fd);
    return -1;
  };
  // A file or a pipe named as port would read end-of-file at once and look lost.
  if (!::isatty(fd)) return fail(ekNOT_SERIAL, device + ": not a serial device");
  // Set raw at 9600 baud, a console or the terminal Ardel runs in would be lost to its user.
  if (IsConsoleOrOwnTerminal(fd))
    return fail(ekREFUSED, device + ": this is the system console or the terminal of this program, never a bus port");
  // A mark of exclusive use (TIOCEXCL) would outlive a killed process on a device that
  // stays open elsewhere; these locks do not. Checked again now that the descriptor
  // exists, as another program may have come in between.
  if (!LockDescriptor(fd)) {
    fault = OpenFault(device, errno);
    ::close(fd);
    return -1;
  }
  pid_t holder = 0;
  std::string taken;
  if (!TakeLockFile(device, holder, taken)) {
    ::close(fd);
    return busy(holder);
  }
  if (lockFile != nullptr) *lockFile = taken;
  return fd;
}

bool EnableRs485(int fd, const std::string& device, std::string& errorText) {
  struct serial_rs485 rs485 {};
  rs485.flags = SER_RS485_ENABLED | SER_RS485_RTS_ON_SEND;
  if (::ioctl(fd, TIOCSRS485, &rs485) == 0) return true;
  const int error = errno;
  if (error == ENOTTY || error == EINVAL) {
    errorText = device + ": the device has no RS485 mode (asked for by rs485=1 in [Ports])";
  } else {
    errorText = device + ": cannot switch to RS485 mode: " + SystemErrorText(error);
  }
  return false;
}

void ComposeLineSettings(termios& tio, const TLineSettings& settings) {
  ::cfmakeraw(&tio);
  tio.c_iflag &= ~static_cast<tcflag_t>(IXON | IXOFF | IXANY | INPCK | PARMRK | IGNPAR);
  tio.c_cflag &=
      ~static_cast<tcflag_t>(CSIZE | PARENB | PARODD | CMSPAR | CSTOPB | CRTSCTS | HUPCL);
  tio.c_cflag |= CREAD | CLOCAL;
  // By ordinal: 5..8 data bits; none, odd, even, mark, space.
  static constexpr tcflag_t kSizes[] = {CS5, CS6, CS7, CS8};
  static constexpr tcflag_t kParities[] = {0, PARENB | PARODD, PARENB, PARENB | CMSPAR | PARODD,
                                           PARENB | CMSPAR};
  const bool knownSize = settings.dataBits >= 5 && settings.dataBits <= 8;
  tio.c_cflag |= knownSize ? kSizes[settings.dataBits - 5] : CS8;
  if (settings.parity <= ptSPACE) tio.c_cflag |= kParities[settings.parity];
  // One and a half stop bits is what the hardware makes of two with five data bits.
  if (settings.stopBits == sbONE5 || settings.stopBits == snTWO) tio.c_cflag |= CSTOPB;
  // A read returns what is there, and end-of-file only on a hang-up.
  tio.c_cc[VMIN] = 1;
  tio.c_cc[VTIME] = 0;
  const speed_t speed = SpeedOf(settings.baud);
  if (speed != B0) ::cfsetspeed(&tio, speed);
}

void ApplyLineSettings(int fd, const TLineSettings& settings) {
  termios tio{};
  if (::tcgetattr(fd, &tio) != 0) return;
  ComposeLineSettings(tio, settings);
  ::tcsetattr(fd, TCSANOW, &tio);
}

void PurgePort(int fd) { ::tcflush(fd, TCIOFLUSH); }

void ClearDtrRts(int fd) {
  int lines = TIOCM_DTR;
  ::ioctl(fd, TIOCMBIC, &lines);
  lines = TIOCM_RTS;
  ::ioctl(fd, TIOCMBIC, &lines);
}

std::optional<std::uint32_t> ReadModemLines(int fd) {
  int lines = 0;
  if (::ioctl(fd, TIOCMGET, &lines) != 0) return std::nullopt;
  std::uint32_t status = 0;
  if (lines & TIOCM_CTS) status |= modem_lines::kCts;
  if (lines & TIOCM_DSR) status |= modem_lines::kDsr;
  if (lines & TIOCM_RNG) status |= modem_lines::kRing;
  if (lines & TIOCM_CD) status |= modem_lines::kRlsd;
  return status;
}

std::optional<TLineCounters> ReadLineCounters(int fd) {
  struct serial_icounter_struct raw {};
  if (::ioctl(fd, TIOCGICOUNT, &raw) != 0) return std::nullopt;
  TLineCounters counters;
  counters.cts = raw.cts;
  counters.dsr = raw.dsr;
  counters.rng = raw.rng;
  counters.dcd = raw.dcd;
  counters.frame = raw.frame;
  counters.overrun = raw.overrun;
  counters.parity = raw.parity;
  counters.brk = raw.brk;
  counters.bufOverrun = raw.buf_overrun;
  return counters;
}

int BytesWaiting(int fd) {
  int count = 0;
  if (::ioctl(fd, FIONREAD, &count) != 0) return -1;
  return count;
}

}  // namespace ardel
