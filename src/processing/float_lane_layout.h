// The float lane engine's layout and kernels. A band of kFloatLaneRows map
// rows is held interleaved: one step holds one cell of every row, each row
// kFloatLaneSkew columns behind the row above, as kFloatLaneGroups vectors
// of kFloatLaneWidth lanes. Row r lives in group r % kFloatLaneGroups, lane
// r / kFloatLaneGroups, so the row above a row of group g > 0 is the same
// lane of group g - 1. Every row's left-to-right chain of means then runs
// in a vector lane, kFloatLaneRows chains at once.
//
// Cells hold the heights with nodata and cells off the map as 0; beside
// them, each cell's multiplier: 1 / (its valid neighbours, itself
// included) for a valid cell, 0 for the others, which so stay 0.
#ifndef QUILLORN_PROCESSING_FLOAT_LANE_LAYOUT_H_
#define QUILLORN_PROCESSING_FLOAT_LANE_LAYOUT_H_

#include <cstddef>
#include <cstdint>

#include "platform/compiler.h"

inline constexpr int32_t kFloatLaneWidth = 8;
inline constexpr int32_t kFloatLaneGroups = 4;
inline constexpr int32_t kFloatLaneRows = kFloatLaneWidth * kFloatLaneGroups;
// Each row trails the row above by this many columns: the three cells above
// a cell were final a step before, and the three below still untouched.
inline constexpr int32_t kFloatLaneSkew = 2;
// How many columns a band's last row trails its first.
inline constexpr int32_t kFloatLaneTrail =
    kFloatLaneSkew * (kFloatLaneRows - 1);
// Zero steps kept before a band's step 0 and after its last: as far as any
// step reads.
inline constexpr int32_t kFloatLanePad = kFloatLaneSkew + 1;

// One pass over one band. The rows bordering it are plain rows of heights
// (nodata as 0), indexed by column, 0 for kFloatLaneTrail + 1 columns on
// either side of the map.
struct FloatLaneSteps {
  float* cells;              // step 0 of the band (kFloatLanePad zero steps
                             // on either side)
  const float* multipliers;  // laid out as the cells
  const float* above;        // the final row above the band
  const float* below;        // the untouched row below the band
  float* first;              // receives row 0's new heights, by column
  float* last;               // receives the last row's, by column (both
                             // bordering rows: off the map they receive 0)
  int32_t steps;             // the map's width + kFloatLaneTrail
};

// One instruction set's kernels.
struct FloatLaneKernels {
  // Smooths every step of a band, in order; returns whether a cell changed.
  bool (*run)(const FloatLaneSteps& steps);
  // Moves steps [from, to) (a multiple of kFloatLaneWidth of them) of a band
  // all of whose rows lie in the map there, rows[r] being row r's column 0,
  // into the cells (toCells) or back.
  void (*move)(float* cells, float* const* rows, int32_t from, int32_t to,
               bool toCells);
};

#define QUILLORN_DECLARE_FLOAT_LANES(suffix)                                  \
  bool runFloatLanes##suffix(const FloatLaneSteps& steps);                    \
  void moveFloatLanes##suffix(float* cells, float* const* rows, int32_t from, \
                              int32_t to, bool toCells)
QUILLORN_DECLARE_FLOAT_LANES(Plain);
#if defined(QUILLORN_X86_KERNELS)
QUILLORN_DECLARE_FLOAT_LANES(Sse2);
QUILLORN_DECLARE_FLOAT_LANES(Avx2);
#endif
#undef QUILLORN_DECLARE_FLOAT_LANES

#endif  // QUILLORN_PROCESSING_FLOAT_LANE_LAYOUT_H_
