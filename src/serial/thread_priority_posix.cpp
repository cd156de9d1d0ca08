#include "serial/thread_priority.h"

#include <sys/resource.h>
#include <unistd.h>

namespace ardel {

void RaiseOwnThreadPriority() {
  ::setpriority(PRIO_PROCESS, static_cast<id_t>(::gettid()),
                ::getpriority(PRIO_PROCESS, static_cast<id_t>(::gettid())) - 1);
}

}  // namespace ardel
