// The row engine's band kernel.
#include "processing/smoothing_band.h"

#include <algorithm>
#include <cstring>

#include "image/height_planes.h"
#include "platform/compiler.h"

namespace {

// The divisor of inner cells of inner rows: nine neighbours.
constexpr uint32_t kNineMultiplier = meanMultiplier(9);

// sums[i] = the column's neighbours but the one to its left: three above, the
// cell and its right neighbour, three below. Rows are padded with a zero
// column on each side.
QUILLORN_VECTORIZED
void neighbourSums(const uint32_t* up, const uint32_t* cur,
                   const uint32_t* down, uint32_t* sums, int32_t count) {
  for (int32_t i = 0; i < count; ++i) {
    sums[i] = up[i - 1] + up[i] + up[i + 1] + cur[i] + cur[i + 1] +
              down[i - 1] + down[i] + down[i + 1];
  }
}

// Runs the chains of kLanes lanes side by side over offsets [from, to): each
// cell's sum (in sums, lane by lane kBlock apart) plus its left neighbour's
// new value, divided by the lane's multiplier; the result replaces the sum.
// With the lane count fixed the chains stay in registers and overlap; with
// kShared (not 0) every lane divides by that constant.
// Not inlined: on its own the compiler keeps every chain in a register.
template <int kLanes, uint32_t kShared>
QUILLORN_NOINLINE void runChains(uint32_t* sums, uint32_t* left,
                                 const uint32_t* multipliers, int32_t from,
                                 int32_t to) {
  uint32_t value[kLanes];
  uint32_t multiplier[kLanes];
  for (int lane = 0; lane < kLanes; ++lane) {
    value[lane] = left[lane];
    multiplier[lane] = kShared != 0 ? kShared : multipliers[lane];
  }
  uint32_t* cell = sums + from;
  for (int32_t offset = from; offset < to; ++offset, ++cell) {
    for (int lane = 0; lane < kLanes; ++lane) {
      value[lane] = meanOf(cell[lane * kBlock] + value[lane],
                           kShared != 0 ? kShared : multiplier[lane]);
      cell[lane * kBlock] = value[lane];
    }
  }
  for (int lane = 0; lane < kLanes; ++lane) left[lane] = value[lane];
}

static_assert(kBandRows == 8, "runChains dispatches up to 8 lanes");

template <uint32_t kShared>
void runChains(int lanes, uint32_t* sums, uint32_t* left,
               const uint32_t* multipliers, int32_t from, int32_t to) {
  switch (lanes) {
    case 1:
      return runChains<1, kShared>(sums, left, multipliers, from, to);
    case 2:
      return runChains<2, kShared>(sums, left, multipliers, from, to);
    case 3:
      return runChains<3, kShared>(sums, left, multipliers, from, to);
    case 4:
      return runChains<4, kShared>(sums, left, multipliers, from, to);
    case 5:
      return runChains<5, kShared>(sums, left, multipliers, from, to);
    case 6:
      return runChains<6, kShared>(sums, left, multipliers, from, to);
    case 7:
      return runChains<7, kShared>(sums, left, multipliers, from, to);
    default:
      return runChains<8, kShared>(sums, left, multipliers, from, to);
  }
}

// One row of a band in one step: which block of it is smoothed now.
struct ActiveLane {
  int32_t lane = 0;                           // the row's index in its band
  int32_t start = 0;                          // the block's first column
  int32_t length = 0;                         // the block's columns
  const uint32_t* cellMultipliers = nullptr;  // per column of the row
};

}  // namespace

// Row lane runs block step - 2 x lane in each step, so that the row above has
// finished the next block and the row below has not yet reached the previous
// one. The active lanes' sums lie kBlock apart from rows.sums; left[] and
// multipliers[] hold each active lane's chain value and inner divisor side by
// side, as runChains takes them.
void smoothBand(const SmoothRows& rows, int32_t firstRow, uint32_t* const* band,
                int32_t count, const uint32_t* up, const uint32_t* down,
                bool wrap, bool* changed) {
  const int32_t width = rows.width;
  const int32_t blocks = (width + kBlock - 1) / kBlock;
  uint32_t* sums = rows.sums;
  for (int32_t step = 0; step < blocks + 2 * (count - 1); ++step) {
    ActiveLane active[kBandRows];
    uint32_t left[kBandRows];
    uint32_t multipliers[kBandRows];
    int32_t activeCount = 0;
    for (int32_t lane = 0; lane < count; ++lane) {
      int32_t block = step - 2 * lane;
      if (block < 0 || block >= blocks) continue;
      ActiveLane& a = active[activeCount];
      a.lane = lane;
      a.start = block * kBlock;
      a.length = std::min(kBlock, width - a.start);
      int32_t row = firstRow + lane;
      a.cellMultipliers = rows.multipliers[(row > 0) + (row < rows.height - 1)];
      const uint32_t* above = lane == 0 ? up : band[lane - 1];
      const uint32_t* below = lane == count - 1 ? down : band[lane + 1];
      neighbourSums(above + a.start, band[lane] + a.start, below + a.start,
                    sums + activeCount * kBlock, a.length);
      left[activeCount] = band[lane][a.start - 1];
      // Columns 1 ... width-2 share their row's multiplier.
      multipliers[activeCount] = a.cellMultipliers[width > 2 ? 1 : 0];
      ++activeCount;
    }
    // Offsets where every active lane is on an inner column (not the first
    // or last of the image): there all lanes run together.
    int32_t from = 0;
    int32_t to = kBlock;
    bool allNine = true;
    for (int32_t i = 0; i < activeCount; ++i) {
      if (active[i].start == 0) from = 1;
      int32_t end = active[i].length;
      if (active[i].start + end == width) --end;
      to = std::min(to, end);
      allNine = allNine && multipliers[i] == kNineMultiplier;
    }
    auto single = [&](int32_t i, int32_t offset) {
      uint32_t* cell = sums + i * kBlock + offset;
      left[i] = meanOf(*cell + left[i],
                       active[i].cellMultipliers[active[i].start + offset]);
      if (wrap && left[i] == kLargestStoredHeight + 1) left[i] = 0;
      *cell = left[i];
    };
    for (int32_t i = 0; i < activeCount; ++i) {
      for (int32_t offset = 0; offset < std::min(from, active[i].length);
           ++offset) {
        single(i, offset);
      }
    }
    if (from < to) {
      if (allNine) {
        runChains<kNineMultiplier>(activeCount, sums, left, multipliers, from,
                                   to);
      } else {
        runChains<0>(activeCount, sums, left, multipliers, from, to);
      }
    }
    for (int32_t i = 0; i < activeCount; ++i) {
      for (int32_t offset = std::max(from, to); offset < active[i].length;
           ++offset) {
        single(i, offset);
      }
      uint32_t* row = band[active[i].lane] + active[i].start;
      size_t bytes = static_cast<size_t>(active[i].length) * sizeof(uint32_t);
      if (changed != nullptr && !*changed &&
          std::memcmp(row, sums + i * kBlock, bytes) != 0) {
        *changed = true;
      }
      std::memcpy(row, sums + i * kBlock, bytes);
    }
  }
}
