#include "processing/engine_sizes.h"

#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

namespace {

// The size nearest the map's side by ratio, each side of every halfway
// point (sqrt(a b)) it crosses: a side below sqrt(1025 x 2049) = 1449.2
// takes 1025, one above takes 2049. With tiles, a tile spans (side - 1) /
// count + 1 samples, fractions kept: 92 across 2 tiles is 46.5, past
// sqrt(33 x 65) = 46.3. Larger than the engine's largest: its largest,
// capped, with the tiles that would keep the detail.
TEST(EngineSizesTest, PicksTheNearestSizeByRatio) {
  struct Case {
    Engine engine;
    int32_t width, height;
    TileGrid grid;
    bool tiled;
    int32_t tileWidth, tileHeight;
    bool capped;
  };
  constexpr Engine kUnity = Engine::kUnity;
  constexpr Engine kUnreal = Engine::kUnreal;
  constexpr Engine kGodot = Engine::kGodot;
  const Case cases[] = {
      {kUnity, 1, 1, {1, 1}, false, 33, 33, false},
      {kUnity, 46, 46, {1, 1}, false, 33, 33, false},
      {kUnity, 47, 47, {1, 1}, false, 65, 65, false},
      {kUnity, 1025, 1025, {1, 1}, false, 1025, 1025, false},
      {kUnity, 1449, 300, {1, 1}, false, 1025, 1025, false},
      {kUnity, 300, 1450, {1, 1}, false, 2049, 2049, false},
      {kUnity, 4097, 4097, {1, 1}, false, 4097, 4097, false},
      {kUnity, 4098, 10, {1, 1}, false, 4097, 4097, true},
      // The Toolbox's tiles are 2^n: 45 a tile takes 32, 46 takes 64.
      {kUnity, 89, 10, {2, 1}, true, 32, 32, false},
      {kUnity, 91, 10, {2, 1}, true, 64, 64, false},
      // 65 / 2 + 1 = 33.5 a tile: the whole shrinks to 63.
      {kUnity, 66, 10, {2, 1}, true, 32, 32, false},
      {kUnity, 10, 1, {2, 1}, true, 32, 32, false},
      {kGodot, 33, 33, {1, 1}, false, 65, 65, false},
      {kGodot, 91, 91, {1, 1}, false, 65, 65, false},
      {kGodot, 92, 92, {1, 1}, false, 129, 129, false},
      {kGodot, 9000, 9000, {1, 1}, false, 4097, 4097, true},
      {kUnreal, 1025, 1025, {1, 1}, false, 1009, 1009, false},
      {kUnreal, 1426, 1427, {1, 1}, false, 1009, 2017, false},
      {kUnreal, 179, 178, {1, 1}, false, 127, 127, false},
      {kUnreal, 180, 179, {1, 1}, false, 253, 127, false},
      {kUnreal, 5725, 100, {1, 1}, false, 4033, 127, false},
      // Past sqrt(4033 x 8129) = 5725.7 both sides take 127-quad sections.
      {kUnreal, 5726, 100, {1, 1}, false, 8129, 255, false},
      {kUnreal, 4034, 4033, {1, 1}, false, 4033, 4033, false},
      {kUnreal, 8000, 4033, {1, 1}, false, 8129, 4065, false},
      {kUnreal, 8000, 2700, {1, 1}, false, 8129, 2033, false},
      {kUnreal, 9000, 9000, {1, 1}, false, 8129, 8129, true},
      // World Composition's tiles are square, even one.
      {kUnreal, 1201, 801, {1, 1}, true, 1009, 1009, false},
      {kUnreal, 8193, 8193, {4, 4}, true, 2017, 2017, false},
      {kUnreal, 20000, 8129, {2, 1}, true, 8129, 8129, true},
  };
  for (const Case& c : cases) {
    EngineFit fit;
    std::string error;
    const std::string which = std::to_string(static_cast<int>(c.engine)) +
                              ": " + std::to_string(c.width) + " x " +
                              std::to_string(c.height);
    ASSERT_TRUE(
        fitToEngine(c.engine, c.width, c.height, c.grid, c.tiled, &fit, &error))
        << which << " " << error;
    EXPECT_EQ(fit.tiles.tileWidth, c.tileWidth) << which;
    EXPECT_EQ(fit.tiles.tileHeight, c.tileHeight) << which;
    EXPECT_EQ(fit.capped, c.capped) << which;
    EXPECT_EQ(fit.tiled, c.tiled) << which;
    EXPECT_EQ(fit.tiles.grid.columns, c.grid.columns) << which;
    EXPECT_EQ(fit.tiles.grid.rows, c.grid.rows) << which;
  }
}

// Every halfway point of every engine, from both sides: the side just
// below sqrt(a b) takes a, the side just above takes b.
TEST(EngineSizesTest, EveryHalfwayPointFromBothSides) {
  struct Family {
    Engine engine;
    std::vector<int32_t> sizes;
  };
  const Family families[] = {
      {Engine::kUnity, {33, 65, 129, 257, 513, 1025, 2049, 4097}},
      {Engine::kGodot, {65, 129, 257, 513, 1025, 2049, 4097}},
      {Engine::kUnreal, {127, 253, 505, 1009, 2017, 4033, 8129}},
  };
  for (const Family& family : families) {
    for (size_t index = 0; index + 1 < family.sizes.size(); ++index) {
      const int32_t a = family.sizes[index], b = family.sizes[index + 1];
      const auto below = static_cast<int32_t>(
          std::floor(std::sqrt(static_cast<double>(a) * b)));
      for (int32_t side : {below, below + 1}) {
        EngineFit fit;
        std::string error;
        ASSERT_TRUE(fitToEngine(family.engine, side, side, {1, 1}, false, &fit,
                                &error));
        EXPECT_EQ(fit.tiles.tileWidth, side == below ? a : b)
            << static_cast<int>(family.engine) << " side " << side;
        EXPECT_EQ(fit.tiles.tileHeight, fit.tiles.tileWidth);
      }
    }
  }
}

// Unreal's dialog: a side is components x 2 sections x quads + 1.
TEST(EngineSizesTest, DescribesUnrealsLandscape) {
  struct Case {
    int32_t width, height;
    int32_t quads, componentsX, componentsY;
  };
  const Case cases[] = {
      {127, 127, 63, 1, 1},     {1009, 505, 63, 8, 4},
      {4033, 4033, 63, 32, 32}, {8129, 8129, 127, 32, 32},
      {8129, 255, 127, 32, 1},  {8129, 4065, 127, 32, 16},
  };
  for (const Case& c : cases) {
    EngineFit fit;
    std::string error;
    ASSERT_TRUE(fitToEngine(Engine::kUnreal, c.width, c.height, {1, 1}, false,
                            &fit, &error));
    EXPECT_EQ(fit.landscape.quadsPerSection, c.quads) << c.width;
    EXPECT_EQ(fit.landscape.sectionsPerComponent, 2) << c.width;
    EXPECT_EQ(fit.landscape.componentsX, c.componentsX) << c.width;
    EXPECT_EQ(fit.landscape.componentsY, c.componentsY) << c.width;
  }
}

TEST(EngineSizesTest, RefusesWhatCannotBeCut) {
  EngineFit fit;
  std::string error;
  EXPECT_FALSE(fitToEngine(Engine::kUnity, 1, 5, {2, 1}, true, &fit, &error));
  EXPECT_EQ(error,
            "-tiles 2x1 cannot cut a 1 x 5 map: a side of one pixel is one "
            "tile (-tiles 1x1)");
  EXPECT_FALSE(fitToEngine(Engine::kUnreal, 5, 1, {2, 3}, true, &fit, &error));
  EXPECT_EQ(error,
            "-tiles 2x3 cannot cut a 5 x 1 map: a side of one pixel is one "
            "tile (-tiles 2x1)");
  EXPECT_FALSE(fitToEngine(Engine::kUnity, 5, 5, {0, 1}, true, &fit, &error));
}

TEST(EngineSizesTest, ParsesEngineNames) {
  Engine engine = Engine::kUnreal;
  EXPECT_TRUE(parseEngine("unity", &engine));
  EXPECT_EQ(engine, Engine::kUnity);
  EXPECT_TRUE(parseEngine("godot", &engine));
  EXPECT_EQ(engine, Engine::kGodot);
  EXPECT_TRUE(parseEngine("unreal", &engine));
  EXPECT_EQ(engine, Engine::kUnreal);
  EXPECT_FALSE(parseEngine("Unity", &engine));
  EXPECT_FALSE(parseEngine("unreal5", &engine));
  EXPECT_EQ(engine, Engine::kUnreal);
}

}  // namespace
