#include "app/poll_event_loop.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

namespace ardel {

using std::chrono::milliseconds;
using std::chrono::steady_clock;

class TPollEventLoop::TTimer : public ITimer {
 public:
  TTimer(TPollEventLoop& loop, std::uint64_t id) : loop_(loop), id_(id) {}
  ~TTimer() override { loop_.timers_.erase(id_); }

  void Start(milliseconds interval) override {
    TTimerState& state = loop_.timers_.at(id_);
    state.interval = std::max(interval, milliseconds(0));
    state.due = steady_clock::now() + state.interval;
    state.active = true;
  }
  void Stop() override { loop_.timers_.at(id_).active = false; }
  bool IsActive() const override { return loop_.timers_.at(id_).active; }
  milliseconds Interval() const override { return loop_.timers_.at(id_).interval; }

 private:
  TPollEventLoop& loop_;
  std::uint64_t id_;
};

class TPollEventLoop::TWatch : public IWatch {
 public:
  TWatch(TPollEventLoop& loop, std::uint64_t id) : loop_(loop), id_(id) {}
  ~TWatch() override { loop_.watches_.erase(id_); }

 private:
  TPollEventLoop& loop_;
  std::uint64_t id_;
};

std::unique_ptr<ITimer> TPollEventLoop::NewTimer(TTimerKind kind, std::function<void()> onTimeout) {
  const std::uint64_t id = nextId_++;
  timers_.emplace(id, TTimerState{kind, std::move(onTimeout)});
  return std::make_unique<TTimer>(*this, id);
}

void TPollEventLoop::Wake(std::function<void()> job) {
  {
    const std::lock_guard<std::mutex> lock(mutex_);
    jobs_.push_back(std::move(job));
  }
  RingWakeFd();
}

std::unique_ptr<IWatch> TPollEventLoop::WatchReadable(int fd, std::function<void()> onReadable) {
  const std::uint64_t id = nextId_++;
  watches_.emplace(id, TWatchState{fd, std::move(onReadable)});
  return std::make_unique<TWatch>(*this, id);
}

void TPollEventLoop::Quit(int status) {
  quit_ = true;
  status_ = status;
}

int TPollEventLoop::Run() {
  while (!quit_) RunOnce(true);
  quit_ = false;
  return status_;
}

void TPollEventLoop::RunPending() {
  while (RunWaitingJobs()) {
  }
}

bool TPollEventLoop::RunWaitingJobs() {
  // Drained before the jobs are taken: a job woken after the take rings it again.
  DrainWakeFd();
  std::deque<std::function<void()>> jobs;
  {
    const std::lock_guard<std::mutex> lock(mutex_);
    jobs.swap(jobs_);
  }
  for (auto& job : jobs) job();
  return !jobs.empty();
}

void TPollEventLoop::RunDueTimers() {
  const auto now = steady_clock::now();
  std::vector<std::pair<TClockTime, std::uint64_t>> due;
  for (const auto& [id, state] : timers_) {
    if (state.active && state.due <= now) due.emplace_back(state.due, id);
  }
  std::sort(due.begin(), due.end());
  for (const auto& [when, id] : due) {
    if (quit_) return;
    const auto found = timers_.find(id);
    // An earlier callback may have stopped, restarted or removed it.
    if (found == timers_.end() || !found->second.active || found->second.due != when) continue;
    TTimerState& state = found->second;
    if (state.kind == tkSingleShot) {
      state.active = false;
    } else {
      state.due += std::max(state.interval, milliseconds(1));
      // A loop held up for several periods fires once, not once per period missed.
      if (state.due <= now) state.due = now + std::max(state.interval, milliseconds(1));
    }
    // A copy: the callback may remove its own timer.
    const std::function<void()> onTimeout = state.onTimeout;
    if (onTimeout) onTimeout();
  }
}

void TPollEventLoop::RunOnce(bool mayWait) {
  int timeout = 0;
  if (mayWait) {
    timeout = -1;
    const auto now = steady_clock::now();
    for (const auto& [id, state] : timers_) {
      if (!state.active) continue;
      // Rounded up, so the wait never ends just before the timer is due.
      const auto left = std::chrono::ceil<milliseconds>(state.due - now).count();
      const int ms = static_cast<int>(std::clamp<long long>(left, 0, 1 << 30));
      if (timeout < 0 || ms < timeout) timeout = ms;
    }
  }
  const std::vector<std::uint64_t> readable = WaitReadable(timeout);

  // Only the jobs that wait now: what they, or another thread, hand over meanwhile waits
  // for the next turn, so that a flood slows the timers but never starves them.
  RunWaitingJobs();
  for (std::size_t i = 0; i < readable.size() && !quit_; ++i) {
    const auto found = watches_.find(readable[i]);
    if (found == watches_.end()) continue;
    const std::function<void()> onReadable = found->second.onReadable;
    if (onReadable) onReadable();
  }
  if (!quit_) RunDueTimers();
}

}  // namespace ardel
