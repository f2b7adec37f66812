// The per-height computations of a float map: its range, scaling,
// normalization and the minimum elevation, each the float twin of the byte
// planes' (height_processing.h) without their truncation and clamping.
// NaN (nodata) stays NaN through every one of them.
#ifndef QUILLORN_PROCESSING_FLOAT_PROCESSING_H_
#define QUILLORN_PROCESSING_FLOAT_PROCESSING_H_

#include <cstdint>

#include "image/float_plane.h"

// The lowest and highest of valid values, and how many are valid; with none
// valid, min and max are 0.
struct FloatRange {
  double min = 0;
  double max = 0;
  int64_t valid = 0;
};

// The range of plane's non-NaN values.
FloatRange findFloatRange(const FloatPlane& plane);

// Multiplies every valid value by scale, in single precision.
void scaleFloatHeights(float scale, FloatPlane* plane);

// What a normalization did, as the byte planes' "-sca 0" tells it.
struct FloatNormalization {
  double lowest = 0;        // the lowest valid value before it
  float factor = 1.0f;      // normalizationFactor's scale for the range
  float reciprocal = 1.0f;  // 1 / factor, which undoes it
};

// The float "-sca 0": every valid value v becomes (v - lowest) x factor,
// worked in double, capped at 255 and stored as a float, so that the
// lowest is 0 and the highest 255. The factor and reciprocal are the byte
// path's for the same span (normalizationFactor: 255 / span in single
// precision, 1 for a flat map, whose values all become 0). A map of no
// valid value is left as it is (lowest 0, factor 1).
FloatNormalization normalizeFloatHeights(FloatPlane* plane);

// The float "-min": adds one shift to every valid value so that the lowest
// equals minimum, and returns the shift (minimum - lowest, 0 and nothing
// rewritten when the map has no valid value or already starts there).
double shiftFloatHeights(double minimum, FloatPlane* plane);

#endif  // QUILLORN_PROCESSING_FLOAT_PROCESSING_H_
