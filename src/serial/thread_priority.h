#pragma once
// The receive thread's place before the window's thread.

namespace ardel {

// Raises the calling thread one step above normal where the system allows it; a refusal
// leaves it where it is.
void RaiseOwnThreadPriority();

}  // namespace ardel
