// Per-height transforms: scale conversion, normalization and the minimum
// elevation. Each maps every height of the image by one rule that depends on
// the height alone.
#include "processing/height_processing.h"

#include <algorithm>
#include <cstdint>
#include <memory>
#include <new>

#include "platform/compiler.h"

namespace {

// Every height a plane pair of base can hold: 0 ... 65280 in base 255,
// 0 ... 65535 in base 256.
constexpr int32_t heightCount(HeightValue base) { return 255 * base + 255 + 1; }

// Every height a plane pair of base can hold, as a range.
constexpr HeightRange allHeights(HeightValue base) {
  return HeightRange{0, heightCount(base) - 1};
}

// What a conversion does to one height v: shifted = v + shift, then, when
// scaled, truncateToInt32(shifted x factor) capped at ceiling (0: no cap).
struct HeightTransform {
  int64_t shift = 0;
  bool scaled = false;
  double factor = 1.0;
  int32_t ceiling = 0;
};

int64_t transformed(const HeightTransform& transform, int32_t value) {
  int64_t shifted = value + transform.shift;
  if (!transform.scaled) return shifted;
  int32_t scaled =
      truncateToInt32(static_cast<double>(shifted) * transform.factor);
  return transform.ceiling != 0 && scaled > transform.ceiling
             ? transform.ceiling
             : scaled;
}

// Shift only, every result known to lie in 0 ... largestStoredHeight.
template <HeightValue kBase>
QUILLORN_VECTORIZED void shiftRow(const uint8_t* inRed, const uint8_t* inGreen,
                                  uint8_t* outRed, uint8_t* outGreen,
                                  int32_t width, int32_t shift) {
  for (int32_t column = 0; column < width; ++column) {
    uint32_t value = static_cast<uint32_t>(
        decodeHeightIn<kBase>(inRed[column], inGreen[column]) + shift);
    encodeSmallHeightIn<kBase>(value, &outRed[column], &outGreen[column]);
  }
}

// Shift, scale and cap, every result known to lie in 0 ...
// largestStoredHeight (so the cap is that where there is none).
template <HeightValue kBase>
QUILLORN_VECTORIZED void scaleRow(const uint8_t* inRed, const uint8_t* inGreen,
                                  uint8_t* outRed, uint8_t* outGreen,
                                  int32_t width, int32_t shift, double factor,
                                  int32_t ceiling) {
  for (int32_t column = 0; column < width; ++column) {
    int32_t shifted =
        decodeHeightIn<kBase>(inRed[column], inGreen[column]) + shift;
    int32_t scaled = static_cast<int32_t>(shifted * factor);
    uint32_t value = static_cast<uint32_t>(std::min(scaled, ceiling));
    encodeSmallHeightIn<kBase>(value, &outRed[column], &outGreen[column]);
  }
}

// Any transform, through a table of the stored bytes of every height; ends
// counts, per height, which end of the stored range its result left (0:
// none, 1: below, 2: above), summed into counts.
template <HeightValue kBase>
void tableRow(const uint16_t* table, const uint8_t* ends, const uint8_t* inRed,
              const uint8_t* inGreen, uint8_t* outRed, uint8_t* outGreen,
              int32_t width, int64_t* counts) {
  for (int32_t column = 0; column < width; ++column) {
    HeightValue value = decodeHeightIn<kBase>(inRed[column], inGreen[column]);
    uint16_t bytes = table[value];
    ++counts[ends[value]];
    outRed[column] = static_cast<uint8_t>(bytes);
    outGreen[column] = static_cast<uint8_t>(bytes >> 8);
  }
}

// Applies transform to every pixel whose height lies in range; the target
// may share the source's memory. Where every result is a plainly stored
// height the arithmetic is done in vector registers; elsewhere through a
// table, which also counts the results that left the stored range.
template <HeightValue kBase>
StoreCount transformHeights(const HeightTransform& transform, HeightRange range,
                            const BytePlane& inRed, const BytePlane& inGreen,
                            BytePlane* outRed, BytePlane* outGreen,
                            int32_t width, int32_t height) {
  const int64_t largest = largestStoredHeight(kBase);
  // Transforms are monotonic for factors >= 0: the ends of the range bound
  // them.
  bool arithmetic = (!transform.scaled || transform.factor >= 0.0) &&
                    transformed(transform, range.min) >= 0 &&
                    transformed(transform, range.max) <= largest;
  if (arithmetic) {
    int32_t shift = static_cast<int32_t>(transform.shift);
    int32_t ceiling = transform.ceiling != 0 ? transform.ceiling
                                             : static_cast<int32_t>(largest);
    for (int32_t row = 0; row < height; ++row) {
      if (transform.scaled) {
        scaleRow<kBase>(inRed[row], inGreen[row], (*outRed)[row],
                        (*outGreen)[row], width, shift, transform.factor,
                        ceiling);
      } else {
        shiftRow<kBase>(inRed[row], inGreen[row], (*outRed)[row],
                        (*outGreen)[row], width, shift);
      }
    }
    return StoreCount();
  }
  const size_t count = static_cast<size_t>(heightCount(kBase));
  std::unique_ptr<uint16_t[]> table(new (std::nothrow) uint16_t[count]);
  std::unique_ptr<uint8_t[]> ends(new (std::nothrow) uint8_t[count]);
  if (!table || !ends) table.reset();
  for (int32_t value = range.min; value <= range.max && table; ++value) {
    int64_t result = transformed(transform, value);
    uint8_t red;
    uint8_t green;
    storeHeight(kBase, result, &red, &green);
    table[static_cast<size_t>(value)] = static_cast<uint16_t>(red | green << 8);
    ends[static_cast<size_t>(value)] = result < 0         ? 1
                                       : result > largest ? 2
                                                          : 0;
  }
  int64_t counts[3] = {0, 0, 0};
  for (int32_t row = 0; row < height; ++row) {
    if (table) {
      tableRow<kBase>(table.get(), ends.get(), inRed[row], inGreen[row],
                      (*outRed)[row], (*outGreen)[row], width, counts);
      continue;
    }
    // No memory for the table: the same transform, one pixel at a time.
    for (int32_t column = 0; column < width; ++column) {
      int64_t result = transformed(
          transform,
          decodeHeightIn<kBase>(inRed[row][column], inGreen[row][column]));
      ++counts[result < 0 ? 1 : result > largest ? 2 : 0];
      storeHeight(kBase, result, &(*outRed)[row][column],
                  &(*outGreen)[row][column]);
    }
  }
  StoreCount stored;
  stored.low = counts[1];
  stored.high = counts[2];
  return stored;
}

StoreCount transformHeights(HeightValue base, const HeightTransform& transform,
                            HeightRange range, const BytePlane& inRed,
                            const BytePlane& inGreen, BytePlane* outRed,
                            BytePlane* outGreen, int32_t width,
                            int32_t height) {
  if (base == kWideBase) {
    return transformHeights<kWideBase>(transform, range, inRed, inGreen, outRed,
                                       outGreen, width, height);
  }
  return transformHeights<kHeightBase>(transform, range, inRed, inGreen, outRed,
                                       outGreen, width, height);
}

}  // namespace

