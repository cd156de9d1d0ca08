#include "serial/device_lock.h"

namespace ardel {

// On Windows the exclusive open is the lock: the system refuses a second open of a COM
// port and lifts the hold when the process ends. No lock file is written.

void SetLockFolder(const std::string&) {}

const std::string& LockFolder() {
  static const std::string none;
  return none;
}

std::string LockFileOf(const std::string&) { return {}; }

pid_t DeviceHolder(const std::string&) { return 0; }

bool LockDescriptor(int) { return true; }

bool TakeLockFile(const std::string&, pid_t&, std::string& taken) {
  taken.clear();
  return true;
}

void ReleasePortLock(const std::string&) {}

}  // namespace ardel
