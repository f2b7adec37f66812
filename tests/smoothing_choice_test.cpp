#include "processing/smoothing_choice.h"

#include <gtest/gtest.h>

#include <cstdint>

namespace {

// The engine for a shape, on a processor with AVX2, on one with SSE2 alone,
// and in a build without x86 kernels; wide and short images run out of
// working memory, first for the lanes, then for the rows too.
TEST(ChooseSmoothingTest, TakesTheFirstEngineTheTableAllows) {
  using E = SmoothingEngine;
  struct Case {
    int32_t width, height;
    E avx2, sse2, portable;
  };
  const Case cases[] = {
      {511, 8192, E::kLanesAvx2, E::kLanesSse2, E::kLanesPlain},
      {512, 8192, E::kLanesAvx2, E::kLanesSse2, E::kRows},
      {100, 20, E::kLanesAvx2, E::kLanesSse2, E::kLanesPlain},
      {100, 19, E::kLanesAvx2, E::kLanesSse2, E::kRows},
      {20000, 16, E::kLanesAvx2, E::kLanesSse2, E::kRows},
      {20000, 12, E::kLanesAvx2, E::kRows, E::kRows},
      {20000, 11, E::kRows, E::kRows, E::kRows},
      {60000, 100, E::kRows, E::kRows, E::kRows},
      {1000000, 40, E::kDirect, E::kDirect, E::kDirect},
      {1, 1, E::kRows, E::kRows, E::kRows},
  };
  const bool avx2 = laneKernelsOf(E::kLanesAvx2) != nullptr;
  const bool sse2 = laneKernelsOf(E::kLanesSse2) != nullptr;
  for (const Case& c : cases) {
    E expected = avx2 ? c.avx2 : sse2 ? c.sse2 : c.portable;
    EXPECT_EQ(chooseSmoothing(c.width, c.height), expected)
        << c.width << " x " << c.height;
    // From the rows on, the lanes are passed over.
    EXPECT_EQ(chooseSmoothing(c.width, c.height, E::kRows),
              expected == E::kDirect ? E::kDirect : E::kRows)
        << c.width << " x " << c.height;
  }
  EXPECT_EQ(laneKernelsOf(E::kRows), nullptr);
  EXPECT_NE(laneKernelsOf(E::kLanesPlain), nullptr);
}

}  // namespace
