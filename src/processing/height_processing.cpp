#include "processing/height_processing.h"

#include <cstdint>

namespace {

// Stores a shifted height that may leave the 32-bit range by the same rule as
// encodeHeight: remainder and quotient by 255, truncating, low 8 bits each.
void encodeWideHeight(int64_t value, uint8_t* red, uint8_t* green) {
  *red = static_cast<uint8_t>(value % kHeightBase);
  *green = static_cast<uint8_t>(value / kHeightBase);
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
  int32_t ceiling = 0;
  if (*scale == 0.0f) {
    normalizeHeights(scale, &ceiling, planes.inRed, planes.inGreen, width,
                     height);
    outcome.normalized = true;
    outcome.reciprocal = 1 / *scale;
  }
  double factor = static_cast<double>(*scale);
  for (int32_t row = 0; row < height; ++row) {
    const uint8_t* inRed = planes.inRed[row];
    const uint8_t* inGreen = planes.inGreen[row];
    const uint8_t* inBlue = planes.inBlue[row];
    uint8_t* outRed = planes.outRed[row];
    uint8_t* outGreen = planes.outGreen[row];
    uint8_t* outBlue = planes.outBlue[row];
    for (int32_t column = 0; column < width; ++column) {
      HeightValue value = decodeHeight(inRed[column], inGreen[column]);
      int32_t scaled = truncateToInt32(value * factor);
      if (ceiling != 0 && scaled > ceiling) scaled = ceiling;
      encodeHeight(scaled, &outRed[column], &outGreen[column]);
      outBlue[column] = inBlue[column];
    }
  }
  return outcome;
}

void normalizeHeights(float* scale, int32_t* ceiling, const BytePlane& inRed,
                      const BytePlane& inGreen, int32_t width, int32_t height) {
  HeightRange range = findHeightRange(inRed, inGreen, width, height);
  if (range.min != 0) {
    for (int32_t row = 0; row < height; ++row) {
      for (int32_t column = 0; column < width; ++column) {
        HeightValue value =
            decodeHeight(inRed[row][column], inGreen[row][column]);
        encodeHeight(value - range.min, &inRed[row][column],
                     &inGreen[row][column]);
      }
    }
  }
  range = findHeightRange(inRed, inGreen, width, height);
  *ceiling = 255;
  float span = static_cast<float>(range.max - range.min);
  *scale = span == 0.0f ? 1.0f : static_cast<float>(255.0 / span);
}

void smoothHeights(int32_t passes, const BytePlane& outRed,
                   const BytePlane& outGreen, int32_t width, int32_t height) {
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

void applyMinimumElevation(int32_t minimum, const BytePlane& outRed,
                           const BytePlane& outGreen, int32_t width,
                           int32_t height) {
  HeightRange range = findHeightRange(outRed, outGreen, width, height);
  if (minimum == range.min) return;
  // In 64 bits: a requested minimum near either end of the 32-bit range
  // would overflow the shift or the shifted heights.
  int64_t delta = static_cast<int64_t>(minimum) - range.min;
  for (int32_t row = 0; row < height; ++row) {
    for (int32_t column = 0; column < width; ++column) {
      HeightValue value =
          decodeHeight(outRed[row][column], outGreen[row][column]);
      encodeWideHeight(value + delta, &outRed[row][column],
                       &outGreen[row][column]);
    }
  }
}
