#include "processing/engine_sizes.h"

#include <algorithm>
#include <cmath>

#include "image/sample_mapping.h"

namespace {

using Sizes = std::vector<int32_t>;

// Unity's heightmap resolutions, and HTerrain's (which starts at 65).
const Sizes kUnitySizes = {33, 65, 129, 257, 513, 1025, 2049, 4097};
const Sizes kGodotSizes = {65, 129, 257, 513, 1025, 2049, 4097};
// Unreal's recommended sides, and the two families of one section size.
const Sizes kUnrealSizes = {127, 253, 505, 1009, 2017, 4033, 8129};
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

const char* engineName(Engine engine) {
  switch (engine) {
    case Engine::kUnreal:
      return "Unreal";
    case Engine::kGodot:
      return "Godot";
    case Engine::kUnity:
      break;
  }
  return "Unity";
}

const Sizes& squareSizes(Engine engine) {
  switch (engine) {
    case Engine::kUnreal:
      return kUnrealSizes;
    case Engine::kGodot:
      return kGodotSizes;
    case Engine::kUnity:
      break;
  }
  return kUnitySizes;
}

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

// A number for an engine's field: the fewest digits within tolerance.
std::string field(const std::string& name, double value, double tolerance) {
  return "quillorn:   " + name + " " +
         compactNumber(value, std::max(tolerance, 1e-300));
}

std::string field(const std::string& name, const std::string& value) {
  return "quillorn:   " + name + " " + value;
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
  const Sizes& sizes = squareSizes(engine);
  fit->capped = beyond(larger, sizes);
  if (fit->capped) {
    fit->cappedTiles.columns =
        std::max(grid.columns, tilesNeeded(width, sizes.back()));
    fit->cappedTiles.rows =
        std::max(grid.rows, tilesNeeded(height, sizes.back()));
  }
  if (engine != Engine::kUnreal || fit->tiled) {
    // Square: Unity's and Godot's terrains, World Composition's tiles.
    fit->tiles.tileWidth = fit->tiles.tileHeight = nearestSize(larger, sizes);
  } else {
    // One landscape: the longer side a size of Epic's table, the other the
    // nearest of the same section size.
    const int32_t side = nearestSize(larger, kUnrealSizes);
    const Sizes& family = side == 8129 ? kUnreal127 : kUnreal63;
    fit->tiles.tileWidth =
        longer(along, across) ? nearestSize(across, family) : side;
    fit->tiles.tileHeight =
        longer(across, along) ? nearestSize(along, family) : side;
  }
  if (engine == Engine::kUnreal) describeLandscape(fit);
  return true;
}

std::string engineCapWarning(const EngineFit& fit, int32_t width,
                             int32_t height) {
  const TileGrid& grid = fit.tiles.grid;
  const bool tiled = fit.tiled;
  return std::string("a ") + text(width) + " x " +
         text(height) + " map" +
         (tiled ? " cut into " + text(grid.columns) + " x " + text(grid.rows) +
                      " tiles"
                : std::string()) +
         " is larger than " + engineName(fit.engine) + "'s largest size (" +
         text(squareSizes(fit.engine).back()) + (tiled ? " a tile" : "") +
         "), so it is reduced to " + text(planWidth(fit.tiles)) + " x " +
         text(planHeight(fit.tiles)) + " and loses detail; -tiles " +
         text(fit.cappedTiles.columns) + "x" + text(fit.cappedTiles.rows) +
         " keeps it";
}

std::vector<std::string> engineSettingsLines(const EngineFit& fit,
                                             const TerrainMeasures& m) {
  const TileGrid& grid = fit.tiles.grid;
  const bool tiled = fit.tiled;
  const double quarter = m.step / 4;
  const double tileAcross = (fit.tiles.tileWidth - 1) * m.spacingX;
  const double tileAlong = (fit.tiles.tileHeight - 1) * m.spacingY;
  std::vector<std::string> lines;
  auto ground = [&](const std::string& width, const std::string& length,
                    int32_t count) {
    if (m.groundInMetres) {
      lines.push_back(field(width, tileAcross * count, tileAcross * 1e-7));
      lines.push_back(field(length, tileAlong * count, tileAlong * 1e-7));
    } else {
      lines.push_back(field(width, fit.spansAcross * count, 1e-3));
      lines.push_back(field(length, fit.spansAlong * count, 1e-3));
    }
  };
  if (fit.engine == Engine::kUnity) {
    // Import Raw reads v / 65536 of the terrain's height, the Toolbox's
    // batch import v / 65535.
    const double spread = tiled ? 65535.0 : 65536.0;
    if (tiled) {
      lines.push_back(
          "quillorn: for Unity's Terrain Toolbox (Create New Terrain, Import "
          "Heightmap, Batch mode): the tiles " +
          m.fileName +
          ", x from the west and z from the south, each "
          "file's first row its south edge:");
      lines.push_back(field("Tile X Axis", text(grid.columns)));
      lines.push_back(field("Tile Z Axis", text(grid.rows)));
    } else {
      lines.push_back(
          "quillorn: for Unity's Import Raw (Terrain Settings, Import Raw), "
          "the file's first row is the terrain's south edge:");
    }
    lines.push_back(field("Depth", "16 bit"));
    lines.push_back(field("Heightmap Resolution", text(fit.tiles.tileWidth)));
    lines.push_back(field("Byte Order", m.bigEndian ? "Mac" : "Windows"));
    if (!tiled) lines.push_back(field("Flip Vertically", "off"));
    if (tiled) {
      ground("Total Terrain Width", "Total Terrain Length", grid.columns);
    } else {
      ground("Terrain Width", "Terrain Length", 1);
    }
    if (m.heightsHaveUnits) {
      lines.push_back(field("Terrain Height", spread * m.step, quarter));
      lines.push_back(field(tiled ? "Start Position Y" : "Position Y",
                            m.heightZero, quarter));
    }
  } else if (fit.engine == Engine::kUnreal) {
    const UnrealLandscape& landscape = fit.landscape;
    const std::string quads = text(landscape.quadsPerSection);
    const std::string sections = text(landscape.sectionsPerComponent);
    if (tiled) {
      lines.push_back(
          "quillorn: for World Composition's Import Tiled Landscape (Unreal "
          "Engine 4, or 5 without World Partition): the tiles " +
          m.fileName +
          " share their edges, y from the south as its Flip Tile Y "
          "Coordinate reads them; Unreal Engine 5's Import from File wants "
          "one file instead (-fit unreal without -tiles). Each tile:");
      lines.push_back(field("Flip Tile Y Coordinate", "on"));
    } else {
      lines.push_back(
          "quillorn: for Unreal's New Landscape, Import from File (Unreal "
          "Engine 5):");
    }
    lines.push_back(field("Section Size", quads + "x" + quads + " Quads"));
    lines.push_back(field("Sections Per Component",
                          sections + "x" + sections + " Sections"));
    lines.push_back(field(
        "Number of Components",
        text(landscape.componentsX) + " x " + text(landscape.componentsY)));
    lines.push_back(
        field("Overall Resolution",
              text(fit.tiles.tileWidth) + " x " + text(fit.tiles.tileHeight)));
    if (m.groundInMetres) {
      lines.push_back(
          field("Scale X", 100 * m.spacingX, 100 * m.spacingX * 1e-7));
      lines.push_back(
          field("Scale Y", 100 * m.spacingY, 100 * m.spacingY * 1e-7));
    }
    if (m.heightsHaveUnits) {
      // Unreal's height: (v - 32768) / 128 x Scale Z / 100 metres.
      const double scaleZ = 12800 * m.step;
      lines.push_back(field("Scale Z", scaleZ, quarter * 100 / 256 / 4));
      lines.push_back(field("Location Z", 100 * m.heightZero + 256 * scaleZ,
                            quarter * 100 / 2));
    }
    if (m.groundInMetres || m.heightsHaveUnits) {
      lines.push_back(
          "quillorn: (Scale and Location in centimetres, taking the map's "
          "units as metres)");
    }
  } else {
    lines.push_back(
        std::string("quillorn: for Godot's terrain add-ons (HTerrain's and "
                    "Terrain3D's import dialogs; ") +
        (m.floatOutput ? "OpenEXR, each height's value as a float"
                       : "16-bit little-endian") +
        ", the first row north):");
    lines.push_back(field("Min Height", m.heightZero, quarter));
    lines.push_back(
        field("Max Height", m.heightZero + 65535 * m.step, quarter));
    if (m.groundInMetres) {
      lines.push_back("quillorn: the samples lie " +
                      compactNumber(m.spacingX, m.spacingX * 1e-7) + " x " +
                      compactNumber(m.spacingY, m.spacingY * 1e-7) +
                      " metres apart (the terrain's scale)");
    }
  }
  if (fit.engine == Engine::kGodot && !m.floatOutput) {
    lines.push_back(
        "quillorn: an .exr output gives Godot each height's full precision "
        "(Terrain3D recommends OpenEXR)");
  }
  if (!m.heightsHaveUnits) {
    if (fit.engine != Engine::kGodot) {
      lines.push_back(
          "quillorn: the map's heights have no units: set the terrain's "
          "height to what its highest point should stand at");
    }
  } else {
    // Unity keeps 0 ... 32766 of the file's 0 ... 65535; the others all.
    const double level =
        fit.engine == Engine::kUnity ? m.step * 65535.0 / 32766.0 : m.step;
    const std::string worth = compactNumber(level, level * 1e-3);
    lines.push_back(
        "quillorn: one height level in " + std::string(engineName(fit.engine)) +
        " is " + worth + (worth == "1" ? " unit" : " units") +
        (fit.engine == Engine::kUnity ? " (it keeps 15 of the file's 16 bits)"
                                      : ""));
  }
  if (!m.groundInMetres && fit.engine == Engine::kUnity) {
    lines.push_back(
        "quillorn: (Width and Length: one unit a pixel of the map; any "
        "sizes in that proportion keep its shape)");
  }
  return lines;
}
