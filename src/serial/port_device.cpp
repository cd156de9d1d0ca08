#include "serial/port_device.h"

#include "serial/net_port.h"

#include <fcntl.h>
#include <grp.h>
#include <linux/serial.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <cstring>
#include <vector>

namespace ardel {

namespace {

std::string Upper(std::string text) {
  for (char& c : text) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return text;
}

// The group that owns the device, so a refused user knows which group to join.
std::string OwningGroup(const std::string& device) {
  struct stat st {};
  if (::stat(device.c_str(), &st) == 0) {
    std::vector<char> buffer(4096);
    struct group entry {};
    struct group* found = nullptr;
    if (::getgrgid_r(st.st_gid, &entry, buffer.data(), buffer.size(), &found) == 0 &&
        found != nullptr && st.st_gid != 0) {
      return found->gr_name;
    }
  }
  return "dialout";
}

std::string DescribeOpenError(const std::string& device, int error) {
  if (error == EBUSY || error == EWOULDBLOCK) return device + ": in use by another program";
  std::string text = device + ": " + std::strerror(error);
  if (error == EACCES || error == EPERM) {
    text += " (the user must be in the group \"" + OwningGroup(device) + "\" that owns the device)";
  }
  return text;
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

std::optional<std::string> ResolvePortDevice(const std::string& portName, const TPortMap& map) {
  if (!portName.empty() && portName.front() == '/') return portName;
  if (IsNetworkPort(portName)) return portName;
  const std::string key = Upper(portName);
  for (const auto& [name, device] : map) {
    // An entry without a device says so; it never falls back to a guess.
    if (Upper(name) == key) return device;
  }
  if (key.size() > 3 && key.compare(0, 3, "COM") == 0 && key.size() <= 6) {
    unsigned number = 0;
    for (std::size_t i = 3; i < key.size(); ++i) {
      if (!std::isdigit(static_cast<unsigned char>(key[i]))) return std::nullopt;
      number = number * 10 + static_cast<unsigned>(key[i] - '0');
    }
    if (number >= 1) return "/dev/ttyS" + std::to_string(number - 1);
  }
  return std::nullopt;
}

int OpenPortDevice(const std::string& device, std::string& errorText) {
  const int fd = ::open(device.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) {
    errorText = DescribeOpenError(device, errno);
    return -1;
  }
  auto fail = [&](const std::string& text) {
    errorText = text;
    ::close(fd);
    return -1;
  };
  // A file or a pipe named as port would read end-of-file at once and look lost.
  if (!::isatty(fd)) return fail(device + ": not a serial device");
  // Exclusive against every program that honours either lock.
  if (::flock(fd, LOCK_EX | LOCK_NB) != 0) return fail(DescribeOpenError(device, errno));
  ::ioctl(fd, TIOCEXCL);
  return fd;
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

bool MayReopenAfterLoss(const std::string& device) {
  return device.rfind("/dev/pts/", 0) != 0 && device != "/dev/ptmx" && device.rfind("/dev/pty", 0) != 0;
}

}  // namespace ardel
