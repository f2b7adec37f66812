// The band kernel of the row engine: one band of decoded rows smoothed by
// one pass, their left-to-right chains advancing side by side, and the
// working rows it runs on.
#ifndef QUILLORN_PROCESSING_SMOOTHING_BAND_H_
#define QUILLORN_PROCESSING_SMOOTHING_BAND_H_

#include <cstddef>
#include <cstdint>
#include <memory>

#include "platform/memory.h"

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

#endif  // QUILLORN_PROCESSING_SMOOTHING_BAND_H_
