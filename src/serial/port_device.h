#pragma once
// The POSIX port layer: port names, opening, line settings, modem lines and line-error
// counters of a serial device. Everything else in serial/ goes through these calls.

#include <sys/types.h>
#include <termios.h>
#include <time.h>

#include <cstdint>
#include <map>
#include <optional>
#include <string>

namespace ardel {

enum TParity : std::uint8_t { ptNONE = 0, ptODD = 1, ptEVEN = 2, ptMARK = 3, ptSPACE = 4 };
enum TStopBit : std::uint8_t { sbONE = 0, sbONE5 = 1, snTWO = 2 };

// Port names ("COM1") to device paths ("/dev/ttyUSB0"); keys compare without case.
using TPortMap = std::map<std::string, std::string>;

// Event mask bits as the rest of the component knows them.
namespace comm_events {
constexpr std::uint32_t kRxChar = 0x0001;
constexpr std::uint32_t kTxReady = 0x0004;  // internal: the output queue can take bytes
constexpr std::uint32_t kCts = 0x0008;
constexpr std::uint32_t kDsr = 0x0010;
constexpr std::uint32_t kRlsd = 0x0020;
constexpr std::uint32_t kLineError = 0x0080;
constexpr std::uint32_t kRing = 0x0100;
constexpr std::uint32_t kChosen = 0x01B9;
}  // namespace comm_events

// Modem status bits.
namespace modem_lines {
constexpr std::uint32_t kCts = 0x0010;
constexpr std::uint32_t kDsr = 0x0020;
constexpr std::uint32_t kRing = 0x0040;
constexpr std::uint32_t kRlsd = 0x0080;
}  // namespace modem_lines

// The device behind a port name: a name that begins with "/" or is a network URL stands
// for itself; otherwise the map decides (an empty entry gives an empty device: the port
// has none), and "COM<n>" without an entry is /dev/ttyS<n-1>.
// Returns nothing for a name that names no device.
std::optional<std::string> ResolvePortDevice(const std::string& portName, const TPortMap& map);

// Opens a device exclusively for non-blocking reading and writing. On failure returns
// -1 and sets errorText to a reason in plain words that names the device. The
// exclusion is a lock on the descriptor, which dies with the process however it
// ends, and a lock file LCK..<name> in the system's lock folder for the programs that
// look there (one left by a process that no longer runs is taken over); its path goes
// to lockFile, empty when the lock folder cannot be written. Never opens or changes
// the system console or the program's own terminal.
int OpenPortDevice(const std::string& device, std::string& errorText, std::string* lockFile = nullptr);
// Lifts a lock file of OpenPortDevice, named at the open: the device may be gone by
// now. The descriptor's lock goes with its close.
void ReleasePortLock(const std::string& lockFile);

// The folder of the lock files: /run/lock, else /var/lock. Tests point it elsewhere.
void SetLockFolder(const std::string& folder);
const std::string& LockFolder();

// Why opening failed, in words that say how to mend it: a refused permission names
// the group that owns the device (for a serial line only); a device held by another
// program names its process where a lock tells it.
std::string DescribeOpenFailure(const std::string& device, int error);

// The process that holds the device, from its lock file or its descriptor lock;
// 0 when none can be told.
pid_t DeviceHolder(const std::string& device);

// Whether the open descriptor is the system console or a terminal of this program.
bool IsConsoleOrOwnTerminal(int fd);

// What a path led to when its device was opened: the link itself, if the path is one,
// and the device behind it.
struct TDeviceIdentity {
  bool isLink = false;
  dev_t linkDev = 0;
  ino_t linkIno = 0;
  timespec linkCtime{};
  bool exists = false;
  dev_t rdev = 0;
  bool pseudoTerminal = false;
};
TDeviceIdentity IdentifyDevice(const std::string& path);
// After a loss, whether the path may be opened again: unless it now leads to a
// pseudo-terminal, the number of which passes to the next program that asks for one,
// through a link that is still the one of before. A link made anew follows its owner.
bool MayReopenAfterLoss(const TDeviceIdentity& atLoss, const TDeviceIdentity& now);

// "COM1.rs485=1" in the map: the port's UART switches its transmitter by RTS.
bool PortWantsRs485(const std::string& portName, const TPortMap& map);
// The kernel's RS485 mode: RTS on while sending, off after. False, with the reason in
// errorText, for a device whose driver has no such mode.
bool EnableRs485(int fd, const std::string& device, std::string& errorText);

// Whether a device that went away may be opened again under the same path, judged by
// the name alone. A
// pseudo-terminal named by its number may not: the system hands a freed number to the
// next program that asks for a terminal, which would then be taken over. A stable name
// that points at one (a link, as udev's by-id names are) follows its owner and may.
bool MayReopenAfterLoss(const std::string& device);

struct TLineSettings {
  std::uint32_t baud = 9600;
  std::uint8_t dataBits = 8;
  TParity parity = ptNONE;
  TStopBit stopBits = sbONE;
};

// Raw binary line in the given format, without flow control or modem control.
void ComposeLineSettings(termios& tio, const TLineSettings& settings);
// Reads, composes and writes the settings; failures are not reported, as a
// pseudo-terminal rejects some of them.
void ApplyLineSettings(int fd, const TLineSettings& settings);

// Discards both directions' queued bytes.
void PurgePort(int fd);

// Clears DTR and RTS where the device has them.
void ClearDtrRts(int fd);

// The modem status bits, or nothing when the device has no modem lines.
std::optional<std::uint32_t> ReadModemLines(int fd);

// Interrupt counters of the driver, where it keeps them.
struct TLineCounters {
  int cts = 0, dsr = 0, rng = 0, dcd = 0;
  int frame = 0, overrun = 0, parity = 0, brk = 0, bufOverrun = 0;
};
std::optional<TLineCounters> ReadLineCounters(int fd);

// Bytes waiting in the input queue; -1 with errno on failure.
int BytesWaiting(int fd);

}  // namespace ardel
