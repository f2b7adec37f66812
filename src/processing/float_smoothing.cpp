// Smoothing of float maps: the engine that runs here, and the rule written
// plainly, cell by cell on the plane.
#include "processing/float_smoothing.h"

#include "platform/compiler.h"
#include "processing/float_lane_bands.h"
#include "processing/float_smoothing_lanes.h"

namespace {

// Maps shorter than this leave most of a band's lanes empty: cell by cell.
constexpr int32_t kFewestLaneRows = 16;

#if defined(QUILLORN_X86_KERNELS)
constexpr FloatLaneKernels kAvx2Kernels{runFloatLanesAvx2, moveFloatLanesAvx2};
constexpr FloatLaneKernels kSse2Kernels{runFloatLanesSse2, moveFloatLanesSse2};
#endif
constexpr FloatLaneKernels kPlainKernels{runFloatLanesPlain,
                                         moveFloatLanesPlain};

const FloatLaneKernels* kernelsOf(FloatSmoothingEngine engine) {
  switch (engine) {
#if defined(QUILLORN_X86_KERNELS)
    case FloatSmoothingEngine::kLanesAvx2:
      return processorHasAvx2Fma() ? &kAvx2Kernels : nullptr;
    case FloatSmoothingEngine::kLanesSse2:
      return &kSse2Kernels;
#endif
    case FloatSmoothingEngine::kLanesPlain:
      return &kPlainKernels;
    default:
      return nullptr;
  }
}

// A cell's height as the sums take it: nodata and cells off the map as 0.
float summed(const FloatPlane& plane, int32_t row, int32_t column) {
  if (row < 0 || row >= plane.height || column < 0 || column >= plane.width) {
    return 0;
  }
  const float value = plane.row(row)[column];
  return isNodata(value) ? 0 : value;
}

int32_t validAround(const FloatPlane& plane, int32_t row, int32_t column) {
  int32_t count = 0;
  for (int32_t r = row - 1; r <= row + 1; ++r) {
    for (int32_t c = column - 1; c <= column + 1; ++c) {
      if (r >= 0 && r < plane.height && c >= 0 && c < plane.width) {
        count += isNodata(plane.row(r)[c]) ? 0 : 1;
      }
    }
  }
  return count;
}

void smoothDirect(int32_t passes, FloatPlane* plane, const Progress* progress) {
  const int64_t total = int64_t{passes} * plane->height;
  bool changed = true;
  for (int32_t pass = 0; pass < passes && changed; ++pass) {
    changed = false;
    for (int32_t row = 0; row < plane->height; ++row) {
      float* values = plane->row(row);
      for (int32_t column = 0; column < plane->width; ++column) {
        if (isNodata(values[column])) continue;
        auto three = [&](int32_t r) {
          return (summed(*plane, r, column - 1) + summed(*plane, r, column)) +
                 summed(*plane, r, column + 1);
        };
        const float rest =
            (three(row - 1) +
             (values[column] + summed(*plane, row, column + 1))) +
            three(row + 1);
        const float mean =
            (summed(*plane, row, column - 1) + rest) *
            floatLaneMultiplier(validAround(*plane, row, column));
        changed = changed || mean != values[column];
        values[column] = mean;
      }
      reportProgress(progress, int64_t{pass} * plane->height + row + 1, total);
    }
  }
  reportProgress(progress, total, total);
}

}  // namespace

bool floatSmoothingEngineRuns(FloatSmoothingEngine engine) {
  return engine == FloatSmoothingEngine::kDirect ||
         kernelsOf(engine) != nullptr;
}

bool smoothFloatHeightsWith(FloatSmoothingEngine engine, int32_t passes,
                            FloatPlane* plane, const Progress* progress) {
  if (engine == FloatSmoothingEngine::kDirect) {
    if (passes > 0) smoothDirect(passes, plane, progress);
    return true;
  }
  const FloatLaneKernels* kernels = kernelsOf(engine);
  if (kernels == nullptr) return false;
  return passes <= 0 ||
         smoothFloatHeightsInLanes(passes, plane, *kernels, progress);
}

void smoothFloatHeights(int32_t passes, FloatPlane* plane,
                        const Progress* progress) {
  if (passes <= 0) return;
  if (plane->height >= kFewestLaneRows) {
    for (FloatSmoothingEngine engine :
         {FloatSmoothingEngine::kLanesAvx2, FloatSmoothingEngine::kLanesSse2,
          FloatSmoothingEngine::kLanesPlain}) {
      if (smoothFloatHeightsWith(engine, passes, plane, progress)) return;
    }
  }
  smoothDirect(passes, plane, progress);
}
