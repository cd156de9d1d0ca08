// The serial port's hot paths: one synchronous hand-over between the receive thread and
// the main thread, and bytes from the far end of a pseudo-terminal to the callback.

#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <pty.h>
#include <unistd.h>

#include <condition_variable>
#include <deque>
#include <mutex>
#include <thread>

#include "serial/com_port.h"
#include "serial/hand_over.h"

namespace {

// A minimal main loop: the wake posts, the benchmark thread runs.
class TLoop {
 public:
  ardel::TWakeMainThread Wake() {
    return [this](std::function<void()> run) {
      std::lock_guard lock(mutex_);
      posted_.push_back(std::move(run));
      changed_.notify_one();
    };
  }
  void RunOne() {
    std::function<void()> run;
    {
      std::unique_lock lock(mutex_);
      changed_.wait(lock, [&] { return !posted_.empty(); });
      run = std::move(posted_.front());
      posted_.pop_front();
    }
    run();
  }

 private:
  std::mutex mutex_;
  std::condition_variable changed_;
  std::deque<std::function<void()>> posted_;
};

void BM_HandOverRoundTrip(benchmark::State& state) {
  TLoop loop;
  auto handOver = ardel::THandOver::Create(loop.Wake());
  std::atomic<bool> stop{false};
  std::thread worker([&] {
    while (!stop.load()) {
      if (!handOver->Deposit([] {})) break;
    }
    handOver->Finish();
  });
  for (auto _ : state) loop.RunOne();
  stop = true;
  handOver->Stop();
  handOver->ServeUntilFinished();
  worker.join();
}
BENCHMARK(BM_HandOverRoundTrip);

// One 15-byte telegram from the far end until the callback has it.
void BM_TelegramToCallback(benchmark::State& state) {
  int master = -1, slave = -1;
  if (::openpty(&master, &slave, nullptr, nullptr, nullptr) != 0) {
    state.SkipWithError("no pseudo-terminal");
    return;
  }
  TLoop loop;
  ardel::TComPort port;
  port.Port = ::ttyname(slave);
  port.ReceiveMode = ardel::rmRAW;
  port.SetWakeMainThread(loop.Wake());
  std::size_t received = 0;
  port.ReceiveCallBack = [&](const std::string& data) { received += data.size(); };
  port.OpenPort();
  const std::string telegram(15, '\x5A');
  for (auto _ : state) {
    const std::size_t want = received + telegram.size();
    [[maybe_unused]] auto n = ::write(master, telegram.data(), telegram.size());
    while (received < want) loop.RunOne();
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * telegram.size()));
  port.ClosePort();
  ::close(master);
  ::close(slave);
}
BENCHMARK(BM_TelegramToCallback);

}  // namespace

BENCHMARK_MAIN();
