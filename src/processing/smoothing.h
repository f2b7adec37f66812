// Smoothing: passes of an in-place 3 x 3 mean over the target heights.
// Works on the planes it is given, with width and height (both >= 1) beside
// them, and keeps no state between calls.
#ifndef QUILLORN_PROCESSING_SMOOTHING_H_
#define QUILLORN_PROCESSING_SMOOTHING_H_

#include <cstdint>

#include "image/height_planes.h"
#include "image/progress.h"

// Runs passes (none when <= 0) of an in-place 3 x 3 mean over the target
// heights (planes in base, 255 or 256), plane row 0 first, left to right; each
// cell averages its in-image neighbours (9, 6 or 4 of them), those above and to
// its left already smoothed in this pass, and is re-encoded at once. Stops
// early once a pass changes no height (every later pass would change nothing
// either), so that any count up to INT32_MAX ends. Reports the work done over
// all passes to progress.
// Returns how many stored means wrapped: in base 255 a mean of 65280 is
// stored as 0, which only the first cell's first mean can be (when every
// neighbour holds 65280), so 0 or 1.
int64_t smoothHeights(int32_t passes, BytePlane* outRed, BytePlane* outGreen,
                      int32_t width, int32_t height,
                      HeightValue base = kHeightBase,
                      const Progress* progress = nullptr);

// The same passes, each cell decoded, averaged and encoded straight on the
// planes: the rule at its plainest, for images too wide and short for
// working rows. Stops as smoothHeights does; reports rows smoothed over all
// passes to progress.
int64_t smoothHeightsDirect(int32_t passes, BytePlane* outRed,
                            BytePlane* outGreen, int32_t width, int32_t height,
                            HeightValue base = kHeightBase,
                            const Progress* progress = nullptr);

#endif  // QUILLORN_PROCESSING_SMOOTHING_H_