int32_t truncateToInt32(double x) {
  if (x != x) return 0;
  if (x >= 2147483648.0) return INT32_MAX;
  if (x <= -2147483649.0) return INT32_MIN;
  return static_cast<int32_t>(x);
}

ScaleOutcome scaleHeights(float scale, PlaneSet* planes, int32_t width,
                          int32_t height) {
  ScaleOutcome outcome;
  outcome.factor = scale;
  HeightTransform transform;
  transform.scaled = true;
  HeightRange range = allHeights(planes->base);
  if (scale == 0.0f) {
    range = findHeightRange(planes->inRed, planes->inGreen, width, height,
                            planes->base);
    NormalizationFactor normalization = normalizationFactor(range);
    outcome.factor = normalization.scale;
    transform.ceiling = normalization.ceiling;
    // Normalization shifts the heights to start at 0 before they are
    // scaled; both happen in one pass here. The shifted heights never wrap
    // (a lowest height above 0 leaves the highest below 65280), so the
    // result is the same as rewriting the source first.
    transform.shift = -static_cast<int64_t>(range.min);
    outcome.normalized = true;
    outcome.lowest = range.min;
    outcome.reciprocal = 1 / outcome.factor;
  }
  transform.factor = static_cast<double>(outcome.factor);
  outcome.stored = transformHeights(
      planes->base, transform, range, planes->inRed, planes->inGreen,
      &planes->outRed, &planes->outGreen, width, height);
  return outcome;
}

NormalizationFactor normalizationFactor(HeightRange range) {
  NormalizationFactor result;
  result.ceiling = 255;
  float span = static_cast<float>(range.max - range.min);
  result.scale = span == 0.0f ? 1.0f : static_cast<float>(255.0 / span);
  return result;
}

StoreCount applyMinimumElevation(int32_t minimum, BytePlane* outRed,
                                 BytePlane* outGreen, int32_t width,
                                 int32_t height, HeightValue base,
                                 int64_t* shift) {
  HeightRange range = findHeightRange(*outRed, *outGreen, width, height, base);
  if (shift != nullptr) *shift = int64_t{minimum} - range.min;
  if (minimum == range.min) return StoreCount();
  // In 64 bits: a requested minimum near either end of the 32-bit range
  // would overflow the shift or the shifted heights.
  HeightTransform transform;
  transform.shift = static_cast<int64_t>(minimum) - range.min;
  return transformHeights(base, transform, range, *outRed, *outGreen, outRed,
                          outGreen, width, height);
}
