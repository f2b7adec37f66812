// The lane engine's layout and kernels. A band of kLaneRows image rows is
// held interleaved: one step holds one cell of every row, each row
// kLaneSkew columns behind the row above it, as kLaneGroups vectors of
// kLaneWidth lanes. Row r lives in group r % kLaneGroups, lane
// r / kLaneGroups, so the row above a row of group g > 0 is the same lane of
// group g - 1. Every row's left-to-right chain of means then runs in a
// vector lane, kLaneRows chains at once.
#ifndef QUILLORN_PROCESSING_SMOOTHING_LANES_H_
#define QUILLORN_PROCESSING_SMOOTHING_LANES_H_

#include <cstddef>
#include <cstdint>

#include "platform/compiler.h"

inline constexpr int32_t kLaneWidth = 8;
inline constexpr int32_t kLaneGroups = 4;
inline constexpr int32_t kLaneRows = kLaneWidth * kLaneGroups;
// Each row trails the row above by this many columns: the three cells above
// a cell are final more than one step before it needs them, so the chains of
// neighbouring rows never wait for each other.
inline constexpr int32_t kLaneSkew = 4;
// Steps of height 0 kept before a band's step 0 and after its last: as far
// as any step reads.
inline constexpr int32_t kLanePad = kLaneSkew + 1;

// A neighbourhood's mean is floor(sum x multiplier) in single precision,
// with the multiplier the least float above 1 / count: exact for every count
// (1, 2, 3, 4, 6, 9) and every sum up to count x 65535 (proved by the
// tests). A cell outside the image takes kLaneOutside, which gives 0 for any
// sum below 2^20, so that it stays 0.
float laneMultiplier(int32_t count);
inline constexpr float kLaneOutside = 1.0f / 16777216.0f;

// The cells hold each height h as kLaneZero + h: the bits of the float
// 2^23 + h, which the fastest kernel computes with. Sums of cells wrap
// around 2^32 (unsigned), and the kernels take the offsets out.
inline constexpr int32_t kLaneZero = 0x4B000000;
// The cell of a mean of 65280, which base 255 stores as 0: it differs from
// kLaneZero in the bits of kLaneTopBits alone.
inline constexpr int32_t kLaneTop = kLaneZero + 65280;
inline constexpr int32_t kLaneTopBits = 0xFF00;

// How many columns a band's last row trails its first.
inline constexpr int32_t kLaneTrail = kLaneSkew * (kLaneRows - 1);

// One run of steps of one band in one pass. The rows bordering the band come
// and go as plain rows of heights, indexed by step: the row above by row 0's
// column, the row below and the last row by the last row's (their pointers
// are offset by kLaneTrail). Each holds height 0 for kLaneTrail + 2 columns
// on either side of the image.
struct LaneSteps {
  int32_t* cells;           // step 0 of the band (kLanePad zero steps around)
  const int32_t* above;     // the final row above the band
  const int32_t* below;     // the untouched row below the band
  int32_t* first;           // receives row 0's new heights
  int32_t* last;            // receives the last row's new heights (may be
                            // above: each cell is read before it is written)
  const float* multiplier;  // kLaneRows per step, laid out as the cells
  size_t multiplierStride;  // kLaneRows, or 0 where every step shares them
  bool shared;              // with stride 0: every lane's is the same
  bool wrap;                // a mean of 65280 is stored as 0 (base 255)
  int32_t* left;            // kLaneRows chain values, carried between runs
};

// A band's rows in the planes, for the transfers between planes and cells:
// row r's red and green bytes from column 0, for the rows in the image.
struct LanePlaneRows {
  uint8_t* red[kLaneRows];
  uint8_t* green[kLaneRows];
  int32_t rows;   // the band's rows in the image; the others hold height 0
  int32_t width;  // the image's
  bool wide;      // base 256 (else 255)
};

// The transfers move whole squares of this many steps.
inline constexpr int32_t kTransferSteps = 16;

// Moves a band's steps [0, steps) (a multiple of kTransferSteps) between the
// planes and the cells (heights plus kLaneZero), decoding or encoding on the
// way. To the cells every cell is written, those off the image as height 0;
// to the planes, the image's own pixels alone (means below 65280 in base
// 255).
using LaneTransfer = void (*)(const LanePlaneRows& rows, int32_t* cells,
                              int32_t steps);

// One instruction set's kernels.
struct LaneKernels {
  // Smooths steps [from, to) (multiplier[0] belongs to step from). With
  // track, returns whether a cell changed; otherwise false.
  bool (*runSteps)(const LaneSteps& steps, int32_t from, int32_t to,
                   bool track);
  LaneTransfer planesToLanes;
  LaneTransfer lanesToPlanes;
};

#define QUILLORN_DECLARE_LANE_KERNELS(suffix)                                 \
  bool runLaneSteps##suffix(const LaneSteps& steps, int32_t from, int32_t to, \
                            bool track);                                      \
  void planesToLanes##suffix(const LanePlaneRows& rows, int32_t* cells,       \
                             int32_t steps);                                  \
  void lanesToPlanes##suffix(const LanePlaneRows& rows, int32_t* cells,       \
                             int32_t steps)
QUILLORN_DECLARE_LANE_KERNELS(Plain);
#if defined(QUILLORN_X86_KERNELS)
QUILLORN_DECLARE_LANE_KERNELS(Sse2);
QUILLORN_DECLARE_LANE_KERNELS(Avx2);
#endif
#if defined(QUILLORN_WASM_KERNELS)
QUILLORN_DECLARE_LANE_KERNELS(Wasm);
#endif
#undef QUILLORN_DECLARE_LANE_KERNELS

struct BytePlane;
struct Progress;

// True when one pass's working bands for an image of width x height take at
// most budget bytes.
bool laneBandsFit(int32_t width, int32_t height, size_t budget);

// Smooths as smoothHeights does (planes in base 255 or 256), in bands of
// lanes with kernels, its working bands taking at most budget bytes. Returns
// false, with the planes untouched, when even one pass's bands would take more,
// or memory is short.
bool smoothHeightsInLanes(int32_t passes, BytePlane* red, BytePlane* green,
                          int32_t width, int32_t height, int32_t base,
                          const LaneKernels& kernels, size_t budget,
                          const Progress* progress);

#endif  // QUILLORN_PROCESSING_SMOOTHING_LANES_H_
