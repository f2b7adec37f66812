// How the samples of elevation files (GeoTIFF, SRTM tiles) become heights:
// unsigned samples of up to 16 bits as they stand, signed ones shifted so
// that the lowest valid sample is 0, floats and wide spans stretched over
// 0 ... 65279, or -unit's file units per height step; nodata takes the
// lowest valid sample's height.
#ifndef QUILLORN_IMAGE_SAMPLE_MAPPING_H_
#define QUILLORN_IMAGE_SAMPLE_MAPPING_H_

#include <cmath>
#include <cstdint>
#include <string>

#include "image/gdal_metadata.h"
#include "image/height_planes.h"

// The kind of a file's samples.
enum class SampleKind {
  kUnsigned,
  kSigned,
  kFloat,
};

struct SampleType {
  SampleKind kind = SampleKind::kUnsigned;
  int bits = 16;  // 8, 16, 32 (or 64 for floats)
};

// What a first reading found of the valid samples.
struct SampleSurvey {
  double lowest = 0;
  double highest = 0;
  int64_t valid = 0;
  int64_t nodata = 0;  // samples equal to the nodata value, or NaN

  // Counts count valid samples of one value.
  void add(double sample, int64_t count = 1) {
    if (valid == 0 || sample < lowest) lowest = sample;
    if (valid == 0 || sample > highest) highest = sample;
    valid += count;
  }
};

// The most valid samples a shift may span, one height step each, so that
// every output format (the bitmap encoding's 0 ... 65279 included) holds
// them.
constexpr double kShiftSpan = 65279;

// How samples become heights.
enum class MappingRule {
  kAsStored,   // unsigned of up to 16 bits: the height is the sample
  kShifted,    // sample - lowest, one height step a file unit
  kStretched,  // lowest to 0, highest to 65279, linearly, rounded
  kUnit,       // round((sample - lowest) / unit), from -unit
};

struct SampleMapping {
  MappingRule rule = MappingRule::kAsStored;
  double lowest = 0;             // the file value of height 0
  double step = 1;               // file units per height step
  double highest = 0;            // the highest valid sample
  int64_t nodata = 0;            // samples that were nodata
  HeightValue nodataHeight = 0;  // the height they take
};

// How the command line asks samples to become heights.
struct MappingRequest {
  double unit = 0;  // -unit: file units per height step (0: none)
  // A map fitted to an engine: samples that would be shifted are stretched
  // too, so that the engine's precision is spent on the terrain's range.
  bool stretchShifted = false;
  // The height the highest sample is stretched to: kShiftSpan, which every
  // output holds, or 65535 for a 16-bit output.
  double stretchTop = kShiftSpan;
};

// The mapping for samples of type as surveyed, as request asks: a unit
// sets the step of every rule but kAsStored.
SampleMapping planSampleMapping(const SampleType& type,
                                const SampleSurvey& survey,
                                const MappingRequest& request);

// True when unit (from -unit) changes how samples of type become heights.
bool unitApplies(const SampleType& type);

// The height of one valid sample, clamped to 0 ... 65535, counting clamps.
inline HeightValue mapSample(const SampleMapping& mapping, double sample,
                             StoreCount* clamped) {
  double height = sample;
  if (mapping.rule != MappingRule::kAsStored) {
    double above = sample - mapping.lowest;
    // Halved, a span beyond what a double holds (-1e308 ... 1e308) stays
    // finite, and so does every height of it.
    double steps = std::isfinite(above)
                       ? above / mapping.step
                       : (sample / 2 - mapping.lowest / 2) / (mapping.step / 2);
    height = mapping.step > 0 ? std::floor(steps + 0.5) : 0;
  }
  // A NaN height (no sample should give one) stands at the bottom, never
  // converted to an integer.
  if (!(height >= 0)) {
    ++clamped->low;
    return 0;
  }
  if (height > kLargestWideHeight) {
    ++clamped->high;
    return kLargestWideHeight;
  }
  return static_cast<HeightValue>(height);
}

// The mapping in a band's units, value = offset + scale x sample, of a
// mapping of samples; the mapping itself when the values are unknown.
// Heights that were the samples as stored then stand for values too.
SampleMapping mappingInValues(const SampleMapping& samples,
                              const BandValues& values);

// The mapping of heights h' = (h + shift) x factor, where h were mapped by
// mapping: the same values, in the new heights' terms.
SampleMapping transformedMapping(const SampleMapping& mapping, double shift,
                                 double factor);

// value in the fewest digits that stay within tolerance of it (tolerance >
// 0): plain decimals from a ten-thousandth to a billion, an exponent beyond.
std::string compactNumber(double value, double tolerance);

// The line for standard error that says how the written heights map back to
// the file's values (height 0, the step, the highest height top), each
// number exact to a quarter of a step; "" when heights are the samples as
// stored.
std::string describeMapping(const SampleMapping& mapping, HeightValue top);

// The line that counts the nodata samples, those of them filled from the
// valid samples within reach, and names the others' height (or, with
// keptAsNodata, says they stay nodata, as float heights keep it); "" when
// there were none.
std::string describeNodata(const SampleMapping& mapping, int64_t filled,
                           int32_t reach, bool keptAsNodata = false);

#endif  // QUILLORN_IMAGE_SAMPLE_MAPPING_H_
