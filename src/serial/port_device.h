#pragma once
// The port layer: port names, opening, line settings, modem lines and line-error
// counters of a serial device. Everything else in serial/ goes through these calls.
// The calls on a descriptor are the POSIX layer's; the Windows one keeps its handle
// calls inside its transport.

#include <sys/types.h>
#include <time.h>

#include <cstdint>
#include <map>
#include <optional>
#include <string>

#include "serial/device_lock.h"
#include "serial/retry_policy.h"

struct termios;

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

// The device behind a port name: a device path or a network URL stands for itself;
// otherwise the map decides (an empty entry gives an empty device: the port has none),
// and "COM<n>" without an entry is the system's device of that number.
// Returns nothing for a name that names no device.
std::optional<std::string> ResolvePortDevice(const std::string& portName, const TPortMap& map);
// A path of the system's devices: "/dev/..." on Linux, "\\.\..." on Windows.
bool IsDevicePath(const std::string& name);
// "COM<number>"'s device where the map has none: /dev/ttyS<number-1> on Linux, the
// name itself on Windows.
std::string DefaultPortDevice(unsigned number);

// Why a port cannot be opened or went away, as words and as a kind that the layers
// above read instead of the words.
enum TComErrorKind : std::uint8_t {
  ekOTHER = 0,
  ekMISSING,        // no such device, or no device for the name
  ekBUSY,           // another program holds it: holder
  ekNO_PERMISSION,  // the user may not open it: group, where the device names one
  ekNOT_SERIAL,     // a file, a pipe or another thing that is no serial line
  ekLOST,           // it was open and went away
  ekREFUSED,        // never a bus port, or a server that refuses the connection
};

struct TPortFault {
  TComErrorKind kind = ekOTHER;
  // Names the device.
  std::string text;
  pid_t holder = 0;
  std::string group;
  bool operator==(const TPortFault&) const = default;
};

// Opens a device exclusively for non-blocking reading and writing. On failure returns
// -1 and fills fault with a reason in plain words that names the device. A device that
// another program has locked is refused before it is opened at all: even an open and
// close by a second program can disturb the holder's terminal. The exclusion is
// pair of locks of device_lock.h; the lock file's path goes to lockFile, empty when the
// lock folder cannot be written. Never opens or changes the system console or the
// program's own terminal.
int OpenPortDevice(const std::string& device, TPortFault& fault, std::string* lockFile = nullptr);
// Why opening failed, in words that say how to mend it: a refused permission names
// the group that owns the device (for a serial line only); a device held by another
// program names its process where a lock tells it.
TPortFault OpenFault(const std::string& device, int error);
std::string DescribeOpenFailure(const std::string& device, int error);

// Whether the open descriptor is the system console or a terminal of this program.
bool IsConsoleOrOwnTerminal(int fd);

// "COM1.rs485=1" in the map: the port's UART switches its transmitter by RTS.
bool PortWantsRs485(const std::string& portName, const TPortMap& map);
// The kernel's RS485 mode: RTS on while sending, off after. False, with the reason in
// errorText, for a device whose driver has no such mode.
bool EnableRs485(int fd, const std::string& device, std::string& errorText);

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
