#include "ui/qt_event_loop.h"

#include <QCoreApplication>
#include <QMetaObject>
#include <QSocketNotifier>
#include <QTimer>

namespace ardel::ui {

namespace {

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
  QMetaObject::invokeMethod(&context_, std::move(job), Qt::QueuedConnection);
}

std::unique_ptr<IWatch> TQtEventLoop::WatchReadable(int fd, std::function<void()> onReadable) {
  return std::make_unique<TQtWatch>(fd, std::move(onReadable));
}

void TQtEventLoop::Quit(int status) { QCoreApplication::exit(status); }

}  // namespace ardel::ui
