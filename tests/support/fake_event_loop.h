#pragma once
// An event loop with a clock of its own: timers fire only when the test moves the clock,
// so ticks and retries take no real time. Jobs woken from other threads (the port's
// receive thread) and readable descriptors are served whenever the test lets the loop run.

#ifdef _WIN32
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <io.h>
#include <windows.h>
#else
#include <poll.h>
#endif

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "app/event_loop.h"

namespace ardel::testing {

class TFakeEventLoop : public IEventLoop {
 public:
  using ms = std::chrono::milliseconds;

  ms Now() const { return now_; }

  std::unique_ptr<ITimer> NewTimer(TTimerKind kind, std::function<void()> onTimeout) override {
    return std::make_unique<TTimer>(*this, kind, std::move(onTimeout));
  }
  void Wake(std::function<void()> job) override {
    {
      const std::lock_guard<std::mutex> lock(mutex_);
      jobs_.push_back(std::move(job));
    }
    woken_.notify_all();
  }
  std::unique_ptr<IWatch> WatchReadable(int fd, std::function<void()> onReadable) override {
    return std::make_unique<TWatch>(*this, fd, std::move(onReadable));
  }
  void Quit(int status) override {
    quitCalled = true;
    quitStatus = status;
  }

  // Runs what is ready without moving the clock: woken jobs, readable descriptors.
  // Returns how many callbacks ran.
  int RunPending() {
    int ran = 0;
    for (int round = 0; round < 1000; ++round) {
      std::deque<std::function<void()>> jobs;
      {
        const std::lock_guard<std::mutex> lock(mutex_);
        jobs.swap(jobs_);
      }
      int now = 0;
      for (auto& job : jobs) job(), ++now;
      now += ServeWatches();
      if (now == 0) break;
      ran += now;
    }
    return ran;
  }

  // Moves the clock on, firing each timer that falls due in its order, and running what
  // is ready after each.
  void Advance(ms by) {
    const ms target = now_ + by;
    RunPending();
    for (;;) {
      TTimer* next = nullptr;
      for (TTimer* timer : timers_) {
        if (timer->active_ && timer->due_ <= target && (next == nullptr || timer->due_ < next->due_)) next = timer;
      }
      if (next == nullptr) break;
      now_ = next->due_;
      if (next->kind_ == tkSingleShot) {
        next->active_ = false;
      } else {
        next->due_ += std::max(next->interval_, ms(1));
      }
      next->onTimeout_();
      RunPending();
    }
    now_ = target;
  }

  // Waits in real time for other threads' jobs and for descriptors, serving them, until
  // done() holds; false when the limit passed first. The clock stands still.
  bool RunUntil(const std::function<bool()>& done, ms realLimit = ms(5000)) {
    const auto end = std::chrono::steady_clock::now() + realLimit;
    for (;;) {
      RunPending();
      if (done()) return true;
      if (std::chrono::steady_clock::now() > end) return false;
      std::unique_lock<std::mutex> lock(mutex_);
      woken_.wait_for(lock, ms(2), [this] { return !jobs_.empty(); });
    }
  }

  bool quitCalled = false;
  int quitStatus = -1;

 private:
  class TTimer : public ITimer {
   public:
    TTimer(TFakeEventLoop& loop, TTimerKind kind, std::function<void()> onTimeout)
        : loop_(loop), kind_(kind), onTimeout_(std::move(onTimeout)) {
      loop_.timers_.push_back(this);
    }
    ~TTimer() override { std::erase(loop_.timers_, this); }
    void Start(ms interval) override {
      active_ = true;
      interval_ = interval;
      due_ = loop_.now_ + interval;
    }
    void Stop() override { active_ = false; }
    bool IsActive() const override { return active_; }
    ms Interval() const override { return interval_; }

    TFakeEventLoop& loop_;
    TTimerKind kind_;
    std::function<void()> onTimeout_;
    bool active_ = false;
    ms interval_{0};
    ms due_{0};
  };

  class TWatch : public IWatch {
   public:
    TWatch(TFakeEventLoop& loop, int fd, std::function<void()> onReadable)
        : loop_(loop), fd_(fd), onReadable_(std::move(onReadable)) {
      loop_.watches_.push_back(this);
    }
    ~TWatch() override { std::erase(loop_.watches_, this); }

    TFakeEventLoop& loop_;
    int fd_;
    std::function<void()> onReadable_;
  };

  // As the program's own loop on each system: a closed writer or an error is served too,
  // so the reader sees its end; on Windows, what the descriptor's handle signals.
  static bool Readable(int fd) {
#ifdef _WIN32
    const auto handle = reinterpret_cast<HANDLE>(::_get_osfhandle(fd));
    return handle != INVALID_HANDLE_VALUE && ::WaitForSingleObject(handle, 0) == WAIT_OBJECT_0;
#else
    pollfd p{fd, POLLIN, 0};
    return ::poll(&p, 1, 0) == 1 && (p.revents & (POLLIN | POLLHUP | POLLERR | POLLNVAL)) != 0;
#endif
  }

  int ServeWatches() {
    int ran = 0;
    const std::vector<TWatch*> watches = watches_;
    for (TWatch* watch : watches) {
      if (Readable(watch->fd_)) {
        watch->onReadable_();
        ++ran;
      }
    }
    return ran;
  }

  ms now_{0};
  std::vector<TTimer*> timers_;
  std::vector<TWatch*> watches_;
  std::mutex mutex_;
  std::condition_variable woken_;
  std::deque<std::function<void()>> jobs_;
};

// Keeps what would have been shown, with its encoding.
class TRecordingErrorSink : public IErrorSink {
 public:
  void ShowError(std::string_view text, TTextEncoding encoding) override {
    shown.emplace_back(text);
    encodings.push_back(encoding);
  }
  std::vector<std::string> shown;
  std::vector<TTextEncoding> encodings;
};

}  // namespace ardel::testing
