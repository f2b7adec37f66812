// Which engine smooths an image: one table of the engines, fastest first,
// with what each needs of the build, the processor running the tool, the
// image's shape and the memory smoothing may take.
#ifndef QUILLORN_PROCESSING_SMOOTHING_CHOICE_H_
#define QUILLORN_PROCESSING_SMOOTHING_CHOICE_H_

#include <cstdint>

#include "processing/smoothing_lanes.h"

// The engines, fastest first. All of them give the same bytes.
enum class SmoothingEngine {
  kLanesAvx2,   // the lane engine (smoothing_lanes) with AVX2 and FMA
  kLanesSse2,   // the lane engine in SSE2
  kLanesWasm,   // the lane engine in WebAssembly SIMD (the browser build)
  kLanesPlain,  // the lane engine in plain C++
  kRows,        // the row engine (smoothing_rows)
  kDirect,      // cell by cell on the planes, with no working memory
};

// The fastest engine, first or any after it, that this build, the processor
// running the tool, an image of width x height and smoothingBudget allow.
// kDirect allows everything.
SmoothingEngine chooseSmoothing(
    int32_t width, int32_t height,
    SmoothingEngine first = SmoothingEngine::kLanesAvx2);

// The kernels of a lane engine where this build has them and the processor
// running the tool can run them, whatever the shape; nullptr otherwise and
// for the other engines.
const LaneKernels* laneKernelsOf(SmoothingEngine engine);

#endif  // QUILLORN_PROCESSING_SMOOTHING_CHOICE_H_
