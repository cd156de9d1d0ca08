#pragma once
// The program's event loop on Qt's: QTimer, a queued call, QSocketNotifier.

#include <QObject>

#include "app/event_loop.h"

namespace ardel::ui {

class TQtEventLoop : public IEventLoop {
 public:
  TQtEventLoop();
  ~TQtEventLoop() override;

  std::unique_ptr<ITimer> NewTimer(TTimerKind kind, std::function<void()> onTimeout) override;
  void Wake(std::function<void()> job) override;
  std::unique_ptr<IWatch> WatchReadable(int fd, std::function<void()> onReadable) override;
  // Ends QCoreApplication's loop, a modal dialog's loop too.
  void Quit(int status) override;

  // Whether a job given to Wake, by any loop of the process, has not run yet: the port's
  // hand-over above all. Long work on the main thread asks this and steps aside.
  static bool JobsWaiting();

 private:
  // Jobs woken for a loop that has gone are dropped with it.
  QObject context_;
};

}  // namespace ardel::ui
