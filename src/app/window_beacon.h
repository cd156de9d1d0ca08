#pragma once
// A second start on a program directory in use asks the window that holds it to come to
// the front, as a desktop program does, instead of refusing. The holder listens on a
// local socket (on Windows a named pipe) named after its process id, which the
// directory's lock file gives to the second start; it goes with the process, however it
// ends.

#include <chrono>
#include <functional>
#include <memory>
#include <sys/types.h>

#include "app/event_loop.h"

namespace ardel {

class TWindowBeacon {
 public:
  // Listens for this process on the loop; onRequest runs on the main thread for every
  // start that asks. Without a socket (the system refuses one) nobody can ask: the
  // second start then refuses as before.
  TWindowBeacon(IEventLoop& loop, std::function<void()> onRequest);
  ~TWindowBeacon();
  TWindowBeacon(const TWindowBeacon&) = delete;
  TWindowBeacon& operator=(const TWindowBeacon&) = delete;

  bool Listening() const;

 private:
  // Each system listens in its own way.
  class TListener;
  std::unique_ptr<TListener> listener_;
};

// Asks the window of the process holder to come to the front. True once it said so
// within the wait; false when no such window listens (another kind of program holds the
// directory, or it is gone).
bool AskWindowToFront(pid_t holder, std::chrono::milliseconds wait);

}  // namespace ardel
