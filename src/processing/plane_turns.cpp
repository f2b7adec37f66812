#include "processing/plane_turns.h"

#include <algorithm>
#include <cstddef>
#include <cstring>
#include <utility>

#include "image/little_endian.h"

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

// Tiles of 64 x 64 pixels keep both the rows read and the rows written in
// cache; within them, blocks of 8 x 8 are turned in registers.
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

// Eight rows of eight bytes as integers, the first byte of each in its low
// bits (memcpy gives that order on a little-endian host alone).
struct ByteBlock {
  uint64_t rows[8];
};

void loadBlock(const uint8_t* const* rows, ptrdiff_t column, ByteBlock* block) {
  for (int k = 0; k < 8; ++k) std::memcpy(&block->rows[k], rows[k] + column, 8);
}

// Swaps the block's rows and columns: byte j of row k goes to byte k of row
// j, by three rounds of swapping ever larger sub-blocks.
void transposeBlock(ByteBlock* block) {
  uint64_t* a = block->rows;
  for (int k = 0; k < 8; k += 2) {
    uint64_t t = ((a[k] >> 8) ^ a[k + 1]) & 0x00FF00FF00FF00FFull;
    a[k + 1] ^= t;
    a[k] ^= t << 8;
  }
  for (int k : {0, 1, 4, 5}) {
    uint64_t t = ((a[k] >> 16) ^ a[k + 2]) & 0x0000FFFF0000FFFFull;
    a[k + 2] ^= t;
    a[k] ^= t << 16;
  }
  for (int k = 0; k < 4; ++k) {
    uint64_t t = ((a[k] >> 32) ^ a[k + 4]) & 0x00000000FFFFFFFFull;
    a[k + 4] ^= t;
    a[k] ^= t << 32;
  }
}

const bool kBlocksWork = hostIsLittleEndian();

void transposeSquareInPlace(BytePlane* plane, int32_t side) {
  const int32_t whole = kBlocksWork ? side / 8 * 8 : 0;
  uint8_t** rows = plane->rows;
  for (int32_t tileTop = 0; tileTop < whole; tileTop += kBlock) {
    for (int32_t tileLeft = tileTop; tileLeft < whole; tileLeft += kBlock) {
      const int32_t bottom = std::min(whole, tileTop + kBlock);
      const int32_t right = std::min(whole, tileLeft + kBlock);
      for (int32_t top = tileTop; top < bottom; top += 8) {
        for (int32_t left = std::max(tileLeft, top); left < right; left += 8) {
          // Block (top, left) and its mirror (left, top) trade places, each
          // turned; on the diagonal they are one block.
          ByteBlock upper, lower;
          loadBlock(rows + top, left, &upper);
          loadBlock(rows + left, top, &lower);
          transposeBlock(&upper);
          transposeBlock(&lower);
          for (int k = 0; k < 8; ++k) {
            std::memcpy(rows[left + k] + top, &upper.rows[k], 8);
            if (left != top)
              std::memcpy(rows[top + k] + left, &lower.rows[k], 8);
          }
        }
      }
    }
  }
  // The pairs the blocks left: those with a column past the last block.
  for (int32_t row = 0; row < side; ++row) {
    for (int32_t column = std::max(whole, row + 1); column < side; ++column) {
      std::swap(rows[row][column], rows[column][row]);
    }
  }
}

// Writes every pixel of a turned plane (swapped axes) from its source: the
// result is sourceHeight wide and sourceWidth high, and its pixel (r, c) is
// source (mirrorRows(c), mirrorColumns(r)).
void turnInto(const BytePlane& source, int32_t sourceWidth,
              int32_t sourceHeight, const Orientation& orientation,
              BytePlane* turned) {
  auto sourceRow = [&](int32_t column) {
    return orientation.mirrorRows ? sourceHeight - 1 - column : column;
  };
  auto sourceColumn = [&](int32_t row) {
    return orientation.mirrorColumns ? sourceWidth - 1 - row : row;
  };
  const bool blocks = kBlocksWork;
  for (int32_t tileTop = 0; tileTop < sourceWidth; tileTop += kBlock) {
    const int32_t tileBottom = std::min(sourceWidth, tileTop + kBlock);
    for (int32_t tileLeft = 0; tileLeft < sourceHeight; tileLeft += kBlock) {
      const int32_t tileRight = std::min(sourceHeight, tileLeft + kBlock);
      for (int32_t top = tileTop; top < tileBottom; top += 8) {
        for (int32_t left = tileLeft; left < tileRight; left += 8) {
          if (blocks && top + 8 <= tileBottom && left + 8 <= tileRight) {
            // Source rows of the eight result columns, read from the first
            // of the eight source columns the result rows take.
            const uint8_t* rows[8];
            for (int k = 0; k < 8; ++k) rows[k] = source[sourceRow(left + k)];
            const int32_t first =
                std::min(sourceColumn(top), sourceColumn(top + 7));
            ByteBlock block;
            loadBlock(rows, first, &block);
            transposeBlock(&block);
            for (int t = 0; t < 8; ++t) {
              const int from = orientation.mirrorColumns ? 7 - t : t;
              std::memcpy((*turned)[top + t] + left, &block.rows[from], 8);
            }
            continue;
          }
          const int32_t bottom = std::min(tileBottom, top + 8);
          const int32_t right = std::min(tileRight, left + 8);
          for (int32_t row = top; row < bottom; ++row) {
            for (int32_t column = left; column < right; ++column) {
              (*turned)[row][column] =
                  source[sourceRow(column)][sourceColumn(row)];
            }
          }
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
  // A blue plane of no marks stays one without being turned, and without
  // its memory being made.
  const bool blueZero = planes->blueZero;
  const int planeCount = blueZero ? 2 : kPlaneCount;
  if (!orientation.swapAxes) {
    for (int index = 0; index < planeCount; ++index) {
      mirrorPlane(planeAt(planes, index), sourceWidth, sourceHeight,
                  orientation.mirrorRows, orientation.mirrorColumns);
    }
    return true;
  }
  if (sourceWidth == sourceHeight) {
    // Result (r, c) = source (mirrorRows(c), mirrorColumns(r)): after the
    // transpose, mirrorColumns counts the rows from the bottom and
    // mirrorRows the columns from the right.
    for (int index = 0; index < planeCount; ++index) {
      BytePlane* plane = planeAt(planes, index);
      transposeSquareInPlace(plane, sourceWidth);
      mirrorPlane(plane, sourceWidth, sourceHeight, orientation.mirrorColumns,
                  orientation.mirrorRows);
    }
    return true;
  }
  PlaneSet turned;
  if (!allocatePlanes(&turned, sourceHeight, sourceWidth, error,
                      blueZero ? BlueUse::kMarks : BlueUse::kPixels)) {
    return false;
  }
  turned.base = planes->base;
  for (int index = 0; index < planeCount; ++index) {
    turnInto(*planeAt(planes, index), sourceWidth, sourceHeight, orientation,
             planeAt(&turned, index));
  }
  releasePlanes(planes);
  *planes = turned;
  *width = sourceHeight;
  *height = sourceWidth;
  return true;
}
