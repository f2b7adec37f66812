// Which engine smooths an image, as one table.
#include "processing/smoothing_choice.h"

#include <cstddef>
#include <cstdint>

#include "platform/compiler.h"
#include "processing/smoothing_common.h"
#include "processing/smoothing_lanes.h"
#include "processing/smoothing_rows.h"

namespace {

// Build: the x86-64 kernels, unless the build asked for portable ones.
// Processor: AVX2 and FMA, where they are built.
#if defined(QUILLORN_X86_KERNELS)
constexpr bool kX86Kernels = true;
constexpr LaneKernels kAvx2Kernels{runLaneStepsAvx2, planesToLanesAvx2,
                                   lanesToPlanesAvx2};
constexpr LaneKernels kSse2Kernels{runLaneStepsSse2, planesToLanesSse2,
                                   lanesToPlanesSse2};
bool hasAvx2Fma() { return processorHasAvx2Fma(); }
#else
constexpr bool kX86Kernels = false;
constexpr LaneKernels kAvx2Kernels{};
constexpr LaneKernels kSse2Kernels{};
bool hasAvx2Fma() { return false; }
#endif
#if defined(QUILLORN_WASM_KERNELS)
constexpr bool kWasmKernels = true;
constexpr LaneKernels kWasmLaneKernels{runLaneStepsWasm, planesToLanesWasm,
                                       lanesToPlanesWasm};
#else
constexpr bool kWasmKernels = false;
constexpr LaneKernels kWasmLaneKernels{};
#endif
constexpr LaneKernels kPlainKernels{runLaneStepsPlain, planesToLanesPlain,
                                    lanesToPlanesPlain};

bool anyProcessor() { return true; }
bool anyMemory(int32_t, int32_t, size_t) { return true; }

constexpr int32_t kAnyWidth = INT32_MAX;

struct EngineRow {
  SmoothingEngine engine;
  bool built;              // build: this build has the engine
  bool (*processorHas)();  // processor: it can run the engine
  int32_t fewestRows;      // shape: images with fewer rows go further
  int32_t narrowerThan;    // shape: and so do images as wide or wider
  // memory: one pass's working memory fits in the budget
  bool (*fits)(int32_t width, int32_t height, size_t budget);
};

constexpr auto kAvx2 = SmoothingEngine::kLanesAvx2;
constexpr auto kSse2 = SmoothingEngine::kLanesSse2;
constexpr auto kWasm = SmoothingEngine::kLanesWasm;
constexpr auto kPlain = SmoothingEngine::kLanesPlain;
constexpr auto kRows = SmoothingEngine::kRows;
constexpr auto kDirect = SmoothingEngine::kDirect;

// The first row that allows an image smooths it. The shapes were measured
// against the row engine: on images 20,000 columns wide AVX2 lanes are
// clearly faster from 12 rows on, SSE2 ones from 16, the plain ones from 20;
// the plain ones, from 512 columns on, not at all (on x86-64 the SSE2 lanes
// come first). The WebAssembly lanes, four 32-bit lanes a vector as SSE2's,
// take SSE2's shapes. Just below, at 511 x 8192, the row engine of a
// portable build took 12 to 34% more processor time than the plain lanes
// for 16 and 64 passes, whole runs (bench/smoothing_builds.sh).
// clang-format off
constexpr EngineRow kEngines[] = {
  // engine  build        processor     rows  columns    memory
  {kAvx2,    kX86Kernels, hasAvx2Fma,   12,   kAnyWidth, laneBandsFit},
  {kSse2,    kX86Kernels, anyProcessor, 16,   kAnyWidth, laneBandsFit},
  {kWasm,    kWasmKernels, anyProcessor, 16,  kAnyWidth, laneBandsFit},
  {kPlain,   true,        anyProcessor, 20,   512,       laneBandsFit},
  {kRows,    true,        anyProcessor, 1,    kAnyWidth, smoothRowsFit},
  {kDirect,  true,        anyProcessor, 1,    kAnyWidth, anyMemory},
};
// clang-format on

}  // namespace

SmoothingEngine chooseSmoothing(int32_t width, int32_t height,
                                SmoothingEngine first) {
  const size_t budget = smoothingBudget(width, height);
  for (const EngineRow& row : kEngines) {
    if (row.engine < first) continue;
    if (row.built && row.processorHas() && height >= row.fewestRows &&
        width < row.narrowerThan && row.fits(width, height, budget)) {
      return row.engine;
    }
  }
  return SmoothingEngine::kDirect;
}

const LaneKernels* laneKernelsOf(SmoothingEngine engine) {
  const LaneKernels* kernels = engine == kAvx2    ? &kAvx2Kernels
                               : engine == kSse2  ? &kSse2Kernels
                               : engine == kWasm  ? &kWasmLaneKernels
                               : engine == kPlain ? &kPlainKernels
                                                  : nullptr;
  for (const EngineRow& row : kEngines) {
    if (row.engine == engine && !(row.built && row.processorHas())) {
      return nullptr;
    }
  }
  return kernels;
}
