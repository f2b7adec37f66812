#include "processing/float_turns.h"

#include <algorithm>
#include <cstdint>
#include <utility>

namespace {

// Tiles of 64 x 64 values keep both the rows read and the rows written in
// cache.
constexpr int32_t kTile = 64;

void mirrorFloats(FloatPlane* plane, bool rows, bool columns) {
  const int32_t width = plane->width;
  if (rows) {
    for (int32_t top = 0, bottom = plane->height - 1; top < bottom;
         ++top, --bottom) {
      std::swap_ranges(plane->row(top), plane->row(top) + width,
                       plane->row(bottom));
    }
  }
  if (columns) {
    for (int32_t row = 0; row < plane->height; ++row) {
      std::reverse(plane->row(row), plane->row(row) + width);
    }
  }
}

void transposeSquare(FloatPlane* plane) {
  const int32_t side = plane->width;
  for (int32_t tileTop = 0; tileTop < side; tileTop += kTile) {
    for (int32_t tileLeft = tileTop; tileLeft < side; tileLeft += kTile) {
      const int32_t bottom = std::min(side, tileTop + kTile);
      const int32_t right = std::min(side, tileLeft + kTile);
      for (int32_t row = tileTop; row < bottom; ++row) {
        // On the diagonal tile, only the pairs right of the diagonal.
        const int32_t first = tileLeft == tileTop ? row + 1 : tileLeft;
        float* values = plane->row(row);
        for (int32_t column = first; column < right; ++column) {
          std::swap(values[column], plane->row(column)[row]);
        }
      }
    }
  }
}

// Result (r, c) is source (mirrorRows(c), mirrorColumns(r)); the result is
// source.height wide and source.width high.
void turnInto(const FloatPlane& source, const Orientation& orientation,
              FloatPlane* turned) {
  const int32_t sourceWidth = source.width;
  const int32_t sourceHeight = source.height;
  for (int32_t tileTop = 0; tileTop < turned->height; tileTop += kTile) {
    const int32_t bottom = std::min(turned->height, tileTop + kTile);
    for (int32_t tileLeft = 0; tileLeft < turned->width; tileLeft += kTile) {
      const int32_t right = std::min(turned->width, tileLeft + kTile);
      for (int32_t row = tileTop; row < bottom; ++row) {
        const int32_t sourceColumn =
            orientation.mirrorColumns ? sourceWidth - 1 - row : row;
        float* out = turned->row(row);
        for (int32_t column = tileLeft; column < right; ++column) {
          const int32_t sourceRow =
              orientation.mirrorRows ? sourceHeight - 1 - column : column;
          out[column] = source.row(sourceRow)[sourceColumn];
        }
      }
    }
  }
}

}  // namespace

bool applyFloatTurns(const std::vector<PlaneTurn>& turns, FloatPlane* plane,
                     std::string* error) {
  const Orientation orientation = composeTurns(turns);
  if (!orientation.swapAxes) {
    mirrorFloats(plane, orientation.mirrorRows, orientation.mirrorColumns);
    return true;
  }
  if (plane->width == plane->height) {
    // After the transpose, mirrorColumns counts the rows from the bottom
    // and mirrorRows the columns from the right.
    transposeSquare(plane);
    mirrorFloats(plane, orientation.mirrorColumns, orientation.mirrorRows);
    return true;
  }
  FloatPlane turned;
  if (!allocateFloatPlane(&turned, plane->height, plane->width, error)) {
    return false;
  }
  turnInto(*plane, orientation, &turned);
  moveFloatPlane(&turned, plane);
  return true;
}
