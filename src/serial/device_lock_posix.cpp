#include "serial/device_lock.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

namespace ardel {

namespace {

std::string& LockFolderSetting() {
  static std::string folder = [] {
    struct stat st {};
    return std::string(::stat("/run/lock", &st) == 0 ? "/run/lock" : "/var/lock");
  }();
  return folder;
}

bool Alive(pid_t pid) { return pid > 0 && (::kill(pid, 0) == 0 || errno == EPERM); }

// The process named in a lock file, if it still runs and, where its descriptors can be
// seen, has the device open: a number passed on to another process is no holder.
pid_t LockFileHolder(const std::string& lockFile, const std::string& device) {
  std::ifstream in(lockFile);
  long number = 0;
  if (!(in >> number) || number <= 0) return 0;
  const auto pid = static_cast<pid_t>(number);
  if (!Alive(pid)) return 0;
  struct stat wanted {};
  if (pid == ::getpid() || ::stat(device.c_str(), &wanted) != 0) return pid;
  std::error_code error;
  std::filesystem::directory_iterator fds("/proc/" + std::to_string(pid) + "/fd", error);
  if (error) return pid;
  for (const auto& entry : fds) {
    struct stat st {};
    if (::stat(entry.path().c_str(), &st) == 0 && S_ISCHR(st.st_mode) && st.st_rdev == wanted.st_rdev) return pid;
  }
  return 0;
}

// The process holding a descriptor lock on the device, as the kernel lists it.
pid_t FlockHolder(const std::string& device) {
  struct stat st {};
  if (::stat(device.c_str(), &st) != 0) return 0;
  std::ifstream locks("/proc/locks");
  std::string line;
  while (std::getline(locks, line)) {
    std::istringstream fields(line);
    std::string number, kind, mode, access, pid, where;
    if (!(fields >> number >> kind)) continue;
    if (kind == "->") fields >> kind;  // a waiter
    if (!(fields >> mode >> access >> pid >> where)) continue;
    unsigned major = 0, minor = 0;
    unsigned long long inode = 0;
    if (std::sscanf(where.c_str(), "%x:%x:%llu", &major, &minor, &inode) != 3) continue;
    if (major == ::major(st.st_dev) && minor == ::minor(st.st_dev) && inode == st.st_ino)
      return static_cast<pid_t>(std::atol(pid.c_str()));
  }
  return 0;
}

}  // namespace

void SetLockFolder(const std::string& folder) { LockFolderSetting() = folder; }
const std::string& LockFolder() { return LockFolderSetting(); }

std::string LockFileOf(const std::string& device) {
  char resolved[PATH_MAX];
  std::string path = ::realpath(device.c_str(), resolved) != nullptr ? resolved : device;
  if (path.rfind("/dev/", 0) == 0) path.erase(0, 5);
  for (char& c : path) {
    if (c == '/') c = '_';
  }
  return LockFolder() + "/LCK.." + path;
}

pid_t DeviceHolder(const std::string& device) {
  if (const pid_t pid = LockFileHolder(LockFileOf(device), device); pid != 0 && pid != ::getpid()) return pid;
  return FlockHolder(device);
}

bool LockDescriptor(int fd) { return ::flock(fd, LOCK_EX | LOCK_NB) == 0; }

bool TakeLockFile(const std::string& device, pid_t& holder, std::string& taken) {
  const std::string lockFile = LockFileOf(device);
  for (int attempt = 0; attempt < 2; ++attempt) {
    const int fd = ::open(lockFile.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, 0644);
    if (fd >= 0) {
      char text[16];
      const int length = std::snprintf(text, sizeof text, "%10d\n", static_cast<int>(::getpid()));
      [[maybe_unused]] const auto written = ::write(fd, text, static_cast<std::size_t>(length));
      ::close(fd);
      taken = lockFile;
      return true;
    }
    if (errno != EEXIST) return true;
    holder = LockFileHolder(lockFile, device);
    if (holder == ::getpid()) return true;
    if (holder != 0) return false;
    // Left by a process that no longer runs.
    ::unlink(lockFile.c_str());
  }
  return true;
}

void ReleasePortLock(const std::string& lockFile) {
  if (lockFile.empty()) return;
  std::ifstream in(lockFile);
  long pid = 0;
  if (in >> pid && pid == ::getpid()) ::unlink(lockFile.c_str());
}

}  // namespace ardel
