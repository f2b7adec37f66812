#include "processing/plane_turns.h"

#include <algorithm>
#include <utility>

namespace {

// A turn as the matrix taking a result pixel's position, measured from the
// image's centre (x right, y down), to its source pixel's: entries -1, 0, 1.
struct TurnMatrix {
  int xx, xy;  // source x = xx * x + xy * y
  int yx, yy;  // source y = yx * x + yy * y
};

TurnMatrix matrixOf(PlaneTurn turn) {
  switch (turn) {
    case PlaneTurn::kFlipHorizontal:
      return {-1, 0, 0, 1};
    case PlaneTurn::kFlipVertical:
      return {1, 0, 0, -1};
    case PlaneTurn::kRotate90:
      return {0, 1, -1, 0};
    case PlaneTurn::kRotate180:
      return {-1, 0, 0, -1};
    case PlaneTurn::kRotate270:
      break;
  }
  return {0, -1, 1, 0};
}

// first applied to the image, then second: a result position goes through
// second's matrix first, then first's.
TurnMatrix product(const TurnMatrix& a, const TurnMatrix& b) {
  return {a.xx * b.xx + a.xy * b.yx, a.xx * b.xy + a.xy * b.yy,
          a.yx * b.xx + a.yy * b.yx, a.yx * b.xy + a.yy * b.yy};
}

BytePlane* planeAt(PlaneSet* planes, int index) {
  BytePlane* all[] = {&planes->inRed, &planes->inGreen, &planes->inBlue};
  return all[index];
}

constexpr int kPlaneCount = 3;

// Square blocks keep both the rows read and the rows written in cache.
constexpr int32_t kBlock = 64;

void reverseRows(BytePlane* plane, int32_t width, int32_t height) {
  for (int32_t row = 0; row < height; ++row) {
    std::reverse((*plane)[row], (*plane)[row] + width);
  }
}

void swapRowsTopToBottom(BytePlane* plane, int32_t width, int32_t height) {
  for (int32_t top = 0, bottom = height - 1; top < bottom; ++top, --bottom) {
    std::swap_ranges((*plane)[top], (*plane)[top] + width, (*plane)[bottom]);
  }
}

// Mirrors rows and columns in place.
void mirrorPlane(BytePlane* plane, int32_t width, int32_t height, bool rows,
                 bool columns) {
  if (rows) swapRowsTopToBottom(plane, width, height);
  if (columns) reverseRows(plane, width, height);
}

void transposeSquareInPlace(BytePlane* plane, int32_t side) {
  for (int32_t top = 0; top < side; top += kBlock) {
    const int32_t bottom = std::min(side, top + kBlock);
    for (int32_t left = top; left < side; left += kBlock) {
      const int32_t right = std::min(side, left + kBlock);
      for (int32_t row = top; row < bottom; ++row) {
        // On the diagonal block, only the pixels right of the diagonal.
        for (int32_t column = std::max(left, row + 1); column < right;
             ++column) {
          std::swap((*plane)[row][column], (*plane)[column][row]);
        }
      }
    }
  }
}

// Writes every pixel of a turned plane (swapped axes) from its source.
void turnInto(const BytePlane& source, int32_t sourceWidth,
              int32_t sourceHeight, const Orientation& orientation,
              BytePlane* turned) {
  // The result is sourceHeight wide and sourceWidth high.
  for (int32_t top = 0; top < sourceWidth; top += kBlock) {
    const int32_t bottom = std::min(sourceWidth, top + kBlock);
    for (int32_t left = 0; left < sourceHeight; left += kBlock) {
      const int32_t right = std::min(sourceHeight, left + kBlock);
      for (int32_t row = top; row < bottom; ++row) {
        const int32_t sourceColumn =
            orientation.mirrorColumns ? sourceWidth - 1 - row : row;
        uint8_t* to = (*turned)[row];
        for (int32_t column = left; column < right; ++column) {
          const int32_t sourceRow =
              orientation.mirrorRows ? sourceHeight - 1 - column : column;
          to[column] = source[sourceRow][sourceColumn];
        }
      }
    }
  }
}

}  // namespace

bool parsePlaneTurn(const std::string& switchName, const std::string& value,
                    PlaneTurn* turn) {
  struct Name {
    const char* switchName;
    const char* value;
    PlaneTurn turn;
  };
  static const Name kNames[] = {
      {"-flip", "horizontal", PlaneTurn::kFlipHorizontal},
      {"-flip", "vertical", PlaneTurn::kFlipVertical},
      {"-rotate", "90", PlaneTurn::kRotate90},
      {"-rotate", "180", PlaneTurn::kRotate180},
      {"-rotate", "270", PlaneTurn::kRotate270},
  };
  for (const Name& name : kNames) {
    if (switchName == name.switchName && value == name.value) {
      *turn = name.turn;
      return true;
    }
  }
  return false;
}

Orientation composeTurns(const std::vector<PlaneTurn>& turns) {
  TurnMatrix net = {1, 0, 0, 1};
  for (PlaneTurn turn : turns) net = product(net, matrixOf(turn));
  Orientation orientation;
  orientation.swapAxes = net.xx == 0;
  if (orientation.swapAxes) {
    orientation.mirrorColumns = net.xy < 0;  // source x from result y
    orientation.mirrorRows = net.yx < 0;     // source y from result x
  } else {
    orientation.mirrorColumns = net.xx < 0;
    orientation.mirrorRows = net.yy < 0;
  }
  return orientation;
}

bool applyPlaneTurns(const std::vector<PlaneTurn>& turns, PlaneSet* planes,
                     int32_t* width, int32_t* height, std::string* error) {
  const Orientation orientation = composeTurns(turns);
  const int32_t sourceWidth = *width;
  const int32_t sourceHeight = *height;
  if (!orientation.swapAxes) {
    for (int index = 0; index < kPlaneCount; ++index) {
      mirrorPlane(planeAt(planes, index), sourceWidth, sourceHeight,
                  orientation.mirrorRows, orientation.mirrorColumns);
    }
    return true;
  }
  if (sourceWidth == sourceHeight) {
    // Result (r, c) = source (mirrorRows(c), mirrorColumns(r)): after the
    // transpose, mirrorColumns counts the rows from the bottom and
    // mirrorRows the columns from the right.
    for (int index = 0; index < kPlaneCount; ++index) {
      BytePlane* plane = planeAt(planes, index);
      transposeSquareInPlace(plane, sourceWidth);
      mirrorPlane(plane, sourceWidth, sourceHeight, orientation.mirrorColumns,
                  orientation.mirrorRows);
    }
    return true;
  }
  PlaneSet turned;
  if (!allocatePlanes(&turned, sourceHeight, sourceWidth, error)) return false;
  turned.base = planes->base;
  for (int index = 0; index < kPlaneCount; ++index) {
    turnInto(*planeAt(planes, index), sourceWidth, sourceHeight, orientation,
             planeAt(&turned, index));
  }
  releasePlanes(planes);
  *planes = turned;
  *width = sourceHeight;
  *height = sourceWidth;
  return true;
}
