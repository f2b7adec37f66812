#include "image/geo_reference.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "app/run_geometry.h"
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

// Where the centre of output pixel (row, column) lies, in model metres.
std::pair<double, double> centre(const GeoTags& geo, int32_t row,
                                 int32_t column) {
  Affine model;
  EXPECT_TRUE(rasterToModel(geo, &model));
  const double x = column + 0.5, y = row + 0.5;
  return {model.a * x + model.b * y + model.c,
          model.d * x + model.e * y + model.f};
}

// Each output pixel's centre lands on the centre of the source pixel it
// came from: turned, resampled (corners on corners) and cut into tiles.
TEST(GeoReferenceTest, EveryGridLiesWhereItsPixelsCameFrom) {
  struct Case {
    const char* what;
    std::vector<PlaneTurn> turns;
    int32_t width, height;  // after resampling (9 x 7 before turns)
    bool tiled;
    TilePlan tiles;
    int32_t column, row;  // the tile
    int32_t outRow, outColumn;
    int32_t sourceRow, sourceColumn;
  };
  const Case cases[] = {
      {"as it is", {}, 9, 7, false, {}, 0, 0, 2, 3, 2, 3},
      {"flipped across",
       {PlaneTurn::kFlipHorizontal},
       9,
       7,
       false,
       {},
       0,
       0,
       2,
       3,
       2,
       5},
      {"flipped down",
       {PlaneTurn::kFlipVertical},
       9,
       7,
       false,
       {},
       0,
       0,
       2,
       3,
       4,
       3},
      {"a quarter turn",
       {PlaneTurn::kRotate90},
       7,
       9,
       false,
       {},
       0,
       0,
       0,
       0,
       6,
       0},
      {"three quarters",
       {PlaneTurn::kRotate270},
       7,
       9,
       false,
       {},
       0,
       0,
       0,
       0,
       0,
       8},
      {"enlarged, last corner", {}, 17, 13, false, {}, 0, 0, 12, 16, 6, 8},
      {"tile 1, 1 of 2 x 2", {}, 9, 7, true, {{2, 2}, 5, 4}, 1, 1, 0, 0, 3, 4},
  };
  for (const Case& c : cases) {
    RunGeometry geometry;
    geometry.turns = c.turns;
    geometry.width = c.width;
    geometry.height = c.height;
    const bool swap = composeTurns(c.turns).swapAxes;
    geometry.resampled = c.width != (swap ? 7 : 9);
    geometry.tiled = c.tiled;
    geometry.tiles = c.tiles;
    const GeoTags placed = placedGeoTags(
        northUp(), outputToSource(geometry, 9, 7, c.column, c.row, 0.5));
    const auto got = centre(placed, c.outRow, c.outColumn);
    const auto want = centre(northUp(), c.sourceRow, c.sourceColumn);
    EXPECT_NEAR(got.first, want.first, 1e-6) << c.what;
    EXPECT_NEAR(got.second, want.second, 1e-6) << c.what;
    EXPECT_EQ(placed.keyDirectory, northUp().keyDirectory) << c.what;
    // North up stays a pixel scale and tiepoint; a turn or a flip needs
    // the transformation.
    EXPECT_EQ(placed.transformation.empty(), c.turns.empty()) << c.what;
  }
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
