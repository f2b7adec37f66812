#include "processing/shaded_relief.h"

#include <algorithm>
#include <cmath>

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

// Relief as tall as this share of the map's longer side: enough to see
// every ridge, not so much that slopes turn black.
constexpr float kReliefShare = 0.12f;

// Light from the north-west (up and to the left in the picture), 45 degrees
// above the horizon, as a unit vector towards the light.
constexpr float kLightX = -0.5f;
constexpr float kLightY = -0.5f;
constexpr float kLightZ = 0.70710678f;

// Share of the colour that stays in full shadow.
constexpr float kAmbient = 0.35f;

void rampColour(float t, float* red, float* green, float* blue) {
  t = std::min(1.0f, std::max(0.0f, t));
  int stop = 1;
  while (stop < 4 && t > kRamp[stop].at) ++stop;
  const RampStop& a = kRamp[stop - 1];
  const RampStop& b = kRamp[stop];
  float mix = (t - a.at) / (b.at - a.at);
  *red = a.red + (b.red - a.red) * mix;
  *green = a.green + (b.green - a.green) * mix;
  *blue = a.blue + (b.blue - a.blue) * mix;
}

uint8_t toByte(float value) {
  return static_cast<uint8_t>(std::min(255.0f, std::max(0.0f, value)) + 0.5f);
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
  return style;
}

void shadeReliefRow(const PlaneSet& planes, int32_t width, int32_t height,
                    const ReliefStyle& style, int32_t row, uint8_t* rgb) {
  const HeightValue base = planes.base;
  const int32_t up = std::max(row - 1, 0);
  const int32_t down = std::min(row + 1, height - 1);
  auto at = [&](int32_t r, int32_t c) {
    return static_cast<float>(
        decodeHeightIn(base, planes.outRed[r][c], planes.outGreen[r][c]));
  };
  const float span = static_cast<float>(style.range.max - style.range.min);
  const float low = static_cast<float>(style.range.min);
  // Central differences span two pixels, one at the edges.
  const float rowsApart = static_cast<float>(down - up);
  for (int32_t column = 0; column < width; ++column) {
    const int32_t left = std::max(column - 1, 0);
    const int32_t right = std::min(column + 1, width - 1);
    float here = at(row, column);
    float slopeX = 0.0f;
    float slopeY = 0.0f;
    if (right > left) {
      slopeX = (at(row, right) - at(row, left)) * style.heightScale /
               static_cast<float>(right - left);
    }
    if (rowsApart > 0.0f) {
      slopeY =
          (at(down, column) - at(up, column)) * style.heightScale / rowsApart;
    }
    // The surface's normal is (-slopeX, -slopeY, 1), normalized.
    float light = (-slopeX * kLightX - slopeY * kLightY + kLightZ) /
                  std::sqrt(slopeX * slopeX + slopeY * slopeY + 1.0f);
    float shade =
        kAmbient + (1.0f - kAmbient) * std::max(light, 0.0f) / kLightZ * 0.85f;
    float red, green, blue;
    rampColour(span > 0.0f ? (here - low) / span : 0.5f, &red, &green, &blue);
    rgb[3 * column] = toByte(red * shade);
    rgb[3 * column + 1] = toByte(green * shade);
    rgb[3 * column + 2] = toByte(blue * shade);
  }
}
