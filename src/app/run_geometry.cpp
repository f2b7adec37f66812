#include "app/run_geometry.h"

#include <utility>

#include "platform/interrupts.h"

// Every tile's temporary and the picture's stay guarded until the commit.
static_assert(kMostTiles + 1 <= kMaxGuardedFiles,
              "an interruption must find every temporary");

namespace {

std::string text(int64_t value) { return std::to_string(value); }

}  // namespace

bool planRunGeometry(const RunOptions& options, int32_t sourceWidth,
                     int32_t sourceHeight, RunGeometry* geometry,
                     std::string* error) {
  *geometry = RunGeometry();
  geometry->turns = options.turns;
  Orientation orientation = composeTurns(options.turns);
  geometry->turned = orientation.swapAxes || orientation.mirrorRows ||
                     orientation.mirrorColumns;
  int32_t width = orientation.swapAxes ? sourceHeight : sourceWidth;
  int32_t height = orientation.swapAxes ? sourceWidth : sourceHeight;
  TileGrid grid = options.tilesGiven ? options.tiles : TileGrid();
  if (int64_t{grid.columns} * grid.rows > kMostTiles) {
    *error = "Too many tiles: -tiles " + text(grid.columns) + "x" +
             text(grid.rows) + " makes " +
             text(int64_t{grid.columns} * grid.rows) + " files, more than " +
             text(kMostTiles);
    return false;
  }
  int32_t targetWidth = width, targetHeight = height;
  if (options.fitGiven) {
    geometry->fitted = true;
    if (!fitToEngine(options.engine, width, height, grid, options.tilesGiven,
                     &geometry->fit, error)) {
      return false;
    }
    geometry->tiles = geometry->fit.tiles;
    targetWidth = planWidth(geometry->tiles);
    targetHeight = planHeight(geometry->tiles);
    // Each engine's importer reads tile numbers its own way; Godot's
    // add-ons import one map, so its tiles keep the plain names.
    geometry->naming = options.engine == Engine::kUnity ? TileNaming::kUnity
                       : options.engine == Engine::kUnreal
                           ? TileNaming::kFromBottom
                           : TileNaming::kFromTop;
  } else {
    if (options.resizeGiven) {
      targetWidth = options.resize.width;
      targetHeight = options.resize.height;
    }
    if (!planTiles(targetWidth, targetHeight, grid, &geometry->tiles, error)) {
      return false;
    }
  }
  geometry->tiled = options.tilesGiven;
  geometry->width = targetWidth;
  geometry->height = targetHeight;
  geometry->resampled = targetWidth != width || targetHeight != height;
  geometry->resample.width = targetWidth;
  geometry->resample.height = targetHeight;
  geometry->resample.filter = options.filter;
  if (geometry->resampled && !haveResampler()) {
    *error = kNoResampler;
    return false;
  }
  return true;
}

std::string tilePath(const RunGeometry& geometry, const std::string& output,
                     int32_t column, int32_t row) {
  return tileFileName(output, geometry.naming, geometry.tiles.grid, column,
                      row);
}
