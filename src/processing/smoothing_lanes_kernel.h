// The lane kernel, written once over an instruction set's operations and
// built once per instruction set: a source file defines QUILLORN_LANE_TARGET
// (its target attribute, or nothing), includes this file and instantiates
// runLaneStepsWith with its operations. Everything here has internal
// linkage, so no copy built for one processor is ever shared with another.
//
// The operations (Ops) work on Vec, kLaneWidth 32-bit lanes, and Chain, a
// group's chain in whatever form its step keeps it:
// - Vec load(const int32_t*), void store(int32_t*, Vec), Vec zero(),
//   Vec add(Vec, Vec), Vec sub(Vec, Vec) (wrapping),
//   Vec orDiffer(Vec acc, Vec a, Vec b), bool any(Vec);
// - int32_t first(Vec), int32_t last(Vec): lane 0, the last lane;
// - Vec shiftInFirst(Vec, int32_t first): lane i takes lane i - 1, lane 0
//   first; Vec shiftInLast(Vec, int32_t last): lane i takes lane i + 1, the
//   last lane last;
// - Chain startChain(const int32_t* cells), void storeChain(Chain, int32_t*);
// - Vec loadFloats(const float*): kLaneWidth multipliers;
// - Vec step(Chain*, Vec sum, Vec multiplier): each lane's mean of its left
//   neighbour (the chain) and sum, the other eight cells' heights less
//   2^23; the mean becomes the chain and is returned as a cell;
// - Vec wrapTop(Chain*, Vec cell): the cell (and the chain) with a mean of
//   65280 turned into 0, as base 255 stores it;
// - void transpose(Vec v[kLaneWidth]): lane i of v[k] swaps with lane k of
//   v[i].
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

constexpr ptrdiff_t kAhead = ptrdiff_t{kLaneSkew} * kLaneRows;

QUILLORN_LANE_INLINE uint32_t cellSum(int32_t a, int32_t b) {
  return static_cast<uint32_t>(a) + static_cast<uint32_t>(b);
}

// Eight cells sum to the heights' sum plus 8 x kLaneZero; the steps take
// the heights' sum less 2^23. Each group's running sum carries the
// difference.
constexpr int32_t kSumOffset = static_cast<int32_t>(
    0u - 8u * static_cast<uint32_t>(kLaneZero) - (1u << 23));

// A group's neighbours, as offsets from its step's group 0: the group above
// (final: kLaneSkew steps back) and below (untouched: kLaneSkew steps
// ahead). Group 0's row above is the last group's lane before, and the last
// group's row below is group 0's lane after.
template <int32_t kGroup>
constexpr ptrdiff_t kAboveAt =
    (kGroup == 0 ? kLaneGroups - 1 : kGroup - 1) * kLaneWidth - kAhead;
template <int32_t kGroup>
constexpr ptrdiff_t kBelowAt =
    (kGroup == kLaneGroups - 1 ? 0 : kGroup + 1) * kLaneWidth + kAhead;
// Whose three cells a group sums as they lie (the others cross lanes).
template <int32_t kGroup>
constexpr bool kSumsAbove = kGroup != 0;
template <int32_t kGroup>
constexpr bool kSumsBelow = kGroup != kLaneGroups - 1;

// A group's state between steps: its chain; the running sum of the next
// step's neighbours that lie in its lanes (the three above or below unless
// they cross lanes, the cell itself and the one to its right) with the
// offset; and for the first and last groups the neighbours that cross
// lanes, running without the one the next step adds.
template <class Ops>
struct LaneGroup {
  typename Ops::Chain chain;
  typename Ops::Vec sum;
  typename Ops::Vec across;
};

template <class Ops>
QUILLORN_LANE_INLINE typename Ops::Vec laneThree(const int32_t* middle) {
  return Ops::add(Ops::add(Ops::load(middle - kLaneRows), Ops::load(middle)),
                  Ops::load(middle + kLaneRows));
}

