#include "processing/smoothing.h"

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "processing_support.h"

namespace {

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

TEST(SmoothHeightsDifferentialTest, MatchesTheCellByCellRule) {
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

}  // namespace
