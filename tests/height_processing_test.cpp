#include "processing/height_processing.h"

#include <gtest/gtest.h>

#include <climits>
#include <cmath>
#include <limits>
#include <string>
#include <vector>

namespace {

// A plane set filled from heights (rows top first) with a known blue plane.
class Image {
 public:
  Image(int32_t width, int32_t height, const std::vector<HeightValue>& heights)
      : width_(width), height_(height) {
    std::string error;
    EXPECT_TRUE(allocatePlanes(&planes_, width, height, &error)) << error;
    for (int32_t row = 0; row < height; ++row) {
      for (int32_t column = 0; column < width; ++column) {
        HeightValue value = heights[static_cast<size_t>(row * width + column)];
        // 255 as red 255, green 0 (only a re-encoding turns it into 0, 1),
        // and 65280 as red 255, green 255, the one way to store it.
        if (value == 255 || value == 65280) {
          planes_.inRed[row][column] = 255;
          planes_.inGreen[row][column] = value == 255 ? 0 : 255;
        } else {
          encodeHeight(value, &planes_.inRed[row][column],
                       &planes_.inGreen[row][column]);
        }
        planes_.inBlue[row][column] = static_cast<uint8_t>(row * 16 + column);
      }
    }
    copySourceToTarget(planes_, width, height);
  }
  ~Image() { releasePlanes(&planes_); }

  const PlaneSet& planes() const { return planes_; }
  int32_t width() const { return width_; }
  int32_t height() const { return height_; }

  std::vector<HeightValue> targetHeights() const {
    std::vector<HeightValue> heights;
    for (int32_t row = 0; row < height_; ++row) {
      for (int32_t column = 0; column < width_; ++column) {
        heights.push_back(decodeHeight(planes_.outRed[row][column],
                                       planes_.outGreen[row][column]));
      }
    }
    return heights;
  }