template <class Ops, int32_t kGroup>
QUILLORN_LANE_INLINE LaneGroup<Ops> startLaneGroup(const int32_t* cells,
                                                   const int32_t* left,
                                                   typename Ops::Vec offset) {
  using Vec = typename Ops::Vec;
  LaneGroup<Ops> group;
  group.chain = Ops::startChain(left + kGroup * kLaneWidth);
  const int32_t* own = cells + kGroup * kLaneWidth;
  const int32_t* up = cells + kAboveAt<kGroup>;
  const int32_t* down = cells + kBelowAt<kGroup>;
  Vec sum =
      Ops::add(offset, Ops::add(Ops::load(own), Ops::load(own + kLaneRows)));
  if constexpr (kSumsAbove<kGroup>) {
    sum = Ops::add(sum, laneThree<Ops>(up));
  } else {
    group.across = Ops::add(Ops::load(up - kLaneRows), Ops::load(up));
  }
  if constexpr (kSumsBelow<kGroup>) {
    sum = Ops::add(sum, laneThree<Ops>(down));
  } else {
    group.across = Ops::add(Ops::load(down - kLaneRows), Ops::load(down));
  }
  group.sum = sum;
  return group;
}

// One step of group kGroup: the three cells above, the three below (for
// group 0 with the band's row above entering lane 0, for the last group
// with the row below entering the last lane), the cell itself and the one
// to its right, and the chain's left neighbour. Then moves the running
// sums on by a step.
template <class Ops, bool kTrack, bool kWrap, int32_t kGroup>
QUILLORN_LANE_INLINE typename Ops::Vec laneGroupStep(
    int32_t* cells, uint32_t above, uint32_t below,
    typename Ops::Vec multiplier, LaneGroup<Ops>* state,
    typename Ops::Vec* differs) {
  using Vec = typename Ops::Vec;
  int32_t* own = cells + kGroup * kLaneWidth;
  const int32_t* up = cells + kAboveAt<kGroup>;
  const int32_t* down = cells + kBelowAt<kGroup>;
  Vec sum = state->sum;
  if constexpr (!kSumsAbove<kGroup>) {
    state->across = Ops::add(state->across, Ops::load(up + kLaneRows));
    sum = Ops::add(
        sum, Ops::shiftInFirst(state->across, static_cast<int32_t>(above)));
    state->across = Ops::sub(state->across, Ops::load(up - kLaneRows));
  }
  if constexpr (!kSumsBelow<kGroup>) {
    state->across = Ops::add(state->across, Ops::load(down + kLaneRows));
    sum = Ops::add(
        sum, Ops::shiftInLast(state->across, static_cast<int32_t>(below)));
    state->across = Ops::sub(state->across, Ops::load(down - kLaneRows));
  }
  Vec cell = Ops::load(own);
  Vec value = Ops::step(&state->chain, sum, multiplier);
  if constexpr (kWrap) value = Ops::wrapTop(&state->chain, value);
  if constexpr (kTrack) *differs = Ops::orDiffer(*differs, value, cell);
  Ops::store(own, value);
  // The next step: its cell to the right in, this cell (as it was) out.
  Vec next = Ops::sub(Ops::load(own + 2 * kLaneRows), cell);
  if constexpr (kSumsAbove<kGroup>) {
    next = Ops::add(next, Ops::sub(Ops::load(up + 2 * kLaneRows),
                                   Ops::load(up - kLaneRows)));
  }
  if constexpr (kSumsBelow<kGroup>) {
    next = Ops::add(next, Ops::sub(Ops::load(down + 2 * kLaneRows),
                                   Ops::load(down - kLaneRows)));
  }
  state->sum = Ops::add(state->sum, next);
  return value;
}

template <class Ops, bool kShared, int32_t kGroup>
QUILLORN_LANE_INLINE typename Ops::Vec multiplierOf(const float* multiplier,
                                                    typename Ops::Vec shared) {
  if constexpr (kShared) return shared;
  return Ops::loadFloats(multiplier + kGroup * kLaneWidth);
}

static_assert(kLaneGroups == 4, "runLaneStepsWith steps four groups");

