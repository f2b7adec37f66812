// The geometry of a resampling along one axis: where each result sample
// sits on the source (corner to corner), which source samples it reads,
// and the odd extension that continues a map past its ends.
#ifndef QUILLORN_PROCESSING_RESAMPLING_AXIS_H_
#define QUILLORN_PROCESSING_RESAMPLING_AXIS_H_

#include <cstdint>
#include <vector>

#include "processing/resampling.h"

// One axis of a resampling: from source samples to result samples.
struct Axis {
  int32_t from = 1;
  int32_t to = 1;
  // Result pixels per source pixel, as the library takes it.
  double scale = 1.0;
  // Source pixels per result pixel: result sample i sits at i x step.
  double step = 0.0;
  // The kernel: the triangle (kLinear) where samples are only copied.
  ResampleFilter filter = ResampleFilter::kLinear;
  int32_t reach = 0;  // source pixels a result sample may read on each side
};

// The axis from from samples to to with filter's kernel.
Axis planAxis(int32_t from, int32_t to, ResampleFilter filter);

// The source samples [first, last) that result samples [begin, end) read:
// up to reach samples past either end, which the odd extension supplies.
void sourceSpan(const Axis& axis, int32_t begin, int32_t end, int32_t* first,
                int32_t* last);

// The source sample nearest result sample index (halves to the higher).
int32_t nearestSample(const Axis& axis, int32_t index);

// Beyond its ends a map continues as its point reflection through the end
// sample: x at -k is 2 f(0) - f(k), and likewise past the last. A kernel
// centred on an end sample then gives that sample exactly (the reflected
// halves cancel), so a map's edges and corners keep their heights in a
// reduction as in an enlargement, an edge depends on that edge alone, and
// a ramp stays a ramp up to the edge. One term of such a value.
struct ExtensionTerm {
  float coefficient;
  int32_t index;
};

// Sample x (any) of n as a sum of samples within 0 ... n - 1.
void extensionTerms(int32_t x, int32_t n, std::vector<ExtensionTerm>* terms);

// Fills the pad values before and after the n samples of row (row[-pad]
// ... row[n + pad - 1]) by the odd extension.
void extendRow(float* row, int32_t n, int32_t pad,
               std::vector<ExtensionTerm>* terms);

// The result columns and rows of one call to the library: many enough that
// its per-call work is small beside the filtering, few enough that the
// positions it computes in single precision from the call's first pixel stay
// within about 1e-5 of a pixel, so that corners land on the source's
// corners even between heights that jump across the whole range.
constexpr int32_t kColumnsPerCall = 256;
constexpr int32_t kRowsPerCall = 512;

// The library keeps its buffer sizes and strides in int: false for what
// would overflow them (ratios and widths far beyond any terrain's).
bool withinLibraryLimits(const Axis& across, const Axis& down);

#endif  // QUILLORN_PROCESSING_RESAMPLING_AXIS_H_
