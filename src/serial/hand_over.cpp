#include "serial/hand_over.h"

#include <utility>

namespace ardel {

std::shared_ptr<THandOver> THandOver::Create(TWakeMainThread wake) {
  return std::make_shared<THandOver>(std::move(wake));
}

bool THandOver::Deposit(TJob job) {
  std::uint64_t ticket = 0;
  {
    std::lock_guard lock(mutex_);
    if (stopped_) return false;
    job_ = std::move(job);
    pending_ = true;
    ticket = ++deposited_;
  }
  if (wake_) {
    // A wake that arrives after the hand-over is gone finds nothing to run.
    wake_([weak = weak_from_this()] {
      if (auto self = weak.lock()) self->RunPending();
    });
  }
  TJob dropped;
  {
    std::unique_lock lock(mutex_);
    changed_.wait(lock, [&] { return done_ >= ticket || stopped_; });
    if (done_ >= ticket) return true;
    if (pending_) {
      pending_ = false;
      dropped = std::move(job_);
    }
  }
  return false;  // `dropped` goes out of scope outside the lock
}

bool THandOver::RunPending() {
  TJob job;
  std::uint64_t ticket = 0;
  {
    std::lock_guard lock(mutex_);
    if (!pending_) return false;
    job = std::move(job_);
    job_ = nullptr;
    pending_ = false;
    ticket = deposited_;
  }
  auto markDone = [&] {
    std::lock_guard lock(mutex_);
    done_ = ticket;
    changed_.notify_all();
  };
  try {
    job();
  } catch (...) {
    markDone();
    throw;
  }
  markDone();
  return true;
}

void THandOver::ServeUntilFinished() {
  for (;;) {
    {
      std::unique_lock lock(mutex_);
      changed_.wait(lock, [&] { return pending_ || finished_; });
      if (!pending_) return;
    }
    RunPending();
  }
}

void THandOver::Stop() {
  std::lock_guard lock(mutex_);
  stopped_ = true;
  changed_.notify_all();
}

void THandOver::Finish() {
  std::lock_guard lock(mutex_);
  finished_ = true;
  changed_.notify_all();
}

bool THandOver::Stopped() const {
  std::lock_guard lock(mutex_);
  return stopped_;
}

}  // namespace ardel
