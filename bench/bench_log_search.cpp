// Finding lines at length: a text and a pattern search over 10 million lines of the link
// log's store (captured, so read back from disk), then the capture file the run left
// (about 1 GB) opened read-only and searched.
//
//   bench_log_search [million lines = 10]
#include <sys/resource.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "log/capture_file.h"
#include "log/log_search.h"
#include "log/log_store.h"
#include "process_stats.h"

namespace {

using Clock = std::chrono::steady_clock;

double Seconds(Clock::time_point since) { return std::chrono::duration<double>(Clock::now() - since).count(); }

// Runs the search in its slices, as the window does, and says how long the longest took.
void Search(const char* what, ardel::TLogSearch& search, const char* query, ardel::TSearchMode mode) {
  const auto start = Clock::now();
  search.Start(query, mode);
  double longest = 0;
  int slices = 0;
  for (bool done = false; !done; ++slices) {
    const auto slice = Clock::now();
    done = search.Step();
    longest = std::max(longest, Seconds(slice));
  }
  std::printf("%-8s %-22s %8zu hits in %.3f s, %d slices, longest %.1f ms\n", what, query, search.Hits().size(),
              Seconds(start), slices, longest * 1e3);
}

}  // namespace

int main(int argc, char** argv) {
  const long millions = argc > 1 ? std::atol(argv[1]) : 10;
  char pattern[] = "/var/tmp/ardel-bench-search-XXXXXX";
  if (::mkdtemp(pattern) == nullptr) return 1;
  const std::string dir = std::string(pattern) + "/";
  const std::size_t lines = static_cast<std::size_t>(millions) * 1000000;
  std::string capture;
  {
    ardel::TLogStore store;
    const auto t0 = std::chrono::system_clock::now();
    store.StartCapture(ardel::TCaptureSettings{true, dir, std::size_t{4} << 30}, t0);
    capture = store.CaptureFile();
    const std::string rx = "R 09.12.2026 02:41:21   6B 05 30000000 FFFFFF80 30   simulated TRT telegram";
    const std::string tx = "S 09.12.2026 02:41:21   8B B4 00000003 FFFFFF80 00   answer of station 3";
    for (std::size_t i = 0; i < lines; ++i) {
      const bool odd = i % 2 != 0;
      store.Append(odd ? ardel::lkRx : ardel::lkTx, t0 + std::chrono::milliseconds(i / 128),
                   i % 100000 == 77 ? "E 09.12.2026 02:41:21   checksum error" : odd ? rx : tx);
      if (i % 4096 == 0) store.Poll(t0 + std::chrono::milliseconds(i / 128));
    }
    store.Flush();
    std::printf("store of %zu lines, resident %.1f MB\n", store.Count(), ardel::bench::ResidentBytes() / 1e6);
    ardel::TLogSearch search(store);
    Search("store", search, "CHECKSUM ERROR", ardel::smText);
    Search("store", search, "station 3", ardel::smText);
    Search("store", search, "8B B4 * FFFFFF80 *", ardel::smPattern);
  }
  {
    const long before = ardel::bench::ResidentBytes();
    const auto start = Clock::now();
    ardel::TCaptureFile file;
    if (!file.Open(capture)) {
      std::fprintf(stderr, "%s\n", file.Error().c_str());
      return 1;
    }
    const double seconds = Seconds(start);
    std::printf("capture %.2f GB: %zu lines (%zu unreadable) opened in %.3f s, resident %.1f MB (+%.1f), "
                "index %zu bytes\n",
                static_cast<double>(std::filesystem::file_size(capture)) / 1e9, file.Count(), file.Unreadable(),
                seconds, ardel::bench::ResidentBytes() / 1e6,
                static_cast<double>(ardel::bench::ResidentBytes() - before) / 1e6, file.IndexBytes());
    ardel::TLogSearch search(file);
    Search("capture", search, "CHECKSUM ERROR", ardel::smText);
    Search("capture", search, "8B B4 * FFFFFF80 *", ardel::smPattern);
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    std::printf("peak resident of the whole run %.1f MB\n", static_cast<double>(usage.ru_maxrss) / 1e3);
  }
  std::filesystem::remove_all(dir);
  return 0;
}
