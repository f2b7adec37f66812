// What a run's stages work on and hand to one another: the heights as byte
// planes or floats, what they stand for, and where the run tells of them.
#ifndef QUILLORN_APP_RUN_STATE_H_
#define QUILLORN_APP_RUN_STATE_H_

#include <ostream>
#include <string>

#include "app/run_files.h"
#include "app/run_options.h"
#include "app/run_report.h"
#include "image/float_plane.h"
#include "image/height_planes.h"

struct StageBar;

// What a run's stages work on and hand to one another.
struct RunState {
  RunFiles* files = nullptr;
  const RunOptions* options = nullptr;
  // The heights: byte planes (owned by the caller), or floats when
  // floatHeights (owned here, released at the run's end).
  PlaneSet* planes = nullptr;
  FloatPlane floats;
  bool floatHeights = false;
  bool infinitiesMarked = false;  // the floats' infinities made NaN
  int32_t width = 0;              // the map's size as the stages so far left it
  int32_t height = 0;
  bool bitmaps = false;       // a bitmap read for a bitmap: base 255 kept
  bool marksNodata = false;   // the nodata kept is marked for a TIFF output
  bool copiesPixels = false;  // the output is the input's pixel rows: no planes
  StageCounts* counts = nullptr;
  WrittenHeights* written = nullptr;
  StageBar* bar = nullptr;
  std::ostream* console = nullptr;
  std::ostream* diagnostics = nullptr;
  std::string* error = nullptr;  // set on failure ("" when said already)
};

#endif  // QUILLORN_APP_RUN_STATE_H_
