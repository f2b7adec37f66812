#include "processing/resampling.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <functional>
#include <string>
#include <vector>

namespace {

// Planes of width x height heights in base, blue from its own function.
class Map {
 public:
  Map(int32_t mapWidth, int32_t mapHeight, HeightValue base,
      const std::function<HeightValue(int32_t, int32_t)>& heightAt,
      const std::function<uint8_t(int32_t, int32_t)>& blueAt)
      : width(mapWidth), height(mapHeight) {
    std::string error;
    EXPECT_TRUE(allocatePlanes(&planes, width, height, &error)) << error;
    planes.base = base;
    for (int32_t row = 0; row < height; ++row) {
      for (int32_t column = 0; column < width; ++column) {
        storeHeight(base, heightAt(row, column), &planes.inRed[row][column],
                    &planes.inGreen[row][column]);
        planes.inBlue[row][column] = blueAt(row, column);
      }
    }
  }
  ~Map() { releasePlanes(&planes); }

  HeightValue at(int32_t row, int32_t column) const {
    return decodeHeightIn(planes.base, planes.outRed[row][column],
                          planes.outGreen[row][column]);
  }

  bool resample(const ResampleRequest& request, ResampleOutcome* outcome) {
    std::string error;
    bool done =
        resampleHeights(&planes, width, height, request, outcome, &error);
    EXPECT_TRUE(done) << error;
    if (done) {
      width = request.width;
      height = request.height;
    }
    return done;
  }

  int32_t width, height;
  PlaneSet planes;
};

uint8_t noBlue(int32_t, int32_t) { return 0; }

// Resampling needs stb_image_resize, which a build may lack.
class ResampleHeightsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!haveResampler()) {
      GTEST_SKIP() << "built without stb_image_resize: no resampler";
    }
  }
};

// Heights in 0 ... top that jump anywhere between neighbours.
std::function<HeightValue(int32_t, int32_t)> randomHeights(HeightValue top,
                                                           uint32_t seed) {
  return [top, seed](int32_t row, int32_t column) {
    uint32_t x = (static_cast<uint32_t>(row) * 73856093u) ^
                 (static_cast<uint32_t>(column) * 19349663u) ^ seed;
    x ^= x >> 13;
    x *= 0x5bd1e995u;
    x ^= x >> 15;
    return static_cast<HeightValue>(x % static_cast<uint32_t>(top + 1));
  };
}

// A plane through the map, from 1000 up; resampled with the linear or the
// cubic kernel it stays that plane within one height (the rounding), up to
// its edges, where the map continues as its reflection through the edge
// sample. Reduced by a ratio other than
// 2, the triangle's samples are not exact on a plane (their centre drifts by
// a few hundredths of a pixel), so those cases take a gentler one.
TEST_F(ResampleHeightsTest, RampStaysRampUpAndDown) {
  struct Case {
    int32_t width, height, newWidth, newHeight;
    ResampleFilter filter;
    int64_t bandBytes;  // small: many bands, each seam checked
    HeightValue columnSlope, rowSlope;
  };
  constexpr int64_t kSmallBands = 64 << 10;
  const Case cases[] = {
      {65, 33, 129, 65, ResampleFilter::kLinear, kResampleBandBytes, 37, 11},
      {65, 33, 129, 65, ResampleFilter::kCubic, kResampleBandBytes, 37, 11},
      {300, 200, 1100, 451, ResampleFilter::kCubic, kSmallBands, 37, 11},
      {300, 200, 1100, 451, ResampleFilter::kLinear, kSmallBands, 37, 11},
      {1100, 451, 300, 200, ResampleFilter::kCubic, kSmallBands, 37, 11},
      {1100, 451, 300, 200, ResampleFilter::kLinear, kSmallBands, 5, 3},
      {129, 65, 65, 33, ResampleFilter::kLinear, kResampleBandBytes, 37, 11},
      // A mild reduction: the triangle's sums before normalizing pass 1.1.
      {60, 49, 50, 41, ResampleFilter::kLinear, kResampleBandBytes, 3, 2},
      {60, 49, 50, 41, ResampleFilter::kCubic, kResampleBandBytes, 37, 11},
      {129, 65, 65, 33, ResampleFilter::kCubic, kResampleBandBytes, 37, 11},
  };
  for (const Case& c : cases) {
    const HeightValue columnSlope = c.columnSlope;
    const HeightValue rowSlope = c.rowSlope;
    Map map(
        c.width, c.height, kWideBase,
        [&](int32_t row, int32_t column) {
          return 1000 + columnSlope * column + rowSlope * row;
        },
        noBlue);
    ResampleRequest request{c.newWidth, c.newHeight, c.filter, c.bandBytes};
    ResampleOutcome outcome;
    ASSERT_TRUE(map.resample(request, &outcome));
    EXPECT_EQ(outcome.clamped.low + outcome.clamped.high, 0);
    const double stepX = (c.width - 1.0) / (c.newWidth - 1.0);
    const double stepY = (c.height - 1.0) / (c.newHeight - 1.0);
    int failures = 0;
    for (int32_t row = 0; row < c.newHeight; ++row) {
      for (int32_t column = 0; column < c.newWidth; ++column) {
        double expected =
            1000 + columnSlope * column * stepX + rowSlope * row * stepY;
        if (std::abs(map.at(row, column) - expected) > 1.0 && failures++ < 5) {
          ADD_FAILURE() << c.width << "x" << c.height << " to " << c.newWidth
                        << "x" << c.newHeight << " "
                        << resampleFilterName(c.filter) << " at " << row << ", "
                        << column << ": " << map.at(row, column) << " for "
                        << expected;
        }
      }
    }
  }
}

