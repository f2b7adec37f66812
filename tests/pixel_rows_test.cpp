#include "image/pixel_rows.h"

#include <gtest/gtest.h>

#include <random>
#include <vector>

namespace {

// Every width up to a few vector lengths, each tail length included; in the
// optimized build this checks the vector paths, in the sanitizer build (which
// turns them off) the plain ones.
TEST(PixelRowsTest, SplitAndJoinMatchThePlainLoopAtEveryWidth) {
  std::mt19937 random(3);
  for (size_t count = 0; count <= 67; ++count) {
    std::vector<uint8_t> row(3 * count + 1);
    for (uint8_t& byte : row) byte = static_cast<uint8_t>(random());
    std::vector<uint8_t> red(count + 1, 0xEE), green(count + 1, 0xEE),
        blue(count + 1, 0xEE);
    splitBgrRow(row.data(), red.data(), green.data(), blue.data(), count);
    for (size_t column = 0; column < count; ++column) {
      ASSERT_EQ(blue[column], row[3 * column]) << count;
      ASSERT_EQ(green[column], row[3 * column + 1]) << count;
      ASSERT_EQ(red[column], row[3 * column + 2]) << count;
    }
    EXPECT_EQ(red[count], 0xEE) << "wrote past the row";
    std::vector<uint8_t> joined(3 * count + 1, 0xEE);
    joinBgrRow(red.data(), green.data(), blue.data(), joined.data(), count);
    EXPECT_TRUE(std::equal(joined.begin(), joined.end() - 1, row.begin()))
        << count;
    EXPECT_EQ(joined.back(), 0xEE) << "wrote past the row";
  }
}

}  // namespace
