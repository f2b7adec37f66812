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
// - Vec setFirst(Vec, int32_t first): lane 0 replaced by first;
//   Vec setLast(Vec, int32_t last): the last lane replaced by last;
// - Chain startChain(const int32_t* cells);
// - Vec loadFloats(const float*): kLaneWidth multipliers;
// - Vec step(Chain*, Vec sum, Vec multiplier): each lane's mean of its left
//   neighbour (the chain) and sum, the other eight cells' heights less
//   2^23; the mean becomes the chain and is returned as a cell (the chain
//   is always the cell last returned: the kernel carries it on from the
//   cells);
// - Vec wrapTop(Chain*, Vec cell): the cell (and the chain) with a mean of
//   65280 turned into 0, as base 255 stores it;
// - kSquareSteps, 8 or 16: the steps of a square of the transfers;
// - template <bool kWide> void planesToSquare(uint8_t* const* red,
//   uint8_t* const* green, int32_t rows, int32_t* cells): a square of
//   kSquareSteps steps of one group's lanes from the planes, red[i] and
//   green[i] at lane i's columns for the square (i below rows; the other
//   lanes take height 0), cells at the square's first step, steps kLaneRows
//   apart; kWide for base 256;
// - template <bool kWide> void squareToPlanes(const int32_t* cells,
//   uint8_t* const* red, uint8_t* const* green, int32_t rows): the same
//   square back to the planes, lanes below rows alone.
#ifndef QUILLORN_LANE_TARGET
#error "define QUILLORN_LANE_TARGET before including smoothing_lanes_kernel.h"
#endif

#include <cstddef>
#include <cstdint>

#include "image/height_planes.h"
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
// The neighbours that cross lanes are loaded a lane off, shifted as they
// lie; the one lane from beyond the group is replaced by the bordering row.
constexpr ptrdiff_t kAcrossAbove = -1;
constexpr ptrdiff_t kAcrossBelow = 1;

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
    const int32_t* across = up + kAcrossAbove;
    group.across = Ops::add(Ops::load(across - kLaneRows), Ops::load(across));
  }
  if constexpr (kSumsBelow<kGroup>) {
    sum = Ops::add(sum, laneThree<Ops>(down));
  } else {
    const int32_t* across = down + kAcrossBelow;
    group.across = Ops::add(Ops::load(across - kLaneRows), Ops::load(across));
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
    const int32_t* across = up + kAcrossAbove;
    state->across = Ops::add(state->across, Ops::load(across + kLaneRows));
    sum = Ops::add(sum,
                   Ops::setFirst(state->across, static_cast<int32_t>(above)));
    state->across = Ops::sub(state->across, Ops::load(across - kLaneRows));
  }
  if constexpr (!kSumsBelow<kGroup>) {
    const int32_t* across = down + kAcrossBelow;
    state->across = Ops::add(state->across, Ops::load(across + kLaneRows));
    sum =
        Ops::add(sum, Ops::setLast(state->across, static_cast<int32_t>(below)));
    state->across = Ops::sub(state->across, Ops::load(across - kLaneRows));
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

// The cells are asked for 64 steps ahead: the ring of bands lies beyond the
// second-level cache, and the processor's own prefetching left the steps
// 2.4 times as slow as on a band in cache (48 to 128 steps do as well).
constexpr uintptr_t kPrefetchBytes = 64 * kLaneRows * sizeof(int32_t);

// Asks for the two cache lines of the step kPrefetchBytes ahead, through
// integers: past a band's last step that address lies outside it.
QUILLORN_LANE_INLINE void prefetchAhead(const int32_t* cells) {
  uintptr_t ahead = reinterpret_cast<uintptr_t>(cells) + kPrefetchBytes;
  QUILLORN_PREFETCH_WRITE(reinterpret_cast<const char*>(ahead));
  QUILLORN_PREFETCH_WRITE(reinterpret_cast<const char*>(ahead + 64));
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
    prefetchAhead(cells);
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
  // Each chain is the cell its last step stored: taken from there, no chain
  // outlives the loop in a register (the compiler spilled two every step).
  if (to > from) {
    const int32_t* stored = cells - kLaneRows;
    for (int32_t lane = 0; lane < kLaneRows; lane += kLaneWidth) {
      Ops::store(steps.left + lane, Ops::load(stored + lane));
    }
  }
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

}  // namespace

// Defines an instruction set's steps (runLaneSteps<suffix>, where they need
// nothing around them) from its operations; its transfers come from
// smoothing_lanes_transfers.h, below.
#define QUILLORN_DEFINE_LANE_STEPS(Ops, suffix)                       \
  QUILLORN_LANE_TARGET bool runLaneSteps##suffix(                     \
      const LaneSteps& steps, int32_t from, int32_t to, bool track) { \
    return runLaneStepsWith<Ops>(steps, from, to, track);             \
  }

// The transfers between the planes and the cells, over the same operations.
#include "processing/smoothing_lanes_transfers.h"
