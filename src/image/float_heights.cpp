#include "image/float_heights.h"

#include <cmath>

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
