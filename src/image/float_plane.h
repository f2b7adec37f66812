// The in-memory map of a float source: one 32-bit float a pixel, in the
// file's own units, nodata as NaN. Maps read from floats (OpenEXR, raw
// floats, PFM, float TIFFs) stay in it from reading to writing, so that no
// height is lost to the 16-bit steps of the byte planes.
#ifndef QUILLORN_IMAGE_FLOAT_PLANE_H_
#define QUILLORN_IMAGE_FLOAT_PLANE_H_

#include <cmath>
#include <cstdint>
#include <string>

// width x height floats, row after row, row 0 the map's top row. NaN marks
// nodata; every other value, the infinities excepted, is a height.
struct FloatPlane {
  float* values = nullptr;
  int32_t width = 0;
  int32_t height = 0;
  size_t bytes = 0;    // as allocated, for the release (0: a view)
  int64_t stride = 0;  // a view's floats from one row's start to the next
                       // (0: width, the rows one after another)

  float* row(int32_t index) {
    return values + int64_t{index} * (stride != 0 ? stride : width);
  }
  const float* row(int32_t index) const {
    return values + int64_t{index} * (stride != 0 ? stride : width);
  }
};

// A view of the width x height part of whole whose top left is (left, top):
// its values are whole's, nothing to release.
FloatPlane floatPlaneView(const FloatPlane& whole, int32_t left, int32_t top,
                          int32_t width, int32_t height);

// True for a float that stands for nodata.
inline bool isNodata(float value) { return std::isnan(value); }

// Turns the infinities of plane into NaN, the one nodata the stages know;
// before anything computes with its values (a copy keeps them as read).
void markInfinitiesAsNodata(FloatPlane* plane);

// Makes plane a width x height map (both >= 1) of unspecified values; on
// failure nothing stays allocated, plane is left empty and error says why.
bool allocateFloatPlane(FloatPlane* plane, int32_t width, int32_t height,
                        std::string* error);

// Frees the plane's values and leaves it empty; safe on an empty plane.
void releaseFloatPlane(FloatPlane* plane);

// Hands the values of from to to (whose own are freed first), leaving from
// empty.
void moveFloatPlane(FloatPlane* from, FloatPlane* to);

#endif  // QUILLORN_IMAGE_FLOAT_PLANE_H_
