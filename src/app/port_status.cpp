#include "app/port_status.h"

#include <algorithm>
#include <cctype>

namespace ardel {

namespace {

// Port names are the same in any case, as Windows takes them.
bool SameName(const std::string& a, const std::string& b) {
  return std::equal(a.begin(), a.end(), b.begin(), b.end(), [](char x, char y) {
    return std::toupper(static_cast<unsigned char>(x)) == std::toupper(static_cast<unsigned char>(y));
  });
}

}  // namespace

std::string PortStateText(const TPortStatus& status) {
  switch (status.state) {
    case psNotOpened:
      return "not opened";
    case psOpen:
      return "open";
    case psLost:
      return "lost: trying again every second";
    case psLostForGood:
      return "lost: " + status.reason + "; not opened again, as its name may pass to another program";
    case psCannotOpen:
      return "cannot open: " + status.reason;
    case psConnecting:
      return "connecting";
  }
  return {};
}

std::string DeviceText(const TPortStatus& status) {
  return SameName(status.device, status.port) ? std::string() : status.device;
}

std::string NotSentText(const TPortStatus& status) {
  // "is cannot open" would not read.
  if (status.state == psCannotOpen) return "port " + status.port + " cannot be opened: " + status.reason;
  return "port " + status.port + " is " + PortStateText(status);
}

std::string LinkCountsText(const TLinkCounts& counts) {
  return "received " + std::to_string(counts.received) + "   sent " + std::to_string(counts.sent) +
         "   ACKs sent " + std::to_string(counts.acks) + "   checksum errors " +
         std::to_string(counts.checksumErrors);
}

}  // namespace ardel
