// What both smoothing engines share: rows decoded and encoded, the one mean
// that can wrap, and the working memory they may take.
#include "processing/smoothing_common.h"

#include <algorithm>
#include <cstdint>

#include "platform/compiler.h"

namespace {

template <HeightValue kBase>
QUILLORN_VECTORIZED void decodeRow(const uint8_t* red, const uint8_t* green,
                                   uint32_t* heights, int32_t width) {
  for (int32_t column = 0; column < width; ++column) {
    heights[column] = static_cast<uint32_t>(
        decodeHeightIn<kBase>(red[column], green[column]));
  }
}

// Means never exceed the heights they average, so every value fits.
template <HeightValue kBase>
QUILLORN_VECTORIZED void encodeRow(const uint32_t* heights, uint8_t* red,
                                   uint8_t* green, int32_t width) {
  for (int32_t column = 0; column < width; ++column) {
    encodeSmallHeightIn<kBase>(heights[column], &red[column], &green[column]);
  }
}

// Decoded rows in flight take at most about this much memory; wider images
// run fewer passes together.
constexpr size_t kRingBudget = size_t{32} << 20;

// Beyond the planes and their row tables, the tool promises to need at most
// half a byte per pixel, 24 bytes per column and 16 MiB; the process itself
// (its libraries, stack and file buffers) takes about 10 MiB of that.
constexpr size_t kWorkingBase = size_t{6} << 20;

}  // namespace

void decodeHeightRow(HeightValue base, const uint8_t* red, const uint8_t* green,
                     uint32_t* heights, int32_t width) {
  if (base == kWideBase)
    return decodeRow<kWideBase>(red, green, heights, width);
  decodeRow<kHeightBase>(red, green, heights, width);
}

void encodeHeightRow(HeightValue base, const uint32_t* heights, uint8_t* red,
                     uint8_t* green, int32_t width) {
  if (base == kWideBase)
    return encodeRow<kWideBase>(heights, red, green, width);
  encodeRow<kHeightBase>(heights, red, green, width);
}

bool firstMeanWraps(const BytePlane& red, const BytePlane& green, int32_t width,
                    int32_t height, HeightValue base) {
  if (base != kHeightBase) return false;
  for (int32_t row = 0; row < std::min(height, 2); ++row) {
    for (int32_t column = 0; column < std::min(width, 2); ++column) {
      if (decodeHeight(red[row][column], green[row][column]) <=
          kLargestStoredHeight) {
        return false;
      }
    }
  }
  return true;
}

size_t smoothingBudget(int32_t width, int32_t height) {
  size_t pixels = static_cast<size_t>(width) * static_cast<size_t>(height);
  return std::min(kRingBudget, pixels / 2 + kWorkingBase);
}
