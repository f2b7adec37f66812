#include "image/sample_mapping.h"

#include <algorithm>
#include <cstdio>

namespace {

std::string number(double value) {
  char text[40];
  std::snprintf(text, sizeof text, "%.9g", value);
  return text;
}

}  // namespace

bool unitApplies(const SampleType& type) {
  return !(type.kind == SampleKind::kUnsigned && type.bits <= 16);
}

SampleMapping planSampleMapping(const SampleType& type,
                                const SampleSurvey& survey, double unit) {
  SampleMapping mapping;
  mapping.nodata = survey.nodata;
  mapping.lowest = survey.valid > 0 ? survey.lowest : 0;
  mapping.highest = survey.valid > 0 ? survey.highest : 0;
  const double span = mapping.highest - mapping.lowest;
  if (!unitApplies(type)) {
    mapping.rule = MappingRule::kAsStored;
    mapping.step = 1;
    // Heights stay the samples; nodata takes the lowest valid one's.
    mapping.nodataHeight = static_cast<HeightValue>(mapping.lowest);
    mapping.lowest = 0;
    return mapping;
  }
  mapping.nodataHeight = 0;
  if (unit > 0) {
    mapping.rule = MappingRule::kUnit;
    mapping.step = unit;
  } else if (type.kind != SampleKind::kFloat && span <= kShiftSpan) {
    mapping.rule = MappingRule::kShifted;
    mapping.step = 1;
  } else {
    mapping.rule = MappingRule::kStretched;
    // A flat map keeps height 0 everywhere.
    mapping.step = span > 0 ? span / kShiftSpan : 0;
  }
  return mapping;
}

std::string describeMapping(const SampleMapping& mapping) {
  if (mapping.rule == MappingRule::kAsStored) return "";
  if (mapping.step <= 0) {
    return "every valid sample is " + number(mapping.lowest) +
           ", so every height is 0";
  }
  StoreCount ignored;
  HeightValue top = mapSample(mapping, mapping.highest, &ignored);
  std::string line =
      "heights from its values: height 0 = " + number(mapping.lowest) +
      ", 1 step = " + number(mapping.step) +
      (mapping.step == 1 ? " unit" : " units") + ", height " +
      std::to_string(top) + " = " + number(mapping.lowest + top * mapping.step);
  line +=
      "; an engine that spreads 0 ... 65535 over the terrain's height "
      "wants " +
      number(kLargestWideHeight * mapping.step) + " units";
  return line;
}

std::string describeNodata(const SampleMapping& mapping) {
  if (mapping.nodata == 0) return "";
  return std::to_string(mapping.nodata) +
         (mapping.nodata == 1 ? " sample was" : " samples were") +
         " nodata (no value); " +
         (mapping.nodata == 1 ? "it takes" : "they take") + " height " +
         std::to_string(mapping.nodataHeight) + ", the lowest valid sample's";
}
