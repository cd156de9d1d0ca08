#include "serial/socket_transport.h"

#include <ws2tcpip.h>

#include <cerrno>
#include <mutex>
#include <thread>

#include "serial/rfc2217_line.h"
#include "util/win32_text.h"

namespace ardel {

namespace {

// A server that neither accepts nor refuses is given this long per address.
constexpr DWORD kConnectMs = 5000;

bool StartWinsock(int& error) {
  static const int started = [] {
    WSADATA data;
    return ::WSAStartup(MAKEWORD(2, 2), &data);
  }();
  error = started;
  return started == 0;
}

// The outcome of a resolution, shared between the resolving thread and the waiter, so
// either may leave first.
struct TResolution {
  std::mutex mutex;
  int status = 0;
  addrinfo* result = nullptr;
  HANDLE done = ::CreateEventA(nullptr, TRUE, FALSE, nullptr);
  ~TResolution() {
    if (result != nullptr) ::freeaddrinfo(result);
    if (done != nullptr) ::CloseHandle(done);
  }
};

}  // namespace

TSocketTransport::TSocketTransport(std::function<bool()> stopped) : stopped_(std::move(stopped)) {}

TSocketTransport::~TSocketTransport() {
  TSocketTransport::Close();
  if (wake_ != WSA_INVALID_EVENT) ::WSACloseEvent(wake_);
  if (socketEvent_ != WSA_INVALID_EVENT) ::WSACloseEvent(socketEvent_);
}

bool TSocketTransport::Open(const std::string& device, TPortFault& fault) {
  std::string why;
  std::optional<TNetworkPort> address = ParseNetworkPort(device, why);
  if (!address) {
    fault = {ekOTHER, device + ": " + why, 0, {}};
    return false;
  }
  address_ = std::move(*address);
  int error = 0;
  if (!StartWinsock(error)) {
    fault = {ekOTHER, device + ": " + Win32ErrorText(static_cast<unsigned long>(error)), 0, {}};
    return false;
  }
  wake_ = ::WSACreateEvent();
  socketEvent_ = ::WSACreateEvent();
  if (wake_ == WSA_INVALID_EVENT || socketEvent_ == WSA_INVALID_EVENT) {
    fault = {ekOTHER, device + ": " + Win32ErrorText(static_cast<unsigned long>(::WSAGetLastError())), 0, {}};
    return false;
  }
  // Resolving and connecting are left to the receive thread.
  return true;
}

bool TSocketTransport::Connect(TPortFault& fault) {
  fault.kind = ekREFUSED;
  auto resolution = std::make_shared<TResolution>();
  // The system's resolver cannot be interrupted, so it gets a thread that may outlive
  // this call; closing the port never waits for a slow name server.
  std::thread([resolution, host = address_.host, service = address_.service] {
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_flags = AI_ADDRCONFIG | AI_NUMERICSERV;
    addrinfo* result = nullptr;
    const int status = ::getaddrinfo(host.c_str(), service.c_str(), &hints, &result);
    std::lock_guard lock(resolution->mutex);
    resolution->status = status;
    resolution->result = result;
    ::SetEvent(resolution->done);
  }).detach();

  // Waits for one of the handles or a stop; the index, or -1 when stopped or timed out.
  auto waitFor = [&](HANDLE handle, DWORD ms) {
    for (;;) {
      HANDLE handles[2] = {wake_, handle};
      const DWORD woken = ::WaitForMultipleObjects(2, handles, FALSE, ms);
      if (woken == WAIT_OBJECT_0) {
        if (stopped_()) return -1;
        ::WSAResetEvent(wake_);
        continue;
      }
      return woken == WAIT_OBJECT_0 + 1 ? 1 : 0;
    }
  };
  if (waitFor(resolution->done, INFINITE) < 0) {
    fault.text.clear();
    return false;
  }
  std::lock_guard lock(resolution->mutex);
  if (resolution->status != 0) {
    fault.kind = ekMISSING;
    fault.text = "cannot find the host \"" + address_.host + "\": " +
                 Win32ErrorText(static_cast<unsigned long>(resolution->status));
    return false;
  }
  std::string lastError = "no address";
  for (const addrinfo* a = resolution->result; a != nullptr; a = a->ai_next) {
    const SOCKET s = ::socket(a->ai_family, a->ai_socktype, a->ai_protocol);
    if (s == INVALID_SOCKET) {
      lastError = Win32ErrorText(static_cast<unsigned long>(::WSAGetLastError()));
      continue;
    }
    // The events make the socket non-blocking.
    ::WSAEventSelect(s, socketEvent_, FD_CONNECT | FD_READ | FD_WRITE | FD_CLOSE);
    int error = 0;
    if (::connect(s, a->ai_addr, static_cast<int>(a->ai_addrlen)) != 0) {
      error = ::WSAGetLastError();
      if (error == WSAEWOULDBLOCK) {
        const int woken = waitFor(socketEvent_, kConnectMs);
        if (woken < 0) {
          ::closesocket(s);
          fault.text.clear();
          return false;
        }
        WSANETWORKEVENTS events{};
        ::WSAEnumNetworkEvents(s, socketEvent_, &events);
        if (woken == 0) {
          error = WSAETIMEDOUT;
        } else if (events.lNetworkEvents & FD_CONNECT) {
          error = events.iErrorCode[FD_CONNECT_BIT];
          // Sends are possible from the connection on.
          if (error == 0) writable_.store(true);
          if (events.lNetworkEvents & FD_READ) ::WSASetEvent(socketEvent_);
        } else {
          error = WSAECONNREFUSED;
        }
      }
    }
    if (error != 0) {
      lastError = error == WSAETIMEDOUT ? "no answer from the server"
                                        : Win32ErrorText(static_cast<unsigned long>(error));
      ::closesocket(s);
      continue;
    }
    // Telegrams are small and late ones are useless; a dead link is noticed in time.
    const BOOL one = TRUE;
    ::setsockopt(s, IPPROTO_TCP, TCP_NODELAY, reinterpret_cast<const char*>(&one), sizeof one);
    ::setsockopt(s, SOL_SOCKET, SO_KEEPALIVE, reinterpret_cast<const char*>(&one), sizeof one);
    socket_ = s;
    connected_.store(true, std::memory_order_release);
    return true;
  }
  fault.text = "cannot connect to " + address_.host + ":" + address_.service + ": " + lastError;
  return false;
}

TPortEvents TSocketTransport::Wait(bool wantWrite, int timeoutMs) {
  TPortEvents events;
  if (wantWrite && writable_.load()) {
    events.writable = true;
    return events;
  }
  WSAEVENT handles[2] = {wake_, socketEvent_};
  const DWORD woken =
      ::WSAWaitForMultipleEvents(2, handles, FALSE, timeoutMs < 0 ? WSA_INFINITE : static_cast<DWORD>(timeoutMs), FALSE);
  if (woken == WSA_WAIT_EVENT_0) {
    ::WSAResetEvent(wake_);
    return events;
  }
  if (woken != WSA_WAIT_EVENT_0 + 1) {
    if (woken == WSA_WAIT_FAILED) events.failure = -::WSAGetLastError();
    return events;
  }
  WSANETWORKEVENTS network{};
  if (::WSAEnumNetworkEvents(socket_, socketEvent_, &network) != 0) {
    events.failure = -::WSAGetLastError();
    return events;
  }
  events.readable = (network.lNetworkEvents & FD_READ) != 0;
  if (network.lNetworkEvents & FD_WRITE) writable_.store(true);
  events.writable = wantWrite && writable_.load();
  if (network.lNetworkEvents & FD_CLOSE) {
    events.hangUp = true;
    closeError_ = network.iErrorCode[FD_CLOSE_BIT];
  }
  return events;
}

void TSocketTransport::Wake() {
  if (wake_ != WSA_INVALID_EVENT) ::WSASetEvent(wake_);
}

void TSocketTransport::Failed(int error) {
  if (error == WSAEWOULDBLOCK) {
    errno = EAGAIN;
    return;
  }
  lastError_ = error;
  errno = EIO;
}

int TSocketTransport::BytesWaiting() {
  u_long count = 0;
  if (::ioctlsocket(socket_, FIONREAD, &count) != 0) {
    Failed(::WSAGetLastError());
    return -1;
  }
  return static_cast<int>(std::min<u_long>(count, 0x7FFFFFFF));
}

ssize_t TSocketTransport::Read(char* buffer, std::size_t size) {
  const int got = ::recv(socket_, buffer, static_cast<int>(std::min<std::size_t>(size, 0x7FFFFFFF)), 0);
  if (got == SOCKET_ERROR) {
    Failed(::WSAGetLastError());
    return -1;
  }
  return got;
}

ssize_t TSocketTransport::Write(const char* bytes, std::size_t size) {
  const int sent = ::send(socket_, bytes, static_cast<int>(std::min<std::size_t>(size, 0x7FFFFFFF)), 0);
  if (sent == SOCKET_ERROR) {
    const int error = ::WSAGetLastError();
    if (error == WSAEWOULDBLOCK) writable_.store(false);
    Failed(error);
    return -1;
  }
  return sent;
}

std::string TSocketTransport::ErrorText(int error) const {
  if (error < 0) return Win32ErrorText(static_cast<unsigned long>(-error));
  if (error == EIO && lastError_ != 0) return Win32ErrorText(static_cast<unsigned long>(lastError_));
  return ITransport::ErrorText(error);
}

std::string TSocketTransport::HangUpReason(const TPortEvents&) {
  return closeError_ != 0 ? "connection lost: " + Win32ErrorText(static_cast<unsigned long>(closeError_))
                          : "connection lost";
}

void TSocketTransport::Close() {
  if (socket_ == INVALID_SOCKET) return;
  // What the system still holds for the far end goes out after an orderly end; input
  // left unread would make the close a reset, which may throw it away.
  ::shutdown(socket_, SD_SEND);
  char buffer[4096];
  for (int i = 0; i < 16 && ::recv(socket_, buffer, sizeof buffer, 0) > 0; ++i) {
  }
  ::closesocket(socket_);
  socket_ = INVALID_SOCKET;
  connected_.store(false);
}

std::string TSocketRfc2217Transport::Greeting() { return telnet_.Start(rfc2217::ComPortSettings(settings_)); }

std::string TSocketRfc2217Transport::Decode(std::string_view raw, std::string& replies) {
  std::string plain;
  telnet_.Feed(raw, plain, replies);
  return plain;
}

std::size_t TSocketRfc2217Transport::WholeCut(std::string_view encoded, std::size_t cut) const {
  return rfc2217::WholeCut(encoded, cut);
}

std::size_t TSocketRfc2217Transport::DataBytes(std::string_view encoded) const { return rfc2217::DataBytes(encoded); }

}  // namespace ardel
