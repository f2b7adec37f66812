#include "processing/nodata_fill.h"

#include <cmath>
#include <cstdint>

#include "processing/nodata_fill_rule.h"

namespace {

// Distances in steps beyond this are all kFar.
constexpr uint8_t kFar = 255;

// The byte planes' heights as the fill reads and stores them.
struct PlaneHeights {
  PlaneSet* planes;
  double at(int32_t row, int32_t column) const {
    return decodeHeightIn<kWideBase>(planes->outRed[row][column],
                                     planes->outGreen[row][column]);
  }
  void store(int32_t row, int32_t column, double mean) const {
    storeHeight(kWideBase, static_cast<int64_t>(std::floor(mean + 0.5)),
                &planes->outRed[row][column], &planes->outGreen[row][column]);
  }
};

}  // namespace

void markFillDistances(BytePlane* marks, int32_t width, int32_t height) {
  auto relax = [&](int32_t fromRow, int32_t fromColumn, uint8_t* value) {
    if (fromRow < 0 || fromRow >= height || fromColumn < 0 ||
        fromColumn >= width) {
      return;
    }
    const int32_t near = (*marks)[fromRow][fromColumn] + 1;
    if (near < *value) *value = static_cast<uint8_t>(near);
  };
  for (int32_t row = 0; row < height; ++row) {
    uint8_t* line = (*marks)[row];
    for (int32_t column = 0; column < width; ++column) {
      if (line[column] == 0) continue;
      uint8_t value = kFar;
      relax(row - 1, column - 1, &value);
      relax(row - 1, column, &value);
      relax(row - 1, column + 1, &value);
      relax(row, column - 1, &value);
      line[column] = value;
    }
  }
  for (int32_t row = height - 1; row >= 0; --row) {
    uint8_t* line = (*marks)[row];
    for (int32_t column = width - 1; column >= 0; --column) {
      if (line[column] == 0) continue;
      uint8_t value = line[column];
      relax(row + 1, column + 1, &value);
      relax(row + 1, column, &value);
      relax(row + 1, column - 1, &value);
      relax(row, column + 1, &value);
      line[column] = value;
    }
  }
}

FillOutcome fillNodata(PlaneSet* planes, BytePlane* marks, int32_t width,
                       int32_t height, int32_t reach,
                       const Progress* progress) {
  const FillOutcome outcome = fillMarkedHeights(PlaneHeights{planes}, marks,
                                                width, height, reach, progress);
  for (int32_t row = 0; row < height; ++row) {
    uint8_t* rowMarks = (*marks)[row];
    for (int32_t column = 0; column < width; ++column) {
      if (rowMarks[column] != 0) {
        rowMarks[column] = rowMarks[column] == kKeptFillMark ? 1 : 0;
      }
    }
  }
  return outcome;
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
