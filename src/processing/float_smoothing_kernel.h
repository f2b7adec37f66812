// The float lane kernel, written once over an instruction set's operations
// and built once per instruction set: a source file defines
// QUILLORN_FLOAT_LANE_TARGET (its target attribute, or nothing), includes
// this file and defines its kernel with QUILLORN_DEFINE_FLOAT_LANES.
// Everything here has internal linkage.
//
// The operations (Ops) work on Vec, kFloatLaneWidth floats:
//   Vec load(const float*), void store(float*, Vec), Vec zero(),
//   Vec add(Vec, Vec), Vec mul(Vec, Vec),
//   Vec orDiffer(Vec acc, Vec a, Vec b): acc with the lanes where a != b set,
//   bool any(Vec): a lane of an orDiffer set,
//   float first(Vec), float last(Vec): lane 0, the last lane,
//   Vec shiftInFirst(Vec, float): lane i takes lane i - 1, lane 0 the float,
//   Vec shiftInLast(Vec, float): lane i takes lane i + 1, the last the float,
//   void transpose(Vec* v): of kFloatLaneWidth vectors, lane j of v[i]
//   trades places with lane i of v[j].
// Every sum is taken in one order, the one smoothFloatHeightsDirect takes,
// so that every engine gives the same bits.
#ifndef QUILLORN_FLOAT_LANE_TARGET
#error "define QUILLORN_FLOAT_LANE_TARGET before including this file"
#endif

#include <cstddef>
#include <cstdint>

#include "processing/float_lane_layout.h"

#if defined(__GNUC__)
#define QUILLORN_FLOAT_LANE_INLINE \
  inline __attribute__((always_inline)) QUILLORN_FLOAT_LANE_TARGET
#else
#define QUILLORN_FLOAT_LANE_INLINE inline
#endif

