// Per-stage cost in nanoseconds per pixel, on a generated 8192 x 8192 map
// held in planes as the tool holds it (release build only):
//   build/release/quillorn_bench [--benchmark_filter=Smooth]
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstring>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include "image/float_plane.h"
#include "image/height_planes.h"
#include "image/pixel_rows.h"
#include "processing/float_smoothing.h"
#include "processing/height_processing.h"
#include "processing/plane_turns.h"
#include "processing/resampling.h"
#include "processing/smoothing.h"
#include "processing/smoothing_band.h"
#include "processing/smoothing_choice.h"
#include "processing/smoothing_common.h"
#include "processing/smoothing_lanes.h"
#include "processing/smoothing_rows.h"
#include "support/bitmap_builder.h"

namespace {

constexpr int32_t kSide = 8192;

// One terrain for every benchmark, rows top first; the planes are refilled
// from it before each stage that changes them.
const std::vector<HeightValue>& terrain() {
  static const std::vector<HeightValue> heights =
      makeTerrain(kSide, kSide, 65279, 4);
  return heights;
}

struct Planes {
  Planes() {
    std::string error;
    if (!allocatePlanes(&set, kSide, kSide, &error)) std::abort();
    refill();
  }
  ~Planes() { releasePlanes(&set); }
  void refill() {
    const std::vector<HeightValue>& heights = terrain();
    for (int32_t row = 0; row < kSide; ++row) {
      for (int32_t column = 0; column < kSide; ++column) {
        encodeHeight(heights[static_cast<size_t>(row) * kSide +
                             static_cast<size_t>(column)],
                     &set.inRed[row][column], &set.inGreen[row][column]);
      }
      std::memset(set.inBlue[row], 0, kSide);
    }
  }
  PlaneSet set;
};

// Shown as seconds per pixel with an SI prefix: "980p" is 0.98 ns.
void reportPerPixel(benchmark::State& state, double pixelsPerIteration) {
  state.counters["per_pixel"] = benchmark::Counter(
      pixelsPerIteration, benchmark::Counter::kIsIterationInvariantRate |
                              benchmark::Counter::kInvert);
}

constexpr int32_t kDefaultEngine = -1;
constexpr int32_t kRowEngine = -2;

// Smoothing per pixel per pass, for 1, 4, 16 and 64 passes (the argument):
// the engine the tool picks, then the lane engines as SmoothingEngine numbers
// them (0 AVX2, 1 SSE2, 3 plain) where the build and the processor have them,
// and the row engine, for comparison.
void smoothBenchmark(benchmark::State& state, int32_t engine) {
  Planes planes;
  int32_t passes = static_cast<int32_t>(state.range(0));
  const LaneKernels* kernels =
      engine >= 0 ? laneKernelsOf(static_cast<SmoothingEngine>(engine))
                  : nullptr;
  if (engine >= 0 && kernels == nullptr) {
    state.SkipWithError("the build or the processor lacks these kernels");
    return;
  }
  for (auto _ : state) {
    state.PauseTiming();
    planes.refill();
    state.ResumeTiming();
    BytePlane* red = &planes.set.outRed;
    BytePlane* green = &planes.set.outGreen;
    if (engine == kDefaultEngine) {
      smoothHeights(passes, red, green, kSide, kSide);
    } else if (engine == kRowEngine) {
      smoothHeightsInRows(passes, red, green, kSide, kSide, kHeightBase,
                          nullptr);
    } else {
      smoothHeightsInLanes(passes, red, green, kSide, kSide, kHeightBase,
                           *kernels, smoothingBudget(kSide, kSide), nullptr);
    }
  }
  reportPerPixel(state, double{kSide} * kSide * passes);
}

void BM_Smooth(benchmark::State& state) {
  smoothBenchmark(state, kDefaultEngine);
}
void BM_SmoothLanes(benchmark::State& state) {
  smoothBenchmark(state, static_cast<int32_t>(state.range(1)));
}
void BM_SmoothRows(benchmark::State& state) {
  smoothBenchmark(state, kRowEngine);
}

// Factor 2 overflows the stored range: the per-height table path.
void BM_ScaleByTable(benchmark::State& state) {
  Planes planes;
  for (auto _ : state) {
    scaleHeights(2.0f, &planes.set, kSide, kSide);
  }
  reportPerPixel(state, double{kSide} * kSide);
}

// Factor 0.5 keeps every result stored plainly: the arithmetic path.
void BM_ScaleArithmetic(benchmark::State& state) {
  Planes planes;
  for (auto _ : state) {
    scaleHeights(0.5f, &planes.set, kSide, kSide);
  }
  reportPerPixel(state, double{kSide} * kSide);
}

// "-sca 0": range scan, then shift, scale and cap in one pass.
void BM_Normalize(benchmark::State& state) {
  Planes planes;
  for (auto _ : state) {
    state.PauseTiming();
    planes.refill();
    state.ResumeTiming();
    benchmark::DoNotOptimize(scaleHeights(0.0f, &planes.set, kSide, kSide));
  }
  reportPerPixel(state, double{kSide} * kSide);
}

void BM_Minimum(benchmark::State& state) {
  Planes planes;
  int32_t minimum = 100;
  for (auto _ : state) {
    // Alternating targets: every iteration shifts every pixel.
    minimum = minimum == 100 ? 200 : 100;
    applyMinimumElevation(minimum, &planes.set.outRed, &planes.set.outGreen,
                          kSide, kSide);
  }
  reportPerPixel(state, double{kSide} * kSide);
}

void BM_RangeScan(benchmark::State& state) {
  Planes planes;
  for (auto _ : state) {
    benchmark::DoNotOptimize(
        findHeightRange(planes.set.inRed, planes.set.inGreen, kSide, kSide));
  }
  reportPerPixel(state, double{kSide} * kSide);
}

void BM_SplitAndJoinRows(benchmark::State& state) {
  Planes planes;
  std::vector<uint8_t> row(3 * kSide, 7);
  for (auto _ : state) {
    for (int32_t r = 0; r < kSide; ++r) {
      splitBgrRow(row.data(), planes.set.inRed[r], planes.set.inGreen[r],
                  planes.set.inBlue[r], kSide);
      joinBgrRow(planes.set.inRed[r], planes.set.inGreen[r],
                 planes.set.inBlue[r], row.data(), kSide);
    }
  }
  reportPerPixel(state, double{kSide} * kSide);
}

// Maps of any size for the resampling and the turns: generated terrain
// (blue 0), or random bytes in every plane (blue too, so that its
// nearest-pixel pass does the full work).
enum MapKind { kTerrainMap = 0, kRandomMap = 1 };

void fillMap(PlaneSet* planes, int32_t width, int32_t height, int kind) {
  if (kind == kTerrainMap) {
    static std::vector<HeightValue> heights;
    static int32_t madeWidth = 0, madeHeight = 0;
    if (madeWidth != width || madeHeight != height) {
      heights = makeTerrain(width, height, 65279, 4);
      madeWidth = width;
      madeHeight = height;
    }
    for (int32_t row = 0; row < height; ++row) {
      for (int32_t column = 0; column < width; ++column) {
        encodeHeight(
            heights[static_cast<size_t>(row) * static_cast<size_t>(width) +
                    static_cast<size_t>(column)],
            &planes->inRed[row][column], &planes->inGreen[row][column]);
      }
      std::memset(planes->inBlue[row], 0, static_cast<size_t>(width));
    }
    return;
  }
  std::mt19937 engine(11);
  for (BytePlane* plane : {&planes->inRed, &planes->inGreen, &planes->inBlue}) {
    for (int32_t row = 0; row < height; ++row) {
      for (int32_t column = 0; column < width; column += 4) {
        uint32_t bits = static_cast<uint32_t>(engine());
        for (int32_t k = 0; k < 4 && column + k < width; ++k) {
          (*plane)[row][column + k] = static_cast<uint8_t>(bits >> (8 * k));
        }
      }
    }
  }
}

// Kilobytes from a line of /proc/self/status ("VmRSS:", "VmHWM:"); 0 where
// the system has none.
int64_t statusKib(const char* field) {
  std::ifstream status("/proc/self/status");
  std::string line;
  while (std::getline(status, line)) {
    if (line.rfind(field, 0) == 0)
      return std::atoll(line.c_str() + std::strlen(field));
  }
  return 0;
}

// Starts counting the peak resident memory afresh (Linux: clear_refs 5).
void resetPeakMemory() {
  std::FILE* file = std::fopen("/proc/self/clear_refs", "w");
  if (file == nullptr) return;
  std::fputs("5", file);
  std::fclose(file);
}

// Resampling a side x side map to a target side (both the arguments) with
// the filter and map kind given: the time of the stage alone, its working
// memory beside the planes, and the peak resident memory it added to the
// source planes (the new planes and the working memory, as the system
// counts them).
void BM_Resample(benchmark::State& state) {
  const int32_t from = static_cast<int32_t>(state.range(0));
  const int32_t to = static_cast<int32_t>(state.range(1));
  const auto filter = static_cast<ResampleFilter>(state.range(2));
  const int kind = static_cast<int>(state.range(3));
  int64_t working = 0;
  int64_t added = 0;
  for (auto _ : state) {
    state.PauseTiming();
    PlaneSet planes;
    std::string error;
    if (!allocatePlanes(&planes, from, from, &error)) std::abort();
    fillMap(&planes, from, from, kind);
    resetPeakMemory();
    const int64_t before = statusKib("VmRSS:");
    state.ResumeTiming();
    ResampleOutcome outcome;
    if (!resampleHeights(&planes, from, from, {to, to, filter}, &outcome,
                         &error)) {
      state.SkipWithError(error.c_str());
      return;
    }
    state.PauseTiming();
    added = std::max(added, (statusKib("VmHWM:") - before) * 1024);
    working = outcome.workingBytes;
    releasePlanes(&planes);
    state.ResumeTiming();
  }
  state.counters["working_MiB"] = static_cast<double>(working) / (1 << 20);
  state.counters["added_MiB"] = static_cast<double>(added) / (1 << 20);
  state.counters["target_planes_MiB"] = 3.0 * to * to / (1 << 20);
  reportPerPixel(state, static_cast<double>(to) * to);
}

// Turning a map of the given width and height: -rotate 90 (0), -flip
// horizontal (1), -flip vertical (2), -rotate 180 (3).
void BM_Turn(benchmark::State& state) {
  const int32_t width = static_cast<int32_t>(state.range(0));
  const int32_t height = static_cast<int32_t>(state.range(1));
  const PlaneTurn turns[] = {PlaneTurn::kRotate90, PlaneTurn::kFlipHorizontal,
                             PlaneTurn::kFlipVertical, PlaneTurn::kRotate180};
  const std::vector<PlaneTurn> list = {turns[state.range(2)]};
  PlaneSet planes;
  std::string error;
  if (!allocatePlanes(&planes, width, height, &error)) std::abort();
  fillMap(&planes, width, height, kRandomMap);
  int32_t w = width, h = height;
  int64_t added = 0;
  for (auto _ : state) {
    resetPeakMemory();
    const int64_t before = statusKib("VmRSS:");
    if (!applyPlaneTurns(list, &planes, &w, &h, &error)) std::abort();
    added = std::max(added, (statusKib("VmHWM:") - before) * 1024);
  }
  state.counters["added_MiB"] = static_cast<double>(added) / (1 << 20);
  releasePlanes(&planes);
  reportPerPixel(state, static_cast<double>(width) * height);
}

// Smoothing of the byte planes and of float maps side by side, per pixel
// per pass, on 8192 x 8192 maps of three kinds (the argument "kind"):
// terrain, flat (every height the same: the first pass changes nothing,
// so that it is the only one run) and random heights; the float maps in
// metres, the terrain's heights a hundredth of the bytes'.
enum SmoothKind { kSmoothTerrain = 0, kSmoothFlat = 1, kSmoothRandom = 2 };

void BM_SmoothKinds(benchmark::State& state) {
  const int32_t passes = static_cast<int32_t>(state.range(0));
  const int kind = static_cast<int>(state.range(1));
  PlaneSet planes;
  std::string error;
  if (!allocatePlanes(&planes, kSide, kSide, &error)) std::abort();
  for (auto _ : state) {
    state.PauseTiming();
    if (kind == kSmoothFlat) {
      for (int32_t row = 0; row < kSide; ++row) {
        std::memset(planes.inRed[row], 0x34, kSide);
        std::memset(planes.inGreen[row], 0x12, kSide);
        std::memset(planes.inBlue[row], 0, kSide);
      }
    } else {
      fillMap(&planes, kSide, kSide,
              kind == kSmoothTerrain ? kTerrainMap : kRandomMap);
    }
    state.ResumeTiming();
    smoothHeights(passes, &planes.outRed, &planes.outGreen, kSide, kSide);
  }
  releasePlanes(&planes);
  reportPerPixel(state, double{kSide} * kSide * passes);
}

void fillFloatMap(FloatPlane* plane, int kind) {
  const size_t count = static_cast<size_t>(kSide) * kSide;
  if (kind == kSmoothTerrain) {
    const std::vector<HeightValue>& heights = terrain();
    for (size_t i = 0; i < count; ++i) {
      plane->values[i] = 0.01f * static_cast<float>(heights[i]) - 120.0f;
    }
    return;
  }
  std::mt19937 engine(11);
  std::uniform_real_distribution<float> random(-500.0f, 3000.0f);
  for (size_t i = 0; i < count; ++i) {
    plane->values[i] = kind == kSmoothFlat ? 42.5f : random(engine);
  }
}

// The argument "engine": -1 the one the tool picks, else a
// FloatSmoothingEngine.
void BM_SmoothFloat(benchmark::State& state) {
  const int32_t passes = static_cast<int32_t>(state.range(0));
  const int kind = static_cast<int>(state.range(1));
  const int64_t engine = state.range(2);
  if (engine >= 0 &&
      !floatSmoothingEngineRuns(static_cast<FloatSmoothingEngine>(engine))) {
    state.SkipWithError("the build or the processor lacks this engine");
    return;
  }
  FloatPlane plane;
  std::string error;
  if (!allocateFloatPlane(&plane, kSide, kSide, &error)) std::abort();
  for (auto _ : state) {
    state.PauseTiming();
    fillFloatMap(&plane, kind);
    state.ResumeTiming();
    if (engine < 0) {
      smoothFloatHeights(passes, &plane);
    } else {
      smoothFloatHeightsWith(static_cast<FloatSmoothingEngine>(engine), passes,
                             &plane);
    }
  }
  releaseFloatPlane(&plane);
  reportPerPixel(state, double{kSide} * kSide * passes);
}

}  // namespace

