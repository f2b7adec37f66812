#include "processing/nodata_fill.h"

#include <cmath>
#include <cstdint>

namespace {

// The byte planes' heights as the fill reads and stores them, nodata where
// marked; a filled height's mark is cleared, a kept one's becomes 1.
struct PlaneHeights {
  PlaneSet* planes;
  BytePlane* marks;
  bool valid(int32_t row, int32_t column) const {
    return (*marks)[row][column] == 0;
  }
  double at(int32_t row, int32_t column) const {
    return decodeHeightIn<kWideBase>(planes->outRed[row][column],
                                     planes->outGreen[row][column]);
  }
  void settle(int32_t row, int32_t column, bool found, double mean) const {
    (*marks)[row][column] = found ? 0 : 1;
    if (!found) return;
    storeHeight(kWideBase, static_cast<int64_t>(std::floor(mean + 0.5)),
                &planes->outRed[row][column], &planes->outGreen[row][column]);
  }
};

}  // namespace

FillOutcome fillNodata(PlaneSet* planes, BytePlane* marks, int32_t width,
                       int32_t height, int32_t reach,
                       const Progress* progress) {
  FillWays ways;
  if (width <= 0 || height <= 0 || !ways.allocate(width, height)) {
    FillOutcome outcome;
    outcome.complete = width <= 0 || height <= 0;
    return outcome;
  }
  return fillMarkedHeights(PlaneHeights{planes, marks}, &ways, width, height,
                           reach, progress);
}

void clearMarks(BytePlane* marks, int32_t width, int32_t height) {
  // Only marks are written: pages of none stay unmade.
  for (int32_t row = 0; row < height; ++row) {
    uint8_t* rowMarks = (*marks)[row];
    for (int32_t column = 0; column < width; ++column) {
      if (rowMarks[column] != 0) rowMarks[column] = 0;
    }
  }
}

int32_t chooseNodataHeight(const PlaneSet& planes, const BytePlane& marks,
                           int32_t width, int32_t height) {
  bool lowestTaken = false, highestTaken = false;
  for (int32_t row = 0; row < height; ++row) {
    for (int32_t column = 0; column < width; ++column) {
      if (marks[row][column] != 0) continue;
      const HeightValue value = decodeHeightIn<kWideBase>(
          planes.outRed[row][column], planes.outGreen[row][column]);
      lowestTaken |= value == 0;
      highestTaken |= value == kLargestWideHeight;
    }
  }
  if (!highestTaken) return kLargestWideHeight;
  return lowestTaken ? kNoNodata : 0;
}
