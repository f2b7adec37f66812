// The heightmap sizes terrain engines take ("-fit"), and what to enter in
// the engine so that the map keeps its proportions.
//
// Unity clamps a terrain's heightmap resolution to 2^n + 1, from 33 to 4097,
// square. Unreal builds a landscape from components of sections of quads
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
// needs 8129, the other takes the smallest of the 127-quad sizes with a
// power-of-two number of components (255, 509, 1017, 2033, 4065, 8129).
#ifndef QUILLORN_PROCESSING_ENGINE_SIZES_H_
#define QUILLORN_PROCESSING_ENGINE_SIZES_H_

#include <cstdint>
#include <string>

#include "processing/height_tiles.h"

enum class Engine { kUnity, kUnreal };

// The engine "-fit" names ("unity", "unreal"); false (engine untouched) for
// any other name.
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
  // Each tile an engine size (the whole map's when the grid is 1 x 1); the
  // whole is resampled to planWidth(tiles) x planHeight(tiles).
  TilePlan tiles;
  UnrealLandscape landscape;  // Unreal only
  // Unity only: the terrain's width : length that keeps the map's
  // proportions, in lowest terms (each tile's, when tiled).
  int64_t terrainWidth = 0;
  int64_t terrainLength = 0;
};

// The engine's smallest size holding a width x height map cut by grid
// (1 x 1: not cut): for Unity the smallest 2^n + 1 with grid.columns x (size
// - 1) + 1 >= width and grid.rows x (size - 1) + 1 >= height, square; for
// Unreal the smallest recommended size doing so on each side. False, with a
// refusal that suggests the -tiles that would fit, when the engine's largest
// size is too small, or when the grid is empty.
bool fitToEngine(Engine engine, int32_t width, int32_t height, TileGrid grid,
                 EngineFit* fit, std::string* error);

// The line for standard error that says what to enter in the engine:
// Unity's heightmap resolution and terrain width : length, or the fields of
// Unreal's new-landscape dialog; per tile when tiled.
std::string engineSettingsLine(const EngineFit& fit);

#endif  // QUILLORN_PROCESSING_ENGINE_SIZES_H_
