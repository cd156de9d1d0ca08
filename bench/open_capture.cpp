// Opens a capture file as the viewer does and says what it cost: lines, unreadable
// lines, seconds, and the peak of resident memory.
//
//   open_capture FILE
#include <sys/resource.h>

#include <chrono>
#include <cstdio>

#include "log/capture_file.h"

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: open_capture FILE\n");
    return 2;
  }
  const auto start = std::chrono::steady_clock::now();
  ardel::TCaptureFile file;
  if (!file.Open(argv[1])) {
    std::fprintf(stderr, "%s\n", file.Error().c_str());
    return 1;
  }
  if (file.Count() > 0) file.Peek(file.Count() - 1);
  const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  rusage usage{};
  ::getrusage(RUSAGE_SELF, &usage);
  std::printf("lines:             %zu\n", file.Count());
  std::printf("unreadable lines:  %zu\n", file.Unreadable());
  std::printf("seconds:           %.2f\n", seconds);
  std::printf("peak resident:     %ld kB\n", usage.ru_maxrss);
  return 0;
}
