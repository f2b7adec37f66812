// An input of many tiles (a folder or a pattern) read as the one map they
// make: every tile's header checked before any work, the tiles placed by
// their georeference or by their names, then read one at a time into the
// whole's planes, shared edges made one sample.
#ifndef QUILLORN_APP_MOSAIC_INPUT_H_
#define QUILLORN_APP_MOSAIC_INPUT_H_

#include <ostream>
#include <string>
#include <vector>

#include "image/float_plane.h"
#include "image/height_planes.h"
#include "image/input_image.h"
#include "image/progress.h"
#include "processing/tile_layout.h"

// The tiles of an input and where each lies in the whole.
struct InputMosaic {
  std::vector<std::string> tiles;  // sorted by name; empty: one file
  TileLayout layout;               // in the order of tiles
  ReadRequest request;             // as the command line asks the whole
  SampleType sample;               // every tile's
  // The tile whose ground spacing stands for the whole's (the one at its
  // middle), and its side.
  size_t middleTile = 0;
  // Unity's raw tiles (<name>_<x>_<z>.raw): each tile's first row is its
  // south edge, as Unity reads them.
  bool southFirst = false;
  // Placed by names of the form <name>_x<i>_y<j>, which -tilerows reads.
  bool lettered = false;
  bool any() const { return !tiles.empty(); }
};

// Inspects every tile of inputPath, checks that they make one map and
// places them (tiles placed by name whose rows count from the bottom
// when rowsFromBottom, as World Machine names them); whole is then the map's
// header (the first tile's, of the whole's size, placed where the whole lies).
// False after printing the ERROR line and the tile's reason.
bool openMosaicInput(const std::string& inputPath, const ReadRequest& request,
                     bool rowsFromBottom, InputMosaic* mosaic,
                     InputImage* whole, std::ostream& console,
                     std::ostream& diagnostics);

// Reads every tile's heights into planes of the whole's size (planes of
// BlueUse::kMarks, base 256), the whole's elevation samples mapped into
// heights as one map's; gaps and nodata marked. Warns where shared edges
// differ. False with error set.
bool readMosaicHeights(const InputMosaic& mosaic, InputImage* whole,
                       PlaneSet* planes, std::string* error,
                       std::ostream& diagnostics, const Progress* progress);

// Reads every float tile into a float plane of the whole's size, gaps and
// nodata NaN. Warns where shared edges differ. False with error set.
bool readMosaicFloats(const InputMosaic& mosaic, InputImage* whole,
                      FloatPlane* floats, std::string* error,
                      std::ostream& diagnostics, const Progress* progress);

#endif  // QUILLORN_APP_MOSAIC_INPUT_H_
