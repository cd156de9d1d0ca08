#pragma once
// SIGTERM, SIGINT and SIGHUP end a program the way closing its window does: the handler
// only writes the signal's number to a pipe, and the program's loop reads it. On Windows
// the console's Ctrl+C (SIGINT), Ctrl+Break (SIGBREAK), and its closing, the log-off and
// the shut-down (SIGTERM) do the same; their handler runs on a thread of its own and
// hands the number over through the loop's Wake.

#include <functional>
#include <memory>

#include "app/event_loop.h"

namespace ardel {

// The one owner of the signals and their pipe; one at a time. The signals get their
// default action back when it goes.
class TSignalPipe {
 public:
  // Throws std::runtime_error when the pipe cannot be made.
  TSignalPipe();
  ~TSignalPipe();
  TSignalPipe(const TSignalPipe&) = delete;
  TSignalPipe& operator=(const TSignalPipe&) = delete;

  // Readable once a signal came; for poll() or an event loop. -1 on Windows, which has
  // no pipe to wait on.
  int ReadFd() const;
  // The last signal that came since the previous call, 0 for none.
  int Take();
};

// The pipe watched on an event loop: onSignal runs on the main thread.
class TQuitSignals {
 public:
  TQuitSignals(IEventLoop& loop, std::function<void(int signal)> onSignal);

 private:
  TSignalPipe pipe_;
  std::function<void(int)> onSignal_;
  std::unique_ptr<IWatch> watch_;
};

}  // namespace ardel
