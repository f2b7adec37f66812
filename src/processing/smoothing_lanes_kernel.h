// The lane kernel, written once over an instruction set's operations and
// built once per instruction set: a source file defines QUILLORN_LANE_TARGET
// (its target attribute, or nothing), includes this file and instantiates
// runLaneStepsWith with its operations. Everything here has internal
// linkage, so no copy built for one processor is ever shared with another.
//
// The operations (Ops) work on Vec, kLaneWidth 32-bit lanes, and Chain, a
// group's chain values in whatever form its step keeps them:
//   Vec load(const int32_t*), void store(int32_t*, Vec), Vec add(Vec, Vec),
//   Vec sub(Vec, Vec),
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

// A group's state between steps: its chain, and the sums of three cells of
// the group above and of the group below that the next step needs, less the
// cell that step adds (kept running: each step adds one cell to each sum
// and drops one).
template <class Ops>
struct LaneGroup {
  typename Ops::Chain chain;
  typename Ops::Vec up;
  typename Ops::Vec down;
};

constexpr ptrdiff_t kAhead = ptrdiff_t{kLaneSkew} * kLaneRows;

QUILLORN_LANE_INLINE uint32_t cellSum(int32_t a, int32_t b) {
  return static_cast<uint32_t>(a) + static_cast<uint32_t>(b);
}

// Where group kGroup's sums above and below come from: the cells of the
// group before (final: kLaneSkew steps back) and after (untouched:
// kLaneSkew steps ahead), or for group 0 the last group, a row up and a lane
// over, and for the last group group 0, a row down and a lane over.
template <int32_t kGroup>
constexpr ptrdiff_t kAboveAt =
    (kGroup == 0 ? kLaneGroups - 1 : kGroup - 1) * kLaneWidth - kAhead;
template <int32_t kGroup>
constexpr ptrdiff_t kBelowAt =
    (kGroup == kLaneGroups - 1 ? 0 : kGroup + 1) * kLaneWidth + kAhead;

// Eight cells sum to the heights' sum plus 8 x kLaneZero; the steps take
// the heights' sum less 2^23. One running sum of each group that no lane
// shift crosses carries the difference.
constexpr int32_t kSumOffset = static_cast<int32_t>(
    0u - 8u * static_cast<uint32_t>(kLaneZero) - (1u << 23));

template <class Ops, int32_t kGroup>
QUILLORN_LANE_INLINE LaneGroup<Ops> startLaneGroup(const int32_t* cells,
                                                   const int32_t* left,
                                                   typename Ops::Vec offset) {
  LaneGroup<Ops> group;
  group.chain = Ops::startChain(left + kGroup * kLaneWidth);
  const int32_t* up = cells + kAboveAt<kGroup>;
  const int32_t* down = cells + kBelowAt<kGroup>;
  group.up = Ops::add(Ops::load(up - kLaneRows), Ops::load(up));
  group.down = Ops::add(Ops::load(down - kLaneRows), Ops::load(down));
  if constexpr (kGroup == kLaneGroups - 1) {
    group.up = Ops::add(group.up, offset);
  } else {
    group.down = Ops::add(group.down, offset);
  }
  return group;
}

// One step of group kGroup: the three cells above, the three below (for
// group 0 with the band's row above entering lane 0, for the last group
// with the row below entering the last lane), the cell itself and the one
// to its right, and the chain's left neighbour.
template <class Ops, bool kTrack, int32_t kGroup>
QUILLORN_LANE_INLINE typename Ops::Vec laneGroupStep(
    int32_t* cells, uint32_t above, uint32_t below, const float* multiplier,
    LaneGroup<Ops>* state, typename Ops::Vec* differs) {
  using Vec = typename Ops::Vec;
  int32_t* group = cells + kGroup * kLaneWidth;
  const int32_t* up = cells + kAboveAt<kGroup>;
  const int32_t* down = cells + kBelowAt<kGroup>;
  state->up = Ops::add(state->up, Ops::load(up + kLaneRows));
  state->down = Ops::add(state->down, Ops::load(down + kLaneRows));
  Vec upSum = state->up;
  if constexpr (kGroup == 0) {
    upSum = Ops::shiftInFirst(upSum, static_cast<int32_t>(above));
  }
  Vec downSum = state->down;
  if constexpr (kGroup == kLaneGroups - 1) {
    downSum = Ops::shiftInLast(downSum, static_cast<int32_t>(below));
  }
  Vec cell = Ops::load(group);
  Vec sum = Ops::add(Ops::add(upSum, downSum),
                     Ops::add(cell, Ops::load(group + kLaneRows)));
  Vec value = Ops::step(&state->chain, sum, multiplier + kGroup * kLaneWidth);
  if constexpr (kTrack) *differs = Ops::orDiffer(*differs, value, cell);
  Ops::store(group, value);
  state->up = Ops::sub(state->up, Ops::load(up - kLaneRows));
  state->down = Ops::sub(state->down, Ops::load(down - kLaneRows));
  return value;
}

