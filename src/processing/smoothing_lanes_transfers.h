// The lane kernel's transfers, a band of cells to and from the planes, a
// square of steps and one group's lanes at a time by the operations' square
// transfers (planesToSquare, squareToPlanes: see smoothing_lanes_kernel.h,
// which includes this file at its end, and which an instruction set's source
// includes instead). Internal linkage, as the kernel's.
#ifndef QUILLORN_LANE_TARGET
#error "include smoothing_lanes_kernel.h, not smoothing_lanes_transfers.h"
#endif

#include <cstdint>

#include "platform/compiler.h"
#include "processing/smoothing_lanes.h"

namespace {

// The transfers stream 64 plane rows at once, more than the processor
// follows: each row is asked for 256 bytes ahead every 64 steps (a line).
constexpr uintptr_t kPlanePrefetchBytes = 256;
constexpr int32_t kPlanePrefetchEvery = 64;

template <bool kToCells>
QUILLORN_LANE_INLINE void prefetchPlane(const uint8_t* bytes) {
  uintptr_t ahead = reinterpret_cast<uintptr_t>(bytes) + kPlanePrefetchBytes;
  if constexpr (kToCells) {
    QUILLORN_PREFETCH_READ(reinterpret_cast<const char*>(ahead));
  } else {
    QUILLORN_PREFETCH_WRITE(reinterpret_cast<const char*>(ahead));
  }
}

// Steps moved at a time, group by group: each of a group's rows streams a
// kilobyte of each plane while the stretch's cells stay in cache.
constexpr int32_t kStretchSteps = 1024;

// Moves steps [0, steps) between the planes and the cells a square of
// Ops::kSquareSteps steps and one group's lanes at a time, by Ops's square
// transfer. Where a row of the group has only some of a square's columns
// (at the image's edges), the square goes through zeroed bytes beside, only
// the image's own columns copied in or out.
template <class Ops, bool kToCells, bool kWide>
QUILLORN_LANE_TARGET void transferBand(const LanePlaneRows& rows,
                                       int32_t* cells, int32_t steps) {
  constexpr int32_t kSquare = Ops::kSquareSteps;
  static_assert(kTransferSteps % kSquare == 0, "whole squares");
  uint8_t edgeRed[kLaneWidth][kSquare];
  uint8_t edgeGreen[kLaneWidth][kSquare];
  for (int32_t start = 0; start < steps; start += kStretchSteps) {
    int32_t end = start + kStretchSteps < steps ? start + kStretchSteps : steps;
    for (int32_t group = 0; group < kLaneGroups; ++group) {
      // Rows group + kLaneGroups x i, i below inImage, are the image's.
      int32_t inImage = (rows.rows - group + kLaneGroups - 1) / kLaneGroups;
      inImage = inImage < 0 ? 0 : inImage > kLaneWidth ? kLaneWidth : inImage;
      int32_t lastRow = group + kLaneGroups * (inImage - 1);
      for (int32_t step = start; step < end; step += kSquare) {
        int32_t* cell =
            cells + ptrdiff_t{step} * kLaneRows + group * kLaneWidth;
        bool inside = step >= kLaneSkew * lastRow &&
                      step + kSquare <= rows.width + kLaneSkew * group;
        uint8_t* red[kLaneWidth];
        uint8_t* green[kLaneWidth];
        int32_t from[kLaneWidth];  // the row's columns in the square
        int32_t to[kLaneWidth];
        for (int32_t i = 0; i < inImage; ++i) {
          int32_t row = group + kLaneGroups * i;
          int32_t column = step - kLaneSkew * row;
          if (inside) {
            red[i] = rows.red[row] + column;
            green[i] = rows.green[row] + column;
            if (step % kPlanePrefetchEvery == 0) {
              prefetchPlane<kToCells>(red[i]);
              prefetchPlane<kToCells>(green[i]);
            }
            continue;
          }
          from[i] = column < 0 ? (-column < kSquare ? -column : kSquare) : 0;
          to[i] = rows.width - column < kSquare ? rows.width - column : kSquare;
          if (to[i] < from[i]) to[i] = from[i];
          for (int32_t k = 0; k < kSquare; ++k) {
            bool own = kToCells && k >= from[i] && k < to[i];
            edgeRed[i][k] = own ? rows.red[row][column + k] : 0;
            edgeGreen[i][k] = own ? rows.green[row][column + k] : 0;
          }
          red[i] = edgeRed[i];
          green[i] = edgeGreen[i];
        }
        if constexpr (kToCells) {
          Ops::template planesToSquare<kWide>(red, green, inImage, cell);
        } else {
          Ops::template squareToPlanes<kWide>(cell, red, green, inImage);
          if (inside) continue;
          for (int32_t i = 0; i < inImage; ++i) {
            int32_t row = group + kLaneGroups * i;
            int32_t column = step - kLaneSkew * row;
            for (int32_t k = from[i]; k < to[i]; ++k) {
              rows.red[row][column + k] = edgeRed[i][k];
              rows.green[row][column + k] = edgeGreen[i][k];
            }
          }
        }
      }
    }
  }
}

template <class Ops, bool kToCells>
QUILLORN_LANE_TARGET void transferBand(const LanePlaneRows& rows,
                                       int32_t* cells, int32_t steps) {
  if (rows.wide) return transferBand<Ops, kToCells, true>(rows, cells, steps);
  transferBand<Ops, kToCells, false>(rows, cells, steps);
}

}  // namespace

// Defines an instruction set's transfers (planesToLanes<suffix> and
// lanesToPlanes<suffix>) from its operations.
#define QUILLORN_DEFINE_LANE_TRANSFERS(Ops, suffix)               \
  QUILLORN_LANE_TARGET void planesToLanes##suffix(                \
      const LanePlaneRows& rows, int32_t* cells, int32_t steps) { \
    transferBand<Ops, true>(rows, cells, steps);                  \
  }                                                               \
  QUILLORN_LANE_TARGET void lanesToPlanes##suffix(                \
      const LanePlaneRows& rows, int32_t* cells, int32_t steps) { \
    transferBand<Ops, false>(rows, cells, steps);                 \
  }
