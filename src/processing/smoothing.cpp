// Smoothing: which engine smooths an image; the row engine, whose passes of
// the in-place 3 x 3 mean run on decoded rows in bands whose left-to-right
// chains advance side by side, several passes pipelined over a ring of rows;
// and the same rule written plainly.
#include <algorithm>
#include <cstdint>
#include <memory>
#include <new>

#include "platform/compiler.h"
#include "processing/smoothing.h"
#include "processing/smoothing_band.h"
#include "processing/smoothing_lanes.h"

namespace {

template <HeightValue kBase>
QUILLORN_VECTORIZED void decodeRow(const uint8_t* red, const uint8_t* green,
                                   uint32_t* heights, int32_t width) {
  for (int32_t column = 0; column < width; ++column) {
    heights[column] = static_cast<uint32_t>(
        decodeHeightIn<kBase>(red[column], green[column]));
  }
}

// Means never exceed the heights they average, so every value fits.
template <HeightValue kBase>
QUILLORN_VECTORIZED void encodeRow(const uint32_t* heights, uint8_t* red,
                                   uint8_t* green, int32_t width) {
  for (int32_t column = 0; column < width; ++column) {
    encodeSmallHeightIn<kBase>(heights[column], &red[column], &green[column]);
  }
}

// Passes run together over the image at most this many at a time: each row
// is decoded once, smoothed by every pass of the group, and encoded once.
constexpr int32_t kMaxPassGroup = 8;

// Decoded rows in flight take at most about this much memory; wider images
// run fewer passes together.
constexpr size_t kRingBudget = size_t{32} << 20;

// Beyond the planes and their row tables, the tool promises to need at most
// half a byte per pixel, 24 bytes per column and 16 MiB; the process itself
// (its libraries, stack and file buffers) takes about 10 MiB of that.
constexpr size_t kWorkingBase = size_t{6} << 20;

// Rows a group of passes needs in flight: pass p trails pass 0 by p bands,
// plus a band for the rows above and below; never more than the image has.
int32_t ringRowsFor(int32_t group, int32_t height) {
  return std::min(kBandRows * (group + 1) + 2, height + 1);
}

}  // namespace

void decodeHeightRow(HeightValue base, const uint8_t* red, const uint8_t* green,
                     uint32_t* heights, int32_t width) {
  if (base == kWideBase)
    return decodeRow<kWideBase>(red, green, heights, width);
  decodeRow<kHeightBase>(red, green, heights, width);
}

void encodeHeightRow(HeightValue base, const uint32_t* heights, uint8_t* red,
                     uint8_t* green, int32_t width) {
  if (base == kWideBase)
    return encodeRow<kWideBase>(heights, red, green, width);
  encodeRow<kHeightBase>(heights, red, green, width);
}

bool firstMeanWraps(const BytePlane& red, const BytePlane& green, int32_t width,
                    int32_t height, HeightValue base) {
  if (base != kHeightBase) return false;
  for (int32_t row = 0; row < std::min(height, 2); ++row) {
    for (int32_t column = 0; column < std::min(width, 2); ++column) {
      if (decodeHeight(red[row][column], green[row][column]) <=
          kLargestStoredHeight) {
        return false;
      }
    }
  }
  return true;
}

size_t smoothingBudget(int32_t width, int32_t height) {
  size_t pixels = static_cast<size_t>(width) * static_cast<size_t>(height);
  return std::min(kRingBudget, pixels / 2 + kWorkingBase);
}

namespace {

bool prepareSmoothRows(SmoothRows* rows, int32_t width, int32_t height,
                       int32_t passes) {
  rows->width = width;
  rows->height = height;
  rows->stride = static_cast<size_t>(width) + 2;
  size_t rowBytes = rows->stride * sizeof(uint32_t);
  size_t budget = smoothingBudget(width, height);
  // Beside the ring: the zero row, the lanes' sums and three divisor rows.
  size_t fixed = rowBytes + kBandRows * kBlock * sizeof(uint32_t) +
                 3 * static_cast<size_t>(width) * sizeof(uint32_t);
  auto needed = [&](int32_t group) {
    return largeBlockFootprint(
        fixed + static_cast<size_t>(ringRowsFor(group, height)) * rowBytes);
  };
  rows->group = std::min(passes, kMaxPassGroup);
  while (rows->group > 1 && needed(rows->group) > budget) rows->group /= 2;
  // Images so wide and short that even one pass's rows would break the
  // promise are smoothed straight on the planes.
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

int64_t smoothHeightsDirect(int32_t passes, BytePlane* outRed,
                            BytePlane* outGreen, int32_t width, int32_t height,
                            HeightValue base, const Progress* progress) {
  BytePlane& red = *outRed;
  BytePlane& green = *outGreen;
  const HeightValue largest = largestStoredHeight(base);
  int64_t wrapped = 0;
  const int64_t total = static_cast<int64_t>(passes) * height;
  bool changed = true;
  for (int32_t pass = 0; pass < passes && changed; ++pass) {
    changed = false;
    for (int32_t row = 0; row < height; ++row) {
      for (int32_t column = 0; column < width; ++column) {
        int32_t sum = 0;
        int32_t count = 0;
        for (int32_t r = row - 1; r <= row + 1; ++r) {
          if (r < 0 || r >= height) continue;
          for (int32_t c = column - 1; c <= column + 1; ++c) {
            if (c < 0 || c >= width) continue;
            sum += decodeHeightIn(base, red[r][c], green[r][c]);
            ++count;
          }
        }
        int32_t mean = sum / count;
        wrapped += mean > largest;
        HeightValue before =
            decodeHeightIn(base, red[row][column], green[row][column]);
        storeHeight(base, mean, &red[row][column], &green[row][column]);
        // What is stored counts: a mean of 65280 is kept as 0 in base 255.
        changed = changed || before != decodeHeightIn(base, red[row][column],
                                                      green[row][column]);
      }
      reportProgress(progress, static_cast<int64_t>(pass) * height + row + 1,
                     total);
    }
  }
  reportProgress(progress, total, total);
  return wrapped;
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

int64_t smoothHeights(int32_t passes, BytePlane* outRed, BytePlane* outGreen,
                      int32_t width, int32_t height, HeightValue base,
                      const Progress* progress) {
  if (passes <= 0) return 0;
  // In base 255 a mean of 65280 is stored as 0, and the next cells see that
  // 0; only the first cell's first mean can be 65280.
  int64_t wrapped = firstMeanWraps(*outRed, *outGreen, width, height, base);
  const LaneKernels* kernels = laneKernelsFor(width, height);
  if (kernels != nullptr &&
      smoothHeightsInLanes(passes, outRed, outGreen, width, height, base,
                           *kernels, smoothingBudget(width, height),
                           progress)) {
    return wrapped;
  }
  if (smoothHeightsInRows(passes, outRed, outGreen, width, height, base,
                          progress)) {
    return wrapped;
  }
  // Without working rows the same passes run straight on the planes.
  return smoothHeightsDirect(passes, outRed, outGreen, width, height, base,
                             progress);
}
