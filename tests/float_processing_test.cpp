#include "processing/float_processing.h"

#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

namespace {

const float kNan = std::nanf("");

struct Map {
  Map(int32_t width, int32_t height, const std::vector<float>& values) {
    std::string error;
    if (!allocateFloatPlane(&plane, width, height, &error)) std::abort();
    std::copy(values.begin(), values.end(), plane.values);
  }
  ~Map() { releaseFloatPlane(&plane); }
  std::vector<float> values() const {
    return std::vector<float>(
        plane.values, plane.values + int64_t{plane.width} * plane.height);
  }
  FloatPlane plane;
};

// Equal value for value, NaN where want has NaN.
void expectValues(const std::vector<float>& got, const std::vector<float>& want,
                  float tolerance = 0) {
  ASSERT_EQ(got.size(), want.size());
  for (size_t i = 0; i < want.size(); ++i) {
    if (std::isnan(want[i])) {
      EXPECT_TRUE(std::isnan(got[i])) << "value " << i;
    } else {
      EXPECT_NEAR(got[i], want[i], tolerance) << "value " << i;
    }
  }
}

TEST(FloatProcessingTest, RangeCountsValidValuesAlone) {
  struct Case {
    std::vector<float> values;
    double min, max;
    int64_t valid;
  };
  const Case cases[] = {
      {{kNan, -2.5f, 7.25f, kNan}, -2.5, 7.25, 2},
      {{kNan, kNan, kNan, kNan}, 0, 0, 0},
      {{3, 3, 3, 3}, 3, 3, 4},
      {{kNan, 1e30f, -1e30f, 0}, -1e30f, 1e30f, 3},
  };
  for (const Case& c : cases) {
    Map map(2, 2, c.values);
    const FloatRange range = findFloatRange(map.plane);
    EXPECT_EQ(range.min, c.min);
    EXPECT_EQ(range.max, c.max);
    EXPECT_EQ(range.valid, c.valid);
  }
}

TEST(FloatProcessingTest, ScaleMultipliesValidValuesAndKeepsNan) {
  Map map(3, 1, {kNan, -2, 0.5f});
  scaleFloatHeights(-1.5f, &map.plane);
  expectValues(map.values(), {kNan, 3, -0.75f});
}

TEST(FloatProcessingTest, NormalizationSpansZeroTo255AsTheBytePathTellsIt) {
  struct Case {
    std::vector<float> values;
    std::vector<float> want;
    double lowest;
    float factor;
  };
  const Case cases[] = {
      // 255 / 1000 in single precision, and its reciprocal as printed.
      {{-500, kNan, 0, 500},
       {0, kNan, 127.5f, 255},
       -500,
       static_cast<float>(255.0 / 1000.0f)},
      // A flat map: factor 1, every value the lowest, so 0.
      {{12.5f, 12.5f, kNan, 12.5f}, {0, 0, kNan, 0}, 12.5, 1.0f},
      // A span that rounds in single precision.
      {{0.1f, 0.3f, 0.2f, kNan},
       {0, 255, 127.5f, kNan},
       0.1f,
       static_cast<float>(255.0 / static_cast<float>(0.3f - double{0.1f}))},
      // A span that single precision rounds, changing the factor's last bit.
      {{-1.25f, 1e8f, kNan, 0},
       {0, 255, kNan, 0},
       -1.25,
       static_cast<float>(255.0 / static_cast<float>(1e8 + 1.25))},
  };
  for (const Case& c : cases) {
    Map map(2, 2, c.values);
    const FloatNormalization outcome = normalizeFloatHeights(&map.plane);
    EXPECT_EQ(outcome.lowest, c.lowest);
    EXPECT_EQ(outcome.factor, c.factor);
    EXPECT_EQ(outcome.reciprocal, 1 / c.factor);
    expectValues(map.values(), c.want, 1e-4f);
    EXPECT_LE(findFloatRange(map.plane).max, 255);
  }
}

TEST(FloatProcessingTest, ShiftMovesTheLowestToTheMinimum) {
  struct Case {
    std::vector<float> values;
    double minimum;
    std::vector<float> want;
    double shift;
  };
  const Case cases[] = {
      {{kNan, -3, 4.5f, 1}, 7, {kNan, 7, 14.5f, 11}, 10},
      {{2, 5, kNan, 2}, 2, {2, 5, kNan, 2}, 0},
      {{kNan, kNan, kNan, kNan}, 5, {kNan, kNan, kNan, kNan}, 0},
      {{10, 20, 30, kNan}, -0.5, {-0.5f, 9.5f, 19.5f, kNan}, -10.5},
  };
  for (const Case& c : cases) {
    Map map(4, 1, c.values);
    EXPECT_EQ(shiftFloatHeights(c.minimum, &map.plane), c.shift);
    expectValues(map.values(), c.want);
  }
}

}  // namespace
