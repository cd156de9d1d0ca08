#include "serial/comm_transport.h"

#include <algorithm>
#include <cctype>
#include <cerrno>

#include "util/win32_text.h"

namespace ardel {

namespace {

// The queues and the format the port starts from, before the component's own.
constexpr DWORD kBaselineQueue = 512;
constexpr DWORD kPurgeAll = PURGE_TXABORT | PURGE_RXABORT | PURGE_TXCLEAR | PURGE_RXCLEAR;
// What the wait falls back to where the driver refuses the modem lines' events.
constexpr DWORD kWithoutModemLines = EV_RXCHAR | EV_ERR;
// A wait ends at least this often to look at the port: a device that is gone shows in
// the calls that ask it, not always in a wait that is pending.
constexpr DWORD kLookMs = 500;
// A wait that the driver ends within this time without an event is followed by a pause
// of the same length: an idle port must not turn into a loop of aborted waits.
constexpr ULONGLONG kQuickAbortMs = 10;
// A driver that ends this many waits in a row at once cannot wait for the port at all
// (Wine on a pseudo-terminal without modem lines): each wait costs it a thread of its
// own, so the port is then looked at this often instead, and no wait is armed.
constexpr unsigned kQuickAbortsBeforeLooking = 3;
constexpr DWORD kLookingMs = 20;
// A read is only asked for bytes already queued; this bounds it on a driver that would
// still wait.
constexpr DWORD kReadMs = 1000;

std::string Upper(std::string text) {
  for (char& c : text) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return text;
}

// Win32 errors travel in an error number as their negative.
int AsFailure(DWORD error) { return -static_cast<int>(error); }

void Baseline(DCB& dcb) {
  dcb.BaudRate = CBR_9600;
  dcb.ByteSize = 8;
  dcb.Parity = EVENPARITY;
  dcb.StopBits = ONESTOPBIT;
}

// Flag word 1: binary mode, and no flow control, no modem-line driving, no character
// replacement, no abort on error.
void FlagWordOne(DCB& dcb) {
  dcb.fBinary = 1;
  dcb.fParity = 0;
  dcb.fOutxCtsFlow = 0;
  dcb.fOutxDsrFlow = 0;
  dcb.fDtrControl = DTR_CONTROL_DISABLE;
  dcb.fDsrSensitivity = 0;
  dcb.fTXContinueOnXoff = 0;
  dcb.fOutX = 0;
  dcb.fInX = 0;
  dcb.fErrorChar = 0;
  dcb.fNull = 0;
  dcb.fRtsControl = RTS_CONTROL_DISABLE;
  dcb.fAbortOnError = 0;
}

}  // namespace

std::string CommFileName(const std::string& device) {
  if (IsDevicePath(device)) return device;
  const std::string upper = Upper(device);
  if (upper.size() > 4 && upper.compare(0, 3, "COM") == 0 &&
      std::all_of(upper.begin() + 3, upper.end(), [](char c) { return std::isdigit(static_cast<unsigned char>(c)); }))
    return "\\\\.\\" + device;
  return device;
}

TComErrorKind CommOpenErrorKind(DWORD error) {
  switch (error) {
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
    case ERROR_INVALID_NAME:
    case ERROR_BAD_PATHNAME:
    case ERROR_BAD_UNIT:
    case ERROR_DEV_NOT_EXIST:
    case ERROR_DEVICE_NOT_CONNECTED:
    case ERROR_NOT_READY:
    case ERROR_GEN_FAILURE:
      return ekMISSING;
    // A COM port held by another program refuses the exclusive open with "access
    // denied"; there is no permission to be had that would change it.
    case ERROR_ACCESS_DENIED:
    case ERROR_SHARING_VIOLATION:
    case ERROR_BUSY:
      return ekBUSY;
    case ERROR_PRIVILEGE_NOT_HELD:
      return ekNO_PERMISSION;
    default:
      return ekOTHER;
  }
}

TCommTransport::TCommTransport(std::string portName) : portName_(std::move(portName)) {}

TCommTransport::~TCommTransport() { TCommTransport::Close(); }

bool TCommTransport::Open(const std::string& device, TPortFault& fault) {
  device_ = device;
  // The device is named where the port's name does not say it already.
  auto describe = [&](DWORD error) {
    const std::string text = Win32ErrorText(error);
    return Upper(device) == Upper(portName_) ? text : device + ": " + text;
  };
  // Windows refuses a second open of a COM port; Wine and some virtual port drivers do
  // not, so Ardel's own processes also keep off a port that one of them holds.
  const std::string name = CommFileName(device);
  std::string held = "Global\\ardel-port-";
  for (char c : Upper(name)) held.push_back(c == '\\' ? '_' : c);
  hold_ = ::CreateMutexA(nullptr, FALSE, held.c_str());
  if (hold_ == nullptr) hold_ = ::CreateMutexA(nullptr, FALSE, ("Local" + held.substr(6)).c_str());
  if (hold_ != nullptr && ::GetLastError() == ERROR_ALREADY_EXISTS) {
    ::CloseHandle(hold_);
    hold_ = nullptr;
    fault = {ekBUSY, describe(ERROR_SHARING_VIOLATION), 0, {}};
    return false;
  }
  handle_ = ::CreateFileA(name.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                          FILE_FLAG_OVERLAPPED, nullptr);
  if (handle_ == INVALID_HANDLE_VALUE) {
    const DWORD error = ::GetLastError();
    Close();
    fault = {CommOpenErrorKind(error), describe(error), 0, {}};
    return false;
  }
  dcb_ = {};
  dcb_.DCBlength = sizeof dcb_;
  // A handle whose line settings cannot be read is no serial port there now.
  if (!::GetCommState(handle_, &dcb_)) {
    const DWORD error = ::GetLastError();
    Close();
    fault = {ekMISSING, describe(error), 0, {}};
    return false;
  }
  Baseline(dcb_);
  FlagWordOne(dcb_);
  ::SetupComm(handle_, kBaselineQueue, kBaselineQueue);
  ::SetCommState(handle_, &dcb_);
  ::SetCommMask(handle_, comm_events::kChosen);
  ::PurgeComm(handle_, kPurgeAll);
  // A device without modem lines (a pseudo-terminal under Wine) refuses both; its lines
  // cannot be up, so the refusal is left without a word.
  ::EscapeCommFunction(handle_, CLRDTR);
  ::EscapeCommFunction(handle_, CLRRTS);

  wake_ = ::CreateEventA(nullptr, TRUE, FALSE, nullptr);
  waitRequest_ = {};
  waitRequest_.hEvent = ::CreateEventA(nullptr, TRUE, TRUE, nullptr);
  readRequest_ = {};
  readRequest_.hEvent = ::CreateEventA(nullptr, TRUE, FALSE, nullptr);
  writeRequest_ = {};
  // Signalled while no write is pending.
  writeRequest_.hEvent = ::CreateEventA(nullptr, TRUE, TRUE, nullptr);
  if (wake_ == nullptr || waitRequest_.hEvent == nullptr || readRequest_.hEvent == nullptr ||
      writeRequest_.hEvent == nullptr) {
    const DWORD error = ::GetLastError();
    Close();
    fault = {ekOTHER, describe(error), 0, {}};
    return false;
  }
  return true;
}

void TCommTransport::SetLineSettings(const TLineSettings& settings) {
  baud_ = settings.baud;
  ::GetCommState(handle_, &dcb_);
  dcb_.BaudRate = settings.baud;
  dcb_.ByteSize = settings.dataBits;
  dcb_.Parity = settings.parity;
  dcb_.StopBits = settings.stopBits;
  FlagWordOne(dcb_);
  ::SetCommState(handle_, &dcb_);
}

void TCommTransport::SetQueueSizes(std::uint32_t input, std::uint32_t output) { ::SetupComm(handle_, input, output); }

TCommTransport::TArm TCommTransport::Arm() {
  for (;;) {
    eventMask_ = 0;
    const HANDLE event = waitRequest_.hEvent;
    waitRequest_ = {};
    waitRequest_.hEvent = event;
    armedAt_ = ::GetTickCount64();
    if (::WaitCommEvent(handle_, &eventMask_, &waitRequest_)) return TArm::kDone;
    const DWORD error = ::GetLastError();
    if (error == ERROR_IO_PENDING) {
      armed_ = true;
      return TArm::kPending;
    }
    // A driver that cannot report the modem lines (Wine without the modem ioctls)
    // refuses the whole wait: it runs on input and line errors from then on.
    if (!narrowed_ && (error == ERROR_NOT_SUPPORTED || error == ERROR_INVALID_PARAMETER)) {
      narrowed_ = true;
      if (::SetCommMask(handle_, kWithoutModemLines)) continue;
    }
    return TArm::kFailed;
  }
}

TPortEvents TCommTransport::Reported(DWORD mask) const {
  TPortEvents events;
  events.readable = (mask & EV_RXCHAR) != 0;
  events.lineEvents = mask & (comm_events::kChosen & ~comm_events::kRxChar);
  return events;
}

bool TCommTransport::WriteDone() const { return ::WaitForSingleObject(writeRequest_.hEvent, 0) == WAIT_OBJECT_0; }

TPortEvents TCommTransport::LookAtInput(DWORD pauseMs, bool wantWrite) {
  if (pauseMs > 0) {
    HANDLE handles[2] = {wake_, writeRequest_.hEvent};
    const DWORD woken = ::WaitForMultipleObjects(wantWrite ? 2 : 1, handles, FALSE, pauseMs);
    if (woken == WAIT_OBJECT_0) ::ResetEvent(wake_);
  }
  TPortEvents events;
  DWORD errors = 0;
  COMSTAT status{};
  if (!::ClearCommError(handle_, &errors, &status)) {
    events.failure = AsFailure(::GetLastError());
    return events;
  }
  events.readable = status.cbInQue > 0;
  events.writable = wantWrite && WriteDone();
  if (errors != 0) events.lineEvents |= comm_events::kLineError;
  return events;
}

TPortEvents TCommTransport::AfterAbort(bool quick, bool wantWrite) {
  ++abortedWaits_;
  quickAborts_ = quick ? quickAborts_ + 1 : 0;
  if (quickAborts_ >= kQuickAbortsBeforeLooking) looking_ = true;
  TPortEvents events = LookAtInput(quick ? static_cast<DWORD>(kQuickAbortMs) : 0, wantWrite);
  if (events.readable) quickAborts_ = 0;
  return events;
}

TPortEvents TCommTransport::Wait(bool wantWrite, int timeoutMs) {
  if (looking_) {
    const DWORD limit = timeoutMs < 0 ? kLookingMs : std::min<DWORD>(static_cast<DWORD>(timeoutMs), kLookingMs);
    return LookAtInput(std::max<DWORD>(limit, 1), wantWrite);
  }
  if (!armed_) {
    switch (Arm()) {
      case TArm::kDone: {
        TPortEvents events = Reported(eventMask_);
        events.writable = wantWrite && WriteDone();
        return events;
      }
      case TArm::kFailed:
        // Nothing to wait on but the wake-up: the port is looked at after a pause.
        return AfterAbort(true, wantWrite);
      case TArm::kPending:
        break;
    }
  }
  HANDLE handles[3] = {wake_, waitRequest_.hEvent, writeRequest_.hEvent};
  const DWORD count = wantWrite ? 3 : 2;
  const DWORD limit = timeoutMs < 0 ? kLookMs : std::min<DWORD>(static_cast<DWORD>(timeoutMs), kLookMs);
  const DWORD woken = ::WaitForMultipleObjects(count, handles, FALSE, limit);
  TPortEvents events;
  if (woken == WAIT_OBJECT_0) {
    ::ResetEvent(wake_);
    return events;
  }
  if (woken == WAIT_OBJECT_0 + 1) {
    armed_ = false;
    DWORD transferred = 0;
    if (::GetOverlappedResult(handle_, &waitRequest_, &transferred, FALSE)) {
      quickAborts_ = 0;
      events = Reported(eventMask_);
      events.writable = wantWrite && WriteDone();
      return events;
    }
    const DWORD error = ::GetLastError();
    // Ended by the driver, not by us: armed again at the next call, after whatever
    // input waits now has been handed over.
    if (error == ERROR_OPERATION_ABORTED || error == ERROR_NOT_SUPPORTED)
      return AfterAbort(::GetTickCount64() - armedAt_ < kQuickAbortMs, wantWrite);
    events.failure = AsFailure(error);
    return events;
  }
  if (woken == WAIT_OBJECT_0 + 2) {
    events.writable = true;
    return events;
  }
  if (woken == WAIT_TIMEOUT) return LookAtInput(0, wantWrite);
  events.failure = AsFailure(::GetLastError());
  return events;
}

void TCommTransport::Wake() {
  if (wake_ != nullptr) ::SetEvent(wake_);
}

int TCommTransport::BytesWaiting() {
  COMSTAT status{};
  if (!::ClearCommError(handle_, &errorWord_, &status)) {
    lastError_ = ::GetLastError();
    errno = EIO;
    return -1;
  }
  waiting_ = status.cbInQue;
  return static_cast<int>(std::min<DWORD>(waiting_, 0x7FFFFFFF));
}

ssize_t TCommTransport::Read(char* buffer, std::size_t size) {
  // Only what the input queue holds: a read of more would wait for it.
  if (waiting_ == 0 && BytesWaiting() < 0) return -1;
  const DWORD want = static_cast<DWORD>(std::min<std::size_t>(size, waiting_));
  if (want == 0) {
    errno = EAGAIN;
    return -1;
  }
  const HANDLE event = readRequest_.hEvent;
  readRequest_ = {};
  readRequest_.hEvent = event;
  DWORD got = 0;
  if (!::ReadFile(handle_, buffer, want, &got, &readRequest_)) {
    DWORD error = ::GetLastError();
    if (error == ERROR_IO_PENDING) {
      if (::WaitForSingleObject(event, kReadMs) != WAIT_OBJECT_0) ::CancelIo(handle_);
      if (::GetOverlappedResult(handle_, &readRequest_, &got, TRUE)) error = ERROR_SUCCESS;
      else error = ::GetLastError();
    }
    if (error == ERROR_OPERATION_ABORTED && got == 0) {
      errno = EAGAIN;
      return -1;
    }
    if (error != ERROR_SUCCESS) {
      lastError_ = error;
      errno = EIO;
      return -1;
    }
  }
  waiting_ -= std::min(waiting_, got);
  if (got == 0) {
    errno = EAGAIN;
    return -1;
  }
  return static_cast<ssize_t>(got);
}

ssize_t TCommTransport::Write(const char* bytes, std::size_t size) {
  // One request at a time: its buffer and record stay ours until the driver is done.
  if (!WriteDone()) {
    errno = EAGAIN;
    return -1;
  }
  if (writePending_) {
    DWORD done = 0;
    ::GetOverlappedResult(handle_, &writeRequest_, &done, FALSE);
    writePending_ = false;
  }
  writing_.assign(bytes, size);
  const HANDLE event = writeRequest_.hEvent;
  writeRequest_ = {};
  writeRequest_.hEvent = event;
  if (::WriteFile(handle_, writing_.data(), static_cast<DWORD>(writing_.size()), nullptr, &writeRequest_))
    return static_cast<ssize_t>(size);
  const DWORD error = ::GetLastError();
  if (error == ERROR_IO_PENDING) {
    writePending_ = true;
    return static_cast<ssize_t>(size);
  }
  ::SetEvent(event);
  lastError_ = error;
  errno = EIO;
  return -1;
}

std::optional<std::uint32_t> TCommTransport::ModemStatus() {
  DWORD status = 0;
  if (!::GetCommModemStatus(handle_, &status)) return std::nullopt;
  return static_cast<std::uint32_t>(status);
}

std::string TCommTransport::ErrorText(int error) const {
  if (error < 0) return Win32ErrorText(static_cast<DWORD>(-error));
  if (error == EIO && lastError_ != 0) return Win32ErrorText(lastError_);
  return ITransport::ErrorText(error);
}

void TCommTransport::Close() {
  if (handle_ != INVALID_HANDLE_VALUE) {
    // Mask 0 ends the pending wait; its record is ours until it has.
    ::SetCommMask(handle_, 0);
    if (armed_) {
      if (::WaitForSingleObject(waitRequest_.hEvent, kLookMs) != WAIT_OBJECT_0) ::CancelIo(handle_);
      DWORD transferred = 0;
      ::GetOverlappedResult(handle_, &waitRequest_, &transferred, TRUE);
      armed_ = false;
    }
    if (writePending_) {
      // What the driver took goes out: the last telegram or acknowledgement is given
      // its line time.
      const DWORD lineMs = static_cast<DWORD>(writing_.size() * 10 * 1000 / std::max<std::uint32_t>(baud_, 1));
      if (::WaitForSingleObject(writeRequest_.hEvent, lineMs + kLookMs) != WAIT_OBJECT_0) ::CancelIo(handle_);
      DWORD done = 0;
      ::GetOverlappedResult(handle_, &writeRequest_, &done, TRUE);
      writePending_ = false;
    }
    ::CloseHandle(handle_);
    handle_ = INVALID_HANDLE_VALUE;
  }
  for (HANDLE* event : {&hold_, &wake_, &waitRequest_.hEvent, &readRequest_.hEvent, &writeRequest_.hEvent}) {
    if (*event != nullptr) ::CloseHandle(*event);
    *event = nullptr;
  }
}

}  // namespace ardel
