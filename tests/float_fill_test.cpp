#include "processing/float_fill.h"

#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

namespace {

const float kNan = std::nanf("");

// The rule plainly: every NaN from the values as they were, in double.
std::vector<float> filledByHand(const std::vector<float>& values, int32_t width,
                                int32_t height, int32_t reach, int64_t* filled,
                                int64_t* kept) {
  std::vector<float> out = values;
  auto at = [=](int32_t row, int32_t column) {
    return static_cast<size_t>(row * width + column);
  };
  *filled = *kept = 0;
  const int ways[8][2] = {{-1, 0},  {1, 0},  {0, -1}, {0, 1},
                          {-1, -1}, {-1, 1}, {1, -1}, {1, 1}};
  for (int32_t r = 0; r < height; ++r) {
    for (int32_t c = 0; c < width; ++c) {
      if (!std::isnan(values[at(r, c)])) continue;
      double sum = 0, weights = 0;
      for (const auto& way : ways) {
        const double step = way[0] != 0 && way[1] != 0 ? std::sqrt(2.0) : 1;
        for (int32_t k = 1; k * step <= reach; ++k) {
          const int32_t y = r + k * way[0], x = c + k * way[1];
          if (y < 0 || y >= height || x < 0 || x >= width) break;
          const float v = values[at(y, x)];
          if (std::isnan(v)) continue;
          sum += v / (k * step * k * step);
          weights += 1 / (k * step * k * step);
          break;
        }
      }
      if (weights == 0) {
        ++*kept;
      } else {
        ++*filled;
        out[at(r, c)] = static_cast<float>(sum / weights);
      }
    }
  }
  return out;
}

TEST(FloatFillTest, MatchesTheRuleNearAndBeyondReach) {
  // A 9 x 7 map: a lone hole, a block of holes, and a corner of holes far
  // from any value for the shorter reaches.
  const int32_t width = 9, height = 7;
  auto at = [=](int32_t row, int32_t column) {
    return static_cast<size_t>(row * width + column);
  };
  std::vector<float> values(at(height, 0));
  for (size_t i = 0; i < values.size(); ++i) {
    const float x = static_cast<float>(i);
    values[i] = 0.37f * x * x - 11.0f * x;
  }
  values[at(1, 1)] = kNan;
  for (int32_t r = 2; r <= 4; ++r) {
    for (int32_t c = 3; c <= 6; ++c) values[at(r, c)] = kNan;
  }
  for (int32_t r = 0; r < height; ++r) {
    for (int32_t c = 0; c < width; ++c) {
      if (r + c >= 10) values[at(r, c)] = kNan;
    }
  }
  for (int32_t reach : {0, 1, 2, 3, 100}) {
    FloatPlane plane;
    std::string error;
    ASSERT_TRUE(allocateFloatPlane(&plane, width, height, &error));
    std::copy(values.begin(), values.end(), plane.values);
    int64_t filled = 0, kept = 0;
    const std::vector<float> want =
        filledByHand(values, width, height, reach, &filled, &kept);
    const FillOutcome outcome = fillFloatNodata(&plane, reach);
    EXPECT_TRUE(outcome.complete);
    EXPECT_EQ(outcome.filled, filled) << "reach " << reach;
    EXPECT_EQ(outcome.kept, kept) << "reach " << reach;
    for (size_t i = 0; i < want.size(); ++i) {
      if (std::isnan(want[i])) {
        EXPECT_TRUE(std::isnan(plane.values[i])) << reach << ", " << i;
      } else {
        EXPECT_EQ(plane.values[i], want[i]) << reach << ", " << i;
      }
    }
    releaseFloatPlane(&plane);
  }
}

TEST(FloatFillTest, NanAloneIsKeptEverywhere) {
  FloatPlane plane;
  std::string error;
  ASSERT_TRUE(allocateFloatPlane(&plane, 4, 3, &error));
  for (int i = 0; i < 12; ++i) plane.values[i] = kNan;
  const FillOutcome outcome = fillFloatNodata(&plane, 100);
  EXPECT_EQ(outcome.filled, 0);
  EXPECT_EQ(outcome.kept, 12);
  for (int i = 0; i < 12; ++i) EXPECT_TRUE(std::isnan(plane.values[i]));
  releaseFloatPlane(&plane);
}

}  // namespace
