#include "processing/resampling_axis.h"

#include <algorithm>
#include <cmath>

Axis planAxis(int32_t from, int32_t to, ResampleFilter filter) {
  Axis axis;
  axis.from = from;
  axis.to = to;
  if (to == from || to == 1) {
    // The triangle at scale 1 weighs each sample's own position 1 and its
    // neighbours 0: a copy of the samples that stay.
    axis.step = to == from ? 1.0 : 0.0;
  } else if (from == 1) {
    // Every result sample reads the one source sample, clamped.
    axis.scale = to;
    axis.filter = filter;
  } else {
    axis.scale = (to - 1.0) / (from - 1.0);
    axis.step = (from - 1.0) / (to - 1.0);
    axis.filter = filter;
  }
  // The library's kernels reach 1 (triangle, box) or 2 (the cubics) pixels
  // of the larger grid; two more cover its rounding of the ranges.
  int32_t support = axis.filter == ResampleFilter::kLinear ||
                            axis.filter == ResampleFilter::kBox
                        ? 1
                        : 2;
  axis.reach =
      static_cast<int32_t>(std::ceil(support * std::max(1.0, axis.step))) + 2;
  return axis;
}

void sourceSpan(const Axis& axis, int32_t begin, int32_t end, int32_t* first,
                int32_t* last) {
  double low = std::floor(begin * axis.step) - axis.reach;
  double high = std::ceil((end - 1) * axis.step) + axis.reach + 1;
  *first = static_cast<int32_t>(std::max<double>(-axis.reach, low));
  *last = static_cast<int32_t>(std::min<double>(axis.from + axis.reach, high));
}

int32_t nearestSample(const Axis& axis, int32_t index) {
  if (axis.to == 1 || axis.from == 1) return 0;
  int64_t numerator = 2 * int64_t{index} * (axis.from - 1) + (axis.to - 1);
  return static_cast<int32_t>(numerator / (2 * int64_t{axis.to - 1}));
}

void extensionTerms(int32_t x, int32_t n, std::vector<ExtensionTerm>* terms) {
  terms->clear();
  if (n == 1) {
    terms->push_back({1.0f, 0});
    return;
  }
  float sign = 1.0f;
  // Each reflection brings x nearer the map, so this ends.
  while (x < 0 || x >= n) {
    const int32_t end = x < 0 ? 0 : n - 1;
    terms->push_back({2.0f * sign, end});
    sign = -sign;
    x = 2 * end - x;
  }
  terms->push_back({sign, x});
}

void extendRow(float* row, int32_t n, int32_t pad,
               std::vector<ExtensionTerm>* terms) {
  for (int32_t x = -pad; x < n + pad; ++x) {
    if (x == 0) x = n;
    if (x >= n + pad) break;
    extensionTerms(x, n, terms);
    float value = 0.0f;
    for (const ExtensionTerm& term : *terms) {
      value += term.coefficient * row[term.index];
    }
    row[x] = value;
  }
}

bool withinLibraryLimits(const Axis& across, const Axis& down) {
  const double limit = INT32_MAX / 8.0;
  // A call's source columns, and the rows of its ring buffer, which spans a
  // kernel's reach in the source when reducing.
  double columns =
      kColumnsPerCall * std::max(across.step, 1.0) + 2.0 * across.reach;
  double ringRows = 4.0 * std::max(down.step, 1.0) + 8.0;
  return static_cast<double>(across.from) * sizeof(float) < limit &&
         columns * sizeof(float) * 8.0 < limit &&
         ringRows * kColumnsPerCall * sizeof(float) < limit;
}
