#include "processing/smoothing_common.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "processing_support.h"

namespace {

// Only the first cell's first mean can wrap, and only when every neighbour
// it has in the image holds 65280 in base 255.
TEST(SmoothingCommonTest, FirstMeanWrapsOnlyWhenTheCornerIsAllTop) {
  struct Case {
    int32_t width, height;
    HeightValue base;
    std::vector<HeightValue> heights;
    bool wraps;
  };
  const Case cases[] = {
      {2, 2, kHeightBase, {65280, 65280, 65280, 65280}, true},
      {2, 2, kHeightBase, {65280, 65280, 65280, 65279}, false},
      {2, 2, kWideBase, {65280, 65280, 65280, 65280}, false},
      {1, 1, kHeightBase, {65280}, true},
      {3, 1, kHeightBase, {65280, 65280, 0}, true},
      {1, 2, kHeightBase, {0, 65280}, false},
      {3, 3, kHeightBase, {65280, 65280, 0, 65280, 65280, 0, 0, 0, 0}, true},
  };
  for (const Case& c : cases) {
    Image image(c.width, c.height, c.heights);
    EXPECT_EQ(
        firstMeanWraps(*image.red(), *image.green(), c.width, c.height, c.base),
        c.wraps)
        << c.width << " x " << c.height << ", base " << c.base;
  }
}

}  // namespace
