#include "processing/smoothing_lanes.h"

#include <gtest/gtest.h>

#include <cfenv>
#include <cmath>
#include <cstdint>
#include <vector>

#include "platform/compiler.h"
#include "processing/smoothing_choice.h"
#include "processing/smoothing_common.h"
#include "processing_support.h"

namespace {

// Every lane engine the build and the processor have, held to the plain
// rule on every kind of map, with memory enough for every pass, for a few
// bands only (small groups) and for none.
TEST(SmoothingLanesDifferentialTest, MatchTheCellByCellRule) {
  std::vector<SmoothingEngine> laneEngines;
  for (SmoothingEngine engine :
       {SmoothingEngine::kLanesAvx2, SmoothingEngine::kLanesSse2,
        SmoothingEngine::kLanesWasm, SmoothingEngine::kLanesPlain}) {
    if (laneKernelsOf(engine) != nullptr) laneEngines.push_back(engine);
  }
  forEachEngineCase([&](const EngineCase& c) {
    size_t bandBytes = (static_cast<size_t>(c.shape.width) + 160) * 128;
    const size_t budgets[] = {smoothingBudget(c.shape.width, c.shape.height),
                              3 * bandBytes + 160 * 1024, 64};
    for (SmoothingEngine engine : laneEngines) {
      for (size_t budget : budgets) {
        auto lanes = c.copy();
        bool ran = smoothHeightsInLanes(
            c.passes, &lanes->planes.outRed, &lanes->planes.outGreen,
            c.shape.width, c.shape.height, c.base, *laneKernelsOf(engine),
            budget, nullptr);
        ASSERT_EQ(lanes->bytes(), ran ? c.expected->bytes() : c.source->bytes())
            << "engine " << static_cast<int>(engine) << ", budget " << budget
            << ", " << c.what;
        if (budget != budgets[1]) {
          EXPECT_EQ(ran, budget != 64) << c.what;
        }
      }
    }
  });
}

// Out of line, so that the product cannot move across a change of the
// rounding mode.
QUILLORN_NOINLINE float fusedMultiplyAdd(float x, float y, float z) {
  return std::fma(x, y, z);
}

// The lanes divide in single precision: the product rounded to nearest and
// truncated, or (AVX2) one fused multiply-add with 2^23 rounded down. Both
// exact for every count and sum, and 0 for any sum outside the image.
TEST(SmoothingMeanTest, LaneMultipliersDivideExactly) {
  const int defaultRounding = std::fegetround();
  for (int32_t count : {1, 2, 3, 4, 6, 9, 0}) {
    float multiplier = count == 0 ? kLaneOutside : laneMultiplier(count);
    int32_t largest = (count == 0 ? 9 : count) * 65535;
    for (int32_t sum = 0; sum <= largest; ++sum) {
      int32_t expected = count == 0 ? 0 : sum / count;
      float x = static_cast<float>(sum);
      ASSERT_EQ(static_cast<int32_t>(x * multiplier), expected)
          << sum << " / " << count;
    }
    std::fesetround(FE_DOWNWARD);
    int32_t wrong = -1;
    for (int32_t sum = 0; sum <= largest && wrong < 0; ++sum) {
      float fused =
          fusedMultiplyAdd(static_cast<float>(sum), multiplier, 8388608.0f) -
          8388608.0f;
      if (fused != static_cast<float>(count == 0 ? 0 : sum / count)) {
        wrong = sum;
      }
    }
    std::fesetround(defaultRounding);
    EXPECT_EQ(wrong, -1) << "fused, count " << count;
  }
}

}  // namespace
