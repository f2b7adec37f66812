// Smoothing a float map: passes of the byte planes' in-place 3 x 3 mean
// (smoothing.h) in single precision, without its truncation, nodata left
// out.
#ifndef QUILLORN_PROCESSING_FLOAT_SMOOTHING_H_
#define QUILLORN_PROCESSING_FLOAT_SMOOTHING_H_

#include <cstdint>

#include "image/float_plane.h"
#include "image/progress.h"

// Runs passes (none when <= 0) of an in-place 3 x 3 mean over plane, row 0
// first, left to right: each valid cell becomes the mean of the valid cells
// of its neighbourhood in the map (itself included; 9, 6 or 4 of them where
// none is NaN), those above and to its left already smoothed in this pass.
// NaN cells stay NaN. The mean is worked in single precision in one order,
// the same on every processor: (left + ((up + (cell + right)) + down)) x
// (1 / count), up and down each summed left to right, the reciprocal
// rounded to single precision, nodata added as 0. Stops early once a
// pass changes no value, so that any count up to INT32_MAX ends. Values
// beyond a ninth of the largest float may overflow the sums. Reports the
// work done over all passes to progress.
void smoothFloatHeights(int32_t passes, FloatPlane* plane,
                        const Progress* progress = nullptr);

// The engines, fastest first; all of them give the same bits.
enum class FloatSmoothingEngine {
  kLanesAvx2,   // bands of 32 rows in vector lanes, AVX2
  kLanesSse2,   // the same in SSE2
  kLanesPlain,  // the same in plain C++
  kDirect,      // cell by cell on the plane, with no working memory
};

// True when this build and the processor running the tool have engine.
bool floatSmoothingEngineRuns(FloatSmoothingEngine engine);

// smoothFloatHeights by engine; false, with the plane untouched, when the
// engine does not run here or its working memory cannot be had.
bool smoothFloatHeightsWith(FloatSmoothingEngine engine, int32_t passes,
                            FloatPlane* plane,
                            const Progress* progress = nullptr);

#endif  // QUILLORN_PROCESSING_FLOAT_SMOOTHING_H_
