#include "ui/qt_event_loop.h"

#include <QCoreApplication>
#include <QMetaObject>
#include <QSocketNotifier>
#include <QTimer>
#include <atomic>
#include <utility>

namespace ardel::ui {

namespace {

std::atomic<int> jobsWaiting{0};

// Counts a woken job until it runs, or until it is dropped unrun with its loop.
class TWaitingMark {
 public:
  TWaitingMark() { jobsWaiting.fetch_add(1, std::memory_order_relaxed); }
  TWaitingMark(TWaitingMark&& other) noexcept : counted_(std::exchange(other.counted_, false)) {}
  TWaitingMark(const TWaitingMark&) = delete;
  TWaitingMark& operator=(const TWaitingMark&) = delete;
  TWaitingMark& operator=(TWaitingMark&&) = delete;
  ~TWaitingMark() { Release(); }
  void Release() {
    if (std::exchange(counted_, false)) jobsWaiting.fetch_sub(1, std::memory_order_relaxed);
  }

 private:
  bool counted_ = true;
};

class TQtTimer : public ITimer {
 public:
  TQtTimer(TTimerKind kind, std::function<void()> onTimeout) {
    timer_.setSingleShot(kind == tkSingleShot);
    QObject::connect(&timer_, &QTimer::timeout, &timer_, std::move(onTimeout));
  }
  void Start(std::chrono::milliseconds interval) override { timer_.start(interval); }
  void Stop() override { timer_.stop(); }
  bool IsActive() const override { return timer_.isActive(); }
  std::chrono::milliseconds Interval() const override { return timer_.intervalAsDuration(); }

 private:
  QTimer timer_;
};

class TQtWatch : public IWatch {
 public:
  TQtWatch(int fd, std::function<void()> onReadable) : notifier_(fd, QSocketNotifier::Read) {
    QObject::connect(&notifier_, &QSocketNotifier::activated, &notifier_, [run = std::move(onReadable)] { run(); });
  }

 private:
  QSocketNotifier notifier_;
};

}  // namespace

TQtEventLoop::TQtEventLoop() = default;
TQtEventLoop::~TQtEventLoop() = default;

std::unique_ptr<ITimer> TQtEventLoop::NewTimer(TTimerKind kind, std::function<void()> onTimeout) {
  return std::make_unique<TQtTimer>(kind, std::move(onTimeout));
}

void TQtEventLoop::Wake(std::function<void()> job) {
  // mutable: the mark is released before the job runs, so what the job wakes counts anew.
  QMetaObject::invokeMethod(
      &context_,
      [mark = TWaitingMark(), job = std::move(job)]() mutable {
        mark.Release();
        job();
      },
      Qt::QueuedConnection);
}

bool TQtEventLoop::JobsWaiting() { return jobsWaiting.load(std::memory_order_relaxed) > 0; }

std::unique_ptr<IWatch> TQtEventLoop::WatchReadable(int fd, std::function<void()> onReadable) {
  return std::make_unique<TQtWatch>(fd, std::move(onReadable));
}

void TQtEventLoop::Quit(int status) { QCoreApplication::exit(status); }

}  // namespace ardel::ui
