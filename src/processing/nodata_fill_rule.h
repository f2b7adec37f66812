// The fill's rule, written once over the heights it reads and stores: the
// byte planes' fill (nodata_fill.cpp) and the float maps' (float_fill.cpp)
// both run it, each with its own heights and its own sign of nodata.
//
// One sweep down the map finds every hole's nearest valid height along the
// eight ways without walking to them: for each column and each diagonal it
// carries the row of the last valid height above and a pointer to the next
// one below, which only ever moves down, so every way costs a few steps a
// pixel whatever the holes' sizes and the reach.
#ifndef QUILLORN_PROCESSING_NODATA_FILL_RULE_H_
#define QUILLORN_PROCESSING_NODATA_FILL_RULE_H_

#include <cmath>
#include <cstdint>

#include "image/progress.h"
#include "platform/memory.h"

// What a fill did.
struct FillOutcome {
  int64_t filled = 0;    // marked heights given their surroundings' mean
  int64_t kept = 0;      // marked heights farther than reach from any valid
  bool complete = true;  // false: no working memory, and nothing changed
};

// The sweep's working rows: per column (diagonals share a column's slot,
// (column -+ row) modulo the width), the row of the last valid height met
// going up, up-left and up-right, and of the next valid height going down,
// down-right and down-left. 24 bytes a column, none for a map of one row.
struct FillWays {
  LargeBlock block;
  int32_t* up = nullptr;
  int32_t* upLeft = nullptr;
  int32_t* upRight = nullptr;
  int32_t* down = nullptr;
  int32_t* downRight = nullptr;
  int32_t* downLeft = nullptr;

  // Makes the rows for a width x height map, none met yet; false when the
  // memory cannot be had.
  bool allocate(int32_t width, int32_t height);
};

