#include "processing/height_processing.h"

#include <gtest/gtest.h>

#include <cfenv>
#include <climits>
#include <cmath>
#include <cstring>
#include <initializer_list>
#include <limits>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "platform/compiler.h"
#include "processing/shaded_relief.h"
#include "processing/smoothing.h"
#include "processing/smoothing_band.h"
#include "processing/smoothing_choice.h"
#include "processing/smoothing_common.h"
#include "processing/smoothing_lanes.h"
#include "processing/smoothing_rows.h"

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
  }
  ~Image() { releasePlanes(&planes_); }

  const PlaneSet& planes() const { return planes_; }
  PlaneSet* mutablePlanes() { return &planes_; }
  BytePlane* red() { return &planes_.outRed; }
  BytePlane* green() { return &planes_.outGreen; }
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
      // A mean of 65280 is stored as 0, and the cells after it see the 0.
      {2, 2, 1, {65280, 65280, 65280, 65280}, {0, 48960, 44880, 39780}},
  };
  for (const Case& c : cases) {
    Image image(c.width, c.height, c.heights);
    smoothHeights(c.passes, image.red(), image.green(), c.width, c.height);
    EXPECT_EQ(image.targetHeights(), c.expected);
  }
}

TEST(SmoothHeightsTest, ReEncodesAndLeavesBlueAlone) {
  Image one(1, 1, {255});
  smoothHeights(1, one.red(), one.green(), 1, 1);
  EXPECT_EQ(one.planes().outRed[0][0], 0);
  EXPECT_EQ(one.planes().outGreen[0][0], 1);
  for (int32_t passes : {0, -2}) {
    Image untouched(1, 1, {255});
    smoothHeights(passes, untouched.red(), untouched.green(), 1, 1);
    EXPECT_EQ(untouched.planes().outRed[0][0], 255) << passes;
  }
  Image blue(2, 2, {0, 500, 900, 4});
  smoothHeights(2, blue.red(), blue.green(), 2, 2);
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

// The relief is shaded in pieces of rows: any cut gives the colours of the
// row shaded whole, edges repeated only at the image's own.
TEST(ShadedReliefTest, PiecesGiveTheWholeRowsColours) {
  std::mt19937 random(9);
  for (HeightValue base : {kHeightBase, kWideBase}) {
    const int32_t width = 300, height = 3;
    std::vector<HeightValue> heights;
    for (int32_t i = 0; i < width * height; ++i) {
      heights.push_back(static_cast<HeightValue>(random() % 65280));
    }
    Image image(width, height, heights);
    image.mutablePlanes()->base = base;
    ReliefStyle style = reliefStyle(
        findHeightRange(*image.red(), *image.green(), width, height, base),
        width, height);
    for (int32_t row = 0; row < height; ++row) {
      std::vector<uint8_t> whole(3 * width), pieces(3 * width);
      ReliefRows rows;
      shadeReliefRow(image.planes(), width, height, style, row, 0, width,
                     whole.data(), &rows);
      for (int32_t column = 0; column < width;) {
        int32_t count =
            std::min(width - column, static_cast<int32_t>(1 + random() % 40));
        shadeReliefRow(image.planes(), width, height, style, row, column, count,
                       pieces.data() + 3 * column, &rows);
        column += count;
      }
      EXPECT_EQ(pieces, whole) << "row " << row << ", base " << base;
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

namespace {

// Heights that sit on the encoding's edges turn up often in random images.
uint8_t randomByte(std::mt19937& random) {
  static const uint8_t kEdges[] = {0, 1, 254, 255};
  return random() % 4 == 0 ? kEdges[random() % 4]
                           : static_cast<uint8_t>(random());
}

// A random image whose heights avoid nothing: red 255 and green 255 included.
struct RandomImage {
  RandomImage(int32_t w, int32_t h, std::mt19937& random,
              HeightValue base = kHeightBase)
      : width(w), height(h) {
    std::string error;
    EXPECT_TRUE(allocatePlanes(&planes, w, h, &error)) << error;
    planes.base = base;
    for (int32_t row = 0; row < h; ++row) {
      for (int32_t column = 0; column < w; ++column) {
        planes.inRed[row][column] = randomByte(random);
        planes.inGreen[row][column] = randomByte(random);
        planes.inBlue[row][column] = randomByte(random);
      }
    }
  }
  ~RandomImage() { releasePlanes(&planes); }
  // Takes other's pixels (of the same size).
  void copyFrom(const RandomImage& other) {
    for (int32_t row = 0; row < height; ++row) {
      std::memcpy(planes.inRed[row], other.planes.inRed[row],
                  static_cast<size_t>(width));
      std::memcpy(planes.inGreen[row], other.planes.inGreen[row],
                  static_cast<size_t>(width));
      std::memcpy(planes.inBlue[row], other.planes.inBlue[row],
                  static_cast<size_t>(width));
    }
  }
  std::vector<uint8_t> bytes() const {
    std::vector<uint8_t> all;
    for (int32_t row = 0; row < height; ++row) {
      all.insert(all.end(), planes.outRed[row], planes.outRed[row] + width);
      all.insert(all.end(), planes.outGreen[row], planes.outGreen[row] + width);
      all.insert(all.end(), planes.outBlue[row], planes.outBlue[row] + width);
    }
    return all;
  }
  int32_t width, height;
  PlaneSet planes;
};

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

struct Shape {
  int32_t width, height;
};

// count random shapes up to 67 wide and maxHeight tall, then the fixed ones.
std::vector<Shape> randomShapes(std::mt19937& random, int count,
                                uint32_t maxHeight,
                                std::initializer_list<Shape> fixed) {
  std::vector<Shape> shapes;
  for (int i = 0; i < count; ++i) {
    shapes.push_back({static_cast<int32_t>(1 + random() % 67),
                      static_cast<int32_t>(1 + random() % maxHeight)});
  }
  shapes.insert(shapes.end(), fixed);
  return shapes;
}

// Wider than a block, taller than a band of rows.
std::vector<Shape> differentialShapes(std::mt19937& random) {
  return randomShapes(
      random, 150, 9,
      {Shape{255, 3}, Shape{256, 17}, Shape{257, 9}, Shape{600, 20},
       Shape{1, 40}, Shape{513, 1}, Shape{770, 11}});
}

// The maps people smooth: random bytes, a grey map (red = green = blue)
// with white areas, whose white decodes to 65280, sometimes in the first
// cell's corner, and a map of 65280 alone.
enum class MapKind { kRandom, kGreyWithWhite, kWhite };

void paintMap(RandomImage* image, MapKind kind, std::mt19937& random) {
  if (kind == MapKind::kRandom) return;
  struct Area {
    int32_t top, left, bottom, right;
  };
  std::vector<Area> white;
  for (int i = 0; i < 3; ++i) {
    int32_t top = static_cast<int32_t>(random() % image->height);
    int32_t left = static_cast<int32_t>(random() % image->width);
    if (i == 0 && random() % 2 == 0) top = left = 0;
    white.push_back({top, left, top + 1 + static_cast<int32_t>(random() % 40),
                     left + 1 + static_cast<int32_t>(random() % 90)});
  }
  for (int32_t row = 0; row < image->height; ++row) {
    for (int32_t column = 0; column < image->width; ++column) {
      bool inWhite = kind == MapKind::kWhite;
      for (const Area& area : white) {
        inWhite = inWhite || (row >= area.top && row < area.bottom &&
                              column >= area.left && column < area.right);
      }
      uint8_t grey = inWhite ? 255 : static_cast<uint8_t>(random() % 255);
      image->planes.inRed[row][column] = grey;
      image->planes.inGreen[row][column] = grey;
      image->planes.inBlue[row][column] = grey;
    }
  }
}

// What a smoothing case is, for its failure messages.
std::string smoothingCase(Shape shape, int32_t passes, HeightValue base,
                          MapKind kind) {
  return std::to_string(shape.width) + " x " + std::to_string(shape.height) +
         ", " + std::to_string(passes) + " passes, base " +
         std::to_string(base) + ", map kind " +
         std::to_string(static_cast<int>(kind));
}

TEST(HeightProcessingDifferentialTest, SmoothingMatchesTheCellByCellRule) {
  std::mt19937 random(11);
  for (Shape shape : differentialShapes(random)) {
    int32_t passes = static_cast<int32_t>(random() % 5);
    // Tall and wide shapes also run more passes than smoothing groups.
    if (shape.width > 67 || shape.height > 9)
      passes = static_cast<int32_t>(9 + random() % 3);
    // Small images settle: both stop early, one at a pass, one at a group.
    if (shape.width * shape.height <= 40 && random() % 8 == 0) passes = 5000;
    HeightValue base = random() % 2 == 0 ? kHeightBase : kWideBase;
    MapKind kind = static_cast<MapKind>(random() % 3);
    RandomImage fast(shape.width, shape.height, random, base);
    paintMap(&fast, kind, random);
    RandomImage plain(shape.width, shape.height, random, base);
    plain.copyFrom(fast);
    int64_t wrapped =
        smoothHeights(passes, &fast.planes.outRed, &fast.planes.outGreen,
                      shape.width, shape.height, base);
    int64_t plainWrapped = smoothHeightsDirect(passes, &plain.planes.outRed,
                                               &plain.planes.outGreen,
                                               shape.width, shape.height, base);
    std::string what = smoothingCase(shape, passes, base, kind);
    ASSERT_EQ(fast.bytes(), plain.bytes()) << what;
    EXPECT_EQ(wrapped, plainWrapped) << what;
  }
}

// Every engine and every instruction set the processor has, held to the
// plain rule on every kind of map: shapes across the lanes' bands (32 rows)
// and skewed steps (124 columns between a band's first and last row), pass
// groups, early stops, and memory too short for all passes together or for
// any.
TEST(HeightProcessingDifferentialTest, SmoothingEnginesMatchTheCellByCellRule) {
  std::vector<SmoothingEngine> laneEngines;
  for (SmoothingEngine engine :
       {SmoothingEngine::kLanesAvx2, SmoothingEngine::kLanesSse2,
        SmoothingEngine::kLanesPlain}) {
    if (laneKernelsOf(engine) != nullptr) laneEngines.push_back(engine);
  }
  std::mt19937 random(23);
  std::vector<Shape> shapes =
      randomShapes(random, 60, 100,
                   {Shape{125, 32}, Shape{126, 33}, Shape{300, 65},
                    Shape{257, 97}, Shape{1, 40}, Shape{700, 7}, Shape{70, 420},
                    Shape{2, 2}, Shape{1, 1}, Shape{1, 2}, Shape{2, 1}});
  for (Shape shape : shapes) {
    int32_t passes = static_cast<int32_t>(random() % 5);
    // More passes than a group, over more bands than the ring holds.
    if (random() % 3 == 0 || shape.height > 100)
      passes = static_cast<int32_t>(9 + random() % 9);
    if (shape.width * shape.height <= 60 && random() % 4 == 0) passes = 5000;
    HeightValue base = random() % 2 == 0 ? kHeightBase : kWideBase;
    MapKind kind = static_cast<MapKind>(random() % 3);
    RandomImage source(shape.width, shape.height, random, base);
    paintMap(&source, kind, random);
    auto fresh = [&] {
      auto image =
          std::make_unique<RandomImage>(shape.width, shape.height, random);
      image->planes.base = base;
      image->copyFrom(source);
      return image;
    };
    auto plain = fresh();
    smoothHeightsDirect(passes, &plain->planes.outRed, &plain->planes.outGreen,
                        shape.width, shape.height, base);
    std::string what = smoothingCase(shape, passes, base, kind);
    auto rows = fresh();
    ASSERT_TRUE(smoothHeightsInRows(passes, &rows->planes.outRed,
                                    &rows->planes.outGreen, shape.width,
                                    shape.height, base, nullptr));
    ASSERT_EQ(rows->bytes(), plain->bytes()) << "rows, " << what;
    // Enough for every pass, for a few bands only (small groups), for none.
    size_t bandBytes = (static_cast<size_t>(shape.width) + 160) * 128;
    const size_t budgets[] = {smoothingBudget(shape.width, shape.height),
                              3 * bandBytes + 160 * 1024, 64};
    for (SmoothingEngine engine : laneEngines) {
      for (size_t budget : budgets) {
        auto lanes = fresh();
        bool ran = smoothHeightsInLanes(
            passes, &lanes->planes.outRed, &lanes->planes.outGreen, shape.width,
            shape.height, base, *laneKernelsOf(engine), budget, nullptr);
        ASSERT_EQ(lanes->bytes(), ran ? plain->bytes() : source.bytes())
            << "engine " << static_cast<int>(engine) << ", budget " << budget
            << ", " << what;
        if (budget != budgets[1]) {
          EXPECT_EQ(ran, budget != 64) << what;
        }
      }
    }
  }
}

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

namespace {

// The smoothing divides by multiplying: exact for every neighbour count and
// every sum that 16-bit heights can give.
TEST(SmoothingMeanTest, MultiplyAndShiftDividesExactly) {
  for (uint32_t count : {1u, 2u, 3u, 4u, 6u, 9u}) {
    uint32_t multiplier = meanMultiplier(static_cast<int32_t>(count));
    for (uint32_t sum = 0; sum <= count * 65535u; ++sum) {
      ASSERT_EQ(meanOf(sum, multiplier), sum / count) << sum << " / " << count;
    }
  }
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
