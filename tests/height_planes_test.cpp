#include "image/height_planes.h"

#include <gtest/gtest.h>

#include <string>

namespace {

struct EncodeCase {
  HeightValue value;
  int red;
  int green;
};

TEST(HeightPlanesTest, EncodesInBase255WithLowBytes) {
  const EncodeCase cases[] = {
      {0, 0, 0},         {254, 254, 0}, {255, 0, 1},      {256, 1, 1},
      {65279, 254, 255}, {65280, 0, 0}, {80000, 185, 57}, {97920, 0, 128},
      {-1, 255, 0},      {-10, 246, 0}, {-255, 0, 255},   {-256, 255, 255},
  };
  for (const EncodeCase& c : cases) {
    uint8_t red = 99, green = 99;
    encodeHeight(c.value, &red, &green);
    EXPECT_EQ(red, c.red) << c.value;
    EXPECT_EQ(green, c.green) << c.value;
  }
}

TEST(HeightPlanesTest, EveryStorableHeightRoundTrips) {
  for (HeightValue value = 0; value <= 65279; ++value) {
    uint8_t red, green;
    encodeHeight(value, &red, &green);
    ASSERT_EQ(decodeHeight(red, green), value);
    ASSERT_NE(red, 255);
  }
  EXPECT_EQ(decodeHeight(255, 0), 255);
  EXPECT_EQ(decodeHeight(255, 255), 65280);
}

class PlaneSetTest : public ::testing::Test {
 protected:
  void TearDown() override { releasePlanes(&planes); }
  PlaneSet planes;
  std::string error;
};

TEST_F(PlaneSetTest, RangeScanAndTargetReadsAsSource) {
  ASSERT_TRUE(allocatePlanes(&planes, 3, 2, &error)) << error;
  const uint8_t reds[2][3] = {{255, 0, 7}, {1, 2, 3}};
  const uint8_t greens[2][3] = {{0, 4, 0}, {0, 0, 9}};
  for (int32_t row = 0; row < 2; ++row) {
    for (int32_t column = 0; column < 3; ++column) {
      planes.inRed[row][column] = reds[row][column];
      planes.inGreen[row][column] = greens[row][column];
      planes.inBlue[row][column] = static_cast<uint8_t>(10 * row + column);
    }
  }
  HeightRange range = findHeightRange(planes.inRed, planes.inGreen, 3, 2);
  EXPECT_EQ(range.min, 1);
  EXPECT_EQ(range.max, 9 * 255 + 3);

  // The target is the source, byte for byte and without re-encoding, until
  // something rewrites it: a byte stored in a source plane reads back from
  // its target plane.
  for (int32_t row = 0; row < 2; ++row) {
    for (int32_t column = 0; column < 3; ++column) {
      EXPECT_EQ(planes.outRed[row][column], reds[row][column]);
      EXPECT_EQ(planes.outGreen[row][column], greens[row][column]);
      EXPECT_EQ(planes.outBlue[row][column], 10 * row + column);
    }
  }
}

TEST_F(PlaneSetTest, RangeOfSinglePixelAndOfSaturatedPixels) {
  ASSERT_TRUE(allocatePlanes(&planes, 2, 2, &error)) << error;
  planes.outRed[0][0] = 17;
  planes.outGreen[0][0] = 3;
  HeightRange one = findHeightRange(planes.outRed, planes.outGreen, 1, 1);
  EXPECT_EQ(one.min, 3 * 255 + 17);
  EXPECT_EQ(one.max, 3 * 255 + 17);
  for (int32_t row = 0; row < 2; ++row) {
    for (int32_t column = 0; column < 2; ++column) {
      planes.outRed[row][column] = planes.outGreen[row][column] = 255;
    }
  }
  HeightRange all = findHeightRange(planes.outRed, planes.outGreen, 2, 2);
  EXPECT_EQ(all.min, 65280);
  EXPECT_EQ(all.max, 65280);
}

TEST_F(PlaneSetTest, RefusesImpossibleSizesWithoutAllocating) {
  EXPECT_FALSE(allocatePlanes(&planes, 0, 5, &error));
  EXPECT_FALSE(allocatePlanes(&planes, 5, -1, &error));
  EXPECT_EQ(planes.inRed.rows, nullptr);
  releasePlanes(&planes);  // harmless on an empty set
}

}  // namespace
