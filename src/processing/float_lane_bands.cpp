#include "processing/float_lane_bands.h"

#include <cstring>

namespace {

// Where a row (0 ... kFloatLaneRows - 1) of a band lies within each step.
int32_t laneOf(int32_t row) {
  return (row % kFloatLaneGroups) * kFloatLaneWidth + row / kFloatLaneGroups;
}

// Columns of height 0 on either side of a bordering row.
constexpr int32_t kRowMargin = kFloatLaneTrail + 2;
// Rows whose nodata a band's multipliers depend on: its own and one on
// either side.
constexpr int32_t kValidRows = kFloatLaneRows + 2;
// The working memory the engine may take beyond half the plane's bytes.
constexpr size_t kWorkingBase = size_t{6} << 20;

// Each count's multiplier (floatLaneMultiplier), 0 for a cell not valid.
constexpr float kMultipliers[10] = {0,        1.0f,     1.0f / 2, 1.0f / 3,
                                    1.0f / 4, 1.0f / 5, 1.0f / 6, 1.0f / 7,
                                    1.0f / 8, 1.0f / 9};

// Marks the valid cells of the rows about the band whose row 0 is map row
// top; true when every one of them in the map is valid.
bool markValid(const FloatPlane& plane, int32_t top, FloatBands* bands) {
  const int32_t width = plane.width;
  uint8_t all = 1;
  for (int32_t index = 0; index < kValidRows; ++index) {
    uint8_t* valid =
        bands->valid + static_cast<size_t>(index) * bands->validStride + 1;
    const int32_t row = top - 1 + index;
    if (row < 0 || row >= plane.height) {
      std::memset(valid, 0, static_cast<size_t>(width));
      continue;
    }
    const float* values = plane.row(row);
    for (int32_t column = 0; column < width; ++column) {
      // Only NaN differs from itself; written so, the loop vectorizes.
      const uint8_t mark = values[column] == values[column] ? 1 : 0;
      valid[column] = mark;
      all &= mark;
    }
  }
  return all != 0;
}

// Each row's count of valid cells around each of its cells (0 for a NaN
// cell), from the valid marks of the rows about it.
void countValid(int32_t rows, FloatBands* bands) {
  const int32_t width = bands->plane->width;
  const size_t stride = bands->validStride;
  uint8_t* sums = bands->columnSums;
  for (int32_t row = 0; row < rows; ++row) {
    const uint8_t* valid = bands->valid + static_cast<size_t>(row) * stride;
    for (size_t column = 0; column < stride; ++column) {
      sums[column] = static_cast<uint8_t>(
          valid[column] + valid[column + stride] + valid[column + 2 * stride]);
    }
    const uint8_t* own = valid + stride + 1;
    uint8_t* counts =
        bands->counts + static_cast<size_t>(row) * static_cast<size_t>(width);
    for (int32_t column = 0; column < width; ++column) {
      const int sum = sums[column] + sums[column + 1] + sums[column + 2];
      counts[column] = static_cast<uint8_t>(own[column] != 0 ? sum : 0);
    }
  }
}

// Steps moved at a time, row after row of the band: their cells and
// multipliers stay in the first-level cache.
constexpr int32_t kChunkSteps = 128;

// The columns [from, to) of band row row whose steps lie in [step, end);
// from >= to when none do.
void chunkColumns(int32_t step, int32_t end, int32_t row, int32_t width,
                  int32_t* from, int32_t* to) {
  const int32_t start = step - kFloatLaneSkew * row;
  *from = start < 0 ? 0 : start;
  const int32_t stop = end - kFloatLaneSkew * row;
  *to = stop < width ? stop : width;
}

// Zeroes the steps of array where some row lies off the map (with rows
// missing below the map, every step).
void zeroOffMap(const FloatBands& bands, int32_t rows, float* array) {
  const size_t step = kFloatLaneRows;
  const int32_t width = bands.plane->width;
  if (rows < kFloatLaneRows || width <= kFloatLaneTrail) {
    std::memset(array, 0,
                sizeof(float) * step * static_cast<size_t>(bands.steps));
    return;
  }
  const size_t floats = step * kFloatLaneTrail;
  std::memset(array, 0, sizeof(float) * floats);
  std::memset(array + step * static_cast<size_t>(width), 0,
              sizeof(float) * floats);
}

// Moves the multipliers of the band's rows into their steps.
void loadMultipliers(int32_t rows, FloatBands* bands) {
  const int32_t width = bands->plane->width;
  const size_t step = kFloatLaneRows;
  zeroOffMap(*bands, rows, bands->multipliers);
  countValid(rows, bands);
  for (int32_t chunk = 0; chunk < bands->steps; chunk += kChunkSteps) {
    for (int32_t row = 0; row < rows; ++row) {
      int32_t from = 0, to = 0;
      chunkColumns(chunk, chunk + kChunkSteps, row, width, &from, &to);
      const uint8_t* counts =
          bands->counts + static_cast<size_t>(row) * static_cast<size_t>(width);
      float* multipliers =
          bands->multipliers +
          size_t{kFloatLaneSkew} * static_cast<size_t>(row) * step +
          static_cast<size_t>(laneOf(row));
      for (int32_t column = from; column < to; ++column) {
        multipliers[static_cast<size_t>(column) * step] =
            kMultipliers[counts[column]];
      }
    }
  }
}

// Moves steps [from, to) of the band whose row 0 is map row top between
// the plane and the slot in use, a chunk at a time: into the cells with
// nodata as 0 (right after loadBand), back to the plane its valid cells
// alone.
void moveSteps(int32_t top, int32_t rows, int32_t from, int32_t to,
               bool toCells, FloatBands* bands, FloatPlane* plane) {
  const int32_t width = plane->width;
  const size_t step = kFloatLaneRows;
  for (int32_t chunk = from; chunk < to; chunk += kChunkSteps) {
    const int32_t end = to - chunk < kChunkSteps ? to : chunk + kChunkSteps;
    for (int32_t row = 0; row < rows; ++row) {
      int32_t first = 0, last = 0;
      chunkColumns(chunk, end, row, width, &first, &last);
      float* values = plane->row(top + row);
      float* cells = bands->cells +
                     size_t{kFloatLaneSkew} * static_cast<size_t>(row) * step +
                     static_cast<size_t>(laneOf(row));
      const uint8_t* counts =
          bands->counts + static_cast<size_t>(row) * static_cast<size_t>(width);
      const float* multipliers = bands->multipliers + (cells - bands->cells);
      for (int32_t column = first; column < last; ++column) {
        const size_t at = static_cast<size_t>(column) * step;
        // Into the cells right after the counts were made; back, the
        // multipliers tell the valid cells.
        if (toCells) {
          cells[at] = bands->whole || counts[column] != 0 ? values[column] : 0;
        } else if (bands->whole || multipliers[at] != 0) {
          values[column] = cells[at];
        }
      }
    }
  }
}

}  // namespace