BENCHMARK(BM_Smooth)
    ->Unit(benchmark::kMillisecond)
    ->Arg(1)
    ->Arg(4)
    ->Arg(16)
    ->Arg(64);
BENCHMARK(BM_SmoothLanes)
    ->Unit(benchmark::kMillisecond)
    ->ArgsProduct({{16}, {0, 1, 3}});
BENCHMARK(BM_SmoothKinds)
    ->Unit(benchmark::kMillisecond)
    ->ArgNames({"passes", "kind"})
    ->ArgsProduct({{1, 16}, {kSmoothTerrain, kSmoothFlat, kSmoothRandom}});
BENCHMARK(BM_SmoothFloat)
    ->Unit(benchmark::kMillisecond)
    ->ArgNames({"passes", "kind", "engine"})
    ->ArgsProduct({{1, 16}, {kSmoothTerrain, kSmoothFlat, kSmoothRandom}, {-1}})
    ->ArgsProduct({{4}, {kSmoothTerrain}, {0, 1, 2}});
BENCHMARK(BM_SmoothRows)->Unit(benchmark::kMillisecond)->Arg(4)->Arg(16);
BENCHMARK(BM_ScaleByTable)->Unit(benchmark::kMillisecond)->MinTime(2.0);
BENCHMARK(BM_ScaleArithmetic)->Unit(benchmark::kMillisecond)->MinTime(2.0);
BENCHMARK(BM_Normalize)->Unit(benchmark::kMillisecond)->MinTime(2.0);
BENCHMARK(BM_Minimum)->Unit(benchmark::kMillisecond)->MinTime(2.0);
BENCHMARK(BM_RangeScan)->Unit(benchmark::kMillisecond)->MinTime(2.0);
BENCHMARK(BM_SplitAndJoinRows)->Unit(benchmark::kMillisecond)->MinTime(2.0);
// 8193 to 4097 and back, cubic and linear, on terrain and on random bytes.
BENCHMARK(BM_Resample)
    ->Unit(benchmark::kMillisecond)
    ->ArgNames({"from", "to", "filter", "kind"})
    ->ArgsProduct({{8193}, {4097}, {0, 1}, {kTerrainMap, kRandomMap}})
    ->ArgsProduct({{4097}, {8193}, {0, 1}, {kTerrainMap, kRandomMap}})
    ->Iterations(3);
// A quarter turn of a map that is not square (new planes) and of a square
// one (in place), and the flips.
BENCHMARK(BM_Turn)
    ->Unit(benchmark::kMillisecond)
    ->ArgNames({"width", "height", "turn"})
    ->Args({8193, 4097, 0})
    ->Args({8192, 8192, 0})
    ->Args({8192, 8192, 1})
    ->Args({8192, 8192, 2})
    ->Args({8192, 8192, 3})
    ->Iterations(4);

BENCHMARK_MAIN();
