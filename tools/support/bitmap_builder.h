// Builds bitmap files in memory: the sample height maps, benchmark inputs,
// fuzzing seeds and test inputs all come from here.
#ifndef QUILLORN_SUPPORT_BITMAP_BUILDER_H_
#define QUILLORN_SUPPORT_BITMAP_BUILDER_H_

#include <cstdint>
#include <vector>

#include "image/height_planes.h"

// A bitmap with a 14-byte file header and a 40-byte info header.
struct BitmapPlan {
  int32_t width = 1;           // pixels per row
  int32_t height = 1;          // rows; negative for a top-down file
  int bitsPerPixel = 24;       // 8 (with a 256-entry grey palette) or 24
  bool padRows = true;         // pad each row to a multiple of 4 bytes
  bool writeImageSize = true;  // fill the image-size field (else 0)
  // Pixel bytes, rows in file order without padding: one byte per pixel for
  // 8 bits, blue, green, red for 24. Missing bytes are written as 0.
  std::vector<uint8_t> pixels;
  std::vector<uint8_t> tail;  // bytes after the pixel rows
};

// The file's bytes, every header size field consistent with its content.
std::vector<uint8_t> buildBitmap(const BitmapPlan& plan);

// A deterministic terrain of width x height heights in 0 ... maxHeight, rows
// top first: ridged fractal noise, from a few hills across the map down to
// two-pixel detail, varied by seed.
std::vector<HeightValue> makeTerrain(int32_t width, int32_t height,
                                     HeightValue maxHeight, uint32_t seed);

// File-order pixel bytes for heights (rows top first) stored bottom-up: 8
// bits take the height's low byte, 24 bits encode it as green x 255 + red
// with blue 0.
std::vector<uint8_t> pixelsFromHeights(const std::vector<HeightValue>& heights,
                                       int32_t width, int32_t height,
                                       int bitsPerPixel);

#endif  // QUILLORN_SUPPORT_BITMAP_BUILDER_H_
