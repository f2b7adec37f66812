// The shape a run gives the map before its stages: the flips and turns, the
// size it is resampled to ("-size", "-fit") and the tiles it is cut into
// ("-tiles"), all decided from the input's header before any work.
#ifndef QUILLORN_APP_RUN_GEOMETRY_H_
#define QUILLORN_APP_RUN_GEOMETRY_H_

#include <cstdint>
#include <string>
#include <vector>

#include "app/run_options.h"
#include "image/geo_reference.h"
#include "image/height_formats.h"
#include "processing/engine_sizes.h"
#include "processing/height_tiles.h"
#include "processing/map_window.h"
#include "processing/plane_turns.h"
#include "processing/resampling.h"

// The most tiles one run writes.
constexpr int64_t kMostTiles = 1024;

struct RunGeometry {
  // The part of the input the run keeps (-crop, -bounds), else all of it;
  // everything below is of this window.
  MapWindow window;
  bool windowed = false;         // the window is less than the input
  std::vector<PlaneTurn> turns;  // in the order given
  bool turned = false;           // the turns move pixels at all
  int32_t width = 0;             // after turning and resampling
  int32_t height = 0;
  bool resampled = false;
  ResampleRequest resample;
  bool fitted = false;  // -fit chose the size
  EngineFit fit;
  bool tiled = false;  // -tiles: written as tiles, even one
  TilePlan tiles;
  TileNaming naming = TileNaming::kFromTop;

  // True when the map keeps its input's grid: no turn, no new size, one
  // file. Only then is a bitmap's header (and a TIFF's georeferencing)
  // carried over.
  bool keepsGrid() const {
    return !windowed && !turned && !resampled && !tiled;
  }
};

// Plans the geometry of a sourceWidth x sourceHeight input for options.
// False, with the refusal in error, when the tiles cannot share their
// edges, there are too many, or the build cannot resample.
bool planRunGeometry(const RunOptions& options, int32_t sourceWidth,
                     int32_t sourceHeight, RunGeometry* geometry,
                     std::string* error);

// Plans the geometry of input (read from inputPath) for options: its
// window first, then the rest of it as planRunGeometry does. False, with
// the refusal in error, when the window reaches past the map (the map's
// extent told), -bounds has no placement to go by, or planRunGeometry
// refuses.
bool planWindowedGeometry(const RunOptions& options, const InputImage& input,
                          const std::string& inputPath, RunGeometry* geometry,
                          std::string* error);

// The map from the raster coordinates of tile (column, row) (of the whole
// output when not tiled) to those of the sourceWidth x sourceHeight input,
// through the tile's place, the resampling, the turns and the window; centre is
// where a pixel's own coordinates lie within it (0.5 for pixel corners, 0 for
// centres).
Affine outputToSource(const RunGeometry& geometry, int32_t sourceWidth,
                      int32_t sourceHeight, int32_t column, int32_t row,
                      double centre);

// The file of tile (column, row) for an output path.
std::string tilePath(const RunGeometry& geometry, const std::string& output,
                     int32_t column, int32_t row);

#endif  // QUILLORN_APP_RUN_GEOMETRY_H_
