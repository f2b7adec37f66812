#include "processing/height_tiles.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "processing/engine_sizes.h"
#include "processing/resampling.h"

namespace {

TEST(HeightTilesTest, PlansEvenCutsAndNamesTheNearestSizes) {
  struct Case {
    int32_t width, height;
    TileGrid grid;
    int32_t tileWidth, tileHeight;  // 0: refused
    const char* nearest;            // what the refusal names
  };
  const Case cases[] = {
      {1001, 601, {4, 3}, 251, 201, nullptr},
      {7, 3, {1, 1}, 7, 3, nullptr},
      {1, 1, {1, 1}, 1, 1, nullptr},
      {5, 5, {4, 1}, 2, 5, nullptr},
      {1001, 600, {3, 2}, 0, 0, "1000 x 599 and 1003 x 601"},
      {1000, 601, {3, 2}, 334, 301, nullptr},
      // More tiles than spans: no smaller size can, the larger one names.
      {5, 5, {5, 1}, 0, 0, "cut 5 x 5 pixels"},
      {5, 5, {5, 1}, 0, 0, "can: 6 x 5 ("},
  };
  for (const Case& c : cases) {
    TilePlan plan;
    std::string error;
    bool planned = planTiles(c.width, c.height, c.grid, &plan, &error);
    ASSERT_EQ(planned, c.tileWidth != 0) << c.width << "x" << c.height;
    if (!planned) {
      EXPECT_NE(error.find(c.nearest), std::string::npos) << error;
      continue;
    }
    EXPECT_EQ(plan.tileWidth, c.tileWidth);
    EXPECT_EQ(plan.tileHeight, c.tileHeight);
    EXPECT_EQ(planWidth(plan), c.width);
    EXPECT_EQ(planHeight(plan), c.height);
  }
}

TEST(HeightTilesTest, NamesEachTileBesideTheOutput) {
  struct Case {
    const char* output;
    TileNaming naming;
    TileGrid grid;
    int32_t column, row;
    const char* name;
  };
  const Case cases[] = {
      {"out/tiles.png",
       TileNaming::kUnreal,
       {4, 4},
       1,
       0,
       "out/tiles_x1_y0.png"},
      {"out/tiles.png",
       TileNaming::kUnreal,
       {4, 4},
       0,
       3,
       "out/tiles_x0_y3.png"},
      // Unity's z runs up the map: the top row of tiles is the last.
      {"out/tiles.png", TileNaming::kUnity, {4, 4}, 1, 0, "out/tiles_1_3.png"},
      {"terrain.r16", TileNaming::kUnity, {2, 3}, 1, 2, "terrain_1_0.r16"},
      {"maps.v2/world",
       TileNaming::kUnreal,
       {2, 2},
       1,
       1,
       "maps.v2/world_x1_y1"},
      {"C:\\maps\\w.tar.bmp",
       TileNaming::kUnreal,
       {2, 2},
       0,
       1,
       "C:\\maps\\w.tar_x0_y1.bmp"},
      {"maps/.hidden", TileNaming::kUnreal, {2, 2}, 0, 0, "maps/.hidden_x0_y0"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(tileFileName(c.output, c.naming, c.grid, c.column, c.row),
              c.name);
  }
}

// Fitted to Unity in 2 x 2 tiles, a 50 x 40 map is resampled to 65 x 65 and
// cut into four of 33; put back together on their shared edges, the tiles
// are the resampled map byte for byte, in every plane.
TEST(HeightTilesTest, TilesReassembleIntoTheWhole) {
  if (!haveResampler()) {
    GTEST_SKIP() << "built without stb_image_resize: no resampler";
  }
  const int32_t width = 50, height = 40;
  PlaneSet whole;
  std::string error;
  ASSERT_TRUE(allocatePlanes(&whole, width, height, &error));
  whole.base = kWideBase;
  for (int32_t row = 0; row < height; ++row) {
    for (int32_t column = 0; column < width; ++column) {
      storeHeight(kWideBase, (row * 7919 + column * 104729) % 60000,
                  &whole.inRed[row][column], &whole.inGreen[row][column]);
      whole.inBlue[row][column] = static_cast<uint8_t>(row + column);
    }
  }
  EngineFit fit;
  ASSERT_TRUE(fitToEngine(Engine::kUnity, width, height, {2, 2}, &fit, &error));
  const TilePlan& plan = fit.tiles;
  ASSERT_EQ(plan.tileWidth, 33);
  ResampleOutcome outcome;
  ASSERT_TRUE(resampleHeights(&whole, width, height,
                              {planWidth(plan), planHeight(plan)}, &outcome,
                              &error))
      << error;
  const int32_t side = planWidth(plan);
  ASSERT_EQ(side, 65);
  const BytePlane* wholePlanes[] = {&whole.outRed, &whole.outGreen,
                                    &whole.outBlue};
  std::vector<int> assembled(3 * 65 * 65, -1);
  for (int32_t j = 0; j < 2; ++j) {
    for (int32_t i = 0; i < 2; ++i) {
      TilePlanes tile;
      cutTile(whole, plan, i, j, &tile);
      ASSERT_EQ(tile.planes.width, 33);
      ASSERT_EQ(tile.planes.height, 33);
      const BytePlane* tilePlanes[] = {
          &tile.planes.outRed, &tile.planes.outGreen, &tile.planes.outBlue};
      for (int plane = 0; plane < 3; ++plane) {
        for (int32_t row = 0; row < 33; ++row) {
          for (int32_t column = 0; column < 33; ++column) {
            int value = (*tilePlanes[plane])[row][column];
            int& cell = assembled[static_cast<size_t>(
                (plane * 65 + j * 32 + row) * 65 + i * 32 + column)];
            // A shared edge holds the same bytes in both tiles.
            if (cell >= 0) {
              ASSERT_EQ(cell, value);
            }
            cell = value;
          }
        }
      }
    }
  }
  for (int plane = 0; plane < 3; ++plane) {
    for (int32_t row = 0; row < side; ++row) {
      for (int32_t column = 0; column < side; ++column) {
        ASSERT_EQ(
            assembled[static_cast<size_t>((plane * 65 + row) * 65 + column)],
            (*wholePlanes[plane])[row][column]);
      }
    }
  }
  releasePlanes(&whole);
}

}  // namespace
