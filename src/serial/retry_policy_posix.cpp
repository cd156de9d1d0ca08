#include "serial/retry_policy.h"

#include <sys/stat.h>
#include <sys/sysmacros.h>

namespace ardel {

bool MayReopenAfterLoss(const std::string& device) {
  return device.rfind("/dev/pts/", 0) != 0 && device != "/dev/ptmx" && device.rfind("/dev/pty", 0) != 0;
}

TDeviceIdentity IdentifyDevice(const std::string& path) {
  TDeviceIdentity id;
  struct stat st {};
  if (::lstat(path.c_str(), &st) == 0 && S_ISLNK(st.st_mode)) {
    id.isLink = true;
    id.linkDev = st.st_dev;
    id.linkIno = st.st_ino;
    id.linkCtime = st.st_ctim;
  }
  if (::stat(path.c_str(), &st) == 0 && S_ISCHR(st.st_mode)) {
    id.exists = true;
    id.rdev = st.st_rdev;
    // Unix 98 slaves (majors 136..143) and the old BSD ones (major 3).
    const unsigned major = ::major(st.st_rdev);
    id.pseudoTerminal = (major >= 136 && major <= 143) || major == 3;
  }
  return id;
}

}  // namespace ardel
