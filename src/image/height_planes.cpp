#include "image/height_planes.h"

#include <algorithm>
#include <cstdint>
#include <cstdlib>

#include "platform/memory.h"

namespace {

constexpr int kPlaneCount = 3;

BytePlane* sourcePlane(PlaneSet* planes, int index) {
  BytePlane* all[kPlaneCount] = {&planes->inRed, &planes->inGreen,
                                 &planes->inBlue};
  return all[index];
}

BytePlane* targetPlane(PlaneSet* planes, int index) {
  BytePlane* all[kPlaneCount] = {&planes->outRed, &planes->outGreen,
                                 &planes->outBlue};
  return all[index];
}

// Each plane starts on a cache line of its own.
size_t planeBytes(size_t pixels) { return (pixels + 63) / 64 * 64; }

}  // namespace

bool allocatePlanes(PlaneSet* planes, int32_t width, int32_t height,
                    std::string* error, BlueUse blue) {
  *planes = PlaneSet();
  if (width < 1 || height < 1) {
    *error = "Image has no pixels";
    return false;
  }
  // Sizes in 64 bits first: the planes must be addressable as one block.
  uint64_t pixels =
      static_cast<uint64_t>(width) * static_cast<uint64_t>(height);
  uint64_t table = static_cast<uint64_t>(height) * sizeof(uint8_t*);
  if (pixels > PTRDIFF_MAX / 4 || table > PTRDIFF_MAX / 4) {
    *error = "Image is too large for this system's memory";
    return false;
  }
  const size_t columns = static_cast<size_t>(width);
  const size_t rows = static_cast<size_t>(height);
  const size_t plane = planeBytes(columns * rows);
  // One block for red and green, one for blue (marks are mostly none: a
  // plane of them costs memory only where one is written), one for the
  // row tables.
  uint8_t* block = static_cast<uint8_t*>(allocateLargeBlock(2 * plane));
  uint8_t* blueBlock = static_cast<uint8_t*>(blue == BlueUse::kMarks
                                                 ? allocateZeroBlock(plane)
                                                 : allocateLargeBlock(plane));
  uint8_t** tables = static_cast<uint8_t**>(
      std::malloc(kPlaneCount * rows * sizeof(uint8_t*)));
  if (block == nullptr || blueBlock == nullptr || tables == nullptr) {
    releaseLargeBlock(block, 2 * plane);
    releaseLargeBlock(blueBlock, plane);
    std::free(tables);
    *error = "Not enough memory for the height planes of " +
             std::to_string(width) + " x " + std::to_string(height) + " pixels";
    return false;
  }
  planes->width = width;
  planes->height = height;
  planes->blueZero = blue == BlueUse::kMarks;
  for (int index = 0; index < kPlaneCount; ++index) {
    BytePlane* source = sourcePlane(planes, index);
    source->rows = tables + static_cast<size_t>(index) * rows;
    uint8_t* first =
        index < 2 ? block + static_cast<size_t>(index) * plane : blueBlock;
    for (size_t row = 0; row < rows; ++row) {
      source->rows[row] = first + row * columns;
    }
    *targetPlane(planes, index) = *source;
  }
  return true;
}

bool adoptHeightBlock(PlaneSet* planes, uint8_t* block, size_t bytes,
                      int32_t width, int32_t height, std::string* error) {
  *planes = PlaneSet();
  const size_t columns = static_cast<size_t>(width);
  const size_t rows = static_cast<size_t>(height);
  const size_t plane = planeBytes(columns * rows);
  uint8_t* blueBlock = static_cast<uint8_t*>(allocateZeroBlock(plane));
  uint8_t** tables = static_cast<uint8_t**>(
      std::malloc(kPlaneCount * rows * sizeof(uint8_t*)));
  if (block == nullptr || bytes < 2 * columns * rows || blueBlock == nullptr ||
      tables == nullptr) {
    releaseLargeBlock(blueBlock, plane);
    std::free(tables);
    *error = "Not enough memory for the height planes of " +
             std::to_string(width) + " x " + std::to_string(height) + " pixels";
    return false;
  }
  planes->width = width;
  planes->height = height;
  planes->blueZero = true;
  planes->heightBlockBytes = bytes;
  for (int index = 0; index < kPlaneCount; ++index) {
    sourcePlane(planes, index)->rows =
        tables + static_cast<size_t>(index) * rows;
  }
  // Row r's red and green take bytes 2r x width on: before the rest of
  // whatever the block held from row r on, four bytes a pixel or more.
  for (size_t row = 0; row < rows; ++row) {
    planes->inRed.rows[row] = block + 2 * row * columns;
    planes->inGreen.rows[row] = block + 2 * row * columns + columns;
    planes->inBlue.rows[row] = blueBlock + row * columns;
  }
  for (int index = 0; index < kPlaneCount; ++index) {
    *targetPlane(planes, index) = *sourcePlane(planes, index);
  }
  return true;
}

void releasePlanes(PlaneSet* planes) {
  // The target planes share the source planes' blocks, and the red plane's
  // table and first row begin the tables' block and red and green's.
  if (planes->inRed.rows != nullptr) {
    size_t pixels = static_cast<size_t>(planes->width) *
                    static_cast<size_t>(planes->height);
    releaseLargeBlock(planes->inBlue.rows[0], planeBytes(pixels));
    releaseLargeBlock(planes->inRed.rows[0], planes->heightBlockBytes != 0
                                                 ? planes->heightBlockBytes
                                                 : 2 * planeBytes(pixels));
    std::free(planes->inRed.rows);
  }
  *planes = PlaneSet();
}

namespace {

template <HeightValue kBase>
HeightRange scanRange(const BytePlane& lowPlane, const BytePlane& highPlane,
                      int32_t width, int32_t height) {
  HeightRange range;
  range.min = range.max =
      decodeHeightIn<kBase>(lowPlane[0][0], highPlane[0][0]);
  for (int32_t row = 0; row < height; ++row) {
    const uint8_t* low = lowPlane[row];
    const uint8_t* high = highPlane[row];
    // Branchless, so that the compilers vectorize it (the browser build's
    // too).
    HeightValue least = range.min;
    HeightValue most = range.max;
    for (int32_t column = 0; column < width; ++column) {
      HeightValue value = decodeHeightIn<kBase>(low[column], high[column]);
      least = std::min(least, value);
      most = std::max(most, value);
    }
    range.min = least;
    range.max = most;
  }
  return range;
}

}  // namespace

HeightRange findHeightRange(const BytePlane& lowPlane,
                            const BytePlane& highPlane, int32_t width,
                            int32_t height, HeightValue base) {
  if (width < 1 || height < 1) return HeightRange();
  return base == kWideBase
             ? scanRange<kWideBase>(lowPlane, highPlane, width, height)
             : scanRange<kHeightBase>(lowPlane, highPlane, width, height);
}
