#pragma once
// Keeping other programs off a device: a lock on the open descriptor, which dies with
// the process however it ends, and a lock file LCK..<name> in the system's lock folder
// for the programs that look there.

#include <sys/types.h>

#include <string>

namespace ardel {

// The folder of the lock files: /run/lock, else /var/lock. Tests point it elsewhere.
void SetLockFolder(const std::string& folder);
const std::string& LockFolder();

// The lock file's path, the same for every path that leads to the device.
std::string LockFileOf(const std::string& device);

// The process that holds the device, from its lock file or its descriptor lock;
// 0 when none can be told. Needs no descriptor of the device, so it can be asked
// before the device is opened.
pid_t DeviceHolder(const std::string& device);

// Takes the descriptor's lock; false with errno set when another descriptor has it.
bool LockDescriptor(int fd);

// Takes the lock file; false with the holder when a running process has it. A folder
// that cannot be written leaves the descriptor's lock alone to keep others out, and
// taken empty. One left by a process that no longer runs is taken over.
bool TakeLockFile(const std::string& device, pid_t& holder, std::string& taken);

// Lifts a lock file named at the open: the device may be gone by now.
void ReleasePortLock(const std::string& lockFile);

}  // namespace ardel