// The corners of an enlarged map are the source's corners, even among
// random heights, where a position off by a ten-thousandth of a pixel
// would show.
TEST_F(ResampleHeightsTest, EnlargedCornersAreTheSourceCorners) {
  const ResampleFilter filters[] = {ResampleFilter::kCubic,
                                    ResampleFilter::kLinear};
  // Thin maps enlarged to 8193 put the far corners where single precision
  // counted from the first pixel would be a thousandth of a pixel off.
  const int32_t sizes[][4] = {
      {37, 23, 1201, 700}, {1201, 3, 8193, 5}, {3, 1201, 5, 8193}};
  for (ResampleFilter filter : filters) {
    for (const auto& size : sizes) {
      Map map(size[0], size[1], kWideBase, randomHeights(65535, 7), noBlue);
      const HeightValue corners[] = {map.at(0, 0), map.at(0, size[0] - 1),
                                     map.at(size[1] - 1, 0),
                                     map.at(size[1] - 1, size[0] - 1)};
      ResampleOutcome outcome;
      ASSERT_TRUE(map.resample({size[2], size[3], filter}, &outcome));
      const HeightValue result[] = {map.at(0, 0), map.at(0, size[2] - 1),
                                    map.at(size[3] - 1, 0),
                                    map.at(size[3] - 1, size[2] - 1)};
      for (int corner = 0; corner < 4; ++corner) {
        EXPECT_EQ(result[corner], corners[corner])
            << resampleFilterName(filter) << " " << size[0] << " corner "
            << corner;
      }
    }
  }
}

