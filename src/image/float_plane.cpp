#include "image/float_plane.h"

#include <cmath>
#include <cstdint>
#include <limits>

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

void markInfinitiesAsNodata(FloatPlane* plane) {
  const int64_t count = int64_t{plane->width} * plane->height;
  for (int64_t index = 0; index < count; ++index) {
    if (std::isinf(plane->values[index])) {
      plane->values[index] = std::numeric_limits<float>::quiet_NaN();
    }
  }
}

FloatPlane floatPlaneView(const FloatPlane& whole, int32_t left, int32_t top,
                          int32_t width, int32_t height) {
  FloatPlane view;
  view.values = const_cast<float*>(whole.row(top)) + left;
  view.width = width;
  view.height = height;
  view.stride = whole.stride != 0 ? whole.stride : whole.width;
  return view;
}
