#pragma once
// SIGTERM, SIGINT and SIGHUP end the program the way closing its window does: the
// handler only writes to a pipe, and the event loop reads it and runs the callback.

#include <QObject>
#include <functional>

class QSocketNotifier;

namespace ardel::ui {

class TQuitSignals : public QObject {
  Q_OBJECT
 public:
  // One at a time; the signals get their default action back when it goes.
  explicit TQuitSignals(std::function<void(int signal)> onSignal, QObject* parent = nullptr);
  ~TQuitSignals() override;

 private:
  void ReadPipe();

  std::function<void(int)> onSignal_;
  QSocketNotifier* notifier_ = nullptr;
};

}  // namespace ardel::ui
