#include "image/sample_mapping.h"

#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

namespace {

constexpr MappingRule kStored = MappingRule::kAsStored;
constexpr MappingRule kShift = MappingRule::kShifted;
constexpr MappingRule kStretch = MappingRule::kStretched;
constexpr MappingRule kUnit = MappingRule::kUnit;

void expectMapping(const SampleMapping& got, const SampleMapping& want,
                   const std::string& label) {
  EXPECT_EQ(got.rule, want.rule) << label;
  EXPECT_DOUBLE_EQ(got.lowest, want.lowest) << label;
  EXPECT_DOUBLE_EQ(got.step, want.step) << label;
  EXPECT_DOUBLE_EQ(got.highest, want.highest) << label;
  EXPECT_EQ(got.nodata, want.nodata) << label;
  EXPECT_EQ(got.nodataHeight, want.nodataHeight) << label;
}

// Unsigned samples of up to 16 bits stay as stored; others shift while their
// span fits 0 ... 65279 and stretch past it; a unit sets the step.
TEST(SampleMappingTest, PlansTheRuleFromTypeSurveyAndRequest) {
  struct Case {
    SampleKind kind;
    int bits;
    std::vector<double> samples;  // surveyed one by one, 2 nodata besides
    MappingRequest request;
    SampleMapping want;
  };
  const MappingRequest kPlain, kHalfUnit{0.5}, kFitted{0, true, 65535};
  using K = SampleKind;
  // clang-format off
  const Case kCases[] = {
      {K::kUnsigned, 16, {65535, 100}, kPlain, {kStored, 0, 1, 65535, 2, 100}},
      {K::kUnsigned, 8, {}, kHalfUnit, {kStored, 0, 1, 0, 2, 0}},
      {K::kUnsigned, 32, {7, 65286}, kPlain, {kShift, 7, 1, 65286, 2}},
      {K::kSigned, 16, {-3, -7}, kPlain, {kShift, -7, 1, -3, 2}},
      {K::kSigned, 16, {-500, 64779}, kPlain, {kShift, -500, 1, 64779, 2}},
      {K::kSigned, 16, {-500, 64780}, kPlain,
       {kStretch, -500, 65280.0 / 65279, 64780, 2}},
      {K::kSigned, 8, {-10, 10}, kFitted, {kStretch, -10, 20.0 / 65535, 10, 2}},
      {K::kSigned, 32, {-10, 10}, kHalfUnit, {kUnit, -10, 0.5, 10, 2}},
      {K::kFloat, 32, {0, 100}, kPlain, {kStretch, 0, 100.0 / 65279, 100, 2}},
      {K::kFloat, 64, {5, 5}, kPlain, {kStretch, 5, 0, 5, 2}},
      {K::kFloat, 64, {1e308, -1e308}, kPlain,
       {kStretch, -1e308, 1e308 / 32639.5, 1e308, 2}},
  };
  // clang-format on
  for (const Case& c : kCases) {
    SampleSurvey survey;
    survey.lowest = survey.highest = 9;  // a first sample replaces both
    survey.nodata = 2;
    for (double sample : c.samples) survey.add(sample);
    EXPECT_EQ(survey.valid, static_cast<int64_t>(c.samples.size()));
    const std::string label =
        std::to_string(c.bits) + " bits, from " + std::to_string(c.want.lowest);
    EXPECT_EQ(unitApplies({c.kind, c.bits}), c.want.rule != kStored) << label;
    expectMapping(planSampleMapping({c.kind, c.bits}, survey, c.request),
                  c.want, label);
  }
}

// Heights round half up and clamp to 0 ... 65535 from both sides, counted.
TEST(SampleMappingTest, MapsSamplesToClampedHeights) {
  struct Case {
    SampleMapping mapping;
    double sample;
    HeightValue height;
    int64_t low, high;
  };
  const SampleMapping kAsIs{kStored, 0, 1}, kFrom500{kShift, -500, 1},
      kHalves{kStretch, 0, 0.5}, kFlat{kStretch, 5, 0},
      kWidest{kStretch, -1e308, 1e308 / 32639.5};
  // clang-format off
  const Case kCases[] = {
      {kAsIs, 0, 0, 0, 0},             {kAsIs, 65535, 65535, 0, 0},
      {kAsIs, 65536, 65535, 0, 1},     {kAsIs, -1, 0, 1, 0},
      {kFrom500, -500, 0, 0, 0},       {kFrom500, -501, 0, 1, 0},
      {kFrom500, 65035, 65535, 0, 0},  {kFrom500, 65036, 65535, 0, 1},
      {kHalves, 0.74, 1, 0, 0},        {kHalves, 0.75, 2, 0, 0},
      {kHalves, -0.25, 0, 0, 0},       {kHalves, -0.26, 0, 1, 0},
      {kHalves, NAN, 0, 1, 0},         {kFlat, 5, 0, 0, 0},
      {kWidest, 1e308, 65279, 0, 0},   {kWidest, -1e308, 0, 0, 0},
  };
  // clang-format on
  for (const Case& c : kCases) {
    StoreCount clamped;
    EXPECT_EQ(mapSample(c.mapping, c.sample, &clamped), c.height) << c.sample;
    EXPECT_EQ(clamped.low, c.low) << c.sample;
    EXPECT_EQ(clamped.high, c.high) << c.sample;
  }
}

// A band's scale and offset carry every number into its values; heights as
// stored become shifted ones; new heights keep the values they stand for.
TEST(SampleMappingTest, CarriesMappingsIntoValuesAndNewHeights) {
  const SampleMapping kAsIs{kStored, 0, 1, 1000, 2, 7};
  const SampleMapping kHalves{kStretch, -5, 0.5, 100, 3, 0};
  expectMapping(mappingInValues(kAsIs, {}), kAsIs, "unknown values");
  expectMapping(mappingInValues(kAsIs, {true, 0.1, -10}),
                {kShift, -10, 0.1, 90, 2, 7}, "stored, scaled");
  expectMapping(mappingInValues(kHalves, {true, -2, 1}),
                {kStretch, 11, -1, -199, 3, 0}, "negative scale");
  expectMapping(transformedMapping(kHalves, 10, 4),
                {kStretch, -10, 0.125, 100, 3, 0}, "shifted up, scaled");
  expectMapping(transformedMapping(kHalves, -10, 0.5),
                {kStretch, 0, 1, 100, 3, 0}, "shifted down, halved");
}

TEST(SampleMappingTest, WritesNumbersInTheFewestDigitsWithinTolerance) {
  const float kTenth = 0.1f;  // no float holds 0.1 exactly
  const struct {
    double value, tolerance;
    const char* text;
  } kCases[] = {
      {-10, 0, "-10"},
      {123456789, 0, "123456789"},
      {1234567890, 0, "1.23456789e+09"},
      {1234567890, 1e6, "1.235e+09"},
      {-9999.1, 0.25, "-9999"},
      {99.97, 0.5, "100"},
      {kTenth, 1e-4, "0.1"},
      {kTenth, 0, "0.10000000149011612"},
  };
  for (const auto& c : kCases) {
    EXPECT_EQ(compactNumber(c.value, c.tolerance), c.text) << c.value;
  }
}

TEST(SampleMappingTest, DescribesTheMappingAndTheNodata) {
  auto numbers = [](const std::string& text) {
    return "heights from its values: " + text +
           "; -fit unity, unreal or godot says what to enter in the engine";
  };
  const float kNodata = -9999.9f;  // a float holds -9999.900390625
  const struct {
    SampleMapping mapping;
    HeightValue top;
    std::string line;
  } kMappings[] = {
      // clang-format off
      {{kStored, 0, 1}, 65535, ""},
      {{kStretch, 5, 0}, 0, "every valid sample is 5, so every height is 0"},
      {{kShift, -500, 1}, 65279,
       numbers("height 0 = -500, 1 step = 1 unit, height 65279 = 64779")},
      {{kStretch, 0, 100.0 / 65279}, 65279, numbers(
       "height 0 = 0, 1 step = 0.00153188621 units, height 65279 = 100")},
      {{kUnit, kNodata, 0.5}, 100, numbers(
       "height 0 = -9999.9004, 1 step = 0.5 units, height 100 = -9949.9004")},
      {{kStretch, -1e308, 1e308 / 32639.5}, 65279, numbers(
       "height 0 = -1e+308, 1 step = 3.06377242e+303 units, height 65279 = "
       "1e+308")},
      // clang-format on
  };
  for (const auto& c : kMappings) {
    EXPECT_EQ(describeMapping(c.mapping, c.top), c.line) << c.mapping.lowest;
  }
  const std::string kTail = " height 7, the lowest valid sample's";
  const std::string kFilled =
      " filled from the valid samples around (within 4)";
  const struct {
    int64_t nodata, filled;
    std::string line;
  } kNodataCases[] = {
      // clang-format off
      {0, 0, ""},
      {1, 0, "1 sample was nodata (no value); it takes" + kTail},
      {3, 0, "3 samples were nodata (no value); they take" + kTail},
      {3, 3, "3 samples were nodata (no value): 3" + kFilled},
      {3, 2, "3 samples were nodata (no value): 2" + kFilled +
             ", 1 farther off takes" + kTail},
      {5, 2, "5 samples were nodata (no value): 2" + kFilled +
             ", 3 farther off take" + kTail},
      // clang-format on
  };
  for (const auto& c : kNodataCases) {
    SampleMapping mapping{kShift, 0, 1, 0, c.nodata, 7};
    EXPECT_EQ(describeNodata(mapping, c.filled, 4), c.line) << c.nodata;
  }
}

}  // namespace
