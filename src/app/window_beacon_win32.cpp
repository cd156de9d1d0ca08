#include "app/window_beacon.h"

namespace ardel {

// No beacon on Windows yet: nobody can ask, so a second start refuses, as it does where
// the system refuses the socket.
TWindowBeacon::TWindowBeacon(IEventLoop& loop, std::function<void()> onRequest)
    : loop_(loop), onRequest_(std::move(onRequest)) {}

TWindowBeacon::~TWindowBeacon() = default;

void TWindowBeacon::Accept() {}
void TWindowBeacon::Read(int) {}
void TWindowBeacon::Drop(int) {}

bool AskWindowToFront(pid_t, std::chrono::milliseconds) { return false; }

}  // namespace ardel
