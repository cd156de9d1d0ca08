#include <gtest/gtest.h>

#include "soak.h"

namespace ardel {
namespace {

// Noise may cost the telegrams it touches, never one it left alone.
TEST(ReceiveSoak, NoiseNeverCostsAnUntouchedTelegram) {
  for (std::uint32_t seed : {1u, 2u, 3u}) {
    const soak::TResult r = soak::Run(50000, 0.01, seed);
    EXPECT_EQ(r.sent, 50000u);
    EXPECT_GT(r.untouched, 40000u);
    EXPECT_EQ(r.untouchedReceived, r.untouched) << "seed " << seed;
    EXPECT_GT(r.checksumErrors, 0u);
  }
}

}  // namespace
}  // namespace ardel
