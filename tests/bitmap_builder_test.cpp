#include "support/bitmap_builder.h"

#include <gtest/gtest.h>

#include "test_support.h"

namespace {

TEST(BitmapBuilderTest, TerrainRoundTripsThroughA24BitFile) {
  const int32_t width = 7, height = 5;
  std::vector<HeightValue> heights = makeTerrain(width, height, 65279, 9);
  BitmapPlan plan;
  plan.width = width;
  plan.height = height;
  plan.pixels = pixelsFromHeights(heights, width, height, 24);
  plan.tail = {1, 2, 3};
  std::vector<uint8_t> file = buildBitmap(plan);
  EXPECT_EQ(file.size(), 54u + 24u * 5u + 3u);
  EXPECT_EQ(fieldLe32(file, 2), file.size());
  DecodedImage image;
  std::string why;
  ASSERT_TRUE(decode24(file, &image, &why)) << why;
  for (int32_t row = 0; row < height; ++row) {
    for (int32_t column = 0; column < width; ++column) {
      EXPECT_EQ(image.height(row, column),
                heights[static_cast<size_t>(row * width + column)]);
    }
  }
  HeightValue lowest = 65279, highest = 0;
  for (HeightValue h : heights) {
    lowest = std::min(lowest, h);
    highest = std::max(highest, h);
  }
  EXPECT_GE(lowest, 0);
  EXPECT_LE(highest, 65279);
  EXPECT_LT(lowest, highest) << "terrain should not be flat";
}

}  // namespace
