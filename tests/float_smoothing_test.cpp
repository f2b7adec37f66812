#include "processing/float_smoothing.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstring>
#include <random>
#include <string>
#include <vector>

namespace {

const float kNan = std::nanf("");

constexpr FloatSmoothingEngine kEngines[] = {
    FloatSmoothingEngine::kLanesAvx2, FloatSmoothingEngine::kLanesSse2,
    FloatSmoothingEngine::kLanesPlain, FloatSmoothingEngine::kDirect};

const char* nameOf(FloatSmoothingEngine engine) {
  switch (engine) {
    case FloatSmoothingEngine::kLanesAvx2:
      return "AVX2 lanes";
    case FloatSmoothingEngine::kLanesSse2:
      return "SSE2 lanes";
    case FloatSmoothingEngine::kLanesPlain:
      return "plain lanes";
    case FloatSmoothingEngine::kDirect:
      break;
  }
  return "direct";
}

struct Map {
  int32_t width, height;
  std::vector<float> values;
};

// Terrain-like values, with NaN at every cell where nanEvery divides the
// index (none for 0).
Map makeMap(int32_t width, int32_t height, int nanEvery, unsigned seed) {
  Map map{width, height, {}};
  std::mt19937 random(seed);
  std::uniform_real_distribution<float> noise(-40.0f, 40.0f);
  for (int32_t i = 0; i < width * height; ++i) {
    const float x = static_cast<float>(i % width),
                y = static_cast<float>(i / width);
    map.values.push_back(nanEvery > 0 && i % nanEvery == 2
                             ? kNan
                             : 300.0f * std::sin(x * 0.3f) + 7.0f * y +
                                   noise(random));
  }
  return map;
}

// The in-place scan in double precision: each valid cell the mean of the
// valid cells of its neighbourhood in the map.
std::vector<double> smoothedByHand(const Map& map, int32_t passes) {
  std::vector<double> cells(map.values.begin(), map.values.end());
  for (int32_t pass = 0; pass < passes; ++pass) {
    for (int32_t row = 0; row < map.height; ++row) {
      for (int32_t column = 0; column < map.width; ++column) {
        double& cell = cells[static_cast<size_t>(row * map.width + column)];
        if (std::isnan(cell)) continue;
        double sum = 0;
        int count = 0;
        for (int32_t r = row - 1; r <= row + 1; ++r) {
          for (int32_t c = column - 1; c <= column + 1; ++c) {
            if (r < 0 || r >= map.height || c < 0 || c >= map.width) continue;
            const double value = cells[static_cast<size_t>(r * map.width + c)];
            if (std::isnan(value)) continue;
            sum += value;
            ++count;
          }
        }
        cell = sum / count;
      }
    }
  }
  return cells;
}

// Smooths map by engine; false where the engine does not run here.
bool smoothed(FloatSmoothingEngine engine, const Map& map, int32_t passes,
              std::vector<float>* out) {
  FloatPlane plane;
  std::string error;
  if (!allocateFloatPlane(&plane, map.width, map.height, &error)) std::abort();
  std::copy(map.values.begin(), map.values.end(), plane.values);
  const bool ran = smoothFloatHeightsWith(engine, passes, &plane);
  out->assign(plane.values, plane.values + map.values.size());
  releaseFloatPlane(&plane);
  return ran;
}

TEST(FloatSmoothHeightsTest, EveryEngineFollowsTheInPlaceScan) {
  struct Case {
    int32_t width, height, nanEvery, passes;
  };
  const Case cases[] = {
      {1, 1, 0, 1},
      {1, 1, 0, 3},
      {7, 1, 0, 2},
      {1, 6, 0, 2},
      {3, 3, 0, 1},
      {3, 3, 4, 2},
      {5, 4, 0, 1},
      {5, 4, 3, 3},
      {5, 4, 7, 2},
      {70, 33, 0, 1},
      {70, 33, 5, 2},
      {9, 65, 6, 4},
      {64, 40, 2, 1},
      // Bands of no nodata between others (their multipliers kept from
      // band to band), and one of them among bands with nodata.
      {100, 130, 0, 2},
      {80, 130, 4000, 2},
  };
  for (const Case& c : cases) {
    const Map map = makeMap(c.width, c.height, c.nanEvery, 7);
    const std::vector<double> want = smoothedByHand(map, c.passes);
    // Single precision's rounding, a few steps of it over the map's span.
    double lowest = 1e30, highest = -1e30;
    for (float value : map.values) {
      if (std::isnan(value)) continue;
      lowest = std::min<double>(lowest, value);
      highest = std::max<double>(highest, value);
    }
    const double tolerance = 4e-6 * (highest - lowest);
    for (FloatSmoothingEngine engine : kEngines) {
      std::vector<float> got;
      if (!smoothed(engine, map, c.passes, &got)) continue;
      for (size_t i = 0; i < want.size(); ++i) {
        if (std::isnan(want[i])) {
          ASSERT_TRUE(std::isnan(got[i])) << nameOf(engine) << ", " << i;
          continue;
        }
        ASSERT_NEAR(got[i], want[i], tolerance)
            << nameOf(engine) << ", " << c.width << " x " << c.height
            << ", passes " << c.passes << ", cell " << i;
      }
    }
  }
}

TEST(FloatSmoothHeightsTest, EveryEngineGivesTheSameBits) {
  const int32_t shapes[][2] = {{40, 32}, {33, 70}, {100, 47}, {3, 64}};
  for (const auto& shape : shapes) {
    const Map map = makeMap(shape[0], shape[1], 9, 11);
    std::vector<float> direct;
    ASSERT_TRUE(smoothed(FloatSmoothingEngine::kDirect, map, 3, &direct));
    for (FloatSmoothingEngine engine : kEngines) {
      std::vector<float> got;
      if (!smoothed(engine, map, 3, &got)) continue;
      ASSERT_EQ(
          0, std::memcmp(got.data(), direct.data(), sizeof(float) * got.size()))
          << nameOf(engine) << ", " << shape[0] << " x " << shape[1];
    }
  }
}

// Every pass up to INT32_MAX is run only while one changes a value.
TEST(FloatSmoothHeightsTest, EveryEngineStopsOnceAPassChangesNothing) {
  const int32_t shapes[][2] = {{5, 4}, {20, 40}};
  for (const auto& shape : shapes) {
    const Map map = makeMap(shape[0], shape[1], 6, 3);
    for (FloatSmoothingEngine engine : kEngines) {
      std::vector<float> settled;
      if (!smoothed(engine, map, INT32_MAX, &settled)) continue;
      std::vector<float> again;
      Map next{map.width, map.height, settled};
      smoothed(engine, next, 1, &again);
      ASSERT_EQ(0, std::memcmp(again.data(), settled.data(),
                               sizeof(float) * again.size()))
          << nameOf(engine);
    }
  }
}

TEST(FloatSmoothHeightsTest, NoPassesLeaveTheMapAlone) {
  const Map map = makeMap(6, 5, 4, 1);
  FloatPlane plane;
  std::string error;
  ASSERT_TRUE(allocateFloatPlane(&plane, map.width, map.height, &error));
  std::copy(map.values.begin(), map.values.end(), plane.values);
  smoothFloatHeights(0, &plane);
  EXPECT_EQ(0, std::memcmp(plane.values, map.values.data(),
                           sizeof(float) * map.values.size()));
  smoothFloatHeights(1, &plane);
  EXPECT_NE(0, std::memcmp(plane.values, map.values.data(),
                           sizeof(float) * map.values.size()));
  releaseFloatPlane(&plane);
}

}  // namespace
