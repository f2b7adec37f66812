// Smoothing: the engine the table chooses (smoothing_choice), and the rule
// written plainly, cell by cell on the planes.
#include "processing/smoothing.h"

#include <cstdint>

#include "processing/smoothing_choice.h"
#include "processing/smoothing_common.h"
#include "processing/smoothing_lanes.h"
#include "processing/smoothing_rows.h"

namespace {

SmoothingEngine nextEngine(SmoothingEngine engine) {
  return static_cast<SmoothingEngine>(static_cast<int>(engine) + 1);
}

}  // namespace

int64_t smoothHeightsDirect(int32_t passes, BytePlane* outRed,
                            BytePlane* outGreen, int32_t width, int32_t height,
                            HeightValue base, const Progress* progress) {
  BytePlane& red = *outRed;
  BytePlane& green = *outGreen;
  const HeightValue largest = largestStoredHeight(base);
  int64_t wrapped = 0;
  const int64_t total = static_cast<int64_t>(passes) * height;
  bool changed = true;
  for (int32_t pass = 0; pass < passes && changed; ++pass) {
    changed = false;
    for (int32_t row = 0; row < height; ++row) {
      for (int32_t column = 0; column < width; ++column) {
        int32_t sum = 0;
        int32_t count = 0;
        for (int32_t r = row - 1; r <= row + 1; ++r) {
          if (r < 0 || r >= height) continue;
          for (int32_t c = column - 1; c <= column + 1; ++c) {
            if (c < 0 || c >= width) continue;
            sum += decodeHeightIn(base, red[r][c], green[r][c]);
            ++count;
          }
        }
        int32_t mean = sum / count;
        wrapped += mean > largest;
        HeightValue before =
            decodeHeightIn(base, red[row][column], green[row][column]);
        storeHeight(base, mean, &red[row][column], &green[row][column]);
        // What is stored counts: a mean of 65280 is kept as 0 in base 255.
        changed = changed || before != decodeHeightIn(base, red[row][column],
                                                      green[row][column]);
      }
      reportProgress(progress, static_cast<int64_t>(pass) * height + row + 1,
                     total);
    }
  }
  reportProgress(progress, total, total);
  return wrapped;
}

int64_t smoothHeights(int32_t passes, BytePlane* outRed, BytePlane* outGreen,
                      int32_t width, int32_t height, HeightValue base,
                      const Progress* progress) {
  if (passes <= 0) return 0;
  // In base 255 a mean of 65280 is stored as 0, and the next cells see that
  // 0; only the first cell's first mean can be 65280.
  const int64_t wrapped =
      firstMeanWraps(*outRed, *outGreen, width, height, base);
  // An engine that cannot have its working memory after all hands the
  // image to the next one the table allows.
  for (SmoothingEngine engine = chooseSmoothing(width, height);
       engine != SmoothingEngine::kDirect;
       engine = chooseSmoothing(width, height, nextEngine(engine))) {
    const LaneKernels* kernels = laneKernelsOf(engine);
    bool ran = kernels != nullptr
                   ? smoothHeightsInLanes(
                         passes, outRed, outGreen, width, height, base,
                         *kernels, smoothingBudget(width, height), progress)
                   : smoothHeightsInRows(passes, outRed, outGreen, width,
                                         height, base, progress);
    if (ran) return wrapped;
  }
  return smoothHeightsDirect(passes, outRed, outGreen, width, height, base,
                             progress);
}
