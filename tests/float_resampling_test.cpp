#include "processing/float_resampling.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <string>
#include <vector>

namespace {

const float kNan = std::nanf("");

constexpr ResampleFilter kFilters[] = {
    ResampleFilter::kCubic, ResampleFilter::kLinear, ResampleFilter::kBox,
    ResampleFilter::kMitchell, ResampleFilter::kBspline};

struct Map {
  int32_t width = 0;
  int32_t height = 0;
  std::vector<float> values;
  float at(int32_t row, int32_t column) const {
    return values[static_cast<size_t>(row * width + column)];
  }
};

// Heights that swing over thousands of metres, negative ones too.
Map makeMap(int32_t width, int32_t height) {
  Map map{width, height, {}};
  for (int32_t row = 0; row < height; ++row) {
    for (int32_t column = 0; column < width; ++column) {
      const double x = column, y = row;
      map.values.push_back(static_cast<float>(
          1500 * std::sin(0.7 * x) * std::cos(0.4 * y) + 37.25 * y - 800));
    }
  }
  return map;
}

class ResampleFloatHeightsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!haveResampler()) {
      GTEST_SKIP() << "built without stb_image_resize: no resampler";
    }
  }
};

// Resamples map to width x height with filter.
Map resampled(const Map& map, int32_t width, int32_t height,
              ResampleFilter filter, int64_t bandBytes = kResampleBandBytes) {
  FloatPlane plane;
  std::string error;
  if (!allocateFloatPlane(&plane, map.width, map.height, &error)) std::abort();
  std::copy(map.values.begin(), map.values.end(), plane.values);
  ResampleRequest request{width, height, filter, bandBytes};
  ResampleOutcome outcome;
  EXPECT_TRUE(resampleFloatHeights(&plane, request, &outcome, &error)) << error;
  Map out{plane.width, plane.height,
          std::vector<float>(plane.values, plane.values + int64_t{plane.width} *
                                                              plane.height)};
  releaseFloatPlane(&plane);
  return out;
}

// Bilinear interpolation in double at the corner-aligned position of
// result (row, column).
double bilinear(const Map& map, int32_t row, int32_t column, int32_t width,
                int32_t height) {
  const double y =
      height == 1 ? 0 : row * double(map.height - 1) / (height - 1);
  const double x =
      width == 1 ? 0 : column * double(map.width - 1) / (width - 1);
  const int32_t top =
      std::min<int32_t>(static_cast<int32_t>(y), map.height - 1);
  const int32_t left =
      std::min<int32_t>(static_cast<int32_t>(x), map.width - 1);
  const int32_t bottom = std::min(top + 1, map.height - 1);
  const int32_t right = std::min(left + 1, map.width - 1);
  const double fy = y - top, fx = x - left;
  return (1 - fy) * ((1 - fx) * map.at(top, left) + fx * map.at(top, right)) +
         fy * ((1 - fx) * map.at(bottom, left) + fx * map.at(bottom, right));
}

TEST_F(ResampleFloatHeightsTest, LinearEnlargementIsBilinearCornerToCorner) {
  struct Case {
    int32_t width, height, newWidth, newHeight;
    int64_t bandBytes;
  };
  const Case cases[] = {
      {7, 5, 19, 13, kResampleBandBytes},
      {7, 5, 19, 13, 2000},                  // bands of a few rows
      {300, 4, 700, 9, kResampleBandBytes},  // several library calls a row
      {1, 6, 1, 11, kResampleBandBytes},     // one pixel wide
      {6, 1, 16, 1, kResampleBandBytes},     // one pixel high
      {1, 1, 3, 4, kResampleBandBytes},
      {5, 4, 5, 10, kResampleBandBytes},  // width kept
  };
  for (const Case& c : cases) {
    const Map map = makeMap(c.width, c.height);
    const auto [low, high] =
        std::minmax_element(map.values.begin(), map.values.end());
    const double tolerance = 1e-5 * std::max(1.0f, *high - *low);
    const Map out = resampled(map, c.newWidth, c.newHeight,
                              ResampleFilter::kLinear, c.bandBytes);
    ASSERT_EQ(out.width, c.newWidth);
    ASSERT_EQ(out.height, c.newHeight);
    for (int32_t row = 0; row < c.newHeight; ++row) {
      for (int32_t column = 0; column < c.newWidth; ++column) {
        ASSERT_NEAR(out.at(row, column),
                    bilinear(map, row, column, c.newWidth, c.newHeight),
                    tolerance)
            << c.width << " x " << c.height << " at " << row << ", " << column;
      }
    }
  }
}

