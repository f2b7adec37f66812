// Per-stage cost in nanoseconds per pixel, on a generated 8192 x 8192 map
// held in planes as the tool holds it (release build only):
//   build/release/quillorn_bench [--benchmark_filter=Smooth]
#include <benchmark/benchmark.h>

#include <cstring>
#include <string>
#include <vector>

#include "image/height_planes.h"
#include "image/pixel_rows.h"
#include "processing/height_processing.h"
#include "processing/smoothing_band.h"
#include "processing/smoothing_lanes.h"
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
// the engine the tool picks, then the lanes with each instruction set the
// processor has (0 the fastest) and the row engine, for comparison.
void smoothBenchmark(benchmark::State& state, int32_t engine) {
  Planes planes;
  int32_t passes = static_cast<int32_t>(state.range(0));
  const LaneKernels* kernels = nullptr;
  int32_t kernelCount = availableLaneKernels(&kernels);
  if (engine >= kernelCount) {
    state.SkipWithError("the processor lacks this instruction set");
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
                           kernels[engine], smoothingBudget(kSide, kSide),
                           nullptr);
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

}  // namespace

BENCHMARK(BM_Smooth)
    ->Unit(benchmark::kMillisecond)
    ->Arg(1)
    ->Arg(4)
    ->Arg(16)
    ->Arg(64);
BENCHMARK(BM_SmoothLanes)
    ->Unit(benchmark::kMillisecond)
    ->ArgsProduct({{16}, {0, 1, 2}});
BENCHMARK(BM_SmoothRows)->Unit(benchmark::kMillisecond)->Arg(4)->Arg(16);
BENCHMARK(BM_ScaleByTable)->Unit(benchmark::kMillisecond)->MinTime(2.0);
BENCHMARK(BM_ScaleArithmetic)->Unit(benchmark::kMillisecond)->MinTime(2.0);
BENCHMARK(BM_Normalize)->Unit(benchmark::kMillisecond)->MinTime(2.0);
BENCHMARK(BM_Minimum)->Unit(benchmark::kMillisecond)->MinTime(2.0);
BENCHMARK(BM_RangeScan)->Unit(benchmark::kMillisecond)->MinTime(2.0);
BENCHMARK(BM_SplitAndJoinRows)->Unit(benchmark::kMillisecond)->MinTime(2.0);

BENCHMARK_MAIN();
