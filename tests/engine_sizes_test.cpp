#include "processing/engine_sizes.h"

#include <gtest/gtest.h>

#include <string>

namespace {

// The sizes -fit picks for square maps of each side, and Unreal's dialog:
// a side is components x 2 sections x quads + 1.
TEST(EngineSizesTest, PicksTheSmallestSizeHoldingTheMap) {
  struct Case {
    int32_t side;
    int32_t unity;
    int32_t unreal, quads, components;
  };
  const Case cases[] = {
      {1, 33, 127, 63, 1},         {33, 33, 127, 63, 1},
      {34, 65, 127, 63, 1},        {127, 129, 127, 63, 1},
      {128, 129, 253, 63, 2},      {1025, 1025, 2017, 63, 16},
      {1201, 2049, 2017, 63, 16},  {3601, 4097, 4033, 63, 32},
      {4033, 4097, 4033, 63, 32},  {4034, 4097, 8129, 127, 32},
      {4097, 4097, 8129, 127, 32}, {8129, 0, 8129, 127, 32},
  };
  for (const Case& c : cases) {
    EngineFit fit;
    std::string error;
    const bool unityFits =
        fitToEngine(Engine::kUnity, c.side, c.side, TileGrid(), &fit, &error);
    EXPECT_EQ(unityFits, c.unity != 0) << c.side;
    if (unityFits) {
      EXPECT_EQ(fit.tiles.tileWidth, c.unity) << c.side;
      EXPECT_EQ(fit.tiles.tileHeight, c.unity) << c.side;
      EXPECT_EQ(fit.terrainWidth, 1);
      EXPECT_EQ(fit.terrainLength, 1);
    }
    ASSERT_TRUE(
        fitToEngine(Engine::kUnreal, c.side, c.side, TileGrid(), &fit, &error))
        << error;
    EXPECT_EQ(fit.tiles.tileWidth, c.unreal) << c.side;
    EXPECT_EQ(fit.tiles.tileHeight, c.unreal) << c.side;
    EXPECT_EQ(fit.landscape.quadsPerSection, c.quads) << c.side;
    EXPECT_EQ(fit.landscape.sectionsPerComponent, 2);
    EXPECT_EQ(fit.landscape.componentsX, c.components) << c.side;
    EXPECT_EQ(fit.landscape.componentsY, c.components) << c.side;
    EXPECT_EQ(planWidth(fit.tiles), c.unreal);
  }
}

// Maps that are not square, tiled maps, and the refusals that suggest
// -tiles, with the lines that tell what to enter in the engine.
TEST(EngineSizesTest, SidesTilesRefusalsAndSettings) {
  struct Case {
    Engine engine;
    int32_t width, height;
    TileGrid grid;
    int32_t tileWidth, tileHeight;  // 0: refused
    const char* text;               // the settings line, or the refusal
  };
  const Case cases[] = {
      {Engine::kUnity,
       1201,
       801,
       {1, 1},
       2049,
       2049,
       "quillorn: for Unity: Heightmap Resolution 2049; Terrain Width : "
       "Length = 3 : 2 (1.5 : 1) keeps the map's proportions"},
      {Engine::kUnreal,
       1201,
       801,
       {1, 1},
       2017,
       1009,
       "quillorn: for Unreal's New Landscape: Section Size 63x63 Quads, "
       "Sections Per Component 2x2 Sections, Number of Components 16 x 8 "
       "(Overall Resolution 2017 x 1009)"},
      // One side past 4033: both take 127-quad sections.
      {Engine::kUnreal, 8000, 3000, {1, 1}, 8129, 4065, nullptr},
      {Engine::kUnity,
       4097,
       2049,
       {4, 2},
       1025,
       1025,
       "quillorn: for Unity: 4 x 2 terrains, each of Heightmap Resolution "
       "1025; Terrain Width = Length keeps the map's proportions"},
      {Engine::kUnreal,
       8193,
       8193,
       {4, 4},
       4033,
       4033,
       "quillorn: for Unreal's New Landscape, each of the 4 x 4 tiles: "
       "Section Size 63x63 Quads, Sections Per Component 2x2 Sections, "
       "Number of Components 32 x 32 (Overall Resolution 4033 x 4033)"},
      {Engine::kUnity,
       4098,
       300,
       {1, 1},
       0,
       0,
       "A 4098 x 300 map is larger than Unity's largest terrain heightmap "
       "(4097 x 4097); -tiles 2x1 cuts it into tiles that fit"},
      {Engine::kUnreal,
       20000,
       8129,
       {2, 1},
       0,
       0,
       "A 20000 x 8129 map cut into 2 x 1 tiles is larger than Unreal's "
       "largest recommended landscape (8129 x 8129) per tile; -tiles 3x1 "
       "cuts it into tiles that fit"},
  };
  for (const Case& c : cases) {
    EngineFit fit;
    std::string error;
    bool fits = fitToEngine(c.engine, c.width, c.height, c.grid, &fit, &error);
    ASSERT_EQ(fits, c.tileWidth != 0) << c.width << " " << error;
    if (!fits) {
      EXPECT_EQ(error, c.text);
      continue;
    }
    EXPECT_EQ(fit.tiles.tileWidth, c.tileWidth) << c.width;
    EXPECT_EQ(fit.tiles.tileHeight, c.tileHeight) << c.width;
    // Every tile covers its share of the map: the whole holds it.
    EXPECT_GE(planWidth(fit.tiles), c.width);
    EXPECT_GE(planHeight(fit.tiles), c.height);
    EXPECT_EQ(fit.tiles.grid.columns, c.grid.columns);
    if (c.text != nullptr) {
      EXPECT_EQ(engineSettingsLine(fit), c.text);
    }
  }
}

TEST(EngineSizesTest, ParsesEngineNames) {
  Engine engine = Engine::kUnreal;
  EXPECT_TRUE(parseEngine("unity", &engine));
  EXPECT_EQ(engine, Engine::kUnity);
  EXPECT_TRUE(parseEngine("unreal", &engine));
  EXPECT_EQ(engine, Engine::kUnreal);
  EXPECT_FALSE(parseEngine("Unity", &engine));
  EXPECT_FALSE(parseEngine("godot", &engine));
  EXPECT_EQ(engine, Engine::kUnreal);
}

}  // namespace