// With kShared, every lane of every step divides by the first multiplier;
// with kWrap, a mean of 65280 is stored as 0.
template <class Ops, bool kTrack, bool kShared, bool kWrap>
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
  const size_t multiplierStride = kShared ? 0 : steps.multiplierStride;
  // Runs of no steps may point past the multipliers: read them only when
  // shared, where the one step they describe is there.
  const Vec shared = kShared ? Ops::loadFloats(multiplier) : Ops::zero();
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
    firstRow[step] = Ops::first(laneGroupStep<Ops, kTrack, kWrap, 0>(
        cells, above, below, multiplierOf<Ops, kShared, 0>(multiplier, shared),
        &group0, &differs));
    laneGroupStep<Ops, kTrack, kWrap, 1>(
        cells, above, below, multiplierOf<Ops, kShared, 1>(multiplier, shared),
        &group1, &differs);
    laneGroupStep<Ops, kTrack, kWrap, 2>(
        cells, above, below, multiplierOf<Ops, kShared, 2>(multiplier, shared),
        &group2, &differs);
    lastRow[step] = Ops::last(laneGroupStep<Ops, kTrack, kWrap, 3>(
        cells, above, below, multiplierOf<Ops, kShared, 3>(multiplier, shared),
        &group3, &differs));
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
  // Wrapping runs are the rare first steps of a few images: never shared.
  if (steps.wrap) {
    return track ? runLaneStepsWith<Ops, true, false, true>(steps, from, to)
                 : runLaneStepsWith<Ops, false, false, true>(steps, from, to);
  }
  bool shared = steps.multiplierStride == 0 && steps.shared;
  if (track) {
    return shared ? runLaneStepsWith<Ops, true, true, false>(steps, from, to)
                  : runLaneStepsWith<Ops, true, false, false>(steps, from, to);
  }
  return shared ? runLaneStepsWith<Ops, false, true, false>(steps, from, to)
                : runLaneStepsWith<Ops, false, false, false>(steps, from, to);
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
      int32_t* row = rows + static_cast<size_t>(group) * stride + start;
      int32_t* cell = cells + ptrdiff_t{start} * kLaneRows + group * kLaneWidth;
      for (int32_t i = 0; i < kLaneWidth; ++i) {
        square[i] =
            kToCells
                ? Ops::load(row + static_cast<size_t>(i * kLaneGroups) * stride)
                : Ops::sub(Ops::load(cell + i * kLaneRows), zero);
      }
      Ops::transpose(square);
      for (int32_t i = 0; i < kLaneWidth; ++i) {
        if (kToCells) {
          Ops::store(cell + i * kLaneRows, Ops::add(square[i], zero));
        } else {
          Ops::store(row + static_cast<size_t>(i * kLaneGroups) * stride,
                     square[i]);
        }
      }
    }
  }
}

}  // namespace

// Defines an instruction set's steps (runLaneSteps<suffix>, where they need
// nothing around them) and transposes (rowsToLanes<suffix> and
// lanesToRows<suffix>) from its operations.
#define QUILLORN_DEFINE_LANE_STEPS(Ops, suffix)                       \
  QUILLORN_LANE_TARGET bool runLaneSteps##suffix(                     \
      const LaneSteps& steps, int32_t from, int32_t to, bool track) { \
    return runLaneStepsWith<Ops>(steps, from, to, track);             \
  }
#define QUILLORN_DEFINE_LANE_TRANSPOSES(Ops, suffix)                 \
  QUILLORN_LANE_TARGET void rowsToLanes##suffix(                     \
      int32_t* rows, size_t stride, int32_t* cells, int32_t steps) { \
    transposeLanes<Ops, true>(rows, stride, cells, steps);           \
  }                                                                  \
  QUILLORN_LANE_TARGET void lanesToRows##suffix(                     \
      int32_t* rows, size_t stride, int32_t* cells, int32_t steps) { \
    transposeLanes<Ops, false>(rows, stride, cells, steps);          \
  }
