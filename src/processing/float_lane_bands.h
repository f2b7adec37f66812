// A band of the float lane engine in its slot of a ring: the working
// memory of one map, each cell's multiplier from the nodata about it,
// and a band moved between the plane and its slot's cells.
#ifndef QUILLORN_PROCESSING_FLOAT_LANE_BANDS_H_
#define QUILLORN_PROCESSING_FLOAT_LANE_BANDS_H_

#include <cstddef>
#include <cstdint>

#include "image/float_plane.h"
#include "platform/memory.h"
#include "processing/float_lane_layout.h"

// Passes run together at most: each band moves between the plane and the
// cells once per group.
inline constexpr int32_t kMaxLaneGroup = 16;

// The working memory of one map, allocated once for all passes.
struct FloatBands {
  const FloatPlane* plane = nullptr;
  int32_t steps = 0;  // width + kFloatLaneTrail
  size_t bandFloats = 0;
  LargeBlock block;
  // Passes run together, and the slots of bands in the ring: band b in
  // slot b % slots.
  int32_t group = 1;
  int32_t slots = 2;
  float* slotCells = nullptr;  // every slot's cells, then their multipliers
  // Every slot's first and last rows as its band's last pass left them
  // (column 0 of each), rowStride apart.
  float* slotRows = nullptr;
  size_t rowStride = 0;
  // The slot in use: its cells and multipliers (step 0).
  int32_t slot = 0;
  float* cells = nullptr;
  float* multipliers = nullptr;
  float* above = nullptr;  // column 0 of a row of zeros
  float* below = nullptr;  // of the plane's row below a band
  // Whether each cell of the rows from the band's row above to its row
  // below is valid, a 0 column on either side; a row of sums of three of
  // those rows at each column; each band row's counts (countValid).
  size_t validStride = 0;
  uint8_t* valid = nullptr;
  uint8_t* columnSums = nullptr;
  uint8_t* counts = nullptr;
  // The band in the cells has no nodata about it; and the kind of band
  // (first, inner, last: the map's edges they meet) whose multipliers the
  // cells hold when it had none either, else -1. Inner bands of no nodata
  // all have the same multipliers.
  bool whole = false;
  int32_t wholeKind = -1;
  bool slotWhole[kMaxLaneGroup + 1] = {};
  int32_t slotKind[kMaxLaneGroup + 1] = {};
};

// Makes slot the one in use, keeping what the last one knew of its band.
void useSlot(int32_t slot, FloatBands* bands);

// The working memory for passes (those of a group, as many as fit);
// false when not even one pass's fits or it cannot be had.
bool makeBands(const FloatPlane& plane, int32_t passes, FloatBands* bands);

// Readies the band whose row 0 is map row top in the slot in use, but for
// its values: each cell's multiplier and the steps off the map.
void loadBand(int32_t top, FloatBands* bands);

// Moves the whole band between the plane and the cells: where every row
// of a band of no nodata lies in the map, by the kernels' squares.
void moveBand(int32_t top, bool toCells, const FloatLaneKernels& kernels,
              FloatBands* bands, FloatPlane* plane);

// A slot's first (which 0) or last (1) row.
float* slotRow(const FloatBands& bands, int32_t band, int which);

// A valid cell's multiplier: 1 / count in single precision, count (1 ... 9)
// the valid cells of its neighbourhood.
float floatLaneMultiplier(int32_t count);

#endif  // QUILLORN_PROCESSING_FLOAT_LANE_BANDS_H_
