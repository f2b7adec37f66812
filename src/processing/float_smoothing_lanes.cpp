// The float lane engine: up to kMaxLaneGroup passes run together over a
// ring of bands in the interleaved cells (float_lane_layout.h), so that
// each band moves between the plane and the cells once per group of
// passes; the rows bordering a band come from its neighbours' slots, as
// the kernel leaves them.
#include "processing/float_smoothing_lanes.h"

#include <algorithm>
#include <cstring>

#include "image/float_plane.h"
#include "image/progress.h"
#include "processing/float_lane_bands.h"

namespace {

// A bordering row's heights, nodata as 0; all 0 off the map.
void loadBorder(const FloatPlane& plane, int32_t row, float* border) {
  if (row < 0 || row >= plane.height) {
    std::memset(border, 0, sizeof(float) * static_cast<size_t>(plane.width));
    return;
  }
  const float* values = plane.row(row);
  for (int32_t column = 0; column < plane.width; ++column) {
    border[column] = isNodata(values[column]) ? 0 : values[column];
  }
}

// The steps of pass of the group over band of count: above, the last row
// of the band above as this pass left it; below, the first row of the band
// below as the pass before left it (pass 0: the plane's); 0 off the map.
FloatLaneSteps stepsOf(int32_t band, int32_t count, int32_t pass,
                       FloatBands* bands) {
  const float* zero = bands->above;
  const float* below = zero;
  if (band + 1 < count && pass == 0) {
    loadBorder(*bands->plane, (band + 1) * kFloatLaneRows, bands->below);
    below = bands->below;
  } else if (band + 1 < count) {
    below = slotRow(*bands, band + 1, 0);
  }
  return {bands->cells,
          bands->multipliers,
          band == 0 ? zero : slotRow(*bands, band - 1, 1),
          below,
          slotRow(*bands, band, 0),
          slotRow(*bands, band, 1),
          bands->steps};
}

}  // namespace

bool smoothFloatHeightsInLanes(int32_t passes, FloatPlane* plane,
                               const FloatLaneKernels& kernels,
                               const Progress* progress) {
  FloatBands bands;
  if (!makeBands(*plane, passes, &bands)) return false;
  const int32_t count = static_cast<int32_t>(
      (int64_t{plane->height} + kFloatLaneRows - 1) / kFloatLaneRows);
  const int64_t total = int64_t{count} * passes;
  int64_t done = 0;
  // Pass p of band b runs at time b + p, passes in order within a time:
  // the band above has had this pass, the band below the one before.
  for (int64_t first = 0; first < passes; first += bands.group) {
    const int32_t group =
        static_cast<int32_t>(std::min<int64_t>(bands.group, passes - first));
    bool changed = false;
    for (int32_t time = 0; time < count + group - 1; ++time) {
      for (int32_t pass = 0; pass < group; ++pass) {
        const int32_t band = time - pass;
        if (band < 0 || band >= count) continue;
        const int32_t top = band * kFloatLaneRows;
        useSlot(band % bands.slots, &bands);
        if (pass == 0) {
          loadBand(top, &bands);
          moveBand(top, true, kernels, &bands, plane);
        }
        const bool differs = kernels.run(stepsOf(band, count, pass, &bands));
        if (pass == group - 1) {
          changed = changed || differs;
          moveBand(top, false, kernels, &bands, plane);
        }
        reportProgress(progress, ++done, total);
      }
    }
    // A pass that changes nothing leaves every later one nothing to do.
    if (!changed) break;
  }
  reportProgress(progress, total, total);
  return true;
}
