#include "processing/engine_sizes.h"

#include <algorithm>
#include <cmath>

namespace {

using Sizes = std::vector<int32_t>;

// Unreal's two families of one section size.
const Sizes kUnreal63 = {127, 253, 505, 1009, 2017, 4033};
const Sizes kUnreal127 = {255, 509, 1017, 2033, 4065, 8129};
constexpr int32_t kSectionsPerComponent = 2;

std::string text(int64_t value) { return std::to_string(value); }

// A tile's side in samples, (side - 1) / count + 1, as the exact fraction
// numerator / count.
struct TileSide {
  int64_t numerator = 1;
  int64_t count = 1;
};

TileSide tileSide(int32_t side, int32_t count) {
  return TileSide{int64_t{side} - 1 + count, count};
}

bool longer(const TileSide& a, const TileSide& b) {
  return a.numerator * b.count > b.numerator * a.count;
}

// The size of sizes (ascending) nearest side by ratio: between a and b,
// b when side >= sqrt(a b), so that halfway (by ratio) goes up. In whole
// numbers: side^2 >= a b is numerator^2 >= a b count^2.
int32_t nearestSize(const TileSide& side, const Sizes& sizes) {
  for (size_t index = 0; index + 1 < sizes.size(); ++index) {
    const int64_t a = sizes[index];
    const int64_t b = sizes[index + 1];
    if (side.numerator > b * side.count) continue;
    const int64_t square = side.numerator * side.numerator;
    return square >= a * b * side.count * side.count ? sizes[index + 1]
                                                     : sizes[index];
  }
  return sizes.back();
}

bool beyond(const TileSide& side, const Sizes& sizes) {
  return side.numerator > int64_t{sizes.back()} * side.count;
}

// The tiles of the engine's largest size that keep every sample of side.
int32_t tilesNeeded(int32_t side, int32_t largest) {
  return static_cast<int32_t>(
      std::max<int64_t>(1, (int64_t{side} - 2 + largest - 1) / (largest - 1)));
}

EngineProfile unityProfile() {
  EngineProfile unity;
  // Import Raw's heightmap resolutions; the Terrain Toolbox's batch import
  // takes 2^n-sample tiles, since it repeats each file's last row and
  // column to make the terrain's 2^n + 1.
  unity.sizes = {33, 65, 129, 257, 513, 1025, 2049, 4097};
  unity.tileSizes = {32, 64, 128, 256, 512, 1024, 2048, 4096};
  unity.southFirst = true;
  unity.naming = TileNaming::kUnity;
  unity.heightSpread = 65536;
  unity.tiledHeightSpread = 65535;
  unity.keptLevels = 32766;
  unity.largestTotalSide = 100000;
  unity.largestTotalHeight = 10000;
  return unity;
}

EngineProfile unrealProfile() {
  EngineProfile unreal;
  // Epic's recommended sides; World Composition's tiles are square.
  unreal.sizes = {127, 253, 505, 1009, 2017, 4033, 8129};
  unreal.tileSizes = unreal.sizes;
  unreal.squareMap = false;
  unreal.naming = TileNaming::kFromBottom;
  unreal.sizeFileBesideRaw = true;
  return unreal;
}

EngineProfile godotProfile() {
  EngineProfile godot;
  // HTerrain's sizes (Terrain3D takes any); its add-ons import one map, so
  // tiles keep the plain names.
  godot.sizes = {65, 129, 257, 513, 1025, 2049, 4097};
  godot.tileSizes = godot.sizes;
  godot.naming = TileNaming::kFromTop;
  godot.dialogHeightLimit = 2000;
  godot.scaledTop = 1000;
  godot.olderHalfFloats = true;
  return godot;
}

}  // namespace

const EngineProfile& engineProfile(Engine engine) {
  static const EngineProfile unity = unityProfile();
  static const EngineProfile unreal = unrealProfile();
  static const EngineProfile godot = godotProfile();
  switch (engine) {
    case Engine::kUnreal:
      return unreal;
    case Engine::kGodot:
      return godot;
    case Engine::kUnity:
      break;
  }
  return unity;
}

namespace {

void describeLandscape(EngineFit* fit) {
  // Every 63-quad side is a multiple of 2 x 63 quads plus one; no
  // 127-quad side is.
  const int32_t quads = (fit->tiles.tileWidth - 1) % 126 == 0 &&
                                (fit->tiles.tileHeight - 1) % 126 == 0
                            ? 63
                            : 127;
  UnrealLandscape& landscape = fit->landscape;
  landscape.quadsPerSection = quads;
  landscape.sectionsPerComponent = kSectionsPerComponent;
  landscape.componentsX =
      (fit->tiles.tileWidth - 1) / (kSectionsPerComponent * quads);
  landscape.componentsY =
      (fit->tiles.tileHeight - 1) / (kSectionsPerComponent * quads);
}

}  // namespace

bool parseEngine(const std::string& name, Engine* engine) {
  if (name == "unity") {
    *engine = Engine::kUnity;
  } else if (name == "unreal") {
    *engine = Engine::kUnreal;
  } else if (name == "godot") {
    *engine = Engine::kGodot;
  } else {
    return false;
  }
  return true;
}

bool fitToEngine(Engine engine, int32_t width, int32_t height, TileGrid grid,
                 bool tiled, EngineFit* fit, std::string* error) {
  if (grid.columns < 1 || grid.rows < 1) {
    *error = "A tiling needs at least one tile each way";
    return false;
  }
  if ((width == 1 && grid.columns > 1) || (height == 1 && grid.rows > 1)) {
    *error = "-tiles " + text(grid.columns) + "x" + text(grid.rows) +
             " cannot cut a " + text(width) + " x " + text(height) +
             " map: a side of one pixel is one tile (-tiles " +
             text(width == 1 ? 1 : grid.columns) + "x" +
             text(height == 1 ? 1 : grid.rows) + ")";
    return false;
  }
  *fit = EngineFit();
  fit->engine = engine;
  fit->tiled = tiled || grid.columns * grid.rows > 1;
  fit->tiles.grid = grid;
  fit->spansAcross = static_cast<double>(std::max(width - 1, 1)) / grid.columns;
  fit->spansAlong = static_cast<double>(std::max(height - 1, 1)) / grid.rows;
  const TileSide across = tileSide(width, grid.columns);
  const TileSide along = tileSide(height, grid.rows);
  const TileSide& larger = longer(along, across) ? along : across;
  const EngineProfile& profile = engineProfile(engine);
  const Sizes& sizes = fit->tiled ? profile.tileSizes : profile.sizes;
  fit->capped = beyond(larger, sizes);
  if (fit->capped) {
    fit->cappedTiles.columns =
        std::max(grid.columns, tilesNeeded(width, sizes.back()));
    fit->cappedTiles.rows =
        std::max(grid.rows, tilesNeeded(height, sizes.back()));
  }
  if (profile.squareMap || fit->tiled) {
    // Square: Unity's and Godot's terrains, World Composition's tiles.
    fit->tiles.tileWidth = fit->tiles.tileHeight = nearestSize(larger, sizes);
  } else {
    // One landscape: the longer side a size of Epic's table, the other the
    // nearest of the same section size.
    const int32_t side = nearestSize(larger, profile.sizes);
    const Sizes& family = side == 8129 ? kUnreal127 : kUnreal63;
    fit->tiles.tileWidth =
        longer(along, across) ? nearestSize(across, family) : side;
    fit->tiles.tileHeight =
        longer(across, along) ? nearestSize(along, family) : side;
  }
  if (engine == Engine::kUnreal) describeLandscape(fit);
  return true;
}