 private:
  int32_t width_, height_;
  PlaneSet planes_;
};

TEST(ScaleHeightsTest, MultipliesInDoubleAndTruncates) {
  struct Case {
    float scale;
    HeightValue height;
    int red, green;
  };
  const Case cases[] = {
      {1.0f, 255, 0, 1},
      {2.0f, 40000, 185, 57},
      {-1.0f, 1, 255, 0},
      {0.5f, 3, 1, 0},
      {0.7f, 10, 6, 0},
      {1.5f, 65280, 0, 128},
      // Products past the 32-bit range saturate; encoding then wraps green.
      {1e30f, 100, static_cast<uint8_t>(INT32_MAX % 255),
       static_cast<uint8_t>(INT32_MAX / 255)},
      {-1e30f, 100, static_cast<uint8_t>(INT32_MIN % 255),
       static_cast<uint8_t>(INT32_MIN / 255)},
      {std::numeric_limits<float>::quiet_NaN(), 100, 0, 0},
  };
  for (const Case& c : cases) {
    Image image(1, 1, {c.height});
    float scale = c.scale;
    ScaleOutcome outcome = scaleHeights(&scale, image.planes(), 1, 1);
    EXPECT_FALSE(outcome.normalized);
    EXPECT_EQ(image.planes().outRed[0][0], c.red)
        << c.scale << " x " << c.height;
    EXPECT_EQ(image.planes().outGreen[0][0], c.green)
        << c.scale << " x " << c.height;
    EXPECT_EQ(image.planes().outBlue[0][0], 0);
  }
}

TEST(ScaleHeightsTest, ZeroNormalizesAndReportsTheReciprocal) {
  struct Case {
    std::vector<HeightValue> heights;
    std::vector<HeightValue> expected;
    const char* printed;  // the reciprocal as the console prints it
  };
  const Case cases[] = {
      {{0, 500, 1000}, {0, 127, 254}, "3.92157"},
      {{100, 610, 355}, {0, 255, 127}, "2"},
      {{700, 700, 700}, {0, 0, 0}, "1"},
      {{0, 1}, {0, 255}, "0.00392157"},
      {{5, 8}, {0, 255}, "0.0117647"},
      {{0, 7, 3}, {0, 254, 109}, "0.0274510"},
      {{0, 510}, {0, 255}, "2"},
      {{0, 65280}, {0, 255}, "256"},
      {{50, 100, 150, 250}, {0, 63, 127, 254}, "0.784314"},
  };
  for (const Case& c : cases) {
    int32_t width = static_cast<int32_t>(c.heights.size());
    Image image(width, 1, c.heights);
    float scale = 0.0f;
    ScaleOutcome outcome = scaleHeights(&scale, image.planes(), width, 1);
    EXPECT_TRUE(outcome.normalized);
    std::ostringstream printed;
    printed << outcome.reciprocal;
    // std::ostream drops trailing zeros; compare numerically to 6 digits.
    EXPECT_NEAR(std::stod(printed.str()), std::stod(c.printed),
                std::stod(c.printed) * 1e-6)
        << printed.str();
    EXPECT_EQ(image.targetHeights(), c.expected) << c.printed;
    for (int32_t column = 0; column < width; ++column) {
      EXPECT_EQ(image.planes().outBlue[0][column], column);
    }
  }
}

TEST(ScaleHeightsTest, NormalizationFactorIsHeldInSinglePrecision) {
  // 255 / 1000 as a float is 0.2549999952..., so 1000 becomes 254.
  Image image(2, 1, {0, 1000});
  float scale = 0.0f;
  int32_t ceiling = 0;
  normalizeHeights(&scale, &ceiling, image.planes().inRed,
                   image.planes().inGreen, 2, 1);
  EXPECT_EQ(scale, static_cast<float>(255.0 / 1000.0f));
  EXPECT_EQ(ceiling, 255);
  std::ostringstream printed;
  printed << 1 / scale;
  EXPECT_EQ(printed.str(), "3.92157");
}

TEST(SmoothHeightsTest, WorkedExamples) {
  struct Case {
    int32_t width, height, passes;
    std::vector<HeightValue> heights, expected;
  };
  const Case cases[] = {
      {3, 1, 1, {0, 90, 0}, {45, 45, 22}},
      {3,
       3,
       1,
       {0, 0, 0, 0, 900, 0, 0, 0, 0},
       {225, 187, 271, 218, 200, 109, 104, 105, 103}},
      {3, 2, 5, {77, 77, 77, 77, 77, 77}, {77, 77, 77, 77, 77, 77}},
      {1, 1, 3, {255}, {255}},
      {1, 3, 1, {0, 300, 0}, {150, 150, 75}},
  };
  for (const Case& c : cases) {
    Image image(c.width, c.height, c.heights);
    smoothHeights(c.passes, image.planes().outRed, image.planes().outGreen,
                  c.width, c.height);
    EXPECT_EQ(image.targetHeights(), c.expected);
  }
}

TEST(SmoothHeightsTest, ReEncodesAndLeavesBlueAlone) {
  Image one(1, 1, {255});
  smoothHeights(1, one.planes().outRed, one.planes().outGreen, 1, 1);
  EXPECT_EQ(one.planes().outRed[0][0], 0);
  EXPECT_EQ(one.planes().outGreen[0][0], 1);
  for (int32_t passes : {0, -2}) {
    Image untouched(1, 1, {255});
    smoothHeights(passes, untouched.planes().outRed,
                  untouched.planes().outGreen, 1, 1);
    EXPECT_EQ(untouched.planes().outRed[0][0], 255) << passes;
  }
  Image blue(2, 2, {0, 500, 900, 4});
  smoothHeights(2, blue.planes().outRed, blue.planes().outGreen, 2, 2);
  EXPECT_EQ(blue.planes().outBlue[1][1], 17);
}

TEST(ApplyMinimumElevationTest, ShiftsToTheRequestedMinimum) {
  struct Case {
    int32_t minimum;
    std::vector<HeightValue> heights;
    std::vector<std::pair<int, int>> stored;  // red, green per pixel
  };
  const Case cases[] = {
      {1000, {300, 800}, {{235, 3}, {225, 5}}},
      {0, {300, 800}, {{0, 0}, {245, 1}}},
      {-10, {0, 20}, {{246, 0}, {10, 0}}},
      {-256, {0, 256}, {{255, 255}, {0, 0}}},
      // No shift: nothing is rewritten, so red 255 stays.
      {0, {0, 255}, {{0, 0}, {255, 0}}},
      // Extreme requests are shifted in 64 bits, not overflowed.
      {INT32_MAX,
       {0, 65280},
       {{static_cast<uint8_t>(INT32_MAX % 255),
         static_cast<uint8_t>(INT32_MAX / 255)},
        {static_cast<uint8_t>((INT32_MAX + 65280LL) % 255),
         static_cast<uint8_t>((INT32_MAX + 65280LL) / 255)}}},
      {INT32_MIN,
       {7},
       {{static_cast<uint8_t>(INT32_MIN % 255),
         static_cast<uint8_t>(INT32_MIN / 255)}}},
  };
  for (const Case& c : cases) {
    int32_t width = static_cast<int32_t>(c.heights.size());
    Image image(width, 1, c.heights);
    applyMinimumElevation(c.minimum, image.planes().outRed,
                          image.planes().outGreen, width, 1);
    for (int32_t column = 0; column < width; ++column) {
      EXPECT_EQ(image.planes().outRed[0][column],
                c.stored[static_cast<size_t>(column)].first)
          << c.minimum << " column " << column;
      EXPECT_EQ(image.planes().outGreen[0][column],
                c.stored[static_cast<size_t>(column)].second)
          << c.minimum << " column " << column;
    }
  }
}

TEST(TruncateToInt32Test, SaturatesAndMapsNanToZero) {
  EXPECT_EQ(truncateToInt32(2.9), 2);
  EXPECT_EQ(truncateToInt32(-2.9), -2);
  EXPECT_EQ(truncateToInt32(2147483647.9), INT32_MAX);
  EXPECT_EQ(truncateToInt32(2147483648.0), INT32_MAX);
  EXPECT_EQ(truncateToInt32(-2147483648.9), INT32_MIN);
  EXPECT_EQ(truncateToInt32(-1e300), INT32_MIN);
  EXPECT_EQ(truncateToInt32(std::numeric_limits<double>::infinity()),
            INT32_MAX);
  EXPECT_EQ(truncateToInt32(std::nan("")), 0);
}

}  // namespace
