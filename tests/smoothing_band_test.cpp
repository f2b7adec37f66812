#include "processing/smoothing_band.h"

#include <gtest/gtest.h>

#include <cstdint>

namespace {

// The smoothing divides by multiplying: exact for every neighbour count and
// every sum that 16-bit heights can give.
TEST(SmoothingMeanTest, MultiplyAndShiftDividesExactly) {
  for (uint32_t count : {1u, 2u, 3u, 4u, 6u, 9u}) {
    uint32_t multiplier = meanMultiplier(static_cast<int32_t>(count));
    for (uint32_t sum = 0; sum <= count * 65535u; ++sum) {
      ASSERT_EQ(meanOf(sum, multiplier), sum / count) << sum << " / " << count;
    }
  }
}

}  // namespace
