#pragma once
// What the program needs of the event loop that runs it: timers, a wake-up from other
// threads, descriptors to watch, an end. The window runs it on Qt's loop, tests on a
// loop with a clock of their own; poll() could run it as well.

#include <chrono>
#include <functional>
#include <memory>
#include <string_view>

namespace ardel {

class ITimer {
 public:
  virtual ~ITimer() = default;
  // Starts the period anew from now, also when the timer runs already.
  virtual void Start(std::chrono::milliseconds interval) = 0;
  virtual void Stop() = 0;
  virtual bool IsActive() const = 0;
  // The interval of the last Start.
  virtual std::chrono::milliseconds Interval() const = 0;
};

// Watches as long as it exists.
class IWatch {
 public:
  virtual ~IWatch() = default;
};

enum TTimerKind { tkRepeating, tkSingleShot };

// Every callback runs on the main thread, from the loop, and must not throw.
class IEventLoop {
 public:
  virtual ~IEventLoop() = default;
  // A stopped timer; it stops for good when it goes.
  virtual std::unique_ptr<ITimer> NewTimer(TTimerKind kind, std::function<void()> onTimeout) = 0;
  // Runs the job on the main thread as soon as the loop gets to it; any thread may call
  // this, the main thread too. Jobs run in the order given.
  virtual void Wake(std::function<void()> job) = 0;
  // Calls onReadable whenever the descriptor has something to read.
  virtual std::unique_ptr<IWatch> WatchReadable(int fd, std::function<void()> onReadable) = 0;
  // Ends the loop's run with this exit status, also from inside a nested loop.
  virtual void Quit(int status) = 0;
};

// How a text's bytes are meant. Texts for people (error messages, file paths, the date)
// are UTF-8, converted from the locale's encoding where the system gives them; the
// link's and the files' byte texts are Latin-1, one character per byte.
enum TTextEncoding { teUtf8, teLatin1 };

// Where failures go: a dialog with one OK button, the terminal, or a test's record.
class IErrorSink {
 public:
  virtual ~IErrorSink() = default;
  virtual void ShowError(std::string_view text, TTextEncoding encoding) = 0;
};

}  // namespace ardel
