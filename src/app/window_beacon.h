#pragma once
// A second start on a program directory in use asks the window that holds it to come to
// the front, as a desktop program does, instead of refusing. The holder listens on a
// local socket named after its process id, which the directory's lock file gives to the
// second start; the socket goes with the process, however it ends.

#include <chrono>
#include <functional>
#include <map>
#include <memory>
#include <string>
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

  bool Listening() const { return fd_ >= 0; }

 private:
  static constexpr std::size_t kMaxAskers = 8;
  void Accept();
  void Read(int client);
  void Drop(int client);

  IEventLoop& loop_;
  int fd_ = -1;
  std::function<void()> onRequest_;
  std::unique_ptr<IWatch> watch_;
  struct TAsker {
    std::unique_ptr<IWatch> watch;
    std::string request;
    bool done = false;
  };
  std::map<int, TAsker> askers_;
  std::shared_ptr<bool> alive_ = std::make_shared<bool>(true);
};

// Asks the window of the process holder to come to the front. True once it said so
// within the wait; false when no such window listens (another kind of program holds the
// directory, or it is gone).
bool AskWindowToFront(pid_t holder, std::chrono::milliseconds wait);

}  // namespace ardel