namespace fill_detail {

// One way's nearest valid height, if any, added to the mean.
struct Mean {
  double sum = 0;
  double weights = 0;
  template <class Heights>
  void add(const Heights& heights, int32_t steps, double length, int32_t reach,
           int32_t row, int32_t column) {
    if (steps * length > reach) return;
    const double distance = steps * length;
    const double weight = 1 / (distance * distance);
    sum += weight * heights.at(row, column);
    weights += weight;
  }
};

// The row of the next valid height after row along the way of rows 1 and
// columns by a step, from the pointer *next of this line (a row beyond
// which no valid height lies up to it, or at or before row when unknown):
// the first row past the map or its edge when there is none.
template <class Heights>
int32_t nextValidRow(const Heights& heights, int32_t* next, int32_t row,
                     int32_t column, int32_t columns, int32_t width,
                     int32_t height) {
  if (*next > row) return *next;
  int32_t r = row + 1, c = column + columns;
  while (r < height && c >= 0 && c < width && !heights.valid(r, c)) {
    ++r;
    c += columns;
  }
  *next = r;
  return r;
}

// Where a height's ways lie: its row and column, and the slots of its
// diagonals, (column - row) and (column + row) modulo the width.
struct Place {
  int32_t row, column, slotLeft, slotRight;
};

// Adds the nearest valid heights up, down and along the four diagonals of
// the hole at place to mean, in the order given.
template <class Heights>
void addAcrossRows(const Heights& heights, FillWays* ways, const Place& at,
                   int32_t width, int32_t height, int32_t reach, Mean* mean,
                   bool vertical) {
  const double diagonal = std::sqrt(2.0);
  const int32_t row = at.row, column = at.column;
  if (vertical) {
    const int32_t upRow = ways->up[column];
    if (upRow >= 0) mean->add(heights, row - upRow, 1, reach, upRow, column);
    const int32_t downRow = nextValidRow(heights, &ways->down[column], row,
                                         column, 0, width, height);
    if (downRow < height) {
      mean->add(heights, downRow - row, 1, reach, downRow, column);
    }
    return;
  }
  // A diagonal's slot last held another diagonal's rows: those lie beyond
  // the map's edge from here.
  const int32_t upLeftRow = ways->upLeft[at.slotLeft];
  if (upLeftRow >= 0 && row - upLeftRow <= column) {
    const int32_t steps = row - upLeftRow;
    mean->add(heights, steps, diagonal, reach, upLeftRow, column - steps);
  }
  const int32_t upRightRow = ways->upRight[at.slotRight];
  if (upRightRow >= 0 && column + (row - upRightRow) < width) {
    const int32_t steps = row - upRightRow;
    mean->add(heights, steps, diagonal, reach, upRightRow, column + steps);
  }
  const int32_t downLeftRow = nextValidRow(
      heights, &ways->downLeft[at.slotRight], row, column, -1, width, height);
  if (downLeftRow < height && column - (downLeftRow - row) >= 0) {
    const int32_t steps = downLeftRow - row;
    mean->add(heights, steps, diagonal, reach, downLeftRow, column - steps);
  }
  const int32_t downRightRow = nextValidRow(
      heights, &ways->downRight[at.slotLeft], row, column, 1, width, height);
  if (downRightRow < height && column + (downRightRow - row) < width) {
    const int32_t steps = downRightRow - row;
    mean->add(heights, steps, diagonal, reach, downRightRow, column + steps);
  }
}

// Fills row of the map from what the ways carry, then carries its valid
// heights on; counts into outcome. A map of one row has no ways across
// rows (and no rows of them).
template <class Heights>
void fillRow(const Heights& heights, FillWays* ways, int32_t row, int32_t width,
             int32_t height, int32_t reach, FillOutcome* outcome) {
  const bool acrossRows = height > 1;
  const int32_t shift = row % width;
  int32_t left = -1, right = 0;
  for (int32_t column = 0; column < width; ++column) {
    Place at{row, column, column - shift, column + shift};
    if (at.slotLeft < 0) at.slotLeft += width;
    if (at.slotRight >= width) at.slotRight -= width;
    if (heights.valid(row, column)) {
      if (acrossRows) {
        ways->up[column] = row;
        ways->upLeft[at.slotLeft] = row;
        ways->upRight[at.slotRight] = row;
      }
      left = column;
      continue;
    }
    // The ways in a fixed order: the sum is the same whatever finds them.
    Mean mean;
    if (acrossRows) {
      addAcrossRows(heights, ways, at, width, height, reach, &mean, true);
    }
    if (left >= 0) mean.add(heights, column - left, 1, reach, row, left);
    if (right <= column) {
      right = column + 1;
      while (right < width && !heights.valid(row, right)) ++right;
    }
    if (right < width) mean.add(heights, right - column, 1, reach, row, right);
    if (acrossRows) {
      addAcrossRows(heights, ways, at, width, height, reach, &mean, false);
    }
    if (mean.weights == 0) {
      ++outcome->kept;
      heights.settle(row, column, false, 0);
    } else {
      ++outcome->filled;
      heights.settle(row, column, true, mean.sum / mean.weights);
    }
  }
}

}  // namespace fill_detail

// For every height that heights.valid(row, column) says is nodata: looks
// from it in the eight directions for the nearest valid height within
// reach samples (a diagonal step counts sqrt(2)) and makes the mean of
// those found, each weighted 1 / distance^2; then calls
// heights.settle(row, column, found, mean). Only heights valid before the
// fill are read through heights.at(row, column): a settled height is never
// read again, nor asked about, so it may change its height and its sign of
// nodata. ways comes from FillWays::allocate(width, height). Reports rows
// done.
template <class Heights>
FillOutcome fillMarkedHeights(const Heights& heights, FillWays* ways,
                              int32_t width, int32_t height, int32_t reach,
                              const Progress* progress) {
  FillOutcome outcome;
  for (int32_t row = 0; row < height; ++row) {
    fill_detail::fillRow(heights, ways, row, width, height, reach, &outcome);
    reportProgress(progress, row + 1, height);
  }
  return outcome;
}

#endif  // QUILLORN_PROCESSING_NODATA_FILL_RULE_H_
