// The run of a resampling: the plan of both axes, one pass (or two, to
// keep a range), the edges again, the marks; with the library.
#include <algorithm>

#include "processing/resampling.h"
#include "processing/resampling_bands.h"

bool haveResampler() { return true; }

bool resampleHeights(PlaneSet* planes, int32_t width, int32_t height,
                     const ResampleRequest& request, ResampleOutcome* outcome,
                     std::string* error, const Progress* progress) {
  *outcome = ResampleOutcome();
  const int32_t newWidth = request.width;
  const int32_t newHeight = request.height;
  if (newWidth < 1 || newHeight < 1) {
    *error = "A resampled map needs at least one pixel each way";
    return false;
  }
  if (newWidth == width && newHeight == height) return true;
  const Axis across = planAxis(width, newWidth, request.filter);
  const Axis down = planAxis(height, newHeight, request.filter);
  if (!withinLibraryLimits(across, down)) {
    *error = "Resampling " + std::to_string(width) + " x " +
             std::to_string(height) + " to " + std::to_string(newWidth) +
             " x " + std::to_string(newHeight) +
             " is beyond what the resampling library can take";
    return false;
  }
  // Elevation data marks no nodata but in blue: the result's blue plane then
  // costs no memory.
  const bool blueZero = planes->blueZero;
  PlaneSet result;
  if (!allocatePlanes(&result, newWidth, newHeight, error,
                      blueZero ? BlueUse::kMarks : BlueUse::kPixels)) {
    return false;
  }
  result.base = planes->base;
  WorkingMemory memory;
  auto pass = [&](const BandTarget& target, const Progress* reports) {
    return resampleInBands(*planes, across, down, request.bandBytes,
                           request.engine, target, &memory, error, reports);
  };
  BandTarget store;
  store.result = &result;
  store.clamped = &outcome->clamped;
  bool done = true;
  if (request.keepRange) {
    // A first pass finds how far the kernel swings; the second squeezes
    // the results linearly into what the planes hold, when they leave it.
    // Each pass is half of the bar.
    struct Half {
      const Progress* whole;
      int64_t before;
    } half = {progress, 0};
    Progress halves;
    halves.context = &half;
    halves.update = [](void* context, int64_t rows, int64_t total) {
      Half* at = static_cast<Half*>(context);
      reportProgress(at->whole, at->before + rows, 2 * total);
    };
    ComputedRange range;
    BandTarget survey;
    survey.range = &range;
    done = pass(survey, &halves);
    const float top = static_cast<float>(largestStoredHeight(planes->base));
    const float low = std::min(range.lowest, 0.0f);
    const float high = std::max(range.highest, top);
    if (done && range.any && high > low && (low < 0.0f || high > top)) {
      // The ends land a hair inside, so that rounding cannot push them out.
      store.scale = (top - 0.01f) / (high - low);
      store.offset = -low * store.scale;
      outcome->remapScale = static_cast<double>(store.scale);
      outcome->remapOffset = static_cast<double>(store.offset);
    }
    half.before = newHeight;
    if (done) done = pass(store, &halves);
  } else {
    done = pass(store, progress);
  }
  if (done) {
    done = resampleEdges(*planes, &result, across, down, request.filter,
                         request.engine, store, &memory, error);
  }
  if (!done) {
    releasePlanes(&result);
    *outcome = ResampleOutcome();
    return false;
  }
  resampleBlue(*planes, &result, across, down, blueZero);
  outcome->workingBytes = memory.peak;
  releasePlanes(planes);
  *planes = result;
  return true;
}
