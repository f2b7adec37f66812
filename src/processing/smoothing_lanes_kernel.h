// The lane kernel, written once over an instruction set's operations and
// built once per instruction set: a source file defines QUILLORN_LANE_TARGET
// (its target attribute, or nothing), includes this file and instantiates
// runLaneStepsWith with its operations. Everything here has internal
// linkage, so no copy built for one processor is ever shared with another.
//
// The operations (Ops) work on Vec, kLaneWidth 32-bit lanes, and Chain, a
// group's chain values in whatever form its step keeps them:
//   Vec load(const int32_t*), void store(int32_t*, Vec), Vec add(Vec, Vec),
//   Vec zero(), Vec orDiffer(Vec acc, Vec a, Vec b), bool any(Vec),
//   int32_t first(Vec), int32_t last(Vec): lane 0, the last lane,
//   Vec shiftInFirst(Vec, int32_t first): lane i takes lane i - 1, lane 0
//   first, Vec shiftInLast(Vec, int32_t last): lane i takes lane i + 1, the
//   last lane last, Chain startChain(const int32_t* values), void
//   storeChain(Chain, int32_t*), Vec step(Chain*, Vec sum, const float*
//   multiplier): each lane's mean of
//     sum plus its chain value, which becomes the chain value,
//   void transpose(Vec v[kLaneWidth]): lane i of v[k] swaps with lane k of
//     v[i].
#ifndef QUILLORN_LANE_TARGET
#error "define QUILLORN_LANE_TARGET before including smoothing_lanes_kernel.h"
#endif

#include <cstddef>
#include <cstdint>

#include "platform/compiler.h"
#include "processing/smoothing_lanes.h"

#if defined(__GNUC__)
#define QUILLORN_LANE_INLINE \
  inline __attribute__((always_inline)) QUILLORN_LANE_TARGET
#else
#define QUILLORN_LANE_INLINE inline
#endif

