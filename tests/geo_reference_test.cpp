#include "image/geo_reference.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

// 30 m across, 20 m down from (600000, 5300000), pixel corners.
GeoTags northUp() {
  GeoTags geo;
  geo.pixelScale = {30, 20, 0};
  geo.tiepoints = {0, 0, 0, 600000, 5300000, 0};
  geo.keyDirectory = {1, 1, 0, 1, 3072, 0, 1, 32632};
  return geo;
}

TEST(GeoReferenceTest, WorldFilesAndTheirNames) {
  EXPECT_EQ(worldFileText(northUp()), "30\n0\n0\n-20\n600015\n5299990\n");
  GeoTags points = northUp();
  points.keyDirectory = {1, 1, 0, 1, 1025, 0, 1, 2};  // PixelIsPoint
  EXPECT_EQ(worldFileText(points), "30\n0\n0\n-20\n600000\n5300000\n");
  EXPECT_EQ(worldFileText(GeoTags()), "");
  const char* const names[][2] = {
      {"map.png", "map.pgw"},     {"d/map.tif", "d/map.tfw"},
      {"map.tiff", "map.tfw"},    {"map.bmp", "map.bpw"},
      {"map.r16", "map.wld"},     {"map.RAW", "map.wld"},
      {"a.b/map", "a.b/map.wld"}, {".png", ".png.wld"},
  };
  for (const auto& name : names) {
    EXPECT_EQ(worldFilePath(name[0]), name[1]) << name[0];
  }
}

}  // namespace
