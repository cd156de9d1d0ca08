#include "serial/tcp_transport.h"

#include <sys/socket.h>

#include "util/text_encoding.h"

namespace ardel {

TTcpTransport::TTcpTransport(std::function<bool()> stopped) : stopped_(std::move(stopped)) {}

bool TTcpTransport::Open(const std::string& device, TPortFault& fault) {
  std::string why;
  std::optional<TNetworkPort> address = ParseNetworkPort(device, why);
  if (!address) {
    fault = {ekOTHER, device + ": " + why, 0, {}};
    return false;
  }
  address_ = std::move(*address);
  // Resolving and connecting are left to the receive thread.
  return OpenWake(device, fault);
}

bool TTcpTransport::Connect(TPortFault& fault) {
  const int fd = ConnectNetworkPort(address_, wakeFd_, stopped_, fault);
  if (fd < 0) return false;
  fd_ = fd;
  SetConnected();
  return true;
}

std::string TTcpTransport::HangUpReason(const TPortEvents&) {
  int error = 0;
  socklen_t length = sizeof error;
  ::getsockopt(fd_, SOL_SOCKET, SO_ERROR, &error, &length);
  return error != 0 ? "connection lost: " + SystemErrorText(error) : "connection lost";
}

void TTcpTransport::Close() {
  // What the system still holds for the far end goes out after an orderly end; input
  // left unread would make the close a reset, which may throw it away.
  if (fd_ >= 0) {
    ::shutdown(fd_, SHUT_WR);
    char buffer[4096];
    for (int i = 0; i < 16 && ::recv(fd_, buffer, sizeof buffer, MSG_DONTWAIT) > 0; ++i) {
    }
  }
  TFdTransport::Close();
}

}  // namespace ardel
