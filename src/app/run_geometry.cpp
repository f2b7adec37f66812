#include "app/run_geometry.h"

#include <utility>

#include "platform/interrupts.h"

// Every tile's temporary, its world file's and the picture's stay guarded
// until the commit.
static_assert(2 * kMostTiles + 1 <= kMaxGuardedFiles,
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
    // Each engine's importer reads tile numbers its own way.
    geometry->naming = engineProfile(options.engine).naming;
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

Affine outputToSource(const RunGeometry& geometry, int32_t sourceWidth,
                      int32_t sourceHeight, int32_t column, int32_t row,
                      double centre) {
  const double o = centre;
  Affine tile;
  if (geometry.tiled) {
    tile.c = static_cast<double>(column) * (geometry.tiles.tileWidth - 1);
    tile.f = static_cast<double>(row) * (geometry.tiles.tileHeight - 1);
  }
  // Resampled pixel i sits at turned pixel i (n - 1) / (n' - 1).
  const Orientation turn = composeTurns(geometry.turns);
  const int32_t turnedWidth = turn.swapAxes ? sourceHeight : sourceWidth;
  const int32_t turnedHeight = turn.swapAxes ? sourceWidth : sourceHeight;
  auto ratio = [](int32_t from, int32_t to) {
    return to > 1 ? (from - 1.0) / (to - 1.0) : 0.0;
  };
  Affine resample;
  if (geometry.resampled) {
    resample.a = ratio(turnedWidth, geometry.width);
    resample.e = ratio(turnedHeight, geometry.height);
    resample.c = o * (1 - resample.a);
    resample.f = o * (1 - resample.e);
  }
  // Pixel indices: (a, b) = swapped ? (column, row) : (row, column), each
  // counted from the far side when mirrored.
  Affine toSource;
  const double sColumns = turn.mirrorColumns ? -1 : 1;
  const double sRows = turn.mirrorRows ? -1 : 1;
  const double columnEnd = turn.mirrorColumns ? sourceWidth - 1 : 0;
  const double rowEnd = turn.mirrorRows ? sourceHeight - 1 : 0;
  // b (the source column's index) and a (the source row's) from x, y.
  const double bx = turn.swapAxes ? 0 : 1, by = turn.swapAxes ? 1 : 0;
  const double ax = turn.swapAxes ? 1 : 0, ay = turn.swapAxes ? 0 : 1;
  toSource.a = sColumns * bx;
  toSource.b = sColumns * by;
  toSource.c = sColumns * -o + columnEnd + o;
  toSource.d = sRows * ax;
  toSource.e = sRows * ay;
  toSource.f = sRows * -o + rowEnd + o;
  return composeAffine(toSource, composeAffine(resample, tile));
}

std::string tilePath(const RunGeometry& geometry, const std::string& output,
                     int32_t column, int32_t row) {
  return tileFileName(output, geometry.naming, geometry.tiles.grid, column,
                      row);
}
