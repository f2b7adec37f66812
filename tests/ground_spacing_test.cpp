#include "image/ground_spacing.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

// A key directory: the header (version 1.1.0, key count), then the keys
// (id, location 0, count 1, value).
std::vector<uint16_t> keys(std::vector<std::vector<uint16_t>> entries) {
  std::vector<uint16_t> directory = {1, 1, 0,
                                     static_cast<uint16_t>(entries.size())};
  for (const auto& entry : entries) {
    directory.insert(directory.end(), {entry[0], 0, 1, entry[1]});
  }
  return directory;
}

// Metres only where the file says its model is projected in metres, or
// says nothing of its unit; degrees and feet give no ground.
TEST(GroundSpacingTest, GeoTiffsInMetresOnly) {
  struct Case {
    const char* what;
    GeoTags geo;
    bool metres;
    double x, y;
  };
  GeoTags projected;
  projected.pixelScale = {30, 20, 0};
  projected.keyDirectory = keys({{1024, 1}, {3072, 32632}});
  GeoTags inMetres = projected;
  inMetres.keyDirectory = keys({{1024, 1}, {3076, 9001}});
  GeoTags inFeet = projected;
  inFeet.keyDirectory = keys({{1024, 1}, {3076, 9002}});
  GeoTags geographic = projected;
  geographic.keyDirectory = keys({{1024, 2}});
  GeoTags turned;
  turned.transformation = {0, 25, 0, 500000, -25, 0, 0, 5e6,
                           0, 0,  0, 0,      0,   0, 0, 1};
  GeoTags none;
  const Case cases[] = {
      {"projected, unit unsaid", projected, true, 30, 20},
      {"projected in metres", inMetres, true, 30, 20},
      {"projected in feet", inFeet, false, 0, 0},
      {"geographic", geographic, false, 0, 0},
      {"a quarter-turned transformation", turned, true, 25, 25},
      {"no georeference", none, false, 0, 0},
  };
  for (const Case& c : cases) {
    GroundSpacing spacing;
    EXPECT_EQ(spacingOfGeoTags(c.geo, &spacing), c.metres) << c.what;
    if (c.metres) {
      EXPECT_DOUBLE_EQ(spacing.x, c.x) << c.what;
      EXPECT_DOUBLE_EQ(spacing.y, c.y) << c.what;
    }
  }
}

// An SRTM tile's degree at its middle latitude, over its side - 1
// spacings; names that are no tile's corner give none.
TEST(GroundSpacingTest, SrtmTilesByName) {
  struct Case {
    const char* path;
    int32_t side;
    bool found;
    double x, y;  // metres, within 1 m over the tile
  };
  const Case cases[] = {
      {"N00E006.hgt", 3601, true, 111315, 110574},
      {"dem/n47e011.HGT", 1201, true, 75343, 111181},
      {"srtm/N47W122.SRTMGL1.hgt.zip", 3601, true, 75343, 111181},
      {"N47E0110.hgt", 1201, false, 0, 0},
      {"S47W011.hgt", 1201, true, 76763, 111161},
      {"N89E000.hgt", 1201, true, 975, 111694},
      {"X47E011.hgt", 1201, false, 0, 0},
      {"N4E011.hgt", 1201, false, 0, 0},
      {"N90E000.hgt", 1201, false, 0, 0},
      {"tile.hgt", 1201, false, 0, 0},
  };
  for (const Case& c : cases) {
    GroundSpacing spacing;
    EXPECT_EQ(spacingOfSrtmTile(c.path, c.side, &spacing), c.found) << c.path;
    if (c.found) {
      EXPECT_NEAR(spacing.x * (c.side - 1), c.x, 1.0) << c.path;
      EXPECT_NEAR(spacing.y * (c.side - 1), c.y, 1.0) << c.path;
    }
  }
}

}  // namespace
