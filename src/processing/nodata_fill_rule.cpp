#include "processing/nodata_fill_rule.h"

#include <cstddef>

bool FillWays::allocate(int32_t width, int32_t height) {
  if (height <= 1) return true;
  const size_t columns = static_cast<size_t>(width);
  if (!block.allocate(6 * sizeof(int32_t) * columns)) return false;
  int32_t* rows = static_cast<int32_t*>(block.data);
  up = rows;
  upLeft = up + columns;
  upRight = upLeft + columns;
  down = upRight + columns;
  downRight = down + columns;
  downLeft = downRight + columns;
  // None met above, none known below.
  for (size_t i = 0; i < 6 * columns; ++i) rows[i] = -1;
  return true;
}
