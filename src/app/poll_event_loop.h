#pragma once
// The program's event loop on poll(): timers on the monotonic clock, a wake-up that any
// thread may ring (an eventfd), descriptors to watch. For programs without a toolkit.
// On Windows it waits on handles: the wake-up is an event, a watched descriptor is the
// handle behind it (a console's input, for one).

#include <chrono>
#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <vector>

#include "app/event_loop.h"

namespace ardel {

class TPollEventLoop : public IEventLoop {
 public:
  using TClockTime = std::chrono::steady_clock::time_point;

  // Throws std::runtime_error when the wake-up descriptor cannot be made.
  TPollEventLoop();
  ~TPollEventLoop() override;
  TPollEventLoop(const TPollEventLoop&) = delete;
  TPollEventLoop& operator=(const TPollEventLoop&) = delete;

  std::unique_ptr<ITimer> NewTimer(TTimerKind kind, std::function<void()> onTimeout) override;
  void Wake(std::function<void()> job) override;
  std::unique_ptr<IWatch> WatchReadable(int fd, std::function<void()> onReadable) override;
  void Quit(int status) override;

  // Serves timers, jobs and descriptors until Quit; returns Quit's status. A Quit from
  // before the run ends it at once.
  int Run();
  // Runs the jobs woken so far and what they wake in turn, without waiting.
  void RunPending();

 private:
  class TTimer;
  class TWatch;
  struct TTimerState {
    TTimerKind kind;
    std::function<void()> onTimeout;
    bool active = false;
    std::chrono::milliseconds interval{0};
    TClockTime due{};
  };
  struct TWatchState {
    int fd;
    std::function<void()> onReadable;
  };

  // One round: waits at most until the next timer (or not at all), then serves.
  void RunOnce(bool mayWait);
  void RunDueTimers();
  // The jobs woken so far, not those they wake; false when there were none.
  bool RunWaitingJobs();
  void DrainWakeFd();
  void RingWakeFd();
  // Waits at most timeout milliseconds (-1: without end) for the wake-up or a watched
  // descriptor; the watches whose descriptor is readable.
  std::vector<std::uint64_t> WaitReadable(int timeout);

  std::intptr_t wakeFd_ = -1;  // the eventfd; on Windows the event's handle
  std::mutex mutex_;
  std::deque<std::function<void()>> jobs_;  // guarded by mutex_

  // By number, so a callback may remove any entry, itself too, while others are served.
  std::uint64_t nextId_ = 1;
  std::map<std::uint64_t, TTimerState> timers_;
  std::map<std::uint64_t, TWatchState> watches_;

  bool quit_ = false;
  int status_ = 0;
};

}  // namespace ardel
