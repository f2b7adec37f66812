#include "app/run_geometry.h"

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "platform/interrupts.h"

namespace {

// Every field the plan computes, for turns, a new size, an engine's size
// and tiles, and the refusal of too many tiles.
TEST(RunGeometryTest, PlansEveryFieldFromTheSwitches) {
  struct Case {
    std::vector<const char*> switches;  // for a 9 x 7 input
    bool turned;
    int32_t width, height;
    bool resampled;
    ResampleFilter filter;
    bool fitted, tiled;
    TilePlan tiles;
    TileNaming naming;
  };
  using F = ResampleFilter;
  using N = TileNaming;
  // clang-format off
  const Case cases[] = {
      {{}, false, 9, 7, false, F::kCubic, false, false, {{1, 1}, 9, 7},
       N::kFromTop},
      {{"-rotate", "90"}, true, 7, 9, false, F::kCubic, false, false,
       {{1, 1}, 7, 9}, N::kFromTop},
      {{"-flip", "vertical", "-flip", "vertical"}, false, 9, 7, false,
       F::kCubic, false, false, {{1, 1}, 9, 7}, N::kFromTop},
      {{"-size", "5x3", "-filter", "box"}, false, 5, 3, true, F::kBox, false,
       false, {{1, 1}, 5, 3}, N::kFromTop},
      {{"-tiles", "2x2"}, false, 9, 7, false, F::kCubic, false, true,
       {{2, 2}, 5, 4}, N::kFromTop},
      {{"-fit", "unity"}, false, 33, 33, true, F::kCubic, true, false,
       {{1, 1}, 33, 33}, N::kUnity},
      {{"-fit", "unreal", "-tiles", "2x1"}, false, 253, 127, true, F::kCubic,
       true, true, {{2, 1}, 127, 127}, N::kFromBottom},
  };
  // clang-format on
  for (const Case& c : cases) {
    std::vector<const char*> argv = {"q", "in", "out"};
    argv.insert(argv.end(), c.switches.begin(), c.switches.end());
    const RunOptions options =
        findRunOptions(static_cast<int>(argv.size()), argv.data());
    const std::string what = c.switches.empty() ? "" : c.switches[0];
    RunGeometry geometry;
    std::string error;
    ASSERT_TRUE(planRunGeometry(options, 9, 7, &geometry, &error)) << error;
    EXPECT_EQ(geometry.turns, options.turns) << what;
    EXPECT_EQ(geometry.turned, c.turned) << what;
    EXPECT_EQ(geometry.width, c.width) << what;
    EXPECT_EQ(geometry.height, c.height) << what;
    EXPECT_EQ(geometry.resampled, c.resampled) << what;
    EXPECT_EQ(geometry.resample.width, c.width) << what;
    EXPECT_EQ(geometry.resample.height, c.height) << what;
    EXPECT_EQ(geometry.resample.filter, c.filter) << what;
    EXPECT_EQ(geometry.fitted, c.fitted) << what;
    if (c.fitted) {
      EXPECT_EQ(geometry.fit.engine, options.engine) << what;
    }
    EXPECT_EQ(geometry.tiled, c.tiled) << what;
    EXPECT_EQ(geometry.tiles.grid.columns, c.tiles.grid.columns) << what;
    EXPECT_EQ(geometry.tiles.grid.rows, c.tiles.grid.rows) << what;
    EXPECT_EQ(geometry.tiles.tileWidth, c.tiles.tileWidth) << what;
    EXPECT_EQ(geometry.tiles.tileHeight, c.tiles.tileHeight) << what;
    EXPECT_EQ(geometry.naming, c.naming) << what;
  }
  RunOptions many;
  many.tiles = {33, 32};
  many.tilesGiven = true;
  RunGeometry geometry;
  std::string error;
  EXPECT_FALSE(planRunGeometry(many, 9, 7, &geometry, &error));
  EXPECT_EQ(error,
            "Too many tiles: -tiles 33x32 makes 1056 files, more than 1024");
}

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
TEST(RunGeometryTest, EveryGridLiesWhereItsPixelsCameFrom) {
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

// Every tile of the largest tiling and the picture can be guarded at once,
// so that an interruption finds each temporary to remove.
TEST(ElevationRecoderTest, EveryTemporaryOfTheLargestTilingIsGuarded) {
  std::vector<int> guards;
  for (int64_t index = 0; index <= kMostTiles; ++index) {
    std::string path = "/nonexistent/.tile" + std::to_string(index);
    guards.push_back(guardTemporaryFile(path.c_str()));
    EXPECT_GE(guards.back(), 0) << index;
  }
  for (int guard : guards) releaseGuard(guard);
}

}  // namespace
