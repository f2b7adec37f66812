#include "processing/nodata_fill.h"

#include <cmath>
#include <vector>

namespace {

struct Direction {
  int32_t rows;
  int32_t columns;
};

constexpr Direction kDirections[] = {{-1, 0},  {1, 0},  {0, -1}, {0, 1},
                                     {-1, -1}, {-1, 1}, {1, -1}, {1, 1}};

// Distances in steps beyond this are all kFar.
constexpr uint8_t kFar = 255;

// A height's mark once the fill has passed it: searches still skip it, and
// the last pass tells the kept from the filled.
constexpr uint8_t kFilledMark = 1;
constexpr uint8_t kKeptMark = 2;

// Turns every mark into the number of steps (any of the eight ways, so the
// largest of the row and column distances) to the nearest unmarked height,
// kFar from kFar on, in two passes.
void markDistances(BytePlane* marks, int32_t width, int32_t height) {
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

}  // namespace

FillOutcome fillNodata(PlaneSet* planes, BytePlane* marks, int32_t width,
                       int32_t height, int32_t reach,
                       const Progress* progress) {
  FillOutcome outcome;
  markDistances(marks, width, height);
  // The marks stay until every height is filled, and searches read only
  // unmarked heights: a fill never reads another fill.
  for (int32_t row = 0; row < height; ++row) {
    uint8_t* rowMarks = (*marks)[row];
    for (int32_t column = 0; column < width; ++column) {
      if (rowMarks[column] == 0) continue;
      // A search along any of the eight ways goes at least as far as the
      // nearest valid height in steps: a sea far from land costs nothing.
      if (rowMarks[column] > reach) {
        ++outcome.kept;
        rowMarks[column] = kKeptMark;
        continue;
      }
      double sum = 0, weights = 0;
      for (const Direction& way : kDirections) {
        const double length =
            way.rows != 0 && way.columns != 0 ? std::sqrt(2.0) : 1.0;
        for (int32_t steps = 1; steps * length <= reach; ++steps) {
          const int32_t r = row + steps * way.rows;
          const int32_t c = column + steps * way.columns;
          if (r < 0 || r >= height || c < 0 || c >= width) break;
          if ((*marks)[r][c] != 0) continue;
          const double distance = steps * length;
          const double weight = 1 / (distance * distance);
          sum += weight * decodeHeightIn<kWideBase>(planes->outRed[r][c],
                                                    planes->outGreen[r][c]);
          weights += weight;
          break;
        }
      }
      if (weights == 0) {
        ++outcome.kept;
        rowMarks[column] = kKeptMark;
        continue;
      }
      ++outcome.filled;
      rowMarks[column] = kFilledMark;
      storeHeight(kWideBase,
                  static_cast<int64_t>(std::floor(sum / weights + 0.5)),
                  &planes->outRed[row][column], &planes->outGreen[row][column]);
    }
    reportProgress(progress, row + 1, height);
  }
  for (int32_t row = 0; row < height; ++row) {
    uint8_t* rowMarks = (*marks)[row];
    for (int32_t column = 0; column < width; ++column) {
      if (rowMarks[column] != 0) {
        rowMarks[column] = rowMarks[column] == kKeptMark ? 1 : 0;
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
