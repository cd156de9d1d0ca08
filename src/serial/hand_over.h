#pragma once
// The synchronous hand-over of work from a worker thread to the main thread.
//
// The worker deposits a job and blocks until the main thread has run it. The main
// thread learns of a job through the wake function, which must make it call the given
// routine soon (a queued call of its event loop); it may also serve jobs directly while
// it waits for the worker to end, without running its event loop. Once stopped, the
// worker no longer waits for the main thread, so no shut-down order can deadlock.

#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>

namespace ardel {

// Called on the worker thread; makes the main thread call `run` soon.
using TWakeMainThread = std::function<void(std::function<void()> run)>;

class THandOver : public std::enable_shared_from_this<THandOver> {
 public:
  using TJob = std::function<void()>;

  static std::shared_ptr<THandOver> Create(TWakeMainThread wake);

  // Worker: runs the job on the main thread and returns when it has returned. Returns
  // false without waiting once the hand-over is stopped; a job that the main thread has
  // not taken by then is dropped.
  bool Deposit(TJob job);

  // Main thread: runs the waiting job, if any. A job already being run is not run again,
  // so a late or nested call does nothing.
  bool RunPending();

  // Main thread: serves jobs until the worker has called Finish.
  void ServeUntilFinished();

  // Any thread: the worker no longer waits in Deposit.
  void Stop();
  // Worker: it deposits nothing more.
  void Finish();

  bool Stopped() const;

  explicit THandOver(TWakeMainThread wake) : wake_(std::move(wake)) {}

 private:
  TWakeMainThread wake_;
  mutable std::mutex mutex_;
  std::condition_variable changed_;
  TJob job_;
  bool pending_ = false;
  bool stopped_ = false;
  bool finished_ = false;
  std::uint64_t deposited_ = 0;
  std::uint64_t done_ = 0;
};

}  // namespace ardel
