#include "processing/engine_sizes.h"

#include <algorithm>
#include <cstdio>
#include <numeric>

namespace {

constexpr int32_t kUnitySmallest = 33;
constexpr int32_t kUnityLargest = 4097;

// One of Unreal's recommended sides: components x 2 sections x quads + 1.
struct UnrealSide {
  int32_t side;
  int32_t quads;
};
constexpr UnrealSide kUnrealSides[] = {{127, 63},  {253, 63},  {505, 63},
                                       {1009, 63}, {2017, 63}, {4033, 63},
                                       {8129, 127}};
constexpr int32_t kUnrealLargest = 8129;
constexpr int32_t kSectionsPerComponent = 2;
constexpr int32_t kLargeQuads = 127;
constexpr int32_t kLargestOf63Quads = 4033;

std::string text(int64_t value) { return std::to_string(value); }

// The samples each of count tiles needs so that count (size - 1) + 1 >=
// side.
int32_t tileNeed(int32_t side, int32_t count) {
  int64_t spans = int64_t{side} - 1;
  return static_cast<int32_t>((spans + count - 1) / count + 1);
}

// The tiles of the engine's largest size that cover side.
int32_t tilesNeeded(int32_t side, int32_t largest) {
  return static_cast<int32_t>((int64_t{side} - 2 + largest - 1) /
                              (largest - 1));
}

std::string refusal(const char* engine, const char* what, int32_t largest,
                    int32_t width, int32_t height, TileGrid grid) {
  TileGrid fits;
  fits.columns = std::max(grid.columns, tilesNeeded(width, largest));
  fits.rows = std::max(grid.rows, tilesNeeded(height, largest));
  std::string cut = grid.columns * grid.rows > 1
                        ? " cut into " + text(grid.columns) + " x " +
                              text(grid.rows) + " tiles"
                        : std::string();
  return "A " + text(width) + " x " + text(height) + " map" + cut +
         " is larger than " + engine + "'s largest " + what + " (" +
         text(largest) + " x " + text(largest) + ")" +
         (cut.empty() ? "" : " per tile") + "; -tiles " + text(fits.columns) +
         "x" + text(fits.rows) + " cuts it into tiles that fit";
}

// The smallest recommended side holding need (<= 8129) with sections of
// quads: with 127, a side past 4033 takes 8129 and a shorter one the
// smallest of that family with a power-of-two number of components.
int32_t unrealSide(int32_t need, int32_t quads) {
  if (quads == kLargeQuads && need > kLargestOf63Quads) {
    return kUnrealLargest;
  }
  for (int32_t components = 1;; components *= 2) {
    int32_t side = components * kSectionsPerComponent * quads + 1;
    if (side >= need) return side;
  }
}

void fitUnity(int32_t width, int32_t height, TileGrid grid, int32_t need,
              EngineFit* fit) {
  int32_t size = kUnitySmallest;
  while (size < need) size = 2 * size - 1;
  fit->tiles.tileWidth = fit->tiles.tileHeight = size;
  // Each tile spans (side - 1) / count of the map's pixel spacings; a side
  // of one pixel counts as one.
  int64_t across = std::max<int64_t>(int64_t{width} - 1, 1) * grid.rows;
  int64_t along = std::max<int64_t>(int64_t{height} - 1, 1) * grid.columns;
  int64_t divisor = std::gcd(across, along);
  fit->terrainWidth = across / divisor;
  fit->terrainLength = along / divisor;
}

void fitUnreal(int32_t needX, int32_t needY, EngineFit* fit) {
  int32_t quads = 0;
  for (const UnrealSide& entry : kUnrealSides) {
    if (entry.side >= std::max(needX, needY)) {
      quads = entry.quads;
      break;
    }
  }
  fit->tiles.tileWidth = unrealSide(needX, quads);
  fit->tiles.tileHeight = unrealSide(needY, quads);
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
  } else {
    return false;
  }
  return true;
}

bool fitToEngine(Engine engine, int32_t width, int32_t height, TileGrid grid,
                 EngineFit* fit, std::string* error) {
  if (grid.columns < 1 || grid.rows < 1) {
    *error = "A tiling needs at least one tile each way";
    return false;
  }
  *fit = EngineFit();
  fit->engine = engine;
  fit->tiles.grid = grid;
  const int32_t needX = tileNeed(width, grid.columns);
  const int32_t needY = tileNeed(height, grid.rows);
  if (engine == Engine::kUnity) {
    if (std::max(needX, needY) > kUnityLargest) {
      *error = refusal("Unity", "terrain heightmap", kUnityLargest, width,
                       height, grid);
      return false;
    }
    fitUnity(width, height, grid, std::max(needX, needY), fit);
    return true;
  }
  if (std::max(needX, needY) > kUnrealLargest) {
    *error = refusal("Unreal", "recommended landscape", kUnrealLargest, width,
                     height, grid);
    return false;
  }
  fitUnreal(needX, needY, fit);
  return true;
}

std::string engineSettingsLine(const EngineFit& fit) {
  const TileGrid& grid = fit.tiles.grid;
  const bool tiled = grid.columns * grid.rows > 1;
  const std::string tiles = text(grid.columns) + " x " + text(grid.rows);
  if (fit.engine == Engine::kUnity) {
    std::string line = "quillorn: for Unity: ";
    line += tiled ? tiles + " terrains, each of Heightmap Resolution "
                  : "Heightmap Resolution ";
    line += text(fit.tiles.tileWidth) + "; ";
    if (fit.terrainWidth == fit.terrainLength) {
      return line + "Terrain Width = Length keeps the map's proportions";
    }
    char ratio[32];
    std::snprintf(ratio, sizeof ratio, "%.4g",
                  static_cast<double>(fit.terrainWidth) /
                      static_cast<double>(fit.terrainLength));
    return line + "Terrain Width : Length = " + text(fit.terrainWidth) + " : " +
           text(fit.terrainLength) + " (" + ratio +
           " : 1) keeps the map's proportions";
  }
  const UnrealLandscape& landscape = fit.landscape;
  const std::string quads = text(landscape.quadsPerSection);
  const std::string sections = text(landscape.sectionsPerComponent);
  return "quillorn: for Unreal's New Landscape" +
         (tiled ? ", each of the " + tiles + " tiles" : std::string()) +
         ": Section Size " + quads + "x" + quads + " Quads, Sections Per " +
         "Component " + sections + "x" + sections +
         " Sections, Number of Components " + text(landscape.componentsX) +
         " x " + text(landscape.componentsY) + " (Overall Resolution " +
         text(fit.tiles.tileWidth) + " x " + text(fit.tiles.tileHeight) + ")";
}
