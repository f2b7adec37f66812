// The fill's rule, written once over the heights it reads and stores: the
// byte planes' fill (nodata_fill.cpp) and the float maps' (float_fill.cpp)
// both run it, each with its own heights and a plane of marks.
#ifndef QUILLORN_PROCESSING_NODATA_FILL_RULE_H_
#define QUILLORN_PROCESSING_NODATA_FILL_RULE_H_

#include <cmath>
#include <cstdint>

#include "image/height_planes.h"
#include "image/progress.h"
#include "processing/nodata_fill.h"

// A height's mark once the fill has passed it: searches still skip it, and
// the caller tells the kept from the filled.
inline constexpr uint8_t kFilledMark = 1;
inline constexpr uint8_t kKeptFillMark = 2;

// Turns every mark (not 0: nodata) of a width x height map into the number
// of steps (any of the eight ways, so the largest of the row and column
// distances) to the nearest unmarked height, 255 from 255 on.
void markFillDistances(BytePlane* marks, int32_t width, int32_t height);

// For every height whose mark is not 0: looks from it in the eight
// directions for the nearest unmarked height within reach samples (a
// diagonal step counts sqrt(2)) and stores the mean of those found, each
// weighted 1 / distance^2, through heights.store(row, column, mean); none
// found, it stores nothing. Heights are read through heights.at(row,
// column), unmarked ones alone, so the order does not matter. Marks become
// kFilledMark or kKeptFillMark. Reports rows done to progress.
template <class Heights>
FillOutcome fillMarkedHeights(const Heights& heights, BytePlane* marks,
                              int32_t width, int32_t height, int32_t reach,
                              const Progress* progress) {
  struct Direction {
    int32_t rows;
    int32_t columns;
  };
  static constexpr Direction kDirections[] = {
      {-1, 0}, {1, 0}, {0, -1}, {0, 1}, {-1, -1}, {-1, 1}, {1, -1}, {1, 1}};
  FillOutcome outcome;
  markFillDistances(marks, width, height);
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
        rowMarks[column] = kKeptFillMark;
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
          sum += weight * heights.at(r, c);
          weights += weight;
          break;
        }
      }
      if (weights == 0) {
        ++outcome.kept;
        rowMarks[column] = kKeptFillMark;
        continue;
      }
      ++outcome.filled;
      rowMarks[column] = kFilledMark;
      heights.store(row, column, sum / weights);
    }
    reportProgress(progress, row + 1, height);
  }
  return outcome;
}

#endif  // QUILLORN_PROCESSING_NODATA_FILL_RULE_H_
