#include "processing/height_processing.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <memory>
#include <new>

#include "image/vectorize.h"

namespace {

// Every height a plane pair can hold: 0 ... 65280.
constexpr int32_t kHeightCount = 255 * kHeightBase + 255 + 1;

uint16_t packedBytes(int64_t value) {
  // The encoding's rule, for values beyond 32 bits as well: remainder and
  // quotient by 255, truncating, low 8 bits each.
  uint8_t red = static_cast<uint8_t>(value % kHeightBase);
  uint8_t green = static_cast<uint8_t>(value / kHeightBase);
  return static_cast<uint16_t>(red | green << 8);
}

// What a conversion does to one height v: shifted = v + shift, then, when
// scaled, truncateToInt32(shifted x factor) capped at ceiling (0: no cap).
struct HeightMap {
  int64_t shift = 0;
  bool scaled = false;
  double factor = 1.0;
  int32_t ceiling = 0;
};

int64_t mappedHeight(const HeightMap& map, int32_t value) {
  int64_t shifted = value + map.shift;
  if (!map.scaled) return shifted;
  int32_t scaled = truncateToInt32(static_cast<double>(shifted) * map.factor);
  return map.ceiling != 0 && scaled > map.ceiling ? map.ceiling : scaled;
}

// The largest height the arithmetic paths below store exactly.
constexpr int32_t kLargestStored = 65279;

// value / 255 for every value up to 65535, without a division.
inline uint32_t divideBy255(uint32_t value) { return (value * 32897u) >> 23; }

// Shift only, every result known to lie in 0 ... kLargestStored.
QUILLORN_VECTORIZED
void shiftRow(const uint8_t* inRed, const uint8_t* inGreen, uint8_t* outRed,
              uint8_t* outGreen, int32_t width, int32_t shift) {
  for (int32_t column = 0; column < width; ++column) {
    uint32_t value = static_cast<uint32_t>(
        decodeHeight(inRed[column], inGreen[column]) + shift);
    uint32_t quotient = divideBy255(value);
    outRed[column] = static_cast<uint8_t>(value - quotient * 255u);
    outGreen[column] = static_cast<uint8_t>(quotient);
  }
}

// Shift, scale and cap, every result known to lie in 0 ... kLargestStored
// (so the cap is kLargestStored where there is none).
QUILLORN_VECTORIZED
void scaleRow(const uint8_t* inRed, const uint8_t* inGreen, uint8_t* outRed,
              uint8_t* outGreen, int32_t width, int32_t shift, double factor,
              int32_t ceiling) {
  for (int32_t column = 0; column < width; ++column) {
    int32_t shifted = decodeHeight(inRed[column], inGreen[column]) + shift;
    int32_t scaled = static_cast<int32_t>(shifted * factor);
    uint32_t value = static_cast<uint32_t>(std::min(scaled, ceiling));
    uint32_t quotient = divideBy255(value);
    outRed[column] = static_cast<uint8_t>(value - quotient * 255u);
    outGreen[column] = static_cast<uint8_t>(quotient);
  }
}

// Any map, through a table of the stored bytes of every height.
void tableRow(const uint16_t* table, const uint8_t* inRed,
              const uint8_t* inGreen, uint8_t* outRed, uint8_t* outGreen,
              int32_t width) {
  for (int32_t column = 0; column < width; ++column) {
    uint16_t bytes = table[decodeHeight(inRed[column], inGreen[column])];
    outRed[column] = static_cast<uint8_t>(bytes);
    outGreen[column] = static_cast<uint8_t>(bytes >> 8);
  }
}

// Applies map to every pixel whose height lies in range; a target may be its
// source. Where every result is a plainly stored height (0 ... 65279) the
// arithmetic is done in vector registers; elsewhere through a table.
void mapHeights(const HeightMap& map, HeightRange range, const BytePlane& inRed,
                const BytePlane& inGreen, const BytePlane& outRed,
                const BytePlane& outGreen, int32_t width, int32_t height) {
  // Maps are monotonic for factors >= 0: the ends of the range bound them.
  bool arithmetic = (!map.scaled || map.factor >= 0.0) &&
                    mappedHeight(map, range.min) >= 0 &&
                    mappedHeight(map, range.max) <= kLargestStored;
  if (arithmetic) {
    int32_t shift = static_cast<int32_t>(map.shift);
    int32_t ceiling = map.ceiling != 0 ? map.ceiling : kLargestStored;
    for (int32_t row = 0; row < height; ++row) {
      if (map.scaled) {
        scaleRow(inRed[row], inGreen[row], outRed[row], outGreen[row], width,
                 shift, map.factor, ceiling);
      } else {
        shiftRow(inRed[row], inGreen[row], outRed[row], outGreen[row], width,
                 shift);
      }
    }
    return;
  }
  std::unique_ptr<uint16_t[]> table(new (std::nothrow) uint16_t[kHeightCount]);
  for (int32_t value = range.min; value <= range.max && table; ++value) {
    table[static_cast<size_t>(value)] = packedBytes(mappedHeight(map, value));
  }
  for (int32_t row = 0; row < height; ++row) {
    if (table) {
      tableRow(table.get(), inRed[row], inGreen[row], outRed[row],
               outGreen[row], width);
      continue;
    }
    // No memory for the table: the same map, one pixel at a time.
    for (int32_t column = 0; column < width; ++column) {
      uint16_t bytes = packedBytes(mappedHeight(
          map, decodeHeight(inRed[row][column], inGreen[row][column])));
      outRed[row][column] = static_cast<uint8_t>(bytes);
      outGreen[row][column] = static_cast<uint8_t>(bytes >> 8);
    }
  }
}

// Every height a plane pair can hold.
constexpr HeightRange kAllHeights{0, kHeightCount - 1};

// ---- Smoothing ----------------------------------------------------------

// A neighbourhood sum of count heights divided by count, truncated, as a
// multiply and a shift: exact for every count that occurs (1, 2, 3, 4, 6, 9)
// and every sum up to count x 65280.
constexpr int kMeanShift = 23;

constexpr uint32_t meanMultiplier(int32_t count) {
  return static_cast<uint32_t>(
      ((uint64_t{1} << kMeanShift) + static_cast<uint64_t>(count) - 1) /
      static_cast<uint64_t>(count));
}

inline uint32_t meanOf(uint32_t sum, uint32_t multiplier) {
  return static_cast<uint32_t>((static_cast<uint64_t>(sum) * multiplier) >>
                               kMeanShift);
}

// Rows of a band run this many columns apart, so that each row's neighbours
// above are final and below still untouched when it reads them.
constexpr int32_t kBlock = 256;
// Rows smoothed side by side: their left-to-right chains are independent.
constexpr int32_t kBandRows = 8;

QUILLORN_VECTORIZED
void decodeRow(const uint8_t* red, const uint8_t* green, uint32_t* heights,
               int32_t width) {
  for (int32_t column = 0; column < width; ++column) {
    heights[column] =
        static_cast<uint32_t>(decodeHeight(red[column], green[column]));
  }
}

QUILLORN_VECTORIZED
void encodeRow(const uint32_t* heights, uint8_t* red, uint8_t* green,
               int32_t width) {
  for (int32_t column = 0; column < width; ++column) {
    uint32_t value = heights[column];
    // value / 255 for every value up to 65535, without a division.
    uint32_t quotient = (value * 32897u) >> 23;
    red[column] = static_cast<uint8_t>(value - quotient * 255u);
    green[column] = static_cast<uint8_t>(quotient);
  }
}

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

// Passes run together over the image at most this many at a time: each row
// is decoded once, smoothed by every pass of the group, and encoded once.
constexpr int32_t kMaxPassGroup = 8;

// Decoded rows in flight take at most about this much memory; wider images
// run fewer passes together.
constexpr size_t kRingBudget = size_t{32} << 20;

// Working rows for the smoothing of one image, allocated once for all passes.
struct SmoothRows {
  int32_t width = 0;
  int32_t height = 0;
  size_t stride = 0;                    // width + 2 padding columns
  std::unique_ptr<uint32_t[]> storage;  // zero row, ring rows, sums
  uint32_t* zeroRow = nullptr;          // column 0 of an all-zero row
  // Passes run together; decoded rows in flight: image row r lives in
  // ring[r % ringRows].
  int32_t group = 1;
  int32_t ringRows = 0;
  std::unique_ptr<uint32_t*[]> ring;
  uint32_t* sums[kBandRows] = {};
  // multipliers[n - 1][k]: divisor for a cell of a row with n rows in reach.
  std::unique_ptr<uint32_t[]> multiplierStorage;
  const uint32_t* multipliers[3] = {};