// Reduced or enlarged by any kernel, a map keeps its corners' heights, its
// edges are its source edges resampled alone, and two halves of a map that
// share a column, each resampled alone, agree on it to the bit.
TEST_F(ResampleHeightsTest, EdgesKeepTheirHeightsEitherWay) {
  const ResampleFilter filters[] = {
      ResampleFilter::kCubic, ResampleFilter::kLinear, ResampleFilter::kBox,
      ResampleFilter::kMitchell, ResampleFilter::kBspline};
  // Width 2 k + 1: halves of k + 1 columns share column k.
  const int32_t sizes[][4] = {{65, 65, 33, 33},
                              {129, 41, 17, 9},
                              {201, 77, 51, 61},
                              {33, 17, 65, 33},
                              {1025, 9, 257, 3}};
  for (ResampleFilter filter : filters) {
    for (const auto& size : sizes) {
      const std::string what = std::string(resampleFilterName(filter)) + " " +
                               std::to_string(size[0]) + " to " +
                               std::to_string(size[2]);
      const auto heights = randomHeights(65535, 11);
      Map whole(size[0], size[1], kWideBase, heights, noBlue);
      const int32_t half = (size[0] - 1) / 2;
      Map left(half + 1, size[1], kWideBase, heights, noBlue);
      Map right(
          half + 1, size[1], kWideBase,
          [&](int32_t row, int32_t column) {
            return heights(row, column + half);
          },
          noBlue);
      Map top(size[0], 1, kWideBase, heights, noBlue);
      const HeightValue corners[] = {whole.at(0, 0), whole.at(0, size[0] - 1),
                                     whole.at(size[1] - 1, 0),
                                     whole.at(size[1] - 1, size[0] - 1)};
      ResampleOutcome outcome;
      const int32_t halfTo = (size[2] + 1) / 2;
      ASSERT_TRUE(whole.resample({size[2], size[3], filter}, &outcome));
      ASSERT_TRUE(left.resample({halfTo, size[3], filter}, &outcome));
      ASSERT_TRUE(right.resample({halfTo, size[3], filter}, &outcome));
      ASSERT_TRUE(top.resample({size[2], 1, filter}, &outcome));
      const HeightValue result[] = {whole.at(0, 0), whole.at(0, size[2] - 1),
                                    whole.at(size[3] - 1, 0),
                                    whole.at(size[3] - 1, size[2] - 1)};
      for (int corner = 0; corner < 4; ++corner) {
        EXPECT_EQ(result[corner], corners[corner]) << what << " " << corner;
      }
      for (int32_t row = 0; row < size[3]; ++row) {
        ASSERT_EQ(left.at(row, halfTo - 1), right.at(row, 0))
            << what << " row " << row;
      }
      for (int32_t column = 0; column < size[2]; ++column) {
        ASSERT_EQ(whole.at(0, column), top.at(0, column))
            << what << " column " << column;
      }
    }
  }
}

// Heights that stand for a range are squeezed back into it, not clamped:
// the same step edge as below, ends at 0 and the top, the rest in order.
TEST_F(ResampleHeightsTest, KeptRangeSqueezesInsteadOfClamping) {
  const HeightValue row[] = {0, 0, 65535, 65535};
  Map map(
      4, 3, kWideBase, [&](int32_t, int32_t column) { return row[column]; },
      noBlue);
  ResampleRequest request{7, 3, ResampleFilter::kCubic};
  request.keepRange = true;
  ResampleOutcome outcome;
  ASSERT_TRUE(map.resample(request, &outcome));
  EXPECT_EQ(outcome.clamped.low + outcome.clamped.high, 0);
  // Catmull-Rom swings T / 16 past both ends, between the samples on
  // either side of the edge: the range is 9 T / 8 wide.
  EXPECT_NEAR(outcome.remapScale, 8.0 / 9.0, 1e-4);
  EXPECT_NEAR(outcome.remapOffset, 65535.0 / 18.0, 0.5);
  const HeightValue expected[] = {3641, 0, 3641, 32768, 61894, 65535, 61894};
  for (int32_t column = 0; column < 7; ++column) {
    EXPECT_NEAR(map.at(1, column), expected[column], 1) << column;
  }
}

// Samples 0, 0, T, T in each row, doubled (7 columns, rows kept): Catmull-
// Rom's weights at the half-way points are -1/16, 9/16, 9/16, -1/16, so the
// kernel dips to -T/16 and peaks at 17 T / 16; both are clamped and counted,
// in either base. Blue takes the nearest source pixel, halves to the right,
// also where its first row is all one value and only the rows below vary.
TEST_F(ResampleHeightsTest, OvershootsClampedAndCountedBlueNearest) {
  using BlueAt = uint8_t (*)(int32_t, int32_t);
  const BlueAt blueFunctions[] = {
      [](int32_t r, int32_t column) {
        return static_cast<uint8_t>(10 * column + r);
      },
      [](int32_t r, int32_t column) {
        return static_cast<uint8_t>(r == 0 ? 7 : 10 * column + r);
      },
  };
  for (BlueAt blueAt : blueFunctions) {
    for (HeightValue base : {kHeightBase, kWideBase}) {
      const HeightValue top = largestStoredHeight(base);
      const HeightValue row[] = {0, 0, top, top};
      Map map(
          4, 3, base, [&](int32_t, int32_t column) { return row[column]; },
          blueAt);
      ResampleOutcome outcome;
      ASSERT_TRUE(map.resample({7, 3, ResampleFilter::kCubic}, &outcome));
      EXPECT_EQ(outcome.clamped.low, 3);
      EXPECT_EQ(outcome.clamped.high, 3);
      EXPECT_GT(outcome.workingBytes, 0);
      const HeightValue half = (top + 1) / 2;  // top / 2 rounded up
      const HeightValue expected[] = {0, 0, 0, half, top, top, top};
      const int32_t nearest[] = {0, 1, 1, 2, 2, 3, 3};
      for (int32_t r = 0; r < 3; ++r) {
        for (int32_t column = 0; column < 7; ++column) {
          EXPECT_EQ(map.at(r, column), expected[column])
              << base << " " << column;
          EXPECT_EQ(map.planes.outBlue[r][column], blueAt(r, nearest[column]))
              << r << " " << column;
          // The target is the source's memory, as after allocatePlanes.
          EXPECT_EQ(map.planes.inRed[r], map.planes.outRed[r]);
        }
      }
      EXPECT_EQ(map.planes.width, 7);
      EXPECT_EQ(map.planes.height, 3);
      EXPECT_EQ(map.planes.base, base);
    }
  }
}