namespace {

constexpr ptrdiff_t kStep = kFloatLaneRows;
constexpr ptrdiff_t kAhead = ptrdiff_t{kFloatLaneSkew} * kFloatLaneRows;

// The three cells of a row at a cell's column less one, the column and the
// column plus one, summed in that order.
template <class Ops>
QUILLORN_FLOAT_LANE_INLINE typename Ops::Vec sumThree(const float* middle) {
  return Ops::add(Ops::add(Ops::load(middle - kStep), Ops::load(middle)),
                  Ops::load(middle + kStep));
}

// Group kGroup's step at cells (the step's group 0), column of row 0 at
// column: the row above (for group 0 the last group's lanes, the band's
// row above entering lane 0), the cell and the one to its right, the row
// below (for the last group group 0's lanes, the row below entering the
// last lane), then the left neighbour, the chain.
template <class Ops, int32_t kGroup>
QUILLORN_FLOAT_LANE_INLINE typename Ops::Vec groupStep(
    float* cells, const float* multipliers, const float* above,
    const float* below, typename Ops::Vec* chain, typename Ops::Vec* differs) {
  using Vec = typename Ops::Vec;
  float* own = cells + kGroup * kFloatLaneWidth;
  Vec up;
  if constexpr (kGroup == 0) {
    const float* from =
        cells - kAhead + (kFloatLaneGroups - 1) * kFloatLaneWidth;
    up =
        Ops::add(Ops::add(Ops::shiftInFirst(Ops::load(from - kStep), above[-1]),
                          Ops::shiftInFirst(Ops::load(from), above[0])),
                 Ops::shiftInFirst(Ops::load(from + kStep), above[1]));
  } else {
    up = sumThree<Ops>(cells - kAhead + (kGroup - 1) * kFloatLaneWidth);
  }
  Vec down;
  if constexpr (kGroup == kFloatLaneGroups - 1) {
    const float* from = cells + kAhead;
    down =
        Ops::add(Ops::add(Ops::shiftInLast(Ops::load(from - kStep), below[-1]),
                          Ops::shiftInLast(Ops::load(from), below[0])),
                 Ops::shiftInLast(Ops::load(from + kStep), below[1]));
  } else {
    down = sumThree<Ops>(cells + kAhead + (kGroup + 1) * kFloatLaneWidth);
  }
  const Vec cell = Ops::load(own);
  const Vec rest =
      Ops::add(Ops::add(up, Ops::add(cell, Ops::load(own + kStep))), down);
  const Vec value = Ops::mul(Ops::add(*chain, rest),
                             Ops::load(multipliers + kGroup * kFloatLaneWidth));
  *differs = Ops::orDiffer(*differs, value, cell);
  Ops::store(own, value);
  *chain = value;
  return value;
}

static_assert(kFloatLaneGroups == 4, "runFloatLanesWith steps four groups");

template <class Ops>
QUILLORN_NOINLINE QUILLORN_FLOAT_LANE_TARGET bool runFloatLanesWith(
    const FloatLaneSteps& steps) {
  using Vec = typename Ops::Vec;
  float* cells = steps.cells;
  const float* multipliers = steps.multipliers;
  // Row r's column at step s is s - kFloatLaneSkew x r: row 0's bordering
  // row is read at the step, the last row's at the step less the trail.
  const float* above = steps.above;
  const float* below = steps.below - kFloatLaneTrail;
  float* first = steps.first;
  float* last = steps.last - kFloatLaneTrail;
  // Every row's left neighbour at step 0 lies off the map: 0.
  Vec chain0 = Ops::zero(), chain1 = Ops::zero(), chain2 = Ops::zero(),
      chain3 = Ops::zero();
  Vec differs = Ops::zero();
  for (int32_t step = 0; step < steps.steps; ++step) {
    *first++ = Ops::first(
        groupStep<Ops, 0>(cells, multipliers, above, below, &chain0, &differs));
    groupStep<Ops, 1>(cells, multipliers, above, below, &chain1, &differs);
    groupStep<Ops, 2>(cells, multipliers, above, below, &chain2, &differs);
    *last++ = Ops::last(
        groupStep<Ops, 3>(cells, multipliers, above, below, &chain3, &differs));
    cells += kStep;
    multipliers += kStep;
    ++above;
    ++below;
  }
  return Ops::any(differs);
}

// Each square of kFloatLaneWidth steps and one group's lanes is read as
// the rows' runs of values, turned in registers and written as the steps'
// lanes, or back.
template <class Ops>
QUILLORN_FLOAT_LANE_TARGET void moveFloatLanesWith(float* cells,
                                                   float* const* rows,
                                                   int32_t from, int32_t to,
                                                   bool toCells) {
  using Vec = typename Ops::Vec;
  for (int32_t step = from; step < to; step += kFloatLaneWidth) {
    for (int32_t group = 0; group < kFloatLaneGroups; ++group) {
      float* at = cells + ptrdiff_t{step} * kStep + group * kFloatLaneWidth;
      Vec square[kFloatLaneWidth];
      for (int32_t i = 0; i < kFloatLaneWidth; ++i) {
        const int32_t row = group + kFloatLaneGroups * i;
        square[i] = toCells
                        ? Ops::load(rows[row] + (step - kFloatLaneSkew * row))
                        : Ops::load(at + i * kStep);
      }
      Ops::transpose(square);
      for (int32_t i = 0; i < kFloatLaneWidth; ++i) {
        const int32_t row = group + kFloatLaneGroups * i;
        if (toCells) {
          Ops::store(at + i * kStep, square[i]);
        } else {
          Ops::store(rows[row] + (step - kFloatLaneSkew * row), square[i]);
        }
      }
    }
  }
}

}  // namespace

#define QUILLORN_DEFINE_FLOAT_LANES(Ops, suffix)                  \
  QUILLORN_FLOAT_LANE_TARGET bool runFloatLanes##suffix(          \
      const FloatLaneSteps& steps) {                              \
    return runFloatLanesWith<Ops>(steps);                         \
  }                                                               \
  QUILLORN_FLOAT_LANE_TARGET void moveFloatLanes##suffix(         \
      float* cells, float* const* rows, int32_t from, int32_t to, \
      bool toCells) {                                             \
    moveFloatLanesWith<Ops>(cells, rows, from, to, toCells);      \
  }