  uint32_t* row(int32_t index) const {
    return ring[static_cast<size_t>(index % ringRows)];
  }
};

// Rows a group of passes needs in flight: pass p trails pass 0 by p bands,
// plus a band for the rows above and below; never more than the image has.
int32_t ringRowsFor(int32_t group, int32_t height) {
  return std::min(kBandRows * (group + 1) + 2, height + 1);
}

bool prepareSmoothRows(SmoothRows* rows, int32_t width, int32_t height,
                       int32_t passes) {
  rows->width = width;
  rows->height = height;
  rows->stride = static_cast<size_t>(width) + 2;
  // Refuse widths whose few working rows would not fit in memory sensibly.
  if (rows->stride > (size_t{1} << 24)) return false;
  size_t rowBytes = rows->stride * sizeof(uint32_t);
  rows->group = std::min(passes, kMaxPassGroup);
  while (rows->group > 1 &&
         static_cast<size_t>(ringRowsFor(rows->group, height)) * rowBytes >
             kRingBudget) {
    rows->group /= 2;
  }
  rows->ringRows = ringRowsFor(rows->group, height);
  size_t rowCount = 1 + static_cast<size_t>(rows->ringRows);
  size_t total = rowCount * rows->stride + kBandRows * kBlock;
  rows->storage.reset(new (std::nothrow) uint32_t[total]());
  rows->ring.reset(new (std::nothrow)
                       uint32_t*[static_cast<size_t>(rows->ringRows)]);
  rows->multiplierStorage.reset(new (std::nothrow)
                                    uint32_t[3 * static_cast<size_t>(width)]);
  if (!rows->storage || !rows->ring || !rows->multiplierStorage) return false;
  uint32_t* next = rows->storage.get();
  rows->zeroRow = next + 1;
  next += rows->stride;
  for (int32_t index = 0; index < rows->ringRows; ++index) {
    rows->ring[static_cast<size_t>(index)] = next + 1;
    next += rows->stride;
  }
  for (uint32_t*& sums : rows->sums) {
    sums = next;
    next += kBlock;
  }
  for (int32_t reach = 1; reach <= 3; ++reach) {
    uint32_t* multipliers =
        rows->multiplierStorage.get() +
        static_cast<size_t>(reach - 1) * static_cast<size_t>(width);
    for (int32_t column = 0; column < width; ++column) {
      int32_t across = 1 + (column > 0) + (column < width - 1);
      multipliers[column] = meanMultiplier(reach * across);
    }
    rows->multipliers[reach - 1] = multipliers;
  }
  return true;
}

// Runs the chains of kLanes lanes side by side over offsets [from, to): each
// cell's sum (in sums, lane by lane kBlock apart) plus its left neighbour's
// new value, divided by the lane's multiplier; the result replaces the sum.
// With the lane count fixed the chains stay in registers and overlap; with
// kShared (not 0) every lane divides by that constant.
// Not inlined: on its own the compiler keeps every chain in a register.
template <int kLanes, uint32_t kShared>
__attribute__((noinline)) void runChains(uint32_t* sums, uint32_t* left,
                                         const uint32_t* multipliers,
                                         int32_t from, int32_t to) {
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

// The divisor of inner cells of inner rows: nine neighbours.
constexpr uint32_t kNineMultiplier = meanMultiplier(9);

static_assert(kBandRows == 8, "runChains dispatches up to 8 lanes");

// One band of rows (count <= kBandRows), their decoded rows in band[], the
// final row above in up and the untouched row below in down. Row lane runs
// block step - 2 x lane in each step, so that the row above has finished
// the next block and the row below has not yet reached the previous one.
void smoothBand(const SmoothRows& rows, int32_t firstRow, uint32_t* const* band,
                int32_t count, const uint32_t* up, const uint32_t* down) {
  const int32_t width = rows.width;
  const int32_t blocks = (width + kBlock - 1) / kBlock;
  const uint32_t* rowMultipliers[kBandRows];
  for (int32_t lane = 0; lane < count; ++lane) {
    int32_t row = firstRow + lane;
    int32_t reach = 1 + (row > 0) + (row < rows.height - 1);
    rowMultipliers[lane] = rows.multipliers[reach - 1];
  }
  uint32_t* sums = rows.sums[0];
  for (int32_t step = 0; step < blocks + 2 * (count - 1); ++step) {
    // The active lanes, packed: their sums lie kBlock apart from sums.
    int32_t lanes[kBandRows];
    int32_t starts[kBandRows];
    int32_t lengths[kBandRows];
    uint32_t left[kBandRows];
    uint32_t multipliers[kBandRows];
    int32_t active = 0;
    for (int32_t lane = 0; lane < count; ++lane) {
      int32_t block = step - 2 * lane;
      if (block < 0 || block >= blocks) continue;
      int32_t start = block * kBlock;
      int32_t length = std::min(kBlock, width - start);
      const uint32_t* above = lane == 0 ? up : band[lane - 1];
      const uint32_t* below = lane == count - 1 ? down : band[lane + 1];
      neighbourSums(above + start, band[lane] + start, below + start,
                    sums + active * kBlock, length);
      lanes[active] = lane;
      starts[active] = start;
      lengths[active] = length;
      left[active] = band[lane][start - 1];
      // Columns 1 ... width-2 share their row's multiplier.
      multipliers[active] = rowMultipliers[lane][width > 2 ? 1 : 0];
      ++active;
    }
    // Offsets where every active lane is on an inner column (not the first
    // or last of the image): there all lanes run together.
    int32_t from = 0;
    int32_t to = kBlock;
    for (int32_t i = 0; i < active; ++i) {
      if (starts[i] == 0) from = 1;
      int32_t end = lengths[i];
      if (starts[i] + end == width) --end;
      to = std::min(to, end);
    }
    auto single = [&](int32_t i, int32_t offset) {
      uint32_t* cell = sums + i * kBlock + offset;
      left[i] =
          meanOf(*cell + left[i], rowMultipliers[lanes[i]][starts[i] + offset]);
      *cell = left[i];
    };
    for (int32_t i = 0; i < active; ++i) {
      for (int32_t offset = 0; offset < std::min(from, lengths[i]); ++offset) {
        single(i, offset);
      }
    }
    if (from < to) {
      bool allNine = true;
      for (int32_t i = 0; i < active; ++i) {
        allNine = allNine && multipliers[i] == kNineMultiplier;
      }
      if (allNine) {
        runChains<kNineMultiplier>(active, sums, left, multipliers, from, to);
      } else {
        runChains<0>(active, sums, left, multipliers, from, to);
      }
    }
    for (int32_t i = 0; i < active; ++i) {
      for (int32_t offset = std::max(from, to); offset < lengths[i]; ++offset) {
        single(i, offset);
      }
      std::memcpy(band[lanes[i]] + starts[i], sums + i * kBlock,
                  static_cast<size_t>(lengths[i]) * sizeof(uint32_t));
    }
  }
}

// Runs passes (1 ... rows.group) over the image together. At time t pass
// p smooths band t - p, after pass p - 1 has finished band t - p + 1: so
// the rows it reads above are its own, its band and the row below are as
// the previous pass left them, and the previous pass needs none of them
// any more.
// Reports bands smoothed, counted over every pass of the run: the group's
// first band-pass is number doneBefore.
void smoothPassGroup(const SmoothRows& rows, const BytePlane& red,
                     const BytePlane& green, int32_t passes,
                     const Progress* progress, int64_t doneBefore,
                     int64_t total) {
  const int32_t width = rows.width;
  const int32_t height = rows.height;
  const int32_t bands = (height + kBandRows - 1) / kBandRows;
  int32_t decoded = 0;  // rows 0 ... decoded - 1 are in the ring
  for (int32_t time = 0; time < bands + passes - 1; ++time) {
    for (int32_t pass = 0; pass < passes; ++pass) {
      int32_t bandIndex = time - pass;
      if (bandIndex < 0 || bandIndex >= bands) continue;
      int32_t first = bandIndex * kBandRows;
      int32_t count = std::min(kBandRows, height - first);
      int32_t below = first + count;
      for (; decoded <= std::min(below, height - 1); ++decoded) {
        decodeRow(red[decoded], green[decoded], rows.row(decoded), width);
      }
      uint32_t* band[kBandRows];
      for (int32_t lane = 0; lane < count; ++lane) {
        band[lane] = rows.row(first + lane);
      }
      const uint32_t* up = first > 0 ? rows.row(first - 1) : rows.zeroRow;
      const uint32_t* down = below < height ? rows.row(below) : rows.zeroRow;
      smoothBand(rows, first, band, count, up, down);
      if (pass == passes - 1) {
        for (int32_t lane = 0; lane < count; ++lane) {
          encodeRow(band[lane], red[first + lane], green[first + lane], width);
        }
      }
      reportProgress(progress, ++doneBefore, total);
    }
  }
}

}  // namespace

int32_t truncateToInt32(double x) {
  if (x != x) return 0;
  if (x >= 2147483648.0) return INT32_MAX;
  if (x <= -2147483649.0) return INT32_MIN;
  return static_cast<int32_t>(x);
}

ScaleOutcome scaleHeights(float* scale, const PlaneSet& planes, int32_t width,
                          int32_t height) {
  ScaleOutcome outcome;
  HeightMap map;
  map.scaled = true;
  HeightRange range = kAllHeights;
  if (*scale == 0.0f) {
    range = findHeightRange(planes.inRed, planes.inGreen, width, height);
    NormalizationFactor normalization = normalizationFactor(range);
    *scale = normalization.scale;
    map.ceiling = normalization.ceiling;
    // Normalization shifts the heights to start at 0 before they are
    // scaled; both happen in one pass here. The shifted heights never wrap
    // (a lowest height above 0 leaves the highest below 65280), so the
    // result is the same as rewriting the source first.
    map.shift = -static_cast<int64_t>(range.min);
    outcome.normalized = true;
    outcome.reciprocal = 1 / *scale;
  }
  map.factor = static_cast<double>(*scale);
  mapHeights(map, range, planes.inRed, planes.inGreen, planes.outRed,
             planes.outGreen, width, height);
  return outcome;
}

NormalizationFactor normalizationFactor(HeightRange range) {
  NormalizationFactor result;
  result.ceiling = 255;
  float span = static_cast<float>(range.max - range.min);
  result.scale = span == 0.0f ? 1.0f : static_cast<float>(255.0 / span);
  return result;
}

void smoothHeightsDirect(int32_t passes, const BytePlane& outRed,
                         const BytePlane& outGreen, int32_t width,
                         int32_t height) {
  for (int32_t pass = 0; pass < passes; ++pass) {
    for (int32_t row = 0; row < height; ++row) {
      for (int32_t column = 0; column < width; ++column) {
        int32_t sum = 0;
        int32_t count = 0;
        for (int32_t r = row - 1; r <= row + 1; ++r) {
          if (r < 0 || r >= height) continue;
          for (int32_t c = column - 1; c <= column + 1; ++c) {
            if (c < 0 || c >= width) continue;
            sum += decodeHeight(outRed[r][c], outGreen[r][c]);
            ++count;
          }
        }
        encodeHeight(sum / count, &outRed[row][column], &outGreen[row][column]);
      }
    }
  }
}

void smoothHeights(int32_t passes, const BytePlane& outRed,
                   const BytePlane& outGreen, int32_t width, int32_t height,
                   const Progress* progress) {
  if (passes <= 0) return;
  SmoothRows rows;
  if (!prepareSmoothRows(&rows, width, height, passes)) {
    // Without working rows the same passes run straight on the planes.
    smoothHeightsDirect(passes, outRed, outGreen, width, height);
    return;
  }
  const int64_t bands = (height + kBandRows - 1) / kBandRows;
  for (int32_t done = 0; done < passes; done += rows.group) {
    smoothPassGroup(rows, outRed, outGreen, std::min(rows.group, passes - done),
                    progress, bands * done, bands * passes);
  }
}

void applyMinimumElevation(int32_t minimum, const BytePlane& outRed,
                           const BytePlane& outGreen, int32_t width,
                           int32_t height) {
  HeightRange range = findHeightRange(outRed, outGreen, width, height);
  if (minimum == range.min) return;
  // In 64 bits: a requested minimum near either end of the 32-bit range
  // would overflow the shift or the shifted heights.
  HeightMap map;
  map.shift = static_cast<int64_t>(minimum) - range.min;
  mapHeights(map, range, outRed, outGreen, outRed, outGreen, width, height);
}
