#include "image/float_heights.h"

#include <gtest/gtest.h>

#include <cfloat>
#include <cmath>
#include <cstring>
#include <string>
#include <vector>

namespace {

const float kInf = INFINITY;
const float kNodata = -9999.9f;  // a float holds -9999.900390625

TEST(FloatHeightsTest, FloatsAndTheirBitsConvertBothWays) {
  const struct {
    uint32_t bits;
    float value;
  } kCases[] = {
      {0x3f800000, 1},     {0xc61c3f9a, kNodata}, {0x80000000, -0.0f},
      {0xff800000, -kInf}, {0x7fc00001, NAN},
  };
  for (const auto& c : kCases) {
    EXPECT_EQ(bitsOfFloat(floatFromBits(c.bits)), c.bits) << c.value;
    if (!std::isnan(c.value)) {
      EXPECT_EQ(bitsOfFloat(c.value), c.bits) << c.value;
    }
  }
}

// NaN and the infinities count as nodata; a survey runs over several calls.
TEST(FloatHeightsTest, SurveysTheFiniteSamples) {
  const struct {
    std::vector<float> samples;  // surveyed in two halves
    double lowest, highest;
    int64_t valid, nodata;
  } kCases[] = {
      {{NAN, kInf, -kInf}, 0, 0, 0, 3},
      {{-2.5f, NAN, 7, -kInf}, -2.5, 7, 2, 2},
      {{-3, -7}, -7, -3, 2, 0},
      {{FLT_MAX, -FLT_MAX, FLT_TRUE_MIN}, -FLT_MAX, FLT_MAX, 3, 0},
      {{kNodata}, -9999.900390625, -9999.900390625, 1, 0},
  };
  for (const auto& c : kCases) {
    FloatHeights heights;
    const size_t half = c.samples.size() / 2;
    surveyFloats(c.samples.data(), half, &heights);
    surveyFloats(c.samples.data() + half, c.samples.size() - half, &heights);
    EXPECT_EQ(heights.survey.lowest, c.lowest) << c.valid;
    EXPECT_EQ(heights.survey.highest, c.highest) << c.valid;
    EXPECT_EQ(heights.survey.valid, c.valid);
    EXPECT_EQ(heights.survey.nodata, c.nodata) << c.valid;
  }
}

// Floats stretch even where a shift would fit, or take -unit's steps.
TEST(FloatHeightsTest, PlansTheFloatRule) {
  const MappingRequest kPlain, kQuarter{0.25}, kWide{0, false, 65535};
  const struct {
    SampleSurvey survey;
    MappingRequest request;
    SampleMapping want;
  } kCases[] = {
      {{0, 10, 5, 1},
       kPlain,
       {MappingRule::kStretched, 0, 10.0 / 65279, 10, 1}},
      {{0, 10, 5, 1}, kWide, {MappingRule::kStretched, 0, 10.0 / 65535, 10, 1}},
      {{-3, 10, 5, 0}, kQuarter, {MappingRule::kUnit, -3, 0.25, 10, 0}},
      {{kNodata, kNodata, 2, 0},
       kPlain,
       {MappingRule::kStretched, -9999.900390625, 0, -9999.900390625, 0}},
      {{7, 9, 0, 4}, kPlain, {MappingRule::kStretched, 0, 0, 0, 4}},
  };
  for (const auto& c : kCases) {
    FloatHeights heights;
    heights.survey = c.survey;
    heights.mapping.nodataHeight = 9;  // the plan sets it
    planFloatHeights(c.request, &heights);
    const SampleMapping& got = heights.mapping;
    EXPECT_EQ(got.rule, c.want.rule) << c.survey.highest;
    EXPECT_DOUBLE_EQ(got.lowest, c.want.lowest) << c.survey.highest;
    EXPECT_DOUBLE_EQ(got.step, c.want.step) << c.survey.highest;
    EXPECT_DOUBLE_EQ(got.highest, c.want.highest) << c.survey.highest;
    EXPECT_EQ(got.nodata, c.want.nodata) << c.survey.highest;
    EXPECT_EQ(got.nodataHeight, HeightValue{0}) << c.survey.highest;
  }
}

// Three samples stored at row 1 from column 1 of 5 x 2 planes; every other
// byte, and blue, stays as it was.
TEST(FloatHeightsTest, StoresHeightsClampedWithNodataAtItsHeight) {
  const SampleMapping kHalves{MappingRule::kUnit, -1, 0.5, 0, 1, 300};
  const SampleMapping kOneStep{MappingRule::kStretched, -2, 1, 0, 0, 0};
  const struct {
    SampleMapping mapping;
    float samples[3];
    HeightValue heights[3];
    int64_t low, high;
  } kCases[] = {
      {kHalves, {-1, 2.5f, NAN}, {0, 7, 300}, 0, 0},
      {kHalves, {-1.5f, 32766.5f, kInf}, {0, 65535, 300}, 1, 0},
      {kHalves, {32767, -kInf, kNodata}, {65535, 300, 0}, 1, 1},
      {kOneStep, {-2, 65277, 0.49f}, {0, 65279, 2}, 0, 0},
  };
  for (const auto& c : kCases) {
    PlaneSet planes;
    std::string error;
    ASSERT_TRUE(allocatePlanes(&planes, 5, 2, &error)) << error;
    for (int32_t row = 0; row < 2; ++row) {
      std::memset(planes.inRed[row], 0xaa, 5);
      std::memset(planes.inGreen[row], 0xaa, 5);
      std::memset(planes.inBlue[row], 0xaa, 5);
    }
    FloatHeights heights;
    heights.mapping = c.mapping;
    storeFloatHeights(c.samples, 3, 1, 1, &planes, &heights);
    for (int32_t at = 0; at < 10; ++at) {
      const int32_t row = at / 5, column = at % 5;
      const bool stored = row == 1 && column >= 1 && column <= 3;
      const HeightValue height = static_cast<HeightValue>(
          planes.inGreen[row][column] << 8 | planes.inRed[row][column]);
      EXPECT_EQ(height, stored ? c.heights[column - 1] : HeightValue{0xaaaa})
          << c.samples[0] << " at " << at;
      EXPECT_EQ(planes.inBlue[row][column], 0xaa) << at;
    }
    EXPECT_EQ(heights.clamped.low, c.low) << c.samples[0];
    EXPECT_EQ(heights.clamped.high, c.high) << c.samples[0];
    releasePlanes(&planes);
  }
}

TEST(FloatHeightsTest, WritesTheValueOfEachHeight) {
  const struct {
    WrittenValues values;
    HeightValue height;
    float value;
  } kCases[] = {
      {{-100, 0.5}, 0, -100},
      {{-100, 0.5}, 65535, 32667.5f},
      {{kNodata, 0.5}, 1, -9999.400390625f},
      {{0, -0.25}, 65535, -16383.75f},
      {{-9999.9, 1}, 0, kNodata},  // rounded to the nearest float
  };
  for (const auto& c : kCases) {
    EXPECT_EQ(valueOfHeight(c.values, c.height), c.value) << c.height;
  }
}

}  // namespace
