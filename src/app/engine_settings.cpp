#include "app/engine_settings.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>

#include "app/engine_fields.h"
#include "image/sample_mapping.h"

namespace {

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

}  // namespace

std::string engineCapWarning(const EngineFit& fit, int32_t width,
                             int32_t height) {
  const TileGrid& grid = fit.tiles.grid;
  const bool tiled = fit.tiled;
  return std::string("a ") + text(width) + " x " + text(height) + " map" +
         (tiled ? " cut into " + text(grid.columns) + " x " + text(grid.rows) +
                      " tiles"
                : std::string()) +
         " is larger than " + engineName(fit.engine) + "'s largest size (" +
         text((tiled ? engineProfile(fit.engine).tileSizes
                     : engineProfile(fit.engine).sizes)
                  .back()) +
         (tiled ? " a tile" : "") + "), so it is reduced to " +
         text(planWidth(fit.tiles)) + " x " + text(planHeight(fit.tiles)) +
         " and loses detail; -tiles " + text(fit.cappedTiles.columns) + "x" +
         text(fit.cappedTiles.rows) + " keeps it";
}

namespace {

// The spacing between written samples, across and along: metres where the
// ground is known, else one unit a pixel of the map.
struct Spacing {
  double x = 1;
  double y = 1;
};

Spacing sampleSpacing(const EngineFit& fit, const TerrainMeasures& m) {
  if (m.groundInMetres) return Spacing{m.spacingX, m.spacingY};
  return Spacing{fit.spansAcross / std::max(fit.tiles.tileWidth - 1, 1),
                 fit.spansAlong / std::max(fit.tiles.tileHeight - 1, 1)};
}

void unityLines(const EngineFit& fit, const TerrainMeasures& m,
                std::vector<std::string>* lines) {
  const TileGrid& grid = fit.tiles.grid;
  const bool tiled = fit.tiled;
  const double quarter = m.step / 4;
  const EngineProfile& unity = engineProfile(Engine::kUnity);
  // Import Raw reads v / 65536 of the terrain's height, the Toolbox's
  // batch import v / 65535.
  const double spread = tiled ? unity.tiledHeightSpread : unity.heightSpread;
  if (tiled) {
    lines->push_back(
        "quillorn: for Unity's Terrain Toolbox (Create New Terrain, Import "
        "Heightmap, Batch mode): the tiles " +
        m.fileName +
        ", x from the west and z from the south, each file's first row its "
        "south edge, " +
        text(fit.tiles.tileWidth) +
        " samples a side (the Toolbox repeats each file's last row and "
        "column, and neighbours share their edges, so the seams meet):");
    lines->push_back(field("Tiles X Axis", text(grid.columns)));
    lines->push_back(field("Tiles Z Axis", text(grid.rows)));
  } else {
    lines->push_back(
        "quillorn: for Unity's Import Raw (Terrain Settings, Import Raw), "
        "the file's first row is the terrain's south edge:");
  }
  lines->push_back(field("Depth", "16 bit"));
  lines->push_back(field("Heightmap Resolution", text(fit.tiles.tileWidth)));
  lines->push_back(field("Byte Order", m.bigEndian ? "Mac" : "Windows"));
  if (!tiled) lines->push_back(field("Flip Vertically", "off"));
  const Spacing spacing = sampleSpacing(fit, m);
  const int32_t count = tiled ? grid.columns : 1;
  const double width = (fit.tiles.tileWidth - 1) * spacing.x * count;
  const double length =
      (fit.tiles.tileHeight - 1) * spacing.y * (tiled ? grid.rows : 1);
  if (tiled) {
    pairFields("Total Terrain Width", width, "Total Terrain Length", length,
               1e-7, lines);
  } else {
    pairFields("Terrain Width", width, "Terrain Length", length, 1e-7, lines);
  }
  const double height = spread * m.step;
  if (m.heightsHaveUnits) {
    lines->push_back(field("Terrain Height", height, quarter));
    lines->push_back(field(tiled ? "Start Position Y" : "Position Y",
                           m.heightZero, quarter));
  }
  const bool wide =
      width > unity.largestTotalSide || length > unity.largestTotalSide;
  const bool tall = m.heightsHaveUnits && height > unity.largestTotalHeight;
  if (tiled && (wide || tall)) {
    const std::string across = worded(width / grid.columns);
    const std::string along = worded(length / grid.rows);
    lines->push_back(
        "quillorn: warning: the Terrain Toolbox clamps Total Terrain Width "
        "and Length to " +
        worded(unity.largestTotalSide) + " and Terrain Height to " +
        worded(unity.largestTotalHeight) +
        ", so the terrain comes out smaller: after the import, set each "
        "tile's " +
        (wide ? "Terrain Width and Length (Terrain Settings) to " + across +
                    " x " + along + ", tile (x, z) at x " + across + ", z " +
                    along + " times its indices from the start" +
                    (tall ? ", and " : "")
              : std::string()) +
        (tall ? "Terrain Height to " + worded(height) : std::string()));
  }
}

void unrealLines(const EngineFit& fit, const TerrainMeasures& m,
                 std::vector<std::string>* lines) {
  const UnrealLandscape& landscape = fit.landscape;
  const std::string quads = text(landscape.quadsPerSection);
  const std::string sections = text(landscape.sectionsPerComponent);
  const double quarter = m.step / 4;
  if (fit.tiled) {
    lines->push_back(
        "quillorn: for World Composition's Import Tiled Landscape (Unreal "
        "Engine 4, or 5 without World Partition): the tiles " +
        m.fileName +
        " share their edges, y from the south as its Flip Tile Y "
        "Coordinate reads them; Unreal Engine 5's Import from File wants "
        "one file instead (-fit unreal without -tiles). Each tile:");
    lines->push_back(field("Flip Tile Y Coordinate", "on"));
  } else {
    lines->push_back(
        "quillorn: for Unreal's New Landscape, Import from File (Unreal "
        "Engine 5):");
  }
  lines->push_back(field("Section Size", quads + "x" + quads + " Quads"));
  lines->push_back(
      field("Sections Per Component", sections + "x" + sections + " Sections"));
  lines->push_back(
      field("Number of Components",
            text(landscape.componentsX) + " x " + text(landscape.componentsY)));
  lines->push_back(
      field("Overall Resolution",
            text(fit.tiles.tileWidth) + " x " + text(fit.tiles.tileHeight)));
  const Spacing spacing = sampleSpacing(fit, m);
  pairFields("Scale X", 100 * spacing.x, "Scale Y", 100 * spacing.y, 1e-7,
             lines);
  if (m.heightsHaveUnits) {
    // Unreal's height: (v - 32768) / 128 x Scale Z / 100 metres.
    const double scaleZ = 12800 * m.step;
    lines->push_back(field("Scale Z", scaleZ, quarter * 100 / 256 / 4));
    lines->push_back(field("Location Z", 100 * m.heightZero + 256 * scaleZ,
                           quarter * 100 / 2));
  }
  lines->push_back(
      m.groundInMetres || m.heightsHaveUnits
          ? "quillorn: (Scale and Location in centimetres, taking the map's "
            "units as metres)"
          : "quillorn: (Scale X and Y: a metre a pixel of the map; any "
            "scales in that proportion keep its shape)");
}

// HTerrain: its dialog's Min and Max Height, or none for an OpenEXR, and
// the node's map scale and position that restore the heights and shape.
void hterrainLines(const EngineFit& fit, const TerrainMeasures& m,
                   std::vector<std::string>* lines) {
  const EngineProfile& godot = engineProfile(Engine::kGodot);
  // An OpenEXR's floats are taken as they are.
  const bool direct = m.floatOutput;
  lines->push_back(std::string("quillorn: for HTerrain (1.5 in Godot 3, its "
                               "Godot 4 branch alike; Import, ") +
                   (m.floatOutput ? "OpenEXR, whose heights it takes as they "
                                    "are"
                                  : "raw 16-bit, little-endian") +
                   ", the first row north):");
  double scaleY = 1;
  if (!m.floatOutput) {
    lines->push_back(field("Min Height", "0"));
    lines->push_back(field("Max Height", text(godot.scaledTop)));
    scaleY = 65535 * m.step / godot.scaledTop;
  }
  const Spacing spacing = sampleSpacing(fit, m);
  lines->push_back(field("Map Scale", "x " + worded(spacing.x) + ", y " +
                                          worded(scaleY) + ", z " +
                                          worded(spacing.y)));
  if (!direct && m.heightZero != 0) {
    lines->push_back(field("Position Y", m.heightZero, m.step / 4));
  }
}

// Terrain3D: R16 Range and Size for a raw file, Import Scale and Height
// Offset for an OpenEXR; one vertex spacing for x and z.
void terrain3dLines(const EngineFit& fit, const TerrainMeasures& m,
                    std::vector<std::string>* lines) {
  const double quarter = m.step / 4;
  lines->push_back(std::string("quillorn: for Terrain3D (Godot 4; Import, ") +
                   (m.floatOutput ? "OpenEXR" : "raw 16-bit, little-endian") +
                   ", the first row north):");
  if (m.floatOutput) {
    lines->push_back(field("Import Scale", "1"));
    lines->push_back(field("Height Offset", "0"));
  } else {
    // Both are vectors in its dialog: x the lowest height (or the width),
    // y the highest (or the height).
    lines->push_back(
        field("R16 Range",
              "x " + compactNumber(m.heightZero, quarter) + ", y " +
                  compactNumber(m.heightZero + 65535 * m.step, quarter)));
    lines->push_back(field("R16 Size", "x " + text(fit.tiles.tileWidth) +
                                           ", y " +
                                           text(fit.tiles.tileHeight)));
  }
  const Spacing spacing = sampleSpacing(fit, m);
  const double finer = std::min(spacing.x, spacing.y);
  const double coarser = std::max(spacing.x, spacing.y);
  if (coarser <= finer * (1 + 1e-4)) {
    lines->push_back(field("Vertex Spacing", worded(finer)));
    return;
  }
  // Square spacing keeping the finer one: a pixel of a map without units.
  const double square = m.groundInMetres ? finer : 1;
  const double spans = (fit.tiles.tileWidth - 1) * spacing.x;
  const double rows = (fit.tiles.tileHeight - 1) * spacing.y;
  const int64_t width = std::llround(spans / square) + 1;
  const int64_t height = std::llround(rows / square) + 1;
  char share[32];
  std::snprintf(share, sizeof share, "%.1f", 100 * (coarser / finer - 1));
  lines->push_back(
      "quillorn: warning: Terrain3D has one vertex spacing for "
      "x and z, and the samples lie " +
      worded(spacing.x) + " x " + worded(spacing.y) +
      (m.groundInMetres ? " metres" : " pixels of the map") +
      " apart: the terrain stands " + share +
      " % out of shape there; for Terrain3D write the map "
      "without -fit, with -size " +
      text(width) + "x" + text(height) + " (Vertex Spacing " + worded(square) +
      ")");
}

// What the file's heights keep in each generation of Godot's add-ons.
void godotPrecisionLines(const TerrainMeasures& m,
                         std::vector<std::string>* lines) {
  if (!m.floatOutput) {
    lines->push_back(
        "quillorn: an .exr output gives Godot 4's add-ons each height's full "
        "precision (Terrain3D recommends OpenEXR)");
  }
  if (!m.heightsHaveUnits) return;
  const double top = m.heightZero + 65535 * m.step;
  const double highest = std::max(std::fabs(m.heightZero), std::fabs(top));
  // HTerrain, given 0 ... 1000, stores those, times the map scale.
  const int32_t scaled = engineProfile(Engine::kGodot).scaledTop;
  const double half = m.floatOutput
                          ? halfFloatLevel(highest)
                          : halfFloatLevel(scaled) * 65535 * m.step / scaled;
  const std::string level = compactNumber(m.step, m.step * 1e-3);
  lines->push_back(
      "quillorn: Godot 4's add-ons keep 32-bit floats: one height level is " +
      level + (level == "1" ? " unit" : " units") +
      " (the file's); Godot 3 (HTerrain 1.5, and its OpenEXR reading) keeps "
      "half floats, " +
      compactNumber(half, half * 1e-3) + " units apart near " +
      compactNumber(highest, 0.5));
}

}  // namespace

