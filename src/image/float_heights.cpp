#include "image/float_heights.h"

#include <algorithm>
#include <cmath>
#include <vector>

void surveyFloats(const float* samples, size_t count, FloatHeights* heights) {
  SampleSurvey& survey = heights->survey;
  for (size_t index = 0; index < count; ++index) {
    const float sample = samples[index];
    if (std::isfinite(sample)) {
      survey.add(sample);
    } else {
      ++survey.nodata;
    }
  }
}

void planFloatHeights(const MappingRequest& request, FloatHeights* heights) {
  SampleType type;
  type.kind = SampleKind::kFloat;
  type.bits = 32;
  heights->mapping = planSampleMapping(type, heights->survey, request);
}

void storeFloatHeights(const float* samples, int32_t count, int32_t row,
                       int32_t column, PlaneSet* planes,
                       FloatHeights* heights) {
  uint8_t* red = planes->inRed[row] + column;
  uint8_t* green = planes->inGreen[row] + column;
  const SampleMapping& mapping = heights->mapping;
  for (int32_t index = 0; index < count; ++index) {
    const float sample = samples[index];
    const HeightValue height =
        std::isfinite(sample) ? mapSample(mapping, sample, &heights->clamped)
                              : mapping.nodataHeight;
    red[index] = static_cast<uint8_t>(height);
    green[index] = static_cast<uint8_t>(height >> 8);
  }
}

bool quantizeFloatPlane(FloatPlane* floats, const SampleType& type,
                        const MappingRequest& request, bool marks,
                        PlaneSet* planes, SampleMapping* mapping,
                        StoreCount* clamped, std::string* error) {
  FloatHeights heights;
  const size_t width = static_cast<size_t>(floats->width);
  for (int32_t row = 0; row < floats->height; ++row) {
    surveyFloats(floats->row(row), width, &heights);
  }
  heights.mapping = planSampleMapping(type, heights.survey, request);
  std::vector<float> line(width);
  if (floats->stride != 0 ||
      !adoptHeightBlock(planes, reinterpret_cast<uint8_t*>(floats->values),
                        floats->bytes, floats->width, floats->height, error)) {
    if (error->empty()) *error = "A view of a float map cannot be made heights";
    return false;
  }
  planes->base = kWideBase;
  const FloatPlane taken = *floats;
  *floats = FloatPlane();
  for (int32_t row = 0; row < taken.height; ++row) {
    // A row's floats are read whole before its heights overwrite them.
    const float* values = taken.row(row);
    std::copy(values, values + width, line.begin());
    storeFloatHeights(line.data(), taken.width, row, 0, planes, &heights);
    if (!marks || heights.survey.nodata == 0) continue;
    uint8_t* blue = planes->inBlue[row];
    for (size_t column = 0; column < width; ++column) {
      // The plane is zeros: only nodata is written.
      if (!std::isfinite(line[column])) {
        blue[column] = 1;
        planes->blueZero = false;
      }
    }
  }
  *mapping = heights.mapping;
  *clamped = heights.clamped;
  return true;
}
