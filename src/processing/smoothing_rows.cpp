// The row engine: passes of the in-place 3 x 3 mean on decoded rows, in
// bands whose left-to-right chains advance side by side (smoothing_band),
// several passes pipelined over a ring of rows.
#include "processing/smoothing_rows.h"

#include <algorithm>
#include <cstdint>
#include <memory>
#include <new>

#include "platform/memory.h"
#include "processing/smoothing_band.h"
#include "processing/smoothing_common.h"

namespace {

// Passes run together over the image at most this many at a time: each row
// is decoded once, smoothed by every pass of the group, and encoded once.
constexpr int32_t kMaxPassGroup = 8;

// Rows a group of passes needs in flight: pass p trails pass 0 by p bands,
// plus a band for the rows above and below; never more than the image has.
int32_t ringRowsFor(int32_t group, int32_t height) {
  return std::min(kBandRows * (group + 1) + 2, height + 1);
}

// The working memory of the rows for a group of passes, as allocated.
size_t smoothRowsFootprint(int32_t width, int32_t height, int32_t group) {
  size_t rowBytes = (static_cast<size_t>(width) + 2) * sizeof(uint32_t);
  // Beside the ring: the zero row, the lanes' sums and three divisor rows.
  size_t fixed = rowBytes + kBandRows * kBlock * sizeof(uint32_t) +
                 3 * static_cast<size_t>(width) * sizeof(uint32_t);
  return largeBlockFootprint(
      fixed + static_cast<size_t>(ringRowsFor(group, height)) * rowBytes);
}

bool prepareSmoothRows(SmoothRows* rows, int32_t width, int32_t height,
                       int32_t passes) {
  rows->width = width;
  rows->height = height;
  rows->stride = static_cast<size_t>(width) + 2;
  size_t budget = smoothingBudget(width, height);
  auto needed = [&](int32_t group) {
    return smoothRowsFootprint(width, height, group);
  };
  rows->group = std::min(passes, kMaxPassGroup);
  while (rows->group > 1 && needed(rows->group) > budget) rows->group /= 2;
  if (needed(rows->group) > budget) return false;
  rows->ringRows = ringRowsFor(rows->group, height);
  size_t rowCount = 1 + static_cast<size_t>(rows->ringRows);
  size_t cells = rowCount * rows->stride + kBandRows * kBlock +
                 3 * static_cast<size_t>(width);
  rows->ring.reset(new (std::nothrow)
                       uint32_t*[static_cast<size_t>(rows->ringRows)]);
  if (!rows->ring || !rows->storage.allocate(cells * sizeof(uint32_t))) {
    return false;
  }
  uint32_t* next = static_cast<uint32_t*>(rows->storage.data);
  std::fill(next, next + cells, 0u);
  rows->zeroRow = next + 1;
  next += rows->stride;
  for (int32_t index = 0; index < rows->ringRows; ++index) {
    rows->ring[static_cast<size_t>(index)] = next + 1;
    next += rows->stride;
  }
  rows->sums = next;
  next += kBandRows * kBlock;
  for (int32_t reach = 1; reach <= 3; ++reach) {
    uint32_t* multipliers =
        next + static_cast<size_t>(reach - 1) * static_cast<size_t>(width);
    for (int32_t column = 0; column < width; ++column) {
      int32_t across = 1 + (column > 0) + (column < width - 1);
      multipliers[column] = meanMultiplier(reach * across);
    }
    rows->multipliers[reach - 1] = multipliers;
  }
  return true;
}

// Runs passes (1 ... rows.group) over the image together. At time t pass
// p smooths band t - p, after pass p - 1 has finished band t - p + 1: so
// the rows it reads above are its own, its band and the row below are as
// the previous pass left them, and the previous pass needs none of them
// any more.
// Reports bands smoothed, counted over every pass of the run: the group's
// first band-pass is number doneBefore. True when the group's last pass
// changed a height.
bool smoothPassGroup(SmoothRows* rows, HeightValue base, BytePlane* red,
                     BytePlane* green, int32_t passes, const Progress* progress,
                     int64_t doneBefore, int64_t total) {
  bool changed = false;
  const int32_t width = rows->width;
  const int32_t height = rows->height;
  const int32_t bands = (height + kBandRows - 1) / kBandRows;
  int32_t decoded = 0;  // rows 0 ... decoded - 1 are in the ring
  for (int32_t time = 0; time < bands + passes - 1; ++time) {
    for (int32_t pass = 0; pass < passes; ++pass) {
      int32_t bandIndex = time - pass;
      if (bandIndex < 0 || bandIndex >= bands) continue;
      int32_t first = bandIndex * kBandRows;
      int32_t count = std::min(kBandRows, height - first);
      int32_t below = first + count;
      for (; decoded <= std::min(below, height - 1); ++decoded) {
        decodeHeightRow(base, (*red)[decoded], (*green)[decoded],
                        rows->row(decoded), width);
      }
      uint32_t* band[kBandRows];
      for (int32_t lane = 0; lane < count; ++lane) {
        band[lane] = rows->row(first + lane);
      }
      const uint32_t* up = first > 0 ? rows->row(first - 1) : rows->zeroRow;
      const uint32_t* down = below < height ? rows->row(below) : rows->zeroRow;
      bool last = pass == passes - 1;
      smoothBand(*rows, first, band, count, up, down,
                 bandIndex == 0 && rows->wrapFirst, last ? &changed : nullptr);
      if (bandIndex == 0) rows->wrapFirst = false;
      if (last) {
        for (int32_t lane = 0; lane < count; ++lane) {
          encodeHeightRow(base, band[lane], (*red)[first + lane],
                          (*green)[first + lane], width);
        }
      }
      reportProgress(progress, ++doneBefore, total);
    }
  }
  return changed;
}

}  // namespace

bool smoothRowsFit(int32_t width, int32_t height, size_t budget) {
  return smoothRowsFootprint(width, height, 1) <= budget;
}

bool smoothHeightsInRows(int32_t passes, BytePlane* outRed, BytePlane* outGreen,
                         int32_t width, int32_t height, HeightValue base,
                         const Progress* progress) {
  SmoothRows rows;
  if (!prepareSmoothRows(&rows, width, height, passes)) return false;
  rows.wrapFirst = firstMeanWraps(*outRed, *outGreen, width, height, base);
  runPassGroups(passes, rows.group, (height + kBandRows - 1) / kBandRows,
                progress, [&](int32_t group, int64_t done, int64_t total) {
                  return smoothPassGroup(&rows, base, outRed, outGreen, group,
                                         progress, done, total);
                });
  return true;
}
