#include "processing/height_processing.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <cmath>
#include <limits>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "processing_support.h"

namespace {

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
    ScaleOutcome outcome = scaleHeights(c.scale, image.mutablePlanes(), 1, 1);
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
    ScaleOutcome outcome = scaleHeights(0.0f, image.mutablePlanes(), width, 1);
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
  NormalizationFactor factor = normalizationFactor({0, 1000});
  EXPECT_EQ(factor.scale, static_cast<float>(255.0 / 1000.0f));
  EXPECT_EQ(factor.ceiling, 255);
  std::ostringstream printed;
  printed << 1 / factor.scale;
  EXPECT_EQ(printed.str(), "3.92157");
  EXPECT_EQ(normalizationFactor({700, 700}).scale, 1.0f);
  EXPECT_EQ(normalizationFactor({0, 65280}).scale, 0.00390625f);
  EXPECT_EQ(normalizationFactor({100, 610}).scale, 0.5f);
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
    applyMinimumElevation(c.minimum, image.red(), image.green(), width, 1);
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

// The rules written plainly, pixel by pixel, for comparison: base 255 keeps
// the low bytes of remainder and quotient, base 256 saturates. Counts the
// results outside what the base stores exactly.
StoreCount plainMap(RandomImage* image,
                    int64_t (*rule)(int64_t, double, int64_t), double factor,
                    int64_t extra) {
  const int64_t base = image->planes.base;
  const int64_t largest = base == 255 ? 65279 : 65535;
  StoreCount count;
  for (int32_t row = 0; row < image->height; ++row) {
    for (int32_t column = 0; column < image->width; ++column) {
      uint8_t* red = &image->planes.outRed[row][column];
      uint8_t* green = &image->planes.outGreen[row][column];
      int64_t value = rule(*green * base + *red, factor, extra);
      count.low += value < 0;
      count.high += value > largest;
      if (base == 256)
        value = std::min<int64_t>(std::max<int64_t>(value, 0), 65535);
      *red = static_cast<uint8_t>(value % base);
      *green = static_cast<uint8_t>(value / base);
    }
  }
  return count;
}

int64_t plainScale(int64_t value, double factor, int64_t ceiling) {
  int64_t scaled = truncateToInt32(static_cast<double>(value) * factor);
  return ceiling != 0 && scaled > ceiling ? ceiling : scaled;
}

int64_t plainShift(int64_t value, double, int64_t delta) {
  return value + delta;
}

TEST(HeightProcessingDifferentialTest, ScaleAndMinimumMatchThePlainRules) {
  std::mt19937 random(5);
  const float scales[] = {1.0f, 2.0f, -1.0f, 0.5f, 0.7f,
                          1.5f, 3e4f, -1e9f, 0.0f};
  const int32_t minimums[] = {0,     7,       -10,       -256,
                              65279, 1000000, INT32_MAX, INT32_MIN};
  for (Shape shape : differentialShapes(random)) {
    float scale = scales[random() % 9];
    int32_t minimum = minimums[random() % 8];
    HeightValue base = random() % 2 == 0 ? kHeightBase : kWideBase;
    RandomImage fast(shape.width, shape.height, random, base);
    RandomImage plain(shape.width, shape.height, random, base);
    plain.copyFrom(fast);
    std::string what =
        std::to_string(shape.width) + " x " + std::to_string(shape.height) +
        ", scale " + std::to_string(scale) + ", minimum " +
        std::to_string(minimum) + ", base " + std::to_string(base);

    HeightRange range = findHeightRange(fast.planes.inRed, fast.planes.inGreen,
                                        shape.width, shape.height, base);
    HeightRange plainRange{65535, 0};
    for (int32_t row = 0; row < shape.height; ++row) {
      for (int32_t column = 0; column < shape.width; ++column) {
        HeightValue value = plain.planes.inGreen[row][column] * base +
                            plain.planes.inRed[row][column];
        plainRange.min = std::min(plainRange.min, value);
        plainRange.max = std::max(plainRange.max, value);
      }
    }
    ASSERT_EQ(range.min, plainRange.min) << what;
    ASSERT_EQ(range.max, plainRange.max) << what;

    ScaleOutcome outcome =
        scaleHeights(scale, &fast.planes, shape.width, shape.height);
    double factor = scale;
    int64_t ceiling = 0;
    if (scale == 0.0f) {
      // Nothing is rewritten when the lowest is 0 already (65280 would wrap).
      if (plainRange.min != 0) plainMap(&plain, plainShift, 0, -plainRange.min);
      float span = static_cast<float>(plainRange.max - plainRange.min);
      factor = span == 0.0f ? 1.0f : static_cast<float>(255.0 / span);
      ceiling = 255;
    }
    StoreCount scaled = plainMap(&plain, plainScale, factor, ceiling);
    ASSERT_EQ(fast.bytes(), plain.bytes()) << what;
    EXPECT_EQ(outcome.stored.low, scaled.low) << what;
    EXPECT_EQ(outcome.stored.high, scaled.high) << what;

    StoreCount fastShift = applyMinimumElevation(
        minimum, &fast.planes.outRed, &fast.planes.outGreen, shape.width,
        shape.height, base);
    HeightRange shifted =
        findHeightRange(plain.planes.outRed, plain.planes.outGreen, shape.width,
                        shape.height, base);
    StoreCount plainShifted;
    if (shifted.min != minimum) {
      plainShifted = plainMap(&plain, plainShift, 0,
                              static_cast<int64_t>(minimum) - shifted.min);
    }
    ASSERT_EQ(fast.bytes(), plain.bytes()) << what;
    EXPECT_EQ(fastShift.low, plainShifted.low) << what;
    EXPECT_EQ(fastShift.high, plainShifted.high) << what;
  }
}

}  // namespace