void useSlot(int32_t slot, FloatBands* bands) {
  bands->slotWhole[bands->slot] = bands->whole;
  bands->slotKind[bands->slot] = bands->wholeKind;
  bands->slot = slot;
  bands->whole = bands->slotWhole[slot];
  bands->wholeKind = bands->slotKind[slot];
  const size_t pad = size_t{kFloatLanePad} * kFloatLaneRows;
  bands->cells =
      bands->slotCells + static_cast<size_t>(slot) * bands->bandFloats + pad;
  bands->multipliers =
      bands->cells + static_cast<size_t>(bands->slots) * bands->bandFloats;
}

bool makeBands(const FloatPlane& plane, int32_t passes, FloatBands* bands) {
  const size_t width = static_cast<size_t>(plane.width);
  bands->plane = &plane;
  bands->steps = plane.width + kFloatLaneTrail;
  bands->bandFloats =
      (width + kFloatLaneTrail + 2 * kFloatLanePad) * kFloatLaneRows;
  const size_t rowFloats = width + 2 * kRowMargin;
  bands->validStride = width + 2;
  const size_t fixed = 2 * rowFloats * sizeof(float) +
                       (kValidRows + 1) * bands->validStride +
                       kFloatLaneRows * width;
  const size_t budget = plane.bytes / 2 + kWorkingBase;
  const size_t perSlot =
      2 * bands->bandFloats * sizeof(float) + 2 * rowFloats * sizeof(float);
  int32_t group = passes < kMaxLaneGroup ? passes : kMaxLaneGroup;
  while (group > 1 &&
         fixed + perSlot * static_cast<size_t>(group + 1) > budget) {
    --group;
  }
  const size_t bytes = fixed + perSlot * static_cast<size_t>(group + 1);
  if (bytes > budget || !bands->block.allocate(bytes)) return false;
  std::memset(bands->block.data, 0, bytes);
  bands->group = group;
  bands->slots = group + 1;
  for (int32_t slot = 0; slot < bands->slots; ++slot) {
    bands->slotKind[slot] = -1;
  }
  float* floats = static_cast<float*>(bands->block.data);
  bands->slotCells = floats;
  const size_t slotFloats =
      2 * bands->bandFloats * static_cast<size_t>(bands->slots);
  bands->rowStride = rowFloats;
  bands->slotRows = floats + slotFloats + kRowMargin;
  const size_t rowsFloats = 2 * rowFloats * static_cast<size_t>(bands->slots);
  bands->above = floats + slotFloats + rowsFloats + kRowMargin;
  bands->below = bands->above + rowFloats;
  bands->valid = reinterpret_cast<uint8_t*>(floats + slotFloats + rowsFloats +
                                            2 * rowFloats);
  bands->columnSums = bands->valid + kValidRows * bands->validStride;
  bands->counts = bands->columnSums + bands->validStride;
  bands->wholeKind = -1;
  useSlot(0, bands);
  return true;
}

