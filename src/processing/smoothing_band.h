// The band kernel of the row engine: one band of decoded rows smoothed by
// one pass, their left-to-right chains advancing side by side; and the row
// decoding both smoothing engines share.
#ifndef QUILLORN_PROCESSING_SMOOTHING_BAND_H_
#define QUILLORN_PROCESSING_SMOOTHING_BAND_H_

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <memory>

#include "image/height_planes.h"
#include "image/progress.h"
#include "platform/memory.h"

// Decodes width heights of planes in base (255 or 256) into heights.
void decodeHeightRow(int32_t base, const uint8_t* red, const uint8_t* green,
                     uint32_t* heights, int32_t width);
// Encodes width heights (0 ... 65535, below 65280 in base 255) into planes.
void encodeHeightRow(int32_t base, const uint32_t* heights, uint8_t* red,
                     uint8_t* green, int32_t width);

// True when the first pass's mean of cell (0, 0) is 65280, which base 255
// stores as 0: every neighbour of the cell in the image holds 65280. No
// other mean can wrap: each other cell has a neighbour already smoothed in
// its pass (to the left or above), which holds less, and after the first
// pass no cell holds 65280 (planes in base, 255 or 256).
bool firstMeanWraps(const BytePlane& red, const BytePlane& green, int32_t width,
                    int32_t height, HeightValue base);

// The working memory smoothing may take beside the planes, in bytes.
size_t smoothingBudget(int32_t width, int32_t height);

// Runs passes in groups of at most group, each by runGroup(passes of the
// group, bands done before it, bands in all), bands counted over every
// pass; stops after a group whose last pass changed nothing (runGroup
// returns false), and reports the whole as done.
template <class RunGroup>
void runPassGroups(int32_t passes, int32_t group, int64_t bands,
                   const Progress* progress, RunGroup runGroup) {
  // In 64 bits, the count cannot wrap near INT32_MAX passes. A pass that
  // changes no height leaves the next one the same picture, so every later
  // pass would change nothing either: the result is complete.
  for (int64_t done = 0; done < passes; done += group) {
    int32_t count =
        static_cast<int32_t>(std::min<int64_t>(group, int64_t{passes} - done));
    if (!runGroup(count, bands * done, bands * passes)) break;
  }
  reportProgress(progress, bands * passes, bands * passes);
}

// A neighbourhood sum of count heights divided by count, truncated, as a
// multiply and a shift: exact for every count that occurs (1, 2, 3, 4, 6, 9)
// and every sum up to count x 65280.
inline constexpr int kMeanShift = 23;

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
inline constexpr int32_t kBlock = 256;
// Rows smoothed side by side: their left-to-right chains are independent.
inline constexpr int32_t kBandRows = 8;

// Working rows for the smoothing of one image, allocated once for all passes.
struct SmoothRows {
  int32_t width = 0;
  int32_t height = 0;
  size_t stride = 0;            // width + 2 padding columns
  LargeBlock storage;           // zero row, ring rows, sums, divisor rows
  uint32_t* zeroRow = nullptr;  // column 0 of an all-zero row
  // Passes run together; decoded rows in flight: image row r lives in
  // ring[r % ringRows].
  int32_t group = 1;
  int32_t ringRows = 0;
  std::unique_ptr<uint32_t*[]> ring;
  uint32_t* sums = nullptr;  // kBandRows blocks of kBlock sums, one per lane
  // multipliers[n - 1][k]: divisor for a cell of a row with n rows in reach.
  const uint32_t* multipliers[3] = {};
  // Until the first pass has smoothed band 0: its first mean wraps.
  bool wrapFirst = false;

  uint32_t* row(int32_t index) const {
    return ring[static_cast<size_t>(index % ringRows)];
  }
};

// Smooths one band of rows (count <= kBandRows, the first being image row
// firstRow) by one pass: their decoded rows in band[], the final row above in
// up and the untouched row below in down (rows.zeroRow at the image's edges).
// Each row is rewritten in place. With changed, *changed is set when a
// height of the band changed (and left alone otherwise). With wrap, a mean
// of 65280 at a row's ends is stored as 0 (see firstMeanWraps).
void smoothBand(const SmoothRows& rows, int32_t firstRow, uint32_t* const* band,
                int32_t count, const uint32_t* up, const uint32_t* down,
                bool wrap, bool* changed);

// The row engine: passes in bands of kBandRows decoded rows. Returns false,
// with the planes untouched, when its working rows would break the memory
// bound or memory is short.
bool smoothHeightsInRows(int32_t passes, BytePlane* outRed, BytePlane* outGreen,
                         int32_t width, int32_t height, HeightValue base,
                         const Progress* progress);

#endif  // QUILLORN_PROCESSING_SMOOTHING_BAND_H_
