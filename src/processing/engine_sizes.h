// The heightmap sizes terrain engines take ("-fit"), and each engine's
// profile: what its importers take and keep.
//
// Unity clamps a terrain's heightmap resolution to 2^n + 1, from 33 to 4097,
// square; Godot's HTerrain takes 2^n + 1 from 65 to 4097 (Terrain3D any
// size). Unreal builds a landscape from components of sections of quads
// whose edge vertices are shared, so a side is components x sections x
// quads + 1 vertices; the sizes taken here are its recommended ones:
//
//   side   quads per section   sections per component   components
//    127          63                   2 x 2                  1
//    253          63                   2 x 2                  2
//    505          63                   2 x 2                  4
//   1009          63                   2 x 2                  8
//   2017          63                   2 x 2                 16
//   4033          63                   2 x 2                 32
//   8129         127                   2 x 2                 32
//
// (components per side). Both sides share one section size: when a side
// takes 8129, the other takes one of the 127-quad sizes with a power-of-two
// number of components (255, 509, 1017, 2033, 4065, 8129).
#ifndef QUILLORN_PROCESSING_ENGINE_SIZES_H_
#define QUILLORN_PROCESSING_ENGINE_SIZES_H_

#include <cstdint>
#include <string>
#include <vector>

#include "processing/height_tiles.h"

enum class Engine { kUnity, kUnreal, kGodot };

// What an engine's importers take and keep, in numbers: one place for each
// engine's sizes, row order, tile names, height spread, dialog limits and
// precision (src/app/engine_settings.h words them).
struct EngineProfile {
  std::vector<int32_t> sizes;      // one map's sides, ascending
  std::vector<int32_t> tileSizes;  // each tile's sides with -tiles
  bool squareMap = true;           // else each side its own (Unreal)
  bool southFirst = false;         // raw rows written bottom row first
  TileNaming naming = TileNaming::kFromTop;
  bool sizeFileBesideRaw = false;  // a .raw needs <name>.json (Unreal)
  // Sample v stands at v / spread of the terrain's height (Unity's Import
  // Raw, and the Toolbox's batch import); 0 where the engine has no such
  // field.
  double heightSpread = 0;
  double tiledHeightSpread = 0;
  int32_t keptLevels = 0;  // of the file's 65535 (Unity: 32766); 0 all
  // The Toolbox's clamps on Total Terrain Width / Length and Height.
  double largestTotalSide = 0;
  double largestTotalHeight = 0;
  // HTerrain's dialog: Min / Max Height within +-dialogHeightLimit, whole
  // numbers, so raw heights are entered as 0 ... scaledTop.
  double dialogHeightLimit = 0;
  int32_t scaledTop = 0;
  bool olderHalfFloats = false;  // Godot 3 keeps half floats
};

// The profile of engine.
const EngineProfile& engineProfile(Engine engine);

// The engine "-fit" names ("unity", "unreal", "godot"); false (engine
// untouched) for any other name.
bool parseEngine(const std::string& name, Engine* engine);

// What Unreal's new-landscape dialog asks for one landscape (one tile).
struct UnrealLandscape {
  int32_t quadsPerSection = 0;       // "Section Size": quads x quads
  int32_t sectionsPerComponent = 0;  // per side: 2 is "2x2 Sections"
  int32_t componentsX = 0;           // "Number of Components"
  int32_t componentsY = 0;
};

// The sizes "-fit" picks for a map, with or without tiles.
struct EngineFit {
  Engine engine = Engine::kUnity;
  bool tiled = false;  // written as tiles (-tiles), even one
  // Each tile an engine size (the whole map's when the grid is 1 x 1); the
  // whole is resampled to planWidth(tiles) x planHeight(tiles).
  TilePlan tiles;
  UnrealLandscape landscape;  // Unreal only
  // The map's pixel spacings per tile, across and along: what keeps its
  // proportions when the ground has no units.
  double spansAcross = 0;
  double spansAlong = 0;
  // The map, or a tile of it, is larger than the engine's largest size and
  // takes that size: its detail is reduced.
  bool capped = false;
  TileGrid cappedTiles;  // with capped: the -tiles that keep the detail
};

// The engine's size nearest each tile of a width x height map cut by grid
// (written as tiles when tiled), by ratio, halfway going up: a tile spans (side
// - 1) / count + 1 samples. Unity and Godot are square; Unreal's sides share
// one section size, and its tiles (World Composition's) are square. A tile
// larger than the engine's largest size takes the largest (capped). False,
// with a refusal, when the grid is empty or would cut a side of one pixel.
bool fitToEngine(Engine engine, int32_t width, int32_t height, TileGrid grid,
                 bool tiled, EngineFit* fit, std::string* error);

#endif  // QUILLORN_PROCESSING_ENGINE_SIZES_H_
