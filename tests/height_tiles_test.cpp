#include "processing/height_tiles.h"

#include <gtest/gtest.h>

#include <algorithm>
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
      // A side of one pixel has no span for its one tile either.
      {5, 1, {2, 1}, 0, 0, "can: 5 x 2 ("},
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
  constexpr TileNaming kUnreal = TileNaming::kFromTop;
  constexpr TileNaming kUnity = TileNaming::kUnity;
  constexpr TileNaming kBottom = TileNaming::kFromBottom;
  const TileGrid four{4, 4};
  EXPECT_EQ(tileFileName("out/t.png", kUnreal, four, 1, 0), "out/t_x1_y0.png");
  EXPECT_EQ(tileFileName("out/t.png", kUnreal, four, 0, 3), "out/t_x0_y3.png");
  // World Composition counts y up the map, as Unity counts z.
  EXPECT_EQ(tileFileName("out/t.png", kBottom, four, 1, 0), "out/t_x1_y3.png");
  EXPECT_EQ(tileFileName("t.r16", kBottom, {3, 2}, 2, 1), "t_x2_y0.r16");
  EXPECT_EQ(tileFileName("out/t.png", kUnity, four, 1, 0), "out/t_1_3.png");
  EXPECT_EQ(tileFileName("t.r16", kUnity, {2, 3}, 1, 2), "t_1_0.r16");
  // Unity's Toolbox sorts names as text: indices of one width, the widest
  // of either axis (11 tiles across, 3 down: two digits for both).
  EXPECT_EQ(tileFileName("t.raw", kUnity, {11, 3}, 10, 2), "t_10_00.raw");
  EXPECT_EQ(tileFileName("t.raw", kUnity, {3, 11}, 2, 0), "t_02_10.raw");
  EXPECT_EQ(tileFileName("t.raw", kUnity, {10, 10}, 9, 9), "t_9_0.raw");
  EXPECT_EQ(tileFileName("t.raw", kUnity, {12, 12}, 3, 0), "t_03_11.raw");
  EXPECT_EQ(tileNamePattern("o/t.raw", kUnity), "o/t_<x>_<z>.raw");
  EXPECT_EQ(tileNamePattern("wc.png", kBottom), "wc_x<i>_y<j>.png");
  // Extensions are the last name's own: none in a folder or a leading dot.
  EXPECT_EQ(tileFileName("maps.v2/w", kUnreal, four, 1, 1), "maps.v2/w_x1_y1");
  EXPECT_EQ(tileFileName("C:\\m\\w.tar.bmp", kUnreal, four, 0, 1),
            "C:\\m\\w.tar_x0_y1.bmp");
  EXPECT_EQ(tileFileName("m/.hidden", kUnreal, four, 0, 0), "m/.hidden_x0_y0");
}

// What an importer that takes every file of a tile prefix would take.
TEST(HeightTilesTest, KnowsTheNamesATiledImportTakes) {
  struct Case {
    const char* name;
    bool tile;
  };
  const Case cases[] = {
      {"wc_x0_y0.png", true},   {"WC_X12_Y3.PNG", true},
      {"wc_x0_y0.r16", true},   {"wc_x0_y.png", false},
      {"wc_x_y0.png", false},   {"wc_x0_y0", false},
      {"wc.png", false},        {"wcx_x0_y0.png", false},
      {"wc_x0_y0_.png", false}, {"wc_x1y0.png", false},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(isTileName(c.name, "wc"), c.tile) << c.name;
  }
}

// Fitted to Unity in 2 x 2 tiles, a 50 x 40 map is resampled to 65 x 65 and
// cut into four of 33 that share their edges; put back together, they are
// the resampled map byte for byte.
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
  ASSERT_TRUE(
      fitToEngine(Engine::kUnity, width, height, {2, 2}, true, &fit, &error));
  const TilePlan& plan = fit.tiles;
  ASSERT_EQ(plan.tileWidth, 32);
  ResampleOutcome outcome;
  ASSERT_TRUE(resampleHeights(&whole, width, height,
                              {planWidth(plan), planHeight(plan)}, &outcome,
                              &error))
      << error;
  ASSERT_EQ(planWidth(plan), 63);
  // Every tile pixel is the whole's at the tile's place, in every plane,
  // and the tiles cover the whole.
  std::vector<bool> covered(63 * 63, false);
  for (int32_t j = 0; j < 2; ++j) {
    for (int32_t i = 0; i < 2; ++i) {
      TilePlanes tile;
      cutTile(whole, plan, i, j, &tile);
      ASSERT_EQ(tile.planes.width, 32);
      ASSERT_EQ(tile.planes.height, 32);
      for (int32_t row = 0; row < 32; ++row) {
        for (int32_t column = 0; column < 32; ++column) {
          const int32_t wholeRow = j * 31 + row, wholeColumn = i * 31 + column;
          ASSERT_EQ(tile.planes.outRed[row][column],
                    whole.outRed[wholeRow][wholeColumn]);
          ASSERT_EQ(tile.planes.outGreen[row][column],
                    whole.outGreen[wholeRow][wholeColumn]);
          ASSERT_EQ(tile.planes.outBlue[row][column],
                    whole.outBlue[wholeRow][wholeColumn]);
          covered[static_cast<size_t>(wholeRow * 63 + wholeColumn)] = true;
        }
      }
    }
  }
  EXPECT_EQ(std::count(covered.begin(), covered.end(), false), 0);
  releasePlanes(&whole);
}

}  // namespace

namespace {

// What tileFileName writes reads back as the place it names, and other
// names as none.
TEST(HeightTilesTest, TileNamesReadBackAsTheirPlaces) {
  const TileGrid grid = {12, 3};
  for (TileNaming naming :
       {TileNaming::kFromTop, TileNaming::kFromBottom, TileNaming::kUnity}) {
    for (int32_t column : {0, 11}) {
      for (int32_t row : {0, 2}) {
        const std::string name =
            tileFileName("out/Valley.r16", naming, grid, column, row);
        std::string prefix;
        int32_t readColumn = -1, readRow = -1;
        bool unity = false;
        ASSERT_TRUE(
            tilePlaceOfName(name, &prefix, &readColumn, &readRow, &unity))
            << name;
        EXPECT_EQ(prefix, "valley") << name;
        EXPECT_EQ(readColumn, column) << name;
        EXPECT_EQ(readRow, naming == TileNaming::kFromTop ? row : 2 - row)
            << name;
        EXPECT_EQ(unity, naming == TileNaming::kUnity) << name;
      }
    }
  }
  for (const char* name : {"N47W122.hgt", "a_x1.png", "a_x1_y.png", "_1_2.r16",
                           "a_x1_y2", "a_xy_y2.png", "a_1_2_.png"}) {
    std::string prefix;
    int32_t column = 0, row = 0;
    bool unity = false;
    EXPECT_FALSE(tilePlaceOfName(name, &prefix, &column, &row, &unity))
        << name;
  }
}

}  // namespace
