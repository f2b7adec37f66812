// The per-height computations: scale conversion, normalization and the
// minimum elevation (smoothing, which averages neighbours, is smoothing.h).
// Every function works on the planes it is given, with width and height
// (both >= 1) beside them, and keeps no state.
#ifndef QUILLORN_PROCESSING_HEIGHT_PROCESSING_H_
#define QUILLORN_PROCESSING_HEIGHT_PROCESSING_H_

#include <cstdint>

#include "image/height_planes.h"

// What the conversion did besides converting.
struct ScaleOutcome {
  bool normalized = false;  // the heights were normalized to 0 ... 255
  float factor = 0.0f;      // the factor every height was multiplied by
  float reciprocal = 0.0f;  // with normalized: 1 / factor, which undoes it
  StoreCount stored;        // results outside what the planes hold exactly
  HeightValue lowest = 0;   // with normalized: the lowest height before it
};

// Truncates x toward zero into 32 bits; beyond the range it saturates to the
// range's ends, and NaN gives 0.
int32_t truncateToInt32(double x);

// Fills the target planes from the source planes: each target height is the
// source height times scale (the float widened, product in double, truncated
// toward zero); blue stays as it is (the target planes share the source's).
// A scale of exactly 0 normalizes instead: the heights are shifted so that
// the lowest is 0, then scaled by normalizationFactor and capped at 255.
// Results are stored in the planes' base (wrapping in base 255, saturating
// in base 256) and counted where they leave its range.
ScaleOutcome scaleHeights(float scale, PlaneSet* planes, int32_t width,
                          int32_t height);

// The factor and cap of a normalization of heights spanning range: 255 /
// (max - min), the span and the quotient held in single precision (1 for a
// flat image), and a ceiling of 255.
struct NormalizationFactor {
  float scale = 1.0f;
  int32_t ceiling = 255;
};
NormalizationFactor normalizationFactor(HeightRange range);

// Adds one shift to every target height (planes in base, 255 or 256) so
// that the lowest equals minimum, and tells it in shift when not nullptr;
// rewrites nothing when it already does.
// Results outside what the planes hold exactly are stored by the base's rule
// (wrapping in base 255, saturating in base 256) and counted.
StoreCount applyMinimumElevation(int32_t minimum, BytePlane* outRed,
                                 BytePlane* outGreen, int32_t width,
                                 int32_t height, HeightValue base = kHeightBase,
                                 int64_t* shift = nullptr);

#endif  // QUILLORN_PROCESSING_HEIGHT_PROCESSING_H_
