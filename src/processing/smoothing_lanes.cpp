// The lane engine: passes of the in-place 3 x 3 mean over bands of kLaneRows
// rows held interleaved (smoothing_lanes.h), every row's chain in a vector
// lane, several passes pipelined over a ring of bands.
#include "processing/smoothing_lanes.h"

#include <algorithm>
#include <climits>
#include <cmath>
#include <memory>
#include <new>

#include "image/height_planes.h"
#include "image/progress.h"
#include "platform/compiler.h"
#include "platform/memory.h"
#include "processing/smoothing_common.h"

namespace {

// Passes run together at most: each band is decoded and encoded once per
// group.
constexpr int32_t kMaxLaneGroup = 16;

// Where a row (0 ... kLaneRows - 1) of a band lies within each step.
int32_t laneOf(int32_t row) {
  return (row % kLaneGroups) * kLaneWidth + row / kLaneGroups;
}

// Columns of height 0 on either side of a bordering row.
constexpr int32_t kRowMargin = kLaneTrail + 2;

// Bands of three kinds share multipliers: the first, inner ones, the last.
int32_t kindOf(int32_t bands, int32_t index) {
  return index == 0 ? 0 : index == bands - 1 ? 2 : 1;
}

// The working bands of one image, allocated once for all passes.
struct LaneBands {
  int32_t width = 0;
  int32_t height = 0;
  int32_t bands = 0;
  int32_t steps = 0;      // width + kLaneTrail
  int32_t headEnd = 0;    // steps before: some row is left of column 1
  int32_t tailStart = 0;  // steps from: some row is at column width - 1 or on
  size_t bandCells = 0;   // per band, kLanePad zero steps on either side
  int32_t group = 1;      // passes run together
  int32_t slots = 0;      // bands in the ring: band b in slot b % slots
  // The bands' cells, the bordering rows and the multipliers: megabytes
  // walked over again and again, in a block the system may back with huge
  // pages (far fewer translation misses).
  LargeBlock block;
  int32_t* cells = nullptr;
  // Bordering rows, each width + 2 x kRowMargin: a zero row, then for pass
  // p of the group the first row of the band below as pass p - 1 left it
  // (p = 0: as decoded; group + 1 of them) and the last row of the band
  // above as pass p left it (group of them).
  size_t rowStride = 0;
  int32_t* rows = nullptr;
  // Multipliers of the first, an inner and the last band: the head steps,
  // one inner step (all inner steps share it), the tail steps; and whether
  // every lane of the inner step has the same one.
  size_t kindFloats = 0;
  float* multipliers = nullptr;
  bool innerShared[3] = {};
  int32_t left[kLaneRows] = {};
  // Until the first pass has smoothed band 0: its first mean wraps.
  bool wrapFirst = false;