TEST_F(ResampleFloatHeightsTest, CornersExactForEveryKernelUpAndDown) {
  const int32_t sizes[][4] = {
      {9, 7, 23, 17}, {23, 17, 9, 7}, {40, 3, 7, 11}, {1, 9, 1, 4}};
  for (ResampleFilter filter : kFilters) {
    for (const auto& size : sizes) {
      const Map map = makeMap(size[0], size[1]);
      const Map out = resampled(map, size[2], size[3], filter);
      const int32_t rows[] = {0, size[1] - 1}, newRows[] = {0, size[3] - 1};
      const int32_t columns[] = {0, size[0] - 1},
                    newColumns[] = {0, size[2] - 1};
      for (int i = 0; i < 2; ++i) {
        for (int j = 0; j < 2; ++j) {
          EXPECT_EQ(out.at(newRows[i], newColumns[j]),
                    map.at(rows[i], columns[j]))
              << resampleFilterName(filter) << " " << size[0] << " x "
              << size[1] << " corner " << i << j;
        }
      }
    }
  }
}

// Far from a hole the kernels see no nodata; next to it a result takes its
// nearest source sample, NaN where that is the hole.
TEST_F(ResampleFloatHeightsTest, HolesStayHolesAndDoNotSpread) {
  // Sizes and a hole: in the middle, on an edge (its point reflection read
  // too), by a corner.
  const int32_t cases[][6] = {{12, 10, 31, 23, 5, 6}, {31, 23, 12, 10, 11, 15},
                              {40, 30, 9, 7, 14, 20}, {5, 4, 33, 29, 2, 2},
                              {12, 10, 31, 23, 0, 5}, {31, 23, 12, 10, 22, 29},
                              {9, 7, 9, 20, 3, 4}};
  for (ResampleFilter filter : kFilters) {
    for (const auto& size : cases) {
      const Map whole = makeMap(size[0], size[1]);
      Map holed = whole;
      const int32_t holeRow = size[4], holeColumn = size[5];
      holed.values[static_cast<size_t>(holeRow * size[0] + holeColumn)] = kNan;
      const Map a = resampled(whole, size[2], size[3], filter);
      const Map b = resampled(holed, size[2], size[3], filter);
      for (int32_t row = 0; row < size[3]; ++row) {
        for (int32_t column = 0; column < size[2]; ++column) {
          // The nearest source sample, halves to the right and down.
          const int32_t r = static_cast<int32_t>(
              (2 * int64_t{row} * (size[1] - 1) + size[3] - 1) /
              (2 * int64_t{size[3] - 1}));
          const int32_t c = static_cast<int32_t>(
              (2 * int64_t{column} * (size[0] - 1) + size[2] - 1) /
              (2 * int64_t{size[2] - 1}));
          const float got = b.at(row, column);
          const std::string where = std::string(resampleFilterName(filter)) +
                                    " " + std::to_string(size[0]) + " at " +
                                    std::to_string(row) + ", " +
                                    std::to_string(column);
          if (r == holeRow && c == holeColumn) {
            EXPECT_TRUE(std::isnan(got)) << where;
            continue;
          }
          const double y = row * double(size[1] - 1) / (size[3] - 1);
          const double x = column * double(size[0] - 1) / (size[2] - 1);
          // Beyond the widest kernel's reach (two result pixels each way,
          // in source pixels when reducing) and one more.
          const double reachDown =
              3 * std::max(1.0, (size[1] - 1.0) / (size[3] - 1));
          const double reachAcross =
              3 * std::max(1.0, (size[0] - 1.0) / (size[2] - 1));
          if (std::abs(y - holeRow) > reachDown ||
              std::abs(x - holeColumn) > reachAcross) {
            EXPECT_EQ(got, a.at(row, column)) << where;
          } else {
            EXPECT_TRUE(got == a.at(row, column) || got == holed.at(r, c))
                << where;
          }
        }
      }
    }
  }
}

TEST_F(ResampleFloatHeightsTest, NanAloneStaysNanAndSameSizeStays) {
  Map map{4, 3, std::vector<float>(12, kNan)};
  const Map out = resampled(map, 7, 5, ResampleFilter::kCubic);
  for (float value : out.values) EXPECT_TRUE(std::isnan(value));
  const Map same = makeMap(5, 4);
  const Map kept = resampled(same, 5, 4, ResampleFilter::kCubic);
  EXPECT_EQ(kept.values, same.values);
}

}  // namespace
