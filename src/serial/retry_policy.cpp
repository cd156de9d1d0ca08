#include "serial/retry_policy.h"

namespace ardel {

bool MayReopenAfterLoss(const TDeviceIdentity& atLoss, const TDeviceIdentity& now) {
  if (!now.pseudoTerminal) return true;
  if (!now.isLink) return false;
  const bool sameLink = atLoss.isLink && atLoss.linkDev == now.linkDev && atLoss.linkIno == now.linkIno &&
                        atLoss.linkCtime.tv_sec == now.linkCtime.tv_sec &&
                        atLoss.linkCtime.tv_nsec == now.linkCtime.tv_nsec;
  return !sameLink;
}

}  // namespace ardel
