// Filling the nodata (NaN) of a float map from the valid heights around
// them ("-fill"), by the byte planes' rule (nodata_fill.h).
#ifndef QUILLORN_PROCESSING_FLOAT_FILL_H_
#define QUILLORN_PROCESSING_FLOAT_FILL_H_

#include <cstdint>

#include "image/float_plane.h"
#include "image/progress.h"
#include "processing/nodata_fill.h"

// For every NaN of plane: looks from it in the eight directions (across,
// down and diagonally) for the nearest valid value within reach samples (a
// diagonal step counts sqrt(2)), and gives it the mean of those it found,
// each weighted 1 / distance^2, as a float (no rounding); none found, it
// stays NaN. Only values valid before the fill are read, so the order does
// not matter. Counts the filled and the kept. Its working memory is 24
// bytes a column (the NaNs mark the holes); when that cannot be had,
// nothing changes and the outcome is not complete. Reports rows done to progress.
FillOutcome fillFloatNodata(FloatPlane* plane, int32_t reach,
                            const Progress* progress = nullptr);

#endif  // QUILLORN_PROCESSING_FLOAT_FILL_H_