static_assert(kLaneGroups == 4, "runLaneStepsWith steps four groups");

template <class Ops, bool kTrack>
QUILLORN_NOINLINE QUILLORN_LANE_TARGET bool runLaneStepsWith(
    const LaneSteps& steps, int32_t from, int32_t to) {
  using Vec = typename Ops::Vec;
  int32_t* cells = steps.cells + ptrdiff_t{from} * kLaneRows;
  const int32_t offsets[kLaneWidth] = {kSumOffset, kSumOffset, kSumOffset,
                                       kSumOffset, kSumOffset, kSumOffset,
                                       kSumOffset, kSumOffset};
  Vec offset = Ops::load(offsets);
  LaneGroup<Ops> group0 = startLaneGroup<Ops, 0>(cells, steps.left, offset);
  LaneGroup<Ops> group1 = startLaneGroup<Ops, 1>(cells, steps.left, offset);
  LaneGroup<Ops> group2 = startLaneGroup<Ops, 2>(cells, steps.left, offset);
  LaneGroup<Ops> group3 = startLaneGroup<Ops, 3>(cells, steps.left, offset);
  Vec differs = Ops::zero();
  const float* multiplier = steps.multiplier;
  const size_t multiplierStride = steps.multiplierStride;
  const int32_t* aboveRow = steps.above;
  const int32_t* belowRow = steps.below;
  int32_t* firstRow = steps.first;
  int32_t* lastRow = steps.last;
  // The rows bordering the band, three cells at a time, kept running too
  // (wrapping, as the cells' sums do).
  uint32_t above = cellSum(aboveRow[from - 1], aboveRow[from]);
  uint32_t below = cellSum(belowRow[from - 1], belowRow[from]);
  for (int32_t step = from; step < to; ++step) {
    above += static_cast<uint32_t>(aboveRow[step + 1]);
    below += static_cast<uint32_t>(belowRow[step + 1]);
    firstRow[step] = Ops::first(laneGroupStep<Ops, kTrack, 0>(
        cells, above, below, multiplier, &group0, &differs));
    laneGroupStep<Ops, kTrack, 1>(cells, above, below, multiplier, &group1,
                                  &differs);
    laneGroupStep<Ops, kTrack, 2>(cells, above, below, multiplier, &group2,
                                  &differs);
    lastRow[step] = Ops::last(laneGroupStep<Ops, kTrack, 3>(
        cells, above, below, multiplier, &group3, &differs));
    above -= static_cast<uint32_t>(aboveRow[step - 1]);
    below -= static_cast<uint32_t>(belowRow[step - 1]);
    cells += kLaneRows;
    multiplier += multiplierStride;
  }
  Ops::storeChain(group0.chain, steps.left);
  Ops::storeChain(group1.chain, steps.left + kLaneWidth);
  Ops::storeChain(group2.chain, steps.left + 2 * kLaneWidth);
  Ops::storeChain(group3.chain, steps.left + 3 * kLaneWidth);
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
  const int32_t zeros[kLaneWidth] = {kLaneZero, kLaneZero, kLaneZero,
                                     kLaneZero, kLaneZero, kLaneZero,
                                     kLaneZero, kLaneZero};
  const Vec zero = Ops::load(zeros);
  for (int32_t start = 0; start < steps; start += kLaneWidth) {
    for (int32_t group = 0; group < kLaneGroups; ++group) {
      Vec square[kLaneWidth];
      int32_t* row = rows + group * stride + start;
      int32_t* cell = cells + ptrdiff_t{start} * kLaneRows + group * kLaneWidth;
      for (int32_t i = 0; i < kLaneWidth; ++i) {
        square[i] = kToCells ? Ops::load(row + i * kLaneGroups * stride)
                             : Ops::sub(Ops::load(cell + i * kLaneRows), zero);
      }
      Ops::transpose(square);
      for (int32_t i = 0; i < kLaneWidth; ++i) {
        if (kToCells) {
          Ops::store(cell + i * kLaneRows, Ops::add(square[i], zero));
        } else {
          Ops::store(row + i * kLaneGroups * stride, square[i]);
        }
      }
    }
  }
}

}  // namespace
