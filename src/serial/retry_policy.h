#pragma once
// The one policy for a port that is not there: whether it is tried again, and whether a
// try may open what its path leads to now.

#include <sys/types.h>
#include <time.h>

#include <string>

namespace ardel {

// Whether a port whose device went away, or could not be opened, is tried again,
// judged by the name alone. A network port is: its server may come back. A
// pseudo-terminal named by its number may not: the system hands a freed number to the
// next program that asks for a terminal, which would then be taken over. A stable name
// that points at one (a link, as udev's by-id names are) follows its owner and may.
bool MayReopenAfterLoss(const std::string& device);

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

}  // namespace ardel
