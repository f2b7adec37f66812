// Float samples (32-bit raw, PFM, OpenEXR) become heights as a float TIFF's
// do: a first pass surveys the finite samples, the mapping is planned from
// what it found, a second pass maps each sample to a height. NaN and the
// infinities are nodata. Heights written to a float file go the other way:
// h0 + step x height.
#ifndef QUILLORN_IMAGE_FLOAT_HEIGHTS_H_
#define QUILLORN_IMAGE_FLOAT_HEIGHTS_H_

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>

#include "image/float_plane.h"
#include "image/height_planes.h"
#include "image/sample_mapping.h"

// The state of one float input's two passes.
struct FloatHeights {
  SampleSurvey survey;
  SampleMapping mapping;
  StoreCount clamped;  // heights a -unit put beyond 0 ... 65535
};

// The float whose IEEE 754 bits are bits.
inline float floatFromBits(uint32_t bits) {
  float value;
  std::memcpy(&value, &bits, sizeof value);
  return value;
}

// The IEEE 754 bits of value.
inline uint32_t bitsOfFloat(float value) {
  uint32_t bits;
  std::memcpy(&bits, &value, sizeof bits);
  return bits;
}

// Adds count samples to the first pass's survey.
void surveyFloats(const float* samples, size_t count, FloatHeights* heights);

// Plans the mapping once every sample was surveyed, as request asks (the
// float rule: stretched over 0 ... request.stretchTop, or -unit's steps).
void planFloatHeights(const MappingRequest& request, FloatHeights* heights);

// Stores count samples' heights in the source planes' row from column on,
// blue untouched.
void storeFloatHeights(const float* samples, int32_t count, int32_t row,
                       int32_t column, PlaneSet* planes, FloatHeights* heights);

// Makes 16-bit heights of a float map, as a file's samples of type are made
// when read for a 16-bit output: surveyed, planned as request asks (integer
// samples of a small span shifted, floats stretched), mapped into planes of
// base 256 that take over the float map's memory (floats is left empty),
// nodata at the lowest valid sample's height and, with marks, marked 1 in
// blue (made only where written). mapping says how the heights stand for
// the values; clamped counts heights a unit put beyond 0 ... 65535. On
// failure (no memory) planes stay empty, floats as it was, error says why.
bool quantizeFloatPlane(FloatPlane* floats, const SampleType& type,
                        const MappingRequest& request, bool marks,
                        PlaneSet* planes, SampleMapping* mapping,
                        StoreCount* clamped, std::string* error);

// What a float output holds for each height: the value of height 0 and the
// value of one step.
struct WrittenValues {
  double zero = 0;
  double step = 1;
};

// The value written for height, as a 32-bit float.
inline float valueOfHeight(const WrittenValues& values, HeightValue height) {
  return static_cast<float>(values.zero + values.step * height);
}

#endif  // QUILLORN_IMAGE_FLOAT_HEIGHTS_H_
