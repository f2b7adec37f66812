#include "image/float_plane.h"

#include <cstdint>

#include "platform/memory.h"

bool allocateFloatPlane(FloatPlane* plane, int32_t width, int32_t height,
                        std::string* error) {
  *plane = FloatPlane();
  if (width < 1 || height < 1) {
    *error = "Image has no pixels";
    return false;
  }
  // The size in 64 bits first: the plane must be addressable as one block.
  const uint64_t pixels =
      static_cast<uint64_t>(width) * static_cast<uint64_t>(height);
  if (pixels > PTRDIFF_MAX / 8) {
    *error = "Image is too large for this system's memory";
    return false;
  }
  const size_t bytes = static_cast<size_t>(pixels) * sizeof(float);
  float* values = static_cast<float*>(allocateLargeBlock(bytes));
  if (values == nullptr) {
    *error = "Not enough memory for the float heights of " +
             std::to_string(width) + " x " + std::to_string(height) + " pixels";
    return false;
  }
  plane->values = values;
  plane->width = width;
  plane->height = height;
  plane->bytes = bytes;
  return true;
}

void releaseFloatPlane(FloatPlane* plane) {
  releaseLargeBlock(plane->values, plane->bytes);
  *plane = FloatPlane();
}

void moveFloatPlane(FloatPlane* from, FloatPlane* to) {
  if (from == to) return;
  releaseFloatPlane(to);
  *to = *from;
  *from = FloatPlane();
}
