#include "processing/resampling_passes.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "processing/float_resampling.h"
#include "processing/resampling.h"

namespace {

constexpr ResampleFilter kFilters[] = {
    ResampleFilter::kCubic, ResampleFilter::kLinear, ResampleFilter::kBox,
    ResampleFilter::kMitchell, ResampleFilter::kBspline};

constexpr ResampleEngine kLaneEngines[] = {
    ResampleEngine::kLanesAvx2, ResampleEngine::kLanesSse2,
    ResampleEngine::kLanesWasm, ResampleEngine::kLanesPlain};

// Up and down on either axis, odd sizes, sides of one pixel and sides that
// stay; wider than one call of kColumnsPerCall result columns; small bands
// so that a map takes several.
struct Shape {
  int32_t width, height, toWidth, toHeight;
  int64_t bandBytes;
};
constexpr Shape kShapes[] = {
    {37, 29, 301, 7, 1},        {613, 5, 257, 1, kResampleBandBytes},
    {1, 40, 9, 83, 4096},       {531, 61, 531, 23, 20000},
    {300, 1, 1, 1, 1},          {5, 3, 1100, 2, kResampleBandBytes},
    {1000, 19, 299, 45, 60000}, {2, 2, 3, 5, 1},
};

std::vector<HeightValue> randomHeights(int32_t count, HeightValue top,
                                       uint32_t seed) {
  std::mt19937 random(seed);
  std::uniform_int_distribution<HeightValue> height(0, top);
  std::vector<HeightValue> heights(static_cast<size_t>(count));
  for (HeightValue& value : heights) value = height(random);
  return heights;
}

// The red and green bytes of the resampled map, or empty on failure.
std::vector<uint8_t> resampledBytes(const Shape& shape, HeightValue base,
                                    const std::vector<HeightValue>& heights,
                                    ResampleRequest request) {
  PlaneSet planes;
  std::string error;
  if (!allocatePlanes(&planes, shape.width, shape.height, &error)) return {};
  planes.base = base;
  for (int32_t row = 0; row < shape.height; ++row) {
    for (int32_t column = 0; column < shape.width; ++column) {
      storeHeight(base,
                  heights[static_cast<size_t>(row * shape.width + column)],
                  &planes.inRed[row][column], &planes.inGreen[row][column]);
    }
  }
  ResampleOutcome outcome;
  std::vector<uint8_t> bytes;
  if (resampleHeights(&planes, shape.width, shape.height, request, &outcome,
                      &error)) {
    for (int32_t row = 0; row < request.height; ++row) {
      bytes.insert(bytes.end(), planes.outRed[row],
                   planes.outRed[row] + request.width);
      bytes.insert(bytes.end(), planes.outGreen[row],
                   planes.outGreen[row] + request.width);
    }
  }
  EXPECT_FALSE(bytes.empty()) << error;
  releasePlanes(&planes);
  return bytes;
}

// The floats of the resampled map, as bits (NaN included).
std::vector<uint32_t> resampledBits(const Shape& shape,
                                    const std::vector<float>& values,
                                    ResampleRequest request) {
  FloatPlane plane;
  std::string error;
  if (!allocateFloatPlane(&plane, shape.width, shape.height, &error)) return {};
  std::memcpy(plane.values, values.data(), values.size() * sizeof(float));
  ResampleOutcome outcome;
  std::vector<uint32_t> bits;
  if (resampleFloatHeights(&plane, request, &outcome, &error)) {
    bits.resize(static_cast<size_t>(request.width) *
                static_cast<size_t>(request.height));
    std::memcpy(bits.data(), plane.values, bits.size() * sizeof(float));
  }
  EXPECT_FALSE(bits.empty()) << error;
  releaseFloatPlane(&plane);
  return bits;
}

TEST(ResampleDifferentialTest, EveryEngineGivesTheLibrarysBits) {
  if (!haveResampler()) GTEST_SKIP() << "built without stb_image_resize";
  uint32_t seed = 1;
  for (const Shape& shape : kShapes) {
    const int32_t count = shape.width * shape.height;
    for (ResampleFilter filter : kFilters) {
      const HeightValue base = seed % 2 == 0 ? kWideBase : kHeightBase;
      const std::vector<HeightValue> heights =
          randomHeights(count, largestStoredHeight(base), seed);
      // Floats over a wide range, negative ones and a hole or two too.
      std::vector<float> values(heights.size());
      for (size_t i = 0; i < values.size(); ++i) {
        values[i] = (static_cast<float>(heights[i]) - 30000.0f) * 0.37f;
        if (i % 97 == 13) values[i] = std::nanf("");
      }
      ++seed;
      ResampleRequest request{shape.toWidth, shape.toHeight, filter,
                              shape.bandBytes};
      request.keepRange = seed % 3 == 0;
      request.engine = ResampleEngine::kLibrary;
      const std::vector<uint8_t> library =
          resampledBytes(shape, base, heights, request);
      const std::vector<uint32_t> libraryFloats =
          resampledBits(shape, values, request);
      for (ResampleEngine engine : kLaneEngines) {
        if (resampleKernelsOf(engine) == nullptr) continue;
        request.engine = engine;
        SCOPED_TRACE(testing::Message()
                     << shape.width << " x " << shape.height << " to "
                     << shape.toWidth << " x " << shape.toHeight << ", "
                     << resampleFilterName(filter) << ", engine "
                     << static_cast<int>(engine));
        EXPECT_EQ(resampledBytes(shape, base, heights, request), library);
        EXPECT_EQ(resampledBits(shape, values, request), libraryFloats);
      }
    }
  }
}

TEST(ResampleDifferentialTest, ChoiceFallsToWhatTheBuildHas) {
  EXPECT_EQ(chooseResampling(ResampleEngine::kLibrary),
            ResampleEngine::kLibrary);
  EXPECT_EQ(resampleKernelsOf(ResampleEngine::kLibrary), nullptr);
  EXPECT_NE(resampleKernelsOf(ResampleEngine::kLanesPlain), nullptr);
  EXPECT_NE(chooseResampling(), ResampleEngine::kLibrary);
  EXPECT_NE(resampleKernelsOf(chooseResampling()), nullptr);
}

}  // namespace
