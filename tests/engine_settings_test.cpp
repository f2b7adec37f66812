#include "app/engine_settings.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

// A map beyond the engine's largest size: its detail is reduced, and the
// -tiles that keep it.
TEST(EngineSettingsTest, WarnsOfLostDetail) {
  EngineFit fit;
  std::string error;
  ASSERT_TRUE(
      fitToEngine(Engine::kUnity, 5000, 1, {1, 1}, false, &fit, &error));
  EXPECT_EQ(engineCapWarning(fit, 5000, 1),
            "a 5000 x 1 map is larger than Unity's largest "
            "size (4097), so it is reduced to 4097 x 4097 and loses detail; "
            "-tiles 2x1 keeps it");
  ASSERT_TRUE(
      fitToEngine(Engine::kUnreal, 20000, 8129, {2, 1}, true, &fit, &error));
  EXPECT_EQ(engineCapWarning(fit, 20000, 8129),
            "a 20000 x 8129 map cut into 2 x 1 tiles is "
            "larger than Unreal's largest size (8129 a tile), so it is "
            "reduced to 16257 x 8129 and loses detail; -tiles 3x1 keeps it");
}

// What to enter in each engine, in its own words: heights in steps of 0.5
// m from -100 m, samples 30 m apart, the same without units, and in an
// OpenEXR.
TEST(EngineSettingsTest, SaysWhatToEnterInTheEngine) {
  TerrainMeasures units;
  units.heightsHaveUnits = true;
  units.heightZero = -100;
  units.step = 0.5;
  units.groundInMetres = true;
  units.spacingX = 30;
  units.spacingY = 20;
  units.fileName = "t.raw";
  TerrainMeasures plain;
  plain.fileName = "t.raw";
  plain.bigEndian = true;
  TerrainMeasures floats = units;  // an OpenEXR output of the same heights
  floats.floatOutput = true;
  struct Case {
    Engine engine;
    int32_t width, height;
    TileGrid grid;
    bool tiled;
    const TerrainMeasures* measures;
    std::vector<std::string> lines;
  };
  const std::vector<Case> cases = {
      {Engine::kUnity,
       1025,
       1025,
       {1, 1},
       false,
       &units,
       {"quillorn: for Unity's Import Raw (Terrain Settings, Import Raw), the "
        "file's first row is the terrain's south edge:",
        "quillorn:   Depth 16 bit", "quillorn:   Heightmap Resolution 1025",
        "quillorn:   Byte Order Windows", "quillorn:   Flip Vertically off",
        "quillorn:   Terrain Width 30720", "quillorn:   Terrain Length 20480",
        "quillorn:   Terrain Height 32768", "quillorn:   Position Y -100",
        "quillorn: one height level in Unity is 1 unit (it keeps 15 of the "
        "file's 16 bits)"}},
      {Engine::kUnity,
       1201,
       801,
       {1, 1},
       false,
       &plain,
       {"quillorn: for Unity's Import Raw (Terrain Settings, Import Raw), the "
        "file's first row is the terrain's south edge:",
        "quillorn:   Depth 16 bit", "quillorn:   Heightmap Resolution 1025",
        "quillorn:   Byte Order Mac", "quillorn:   Flip Vertically off",
        "quillorn:   Terrain Width 1200", "quillorn:   Terrain Length 800",
        "quillorn: the map's heights have no units: set the terrain's height "
        "to what its highest point should stand at",
        "quillorn: (Width and Length: one unit a pixel of the map; any sizes "
        "in that proportion keep its shape)"}},
      {Engine::kUnity,
       2049,
       2049,
       {2, 2},
       true,
       &units,
       {"quillorn: for Unity's Terrain Toolbox (Create New Terrain, Import "
        "Heightmap, Batch mode): the tiles t.raw, x from the west and z from "
        "the south, each file's first row its south edge, 1024 samples a "
        "side (the Toolbox repeats each file's last row and column, and "
        "neighbours share their edges, so the seams meet):",
        "quillorn:   Tiles X Axis 2", "quillorn:   Tiles Z Axis 2",
        "quillorn:   Depth 16 bit", "quillorn:   Heightmap Resolution 1024",
        "quillorn:   Byte Order Windows",
        "quillorn:   Total Terrain Width 61380",
        "quillorn:   Total Terrain Length 40920",
        "quillorn:   Terrain Height 32767.5",
        "quillorn:   Start Position Y -100",
        "quillorn: warning: the Terrain Toolbox clamps Total Terrain Width "
        "and Length to 100000 and Terrain Height to 10000, so the terrain "
        "comes out smaller: after the import, set each tile's Terrain Height "
        "to 32767.5",
        "quillorn: one height level in Unity is 1 unit (it keeps 15 of the "
        "file's 16 bits)"}},
      {Engine::kUnreal,
       1009,
       505,
       {1, 1},
       false,
       &units,
       {"quillorn: for Unreal's New Landscape, Import from File (Unreal "
        "Engine 5):",
        "quillorn:   Section Size 63x63 Quads",
        "quillorn:   Sections Per Component 2x2 Sections",
        "quillorn:   Number of Components 8 x 4",
        "quillorn:   Overall Resolution 1009 x 505", "quillorn:   Scale X 3000",
        "quillorn:   Scale Y 2000", "quillorn:   Scale Z 6400",
        "quillorn:   Location Z 1628400",
        "quillorn: (Scale and Location in centimetres, taking the map's units "
        "as metres)",
        "quillorn: one height level in Unreal is 0.5 units"}},
      {Engine::kUnreal,
       2017,
       2017,
       {2, 2},
       true,
       &plain,
       {"quillorn: for World Composition's Import Tiled Landscape (Unreal "
        "Engine 4, or 5 without World Partition): the tiles t.raw share "
        "their edges, y from the south as its Flip Tile Y Coordinate reads "
        "them; Unreal Engine 5's Import from File wants one file instead "
        "(-fit unreal without -tiles). Each tile:",
        "quillorn:   Flip Tile Y Coordinate on",
        "quillorn:   Section Size 63x63 Quads",
        "quillorn:   Sections Per Component 2x2 Sections",
        "quillorn:   Number of Components 8 x 8",
        "quillorn:   Overall Resolution 1009 x 1009", "quillorn:   Scale X 100",
        "quillorn:   Scale Y 100",
        "quillorn: (Scale X and Y: a metre a pixel of the map; any scales in "
        "that proportion keep its shape)",
        "quillorn: the map's heights have no units: set the terrain's height "
        "to what its highest point should stand at"}},
      // Without ground units a 700 x 500 map keeps its 699 : 499.
      {Engine::kUnreal,
       700,
       500,
       {1, 1},
       false,
       &plain,
       {"quillorn: for Unreal's New Landscape, Import from File (Unreal "
        "Engine 5):",
        "quillorn:   Section Size 63x63 Quads",
        "quillorn:   Sections Per Component 2x2 Sections",
        "quillorn:   Number of Components 4 x 4",
        "quillorn:   Overall Resolution 505 x 505",
        "quillorn:   Scale X 138.69048", "quillorn:   Scale Y 99.00794",
        "quillorn: (Scale X and Y: a metre a pixel of the map; any scales in "
        "that proportion keep its shape)",
        "quillorn: the map's heights have no units: set the terrain's height "
        "to what its highest point should stand at"}},
      {Engine::kGodot,
       1025,
       1025,
       {1, 1},
       false,
       &units,
       {"quillorn: for HTerrain (1.5 in Godot 3, its Godot 4 branch alike; "
        "Import, raw 16-bit, little-endian, the first row north):",
        "quillorn:   Min Height 0", "quillorn:   Max Height 1000",
        "quillorn:   Map Scale x 30, y 32.7675, z 20",
        "quillorn:   Position Y -100",
        "quillorn: for Terrain3D (Godot 4; Import, raw 16-bit, little-endian, "
        "the first row north):",
        "quillorn:   R16 Range x -100, y 32667.5",
        "quillorn:   R16 Size x 1025, y 1025",
        "quillorn: warning: Terrain3D has one vertex spacing for x and z, and "
        "the samples lie 30 x 20 metres apart: the terrain stands 50.0 % out "
        "of shape there; for Terrain3D write the map without -fit, with -size "
        "1537x1025 (Vertex Spacing 20)",
        "quillorn: an .exr output gives Godot 4's add-ons each height's full "
        "precision (Terrain3D recommends OpenEXR)",
        "quillorn: Godot 4's add-ons keep 32-bit floats: one height level is "
        "0.5 units (the file's); Godot 3 (HTerrain 1.5, and its OpenEXR "
        "reading) keeps half floats, 16.4 units apart near 32668"}},
      {Engine::kGodot,
       1025,
       1025,
       {1, 1},
       false,
       &floats,
       {"quillorn: for HTerrain (1.5 in Godot 3, its Godot 4 branch alike; "
        "Import, OpenEXR, whose heights it takes as they are, the first row "
        "north):",
        "quillorn:   Map Scale x 30, y 1, z 20",
        "quillorn: for Terrain3D (Godot 4; Import, OpenEXR, the first row "
        "north):",
        "quillorn:   Import Scale 1", "quillorn:   Height Offset 0",
        "quillorn: warning: Terrain3D has one vertex spacing for x and z, and "
        "the samples lie 30 x 20 metres apart: the terrain stands 50.0 % out "
        "of shape there; for Terrain3D write the map without -fit, with -size "
        "1537x1025 (Vertex Spacing 20)",
        "quillorn: Godot 4's add-ons keep 32-bit floats: one height level is "
        "0.5 units (the file's); Godot 3 (HTerrain 1.5, and its OpenEXR "
        "reading) keeps half floats, 16 units apart near 32668"}},
      // Without ground units a 700 x 500 map keeps its 699 : 499.
      {Engine::kGodot,
       700,
       500,
       {1, 1},
       false,
       &plain,
       {"quillorn: for HTerrain (1.5 in Godot 3, its Godot 4 branch alike; "
        "Import, raw 16-bit, little-endian, the first row north):",
        "quillorn:   Min Height 0", "quillorn:   Max Height 1000",
        "quillorn:   Map Scale x 1.3652344, y 65.535, z 0.9746094",
        "quillorn: for Terrain3D (Godot 4; Import, raw 16-bit, little-endian, "
        "the first row north):",
        "quillorn:   R16 Range x 0, y 65535",
        "quillorn:   R16 Size x 513, y 513",
        "quillorn: warning: Terrain3D has one vertex spacing for x and z, and "
        "the samples lie 1.3652344 x 0.9746094 pixels of the map apart: the "
        "terrain stands 40.1 % out of shape there; for Terrain3D write the "
        "map without -fit, with -size 700x500 (Vertex Spacing 1)",
        "quillorn: an .exr output gives Godot 4's add-ons each height's full "
        "precision (Terrain3D recommends OpenEXR)",
        "quillorn: the map's heights have no units: set the terrain's height "
        "to what its highest point should stand at"}},
  };
  for (const Case& c : cases) {
    EngineFit fit;
    std::string error;
    ASSERT_TRUE(fitToEngine(c.engine, c.width, c.height, c.grid, c.tiled, &fit,
                            &error));
    EXPECT_EQ(engineSettingsLines(fit, *c.measures), c.lines)
        << static_cast<int>(c.engine) << " " << c.width;
  }
}

}  // namespace
