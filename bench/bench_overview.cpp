// What the bus overview costs: the receive path per telegram with and without it, side
// by side in one run, and the memory after noise that names a million IDs.
#include <benchmark/benchmark.h>
#include <time.h>

#include <algorithm>
#include <vector>

#include "app/overview_feed.h"
#include "link/receive_path.h"
#include "log/bus_overview.h"
#include "log/link_log.h"
#include "process_stats.h"
#include "queue/queues.h"

namespace ardel {
namespace {

constexpr std::size_t kTelegrams = 1024;

// Sender telegrams of 64 IDs, as a delivery from the port holds them.
std::string TelegramStream(std::size_t count) {
  std::string bytes;
  for (std::size_t i = 0; i < count; ++i) {
    TTelegramBody body{0x6B, 0x05, 0x30, 0, 0, 0, 0xFF, 0xFF, 0xFF, static_cast<std::uint8_t>(0x80 + i % 64), 0x30};
    const TWireTelegram wire = EncodeTelegram(body);
    bytes.append(reinterpret_cast<const char*>(wire.data()), wire.size());
  }
  return bytes;
}

// The receive path as the program runs it (framing, the log line with its time stamp,
// the answer list), without and with the overview fed, in turns within each iteration so
// that the machine's other work weighs on both alike. Times are the thread's CPU time;
// reports each one's time per telegram and the median of what the overview adds, in
// percent, over the iterations.
double ThreadCpuNs() {
  timespec t{};
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
  return static_cast<double>(t.tv_sec) * 1e9 + static_cast<double>(t.tv_nsec);
}

void BM_ReceivePathSideBySide(benchmark::State& state) {
  const std::string bytes = TelegramStream(kTelegrams);
  TBusOverview overview;
  TOverviewFeed feed(overview, SystemClock());
  double without = 0, with = 0;
  std::vector<double> added;
  std::int64_t round = 0;
  for (auto _ : state) {
    TLinkLog logA, logB;
    TQueues queuesA, queuesB;
    TReceivePath plain(logA, queuesA.Answers());
    TReceivePath fed(logB, queuesB.Answers());
    fed.SetTraffic(&feed);
    const bool plainFirst = ++round % 2 == 0;
    TReceivePath& first = plainFirst ? plain : fed;
    TReceivePath& second = plainFirst ? fed : plain;
    const double t0 = ThreadCpuNs();
    first.ComPort1ReceiveCallBack(bytes);
    const double t1 = ThreadCpuNs();
    second.ComPort1ReceiveCallBack(bytes);
    const double t2 = ThreadCpuNs();
    const double plainNs = plainFirst ? t1 - t0 : t2 - t1;
    const double fedNs = plainFirst ? t2 - t1 : t1 - t0;
    without += plainNs;
    with += fedNs;
    added.push_back(100.0 * (fedNs - plainNs) / plainNs);
    state.SetIterationTime((t2 - t0) / 1e9);
    benchmark::DoNotOptimize(queuesA.Answers().Count() + queuesB.Answers().Count());
  }
  const double telegrams = static_cast<double>(state.iterations()) * kTelegrams;
  std::nth_element(added.begin(), added.begin() + static_cast<std::ptrdiff_t>(added.size() / 2), added.end());
  state.counters["without_ns_per_telegram"] = without / telegrams;
  state.counters["with_ns_per_telegram"] = with / telegrams;
  state.counters["overview_adds_percent_median"] = added[added.size() / 2];
}
BENCHMARK(BM_ReceivePathSideBySide)->UseManualTime()->Unit(benchmark::kMicrosecond)->Repetitions(5);

// The overview's own part of the receive path: one good telegram.
void BM_OverviewReceived(benchmark::State& state) {
  TBusOverview overview;
  const auto at = std::chrono::system_clock::now();
  std::uint8_t id = 0;
  for (auto _ : state) {
    const auto low = static_cast<std::uint8_t>(0x80 + (id++ & 63));
    overview.Received(TTelegramBody{0x6B, 0x05, 0x30, 0, 0, 0, 0xFF, 0xFF, 0xFF, low, 0x30}, at);
  }
  benchmark::DoNotOptimize(overview.Totals().telegramsReceived);
}
BENCHMARK(BM_OverviewReceived);

// Noise whose framed bytes name a million different IDs: the rows stay at the limit
// and the rest counts as "other". Reports the rows and the process's resident memory.
void BM_OverviewNoiseMillionIds(benchmark::State& state) {
  const long before = bench::ResidentBytes();
  std::size_t rows = 0, ids = 0;
  long after = 0;
  for (auto _ : state) {
    TBusOverview overview;
    auto at = std::chrono::system_clock::now();
    for (std::uint32_t i = 0; i < 1'000'000; ++i) {
      const TTelegramBody body{0x6B, 0x05, 0, 0, 0, 0, static_cast<std::uint8_t>(i >> 24),
                               static_cast<std::uint8_t>(i >> 16), static_cast<std::uint8_t>(i >> 8),
                               static_cast<std::uint8_t>(i), 0};
      if (i % 2 == 0) {
        overview.ChecksumError(body, at);
      } else {
        overview.Received(body, at);
      }
      if (i % 1000 == 0) at += std::chrono::milliseconds(10);
    }
    ids = overview.IdCount();
    rows = overview.Rows({}).size();
    state.counters["overview_kB"] = static_cast<double>(overview.MemoryBytes() / 1024);
    after = bench::ResidentBytes();
  }
  state.counters["rows"] = static_cast<double>(rows);
  state.counters["ids_kept"] = static_cast<double>(ids);
  state.counters["rss_before_kB"] = static_cast<double>(before / 1024);
  state.counters["rss_after_kB"] = static_cast<double>(after / 1024);
}
BENCHMARK(BM_OverviewNoiseMillionIds)->Iterations(1)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace ardel


BENCHMARK_MAIN();
