#include "processing/tile_layout.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

// A tile of 1/(side - 1) degree spacing whose first sample's centre is at
// (west, north), as SRTM tiles are placed.
GeoTile degreeTile(double west, double north, int32_t side,
                   double spacing = 0) {
  GeoTile tile;
  const double step = spacing != 0 ? spacing : 1.0 / (side - 1);
  tile.toModel.a = step;
  tile.toModel.e = -step;
  tile.toModel.c = west;
  tile.toModel.f = north;
  tile.pointSamples = true;
  tile.width = tile.height = side;
  return tile;
}

TEST(TileLayoutTest, PlacesGeoreferencedTilesOnTheFirstOnesGrid) {
  struct Case {
    const char* what;
    std::vector<GeoTile> tiles;
    int32_t width, height;        // 0: refused
    std::vector<TileRect> rects;  // when placed
    size_t odd;                   // when refused
    const char* reason;
  };
  GeoTile areaTile = degreeTile(-121.0, 48.0, 5);
  // The same place with its corners given: the half sample moves it back.
  areaTile.pointSamples = false;
  areaTile.toModel.c -= 0.125;
  areaTile.toModel.f += 0.125;
  GeoTile turned = degreeTile(-121, 47, 5);
  turned.toModel.b = 0.1;
  const Case cases[] = {
      {"four tiles sharing edges, south-east first",
       {degreeTile(-121, 47, 5), degreeTile(-122, 47, 5),
        degreeTile(-122, 48, 5), degreeTile(-121, 48, 5)},
       9,
       9,
       {{4, 4, 5, 5}, {0, 4, 5, 5}, {0, 0, 5, 5}, {4, 0, 5, 5}},
       0,
       nullptr},
      {"a gap between two tiles",
       {degreeTile(-122, 48, 5), degreeTile(-120, 48, 5)},
       13,
       5,
       {{0, 0, 5, 5}, {8, 0, 5, 5}},
       0,
       nullptr},
      {"corners and centres",
       {degreeTile(-122, 48, 5), areaTile},
       9,
       5,
       {{0, 0, 5, 5}, {4, 0, 5, 5}},
       0,
       nullptr},
      {"another spacing",
       {degreeTile(-122, 48, 5), degreeTile(-121, 48, 5, 0.3)},
       0,
       0,
       {},
       1,
       "apart, the first tile's 0.25 x 0.25"},
      {"off the grid",
       {degreeTile(-122, 48, 5), degreeTile(-121.1, 48, 5)},
       0,
       0,
       {},
       1,
       "between the first tile's"},
      {"turned",
       {degreeTile(-122, 48, 5), turned},
       0,
       0,
       {},
       1,
       "not laid north up"},
  };
  for (const Case& c : cases) {
    TileLayout layout;
    TileMisfit misfit;
    const bool placed = placeGeoTiles(c.tiles, &layout, &misfit);
    ASSERT_EQ(placed, c.width != 0) << c.what << ": " << misfit.reason;
    if (!placed) {
      EXPECT_EQ(misfit.tile, c.odd) << c.what;
      EXPECT_NE(misfit.reason.find(c.reason), std::string::npos)
          << c.what << ": " << misfit.reason;
      continue;
    }
    EXPECT_EQ(layout.width, c.width) << c.what;
    EXPECT_EQ(layout.height, c.height) << c.what;
    ASSERT_EQ(layout.rects.size(), c.rects.size()) << c.what;
    for (size_t index = 0; index < c.rects.size(); ++index) {
      EXPECT_EQ(layout.rects[index].left, c.rects[index].left) << c.what;
      EXPECT_EQ(layout.rects[index].top, c.rects[index].top) << c.what;
    }
  }
}

TEST(TileLayoutTest, PlacesNamedTilesSharingTheirEdges) {
  struct Case {
    const char* what;
    std::vector<GridTile> tiles;
    int32_t width, height;  // 0: refused
    size_t odd;
    const char* reason;
    std::vector<int32_t> lefts;  // when placed
  };
  const Case cases[] = {
      // -tiles 3x2 of a 7 x 5 map: tiles of 3 x 3.
      {"a 3 x 2 grid",
       {{0, 0, 3, 3},
        {1, 0, 3, 3},
        {2, 0, 3, 3},
        {0, 1, 3, 3},
        {1, 1, 3, 3},
        {2, 1, 3, 3}},
       7,
       5,
       0,
       nullptr,
       {0, 2, 4, 0, 2, 4}},
      {"narrower last column",
       {{0, 0, 4, 3}, {1, 0, 2, 3}},
       5,
       3,
       0,
       nullptr,
       {0, 3}},
      {"a missing first tile leaves its place",
       {{1, 0, 3, 3}},
       5,
       3,
       0,
       nullptr,
       {2}},
      {"a wider tile",
       {{0, 0, 3, 3}, {1, 0, 3, 3}, {2, 0, 4, 3}},
       0,
       0,
       2,
       "is 4 x 3 samples",
       {}},
      {"one place twice",
       {{0, 0, 3, 3}, {0, 0, 3, 3}},
       0,
       0,
       1,
       "place of another tile",
       {}},
  };
  for (const Case& c : cases) {
    TileLayout layout;
    TileMisfit misfit;
    const bool placed = placeGridTiles(c.tiles, 1, &layout, &misfit);
    ASSERT_EQ(placed, c.width != 0) << c.what << ": " << misfit.reason;
    if (!placed) {
      EXPECT_EQ(misfit.tile, c.odd) << c.what;
      EXPECT_NE(misfit.reason.find(c.reason), std::string::npos)
          << c.what << ": " << misfit.reason;
      continue;
    }
    EXPECT_EQ(layout.width, c.width) << c.what;
    EXPECT_EQ(layout.height, c.height) << c.what;
    for (size_t index = 0; index < c.tiles.size(); ++index) {
      EXPECT_EQ(layout.rects[index].left, c.lefts[index]) << c.what;
    }
  }
}

TEST(TileLayoutTest, FindsSharedEdgesAndGaps) {
  TileLayout layout;
  layout.width = 9;
  layout.height = 5;
  layout.rects = {{0, 0, 5, 5}, {4, 0, 5, 3}};
  const std::vector<TileRect> shared = earlierOverlaps(layout, 1);
  ASSERT_EQ(shared.size(), 1u);
  EXPECT_EQ(shared[0].left, 4);
  EXPECT_EQ(shared[0].width, 1);
  EXPECT_EQ(shared[0].height, 3);
  EXPECT_TRUE(earlierOverlaps(layout, 0).empty());
  EXPECT_TRUE(gapsInRow(layout, 2).empty());
  const auto gaps = gapsInRow(layout, 3);
  ASSERT_EQ(gaps.size(), 1u);
  EXPECT_EQ(gaps[0].first, 5);
  EXPECT_EQ(gaps[0].second, 4);
}

}  // namespace