namespace {

// The sum of a group's cells at three steps around the one given.
template <class Ops>
QUILLORN_LANE_INLINE typename Ops::Vec laneThree(const int32_t* middle) {
  return Ops::add(Ops::add(Ops::load(middle - kLaneRows), Ops::load(middle)),
                  Ops::load(middle + kLaneRows));
}

// One step of group kGroup: the three cells above (final: kLaneSkew steps
// back in the group before, or for group 0 the last group shifted by a lane
// with the band's row above entering lane 0), the three below (untouched:
// kLaneSkew steps ahead in the group after, or for the last group group 0
// shifted the other way with the row below the band entering the last
// lane), the cell itself and the one to its right, and the chain's left
// neighbour.
template <class Ops, bool kTrack, int32_t kGroup>
QUILLORN_LANE_INLINE typename Ops::Vec laneGroupStep(
    int32_t* cells, int32_t above, int32_t below, const float* multiplier,
    typename Ops::Chain* chain, typename Ops::Vec* differs) {
  using Vec = typename Ops::Vec;
  constexpr ptrdiff_t kAhead = ptrdiff_t{kLaneSkew} * kLaneRows;
  int32_t* group = cells + kGroup * kLaneWidth;
  Vec up;
  if constexpr (kGroup == 0) {
    up = Ops::shiftInFirst(
        laneThree<Ops>(cells - kAhead + (kLaneGroups - 1) * kLaneWidth), above);
  } else {
    up = laneThree<Ops>(group - kAhead - kLaneWidth);
  }
  Vec down;
  if constexpr (kGroup == kLaneGroups - 1) {
    down = Ops::shiftInLast(laneThree<Ops>(cells + kAhead), below);
  } else {
    down = laneThree<Ops>(group + kAhead + kLaneWidth);
  }
  Vec cell = Ops::load(group);
  Vec sum = Ops::add(Ops::add(up, down),
                     Ops::add(cell, Ops::load(group + kLaneRows)));
  Vec value = Ops::step(chain, sum, multiplier + kGroup * kLaneWidth);
  if constexpr (kTrack) *differs = Ops::orDiffer(*differs, value, cell);
  Ops::store(group, value);
  return value;
}

static_assert(kLaneGroups == 4, "runLaneStepsWith steps four groups");

template <class Ops, bool kTrack>
QUILLORN_NOINLINE QUILLORN_LANE_TARGET bool runLaneStepsWith(
    const LaneSteps& steps, int32_t from, int32_t to) {
  using Vec = typename Ops::Vec;
  using Chain = typename Ops::Chain;
  Chain chain0 = Ops::startChain(steps.left);
  Chain chain1 = Ops::startChain(steps.left + kLaneWidth);
  Chain chain2 = Ops::startChain(steps.left + 2 * kLaneWidth);
  Chain chain3 = Ops::startChain(steps.left + 3 * kLaneWidth);
  Vec differs = Ops::zero();
  int32_t* cells = steps.cells + ptrdiff_t{from} * kLaneRows;
  const float* multiplier = steps.multiplier;
  const size_t multiplierStride = steps.multiplierStride;
  const int32_t* aboveRow = steps.above;
  const int32_t* belowRow = steps.below;
  int32_t* firstRow = steps.first;
  int32_t* lastRow = steps.last;
  for (int32_t step = from; step < to; ++step) {
    int32_t above = aboveRow[step - 1] + aboveRow[step] + aboveRow[step + 1];
    int32_t below = belowRow[step - 1] + belowRow[step] + belowRow[step + 1];
    firstRow[step] = Ops::first(laneGroupStep<Ops, kTrack, 0>(
        cells, above, below, multiplier, &chain0, &differs));
    laneGroupStep<Ops, kTrack, 1>(cells, above, below, multiplier, &chain1,
                                  &differs);
    laneGroupStep<Ops, kTrack, 2>(cells, above, below, multiplier, &chain2,
                                  &differs);
    lastRow[step] = Ops::last(laneGroupStep<Ops, kTrack, 3>(
        cells, above, below, multiplier, &chain3, &differs));
    cells += kLaneRows;
    multiplier += multiplierStride;
  }
  Ops::storeChain(chain0, steps.left);
  Ops::storeChain(chain1, steps.left + kLaneWidth);
  Ops::storeChain(chain2, steps.left + 2 * kLaneWidth);
  Ops::storeChain(chain3, steps.left + 3 * kLaneWidth);
  return kTrack && Ops::any(differs);
}

template <class Ops>
QUILLORN_LANE_TARGET bool runLaneStepsWith(const LaneSteps& steps, int32_t from,
                                           int32_t to, bool track) {
  return track ? runLaneStepsWith<Ops, true>(steps, from, to)
               : runLaneStepsWith<Ops, false>(steps, from, to);
}

// Between kLaneRows rows of heights (row r at rows + r x stride, step k of
// the band at column k) and the cells of steps [0, steps), steps a multiple
// of kLaneWidth: one square of kLaneWidth rows and steps at a time.
template <class Ops, bool kToCells>
QUILLORN_LANE_TARGET void transposeLanes(int32_t* rows, size_t stride,
                                         int32_t* cells, int32_t steps) {
  using Vec = typename Ops::Vec;
  for (int32_t start = 0; start < steps; start += kLaneWidth) {
    for (int32_t group = 0; group < kLaneGroups; ++group) {
      Vec square[kLaneWidth];
      int32_t* row = rows + group * stride + start;
      int32_t* cell = cells + ptrdiff_t{start} * kLaneRows + group * kLaneWidth;
      for (int32_t i = 0; i < kLaneWidth; ++i) {
        square[i] = Ops::load(kToCells ? row + i * kLaneGroups * stride
                                       : cell + i * kLaneRows);
      }
      Ops::transpose(square);
      for (int32_t i = 0; i < kLaneWidth; ++i) {
        Ops::store(
            kToCells ? cell + i * kLaneRows : row + i * kLaneGroups * stride,
            square[i]);
      }
    }
  }
}

}  // namespace
