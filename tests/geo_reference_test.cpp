#include "image/geo_reference.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "image/gdal_metadata.h"

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

TEST(GeoReferenceTest, BandScaleAndOffsetReadAndWritten) {
  struct Case {
    const char* xml;
    bool known;
    double scale, offset;
  };
  const Case cases[] = {
      {"<GDALMetadata><Item name=\"SCALE\" sample=\"0\" "
       "role=\"scale\">0.2</Item><Item name=\"OFFSET\" sample=\"0\" "
       "role=\"offset\">-100.5</Item></GDALMetadata>",
       true, 0.2, -100.5},
      {"<GDALMetadata><Item name=\"SCALE\" sample=\"1\">5</Item>"
       "<Item name=\"OFFSET\">7</Item></GDALMetadata>",
       true, 1, 7},
      {"<GDALMetadata><Item name=\"SCALE\" sample=\"0\">0</Item>"
       "</GDALMetadata>",
       false, 1, 0},
      {"<GDALMetadata><Item name=\"SCALE\" sample=\"0\">nan</Item>"
       "<Item name=\"DESCRIPTION\">x</Item></GDALMetadata>",
       false, 1, 0},
      {"", false, 1, 0},
  };
  for (const Case& c : cases) {
    const BandValues values = parseBandValues(c.xml);
    EXPECT_EQ(values.known, c.known) << c.xml;
    EXPECT_DOUBLE_EQ(values.scale, c.scale) << c.xml;
    EXPECT_DOUBLE_EQ(values.offset, c.offset) << c.xml;
  }
  BandValues written;
  written.known = true;
  written.scale = 0.0381475725;
  written.offset = -199.999924;
  const BandValues back = parseBandValues(bandValuesXml(written));
  EXPECT_TRUE(back.known);
  EXPECT_EQ(back.scale, written.scale);
  EXPECT_EQ(back.offset, written.offset);
}

}  // namespace
