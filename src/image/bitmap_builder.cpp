#include "image/bitmap_builder.h"

#include <algorithm>
#include <cmath>
#include <cstddef>

#include "image/little_endian.h"

std::vector<uint8_t> buildBitmap(const BitmapSpec& spec) {
  const size_t bytesPerPixel = spec.bitsPerPixel == 8 ? 1 : 3;
  const size_t rows = static_cast<size_t>(
      spec.height < 0 ? -static_cast<int64_t>(spec.height) : spec.height);
  const size_t rowBytes = bytesPerPixel * static_cast<size_t>(spec.width);
  const size_t stride = spec.padRows ? (rowBytes + 3) / 4 * 4 : rowBytes;
  const size_t palette = spec.bitsPerPixel == 8 ? 1024 : 0;
  const size_t offset = 54 + palette;
  const size_t total = offset + stride * rows + spec.tail.size();

  std::vector<uint8_t> file(total, 0);
  uint8_t* bytes = file.data();
  bytes[0] = 'B';
  bytes[1] = 'M';
  storeLe32(bytes + 2, static_cast<uint32_t>(total));
  storeLe32(bytes + 10, static_cast<uint32_t>(offset));
  storeLe32(bytes + 14, 40);
  storeLe32(bytes + 18, static_cast<uint32_t>(spec.width));
  storeLe32(bytes + 22, static_cast<uint32_t>(spec.height));
  storeLe16(bytes + 26, 1);
  storeLe16(bytes + 28, static_cast<uint16_t>(spec.bitsPerPixel));
  if (spec.writeImageSize) {
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
    if (from >= spec.pixels.size()) break;
    size_t count = spec.pixels.size() - from < rowBytes
                       ? spec.pixels.size() - from
                       : rowBytes;
    std::copy(spec.pixels.begin() + static_cast<ptrdiff_t>(from),
              spec.pixels.begin() + static_cast<ptrdiff_t>(from + count),
              file.begin() + static_cast<ptrdiff_t>(offset + row * stride));
  }
  std::copy(spec.tail.begin(), spec.tail.end(),
            file.begin() + static_cast<ptrdiff_t>(offset + stride * rows));
  return file;
}

std::vector<HeightValue> makeTerrain(int32_t width, int32_t height,
                                     HeightValue maxHeight, uint32_t seed) {
  std::vector<HeightValue> heights(static_cast<size_t>(width) *
                                   static_cast<size_t>(height));
  double phase = (seed % 1000) * 0.001 * 6.283185307179586;
  uint32_t noise = seed * 2654435761u + 1u;
  for (int32_t row = 0; row < height; ++row) {
    double y = static_cast<double>(row) / height;
    for (int32_t column = 0; column < width; ++column) {
      double x = static_cast<double>(column) / width;
      double ridge = std::sin(6.0 * x + phase) * std::cos(4.0 * y - phase);
      double hills =
          std::sin(23.0 * (x + y) + 2.0 * phase) * std::sin(17.0 * (x - y));
      // xorshift: cheap, reproducible speckle on top of the smooth shape.
      noise ^= noise << 13;
      noise ^= noise >> 17;
      noise ^= noise << 5;
      double speckle = static_cast<double>(noise % 1000) / 1000.0 - 0.5;
      double value = 0.5 + 0.35 * ridge + 0.12 * hills + 0.03 * speckle;
      if (value < 0.0) value = 0.0;
      if (value > 1.0) value = 1.0;
      heights[static_cast<size_t>(row) * static_cast<size_t>(width) +
              static_cast<size_t>(column)] =
          static_cast<HeightValue>(value * maxHeight);
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
