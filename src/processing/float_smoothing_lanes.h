// The float lane engine: smoothFloatHeights in bands of lanes, laid out as
// float_lane_layout.h says, by one instruction set's kernels.
#ifndef QUILLORN_PROCESSING_FLOAT_SMOOTHING_LANES_H_
#define QUILLORN_PROCESSING_FLOAT_SMOOTHING_LANES_H_

#include <cstdint>

#include "processing/float_lane_layout.h"

struct FloatPlane;
struct Progress;

// Smooths as smoothFloatHeights does, in bands of lanes by kernels, passes
// in groups of up to 16 over a ring of bands (fewer where memory is short):
// stops after a group whose last pass changed nothing. Returns false, with
// the plane untouched, when even one pass's bands would take more than half
// the plane's bytes and 6 MiB, or their memory cannot be had.
bool smoothFloatHeightsInLanes(int32_t passes, FloatPlane* plane,
                               const FloatLaneKernels& kernels,
                               const Progress* progress);

#endif  // QUILLORN_PROCESSING_FLOAT_SMOOTHING_LANES_H_
