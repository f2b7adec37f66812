#include "processing/shaded_relief.h"

#include <algorithm>
#include <cmath>

#include "platform/compiler.h"

#if defined(QUILLORN_WASM_KERNELS)
#include <wasm_simd128.h>
#endif

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

// Each pixel's colour from its entry, as red, green, blue bytes.
void packColours(const int32_t* entries, const uint32_t* colours, int32_t count,
                 uint8_t* rgb) {
  for (int32_t pixel = 0; pixel < count; ++pixel) {
    uint32_t colour = colours[entries[pixel]];
    rgb[3 * pixel] = static_cast<uint8_t>(colour);
    rgb[3 * pixel + 1] = static_cast<uint8_t>(colour >> 8);
    rgb[3 * pixel + 2] = static_cast<uint8_t>(colour >> 16);
  }
}

#if defined(QUILLORN_WASM_KERNELS)
// shadeRow's entries of four pixels from column on: the same operations in
// the same order, each rounded as the scalar one is (WebAssembly has no
// fused multiply-add to contract them into), so the same entries.
v128_t shadeFourWasm(const float* up, const float* here, const float* down,
                     int32_t column, v128_t slope, v128_t low, v128_t toStep) {
  const v128_t zero = wasm_f32x4_splat(0.0f);
  const v128_t one = wasm_f32x4_splat(1.0f);
  const v128_t half = wasm_f32x4_splat(0.5f);
  v128_t slopeX =
      wasm_f32x4_mul(wasm_f32x4_sub(wasm_v128_load(here + column + 2),
                                    wasm_v128_load(here + column)),
                     slope);
  v128_t slopeY =
      wasm_f32x4_mul(wasm_f32x4_sub(wasm_v128_load(down + column + 1),
                                    wasm_v128_load(up + column + 1)),
                     slope);
  v128_t facing = wasm_f32x4_sub(
      wasm_f32x4_sub(wasm_f32x4_splat(kLightZ),
                     wasm_f32x4_mul(slopeX, wasm_f32x4_splat(kLightX))),
      wasm_f32x4_mul(slopeY, wasm_f32x4_splat(kLightY)));
  v128_t length = wasm_f32x4_sqrt(
      wasm_f32x4_add(wasm_f32x4_add(wasm_f32x4_mul(slopeX, slopeX),
                                    wasm_f32x4_mul(slopeY, slopeY)),
                     one));
  v128_t light = wasm_f32x4_div(facing, length);
  // pmax(a, b) is a < b ? b : a and pmin(a, b) is b < a ? b : a, which are
  // std::max and std::min with their arguments so.
  v128_t level = wasm_i32x4_trunc_sat_f32x4(wasm_f32x4_add(
      wasm_f32x4_mul(wasm_f32x4_pmin(wasm_f32x4_pmax(light, zero), one),
                     wasm_f32x4_splat(kLevelsPerLight)),
      half));
  v128_t at = wasm_f32x4_mul(
      wasm_f32x4_sub(wasm_v128_load(here + column + 1), low), toStep);
  v128_t step = wasm_i32x4_trunc_sat_f32x4(wasm_f32x4_add(
      wasm_f32x4_pmin(wasm_f32x4_pmax(at, zero),
                      wasm_f32x4_splat(static_cast<float>(kRampSteps - 1))),
      half));
  return wasm_i32x4_add(wasm_i32x4_shl(step, 6), level);
}
static_assert(kLightLevels == 1 << 6, "the entries shift the step by 6");

// The packed colours of four entries.
v128_t coloursOfWasm(v128_t entries, const uint32_t* colours) {
  return wasm_u32x4_make(colours[wasm_i32x4_extract_lane(entries, 0)],
                         colours[wasm_i32x4_extract_lane(entries, 1)],
                         colours[wasm_i32x4_extract_lane(entries, 2)],
                         colours[wasm_i32x4_extract_lane(entries, 3)]);
}

// shadeRow and packColours together, sixteen pixels a step: the packed
// colours' three low bytes of each lane, 48 bytes of four vectors.
void shadeRowWasm(const float* up, const float* here, const float* down,
                  int32_t width, float slope, float low, float toStep,
                  const uint32_t* colours, int32_t* entries, uint8_t* rgb) {
  const v128_t slopes = wasm_f32x4_splat(slope);
  const v128_t lows = wasm_f32x4_splat(low);
  const v128_t toSteps = wasm_f32x4_splat(toStep);
  int32_t column = 0;
  for (; column + 16 <= width; column += 16) {
    v128_t c[4];
    for (int32_t part = 0; part < 4; ++part) {
      c[part] = coloursOfWasm(shadeFourWasm(up, here, down, column + 4 * part,
                                            slopes, lows, toSteps),
                              colours);
    }
    uint8_t* to = rgb + 3 * column;
    wasm_v128_store(to, wasm_i8x16_shuffle(c[0], c[1], 0, 1, 2, 4, 5, 6, 8, 9,
                                           10, 12, 13, 14, 16, 17, 18, 20));
    wasm_v128_store(
        to + 16, wasm_i8x16_shuffle(c[1], c[2], 5, 6, 8, 9, 10, 12, 13, 14, 16,
                                    17, 18, 20, 21, 22, 24, 25));
    wasm_v128_store(
        to + 32, wasm_i8x16_shuffle(c[2], c[3], 10, 12, 13, 14, 16, 17, 18, 20,
                                    21, 22, 24, 25, 26, 28, 29, 30));
  }
  shadeRow(up + column, here + column, down + column, width - column, slope,
           low, toStep, entries);
  packColours(entries, colours, width - column, rgb + 3 * column);
}
#endif

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
  const float slope = style.heightScale / 2;
  const float low = static_cast<float>(style.range.min);
  const float toStep = span > 0.0f ? (kRampSteps - 1) / span : 0.0f;
#if defined(QUILLORN_WASM_KERNELS)
  shadeRowWasm(heights, heights + padded, heights + 2 * padded, count, slope,
               low, toStep, style.colours.data(), entries, rgb);
#else
  shadeRow(heights, heights + padded, heights + 2 * padded, count, slope, low,
           toStep, entries);
  packColours(entries, style.colours.data(), count, rgb);
#endif
}
