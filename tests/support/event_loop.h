#pragma once
// Runs the event loop of a window test while it waits for something to happen.

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTimer>
#include <functional>

namespace ardel::testing {

// True once done() holds; false when the limit passed first.
inline bool PumpUntil(const std::function<bool()>& done, int limitMs = 5000) {
  QElapsedTimer clock;
  clock.start();
  while (!done()) {
    if (clock.elapsed() > limitMs) return false;
    QTimer tick;
    tick.start(2);
    QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
  }
  return true;
}

inline void PumpFor(int ms) {
  PumpUntil([] { return false; }, ms);
}

}  // namespace ardel::testing
