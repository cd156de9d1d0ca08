// The link log's store at length: resident memory, index bytes per line, the cost of one
// append and of reading one page back at a random place, at 1, 10 and 100 million lines.
// Capturing is on, into files of 256 MB in a temporary folder that is removed at the end.
//
//   bench_log_store [million lines at most = 100]
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <random>
#include <string>

#include "log/log_store.h"
#include "process_stats.h"

int main(int argc, char** argv) {
  const long millions = argc > 1 ? std::atol(argv[1]) : 100;
  char pattern[] = "/var/tmp/ardel-bench-log-XXXXXX";
  if (::mkdtemp(pattern) == nullptr) return 1;
  const std::string dir = std::string(pattern) + "/";
  using Clock = std::chrono::steady_clock;
  {
    ardel::TLogStore store;
    const auto t0 = std::chrono::system_clock::now();
    store.StartCapture(ardel::TCaptureSettings{true, dir, 256u << 20}, t0);
    const std::string text = "  08.12.2026 18:45:12   6B 05 30000000 FFFFFF80 30   simulated TRT telegram";
    std::mt19937_64 random(1);
    std::size_t done = 0;
    double appendSeconds = 0;
    for (long target : {1L, 10L, 100L}) {
      if (target > millions) break;
      const std::size_t lines = static_cast<std::size_t>(target) * 1000000;
      const auto start = Clock::now();
      for (; done < lines; ++done) {
        store.Append(done % 2 ? ardel::lkRx : ardel::lkTx, t0 + std::chrono::milliseconds(done / 128), text);
        if (done % 4096 == 0) store.Poll(t0 + std::chrono::milliseconds(done / 128));
      }
      appendSeconds += std::chrono::duration<double>(Clock::now() - start).count();
      store.Flush();
      // Each read lands on a page that is not cached.
      const int reads = 2000;
      const auto readStart = Clock::now();
      std::size_t sum = 0;
      for (int k = 0; k < reads; ++k) sum += store.Peek(random() % store.Count()).text.size();
      const double readUs = std::chrono::duration<double, std::micro>(Clock::now() - readStart).count() / reads;
      std::printf("%4ld M lines: resident %6.1f MB, index %.4f bytes/line, append %.0f ns/line, "
                  "random page read %.1f us (%zu)\n",
                  target, ardel::bench::ResidentBytes() / 1e6,
                  static_cast<double>(store.IndexBytes()) / static_cast<double>(store.Count()),
                  appendSeconds * 1e9 / static_cast<double>(done), readUs, sum % 10);
      std::fflush(stdout);
    }
  }
  std::filesystem::remove_all(dir);
  return 0;
}
