#include "processing/float_processing.h"

#include <algorithm>
#include <cstddef>

namespace {

size_t valueCount(const FloatPlane& plane) {
  return static_cast<size_t>(plane.width) * static_cast<size_t>(plane.height);
}

}  // namespace

FloatRange findFloatRange(const FloatPlane& plane) {
  FloatRange range;
  const size_t count = valueCount(plane);
  float lowest = 0, highest = 0;
  for (size_t i = 0; i < count; ++i) {
    const float value = plane.values[i];
    if (isNodata(value)) continue;
    if (range.valid == 0 || value < lowest) lowest = value;
    if (range.valid == 0 || value > highest) highest = value;
    ++range.valid;
  }
  range.min = lowest;
  range.max = highest;
  return range;
}

void scaleFloatHeights(float scale, FloatPlane* plane) {
  const size_t count = valueCount(*plane);
  // NaN times anything stays NaN: no test needed.
  for (size_t i = 0; i < count; ++i) plane->values[i] *= scale;
}

FloatNormalization normalizeFloatHeights(FloatPlane* plane) {
  FloatNormalization outcome;
  const FloatRange range = findFloatRange(*plane);
  if (range.valid == 0) return outcome;
  // The byte path's factor for the same span: the span and the quotient in
  // single precision, 1 for a flat map.
  const float span = static_cast<float>(range.max - range.min);
  outcome.factor = span == 0.0f ? 1.0f : static_cast<float>(255.0 / span);
  outcome.reciprocal = 1 / outcome.factor;
  outcome.lowest = range.min;
  const double factor = outcome.factor;
  const size_t count = valueCount(*plane);
  for (size_t i = 0; i < count; ++i) {
    const float value = plane->values[i];
    if (isNodata(value)) continue;
    // A factor rounded up may carry the highest a hair past 255: the cap
    // the byte path has too.
    plane->values[i] =
        static_cast<float>(std::min(255.0, (value - range.min) * factor));
  }
  return outcome;
}

double shiftFloatHeights(double minimum, FloatPlane* plane) {
  const FloatRange range = findFloatRange(*plane);
  if (range.valid == 0 || range.min == minimum) return 0;
  const double shift = minimum - range.min;
  const size_t count = valueCount(*plane);
  for (size_t i = 0; i < count; ++i) {
    plane->values[i] = static_cast<float>(plane->values[i] + shift);
  }
  return shift;
}
