#include "support/bitmap_builder.h"

#include <algorithm>
#include <cmath>
#include <cstddef>

#include "image/little_endian.h"

std::vector<uint8_t> buildBitmap(const BitmapPlan& plan) {
  const size_t bytesPerPixel = plan.bitsPerPixel == 8 ? 1 : 3;
  const size_t rows = static_cast<size_t>(
      plan.height < 0 ? -static_cast<int64_t>(plan.height) : plan.height);
  const size_t rowBytes = bytesPerPixel * static_cast<size_t>(plan.width);
  const size_t stride = plan.padRows ? (rowBytes + 3) / 4 * 4 : rowBytes;
  const size_t palette = plan.bitsPerPixel == 8 ? 1024 : 0;
  const size_t offset = 54 + palette;
  const size_t total = offset + stride * rows + plan.tail.size();

  std::vector<uint8_t> file(total, 0);
  uint8_t* bytes = file.data();
  bytes[0] = 'B';
  bytes[1] = 'M';
  storeLe32(bytes + 2, static_cast<uint32_t>(total));
  storeLe32(bytes + 10, static_cast<uint32_t>(offset));
  storeLe32(bytes + 14, 40);
  storeLe32(bytes + 18, static_cast<uint32_t>(plan.width));
  storeLe32(bytes + 22, static_cast<uint32_t>(plan.height));
  storeLe16(bytes + 26, 1);
  storeLe16(bytes + 28, static_cast<uint16_t>(plan.bitsPerPixel));
  if (plan.writeImageSize) {
    storeLe32(bytes + 34, static_cast<uint32_t>(stride * rows));
  }
  storeLe32(bytes + 38, 2835);
  storeLe32(bytes + 42, 2835);
  if (palette != 0) {
    storeLe32(bytes + 46, 256);
    for (size_t index = 0; index < 256; ++index) {
      uint8_t* entry = bytes + 54 + 4 * index;
      entry[0] = entry[1] = entry[2] = static_cast<uint8_t>(index);
    }
  }
  for (size_t row = 0; row < rows; ++row) {
    size_t from = row * rowBytes;
    if (from >= plan.pixels.size()) break;
    size_t count = plan.pixels.size() - from < rowBytes
                       ? plan.pixels.size() - from
                       : rowBytes;
    std::copy(plan.pixels.begin() + static_cast<ptrdiff_t>(from),
              plan.pixels.begin() + static_cast<ptrdiff_t>(from + count),
              file.begin() + static_cast<ptrdiff_t>(offset + row * stride));
  }
  std::copy(plan.tail.begin(), plan.tail.end(),
            file.begin() + static_cast<ptrdiff_t>(offset + stride * rows));
  return file;
}

namespace {

// A reproducible value in [0, 1) for a lattice point.
double latticeValue(int64_t x, int64_t y, uint32_t seed) {
  uint64_t hash = static_cast<uint64_t>(x) * 0x9E3779B97F4A7C15ull ^
                  static_cast<uint64_t>(y) * 0xC2B2AE3D27D4EB4Full ^
                  (static_cast<uint64_t>(seed) + 1) * 0x165667B19E3779F9ull;
  hash ^= hash >> 29;
  hash *= 0xBF58476D1CE4E5B9ull;
  hash ^= hash >> 32;
  return static_cast<double>(hash >> 11) / 9007199254740992.0;
}

// Value noise: lattice values blended with a smooth step, in [0, 1).
double valueNoise(double x, double y, uint32_t seed) {
  double cellX = std::floor(x);
  double cellY = std::floor(y);
  int64_t ix = static_cast<int64_t>(cellX);
  int64_t iy = static_cast<int64_t>(cellY);
  double fx = x - cellX;
  double fy = y - cellY;
  double sx = fx * fx * (3.0 - 2.0 * fx);
  double sy = fy * fy * (3.0 - 2.0 * fy);
  double top =
      latticeValue(ix, iy, seed) +
      sx * (latticeValue(ix + 1, iy, seed) - latticeValue(ix, iy, seed));
  double bottom = latticeValue(ix, iy + 1, seed) +
                  sx * (latticeValue(ix + 1, iy + 1, seed) -
                        latticeValue(ix, iy + 1, seed));
  return top + sy * (bottom - top);
}

}  // namespace

std::vector<HeightValue> makeTerrain(int32_t width, int32_t height,
                                     HeightValue maxHeight, uint32_t seed) {
  std::vector<HeightValue> heights(static_cast<size_t>(width) *
                                   static_cast<size_t>(height));
  // Octaves from a few hills across the map down to features of about two
  // pixels; ridged (1 - |2n - 1|) so that crests are sharp, as in mountains.
  const double base = 4.0 / std::max(width, height);
  const int octaves = 9;
  double total = 0.0;
  for (int octave = 0; octave < octaves; ++octave) {
    total += std::pow(0.55, octave);
  }
  for (int32_t row = 0; row < height; ++row) {
    for (int32_t column = 0; column < width; ++column) {
      double value = 0.0;
      double frequency = base;
      double amplitude = 1.0;
      for (int octave = 0; octave < octaves; ++octave) {
        double noise = valueNoise(column * frequency, row * frequency,
                                  seed + static_cast<uint32_t>(octave));
        value += amplitude * (1.0 - std::fabs(2.0 * noise - 1.0));
        frequency *= 2.0;
        amplitude *= 0.55;
      }
      value /= total;
      heights[static_cast<size_t>(row) * static_cast<size_t>(width) +
              static_cast<size_t>(column)] =
          static_cast<HeightValue>(std::min(1.0, std::max(0.0, value)) *
                                   maxHeight);
    }
  }
  return heights;
}

std::vector<uint8_t> pixelsFromHeights(const std::vector<HeightValue>& heights,
                                       int32_t width, int32_t height,
                                       int bitsPerPixel) {
  const size_t bytesPerPixel = bitsPerPixel == 8 ? 1 : 3;
  const size_t columns = static_cast<size_t>(width);
  std::vector<uint8_t> pixels(bytesPerPixel * columns *
                              static_cast<size_t>(height));
  for (int32_t fileRow = 0; fileRow < height; ++fileRow) {
    // Bottom-up: the first file row is the image's bottom row.
    const HeightValue* source =
        heights.data() + static_cast<size_t>(height - 1 - fileRow) * columns;
    uint8_t* target =
        pixels.data() + static_cast<size_t>(fileRow) * columns * bytesPerPixel;
    for (size_t column = 0; column < columns; ++column) {
      if (bitsPerPixel == 8) {
        target[column] = static_cast<uint8_t>(source[column]);
      } else {
        target[3 * column] = 0;
        encodeHeight(source[column], &target[3 * column + 2],
                     &target[3 * column + 1]);
      }
    }
  }
  return pixels;
}
