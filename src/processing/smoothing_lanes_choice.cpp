// Which lane kernels smooth: the processor's instruction sets, the shapes
// where lanes beat the row engine, and the multipliers the kernels divide by.
#include <cmath>
#include <cstdint>

#include "platform/compiler.h"
#include "processing/smoothing_lanes.h"

float laneMultiplier(int32_t count) {
  float multiplier = static_cast<float>(1.0 / count);
  if (static_cast<double>(multiplier) * count <= 1.0) {
    multiplier = std::nextafter(multiplier, 2.0f);
  }
  return multiplier;
}

int32_t availableLaneKernels(const LaneKernels** kernels) {
  // The fewest rows each takes, as measured against the row engine on
  // images 20,000 columns wide: AVX2 lanes are clearly faster from 12 rows
  // on, SSE2 ones from 16, the plain ones only from 20.
  static const LaneKernels kAll[] = {
#if defined(QUILLORN_X86_KERNELS)
    {runLaneStepsAvx2, planesToLanesAvx2, lanesToPlanesAvx2, 12},
    {runLaneStepsSse2, planesToLanesSse2, lanesToPlanesSse2, 16},
#endif
    {runLaneStepsPlain, planesToLanesPlain, lanesToPlanesPlain, 20},
  };
  int32_t count = static_cast<int32_t>(sizeof(kAll) / sizeof(kAll[0]));
#if defined(QUILLORN_X86_KERNELS)
  if (!processorHasAvx2Fma()) {
    *kernels = kAll + 1;
    return count - 1;
  }
#endif
  *kernels = kAll;
  return count;
}

const LaneKernels* laneKernelsFor(int32_t width, int32_t height) {
  const LaneKernels* kernels = nullptr;
  int32_t count = availableLaneKernels(&kernels);
  if (height < kernels->fewestRows || (count == 1 && width >= 512)) {
    return nullptr;
  }
  return kernels;
}
