#include "processing/shaded_relief.h"

#include <algorithm>
#include <cmath>

#include "platform/compiler.h"

namespace {

// The ramp from low to high: dark blue-green lowlands, green, olive, brown
// and white peaks. Its lightness rises at every stop, so the picture still
// reads from low to high when printed or viewed in grey.
struct RampStop {
  float at;
  float red, green, blue;
};
constexpr RampStop kRamp[] = {
    {0.00f, 20, 50, 90},    {0.25f, 40, 110, 70},   {0.50f, 150, 140, 60},
    {0.75f, 195, 160, 120}, {1.00f, 250, 250, 250},
};
// Colours the ramp is sampled at, and levels of light each is drawn in:
// finer than the eye tells apart on terrain.
constexpr int32_t kRampSteps = 256;
constexpr int32_t kLightLevels = 64;

// Relief as tall as this share of the map's longer side: enough to see
// every ridge, not so much that slopes turn black.
constexpr float kReliefShare = 0.12f;

// Light from the north-west (up and to the left in the picture), 45 degrees
// above the horizon, as a unit vector towards the light.
constexpr float kLightX = -0.5f;
constexpr float kLightY = -0.5f;
constexpr float kLightZ = 0.70710678f;

// Share of the colour that stays in full shadow, and the brightness of
// level ground (0.9), so that slopes facing the light can still brighten.
constexpr float kAmbient = 0.35f;
constexpr float kDirect = (0.9f - kAmbient) / kLightZ;

// The level of light of a surface lit at light (0 ... 1) and back.
constexpr float kLevelsPerLight = kLightLevels - 1;

template <HeightValue kBase>
QUILLORN_VECTORIZED void decodeFloats(const uint8_t* red, const uint8_t* green,
                                      int32_t width, float* values) {
  for (int32_t column = 0; column < width; ++column) {
    values[column] =
        static_cast<float>(decodeHeightIn<kBase>(red[column], green[column]));
  }
}

// Heights of count columns from column on of one row as floats, from
// values[1] on, with their neighbours on either side in values[0] and
// values[count + 1] (past the image's edges the edge repeats).
void loadRow(const PlaneSet& planes, int32_t row, int32_t width, int32_t column,
             int32_t count, float* values) {
  int32_t first = column > 0 ? column - 1 : column;
  int32_t end = column + count < width ? column + count + 1 : width;
  float* at = values + 1 - (column - first);
  if (planes.base == kWideBase) {
    decodeFloats<kWideBase>(planes.outRed[row] + first,
                            planes.outGreen[row] + first, end - first, at);
  } else {
    decodeFloats<kHeightBase>(planes.outRed[row] + first,
                              planes.outGreen[row] + first, end - first, at);
  }
  if (first == column) values[0] = values[1];
  if (end == column + count) values[count + 1] = values[count];
}

// The colour entry (ramp step and level of light) of every pixel of a row,
// from the row and its neighbours above and below (padded rows).
QUILLORN_VECTORIZED
void shadeRow(const float* up, const float* here, const float* down,
              int32_t width, float slope, float low, float toStep,
              int32_t* colours) {
  for (int32_t column = 0; column < width; ++column) {
    float slopeX = (here[column + 2] - here[column]) * slope;
    float slopeY = (down[column + 1] - up[column + 1]) * slope;
    // The surface's normal is (-slopeX, -slopeY, 1), normalized.
    float light = (kLightZ - slopeX * kLightX - slopeY * kLightY) /
                  std::sqrt(slopeX * slopeX + slopeY * slopeY + 1.0f);
    int32_t level = static_cast<int32_t>(
        std::min(std::max(light, 0.0f), 1.0f) * kLevelsPerLight + 0.5f);
    float at = (here[column + 1] - low) * toStep;
    int32_t step = static_cast<int32_t>(
        std::min(std::max(at, 0.0f), static_cast<float>(kRampSteps - 1)) +
        0.5f);
    colours[column] = step * kLightLevels + level;
  }
}

}  // namespace

ReliefStyle reliefStyle(HeightRange range, int32_t width, int32_t height) {
  ReliefStyle style;
  style.range = range;
  float span = static_cast<float>(range.max - range.min);
  if (span > 0.0f) {
    style.heightScale =
        kReliefShare * static_cast<float>(std::max(width, height)) / span;
  }
  style.colours.resize(static_cast<size_t>(kRampSteps) * kLightLevels);
  for (int32_t index = 0; index < kRampSteps; ++index) {
    // A flat map takes the middle colour, which every step then holds.
    float t = span > 0.0f ? static_cast<float>(index) / (kRampSteps - 1) : 0.5f;
    int stop = 1;
    while (stop < 4 && t > kRamp[stop].at) ++stop;
    const RampStop& a = kRamp[stop - 1];
    const RampStop& b = kRamp[stop];
    float mix = (t - a.at) / (b.at - a.at);
    const float colour[3] = {a.red + (b.red - a.red) * mix,
                             a.green + (b.green - a.green) * mix,
                             a.blue + (b.blue - a.blue) * mix};
    for (int32_t level = 0; level < kLightLevels; ++level) {
      float brightness =
          kAmbient + kDirect * static_cast<float>(level) / kLevelsPerLight;
      uint32_t packed = 0;
      for (int channel = 0; channel < 3; ++channel) {
        float value = std::min(colour[channel] * brightness + 0.5f, 255.0f);
        packed |= static_cast<uint32_t>(value) << (8 * channel);
      }
      style.colours[static_cast<size_t>(index * kLightLevels + level)] = packed;
    }
  }
  return style;
}

void shadeReliefRow(const PlaneSet& planes, int32_t width, int32_t height,
                    const ReliefStyle& style, int32_t row, int32_t column,
                    int32_t count, uint8_t* rgb, ReliefRows* rows) {
  const size_t padded = static_cast<size_t>(count) + 2;
  if (rows->heights.size() < 3 * padded) rows->heights.resize(3 * padded);
  float* heights = rows->heights.data();
  loadRow(planes, std::max(row - 1, 0), width, column, count, heights);
  loadRow(planes, row, width, column, count, heights + padded);
  loadRow(planes, std::min(row + 1, height - 1), width, column, count,
          heights + 2 * padded);
  const float span = static_cast<float>(style.range.max - style.range.min);
  if (rows->colours.size() < static_cast<size_t>(count)) {
    rows->colours.resize(static_cast<size_t>(count));
  }
  int32_t* entries = rows->colours.data();
  shadeRow(heights, heights + padded, heights + 2 * padded, count,
           style.heightScale / 2, static_cast<float>(style.range.min),
           span > 0.0f ? (kRampSteps - 1) / span : 0.0f, entries);
  const uint32_t* colours = style.colours.data();
  for (int32_t pixel = 0; pixel < count; ++pixel) {
    uint32_t colour = colours[entries[pixel]];
    rgb[3 * pixel] = static_cast<uint8_t>(colour);
    rgb[3 * pixel + 1] = static_cast<uint8_t>(colour >> 8);
    rgb[3 * pixel + 2] = static_cast<uint8_t>(colour >> 16);
  }
}
