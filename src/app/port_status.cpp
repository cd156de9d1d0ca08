#include "app/port_status.h"

namespace ardel {

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
