#include "queue/queues.h"

namespace ardel {

void TQueues::SetRepeatCntr(int value) {
  repeatCntr_ = value;
  if (repeatChanged_) repeatChanged_(value);
}

void TQueues::SetAutoTransmit(bool checked) {
  autoTransmit_ = checked;
  transmitPermit_ = checked;
}

}  // namespace ardel
