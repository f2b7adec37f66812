#include "image/sample_mapping.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>

std::string compactNumber(double value, double tolerance) {
  char text[48];
  // Plain decimals (100, not 1e+02; 0.000125) below a billion and down to
  // a ten-thousandth, as %g has them; beyond, an exponent reads better.
  const double magnitude = std::fabs(value);
  if (magnitude < 1e9 && (magnitude >= 1e-4 || value == 0)) {
    for (int decimals = 0; decimals <= 22; ++decimals) {
      std::snprintf(text, sizeof text, "%.*f", decimals, value);
      if (std::fabs(std::strtod(text, nullptr) - value) <= tolerance) {
        return text;
      }
    }
  }
  for (int digits = 1; digits < 17; ++digits) {
    std::snprintf(text, sizeof text, "%.*g", digits, value);
    if (std::fabs(std::strtod(text, nullptr) - value) <= tolerance) {
      return text;
    }
  }
  std::snprintf(text, sizeof text, "%.17g", value);
  return text;
}

bool unitApplies(const SampleType& type) {
  return !(type.kind == SampleKind::kUnsigned && type.bits <= 16);
}

SampleMapping planSampleMapping(const SampleType& type,
                                const SampleSurvey& survey,
                                const MappingRequest& request) {
  SampleMapping mapping;
  mapping.nodata = survey.nodata;
  mapping.lowest = survey.valid > 0 ? survey.lowest : 0;
  mapping.highest = survey.valid > 0 ? survey.highest : 0;
  // Halves first: the span of -1e308 ... 1e308 is beyond a double, its
  // half is not.
  const double halfSpan = mapping.highest / 2 - mapping.lowest / 2;
  const double span = 2 * halfSpan;
  if (!unitApplies(type)) {
    mapping.rule = MappingRule::kAsStored;
    mapping.step = 1;
    // Heights stay the samples; nodata takes the lowest valid one's.
    mapping.nodataHeight = static_cast<HeightValue>(mapping.lowest);
    mapping.lowest = 0;
    return mapping;
  }
  mapping.nodataHeight = 0;
  if (request.unit > 0) {
    mapping.rule = MappingRule::kUnit;
    mapping.step = request.unit;
  } else if (type.kind != SampleKind::kFloat && span <= kShiftSpan &&
             !request.stretchShifted) {
    mapping.rule = MappingRule::kShifted;
    mapping.step = 1;
  } else {
    mapping.rule = MappingRule::kStretched;
    // A flat map keeps height 0 everywhere.
    mapping.step = halfSpan > 0 ? halfSpan / (request.stretchTop / 2) : 0;
  }
  return mapping;
}

SampleMapping mappingInValues(const SampleMapping& samples,
                              const BandValues& values) {
  if (!values.known) return samples;
  SampleMapping result = samples;
  if (result.rule == MappingRule::kAsStored) {
    result.rule = MappingRule::kShifted;
    result.lowest = 0;
    result.step = 1;
  }
  result.lowest = values.offset + values.scale * result.lowest;
  result.step = values.scale * result.step;
  result.highest = values.offset + values.scale * samples.highest;
  return result;
}

SampleMapping transformedMapping(const SampleMapping& mapping, double shift,
                                 double factor) {
  SampleMapping result = mapping;
  result.lowest = mapping.lowest - shift * mapping.step;
  result.step = mapping.step / factor;
  return result;
}

std::string describeMapping(const SampleMapping& mapping, HeightValue top) {
  if (mapping.rule == MappingRule::kAsStored) return "";
  if (mapping.step <= 0) {
    return "every valid sample is " + compactNumber(mapping.lowest, 0) +
           ", so every height is 0";
  }
  // Heights are rounded to half a step of the values they stand for; the
  // numbers add at most a ten-thousandth of a step to that, at any height.
  const double within = mapping.step * 1e-4;
  // Halves, so that a span beyond a double's range stays finite.
  const double topValue = 2 * (mapping.lowest / 2 + top * (mapping.step / 2));
  return "heights from its values: height 0 = " +
         compactNumber(mapping.lowest, within) + ", 1 step = " +
         compactNumber(mapping.step, within / kLargestWideHeight) +
         (mapping.step == 1 ? " unit" : " units") + ", height " +
         std::to_string(top) + " = " + compactNumber(topValue, within) +
         "; -fit unity, unreal or godot says what to enter in the engine";
}

std::string describeNodata(const SampleMapping& mapping, int64_t filled,
                           int32_t reach, bool keptAsNodata) {
  if (mapping.nodata == 0) return "";
  const int64_t kept = mapping.nodata - filled;
  std::string line = std::to_string(mapping.nodata) +
                     (mapping.nodata == 1 ? " sample was" : " samples were") +
                     " nodata (no value)";
  if (filled > 0) {
    line += ": " + std::to_string(filled) +
            " filled from the valid samples around (within " +
            std::to_string(reach) + ")";
    if (kept == 0) return line;
    line += ", " + std::to_string(kept) + " farther off";
  }
  if (keptAsNodata) {
    return line + (filled > 0 ? " " : "; ") +
           (filled > 0 ? (kept == 1 ? "stays" : "stay")
                       : (kept == 1 ? "it stays" : "they stay")) +
           " nodata";
  }
  return line + (filled > 0 ? " " : "; ") +
         (filled > 0 ? (kept == 1 ? "takes" : "take")
                     : (kept == 1 ? "it takes" : "they take")) +
         " height " + std::to_string(mapping.nodataHeight) +
         ", the lowest valid sample's";
}
