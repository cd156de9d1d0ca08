#include "serial/thread_priority.h"

#include <windows.h>

namespace ardel {

void RaiseOwnThreadPriority() { ::SetThreadPriority(::GetCurrentThread(), THREAD_PRIORITY_ABOVE_NORMAL); }

}  // namespace ardel
