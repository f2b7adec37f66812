#include "processing/float_fill.h"

#include <gtest/gtest.h>

#include <cmath>
#include <random>
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

// Random maps of every shape that strains the ways' edges (a row, a
// column, wide, tall, square), from nearly full to nearly empty, at reaches
// short and past the map: the fill is the rule's, value for value.
TEST(FloatFillTest, RandomMapsMatchTheRule) {
  struct Shape {
    int32_t width, height;
  };
  const Shape shapes[] = {{1, 1},  {17, 1},  {1, 19}, {23, 5},
                          {4, 29}, {13, 13}, {31, 17}};
  std::mt19937 random(20261210);
  for (const Shape& shape : shapes) {
    for (double holes : {0.1, 0.6, 0.97, 1.0}) {
      for (int32_t reach : {1, 2, 7, 1000}) {
        const int32_t count = shape.width * shape.height;
        std::vector<float> values(static_cast<size_t>(count));
        std::uniform_real_distribution<float> heights(-500, 3000);
        std::bernoulli_distribution hole(holes);
        for (float& value : values)
          value = hole(random) ? kNan : heights(random);
        int64_t filled = 0, kept = 0;
        const std::vector<float> want = filledByHand(
            values, shape.width, shape.height, reach, &filled, &kept);
        FloatPlane plane;
        std::string error;
        ASSERT_TRUE(
            allocateFloatPlane(&plane, shape.width, shape.height, &error));
        std::copy(values.begin(), values.end(), plane.values);
        const FillOutcome outcome = fillFloatNodata(&plane, reach);
        const std::string what = std::to_string(shape.width) + " x " +
                                 std::to_string(shape.height) + ", holes " +
                                 std::to_string(holes) + ", reach " +
                                 std::to_string(reach);
        EXPECT_EQ(outcome.filled, filled) << what;
        EXPECT_EQ(outcome.kept, kept) << what;
        for (size_t i = 0; i < want.size(); ++i) {
          if (std::isnan(want[i])) {
            EXPECT_TRUE(std::isnan(plane.values[i])) << what << ", " << i;
          } else {
            EXPECT_EQ(plane.values[i], want[i]) << what << ", " << i;
          }
        }
        releaseFloatPlane(&plane);
      }
    }
  }
}

}  // namespace