// Sides that do not change are copied, even under kernels that blur (the
// heights vary along the kept side only, so the other side's kernel, whose
// weights sum to one, keeps them); a side of one pixel is spread, or taken
// from the source's first row or column.
TEST_F(ResampleHeightsTest, KeptAndSinglePixelSides) {
  enum Varying { kAlongColumns, kAlongRows, kBoth };
  struct Case {
    int32_t width, height, newWidth, newHeight;
    Varying varying;
  };
  const Case cases[] = {
      {7, 5, 7, 9, kAlongColumns}, {7, 5, 3, 5, kAlongRows},
      {1, 1, 4, 3, kBoth},         {6, 1, 6, 4, kBoth},
      {5, 4, 1, 1, kBoth},         {5, 4, 5, 1, kBoth},
  };
  const ResampleFilter filters[] = {
      ResampleFilter::kCubic, ResampleFilter::kLinear, ResampleFilter::kBox,
      ResampleFilter::kMitchell, ResampleFilter::kBspline};
  for (const Case& c : cases) {
    auto heightAt = [&](int32_t row, int32_t column) {
      if (c.varying == kAlongColumns) row = 0;
      if (c.varying == kAlongRows) column = 0;
      return (column * 7919 + row * 104729) % 65536;
    };
    for (ResampleFilter filter : filters) {
      Map map(c.width, c.height, kWideBase, heightAt, noBlue);
      ResampleOutcome outcome;
      ASSERT_TRUE(map.resample({c.newWidth, c.newHeight, filter}, &outcome));
      for (int32_t row = 0; row < c.newHeight; ++row) {
        for (int32_t column = 0; column < c.newWidth; ++column) {
          int32_t sourceRow = c.newHeight == c.height ? row : 0;
          int32_t sourceColumn = c.newWidth == c.width ? column : 0;
          ASSERT_EQ(map.at(row, column), heightAt(sourceRow, sourceColumn))
              << resampleFilterName(filter) << " " << c.width << "x" << c.height
              << " to " << c.newWidth << "x" << c.newHeight << " at " << row
              << ", " << column;
        }
      }
    }
  }
}

TEST_F(ResampleHeightsTest, SameSizeKeepsPlanesAndBadSizesFail) {
  Map map(5, 4, kHeightBase, randomHeights(65279, 3), noBlue);
  uint8_t* before = map.planes.outRed[0];
  ResampleOutcome outcome;
  ASSERT_TRUE(map.resample({5, 4, ResampleFilter::kMitchell}, &outcome));
  EXPECT_EQ(map.planes.outRed[0], before);
  std::string error;
  EXPECT_FALSE(resampleHeights(&map.planes, 5, 4, {0, 4}, &outcome, &error));
  EXPECT_FALSE(error.empty());
  EXPECT_EQ(map.planes.outRed[0], before);
}

TEST(ResampleFilterTest, NamesRoundTrip) {
  for (const char* name : {"cubic", "linear", "box", "mitchell", "bspline"}) {
    ResampleFilter filter = ResampleFilter::kBox;
    ASSERT_TRUE(parseResampleFilter(name, &filter)) << name;
    EXPECT_STREQ(resampleFilterName(filter), name);
  }
  ResampleFilter untouched = ResampleFilter::kLinear;
  EXPECT_FALSE(parseResampleFilter("Cubic", &untouched));
  EXPECT_EQ(untouched, ResampleFilter::kLinear);
}

}  // namespace
