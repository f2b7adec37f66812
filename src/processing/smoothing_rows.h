// The row engine of smoothing: passes of the in-place 3 x 3 mean on
// decoded rows, in bands of kBandRows rows (smoothing_band.h).
#ifndef QUILLORN_PROCESSING_SMOOTHING_ROWS_H_
#define QUILLORN_PROCESSING_SMOOTHING_ROWS_H_

#include <cstddef>
#include <cstdint>

#include "image/height_planes.h"
#include "image/progress.h"

// True when one pass's working rows for an image of width x height take at
// most budget bytes.
bool smoothRowsFit(int32_t width, int32_t height, size_t budget);

// The row engine: passes in bands of kBandRows decoded rows. Returns false,
// with the planes untouched, when its working rows would break the memory
// bound or memory is short.
bool smoothHeightsInRows(int32_t passes, BytePlane* outRed, BytePlane* outGreen,
                         int32_t width, int32_t height, HeightValue base,
                         const Progress* progress);

#endif  // QUILLORN_PROCESSING_SMOOTHING_ROWS_H_