std::vector<std::string> engineSettingsLines(const EngineFit& fit,
                                             const TerrainMeasures& m) {
  std::vector<std::string> lines;
  if (fit.engine == Engine::kUnity) {
    unityLines(fit, m, &lines);
  } else if (fit.engine == Engine::kUnreal) {
    unrealLines(fit, m, &lines);
  } else {
    hterrainLines(fit, m, &lines);
    terrain3dLines(fit, m, &lines);
    godotPrecisionLines(m, &lines);
  }
  if (!m.heightsHaveUnits) {
    lines.push_back(
        "quillorn: the map's heights have no units: set the terrain's "
        "height to what its highest point should stand at");
  } else if (fit.engine == Engine::kUnity) {
    // Unity keeps 0 ... 32766 of the file's 0 ... 65535.
    const double level =
        m.step * 65535.0 / engineProfile(Engine::kUnity).keptLevels;
    const std::string worth = compactNumber(level, level * 1e-3);
    lines.push_back("quillorn: one height level in Unity is " + worth +
                    (worth == "1" ? " unit" : " units") +
                    " (it keeps 15 of the file's 16 bits)");
  } else if (fit.engine == Engine::kUnreal) {
    const std::string worth = compactNumber(m.step, m.step * 1e-3);
    lines.push_back("quillorn: one height level in Unreal is " + worth +
                    (worth == "1" ? " unit" : " units"));
  }
  if (!m.groundInMetres && fit.engine == Engine::kUnity) {
    lines.push_back(
        "quillorn: (Width and Length: one unit a pixel of the map; any "
        "sizes in that proportion keep its shape)");
  }
  return lines;
}
