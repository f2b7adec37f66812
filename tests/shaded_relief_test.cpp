#include "processing/shaded_relief.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <vector>

#include "processing_support.h"

namespace {

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

}  // namespace
