#include "image/height_planes.h"

#include <cstdint>
#include <cstdlib>

#include "platform/memory.h"

namespace {

constexpr int kBlockCount = 3;

BytePlane* sourcePlane(PlaneSet* planes, int index) {
  BytePlane* all[kBlockCount] = {&planes->inRed, &planes->inGreen,
                                 &planes->inBlue};
  return all[index];
}

BytePlane* targetPlane(PlaneSet* planes, int index) {
  BytePlane* all[kBlockCount] = {&planes->outRed, &planes->outGreen,
                                 &planes->outBlue};
  return all[index];
}

// Each plane is one block reached through its row table, so that a whole
// plane is allocated and released at once.
bool allocatePlane(BytePlane* plane, size_t width, size_t height) {
  plane->rows = static_cast<uint8_t**>(std::malloc(height * sizeof(uint8_t*)));
  if (plane->rows == nullptr) return false;
  uint8_t* block = static_cast<uint8_t*>(allocateLargeBlock(width * height));
  if (block == nullptr) {
    std::free(plane->rows);
    plane->rows = nullptr;
    return false;
  }
  for (size_t row = 0; row < height; ++row) {
    plane->rows[row] = block + row * width;
  }
  return true;
}

void releasePlane(BytePlane* plane, size_t bytes) {
  if (plane->rows == nullptr) return;
  releaseLargeBlock(plane->rows[0], bytes);
  std::free(plane->rows);
  plane->rows = nullptr;
}

}  // namespace

bool allocatePlanes(PlaneSet* planes, int32_t width, int32_t height,
                    std::string* error) {
  *planes = PlaneSet();
  if (width < 1 || height < 1) {
    *error = "Image has no pixels";
    return false;
  }
  // Sizes in 64 bits first: a plane must be addressable as one block.
  uint64_t pixels =
      static_cast<uint64_t>(width) * static_cast<uint64_t>(height);
  uint64_t table = static_cast<uint64_t>(height) * sizeof(uint8_t*);
  if (pixels > PTRDIFF_MAX / 2 || table > PTRDIFF_MAX) {
    *error = "Image is too large for this system's memory";
    return false;
  }
  planes->width = width;
  planes->height = height;
  for (int index = 0; index < kBlockCount; ++index) {
    if (!allocatePlane(sourcePlane(planes, index), static_cast<size_t>(width),
                       static_cast<size_t>(height))) {
      releasePlanes(planes);
      *error = "Not enough memory for the height planes of " +
               std::to_string(width) + " x " + std::to_string(height) +
               " pixels";
      return false;
    }
    *targetPlane(planes, index) = *sourcePlane(planes, index);
  }
  return true;
}

void releasePlanes(PlaneSet* planes) {
  size_t bytes =
      static_cast<size_t>(planes->width) * static_cast<size_t>(planes->height);
  // The target planes share the source planes' blocks: free each once.
  for (int index = 0; index < kBlockCount; ++index) {
    releasePlane(sourcePlane(planes, index), bytes);
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
    for (int32_t column = 0; column < width; ++column) {
      HeightValue value = decodeHeightIn<kBase>(low[column], high[column]);
      if (value < range.min) range.min = value;
      if (value > range.max) range.max = value;
    }
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