  int32_t* band(int32_t index) const {
    return cells + static_cast<size_t>(index % slots) * bandCells +
           size_t{kLanePad} * kLaneRows;
  }
  int32_t* row(int32_t index) const {
    return rows + static_cast<size_t>(index) * rowStride + kRowMargin;
  }
  const int32_t* zeroRow() const { return row(0); }
  int32_t* firstRowAfter(int32_t pass) const { return row(1 + pass); }
  int32_t* lastRowOf(int32_t pass) const { return row(group + 2 + pass); }
  const float* multipliersOf(int32_t index) const {
    return multipliers + static_cast<size_t>(kindOf(bands, index)) * kindFloats;
  }
};

float multiplierAt(const LaneBands& lanes, int32_t firstRow, int32_t row,
                   int32_t column) {
  int32_t imageRow = firstRow + row;
  if (imageRow >= lanes.height || column < 0 || column >= lanes.width) {
    return kLaneOutside;
  }
  int32_t reach = 1 + (imageRow > 0) + (imageRow < lanes.height - 1);
  int32_t across = 1 + (column > 0) + (column < lanes.width - 1);
  return laneMultiplier(reach * across);
}

void fillMultipliers(const LaneBands& lanes, int32_t index, float* table) {
  int32_t firstRow = index * kLaneRows;
  auto fillStep = [&](int32_t step, float* at) {
    for (int32_t row = 0; row < kLaneRows; ++row) {
      at[laneOf(row)] =
          multiplierAt(lanes, firstRow, row, step - kLaneSkew * row);
    }
  };
  for (int32_t step = 0; step <= lanes.headEnd && step < lanes.steps; ++step) {
    fillStep(step, table + static_cast<size_t>(step) * kLaneRows);
  }
  float* tail = table + static_cast<size_t>(lanes.headEnd + 1) * kLaneRows;
  for (int32_t step = lanes.tailStart; step < lanes.steps; ++step) {
    fillStep(step,
             tail + static_cast<size_t>(step - lanes.tailStart) * kLaneRows);
  }
}

// Steps are counted in 32 bits (and no such band would fit anyway).
bool laneStepsFit(int32_t width) {
  return width <= INT32_MAX - 2 * kLanePad - kLaneWidth - kLaneTrail;
}

// Lays out the bands of an image of width x height (widths laneStepsFit).
void layOutLaneBands(LaneBands* lanes, int32_t width, int32_t height) {
  lanes->width = width;
  lanes->height = height;
  lanes->bands = (height + kLaneRows - 1) / kLaneRows;
  lanes->steps = width + kLaneTrail;
  lanes->headEnd = std::min(kLaneTrail + 1, lanes->steps);
  lanes->tailStart = std::max(width - 1, lanes->headEnd);
  // The transfers move whole squares of steps; the last one may reach into
  // the zero steps after the band.
  lanes->bandCells =
      (static_cast<size_t>(lanes->steps) + 2 * kLanePad + kTransferSteps) *
      kLaneRows;
  lanes->rowStride = static_cast<size_t>(width) + 2 * kRowMargin;
  lanes->kindFloats = static_cast<size_t>(lanes->headEnd + 1 + lanes->steps -
                                          lanes->tailStart) *
                      kLaneRows;
}

// Bands in the ring for a group of passes.
int32_t laneSlotsFor(const LaneBands& lanes, int32_t group) {
  return std::min(group + 2, lanes.bands);
}

// The working memory of laid-out bands for a group of passes, as allocated.
size_t laneBandsFootprint(const LaneBands& lanes, int32_t group) {
  size_t rowCount = 2 * static_cast<size_t>(group) + 2;
  return largeBlockFootprint(3 * lanes.kindFloats * sizeof(float) +
                             rowCount * lanes.rowStride * sizeof(int32_t) +
                             static_cast<size_t>(laneSlotsFor(lanes, group)) *
                                 lanes.bandCells * sizeof(int32_t));
}

bool prepareLaneBands(LaneBands* lanes, int32_t width, int32_t height,
                      int32_t passes, size_t budget) {
  if (!laneStepsFit(width)) return false;
  layOutLaneBands(lanes, width, height);
  auto needed = [&](int32_t group) {
    return laneBandsFootprint(*lanes, group);
  };
  lanes->group = std::min(passes, kMaxLaneGroup);
  while (lanes->group > 1 && needed(lanes->group) > budget) lanes->group /= 2;
  if (needed(lanes->group) > budget) return false;
  lanes->slots = laneSlotsFor(*lanes, lanes->group);
  size_t cellCount = static_cast<size_t>(lanes->slots) * lanes->bandCells;
  size_t rowCells =
      (2 * static_cast<size_t>(lanes->group) + 2) * lanes->rowStride;
  // The cells, the bordering rows and the multipliers, in one block.
  size_t multiplierCount = 3 * lanes->kindFloats;
  if (!lanes->block.allocate((cellCount + rowCells + multiplierCount) *
                             sizeof(int32_t))) {
    return false;
  }
  lanes->cells = static_cast<int32_t*>(lanes->block.data);
  lanes->rows = lanes->cells + cellCount;
  lanes->multipliers = reinterpret_cast<float*>(lanes->rows + rowCells);
  // Every cell and bordering row outside the image holds height 0.
  std::fill(lanes->cells, lanes->rows + rowCells, kLaneZero);
  for (int32_t kind = 0; kind < 3; ++kind) {
    int32_t index = kind == 0 ? 0 : kind == 1 ? 1 : lanes->bands - 1;
    float* table =
        lanes->multipliers + static_cast<size_t>(kind) * lanes->kindFloats;
    fillMultipliers(*lanes, std::min(index, lanes->bands - 1), table);
    const float* inner =
        table + static_cast<size_t>(lanes->headEnd) * kLaneRows;
    lanes->innerShared[kind] =
        std::all_of(inner, inner + kLaneRows,
                    [&](float multiplier) { return multiplier == inner[0]; });
  }
  return true;
}

// Moves a band between the planes and its cells, whole squares of steps
// (the last may reach into the zero steps after the band).
template <bool kDecode>
void convertBand(const LaneBands& lanes, const LaneKernels& kernels,
                 HeightValue base, BytePlane* red, BytePlane* green,
                 int32_t index) {
  int32_t* cells = lanes.band(index);
  int32_t firstRow = index * kLaneRows;
  LanePlaneRows rows;
  rows.rows = std::min(kLaneRows, lanes.height - firstRow);
  rows.width = lanes.width;
  rows.wide = base == kWideBase;
  for (int32_t row = 0; row < rows.rows; ++row) {
    rows.red[row] = (*red)[firstRow + row];
    rows.green[row] = (*green)[firstRow + row];
  }
  int32_t squares =
      (lanes.steps + kTransferSteps - 1) / kTransferSteps * kTransferSteps;
  if constexpr (kDecode) {
    kernels.planesToLanes(rows, cells, squares);
    // The band's first row as decoded, for the band above.
    uint32_t* first = reinterpret_cast<uint32_t*>(lanes.firstRowAfter(0));
    decodeHeightRow(base, rows.red[0], rows.green[0], first, lanes.width);
    for (int32_t column = 0; column < lanes.width; ++column) {
      first[column] += static_cast<uint32_t>(kLaneZero);
    }
  } else {
    kernels.lanesToPlanes(rows, cells, squares);
  }
}

// One pass (pass of the group) over band index; with track, whether a
// height changed.
bool smoothLaneBand(LaneBands* lanes, const LaneKernels& kernels, int32_t index,
                    int32_t pass, bool track) {
  const int32_t* above = index > 0 ? lanes->lastRowOf(pass) : lanes->zeroRow();
  const int32_t* below =
      index + 1 < lanes->bands ? lanes->firstRowAfter(pass) : lanes->zeroRow();
  std::fill(std::begin(lanes->left), std::end(lanes->left), kLaneZero);
  const float* table = lanes->multipliersOf(index);
  LaneSteps steps{lanes->band(index),
                  above,
                  below - kLaneTrail,
                  lanes->firstRowAfter(pass + 1),
                  lanes->lastRowOf(pass) - kLaneTrail,
                  table,
                  kLaneRows,
                  false,
                  false,
                  lanes->left};
  auto kernel = kernels.runSteps;
  // Cell (0, 0), the only one whose mean can wrap, is a head step of band 0.
  steps.wrap = index == 0 && lanes->wrapFirst;
  bool changed = kernel(steps, 0, lanes->headEnd, track);
  steps.wrap = false;
  if (index == 0) lanes->wrapFirst = false;
  if (lanes->headEnd < lanes->tailStart) {
    steps.multiplier = table + static_cast<size_t>(lanes->headEnd) * kLaneRows;
    steps.multiplierStride = 0;
    steps.shared = lanes->innerShared[kindOf(lanes->bands, index)];
    changed |= kernel(steps, lanes->headEnd, lanes->tailStart, track);
  }
  steps.multiplier =
      table + static_cast<size_t>(lanes->headEnd + 1) * kLaneRows;
  steps.multiplierStride = kLaneRows;
  changed |= kernel(steps, lanes->tailStart, lanes->steps, track);
  return changed;
}

// As the row engine's pass group: at time t pass p smooths band t - p.
bool smoothLaneGroup(LaneBands* lanes, const LaneKernels& kernels,
                     HeightValue base, BytePlane* red, BytePlane* green,
                     int32_t passes, const Progress* progress,
                     int64_t doneBefore, int64_t total) {
  bool changed = false;
  const int32_t bands = lanes->bands;
  int32_t decoded = 0;
  for (int32_t time = 0; time < bands + passes - 1; ++time) {
    for (int32_t pass = 0; pass < passes; ++pass) {
      int32_t index = time - pass;
      if (index < 0 || index >= bands) continue;
      for (; decoded <= std::min(index + 1, bands - 1); ++decoded) {
        convertBand<true>(*lanes, kernels, base, red, green, decoded);
      }
      bool last = pass == passes - 1;
      changed |= smoothLaneBand(lanes, kernels, index, pass, last);
      if (last) convertBand<false>(*lanes, kernels, base, red, green, index);
      reportProgress(progress, ++doneBefore, total);
    }
  }
  return changed;
}

}  // namespace

float laneMultiplier(int32_t count) {
  float multiplier = static_cast<float>(1.0 / count);
  if (static_cast<double>(multiplier) * count <= 1.0) {
    multiplier = std::nextafter(multiplier, 2.0f);
  }
  return multiplier;
}

bool laneBandsFit(int32_t width, int32_t height, size_t budget) {
  if (!laneStepsFit(width)) return false;
  LaneBands lanes;
  layOutLaneBands(&lanes, width, height);
  return laneBandsFootprint(lanes, 1) <= budget;
}

bool smoothHeightsInLanes(int32_t passes, BytePlane* red, BytePlane* green,
                          int32_t width, int32_t height, int32_t base,
                          const LaneKernels& kernels, size_t budget,
                          const Progress* progress) {
  LaneBands lanes;
  if (!prepareLaneBands(&lanes, width, height, passes, budget)) return false;
  lanes.wrapFirst = firstMeanWraps(*red, *green, width, height, base);
  runPassGroups(passes, lanes.group, lanes.bands, progress,
                [&](int32_t group, int64_t done, int64_t total) {
                  return smoothLaneGroup(&lanes, kernels, base, red, green,
                                         group, progress, done, total);
                });
  return true;
}
