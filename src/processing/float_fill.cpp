#include "processing/float_fill.h"

#include <cstddef>

#include "platform/memory.h"
#include "processing/nodata_fill_rule.h"

namespace {

// The float map's values as the fill reads and stores them, NaN nodata.
struct FloatHeights {
  FloatPlane* plane;
  bool valid(int32_t row, int32_t column) const {
    return !isNodata(plane->row(row)[column]);
  }
  double at(int32_t row, int32_t column) const {
    return plane->row(row)[column];
  }
  void settle(int32_t row, int32_t column, bool found, double mean) const {
    if (found) plane->row(row)[column] = static_cast<float>(mean);
  }
};

// Whether any value of the plane is nodata.
bool anyNodata(const FloatPlane& plane) {
  for (int32_t row = 0; row < plane.height; ++row) {
    const float* values = plane.row(row);
    for (int32_t column = 0; column < plane.width; ++column) {
      if (isNodata(values[column])) return true;
    }
  }
  return false;
}

}  // namespace

FillOutcome fillFloatNodata(FloatPlane* plane, int32_t reach,
                            const Progress* progress) {
  const int32_t width = plane->width;
  const int32_t height = plane->height;
  if (!anyNodata(*plane)) {
    reportProgress(progress, height, height);
    return FillOutcome();
  }
  // The NaNs are the marks: a filled value is never asked about again.
  FillWays ways;
  if (!ways.allocate(width, height)) {
    FillOutcome outcome;
    outcome.complete = false;
    return outcome;
  }
  return fillMarkedHeights(FloatHeights{plane}, &ways, width, height, reach,
                           progress);
}
