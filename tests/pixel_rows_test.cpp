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

// A grey row at every width up to a few blocks, then each of its bytes
// changed alone: the row is no longer grey wherever the byte lies (the
// vector blocks, their edges, the tail). A byte past the row never counts.
TEST(PixelRowsTest, GreyRowsFoundAtEveryWidthAndEveryByte) {
  std::mt19937 random(5);
  for (size_t count = 0; count <= 67; ++count) {
    std::vector<uint8_t> row(3 * count + 1);
    for (size_t pixel = 0; pixel < count; ++pixel) {
      const uint8_t grey =
          static_cast<uint8_t>(random() % 3 == 0 ? random() : 0);
      row[3 * pixel] = row[3 * pixel + 1] = row[3 * pixel + 2] = grey;
    }
    row.back() = 0x99;
    bool lit = false;
    for (size_t pixel = 0; pixel < count; ++pixel) lit |= row[3 * pixel] != 0;
    bool black = true;
    EXPECT_TRUE(bgrRowIsGrey(row.data(), count, &black)) << count;
    EXPECT_EQ(black, !lit) << count;
    for (size_t index = 0; index < 3 * count; ++index) {
      std::vector<uint8_t> coloured = row;
      coloured[index] ^= 0x10;
      black = true;
      EXPECT_FALSE(bgrRowIsGrey(coloured.data(), count, &black))
          << count << " " << index;
    }
  }
  // Black stays black; one lit grey pixel at the end clears it.
  std::vector<uint8_t> dark(3 * 50, 0);
  bool black = true;
  EXPECT_TRUE(bgrRowIsGrey(dark.data(), 50, &black));
  EXPECT_TRUE(black);
  dark[147] = dark[148] = dark[149] = 1;
  EXPECT_TRUE(bgrRowIsGrey(dark.data(), 50, &black));
  EXPECT_FALSE(black);
}

}  // namespace
