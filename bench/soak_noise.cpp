// The receive path under a long stream with noise: every telegram that the noise did not
// touch must reach the answer list, and memory stays flat.
//
//   soak_noise [telegrams=1000000] [noise share=0.01] [seed=1]
#include <unistd.h>

#include <cstdio>

#include "process_stats.h"
#include <cstdlib>

#include "../tests/link/soak.h"

int main(int argc, char** argv) {
  const std::uint64_t count = argc > 1 ? std::strtoull(argv[1], nullptr, 10) : 1000000;
  const double noise = argc > 2 ? std::atof(argv[2]) : 0.01;
  const auto seed = static_cast<std::uint32_t>(argc > 3 ? std::atoi(argv[3]) : 1);
  const long before = (ardel::bench::ResidentBytes() / 1024);
  const ardel::soak::TResult r = ardel::soak::Run(count, noise, seed);
  std::printf("telegrams sent:              %llu\n", static_cast<unsigned long long>(r.sent));
  std::printf("untouched by the noise:      %llu\n", static_cast<unsigned long long>(r.untouched));
  std::printf("untouched and received:      %llu\n", static_cast<unsigned long long>(r.untouchedReceived));
  std::printf("received in all:             %llu\n", static_cast<unsigned long long>(r.received));
  std::printf("checksum error lines:        %llu\n", static_cast<unsigned long long>(r.checksumErrors));
  std::printf("resident memory: %ld kB before, %ld kB after\n", before, (ardel::bench::ResidentBytes() / 1024));
  return r.untouchedReceived == r.untouched ? 0 : 1;
}