void loadBand(int32_t top, FloatBands* bands) {
  const FloatPlane& plane = *bands->plane;
  const int32_t rows =
      plane.height - top < kFloatLaneRows ? plane.height - top : kFloatLaneRows;
  const int32_t kind =
      top == 0                                                        ? 0
      : rows < kFloatLaneRows || top + kFloatLaneRows == plane.height ? 2
                                                                      : 1;
  bands->whole = markValid(plane, top, bands);
  if (!bands->whole || kind != bands->wholeKind) {
    loadMultipliers(rows, bands);
    bands->wholeKind = bands->whole ? kind : -1;
  }
  zeroOffMap(*bands, rows, bands->cells);
}

void moveBand(int32_t top, bool toCells, const FloatLaneKernels& kernels,
              FloatBands* bands, FloatPlane* plane) {
  const int32_t rows = plane->height - top < kFloatLaneRows
                           ? plane->height - top
                           : kFloatLaneRows;
  int32_t from = bands->steps, to = bands->steps;
  if (bands->whole && rows == kFloatLaneRows &&
      plane->width > kFloatLaneTrail) {
    from = kFloatLaneTrail;
    to = from + (plane->width - from) / kFloatLaneWidth * kFloatLaneWidth;
    float* rowStarts[kFloatLaneRows];
    for (int32_t row = 0; row < kFloatLaneRows; ++row) {
      rowStarts[row] = plane->row(top + row);
    }
    kernels.move(bands->cells, rowStarts, from, to, toCells);
  }
  moveSteps(top, rows, 0, from, toCells, bands, plane);
  moveSteps(top, rows, to, bands->steps, toCells, bands, plane);
}

float* slotRow(const FloatBands& bands, int32_t band, int which) {
  const size_t slot = static_cast<size_t>(band % bands.slots);
  return bands.slotRows +
         (2 * slot + static_cast<size_t>(which)) * bands.rowStride;
}

float floatLaneMultiplier(int32_t count) { return kMultipliers[count]; }
