#include <windows.h>

#include <atomic>
#include <csignal>
#include <mutex>
#include <stdexcept>

#include "app/quit_signals.h"

namespace ardel {

namespace {

std::atomic<bool> taken{false};
std::atomic<int> lastSignal{0};
// Rings the owner's loop; set while a TQuitSignals watches.
std::mutex wakerMutex;
std::function<void()> waker;
// Set when the owner goes, which is after the program's files are saved.
HANDLE ownerGone = nullptr;

// Windows ends the process as soon as the handler of a console close, a log-off or a
// shut-down returns: it waits here for the save, at most the time Windows gives.
constexpr DWORD kCloseWaitMs = 4500;

BOOL WINAPI OnConsoleControl(DWORD type) {
  const int signal = type == CTRL_C_EVENT ? SIGINT : type == CTRL_BREAK_EVENT ? SIGBREAK : SIGTERM;
  lastSignal = signal;
  {
    const std::lock_guard<std::mutex> lock(wakerMutex);
    if (waker) waker();
  }
  if (type == CTRL_CLOSE_EVENT || type == CTRL_LOGOFF_EVENT || type == CTRL_SHUTDOWN_EVENT) {
    ::WaitForSingleObject(ownerGone, kCloseWaitMs);
  }
  return TRUE;
}

// What the loop's jobs reach; gone with the watch, so that a job still queued then
// does nothing.
struct TQuitState {
  std::mutex mutex;
  bool alive = true;
};

class TWakeWatch : public IWatch {
 public:
  explicit TWakeWatch(std::shared_ptr<TQuitState> state) : state_(std::move(state)) {}
  ~TWakeWatch() override {
    {
      const std::lock_guard<std::mutex> lock(wakerMutex);
      waker = nullptr;
    }
    const std::lock_guard<std::mutex> lock(state_->mutex);
    state_->alive = false;
  }

 private:
  std::shared_ptr<TQuitState> state_;
};

}  // namespace

TSignalPipe::TSignalPipe() {
  if (taken.exchange(true)) throw std::runtime_error("the quit signals are taken already");
  lastSignal = 0;
  ownerGone = ::CreateEventW(nullptr, TRUE, FALSE, nullptr);
  ::SetConsoleCtrlHandler(OnConsoleControl, TRUE);
}

TSignalPipe::~TSignalPipe() {
  ::SetConsoleCtrlHandler(OnConsoleControl, FALSE);
  if (ownerGone != nullptr) ::SetEvent(ownerGone);
  // The handle stays: a handler that waits on it may still run.
  taken = false;
}

int TSignalPipe::ReadFd() const { return -1; }

int TSignalPipe::Take() { return lastSignal.exchange(0); }

TQuitSignals::TQuitSignals(IEventLoop& loop, std::function<void(int)> onSignal)
    : onSignal_(std::move(onSignal)) {
  auto state = std::make_shared<TQuitState>();
  {
    const std::lock_guard<std::mutex> lock(wakerMutex);
    waker = [&loop, state, this] {
      loop.Wake([state, this] {
        {
          const std::lock_guard<std::mutex> lock(state->mutex);
          if (!state->alive) return;
        }
        const int signal = pipe_.Take();
        if (signal != 0 && onSignal_) onSignal_(signal);
      });
    };
  }
  watch_ = std::make_unique<TWakeWatch>(state);
}

}  // namespace ardel
