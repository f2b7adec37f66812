#include "processing/float_fill.h"

#include <cstddef>

#include "platform/memory.h"
#include "processing/nodata_fill_rule.h"

namespace {

// The float map's values as the fill reads and stores them.
struct FloatHeights {
  FloatPlane* plane;
  double at(int32_t row, int32_t column) const {
    return plane->row(row)[column];
  }
  void store(int32_t row, int32_t column, double mean) const {
    plane->row(row)[column] = static_cast<float>(mean);
  }
};

}  // namespace

FillOutcome fillFloatNodata(FloatPlane* plane, int32_t reach,
                            const Progress* progress) {
  const int32_t width = plane->width;
  const int32_t height = plane->height;
  const size_t count = static_cast<size_t>(width) * static_cast<size_t>(height);
  LargeBlock markBytes, markRows;
  if (!markBytes.allocate(count) ||
      !markRows.allocate(sizeof(uint8_t*) * static_cast<size_t>(height))) {
    FillOutcome outcome;
    outcome.complete = false;
    return outcome;
  }
  BytePlane marks;
  marks.rows = static_cast<uint8_t**>(markRows.data);
  uint8_t* bytes = static_cast<uint8_t*>(markBytes.data);
  bool any = false;
  for (int32_t row = 0; row < height; ++row) {
    uint8_t* rowMarks =
        bytes + static_cast<size_t>(row) * static_cast<size_t>(width);
    marks.rows[row] = rowMarks;
    const float* values = plane->row(row);
    for (int32_t column = 0; column < width; ++column) {
      rowMarks[column] = isNodata(values[column]) ? 1 : 0;
      any |= rowMarks[column] != 0;
    }
  }
  if (!any) {
    reportProgress(progress, height, height);
    return FillOutcome();
  }
  return fillMarkedHeights(FloatHeights{plane}, &marks, width, height, reach,
                           progress);
}
