#include "image/height_planes.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>

namespace {

BytePlane* planeAt(PlaneSet* planes, int index) {
  BytePlane* all[] = {&planes->inRed,  &planes->inGreen,  &planes->inBlue,
                      &planes->outRed, &planes->outGreen, &planes->outBlue};
  return all[index];
}

constexpr int kPlaneCount = 6;

// Each plane is one block reached through its row table, so that a whole
// plane is allocated and released at once.
bool allocatePlane(BytePlane* plane, size_t width, size_t height) {
  plane->rows = static_cast<uint8_t**>(std::malloc(height * sizeof(uint8_t*)));
  if (plane->rows == nullptr) return false;
  uint8_t* block = static_cast<uint8_t*>(std::malloc(width * height));
  if (block == nullptr) {
    std::free(plane->rows);
    plane->rows = nullptr;
    return false;
  }
  for (size_t row = 0; row < height; ++row)
    plane->rows[row] = block + row * width;
  return true;
}

void releasePlane(BytePlane* plane) {
  if (plane->rows == nullptr) return;
  std::free(plane->rows[0]);
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
  if (pixels > PTRDIFF_MAX || table > PTRDIFF_MAX) {
    *error = "Image is too large for this system's memory";
    return false;
  }
  for (int index = 0; index < kPlaneCount; ++index) {
    if (!allocatePlane(planeAt(planes, index), static_cast<size_t>(width),
                       static_cast<size_t>(height))) {
      releasePlanes(planes);
      *error = "Not enough memory for the height planes of " +
               std::to_string(width) + " x " + std::to_string(height) +
               " pixels";
      return false;
    }
  }
  return true;
}

void releasePlanes(PlaneSet* planes) {
  for (int index = 0; index < kPlaneCount; ++index) {
    releasePlane(planeAt(planes, index));
  }
}

void copySourceToTarget(const PlaneSet& planes, int32_t width, int32_t height) {
  size_t rowBytes = static_cast<size_t>(width);
  for (int32_t row = 0; row < height; ++row) {
    std::memcpy(planes.outRed[row], planes.inRed[row], rowBytes);
    std::memcpy(planes.outGreen[row], planes.inGreen[row], rowBytes);
    std::memcpy(planes.outBlue[row], planes.inBlue[row], rowBytes);
  }
}

HeightRange findHeightRange(const BytePlane& lowPlane,
                            const BytePlane& highPlane, int32_t width,
                            int32_t height) {
  HeightRange range;
  if (width < 1 || height < 1) return range;
  range.min = range.max = decodeHeight(lowPlane[0][0], highPlane[0][0]);
  for (int32_t row = 0; row < height; ++row) {
    const uint8_t* low = lowPlane[row];
    const uint8_t* high = highPlane[row];
    for (int32_t column = 0; column < width; ++column) {
      HeightValue value = decodeHeight(low[column], high[column]);
      if (value < range.min) range.min = value;
      if (value > range.max) range.max = value;
    }
  }
  return range;
}
